#include "formatregistry.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <mutex>

#include <utility>

#include "bmpformat.h"
#include "formatoptions.h"
#include "gifformat.h"
#include "heifformat.h"
#include "jpegformat.h"
#include "langstr.h"
#include "orientation.h"
#include "pcxformat.h"
#include "pngformat.h"
#include "pxmformat.h"
#include "stream.h"
#include "tgaformat.h"
#include "tiffformat.h"
#include "webpformat.h"

namespace {

struct TFileFormatRegistry {
  TFileFormatReaders Readers;
  TFileFormatWriters Writers;
  TBMPFileFormatWriter SpareBMPWriter;

  TFileFormatRegistry() {
    // One line per format, in the order its entries are to be listed.
    RegisterBMPFileFormats(Readers, Writers);
    RegisterJPEGFileFormats(Readers, Writers);
    RegisterPNGFileFormats(Readers, Writers);
    RegisterPCXFileFormats(Readers, Writers);
    RegisterPxMFileFormats(Readers, Writers);
    RegisterTGAFileFormats(Readers, Writers);
    RegisterTIFFFileFormats(Readers, Writers);
    RegisterHEIFFileFormats(Readers, Writers);
    RegisterWebPFileFormats(Readers, Writers);
    RegisterGIFFileFormats(Readers, Writers);
  }
};

TFileFormatRegistry& Registry() {
  static TFileFormatRegistry registry;
  return registry;
}

std::string LowerCase(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string UpperCase(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string WithoutLeadingDot(std::string extension) {
  if (!extension.empty() && extension[0] == '.') extension.erase(0, 1);
  return extension;
}

template <class List>
void SortByExtension(List& list) {
  // Preview threads look formats up while the user-interface thread does.
  static std::mutex sorting;
  const std::lock_guard<std::mutex> lock(sorting);
  const auto before = [](const auto& a, const auto& b) {
    return LowerCase(a->Extension()) < LowerCase(b->Extension());
  };
  if (!std::is_sorted(list.begin(), list.end(), before)) std::stable_sort(list.begin(), list.end(), before);
}

// The filter entry of one format: "BMP - Bitmap|*.bmp|".
std::string FilterEntry(const TFileFormatReaderWriter& format) {
  return UpperCase(format.Extension()) + " - " + format.Description() + "|*." + LowerCase(format.Extension()) + "|";
}

// The n-th (1-based) listed entry of a sorted list, or null.
template <class List>
const TFileFormatReaderWriter* ListedEntry(List& list, int n) {
  SortFileFormats(list);
  for (const auto& format : list)
    if (format->Listed() && --n == 0) return format.get();
  return nullptr;
}

size_t NamePartStart(const std::string& fileName) {
  const size_t separator = fileName.find_last_of("/\\:");
  return separator == std::string::npos ? 0 : separator + 1;
}

}  // namespace

TFileFormatReaders& FileFormatReaders() { return Registry().Readers; }

TFileFormatWriters& FileFormatWriters() { return Registry().Writers; }

TFileFormatWriter& SpareBMPWriter() { return Registry().SpareBMPWriter; }

void SortFileFormats(TFileFormatReaders& List) { SortByExtension(List); }

void SortFileFormats(TFileFormatWriters& List) { SortByExtension(List); }

TFileFormatReader* FindReader(TStream& Stream, std::string Extension, TFileFormatReaders& Readers) {
  Extension = LowerCase(WithoutLeadingDot(std::move(Extension)));
  try {
    TFileHeader header{};
    const int64_t start = Stream.Position();
    try {
      size_t got = 0;
      while (got < header.size()) {
        const size_t n = Stream.Read(header.data() + got, header.size() - got);
        if (n == 0) break;
        got += n;
      }
    } catch (...) {
      Stream.SetPosition(start);
      throw;
    }
    Stream.SetPosition(start);
    SortFileFormats(Readers);
    for (const auto& reader : Readers)
      if (reader->HasSignature() && reader->CheckSignature(header)) return reader.get();
    if (!Extension.empty()) {
      for (const auto& reader : Readers)
        if (!reader->HasSignature() && LowerCase(reader->Extension()) == Extension) return reader.get();
    }
  } catch (const std::exception&) {
  }
  return nullptr;
}

TFileFormatWriter* FindWriter(const std::string& Extension, TFileFormatWriters& Writers) {
  SortFileFormats(Writers);
  const std::string wanted = LowerCase(Extension);
  for (const auto& writer : Writers)
    if (LowerCase(writer->Extension()) == wanted) return writer.get();
  return nullptr;
}

bool GetFileFormatInfo(const std::string& FileName, int Index, TFileFormatInfo& Info) {
  try {
    if (NamePartStart(FileName) >= FileName.size()) return false;
    TFileStream stream(FileName, fmOpenRead);
    Info = TFileFormatInfo();
    Info.ImageCount = 0;
    TFileFormatReader* reader = FindReader(stream, FileNameExtension(FileName));
    if (!reader) return false;
    Info.FormatDescription = reader->Description();
    reader->ReadInfo(stream, Index, Info);
    if (AutoOrient && OrientationSwapsSides(Info.Orientation)) std::swap(Info.Width, Info.Height);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string GetOpenFilter(TFileFormatReaders& Readers) {
  SortFileFormats(Readers);
  std::string patterns;
  std::string entries;
  for (const auto& reader : Readers) {
    if (!reader->Listed()) continue;
    if (!patterns.empty()) patterns += "; ";
    patterns += "*." + reader->Extension();
    entries += FilterEntry(*reader);
  }
  std::string filter;
  if (!entries.empty()) filter = LangStr(25) + "|" + patterns + "|" + entries;
  return filter + LangStr(26) + "|*.*";
}

std::string GetSaveFilter(TFileFormatWriters& Writers) {
  SortFileFormats(Writers);
  std::string filter;
  for (const auto& writer : Writers)
    if (writer->Listed()) filter += FilterEntry(*writer);
  return filter;
}

std::string OpenFilterExtension(int FilterIndex, TFileFormatReaders& Readers) {
  // Index 1 is the entry of all image files.
  const TFileFormatReaderWriter* entry = ListedEntry(Readers, FilterIndex - 1);
  return entry ? LowerCase(entry->Extension()) : std::string();
}

std::string SaveFilterExtension(int FilterIndex, TFileFormatWriters& Writers) {
  const TFileFormatReaderWriter* entry = ListedEntry(Writers, FilterIndex);
  return entry ? LowerCase(entry->Extension()) : std::string();
}

int SaveFilterIndex(const std::string& Extension, TFileFormatWriters& Writers) {
  SortFileFormats(Writers);
  const std::string wanted = LowerCase(WithoutLeadingDot(Extension));
  int index = 0;
  for (const auto& writer : Writers) {
    if (!writer->Listed()) continue;
    ++index;
    if (LowerCase(writer->Extension()) == wanted) return index;
  }
  return 0;
}

std::string FileNameExtension(const std::string& FileName) {
  const size_t dot = FileName.find_last_of('.');
  if (dot == std::string::npos || dot < NamePartStart(FileName)) return std::string();
  return LowerCase(FileName.substr(dot + 1));
}
