// Pictures with colour profiles and gamma, written by ImageMagick, read
// against libvips' conversion to sRGB; the profile-less reading of the same
// files against ImageMagick's.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecpeer.h"
#include "embeddedprofile.h"
#include "failuremessage.h"
#include "formatoptions.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "tempdir.h"
#include "testprofiles.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;
const std::string ColordDir = "/usr/share/color/icc/colord/";

// Sets the options for one test and puts the defaults back.
struct TColourOptions {
  TColourOptions() = default;
  TColourOptions(const TColourOptions&) = delete;
  TColourOptions& operator=(const TColourOptions&) = delete;
  ~TColourOptions() {
    ConvertToSRGB = true;
    GammaCorrectionOnRead = true;
    ScreenGamma = 2.2L;
  }
};

bool HavePeers() {
  return HaveTools("convert vips") && std::filesystem::exists(ColordDir + "AdobeRGB1998.icc") &&
         std::filesystem::exists(ColordDir + "SwappedRedAndGreen.icc");
}

// Saturated ramps and greys, where profiles differ most.
void WriteSource(const std::string& path, bool gray = false) {
  TPixelGraphic g;
  g.SetSize(48, 24, 3);
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 48; ++x) {
      const uint8_t v = uint8_t(x * 255 / 47), w = uint8_t(y * 255 / 23);
      g.SetPixel(x, y, y < 8 ? RGB(v, 255 - v, w) : y < 16 ? RGB(0, v, 0) : RGB(v, v, v));
    }
  WritePNM(path, g, gray);
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// ImageMagick embeds the profile in a picture that has none, without
// changing its numbers.
std::string Embedded(const TTempDirectory& dir, const std::string& source, const std::string& profile,
                     const std::string& target, const std::string& format = std::string()) {
  const std::string out = dir / target;
  return RunQuietly("convert " + Quoted(source) + " -profile " + Quoted(profile) + " " + Quoted(format + out)) ? out
                                                                                                            : "";
}

// libvips' conversion of the file's pixels with its embedded profile to sRGB.
std::vector<uint8_t> VipsSRGB(const TTempDirectory& dir, const std::string& file) {
  const std::string out = dir / "vips.ppm";
  if (!RunQuietly("vips icc_transform " + Quoted(file) + " " + Quoted(out) + " srgb --embedded")) return {};
  return ReadPNM(out).RGB();
}

// The numbers as stored, as ImageMagick reads them without a conversion.
std::vector<uint8_t> StoredRGB(const TTempDirectory& dir, const std::string& file) {
  const std::string out = dir / "stored.ppm";
  if (!RunQuietly("convert " + Quoted(file) + " +profile '*' -type truecolor " + Quoted(out))) return {};
  return ReadPNM(out).RGB();
}

std::vector<uint8_t> OurRGB(const std::string& file, TPixelGraphic& g) {
  g.LoadFromFile(file);
  return GraphicRGB(g);
}

TEST(ColourProfile, RGBProfilesMatchLibvipsThroughJPEGPNGAndTIFF) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, libvips or colord-data are not installed";
  const TColourOptions restore;
  TTempDirectory dir;
  WriteSource(dir / "source.ppm");
  for (const std::string profile : {"AdobeRGB1998", "SwappedRedAndGreen"})
    for (const std::string ext : {"jpg", "png", "tif"}) {
      const std::string file = Embedded(dir, dir / "source.ppm", ColordDir + profile + ".icc", "p." + ext);
      ASSERT_FALSE(file.empty()) << profile << ext;
      const std::vector<uint8_t> vips = VipsSRGB(dir, file), stored = StoredRGB(dir, file);
      ASSERT_FALSE(vips.empty() || stored.empty());
      TPixelGraphic g;
      ConvertToSRGB = true;
      EXPECT_LE(MaxDifference(OurRGB(file, g), vips), 2) << profile << " " << ext;
      EXPECT_EQ(g.Gamma(), SRGBGamma);
      // The conversion is not a small one.
      EXPECT_GE(MaxDifference(vips, stored), 40) << profile << " " << ext;
      ConvertToSRGB = false;
      EXPECT_EQ(MaxDifference(OurRGB(file, g), stored), 0) << profile << " " << ext;
    }
}

