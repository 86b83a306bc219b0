#include "pgimage.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

#include <stdexcept>

#include "displaycopyrule.h"
#include "langstr.h"
#include "pgcursors.h"
#include "pgexceptions.h"
#include "pgqtgraphic.h"
#include "progressclock.h"
#include "screendepth.h"
#include "threadhandoff.h"

namespace {

QRect ToQRect(const TPGRect& r) { return QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1)); }

bool SelectionMode(TActionMode m) {
  return m == amMoveResizeCreateSelection || m == amMoveSelection || m == amMoveSelectionMoveImage;
}

}  // namespace

TPicBox::TPicBox(TPGImage& View) : QWidget(nullptr), FView(View) {
  // The view paints the picture beneath; the box adds only the selection.
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
  setMouseTracking(true);
}

void TPicBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  FView.PaintSelection(p);
  p.end();
  if (FView.PicBoxOnPaint) FView.PicBoxOnPaint(&FView);
}

void TPicBox::mousePressEvent(QMouseEvent* e) {
  FView.PicBoxMouseDown(e);
  if (FView.PicBoxOnMouseDown)
    FView.PicBoxOnMouseDown(&FView, e->button(), e->modifiers(), e->position().toPoint().x(), e->position().toPoint().y());
}

void TPicBox::mouseMoveEvent(QMouseEvent* e) {
  FView.PicBoxMouseMove(e);
  if (FView.PicBoxOnMouseMove)
    FView.PicBoxOnMouseMove(&FView, e->modifiers(), e->position().toPoint().x(), e->position().toPoint().y());
}

void TPicBox::mouseReleaseEvent(QMouseEvent* e) {
  FView.PicBoxMouseUp(e);
  const QPoint pos = e->position().toPoint();
  if (FView.PicBoxOnMouseUp) FView.PicBoxOnMouseUp(&FView, e->button(), e->modifiers(), pos.x(), pos.y());
  if (FView.PicBoxOnClick && e->button() == Qt::LeftButton && rect().contains(pos)) FView.PicBoxOnClick(&FView);
}

void TPicBox::mouseDoubleClickEvent(QMouseEvent* e) {
  FView.PicBoxMouseDown(e);
  if (FView.PicBoxOnDblClick) FView.PicBoxOnDblClick(&FView);
}

TPGImage::TPGImage(QWidget* Parent)
    : QScrollArea(Parent), FThread(std::make_unique<TCreatePaintPGThread>()), FContent(new QWidget), FPicBox(new TPicBox(*this)) {
  setWidgetResizable(false);
  setWidget(FContent);
  // Painting covers the whole client area; the content only carries the box.
  FContent->setAutoFillBackground(false);
  FContent->setAttribute(Qt::WA_NoSystemBackground);
  FContent->setMouseTracking(true);
  FContent->resize(0, 0);
  FPicBox->setParent(FContent);
  FPicBox->setGeometry(0, 0, 0, 0);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  const QPalette pal = palette();
  FColor = pal.color(QPalette::Window);
  FPicBoxColor = FColor;
  FPicBoxFrameColor = pal.color(QPalette::Dark);
  FProgressClockBkColor = pal.color(QPalette::Button);
  FProgressClockLineColor = pal.color(QPalette::Dark);
  FOutlineTimer.setInterval(50);
  QObject::connect(&FOutlineTimer, &QTimer::timeout, [this] { OutlineTimerTick(); });
  FAutoScrollTimer.setInterval(50);
  QObject::connect(&FAutoScrollTimer, &QTimer::timeout, [this] { AutoScrollTimerTick(); });
  QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, this, [this] { DisplayModeChanged(); });
  resize(100, 100);
}

TPGImage::~TPGImage() {
  FThread->Stop();
  // Copies still on their way are freed with their events.
  QCoreApplication::removePostedEvents(this, TPGDisplayCopyEvent::Kind);
}

// ---- Picture ownership -------------------------------------------------

TPixelGraphic* TPGImage::PixelGraphic() {
  StopThread();
  return FPixelGraphic.get();
}

void TPGImage::StopThread() { FThread->Stop(); }

void TPGImage::FreeDisplayCopyUnlessKept() {
  if (!(FKeepOldPaintPixelGraphic && FUseThread)) FPaintPixelGraphic.reset();
}

