#include "palettechoice.h"

const TPaletteChoice PaletteChoices[PaletteChoiceRowCount] = {
    {"Schwarz-Weiß", "Black&White", 0, pBlackWhite, false, false, false},
    {"Quelle", "Source", 0, pUnknown, false, true, false},
    {"Individuell", "Individual", 0, pUnknown, false, false, true},
    {"Optimiert", "Optimized", 0, pUnknown, true, false, false},
    {"Grau 4", "Gray 4", 1, pGray4, false, false, false},
    {"Grau 16", "Gray 16", 1, pGray16, false, false, false},
    {"System Grau 4", "System Gray 4", 1, pSysGray4, false, false, false},
    {"System 16", "System 16", 1, pSys16, false, false, false},
    {"Quelle", "Source", 1, pUnknown, false, true, false},
    {"Individuell", "Individual", 1, pUnknown, false, false, true},
    {"Optimiert", "Optimized", 1, pUnknown, true, false, false},
    {"Grau 236", "Gray 236", 2, pGray236, false, false, false},
    {"Grau 256", "Gray 256", 2, pGray256, false, false, false},
    {"Spezial 125", "Special 125", 2, pSpecial125, false, false, false},
    {"Spezial 216 (CLUT)", "Special 216 (CLUT)", 2, pSpecial216, false, false, false},
    {"Spezial 252", "Special 252", 2, pSpecial252, false, false, false},
    {"Quelle", "Source", 2, pUnknown, false, true, false},
    {"Individuell", "Individual", 2, pUnknown, false, false, true},
    {"Optimiert", "Optimized", 2, pUnknown, true, false, false},
    {"True-Color", "True-Color", 3, pTrueColor, false, false, false},
};

const TPaletteChoice& PaletteChoiceRow(int32_t row) {
  return PaletteChoices[row >= 0 && row < PaletteChoiceRowCount ? row : TrueColorRow];
}

std::string PaletteChoiceText(int32_t row, int32_t Language) {
  const TPaletteChoice& choice = PaletteChoiceRow(row);
  return Language == LanguageGerman ? choice.GermanText : choice.EnglishText;
}

int32_t FindPaletteChoice(uint8_t BitCountNum, const std::string& text) {
  for (int32_t row = 0; row < PaletteChoiceRowCount; ++row) {
    const TPaletteChoice& choice = PaletteChoices[row];
    if (choice.BitCountNum == BitCountNum && (text == choice.GermanText || text == choice.EnglishText)) return row;
  }
  return -1;
}

int32_t PaletteSizeGroup(int32_t n) {
  if (n >= 1 && n <= 2) return 0;
  if (n >= 3 && n <= 16) return 1;
  if (n >= 17 && n <= 256) return 2;
  return -1;
}

std::string PaletteSizeGroupText(int32_t BitCountNum) {
  static const char* const sizes[3] = {"1-2", "3-16", "17-256"};
  return BitCountNum >= 0 && BitCountNum <= 2 ? sizes[BitCountNum] : "0";
}

bool PaletteChoiceListed(int32_t row, int32_t OptimizedPaletteSize, int32_t IndividualPaletteSize,
                         int32_t SourcePaletteSize) {
  if (row < 0 || row >= PaletteChoiceRowCount || row == TrueColorRow) return false;
  const TPaletteChoice& choice = PaletteChoices[row];
  if (choice.Optimized) return PaletteSizeGroup(OptimizedPaletteSize) == choice.BitCountNum;
  if (choice.IndividualPalette) return PaletteSizeGroup(IndividualPaletteSize) == choice.BitCountNum;
  if (choice.SourcePalette) return PaletteSizeGroup(SourcePaletteSize) == choice.BitCountNum;
  return true;
}
