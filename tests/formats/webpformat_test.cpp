#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "alphablend.h"
#include "codecpeer.h"
#include "failuremessage.h"
#include "formatoptions.h"
#include "langstr.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "pngformat.h"
#include "stream.h"
#include "webpformat.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

const TRGB Background = RGB(0, 100, 200);

// Smooth shading with a little noise: what a photograph is like.
void Photo(TPixelGraphic& g, int32_t width, int32_t height, unsigned seed = 3) {
  std::mt19937 random(seed);
  g.SetSize(width, height, 3);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const auto channel = [&](double phase) {
        return uint8_t(std::clamp(128 + 100 * std::sin(x * 0.05 + phase) * std::cos(y * 0.04) + int(random() % 9) - 4,
                                  0.0, 255.0));
      };
      g.SetPixel(x, y, RGB(channel(0), channel(2), channel(4)));
    }
}

double PSNR(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// Red, green, blue, alpha per pixel, rows top-down, as a PAM file for cwebp.
void WritePAM(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgba) {
  std::ofstream out(path, std::ios::binary);
  out << "P7\nWIDTH " << width << "\nHEIGHT " << height << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  out.write(reinterpret_cast<const char*>(rgba.data()), std::streamsize(rgba.size()));
}

std::vector<uint8_t> ReadPAMSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line) && line != "ENDHDR") {
  }
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class WebPPeers : public ::testing::Test {
protected:
  void SetUp() override {
    if (!HaveTools("cwebp dwebp img2webp")) GTEST_SKIP() << "the webp tools are not installed";
  }
  void TearDown() override {
    WebPQuality = 80;
    WebPLossless = false;
  }

  void Load(const std::string& file, TPixelGraphic& g, int index = 0) {
    g.SetBackGroundColor(Background);
    TFileStream s(file, fmOpenRead);
    TWebPFileFormatReader().Read(s, g, index);
  }

  TFileFormatInfo Info(const std::string& file, int index = 0) {
    TFileStream s(file, fmOpenRead);
    TFileFormatInfo info;
    TWebPFileFormatReader().ReadInfo(s, index, info);
    return info;
  }

  std::vector<uint8_t> DwebpRGB(const std::string& webp) {
    const std::string ppm = Dir / "dwebp.ppm";
    EXPECT_TRUE(RunQuietly("dwebp " + webp + " -ppm -o " + ppm));
    return ReadPNM(ppm).RGB();
  }

  std::string Written(TPixelGraphic& g) {
    const std::string webp = Dir / "ours.webp";
    TFileStream s(webp, fmCreate);
    g.SaveToStreamExt(s, "webp");
    return webp;
  }

  TTempDirectory Dir;
};

