#include "transparentcontrols.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegion>
#include <QStyle>

namespace {

// Clears the re-entrancy flag on every way out of the parent's repaint request.
struct TClearOnExit {
  bool& Flag;
  ~TClearOnExit() { Flag = false; }
};

int MnemonicFlag(const QWidget* Control) {
  return Control->style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, Control) ? Qt::TextShowMnemonic
                                                                                      : Qt::TextHideMnemonic;
}

// One-pixel outline just inside R.
void FrameRect(QPainter& Painter, const QRect& R, const QColor& Colour) {
  if (R.isEmpty()) return;
  Painter.fillRect(QRect(R.left(), R.top(), R.width(), 1), Colour);
  Painter.fillRect(QRect(R.left(), R.bottom(), R.width(), 1), Colour);
  Painter.fillRect(QRect(R.left(), R.top(), 1, R.height()), Colour);
  Painter.fillRect(QRect(R.right(), R.top(), 1, R.height()), Colour);
}

// Width rings inside R, top and left in Top, bottom and right in Bottom (which
// takes both far corners); R shrinks by Width on every side.
void Frame3D(QPainter& Painter, QRect& R, const QColor& Top, const QColor& Bottom, int Width) {
  for (int i = 0; i < Width; ++i) {
    if (!R.isEmpty()) {
      Painter.fillRect(QRect(R.left(), R.top(), R.width() - 1, 1), Top);
      Painter.fillRect(QRect(R.left(), R.top(), 1, R.height() - 1), Top);
      Painter.fillRect(QRect(R.right(), R.top(), 1, R.height()), Bottom);
      Painter.fillRect(QRect(R.left(), R.bottom(), R.width(), 1), Bottom);
    }
    R.adjust(1, 1, -1, -1);
  }
}

int PanelInset(TPanelBevel BevelInner, TPanelBevel BevelOuter, int BevelWidth, int BorderWidth) {
  return (BevelOuter != bvNone ? BevelWidth : 0) + BorderWidth + (BevelInner != bvNone ? BevelWidth : 0);
}

}  // namespace

// ---- shared behaviour -------------------------------------------------------
//
// Qt paints a parent's area before the children over it whatever the order of
// the requests, but it paints an opaque ancestor twice when its request is
// queued before a see-through descendant's. So each control asks for itself
// first and for what lies beneath after.

bool IsTransparentControl(const QWidget* Control) {
  const auto* control = dynamic_cast<const TPGTransparentControl*>(Control);
  return control != nullptr && control->Transparent();
}

void TPGTransparentControl::InvalidateBeneath(QWidget* Self) {
  QWidget* parent = Self->parentWidget();
  if (FInvalidating || parent == nullptr || Self->isWindow()) return;
  if (IsTransparentControl(parent)) {
    FInvalidating = true;
    const TClearOnExit clear{FInvalidating};
    dynamic_cast<TPGTransparentControl*>(parent)->Invalidate();
  } else {
    parent->update(Self->geometry());
  }
}

void TPGTransparentControl::ApplyTransparency(QWidget* Self, bool Transparent) {
  // Qt composites a child that fills nothing over its parent; an auto-filled
  // one counts as opaque and hides what lies beneath.
  Self->setAttribute(Qt::WA_NoSystemBackground, Transparent);
  Self->setAutoFillBackground(!Transparent);
}

// ---- TPGGroupBox ------------------------------------------------------------

TGroupBoxGeometry GroupBoxGeometry(QSize Size, int H, int CaptionWidth, bool Ctl3D) {
  TGroupBoxGeometry g;
  if (CaptionWidth > 0) {
    g.Caption = QRect(8, 0, CaptionWidth, H);
    g.Gap = g.Caption.adjusted(-1, 0, 1, 0);
  }
  const int top = H / 2 - 1;
  const QPoint farCorner(Size.width() - 1, Size.height() - 1);
  if (Ctl3D) {
    g.Highlight = QRect(QPoint(1, top + 1), farCorner);
    g.Shadow = g.Highlight.translated(-1, -1);
  } else {
    g.Highlight = QRect(QPoint(0, top), farCorner);
  }
  return g;
}

