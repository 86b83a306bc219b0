#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bmpformat.h"
#include "failuremessage.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "scriptedplatform.h"

namespace {

void Picture(TPixelGraphic& g) {
  g.SetSize(7, 3, 2);
  g.SetPaletteCount(3);
  g.SetPaletteEntries(0, RGB(1, 2, 3));
  g.SetPaletteEntries(1, RGB(200, 100, 50));
  g.SetPaletteEntries(2, RGB(9, 9, 9));
  for (int32_t x = 0; x < 7; ++x) g.SetPixel(x, x % 3, uint32_t(x % 3));
}

}  // namespace

TEST(GraphicClipboard, RoundTrip) {
  TScriptedPlatform platform;
  platform.Clipboard[CF_BITMAP] = {1, 2, 3};
  TPixelGraphic source;
  Picture(source);
  source.CopyToClipboard();
  ASSERT_EQ(platform.Clipboard.size(), 1u);
  const std::vector<uint8_t>& dib = platform.Clipboard.at(CF_DIB);
  EXPECT_EQ(int64_t(dib.size()), PackedDIBSize(source));
  EXPECT_EQ(dib[0], 40);

  TPixelGraphic g;
  g.SetGamma(2.5L);
  // What the graphic held before was a photo; the pasted picture is not.
  g.SetOrientation(6);
  g.SetExifBlock({'I', 'I', 42, 0});
  int changes = 0;
  g.OnChange = [&](TObject*) { ++changes; };
  g.LoadFromClipboard();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(g.Gamma(), ScreenGamma);
  EXPECT_EQ(g.Orientation(), 1);
  EXPECT_TRUE(g.ExifBlock().empty());
  ASSERT_EQ(g.GetWidth(), 7);
  ASSERT_EQ(g.PaletteCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(g.PaletteEntries(i), source.PaletteEntries(i));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(g.GetPixel(x, y), source.GetPixel(x, y));

  // Only a device-independent bitmap is taken from the clipboard.
  platform.Clipboard = {{CF_BITMAP, dib}};
  TPixelGraphic untouched;
  untouched.LoadFromClipboard();
  EXPECT_EQ(untouched.GetWidth(), 0);
  untouched.LoadFromClipboardFormat(CF_BITMAP, dib, 0);
  EXPECT_EQ(untouched.GetWidth(), 7);
}

TEST(GraphicClipboard, RefusedData) {
  TPixelGraphic source;
  Picture(source);
  uint16_t format = 0;
  std::vector<uint8_t> dib;
  uintptr_t palette = 1;
  source.SaveToClipboardFormat(format, dib, palette);
  EXPECT_EQ(format, CF_DIB);
  EXPECT_EQ(palette, 0u);

  TPixelGraphic g;
  int changes = 0;
  g.OnChange = [&](TObject*) { ++changes; };
  EXPECT_EQ(Failure([&] { g.LoadFromClipboardFormat(3, dib, 0); }), "Unknown clipboard format");
  EXPECT_EQ(Failure([&] { g.LoadFromClipboardFormat(CF_DIB, {}, 0); }), "Unknown clipboard format");
  EXPECT_EQ(changes, 0);
  dib.resize(30);
  EXPECT_NE(Failure([&] { g.LoadFromClipboardFormat(CF_DIB, dib, 0); }), "no failure");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(g.UpdateCount(), 0);
}
