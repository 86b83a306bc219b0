#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>

#include "formatoptions.h"
#include "heifformat.h"
#include "namedpalettes.h"
#include "pixellimit.h"
#include "settings.h"
#include "settingsstore.h"
#include "shrinkpipeline.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

void ResetFormatOptions() {
  ScreenGamma = 2.2L;
  GammaCorrectionOnRead = WriteGamma = ConvertToSRGB = JPEGOptimizeCoding = true;
  JPEGDecompMethod = 0;
  JPEGCompMethod = 2;
  JPEGCompQuality = 80;
  JPEGCompProgressive = PXMWriteBinary = false;
  TIFFWriteCompression = TIFFWriteResolutionUnit = 1;
  TIFFWriteTrueColorPhotInterpret = TIFFWriteGrayScalePhotInterpret = TIFFWriteByteOrder = 0;
  TIFFWriteXResolutionNumerator = TIFFWriteYResolutionNumerator = 300;
  TIFFWriteXResolutionDenominator = TIFFWriteYResolutionDenominator = 1;
  MaxPixels = DefaultMaxPixels;
  AVIFCompQuality = 60;
  AVIFCompSpeed = 6;
  WebPQuality = 80;
  WebPLossless = false;
  AutoOrient = true;
  KeepPhotoInfo = false;
}

// Every setting away from its default, as a user might leave them.
void ChangeEverySetting() {
  Selection = 3;
  Language = 12;
  OptimizedPaletteSize = 100;
  OptimizedPaletteIncludeSys = KeepAspectRatio = RGBWeighting = Dithering = false;
  OptimizedPaletteRefine = true;
  StretchMode = smFast;
  Sharpen = 0;
  WidthPercent = 12.5L;
  HeightPercent = 333.25L;
  JPEGCompMethod = 1;
  JPEGCompQuality = 55;
  JPEGCompProgressive = PXMWriteBinary = true;
  JPEGDecompMethod = 2;
  GammaCorrectionOnRead = WriteGamma = false;
  TIFFWriteCompression = 32773;
  TIFFWriteTrueColorPhotInterpret = TIFFWriteGrayScalePhotInterpret = TIFFWriteByteOrder = 1;
  TIFFWriteResolutionUnit = 2;
  TIFFWriteXResolutionNumerator = 72;
  TIFFWriteXResolutionDenominator = 2;
  TIFFWriteYResolutionNumerator = 96;
  TIFFWriteYResolutionDenominator = 3;
  ScreenGamma = 1.8L;
  ConvertToSRGB = JPEGOptimizeCoding = false;
  FastUnknownPalette = false;
  SaveSuggestSourceFileName = SaveSuggestSourceDirectory = DoBorder = BorderEllipse = true;
  BorderWidth = 7;
  BorderColor = RGB(1, 2, 3);
  MinimizeInterference = false;
  OpenDir = "/pictures/\"in\" quotes\\ and \n newline";
  SaveDir = "/tmp/Größe";
  MemWarning = 64;
  MaxPixels = 1000;
  WindowLeft = -20;
  WindowTop = 40;
  WindowWidth = 900;
  WindowHeight = 700;
  WindowMaximized = true;
  SourceViewFit = vfAlways;
  SourceViewZoom = 2.5L;
  ResultViewFit = vfShrink;
  ResultViewZoom = 0.8L;
  AVIFCompQuality = 35;
  AVIFCompSpeed = 2;
  WebPQuality = 42;
  WebPLossless = true;
  AutoOrient = false;
  KeepPhotoInfo = true;
  IndividualPalette->SetPaletteCount(4);
  for (int32_t i = 0; i < 4; ++i) IndividualPalette->SetPaletteEntries(i, RGB(i, 2 * i, 250));
}

