#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "batchrunner.h"
#include "clioptions.h"
#include "clisetup.h"
#include "filereplacement.h"
#include "fileformat.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "palettechoice.h"
#include "pixelgraphic.h"
#include "progressdisplay.h"
#include "resultsize.h"
#include "settings.h"
#include "settingsstore.h"
#include "shrinkpipeline.h"
#include "signalcleanup.h"
#include "sizearithmetic.h"
#include "tempdir.h"

namespace {

TCliOptions Parse(std::initializer_list<std::string> args) { return ParseCliOptions(args, LanguageEnglish); }

// The hint of the usage error the arguments raise; empty when they parse.
std::string UsageHint(std::initializer_list<std::string> args, int32_t language = LanguageEnglish) {
  try {
    ParseCliOptions(args, language);
  } catch (const ECliUsage& e) {
    EXPECT_NE(std::string(e.what()), "");
    return e.Hint().empty() ? "(no hint)" : e.Hint();
  }
  return std::string();
}

void WritePicture(const std::string& fileName, int32_t width, int32_t height) {
  TPixelGraphic g;
  g.SetSize(width, height, 3);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) g.SetPixelColor(x, y, RGB(uint8_t(x * 7), uint8_t(y * 5), uint8_t(x ^ y)));
  g.SaveToFile(fileName);
}