void TPGImage::TakePicture(std::unique_ptr<TPixelGraphic> Graphic) {
  StopThread();
  FPixelGraphic.reset();
  FreeDisplayCopyUnlessKept();
  FPixelGraphic = std::move(Graphic);
  HookPicture();
  PictureChanged();
}

void TPGImage::AssignPixelGraphic(const TPixelGraphic* Graphic) {
  std::unique_ptr<TPixelGraphic> copy;
  if (Graphic) {
    copy = std::make_unique<TPixelGraphic>();
    copy->Assign(Graphic);
  }
  TakePicture(std::move(copy));
}

void TPGImage::SetPixelGraphic(std::unique_ptr<TPixelGraphic> Graphic) { TakePicture(std::move(Graphic)); }

void TPGImage::HookPicture() {
  if (!FPixelGraphic) return;
  FPixelGraphic->OnChange = [this](TObject*) { PictureChanged(); };
  FPixelGraphic->OnProgress = [this](TObject* Sender, int Step, int Max, bool& Abort) {
    if (OnPixelGraphicProgress) OnPixelGraphicProgress(Sender, Step, Max, Abort);
  };
  FPixelGraphic->OnProgressStart = [this](TObject* Sender) {
    if (OnPixelGraphicProgressStart) OnPixelGraphicProgressStart(Sender);
  };
  FPixelGraphic->OnProgressEnd = [this](TObject* Sender) {
    if (OnPixelGraphicProgressEnd) OnPixelGraphicProgressEnd(Sender);
  };
}

void TPGImage::SetFileName(const std::string& Name) {
  struct TWaitCursor {
    bool on;
    explicit TWaitCursor(bool show) : on(show) {
      if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TWaitCursor() {
      if (on) QApplication::restoreOverrideCursor();
    }
  } wait(FShowHourGlass);
  StopThread();
  FPixelGraphic.reset();
  FPaintPixelGraphic.reset();
  FFileName.clear();
  struct TChangedGuard {
    TPGImage* view;
    ~TChangedGuard() { view->PictureChanged(); }
  } changed{this};
  if (Name.find_first_not_of(' ') == std::string::npos) return;
  auto graphic = std::make_unique<TPixelGraphic>();
  graphic->SetReadWarningAction(FReadWarningAction);
  graphic->SetBackGroundColor(FBackGroundColor);
  graphic->LoadFromFile(Name);
  FPixelGraphic = std::move(graphic);
  HookPicture();
  FFileName = Name;
}

void TPGImage::SaveToFile(const std::string& Name) {
  FFileName.clear();
  TPixelGraphic* picture = PixelGraphic();
  if (!picture) throw EPGEmpty(LangStr1(16, "PixelGraphic"));
  picture->SetSaveColorResWarningAction(FSaveColorResWarningAction);
  picture->SaveToFile(Name);
  FFileName = Name;
}

void TPGImage::PictureChanged() {
  StopThread();
  // A copy of the old picture must never arrive after this.
  QCoreApplication::removePostedEvents(this, TPGDisplayCopyEvent::Kind);
  FPicWidth = FPixelGraphic ? FPixelGraphic->GetWidth() : 0;
  FPicHeight = FPixelGraphic ? FPixelGraphic->GetHeight() : 0;
  const double ratio = devicePixelRatioF();
  const TPGSize automatic =
      AutomaticSize({LogicalExtent(FPicWidth, ratio), LogicalExtent(FPicHeight, ratio)}, BorderWidth(),
                    ScrollBarHeight(), ScrollBarWidth(), FAutoSizeBounds);
  if (OnNewAutoSize) OnNewAutoSize(this, automatic.Width, automatic.Height);
  FStale = true;
  if (FAutoSize && (automatic.Width != width() || automatic.Height != height())) resize(automatic.Width, automatic.Height);
  Rearrange(false);
  if (OnPixelGraphicChange) OnPixelGraphicChange(this);
}

// ---- Layout ----------------------------------------------------------------

int32_t TPGImage::BorderWidth() const { return frameWidth(); }

int32_t TPGImage::ScrollBarHeight() const {
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, horizontalScrollBar());
}

int32_t TPGImage::ScrollBarWidth() const {
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
}