TEST_F(WebPPeers, LossyAndLosslessFilesOfCwebpReadAsDwebpDecodesThem) {
  TPixelGraphic source;
  // Large enough that the decoder is fed in several pieces.
  Photo(source, 331, 217);
  const std::string ppm = Dir / "source.ppm";
  WritePNM(ppm, source);
  struct {
    const char* options;
    const char* subFormat;
  } const cases[] = {{"-q 80", "lossy"}, {"-q 95 -sharp_yuv", "lossy"}, {"-lossless", "lossless"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string webp = Dir / "peer.webp";
    ASSERT_TRUE(RunQuietly(std::string("cwebp ") + c.options + " " + ppm + " -o " + webp));
    const TFileFormatInfo info = Info(webp);
    EXPECT_EQ(info.SubFormat, c.subFormat);
    EXPECT_EQ(info.Width, 331);
    EXPECT_EQ(info.Height, 217);
    EXPECT_EQ(info.BitCount, 24);
    EXPECT_EQ(info.ImageCount, 1);
    TPixelGraphic g;
    int progress = 0, last = -1;
    g.OnProgress = [&](TObject*, int step, int max, bool&) {
      ++progress;
      EXPECT_GT(step, last);
      EXPECT_EQ(max, 217);
      last = step;
    };
    Load(webp, g);
    EXPECT_GE(progress, 1);
    EXPECT_EQ(last, 217);
    EXPECT_LE(MaxDifference(GraphicRGB(g), DwebpRGB(webp)), 1);
    if (std::string(c.subFormat) == "lossless") {
      EXPECT_EQ(GraphicRGB(g), GraphicRGB(source));
    }
  }
}

TEST_F(WebPPeers, AlphaIsLaidOverTheBackgroundAsThePNGReaderLaysIt) {
  constexpr int32_t width = 29, height = 17;
  std::vector<uint8_t> rgba;
  std::mt19937 random(5);
  for (int32_t i = 0; i < width * height; ++i)
    rgba.insert(rgba.end(), {uint8_t(random()), uint8_t(random()), uint8_t(random()), uint8_t(i * 7)});
  const std::string pam = Dir / "alpha.pam", webp = Dir / "alpha.webp", png = Dir / "alpha.png";
  WritePAM(pam, width, height, rgba);
  ASSERT_TRUE(RunQuietly("cwebp -lossless -exact " + pam + " -o " + webp));
  EXPECT_EQ(Info(webp).SubFormat, "lossless, alpha");
  EXPECT_EQ(Info(webp).BitCount, 32);
  TPixelGraphic g;
  Load(webp, g);
  if (Executable("/usr/bin/convert")) {
    // Without the chunks that would have libpng composite otherwise: gamma, colour space, background.
    ASSERT_TRUE(RunQuietly("/usr/bin/convert " + pam + " -define png:exclude-chunks=gAMA,cHRM,sRGB,bKGD " + png));
    TPixelGraphic p;
    p.SetBackGroundColor(Background);
    TFileStream s(png, fmOpenRead);
    TPNGFileFormatReader().Read(s, p, 0);
    EXPECT_EQ(GraphicRGB(g), GraphicRGB(p));
  }

  // Lossy with alpha: dwebp's samples, blended the same way.
  ASSERT_TRUE(RunQuietly("cwebp -q 80 " + pam + " -o " + webp));
  ASSERT_TRUE(RunQuietly("dwebp " + webp + " -pam -o " + pam));
  const std::vector<uint8_t> decoded = ReadPAMSamples(pam);
  ASSERT_EQ(decoded.size(), size_t(width * height * 4));
  std::vector<uint8_t> blended;
  for (size_t i = 0; i < decoded.size(); i += 4)
    blended.insert(blended.end(), {BlendOver(decoded[i], decoded[i + 3], GetRValue(Background)),
                                   BlendOver(decoded[i + 1], decoded[i + 3], GetGValue(Background)),
                                   BlendOver(decoded[i + 2], decoded[i + 3], GetBValue(Background))});
  Load(webp, g);
  EXPECT_LE(MaxDifference(GraphicRGB(g), blended), 1);
}

TEST_F(WebPPeers, EveryFrameOfAnAnimationAndTheCanvasBombRefused) {
  TPixelGraphic frames[3];
  std::string names;
  for (int k = 0; k < 3; ++k) {
    Photo(frames[k], 40, 30);
    // Later frames change only a part, so that img2webp stores sub-rectangles.
    for (int32_t y = 5 + 3 * k; y < 15 + 3 * k; ++y)
      for (int32_t x = 4 * k; x < 10 + 4 * k; ++x) frames[k].SetPixel(x, y, RGB(255, 80 * k, 0));
    const std::string ppm = Dir / ("frame" + std::to_string(k) + ".ppm");
    WritePNM(ppm, frames[k]);
    names += " " + ppm;
  }
  const std::string webp = Dir / "anim.webp";
  ASSERT_TRUE(RunQuietly("img2webp -lossless" + names + " -o " + webp));
  EXPECT_EQ(Info(webp).ImageCount, 3);
  EXPECT_EQ(Info(webp, 2).SubFormat.rfind("animated", 0), 0u);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    TPixelGraphic g;
    Load(webp, g, k);
    EXPECT_EQ(GraphicRGB(g), GraphicRGB(frames[k]));
  }
  TPixelGraphic g;
  EXPECT_EQ(Failure([&] { Load(webp, g, 3); }), "WebP: Index invalid");
  EXPECT_EQ(Failure([&] { Info(webp, 3); }), "WebP: Invalid value for Index");

  // The same file declaring a canvas of 20000 x 20000 pixels (VP8X stores
  // each side less one in 24 bits): refused before libwebp takes memory.
  Bytes bomb = FileBytes(webp);
  ASSERT_EQ(std::string(bomb.begin() + 12, bomb.begin() + 16), "VP8X");
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < 3; ++i) bomb[size_t(24 + 3 * side + i)] = uint8_t(19999 >> (8 * i));
  EXPECT_EQ(Failure<EPGPictureTooLarge>([&] { ReadWith<TWebPFileFormatReader>(bomb, g); }),
            PixelLimitText(20000, 20000, DefaultMaxPixels));
  EXPECT_EQ(InfoWith<TWebPFileFormatReader>(bomb).Width, 20000);
}

