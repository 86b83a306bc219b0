#include "mainformlogic.h"

#include <gtest/gtest.h>

#include "palettechoice.h"
#include "settings.h"

namespace {

TSizeFields Fields(const char* wp, const char* wx, const char* hp, const char* hx) { return {wp, wx, hp, hx}; }

TEST(MainFormLogic, NumberTexts) {
  EXPECT_EQ(ParseRealText(" 15.63 "), 15.63L);
  EXPECT_EQ(ParseRealText("1,5"), 1.5L);
  EXPECT_EQ(ParseRealText("+7"), 7.0L);
  for (const char* bad : {"", "abc", "1.5x", "inf", "nan", "1.2.3"}) EXPECT_FALSE(ParseRealText(bad)) << bad;
  EXPECT_EQ(ParseIntegerText("-3"), -3);
  EXPECT_FALSE(ParseIntegerText("2.5"));
  EXPECT_FALSE(ParseIntegerText("99999999999"));
  EXPECT_EQ(GeneralFormat(50), "50");
  EXPECT_EQ(GeneralFormat(15.63L), "15.63");
  EXPECT_EQ(GeneralFormat(double(15.63)), "15.63");  // as a stored setting comes back
  EXPECT_EQ(GeneralFormat(-0.0L), "0");
}

TEST(MainFormLogic, SizeFieldsFollowTheChangedField) {
  // 640 x 480 with keep-ratio: 100 pixels wide is 15.63 % both ways and 75
  // pixels high; the typed 100 stays.
  TSizeCoupling c = CoupleSizeFields(Fields("50", "100", "50", "240"), sfWidthPixels, true, 640, 480);
  EXPECT_EQ(c.Fields, Fields("15.63", "100", "15.63", "75"));
  EXPECT_FALSE(c.ChangedReset);

  EXPECT_EQ(CoupleSizeFields(Fields("50", "0", "10", "0"), sfWidthPercent, false, 201, 10).Fields,
            Fields("50", "100", "10", "0"));
  c = CoupleSizeFields(Fields("abc", "7", "50", "7"), sfWidthPercent, true, 640, 480);
  EXPECT_EQ(c.Fields, Fields("0", "0", "0", "0"));
  EXPECT_TRUE(c.ChangedReset);
  // A negative percentage is 0 pixels on its own side and copied as it is.
  EXPECT_EQ(CoupleSizeFields(Fields("-10", "", "", ""), sfWidthPercent, true, 100, 100).Fields,
            Fields("-10", "0", "-10", "-10"));
  EXPECT_EQ(CoupleSizeFields(Fields("50", "50", "25", "x"), sfHeightPixels, true, 100, 100).Fields,
            Fields("0", "0", "0", "0"));
  // Ticking keep-ratio takes the width's percentage over.
  EXPECT_EQ(CoupleSizeFields(Fields("25", "25", "80", "80"), sfKeepRatio, true, 100, 200).Fields,
            Fields("25", "25", "25", "50"));
  EXPECT_EQ(CoupleSizeFields(Fields("25", "25", "80", "80"), sfKeepRatio, false, 100, 200).Fields,
            Fields("25", "25", "80", "80"));
}

TEST(MainFormLogic, PaletteListsFromTheChoiceTable) {
  const auto texts = [](int32_t list, int32_t source, int32_t language = LanguageEnglish) {
    return PaletteListTexts(PaletteListRows(list, 252, 216, source), language);
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(texts(0, 0), V({"Black&White"}));
  EXPECT_EQ(texts(1, 0), V({"Gray 16", "Gray 4", "System 16", "System Gray 4"}));
  EXPECT_EQ(texts(2, 0),
            V({"Gray 236", "Gray 256", "Individual", "Optimized", "Special 125", "Special 216 (CLUT)", "Special 252"}));
  EXPECT_EQ(texts(1, 16), V({"Gray 16", "Gray 4", "Source", "System 16", "System Gray 4"}));
  EXPECT_EQ(texts(2, 16).size(), 7u);
  EXPECT_EQ(texts(0, 2, LanguageGerman), V({"Quelle", "Schwarz-Weiß"}));
  EXPECT_EQ(PaletteListRows(1, 8, 0, 0).back(), 10);  // a small optimized palette goes to 4 bits

  EXPECT_EQ(SelectionRestoreRows(10), std::vector<int32_t>({3, 10, 18}));
  EXPECT_EQ(SelectionRestoreRows(2), std::vector<int32_t>({2, 9, 17}));
  EXPECT_EQ(SelectionRestoreRows(16), std::vector<int32_t>({1, 8, 16}));
  EXPECT_EQ(SelectionRestoreRows(12), std::vector<int32_t>({12}));
  EXPECT_EQ(SelectionRestoreRows(200), std::vector<int32_t>({TrueColorRow}));
}

TEST(MainFormLogic, WhatShows) {
  for (int32_t row : {0, 4, 5, 6, 11, 12}) EXPECT_TRUE(RGBWeightingApplies(row)) << row;
  for (int32_t row : {1, 3, 7, 13, 18, 19}) EXPECT_FALSE(RGBWeightingApplies(row)) << row;
  EXPECT_TRUE(InterferencePossible(201, 151, "100", "75"));
  EXPECT_TRUE(InterferencePossible(200, 151, "100", "75"));
  EXPECT_FALSE(InterferencePossible(200, 150, "100", "75"));
  EXPECT_FALSE(InterferencePossible(1, 3, "0", "1") || InterferencePossible(201, 151, "x", "y"));

  EXPECT_EQ(SourceInfoTexts(640, 480, 24, 3, 0, LanguageEnglish).Size, "Width: 640; Height: 480");
  EXPECT_EQ(SourceInfoTexts(640, 480, 24, 3, 0, LanguageEnglish).Color, "Bits per pixel: 24; Max. colors: 16777216");
  EXPECT_EQ(SourceInfoTexts(5, 4, 4, 1, 16, LanguageGerman).Color,
            "Bits pro Pixel: 4; Max. Farben: 16; Paletteneinträge: 16");
  EXPECT_EQ(SourceInfoTexts(0, 4, 4, 1, 16, LanguageGerman).Size, "");
  EXPECT_TRUE(QualityHintDue(2, 2, 3, 2));
  EXPECT_FALSE(QualityHintDue(2, 2, 2, 2) || QualityHintDue(0, 2, 3, 0));
}

TEST(MainFormLogic, SaveAdvice) {
  EXPECT_EQ(SaveAdviceText("avif", 3, pTrueColor, LanguageEnglish), "");
  EXPECT_EQ(SaveAdviceText("avif", 2, pGray256, LanguageGerman).substr(0, 35), "Das AVIF-Format kennt keine Palette");
  EXPECT_NE(SaveAdviceText("pgm", 3, pTrueColor, LanguageEnglish).find("The PGM-format"), std::string::npos);
  EXPECT_EQ(SaveAdviceText("pgm", 2, pGray256, LanguageEnglish), "");
  EXPECT_EQ(SaveAdviceText("jpg", 2, pGray256, LanguageEnglish), "");
  EXPECT_EQ(SaveAdviceText("jif", 3, pTrueColor, LanguageEnglish), "");
  EXPECT_NE(SaveAdviceText("jpeg", 2, pSpecial216, LanguageGerman).find("Das JPG-Format"), std::string::npos);
  EXPECT_EQ(SaveAdviceText("ppm", 0, pBlackWhite, LanguageEnglish).substr(0, 14), "The PPM-format");
  EXPECT_EQ(SaveAdviceText("pbm", 0, pBlackWhite, LanguageEnglish), "");
  EXPECT_EQ(SaveAdviceText("pbm", 1, pSys16, LanguageEnglish),
            "The PBM-format is specially suited to save Black&White graphics.\r\rSave anyway?");
  EXPECT_EQ(SaveAdviceText("png", 0, pUnknown, LanguageEnglish), "");
  EXPECT_EQ(SaveAdviceText("webp", 3, pTrueColor, LanguageEnglish), "");
  EXPECT_EQ(SaveAdviceText("webp", 2, pGray256, LanguageEnglish).substr(0, 15), "The WebP-format");
  EXPECT_EQ(SaveAdviceText("webp", 0, pBlackWhite, LanguageGerman).substr(0, 15), "Das WebP-Format");
}

TEST(MainFormLogic, StatusBarAndFiles) {
  EXPECT_TRUE(BarUpdateDue(1000, 900, "5", 7));
  EXPECT_FALSE(BarUpdateDue(1000, 990, "5", 7));      // too soon
  EXPECT_FALSE(BarUpdateDue(1000, 900, "7", 7));      // nothing new
  EXPECT_TRUE(BarUpdateDue(5, 0xFFFFFFF0u, "5", 7));  // the tick count wrapped
  EXPECT_TRUE(BarUpdateDue(1000, 999, "100", 100));
  EXPECT_EQ(ProgressBarRect(10, 0, 110, 20, 50), (TBarRect{12, 2, 60, 18}));
  EXPECT_EQ(ProgressBarRect(10, 0, 110, 20, 0), (TBarRect{12, 2, 12, 18}));
  EXPECT_EQ(HelpPageFile("/opt/q/QuilletD.hlp"), "/opt/q/QuilletD.html");
  EXPECT_EQ(DirectoryOf("/tmp/a/b.bmp"), "/tmp/a");
  EXPECT_EQ(DirectoryOf("/b.bmp"), "/");
  EXPECT_EQ(ExpandLongFileName("/no/such/file.bmp"), "/no/such/file.bmp");
  EXPECT_EQ(OpenFailureText("/p/x.xyz", "Unknown file format", LanguageEnglish),
            "\"/p/x.xyz\" could not be opened: Unknown file format");
  EXPECT_EQ(OpenFailureText("/p/x.xyz", "Unbekanntes Dateiformat", LanguageGerman),
            "\"/p/x.xyz\" konnte nicht geöffnet werden: Unbekanntes Dateiformat");
  // The main window: four fifths of the screen at first, centred; later as
  // stored, but always inside the screen.
  const TWindowRect screen{0, 30, 1920, 1050};
  EXPECT_EQ(MainWindowPlacement({}, screen, 600, 475), (TWindowRect{192, 135, 1536, 840}));
  EXPECT_EQ(MainWindowPlacement({}, {0, 0, 500, 400}, 600, 475), (TWindowRect{0, 0, 500, 400}));
  EXPECT_EQ(MainWindowPlacement({100, 200, 800, 600}, screen, 600, 475), (TWindowRect{100, 200, 800, 600}));
  EXPECT_EQ(MainWindowPlacement({5000, -90, 800, 600}, screen, 600, 475), (TWindowRect{1120, 30, 800, 600}));
  EXPECT_EQ(MainWindowPlacement({-16, 40, 4000, 3000}, screen, 600, 475), (TWindowRect{0, 30, 1920, 1050}));
  const std::string named = "Opening \"/p/x.bmp\" failed: No such file or directory";
  EXPECT_EQ(OpenFailureText("/p/x.bmp", named, LanguageEnglish), named);
}

}  // namespace

#include <fstream>

#include "tempdir.h"

TEST(MainFormLogic, HelpPagesOfAnInstalledProgramLieUnderShare) {
  TTempDirectory prefix;
  std::filesystem::create_directories(prefix / "bin");
  std::filesystem::create_directories(prefix / "share/quillet/help");
  std::ofstream(prefix / "share/quillet/help/QuilletE.html") << "<html></html>";
  EXPECT_EQ(HelpPageFile(prefix / "bin/QuilletE.hlp"), prefix / "share/quillet/help/QuilletE.html");
  std::ofstream(prefix / "bin/QuilletE.html") << "<html></html>";
  EXPECT_EQ(HelpPageFile(prefix / "bin/QuilletE.hlp"), prefix / "bin/QuilletE.html");
}
