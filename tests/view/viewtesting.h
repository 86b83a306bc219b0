#pragma once
// Helpers of the view tests.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

// Lets events through until Done holds; false after a generous bound, so a
// fault fails the test instead of hanging it.
inline bool ProcessEventsUntil(const std::function<bool()>& Done) {
  QElapsedTimer timer;
  timer.start();
  while (!Done()) {
    if (timer.elapsed() > 20000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}