TEST(ColourProfile, HEICAndAVIFProfilesMatchLibvips) {
  if (!HavePeers() || !HaveTools("heif-enc heif-convert")) GTEST_SKIP() << "libheif's tools are not installed";
  const TColourOptions restore;
  TTempDirectory dir;
  WriteSource(dir / "source.ppm");
  const std::string profile = ColordDir + "SwappedRedAndGreen.icc";
  const std::string png = Embedded(dir, dir / "source.ppm", profile, "p.png", "png24:");
  for (const std::string ext : {"heic", "avif"}) {
    const std::string file = dir / ("p." + ext), decoded = dir / ("d" + ext + ".png");
    ASSERT_TRUE(RunQuietly(std::string("heif-enc -L ") + (ext == "avif" ? "-A " : "") + "-o " + Quoted(file) + " " +
                           Quoted(png)));
    ASSERT_TRUE(RunQuietly("heif-convert " + Quoted(file) + " " + Quoted(decoded)));
    const std::string out = dir / "vips.ppm";
    ASSERT_TRUE(RunQuietly("vips icc_transform " + Quoted(decoded) + " " + Quoted(out) + " srgb --input-profile " +
                           Quoted(profile)));
    TPixelGraphic g;
    EXPECT_LE(MaxDifference(OurRGB(file, g), ReadPNM(out).RGB()), 2) << ext;
    ConvertToSRGB = false;
    EXPECT_GE(MaxDifference(OurRGB(file, g), ReadPNM(out).RGB()), 40) << ext;
    ConvertToSRGB = true;
  }
}

TEST(ColourProfile, LosslessWebPReadsAsThePNGItWasMadeFrom) {
  if (!HavePeers() || !HaveTools("cwebp")) GTEST_SKIP() << "cwebp is not installed";
  const TColourOptions restore;
  TTempDirectory dir;
  WriteSource(dir / "source.ppm");
  const std::string png = Embedded(dir, dir / "source.ppm", ColordDir + "SwappedRedAndGreen.icc", "p.png", "png24:");
  const std::string webp = dir / "p.webp";
  ASSERT_TRUE(RunQuietly("cwebp -quiet -lossless -metadata icc " + Quoted(png) + " -o " + Quoted(webp)));
  TPixelGraphic g;
  const std::vector<uint8_t> converted = OurRGB(png, g);
  EXPECT_EQ(MaxDifference(OurRGB(webp, g), converted), 0);
  ConvertToSRGB = false;
  EXPECT_GE(MaxDifference(OurRGB(webp, g), converted), 40);
}

TEST(ColourProfile, PalettesAndGreyLevelsConvertAndKeepTheirDepth) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, libvips or colord-data are not installed";
  TTempDirectory dir;
  WriteSource(dir / "source.ppm");
  ASSERT_TRUE(RunQuietly("convert " + (dir / "source.ppm") + " -colors 24 " + (dir / "few.ppm")));
  const std::string palette = Embedded(dir, dir / "few.ppm", ColordDir + "SwappedRedAndGreen.icc", "pal.png", "png8:");
  TPixelGraphic g;
  EXPECT_LE(MaxDifference(OurRGB(palette, g), VipsSRGB(dir, palette)), 2);
  EXPECT_EQ(g.BitCountNum(), 2);

  WriteSource(dir / "gray.pgm", true);
  {
    std::ofstream out(dir / "linear.icc", std::ios::binary);
    const Bytes profile = testprofiles::LinearGrayProfile();
    out.write(reinterpret_cast<const char*>(profile.data()), std::streamsize(profile.size()));
  }
  for (const std::string ext : {"jpg", "png", "tif"}) {
    const std::string file = Embedded(dir, dir / "gray.pgm", dir / "linear.icc", "g." + ext);
    const std::vector<uint8_t> vips = VipsSRGB(dir, file);
    ASSERT_FALSE(vips.empty()) << ext;
    EXPECT_LE(MaxDifference(OurRGB(file, g), vips), 2) << ext;
    EXPECT_EQ(g.BitCountNum(), 2) << ext;
    EXPECT_EQ(g.PaletteIdent(), pGray256) << ext;
    EXPECT_GE(MaxDifference(vips, StoredRGB(dir, file)), 40) << ext;
  }
}

TEST(ColourProfile, CMYKJPEGReadWithItsProfileOrThePlainRule) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, libvips or colord-data are not installed";
  TTempDirectory dir;
  WriteSource(dir / "source.ppm");
  // ImageMagick writes Adobe's inverted CMYK.
  ASSERT_TRUE(RunQuietly("convert " + (dir / "source.ppm") + " -colorspace CMYK -quality 95 " + (dir / "plain.jpg")));
  ASSERT_TRUE(RunQuietly("convert " + (dir / "plain.jpg") + " -colorspace sRGB " + (dir / "plain.ppm")));
  TPixelGraphic g;
  EXPECT_LE(MaxDifference(OurRGB(dir / "plain.jpg", g), ReadPNM(dir / "plain.ppm").RGB()), 1);
  EXPECT_EQ(g.BitCountNum(), 3);

  {
    std::ofstream out(dir / "inks.icc", std::ios::binary);
    const Bytes profile = testprofiles::CMYKProfile();
    out.write(reinterpret_cast<const char*>(profile.data()), std::streamsize(profile.size()));
  }
  const std::string file = Embedded(dir, dir / "plain.jpg", dir / "inks.icc", "profiled.jpg");
  const std::vector<uint8_t> vips = VipsSRGB(dir, file);
  ASSERT_FALSE(vips.empty());
  EXPECT_LE(MaxDifference(OurRGB(file, g), vips), 2);
  EXPECT_EQ(g.Gamma(), SRGBGamma);
}

