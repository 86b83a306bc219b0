#include <gtest/gtest.h>

#include <set>

#include "displaycopyrule.h"
#include "pgimage.h"
#include "screendepth.h"
#include "testpictures.h"
#include "viewtesting.h"

namespace {

TPGDisplayCopyQuestion Question(int screen, int picture, TPaletteIdent ident) {
  TPGDisplayCopyQuestion q;
  q.ScreenBits = screen;
  q.PictureBits = picture;
  q.PictureIdent = ident;
  q.Picture = q.Displayed = q.LastCopy = {100, 50};
  return q;
}

struct TScreenDepth {
  explicit TScreenDepth(int bits) { SetScreenBitsPerPixel(bits); }
  ~TScreenDepth() { SetScreenBitsPerPixel(0); }
};

}  // namespace

TEST(DisplayCopy, NeededAtEachScreenDepth) {
  EXPECT_FALSE(DisplayCopyNeeded(Question(24, 24, pTrueColor)).Needed);
  EXPECT_FALSE(DisplayCopyNeeded(Question(24, 8, pUnknown)).Needed);
  EXPECT_TRUE(DisplayCopyNeeded(Question(8, 24, pTrueColor)).Needed);
  EXPECT_TRUE(DisplayCopyNeeded(Question(4, 8, pSys16)).Needed);
  // 4-bit screen: only the system colours themselves are shown directly.
  EXPECT_FALSE(DisplayCopyNeeded(Question(4, 4, pSys16)).Needed);
  EXPECT_TRUE(DisplayCopyNeeded(Question(4, 4, pGray16)).Needed);
  // 8-bit screen: a picture already on the chosen palette, or the source choice.
  TPGDisplayCopyQuestion q = Question(8, 8, pGray256);
  EXPECT_TRUE(DisplayCopyNeeded(q).Needed);
  q.Palette8BitSys8BitGraphic = pGray256;
  EXPECT_FALSE(DisplayCopyNeeded(q).Needed);
  q.Palette8BitSys8BitGraphic = pSource;
  EXPECT_FALSE(DisplayCopyNeeded(q).Needed);
  // Reduced on load: needed again only when stale.
  q = Question(8, 8, pGray256);
  q.ReduceOnLoad = true;
  EXPECT_FALSE(DisplayCopyNeeded(q).Needed);
  q.StaleFlag = true;
  EXPECT_TRUE(DisplayCopyNeeded(q).Needed);
  // Resampling for display: needed and stale once the displayed size moves.
  q = Question(24, 24, pTrueColor);
  q.StretchMode = smPrecise;
  q.Displayed = {50, 25};
  const TPGDisplayCopyAnswer a = DisplayCopyNeeded(q);
  EXPECT_TRUE(a.Needed && a.Stale && a.Resized);

  EXPECT_EQ(DisplayCopyFormat(4, 24, pOptimized252Sys16, pOptimized252Sys16).Palette, pSys16);
  EXPECT_EQ(DisplayCopyFormat(24, 8, pGray256, pGray256).BitCountNum, 3);
  EXPECT_TRUE(DisplayCopyFormat(8, 24, pOptimized252Sys16, pGray256).Optimized);
  EXPECT_EQ(DisplayCopyFormat(8, 8, pOptimized252Sys16, pGray256).Palette, pGray256);
  EXPECT_TRUE(DisplayCopyFormat(8, 4, pSpecial216, pSource).SourcePalette);
}

TEST(DisplayCopy, ViewPreparesShowsAndCancels) {
  TPGImage view;
  view.resize(200, 200);
  auto picture = std::make_unique<TPixelGraphic>();
  FillRandom(*picture, 400, 300, 1);
  view.SetPixelGraphic(std::move(picture));
  // 24 bits on a 24-bit screen, fast: drawn directly.
  EXPECT_FALSE(view.NeedsDisplayCopy());
  EXPECT_EQ(view.PaintPixelGraphic(), nullptr);

  // Precise resampling into a smaller view: a copy at the displayed size,
  // missing at first while the outline and the clocks show.
  view.SetStretch(sShrinkKAR);
  view.SetStretchMode(smPrecise);
  EXPECT_TRUE(view.NeedsDisplayCopy());
  EXPECT_EQ(view.PaintPixelGraphic(), nullptr);
  ASSERT_TRUE(ProcessEventsUntil([&] { return view.PaintPixelGraphic() != nullptr; }));
  const TPGRect r = view.PictureRect();
  EXPECT_EQ(view.PaintPixelGraphic()->GetWidth(), r.Right - r.Left);
  EXPECT_EQ(view.PaintPixelGraphic()->GetHeight(), r.Bottom - r.Top);
  EXPECT_TRUE(view.NeedsDisplayCopy());

  // Replaced while its copy is prepared: the old one never shows, a new
  // one of the new picture arrives at the next paint.
  auto second = std::make_unique<TPixelGraphic>();
  Uniform(*second, 400, 300, 0x00FF00);
  view.SetPixelGraphic(std::move(second));
  EXPECT_TRUE(view.NeedsDisplayCopy());
  auto third = std::make_unique<TPixelGraphic>();
  Uniform(*third, 400, 300, 0x0000FF);
  view.SetPixelGraphic(std::move(third));
  EXPECT_EQ(view.PaintPixelGraphic(), nullptr);
  view.NeedsDisplayCopy();
  ASSERT_TRUE(ProcessEventsUntil([&] { return view.PaintPixelGraphic() != nullptr; }));
  EXPECT_EQ(view.PaintPixelGraphic()->GetPixelColor(5, 5), TRGB(0x0000FF));
}

TEST(DisplayCopy, EightBitScreenGetsOptimizedPalette) {
  TScreenDepth depth(8);
  TPGImage view;
  view.SetUseThread(false);
  auto picture = std::make_unique<TPixelGraphic>();
  FillRandom(*picture, 64, 64, 2);
  view.SetPixelGraphic(std::move(picture));
  EXPECT_TRUE(view.NeedsDisplayCopy());
  const TPixelGraphic* copy = view.PaintPixelGraphic();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->BitCount(), 8);
  EXPECT_EQ(copy->PaletteCount(), 252);
  std::set<TRGB> sys16;
  TPixelGraphic s;
  s.SetSize(1, 1, 2);
  s.SetPaletteIdent(pSys16);
  for (int i = 0; i < 16; ++i) sys16.insert(s.PaletteEntries(i));
  int found = 0;
  for (int i = 0; i < copy->PaletteCount(); ++i) found += int(sys16.count(copy->PaletteEntries(i)));
  EXPECT_GE(found, 16);

  // An 8-bit picture already on the chosen palette needs no copy.
  auto gray = std::make_unique<TPixelGraphic>();
  gray->SetSize(8, 8, 2);
  gray->SetPaletteIdent(pGray256);
  view.SetPixelGraphic(std::move(gray));
  view.SetPalette8BitSys8BitGraphic(pGray256);
  EXPECT_FALSE(view.NeedsDisplayCopy());

  // Reduced on load: the copy becomes the picture.
  view.SetReduceOnLoad(true);
  auto colour = std::make_unique<TPixelGraphic>();
  FillRandom(*colour, 32, 32, 3);
  view.SetPixelGraphic(std::move(colour));
  view.NeedsDisplayCopy();
  EXPECT_EQ(view.PixelGraphic()->BitCount(), 8);
  EXPECT_FALSE(view.NeedsDisplayCopy());
}
