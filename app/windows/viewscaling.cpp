#include "viewscaling.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <algorithm>
#include <memory>

namespace {

constexpr long double ZoomStep = 1.25L;

}  // namespace

TViewScaling::TViewScaling(TPGImage& View, TViewFit& Fit, long double& Zoom, std::function<bool()> German)
    : QObject(&View), FView(View), FFit(Fit), FZoom(Zoom), FGerman(std::move(German)) {
  FView.viewport()->installEventFilter(this);
  FView.PicBox()->installEventFilter(this);
}

void TViewScaling::Apply() {
  FView.SetZoomFactor(std::clamp(FZoom, MinViewZoom, MaxViewZoom));
  FView.SetStretch(FFit == vfShrink ? sShrinkKAR : FFit == vfAlways ? sAlwaysKAR : sZoomKAR);
}

void TViewScaling::Choose(TViewFit Fit, long double Zoom) {
  FFit = Fit;
  FZoom = std::clamp(Zoom, MinViewZoom, MaxViewZoom);
  Apply();
}

void TViewScaling::ActualSize() { Choose(vfZoom, 1.0L); }
void TViewScaling::FitShrink() { Choose(vfShrink, FZoom); }
void TViewScaling::FitEnlarge() { Choose(vfAlways, FZoom); }

// From the scale shown, so that zooming a fitted picture starts where it is.
void TViewScaling::ZoomIn() {
  const long double shown = FView.EffectiveZoom() > 0 ? FView.EffectiveZoom() : FZoom;
  Choose(vfZoom, shown * ZoomStep);
}

void TViewScaling::ZoomOut() {
  const long double shown = FView.EffectiveZoom() > 0 ? FView.EffectiveZoom() : FZoom;
  Choose(vfZoom, shown / ZoomStep);
}

QMenu* TViewScaling::NewMenu(QWidget* Parent) {
  const bool de = FGerman();
  auto* menu = new QMenu(Parent);
  const auto add = [&](const char* german, const char* english, void (TViewScaling::*choose)()) {
    return menu->addAction(QString::fromUtf8(de ? german : english), this, choose);
  };
  const auto choice = [&](const char* german, const char* english, void (TViewScaling::*choose)(), bool chosen) {
    QAction* a = add(german, english, choose);
    a->setCheckable(true);
    a->setChecked(chosen);
  };
  choice("Originalgröße", "Actual size", &TViewScaling::ActualSize, FFit == vfZoom && FZoom == 1.0L);
  menu->actions().back()->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  choice("Einpassen (nur verkleinern)", "Fit (shrink only)", &TViewScaling::FitShrink, FFit == vfShrink);
  choice("Einpassen (auch vergrößern)", "Fit (also enlarge)", &TViewScaling::FitEnlarge, FFit == vfAlways);
  menu->addSeparator();
  add("Vergrößern", "Zoom in", &TViewScaling::ZoomIn)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Plus));
  add("Verkleinern", "Zoom out", &TViewScaling::ZoomOut)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
  return menu;
}

bool TViewScaling::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() != QEvent::ContextMenu) return QObject::eventFilter(Watched, Event);
  const std::unique_ptr<QMenu> menu(NewMenu(&FView));
  menu->exec(static_cast<QContextMenuEvent*>(Event)->globalPos());
  return true;
}
