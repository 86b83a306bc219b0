#pragma once
// The main window's decisions that need no widget: number texts, the
// coupling of the size fields, the palette lists, which controls show, the
// save advice and the status bar's progress bar.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pgtypes.h"

// A real number as the user typed it ("15.63", " 50", "1,5"); nothing for
// any other text, including infinities.
std::optional<long double> ParseRealText(const std::string& Text);
// A whole number in 32 bits ("-3", " 100").
std::optional<int32_t> ParseIntegerText(const std::string& Text);
// The shortest form of a real number with up to 15 significant digits and
// no trailing zeros: "50", "15.63", "0.5".
std::string GeneralFormat(long double Value);

// The four size fields and the field the user changed.
enum TSizeField : uint8_t { sfNone, sfWidthPercent, sfWidthPixels, sfHeightPercent, sfHeightPixels, sfKeepRatio };
struct TSizeFields {
  std::string WidthPercent, WidthPixels, HeightPercent, HeightPixels;
  bool operator==(const TSizeFields&) const = default;
};
struct TSizeCoupling {
  TSizeFields Fields;
  // The changed field did not hold a number and now reads "0", to be shown
  // selected so that the next key replaces it.
  bool ChangedReset = false;
};
// The fields after Changed was edited: the other field of its side follows,
// and with KeepRatio the other side takes the changed side's percentage
// (copied as text, not clamped) and its pixels. The number the user typed
// stays as typed unless it was no number.
TSizeCoupling CoupleSizeFields(const TSizeFields& Fields, TSizeField Changed, bool KeepRatio, int32_t SourceWidth,
                               int32_t SourceHeight);

// Rows of the palette choice table offered in the list of depth List (0 to
// 2), in table order.
std::vector<int32_t> PaletteListRows(int32_t List, int32_t OptimizedPaletteSize, int32_t IndividualPaletteSize,
                                     int32_t SourcePaletteSize);
// Their texts in Language, sorted as a sorted list shows them (ignoring case).
std::vector<std::string> PaletteListTexts(const std::vector<int32_t>& Rows, int32_t Language);
// Rows that FillPaletteLists selects with their radio button to restore
// Selection, in order: for a flagged row every row with that flag, so the
// choice moves to whichever list holds the item now.
std::vector<int32_t> SelectionRestoreRows(int32_t Selection);

// Whether the RGB weighting check box applies to the palette of row
// Selection: black and white and the grey palettes.
bool RGBWeightingApplies(int32_t Selection);
// Whether the pipeline can halve the source exactly by dropping its last
// column or row at these result pixel texts.
bool InterferencePossible(int32_t SourceWidth, int32_t SourceHeight, const std::string& WidthPixels,
                          const std::string& HeightPixels);
// The source's two info lines; both empty without a picture.
struct TSourceInfo {
  std::string Size, Color;
};
TSourceInfo SourceInfoTexts(int32_t Width, int32_t Height, int BitCount, uint8_t BitCountNum, int32_t PaletteCount,
                            int32_t Language);
// Whether a picture shows worse than it is on a screen of depth code ScreenCode.
bool QualityHintDue(int32_t Width, int32_t Height, uint8_t BitCountNum, uint8_t ScreenCode);

// The question before saving a result as Extension (lower case, no dot)
// when that format does not suit its depth and palette; empty when it does.
std::string SaveAdviceText(const std::string& Extension, uint8_t BitCountNum, TPaletteIdent PaletteIdent,
                           int32_t Language);

// Status bar: whether the progress bar is redrawn for Percent now, Now and
// LastUpdate being millisecond ticks and Shown its current text.
bool BarUpdateDue(uint32_t Now, uint32_t LastUpdate, const std::string& Shown, int32_t Percent);
// The filled part of the progress bar in a panel from (Left, Top) to
// (Right, Bottom) exclusive, for a bar text Value 0 to 100.
struct TBarRect {
  int Left, Top, Right, Bottom;
  bool operator==(const TBarRect&) const = default;
};
TBarRect ProgressBarRect(int Left, int Top, int Right, int Bottom, int Value);

// The help page that stands for a help file name ("QuilletE.hlp" becomes
// "QuilletE.html" in the same directory).
std::string HelpPageFile(const std::string& HelpFile);
// An absolute, normalised name of an existing file; anything else unchanged.
std::string ExpandLongFileName(const std::string& Name);
// Directory of Name made absolute, without a trailing separator unless it
// is the root.
std::string DirectoryOf(const std::string& Name);
struct TWindowRect {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TWindowRect&) const = default;
};
// Where the main window goes in the screen's available area: as stored,
// moved and cut to lie inside it; without a stored size, four fifths of the
// area (at least the window's smallest size, if it fits), centred.
TWindowRect MainWindowPlacement(const TWindowRect& Stored, const TWindowRect& Available, int32_t MinWidth,
                                int32_t MinHeight);

// The message of a failed open, naming the file unless the message does.
std::string OpenFailureText(const std::string& FileName, const std::string& Message, int32_t Language);