// An uncompressed TIFF of 16-bit greys, which goes through libtiff.
void WriteGray16TIFF(const std::string& fileName, uint32_t width, uint32_t height) {
  constexpr uint32_t count = 8, dataAt = 8 + 2 + 12 * count + 4;
  const uint32_t entries[count][2] = {{256, width}, {257, height}, {258, 16}, {259, 1},
                                      {262, 1},     {273, dataAt}, {277, 1},  {279, width * height * 2}};
  std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  const auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  put(count, 2);
  for (const auto& e : entries) {
    put(e[0], 2);
    put(4, 2);  // LONG
    put(1, 4);
    put(e[1], 4);
  }
  put(0, 4);
  b.resize(b.size() + width * height * 2);
  std::ofstream(fileName, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::string FileText(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The names in a directory, sorted, joined by blanks.
std::string Listing(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(directory)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string all;
  for (const auto& n : names) all += (all.empty() ? "" : " ") + n;
  return all;
}

struct TCliRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// The installed program, as a user runs it.
TCliRun RunCli(const std::vector<std::string>& args, const std::string& environment = std::string()) {
  TTempDirectory logs;
  std::string command = environment + " " + QUILLET_CLI_PATH;
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " >" + (logs / "out") + " 2>" + (logs / "err") + " </dev/null";
  const int raw = std::system(command.c_str());
  TCliRun run;
  if (WIFEXITED(raw)) run.Status = WEXITSTATUS(raw);
  run.Out = FileText(logs / "out");
  run.Err = FileText(logs / "err");
  return run;
}

TEST(CliOptions, ModesAndValues) {
  TCliOptions o = Parse({"in.jpg", "out.png"});
  EXPECT_EQ(o.Mode, cmSingle);
  EXPECT_EQ(o.Inputs, std::vector<std::string>{"in.jpg"});
  EXPECT_EQ(o.Output, "out.png");
  EXPECT_FALSE(o.Width || o.Height || o.KeepAspect || o.Selection || o.Sharpen || o.JPEGCompQuality);

  o = Parse({"--width=640", "--height", "12.5%", "--no-keep-aspect", "a.bmp", "b.JPG"});
  ASSERT_TRUE(o.Width && o.Height);
  EXPECT_FALSE(o.Width->InPercent);
  EXPECT_EQ(o.Width->Pixels, 640);
  EXPECT_TRUE(o.Height->InPercent);
  EXPECT_EQ(o.Height->Percent, 12.5L);
  EXPECT_EQ(o.KeepAspect, false);

  o = Parse({"--output-dir", "out", "--format", ".TIF", "-j", "3", "a.jpg", "b.png", "c.bmp"});
  EXPECT_EQ(o.Mode, cmBatch);
  EXPECT_EQ(o.Format, "TIF");
  EXPECT_EQ(o.Jobs, 3u);
  EXPECT_EQ(o.Inputs.size(), 3u);

  o = Parse({"--info", "x", "y"});
  EXPECT_EQ(o.Mode, cmInfo);
  EXPECT_EQ(o.Inputs, (std::vector<std::string>{"x", "y"}));

  // After "--" a leading dash is part of a name.
  o = Parse({"--quiet", "--", "-in.bmp", "-out.bmp"});
  EXPECT_TRUE(o.Quiet);
  EXPECT_EQ(o.Inputs[0], "-in.bmp");
  EXPECT_EQ(o.Output, "-out.bmp");

  // --help and --version answer whatever else the line holds.
  EXPECT_EQ(Parse({"--bogus", "--version"}).Mode, cmVersion);
  EXPECT_EQ(Parse({"--version", "-h"}).Mode, cmHelp);

  o = Parse({"--frame", "oval", "--frame-color", "FF8000", "--frame-width", "2", "--stretch-mode", "medium",
             "--jpeg-write-method", "precise", "--jpeg-read-method", "float", "--tiff-compression", "packbits",
             "--tiff-byte-order", "MM", "--tiff-cmyk", "--tiff-white-is-zero", "--screen-gamma", "2.2",
             "--sharpen", "0", "--no-dither", "--no-rgb-weighting", "--precise-unknown-palette",
             "--no-minimize-interference", "--no-system-colors", "--refine-palette", "--optimized-size", "16",
             "--language", "de", "--keep-colour-values", "--no-jpeg-optimize",
             "--strict", "--use-settings", "a.bmp", "b.tiff"});
  EXPECT_EQ(o.DoBorder, true);
  EXPECT_EQ(o.BorderEllipse, true);
  EXPECT_EQ(o.BorderColor, RGB(255, 128, 0));
  EXPECT_EQ(o.BorderWidth, 2);
  EXPECT_EQ(o.StretchMode, smMedium);
  EXPECT_EQ(o.JPEGCompMethod, 0);
  EXPECT_EQ(o.JPEGDecompMethod, 2);
  EXPECT_EQ(o.TIFFWriteCompression, 32773);
  EXPECT_EQ(o.TIFFWriteByteOrder, 1);
  EXPECT_EQ(o.TIFFWriteTrueColorPhotInterpret, 1);
  EXPECT_EQ(o.TIFFWriteGrayScalePhotInterpret, 1);
  EXPECT_EQ(o.ScreenGamma, 2.2L);
  EXPECT_EQ(o.Sharpen, 0);
  EXPECT_EQ(o.Dithering, false);
  EXPECT_EQ(o.RGBWeighting, false);
  EXPECT_EQ(o.FastUnknownPalette, false);
  EXPECT_EQ(o.MinimizeInterference, false);
  EXPECT_EQ(o.OptimizedPaletteIncludeSys, false);
  EXPECT_EQ(o.OptimizedPaletteRefine, true);
  EXPECT_EQ(o.OptimizedPaletteSize, 16);
  EXPECT_EQ(o.Language, LanguageGerman);
  EXPECT_TRUE(o.Strict && o.UseSettings);
  EXPECT_TRUE(o.ConvertToSRGB == false && o.JPEGOptimizeCoding == false);
  EXPECT_FALSE(Parse({"in.jpg", "out.png"}).ConvertToSRGB || Parse({"in.jpg", "out.png"}).JPEGOptimizeCoding);
  // The forms getopt takes: values joined or apart, one-letter options bundled.
  for (auto args : std::vector<std::vector<std::string>>{{"-j2"}, {"-j", "2"}, {"--jobs=2"}, {"--jobs", "2"},
                                                          {"-qj2"}, {"-qj", "2"}}) {
    args.insert(args.end(), {"--output-dir", "d", "--format", "png", "a.bmp"});
    o = ParseCliOptions(args, LanguageEnglish);
    EXPECT_EQ(o.Jobs, 2u) << args[0];
    EXPECT_EQ(o.Quiet, args[0].starts_with("-q")) << args[0];
  }
  EXPECT_EQ(Parse({"-qh"}).Mode, cmHelp);
  // A lone "-" is standard input or output; standard output takes --format.
  o = Parse({"--format", "png", "-", "-"});
  EXPECT_EQ(o.Mode, cmSingle);
  EXPECT_EQ(o.Inputs[0], "-");
  EXPECT_EQ(o.Output, "-");
  EXPECT_EQ(o.Format, "png");
  EXPECT_EQ(Parse({"-", "out.png"}).Inputs[0], "-");
  o = Parse({"--fit", "800x600", "--no-enlarge", "a.bmp", "b.bmp"});
  ASSERT_TRUE(o.Fit);
  EXPECT_EQ(o.Fit->Width, 800);
  EXPECT_EQ(o.Fit->Height, 600);
  EXPECT_TRUE(o.NoEnlarge);

  // "none" switches the frame off without touching its shape.
  o = Parse({"--frame", "none", "a.bmp", "b.bmp"});
  EXPECT_EQ(o.DoBorder, false);
  EXPECT_FALSE(o.BorderEllipse);
}

TEST(CliOptions, UsageErrorsCarryAHint) {
  EXPECT_EQ(UsageHint({"a.bmp", "b.bmp"}), "");
  for (auto args : std::vector<std::vector<std::string>>{
           {},
           {"a.bmp"},
           {"a.bmp", "b.bmp", "c.bmp"},
           {"--bogus", "a.bmp", "b.bmp"},
           {"a.bmp", "b.bmp", "--width"},
           {"--quiet=yes", "a.bmp", "b.bmp"},
           {"--width", "0", "a.bmp", "b.bmp"},
           {"--width", "-5%", "a.bmp", "b.bmp"},
           {"--width", "50", "--height", "nan%", "a.bmp", "b.bmp"},
           {"--width", "12.5", "a.bmp", "b.bmp"},
           {"--width", "99999999999", "a.bmp", "b.bmp"},
           {"--sharpen", "101", "a.bmp", "b.bmp"},
           {"--jpeg-quality", "8x", "a.bmp", "b.bmp"},
           {"--frame-color", "12345", "a.bmp", "b.bmp"},
           {"--frame-color", "-12345", "a.bmp", "b.bmp"},
           {"--stretch-mode", "slow", "a.bmp", "b.bmp"},
           {"--row", "20", "a.bmp", "b.bmp"},
           {"--row", "3", "--palette", "bw", "a.bmp", "b.bmp"},
           {"--palette", "purple", "a.bmp", "b.bmp"},
           {"--palette", "optimized", "--bits", "24", "a.bmp", "b.bmp"},
           {"--palette", "gray4", "--bits", "8", "a.bmp", "b.bmp"},
           {"--bits", "8", "a.bmp", "b.bmp"},
           {"--jobs", "0", "--output-dir", "d", "--format", "bmp", "a.bmp"},
           {"a.bmp", "b.xyz"},
           {"a.bmp", "noextension"},
           {"--output-dir", "d", "a.bmp"},
           {"--format", "png", "a.bmp"},
           {"--output-dir", "d", "--format", "gif", "a.bmp"},
           {"--output-dir", "d", "--format", "png"},
           {"--info"},
           {"--info", "--format", "png", "a.bmp"},
           {"-x", "a.bmp", "b.bmp"},
           {"-qx", "a.bmp", "b.bmp"},
           {"-jx", "--output-dir", "d", "--format", "bmp", "a.bmp"},
           {"--frame", "rect", "--frame-width", "1", "a.bmp", "b.bmp"},
           {"--frame", "rect", "--frame-width", "1001", "a.bmp", "b.bmp"},
           {"--fit", "800", "a.bmp", "b.bmp"},
           {"--fit", "0x600", "a.bmp", "b.bmp"},
           {"--fit", "800x600", "--width", "5", "a.bmp", "b.bmp"},
           {"a.bmp", "-"},
           {"--output-dir", "d", "--format", "png", "-"},
       }) {
    std::string hint;
    try {
      ParseCliOptions(args, LanguageEnglish);
    } catch (const ECliUsage& e) {
      hint = e.Hint();
    }
    std::string line;
    for (const auto& a : args) line += a + " ";
    EXPECT_NE(hint, "") << line;
    EXPECT_EQ(hint.find('\n'), std::string::npos) << line;
  }
  // The hint names what would be right.
  EXPECT_NE(UsageHint({"a.bmp", "b.xyz"}).find("png"), std::string::npos);
  EXPECT_NE(UsageHint({"--palette", "purple", "a.bmp", "b.bmp"}).find("special252"), std::string::npos);
  try {
    ParseCliOptions({"--bogus"}, LanguageGerman);
    ADD_FAILURE();
  } catch (const ECliUsage& e) {
    EXPECT_EQ(std::string(e.what()), "unbekannte Option '--bogus'");
  }
  EXPECT_EQ(CliLanguage({"--language", "de", "x"}), LanguageGerman);
  EXPECT_EQ(CliLanguage({"--language=en"}), LanguageEnglish);
}

TEST(CliOptions, PaletteNamesSelectTheirRows) {
  const std::pair<const char*, int> named[] = {
      {"bw", 0},        {"gray4", 4},       {"gray16", 5},      {"sysgray4", 6},    {"sys16", 7},     {"gray236", 11},
      {"gray256", 12},  {"special125", 13}, {"special216", 14}, {"special252", 15}, {"truecolor", 19},
  };
  for (const auto& [name, row] : named) {
    EXPECT_EQ(PaletteRowOfName(name, 0), row) << name;
    const int bits = NumToBitCount(PaletteChoiceRow(row).BitCountNum);
    EXPECT_EQ(PaletteRowOfName(name, bits), row) << name;
    EXPECT_EQ(PaletteRowOfName(name, bits == 4 ? 8 : 4), std::nullopt) << name;
    EXPECT_EQ(Parse({"--palette", name, "a.bmp", "b.bmp"}).Selection, row);
  }
  const std::tuple<const char*, int, int> flagged[] = {
      {"source", 1, 1},     {"source", 4, 8},      {"source", 8, 16},     {"individual", 1, 2},
      {"individual", 4, 9}, {"individual", 8, 17}, {"optimized", 1, 3},   {"optimized", 4, 10},
      {"optimized", 8, 18},
  };
  for (const auto& [name, bits, row] : flagged) {
    EXPECT_EQ(PaletteRowOfName(name, bits), row) << name << bits;
    EXPECT_EQ(Parse({"--palette", name, "--bits", std::to_string(bits), "a.bmp", "b.bmp"}).Selection, row);
  }
  EXPECT_EQ(PaletteRowOfName("source", 0), std::nullopt);
  EXPECT_EQ(PaletteRowOfName("optimized", 24), std::nullopt);
  EXPECT_EQ(PaletteRowOfName("bw", 2), std::nullopt);
  EXPECT_EQ(PaletteRowOfName("BW", 0), std::nullopt);
  EXPECT_EQ(Parse({"--row", "13", "a.bmp", "b.bmp"}).Selection, 13);
}

TEST(CliResultSize, FollowsTheWindowsFieldArithmetic) {
  TSizeRequest r;
  r.WidthPercent = 50;
  r.HeightPercent = 30;
  // Neither side given: with the aspect kept the width's percentage leads.
  TResultSize s = ResolveResultSize(r, 201, 151);
  EXPECT_EQ(s.Width, 100);
  EXPECT_EQ(s.Height, 75);
  r.KeepAspect = false;
  s = ResolveResultSize(r, 201, 151);
  EXPECT_EQ(s.Height, PercentToPixels(151, 30));

  // 100 pixels of 640 are 15.63 %, which gives 75 of 480.
  r.KeepAspect = true;
  r.Width = TSideSize{false, 0, 100};
  s = ResolveResultSize(r, 640, 480);
  EXPECT_EQ(s.Width, 100);
  EXPECT_EQ(s.Height, 75);
  r.KeepAspect = false;
  EXPECT_EQ(ResolveResultSize(r, 640, 480).Height, PercentToPixels(480, 30));

  r.KeepAspect = true;
  for (int32_t w : {1, 3, 7, 201, 640, 1001, 4000})
    for (int32_t h : {1, 2, 151, 480, 3001})
      for (int32_t n : {1, 2, 33, 99, 100, 333, 2500}) {
        r.Width = TSideSize{false, 0, n};
        r.Height.reset();
        s = ResolveResultSize(r, w, h);
        EXPECT_EQ(s.Width, n);
        EXPECT_EQ(s.Height, PercentToPixels(h, PixelsToPercent(n, w))) << w << " " << h << " " << n;
        r.Height = r.Width;
        r.Width.reset();
        s = ResolveResultSize(r, w, h);
        EXPECT_EQ(s.Height, n);
        EXPECT_EQ(s.Width, PercentToPixels(w, PixelsToPercent(n, h)));
      }
  // A percentage is copied to the other side as given.
  r.Height.reset();
  for (long double p : {0.5L, 10.0L, 15.63L, 33.3L, 50.0L, 99.99L, 250.0L}) {
    r.Width = TSideSize{true, p, 0};
    s = ResolveResultSize(r, 1000, 777);
    EXPECT_EQ(s.Width, PercentToPixels(1000, p));
    EXPECT_EQ(s.Height, PercentToPixels(777, p));
  }
  // Both sides given: each its own.
  r.Width = TSideSize{false, 0, 64};
  r.Height = TSideSize{true, 10, 0};
  s = ResolveResultSize(r, 1000, 500);
  EXPECT_EQ(s.Width, 64);
  EXPECT_EQ(s.Height, 50);

  // A box: the side that fills it, the other rounded half up, never 0.
  TSizeRequest fit;
  fit.Fit = TBox{800, 800};
  const struct {
    int32_t w, h, rw, rh;
  } boxed[] = {{4000, 3000, 800, 600}, {3000, 4000, 600, 800}, {1001, 750, 800, 599},
               {640, 480, 800, 600},   {100000, 1, 800, 1},    {INT32_MAX, INT32_MAX - 1, 800, 800}};
  for (const auto& b : boxed) {
    s = ResolveResultSize(fit, b.w, b.h);
    EXPECT_EQ(s.Width, b.rw) << b.w << "x" << b.h;
    EXPECT_EQ(s.Height, b.rh) << b.w << "x" << b.h;
  }
  // Never enlarged: a larger result on either side keeps the source's size.
  fit.NoEnlarge = true;
  s = ResolveResultSize(fit, 640, 480);
  EXPECT_EQ(s.Width, 640);
  EXPECT_EQ(s.Height, 480);
  EXPECT_EQ(ResolveResultSize(fit, 4000, 3000).Width, 800);
  r.NoEnlarge = true;
  r.Width = TSideSize{true, 150, 0};
  r.Height.reset();
  s = ResolveResultSize(r, 1000, 400);
  EXPECT_EQ(s.Width, 1000);
  EXPECT_EQ(s.Height, 400);
}

TEST(CliHelp, ListsEveryOptionWithItsDefault) {
  SetApplicationDefaults();
  // Wrapped lines read as one.
  const auto unwrapped = [](const std::string& text) {
    std::string flat;
    for (char c : text) {
      if (c == '\n') c = ' ';
      if (c != ' ' || flat.empty() || flat.back() != ' ') flat += c;
    }
    return flat;
  };
  const std::string help = unwrapped(CliHelpText(LanguageEnglish));
  for (const char* option :
       {"--width", "--height", "--keep-aspect", "--no-keep-aspect", "--row", "--palette", "--bits",
        "--individual-palette", "--optimized-size", "--no-system-colors", "--refine-palette", "--stretch-mode",
        "--sharpen", "--no-dither", "--no-rgb-weighting", "--precise-unknown-palette", "--no-minimize-interference",
        "--shrink-on-load", "--frame",
        "--frame-width", "--frame-color", "--jpeg-quality", "--jpeg-progressive", "--jpeg-write-method",
        "--jpeg-read-method", "--pxm-binary", "--tiff-compression", "--tiff-byte-order", "--tiff-cmyk",
        "--tiff-white-is-zero", "--tiff-resolution-unit", "--tiff-x-resolution", "--tiff-y-resolution",
        "--max-pixels", "--no-gamma-correction", "--no-write-gamma", "--screen-gamma", "--output-dir",
        "--format", "--jobs", "--info", "--quiet", "--strict", "--use-settings", "--language", "--help",
        "--version", "--keep-colour-values", "--no-jpeg-optimize", "--webp-quality", "--webp-lossless"})
    EXPECT_NE(help.find(std::string(" ") + option + " "), std::string::npos) << option;
  for (const char* value : {"[default: 50%]", "[default: 19]", "[default: truecolor]", "[default: 252]",
                            "[default: precise]", "[default: 50]", "[default: FFFFFF]", "[default: 80]",
                            "[default: float]", "[default: II]", "[default: 2.2]", "[default: 20]",
                            "[default: inch]", "[default: 300/1]", "[default: 268435456]",
                            "[default: converting to sRGB on]", "[default: optimized on]"})
    EXPECT_NE(help.find(value), std::string::npos) << value;
  EXPECT_NE(unwrapped(CliHelpText(LanguageGerman)).find("[Vorgabe: 50%]"), std::string::npos);
}

TEST(CliProgressDisplay, WritesOnlyMessagesWithoutABar) {
  std::ostringstream err;
  {
    TProgressDisplay display(err, false, 2);
    display.Progress(0, 0.5);
    display.Message("one");
    display.Progress(7, 0.5);  // no such picture
    display.Finished(1);
  }
  EXPECT_EQ(err.str(), "one\n");
  std::ostringstream bar;
  {
    TProgressDisplay display(bar, true, 2);
    display.Finished(0);
    display.Message("two");
  }
  const std::string text = bar.str();
  EXPECT_NE(text.find(" 50%  1/2"), std::string::npos);
  EXPECT_NE(text.find("\r\033[Ktwo\n"), std::string::npos);
  // Closing leaves the line clean.
  EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K");
}

TEST(CliShrinkPipeline, ATakenSourceGivesWhatACopyGives) {
  TPixelGraphic source;
  source.SetSize(21, 13, 2);
  source.SetPaletteIdent(pSys16);
  for (int32_t y = 0; y < 13; ++y)
    for (int32_t x = 0; x < 21; ++x) source.SetPixel(x, y, uint32_t(x + y) % 16);
  TShrinkSettings s;
  s.Selection = 16;  // the source's palette at 8 bits
  s.MemWarning = 1000;
  s.StretchMode = smPrecise;
  s.Sharpen = 50;
  TShrinkPipeline pipeline;
  const TShrinkRun copied = pipeline.Run(source, 10, 6, true, s);
  auto taken = std::make_unique<TPixelGraphic>();
  taken->Assign(&source);
  const TShrinkRun run = pipeline.Run(std::move(taken), 10, 6, true, s);
  ASSERT_EQ(copied.Outcome, soFinished);
  ASSERT_EQ(run.Outcome, soFinished);
  ASSERT_EQ(run.Result->PaletteCount(), 16);
  // So does the source itself, the source palette taken from it after stretching.
  const TShrinkRun inPlace = pipeline.RunInPlace(source, 10, 6, true, s);
  ASSERT_EQ(inPlace.Outcome, soFinished);
  ASSERT_EQ(inPlace.Result->PaletteCount(), 16);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      EXPECT_EQ(run.Result->GetPixel(x, y), copied.Result->GetPixel(x, y));
      EXPECT_EQ(inPlace.Result->GetPixel(x, y), copied.Result->GetPixel(x, y));
    }
  EXPECT_EQ(pipeline.Run(std::unique_ptr<TPixelGraphic>(), 10, 6, true, s).Outcome, soNoSource);
}

TEST(CliProgram, ExitCodesAndOneFileMode) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 201, 151);
  TCliRun run = RunCli({"--version"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "Quillet Version 1.02\n");
  run = RunCli({"--help"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("--jobs"), std::string::npos);

  run = RunCli({"--language", "en", "--bogus", dir / "in.bmp", dir / "out.bmp"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err, "quillet-cli: unknown option '--bogus'\nTry 'quillet-cli --help'.\n");

  // 50 % of 201 x 151, the odd pixel dropped: 100 x 75.
  run = RunCli({"--quiet", dir / "in.bmp", dir / "out.png"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "");
  TPixelGraphic out;
  out.LoadFromFile(dir / "out.png");
  EXPECT_EQ(out.GetWidth(), 100);
  EXPECT_EQ(out.GetHeight(), 75);
  EXPECT_EQ(out.BitCountNum(), 3);

  run = RunCli({"--width", "40", "--palette", "optimized", "--bits", "4", dir / "in.bmp", dir / "out.bmp"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  out.LoadFromFile(dir / "out.bmp");
  EXPECT_EQ(out.GetWidth(), 40);
  EXPECT_EQ(out.GetHeight(), PercentToPixels(151, PixelsToPercent(40, 201)));
  EXPECT_EQ(out.BitCountNum(), 1);

  // A true-colour picture refused by a black-and-white format with --strict,
  // converted without it; the refusal leaves the old file alone.
  std::ofstream(dir / "old.pbm") << "keep";
  run = RunCli({"--language", "en", "--strict", dir / "in.bmp", dir / "old.pbm"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("in.bmp: "), std::string::npos);
  EXPECT_EQ(FileText(dir / "old.pbm"), "keep");
  run = RunCli({dir / "in.bmp", dir / "old.pbm"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(FileText(dir / "old.pbm").substr(0, 2), "P1");

  // A palette file without a palette stops everything.
  run = RunCli({"--language", "en", "--palette", "individual", "--individual-palette", dir / "in.bmp", dir / "in.bmp",
                dir / "x.bmp"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("No Palette!"), std::string::npos);

  // A size that leaves nothing to save fails the picture.
  run = RunCli({"--width", "0.1%", dir / "in.bmp", dir / "empty.bmp"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.bmp"));
}

TEST(CliProgram, BatchGoesOnPastAnUnreadablePicture) {
  TTempDirectory dir;
  const std::string out = dir / "out";
  WritePicture(dir / "a.bmp", 40, 30);
  WritePicture(dir / "b.bmp", 31, 20);
  WritePicture(dir / "c.bmp", 64, 64);
  std::ofstream(dir / "broken.bmp") << "BM this is no bitmap";
  std::filesystem::create_directory(out);
  std::ofstream(out + "/broken.tif") << "older file";

  TCliRun run = RunCli({"--language", "en", "--jobs", "2", "--output-dir", out, "--format", "tif", dir / "a.bmp",
                        dir / "broken.bmp", dir / "missing.bmp", dir / "b.bmp", dir / "c.bmp"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("broken.bmp: "), std::string::npos);
  EXPECT_NE(run.Err.find("missing.bmp: "), std::string::npos);
  // No temporary file is left, and the older file is as it was.
  EXPECT_EQ(Listing(out), "a.tif b.tif broken.tif c.tif");
  EXPECT_EQ(FileText(out + "/broken.tif"), "older file");
  TPixelGraphic g;
  g.LoadFromFile(out + "/b.tif");
  EXPECT_EQ(g.GetWidth(), 15);
  EXPECT_EQ(g.GetHeight(), 10);

  // Jobs on several threads write what one job writes.
  const std::string serial = dir / "serial";
  run = RunCli({"--jobs", "1", "--output-dir", serial, "--format", "tif", dir / "a.bmp", dir / "b.bmp", dir / "c.bmp"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  for (const char* name : {"/a.tif", "/b.tif", "/c.tif"}) EXPECT_EQ(FileText(serial + name), FileText(out + name));

  run = RunCli({"--output-dir", dir / "same", "--format", "png", dir / "a.bmp", dir / "serial/a.tif"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_FALSE(std::filesystem::exists(dir / "same"));
}

TEST(CliProgram, UseSettingsStartsFromTheStoredSettings) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 40, 20);
  SetApplicationDefaults();
  WidthPercent = 25;
  HeightPercent = 25;
  Selection = 12;  // Gray 256
  SaveSettings(TSettingsStore(dir.Path));
  SetApplicationDefaults();
  const std::string environment = "XDG_CONFIG_HOME='" + dir.Path + "'";

  TCliRun run = RunCli({"--use-settings", dir / "in.bmp", dir / "stored.bmp"}, environment);
  EXPECT_EQ(run.Status, 0) << run.Err;
  TPixelGraphic g;
  g.LoadFromFile(dir / "stored.bmp");
  EXPECT_EQ(g.GetWidth(), 10);
  EXPECT_EQ(g.GetHeight(), 5);
  EXPECT_EQ(g.PaletteIdent(), pGray256);
  // The options still win over the stored settings; without --use-settings
  // nothing stored counts.
  run = RunCli({"--use-settings", "--height", "10", "--row", "19", dir / "in.bmp", dir / "mixed.bmp"}, environment);
  EXPECT_EQ(run.Status, 0) << run.Err;
  g.LoadFromFile(dir / "mixed.bmp");
  EXPECT_EQ(g.GetWidth(), 20);
  EXPECT_EQ(g.BitCountNum(), 3);
  run = RunCli({dir / "in.bmp", dir / "plain.bmp"}, environment);
  g.LoadFromFile(dir / "plain.bmp");
  EXPECT_EQ(g.GetWidth(), 20);
  EXPECT_EQ(g.BitCountNum(), 3);
}

TEST(CliProgram, InfoListsTheFieldsInOrder) {
  TTempDirectory dir;
  WritePicture(dir / "a.bmp", 12, 7);
  std::ofstream(dir / "junk.png") << "junk";
  const TCliRun run = RunCli({"--info", dir / "a.bmp", dir / "junk.png", dir / "a.bmp"});
  EXPECT_EQ(run.Status, 1);
  const std::string record = "File: " + (dir / "a.bmp") +
                             "\nFormat: Bitmap\nSubFormat: Windows, RGB\nDetails: \nWidth: 12\nHeight: 7\n"
                             "BitCount: 24\nColorCount: 16.7M\nImageCount: 1\n";
  EXPECT_EQ(run.Out, record + "\n" + record);
  EXPECT_NE(run.Err.find("junk.png: "), std::string::npos);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CliProgram, PaletteDepthFollowsThePalettesSizeAsTheWindowsListsDo) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 40, 30);
  TPixelGraphic sys16;
  sys16.SetSize(40, 30, 1);
  sys16.SetPaletteIdent(pSys16);
  sys16.SaveToFile(dir / "sys16.bmp");
  // The result's depth and palette, or the exit status and the message.
  const auto result = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--language", "en"});
    args.push_back(dir / "out.bmp");
    const TCliRun run = RunCli(args);
    TPixelGraphic out;
    if (run.Status != 0) return std::to_string(run.Status) + " " + run.Err;
    out.LoadFromFile(dir / "out.bmp");
    return std::to_string(out.BitCount()) + " bits, " + std::to_string(out.PaletteCount()) + " colours";
  };
  EXPECT_EQ(result({"--palette", "optimized", "--optimized-size", "16", dir / "in.bmp"}), "4 bits, 16 colours");
  EXPECT_EQ(result({"--palette", "optimized", dir / "in.bmp"}), "8 bits, 252 colours");
  EXPECT_EQ(result({"--palette", "optimized", "--refine-palette", dir / "in.bmp"}), "8 bits, 252 colours");
  EXPECT_EQ(result({"--palette", "individual", dir / "in.bmp"}), "8 bits, 216 colours");
  EXPECT_EQ(result({"--palette", "source", dir / "sys16.bmp"}), "4 bits, 16 colours");
  EXPECT_EQ(result({"--palette", "individual", "--bits", "1", dir / "in.bmp"}).rfind(
                "2 quillet-cli: the individual palette of 216 colours does not fit the 1-bit depth, which takes 1-2", 0),
            0u);
  EXPECT_TRUE(Has(result({"--palette", "source", "--bits", "1", dir / "sys16.bmp"}),
                  "1 quillet-cli: " + (dir / "sys16.bmp") + ": its palette of 16 colours does not fit the 1-bit"));
  EXPECT_TRUE(Has(result({"--palette", "source", dir / "in.bmp"}), "in.bmp: the picture has no palette"));
}

TEST(CliProgram, OptionsThatWouldDoNothingAreRefused) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 40, 30);
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--frame-width", "5"},
           {"--frame", "none", "--frame-color", "FF0000"},
           {"--individual-palette", dir / "in.bmp"},
           {"--palette", "bw", "--optimized-size", "16"},
           {"--palette", "truecolor", "--refine-palette"}}) {
    args.insert(args.end(), {dir / "in.bmp", dir / "out.bmp"});
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.Status, 2) << args[0];
    EXPECT_TRUE(Has(run.Err, " does nothing ")) << run.Err;
  }
  EXPECT_EQ(RunCli({"--frame", "rect", "--frame-width", "5", dir / "in.bmp", dir / "out.bmp"}).Status, 0);
}

TEST(CliProgram, ReadWarningsNameThePictureAndStrictRefusesIt) {
  TTempDirectory dir;
  WritePicture(dir / "whole.jpg", 64, 64);
  const std::string jpeg = FileText(dir / "whole.jpg");
  std::ofstream(dir / "cut.jpg", std::ios::binary) << jpeg.substr(0, jpeg.size() / 2);
  TCliRun run = RunCli({"--language", "en", "--output-dir", dir / "out", "--format", "png", dir / "whole.jpg",
                        dir / "cut.jpg"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_TRUE(Has(run.Err, "cut.jpg: JPG Warning: Premature end of JPEG file\n")) << run.Err;
  EXPECT_TRUE(Has(run.Err, "2 of 2 pictures saved, 1 of them with warnings while reading; 0 failed"));
  EXPECT_EQ(Listing(dir / "out"), "cut.png whole.png");

  run = RunCli({"--language", "en", "--strict", dir / "cut.jpg", dir / "strict.png"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Has(run.Err, "cut.jpg: JPG: Premature end of JPEG file")) << run.Err;
  EXPECT_FALSE(std::filesystem::exists(dir / "strict.png"));
}

TEST(CliProgram, FailuresSayWhyInTheMessagesLanguage) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 30, 20);
  std::filesystem::create_directory(dir / "folder.png");
  const auto err = [&](const std::string& language, std::vector<std::string> args) {
    args.insert(args.begin(), {"--language", language});
    return RunCli(args).Err;
  };
  const std::string missing = "\"" + (dir / "missing.png") + "\" ";
  EXPECT_TRUE(Has(err("en", {dir / "missing.png", dir / "out.png"}),
                  "Opening " + missing + "failed: No such file or directory"));
  EXPECT_TRUE(Has(err("de", {dir / "missing.png", dir / "out.png"}),
                  "Öffnen von " + missing + "fehlgeschlagen: Datei oder Verzeichnis nicht gefunden"));
  EXPECT_TRUE(Has(err("en", {dir / "in.bmp", dir / "folder.png"}), "failed: Is a directory"));
  EXPECT_TRUE(Has(err("en", {"--max-pixels", "0", "--width", "100000", "--height", "66666", dir / "in.bmp",
                              dir / "big.bmp"}),
                  "CreateDIBSection failed: not enough memory for a 100000 × 66666 picture"));
}

TEST(CliProgram, TiffResolutionOptionsAndHelpFromTheStoredSettings) {
  ApplyCliOptions(Parse({"--tiff-resolution-unit", "cm", "--tiff-x-resolution", "600/2", "--tiff-y-resolution",
                         "150", "a.bmp", "b.tif"}));
  EXPECT_EQ(TIFFWriteResolutionUnit, 2);
  EXPECT_EQ(TIFFWriteXResolutionNumerator * 10 + TIFFWriteXResolutionDenominator, 6002);
  EXPECT_EQ(TIFFWriteYResolutionNumerator * 10 + TIFFWriteYResolutionDenominator, 1501);
  EXPECT_NE(UsageHint({"--tiff-x-resolution", "300/0", "a.bmp", "b.tif"}), "");
  TIFFWriteResolutionUnit = TIFFWriteXResolutionDenominator = 1;
  TIFFWriteXResolutionNumerator = TIFFWriteYResolutionNumerator = 300;

  TTempDirectory dir;
  SetApplicationDefaults();
  JPEGCompQuality = 55;
  SaveSettings(TSettingsStore(dir.Path));
  JPEGCompQuality = 80;
  const std::string environment = "XDG_CONFIG_HOME='" + dir.Path + "'";
  EXPECT_TRUE(Has(RunCli({"--use-settings", "--help"}, environment).Out, "[default: 55]"));
  EXPECT_TRUE(Has(RunCli({"--help"}, environment).Out, "[default: 80]"));
}

TEST(CliProgram, PixelLimitAndMemoryBudget) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 40, 30);
  TCliRun run = RunCli({"--language", "en", "--max-pixels", "1199", dir / "in.bmp", dir / "out.png"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Has(run.Err, "Picture of 40 × 30 pixels exceeds the limit of 1199 pixels"));
  EXPECT_EQ(RunCli({"--max-pixels", "0", dir / "in.bmp", dir / "out.png"}).Status, 0);
  EXPECT_EQ(DeclaredShrinkMemory(dir / "in.bmp", TSizeRequest()), ShrinkMemoryEstimate(40, 30, 20, 15));
  // A read through libtiff claims its working memory beside the picture.
  WriteGray16TIFF(dir / "gray16.tif", 40, 30);
  TFileFormatInfo info;
  ASSERT_TRUE(GetFileFormatInfo(dir / "gray16.tif", 0, info));
  EXPECT_GT(info.ReadMemory, ShrinkMemoryEstimate(40, 30, 20, 15));
  EXPECT_EQ(DeclaredShrinkMemory(dir / "gray16.tif", TSizeRequest()), 40 * 30 * 3 + info.ReadMemory);
  EXPECT_EQ(RunCli({dir / "gray16.tif", dir / "gray16.png"}).Status, 0);

  TMemoryBudget budget(100);
  EXPECT_TRUE(budget.TryAcquire(60));
  EXPECT_FALSE(budget.TryAcquire(60));
  budget.Release(60);
  // Larger than the whole budget: only alone.
  EXPECT_TRUE(budget.TryAcquire(500));
  EXPECT_FALSE(budget.TryAcquire(1));
}

// What the program should write as BMP: the picture loaded in full, or at
// least at Target, shrunk with the defaults.
std::string LibraryResult(const std::string& input, TResultSize size, std::optional<TLoadSize> target,
                          const std::string& output) {
  SetApplicationDefaults();
  auto source = std::make_unique<TPixelGraphic>();
  if (target) source->OnLoadTarget = [&](TObject*, int32_t, int32_t) { return *target; };
  source->LoadFromFile(input);
  source->OnLoadTarget = nullptr;
  TShrinkPipeline pipeline;
  pipeline.Run(std::move(source), size.Width, size.Height, MinimizeInterference, CurrentShrinkSettings())
      .Result->SaveToFile(output);
  return FileText(output);
}

TEST(CliProgram, ShrinkOnLoadDecodesAJPEGAtTwiceTheResultsSize) {
  TTempDirectory dir;
  WritePicture(dir / "in.jpg", 401, 301);
  WritePicture(dir / "in.bmp", 401, 301);
  const auto result = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "--quiet");
    args.push_back(dir / "out.bmp");
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    return FileText(dir / "out.bmp");
  };
  // 40 pixels wide needs 80 x 60: the scale 2/8 gives 101 x 76.
  const TResultSize size{40, PercentToPixels(301, PixelsToPercent(40, 401))};
  const std::string full = result({"--width", "40", dir / "in.jpg"});
  const std::string reduced = result({"--shrink-on-load", "--width", "40", dir / "in.jpg"});
  EXPECT_EQ(full, LibraryResult(dir / "in.jpg", size, std::nullopt, dir / "library.bmp"));
  EXPECT_EQ(reduced, LibraryResult(dir / "in.jpg", size, TLoadSize{80, 60}, dir / "library.bmp"));
  EXPECT_NE(reduced, full);
  // Per cent of the full size; at 75 % only the full size is large enough.
  EXPECT_EQ(result({"--shrink-on-load", "--width", "10%", dir / "in.jpg"}), reduced);
  EXPECT_EQ(result({"--shrink-on-load", "--width", "75%", dir / "in.jpg"}), result({"--width", "75%", dir / "in.jpg"}));
  EXPECT_EQ(result({"--shrink-on-load", "--width", "40", dir / "in.bmp"}), result({"--width", "40", dir / "in.bmp"}));

  // The pixel limit holds for what is decoded.
  const std::vector<std::string> limited = {"--language", "en", "--max-pixels", "10000", "--width", "40",
                                            dir / "in.jpg", dir / "out.png"};
  EXPECT_TRUE(Has(RunCli(limited).Err, "Picture of 401 × 301 pixels exceeds the limit of 10000 pixels"));
  std::vector<std::string> reducedLimited = limited;
  reducedLimited.insert(reducedLimited.begin(), "--shrink-on-load");
  EXPECT_EQ(RunCli(reducedLimited).Status, 0);
}

TEST(CliProgram, HugeResultSizesAreRefusedBeforeAnythingIsWritten) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 20, 10);
  const std::vector<std::string> huge = {"--language", "en", "--width", "2000000000", "--height", "2000000000"};
  for (const char* ext : {"bmp", "png", "jpg", "tif", "ppm", "pgm", "pbm", "tga"}) {
    std::vector<std::string> args = huge;
    args.insert(args.end(), {dir / "in.bmp", dir / (std::string("out.") + ext)});
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.Status, 1) << ext;
    EXPECT_TRUE(Has(run.Err, "Picture of 2000000000 × 2000000000 pixels exceeds the limit of 268435456 pixels"))
        << run.Err;
    EXPECT_EQ(Listing(dir.Path), "in.bmp");
  }
  // Without a limit the pixel memory's own bound refuses it.
  std::vector<std::string> args = huge;
  args.insert(args.end(), {"--max-pixels", "0", dir / "in.bmp", dir / "out.bmp"});
  TCliRun run = RunCli(args);
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Has(run.Err, "not enough memory")) << run.Err;
  EXPECT_EQ(Listing(dir.Path), "in.bmp");

  TTempDirectory config;
  SetApplicationDefaults();
  WidthPercent = HeightPercent = 3e9L;
  SaveSettings(TSettingsStore(config.Path));
  SetApplicationDefaults();
  run = RunCli({"--language", "en", "--use-settings", dir / "in.bmp", dir / "out.png"},
               "XDG_CONFIG_HOME='" + config.Path + "'");
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Has(run.Err, "Picture of 600000000 × 300000000 pixels exceeds the limit")) << run.Err;
  EXPECT_EQ(Listing(dir.Path), "in.bmp");
}

