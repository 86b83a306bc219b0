#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "codecpeer.h"
#include "failuremessage.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "jpegformat.h"
#include "jpegscanlimit.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "scriptedplatform.h"
#include "stream.h"
#include "tempdir.h"
#include "testpictures.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

// Sets the JPEG options for one test and puts the defaults back.
struct TJPEGOptions {
  TJPEGOptions() = default;
  TJPEGOptions(const TJPEGOptions&) = delete;
  TJPEGOptions& operator=(const TJPEGOptions&) = delete;
  ~TJPEGOptions() {
    JPEGDecompMethod = 0;
    JPEGCompMethod = 2;
    JPEGCompQuality = 80;
    JPEGCompProgressive = false;
    JPEGOptimizeCoding = true;
  }
};

// A smooth picture with some detail, the kind JPEG is made for.
void Picture(TPixelGraphic& g, int32_t width = 61, int32_t height = 45, bool gray = false) {
  g.SetSize(width, height, gray ? 2 : 3);
  if (gray) g.SetPaletteIdent(pGray256);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const int r = int(127 + 120 * std::sin(x / 7.0) * std::cos(y / 11.0));
      const int b = (x * 255) / width, gr = (y * 255) / height;
      g.SetPixel(x, y, gray ? uint32_t(r) : RGB(r, gr, b));
    }
}

Bytes WriteJPEG(TPixelGraphic& g) { return WrittenWith<TJPGFileFormatWriter>(g); }

void ReadJPEG(const Bytes& file, TPixelGraphic& g) { ReadWith<TJPGFileFormatReader>(file, g); }

TFileFormatInfo InfoOf(const Bytes& file) { return InfoWith<TJPGFileFormatReader>(file); }

// The message of the JPEG exception that action raises.
std::string Failure(const std::function<void()>& action) { return ::Failure<EPGJPGFileFormatReaderWriter>(action); }

// Puts a marker segment right after SOI.
Bytes WithSegment(Bytes file, uint8_t marker, const Bytes& payload) {
  Bytes segment = {0xFF, marker, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
  segment.insert(segment.end(), payload.begin(), payload.end());
  file.insert(file.begin() + 2, segment.begin(), segment.end());
  return file;
}

TEST(JPEGFormat, SignatureAndRegistration) {
  TFileHeader header{};
  header[0] = 0xFF;
  header[1] = 0xD8;
  EXPECT_TRUE(TJPGFileFormatReader().CheckSignature(header));
  EXPECT_TRUE(TJIFFileFormatReader().CheckSignature(header));
  header[1] = 0xD9;
  EXPECT_FALSE(TJPEGFileFormatReader().CheckSignature(header));

  TPixelGraphic g;
  Picture(g);
  TMemoryStream s;
  Fill(s, WriteJPEG(g));
  const TFileFormatReader* reader = FindReader(s, "bmp");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Description(), "JPEG (JFIF compliant)");
  for (const char* extension : {"jpg", "jpeg", "jif"}) {
    const TFileFormatWriter* writer = FindWriter(extension);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->Listed(), std::string(extension) == "jpg");
    EXPECT_EQ(writer->CanWriteResolutions().Bits(), 0xA0);
    EXPECT_EQ(writer->Description(), "JPEG (JFIF compliant)");
  }
}

