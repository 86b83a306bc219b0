#include <gtest/gtest.h>

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "codecpeer.h"
#include "failuremessage.h"
#include "formatregistry.h"
#include "heifformat.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "pngformat.h"
#include "stream.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

TFileHeader HeaderOf(const char* brand) {
  TFileHeader h{};
  std::memcpy(h.data() + 4, "ftyp", 4);
  std::memcpy(h.data() + 8, brand, 4);
  return h;
}

// A smooth picture, as photos are, so that lossy coding keeps it close.
void Smooth(TPixelGraphic& g, int32_t w, int32_t h) {
  g.SetSize(w, h, 3);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      g.SetPixel(x, y, RGB(x * 255 / w, y * 255 / h, uint32_t(127 + 100 * std::sin((x + y) / 9.0))));
}

double PSNR(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

TEST(HEIFFormat, SignaturesAndResolutions) {
  EXPECT_TRUE(TAVIFFileFormatReader().CheckSignature(HeaderOf("avif")));
  EXPECT_TRUE(TAVIFFileFormatReader().CheckSignature(HeaderOf("avis")));
  EXPECT_FALSE(TAVIFFileFormatReader().CheckSignature(HeaderOf("heic")));
  for (const char* brand : {"heic", "heix", "mif1", "msf1"}) {
    EXPECT_TRUE(THEIFFileFormatReader().CheckSignature(HeaderOf(brand))) << brand;
    EXPECT_TRUE(THEIFAliasFileFormatReader().CheckSignature(HeaderOf(brand))) << brand;
  }
  EXPECT_FALSE(THEIFFileFormatReader().CheckSignature(HeaderOf("avif")));
  EXPECT_FALSE(THEIFFileFormatReader().CheckSignature(HeaderOf("isom")));
  TFileHeader mp4 = HeaderOf("heic");
  std::memcpy(mp4.data() + 4, "moov", 4);
  EXPECT_FALSE(THEIFFileFormatReader().CheckSignature(mp4));

  // True colour only: a palette picture is converted on saving.
  EXPECT_EQ(TAVIFFileFormatWriter().CanWriteResolutions().Bits(), 0x80);
}

// Found by the fuzzer: an AVIF whose decoding warns twice. libheif hands
// out every warning at once, each text replacing the one before; the
// reader takes the last, whose text is still there.
const uint8_t TwoWarnings[] = {
    0x00, 0x00, 0x00, 0x28, 0x66, 0x74, 0x79, 0x70, 0x61, 0x76, 0x69, 0x66, 0x00, 0x00, 0x00, 0x00, 0x61, 0x76,
    0x69, 0x66, 0x6D, 0x69, 0x66, 0x31, 0x6D, 0x69, 0x61, 0x66, 0x61, 0x76, 0x69, 0x66, 0x6D, 0x69, 0x66, 0x31,
    0x6D, 0x69, 0x61, 0x66, 0x00, 0x00, 0x01, 0x5B, 0x6D, 0x65, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x21, 0x68, 0x66, 0x6C, 0x72, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x70, 0x69, 0x63, 0x74,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x70,
    0x69, 0x74, 0x6D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x34, 0x69, 0x6C, 0x6F, 0x63, 0x00,
    0x00, 0x00, 0x00, 0x44, 0x40, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x8B, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0xC1, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x45, 0x00, 0x00, 0x00, 0x38, 0x69, 0x69, 0x6E, 0x66, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x15, 0x69, 0x6E, 0x66, 0x65, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
    0x00, 0x61, 0x76, 0x30, 0x31, 0x00, 0x00, 0x00, 0x00, 0x15, 0x69, 0x6E, 0x66, 0x65, 0x02, 0x00, 0x00, 0x00,
    0x00, 0x02, 0x00, 0x00, 0x61, 0x76, 0x30, 0x31, 0x00, 0x00, 0x00, 0x00, 0xB4, 0x69, 0x70, 0x72, 0x70, 0x00,
    0x00, 0x00, 0x8E, 0x69, 0x70, 0x63, 0x6F, 0x00, 0x00, 0x00, 0x13, 0x63, 0x6F, 0x72, 0x02, 0x6C, 0x00, 0x78,
    0x63, 0x6C, 0x6E, 0x00, 0x02, 0x00, 0x06, 0x80, 0x00, 0x00, 0x00, 0x0C, 0x61, 0x76, 0x31, 0x43, 0x81, 0x00,
    0x0C, 0x00, 0x00, 0x00, 0x00, 0x14, 0x69, 0x73, 0x70, 0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0D,
    0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x10, 0x70, 0x69, 0x78, 0x69, 0x00, 0x00, 0x00, 0x00, 0x03, 0x08,
    0x08, 0x08, 0x00, 0x00, 0x00, 0x13, 0x63, 0x6F, 0x6C, 0x72, 0x6E, 0x63, 0x6C, 0x78, 0x00, 0x02, 0x00, 0x02,
    0x00, 0x06, 0x80, 0x00, 0x00, 0x00, 0x0C, 0x61, 0x76, 0x31, 0x43, 0x81, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00,
    0x14, 0x69, 0x73, 0x70, 0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x07, 0x00,
    0x00, 0x00, 0x10, 0x70, 0x69, 0x78, 0x69, 0x00, 0x00, 0x00, 0x00, 0x03, 0x08, 0x08, 0x08, 0x00, 0x00, 0x00,
    0x1E, 0x69, 0x70, 0x6D, 0x61, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x04, 0x81, 0x82,
    0x03, 0x84, 0x00, 0x02, 0x04, 0x85, 0x86, 0x07, 0x88, 0x00, 0x00, 0x00, 0x83, 0x6D, 0x74, 0x12, 0x00, 0x0A,
    0x08, 0x18, 0x0C, 0xB3, 0x30, 0x40, 0x21, 0x81, 0xA1, 0x32, 0x28, 0x18, 0x00, 0x11, 0xEF, 0xEE, 0xC3, 0xFC,
    0x7F, 0x00, 0x00, 0x0A, 0x28, 0xA2, 0x84, 0x00, 0x06, 0x67, 0x9D, 0xE2, 0x50, 0x3D, 0xA0, 0x02, 0x70, 0xE8,
    0x82, 0xC9, 0x58, 0x4A, 0x21, 0x08, 0x71, 0x29, 0xFB, 0x52, 0x3C, 0x8F, 0xC0, 0x64, 0xE6, 0x69, 0xF9, 0x57,
    0x4E, 0x59, 0x8C, 0xE5, 0xE4, 0x12, 0x00, 0x0A, 0x08, 0x18, 0x0C, 0xB3, 0x30, 0x40, 0x80, 0x81, 0xA1, 0x32,
    0x37, 0x18, 0x00, 0x0A, 0x28, 0xA2, 0x85, 0x00, 0xC0, 0xC3, 0x41, 0xD4, 0xE0, 0xF4, 0x38, 0x3D, 0xF1, 0xD7,
    0x86, 0xE9, 0xDB, 0x32, 0x15, 0x75, 0x3C, 0xD0, 0xD8, 0x74, 0xFD, 0xEA, 0x01, 0x37, 0xC2, 0x7B, 0x6F, 0xE6,
    0x1E, 0xA7, 0x1D, 0xB4, 0x3F, 0xA2, 0xDC, 0x9C, 0x6D, 0x2D, 0x98, 0xD8, 0x31, 0x00, 0x66, 0x1A, 0x3B, 0xFE,
    0x17, 0x78,
};

TEST(HEIFFormat, DecodingWarningsFollowTheWarningAction) {
  const Bytes file(std::begin(TwoWarnings), std::end(TwoWarnings));
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  EXPECT_EQ(Failure([&] { ReadWith<TAVIFFileFormatReader>(file, g); }),
            "AVIF: Invalid input: Unknown NCLX transfer characteristics");
  g.SetReadWarningAction(pgwaIgnore);
  ReadWith<TAVIFFileFormatReader>(file, g);
  EXPECT_GT(g.GetWidth(), 0);
}

// Peers: heif-enc writes AVIF and HEIC files from 8-bit PNGs, heif-convert
// decodes them and ours; its PNGs are read through our PNG reader.
class HEIFPeers : public ::testing::Test {
protected:
  void SetUp() override {
    if (!HaveTools("heif-enc heif-convert")) GTEST_SKIP() << "libheif-examples is not installed";
    MaxPixels = DefaultMaxPixels;
  }
  void TearDown() override {
    AVIFCompQuality = 60;
    AVIFCompSpeed = 6;
  }

  void SavePNG(TPixelGraphic& g, const std::string& file) {
    TFileStream s(file, fmCreate);
    TPNGFileFormatWriter().Write(s, g);
  }

  // heif-enc's file from the picture, with its options.
  std::string Encoded(TPixelGraphic& g, const std::string& name, const std::string& options = "") {
    SavePNG(g, Dir / "in.png");
    const std::string file = Dir / name;
    EXPECT_TRUE(RunQuietly("heif-enc " + options + " -o '" + file + "' '" + (Dir / "in.png") + "'"));
    return file;
  }

  // The picture as heif-convert decodes the file, alpha laid over Graphic's
  // background as our PNG reader lays it.
  std::vector<uint8_t> PeerRGB(const std::string& file) {
    const std::string png = Dir / "peer.png";
    std::remove(png.c_str());
    EXPECT_TRUE(RunQuietly("heif-convert '" + file + "' '" + png + "'"));
    TPixelGraphic g;
    TFileStream s(png, fmOpenRead);
    TPNGFileFormatReader().Read(s, g, 0);
    return GraphicRGB(g);
  }

  std::unique_ptr<TPixelGraphic> Load(const std::string& file, int index = 0) {
    auto g = std::make_unique<TPixelGraphic>();
    g->LoadFromFile(file, index);
    return g;
  }

  TFileFormatInfo Info(const std::string& file, int index = 0) {
    TFileFormatInfo info;
    EXPECT_TRUE(GetFileFormatInfo(file, index, info));
    return info;
  }

  TTempDirectory Dir;
};

TEST_F(HEIFPeers, WeReadWhatHeifEncWrites) {
  TPixelGraphic source;
  FillRandom(source, 37, 23, 5);
  struct {
    const char* name;
    const char* options;
    const char* description;
    const char* subFormat;
  } const cases[] = {
      {"a.avif", "", "AV1 Image File Format", "AV1"},
      {"b.heic", "", "High Efficiency Image File Format", "HEVC"},
      {"c.avif", "-L -p chroma=444 --matrix_coefficients=0", "AV1 Image File Format", "AV1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Encoded(source, c.name, c.options);
    const TFileFormatInfo info = Info(file);
    EXPECT_EQ(info.FormatDescription, c.description);
    EXPECT_EQ(info.SubFormat, c.subFormat);
    EXPECT_EQ(info.Width, 37);
    EXPECT_EQ(info.Height, 23);
    EXPECT_EQ(info.BitCount, 24);
    EXPECT_EQ(info.ColorCount, "16.7M");
    EXPECT_EQ(info.ImageCount, 1);
    const auto g = Load(file);
    EXPECT_EQ(g->BitCountNum(), 3);
    EXPECT_LE(MaxDifference(GraphicRGB(*g), PeerRGB(file)), 1);
  }
}

TEST_F(HEIFPeers, AlphaDepthAndImagesOfAFile) {
  // Alpha: half-transparent pixels over the background, as PNG's alpha is.
  ASSERT_TRUE(RunQuietly("convert -seed 4 -size 37x23 plasma:fractal -channel A -fx 'i%3==0?0.3:1' +channel "
                         "-depth 8 PNG32:'" + (Dir / "alpha.png") + "'"));
  for (const char* name : {"alpha.avif", "alpha.heic"}) {
    SCOPED_TRACE(name);
    const std::string file = Dir / name;
    ASSERT_TRUE(RunQuietly("heif-enc -o '" + file + "' '" + (Dir / "alpha.png") + "'"));
    EXPECT_EQ(Info(file).SubFormat.find(", alpha") != std::string::npos, true);
    EXPECT_EQ(Info(file).BitCount, 32);
    EXPECT_LE(MaxDifference(GraphicRGB(*Load(file)), PeerRGB(file)), 1);
  }

  // Ten bits cut to eight; heif-convert's 16-bit PNG loses the same bits.
  ASSERT_TRUE(RunQuietly("convert -size 37x23 gradient:red-blue -depth 16 PNG48:'" + (Dir / "wide.png") + "'"));
  const std::string wide = Dir / "wide.heic";
  ASSERT_TRUE(RunQuietly("heif-enc -b 10 -o '" + wide + "' '" + (Dir / "wide.png") + "'"));
  EXPECT_EQ(Info(wide).SubFormat, "HEVC, 10 bit");
  EXPECT_EQ(Info(wide).BitCount, 30);
  EXPECT_LE(MaxDifference(GraphicRGB(*Load(wide)), PeerRGB(wide)), 1);

  // Two pictures: the primary first, the other by index.
  TPixelGraphic small, large;
  FillRandom(small, 5, 4, 1);
  FillRandom(large, 9, 7, 2);
  SavePNG(small, Dir / "small.png");
  SavePNG(large, Dir / "large.png");
  const std::string two = Dir / "two.avif";
  ASSERT_TRUE(RunQuietly("heif-enc -o '" + two + "' '" + (Dir / "small.png") + "' '" + (Dir / "large.png") + "'"));
  EXPECT_EQ(Info(two).ImageCount, 2);
  EXPECT_EQ(Info(two, 1).Width, 9);
  EXPECT_EQ(Load(two)->GetWidth(), 5);
  EXPECT_EQ(Load(two, 1)->GetHeight(), 7);
  EXPECT_EQ(Failure([&] { Load(two, 2); }), "AVIF: Index invalid");
  TFileStream s(two, fmOpenRead);
  TFileFormatInfo info;
  EXPECT_EQ(Failure([&] { TAVIFFileFormatReader().ReadInfo(s, 2, info); }), "AVIF: Invalid value for Index");
}

// libheif writes irot and imir as asked; the picture comes upright, as
// heif-convert shows it.
TEST_F(HEIFPeers, TurnedAsTheFileSays) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_image* image = nullptr;
  ASSERT_EQ(heif_context_get_encoder_for_format(context, heif_compression_AV1, &encoder).code, heif_error_Ok);
  heif_encoder_set_lossless(encoder, 1);
  ASSERT_EQ(heif_image_create(6, 4, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code, heif_error_Ok);
  heif_image_add_plane(image, heif_channel_interleaved, 6, 4, 8);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 18; ++x) plane[y * stride + x] = uint8_t(x * 14 + y * 60);
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = heif_orientation_rotate_90_cw_then_flip_horizontally;
  const std::string file = Dir / "turned.avif";
  EXPECT_EQ(heif_context_encode_image(context, image, encoder, options, nullptr).code, heif_error_Ok);
  EXPECT_EQ(heif_context_write_to_file(context, file.c_str()).code, heif_error_Ok);
  heif_encoding_options_free(options);
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);

  EXPECT_EQ(Info(file).Width, 4);
  const auto g = Load(file);
  EXPECT_EQ(g->GetWidth(), 4);
  EXPECT_EQ(g->GetHeight(), 6);
  EXPECT_LE(MaxDifference(GraphicRGB(*g), PeerRGB(file)), 1);
}

