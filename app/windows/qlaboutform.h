#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about box: names the program and its version. Created once and shown
// modally whenever the user asks for it.
class TQLAboutForm : public QDialog {
public:
  explicit TQLAboutForm(QWidget* Parent = nullptr);

  // Runs on every showing: the product line and the centred button.
  void FormShow();

  QLabel* Image1;
  QLabel* PNameLabel;
  QPushButton* OKButton;

protected:
  void showEvent(QShowEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
};

// Left edge that centres a button of ButtonWidth in ClientWidth.
int CenteredLeft(int ClientWidth, int ButtonWidth);