TEST(JPEGFormat, WritesAndReadsColourAndGrey) {
  const TJPEGOptions restore;
  TPixelGraphic colour, gray;
  Picture(colour);
  Picture(gray, 61, 45, true);

  const Bytes baseline = WriteJPEG(colour);
  TFileFormatInfo info = InfoOf(baseline);
  EXPECT_EQ(info.SubFormat, "JFIF, YCbCr");
  EXPECT_EQ(info.BitCount, 24);
  EXPECT_EQ(info.ColorCount, "16.7M");
  EXPECT_EQ(info.Width, 61);
  EXPECT_EQ(info.Height, 45);
  TPixelGraphic back;
  ReadJPEG(baseline, back);
  EXPECT_EQ(back.BitCountNum(), 3);
  EXPECT_LE(MaxDifference(GraphicRGB(back), GraphicRGB(colour)), 24);
  EXPECT_EQ(back.Gamma(), ScreenGamma);

  JPEGCompProgressive = true;
  EXPECT_EQ(InfoOf(WriteJPEG(colour)).SubFormat, "JFIF, YCbCr, Progressive");
  const Bytes grayFile = WriteJPEG(gray);
  info = InfoOf(grayFile);
  EXPECT_EQ(info.SubFormat, "JFIF, GrayScale, Progressive");
  EXPECT_EQ(info.BitCount, 8);
  EXPECT_EQ(info.ColorCount, "256");
  ReadJPEG(grayFile, back);
  EXPECT_EQ(back.BitCountNum(), 2);
  EXPECT_EQ(back.PaletteIdent(), pGray256);
  EXPECT_LE(MaxDifference(GraphicRGB(back), GraphicRGB(gray)), 12);

  // Both markers, the Adobe one named as it always was.
  const Bytes adobe = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1};
  EXPECT_EQ(InfoOf(WithSegment(WriteJPEG(colour), 0xEE, adobe)).SubFormat, "JFIF, Adope, YCbCr, Progressive");
}

