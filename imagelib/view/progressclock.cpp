#include "progressclock.h"

#include <QPainter>

#include <cmath>
#include <numbers>

TPGClockHands ClockHands(QPoint Corner, int Step, int Percent) {
  const long double m = Percent * 2 * std::numbers::pi_v<long double> / 100;
  const long double h = ((Step - 1) * 2 * std::numbers::pi_v<long double> + m) / 12;
  const QPoint centre = Corner + QPoint(7, 7);
  const auto hand = [&](long double angle, int length) {
    return centre + QPoint(int(std::nearbyint(std::sin(angle) * length)), -int(std::nearbyint(std::cos(angle) * length)));
  };
  return {centre, hand(h, 6), hand(m, 7)};
}

std::vector<QPoint> ClockCorners(int Left, int Top, int Right, int Bottom, bool FiveClocks) {
  std::vector<QPoint> corners;
  const int width = Right - Left, height = Bottom - Top;
  if (width > 20 && height > 20) corners.emplace_back(Left + width / 2 - 7, Top + height / 2 - 7);
  if (FiveClocks && width >= 101 && height >= 101) {
    corners.emplace_back(Left + 5, Top + 5);
    corners.emplace_back(Right - 20, Top + 5);
    corners.emplace_back(Left + 5, Bottom - 20);
    corners.emplace_back(Right - 20, Bottom - 20);
  }
  return corners;
}

void DrawProgressClock(QPainter& Painter, QPoint Corner, int Step, int Percent, QColor Background, QColor Line) {
  Painter.save();
  Painter.setRenderHint(QPainter::Antialiasing, true);
  Painter.setPen(Line);
  Painter.setBrush(Background);
  Painter.drawEllipse(QRectF(Corner.x() + 0.5, Corner.y() + 0.5, 15, 15));
  const TPGClockHands hands = ClockHands(Corner, Step, Percent);
  Painter.setRenderHint(QPainter::Antialiasing, false);
  Painter.drawLine(hands.Centre, hands.Hour);
  Painter.drawLine(hands.Centre, hands.Minute);
  Painter.restore();
}
