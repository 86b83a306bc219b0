#include "orientation.h"

#include <gtest/gtest.h>

#include <random>

#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "testpictures.h"

namespace {

// Where the stored pixels (0, 0), (1, 0) and (0, 1) of a w x h picture lie
// once it is upright, as the orientation's name says: row 0 and column 0
// of the stored picture go to the named sides.
struct TPlacement {
  int64_t X0, Y0, StepXx, StepXy, StepYx, StepYy;
};

TPlacement PlacementOf(int orientation, int64_t w, int64_t h) {
  switch (orientation) {
    case 2: return {w - 1, 0, -1, 0, 0, 1};
    case 3: return {w - 1, h - 1, -1, 0, 0, -1};
    case 4: return {0, h - 1, 1, 0, 0, -1};
    case 5: return {0, 0, 0, 1, 1, 0};
    case 6: return {h - 1, 0, 0, 1, -1, 0};
    case 7: return {h - 1, w - 1, 0, -1, -1, 0};
    case 8: return {0, w - 1, 0, -1, 1, 0};
    default: return {0, 0, 1, 0, 0, 1};
  }
}

}  // namespace

TEST(Orientation, EveryDepthAndOrientationMovesEachPixelWhereItsNameSays) {
  std::mt19937 random(7);
  // Odd widths put the 1- and 4-bit pixels across byte and row padding.
  for (int bits : {1, 4, 8, 24}) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(testing::Message() << bits << " bits, orientation " << orientation);
      TPixelGraphic stored;
      stored.SetSize(37, 13, BitCountToNum(bits));
      if (bits < 24) RandomPalette(stored, PaletteCapacity(stored.BitCountNum()), random);
      RandomPixels(stored, random);
      TPixelGraphic g;
      g.Assign(&stored);
      g.SetOrientation(uint8_t(orientation));
      g.TurnUpright();
      EXPECT_EQ(g.Orientation(), 1);
      ASSERT_EQ(g.BitCountNum(), stored.BitCountNum());
      const bool swapped = orientation >= 5;
      ASSERT_EQ(g.GetWidth(), swapped ? 13 : 37);
      ASSERT_EQ(g.GetHeight(), swapped ? 37 : 13);
      EXPECT_EQ(g.BitmapInfo().size(), stored.BitmapInfo().size());
      for (int32_t i = 0; i < stored.PaletteCount(); ++i) EXPECT_EQ(g.PaletteEntries(i), stored.PaletteEntries(i));
      const TPlacement p = PlacementOf(orientation, 37, 13);
      int wrong = 0;
      for (int32_t y = 0; y < 13; ++y)
        for (int32_t x = 0; x < 37; ++x)
          wrong += g.GetPixel(int32_t(p.X0 + p.StepXx * x + p.StepYx * y), int32_t(p.Y0 + p.StepXy * x + p.StepYy * y)) !=
                   stored.GetPixel(x, y);
      EXPECT_EQ(wrong, 0);
      // The padding of each row stays zero, as the writers expect.
      const int64_t used = (int64_t(bits) * g.GetWidth() + 7) / 8;
      for (int32_t y = 0; y < g.GetHeight(); ++y)
        for (int64_t b = used; b < g.Stride(); ++b) EXPECT_EQ(g.ScanLine(y)[b], 0) << "row " << y;
    }
  }
}

TEST(Orientation, NamesOutOfRangeValuesAndEmptyPictures) {
  SetPGLanguage(0);
  EXPECT_EQ(OrientationName(6), "rotated 90° clockwise");
  EXPECT_EQ(OrientationText(8), "Orientation: rotated 90° anticlockwise");
  EXPECT_EQ(OrientationName(0), OrientationName(1));
  EXPECT_EQ(OrientationName(9), "as stored");
  SetPGLanguage(1);
  EXPECT_EQ(OrientationText(3), "Ausrichtung: um 180° gedreht");
  SetPGLanguage(0);
  for (uint32_t v : {0u, 9u, 274u, 0xFFFFFFFFu}) EXPECT_EQ(ValidOrientation(v), 1);
  EXPECT_FALSE(OrientationSwapsSides(4));
  EXPECT_TRUE(OrientationSwapsSides(5));

  // A value the file made up turns nothing; a picture without pixels stays empty.
  TPixelGraphic g;
  g.SetSize(3, 2, 3);
  g.SetPixel(0, 0, 0x123456);
  g.SetOrientation(200);
  g.TurnUpright();
  EXPECT_EQ(g.GetWidth(), 3);
  EXPECT_EQ(g.GetPixel(0, 0), 0x123456u);
  // A 1-bit line turned into a column needs 4 bytes a pixel: past what a
  // picture may address, it stays as it was.
  TPixelGraphic line;
  line.SetSize(1 << 29, 1, 0);
  line.SetOrientation(6);
  EXPECT_THROW(line.TurnUpright(), EPGOutOfMemory);
  EXPECT_EQ(line.GetWidth(), 1 << 29);
  EXPECT_EQ(line.Orientation(), 6);
  TPixelGraphic empty;
  empty.SetOrientation(6);
  empty.TurnUpright();
  EXPECT_TRUE(empty.GetEmpty());
  EXPECT_EQ(empty.Orientation(), 1);
}
