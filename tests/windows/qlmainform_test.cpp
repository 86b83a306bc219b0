#include "qlmainform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "exifblock.h"
#include "formatoptions.h"
#include "langstr.h"
#include "pgimage.h"
#include "settings.h"
#include "settingsstore.h"
#include "statuspanels.h"
#include "tempdir.h"
#include "viewscaling.h"
#include "testpictures.h"

namespace {

// Answers the next message box with Button and keeps its text.
struct TBoxAnswer {
  QString Text;
  bool Shown = false;
  QObject Context;  // no answer comes after this object is gone
  explicit TBoxAnswer(QMessageBox::StandardButton Button) {
    QTimer::singleShot(0, &Context, [this, Button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      Shown = true;
      Text = box->text();
      QTest::mouseClick(box->button(Button), Qt::LeftButton);
    });
  }
};

// Shown when its page is.
bool Shown(const TQLMainForm& f, const QWidget* w) { return w->isVisibleTo(f.ResultTabSheet); }

class MainForm : public ::testing::Test {
protected:
  void SetUp() override {
    SetApplicationDefaults();
    Language = LanguageEnglish;
    ScreenBitCountNum = 3;
    MemWarning = 1000;
    QGuiApplication::clipboard()->clear();
  }

  // A 24-bit picture of random colours, or one with a palette of n entries.
  std::string Picture(const std::string& name, int32_t w, int32_t h, int32_t paletteEntries = 0) {
    TPixelGraphic g;
    FillRandom(g, w, h, 7);
    if (paletteEntries > 0) {
      std::mt19937 random(3);
      g.SetSize(w, h, paletteEntries <= 16 ? 1 : 2);
      RandomPalette(g, paletteEntries, random);
      RandomPixels(g, random);
    }
    const std::string path = Dir / name;
    g.SaveToFile(path);
    return path;
  }

  std::unique_ptr<TQLMainForm> NewForm(const std::string& file = std::string()) {
    auto form = std::make_unique<TQLMainForm>(file);
    form->SetLanguageCaptions();
    form->show();
    QApplication::setActiveWindow(form.get());
    return form;
  }

  static void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }

  static void Choose(QComboBox* list, const QString& item) {
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < list->count() && list->currentText() != item; ++i) QTest::keyClick(list, Qt::Key_Down);
  }

  static const TPixelGraphic* Result(TQLMainForm& f) { return f.ResultPGImage->PixelGraphicNoWait(); }

  TTempDirectory Dir;
};

TEST_F(MainForm, StartsWithoutSourceAllResultControlsOff) {
  auto f = NewForm();
  EXPECT_EQ(f->windowTitle(), "Quillet");
  EXPECT_EQ(f->PageControl->currentWidget(), f->SourceTabSheet);
  EXPECT_TRUE(f->SourceOpenBitBtn->isEnabled());
  for (QWidget* w : std::initializer_list<QWidget*>{
           f->SourceLoadFromClipboardBitBtn, f->Result1BitRB, f->ResultPalette8BitComboBox, f->Result24BitRB,
           f->ResultWidthPercentEdit, f->ResultHeightPixelsEdit, f->ResultKeepAspectRatioCB, f->SharpenTrackBar,
           f->ResultStretchModeFastRB, f->NoBorderRB, f->ResultSaveToFileAsBitBtn, f->ResultSaveToClipboardBitBtn})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  for (QAction* a : {f->FileSaveAsMainMenuItem, f->CopyMenuItem, f->FilePrintSourceMainMenuItem,
                     f->FilePrintResultMainMenuItem, f->PasteMenuItem})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_TRUE(f->Result24BitRB->isChecked());
  EXPECT_FALSE(Shown(*f, f->ResultDitheringCB) || Shown(*f, f->ResultRGBWeightingCB));
  EXPECT_EQ(f->ResultWidthPercentEdit->text(), "50");
  EXPECT_EQ(f->ResultPalette8BitComboBox->count(), 0);
  EXPECT_EQ(f->SourceSizeLabel->text(), "");
  EXPECT_EQ(f->SharpenPercentLabel->text(), "50%");
  EXPECT_FALSE(f->Acc1->menuAction()->isVisible());
  EXPECT_EQ(f->AltBackAcc->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Backspace));
  // The state and percent panels hold their longest texts whole.
  const QFontMetrics metrics = f->StatusBar->fontMetrics();
  EXPECT_GT(f->StatusBar->PanelRect(0).width(), metrics.horizontalAdvance("ABGEBROCHEN") + 4);
  EXPECT_GT(f->StatusBar->PanelRect(1).width(), metrics.horizontalAdvance("100%") + 4);
}

