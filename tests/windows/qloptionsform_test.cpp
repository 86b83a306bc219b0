#include "qloptionsform.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>

#include "formatoptions.h"
#include "optionslogic.h"
#include "pgimage.h"
#include "qljpegpreviewform.h"
#include "qlmainform.h"
#include "settings.h"
#include "tempdir.h"
#include "testpictures.h"

namespace {

// ---- Without widgets --------------------------------------------------------

TOptionsFields ValidFields() { return {"80", "20", "8", "252", "1.8", "300", "1", "300", "1"}; }

TEST(OptionsLogic, EveryFieldOutOfRangeForbidsOK) {
  EXPECT_EQ(ValidateOptions(ValidFields(), true), (TOptionsValidation{true, true, true}));
  const std::vector<std::pair<std::string TOptionsFields::*, std::string>> bad{
      {&TOptionsFields::JPEGWQuality, "101"}, {&TOptionsFields::JPEGWQuality, "-1"},
      {&TOptionsFields::Frame, "1"},          {&TOptionsFields::Mem, "0"},
      {&TOptionsFields::Mem, "100000"},         {&TOptionsFields::OptPalSize, "1"},
      {&TOptionsFields::OptPalSize, "257"},   {&TOptionsFields::ScreenGamma, "0"},
      {&TOptionsFields::ScreenGamma, "10.5"}, {&TOptionsFields::TIFFResHorizN, "0"},
      {&TOptionsFields::TIFFResHorizD, "0"},  {&TOptionsFields::TIFFResVertN, "0"},
      {&TOptionsFields::TIFFResVertD, "0"}};
  for (const auto& [field, text] : bad) {
    TOptionsFields f = ValidFields();
    f.*field = text;
    EXPECT_FALSE(ValidateOptions(f, true).OKAllowed) << text;
  }
  TOptionsFields f = ValidFields();
  f.ScreenGamma = " 10 ";
  EXPECT_TRUE(ValidateOptions(f, true).OKAllowed);
  f.JPEGWQuality = "101";
  EXPECT_EQ(ValidateOptions(f, true), (TOptionsValidation{false, false, true}));
}

TEST(OptionsLogic, PaletteSizeOffersSystemColoursAndUnreadableFieldStops) {
  TOptionsFields f = ValidFields();
  f.OptPalSize = "16";
  EXPECT_EQ(ValidateOptions(f, true), (TOptionsValidation{true, true, false}));
  f.OptPalSize = "17";
  EXPECT_EQ(ValidateOptions(f, false), (TOptionsValidation{true, false, true}));
  f.Mem = "";
  EXPECT_EQ(ValidateOptions(f, true), TOptionsValidation{});
  // An out-of-range quality ends the OK conditions before the empty field is read.
  f.JPEGWQuality = "-1";
  EXPECT_EQ(ValidateOptions(f, true), (TOptionsValidation{false, false, true}));
}

TEST(OptionsLogic, TestTexts) {
  EXPECT_EQ(SecondsText(110), "0.11");
  EXPECT_EQ(SecondsText(2000), "2");
  EXPECT_EQ(KilobytesText(1536), "1.5");
  EXPECT_EQ(KilobytesText(1000), "0.977");
  EXPECT_EQ(KilobytesText(64), "0.062");  // 62.5 thousandths, half to even
  EXPECT_EQ(KilobytesText(192), "0.188");
  const TJPEGTestTexts en = JPEGTestTexts(110, 5, 2048, LanguageEnglish);
  EXPECT_EQ(en.Caption, "Test of JPEG-settings");
  EXPECT_EQ(en.WTime, "Write: 0.11 sec.");
  EXPECT_EQ(en.RTime, "Read: 0.005 sec.");
  EXPECT_EQ(en.FSize, "File-size: 2 KB.");
  const TJPEGTestTexts de = JPEGTestTexts(1250, 0, 1000, LanguageGerman);
  EXPECT_EQ(de.Caption, "Test der JPEG-Einstellungen");
  EXPECT_EQ(de.WTime, "Schreiben: 1.25 Sek.");
  EXPECT_EQ(de.RTime, "Lesen: 0 Sek.");
  EXPECT_EQ(de.FSize, "Datei-Größe: 0.977 KB.");
  EXPECT_EQ(JPEGTestActionText(true, LanguageGerman), "Lese Test-Datei!");
}

// ---- The dialog ------------------------------------------------------------------

// Runs Action on the next modal window once a modal loop has started.
void OnNextModal(std::function<void(QWidget*)> Action) {
  QTimer::singleShot(0, qApp, [Action] {
    if (QWidget* w = QApplication::activeModalWidget()) Action(w);
  });
}

void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  if (text.isEmpty())
    QTest::keyClick(edit, Qt::Key_Delete);
  else
    QTest::keyClicks(edit, text);
}

