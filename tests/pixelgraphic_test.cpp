#include <gtest/gtest.h>

#include <cstring>

#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

TEST(PixelGraphic, NewGraphicDefaults) {
  TPixelGraphic g;
  EXPECT_EQ(g.GetWidth(), 0);
  EXPECT_EQ(g.GetHeight(), 0);
  EXPECT_EQ(g.BitCountNum(), 3);
  EXPECT_TRUE(g.GetEmpty());
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_TRUE(g.Dither());
  EXPECT_EQ(g.DitherErrorLimit(), 32);
  EXPECT_TRUE(g.DitherErrorLimitAuto());
  EXPECT_TRUE(g.DitherErrorLimitSoft());
  EXPECT_TRUE(g.FastUnknownPalette());
  EXPECT_FALSE(g.FastLoad());
  EXPECT_TRUE(g.RGBWeighting());
  EXPECT_EQ(g.StretchMode(), smPrecise);
  EXPECT_EQ(g.ReadWarningAction(), pgwaOKCancelBox);
  EXPECT_EQ(g.SaveColorResWarningAction(), pgwaOKCancelBox);
  EXPECT_FALSE(g.XYRangeCheck());
  EXPECT_EQ(g.Gamma(), 2.2L);
}

TEST(PixelGraphic, GeometryAndHeader) {
  TPixelGraphic g;
  g.SetSize(5, 3, 3);
  EXPECT_EQ(g.Stride(), 16);
  EXPECT_EQ(g.ImageSize(), 48);
  g.SetSize(33, 2, 0);
  EXPECT_EQ(g.Stride(), 8);
  g.SetSize(9, 2, 1);
  EXPECT_EQ(g.Stride(), 8);
  const auto& info = g.BitmapInfo();
  ASSERT_EQ(info.size(), 40u + 16 * 4);
  EXPECT_EQ(Le32(info, 0), 40u);
  EXPECT_EQ(Le32(info, 4), 9u);
  EXPECT_EQ(Le32(info, 8), 2u);
  EXPECT_EQ(info[12] | (info[13] << 8), 1);
  EXPECT_EQ(info[14] | (info[15] << 8), 4);
  EXPECT_EQ(Le32(info, 20), 16u);
  EXPECT_EQ(Le32(info, 32), 16u);

  // Rows are stored bottom-up.
  g.SetSize(2, 3, 2);
  g.SetPixel(1, 0, 7);
  EXPECT_EQ(g.Bits()[2 * g.Stride() + 1], 7);
  EXPECT_EQ(g.ScanLine(0), g.Bits() + 2 * g.Stride());
}

TEST(PixelGraphic, SizeErrorsChangeNothing) {
  TPixelGraphic g;
  g.SetSize(4, 4, 2);
  try {
    g.SetSize(-1, 4, 2);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_STREQ(e.what(), "Negative width");
  }
  try {
    g.SetHeight(-1);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_STREQ(e.what(), "Negative height");
  }
  EXPECT_THROW(g.SetSize(4, 4, 4), EPGInvalidBitCountNum);
  EXPECT_THROW(BitCountToNum(16), EPGInvalidBitCountNum);
  EXPECT_EQ(BitCountToNum(24), 3);
  EXPECT_EQ(g.GetWidth(), 4);
  EXPECT_EQ(g.BitCountNum(), 2);
  EXPECT_FALSE(g.GetEmpty());
}

TEST(PixelGraphic, EmptyGeometries) {
  TPixelGraphic g;
  g.SetSize(0, 10, 3);
  EXPECT_TRUE(g.GetEmpty());
  EXPECT_EQ(g.GetHeight(), 10);
  EXPECT_EQ(g.Bits(), nullptr);
  EXPECT_EQ(g.GetPixel(0, 0), 0u);
  g.SetPixel(0, 0, 5);  // ignored, no memory
  g.Clear();
}

TEST(PixelGraphic, OversizedPicturesFailLikeARefusedAllocation) {
  const struct {
    int32_t w, h;
    uint8_t n;
  } cases[] = {{70000, 70000, 3},         {INT32_MAX, 2, 3}, {INT32_MAX, INT32_MAX, 0},
               {2000000000, 2000000000, 3}, {30000, 30000, 3}};
  for (const auto& c : cases) {
    TPixelGraphic g;
    g.SetSize(10, 10, 3);
    try {
      g.SetSize(c.w, c.h, c.n);
      FAIL() << c.w << "x" << c.h;
    } catch (const EPixelGraphic& e) {
      EXPECT_STREQ(e.what(), "CreateDIBSection failed");
    }
    EXPECT_TRUE(g.GetEmpty());
    EXPECT_EQ(g.GetWidth(), c.w);
    EXPECT_EQ(g.GetHeight(), c.h);
    EXPECT_TRUE(g.BitmapInfo().empty());
    g.SetSize(3, 3, 3);  // still usable afterwards
    EXPECT_FALSE(g.GetEmpty());
  }
  // A huge width with no rows needs no memory at all.
  TPixelGraphic wide;
  wide.SetSize(INT32_MAX, 0, 3);
  EXPECT_TRUE(wide.GetEmpty());
}