class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    char dir[] = "/tmp/settings_test.XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    Root = dir;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(name);
    setenv("LANG", "en_US.UTF-8", 1);
    ResetFormatOptions();
  }
  void TearDown() override {
    IndividualPalette.reset();
    ResetFormatOptions();
    fs::remove_all(Root);
  }

  fs::path KeyFile() const { return Store().KeyFile(SettingsKeyPath); }
  TSettingsStore Store() const { return TSettingsStore(Root); }
  void Load() { LoadSettings(Store(), 32); }
  // Saves every setting changed, then rewrites one stored value.
  template <class Edit>
  void SaveChangedThenEdit(Edit edit) {
    Load();
    ChangeEverySetting();
    SaveSettings(Store());
    auto key = Store().CreateKey(SettingsKeyPath);
    edit(*key);
    ASSERT_TRUE(key->Save());
    ResetFormatOptions();
  }

  fs::path Root;
};

void ExpectDefaultsFromWidthPercentOn() {
  EXPECT_EQ(WidthPercent, 50.0L);
  EXPECT_EQ(HeightPercent, 50.0L);
  EXPECT_EQ(JPEGCompQuality, 80);
  EXPECT_EQ(ScreenGamma, 2.2L);
  EXPECT_TRUE(ConvertToSRGB && JPEGOptimizeCoding);
  EXPECT_EQ(OpenDir, fs::read_symlink("/proc/self/exe").parent_path().string());
  EXPECT_EQ(MemWarning, DefaultMemWarning());
  EXPECT_EQ(IndividualPalette->PaletteIdent(), pSpecial216);
  EXPECT_FALSE(OptimizedPaletteRefine);
  EXPECT_EQ(WebPQuality, 80);
  EXPECT_FALSE(WebPLossless);
  // Photos come upright, and none of their metadata leaks into a result.
  EXPECT_TRUE(AutoOrient);
  EXPECT_FALSE(KeepPhotoInfo);
}

TEST_F(SettingsTest, DefaultsWithoutStoredKeyOrWithEmptyKey) {
  for (bool emptyKey : {false, true}) {
    if (emptyKey) WriteFile(KeyFile(), "# nothing stored\n");
    Load();
    EXPECT_EQ(Selection, 19);
    EXPECT_EQ(Language, LanguageEnglish);
    EXPECT_EQ(OptimizedPaletteSize, 252);
    // An ordinary photo at half size does not ask about memory.
    EXPECT_FALSE(MemoryWarningDue(ShrinkMemoryEstimate(2000, 1500, 1000, 750), MemWarning));
    EXPECT_EQ(StretchMode, smPrecise);
    EXPECT_EQ(Sharpen, 50);
    EXPECT_TRUE(OptimizedPaletteIncludeSys && KeepAspectRatio && RGBWeighting && Dithering && FastUnknownPalette &&
                MinimizeInterference);
    EXPECT_FALSE(SaveSuggestSourceFileName || SaveSuggestSourceDirectory || DoBorder || BorderEllipse ||
                 OptimizedPaletteRefine);
    EXPECT_EQ(BorderWidth, 20);
    EXPECT_EQ(BorderColor, 16777215u);
    EXPECT_EQ(SaveDir, OpenDir);
    EXPECT_EQ(HelpFileGerman, OpenDir + "/QuilletD.hlp");
    EXPECT_EQ(HelpFileEnglish, OpenDir + "/QuilletE.hlp");
    EXPECT_EQ(IndividualPalette->BitCountNum(), 2);
    EXPECT_EQ(IndividualPalette->GetWidth(), 0);
    EXPECT_EQ(IndividualPalette->PaletteCount(), 216);
    EXPECT_EQ(RememberedPaletteRows[1], 7);
    EXPECT_EQ(RememberedPaletteRows[2], 14);
    ExpectDefaultsFromWidthPercentOn();
  }
  EXPECT_EQ(ScreenGamma, 2.2L);
  EXPECT_EQ(ScreenBitCountNum, 3);
  EXPECT_EQ(ScreenDepthCode(1), 0);
  EXPECT_EQ(ScreenDepthCode(4), 1);
  EXPECT_EQ(ScreenDepthCode(8), 2);
  EXPECT_EQ(ScreenDepthCode(16), 3);
}