// Clicks a button as a user would: its page opened, on its caption's start
// (a radio button spans the page but reacts only near its text).
void Press(TQLOptionsForm& f, QAbstractButton* b) {
  for (QWidget* w = b; w; w = w->parentWidget())
    if (f.OptionsPageControl->TabOf(w).first) f.OptionsPageControl->SetActivePage(w);
  QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

// Every caption the dialog shows, by object name.
std::map<QString, QString> Captions(TQLOptionsForm& f) {
  std::map<QString, QString> all{{"window", f.windowTitle()}};
  for (auto* b : f.findChildren<QAbstractButton*>()) all[b->objectName()] = b->text();
  for (auto* l : f.findChildren<QLabel*>()) all[l->objectName()] = l->text();
  int n = 0;
  for (QTabBar* row : f.OptionsPageControl->Rows())
    for (int i = 1; i < row->count(); ++i) all[QStringLiteral("tab %1").arg(n++)] = row->tabText(i);
  return all;
}

class OptionsForm : public ::testing::Test {
protected:
  void SetUp() override {
    SetApplicationDefaults();
    Language = LanguageEnglish;
    JPEGCompQuality = 80;
    JPEGCompMethod = 2;
    JPEGDecompMethod = 0;
    JPEGCompProgressive = false;
    TIFFWriteCompression = 1;
    setenv("TMPDIR", Dir.Path.c_str(), 1);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  std::unique_ptr<TQLOptionsForm> NewForm(int32_t w = 40, int32_t h = 30) {
    auto picture = std::make_unique<TPixelGraphic>();
    FillRandom(*picture, w, h, 5);
    ResultView.SetPixelGraphic(std::move(picture));
    auto f = std::make_unique<TQLOptionsForm>(nullptr, &ResultView);
    f->FillFromSettings();
    f->show();
    return f;
  }

  TTempDirectory Dir;
  TPGImage ResultView;
};

TEST_F(OptionsForm, ValidationAsTyped) {
  auto f = NewForm();
  EXPECT_EQ(f->OptionsPageControl->ActivePage(), f->LangTabSheet);
  EXPECT_TRUE(f->OKButton->isEnabled());
  EXPECT_TRUE(f->JPEGPrevButton->isEnabled());
  EXPECT_EQ(f->ScreenGammaEdit->text(), "1.8");
  for (auto [edit, text] : {std::pair{f->JPEGWQualityEdit, "101"}, {f->JPEGWQualityEdit, "-1"}, {f->FrameEdit, "1"},
                            {f->MemEdit, "0"}, {f->MemEdit, "-1"}, {f->OptPalSizeEdit, "1"},
                            {f->OptPalSizeEdit, "257"}, {f->ScreenGammaEdit, "0"}, {f->ScreenGammaEdit, "10.5"},
                            {f->TIFFResVertDEdit, "0"}}) {
    const QString before = edit->text();
    Type(edit, text);
    EXPECT_FALSE(f->OKButton->isEnabled()) << edit->objectName().toStdString() << " " << text;
    Type(edit, before);
    EXPECT_TRUE(f->OKButton->isEnabled());
  }
  Type(f->ScreenGammaEdit, "10");
  EXPECT_TRUE(f->OKButton->isEnabled());
  Type(f->JPEGWQualityEdit, "101");
  EXPECT_FALSE(f->JPEGPrevButton->isEnabled());
  Type(f->JPEGWQualityEdit, "75");

  Type(f->OptPalSizeEdit, "16");
  EXPECT_TRUE(f->OKButton->isEnabled());
  EXPECT_TRUE(f->OptPalIncludeSysColCB->isHidden());
  Type(f->OptPalSizeEdit, "17");
  EXPECT_FALSE(f->OptPalIncludeSysColCB->isHidden());
  Type(f->MemEdit, "");
  EXPECT_FALSE(f->OKButton->isEnabled());
  EXPECT_FALSE(f->JPEGPrevButton->isEnabled());
  EXPECT_TRUE(f->OptPalIncludeSysColCB->isHidden());

  // Without a result there is nothing to test.
  ResultView.SetPixelGraphic(nullptr);
  Type(f->MemEdit, "8");
  EXPECT_TRUE(f->OKButton->isEnabled());
  EXPECT_FALSE(f->JPEGPrevButton->isEnabled());
}

TEST_F(OptionsForm, EveryTabIsShownAndOpensItsPage) {
  auto f = NewForm();
  EXPECT_EQ(f->OptionsPageControl->Rows().size(), 3u);
  const auto [row, index] = f->OptionsPageControl->TabOf(f->TIFFTabSheet);
  QTest::mouseClick(row, Qt::LeftButton, {}, row->tabRect(index).center());
  EXPECT_EQ(f->OptionsPageControl->ActivePage(), f->TIFFTabSheet);
  EXPECT_TRUE(f->TIFFResHorizNEdit->isVisible());
  for (QTabBar* r : f->OptionsPageControl->Rows()) EXPECT_EQ(r->currentIndex() > 0, r == row);
}

TEST_F(OptionsForm, LanguageClickSwitchesAllCaptionsAndMainWindowFollowsOK) {
  Language = LanguageGerman;
  TQLMainForm main;
  main.SetLanguageCaptions();
  bool driven = false;
  OnNextModal([&](QWidget* w) {
    auto* f = dynamic_cast<TQLOptionsForm*>(w);
    ASSERT_TRUE(f);
    driven = true;
    EXPECT_EQ(f->windowTitle(), "Optionen");
    EXPECT_TRUE(f->OptionsDeutschRB->isChecked());
    const auto german = Captions(*f);
    Press(*f, f->OptionsEnglishRB);
    const auto english = Captions(*f);
    const QStringList same{"OK", "MB", "/", "Horiz.:", "Vert.:", "Progressive", "I", "M", "RGB", "CMYK", "PackBits",
                           "Inch", "", "JPEGPrevActionLabel"};
    for (const auto& [name, text] : english)
      if (!same.contains(text) && !same.contains(name)) {
        EXPECT_NE(german.at(name), text) << name.toStdString();
      }
    EXPECT_EQ(f->windowTitle(), "Options");
    EXPECT_EQ(f->CancelButton->text(), "Cancel");
    EXPECT_EQ(f->OptionsPageControl->PageCaption(f->SearchPalTabSheet), "Search in unknown palettes");
    EXPECT_EQ(Language, LanguageGerman);
    Press(*f, f->OKButton);
  });
  main.OptionsMainMenuItemClick();
  EXPECT_TRUE(driven);
  EXPECT_EQ(Language, LanguageEnglish);
  EXPECT_EQ(main.PageControl->tabText(0), "Source");
}

TEST_F(OptionsForm, OKWritesBackAndCancelChangesNothing) {
  TIFFWriteCompression = 5;  // no radio stands for it
  JPEGDecompMethod = 9;
  const auto edit = [&](TQLOptionsForm& f) {
    Type(f.MemEdit, "16");
    Type(f.ScreenGammaEdit, " 2.2 ");
    Type(f.TIFFResHorizNEdit, "72");
    Press(f, f.JPEGWIntFastRB);
    Press(f, f.PXMBinaryRB);
    Press(f, f.TIFFByteOrderMRB);
    Press(f, f.SearchColorPreciseRB);
    Press(f, f.SaveSuggestSourceDirectoryCB);
    Press(f, f.OptPalRefineCB);
    OnNextModal([](QWidget* w) {
      auto* d = qobject_cast<QColorDialog*>(w);
      ASSERT_TRUE(d);
      d->setCurrentColor(QColor(10, 20, 30));
      d->accept();
    });
    Press(f, f.FrameChooseColorBtn);
  };

  auto cancelled = NewForm();
  edit(*cancelled);
  Press(*cancelled, cancelled->CancelButton);
  EXPECT_EQ(MemWarning, DefaultMemWarning());
  EXPECT_EQ(ScreenGamma, 1.8L);
  EXPECT_EQ(JPEGCompMethod, 2);
  EXPECT_FALSE(PXMWriteBinary);
  EXPECT_EQ(BorderColor, 0xFFFFFFu);
  EXPECT_TRUE(FastUnknownPalette);
  EXPECT_FALSE(OptimizedPaletteRefine);

  auto f = NewForm();
  edit(*f);
  EXPECT_FALSE(f->JPEGRIntFastRB->isChecked() || f->JPEGRIntPreciseRB->isChecked() || f->JPEGRFloatRB->isChecked());
  Press(*f, f->OKButton);
  EXPECT_EQ(f->result(), QDialog::Accepted);
  f->WriteToSettings();
  EXPECT_EQ(MemWarning, 16);
  EXPECT_EQ(ScreenGamma, 2.2L);
  EXPECT_EQ(TIFFWriteXResolutionNumerator, 72);
  EXPECT_EQ(JPEGCompMethod, 1);
  EXPECT_TRUE(PXMWriteBinary);
  EXPECT_EQ(TIFFWriteByteOrder, 1);
  EXPECT_FALSE(FastUnknownPalette);
  EXPECT_TRUE(SaveSuggestSourceDirectory);
  EXPECT_TRUE(OptimizedPaletteRefine);
  EXPECT_TRUE(NewForm()->OptPalRefineCB->isChecked());
  EXPECT_EQ(BorderColor, TRGB(10 | 20 << 8 | 30 << 16));
  EXPECT_EQ(TIFFWriteCompression, 5);
  EXPECT_EQ(JPEGDecompMethod, 9);
}

TEST_F(OptionsForm, JPEGTestShowsTheDecodedPictureAndRestoresTheSettings) {
  auto f = NewForm(40, 30);
  Type(f->JPEGWQualityEdit, "75");
  Press(*f, f->JPEGWProgressiveCB);
  bool shown = false;
  OnNextModal([&](QWidget* w) {
    auto* p = dynamic_cast<TQLJPEGPreviewForm*>(w);
    ASSERT_TRUE(p);
    shown = true;
    EXPECT_EQ(p->windowTitle(), "Test of JPEG-settings");
    EXPECT_TRUE(QRegularExpression("^Write: \\d+(\\.\\d+)? sec\\.$").match(p->WTimeLabel->text()).hasMatch());
    EXPECT_TRUE(QRegularExpression("^Read: \\d+(\\.\\d+)? sec\\.$").match(p->RTimeLabel->text()).hasMatch());
    EXPECT_TRUE(QRegularExpression("^File-size: \\d+(\\.\\d{1,3})? KB\\.$").match(p->FSizeLabel->text()).hasMatch());
    const TPixelGraphic* decoded = p->JPEGPrevPGImage->PixelGraphicNoWait();
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->GetWidth(), 40);
    EXPECT_EQ(decoded->GetHeight(), 30);
    EXPECT_EQ(decoded->BitCountNum(), 3);
    // Random colours do not survive JPEG unchanged.
    EXPECT_NE(Colors(*decoded), Colors(*ResultView.PixelGraphicNoWait()));
    EXPECT_EQ(p->JPEGPrevPGImage->FileName().find(Dir.Path + "/QLT"), 0u);
    EXPECT_EQ(Dir.Listing(), "");
    QTest::mouseClick(p->OKButton, Qt::LeftButton);
  });
  Press(*f, f->JPEGPrevButton);
  EXPECT_TRUE(shown);
  EXPECT_EQ(Dir.Listing(), "");
  EXPECT_EQ(f->JPEGPrevActionLabel->text(), "");
  EXPECT_EQ(JPEGCompQuality, 80);
  EXPECT_FALSE(JPEGCompProgressive);
  EXPECT_EQ(f->findChildren<QDialog*>().size(), 0);
}

TEST_F(OptionsForm, FailingJPEGTestReportsRestoresAndLeavesNoFile) {
  auto f = NewForm(65501, 1);  // wider than JPEG allows
  Type(f->JPEGWQualityEdit, "75");
  Press(*f, f->JPEGWIntFastRB);
  QString message;
  OnNextModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_TRUE(box);
    message = box->text();
    box->accept();
  });
  Press(*f, f->JPEGPrevButton);
  EXPECT_TRUE(message.startsWith("JPG: ")) << message.toStdString();
  EXPECT_EQ(Dir.Listing(), "");
  EXPECT_EQ(JPEGCompQuality, 80);
  EXPECT_EQ(JPEGCompMethod, 2);
  EXPECT_EQ(f->JPEGPrevActionLabel->text(), "Writing test-file!");
  EXPECT_EQ(f->findChildren<QDialog*>().size(), 0);
}

}  // namespace
