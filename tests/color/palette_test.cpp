#include <gtest/gtest.h>

#include "namedpalettes.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"

namespace {

TEST(Palette, NamedPaletteEntries) {
  auto gray236 = NamedPaletteEntries(pGray236);
  ASSERT_EQ(gray236.size(), 236u);
  for (int i = 0; i < 236; ++i) {
    // 51i/47 rounded; no level lies on a half.
    const uint32_t level = uint32_t((2 * 51 * i + 47) / (2 * 47));
    ASSERT_EQ(gray236[size_t(i)], RGB(level, level, level)) << i;
  }
  EXPECT_EQ(gray236[6], RGB(7, 7, 7));
  EXPECT_EQ(gray236[235], RGB(255, 255, 255));

  auto cube125 = NamedPaletteEntries(pSpecial125);
  EXPECT_EQ(cube125[124], RGB(255, 255, 255));
  EXPECT_EQ(cube125[31], RGB(64, 64, 64));
  EXPECT_EQ(cube125[25 * 4 + 5 * 0 + 2], RGB(255, 0, 128));
  auto cube216 = NamedPaletteEntries(pSpecial216);
  EXPECT_EQ(cube216[36 * 1 + 6 * 2 + 3], RGB(51, 102, 153));

  auto special = NamedPaletteEntries(pSpecial252);
  ASSERT_EQ(special.size(), 252u);
  EXPECT_EQ(special[16], RGB(0, 0, 64));
  EXPECT_EQ(special[124], RGB(255, 255, 192));
  EXPECT_EQ(special[125], RGB(32, 32, 32));
  EXPECT_EQ(special[251], RGB(224, 96, 192));
  for (size_t i = 0; i < special.size(); ++i)
    for (size_t j = i + 1; j < special.size(); ++j) ASSERT_NE(special[i], special[j]) << i << " " << j;

  EXPECT_EQ(NamedPaletteEntries(pSysGray4), (std::vector<TRGB>{0, RGB(128, 128, 128), RGB(192, 192, 192), 0xFFFFFF}));
  EXPECT_EQ(NamedPaletteEntries(pGray16)[15], RGB(255, 255, 255));
  EXPECT_EQ(NamedPaletteEntries(pGray4)[2], RGB(170, 170, 170));
}

TEST(Palette, IdentifierWrites) {
  TPixelGraphic g;
  g.SetSize(2, 2, 2);
  g.SetPaletteIdent(pSys16);
  EXPECT_EQ(g.PaletteCount(), 16);
  EXPECT_EQ(g.PaletteEntries(7), RGB(192, 192, 192));
  g.SetPaletteIdent(pSource);  // a choice, not a palette: nothing changes
  EXPECT_EQ(g.PaletteIdent(), pSys16);
  g.SetPaletteIdent(pUnknown);
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  EXPECT_EQ(g.PaletteCount(), 16);
  g.SetPaletteIdent(pNone);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pNone);
}

TEST(Palette, EntryWritesAndErrors) {
  TPixelGraphic g;
  g.SetSize(1, 1, 2);
  EXPECT_EQ(g.PaletteEntries(1000), 1000u);  // pTrueColor passes values through
  try {
    g.SetPaletteEntries(0, 0);
    FAIL();
  } catch (const EPGNoPalette& e) {
    EXPECT_STREQ(e.what(), "No palette");
  }
  g.SetPaletteIdent(pGray256);
  g.SetPaletteEntries(10, RGB(10, 10, 10));  // same colour still makes it unknown
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  try {
    g.PaletteEntries(256);
    FAIL();
  } catch (const EPGInvalidPaletteIndex& e) {
    EXPECT_STREQ(e.what(), "Invalid palette index");
  }
  EXPECT_THROW(g.SetPaletteEntries(-1, 0), EPGInvalidPaletteIndex);
  g.SetPaletteCount(0);
  EXPECT_EQ(g.PaletteIdent(), pNone);
  EXPECT_THROW(g.PaletteEntries(0), EPGInvalidPaletteIndex);

  g.SetPaletteIdent(pBlackWhite);
  g.SetPaletteCount(3);
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  EXPECT_EQ(g.PaletteEntries(0), RGB(0, 0, 0));
  EXPECT_EQ(g.PaletteEntries(1), RGB(255, 255, 255));
  EXPECT_EQ(g.PaletteEntries(2), RGB(0, 0, 0));
}

TEST(Palette, IdentifyPaletteFindsEveryNamedPaletteInOrder) {
  for (TPaletteIdent ident : {pBlackWhite, pSysGray4, pSys16, pGray4, pGray16, pGray236, pGray256, pSpecial125,
                              pSpecial216, pSpecial252}) {
    TPixelGraphic src;
    src.SetSize(1, 1, 2);
    src.SetPaletteIdent(ident);
    TPixelGraphic g;
    g.SetSize(1, 1, 2);
    g.SetPaletteCount(src.PaletteCount());
    for (int i = 0; i < src.PaletteCount(); ++i) g.SetPaletteEntries(i, src.PaletteEntries(i));
    EXPECT_EQ(g.PaletteIdent(), pUnknown);
    g.IdentifyPalette();
    EXPECT_EQ(g.PaletteIdent(), ident);
    const bool gray = ident == pBlackWhite || ident == pSysGray4 || ident == pGray4 || ident == pGray16 ||
                      ident == pGray236 || ident == pGray256;
    EXPECT_EQ(g.GrayPalette(), gray) << int(ident);
  }
  TPixelGraphic g;
  g.IdentifyPalette();
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
  EXPECT_FALSE(g.GrayPalette());
  g.SetSize(1, 1, 0);
  g.IdentifyPalette();
  EXPECT_EQ(g.PaletteIdent(), pNone);
  g.SetPaletteCount(2);
  g.SetPaletteEntries(1, RGB(1, 1, 1));
  g.IdentifyPalette();
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  EXPECT_TRUE(g.GrayPalette());
}

TEST(Palette, AssignPaletteIdentifies) {
  TPixelGraphic a, b;
  a.SetSize(1, 1, 2);
  b.SetSize(1, 1, 2);
  a.SetPaletteIdent(pSpecial216);
  b.AssignPalette(a);
  EXPECT_EQ(b.PaletteIdent(), pSpecial216);
  EXPECT_EQ(b.PaletteCount(), 216);
}

}  // namespace
