#include "previewpane.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QVBoxLayout>

#include <cctype>
#include <cmath>
#include <filesystem>

#include "formatregistry.h"
#include "langstr.h"
#include "orientation.h"
#include "pgimagelayout.h"
#include "pgqtgraphic.h"
#include "progressclock.h"
#include "screendepth.h"
#include "threadhandoff.h"

QRectF PreviewDrawRect(const QRect& Client, int W, int H, double Ratio) {
  const int l = Client.left(), t = Client.top(), r = l + Client.width(), b = t + Client.height();
  // The fitting runs in device pixels, the placement in logical ones.
  const int w = DeviceExtent(r - l - 4, Ratio), h = DeviceExtent(b - t - 4, Ratio);
  int width = W, height = H;
  if ((w < W || h < H) && w > 0 && h > 0 && W > 0 && H > 0) {
    const long double e = (long double)w / h, f = (long double)W / H;
    if (e >= f) {
      height = h;
      width = int(std::floor(h * f));
    } else {
      width = w;
      height = int(std::floor(w / f));
    }
  }
  const double dw = width / Ratio, dh = height / Ratio;
  return QRectF(std::floor((l + r - dw) / 2), std::floor((t + b - dh) / 2), dw, dh);
}

std::string PreviewSizeLine(const TFileFormatInfo& Info) {
  std::string line = std::to_string(Info.Width) + "x" + std::to_string(Info.Height) + "x" + Info.ColorCount + " " +
                     std::to_string(Info.BitCount) + " " + LangStr(24);
  if (Info.ImageCount > 1) line += ", " + std::to_string(Info.ImageCount);
  return line;
}

std::vector<std::string> PreviewInfoLines(const TFileFormatInfo& Info) {
  std::vector<std::string> lines;
  for (const std::string& s : {Info.FormatDescription, Info.SubFormat, Info.Details, PreviewSizeLine(Info)})
    if (!s.empty()) lines.push_back(s);
  // The name alone: with its caption it would not fit the line.
  if (Info.Orientation != oTopLeft) {
    std::string name = OrientationName(Info.Orientation);
    name[0] = char(std::toupper(static_cast<unsigned char>(name[0])));
    lines.push_back(name);
  }
  return lines;
}

TPGPreviewArea::TPGPreviewArea(TPGPreviewPane& Pane) : QWidget(&Pane), FPane(Pane) {
  // Every pixel is painted, and the picture must not flicker on updates.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPGPreviewArea::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const int l = 0, t = 0, r = width(), b = height();
  p.fillRect(QRect(l + 2, t + 2, r - l - 4, b - t - 4), pal.color(QPalette::Button));
  const auto line = [&](QColor c, int x1, int y1, int x2, int y2) {
    p.setPen(c);
    p.drawLine(x1, y1, x2, y2);
  };
  line(pal.color(QPalette::Dark), l, b - 2, l, t);
  line(pal.color(QPalette::Dark), l, t, r - 2, t);
  line(pal.color(QPalette::Shadow), l + 1, b - 3, l + 1, t + 1);
  line(pal.color(QPalette::Shadow), l + 1, t + 1, r - 3, t + 1);
  line(pal.color(QPalette::Light), l, b - 1, r - 1, b - 1);
  line(pal.color(QPalette::Light), r - 1, b - 1, r - 1, t);
  line(pal.color(QPalette::Button), l + 1, b - 2, r - 2, b - 2);
  line(pal.color(QPalette::Button), r - 2, b - 2, r - 2, t + 1);
  p.setClipRect(QRect(l + 2, t + 2, r - l - 4, b - t - 4));
  if (const TPixelGraphic* preview = FPane.Preview()) {
    Draw(*preview, p, PreviewDrawRect(rect(), preview->GetWidth(), preview->GetHeight(), devicePixelRatioF()));
  } else if (FPane.ClockStage() > 0 && FPane.Settings().ProgressClockVisible) {
    const QPoint corner(l + (r - l) / 2 - 8, t + (b - t) / 2 - 8);
    DrawProgressClock(p, corner, FPane.ClockStage(), FPane.ClockPercent(), FPane.Settings().ProgressClockBkColor,
                      FPane.Settings().ProgressClockLineColor);
  }
}

TPGInfoArea::TPGInfoArea(TPGPreviewPane& Pane) : QWidget(&Pane), FPane(Pane) {}