TPGSize TPGImage::AreaSize() const { return {width() - 2 * BorderWidth(), height() - 2 * BorderWidth()}; }

void TPGImage::Rearrange(bool Force) {
  if (FRearranging) return;
  FRearranging = true;
  struct TGuard {
    bool& flag;
    ~TGuard() { flag = false; }
  } guard{FRearranging};
  const TPGSize area = AreaSize();
  const int32_t sh = ScrollBarHeight(), sv = ScrollBarWidth();
  const double ratio = devicePixelRatioF();
  const TPGDisplayedSize d =
      DisplayedSize(FStretch, {FPicWidth, FPicHeight},
                    {DeviceExtent(area.Width, ratio), DeviceExtent(area.Height, ratio)}, DeviceExtent(sh, ratio),
                    DeviceExtent(sv, ratio), FZoomFactor);
  if (d.Zoom != FEffectiveZoom) {
    FEffectiveZoom = d.Zoom;
    if (OnZoomFactorChange) OnZoomFactorChange(this);
  }
  const TPGSize shown{LogicalExtent(d.Size.Width, ratio), LogicalExtent(d.Size.Height, ratio)};
  const TPGCentring c = Centring(shown, area, sh, sv);
  const int32_t left = FCenter ? c.Left : 0, top = FCenter ? c.Top : 0;
  const TPGRect rect{left, top, left + shown.Width, top + shown.Height};
  QScrollBar* hbar = horizontalScrollBar();
  QScrollBar* vbar = verticalScrollBar();
  const bool scrollRight = FCenter ? hbar->value() == c.ScrollX && vbar->value() == c.ScrollY
                                   : hbar->value() == 0 && vbar->value() == 0;
  if (rect == FPicRect && d.Size == FDisplayed && scrollRight && !Force && !FRearrangeAlways) {
    viewport()->update();
    return;
  }
  hbar->setValue(0);
  vbar->setValue(0);
  FPicRect = rect;
  FDisplayed = d.Size;
  FContent->resize(rect.Right, rect.Bottom);
  FPicBox->setGeometry(rect.Left, rect.Top, shown.Width, shown.Height);
  // The scroll area adjusts its ranges only when the content's resize event
  // arrives, which a hidden view defers; the centring needs them now.
  hbar->setRange(0, std::max(0, rect.Right - c.Client.Width));
  hbar->setPageStep(c.Client.Width);
  vbar->setRange(0, std::max(0, rect.Bottom - c.Client.Height));
  vbar->setPageStep(c.Client.Height);
  if (FCenter) {
    hbar->setValue(c.ScrollX);
    vbar->setValue(c.ScrollY);
  }
  viewport()->update();
}

void TPGImage::resizeEvent(QResizeEvent* e) {
  QScrollArea::resizeEvent(e);
  if (!FRearranging) Rearrange(false);
}

void TPGImage::scrollContentsBy(int dx, int dy) {
  // Picture, bands and box move together: shift what is painted and repaint
  // only what comes into view.
  viewport()->scroll(dx, dy);
}

void TPGImage::SetStretch(TStretch v) {
  if (v == FStretch) return;
  FStretch = v;
  Rearrange(true);
}

void TPGImage::SetCenter(bool v) {
  if (v == FCenter) return;
  FCenter = v;
  Rearrange(true);
}

void TPGImage::SetZoomFactor(long double v) {
  if (v == FZoomFactor) return;
  FZoomFactor = v;
  Rearrange(true);
}

void TPGImage::SetTiling(TTiling v) {
  if (v == FTiling) return;
  FTiling = v;
  viewport()->update();
}

void TPGImage::SetFlipHorizontal(bool v) {
  if (v == FFlipHorizontal) return;
  FFlipHorizontal = v;
  viewport()->update();
}

void TPGImage::SetFlipVertical(bool v) {
  if (v == FFlipVertical) return;
  FFlipVertical = v;
  viewport()->update();
}

void TPGImage::SetAutoSize(bool v) {
  if (v == FAutoSize) return;
  FAutoSize = v;
  if (v) PictureChanged();
}

void TPGImage::SetAutoSizeBounds(const TPGAutoSizeBounds& v) {
  FAutoSizeBounds = v;
  if (FAutoSize) PictureChanged();
}

// ---- Display copy ------------------------------------------------------

