// Turning a pixel graphic upright, and the names of the orientations.
#include "orientation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"

namespace {

// Short enough for the line of an open dialog's preview.
const TPGLangStrEntry OrientationTexts[8] = {
    {0, {"as stored", "wie gespeichert", "tel que stocké", "zoals opgeslagen", "tal como se guardó", ""}},
    {0,
     {"mirrored left to right", "links-rechts gespiegelt", "miroir gauche-droite", "links-rechts gespiegeld",
      "reflejo izquierda-derecha", ""}},
    {0, {"rotated 180°", "um 180° gedreht", "pivoté de 180°", "180° gedraaid", "girado 180°", ""}},
    {0,
     {"mirrored top to bottom", "oben-unten gespiegelt", "miroir haut-bas", "boven-onder gespiegeld",
      "reflejo arriba-abajo", ""}},
    {0,
     {"mirrored, rotated 90° left", "gespiegelt, 90° nach links", "miroir, 90° à gauche", "gespiegeld, 90° linksom",
      "reflejo, 90° a la izquierda", ""}},
    {0,
     {"rotated 90° clockwise", "um 90° nach rechts gedreht", "pivoté de 90° à droite", "90° rechtsom gedraaid",
      "girado 90° a la derecha", ""}},
    {0,
     {"mirrored, rotated 90° right", "gespiegelt, 90° nach rechts", "miroir, 90° à droite", "gespiegeld, 90° rechtsom",
      "reflejo, 90° a la derecha", ""}},
    {0,
     {"rotated 90° anticlockwise", "um 90° nach links gedreht", "pivoté de 90° à gauche", "90° linksom gedraaid",
      "girado 90° a la izquierda", ""}},
};

const TPGLangStrEntry OrientationCaption = {
    0, {"Orientation: %S1", "Ausrichtung: %S1", "Orientation : %S1", "Oriëntatie: %S1", "Orientación: %S1", ""}};

// Where the upright pixel (X, Y) lies in the stored picture: stored x and y
// each step with the upright X and Y by these coefficients.
struct TSourceMap {
  int64_t X0, XfromX, XfromY, Y0, YfromX, YfromY;
};

TSourceMap SourceMapOf(uint8_t orientation, int64_t w, int64_t h) {
  switch (orientation) {
    case oTopRight: return {w - 1, -1, 0, 0, 0, 1};
    case oBottomRight: return {w - 1, -1, 0, h - 1, 0, -1};
    case oBottomLeft: return {0, 1, 0, h - 1, 0, -1};
    case oLeftTop: return {0, 0, 1, 0, 1, 0};
    case oRightTop: return {0, 0, 1, h - 1, -1, 0};
    case oRightBottom: return {w - 1, 0, -1, h - 1, -1, 0};
    case oLeftBottom: return {w - 1, 0, -1, 0, 1, 0};
    default: return {0, 1, 0, 0, 0, 1};
  }
}

// Into a row that starts cleared.
void PutStoredIndex(uint8_t* row, int64_t x, uint8_t code, uint32_t v) {
  switch (code) {
    case 0: row[x >> 3] = uint8_t(row[x >> 3] | (v << (7 - (x & 7)))); break;
    case 1: row[x >> 1] = uint8_t(row[x >> 1] | ((x & 1) ? v : v << 4)); break;
    default: row[x] = uint8_t(v);
  }
}

}  // namespace

std::string OrientationName(uint8_t Orientation) {
  return LangText(OrientationTexts[ValidOrientation(Orientation) - 1]);
}

std::string OrientationText(uint8_t Orientation) {
  return SubstitutePlaceholder(LangText(OrientationCaption), "%S1", OrientationName(Orientation));
}

void TPixelGraphic::TurnUpright() {
  const uint8_t orientation = ValidOrientation(FOrientation);
  if (orientation == oTopLeft || !FBits) {
    FOrientation = oTopLeft;
    return;
  }
  CompletePendingDrawing();
  const int64_t w = FWidth, h = FHeight;
  const bool swap = OrientationSwapsSides(orientation);
  const int32_t newWidth = swap ? FHeight : FWidth, newHeight = swap ? FWidth : FHeight;
  const int64_t newStride = ((int64_t(BitCount()) * newWidth + 31) / 32) * 4;
  const int64_t newSize = newStride * newHeight;
  // A 1-bit row turned into a column takes 4 bytes a pixel: beyond what a
  // picture may address it fails like a refused allocation.
  uint8_t* memory = newSize <= MaxImageSize ? static_cast<uint8_t*>(std::calloc(size_t(newSize), 1)) : nullptr;
  if (!memory) throw EPGOutOfMemory(LangStr1(31, "TurnUpright"));
  std::unique_ptr<uint8_t, FreeDeleter> turned(memory);

  const TSourceMap m = SourceMapOf(orientation, w, h);
  const uint8_t* bits = FBits.get();
  const auto sourceRow = [&](int64_t y) { return bits + FStride * (h - 1 - y); };
  // Square tiles keep the rows read across and down within the cache.
  constexpr int64_t tile = 64;
  for (int64_t ty = 0; ty < newHeight; ty += tile) {
    for (int64_t tx = 0; tx < newWidth; tx += tile) {
      const int64_t yEnd = std::min<int64_t>(ty + tile, newHeight), xEnd = std::min<int64_t>(tx + tile, newWidth);
      for (int64_t Y = ty; Y < yEnd; ++Y) {
        uint8_t* dest = memory + newStride * (newHeight - 1 - Y);
        const int64_t x = m.X0 + m.XfromX * tx + m.XfromY * Y, y = m.Y0 + m.YfromX * tx + m.YfromY * Y;
        if (FBitCountNum >= 2) {
          // Whole bytes: the source moves by a fixed distance with each pixel.
          const int64_t bytes = FBitCountNum == 3 ? 3 : 1;
          const int64_t step = bytes * m.XfromX - FStride * m.YfromX;
          const uint8_t* src = sourceRow(y) + bytes * x;
          if (bytes == 3)
            for (int64_t X = tx; X < xEnd; ++X, src += step) std::memcpy(dest + 3 * X, src, 3);
          else
            for (int64_t X = tx; X < xEnd; ++X, src += step) dest[X] = *src;
        } else {
          for (int64_t X = tx; X < xEnd; ++X) {
            const int64_t dx = X - tx;
            const uint32_t index = StoredIndex(sourceRow(y + m.YfromX * dx), x + m.XfromX * dx, FBitCountNum);
            PutStoredIndex(dest, X, FBitCountNum, index);
          }
        }
      }
    }
  }
  FBits = std::move(turned);
  FWidth = newWidth;
  FHeight = newHeight;
  FStride = newStride;
  FImageSize = newSize;
  FOrientation = oTopLeft;
  BuildBitmapInfo();
  Changed();
}
