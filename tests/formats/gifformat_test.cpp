#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecpeer.h"
#include "failuremessage.h"
#include "gifformat.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "stream.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

const TRGB Background = RGB(0, 100, 200);

// A GIF of one frame made by hand: screen and frame sizes as given, a
// two-colour global table, and pixel data that is a single clear code and
// the end code (no pixels at all).
Bytes HandmadeGIF(uint16_t screenWidth, uint16_t screenHeight, uint16_t frameWidth, uint16_t frameHeight) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(b, screenWidth);
  Put16(b, screenHeight);
  b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255, ','});
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, frameWidth);
  Put16(b, frameHeight);
  b.insert(b.end(), {0, 2, 2, 0x2C, 0x00, 0, ';'});
  return b;
}

class GIFPeers : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Executable(Convert)) GTEST_SKIP() << "ImageMagick's convert is not installed";
    ASSERT_TRUE(RunQuietly(Convert + " -size 37x23 -seed 4 plasma:fractal -colors 64 " + Dir / "base.ppm"));
  }

  void Load(const std::string& file, TPixelGraphic& g, int index = 0) {
    g.SetBackGroundColor(Background);
    TFileStream s(file, fmOpenRead);
    TGIFFileFormatReader().Read(s, g, index);
  }

  TFileFormatInfo Info(const std::string& file, int index = 0) {
    TFileStream s(file, fmOpenRead);
    TFileFormatInfo info;
    TGIFFileFormatReader().ReadInfo(s, index, info);
    return info;
  }

  // The picture as ImageMagick reads it, transparency flattened on Background.
  std::vector<uint8_t> PeerRGB(const std::string& file) {
    const std::string ppm = Dir / "peer.ppm";
    EXPECT_TRUE(RunQuietly(Convert + " '" + file + "' -background 'rgb(0,100,200)' -flatten -depth 8 " + ppm));
    return ReadPNM(ppm).RGB();
  }

  const std::string Convert = "/usr/bin/convert";
  TTempDirectory Dir;
};