void TPGImage::SetStretchMode(TStretchMode v) {
  if (v == FStretchMode) return;
  FStretchMode = v;
  PictureChanged();
}

void TPGImage::SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic v) {
  if (!InPalette8BitSys24BitGraphic(v)) throw std::invalid_argument("Palette8BitSys24BitGraphic");
  if (v == FPalette8BitSys24BitGraphic) return;
  FPalette8BitSys24BitGraphic = v;
  PictureChanged();
}

void TPGImage::SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic v) {
  if (!InPalette8BitSys8BitGraphic(v)) throw std::invalid_argument("Palette8BitSys8BitGraphic");
  if (v == FPalette8BitSys8BitGraphic) return;
  FPalette8BitSys8BitGraphic = v;
  PictureChanged();
}

void TPGImage::SetUseThread(bool v) {
  if (v == FUseThread) return;
  StopThread();
  QCoreApplication::removePostedEvents(this, TPGDisplayCopyEvent::Kind);
  FUseThread = v;
  FStale = true;
  viewport()->update();
}

void TPGImage::DisplayModeChanged() {
  StopThread();
  QCoreApplication::removePostedEvents(this, TPGDisplayCopyEvent::Kind);
  FStale = true;
  viewport()->update();
}

bool TPGImage::NeedsDisplayCopy() {
  TPGDisplayCopyQuestion q;
  q.ScreenBits = ScreenBitsPerPixel();
  q.PictureBits = FPixelGraphic ? FPixelGraphic->BitCount() : 0;
  q.PictureIdent = FPixelGraphic ? FPixelGraphic->PaletteIdent() : pNone;
  q.StretchMode = FStretchMode;
  q.ReduceOnLoad = FReduceOnLoad;
  q.StaleFlag = FStale;
  // The picture's own size: a reduced copy that replaced the picture has the
  // displayed size.
  if (FPixelGraphic) q.Picture = {FPixelGraphic->GetWidth(), FPixelGraphic->GetHeight()};
  q.Displayed = FDisplayed;
  q.LastCopy = FLastCopySize;
  q.Palette8BitSys8BitGraphic = FPalette8BitSys8BitGraphic;
  const TPGDisplayCopyAnswer a = DisplayCopyNeeded(q);
  if (((a.Stale && !(FKeepOldPaintPixelGraphic && FUseThread)) || !a.Needed) && FPaintPixelGraphic) {
    StopThread();
    FPaintPixelGraphic.reset();
  }
  if (!a.Needed || (!a.Stale && (FPaintPixelGraphic || !FThread->Cancelled()))) return a.Needed;
  StartPreparation(a.Resized);
  return a.Needed;
}

void TPGImage::StartPreparation(bool Resized) {
  StopThread();
  FreeDisplayCopyUnlessKept();
  FStep = 1;
  FPercent = 0;
  try {
    const int b = ScreenBitsPerPixel();
    const TPGSize displayed = FDisplayed;
    const bool resampleFirst = DisplayCopyResamplesFirst(b, FAllow24BitStretch, Resized, FPalette8BitSys24BitGraphic);
    std::unique_ptr<TPixelGraphic> help;
    if (resampleFirst) {
      help = std::make_unique<TPixelGraphic>();
      help->SetStretchMode(FStretchMode);
      try {
        help->SetSize(displayed.Width, displayed.Height, 3);
      } catch (const EPixelGraphic&) {
        help->SetSize(1, 1, 3);
      }
    }
    const TPixelGraphic& source = help ? *help : *FPixelGraphic;
    const TPGDisplayCopyFormat format =
        DisplayCopyFormat(b, source.BitCount(), FPalette8BitSys24BitGraphic, FPalette8BitSys8BitGraphic);
    auto copy = std::make_unique<TPixelGraphic>();
    const TPGSize size = FStretchMode != smFast ? displayed : TPGSize{FPixelGraphic->GetWidth(), FPixelGraphic->GetHeight()};
    try {
      copy->SetSize(size.Width, size.Height, format.BitCountNum);
      FLastCopySize = size;
    } catch (const EPixelGraphic&) {
      copy->SetSize(1, 1, format.BitCountNum);
      FLastCopySize = {1, 1};
    }
    if (format.Palette != pNone) copy->SetPaletteIdent(format.Palette);
    if (format.SourcePalette) copy->AssignPalette(source);
    copy->SetStretchMode(FStretchMode);
    copy->SetDither(FDither);
    copy->SetDitherErrorLimit(FDitherErrorLimit);
    copy->SetDitherErrorLimitAuto(FDitherErrorLimitAuto);
    copy->SetDitherErrorLimitSoft(FDitherErrorLimitSoft);
    copy->SetRGBWeighting(FRGBWeighting);
    FThread = std::make_unique<TCreatePaintPGThread>(
        FPixelGraphic.get(), std::move(help), std::move(copy), resampleFirst, format.Optimized, FUseThread, this,
        [this](std::unique_ptr<TPixelGraphic> c) { ReceiveDisplayCopy(std::move(c)); });
    FStale = false;
    if (FUseThread)
      FThread->start(QThread::LowPriority);
    else
      FThread->RunNow();
  } catch (...) {
    // The view then shows what it has.
  }
}