// A file coded by libjpeg itself, for what our writer cannot make: Setup
// sets the options after the defaults, Fill writes each row's samples.
Bytes LibjpegFile(int width, int height, int components, J_COLOR_SPACE space,
                  const std::function<void(jpeg_compress_struct&)>& setup,
                  const std::function<void(std::vector<JSAMPLE>&)>& fill) {
  jpeg_compress_struct info{};
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* memory = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &memory, &size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  setup(info);
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(size_t(width) * size_t(components));
  while (info.next_scanline < info.image_height) {
    fill(row);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  const Bytes file(memory, memory + size);
  jpeg_destroy_compress(&info);
  std::free(memory);
  return file;
}

// A four-component CMYK file, which our writer cannot make.
Bytes CMYKFile() {
  return LibjpegFile(16, 8, 4, JCS_CMYK, [](jpeg_compress_struct&) {},
                     [](std::vector<JSAMPLE>& row) { std::fill(row.begin(), row.end(), JSAMPLE(100)); });
}

TEST(JPEGFormat, CMYKIsDescribedAndLoaded) {
  const Bytes file = CMYKFile();
  const TFileFormatInfo info = InfoOf(file);
  EXPECT_EQ(info.SubFormat, "Adope, CMYK");
  EXPECT_EQ(info.BitCount, 32);
  EXPECT_EQ(info.ColorCount, "4294.9M");
  // Adobe's inverted inks: 100 of 255 leaves 100 / 255 of the light twice.
  TPixelGraphic g;
  ReadJPEG(file, g);
  EXPECT_EQ(g.BitCountNum(), 3);
  EXPECT_EQ(Colors(g), std::vector<TRGB>(16 * 8, RGB(39, 39, 39)));
}

TEST(JPEGFormat, OptimizedCodingLeavesJpegtranNothingToGain) {
  if (!HaveTools("jpegtran")) GTEST_SKIP() << "libjpeg-turbo's jpegtran is not installed";
  const TJPEGOptions restore;
  TTempDirectory dir;
  TPixelGraphic g;
  Picture(g, 640, 480);
  const auto optimizedSize = [&](const Bytes& file) {
    std::ofstream(dir / "in.jpg", std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                          std::streamsize(file.size()));
    return RunQuietly("jpegtran -optimize -outfile " + (dir / "out.jpg") + " " + (dir / "in.jpg"))
               ? FileBytes(dir / "out.jpg").size()
               : 0;
  };
  const Bytes optimized = WriteJPEG(g);
  EXPECT_GE(double(optimizedSize(optimized)), 0.995 * double(optimized.size()));
  JPEGOptimizeCoding = false;
  const Bytes standard = WriteJPEG(g);
  EXPECT_LT(double(optimized.size()), 0.97 * double(standard.size()));
  EXPECT_LT(double(optimizedSize(standard)), 0.97 * double(standard.size()));
  // The same pixels in fewer bytes.
  TPixelGraphic a, b;
  ReadJPEG(optimized, a);
  ReadJPEG(standard, b);
  EXPECT_EQ(Pixels(a), Pixels(b));
}

TEST(JPEGFormat, WriterTakesOnly24BitsAndGrey) {
  TPixelGraphic g;
  for (uint8_t code : {0, 1, 2}) {
    g.SetSize(8, 8, code);
    g.SetPaletteCount(2);
    g.SetPaletteEntries(1, RGB(200, 10, 10));
    EXPECT_EQ(Failure([&] { WriteJPEG(g); }), "JPG: Invalid value for BitCount");
  }
  // A grey ramp that nobody has named yet is recognised before writing.
  g.SetSize(8, 8, 2);
  g.SetPaletteCount(256);
  for (int i = 0; i < 256; ++i) g.SetPaletteEntries(i, RGB(i, i, i));
  ASSERT_EQ(g.PaletteIdent(), pUnknown);
  EXPECT_EQ(InfoOf(WriteJPEG(g)).SubFormat, "JFIF, GrayScale");
}

TEST(JPEGFormat, ProgressAbortAndItsError) {
  TPixelGraphic source;
  Picture(source, 20, 30);
  const Bytes file = WriteJPEG(source);

  TJPGFileFormatReader reader;
  TPixelGraphic g;
  std::vector<int> steps;
  int ends = 0;
  g.OnProgressStart = [&](TObject* sender) { EXPECT_EQ(sender, &reader); };
  g.OnProgress = [&](TObject* sender, int step, int max, bool&) {
    EXPECT_EQ(sender, &reader);
    EXPECT_EQ(max, 30);
    steps.push_back(step);
  };
  g.OnProgressEnd = [&](TObject*) { ++ends; };
  TMemoryStream s;
  Fill(s, file);
  reader.Read(s, g, 0);
  ASSERT_EQ(steps.size(), 30u);
  EXPECT_EQ(steps.front(), 1);
  EXPECT_EQ(steps.back(), 30);
  EXPECT_EQ(ends, 1);

  // An abort ends in the library's complaint about missing rows.
  g.OnProgressStart = nullptr;
  g.OnProgress = [](TObject*, int step, int, bool& abort) { abort = step == 5; };
  EXPECT_EQ(Failure([&] { ReadJPEG(file, g); }), "JPG: Application transferred too few scanlines");
  EXPECT_EQ(ends, 2);
  EXPECT_NE(g.GetPixel(3, 4), 0u);
  EXPECT_EQ(g.GetPixel(3, 5), 0u);

  TJPGFileFormatWriter writer;
  steps.clear();
  source.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    EXPECT_EQ(sender, &writer);
    EXPECT_EQ(max, 30);
    steps.push_back(step);
    abort = true;
  };
  TMemoryStream out;
  writer.Write(out, source);
  EXPECT_EQ(steps.size(), 30u);
  EXPECT_EQ(steps.back(), 30);
}

// A stream whose reading fails with the stream's own error after some bytes.
class TFailingStream : public TMemoryStream {
public:
  explicit TFailingStream(size_t goodBytes) : FGood(goodBytes) {}
  size_t Read(void* Buffer, size_t Count) override {
    if (Position() >= int64_t(FGood)) throw EStreamError("disk gone");
    return TMemoryStream::Read(Buffer, std::min<size_t>(Count, FGood - size_t(Position())));
  }

private:
  size_t FGood;
};

