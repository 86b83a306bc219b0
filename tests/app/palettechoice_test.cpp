#include <gtest/gtest.h>

#include <vector>

#include "namedpalettes.h"
#include "palettechoice.h"
#include "pixelgraphic.h"
#include "shrinkpipeline.h"

namespace {

TEST(PaletteChoice, TextsLookupAndListing) {
  EXPECT_EQ(PaletteChoiceText(0, LanguageGerman), "Schwarz-Weiß");
  EXPECT_EQ(PaletteChoiceText(0, 12), "Black&White");
  EXPECT_EQ(PaletteChoiceText(14, LanguageEnglish), "Special 216 (CLUT)");
  // Either language finds a row, within its depth only.
  for (int32_t row = 0; row < PaletteChoiceRowCount; ++row) {
    const TPaletteChoice& c = PaletteChoices[row];
    EXPECT_EQ(FindPaletteChoice(c.BitCountNum, c.GermanText), row);
    EXPECT_EQ(FindPaletteChoice(c.BitCountNum, c.EnglishText), row);
  }
  EXPECT_EQ(FindPaletteChoice(0, "Gray 4"), -1);
  // A damaged Selection reads the true-colour row instead of past the table.
  EXPECT_EQ(&PaletteChoiceRow(20), &PaletteChoices[TrueColorRow]);
  EXPECT_EQ(&PaletteChoiceRow(-1), &PaletteChoices[TrueColorRow]);

  EXPECT_EQ(PaletteSizeGroup(2), 0);
  EXPECT_EQ(PaletteSizeGroup(3), 1);
  EXPECT_EQ(PaletteSizeGroup(17), 2);
  EXPECT_EQ(PaletteSizeGroup(257), -1);
  // A 16-entry source goes to the 4-bit list only, Optimized of 252 and an
  // individual palette of 216 to the 8-bit list; a 24-bit source to none.
  for (int32_t row = 0; row < PaletteChoiceRowCount; ++row) {
    const bool flagged = row == 1 || row == 2 || row == 3 || row == 9 || row == 10 || row == 16;
    EXPECT_EQ(PaletteChoiceListed(row, 252, 216, 16), !flagged && row != TrueColorRow) << row;
  }
  for (int32_t row : {1, 8, 16}) EXPECT_FALSE(PaletteChoiceListed(row, 252, 216, 0)) << row;
}

// Depth and palette of the result for every row.
TEST(PaletteChoice, EachRowShapesTheResult) {
  // Black and white with a two-entry palette, which fits every depth.
  TPixelGraphic source;
  source.SetSize(8, 6, 2);
  source.SetPaletteCount(2);
  source.SetPaletteEntries(1, RGB(255, 255, 255));
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 8; ++x) source.SetPixel(x, y, (x + y) % 3 == 0 ? 1 : 0);
  TShrinkSettings settings;
  settings.MemWarning = 1000;
  settings.OptimizedPaletteSize = 252;
  settings.OptimizedPaletteIncludeSys = true;
  // The black-and-white entries, yet not to be recognised as that palette.
  const std::vector<TRGB> blackWhite{RGB(0, 0, 0), RGB(255, 255, 255)};
  settings.IndividualPalette = blackWhite;

  for (int32_t row = 0; row < PaletteChoiceRowCount; ++row) {
    SCOPED_TRACE(row);
    const TPaletteChoice& c = PaletteChoices[row];
    settings.Selection = uint8_t(row);
    TShrinkPipeline pipeline;
    TShrinkRun run = pipeline.Run(source, 8, 6, false, settings);
    ASSERT_EQ(run.Outcome, soFinished);
    const TPixelGraphic& r = *run.Result;
    ASSERT_EQ(r.BitCountNum(), c.BitCountNum);
    std::vector<TRGB> palette;
    for (int32_t i = 0; i < r.PaletteCount(); ++i) palette.push_back(r.PaletteEntries(i));
    if (c.Optimized && c.BitCountNum == 2) {
      ASSERT_GT(palette.size(), 16u);
      EXPECT_EQ(std::vector<TRGB>(palette.end() - 16, palette.end()),
                std::vector<TRGB>(SystemColors16, SystemColors16 + 16));
    } else if (c.Optimized) {
      EXPECT_LE(palette.size(), size_t(PaletteCapacity(c.BitCountNum)));
    } else if (c.SourcePalette || c.IndividualPalette) {
      EXPECT_EQ(palette, blackWhite);
    } else {
      EXPECT_EQ(palette, NamedPaletteEntries(c.PaletteIdent));
    }
    EXPECT_EQ(r.PaletteIdent(), c.PaletteIdent);
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 8; ++x) {
        const TRGB got = r.GetPixelColor(x, y);
        if (c.Optimized)
          EXPECT_EQ(GetGValue(got) > 128, (x + y) % 3 == 0) << x << "," << y;
        else
          EXPECT_EQ(got, source.GetPixelColor(x, y)) << x << "," << y;
      }
  }
}

}  // namespace
