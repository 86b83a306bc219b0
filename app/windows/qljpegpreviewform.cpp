#include "qljpegpreviewform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "pgimage.h"

TQLJPEGPreviewForm::TQLJPEGPreviewForm(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("QLJPEGPreviewForm"));
  setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
  setSizeGripEnabled(true);
  JPEGPrevPGImage = new TPGImage(this);
  JPEGPrevPGImage->setObjectName(QStringLiteral("JPEGPrevPGImage"));
  JPEGPrevPGImage->SetCenter(true);
  JPEGPrevPGImage->SetStretch(sZoomKAR);
  JPEGPrevPGImage->SetZoomFactor(1.0L);
  WTimeLabel = new QLabel(this);
  RTimeLabel = new QLabel(this);
  FSizeLabel = new QLabel(this);
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* bottom = new QHBoxLayout;
  for (QLabel* l : {WTimeLabel, RTimeLabel, FSizeLabel}) bottom->addWidget(l, 1);
  bottom->addWidget(OKButton);
  auto* form = new QVBoxLayout(this);
  form->addWidget(JPEGPrevPGImage, 1);
  form->addLayout(bottom);
  resize(435, 300);
}