// A JPEG of the source with an APP2 segment put right after SOI.
Bytes WithICCSegment(const Bytes& jpeg, const Bytes& payload) {
  Bytes file(jpeg.begin(), jpeg.begin() + 2);
  const size_t length = payload.size() + 16;
  file.insert(file.end(), {0xFF, 0xE2, uint8_t(length >> 8), uint8_t(length)});
  for (char c : std::string("ICC_PROFILE")) file.push_back(uint8_t(c));
  file.insert(file.end(), {0, 1, 1});
  file.insert(file.end(), payload.begin(), payload.end());
  file.insert(file.end(), jpeg.begin() + 2, jpeg.end());
  return file;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The pixels of a file as ImageMagick reads them.
std::vector<uint8_t> PeerRGB(const std::string& file) {
  const std::string out = file + ".ppm";
  return RunQuietly("convert " + Quoted(file) + " -type truecolor " + Quoted(out)) ? ReadPNM(out).RGB()
                                                                                 : std::vector<uint8_t>();
}

// A PNG with a chunk put right after its header.
Bytes WithChunk(const Bytes& png, const std::string& type, const Bytes& data) {
  Bytes typed(type.begin(), type.end());
  typed.insert(typed.end(), data.begin(), data.end());
  const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), typed.data(), uInt(typed.size())));
  Bytes chunk;
  for (int shift : {24, 16, 8, 0}) chunk.push_back(uint8_t(data.size() >> shift));
  chunk.insert(chunk.end(), typed.begin(), typed.end());
  for (int shift : {24, 16, 8, 0}) chunk.push_back(uint8_t(crc >> shift));
  Bytes file(png.begin(), png.begin() + 33);  // signature and IHDR
  file.insert(file.end(), chunk.begin(), chunk.end());
  file.insert(file.end(), png.begin() + 33, png.end());
  return file;
}

