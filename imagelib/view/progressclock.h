#pragma once
// The little clocks an image view shows while its display copy is being
// prepared: the hour hand counts work steps, the minute hand percent.

#include <QColor>
#include <QPoint>
#include <QRect>

#include <vector>

class QPainter;

struct TPGClockHands {
  QPoint Centre, Hour, Minute;
};
// Hands of the clock whose 16 x 16 square starts at Corner.
TPGClockHands ClockHands(QPoint Corner, int Step, int Percent);
// Corners of the clocks for the displayed rectangle R (exclusive right and
// bottom): none, one in the middle, or that one and one in each corner.
std::vector<QPoint> ClockCorners(int Left, int Top, int Right, int Bottom, bool FiveClocks);
void DrawProgressClock(QPainter& Painter, QPoint Corner, int Step, int Percent, QColor Background, QColor Line);
