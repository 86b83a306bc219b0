#pragma once
// quillet-view's window: one image view with a menu for each of its display
// rules, so they can be tried on any picture.

#include <QMainWindow>

#include <string>

class QActionGroup;
class QLabel;
class TPGImage;

class TViewerWindow : public QMainWindow {
public:
  TViewerWindow();
  // Shows the error in a box and keeps the window empty on failure.
  void OpenFile(const std::string& FileName);

private:
  void BuildMenus();
  void UpdateStatus();

  TPGImage* FImage;
  QLabel* FStatus;
};
