#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>

#include <memory>
#include <string>
#include <vector>

#include "failuremessage.h"
#include "langstr.h"
#include "pgqtgraphic.h"
#include "pixelgraphic.h"
#include "qtplatform.h"
#include "tempdir.h"

namespace {

void Pattern(TPixelGraphic& g, int32_t w, int32_t h, uint8_t n) {
  g.SetSize(w, h, n);
  if (n < 3) g.SetPaletteIdent(pSys16);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      g.SetPixelColor(x, y, n < 3 ? g.PaletteEntries((x + 3 * y) % 16) : RGB(uint32_t(40 * x), uint32_t(60 * y), 7u));
}

std::vector<TRGB> Colors(const TPixelGraphic& g) {
  std::vector<TRGB> colors;
  for (int32_t y = 0; y < g.GetHeight(); ++y)
    for (int32_t x = 0; x < g.GetWidth(); ++x) colors.push_back(g.GetPixelColor(x, y));
  return colors;
}

std::vector<TRGB> Colors(const QImage& image) {
  std::vector<TRGB> colors;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) colors.push_back(FromQRgb(image.pixel(x, y)));
  return colors;
}

}  // namespace

TEST(QtPlatform, WarningBox) {
  EXPECT_EQ(PGBoxText("One.\r\rTwo.\rThree\r\n"), "One.\n\nTwo.\nThree\n");

  const auto box = MakePGWarningBox("Save <b>\r\rnow?", "PNG Warning", pgbOKCancel);
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  EXPECT_EQ(box->windowTitle(), "PNG Warning");
  EXPECT_EQ(box->text(), "Save <b>\n\nnow?");
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);

  SetPGLanguage(1);
  const auto german = MakePGWarningBox("", "", pgbOKCancel);
  SetPGLanguage(0);
  EXPECT_EQ(german->button(QMessageBox::Cancel)->text(), "Abbruch");
  EXPECT_EQ(MakePGWarningBox("", "", pgbYesNo)->standardButtons(), QMessageBox::Yes | QMessageBox::No);
}

TEST(QtPlatform, ClipboardRoundTrip) {
  TQtPGPlatform platform;
  QClipboard* clipboard = QGuiApplication::clipboard();
  for (const uint8_t n : {uint8_t(1), uint8_t(3)}) {
    TPixelGraphic source;
    Pattern(source, 5, 3, n);
    source.CopyToClipboard();
    EXPECT_TRUE(clipboard->mimeData()->hasFormat(PGDibMimeType));
    // What every other program pastes.
    EXPECT_EQ(Colors(clipboard->image()), Colors(source));
    TPixelGraphic pasted;
    pasted.LoadFromClipboard();
    EXPECT_EQ(pasted.BitCountNum(), n);
    EXPECT_EQ(pasted.PaletteCount(), source.PaletteCount());
    EXPECT_EQ(Colors(pasted), Colors(source));
  }

  // Another program's picture, its transparent pixel on white.
  QImage foreign(3, 2, QImage::Format_ARGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) foreign.setPixel(x, y, qRgb(10 * x, 100 + y, 250 - x));
  foreign.setPixel(2, 1, qRgba(0, 0, 0, 0));
  clipboard->setImage(foreign);
  TPixelGraphic pasted;
  pasted.LoadFromClipboard();
  EXPECT_EQ(pasted.BitCountNum(), 3);
  foreign.setPixel(2, 1, qRgb(255, 255, 255));
  EXPECT_EQ(Colors(pasted), Colors(foreign));

  // A damaged bitmap is refused in the library's words and leaves the
  // clipboard as it was.
  EXPECT_NE(Failure([&] { platform.SetClipboardData(CF_DIB, std::vector<uint8_t>(60, 0xFF)); }), "no failure");
  EXPECT_EQ(clipboard->image().size(), QSize(3, 2));
  auto damaged = new QMimeData;
  damaged->setData(PGDibMimeType, QByteArray(41, '\x28'));
  clipboard->setMimeData(damaged);
  EXPECT_NE(Failure([&] { TPixelGraphic().LoadFromClipboard(); }), "no failure");
  clipboard->setImage(QImage());
  EXPECT_EQ(Failure([&] { TPixelGraphic().LoadFromClipboard(); }), "Unknown clipboard format");
  // Refused before Qt converts its pixels, which stay untouched.
  EXPECT_EQ(Failure([&] { QImageToPackedDIB(QImage(30000, 30000, QImage::Format_Mono)); }), "CreateDIBSection failed");
  clipboard->clear();
  EXPECT_FALSE(platform.ClipboardHasFormat(CF_DIB));
}

TEST(QtPlatform, ClipboardFromAnotherThread) {
  TQtPGPlatform platform;
  TPixelGraphic source, pasted;
  Pattern(source, 4, 4, 2);
  // The GUI thread runs its loop meanwhile, as the program's would.
  QEventLoop loop;
  std::unique_ptr<QThread> worker(QThread::create([&] {
    source.CopyToClipboard();
    pasted.LoadFromClipboard();
  }));
  QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
  worker->start();
  loop.exec();
  worker->wait();
  EXPECT_EQ(Colors(pasted), Colors(source));
}

TEST(QtPlatform, PrintsToPdf) {
  TTempDirectory dir;
  QGuiApplication::setApplicationDisplayName("Quillet");
  TQtPGPlatform platform;
  TQtPGPrinter* printer = platform.QtPrinter();
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(PGPlatform().Printer(), printer);
  QPrinter& qprinter = printer->Printer();
  qprinter.setOutputFormat(QPrinter::PdfFormat);
  qprinter.setOutputFileName(QString::fromStdString(dir / "page.pdf"));
  printer->SetOrientation(poLandscape);
  EXPECT_GT(printer->PageWidth(), printer->PageHeight());
  // A4 or Letter across, in inches, less the margins.
  EXPECT_NEAR(double(printer->PageWidth()) / printer->AspectX(), 10.5, 1.5);
  printer->SetOrientation(poPortrait);

  TPixelGraphic g;
  Pattern(g, 40, 20, 1);
  g.PrintGraphic(false, true, nullptr);
  EXPECT_EQ(printer->Orientation(), poPortrait);
  EXPECT_EQ(qprinter.docName(), "Quillet Graphic 40x20x16");
  QFile pdf(QString::fromStdString(dir / "page.pdf"));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QByteArray bytes = pdf.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  EXPECT_TRUE(bytes.contains("/Width 40")) << "the picture is embedded";

  qprinter.setOutputFileName(QString::fromStdString(dir / "missing/page.pdf"));
  EXPECT_EQ(Failure([&] { g.PrintGraphic(false, true, nullptr); }), "BeginDoc failed");
  EXPECT_EQ(printer->Orientation(), poPortrait);
}