TEST(JPEGFormat, BrokenFilesRaiseJPGErrors) {
  TPixelGraphic source;
  Picture(source);
  const Bytes good = WriteJPEG(source);
  TPixelGraphic g;
  EXPECT_EQ(Failure([&] {
              TMemoryStream s;
              Fill(s, good);
              TJPGFileFormatReader().Read(s, g, 1);
            }),
            "JPG: Index invalid");
  EXPECT_EQ(Failure([&] {
              TMemoryStream s;
              Fill(s, good);
              TFileFormatInfo info;
              TJPGFileFormatReader().ReadInfo(s, 1, info);
            }),
            "JPG: Invalid value for Index");
  EXPECT_EQ(Failure([&] { ReadJPEG(Bytes(), g); }), "JPG: Empty input file");
  EXPECT_EQ(Failure([&] { ReadJPEG(Bytes{0x89, 'P', 'N', 'G'}, g); }), "JPG: Not a JPEG file: starts with 0x89 0x50");
  EXPECT_EQ(Failure([&] { InfoOf(Bytes(good.begin(), good.begin() + 100)); }), "JPG: Premature end of JPEG file");
  EXPECT_EQ(Failure([&] {
              TFailingStream s(300);
              Fill(s, good);
              TJPGFileFormatReader().Read(s, g, 0);
            }),
            "JPG: disk gone");
  EXPECT_EQ(Failure([&] {
              Bytes block(100);
              TMyMemoryStream s;
              s.SetPointer(block.data(), block.size());
              TJPGFileFormatWriter().Write(s, source);
            }).rfind("JPG: ", 0),
            0u);
  g.SetSize(0, 0, 3);
  EXPECT_EQ(Failure([&] { WriteJPEG(g); }).rfind("JPG: ", 0), 0u);
}

TEST(JPEGFormat, WarningsFollowReadWarningAction) {
  TPixelGraphic source;
  Picture(source, 300, 200);
  const Bytes good = WriteJPEG(source);
  // Cut short: the library warns and shows what arrived.
  const Bytes cut(good.begin(), good.begin() + long(good.size() / 2));
  struct TBox {
    int Calls = 0;
    std::string Text, Caption;
    bool Answer = true;
  } box;
  TScriptedPlatform platform;
  platform.Box = [&](const std::string& text, const std::string& caption, TPGBoxButtons) {
    ++box.Calls;
    box.Text = text;
    box.Caption = caption;
    return box.Answer ? pgaOK : pgaCancel;
  };
  TPixelGraphic g;
  const auto readWith = [&](TPGWarningAction action) {
    g.SetReadWarningAction(action);
    return Failure([&] { ReadJPEG(cut, g); });
  };
  EXPECT_EQ(readWith(pgwaIgnore), "no failure");
  EXPECT_EQ(g.GetHeight(), 200);
  EXPECT_EQ(box.Calls, 0);
  EXPECT_EQ(readWith(pgwaOKBox), "no failure");
  EXPECT_EQ(box.Calls, 1);
  EXPECT_EQ(box.Text, "Premature end of JPEG file");
  EXPECT_EQ(box.Caption, "JPG Warning");
  box.Answer = false;
  EXPECT_EQ(readWith(pgwaOKCancelBox), "JPG: Operation aborted on user request");
  EXPECT_EQ(readWith(pgwaRaise), "JPG: Premature end of JPEG file");
  EXPECT_EQ(box.Calls, 2);
}

// The size a load asked for at least Target gives.
std::pair<int32_t, int32_t> LoadedSize(const Bytes& file, TLoadSize target, TPixelGraphic& g) {
  g.OnLoadTarget = [target](TObject*, int32_t, int32_t) { return target; };
  ReadJPEG(file, g);
  return {g.GetWidth(), g.GetHeight()};
}

// ceil(side * m / 8), the library's size at the scale m/8.
int32_t Scaled(int32_t side, int m) { return (side * m + 7) / 8; }

