#include "qlaboutform.h"

#include <algorithm>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "quilleticon.h"
#include "quilletversion.h"

namespace {

const QString ProductLine = QString::fromLatin1(QuilletVersionLine);
constexpr int Margin = 16;
constexpr int IconSize = 32;

}  // namespace

int CenteredLeft(int ClientWidth, int ButtonWidth) { return (ClientWidth - ButtonWidth) / 2; }

TQLAboutForm::TQLAboutForm(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("QLAboutForm"));
  // The same in every language.
  setWindowTitle(QStringLiteral("Info"));
  setModal(true);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  // Drawn from the icon size made for the screen's pixels, not an enlarged small one.
  Image1->setPixmap(QuilletIcon().pixmap(QSize(IconSize, IconSize), devicePixelRatioF()));
  Image1->setGeometry(Margin, Margin, IconSize, IconSize);

  PNameLabel = new QLabel(ProductLine, this);
  PNameLabel->setObjectName(QStringLiteral("PNameLabel"));
  QFont font = PNameLabel->font();
  font.setBold(true);
  PNameLabel->setFont(font);
  const QSize text = QFontMetrics(font).size(0, ProductLine);
  const int textLeft = Margin + IconSize + Margin;
  PNameLabel->setGeometry(textLeft, Margin + (IconSize - text.height()) / 2, text.width() + 4, text.height());

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  OKButton->setAutoDefault(true);
  OKButton->resize(std::max(OKButton->sizeHint().width(), 88), OKButton->sizeHint().height());
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  // Room for the text at any font, the button below the icon row.
  const int width = std::max(280, textLeft + PNameLabel->width() + 2 * Margin);
  const int buttonTop = Margin + IconSize + Margin + 4;
  OKButton->move(0, buttonTop);
  setFixedSize(width, buttonTop + OKButton->height() + Margin);
}

void TQLAboutForm::FormShow() {
  PNameLabel->setText(ProductLine);
  OKButton->move(CenteredLeft(width(), OKButton->width()), OKButton->y());
}

void TQLAboutForm::showEvent(QShowEvent* Event) {
  // Centred on the screen, not over the main window as a dialog would be.
  if (const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  FormShow();
  QDialog::showEvent(Event);
}

void TQLAboutForm::keyPressEvent(QKeyEvent* Event) {
  // Escape presses the one button, so the box always closes with OK.
  if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
    OKButton->click();
    return;
  }
  QDialog::keyPressEvent(Event);
}