TEST(CliProgram, StandardInputAndOutputInAPipe) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 40, 30);
  ASSERT_EQ(RunCli({"--palette", "optimized", dir / "in.bmp", dir / "file.png"}).Status, 0);
  const std::string pipe = std::string("cat '") + (dir / "in.bmp") + "' | " + QUILLET_CLI_PATH +
                           " --palette optimized --format png - - >'" + (dir / "piped.png") + "' 2>'" +
                           (dir / "err") + "'";
  ASSERT_EQ(std::system(pipe.c_str()), 0) << FileText(dir / "err");
  EXPECT_EQ(FileText(dir / "piped.png"), FileText(dir / "file.png"));
  EXPECT_EQ(FileText(dir / "err"), "");
  // --verbose times go to standard error, one line a picture.
  const TCliRun verbose = RunCli({"-v", dir / "in.bmp", dir / "timed.png"});
  EXPECT_TRUE(verbose.Err.starts_with("quillet-cli: " + (dir / "in.bmp") + ": load ")) << verbose.Err;
  EXPECT_TRUE(Has(verbose.Err, " ms, run ") && Has(verbose.Err, "(stretch ") && Has(verbose.Err, "), save "))
      << verbose.Err;
  EXPECT_EQ(verbose.Out, "");
  // What cannot be read from a pipe is named as the pipe.
  std::ofstream(dir / "junk") << "junk";
  const std::string junk = std::string(QUILLET_CLI_PATH) + " --language en - '" + (dir / "out.png") + "' <'" +
                           (dir / "junk") + "' 2>'" + (dir / "err") + "'";
  EXPECT_NE(std::system(junk.c_str()), 0);
  EXPECT_EQ(FileText(dir / "err"), "quillet-cli: -: Unknown file format\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.png"));
}

