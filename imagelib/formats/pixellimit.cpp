#include "pixellimit.h"

#include "langstr.h"

int64_t MaxPixels = DefaultMaxPixels;

namespace {

const TPGLangStrEntry TooLargeText = {
    0,
    {"Picture of %S1 × %S2 pixels exceeds the limit of %S3 pixels",
     "Bild von %S1 × %S2 Pixeln überschreitet die Grenze von %S3 Pixeln",
     "L'image de %S1 × %S2 pixels dépasse la limite de %S3 pixels",
     "Afbeelding van %S1 × %S2 pixels overschrijdt de grens van %S3 pixels",
     "La imagen de %S1 × %S2 píxeles supera el límite de %S3 píxeles", ""}};

}  // namespace

std::string PixelLimitText(int64_t Width, int64_t Height, int64_t Limit) {
  std::string text = LangText(TooLargeText);
  text = SubstitutePlaceholder(text, "%S1", std::to_string(Width));
  text = SubstitutePlaceholder(text, "%S2", std::to_string(Height));
  return SubstitutePlaceholder(text, "%S3", std::to_string(Limit));
}

void CheckPixelLimit(int64_t Width, int64_t Height) {
  const int64_t limit = MaxPixels;
  if (limit <= 0 || Width <= 0 || Height <= 0) return;
  // Width <= limit keeps the product from overflowing.
  if (Width > limit || Height > limit / Width) throw EPGPictureTooLarge(PixelLimitText(Width, Height, limit));
}
