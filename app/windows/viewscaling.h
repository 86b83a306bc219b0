#pragma once
// How a view of the main window scales its picture, chosen by a right-click
// on it or by Ctrl++, Ctrl+- and Ctrl+0 on the view shown, and kept in the
// settings per view.

#include <QObject>
#include <functional>

#include "pgimage.h"
#include "settings.h"

class QMenu;

class TViewScaling : public QObject {
public:
  // Fit and Zoom are the settings the view's choice is kept in.
  TViewScaling(TPGImage& View, TViewFit& Fit, long double& Zoom, std::function<bool()> German);

  // Shows the view as the settings say.
  void Apply();
  void ActualSize();
  void FitShrink();
  void FitEnlarge();
  void ZoomIn();
  void ZoomOut();
  // The right-click menu, in the language of the moment; the caller owns it.
  QMenu* NewMenu(QWidget* Parent);

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
  void Choose(TViewFit Fit, long double Zoom);

  TPGImage& FView;
  TViewFit& FFit;
  long double& FZoom;
  std::function<bool()> FGerman;
};
