#include <gtest/gtest.h>

#include <random>

#include "pgqtgraphic.h"
#include "testpictures.h"

namespace {

// Random pixels; at 4 and 8 bits on a palette one entry short of full.
void RandomPicture(TPixelGraphic& g, uint8_t bitCountNum, int32_t w, int32_t h, uint32_t seed) {
  std::mt19937 random(seed);
  g.SetSize(w, h, bitCountNum);
  if (bitCountNum != 3) RandomPalette(g, PaletteCapacity(bitCountNum) - (bitCountNum == 0 ? 0 : 1), random);
  RandomPixels(g, random);
}

}  // namespace

TEST(PGQtGraphic, ImageAtEveryDepthMatchesThePixels) {
  for (uint8_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(int(n));
    // Odd widths leave padding and half bytes.
    TPixelGraphic g;
    RandomPicture(g, n, 13, 5, 7 + n);
    const QImage image = PixelGraphicToQImage(g);
    ASSERT_EQ(image.size(), QSize(13, 5));
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(FromQRgb(image.pixel(x, y)), g.GetPixelColor(x, y)) << x << "," << y;
    // Drawn 1:1 and mirrored both ways.
    QImage drawn(13, 5, QImage::Format_RGB32);
    QPainter p(&drawn);
    Draw(g, p, QRectF(0, 0, 13, 5), true, true);
    p.end();
    EXPECT_EQ(FromQRgb(drawn.pixel(12, 4)), g.GetPixelColor(0, 0));
    EXPECT_EQ(FromQRgb(drawn.pixel(0, 0)), g.GetPixelColor(12, 4));
  }
}

TEST(PGQtGraphic, CacheFollowsChanges) {
  TPixelGraphic g;
  RandomPicture(g, 1, 4, 2, 3);
  EXPECT_EQ(FromQRgb(StoredRowsImage(g).pixel(0, 1)), g.GetPixelColor(0, 0));
  g.SetPixel(0, 0, 2);
  g.Changed();
  EXPECT_EQ(FromQRgb(StoredRowsImage(g).pixel(0, 1)), g.PaletteEntries(2));
  g.SetPaletteEntries(2, 0x123456);
  EXPECT_EQ(FromQRgb(StoredRowsImage(g).pixel(0, 1)), TRGB(0x123456));

  // The colour table is rebuilt only after a palette change; none at 24 bits.
  const QList<QRgb>* colors = GetPalette(g);
  ASSERT_NE(colors, nullptr);
  EXPECT_EQ(colors->size(), 15);
  EXPECT_FALSE(g.PlatformPaletteStale());
  g.SetPaletteIdent(pSys16);
  EXPECT_TRUE(g.PlatformPaletteStale());
  EXPECT_EQ(GetPalette(g)->size(), 16);
  g.SetBitCountNum(3);
  EXPECT_EQ(GetPalette(g), nullptr);
}

TEST(PGQtGraphic, CanvasDrawingReachesThePixels) {
  TPixelGraphic g;
  g.SetSize(10, 10, 2);
  g.SetPaletteIdent(pSys16);
  g.SetPixel(9, 9, 3);
  GetCanvas(g).Painter().fillRect(0, 0, 5, 5, QColor(250, 5, 5));
  EXPECT_TRUE(g.NeedsFlush());
  // Pixel access completes the drawing first.
  EXPECT_EQ(g.GetPixelColor(2, 2), g.PaletteEntries(int32_t(g.NearestIndex(RGB(250, 5, 5)))));
  EXPECT_FALSE(g.NeedsFlush());
  EXPECT_EQ(g.GetPixel(5, 5), 0u);
  EXPECT_EQ(g.GetPixel(9, 9), 3u);

  TPixelGraphic t;
  Uniform(t, 3, 3, 0x102030);
  int changes = 0;
  t.OnChange = [&](TObject*) { ++changes; };
  GetCanvas(t).Painter().fillRect(1, 0, 1, 1, QColor(1, 2, 3));
  GetCanvas(t).Complete();
  EXPECT_EQ(t.GetPixel(1, 0), RGB(1, 2, 3));
  EXPECT_EQ(t.GetPixel(1, 1), TRGB(0x102030));
  EXPECT_EQ(changes, 1);
}