TEST_F(WebPPeers, WhatWeWriteDecodesWithDwebp) {
  TPixelGraphic source;
  Photo(source, 120, 90);
  // Default quality: lossy at 80, close to the picture.
  const std::string lossy = Written(source);
  EXPECT_EQ(Info(lossy).SubFormat, "lossy");
  EXPECT_GE(PSNR(DwebpRGB(lossy), GraphicRGB(source)), 30);
  const auto size = [&](int quality) {
    WebPQuality = quality;
    return FileBytes(Written(source)).size();
  };
  EXPECT_LT(size(10), size(95));

  WebPLossless = true;
  const std::string lossless = Written(source);
  EXPECT_EQ(Info(lossless).SubFormat, "lossless");
  EXPECT_EQ(DwebpRGB(lossless), GraphicRGB(source));

  // A palette picture goes as true colour, each pixel its palette colour.
  TPixelGraphic paletted;
  paletted.SetSize(33, 7, 2);
  paletted.SetPaletteIdent(pSpecial216);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 33; ++x) paletted.SetPixel(x, y, uint32_t(x * 7 + y) % 216);
  paletted.SetSaveColorResWarningAction(pgwaIgnore);
  EXPECT_EQ(DwebpRGB(Written(paletted)), GraphicRGB(paletted));
}

TEST(WebPFormat, CutAndBrokenFilesAndUnwritablePictures) {
  TPixelGraphic source, g;
  Photo(source, 200, 150);
  TMemoryStream written;
  TWebPFileFormatWriter().Write(written, source);
  Bytes cut(written.Memory(), written.Memory() + written.Size() / 2);
  g.SetReadWarningAction(pgwaRaise);
  EXPECT_EQ(Failure([&] { ReadWith<TWebPFileFormatReader>(cut, g); }), "WebP: Unexpected end of file");
  g.SetReadWarningAction(pgwaIgnore);
  ReadWith<TWebPFileFormatReader>(cut, g);
  EXPECT_EQ(g.GetWidth(), 200);

  Bytes broken(written.Memory(), written.Memory() + 40);
  for (size_t i = 20; i < broken.size(); ++i) broken[i] = uint8_t(i * 37);
  EXPECT_EQ(Failure([&] { ReadWith<TWebPFileFormatReader>(broken, g); }).rfind("WebP: ", 0), 0u);
  EXPECT_EQ(Failure([&] {
              ReadWith<TWebPFileFormatReader>(Bytes{'R', 'I', 'F', 'F'}, g);
            }),
            "WebP: Unexpected end of file");

  // A picture within the limit of the pixel limit's own setting only.
  MaxPixels = 1000;
  EXPECT_EQ(Failure<EPGPictureTooLarge>([&] { ReadWith<TWebPFileFormatReader>(cut, g); }),
            PixelLimitText(200, 150, 1000));
  MaxPixels = DefaultMaxPixels;

  TPixelGraphic empty;
  TMemoryStream s;
  EXPECT_EQ(Failure([&] { TWebPFileFormatWriter().Write(s, empty); }),
            "WebP: Width and height must be 1 to 16383 pixels");
  SetPGLanguage(1);
  EXPECT_EQ(Failure([&] { TWebPFileFormatWriter().Write(s, empty); }),
            "WebP: Breite und Höhe müssen 1 bis 16383 Pixel betragen");
  SetPGLanguage(0);
}

}  // namespace
