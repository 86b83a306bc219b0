// quillet-view [--screen-depth 1|4|8|24] [FILE]: shows a picture in the
// image view of the library.
#include <QApplication>
#include <QCommandLineParser>

#include "qtplatform.h"
#include "quilletversion.h"
#include "quilleticon.h"
#include "screendepth.h"
#include "viewerwindow.h"

int main(int argc, char** argv) {
  if (PrintVersionIfAsked(argc, argv)) return 0;
  QApplication app(argc, argv);
  QApplication::setApplicationName("quillet-view");
  QApplication::setApplicationDisplayName("Quillet View");
  QApplication::setWindowIcon(QuilletIcon());
  QCommandLineParser parser;
  parser.setApplicationDescription("Shows a picture in Quillet's image view.");
  parser.addHelpOption();
  parser.addOption(QCommandLineOption("version", "Show the version."));
  QCommandLineOption depth("screen-depth", "Show pictures as on a screen of 1, 4, 8 or 24 bits per pixel.", "bits");
  parser.addOption(depth);
  parser.addPositionalArgument("file", "The picture to show.");
  parser.process(app);
  if (parser.isSet(depth)) {
    const int bits = parser.value(depth).toInt();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) parser.showHelp(2);
    SetScreenBitsPerPixel(bits);
  }
  TQtPGPlatform platform;
  TViewerWindow window;
  window.show();
  if (!parser.positionalArguments().isEmpty()) window.OpenFile(parser.positionalArguments().first().toStdString());
  return app.exec();
}