TEST(JPEGFormat, ReducedScaleIsTheSmallestThatReachesTheTarget) {
  TPixelGraphic source;
  Picture(source);
  const Bytes file = WriteJPEG(source);
  TPixelGraphic g;
  for (int m = 1; m <= 8; ++m) {
    SCOPED_TRACE(m);
    const std::pair<int32_t, int32_t> size{Scaled(61, m), Scaled(45, m)};
    EXPECT_EQ(LoadedSize(file, {size.first, size.second}, g), size);
    if (m == 1) continue;
    // One pixel more than the next smaller scale gives, on either side.
    EXPECT_EQ(LoadedSize(file, {Scaled(61, m - 1) + 1, 0}, g), size);
    EXPECT_EQ(LoadedSize(file, {0, Scaled(45, m - 1) + 1}, g), size);
  }
  EXPECT_EQ(LoadedSize(file, {0, 0}, g), std::make_pair(8, 6));
  EXPECT_EQ(LoadedSize(file, {62, 1}, g), std::make_pair(61, 45));

  // The handler hears the full size from the reader, progress counts the
  // decoded rows, and grey stays grey.
  TJPGFileFormatReader reader;
  std::vector<int> steps;
  g.OnLoadTarget = [&](TObject* sender, int32_t width, int32_t height) {
    EXPECT_EQ(sender, &reader);
    EXPECT_EQ(width, 61);
    EXPECT_EQ(height, 45);
    return TLoadSize{20, 10};
  };
  g.OnProgress = [&](TObject*, int step, int max, bool&) {
    EXPECT_EQ(max, 17);
    steps.push_back(step);
  };
  TMemoryStream s;
  Fill(s, file);
  reader.Read(s, g, 0);
  EXPECT_EQ(steps.size(), 17u);
  EXPECT_EQ(g.GetWidth(), 23);
  g.OnProgress = nullptr;
  TPixelGraphic gray;
  Picture(gray, 61, 45, true);
  EXPECT_EQ(LoadedSize(WriteJPEG(gray), {30, 20}, g), std::make_pair(31, 23));
  EXPECT_EQ(g.PaletteIdent(), pGray256);

  // The handler's failure comes through unchanged; other readers never ask.
  g.OnLoadTarget = [](TObject*, int32_t, int32_t) -> TLoadSize { throw std::runtime_error("no target"); };
  EXPECT_EQ(::Failure<std::runtime_error>([&] { ReadJPEG(file, g); }), "no target");
  TMemoryStream bmp;
  source.SaveToStream(bmp);
  bmp.SetPosition(0);
  g.LoadFromStream(bmp);
  EXPECT_EQ(g.GetWidth(), 61);
}

TEST(JPEGFormat, PixelLimitAppliesToTheDecodedSize) {
  struct TRestore {
    ~TRestore() { MaxPixels = DefaultMaxPixels; }
  } restore;
  TPixelGraphic source, g;
  Picture(source);
  const Bytes file = WriteJPEG(source);
  MaxPixels = 1000;
  EXPECT_THROW(ReadJPEG(file, g), EPGPictureTooLarge);
  EXPECT_EQ(LoadedSize(file, {20, 15}, g), std::make_pair(23, 17));
  try {
    LoadedSize(file, {40, 30}, g);
    ADD_FAILURE() << "46 x 34 pixels loaded";
  } catch (const EPGPictureTooLarge& e) {
    EXPECT_EQ(std::string(e.what()), "Picture of 46 × 34 pixels exceeds the limit of 1000 pixels");
  }
}

