#include "graphicprinting.h"

#include <cmath>

#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"

TPGRect PrintPageRect(int32_t PageWidth, int32_t PageHeight, int32_t AspectX, int32_t AspectY, int32_t Width,
                      int32_t Height) {
  TPGRect r{0, 0, PageWidth, PageHeight};
  if (PageWidth <= 0 || PageHeight <= 0 || AspectX <= 0 || AspectY <= 0 || Width <= 0 || Height <= 0) {
    r.Right = PageWidth > 0 ? PageWidth : 0;
    r.Bottom = PageHeight > 0 ? PageHeight : 0;
    return r;
  }
  const long double pw = PageWidth, ph = PageHeight, ax = AspectX, ay = AspectY, w = Width, h = Height;
  // Compared and scaled in inches, so that pixels that are not square keep
  // the picture's proportions.
  if (w / h >= (pw / ph) * (ay / ax)) {
    const int64_t fitted = int64_t(std::nearbyint(pw * (h / w) * ay / ax));
    r.Top = int32_t((PageHeight - fitted) / 2);
    r.Bottom = PageHeight - r.Top;
  } else {
    const int64_t fitted = int64_t(std::nearbyint(ph * (w / h) * ax / ay));
    r.Left = int32_t((PageWidth - fitted) / 2);
    r.Right = PageWidth - r.Left;
  }
  return r;
}

std::string PrintJobTitle(const std::string& ApplicationTitle, int32_t Width, int32_t Height, int BitCount) {
  return ApplicationTitle + " Graphic " + std::to_string(Width) + "x" + std::to_string(Height) + "x" +
         std::to_string(int64_t(1) << BitCount);
}

void TPixelGraphic::PrintGraphic(bool ShowDialog, bool AutoOrientation, void* Owner) {
  if (GetWidth() <= 0 || GetHeight() <= 0) return;
  TPGPlatform& platform = PGPlatform();
  TPGPrinter* printer = platform.Printer();
  if (!printer) throw EPixelGraphic(LangStr1(31, "Printer"));
  if (ShowDialog && !printer->ExecuteDialog(Owner)) return;
  const TPrinterOrientation orientation = printer->Orientation();
  // The orientation comes back and a begun document is ended whatever fails.
  bool begun = false;
  try {
    if (AutoOrientation && GetWidth() != GetHeight())
      printer->SetOrientation(GetHeight() < GetWidth() ? poLandscape : poPortrait);
    printer->SetTitle(PrintJobTitle(platform.ApplicationTitle(), GetWidth(), GetHeight(), BitCount()));
    printer->BeginDoc();
    begun = true;
    printer->StretchDraw(PrintPageRect(printer->PageWidth(), printer->PageHeight(), printer->AspectX(),
                                       printer->AspectY(), GetWidth(), GetHeight()),
                         *this);
    begun = false;
    printer->EndDoc();
  } catch (...) {
    try {
      if (begun) printer->EndDoc();
      printer->SetOrientation(orientation);
    } catch (...) {
    }
    throw;
  }
  printer->SetOrientation(orientation);
}
