#pragma once
// The library's desktop services on Qt: warning boxes, the clipboard and the
// printer. The program creates one TQtPGPlatform after its QApplication and
// keeps it for its run; without a QApplication it answers as the headless
// platform does.

#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform.h"

// Our own clipboard type for a packed device-independent bitmap, so that a
// paste between Quillet windows keeps depth and palette.
inline constexpr const char* PGDibMimeType = "application/x-quillet-dib";

// Box text for Qt: the library's "\r" line breaks (and so "\r\r" paragraph
// breaks) become "\n".
QString PGBoxText(const std::string& Text);

// The warning box as it is shown, not yet executed.
std::unique_ptr<QMessageBox> MakePGWarningBox(const std::string& Text, const std::string& Caption,
                                              TPGBoxButtons Buttons, QWidget* Parent = nullptr);

// Any image another program offers, as the packed 24-bit bitmap the
// library's paste reads; transparent parts show on white. Empty for a null
// image; the library's error when the picture is too large.
std::vector<uint8_t> QImageToPackedDIB(const QImage& Image);

class TQtPGPrinter : public TPGPrinter {
public:
  TQtPGPrinter();
  ~TQtPGPrinter() override;

  bool ExecuteDialog(void* Owner) override;  // Owner: the dialog's parent QWidget*, or null
  TPrinterOrientation Orientation() override;
  void SetOrientation(TPrinterOrientation Orientation) override;
  void SetTitle(const std::string& Title) override;
  void BeginDoc() override;
  void EndDoc() override;
  int32_t PageWidth() override;
  int32_t PageHeight() override;
  int32_t AspectX() override;
  int32_t AspectY() override;
  void StretchDraw(const TPGRect& Rect, const TPixelGraphic& Graphic) override;

  // For choosing the output without a dialog (a PDF file, say).
  QPrinter& Printer() { return FPrinter; }

private:
  QPrinter FPrinter;
  std::unique_ptr<QPainter> FPainter;
};

// The library's platform for as long as it lives; the one it replaced comes
// back when it is destroyed.
class TQtPGPlatform : public THeadlessPGPlatform {
public:
  TQtPGPlatform();
  ~TQtPGPlatform() override;
  TQtPGPlatform(const TQtPGPlatform&) = delete;
  TQtPGPlatform& operator=(const TQtPGPlatform&) = delete;

  // Callable from any thread: the box and the clipboard are reached on the
  // GUI thread, which must not be waiting for the caller meanwhile.
  TPGBoxAnswer WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) override;
  // CF_DIB and CF_BITMAP both mean "a picture": our own bitmap or any image.
  // Other numbers are kept under a private type of their own.
  bool ClipboardHasFormat(uint16_t Format) override;
  std::vector<uint8_t> ClipboardData(uint16_t Format) override;
  void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) override;
  std::string ApplicationTitle() override;
  TPGPrinter* Printer() override;

  // Made on first use; null without a QApplication.
  TQtPGPrinter* QtPrinter();

private:
  TPGPlatform* FPrevious;
  std::unique_ptr<TQtPGPrinter> FPrinter;
};