// Peers: libjpeg-turbo's cjpeg and djpeg and ImageMagick write and read the
// files; pictures are compared through PNM files.
class JPEGPeers : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Executable(Convert) || !Executable(CJPEG) || !Executable(DJPEG))
      GTEST_SKIP() << "ImageMagick's convert or libjpeg-turbo's cjpeg and djpeg are not installed";
    Picture(Source, 67, 41);
    WritePNM(Dir / "source.ppm", Source);
  }

  // The picture as djpeg decodes the file.
  std::vector<uint8_t> PeerRGB(const std::string& file, const std::string& options = "") {
    const std::string pnm = Dir / "peer.pnm";
    EXPECT_TRUE(RunQuietly(DJPEG + " " + options + " -pnm -outfile '" + pnm + "' '" + file + "'"));
    return ReadPNM(pnm).RGB();
  }

  std::string WriteFile(TPixelGraphic& g) {
    const std::string file = Dir / "ours.jpg";
    TFileStream s(file, fmCreate);
    TJPGFileFormatWriter().Write(s, g);
    return file;
  }

  void Load(const std::string& file, TPixelGraphic& g) {
    TFileStream s(file, fmOpenRead);
    TJPGFileFormatReader().Read(s, g, 0);
  }

  TFileFormatInfo Info(const std::string& file) {
    TFileStream s(file, fmOpenRead);
    TFileFormatInfo info;
    TJPGFileFormatReader().ReadInfo(s, 0, info);
    return info;
  }

  const std::string Convert = "/usr/bin/convert";
  const std::string CJPEG = "/usr/bin/cjpeg";
  const std::string DJPEG = "/usr/bin/djpeg";
  TTempDirectory Dir;
  TPixelGraphic Source;
  TJPEGOptions Restore;
};

TEST_F(JPEGPeers, WeReadWhatThePeersWrite) {
  struct {
    bool cjpeg;
    const char* options;
    const char* subFormat;
  } const cases[] = {
      {true, "-quality 90", "JFIF, YCbCr"},
      {true, "-grayscale", "JFIF, GrayScale"},
      {true, "-progressive", "JFIF, YCbCr, Progressive"},
      {true, "-restart 1", "JFIF, YCbCr"},
      {true, "-restart 3B -sample 1x1", "JFIF, YCbCr"},
      {true, "-arithmetic", "JFIF, YCbCr"},
      {true, "-rgb", "Adope, RGB"},
      {false, "-quality 70 -interlace JPEG -sampling-factor 2x1", "JFIF, YCbCr, Progressive"},
      {false, "-colorspace Gray", "JFIF, GrayScale"},
  };
  const std::string source = Dir / "source.ppm";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string file = Dir / "peer.jpg";
    ASSERT_TRUE(RunQuietly(c.cjpeg ? CJPEG + " " + c.options + " -outfile '" + file + "' '" + source + "'"
                                   : Convert + " '" + source + "' " + c.options + " '" + file + "'"));
    EXPECT_EQ(Info(file).SubFormat, c.subFormat);
    TPixelGraphic g;
    Load(file, g);
    EXPECT_EQ(g.BitCountNum(), std::string(c.subFormat).find("Gray") != std::string::npos ? 2 : 3);
    EXPECT_LE(MaxDifference(GraphicRGB(g), PeerRGB(file)), 1);
  }

  // ImageMagick's CMYK file is described and loaded as ImageMagick converts it.
  const std::string ycck = Dir / "ycck.jpg";
  ASSERT_TRUE(RunQuietly(Convert + " '" + source + "' -colorspace CMYK '" + ycck + "'"));
  const TFileFormatInfo info = Info(ycck);
  EXPECT_EQ(info.SubFormat, "Adope, YCbCrK");
  EXPECT_EQ(info.BitCount, 32);
  EXPECT_EQ(info.ColorCount, "4294.9M");
  TPixelGraphic g;
  Load(ycck, g);
  const std::string rgb = Dir / "ycck.ppm";
  ASSERT_TRUE(RunQuietly(Convert + " '" + ycck + "' -colorspace sRGB '" + rgb + "'"));
  EXPECT_LE(MaxDifference(GraphicRGB(g), ReadPNM(rgb).RGB()), 1);
}