TEST_F(SettingsTest, EveryValueSurvivesSaveAndLoad) {
  Load();
  ChangeEverySetting();
  SaveSettings(Store());
  EXPECT_FALSE(IndividualPalette);
  const std::string text = ReadFile(KeyFile());
  EXPECT_NE(text.find("\"Selection\" = integer:3\n"), std::string::npos);
  EXPECT_NE(text.find("\"WidthPercent\" = binary:00 00 00 00 00 00 29 40\n"), std::string::npos);

  // Every value differs from its default, so one that fails to load would
  // be saved back differently.
  ResetFormatOptions();
  Load();
  EXPECT_EQ(OpenDir, "/pictures/\"in\" quotes\\ and \n newline");
  EXPECT_EQ(ScreenGamma, (long double)1.8);
  EXPECT_EQ(IndividualPalette->PaletteEntries(3), RGB(3, 6, 250));
  SaveSettings(Store());
  EXPECT_EQ(ReadFile(KeyFile()), text);
}

TEST_F(SettingsTest, BooleansAndLeftOverPaletteEntries) {
  Load();
  SaveSettings(Store());
  // This run has 4 entries, the previous one 216: entries 4..215 stay stored, unread.
  SaveChangedThenEdit([](TSettingsKey& key) { key.WriteInteger("DoBorder", 5); });
  Load();
  EXPECT_TRUE(DoBorder);
  EXPECT_EQ(IndividualPalette->PaletteCount(), 4);
  SaveSettings(Store());
  auto key = Store().OpenKey(SettingsKeyPath);
  int32_t v = 0;
  EXPECT_TRUE(key->ReadInteger("DoBorder", v));
  EXPECT_EQ(v, 1);
  EXPECT_TRUE(key->ReadInteger("IPaletteEntry215", v));
  EXPECT_EQ(TRGB(v), NamedPaletteEntries(pSpecial216)[215]);
}

