// Exchanging a pixel graphic with the clipboard as a packed device-independent
// bitmap: info header, palette, pixels.
#include <utility>
#include <vector>

#include "bmpformat.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "platform.h"
#include "stream.h"
#include "updatescope.h"

void TPixelGraphic::LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data, uintptr_t) {
  if ((Format != CF_BITMAP && Format != CF_DIB) || Data.empty())
    throw EPGUnknownClipboardFormat(LangStr(4));
  TUpdateScope update(*this);
  struct TIdentifyScope {
    TPixelGraphic& Graphic;
    ~TIdentifyScope() { Graphic.IdentifyPalette(); }
  } identify{*this};
  TMyMemoryStream stream;
  // Only read from, so the caller's block stays as it is.
  stream.SetPointer(const_cast<uint8_t*>(Data.data()), Data.size());
  ReadDIB(*this, stream, false);
  // Clipboard data carries no gamma of its own, nor a photo's information.
  SetGamma(ScreenGamma);
  SetOrientation(1);
  SetExifBlock({});
}

void TPixelGraphic::SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, uintptr_t& Palette) {
  std::vector<uint8_t> block(size_t(PackedDIBSize(*this)));
  TMyMemoryStream stream;
  stream.SetPointer(block.data(), block.size());
  WriteDIB(*this, stream);
  Format = CF_DIB;
  Data = std::move(block);
  Palette = 0;
}

void TPixelGraphic::CopyToClipboard() {
  uint16_t format;
  std::vector<uint8_t> data;
  uintptr_t palette;
  SaveToClipboardFormat(format, data, palette);
  PGPlatform().SetClipboardData(format, std::move(data));
}

void TPixelGraphic::LoadFromClipboard() {
  TPGPlatform& platform = PGPlatform();
  if (platform.ClipboardHasFormat(CF_DIB)) LoadFromClipboardFormat(CF_DIB, platform.ClipboardData(CF_DIB), 0);
}
