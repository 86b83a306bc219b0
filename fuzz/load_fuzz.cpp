// Feeds arbitrary bytes through the pixel graphic's loading: the format is
// recognised by content (or by the extension the first byte picks), the
// file's description is read, the picture is loaded with gamma correction,
// taken from the clipboard and from an embedding, and what was accepted is
// saved again through a writer that may need a conversion. Everything may be
// refused with a library error, but nothing may crash, read outside its
// buffers or fail otherwise.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formatoptions.h"
#include "formatregistry.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "platform.h"
#include "stream.h"

namespace {

const char* const Extensions[] = {"", "tga", "bmp", "pgm", "jpg", "png", "tif", "pbm"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t choice = data[0];
  const std::vector<uint8_t> file(data + 1, data + size);
  const char* extension = Extensions[choice & 7];
  GammaCorrectionOnRead = (choice & 8) != 0;

  TMyMemoryStream stream;
  // The stream only reads, so the input block stays unchanged.
  stream.SetPointer(const_cast<uint8_t*>(file.data()), file.size());
  try {
    if (TFileFormatReader* reader = FindReader(stream, extension)) {
      TFileFormatInfo info;
      reader->ReadInfo(stream, 0, info);
    }
  } catch (const EPixelGraphic&) {
  }

  TPixelGraphic graphic;
  graphic.SetReadWarningAction((choice & 16) ? pgwaRaise : pgwaIgnore);
  bool loaded = false;
  try {
    stream.SetPosition(0);
    graphic.LoadFromStreamExt(stream, extension, 0);
    loaded = true;
  } catch (const EPixelGraphic&) {
  }
  try {
    TPixelGraphic pasted;
    pasted.LoadFromClipboardFormat(CF_DIB, file, 0);
  } catch (const EPixelGraphic&) {
  }
  try {
    stream.SetPosition(0);
    TPixelGraphic embedded;
    embedded.ReadData(stream);
  } catch (const EPixelGraphic&) {
  }
  stream.Detach();

  // Conversions cost time in proportion to the picture; small ones suffice.
  if (loaded && int64_t(graphic.GetWidth()) * graphic.GetHeight() <= 1 << 16) {
    graphic.SetSaveColorResWarningAction(pgwaIgnore);
    TMemoryStream out;
    try {
      graphic.SaveToStreamExt(out, Extensions[1 + (choice >> 5) % 7]);
    } catch (const EPixelGraphic&) {
    }
  }
  return 0;
}