TEST_F(SettingsTest, LoadStopsAtFirstUnreadableValueAndDropsUnusableOnes) {
  // A 10-byte float: Selection..Dithering come from the key, the rest keeps defaults.
  SaveChangedThenEdit([](TSettingsKey& key) { key.WriteBinary("WidthPercent", std::vector<uint8_t>(10)); });
  Load();
  EXPECT_EQ(Selection, 3);
  EXPECT_FALSE(Dithering);
  ExpectDefaultsFromWidthPercentOn();

  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<uint8_t> nanBytes(8);
  std::memcpy(nanBytes.data(), &nan, 8);
  // A float of the right type that is no number keeps its default alone.
  SaveChangedThenEdit([&](TSettingsKey& key) { key.WriteBinary("WidthPercent", nanBytes); });
  Load();
  EXPECT_EQ(WidthPercent, 50.0L);
  EXPECT_EQ(HeightPercent, 333.25L);
  EXPECT_EQ(ScreenGamma, (long double)1.8);
  EXPECT_EQ(IndividualPalette->PaletteCount(), 4);

  // So does an individual palette larger than any palette, or negative.
  for (int32_t size : {257, -1, 100000}) {
    SaveChangedThenEdit([&](TSettingsKey& key) { key.WriteInteger("IPaletteSize", size); });
    Load();
    EXPECT_EQ(MemWarning, 64);
    EXPECT_EQ(IndividualPalette->PaletteIdent(), pSpecial216);
    EXPECT_EQ(IndividualPalette->PaletteCount(), 216);
    EXPECT_EQ(MaxPixels, 1000);
  }
  SaveChangedThenEdit([&](TSettingsKey& key) { key.WriteInteger("MaxPixels", -1); });
  Load();
  EXPECT_EQ(MaxPixels, DefaultMaxPixels);

  // A value the window could not have stored, or a writer could not take,
  // keeps its default alone.
  struct TBadValue {
    const char* Name;
    int32_t Value;
    std::function<int64_t()> Now;
    int64_t Default;
  };
  const std::vector<TBadValue> bad = {
      {"OptimizedPaletteSize", 1, [] { return OptimizedPaletteSize; }, 252},
      {"OptimizedPaletteSize", 100000, [] { return OptimizedPaletteSize; }, 252},
      {"Sharpen", -5, [] { return Sharpen; }, 50},
      {"Sharpen", 101, [] { return Sharpen; }, 50},
      {"JPEGCompMethod", 3, [] { return JPEGCompMethod; }, 2},
      {"JPEGCompQuality", 101, [] { return JPEGCompQuality; }, 80},
      {"JPEGDecompMethod", -1, [] { return JPEGDecompMethod; }, 0},
      {"TIFFWriteCompression", 5, [] { return TIFFWriteCompression; }, 1},
      {"TIFFWriteTrueColorPhotInterpret", 2, [] { return TIFFWriteTrueColorPhotInterpret; }, 0},
      {"TIFFWriteGrayScalePhotInterpret", -1, [] { return TIFFWriteGrayScalePhotInterpret; }, 0},
      {"TIFFWriteByteOrder", 2, [] { return TIFFWriteByteOrder; }, 0},
      {"TIFFWriteResolutionUnit", 3, [] { return TIFFWriteResolutionUnit; }, 1},
      {"TIFFWriteXResolutionNumerator", 0, [] { return TIFFWriteXResolutionNumerator; }, 300},
      {"TIFFWriteYResolutionDenominator", -2, [] { return TIFFWriteYResolutionDenominator; }, 1},
      {"BorderWidth", 1, [] { return BorderWidth; }, 20},
      {"BorderWidth", 1001, [] { return BorderWidth; }, 20},
      {"BorderColor", 0x1000000, [] { return BorderColor; }, 0xFFFFFF},
      {"MemWarning", 0, [] { return MemWarning; }, DefaultMemWarning()},
      {"MemWarning", 100000, [] { return MemWarning; }, DefaultMemWarning()},
      {"AVIFCompQuality", 101, [] { return AVIFCompQuality; }, 60},
      {"AVIFCompSpeed", 10, [] { return AVIFCompSpeed; }, 6},
      {"WebPQuality", 101, [] { return WebPQuality; }, 80},
      {"WebPQuality", -1, [] { return WebPQuality; }, 80},
  };
  for (const TBadValue& b : bad) {
    SaveChangedThenEdit([&](TSettingsKey& key) { key.WriteInteger(b.Name, b.Value); });
    Load();
    EXPECT_EQ(b.Now(), b.Default) << b.Name << " " << b.Value;
    EXPECT_EQ(MaxPixels, 1000) << b.Name;
  }
  for (double gamma : {0.0, -1.0, 10.5, 1e300}) {
    std::vector<uint8_t> bytes(8);
    std::memcpy(bytes.data(), &gamma, 8);
    SaveChangedThenEdit([&](TSettingsKey& key) { key.WriteBinary("ScreenGamma", bytes); });
    Load();
    EXPECT_EQ(ScreenGamma, 2.2L) << gamma;
    EXPECT_FALSE(FastUnknownPalette);
  }
  SaveChangedThenEdit([](TSettingsKey& key) {
    key.WriteInteger("IPaletteSize", 256);
    for (int n = 0; n < 256; ++n) key.WriteInteger("IPaletteEntry" + std::to_string(n), n);
  });
  Load();
  EXPECT_EQ(IndividualPalette->PaletteCount(), 256);
  EXPECT_EQ(IndividualPalette->PaletteEntries(255), 255u);

  // Values that would index past the palette choice table or the stretch
  // modes keep their defaults; everything after them loads.
  for (const char* name : {"Selection", "StretchMode"}) {
    SaveChangedThenEdit([&](TSettingsKey& key) { key.WriteInteger(name, 20); });
    Load();
    const bool selection = std::string(name) == "Selection";
    EXPECT_EQ(Selection, selection ? 19 : 3);
    EXPECT_EQ(StretchMode, selection ? smFast : smPrecise);
    EXPECT_EQ(TIFFWriteCompression, 32773);
    EXPECT_EQ(OpenDir, "/pictures/\"in\" quotes\\ and \n newline");
    EXPECT_EQ(IndividualPalette->PaletteEntries(3), RGB(3, 6, 250));
  }
}

