#pragma once
// The window of the JPEG test: the decoded test picture with the times of
// writing and reading and the size of the file.

#include <QDialog>

class QLabel;
class QPushButton;
class TPGImage;

class TQLJPEGPreviewForm : public QDialog {
public:
  explicit TQLJPEGPreviewForm(QWidget* Parent);

  TPGImage* JPEGPrevPGImage;
  QLabel* WTimeLabel;
  QLabel* RTimeLabel;
  QLabel* FSizeLabel;
  QPushButton* OKButton;
};
