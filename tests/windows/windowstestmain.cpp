// The window tests need an application object and the Qt platform of the
// library; they run on the offscreen platform so that no display is needed.
#include <gtest/gtest.h>

#include <QApplication>

#include "qtplatform.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillet"));
  TQtPGPlatform platform;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
