#include <gtest/gtest.h>

#include <vector>

#include "langstr.h"
#include "pgexceptions.h"

namespace {

class LanguageScope {
public:
  explicit LanguageScope(uint8_t language) : FSaved(PGLanguage()) { SetPGLanguage(language); }
  ~LanguageScope() { SetPGLanguage(FSaved); }

private:
  uint8_t FSaved;
};

TEST(LangStr, TextsByLanguage) {
  {
    LanguageScope english(0);
    EXPECT_EQ(LangStr(1), "X, Y index out of range");
    EXPECT_EQ(LangStr1(19, "xyz"), "Unknown file extension \"xyz\"");
    EXPECT_EQ(LangStr(0), "");
    EXPECT_EQ(LangStr(84), "");
  }
  {
    LanguageScope german(1);
    EXPECT_EQ(LangStr(21), "Nagative Höhe");
    EXPECT_EQ(LangStr(39), "Unsupported Compression");
    EXPECT_EQ(LangStr1(31, "CreateDIBSection"), "CreateDIBSection fehlgeschlagen");
  }
  EXPECT_EQ((LanguageScope(2), LangStr(2)), "Pas de palette");
  EXPECT_EQ((LanguageScope(3), LangStr(2)), "Geen palet");
  EXPECT_EQ((LanguageScope(4), LangStr(2)), "No paleta");
}

TEST(LangStr, ReservedAndUnknownLanguages) {
  LanguageScope reserved(5);
  for (int n = 0; n < PGLangStrCount; ++n) EXPECT_EQ(LangStr(n), n == 25 ? "Image files" : "") << n;
  SetPGLanguage(6);
  EXPECT_EQ(LangStr(2), "");
  EXPECT_EQ(LangStr(2, "as passed"), "as passed");
}

TEST(LangStr, EveryLanguageHasEveryPlaceholderOfEnglish) {
  for (int n = 1; n < PGLangStrCount - 1; ++n) {
    const std::string english = PGLangStrEntries[n].Text[0];
    for (int lang = 1; lang < 5; ++lang) {
      const std::string text = PGLangStrEntries[n].Text[lang];
      EXPECT_FALSE(text.empty()) << n << "/" << lang;
      for (const char* ph : {"%S1", "%S2", "%S3"})
        EXPECT_EQ(english.find(ph) == std::string::npos, text.find(ph) == std::string::npos) << n << "/" << lang;
    }
  }
}

TEST(LangStr, SubstitutionReplacesFirstOccurrenceInOrder) {
  {
    LanguageScope english(0);
    // %S1 comes first in English, so a %S2 inside the first argument is the
    // one the second argument replaces; the text's own %S2 stays.
    const std::string text = LangStr3(17, "A%S2", "B", "C");
    EXPECT_EQ(text,
              "The graphic cannot be saved to a AB file with the current color resolution (%S2).\r\r"
              "The graphic will be saved with a different color resolution (C).");
  }
  {
    LanguageScope german(1);
    const std::string text = LangStr3(17, "A%S2", "B", "C");
    EXPECT_EQ(text,
              "Die Grafik kann nicht mit der augenblicklichen Farbauflösung (B) in eine A%S2 Datei gespeichert "
              "werden.\r\rDie Grafik wird mit einer anderen Auflösung (C) gespeichert.");
  }
  EXPECT_EQ(SubstitutePlaceholder("%S1 and %S1", "%S1", "x"), "x and %S1");
  EXPECT_EQ(SubstitutePlaceholder("none", "%S1", "x"), "none");
}

TEST(LangStr, StartCheckFindsMisnumberedEntries) {
  EXPECT_NO_THROW(CheckLangStrEntries());
  std::vector<TPGLangStrEntry> table(PGLangStrEntries, PGLangStrEntries + PGLangStrCount);
  table[7].Number = 8;
  try {
    CheckLangStrEntries(table.data(), PGLangStrCount);
    FAIL() << "no exception";
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "PGLangStrEntries order wrong 7 and 8 are not identical");
  }
}

}  // namespace