TEST(PixelGraphic, PixelPacking) {
  TPixelGraphic g;
  g.SetSize(10, 2, 0);
  g.SetPixel(0, 0, 1);
  g.SetPixel(9, 0, 1);
  EXPECT_EQ(g.ScanLine(0)[0], 0x80);
  EXPECT_EQ(g.ScanLine(0)[1], 0x40);
  g.SetPixel(0, 0, 2);  // anything but 1 clears
  EXPECT_EQ(g.GetPixel(0, 0), 0u);
  EXPECT_EQ(g.GetPixel(9, 0), 1u);

  g.SetSize(3, 1, 1);
  g.SetPixel(0, 0, 0xAB);
  g.SetPixel(1, 0, 0x0C);
  g.SetPixel(2, 0, 0x05);
  EXPECT_EQ(g.ScanLine(0)[0], 0xBC);
  EXPECT_EQ(g.ScanLine(0)[1], 0x50);
  EXPECT_EQ(g.GetPixel(0, 0), 0xBu);
  EXPECT_EQ(g.GetPixel(1, 0), 0xCu);

  g.SetSize(2, 1, 2);
  g.SetPixel(1, 0, 0x1FF);
  EXPECT_EQ(g.GetPixel(1, 0), 0xFFu);

  g.SetSize(2, 1, 3);
  g.SetPixel(1, 0, RGB(1, 2, 3));
  EXPECT_EQ(g.ScanLine(0)[3], 3);
  EXPECT_EQ(g.ScanLine(0)[4], 2);
  EXPECT_EQ(g.ScanLine(0)[5], 1);
  EXPECT_EQ(g.GetPixel(1, 0), RGB(1, 2, 3));
  EXPECT_EQ(g.GetPixelColor(1, 0), RGB(1, 2, 3));
}

TEST(PixelGraphic, OutOfRangePixels) {
  TPixelGraphic g;
  g.SetSize(2, 2, 3);
  g.SetBackGroundPixel(RGB(9, 9, 9));
  EXPECT_EQ(g.GetPixel(-1, 0), RGB(9, 9, 9));
  EXPECT_EQ(g.GetPixel(0, 2), RGB(9, 9, 9));
  g.SetPixel(2, 0, 1);  // ignored
  g.SetXYRangeCheck(true);
  try {
    g.GetPixel(-1, 0);
    FAIL();
  } catch (const EPGXYIndexOutOfRange& e) {
    EXPECT_STREQ(e.what(), "X, Y index out of range");
  }
  EXPECT_THROW(g.SetPixel(0, -1, 0), EPGXYIndexOutOfRange);
  EXPECT_NO_THROW(g.GetPixel(1, 1));
}

TEST(PixelGraphic, SameSizeClearsToBackground) {
  for (uint8_t n : {0, 1, 2, 3}) {
    TPixelGraphic g;
    g.SetSize(7, 3, n);
    const uint32_t bg = n == 3 ? RGB(10, 20, 30) : 1;
    g.SetBackGroundPixel(bg);
    g.SetPixel(2, 1, n == 3 ? 5 : 0);
    int changes = 0;
    g.OnChange = [&](TObject*) { ++changes; };
    g.SetSize(7, 3, n);
    EXPECT_EQ(changes, 1);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(g.GetPixel(x, y), bg) << int(n) << ":" << x << "," << y;
  }
}

TEST(PixelGraphic, BitCountChangesDiscardPixelsAndCutPalettes) {
  TPixelGraphic g;
  g.SetSize(4, 4, 2);
  g.SetPaletteIdent(pGray256);
  g.SetPixel(1, 1, 200);
  g.SetBitCountNum(1);
  EXPECT_EQ(g.GetPixel(1, 1), 0u);
  EXPECT_EQ(g.PaletteCount(), 16);
  EXPECT_EQ(g.PaletteEntries(15), RGB(15, 15, 15));
  g.SetBitCountNum(3);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
}

TEST(PixelGraphic, EightBitsWithoutPalette) {
  TPixelGraphic g;
  g.SetSize(2, 2, 2);
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteEntries(5), 5u);
  const auto& info = g.BitmapInfo();
  ASSERT_EQ(info.size(), 40u + 256 * 4);
  for (size_t i = 40; i < info.size(); ++i) ASSERT_EQ(info[i], 0) << i;
}

