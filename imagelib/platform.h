#pragma once
// The services the library borrows from the desktop: message boxes, the
// clipboard and the printer. The application installs its own platform; until
// then a headless one answers, so that the library also runs without a desktop
// and tests can script the answers.

#include <cstdint>
#include <string>
#include <vector>

class TPixelGraphic;

enum TPGBoxButtons : uint8_t { pgbOK, pgbOKCancel, pgbYesNo };
enum TPGBoxAnswer : uint8_t { pgaOK, pgaCancel, pgaYes, pgaNo };

enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };

// Clipboard format numbers of a device-dependent and a device-independent bitmap.
constexpr uint16_t CF_BITMAP = 2;
constexpr uint16_t CF_DIB = 8;

struct TPGRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  bool operator==(const TPGRect&) const = default;
};

class TPGPrinter {
public:
  virtual ~TPGPrinter() = default;
  // The print dialog, owned by the platform's window Owner; false when cancelled.
  virtual bool ExecuteDialog(void* Owner) = 0;
  virtual TPrinterOrientation Orientation() = 0;
  virtual void SetOrientation(TPrinterOrientation Orientation) = 0;
  virtual void SetTitle(const std::string& Title) = 0;
  virtual void BeginDoc() = 0;
  virtual void EndDoc() = 0;
  // Printable page in device pixels, and device pixels per inch across and down.
  virtual int32_t PageWidth() = 0;
  virtual int32_t PageHeight() = 0;
  virtual int32_t AspectX() = 0;
  virtual int32_t AspectY() = 0;
  // Draws the whole of Graphic stretched into Rect of the current page.
  virtual void StretchDraw(const TPGRect& Rect, const TPixelGraphic& Graphic) = 0;
};

class TPGPlatform {
public:
  virtual ~TPGPlatform() = default;
  virtual TPGBoxAnswer WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) = 0;
  virtual bool ClipboardHasFormat(uint16_t Format) = 0;
  // The clipboard's data under Format; empty when it has none.
  virtual std::vector<uint8_t> ClipboardData(uint16_t Format) = 0;
  // Empties the clipboard and leaves Data on it under Format only.
  virtual void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) = 0;
  virtual std::string ApplicationTitle() = 0;
  // Null when there is no printer.
  virtual TPGPrinter* Printer() = 0;
};

// Without a desktop: a box writes caption and text to standard error and
// gets the affirmative answer (OK, or Yes); there is no clipboard, so putting
// data on it fails; there is no printer.
class THeadlessPGPlatform : public TPGPlatform {
public:
  TPGBoxAnswer WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) override;
  bool ClipboardHasFormat(uint16_t Format) override;
  std::vector<uint8_t> ClipboardData(uint16_t Format) override;
  void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) override;
  std::string ApplicationTitle() override;
  TPGPrinter* Printer() override;
};

TPGPlatform& PGPlatform();
// Installs Platform (not owned; null restores the headless one) and returns
// the one it replaces, or null when that was the headless one.
TPGPlatform* SetPGPlatform(TPGPlatform* Platform);

// A warning box with OK or OK and Cancel; true when answered with OK.
bool PGWarningBox(const std::string& Text, const std::string& Caption, bool OKCancel);
