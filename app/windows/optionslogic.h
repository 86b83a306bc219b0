#pragma once
// The options dialog's decisions that need no widget: which of its buttons
// a set of field texts allows, and the texts of the JPEG test.

#include <cstdint>
#include <string>

// The texts of the dialog's number fields, as typed.
struct TOptionsFields {
  std::string JPEGWQuality, Frame, Mem, OptPalSize, ScreenGamma;
  std::string TIFFResHorizN, TIFFResHorizD, TIFFResVertN, TIFFResVertD;
  std::string AVIFQuality, AVIFSpeed;
  std::string WebPQuality;
};

struct TOptionsValidation {
  bool OKAllowed = false;
  bool TestAllowed = false;
  bool SysColorsOffered = false;
  bool operator==(const TOptionsValidation&) const = default;
};

// The three results in the order OK, test, system colours; each result's
// conditions are tested in order until one fails. A field that is no number
// ends the whole validation there and leaves the rest false.
TOptionsValidation ValidateOptions(const TOptionsFields& Fields, bool ResultPresent);

// Milliseconds as seconds in general format: 110 gives "0.11".
std::string SecondsText(int64_t Milliseconds);
// Bytes as kilobytes of 1024 bytes, rounded to three decimals (halves to even).
std::string KilobytesText(int64_t Bytes);

// The JPEG test's progress text of a step; German for Language 7.
std::string JPEGTestActionText(bool Reading, int32_t Language);

// What the JPEG test window shows.
struct TJPEGTestTexts {
  std::string Caption, WTime, RTime, FSize;
};
TJPEGTestTexts JPEGTestTexts(int64_t WriteMilliseconds, int64_t ReadMilliseconds, int64_t FileBytes,
                             int32_t Language);