TEST(CliProgram, WriteFailuresNameTheOutputFile) {
  TTempDirectory dir;
  WritePicture(dir / "in.bmp", 20, 10);
  std::filesystem::create_symlink("/dev/full", dir / "full.png");
  const TCliRun run = RunCli({"--language", "en", dir / "in.bmp", dir / "full.png"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Has(run.Err, "quillet-cli: " + (dir / "full.png") + ": ")) << run.Err;
  EXPECT_FALSE(Has(run.Err, "in.bmp")) << run.Err;
}

TEST(CliProgram, SignalsLeaveNoTemporaryFileBehind) {
  TTempDirectory dir;
  const pid_t child = fork();
  if (child == 0) {
    InstallSignalCleanup();
    TFileReplacement replacement(dir / "out.ppm");
    raise(SIGTERM);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(Listing(dir.Path), "");

  // Terminations at any moment of a batch: a temporary file is listed for
  // removal before it exists.
  TTempDirectory batch;
  std::vector<std::string> args = {QUILLET_CLI_PATH, "--jobs", "2", "--output-dir", batch / "out", "--format", "ppm"};
  for (int i = 0; i < 40; ++i) {
    const std::string name = batch / ("p" + std::to_string(i) + ".bmp");
    WritePicture(name, 8, 8);
    args.push_back(name);
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::filesystem::create_directory(batch / "out");
  for (int round = 0; round < 40; ++round) {
    const pid_t cli = fork();
    if (cli == 0) {
      const int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 2);
      execv(argv[0], argv.data());
      _exit(127);
    }
    usleep(useconds_t(2000 + round * 500));
    kill(cli, SIGTERM);
    waitpid(cli, &status, 0);
    for (const auto& e : std::filesystem::directory_iterator(batch / "out"))
      EXPECT_NE(e.path().filename().string()[0], '.') << "round " << round << ": " << e.path();
    std::filesystem::remove_all(batch / "out");
    std::filesystem::create_directory(batch / "out");
  }

  // A file size limit stops the program in the middle of writing.
  WritePicture(dir / "in.bmp", 120, 90);
  const TCliRun run = RunCli({"--pxm-binary", "--width", "100%", dir / "in.bmp", dir / "out.ppm"}, "ulimit -f 10;");
  EXPECT_EQ(run.Status, 128 + SIGXFSZ);
  EXPECT_EQ(Listing(dir.Path), "in.bmp");
}

TEST(CliProgram, OpensShrinksAndDescribesWhatOtherProgramsWrite) {
  if (std::system("command -v pbmmake pnmtoplainpnm tiffcp >/dev/null && test -x /usr/bin/convert") != 0)
    GTEST_SKIP() << "netpbm, libtiff's tools or ImageMagick is not installed";
  TTempDirectory dir;
  const std::string source = dir / "source.ppm";
  const struct {
    const char* name;
    std::string write;  // "$S" is the source
    const char* subFormat;
  } files[] = {
      {"v5.bmp", "/usr/bin/convert $S -alpha set -channel A -evaluate set 50% +channel $F", "Windows V5, BitFields, alpha"},
      {"lzw.tif", "/usr/bin/convert $S -compress None tif:$F.0 && tiffcp -c lzw:2 $F.0 $F", "I, LZW, RGB"},
      {"deep.tif", "/usr/bin/convert $S -depth 16 -compress None $F", "I, Uncompr., RGB"},
      {"wide.ppm", "/usr/bin/convert $S -depth 16 $F", "Binary, 16 bits per sample"},
      {"plain.pbm", "pbmmake -gray 20 10 | pnmtoplainpnm > $F", "ASCII"},
  };
  ASSERT_EQ(std::system(("/usr/bin/convert -size 20x10 -seed 3 plasma:fractal -depth 8 " + source).c_str()), 0);
  std::vector<std::string> args = {"--output-dir", dir / "small", "--format", "png"}, info = {"--info"};
  for (const auto& f : files) {
    const std::string command = "S=" + source + " F=" + (dir / f.name) + "; " + f.write;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    args.push_back(dir / f.name);
    info.push_back(dir / f.name);
  }
  std::filesystem::create_directory(dir / "small");
  const TCliRun shrunk = RunCli(args);
  EXPECT_EQ(shrunk.Status, 0) << shrunk.Err;
  EXPECT_EQ(Listing(dir / "small"), "deep.png lzw.png plain.png v5.png wide.png");
  const TCliRun described = RunCli(info);
  EXPECT_EQ(described.Status, 0) << described.Err;
  for (const auto& f : files)
    EXPECT_NE(described.Out.find(std::string("SubFormat: ") + f.subFormat + "\nDetails: \nWidth: 20\nHeight: 10\n"),
              std::string::npos)
        << f.name;
}

TEST(CliProgram, ReadsHEICAndAVIFAndWritesAVIFWithItsOptions) {
  if (std::system("command -v heif-enc heif-convert >/dev/null && test -x /usr/bin/convert") != 0)
    GTEST_SKIP() << "libheif-examples or ImageMagick is not installed";
  TTempDirectory dir;
  ASSERT_EQ(std::system(("/usr/bin/convert -size 40x30 -seed 3 plasma:fractal -depth 8 PNG24:" + (dir / "s.png") +
                         " && heif-enc -o " + (dir / "photo.heic") + " " + (dir / "s.png") + " >/dev/null")
                            .c_str()),
            0);
  const TCliRun described = RunCli({"--info", dir / "photo.heic"});
  EXPECT_TRUE(Has(described.Out, "Format: High Efficiency Image File Format\nSubFormat: HEVC\n")) << described.Out;
  std::filesystem::create_directory(dir / "small");
  for (const char* quality : {"20", "90"}) {
    const TCliRun run = RunCli({"--avif-quality", quality, "--avif-speed", "9", "--output-dir", dir / "small",
                                "--format", "avif", dir / "photo.heic"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    std::filesystem::rename(dir / "small/photo.avif", dir / (std::string("q") + quality + ".avif"));
  }
  EXPECT_LT(std::filesystem::file_size(dir / "q20.avif"), std::filesystem::file_size(dir / "q90.avif"));
  EXPECT_EQ(std::system(("heif-convert " + (dir / "q90.avif") + " " + (dir / "back.png") + " >/dev/null").c_str()), 0);
  EXPECT_TRUE(Has(RunCli({"--info", dir / "back.png"}).Out, "Width: 20\nHeight: 15\n"));
  EXPECT_NE(UsageHint({"--avif-speed", "10", "a.bmp", "b.avif"}), "");
  const std::string help = CliHelpText(LanguageEnglish);
  EXPECT_TRUE(Has(help, "--avif-quality N") && Has(help, "[default: 60]") && Has(help, "--avif-speed N"));
}

TEST(CliProgram, ReadsWebPAndGIFAndWritesWebPAsAsked) {
  if (std::system("command -v cwebp dwebp >/dev/null && test -x /usr/bin/convert") != 0)
    GTEST_SKIP() << "the webp tools or ImageMagick are not installed";
  TTempDirectory dir;
  const std::string source = dir / "source.ppm";
  ASSERT_EQ(std::system(("/usr/bin/convert -size 20x10 -seed 3 plasma:fractal -depth 8 " + source).c_str()), 0);
  const struct {
    const char* name;
    std::string write;  // "$S" is the source
    const char* subFormat;
    int frames;
  } files[] = {
      {"lossy.webp", "cwebp -quiet -q 80 $S -o $F", "lossy", 1},
      {"lossless.webp", "cwebp -quiet -lossless $S -o $F", "lossless", 1},
      {"interlaced.gif", "/usr/bin/convert $S -interlace GIF $F", "GIF89a, interlaced", 1},
      {"animated.gif", "/usr/bin/convert -delay 10 $S \\( $S -flip \\) -loop 0 $F", "GIF89a, animated", 2},
  };
  std::vector<std::string> args = {"--output-dir", dir / "small", "--format", "webp", "--webp-lossless"},
                           info = {"--info"};
  for (const auto& f : files) {
    const std::string command = "S=" + source + " F=" + (dir / f.name) + "; " + f.write;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    args.push_back(dir / f.name);
    info.push_back(dir / f.name);
  }
  const TCliRun described = RunCli(info);
  EXPECT_EQ(described.Status, 0) << described.Err;
  for (const auto& f : files)
    EXPECT_NE(described.Out.find(std::string("SubFormat: ") + f.subFormat + "\nDetails: \nWidth: 20\nHeight: 10\n"),
              std::string::npos)
        << f.name << described.Out;
  EXPECT_NE(described.Out.find("ImageCount: 2\n"), std::string::npos);

  std::filesystem::create_directory(dir / "small");
  const TCliRun shrunk = RunCli(args);
  EXPECT_EQ(shrunk.Status, 0) << shrunk.Err;
  EXPECT_EQ(Listing(dir / "small"), "animated.webp interlaced.webp lossless.webp lossy.webp");
  // What we write is WebP as its own decoder reads it, at half the size.
  EXPECT_EQ(std::system(("dwebp -quiet " + (dir / "small/lossy.webp") + " -ppm -o " + (dir / "d.ppm")).c_str()), 0);
  EXPECT_EQ(std::system(("head -c 9 " + (dir / "d.ppm") + " | grep -q '10 5'").c_str()), 0);
  const TCliRun refused = RunCli({"--webp-lossless", "--webp-quality", "50", dir / "lossy.webp", dir / "o.webp"});
  EXPECT_EQ(refused.Status, 2);
  EXPECT_TRUE(Has(refused.Err, "--webp-quality does nothing ")) << refused.Err;
}

TEST(CliProgram, PhotosOnTheirSideComeUprightUnlessAskedNotTo) {
  if (std::system("command -v exiftool >/dev/null && command -v convert >/dev/null") != 0)
    GTEST_SKIP() << "exiftool or ImageMagick missing";
  TTempDirectory dir;
  ASSERT_EQ(std::system(("convert -size 400x160 gradient:red-blue " + (dir / "plain.jpg") + " && exiftool -q -n "
                         "-Orientation=6 -Make=QuilletCam -o " + (dir / "six.jpg") + " " + (dir / "plain.jpg"))
                            .c_str()),
            0);
  const TCliRun info = RunCli({"--language", "en", "--info", dir / "six.jpg"});
  EXPECT_TRUE(Has(info.Out, "Width: 160\nHeight: 400\n")) << info.Out;
  EXPECT_TRUE(Has(info.Out, "ImageCount: 1\nOrientation: 6 (rotated 90° clockwise)\n")) << info.Out;
  EXPECT_TRUE(Has(RunCli({"--language", "de", "--info", dir / "six.jpg"}).Out, "Orientation: 6 (um 90° nach rechts gedreht)\n"));
  EXPECT_TRUE(Has(RunCli({"--no-auto-orient", "--info", dir / "six.jpg"}).Out, "Width: 400\nHeight: 160\n"));

  const auto shrunk = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "--quiet");
    args.insert(args.end(), {"--width", "40", dir / "six.jpg", dir / "out.jpg"});
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    TPixelGraphic g;
    g.LoadFromFile(dir / "out.jpg");
    return std::to_string(g.GetWidth()) + "x" + std::to_string(g.GetHeight()) + " " +
           (GetRValue(g.GetPixelColor(g.GetWidth() - 1, g.GetHeight() / 2)) > 200 ? "red right" : "red elsewhere");
  };
  EXPECT_EQ(shrunk({}), "40x100 red right");
  EXPECT_EQ(shrunk({"--shrink-on-load"}), "40x100 red right");
  const std::string kept = [&] {
    shrunk({"--keep-photo-info"});
    std::string tags;
    if (FILE* p = popen(("exiftool -s3 -n -Orientation -Make " + (dir / "out.jpg")).c_str(), "r")) {
      char buffer[256];
      while (size_t n = fread(buffer, 1, sizeof buffer, p)) tags.append(buffer, n);
      pclose(p);
    }
    return tags;
  }();
  EXPECT_EQ(kept, "1\nQuilletCam\n");
  const TCliRun asStored = RunCli({"--quiet", "--no-auto-orient", "--width", "40", dir / "six.jpg", dir / "out.bmp"});
  EXPECT_EQ(asStored.Status, 0) << asStored.Err;
  TPixelGraphic g;
  g.LoadFromFile(dir / "out.bmp");
  EXPECT_EQ(g.GetHeight(), 16);

  TCliOptions o = Parse({"--no-auto-orient", "--keep-photo-info", "in.jpg", "out.jpg"});
  EXPECT_EQ(o.AutoOrient, false);
  EXPECT_EQ(o.KeepPhotoInfo, true);
  const std::string help = RunCli({"--language", "en", "--help"}).Out;
  EXPECT_TRUE(Has(help, "--no-auto-orient")) << help;
  EXPECT_TRUE(Has(help, "turning upright on")) << help;
  EXPECT_TRUE(Has(help, "--keep-photo-info")) << help;
}

}  // namespace
