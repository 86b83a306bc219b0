#pragma once
// The application's process-wide settings: loaded once at start from the
// per-user store, read and changed directly while the program runs, and
// written back once at the end. The image library's format options
// (formatoptions.h) and its default gamma are loaded and saved with them.

#include <cstdint>
#include <memory>
#include <string>

#include "pgtypes.h"
#include "pixelgraphic.h"
#include "settingsstore.h"

inline constexpr const char* SettingsKeyPath = "SOFTWARE\\Marrowby\\Quillet\\1.02";

// Values of Language that name a user-interface language.
constexpr int32_t LanguageGerman = 7;
constexpr int32_t LanguageEnglish = 9;

// Rows of the palette choice table, the range of Selection.
constexpr int32_t PaletteChoiceRowCount = 20;
// Most entries an individual palette may have.
constexpr int32_t MaxIPaletteSize = 256;
// Largest memory warning limit in megabytes: what the options dialog's five
// digits hold.
constexpr int32_t MaxMemWarning = 99999;
// Larger than any screen; a stored window side beyond it is no window's.
constexpr int32_t MaxWindowSide = 65535;

extern uint8_t Selection;
extern int32_t Language;
extern int32_t OptimizedPaletteSize;
extern bool OptimizedPaletteIncludeSys;
// Refine the optimized palette by k-means and map onto it exactly.
extern bool OptimizedPaletteRefine;
extern TStretchMode StretchMode;
extern int32_t Sharpen;
extern bool KeepAspectRatio;
extern bool RGBWeighting;
extern bool Dithering;
extern long double WidthPercent;
extern long double HeightPercent;
extern bool FastUnknownPalette;
extern bool SaveSuggestSourceFileName;
extern bool SaveSuggestSourceDirectory;
extern bool DoBorder;
extern int32_t BorderWidth;
extern TRGB BorderColor;
extern bool BorderEllipse;
extern bool MinimizeInterference;
extern std::string OpenDir;
extern std::string SaveDir;
extern int32_t MemWarning;
// The main window's normal place and size on the screen (a width or height
// of 0: none stored yet), and whether it was maximized.
extern int32_t WindowLeft;
extern int32_t WindowTop;
extern int32_t WindowWidth;
extern int32_t WindowHeight;
extern bool WindowMaximized;
// How the source and the result view scale their pictures: at a zoom
// factor (1 at start), or fitted to the view.
enum TViewFit : uint8_t { vfZoom, vfShrink, vfAlways };
extern TViewFit SourceViewFit;
extern long double SourceViewZoom;
extern TViewFit ResultViewFit;
extern long double ResultViewZoom;
// Zoom factors a view takes.
constexpr long double MinViewZoom = 1.0L / 64, MaxViewZoom = 64.0L;
// A palette-only 8-bit graphic (0 x 0); its PaletteCount is "IPaletteSize".
extern std::unique_ptr<TPixelGraphic> IndividualPalette;

// Prepared by LoadSettings, not stored.
extern std::string HelpFileEnglish;
extern std::string HelpFileGerman;
extern uint8_t ScreenBitCountNum;
// Last chosen palette row of the 1-, 4- and 8-bit groups.
extern uint8_t RememberedPaletteRows[3];

// Bit count code of a screen with this many bits per pixel times planes.
uint8_t ScreenDepthCode(int screenBits);
// Language value of a locale name such as "de_DE.UTF-8".
int32_t LanguageFromLocaleName(const std::string& localeName);
// Language value of the user's locale (LC_ALL, LC_MESSAGES, LANG).
int32_t UserDefaultLanguage();
// The machine's physical memory in bytes; 0 when the system does not tell.
int64_t PhysicalMemoryBytes();
// The memory warning's default: a quarter of the machine's physical memory in
// whole megabytes, within 1..MaxMemWarning, so that an ordinary photo does
// not ask.
int32_t DefaultMemWarning();

// Every application setting at its default, without reading a store.
void SetApplicationDefaults();
// After the image library has set its own defaults, before any window exists.
// screenBits is the screen's bits per pixel times planes.
void LoadSettings(const TSettingsStore& store, int screenBits);
// After the windows are gone; frees the individual palette. Never reports a
// failure: the store is either fully written or left as it was.
void SaveSettings(const TSettingsStore& store);