TEST_F(SettingsTest, StringValues) {
  // Missing: empty, and the load goes on.
  SaveChangedThenEdit([](TSettingsKey&) {});
  std::string text = ReadFile(KeyFile());
  text.erase(text.find("\"OpenDir\""), text.find("\"SaveDir\"") - text.find("\"OpenDir\""));
  WriteFile(KeyFile(), text);
  Load();
  EXPECT_EQ(OpenDir, "");
  EXPECT_EQ(SaveDir, "/tmp/Größe");
  EXPECT_EQ(IndividualPalette->PaletteCount(), 4);

  // Of another type: the load stops.
  SaveChangedThenEdit([](TSettingsKey& key) { key.WriteInteger("SaveDir", 1); });
  Load();
  EXPECT_EQ(OpenDir, "/pictures/\"in\" quotes\\ and \n newline");
  EXPECT_EQ(SaveDir, fs::read_symlink("/proc/self/exe").parent_path().string());
  EXPECT_EQ(MemWarning, DefaultMemWarning());
}

TEST_F(SettingsTest, DamagedFilesNeverCrash) {
  SaveChangedThenEdit([](TSettingsKey&) {});
  const std::string text = ReadFile(KeyFile());
  for (size_t length = 0; length < text.size(); length += 3) {
    WriteFile(KeyFile(), text.substr(0, length));
    Load();
  }
  // Cut inside the Sharpen line: the values before it are kept.
  WriteFile(KeyFile(), text.substr(0, text.find("\"Sharpen\"") + 20));
  Load();
  EXPECT_EQ(StretchMode, smFast);
  EXPECT_EQ(Sharpen, 50);

  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string garbled = text;
    for (int k = 0; k < 20; ++k) garbled[random() % garbled.size()] = char(random());
    WriteFile(KeyFile(), garbled);
    Load();
  }
  // Far too large to be ours, though it starts well.
  WriteFile(KeyFile(), "\"Selection\" = integer:3\n" + std::string(3 << 20, '#'));
  Load();
  EXPECT_EQ(Selection, 19);
  fs::remove(KeyFile());
  fs::create_directory(KeyFile());
  Load();
  EXPECT_EQ(Selection, 19);
}

TEST_F(SettingsTest, FailedSaveLeavesOldFileIntact) {
  SaveChangedThenEdit([](TSettingsKey&) {});
  const std::string before = ReadFile(KeyFile());
  Load();
  Selection = 0;

  // The file system refuses the write half way.
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  SaveSettings(Store());
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(ReadFile(KeyFile()), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(KeyFile().parent_path()), fs::directory_iterator()), 1);

  // A store whose folder cannot be made, below a regular file.
  WriteFile(Root / "plain", "x");
  Load();
  SaveSettings(TSettingsStore(Root / "plain"));
  EXPECT_FALSE(fs::exists(TSettingsStore(Root / "plain").KeyFile(SettingsKeyPath)));
}

TEST_F(SettingsTest, SaveWritesThroughALinkAndKeepsTheMode) {
  SaveChangedThenEdit([](TSettingsKey&) {});
  const fs::path real = Root / "elsewhere.conf";
  fs::rename(KeyFile(), real);
  fs::create_symlink(real, KeyFile());
  fs::permissions(real, fs::perms(0640));
  Load();
  Selection = 5;
  SaveSettings(Store());
  EXPECT_TRUE(fs::is_symlink(KeyFile()));
  EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
  Load();
  EXPECT_EQ(Selection, 5);
}