TEST_F(JPEGPeers, DecodingMethodFollowsTheOptionAndFastLoad) {
  const std::string file = Dir / "peer.jpg";
  ASSERT_TRUE(RunQuietly(CJPEG + " -quality 95 -outfile '" + file + "' '" + (Dir / "source.ppm") + "'"));
  const char* methods[] = {"-dct int", "-dct fast", "-dct float"};
  for (int method = 0; method < 3; ++method) {
    SCOPED_TRACE(methods[method]);
    JPEGDecompMethod = method;
    TPixelGraphic g;
    Load(file, g);
    EXPECT_EQ(GraphicRGB(g), PeerRGB(file, methods[method]));
    g.SetFastLoad(true);
    Load(file, g);
    EXPECT_EQ(GraphicRGB(g), PeerRGB(file, "-dct fast"));
  }
}

TEST_F(JPEGPeers, ReducedScalesDecodeAsDJPEGScales) {
  const std::string file = WriteFile(Source);
  const std::string progressive = Dir / "progressive.jpg";
  ASSERT_TRUE(RunQuietly(CJPEG + " -progressive -sample 2x1 -outfile '" + progressive + "' '" +
                         (Dir / "source.ppm") + "'"));
  for (const std::string& f : {file, progressive})
    for (int m = 1; m <= 8; ++m) {
      SCOPED_TRACE(f + " at " + std::to_string(m) + "/8");
      TPixelGraphic g;
      g.OnLoadTarget = [m](TObject*, int32_t width, int32_t height) {
        return TLoadSize{(width * m + 7) / 8, (height * m + 7) / 8};
      };
      Load(f, g);
      EXPECT_EQ(GraphicRGB(g), PeerRGB(f, "-scale " + std::to_string(m) + "/8"));
    }
}

TEST_F(JPEGPeers, WriterMatchesCJPEGWithTheSameSettings) {
  TPixelGraphic gray;
  Picture(gray, 67, 41, true);
  WritePNM(Dir / "gray.pgm", gray, true);
  struct {
    int quality;
    int method;
    bool progressive;
    bool isGray;
  } const cases[] = {{80, 2, false, false}, {35, 0, true, false}, {97, 1, false, true}, {60, 2, true, true}};
  const char* methods[] = {"int", "fast", "float"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quality);
    JPEGCompQuality = c.quality;
    JPEGCompMethod = c.method;
    JPEGCompProgressive = c.progressive;
    const std::string ours = WriteFile(c.isGray ? gray : Source);
    const std::string theirs = Dir / "cjpeg.jpg";
    ASSERT_TRUE(RunQuietly(CJPEG + " -baseline -quality " + std::to_string(c.quality) + " -dct " + methods[c.method] +
                           (c.progressive ? " -progressive" : "") + " -outfile '" + theirs + "' '" +
                           (Dir / (c.isGray ? "gray.pgm" : "source.ppm")) + "'"));
    // The same coder with the same settings makes the same picture.
    EXPECT_EQ(PeerRGB(ours), PeerRGB(theirs));
    TPixelGraphic back;
    Load(ours, back);
    EXPECT_LE(MaxDifference(GraphicRGB(back), PeerRGB(ours)), 1);
  }
}

// A grey picture of random pixels, 400 x 400, coded at quality 95 in one
// scan or in Scans scans (64 to 127) as a scan script gives them: the DC
// coefficients, then each AC coefficient alone, the first ones in two steps
// of successive approximation. cjpeg takes scripts of at most 100 scans, so
// libjpeg is called directly.
Bytes GreyNoise(int scans) {
  std::vector<jpeg_scan_info> script{{1, {0}, 0, 0, 0, 0}};
  for (int k = 1; k <= 63; ++k) {
    if (k <= scans - 64) {
      script.push_back({1, {0}, k, k, 0, 1});
      script.push_back({1, {0}, k, k, 1, 0});
    } else {
      script.push_back({1, {0}, k, k, 0, 0});
    }
  }
  std::mt19937 random(3);
  return LibjpegFile(
      400, 400, 1, JCS_GRAYSCALE,
      [&](jpeg_compress_struct& info) {
        jpeg_set_quality(&info, 95, TRUE);
        if (scans > 1) {
          info.scan_info = script.data();
          info.num_scans = int(script.size());
        }
      },
      [&](std::vector<JSAMPLE>& row) {
        for (JSAMPLE& sample : row) sample = JSAMPLE(random());
      });
}