TEST_F(MainForm, ComesBackWhereItWasInsideTheScreen) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  WindowLeft = screen.right() + 500;
  WindowTop = screen.top() + 10;
  WindowWidth = 640;
  WindowHeight = 480;
  auto f = NewForm();
  EXPECT_TRUE(screen.contains(f->geometry())) << f->x() << "," << f->y();
  EXPECT_EQ(f->width(), 640);
  f->resize(700, 500);
  f->close();
  EXPECT_EQ(WindowWidth, 700);
  EXPECT_EQ(WindowHeight, 500);
  EXPECT_FALSE(WindowMaximized);
}

TEST_F(MainForm, EachViewKeepsItsScaling) {
  auto f = NewForm(Picture("a.bmp", 400, 300));
  EXPECT_EQ(f->SourcePGImage->Stretch(), sZoomKAR);
  EXPECT_EQ(f->SourcePGImage->ZoomFactor(), 1.0L);
  // The keys act on the view shown.
  QTest::keyClick(f.get(), Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(f->SourcePGImage->ZoomFactor(), 1.25L);
  EXPECT_EQ(SourceViewZoom, 1.25L);
  EXPECT_EQ(ResultViewZoom, 1.0L);
  QTest::keyClick(f.get(), Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(f->SourcePGImage->ZoomFactor(), 1.0L);
  // The right-click menu, in the window's language.
  Language = LanguageGerman;
  std::unique_ptr<QMenu> menu(f->SourceScaling->NewMenu(f.get()));
  QStringList texts;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"Originalgröße", "Einpassen (nur verkleinern)", "Einpassen (auch vergrößern)",
                                "Vergrößern", "Verkleinern"}));
  EXPECT_TRUE(menu->actions()[0]->isChecked());
  menu->actions()[1]->trigger();
  EXPECT_EQ(f->SourcePGImage->Stretch(), sShrinkKAR);
  EXPECT_EQ(SourceViewFit, vfShrink);
  EXPECT_EQ(ResultViewFit, vfZoom);
  // A new window starts as the views were left.
  auto again = NewForm();
  EXPECT_EQ(again->SourcePGImage->Stretch(), sShrinkKAR);
  EXPECT_EQ(again->ResultPGImage->Stretch(), sZoomKAR);
}

TEST_F(MainForm, ShortcutsOfOtherProgramsLeaveTheEditFieldsTheirOwn) {
  auto f = NewForm(Picture("a.bmp", 40, 30));
  f->ThreadStartTimerTimer();
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  f->SharpenTrackBar->setFocus();
  QTest::keyClick(f->SharpenTrackBar, Qt::Key_C, Qt::ControlModifier);
  EXPECT_FALSE(clipboard->image().isNull());
  EXPECT_EQ(clipboard->image().width(), 20);
  // In an edit field Ctrl+C copies its text.
  f->ResultWidthPercentEdit->setFocus();
  f->ResultWidthPercentEdit->selectAll();
  QTest::keyClick(f->ResultWidthPercentEdit, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard->text(), "50");
  for (auto [action, key] : {std::pair{f->FileOpenMainMenuItem, "Ctrl+O"}, {f->FileSaveAsMainMenuItem, "Ctrl+S"},
                             {f->FilePrintResultMainMenuItem, "Ctrl+P"}, {f->EndMainMenuItem, "Ctrl+Q"},
                             {f->CopyMenuItem, "Ctrl+Shift+C"}, {f->PasteMenuItem, "Ctrl+Shift+V"},
                             {f->HilfeInhaltMenuItem, "F1"}})
    EXPECT_EQ(action->shortcut().toString(), key) << action->objectName().toStdString();
}