TPGGroupBox::TPGGroupBox(QWidget* Parent) : QGroupBox(Parent) {
  UseWindowColour(this);
  ApplyTransparency(this, true);
}

TPGGroupBox::TPGGroupBox(const QString& Caption, QWidget* Parent) : TPGGroupBox(Parent) { setTitle(Caption); }

void TPGGroupBox::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  ApplyTransparency(this, Value);
  Invalidate();
}

void TPGGroupBox::SetCaption(const QString& Value) {
  if (Value == title()) return;
  setTitle(Value);
  Invalidate();
}

void TPGGroupBox::SetCtl3D(bool Value) {
  if (Value == FCtl3D) return;
  FCtl3D = Value;
  Invalidate();
}

void TPGGroupBox::Invalidate() {
  // A child's request reaches here with the flag set; answering it with the
  // own update alone keeps n transparent children at n requests.
  update();
  if (FInvalidating) return;
  {
    FInvalidating = true;
    const TClearOnExit clear{FInvalidating};
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (IsTransparentControl(child)) dynamic_cast<TPGTransparentControl*>(child)->Invalidate();
  }
  InvalidateBeneath(this);
}

void TPGGroupBox::SetBounds(int Left, int Top, int Width, int Height) {
  Invalidate();
  setGeometry(Left, Top, Width, Height);
}

void TPGGroupBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  const QFontMetrics metrics(font());
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | MnemonicFlag(this);
  const QString caption = title();
  const int captionWidth = caption.isEmpty() ? 0 : metrics.size(flags, caption).width();
  const TGroupBoxGeometry g = GroupBoxGeometry(size(), metrics.height(), captionWidth, FCtl3D);
  const QColor colour = palette().color(backgroundRole());

  if (!g.Caption.isEmpty()) {
    if (!FTransparent) painter.fillRect(g.Caption, colour);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(g.Caption, flags, caption);
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(g.Gap)));
  }
  if (!FTransparent) painter.fillRect(rect(), colour);
  if (FCtl3D) {
    FrameRect(painter, g.Highlight, palette().color(QPalette::Light));
    FrameRect(painter, g.Shadow, palette().color(QPalette::Dark));
  } else {
    FrameRect(painter, g.Highlight, palette().color(QPalette::Shadow));
  }
}

// ---- TPGPanel ---------------------------------------------------------------

QRect PanelCaptionRect(const QRect& Client, int TextHeight) {
  const int top = (Client.top() + Client.top() + Client.height() - TextHeight) / 2;
  return QRect(Client.left(), top, Client.width(), TextHeight);
}

QRect PanelInnerRect(const QRect& Client, TPanelBevel BevelInner, TPanelBevel BevelOuter, int BevelWidth,
                     int BorderWidth) {
  const int inset = PanelInset(BevelInner, BevelOuter, BevelWidth, BorderWidth);
  return Client.adjusted(inset, inset, -inset, -inset);
}

TPGPanel::TPGPanel(QWidget* Parent) : QFrame(Parent) {
  setFrameShape(QFrame::NoFrame);
  UseWindowColour(this);
  ApplyTransparency(this, true);
  RingChanged();
}

void TPGPanel::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  ApplyTransparency(this, Value);
  Invalidate();
}

void TPGPanel::SetCaption(const QString& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  updateGeometry();
  Invalidate();
}

void TPGPanel::SetAlignment(TAlignment Value) {
  if (Value == FAlignment) return;
  FAlignment = Value;
  Invalidate();
}

void TPGPanel::SetBevelInner(TPanelBevel Value) {
  if (Value == FBevelInner) return;
  FBevelInner = Value;
  RingChanged();
}

void TPGPanel::SetBevelOuter(TPanelBevel Value) {
  if (Value == FBevelOuter) return;
  FBevelOuter = Value;
  RingChanged();
}