TEST(ColourProfile, UnusableProfilesWarnAndKeepTheColours) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, libvips or colord-data are not installed";
  TTempDirectory dir;
  WriteSource(dir / "source.ppm");
  ASSERT_TRUE(RunQuietly("convert " + (dir / "source.ppm") + " " + (dir / "plain.jpg") + " " ));
  const Bytes plain = FileBytes(dir / "plain.jpg");
  const Bytes adobe = FileBytes(ColordDir + "AdobeRGB1998.icc");
  const Bytes cut(adobe.begin(), adobe.begin() + adobe.size() / 3);
  WriteBytes(dir / "garbage.jpg", WithICCSegment(plain, Bytes(200, 0x55)));
  WriteBytes(dir / "cut.jpg", WithICCSegment(plain, cut));
  // The grey profile on colour pixels: it parses but does not fit.
  WriteBytes(dir / "unfit.jpg", WithICCSegment(plain, testprofiles::LinearGrayProfile()));
  TPixelGraphic reference;
  const std::vector<uint8_t> stored = OurRGB(dir / "plain.jpg", reference);
  const std::string text = "The embedded colour profile cannot be used; the colours stay as stored";
  SetPGLanguage(0);
  for (const std::string name : {"garbage.jpg", "cut.jpg", "unfit.jpg"}) {
    TPixelGraphic g;
    g.SetReadWarningAction(pgwaRaise);
    EXPECT_EQ(Failure<EPGJPGFileFormatReaderWriter>([&] { g.LoadFromFile(dir / name); }), "JPG: " + text) << name;
    g.SetReadWarningAction(pgwaIgnore);
    EXPECT_EQ(MaxDifference(OurRGB(dir / name, g), stored), 0) << name;
  }

  // A PNG whose profile has a sound header, which libpng checks, and tags of
  // nothing but zeros.
  Bytes zeroed = adobe;
  const size_t tags = (size_t(adobe[128]) << 24 | size_t(adobe[129]) << 16 | size_t(adobe[130]) << 8 | adobe[131]);
  std::fill(zeroed.begin() + long(132 + 12 * tags), zeroed.end(), 0);
  Bytes iccp = {'x', 0, 0};
  uLongf packed = compressBound(uLong(zeroed.size()));
  iccp.resize(3 + packed);
  ASSERT_EQ(compress(iccp.data() + 3, &packed, zeroed.data(), uLong(zeroed.size())), Z_OK);
  iccp.resize(3 + packed);
  ASSERT_TRUE(RunQuietly("convert " + (dir / "source.ppm") + " png24:" + (dir / "plain.png")));
  WriteBytes(dir / "zeroed.png", WithChunk(FileBytes(dir / "plain.png"), "iCCP", iccp));
  TPixelGraphic png;
  png.SetReadWarningAction(pgwaRaise);
  EXPECT_EQ(Failure<EPGPNGFileFormatReaderWriter>([&] { png.LoadFromFile(dir / "zeroed.png"); }), "PNG: " + text);

  // A TIFF whose profile lies past the end of the file.
  ASSERT_FALSE(Embedded(dir, dir / "source.ppm", ColordDir + "AdobeRGB1998.icc", "p.tif").empty());
  Bytes tiff = FileBytes(dir / "p.tif");
  const std::string name = dir / "past.tif";
  const size_t at = tiff.size() - adobe.size();  // ImageMagick puts the profile last
  ASSERT_TRUE(std::equal(adobe.begin(), adobe.end(), tiff.begin() + long(at)));
  tiff.resize(at + 10);
  WriteBytes(name, tiff);
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  EXPECT_EQ(Failure<EPGTIFFileFormatReader>([&] { g.LoadFromFile(name); }), "TIFF: " + text);

  // The command line counts the warning, and refuses the picture with --strict.
  const std::string cli = std::string(QUILLET_CLI_PATH) + " --language en ";
  EXPECT_NE(Shell(cli + "--info " + (dir / "garbage.jpg")).find("Width: 48"), std::string::npos);
  const std::string run = Shell(cli + (dir / "garbage.jpg") + " " + (dir / "out.png") + " 2>&1");
  EXPECT_NE(run.find("JPG Warning: " + text), std::string::npos) << run;
  EXPECT_NE(Shell(cli + "--strict " + (dir / "garbage.jpg") + " " + (dir / "strict.png") + " 2>&1 ; echo status $?")
                .find("status 1"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "strict.png"));
}

TEST(ColourProfile, SRGBPNGKeepsItsPixelsAndGammaThroughTheCommandLine) {
  if (!HaveTools("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  const TColourOptions restore;
  TTempDirectory dir;
  ASSERT_TRUE(RunQuietly("convert -size 64x48 -seed 3 plasma:fractal -blur 0x1 png24:" + (dir / "im.png")));
  const Bytes im = FileBytes(dir / "im.png");
  std::string chunks;
  for (size_t at = 8; at + 8 <= im.size();) {
    const size_t length = (size_t(im[at]) << 24) | (size_t(im[at + 1]) << 16) | (size_t(im[at + 2]) << 8) | im[at + 3];
    chunks += std::string(im.begin() + long(at) + 4, im.begin() + long(at) + 8) + " ";
    at += length + 12;
  }
  // What ImageMagick writes for sRGB: gAMA 1/2.2 and sRGB's primaries.
  EXPECT_NE(chunks.find("gAMA cHRM"), std::string::npos) << chunks;

  WriteBytes(dir / "srgb.png", WithChunk(im, "sRGB", {0}));
  const std::vector<uint8_t> source = PeerRGB(dir / "im.png");
  ASSERT_FALSE(source.empty());
  EXPECT_EQ(PeerRGB(dir / "srgb.png"), source);
  const std::string cli = std::string(QUILLET_CLI_PATH) + " --quiet --width 100% --sharpen 0 ";
  for (const std::string name : {"im.png", "srgb.png"}) {
    ASSERT_EQ(Shell(cli + (dir / name) + " " + (dir / "out.png")), "") << name;
    EXPECT_EQ(MaxDifference(PeerRGB(dir / "out.png"), source), 0) << name;
    const Bytes out = FileBytes(dir / "out.png");
    const Bytes gama = {'g', 'A', 'M', 'A', 0, 0, 0xB1, 0x8F};  // 45455
    EXPECT_NE(std::search(out.begin(), out.end(), gama.begin(), gama.end()), out.end()) << name;
  }
  // A screen gamma stored by the user still darkens them as before.
  EXPECT_GT(MaxDifference(PeerRGB(dir / "im.png"), [&] {
              Shell(cli + "--screen-gamma 1.8 " + (dir / "im.png") + " " + (dir / "dark.png"));
              return PeerRGB(dir / "dark.png");
            }()),
            10);
}

}  // namespace