TEST_F(HEIFPeers, HeifConvertReadsWhatWeWrite) {
  TPixelGraphic source;
  Smooth(source, 64, 48);
  const std::string file = Dir / "ours.avif";
  source.SaveToFile(file);
  const std::vector<uint8_t> peer = PeerRGB(file);
  EXPECT_GE(PSNR(peer, GraphicRGB(source)), 30.0);
  EXPECT_LE(MaxDifference(GraphicRGB(*Load(file)), peer), 1);
  EXPECT_EQ(Info(file).SubFormat, "AV1");

  // Quality and speed reach the encoder: a higher quality takes more bytes.
  AVIFCompQuality = 10;
  AVIFCompSpeed = 9;
  source.SaveToFile(Dir / "low.avif");
  AVIFCompQuality = 95;
  source.SaveToFile(Dir / "high.avif");
  EXPECT_LT(FileBytes(Dir / "low.avif").size(), FileBytes(Dir / "high.avif").size());

  // A palette picture goes out in true colour.
  TPixelGraphic gray;
  gray.SetSize(8, 8, 2);
  gray.SetPaletteIdent(pGray256);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) gray.SetPixel(x, y, uint32_t(x * 30 + y));
  gray.SetSaveColorResWarningAction(pgwaIgnore);
  gray.SaveToFile(Dir / "gray.avif");
  EXPECT_EQ(Load(Dir / "gray.avif")->BitCountNum(), 3);
  EXPECT_GE(PSNR(PeerRGB(Dir / "gray.avif"), GraphicRGB(gray)), 30.0);
}

