#pragma once
// Captioned controls whose background can be see-through, so that a picture
// or a coloured parent shows behind them.
//
// See-through is Qt's own compositing of non-opaque children: a transparent
// control fills no background, and a repaint request first repaints the
// parent's area beneath it. A control that is not transparent fills its
// background in its colour (the palette's background role).

#include <cstdint>

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

// What the six controls share; lets a control recognise a transparent parent
// or child without knowing its kind.
class TPGTransparentControl {
public:
  virtual ~TPGTransparentControl() = default;
  virtual bool Transparent() const = 0;
  // Repaint request for the control and the parent's area beneath it, up
  // through transparent parents to the first opaque one; the area beneath is
  // painted first.
  virtual void Invalidate() = 0;

protected:
  void InvalidateBeneath(QWidget* Self);
  static void ApplyTransparency(QWidget* Self, bool Transparent);
  // A control's text sits on its window colour in every kind, so that "its
  // colour" means the same for all six.
  static void UseWindowColour(QWidget* Control) { Control->setBackgroundRole(QPalette::Window); }
  bool FInvalidating = false;  // re-entrancy flag of the repaint request
};

// A TPGLabel, TPGCheckBox, TPGRadioButton, TPGGroupBox or TPGPanel whose
// Transparent is true, or any TPGBevel.
bool IsTransparentControl(const QWidget* Control);

// Label, radio button and check box: their caption is their text.
template <class Base>
class TPGTextControl : public Base, public TPGTransparentControl {
public:
  explicit TPGTextControl(QWidget* Parent) : Base(Parent) {
    UseWindowColour(this);
    ApplyTransparency(this, true);
  }
  bool Transparent() const override { return FTransparent; }
  void SetTransparent(bool Value) {
    if (Value == FTransparent) return;
    FTransparent = Value;
    ApplyTransparency(this, Value);
    Invalidate();
  }
  QString Caption() const { return this->text(); }
  void SetCaption(const QString& Value) {
    if (Value == this->text()) return;
    this->setText(Value);
    Invalidate();
  }
  void Invalidate() override {
    this->update();
    InvalidateBeneath(this);
  }
  void SetBounds(int Left, int Top, int Width, int Height) {
    Invalidate();
    this->setGeometry(Left, Top, Width, Height);
  }

private:
  bool FTransparent = true;
};

class TPGLabel : public TPGTextControl<QLabel> {
public:
  explicit TPGLabel(QWidget* Parent = nullptr) : TPGTextControl(Parent) {}
  explicit TPGLabel(const QString& Caption, QWidget* Parent = nullptr) : TPGTextControl(Parent) { setText(Caption); }
};

class TPGRadioButton : public TPGTextControl<QRadioButton> {
public:
  explicit TPGRadioButton(QWidget* Parent = nullptr) : TPGTextControl(Parent) {}
  explicit TPGRadioButton(const QString& Caption, QWidget* Parent = nullptr) : TPGTextControl(Parent) {
    setText(Caption);
  }
};

class TPGCheckBox : public TPGTextControl<QCheckBox> {
public:
  explicit TPGCheckBox(QWidget* Parent = nullptr) : TPGTextControl(Parent) {}
  explicit TPGCheckBox(const QString& Caption, QWidget* Parent = nullptr) : TPGTextControl(Parent) {
    setText(Caption);
  }
};

// Where a group box of Size draws, H being the height of the text "0" and
// CaptionWidth the caption's one-line width (0 without a caption).
struct TGroupBoxGeometry {
  QRect Caption;    // empty without a caption
  QRect Gap;        // kept free of the frame; empty without a caption
  QRect Highlight;  // 3-D: drawn first; flat: the only frame
  QRect Shadow;     // 3-D only: drawn over the highlight, one pixel up and left
};
TGroupBoxGeometry GroupBoxGeometry(QSize Size, int H, int CaptionWidth, bool Ctl3D);

class TPGGroupBox : public QGroupBox, public TPGTransparentControl {
  Q_OBJECT
public:
  explicit TPGGroupBox(QWidget* Parent = nullptr);
  explicit TPGGroupBox(const QString& Caption, QWidget* Parent = nullptr);
  bool Transparent() const override { return FTransparent; }
  void SetTransparent(bool Value);
  QString Caption() const { return title(); }
  void SetCaption(const QString& Value);
  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value);
  // Also repaints every transparent child.
  void Invalidate() override;
  void SetBounds(int Left, int Top, int Width, int Height);

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  bool FTransparent = true;
  bool FCtl3D = true;
};

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TPanelBevel : uint8_t { bvNone, bvLowered, bvRaised };

// The band of Client, TextHeight high, that a panel's caption is centred in.
QRect PanelCaptionRect(const QRect& Client, int TextHeight);
// Client less the outer bevel, the border and the inner bevel.
QRect PanelInnerRect(const QRect& Client, TPanelBevel BevelInner, TPanelBevel BevelOuter, int BevelWidth,
                     int BorderWidth);

class TPGPanel : public QFrame, public TPGTransparentControl {
  Q_OBJECT
public:
  explicit TPGPanel(QWidget* Parent = nullptr);
  bool Transparent() const override { return FTransparent; }
  void SetTransparent(bool Value);
  QString Caption() const { return FCaption; }
  void SetCaption(const QString& Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TPanelBevel BevelInner() const { return FBevelInner; }
  void SetBevelInner(TPanelBevel Value);
  TPanelBevel BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TPanelBevel Value);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int Value);
  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int Value);
  void Invalidate() override;
  void SetBounds(int Left, int Top, int Width, int Height);
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  void PaintRingAndFace(QPainter& Painter);
  void DrawCaption(QPainter& Painter, const QRect& Area);
  void RingChanged();

  bool FTransparent = true;
  QString FCaption;
  TAlignment FAlignment = taCenter;
  TPanelBevel FBevelInner = bvNone;
  TPanelBevel FBevelOuter = bvRaised;
  int FBevelWidth = 1;
  int FBorderWidth = 0;
};

// Always transparent; its shape and shadow are QFrame's (a sunken box unless
// changed).
class TPGBevel : public QFrame, public TPGTransparentControl {
  Q_OBJECT
public:
  explicit TPGBevel(QWidget* Parent = nullptr);
  bool Transparent() const override { return true; }
  void Invalidate() override;
  void SetBounds(int Left, int Top, int Width, int Height);
};