void TPGPanel::SetBevelWidth(int Value) {
  if (Value < 1 || Value == FBevelWidth) return;
  FBevelWidth = Value;
  RingChanged();
}

void TPGPanel::SetBorderWidth(int Value) {
  if (Value < 0 || Value == FBorderWidth) return;
  FBorderWidth = Value;
  RingChanged();
}

void TPGPanel::RingChanged() {
  // Children laid out in the panel stay inside the ring.
  const int inset = PanelInset(FBevelInner, FBevelOuter, FBevelWidth, FBorderWidth);
  setContentsMargins(inset, inset, inset, inset);
  Invalidate();
}

void TPGPanel::Invalidate() {
  update();
  InvalidateBeneath(this);
}

void TPGPanel::SetBounds(int Left, int Top, int Width, int Height) {
  Invalidate();
  setGeometry(Left, Top, Width, Height);
}

QSize TPGPanel::sizeHint() const {
  const QFontMetrics metrics(font());
  const int inset = PanelInset(FBevelInner, FBevelOuter, FBevelWidth, FBorderWidth);
  const QSize text = FCaption.isEmpty()
                         ? QSize(0, metrics.height())
                         : metrics.size(Qt::TextSingleLine | Qt::TextExpandTabs | Qt::TextShowMnemonic, FCaption);
  const QSize own(text.width() + 2 * inset + 2 * metrics.averageCharWidth(),
                  text.height() + 2 * inset + metrics.height() / 2);
  const QSize fromLayout = QFrame::sizeHint();
  return fromLayout.isValid() ? fromLayout.expandedTo(own) : own;
}

void TPGPanel::DrawCaption(QPainter& Painter, const QRect& Area) {
  if (FCaption.isEmpty()) return;
  const QFontMetrics metrics(font());
  int flags = Qt::AlignTop | Qt::TextSingleLine | Qt::TextExpandTabs | MnemonicFlag(this);
  flags |= FAlignment == taLeftJustify ? Qt::AlignLeft : FAlignment == taRightJustify ? Qt::AlignRight : Qt::AlignHCenter;
  Painter.setPen(palette().color(foregroundRole()));
  Painter.drawText(PanelCaptionRect(Area, metrics.height()), flags, FCaption);
}

void TPGPanel::PaintRingAndFace(QPainter& Painter) {
  const QColor light = palette().color(QPalette::Light);
  const QColor dark = palette().color(QPalette::Dark);
  const QColor face = palette().color(backgroundRole());
  QRect r = rect();
  if (FBevelOuter != bvNone)
    Frame3D(Painter, r, FBevelOuter == bvLowered ? dark : light, FBevelOuter == bvLowered ? light : dark, FBevelWidth);
  Frame3D(Painter, r, face, face, FBorderWidth);
  if (FBevelInner != bvNone)
    Frame3D(Painter, r, FBevelInner == bvLowered ? dark : light, FBevelInner == bvLowered ? light : dark, FBevelWidth);
  Painter.fillRect(r, face);
  DrawCaption(Painter, r);
}

void TPGPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  if (FTransparent) {
    // The caption goes straight onto what lies beneath, inside the ring so
    // that the ring cannot cover a left or right aligned caption; the face is
    // then clipped away so that only the ring is painted.
    const QRect inner = PanelInnerRect(rect(), FBevelInner, FBevelOuter, FBevelWidth, FBorderWidth);
    DrawCaption(painter, inner);
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(inner)));
  }
  PaintRingAndFace(painter);
}

// ---- TPGBevel ---------------------------------------------------------------

TPGBevel::TPGBevel(QWidget* Parent) : QFrame(Parent) {
  setFrameShape(QFrame::Box);
  setFrameShadow(QFrame::Sunken);
  ApplyTransparency(this, true);
}

void TPGBevel::Invalidate() {
  update();
  InvalidateBeneath(this);
}

void TPGBevel::SetBounds(int Left, int Top, int Width, int Height) {
  Invalidate();
  setGeometry(Left, Top, Width, Height);
}
