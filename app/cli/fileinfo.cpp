#include "fileinfo.h"

#include <exception>

#include "fileformat.h"
#include "formatregistry.h"
#include "langstr.h"
#include "orientation.h"
#include "stream.h"

namespace {

// The registry answers only yes or no; this finds the message of the step
// that fails.
std::string InfoFailure(const std::string& fileName) {
  try {
    TFileStream stream(fileName, fmOpenRead);
    TFileFormatReader* reader = FindReader(stream, FileNameExtension(fileName));
    if (!reader) return LangStr(6);
    TFileFormatInfo info;
    reader->ReadInfo(stream, 0, info);
  } catch (const std::exception& e) {
    return e.what();
  }
  return LangStr(6);
}

// A value that broke its line would read as a field of its own.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

}  // namespace

bool WriteFileInfo(const std::string& FileName, std::ostream& Out, std::string& Error) {
  TFileFormatInfo info;
  if (!GetFileFormatInfo(FileName, 0, info)) {
    Error = InfoFailure(FileName);
    return false;
  }
  Out << "File: " << OneLine(FileName) << '\n'
      << "Format: " << OneLine(info.FormatDescription) << '\n'
      << "SubFormat: " << OneLine(info.SubFormat) << '\n'
      << "Details: " << OneLine(info.Details) << '\n'
      << "Width: " << info.Width << '\n'
      << "Height: " << info.Height << '\n'
      << "BitCount: " << info.BitCount << '\n'
      << "ColorCount: " << OneLine(info.ColorCount) << '\n'
      << "ImageCount: " << info.ImageCount << '\n';
  // Only a photo that is not stored upright has the field.
  if (info.Orientation != oTopLeft)
    Out << "Orientation: " << int(info.Orientation) << " (" << OneLine(OrientationName(info.Orientation)) << ")\n";
  return true;
}