void TPGImage::ReceiveDisplayCopy(std::unique_ptr<TPixelGraphic> Copy) {
  if (!Copy) return;
  if (FReduceOnLoad) {
    FPixelGraphic = std::move(Copy);
    FPaintPixelGraphic.reset();
    HookPicture();
  } else {
    FPaintPixelGraphic = std::move(Copy);
  }
  viewport()->update();
}

bool TPGImage::event(QEvent* e) {
  ReceiveFromOtherThread();
  if (e->type() == TPGDisplayCopyEvent::Kind) {
    ReceiveDisplayCopy(static_cast<TPGDisplayCopyEvent*>(e)->TakeCopy());
    return true;
  }
  if (e->type() == TPGDisplayProgressEvent::Kind) {
    const auto* progress = static_cast<TPGDisplayProgressEvent*>(e);
    FStep = progress->Step();
    FPercent = progress->Percent();
    viewport()->update();
    return true;
  }
  return QScrollArea::event(e);
}

const QList<QRgb>* TPGImage::RealizationPalette() {
  const TPixelGraphic* drawn = NeedsDisplayCopy() ? FPaintPixelGraphic.get() : FPixelGraphic.get();
  if (!drawn) return nullptr;
  const TPaletteIdent ident = drawn->PaletteIdent();
  if (ident == pBlackWhite || ident == pSysGray4 || ident == pSys16) return nullptr;
  return GetPalette(*drawn);
}

// ---- Painting --------------------------------------------------------------

void TPGImage::paintEvent(QPaintEvent* e) {
  if (OnPainting) OnPainting(this);
  struct TPaintedGuard {
    TPGImage* view;
    ~TPaintedGuard() {
      if (view->OnPaint) view->OnPaint(view);
    }
  } painted{this};
  QPainter p(viewport());
  PaintPicture(p, e->rect());
}

