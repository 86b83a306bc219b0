#include "viewerwindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include <exception>
#include <functional>

#include "pgfiledialogs.h"
#include "pgimage.h"
#include "screendepth.h"

namespace {

// A menu of mutually exclusive choices, the first of Current checked.
template <typename T>
void ChoiceMenu(QMenu* menu, const std::vector<std::pair<QString, T>>& choices, T current,
                const std::function<void(T)>& apply) {
  auto* group = new QActionGroup(menu);
  for (const auto& [text, value] : choices) {
    QAction* action = menu->addAction(text);
    action->setCheckable(true);
    action->setChecked(value == current);
    group->addAction(action);
    QObject::connect(action, &QAction::triggered, menu, [apply, value = value] { apply(value); });
  }
}

}  // namespace

TViewerWindow::TViewerWindow() : FImage(new TPGImage), FStatus(new QLabel) {
  setWindowTitle("Quillet View");
  setCentralWidget(FImage);
  statusBar()->addWidget(FStatus, 1);
  FImage->SetStretch(sShrinkKAR);
  FImage->SetCenter(true);
  FImage->OnZoomFactorChange = [this](TObject*) { UpdateStatus(); };
  FImage->OnSelectionChange = [this](TObject*) { UpdateStatus(); };
  FImage->OnPixelGraphicChange = [this](TObject*) { UpdateStatus(); };
  BuildMenus();
  // Never larger than the screen, whatever its scale.
  const QScreen* s = screen();
  resize(s ? QSize(900, 650).boundedTo(s->availableGeometry().size() * 4 / 5) : QSize(900, 650));
}

void TViewerWindow::OpenFile(const std::string& FileName) {
  try {
    FImage->SetFileName(FileName);
    setWindowTitle(QString::fromStdString(FileName) + " - Quillet View");
  } catch (const std::exception& e) {
    QMessageBox::critical(this, "Quillet View", QString::fromStdString(e.what()));
  }
  UpdateStatus();
}

void TViewerWindow::UpdateStatus() {
  const TPixelGraphic* g = FImage->PixelGraphicNoWait();
  QString text = g ? QString("%1 x %2, %3 bit").arg(g->GetWidth()).arg(g->GetHeight()).arg(g->BitCount())
                   : QString("no picture");
  const long double zoom = FImage->EffectiveZoom();
  text += zoom < 0 ? QString(", stretched") : QString(", %1 %").arg(double(zoom * 100), 0, 'f', 1);
  if (FImage->Selection())
    text += QString(", selection %1, %2, %3 x %4")
                .arg(FImage->SelectionLeft())
                .arg(FImage->SelectionTop())
                .arg(FImage->SelectionWidth())
                .arg(FImage->SelectionHeight());
  FStatus->setText(text);
}

void TViewerWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("&Open...", QKeySequence::Open, this, [this] {
    TPGOpenDialog dialog(this);
    if (dialog.Execute()) OpenFile(dialog.FileName());
  });
  file->addAction("E&xit", QKeySequence::Quit, this, [this] { close(); });

  QMenu* view = menuBar()->addMenu("&View");
  ChoiceMenu<TStretch>(view->addMenu("&Stretch"),
                       {{"Never (keep aspect)", sNeverKAR},
                        {"Always", sAlways},
                        {"Always, keep aspect", sAlwaysKAR},
                        {"Shrink", sShrink},
                        {"Shrink, keep aspect", sShrinkKAR},
                        {"Enlarge", sEnlarge},
                        {"Enlarge, keep aspect", sEnlargeKAR},
                        {"Always, longer edge", sAlwaysLongerEdgeKAR},
                        {"Shrink, longer edge", sShrinkLongerEdgeKAR},
                        {"Enlarge or shrink, longer edge", sEnlargeShrinkLongerEdgeKAR},
                        {"Enlarge, longer edge", sEnlargeLongerEdgeKAR},
                        {"Zoom", sZoomKAR}},
                       FImage->Stretch(), [this](TStretch s) { FImage->SetStretch(s); });
  view->addAction("Zoom &in", QKeySequence::ZoomIn, this, [this] {
    FImage->SetZoomFactor(FImage->ZoomFactor() * 1.25L);
    FImage->SetStretch(sZoomKAR);
  });
  view->addAction("Zoom &out", QKeySequence::ZoomOut, this, [this] {
    FImage->SetZoomFactor(FImage->ZoomFactor() / 1.25L);
    FImage->SetStretch(sZoomKAR);
  });
  QAction* center = view->addAction("&Center");
  center->setCheckable(true);
  center->setChecked(FImage->Center());
  connect(center, &QAction::toggled, this, [this](bool on) { FImage->SetCenter(on); });
  ChoiceMenu<TTiling>(view->addMenu("&Tiling"),
                      {{"None", tNone},
                       {"Repeat", tRepeat},
                       {"Mirror horizontally", tMirrorHorizontal},
                       {"Mirror vertically", tMirrorVertical},
                       {"Mirror", tMirror}},
                      FImage->Tiling(), [this](TTiling t) { FImage->SetTiling(t); });
  QAction* flipH = view->addAction("Flip &horizontally");
  flipH->setCheckable(true);
  connect(flipH, &QAction::toggled, this, [this](bool on) { FImage->SetFlipHorizontal(on); });
  QAction* flipV = view->addAction("Flip &vertically");
  flipV->setCheckable(true);
  connect(flipV, &QAction::toggled, this, [this](bool on) { FImage->SetFlipVertical(on); });
  ChoiceMenu<TStretchMode>(view->addMenu("&Resampling"),
                           {{"Fast", smFast}, {"Medium", smMedium}, {"Precise", smPrecise}}, FImage->StretchMode(),
                           [this](TStretchMode m) { FImage->SetStretchMode(m); });
  ChoiceMenu<int>(view->addMenu("Screen &depth"),
                  {{"As the screen", 0}, {"1 bit", 1}, {"4 bits", 4}, {"8 bits", 8}, {"24 bits", 24}}, 0,
                  [this](int bits) {
                    SetScreenBitsPerPixel(bits);
                    FImage->DisplayModeChanged();
                  });

  QMenu* mouse = menuBar()->addMenu("&Mouse");
  ChoiceMenu<TActionMode>(mouse,
                          {{"Move picture", amMoveImage},
                           {"Create, move and resize selection", amMoveResizeCreateSelection},
                           {"Move selection", amMoveSelection},
                           {"Move selection or picture", amMoveSelectionMoveImage},
                           {"Nothing", amNone}},
                          FImage->ActionMode(), [this](TActionMode m) { FImage->SetActionMode(m); });
  mouse->addSeparator();
  mouse->addAction("&Remove selection", this, [this] { FImage->SetSelection(false); });
}
