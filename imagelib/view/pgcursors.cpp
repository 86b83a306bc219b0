#include "pgcursors.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

// White shapes with a black outline read on any picture.
QCursor Drawn(const std::function<void(QPainterPath&)>& shape, int hotX, int hotY) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath path;
  shape(path);
  p.setPen(QPen(Qt::black, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::white);
  p.drawPath(path);
  p.end();
  return QCursor(pixmap, hotX, hotY);
}

void Hand(QPainterPath& path, bool closed) {
  const int fingerTop = closed ? 12 : 5;
  path.setFillRule(Qt::WindingFill);
  for (int i = 0; i < 4; ++i) path.addRoundedRect(QRectF(9.5 + 3.5 * i, fingerTop + (i == 0 || i == 3 ? 2 : 0), 3.5, 13), 1.7, 1.7);
  path.addRoundedRect(QRectF(9.5, 14.5, 14, 10), 3, 3);
  if (!closed) path.addRoundedRect(QRectF(5.5, 12.5, 7, 3.5), 1.7, 1.7);
}

}  // namespace

QCursor PanCursor() {
  static const QCursor cursor = Drawn([](QPainterPath& p) { Hand(p, false); }, 16, 16);
  return cursor;
}

QCursor GrabCursor() {
  static const QCursor cursor = Drawn([](QPainterPath& p) { Hand(p, true); }, 16, 16);
  return cursor;
}

QCursor CreateSelectionCursor() {
  static const QCursor cursor = Drawn(
      [](QPainterPath& p) {
        p.setFillRule(Qt::WindingFill);
        p.addRect(QRectF(14.5, 3.5, 3, 26));
        p.addRect(QRectF(3.5, 14.5, 26, 3));
        p.addRect(QRectF(19.5, 19.5, 9, 9));
      },
      16, 16);
  return cursor;
}

QCursor MoveSelectionCursor() {
  static const QCursor cursor = Drawn(
      [](QPainterPath& p) {
        const QPointF c(16, 16);
        // One arrow pointing up, turned four times.
        const QPolygonF arrow({{16, 2}, {21, 8}, {17.5, 8}, {17.5, 14.5}, {14.5, 14.5}, {14.5, 8}, {11, 8}});
        p.setFillRule(Qt::WindingFill);
        for (int turn = 0; turn < 4; ++turn) {
          QTransform t;
          t.translate(c.x(), c.y());
          t.rotate(90 * turn);
          t.translate(-c.x(), -c.y());
          p.addPolygon(t.map(arrow));
          p.closeSubpath();
        }
      },
      16, 16);
  return cursor;
}
