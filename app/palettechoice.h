#pragma once
// The palette choice table behind the result's depth and palette controls:
// each row is one entry of a depth's palette list and says which palette
// the result gets at that depth. The setting Selection is a row number.

#include <cstdint>
#include <string>

#include "pgtypes.h"
#include "settings.h"

struct TPaletteChoice {
  const char* GermanText;
  const char* EnglishText;
  uint8_t BitCountNum;
  // Named palette to install; pUnknown for the rows that carry a flag.
  TPaletteIdent PaletteIdent;
  bool Optimized;
  bool SourcePalette;
  bool IndividualPalette;
};

extern const TPaletteChoice PaletteChoices[PaletteChoiceRowCount];

// The one row of depth 3, which has no list.
constexpr uint8_t TrueColorRow = 19;

// Row number `row`; a number outside the table reads the true-colour row,
// so a stale or damaged Selection can never index past it.
const TPaletteChoice& PaletteChoiceRow(int32_t row);
// The row's list text: German when Language is 7, English otherwise.
std::string PaletteChoiceText(int32_t row, int32_t Language);
// The row of depth BitCountNum whose German or English text is `text`, or
// -1. Matching either language keeps a choice across a change of language.
int32_t FindPaletteChoice(uint8_t BitCountNum, const std::string& text);

// Depth group (bit count code 0, 1 or 2) whose list takes a palette of n
// entries: 1-2, 3-16, 17-256; -1 for 0 or more than 256.
int32_t PaletteSizeGroup(int32_t n);
// The sizes the group of a depth code takes: "1-2", "3-16" or "17-256".
std::string PaletteSizeGroupText(int32_t BitCountNum);
// Whether the row belongs in its depth's list: a row without flags always,
// a flagged row when the size of the palette its flag stands for falls
// into that depth's group. The true-colour row has no list.
bool PaletteChoiceListed(int32_t row, int32_t OptimizedPaletteSize, int32_t IndividualPaletteSize,
                         int32_t SourcePaletteSize);
