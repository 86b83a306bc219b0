#include "qlaboutform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <vector>

#include "qlmainform.h"
#include "settings.h"

namespace {

void ExpectCentred(const TQLAboutForm& f) {
  const int left = f.OKButton->x();
  const int right = f.width() - left - f.OKButton->width();
  EXPECT_LE(std::abs(left - right), 1);
}

TEST(AboutForm, CentredLeftTruncatesHalfPixels) {
  EXPECT_EQ(CenteredLeft(300, 80), 110);
  EXPECT_EQ(CenteredLeft(301, 80), 110);
}

TEST(AboutForm, ShowsProductLineAndCentredButtonOnEveryShowing) {
  TQLAboutForm f;
  f.show();
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Info"));
  EXPECT_EQ(f.PNameLabel->text(), QStringLiteral("Quillet Version 1.02"));
  EXPECT_FALSE(f.Image1->pixmap().isNull());
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  ExpectCentred(f);
  f.hide();
  f.PNameLabel->clear();
  f.OKButton->move(0, f.OKButton->y());
  f.show();
  EXPECT_EQ(f.PNameLabel->text(), QStringLiteral("Quillet Version 1.02"));
  ExpectCentred(f);
}

TEST(AboutForm, EnterAndEscapeBothCloseWithOK) {
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    TQLAboutForm f;
    f.setResult(QDialog::Rejected);
    f.show();
    QTest::keyClick(&f, key);
    EXPECT_FALSE(f.isVisible()) << key;
    EXPECT_EQ(f.result(), QDialog::Accepted) << key;
  }
}

// The main window's info command shows the one box modally, in either language.
TEST(AboutForm, InfoCommandShowsTheSameBoxModally) {
  SetApplicationDefaults();
  TQLMainForm main;
  QObject context;
  std::vector<QWidget*> shown;
  for (const int32_t language : {LanguageEnglish, LanguageGerman}) {
    Language = language;
    main.SetLanguageCaptions();
    QTimer::singleShot(0, &context, [&] {
      auto* box = dynamic_cast<TQLAboutForm*>(QApplication::activeModalWidget());
      shown.push_back(box);
      if (!box) return main.QLAboutForm->done(QDialog::Rejected);
      EXPECT_EQ(box->windowTitle(), QStringLiteral("Info"));
      QTest::keyClick(box, Qt::Key_Escape);
    });
    main.Info2Click();
  }
  Language = LanguageEnglish;
  main.SetLanguageCaptions();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], main.QLAboutForm);
  EXPECT_EQ(shown[1], main.QLAboutForm);
}

}  // namespace
