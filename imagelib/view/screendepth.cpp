#include "screendepth.h"

#include <QGuiApplication>
#include <QScreen>

#include <atomic>

namespace {
std::atomic<int> forced{0};
}

int ScreenBitsPerPixel() {
  if (const int bits = forced.load()) return bits;
  const QScreen* screen = QGuiApplication::primaryScreen();
  // Alpha planes of a 32-bit screen add no colours.
  return screen ? qMin(screen->depth(), 24) : 24;
}

void SetScreenBitsPerPixel(int Bits) { forced.store(Bits); }
