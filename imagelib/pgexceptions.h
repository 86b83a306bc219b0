#pragma once
// The image library's exception family: every failure is an EPixelGraphic
// whose message comes from the language table.

#include <stdexcept>
#include <string>

class EPixelGraphic : public std::runtime_error {
public:
  explicit EPixelGraphic(const std::string& message) : std::runtime_error(message) {}
};

#define QUILLET_PG_EXCEPTION(Name)                                           \
  class Name : public EPixelGraphic {                                        \
  public:                                                                    \
    explicit Name(const std::string& message) : EPixelGraphic(message) {}    \
  };

QUILLET_PG_EXCEPTION(EPGXYIndexOutOfRange)
QUILLET_PG_EXCEPTION(EPGNoPalette)
QUILLET_PG_EXCEPTION(EPGInvalidPaletteIndex)
QUILLET_PG_EXCEPTION(EPGEmpty)
QUILLET_PG_EXCEPTION(EPGCanWriteResolutionsEmpty)
QUILLET_PG_EXCEPTION(EPGCannotWriteColorRes)
QUILLET_PG_EXCEPTION(EPGFileFormatWritersEmpty)
QUILLET_PG_EXCEPTION(EPGUnknownExtension)
QUILLET_PG_EXCEPTION(EPGUnknownFileFormat)
QUILLET_PG_EXCEPTION(EPGUnknownClipboardFormat)
QUILLET_PG_EXCEPTION(EPGBMPFileFormatReader)
QUILLET_PG_EXCEPTION(EPGJPGFileFormatReaderWriter)
QUILLET_PG_EXCEPTION(EPGPNGFileFormatReaderWriter)
QUILLET_PG_EXCEPTION(EPGPCXFileFormatReader)
QUILLET_PG_EXCEPTION(EPGPxMFileFormatReader)
QUILLET_PG_EXCEPTION(EPGPxMFileFormatWriter)
QUILLET_PG_EXCEPTION(EPGTGAFileFormatReader)
QUILLET_PG_EXCEPTION(EPGTGAFileFormatWriter)
QUILLET_PG_EXCEPTION(EPGTIFFileFormatReader)
QUILLET_PG_EXCEPTION(EPGTIFFileFormatWriter)
QUILLET_PG_EXCEPTION(EPGInvalidBitCountNum)
QUILLET_PG_EXCEPTION(EPGInvalidSize)
QUILLET_PG_EXCEPTION(EPGFilter)
QUILLET_PG_EXCEPTION(EPGConvFilter)
// Pixel memory refused; a caller that knows the picture may say more.
QUILLET_PG_EXCEPTION(EPGOutOfMemory)

#undef QUILLET_PG_EXCEPTION