// A small file that declares a huge picture is refused before any pixel
// memory is taken; a damaged one fails in the format's words.
TEST_F(HEIFPeers, BombsAndDamage) {
  TPixelGraphic source;
  FillRandom(source, 16, 16, 3);
  for (const char* name : {"bomb.avif", "bomb.heic"}) {
    SCOPED_TRACE(name);
    Bytes bytes = FileBytes(Encoded(source, name));
    // Every size box (HEIC's primary image is a grid round its coded tile):
    // version and flags, then width and height, big-endian: 30000 x 30000.
    const std::string ispe = "ispe";
    int patched = 0;
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), ispe.begin(), ispe.end())) != bytes.end();
         ++at, ++patched)
      for (int field : {8, 12}) at[field] = 0, at[field + 1] = 0, at[field + 2] = 0x75, at[field + 3] = 0x30;
    ASSERT_GT(patched, 0);
    const std::string bomb = Dir / (std::string("big") + name);
    std::ofstream(bomb, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_EQ(Info(bomb).Width, 30000);
    TPixelGraphic g;
    EXPECT_EQ(Failure<EPGPictureTooLarge>([&] { g.LoadFromFile(bomb); }),
              PixelLimitText(30000, 30000, DefaultMaxPixels));
  }

  // A coded picture larger than its declared size is measured again once
  // libheif has decoded it.
  TPixelGraphic large;
  Uniform(large, 300, 200, RGB(90, 90, 90));
  Bytes lie = FileBytes(Encoded(large, "lie.avif"));
  const std::string ispe = "ispe";
  const auto at = std::search(lie.begin(), lie.end(), ispe.begin(), ispe.end());
  ASSERT_NE(at, lie.end());
  at[11] = at[15] = 16, at[10] = at[14] = 0;
  {
    TMemoryStream s;
    Fill(s, lie);
    TFileFormatInfo info;
    TAVIFFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.Width, 16);
    MaxPixels = 1000;
    TPixelGraphic g;
    s.SetPosition(0);
    EXPECT_EQ(Failure<EPGPictureTooLarge>([&] { TAVIFFileFormatReader().Read(s, g, 0); }),
              PixelLimitText(300, 200, 1000));
    MaxPixels = DefaultMaxPixels;
  }

  const Bytes whole = FileBytes(Dir / "bomb.heic");
  for (size_t length : {size_t(20), whole.size() / 2, whole.size() - 3}) {
    SCOPED_TRACE(length);
    TMemoryStream s;
    s.WriteBuffer(whole.data(), length);
    s.SetPosition(0);
    TPixelGraphic g;
    g.SetReadWarningAction(pgwaRaise);
    const std::string failure = Failure<EPGHEIFFileFormatReaderWriter>([&] { THEIFFileFormatReader().Read(s, g, 0); });
    EXPECT_EQ(failure.rfind("HEIC: ", 0), 0u) << failure;
  }
}

}  // namespace
