#include "view/transparentcontrols.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

// Records paint events in the order they arrive.
class TPaintLog : public QObject {
public:
  struct TEntry {
    QObject* Widget;
    QRect Area;
  };
  std::vector<TEntry> Paints;

  void Watch(std::initializer_list<QWidget*> Widgets) {
    for (QWidget* w : Widgets) w->installEventFilter(this);
  }
  int Count(QObject* Widget) const {
    int n = 0;
    for (const TEntry& e : Paints) n += e.Widget == Widget;
    return n;
  }

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Paint)
      Paints.push_back({Watched, static_cast<QPaintEvent*>(Event)->region().boundingRect()});
    return false;
  }
};

class TCountingCheckBox : public TPGCheckBox {
public:
  using TPGCheckBox::TPGCheckBox;
  int Requests = 0;
  void Invalidate() override {
    ++Requests;
    TPGCheckBox::Invalidate();
  }
};

void Colour(QWidget& w, QPalette::ColorRole Role, const QColor& c) {
  QPalette p = w.palette();
  p.setColor(Role, c);
  w.setPalette(p);
}

// An opaque red form, shown, with everything pending painted.
struct TForm {
  QWidget Form;
  TForm() {
    Form.resize(240, 160);
    Colour(Form, QPalette::Window, Qt::red);
    Form.setAutoFillBackground(true);
  }
  void Show() {
    Form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Form));
    QApplication::processEvents();
  }
};

}  // namespace

TEST(TransparentControls, CaptionChangeRepaintsBeneathFirstEachOnce) {
  TForm f;
  TPGPanel panel(&f.Form);
  panel.SetBounds(20, 20, 180, 110);
  TPGCheckBox box("Old", &panel);
  box.SetBounds(10, 10, 120, 24);
  f.Show();

  TPaintLog log;
  log.Watch({&f.Form, &panel, &box});
  box.SetCaption("New caption");
  QApplication::processEvents();

  ASSERT_EQ(log.Paints.size(), 3u);
  EXPECT_EQ(log.Paints[0].Widget, &f.Form);
  EXPECT_TRUE(log.Paints[0].Area.contains(panel.geometry()));
  EXPECT_EQ(log.Paints[1].Widget, &panel);
  EXPECT_EQ(log.Paints[2].Widget, &box);
}

TEST(TransparentControls, GroupBoxChildrenAnswerWithoutLoops) {
  TForm f;
  TPGPanel panel(&f.Form);
  panel.SetBounds(10, 10, 220, 140);
  TPGGroupBox group("Group", &panel);
  group.SetBounds(5, 5, 210, 130);
  std::vector<std::unique_ptr<TCountingCheckBox>> boxes;
  for (int i = 0; i < 8; ++i) {
    boxes.push_back(std::make_unique<TCountingCheckBox>(QString("Box %1").arg(i), &group));
    boxes.back()->SetBounds(8 + (i % 2) * 100, 20 + (i / 2) * 26, 95, 24);
  }
  f.Show();
  for (auto& b : boxes) b->Requests = 0;

  TPaintLog log;
  log.Watch({&f.Form, &panel, &group, boxes[0].get(), boxes[7].get()});
  boxes[0]->Invalidate();
  QApplication::processEvents();

  EXPECT_EQ(boxes[0]->Requests, 2);  // its own and the group box's forwarding
  for (size_t i = 1; i < boxes.size(); ++i) EXPECT_EQ(boxes[i]->Requests, 1) << i;
  ASSERT_EQ(log.Paints.size(), 5u);
  EXPECT_EQ(log.Paints[0].Widget, &f.Form);
  EXPECT_EQ(log.Paints[1].Widget, &panel);
  EXPECT_EQ(log.Paints[2].Widget, &group);
}

TEST(TransparentControls, OpaqueControlPaintsItsColourAtOnce) {
  TForm f;
  TPGLabel label("A", &f.Form);
  TPGRadioButton radio("A", &f.Form);
  TPGCheckBox check("A", &f.Form);
  TPGGroupBox group(&f.Form);
  TPGPanel panel(&f.Form);
  struct TControl {
    QWidget* Widget;
    std::function<void(bool)> SetTransparent;
  };
  const std::vector<TControl> controls = {{&label, [&](bool v) { label.SetTransparent(v); }},
                                          {&radio, [&](bool v) { radio.SetTransparent(v); }},
                                          {&check, [&](bool v) { check.SetTransparent(v); }},
                                          {&group, [&](bool v) { group.SetTransparent(v); }},
                                          {&panel, [&](bool v) { panel.SetTransparent(v); }}};
  int y = 4;
  for (const TControl& c : controls) {
    c.Widget->setGeometry(10, y, 200, 28);
    Colour(*c.Widget, QPalette::Window, Qt::green);
    y += 30;
  }
  TPGBevel bevel(&f.Form);
  bevel.SetBounds(215, 4, 20, 20);
  f.Show();

  const auto centreRight = [](QWidget* w) { return w->geometry().center() + QPoint(80, 0); };
  const QImage before = f.Form.grab().toImage();
  EXPECT_EQ(before.pixelColor(bevel.geometry().center()), QColor(Qt::red));

  TPaintLog log;
  for (const TControl& c : controls) {
    EXPECT_EQ(before.pixelColor(centreRight(c.Widget)), QColor(Qt::red)) << c.Widget->metaObject()->className();
    log.Watch({c.Widget});
    c.SetTransparent(false);
    EXPECT_FALSE(IsTransparentControl(c.Widget));
  }
  QApplication::processEvents();
  for (const TControl& c : controls) EXPECT_EQ(log.Count(c.Widget), 1) << c.Widget->metaObject()->className();
  const QImage after = f.Form.grab().toImage();
  for (const TControl& c : controls) {
    EXPECT_EQ(after.pixelColor(centreRight(c.Widget)), QColor(Qt::green)) << c.Widget->metaObject()->className();
  }
}

TEST(TransparentControls, GroupBoxFrameHasGapOnlyForCaption) {
  for (const QString& caption : {QString(), QString("Caption")}) {
    TForm f;
    Colour(f.Form, QPalette::Window, Qt::white);
    TPGGroupBox group(caption, &f.Form);
    Colour(group, QPalette::Dark, Qt::blue);
    Colour(group, QPalette::Light, Qt::yellow);
    Colour(group, QPalette::WindowText, Qt::black);
    group.SetBounds(0, 0, 160, 60);
    QImage image(group.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    group.render(&image);

    const int line = QFontMetrics(group.font()).height() / 2 - 1;
    int gapPixels = 0, textPixels = 0;
    for (int x = 0; x <= 158; ++x) gapPixels += image.pixelColor(x, line) != QColor(Qt::blue);
    for (int y = 0; y < line; ++y)
      for (int x = 0; x < 160; ++x) textPixels += image.pixelColor(x, y) != QColor(Qt::white);
    if (caption.isEmpty()) {
      EXPECT_EQ(gapPixels, 0);
      EXPECT_EQ(textPixels, 0);
    } else {
      EXPECT_GT(gapPixels, 10);
      EXPECT_EQ(image.pixelColor(6, line), QColor(Qt::blue));  // the gap starts at 7
      EXPECT_GT(textPixels, 0);
    }
  }
}