TEST_F(MainForm, HelpThatNoBrowserOpensIsReportedWithItsPath) {
  std::ofstream(Dir / "QuilletE.html") << "<html></html>";
  ::HelpFileEnglish = Dir / "QuilletE.hlp";
  std::ofstream(Dir / "xdg-open") << "#!/bin/sh\nexit 3\n";
  std::filesystem::permissions(Dir / "xdg-open", std::filesystem::perms::owner_all);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QByteArray::fromStdString(Dir.Path) + ":" + path);
  auto f = NewForm();
  QString text;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      text = box->text();
      box->accept();
    }
  });
  answer.start(10);
  f->HilfeInhaltMenuItem->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !text.isEmpty(); }, 10000));
  qputenv("PATH", path);
  EXPECT_TRUE(text.contains(QString::fromStdString(Dir / "QuilletE.html"))) << text.toStdString();
}

TEST_F(MainForm, OpenFillsInfoAndSizesThatFollowEachOther) {
  const std::string file = Picture("a.bmp", 640, 480);
  auto f = NewForm(file);
  EXPECT_EQ(f->windowTitle().toStdString(), "Quillet [" + std::filesystem::canonical(file).string() + "]");
  EXPECT_EQ(f->SourceSizeLabel->text(), "Width: 640; Height: 480");
  EXPECT_EQ(f->SourceColorLabel->text(), "Bits per pixel: 24; Max. colors: 16777216");
  EXPECT_EQ(OpenDir, Dir.Path);
  EXPECT_TRUE(f->ResultWidthPixelsEdit->isEnabled() && f->FilePrintSourceMainMenuItem->isEnabled());
  EXPECT_EQ(f->ResultWidthPixelsEdit->text(), "320");
  EXPECT_EQ(f->ResultHeightPixelsEdit->text(), "240");
  EXPECT_EQ(f->StatusBar->PanelText(0), "WAITING");
  EXPECT_TRUE(f->ThreadStartTimer->isActive());

  Type(f->ResultWidthPixelsEdit, "100");
  EXPECT_EQ(f->ResultWidthPixelsEdit->text(), "100");
  EXPECT_EQ(f->ResultWidthPercentEdit->text(), "15.63");
  EXPECT_EQ(f->ResultHeightPercentEdit->text(), "15.63");
  EXPECT_EQ(f->ResultHeightPixelsEdit->text(), "75");

  Type(f->ResultWidthPercentEdit, "abc");
  EXPECT_EQ(f->ResultWidthPercentEdit->text(), "0");
  EXPECT_EQ(f->ResultWidthPercentEdit->selectedText(), "0");
  EXPECT_EQ(f->ResultWidthPixelsEdit->text(), "0");

  QTest::mouseClick(f->ResultKeepAspectRatioCB, Qt::LeftButton);
  EXPECT_FALSE(KeepAspectRatio);
  Type(f->ResultWidthPercentEdit, "50");
  EXPECT_EQ(f->ResultWidthPixelsEdit->text(), "320");
  EXPECT_EQ(f->ResultHeightPixelsEdit->text(), "0");

  // Halving 201 x 151 can drop the last column; 200 x 150 has none to drop.
  f->OpenSourceFile(Picture("odd.bmp", 201, 151));
  Type(f->ResultHeightPercentEdit, "50");
  EXPECT_EQ(f->ResultWidthPixelsEdit->text(), "100");
  EXPECT_TRUE(Shown(*f, f->InterferenceCB));
  f->OpenSourceFile(Picture("even.bmp", 200, 150));
  EXPECT_FALSE(Shown(*f, f->InterferenceCB));
}