TEST_F(SettingsTest, LanguageFollowsLocale) {
  EXPECT_EQ(LanguageFromLocaleName("de_DE.UTF-8"), LanguageGerman);
  EXPECT_EQ(LanguageFromLocaleName("de_AT@euro"), LanguageGerman);
  EXPECT_EQ(LanguageFromLocaleName("de"), LanguageGerman);
  for (const char* other : {"en_US.UTF-8", "C", "POSIX", "", "dea_XX", "fr_FR"})
    EXPECT_EQ(LanguageFromLocaleName(other), LanguageEnglish) << other;

  setenv("LANG", "de_DE.UTF-8", 1);
  setenv("LC_ALL", "", 1);
  Load();
  EXPECT_EQ(Language, LanguageGerman);
  setenv("LC_MESSAGES", "en_GB.UTF-8", 1);
  EXPECT_EQ(UserDefaultLanguage(), LanguageEnglish);
  setenv("LC_ALL", "de_CH.UTF-8", 1);
  EXPECT_EQ(UserDefaultLanguage(), LanguageGerman);
}

TEST_F(SettingsTest, StoreKeepsTypesAndReadsHandEditedText) {
  EXPECT_EQ(Store().KeyFile(SettingsKeyPath), Root / "Marrowby" / "Quillet" / "1.02.conf");
  EXPECT_FALSE(Store().OpenKey(SettingsKeyPath));

  WriteFile(KeyFile(),
            "# edited by hand\r\n"
            "  \"Small\"=integer:-2147483648  \r\n"
            "\"Big\" = integer:2147483647\n"
            "\"TooBig\" = integer:2147483648\n"
            "\"Bytes\" = binary:0a FF 1\n"
            "\"Empty\" = binary:\n"
            "\"Trailing\" = string:\"a\" b\n"
            "\"Text\" = string:\"a\\x01\\tb\"\n"
            "\"Unknown\" = dword:1\n");
  auto key = Store().OpenKey(SettingsKeyPath);
  ASSERT_NE(key, nullptr);
  int32_t i = 5;
  std::vector<uint8_t> b;
  std::string s;
  EXPECT_TRUE(key->ReadInteger("small", i));
  EXPECT_EQ(i, INT32_MIN);
  EXPECT_TRUE(key->ReadInteger("Big", i));
  EXPECT_EQ(i, INT32_MAX);
  EXPECT_EQ(key->ValueType("TooBig"), svMissing);
  EXPECT_EQ(key->ValueType("Bytes"), svMissing);
  EXPECT_EQ(key->ValueType("Unknown"), svMissing);
  EXPECT_EQ(key->ValueType("Trailing"), svMissing);
  EXPECT_TRUE(key->ReadBinary("Empty", b));
  EXPECT_TRUE(b.empty());
  EXPECT_TRUE(key->ReadString("Text", s));
  EXPECT_EQ(s, "a\x01\tb");
  EXPECT_FALSE(key->ReadInteger("Text", i));
  EXPECT_EQ(i, INT32_MAX);

  key->WriteBinary("Empty", {0, 255});
  key->WriteString("Name \"odd\"\n", "x");
  ASSERT_TRUE(key->Save());
  key = Store().OpenKey(SettingsKeyPath);
  EXPECT_TRUE(key->ReadBinary("Empty", b));
  EXPECT_EQ(b, (std::vector<uint8_t>{0, 255}));
  EXPECT_EQ(key->ValueType("Name \"odd\"\n"), svString);

  // A directory in the file's place cannot be replaced; nothing is left behind.
  fs::remove(KeyFile());
  fs::create_directory(KeyFile());
  EXPECT_FALSE(key->Save());
  EXPECT_EQ(std::distance(fs::directory_iterator(KeyFile().parent_path()), fs::directory_iterator()), 1);
}

TEST_F(SettingsTest, UserConfigDir) {
  const char* home = getenv("HOME");
  const std::string savedHome = home ? home : "";
  const char* config = getenv("XDG_CONFIG_HOME");
  const std::string savedConfig = config ? config : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(TSettingsStore::UserConfigDir(), "/somewhere/config");
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(TSettingsStore::UserConfigDir(), "/home/someone/.config");
  setenv("HOME", savedHome.c_str(), 1);
  if (config)
    setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
