#include "qtplatform.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPushButton>
#include <QThread>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "alphablend.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pgqtgraphic.h"
#include "pixelgraphic.h"
#include "threadhandoff.h"

namespace {

bool HasApplication() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) && !QCoreApplication::closingDown();
}

bool HasGuiApplication() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) && !QCoreApplication::closingDown();
}

// Widgets and the clipboard live on the GUI thread; a caller on another
// thread waits there for the answer, and a failure travels back to it.
template <class F>
auto OnGuiThread(F f) -> decltype(f()) {
  using R = decltype(f());
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return f();
  std::exception_ptr failure;
  std::conditional_t<std::is_void_v<R>, bool, std::optional<R>> result{};
  PublishToOtherThread();
  QMetaObject::invokeMethod(
      app,
      [&] {
        ReceiveFromOtherThread();
        struct TPublishOnExit {
          ~TPublishOnExit() { PublishToOtherThread(); }
        } publish;
        try {
          if constexpr (std::is_void_v<R>)
            f();
          else
            result.emplace(f());
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  ReceiveFromOtherThread();
  if (failure) std::rethrow_exception(failure);
  if constexpr (!std::is_void_v<R>) return std::move(*result);
}

bool IsPicture(uint16_t Format) { return Format == CF_DIB || Format == CF_BITMAP; }

QString FormatMimeType(uint16_t Format) {
  return IsPicture(Format) ? QString::fromLatin1(PGDibMimeType)
                           : QStringLiteral("application/x-quillet-clipboard-%1").arg(Format);
}

TPGBoxAnswer BoxAnswer(int Result, TPGBoxButtons Buttons) {
  switch (Result) {
    case QMessageBox::Ok: return pgaOK;
    case QMessageBox::Cancel: return pgaCancel;
    case QMessageBox::Yes: return pgaYes;
    case QMessageBox::No: return pgaNo;
    default: return Buttons == pgbYesNo ? pgaNo : Buttons == pgbOKCancel ? pgaCancel : pgaOK;
  }
}

void SetButtonCaption(QMessageBox& Box, QMessageBox::StandardButton Button, int Key) {
  // The library's own words follow its language; Qt's stay where it has none.
  const std::string text = LangStr(Key);
  if (QAbstractButton* b = Box.button(Button); b && !text.empty()) b->setText(QString::fromStdString(text));
}

}  // namespace

QString PGBoxText(const std::string& Text) {
  QString text = QString::fromStdString(Text);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

std::unique_ptr<QMessageBox> MakePGWarningBox(const std::string& Text, const std::string& Caption,
                                              TPGBoxButtons Buttons, QWidget* Parent) {
  auto box = std::make_unique<QMessageBox>(Parent);
  box->setIcon(QMessageBox::Warning);
  box->setWindowTitle(QString::fromStdString(Caption));
  // File names with "<" must not turn the text into markup.
  box->setTextFormat(Qt::PlainText);
  box->setText(PGBoxText(Text));
  switch (Buttons) {
    case pgbOK:
      box->setStandardButtons(QMessageBox::Ok);
      box->setEscapeButton(QMessageBox::Ok);
      break;
    case pgbOKCancel:
      box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box->setDefaultButton(QMessageBox::Ok);
      box->setEscapeButton(QMessageBox::Cancel);
      break;
    case pgbYesNo:
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box->setDefaultButton(QMessageBox::Yes);
      box->setEscapeButton(QMessageBox::No);
      break;
  }
  SetButtonCaption(*box, QMessageBox::Ok, 42);
  SetButtonCaption(*box, QMessageBox::Cancel, 43);
  return box;
}

std::vector<uint8_t> QImageToPackedDIB(const QImage& Image) {
  if (Image.isNull()) return {};
  // Sized first, so that a picture too large for the library is refused
  // before Qt converts it.
  TPixelGraphic picture;
  picture.SetSize(Image.width(), Image.height(), 3);
  const bool opaque = Image.format() == QImage::Format_RGB32;
  const QImage source =
      opaque || Image.format() == QImage::Format_ARGB32 ? Image : Image.convertToFormat(QImage::Format_ARGB32);
  if (source.isNull()) throw EPixelGraphic(LangStr1(31, "CreateDIBSection"));
  for (int32_t y = 0; y < picture.GetHeight(); ++y) {
    const QRgb* src = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    uint8_t* dst = picture.ScanLine(y);
    for (int32_t x = 0; x < picture.GetWidth(); ++x, dst += 3) {
      const int alpha = opaque ? 255 : qAlpha(src[x]);
      dst[0] = BlendOver(uint32_t(qBlue(src[x])), uint32_t(alpha), 255);
      dst[1] = BlendOver(uint32_t(qGreen(src[x])), uint32_t(alpha), 255);
      dst[2] = BlendOver(uint32_t(qRed(src[x])), uint32_t(alpha), 255);
    }
  }
  uint16_t format;
  std::vector<uint8_t> data;
  uintptr_t palette;
  picture.SaveToClipboardFormat(format, data, palette);
  return data;
}

TQtPGPrinter::TQtPGPrinter() : FPrinter(QPrinter::HighResolution) {}

TQtPGPrinter::~TQtPGPrinter() = default;

bool TQtPGPrinter::ExecuteDialog(void* Owner) {
  return OnGuiThread([&] {
    QPrintDialog dialog(&FPrinter, static_cast<QWidget*>(Owner));
    return dialog.exec() == QDialog::Accepted;
  });
}

TPrinterOrientation TQtPGPrinter::Orientation() {
  return FPrinter.pageLayout().orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
}

void TQtPGPrinter::SetOrientation(TPrinterOrientation Orientation) {
  FPrinter.setPageOrientation(Orientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void TQtPGPrinter::SetTitle(const std::string& Title) { FPrinter.setDocName(QString::fromStdString(Title)); }

void TQtPGPrinter::BeginDoc() {
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(&FPrinter)) throw EPixelGraphic(LangStr1(31, "BeginDoc"));
  FPainter = std::move(painter);
}

void TQtPGPrinter::EndDoc() {
  if (!FPainter) return;
  const bool ended = FPainter->end();
  FPainter.reset();
  if (!ended) throw EPixelGraphic(LangStr1(31, "EndDoc"));
}

int32_t TQtPGPrinter::PageWidth() { return FPrinter.width(); }

int32_t TQtPGPrinter::PageHeight() { return FPrinter.height(); }

int32_t TQtPGPrinter::AspectX() { return FPrinter.logicalDpiX(); }

int32_t TQtPGPrinter::AspectY() { return FPrinter.logicalDpiY(); }

void TQtPGPrinter::StretchDraw(const TPGRect& Rect, const TPixelGraphic& Graphic) {
  if (!FPainter) throw EPixelGraphic(LangStr1(31, "StretchDraw"));
  Draw(Graphic, *FPainter, QRectF(Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top));
}

TQtPGPlatform::TQtPGPlatform() : FPrevious(SetPGPlatform(this)) {}

TQtPGPlatform::~TQtPGPlatform() { SetPGPlatform(FPrevious); }

TPGBoxAnswer TQtPGPlatform::WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) {
  if (!HasApplication()) return THeadlessPGPlatform::WarningBox(Text, Caption, Buttons);
  return OnGuiThread([&] {
    const auto box = MakePGWarningBox(Text, Caption, Buttons, QApplication::activeWindow());
    return BoxAnswer(box->exec(), Buttons);
  });
}

bool TQtPGPlatform::ClipboardHasFormat(uint16_t Format) {
  if (!HasGuiApplication()) return THeadlessPGPlatform::ClipboardHasFormat(Format);
  return OnGuiThread([&] {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && (data->hasFormat(FormatMimeType(Format)) || (IsPicture(Format) && data->hasImage()));
  });
}

std::vector<uint8_t> TQtPGPlatform::ClipboardData(uint16_t Format) {
  if (!HasGuiApplication()) return THeadlessPGPlatform::ClipboardData(Format);
  return OnGuiThread([&]() -> std::vector<uint8_t> {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) return {};
    if (data->hasFormat(FormatMimeType(Format))) {
      const QByteArray bytes = data->data(FormatMimeType(Format));
      return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    if (IsPicture(Format) && data->hasImage()) return QImageToPackedDIB(qvariant_cast<QImage>(data->imageData()));
    return {};
  });
}

void TQtPGPlatform::SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) {
  if (!HasGuiApplication()) return THeadlessPGPlatform::SetClipboardData(Format, std::move(Data));
  // Built in full first, so that a bitmap that cannot be read leaves the
  // clipboard as it was.
  auto mime = std::make_unique<QMimeData>();
  if (IsPicture(Format)) {
    TPixelGraphic picture;
    picture.LoadFromClipboardFormat(CF_DIB, Data, 0);
    mime->setImageData(PixelGraphicToQImage(picture));
  }
  mime->setData(FormatMimeType(Format), QByteArray(reinterpret_cast<const char*>(Data.data()), qsizetype(Data.size())));
  Data = {};
  OnGuiThread([&] { QGuiApplication::clipboard()->setMimeData(mime.release()); });
}

std::string TQtPGPlatform::ApplicationTitle() { return QGuiApplication::applicationDisplayName().toStdString(); }

TPGPrinter* TQtPGPlatform::Printer() { return QtPrinter(); }

TQtPGPrinter* TQtPGPlatform::QtPrinter() {
  if (!HasApplication()) return nullptr;
  if (!FPrinter) FPrinter = std::make_unique<TQtPGPrinter>();
  return FPrinter.get();
}