TEST_F(MainForm, LanguageSwitchChangesCaptionsAndKeepsTheChosenRow) {
  auto f = NewForm(Picture("a.bmp", 40, 30));
  EXPECT_EQ(f->SourceOpenBitBtn->text(), "O&pen file...");
  Choose(f->ResultPalette8BitComboBox, "Gray 256");
  EXPECT_TRUE(f->Result8BitRB->isChecked());
  EXPECT_EQ(Selection, 12);

  Language = LanguageGerman;
  f->SetLanguageCaptions();
  EXPECT_EQ(f->SourceOpenBitBtn->text(), "Datei &öffnen...");
  EXPECT_EQ(f->PageControl->tabText(1), "Ergebnis");
  EXPECT_EQ(f->FileMainMenuItem->title(), "&Datei");
  EXPECT_EQ(f->ResultHeightPixelsLabel->text(), "Pixel");
  EXPECT_EQ(PGLanguage(), 1);
  f->OpenSourceFile(Picture("b.bmp", 40, 30));  // refills the lists
  EXPECT_EQ(f->ResultPalette8BitComboBox->currentText(), "Grau 256");
  EXPECT_TRUE(f->Result8BitRB->isChecked());
  EXPECT_EQ(Selection, 12);
  EXPECT_EQ(f->SourceSizeLabel->text(), "Breite: 40; Höhe: 30");
}

TEST_F(MainForm, PaletteListsFollowTheSource) {
  auto f = NewForm(Picture("true.bmp", 40, 30));
  // A 24-bit source offers no "Source"; "Optimized" shows in the 8-bit list.
  EXPECT_EQ(f->ResultPalette8BitComboBox->currentText(), "Optimized");
  EXPECT_EQ(f->ResultPalette4BitComboBox->findText("Source"), -1);
  EXPECT_EQ(f->ResultPalette1BitComboBox->count(), 1);
  EXPECT_FALSE(Shown(*f, f->ResultDitheringCB));

  f->OpenSourceFile(Picture("sixteen.bmp", 40, 30, 16));
  EXPECT_NE(f->ResultPalette4BitComboBox->findText("Source"), -1);
  EXPECT_EQ(f->ResultPalette8BitComboBox->findText("Source"), -1);
  Choose(f->ResultPalette4BitComboBox, "Gray 16");
  EXPECT_TRUE(f->Result4BitRB->isChecked());
  EXPECT_TRUE(Shown(*f, f->ResultRGBWeightingCB) && Shown(*f, f->ResultDitheringCB));
  Choose(f->ResultPalette4BitComboBox, "Source");
  EXPECT_EQ(Selection, 8);
  EXPECT_FALSE(Shown(*f, f->ResultRGBWeightingCB));

  // Back to a 24-bit source: the 4-bit depth stays chosen without "Source".
  f->OpenSourceFile(Picture("true2.bmp", 40, 30));
  EXPECT_TRUE(f->Result4BitRB->isChecked());
  EXPECT_EQ(f->ResultPalette4BitComboBox->currentText(), "System 16");
  EXPECT_EQ(Selection, 7);

  // A palette file without palette is refused; one with 16 entries lands in the 4-bit list.
  TBoxAnswer refused(QMessageBox::Ok);
  f->LoadIndividualPaletteFile(Picture("nopalette.bmp", 4, 4));
  EXPECT_EQ(refused.Text, "No Palette!");
  EXPECT_EQ(IndividualPalette->PaletteCount(), 216);
  f->LoadIndividualPaletteFile(Picture("palette.bmp", 4, 4, 16));
  EXPECT_EQ(IndividualPalette->PaletteCount(), 16);
  EXPECT_NE(f->ResultPalette4BitComboBox->findText("Individual"), -1);
}