TEST(PixelGraphic, ColourTableFollowsThePalette) {
  TPixelGraphic g;
  g.SetSize(2, 2, 1);
  g.SetPaletteIdent(pBlackWhite);
  g.SetPaletteCount(3);
  g.SetPaletteEntries(0, RGB(1, 2, 3));
  g.SetPaletteEntries(2, RGB(4, 5, 6));
  const auto& info = g.BitmapInfo();
  EXPECT_EQ(Le32(info, 32), 3u);
  auto slot = [&](int i) { return RGB(info[40 + 4 * i + 2], info[40 + 4 * i + 1], info[40 + 4 * i]); };
  EXPECT_EQ(slot(0), RGB(1, 2, 3));
  EXPECT_EQ(slot(1), RGB(255, 255, 255));
  EXPECT_EQ(slot(2), RGB(4, 5, 6));
  for (int i = 3; i < 16; ++i) EXPECT_EQ(slot(i), RGB(1, 2, 3)) << i;
}

TEST(PixelGraphic, BackgroundColour) {
  TPixelGraphic g;
  g.SetSize(1, 1, 2);
  g.SetPaletteIdent(pGray16);
  g.SetBackGroundPixel(3);
  EXPECT_EQ(g.BackGroundColor(), RGB(51, 51, 51));
  g.SetBitCountNum(3);
  g.SetBackGroundColor(RGB(1, 2, 3));
  EXPECT_EQ(g.BackGroundPixel(), RGB(1, 2, 3));
  EXPECT_EQ(g.BackGroundColor(), RGB(1, 2, 3));
}

TEST(PixelGraphic, AssignCopiesPictureAndOptionsWithOneNotification) {
  TPixelGraphic src;
  src.SetSize(3, 2, 2);
  src.SetPaletteIdent(pGray256);
  src.SetPixel(2, 1, 77);
  src.SetBackGroundPixel(4);
  src.SetDither(false);
  src.SetDitherErrorLimit(9);
  src.SetStretchMode(smFast);
  src.SetGamma(2.2L);
  src.SetXYRangeCheck(true);
  src.SetReadWarningAction(pgwaRaise);
  src.SetFastLoad(true);
  src.OnChange = [](TObject*) { FAIL() << "source must not be touched"; };

  TPixelGraphic dst;
  int changes = 0;
  dst.OnChange = [&](TObject*) { ++changes; };
  dst.Assign(&src);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.GetWidth(), 3);
  EXPECT_EQ(dst.BitCountNum(), 2);
  EXPECT_EQ(dst.GetPixel(2, 1), 77u);
  EXPECT_EQ(dst.PaletteIdent(), pGray256);
  EXPECT_EQ(dst.PaletteCount(), 256);
  EXPECT_EQ(dst.BackGroundPixel(), 4u);
  EXPECT_FALSE(dst.Dither());
  EXPECT_EQ(dst.DitherErrorLimit(), 9);
  EXPECT_EQ(dst.StretchMode(), smFast);
  EXPECT_EQ(dst.Gamma(), 2.2L);
  EXPECT_TRUE(dst.XYRangeCheck());
  EXPECT_EQ(dst.ReadWarningAction(), pgwaRaise);
  EXPECT_FALSE(dst.FastLoad());

  // An unknown palette stays unknown; a hand-made gray ramp is recognised.
  src.SetPaletteEntries(0, RGB(1, 0, 0));
  dst.Assign(&src);
  EXPECT_EQ(dst.PaletteIdent(), pUnknown);
  EXPECT_EQ(dst.PaletteEntries(0), RGB(1, 0, 0));
  EXPECT_EQ(changes, 2);
}

TEST(PixelGraphic, AssignOfNothingEmptiesButKeepsThePalette) {
  TPixelGraphic g;
  g.SetSize(2, 2, 2);
  g.SetPaletteIdent(pSys16);
  g.Assign(nullptr);
  EXPECT_TRUE(g.GetEmpty());
  EXPECT_EQ(g.BitCountNum(), 3);
  EXPECT_EQ(g.PaletteIdent(), pSys16);
  EXPECT_EQ(g.PaletteCount(), 16);
}

TEST(PixelGraphic, ChangeProtocol) {
  TPixelGraphic g;
  int changes = 0;
  g.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &g);
    ++changes;
  };
  g.BeginUpdate();
  g.SetSize(2, 2, 3);
  g.Clear();
  g.BeginUpdate();
  g.EndUpdate();
  EXPECT_EQ(changes, 0);
  g.EndUpdate();
  EXPECT_EQ(changes, 1);
  g.SetPixel(0, 0, 1);
  g.SetPaletteCount(0);
  EXPECT_EQ(changes, 1);
  g.SetFastUnknownPalette(false);
  g.SetFastUnknownPalette(false);
  EXPECT_EQ(changes, 2);
  g.SetWidth(2);  // same value: nothing
  EXPECT_EQ(changes, 2);
}

TEST(PixelGraphic, SwitchingTo24BitsDropsTheColourCaches) {
  TPixelGraphic g;
  g.SetSize(1, 1, 2);
  g.SetPaletteIdent(pUnknown);
  EXPECT_EQ(g.NearestIndex(0x123456), 0u);
  g.SetSize(1, 1, 3);
  EXPECT_EQ(g.NearestIndex(0x123456), 0x123456u);
}

}  // namespace