void TPGInfoArea::paintEvent(QPaintEvent*) {
  if (!FPane.Settings().ShowInfo || !FPane.InfoValid()) return;
  const std::vector<std::string> lines = PreviewInfoLines(FPane.Info());
  QPainter p(this);
  p.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics fm(font());
  const int n = int(lines.size());
  for (int k = 0; k < n; ++k) {
    const QString text = fm.elidedText(QString::fromStdString(lines[size_t(k)]), Qt::ElideRight, width());
    p.drawText(QRect(0, k * height() / n, width(), fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
  }
}

TPGPreviewPane::TPGPreviewPane(const TPGPreviewSettings& Settings, QWidget* Parent)
    : QWidget(Parent),
      FSettings(Settings),
      FPreviewArea(new TPGPreviewArea(*this)),
      FInfoArea(new TPGInfoArea(*this)),
      FThread(std::make_unique<TCreateOpenSaveDialogPaintPGThread>()) {
  // Dialog units of the font, so that the pane grows with it as the
  // standard controls do.
  const QFontMetrics fm(font());
  const auto dx = [&](int units) { return int(std::lround(units * fm.averageCharWidth() / 4.0)); };
  const auto dy = [&](int units) { return int(std::lround(units * fm.height() / 8.0)); };
  // Our font is wider than the one the units were chosen for; the lines
  // of the common formats should fit without being cut.
  const int width = std::max(dx(92), 30 * fm.averageCharWidth());
  FPreviewArea->setFixedSize(width, dy(85));
  // Room for the orientation of a photo below the four common lines.
  FInfoArea->setFixedSize(width, std::max(dy(33), 5 * fm.height()));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(dx(4), 0, 0, 0);
  layout->setSpacing(dy(5));
  layout->addWidget(FPreviewArea);
  layout->addWidget(FInfoArea);
  layout->addStretch(1);
  FTimer.setSingleShot(true);
  FTimer.setInterval(PreviewDelay);
  QObject::connect(&FTimer, &QTimer::timeout, this, [this] { PreviewTimerTimer(); });
}

TPGPreviewPane::~TPGPreviewPane() {
  FTimer.stop();
  StopPreview();
}

void TPGPreviewPane::StopPreview() {
  FThread->Stop();
  // What the stopped thread posted before it saw the request is no longer wanted.
  QCoreApplication::removePostedEvents(this, TPGPreviewReadyEvent::Kind);
  QCoreApplication::removePostedEvents(this, TPGPreviewProgressEvent::Kind);
  FClockStage = FClockPercent = 0;
  FPreview.reset();
}

void TPGPreviewPane::Stop() {
  FTimer.stop();
  StopPreview();
  update();
}

void TPGPreviewPane::SelectionChanged(const std::string& Path) {
  FTimer.stop();
  StopPreview();
  FPath = Path;
  FInfoValid = false;
  FPreviewArea->update();
  FInfoArea->update();
  FTimer.start();
}

void TPGPreviewPane::PreviewTimerTimer() {
  FTimer.stop();
  StopPreview();
  std::error_code ec;
  FInfoValid = std::filesystem::is_regular_file(FPath, ec) && GetFileFormatInfo(FPath, 0, FInfo);
  FPreviewArea->update();
  FInfoArea->update();
  std::string all;
  if (FInfoValid)
    for (const std::string& line : PreviewInfoLines(FInfo)) all += (all.empty() ? "" : "\n") + line;
  // A cut line can still be read in full.
  FInfoArea->setToolTip(QString::fromStdString(all));
  if (!FInfoValid) return;
  const double ratio = FPreviewArea->devicePixelRatioF();
  FThread = std::make_unique<TCreateOpenSaveDialogPaintPGThread>(
      FPath, this, DeviceExtent(FPreviewArea->width() - 4, ratio), DeviceExtent(FPreviewArea->height() - 4, ratio),
      FSettings.StretchMode, FSettings.Palette24, FSettings.Palette8, ScreenBitsPerPixel());
  FThread->start();
}

bool TPGPreviewPane::event(QEvent* e) {
  ReceiveFromOtherThread();
  if (e->type() == TPGPreviewReadyEvent::Kind) {
    FPreview = static_cast<TPGPreviewReadyEvent*>(e)->TakePreview();
    FClockStage = 0;
    FPreviewArea->update();
    return true;
  }
  if (e->type() == TPGPreviewProgressEvent::Kind) {
    if (!FPreview) {
      const auto* progress = static_cast<TPGPreviewProgressEvent*>(e);
      FClockStage = progress->Stage();
      FClockPercent = progress->Percent();
      const QPoint centre = FPreviewArea->rect().center();
      FPreviewArea->update(QRect(centre - QPoint(9, 9), QSize(18, 18)));
    }
    return true;
  }
  return QWidget::event(e);
}