TEST_F(MainForm, RunMakesTheResultAndStoresThePercentages) {
  auto f = NewForm(Picture("a.bmp", 64, 48));
  Type(f->ResultWidthPercentEdit, "25");
  ScreenBitCountNum = 2;
  f->ThreadStartTimerTimer();
  ASSERT_TRUE(Result(*f));
  EXPECT_EQ(Result(*f)->GetWidth(), 16);
  EXPECT_EQ(Result(*f)->GetHeight(), 12);
  EXPECT_EQ(Result(*f)->BitCountNum(), 3);
  EXPECT_EQ(f->StatusBar->PanelText(0), "READY");
  EXPECT_EQ(f->StatusBar->PanelText(3), "Quality of picture is better than displayed!");
  EXPECT_EQ(WidthPercent, 25.0L);
  EXPECT_EQ(HeightPercent, 25.0L);
  EXPECT_TRUE(f->ResultSaveToFileAsBitBtn->isEnabled() && f->CopyMenuItem->isEnabled());

  QTest::mouseClick(f->Result8BitRB, Qt::LeftButton);
  Choose(f->ResultPalette8BitComboBox, "Optimized");
  EXPECT_FALSE(f->ResultSaveToFileAsBitBtn->isEnabled());
  f->ThreadStartTimerTimer();
  EXPECT_EQ(Result(*f)->BitCountNum(), 2);
  EXPECT_EQ(Result(*f)->GetWidth(), 16);

  // Saving advice: an optimized palette as PGM asks; No saves nothing.
  TBoxAnswer no(QMessageBox::No);
  f->SaveResultToFile(Dir / "r.pgm");
  EXPECT_NE(no.Text.indexOf("The PGM-format"), -1);
  EXPECT_FALSE(std::filesystem::exists(Dir / "r.pgm"));
  EXPECT_EQ(SaveDir, Dir.Path);
  Choose(f->ResultPalette8BitComboBox, "Gray 256");
  f->ThreadStartTimerTimer();
  TBoxAnswer none(QMessageBox::Yes);
  f->SaveResultToFile(Dir / "r.jpg");
  QCoreApplication::processEvents();
  EXPECT_FALSE(none.Shown);
  EXPECT_TRUE(std::filesystem::exists(Dir / "r.jpg"));
}

TEST_F(MainForm, APhotoOnItsSideOpensShrinksAndSavesUpright) {
  if (std::system("command -v exiftool >/dev/null && command -v convert >/dev/null") != 0)
    GTEST_SKIP() << "exiftool or ImageMagick missing";
  const std::string photo = Dir / "six.jpg";
  // 80 x 40 stored with its red half on the left, 40 x 80 upright with it at the top.
  ASSERT_EQ(std::system(("convert -size 40x40 xc:red -size 40x40 xc:blue +append " + (Dir / "plain.jpg") +
                         " && exiftool -q -n -Orientation=6 -Make=QuilletCam -o " + photo + " " + (Dir / "plain.jpg"))
                            .c_str()),
            0);
  struct TKeepGuard {
    ~TKeepGuard() { KeepPhotoInfo = false; }
  } keep;
  auto f = NewForm(photo);
  Type(f->ResultWidthPercentEdit, "50");
  f->ThreadStartTimerTimer();
  ASSERT_TRUE(Result(*f));
  EXPECT_EQ(Result(*f)->GetWidth(), 20);
  EXPECT_EQ(Result(*f)->GetHeight(), 40);
  for (bool kept : {false, true}) {
    KeepPhotoInfo = kept;
    const std::string saved = Dir / (kept ? "kept.jpg" : "plain-out.jpg");
    f->SaveResultToFile(saved);
    TPixelGraphic g;
    AutoOrient = false;
    g.LoadFromFile(saved);
    AutoOrient = true;
    ASSERT_EQ(g.GetWidth(), 20);
    EXPECT_GT(GetRValue(g.GetPixelColor(10, 5)), 200);
    EXPECT_GT(GetBValue(g.GetPixelColor(10, 35)), 200);
    EXPECT_EQ(g.ExifBlock().empty(), !kept);
    if (kept) EXPECT_EQ(ExifOrientation(g.ExifBlock()), 1);
  }
}

