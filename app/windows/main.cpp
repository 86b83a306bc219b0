// quillet [--screen-depth 1|4|8|24] [FILE]: the main window, opened on FILE.
#include <QApplication>
#include <QCommandLineParser>

#include "langstr.h"
#include "pglibrary.h"
#include "qlmainform.h"
#include "qtplatform.h"
#include "quilletversion.h"
#include "quilleticon.h"
#include "screendepth.h"
#include "settings.h"
#include "settingsstore.h"

int main(int argc, char** argv) {
  if (PrintVersionIfAsked(argc, argv)) return 0;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillet"));
  // Wayland matches the window to its desktop entry and icon by this ID.
  QApplication::setDesktopFileName(QStringLiteral(QUILLET_APP_ID));
  QApplication::setWindowIcon(QuilletIcon());
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Makes pictures smaller."));
  parser.addHelpOption();
  parser.addOption(QCommandLineOption(QStringLiteral("version"), QStringLiteral("Show the version.")));
  const QCommandLineOption depth(QStringLiteral("screen-depth"),
                                 QStringLiteral("Show pictures as on a screen of 1, 4, 8 or 24 bits per pixel."),
                                 QStringLiteral("bits"));
  parser.addOption(depth);
  parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The picture to open as the source."));
  parser.process(app);
  if (parser.isSet(depth)) {
    const int bits = parser.value(depth).toInt();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) parser.showHelp(2);
    SetScreenBitsPerPixel(bits);
  }

  PGLibraryStart();
  const TSettingsStore store(TSettingsStore::UserConfigDir());
  LoadSettings(store, ScreenBitsPerPixel());
  // A failure to open the command-line file already speaks the user's language.
  SetPGLanguage(Language == LanguageGerman ? 1 : 0);
  TQtPGPlatform platform;
  int exitCode;
  {
    const QStringList files = parser.positionalArguments();
    TQLMainForm form(files.isEmpty() ? std::string() : files.first().toStdString());
    form.SetLanguageCaptions();
    form.show();
    exitCode = app.exec();
  }
  SaveSettings(store);
  return exitCode;
}