void TPGImage::PaintPicture(QPainter& p, const QRect& clip) {
  const QPoint origin = FContent->pos();
  const QRect r = QRect(FPicRect.Left, FPicRect.Top, FPicRect.Right - FPicRect.Left, FPicRect.Bottom - FPicRect.Top)
                      .translated(origin);
  // The picture's exact extent; r rounds it up to whole logical pixels.
  const double ratio = devicePixelRatioF();
  const QRectF exact(r.left(), r.top(), FDisplayed.Width / ratio, FDisplayed.Height / ratio);
  const TPixelGraphic* graphic = NeedsDisplayCopy() ? FPaintPixelGraphic.get() : FPixelGraphic.get();
  const bool nothing = !graphic || graphic->GetWidth() <= 0 || graphic->GetHeight() <= 0;
  const QRect client = viewport()->rect();
  if (FTiling == tNone || nothing) {
    // Beneath the picture's last partial logical pixel too; the picture covers its part.
    const QRegion bands = QRegion(client) - QRegion(QRect(r.left(), r.top(), int(exact.width()), int(exact.height())));
    for (const QRect& band : bands) p.fillRect(band, FColor);
  }
  if (nothing) {
    if (r.width() > 0 && r.height() > 0) {
      p.fillRect(r, FPicBoxColor);
      p.setPen(FPicBoxFrameColor);
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    if (FProgressClockVisible)
      for (const QPoint& corner : ClockCorners(r.left(), r.top(), r.left() + r.width(), r.top() + r.height(), FProgress5Clocks))
        DrawProgressClock(p, corner, FStep, FPercent, FProgressClockBkColor, FProgressClockLineColor);
    return;
  }
  if (r.width() <= 0 || r.height() <= 0) return;
  // Tiles follow one another in device pixels, without seams at any ratio.
  TPGTileRange columns, rows;
  if (FTiling != tNone) {
    columns = TileRange(DeviceExtent(r.left(), ratio), FDisplayed.Width, DeviceExtent(client.width(), ratio));
    rows = TileRange(DeviceExtent(r.top(), ratio), FDisplayed.Height, DeviceExtent(client.height(), ratio));
  }
  for (int32_t j = rows.First; j <= rows.Last; ++j)
    for (int32_t i = columns.First; i <= columns.Last; ++i) {
      const QRectF tile = exact.translated(i * exact.width(), j * exact.height());
      if (!tile.intersects(QRectF(clip))) continue;
      Draw(*graphic, p, tile, TileMirrored(FFlipHorizontal, FTiling, true, i),
           TileMirrored(FFlipVertical, FTiling, false, j));
    }
}

void TPGImage::SetColor(const QColor& v) {
  FColor = v;
  viewport()->update();
}

void TPGImage::SetPicBoxColor(const QColor& v) {
  FPicBoxColor = v;
  viewport()->update();
}

void TPGImage::SetPicBoxFrameColor(const QColor& v) {
  FPicBoxFrameColor = v;
  viewport()->update();
}

void TPGImage::SetPicBoxCursor(const QCursor& v) {
  FPicBoxCursor = v;
  FPicBox->setCursor(v);
}

void TPGImage::SetProgressClockVisible(bool v) {
  FProgressClockVisible = v;
  viewport()->update();
}

void TPGImage::SetProgress5Clocks(bool v) {
  FProgress5Clocks = v;
  viewport()->update();
}

void TPGImage::SetProgressClockBkColor(const QColor& v) {
  FProgressClockBkColor = v;
  viewport()->update();
}

void TPGImage::SetProgressClockLineColor(const QColor& v) {
  FProgressClockLineColor = v;
  viewport()->update();
}

// ---- Selection ---------------------------------------------------------

TPGScale TPGImage::Scale() const {
  return {FPicWidth, FPicHeight, FPicRect.Right - FPicRect.Left, FPicRect.Bottom - FPicRect.Top};
}

TPGRect TPGImage::DisplayedSelectionRect() const { return DisplayedSelection(FSel, Scale()); }

void TPGImage::SetActionMode(TActionMode v) {
  if (v == FActionMode) return;
  FActionMode = v;
  FPicBox->update();
}

void TPGImage::SetSelection(bool v) {
  if (v == FSelection) return;
  FSelection = v;
  if (v)
    FOutlineTimer.start();
  else
    FOutlineTimer.stop();
  FPicBox->update();
  if (OnSelectionChange) OnSelectionChange(this);
}

void TPGImage::SetSelectionRect(int32_t Left, int32_t Top, int32_t Height, int32_t Width) {
  const TPGSelectionRect next{Left, Top, Width, Height};
  if (next == FSel) return;
  if (FSelection) InvalidateSelectionBand(DisplayedSelectionRect());
  FSel = next;
  if (FSelection) InvalidateSelectionBand(DisplayedSelectionRect());
  if (OnSelectionChange) OnSelectionChange(this);
  if (FSelection) FPicBox->repaint();
}

void TPGImage::InvalidateSelectionBand(const TPGRect& r) {
  const int m = FActionMode == amMoveResizeCreateSelection ? 8 : 1;
  const QRect outer = ToQRect({r.Left - m, r.Top - m, r.Right + m, r.Bottom + m});
  const QRect inner = ToQRect({r.Left + m, r.Top + m, r.Right - m, r.Bottom - m});
  FPicBox->update(QRegion(outer) - QRegion(inner));
}

void TPGImage::SetSelectionColor1(TRGB v) {
  if (v == FSelectionColor1) return;
  FSelectionColor1 = v;
  FStripeBrushesBuilt = false;
}

void TPGImage::SetSelectionColor2(TRGB v) {
  if (v == FSelectionColor2) return;
  FSelectionColor2 = v;
  FStripeBrushesBuilt = false;
}

const QBrush& TPGImage::StripeBrush(int i) {
  if (!FStripeBrushesBuilt) {
    for (int b = 0; b < 8; ++b) {
      QImage pattern(8, 8, QImage::Format_RGB32);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          pattern.setPixel(x, y, ToQRgb(StripeSecondColor(x, y, b) ? FSelectionColor2 : FSelectionColor1));
      FStripeBrushes[size_t(b)] = QBrush(pattern);
    }
    FStripeBrushesBuilt = true;
  }
  return FStripeBrushes[size_t(i)];
}

void TPGImage::PaintSelection(QPainter& p) {
  if (!FSelection) return;
  const TPGRect d = DisplayedSelectionRect();
  const QBrush& brush = StripeBrush((((FPhase + d.Left + d.Top) % 8) + 8) % 8);
  p.setBrushOrigin(0, 0);
  const auto frame = [&](const TPGRect& r) {
    const int w = r.Right - r.Left, h = r.Bottom - r.Top;
    if (w <= 0 || h <= 0) return;
    p.fillRect(r.Left, r.Top, w, 1, brush);
    p.fillRect(r.Left, r.Bottom - 1, w, 1, brush);
    p.fillRect(r.Left, r.Top, 1, h, brush);
    p.fillRect(r.Right - 1, r.Top, 1, h, brush);
  };
  frame({d.Left - 1, d.Top - 1, d.Right + 1, d.Bottom + 1});
  if (FActionMode == amMoveResizeCreateSelection)
    for (int h = 0; h < HandleCount; ++h) frame(HandleRect(TPGHandle(h), d));
}

void TPGImage::OutlineTimerTick() {
  FPhase = (FPhase + 1) % 8;
  if (FSelection) InvalidateSelectionBand(DisplayedSelectionRect());
}

bool TPGImage::CanPan() const {
  const TPGCentring c = Centring({FPicRect.Right - FPicRect.Left, FPicRect.Bottom - FPicRect.Top}, AreaSize(),
                                 ScrollBarHeight(), ScrollBarWidth());
  const bool wider = FPicRect.Right > c.Client.Width && horizontalScrollBar()->maximum() > 0;
  const bool taller = FPicRect.Bottom > c.Client.Height && verticalScrollBar()->maximum() > 0;
  return wider || taller;
}

void TPGImage::PicBoxMouseDown(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const QPoint d = e->position().toPoint();
  const TPGScale s = Scale();
  const int32_t px = DisplayedToPicture(d.x(), s.DisplayedWidth, s.PictureWidth);
  const int32_t py = DisplayedToPicture(d.y(), s.DisplayedHeight, s.PictureHeight);
  const TPGRect shown = DisplayedSelectionRect();
  if (SelectionMode(FActionMode) && FSelection && PointInRect(shown, d.x(), d.y())) {
    FDragMode = dmMove;
    FOffsetX = px - FSel.Left;
    FOffsetY = py - FSel.Top;
  } else if (FActionMode == amMoveImage || FActionMode == amMoveSelectionMoveImage) {
    if (!CanPan()) return;
    FDragMode = dmPan;
    FDragStart = e->globalPosition().toPoint();
  } else if (FActionMode == amMoveResizeCreateSelection) {
    FDragMode = dmCreate;
    if (FSelection)
      for (int h = 0; h < HandleCount; ++h)
        if (PointInRect(HandleRect(TPGHandle(h), shown), d.x(), d.y())) {
          FDragMode = dmResize;
          FDragHandle = TPGHandle(h);
          FOffsetX = HandleOnLeft(FDragHandle) ? px - FSel.Left : HandleOnRight(FDragHandle) ? px - FSel.Width : 0;
          FOffsetY = HandleOnTop(FDragHandle) ? py - FSel.Top : HandleOnBottom(FDragHandle) ? py - FSel.Height : 0;
          break;
        }
    if (FDragMode == dmCreate) {
      SetSelection(true);
      FAnchorX = px;
      FAnchorY = py;
      SetSelectionRect(px, py, 1, 1);
    }
  } else {
    return;
  }
  if (FDragMode != dmPan) FAutoScrollTimer.start();
  UpdateCursor(d);
}

void TPGImage::PicBoxMouseMove(QMouseEvent* e) {
  const QPoint d = e->position().toPoint();
  const TPGScale s = Scale();
  const int32_t px = DisplayedToPicture(d.x(), s.DisplayedWidth, s.PictureWidth);
  const int32_t py = DisplayedToPicture(d.y(), s.DisplayedHeight, s.PictureHeight);
  TPGSelectionRect next = FSel;
  switch (FDragMode) {
    case dmNone: break;
    case dmCreate: next = SpanSelection(FAnchorX, FAnchorY, px, py); break;
    case dmResize: next = ResizeSelection(FSel, FDragHandle, px, py, FOffsetX, FOffsetY); break;
    case dmMove: next = MoveSelection(FSel, px, py, FOffsetX, FOffsetY, FPicWidth, FPicHeight); break;
    case dmPan: {
      const QPoint g = e->globalPosition().toPoint();
      QScrollBar* hbar = horizontalScrollBar();
      QScrollBar* vbar = verticalScrollBar();
      const int oldX = hbar->value(), oldY = vbar->value();
      hbar->setValue(oldX + FDragStart.x() - g.x());
      vbar->setValue(oldY + FDragStart.y() - g.y());
      FDragStart -= QPoint(hbar->value() - oldX, vbar->value() - oldY);
      viewport()->repaint();
      break;
    }
  }
  if (FDragMode != dmNone && FDragMode != dmPan) SetSelectionRect(next.Left, next.Top, next.Height, next.Width);
  // A drag moves the box under the pointer only while panning.
  UpdateCursor(FDragMode == dmPan ? FPicBox->mapFromGlobal(e->globalPosition().toPoint()) : d);
}

void TPGImage::PicBoxMouseUp(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || FDragMode == dmNone) return;
  const TDragMode ended = FDragMode;
  FDragMode = dmNone;
  FAutoScrollTimer.stop();
  if (ended != dmPan) {
    SetSelection(true);
    if (OnSelectionMade) OnSelectionMade(this);
  }
  UpdateCursor(e->position().toPoint());
}