TEST_F(MainForm, ChangeDuringRunAbortsAndReschedules) {
  auto f = NewForm(Picture("a.bmp", 300, 200));
  f->ThreadStartTimerTimer();
  const TPixelGraphic* before = Result(*f);
  ASSERT_EQ(before->GetWidth(), 150);

  bool busySeen = false, retried = false;
  QTimer::singleShot(0, f.get(), [&] {
    busySeen = f->Busy() && f->StatusBar->PanelText(0) == "BUSY";
    f->ThreadStartTimerTimer();  // the timer fires again while running
    retried = f->ThreadStartTimer->isActive() && f->ThreadStartTimer->interval() == 100;
    Type(f->ResultWidthPercentEdit, "40");
  });
  f->ThreadStartTimerTimer();
  EXPECT_TRUE(busySeen);
  EXPECT_TRUE(retried);
  EXPECT_FALSE(f->Busy());
  EXPECT_EQ(Result(*f), before);  // the old result stays
  EXPECT_EQ(f->StatusBar->PanelText(0), "WAITING");
  EXPECT_TRUE(f->ThreadStartTimer->isActive());
  EXPECT_EQ(f->ThreadStartTimer->interval(), 1500);
  EXPECT_EQ(WidthPercent, 50.0L);

  // An open during a run aborts it the same way; the run reads the source
  // itself, so the new picture comes in once the run has ended.
  const std::string other = Picture("b.bmp", 30, 20);
  f->OpenSourceFile(Picture("c.bmp", 300, 200));
  QTimer::singleShot(0, f.get(), [&] { f->OpenSourceFile(other); });
  f->ThreadStartTimerTimer();
  EXPECT_EQ(f->StatusBar->PanelText(0), "WAITING");
  EXPECT_EQ(f->SourceSizeLabel->text(), "Width: 300; Height: 200");
  QCoreApplication::processEvents();
  EXPECT_EQ(f->SourceSizeLabel->text(), "Width: 30; Height: 20");
  f->ThreadStartTimerTimer();
  EXPECT_EQ(Result(*f)->GetWidth(), 12);
}

TEST_F(MainForm, MemoryWarningAnsweredNoDeclines) {
  auto f = NewForm(Picture("a.bmp", 64, 48));
  MemWarning = 0;
  TBoxAnswer no(QMessageBox::No);
  f->ThreadStartTimerTimer();
  EXPECT_NE(no.Text.indexOf("MB."), -1);
  EXPECT_EQ(Result(*f)->GetWidth(), 0);
  EXPECT_FALSE(f->ThreadStartTimer->isActive());
  EXPECT_EQ(f->StatusBar->PanelText(0), "WAITING");
}

TEST_F(MainForm, RunsAreLoggedWhenTheCategoryIsOn) {
  static QStringList lines;
  lines.clear();
  const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (QString(context.category) == "quillet.pipeline") lines << text;
      });
  auto f = NewForm(Picture("a.bmp", 64, 48));
  f->ThreadStartTimerTimer();
  EXPECT_TRUE(lines.isEmpty());
  QLoggingCategory::setFilterRules("quillet.pipeline.debug=true");
  Type(f->ResultWidthPercentEdit, "25");
  f->ThreadStartTimerTimer();
  QLoggingCategory::setFilterRules(QString());
  qInstallMessageHandler(previous);
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].startsWith("run ") && lines[0].contains("(stretch ")) << lines[0].toStdString();
}

