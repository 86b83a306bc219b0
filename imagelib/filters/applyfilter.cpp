// A filter applied to a source picture, written into the target by colour.
#include <vector>

#include "colorrow.h"
#include "ditherscope.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pgfilter.h"
#include "pixelgraphic.h"

namespace {

// The filter must forget its source however the operation ends.
class TFilterSession {
public:
  TFilterSession(TPGFilter& filter, const TPixelGraphic& source) : FFilter(filter) { filter.Prepare(source); }
  ~TFilterSession() { FFilter.Finish(); }
  TFilterSession(const TFilterSession&) = delete;
  TFilterSession& operator=(const TFilterSession&) = delete;

private:
  TPGFilter& FFilter;
};

}  // namespace

void TPixelGraphic::ApplyFilter(TPGFilter& Filter, const TPixelGraphic& Source) {
  const bool inPlace = &Source == this;
  if (inPlace && !Filter.ColorOnly()) throw EPGFilter(LangStr(23));
  if (!inPlace) SetSize(Source.GetWidth(), Source.GetHeight(), FBitCountNum);
  if (GetEmpty()) {
    Changed();
    return;
  }
  if (Filter.ColorOnly() && FBitCountNum < 3 && FBitCountNum >= Source.BitCountNum()) {
    // Mapping the palette maps every pixel at once.
    if (!inPlace) Assign(&Source);
    if (PaletteCount() > 0) {
      TFilterSession session(Filter, Source);
      for (int32_t i = 0; i < PaletteCount(); ++i) SetPaletteEntries(i, Filter.MapColor(PaletteEntries(i)));
    }
  } else {
    TDitherScope ditherScope(*this);
    TFilterSession session(Filter, Source);
    ProgressStart();
    std::vector<uint8_t> colors(FBitCountNum == 3 ? 0 : size_t(FWidth) * 3);
    for (int32_t y = 0; y < FHeight; ++y) {
      if (Dithering()) DitherRowStart();
      // 24-bit rows are computed in place; a colour-only filter on its own
      // target reads each pixel before it writes it.
      uint8_t* row = FBitCountNum == 3 ? ScanLine(y) : colors.data();
      Filter.PixelRow(y, FWidth, row);
      WriteColorRow(*this, y, row, true);
      if (Progress(y, FHeight - 1)) break;
    }
    ProgressEnd();
  }
  Changed();
}