// Stray bytes before a marker, which libjpeg skips with a warning.
Bytes WithStrayBytesBeforeLastScan(Bytes file) {
  const Bytes sos = {0xFF, 0xDA};
  file.insert(std::find_end(file.begin(), file.end(), sos.begin(), sos.end()), {0x12, 0x34, 0xFF, 0x00});
  return file;
}

TEST(JPEGFormat, ScansBeyondTheLimitAreRefused) {
  ASSERT_EQ(MaxJPEGScans, 100);
  const Bytes limit = GreyNoise(100), beyond = GreyNoise(101);
  TPixelGraphic g, baseline;
  g.SetReadWarningAction(pgwaIgnore);
  ReadJPEG(limit, g);
  // Refinement loses nothing: the scans add up to the coefficients of one.
  ReadJPEG(GreyNoise(1), baseline);
  EXPECT_EQ(GraphicRGB(g), GraphicRGB(baseline));
  EXPECT_EQ(Failure([&] { ReadJPEG(beyond, g); }), "JPG: Too many scans (more than 100)");
  SetPGLanguage(1);
  EXPECT_EQ(Failure([&] { ReadJPEG(beyond, g); }), "JPG: Zu viele Scans (mehr als 100)");
  SetPGLanguage(0);

  // Scans are counted as libjpeg finds them: not inside a segment that only
  // looks like one, and also behind stray bytes.
  Bytes fakeScans;
  for (int i = 0; i < 10; ++i) fakeScans.insert(fakeScans.end(), {0xFF, 0xDA, 0x00, 0x08});
  ReadJPEG(WithStrayBytesBeforeLastScan(WithSegment(limit, 0xE1, fakeScans)), g);
  EXPECT_EQ(GraphicRGB(g), GraphicRGB(baseline));
  EXPECT_EQ(Failure([&] { ReadJPEG(WithStrayBytesBeforeLastScan(beyond), g); }), "JPG: Too many scans (more than 100)");
}

TEST(JPEGFormat, AbortDuringTheScansEndsTheLoad) {
  const Bytes file = GreyNoise(100);
  TJPGFileFormatReader reader;
  TPixelGraphic g;
  int calls = 0, ends = 0, abortAt = 1;
  g.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    EXPECT_EQ(sender, &reader);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(max, 400);
    abort = ++calls == abortAt;
  };
  g.OnProgressEnd = [&](TObject*) { ++ends; };
  int64_t consumed = 0;
  const auto read = [&] {
    calls = 0;
    TMemoryStream s;
    Fill(s, file);
    const std::string failure = Failure([&] { reader.Read(s, g, 0); });
    consumed = s.Position();
    return failure;
  };
  // At the first question, before any scan is decoded, and some scans in.
  EXPECT_EQ(read(), "JPG: Application transferred too few scanlines");
  EXPECT_EQ(calls, 1);
  EXPECT_LT(consumed, int64_t(file.size()));
  abortAt = 300;
  EXPECT_EQ(read(), "JPG: Application transferred too few scanlines");
  EXPECT_EQ(calls, 300);
  EXPECT_LT(consumed, int64_t(file.size()));
  EXPECT_EQ(ends, 2);
  EXPECT_EQ(g.GetPixel(200, 0), 0u);

  // The handler's own failure comes through the library unchanged.
  g.OnProgress = [](TObject*, int, int, bool&) { throw std::runtime_error("handler gone"); };
  EXPECT_EQ(::Failure<std::runtime_error>([&] { ReadWith<TJPGFileFormatReader>(file, g); }), "handler gone");
  EXPECT_EQ(ends, 3);
}

}  // namespace