TEST_F(MainForm, AResultBeyondThePixelLimitIsRefusedWithoutAsking) {
  auto f = NewForm(Picture("a.bmp", 64, 48));
  f->ThreadStartTimerTimer();
  const TPixelGraphic* before = Result(*f);
  MemWarning = 1;
  Type(f->ResultHeightPixelsEdit, "999999");
  TBoxAnswer error(QMessageBox::Ok);
  f->ThreadStartTimerTimer();
  EXPECT_NE(error.Text.indexOf("× 999999 pixels exceeds the limit of 268435456 pixels"), -1) << error.Text.toStdString();
  EXPECT_EQ(Result(*f), before);
  EXPECT_EQ(f->StatusBar->PanelText(0), "WAITING");
}

TEST_F(MainForm, BadFileDropAndClipboard) {
  const std::string bad = Dir / "bad.bmp";
  std::ofstream(bad) << "BM not really a bitmap";
  auto f = NewForm();
  TBoxAnswer error(QMessageBox::Ok);
  f->OpenSourceFile(bad);
  EXPECT_FALSE(error.Text.isEmpty());
  EXPECT_EQ(f->windowTitle(), "Quillet");
  EXPECT_FALSE(f->ResultWidthPercentEdit->isEnabled());
  EXPECT_EQ(f->SourcePGImage->PixelGraphicNoWait()->GetWidth(), 0);
  EXPECT_EQ(OpenDir, Dir.Path);

  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(Picture("one.bmp", 10, 8))),
                   QUrl::fromLocalFile(QString::fromStdString(Picture("two.bmp", 12, 8))),
                   QUrl::fromLocalFile(QString::fromStdString(Picture("three.bmp", 14, 8)))});
  // As a file manager drags: enter, then drop.
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(f.get(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(f.get(), &drop);
  QCoreApplication::processEvents();
  EXPECT_EQ(f->SourceFileName(), "one.bmp");
  EXPECT_EQ(f->SourceSizeLabel->text(), "Width: 10; Height: 8");

  QImage copied(20, 10, QImage::Format_RGB32);
  copied.fill(Qt::red);
  QGuiApplication::clipboard()->setImage(copied);
  f->ClipBoardTimerTimer();
  ASSERT_TRUE(f->SourceLoadFromClipboardBitBtn->isEnabled() && f->PasteMenuItem->isEnabled());
  QTest::mouseClick(f->SourceLoadFromClipboardBitBtn, Qt::LeftButton);
  EXPECT_EQ(f->windowTitle(), "Quillet");
  EXPECT_EQ(f->SourceFileName(), "");
  EXPECT_EQ(f->SourceSizeLabel->text(), "Width: 20; Height: 10");
  EXPECT_EQ(f->SourcePGImage->PixelGraphicNoWait()->GetPixelColor(3, 3), RGB(255, 0, 0));
  QGuiApplication::clipboard()->clear();
  f->ClipBoardTimerTimer();
  EXPECT_FALSE(f->SourceLoadFromClipboardBitBtn->isEnabled());
}

}  // namespace

namespace {

// A result made in the window is reproduced by the command line from the
// settings the window stores.
TEST_F(MainForm, CommandLineWithTheWindowsSettingsMakesTheSameFile) {
  const std::string source = Picture("odd.bmp", 201, 151);
  auto f = NewForm(source);
  Type(f->ResultWidthPercentEdit, "37");
  QTest::mouseClick(f->Result8BitRB, Qt::LeftButton);
  Choose(f->ResultPalette8BitComboBox, "Optimized");
  f->ThreadStartTimerTimer();
  ASSERT_TRUE(Result(*f));
  f->SaveResultToFile(Dir / "window.bmp");
  SaveSettings(TSettingsStore(Dir.Path));
  const std::string command = "XDG_CONFIG_HOME='" + Dir.Path + "' '" QUILLET_CLI_PATH "' --use-settings '" + source +
                              "' '" + (Dir / "cli.bmp") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_FALSE(bytes(Dir / "window.bmp").empty());
  EXPECT_EQ(bytes(Dir / "window.bmp"), bytes(Dir / "cli.bmp"));
}

}  // namespace