TEST_F(GIFPeers, PalettedInterlacedTransparentAndPartialPicturesReadAsImageMagickReadsThem) {
  struct {
    const char* options;
    uint8_t bitCountNum;
    const char* subFormat;
  } const cases[] = {
      {"", 2, "GIF89a"},
      {"-colors 16 -interlace GIF", 1, "GIF89a, interlaced"},
      {"-colors 2", 0, "GIF89a"},
      {"-fill 'rgb(1,2,3)' -draw 'rectangle 0,0 9,9' -transparent 'rgb(1,2,3)'", 2, "GIF89a, transparent"},
      // A frame that leaves most of its screen uncovered.
      {"-crop 20x10+5+5", 2, "GIF89a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string gif = Dir / "peer.gif";
    ASSERT_TRUE(RunQuietly(Convert + " " + Dir / "base.ppm " + c.options + " " + gif));
    const TFileFormatInfo info = Info(gif);
    EXPECT_EQ(info.SubFormat, c.subFormat);
    EXPECT_EQ(info.Width, 37);
    EXPECT_EQ(info.Height, 23);
    EXPECT_EQ(info.ImageCount, 1);
    TPixelGraphic g;
    Load(gif, g);
    EXPECT_EQ(g.BitCountNum(), c.bitCountNum);
    EXPECT_EQ(GraphicRGB(g), PeerRGB(gif));
  }
}

TEST_F(GIFPeers, EveryFrameOfAnAnimationAsImageMagickComposesIt) {
  const std::string base = Dir / "base.ppm", gif = Dir / "anim.gif";
  ASSERT_TRUE(RunQuietly(Convert + " " + base + " -fill red -draw 'rectangle 5,5 14,12' " + Dir / "f1.ppm"));
  ASSERT_TRUE(RunQuietly(Convert + " " + base + " -fill blue -draw 'rectangle 20,8 30,20' " + Dir / "f2.ppm"));
  const std::string frames[] = {
      // Optimized: later frames are small rectangles with transparency, disposed to the previous picture.
      base + " " + Dir / "f1.ppm " + Dir / "f2.ppm -layers Optimize",
      // Rectangles cleared to transparency (the background colour) after they were shown.
      base + " -dispose Background \\( " + Dir / "f1.ppm -crop 10x8+5+5 \\) \\( " + Dir / "f2.ppm" +
          " -crop 11x13+20+8 \\)",
  };
  for (const std::string& how : frames) {
    SCOPED_TRACE(how);
    ASSERT_TRUE(RunQuietly(Convert + " -delay 10 " + how + " -loop 0 " + gif));
    ASSERT_TRUE(RunQuietly(Convert + " " + gif + " -coalesce -background 'rgb(0,100,200)' -alpha remove +adjoin " +
                           Dir / "frame-%d.ppm"));
    EXPECT_EQ(Info(gif).ImageCount, 3);
    EXPECT_EQ(Info(gif).SubFormat.rfind("GIF89a", 0), 0u);
    EXPECT_EQ(Info(gif, 2).SubFormat.substr(Info(gif, 2).SubFormat.size() - 10), ", animated");
    for (int index = 0; index < 3; ++index) {
      SCOPED_TRACE(index);
      TPixelGraphic g;
      Load(gif, g, index);
      EXPECT_EQ(g.BitCountNum(), index == 0 ? 2 : 3);
      EXPECT_EQ(GraphicRGB(g), ReadPNM(Dir / ("frame-" + std::to_string(index) + ".ppm")).RGB());
    }
  }
  TPixelGraphic g;
  EXPECT_EQ(Failure([&] { Load(gif, g, 3); }), "GIF: Index invalid");
  EXPECT_EQ(Failure([&] { Info(gif, 3); }), "GIF: Invalid value for Index");

  // Through the registry, whatever the name says.
  const std::string named = Dir / "anim.bmp";
  ASSERT_TRUE(RunQuietly("cp " + gif + " " + named));
  TPixelGraphic loaded;
  loaded.LoadFromFile(named, 1);
  EXPECT_EQ(loaded.GetWidth(), 37);
}

TEST_F(GIFPeers, ACutFileWarnsOrFailsAsTheWarningActionSays) {
  const std::string gif = Dir / "whole.gif";
  ASSERT_TRUE(RunQuietly(Convert + " " + Dir / "base.ppm " + gif));
  Bytes bytes = FileBytes(gif);
  bytes.resize(bytes.size() * 2 / 3);
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  EXPECT_EQ(Failure([&] { ReadWith<TGIFFileFormatReader>(bytes, g); }), "GIF: Unexpected end of file");
  g.SetReadWarningAction(pgwaIgnore);
  ReadWith<TGIFFileFormatReader>(bytes, g);
  EXPECT_EQ(g.GetWidth(), 37);
  // The rows that came are the file's.
  TPixelGraphic whole;
  Load(gif, whole);
  EXPECT_EQ(g.GetPixelColor(3, 2), whole.GetPixelColor(3, 2));
}

TEST(GIFFormat, DeclaredSizesBeyondThePixelLimitAreRefusedAndBrokenFilesFailInTheFormatsWords) {
  // A 40-byte file declaring a screen of 65535 x 65535 pixels.
  TPixelGraphic g;
  const Bytes bomb = HandmadeGIF(65535, 65535, 1, 1);
  EXPECT_LT(bomb.size(), 50u);
  EXPECT_EQ(Failure<EPGPictureTooLarge>([&] { ReadWith<TGIFFileFormatReader>(bomb, g); }),
            PixelLimitText(65535, 65535, DefaultMaxPixels));
  // A small screen with a huge frame on it.
  EXPECT_EQ(Failure<EPGPictureTooLarge>([&] { ReadWith<TGIFFileFormatReader>(HandmadeGIF(8, 8, 60000, 60000), g); }),
            PixelLimitText(60000, 60000, DefaultMaxPixels));
  const TFileFormatInfo info = InfoWith<TGIFFileFormatReader>(bomb);
  EXPECT_EQ(info.Width, 65535);
  EXPECT_EQ(info.ColorCount, "2");

  // A frame without pixels leaves its screen at the background colour, an
  // entry after the file's two.
  TPixelGraphic empty;
  empty.SetBackGroundColor(Background);
  ReadWith<TGIFFileFormatReader>(HandmadeGIF(3, 2, 0, 0), empty);
  EXPECT_EQ(empty.BitCountNum(), 1);
  EXPECT_EQ(empty.PaletteCount(), 3);
  EXPECT_EQ(empty.GetPixelColor(2, 1), Background);

  Bytes notGIF = HandmadeGIF(3, 2, 1, 1);
  notGIF[19] = 'x';
  EXPECT_EQ(Failure([&] { ReadWith<TGIFFileFormatReader>(notGIF, g); }), "GIF: Wrong record type detected");
  EXPECT_EQ(Failure([&] { ReadWith<TGIFFileFormatReader>(Bytes{'G', 'I', 'F'}, g); }).rfind("GIF: ", 0), 0u);
}

}  // namespace