void TPGImage::AutoScrollTimerTick() {
  const QPoint pointer = viewport()->mapFromGlobal(QCursor::pos());
  QScrollBar* hbar = horizontalScrollBar();
  QScrollBar* vbar = verticalScrollBar();
  if (pointer.x() < 0) hbar->setValue(std::max(0, hbar->value() - 5));
  if (pointer.x() > viewport()->width()) hbar->setValue(std::min(hbar->maximum(), hbar->value() + 5));
  if (pointer.y() < 0) vbar->setValue(std::max(0, vbar->value() - 5));
  if (pointer.y() > viewport()->height()) vbar->setValue(std::min(vbar->maximum(), vbar->value() + 5));
}

void TPGImage::UpdateCursor(QPoint d) {
  QCursor cursor = FPicBoxCursor;
  if ((FActionMode == amMoveImage || FActionMode == amMoveSelectionMoveImage) && CanPan())
    cursor = FDragMode == dmPan ? GrabCursor() : PanCursor();
  if (FActionMode == amMoveResizeCreateSelection) cursor = CreateSelectionCursor();
  const TPGRect shown = DisplayedSelectionRect();
  if (SelectionMode(FActionMode) && FSelection && PointInRect(shown, d.x(), d.y())) cursor = MoveSelectionCursor();
  if (FActionMode == amMoveResizeCreateSelection && FSelection) {
    static constexpr Qt::CursorShape shapes[HandleCount] = {Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor,
                                                            Qt::SizeHorCursor,   Qt::SizeHorCursor, Qt::SizeBDiagCursor,
                                                            Qt::SizeVerCursor,   Qt::SizeFDiagCursor};
    for (int h = 0; h < HandleCount; ++h)
      if (PointInRect(HandleRect(TPGHandle(h), shown), d.x(), d.y())) cursor = QCursor(shapes[h]);
  }
  if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cursor);
  FPicBox->setCursor(cursor);
}

bool TPGImage::viewportEvent(QEvent* e) {
  if (e->type() == QEvent::MouseMove || e->type() == QEvent::Enter) {
    QCursor cursor(Qt::ArrowCursor);
    if (OnSetCursor) OnSetCursor(this, cursor);
    viewport()->setCursor(cursor);
  }
  return QScrollArea::viewportEvent(e);
}
