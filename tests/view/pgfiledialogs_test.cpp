#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "createopensavedialogpaintpgthread.h"
#include "formatregistry.h"
#include "namedpalettes.h"
#include "pgfiledialoglogic.h"
#include "pgfiledialogs.h"
#include "platform.h"
#include "previewpane.h"
#include "screendepth.h"
#include "tempdir.h"
#include "testpictures.h"
#include "viewtesting.h"

namespace {

std::string SavedPicture(const TTempDirectory& dir, const std::string& name, int32_t w, int32_t h) {
  TPixelGraphic g;
  FillRandom(g, w, h, 7);
  g.SaveToFile(dir / name);
  return dir / name;
}

// Waits for the running preview to end and lets its events arrive.
void FinishPreview(TPGPreviewPane& pane) {
  ASSERT_TRUE(ProcessEventsUntil([&] { return !pane.PreviewThread().isRunning(); }));
  QCoreApplication::processEvents();
}

struct TBoxCounter : THeadlessPGPlatform {
  std::vector<std::string> Texts;
  TPGPlatform* Previous = SetPGPlatform(this);
  ~TBoxCounter() override { SetPGPlatform(Previous); }
  TPGBoxAnswer WarningBox(const std::string& Text, const std::string&, TPGBoxButtons) override {
    Texts.push_back(Text);
    return pgaOK;
  }
};

}  // namespace

TEST(PGFileDialogArithmetic, FitDrawRectProgressAndPlacement) {
  EXPECT_EQ(PreviewFitSize(2000, 100, 146, 136), QSize(146, 7));
  EXPECT_EQ(PreviewFitSize(100, 2000, 146, 136), QSize(6, 136));
  EXPECT_EQ(PreviewFitSize(10000, 1, 146, 136), QSize(146, 1));
  EXPECT_EQ(PreviewFitSize(40, 30, 146, 136), QSize(40, 30));

  EXPECT_EQ(PreviewDrawRect(QRect(0, 0, 150, 140), 40, 30), QRect(55, 55, 40, 30));
  EXPECT_EQ(PreviewDrawRect(QRect(0, 0, 150, 140), 2000, 100), QRect(2, 66, 146, 7));
  EXPECT_EQ(PreviewDrawRect(QRect(0, 0, 150, 140), 100, 2000).size(), QSize(6, 136));

  TPreviewProgressLimit limit;
  int p = -1;
  EXPECT_FALSE(limit.Due(0, 100, 50, p));    // no change of the percentage
  EXPECT_FALSE(limit.Due(5, 100, 60, p));    // same tick interval, below 16
  EXPECT_TRUE(limit.Due(16, 100, 70, p));    // crosses 16
  EXPECT_EQ(p, 16);
  EXPECT_FALSE(limit.Due(20, 100, 80, p));
  EXPECT_TRUE(limit.Due(20, 100, 100, p));   // new tick interval
  EXPECT_FALSE(limit.Due(5, 0, 1000, p));

  EXPECT_EQ(CentredDialogPosition(QRect(0, 0, 1280, 900), QSize(800, 600)), QPoint(240, 100));
  EXPECT_EQ(CentredDialogPosition(QRect(1280, 0, 1000, 700), QSize(801, 400)), QPoint(1280 + 99, 100));
  EXPECT_EQ(CentredDialogPosition(QRect(0, 30, 800, 500), QSize(832, 600)), QPoint(0, 30));
}

TEST(PGFileDialogNames, ExtensionAppendedAndReplaced) {
  TTempDirectory dir;
  EXPECT_EQ(WithFilterExtension("/a/photo", "png"), "/a/photo.png");
  EXPECT_EQ(WithFilterExtension("/a.b/photo", "png"), "/a.b/photo.png");
  EXPECT_EQ(WithFilterExtension("/a/photo.bmp", "png"), "/a/photo.bmp");
  EXPECT_EQ(WithFilterExtension("/a/photo", ""), "/a/photo");

  EXPECT_EQ(FileNameForType("photo.bmp", dir.Path, "png"), "photo.png");
  EXPECT_EQ(FileNameForType("photo", dir.Path + "/", "png"), "photo.png");
  EXPECT_EQ(FileNameForType("/elsewhere/photo.bmp", dir.Path, "tif"), "/elsewhere/photo.tif");
  EXPECT_EQ(FileNameForType("sub.d/photo", dir.Path, "tif"), dir.Path + "/sub.d/photo.tif");
  std::filesystem::create_directory(dir / "pictures");
  EXPECT_FALSE(FileNameForType("pictures", dir.Path, "png"));
  EXPECT_FALSE(FileNameForType("", dir.Path, "png"));
}

TEST(PGFileDialogInfo, LinesOfARealFile) {
  TTempDirectory dir;
  TPGPreviewPane pane{TPGPreviewSettings{}};
  pane.SelectionChanged(SavedPicture(dir, "photo.bmp", 640, 480));
  pane.PreviewTimerTimer();
  ASSERT_TRUE(pane.InfoValid());
  const std::vector<std::string> lines = PreviewInfoLines(pane.Info());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), FindWriter("bmp")->Description());
  EXPECT_EQ(lines.back(), "640x480x16.7M 24 bit");
  FinishPreview(pane);

  TFileFormatInfo several;
  several.Width = 2, several.Height = 1, several.ColorCount = "2", several.BitCount = 1, several.ImageCount = 3;
  EXPECT_EQ(PreviewInfoLines(several), std::vector<std::string>{"2x1x2 1 bit, 3"});
  // A photo not stored upright names its orientation below its size.
  several.Orientation = 8;
  EXPECT_EQ(PreviewInfoLines(several), (std::vector<std::string>{"2x1x2 1 bit, 3", "Rotated 90° anticlockwise"}));

  pane.SelectionChanged(dir.Path);
  pane.PreviewTimerTimer();
  EXPECT_FALSE(pane.InfoValid());
}

TEST(PGFileDialogPreview, QuickMovesStartOnePreviewAfterTheLast) {
  TTempDirectory dir;
  TPGPreviewPane pane{TPGPreviewSettings{}};
  std::vector<std::string> files;
  for (int i = 0; i < 10; ++i) files.push_back(SavedPicture(dir, "p" + std::to_string(i) + ".bmp", 400, 100 + i));
  for (const std::string& f : files) pane.SelectionChanged(f);
  EXPECT_TRUE(pane.PreviewThread().Inert());
  EXPECT_TRUE(pane.PreviewTimer().isActive());
  EXPECT_TRUE(pane.PreviewTimer().isSingleShot());
  EXPECT_EQ(pane.PreviewTimer().interval(), 150);

  pane.PreviewTimerTimer();
  EXPECT_FALSE(pane.PreviewTimer().isActive());
  EXPECT_EQ(pane.PreviewThread().FileName(), files.back());
  FinishPreview(pane);
  ASSERT_TRUE(pane.Preview());
  const QSize room = pane.PreviewArea().size() - QSize(4, 4);
  EXPECT_EQ(QSize(pane.Preview()->GetWidth(), pane.Preview()->GetHeight()), PreviewFitSize(400, 109, room.width(), room.height()));

  // A move drops the shown preview at once.
  pane.SelectionChanged(files.front());
  EXPECT_FALSE(pane.Preview());
  EXPECT_FALSE(pane.InfoValid());
}

TEST(PGFileDialogPreview, AJPEGIsDecodedAtTheSmallestScaleThatFillsThePreview) {
  TTempDirectory dir;
  const std::string photo = SavedPicture(dir, "photo.jpg", 800, 600);
  TPGPreviewPane pane{TPGPreviewSettings{}};
  pane.SelectionChanged(photo);
  pane.PreviewTimerTimer();
  FinishPreview(pane);
  ASSERT_TRUE(pane.Preview());
  const QSize room = pane.PreviewArea().size() - QSize(4, 4);
  const QSize fit = PreviewFitSize(800, 600, room.width(), room.height());
  ASSERT_LT(fit.width(), 400);
  // The fast load at a target, or in full, reduced to the preview's size.
  const auto expected = [&](bool reduced) {
    TPixelGraphic loaded, preview;
    loaded.SetFastLoad(true);
    if (reduced) loaded.OnLoadTarget = [&](TObject*, int32_t, int32_t) { return TLoadSize{fit.width(), fit.height()}; };
    loaded.LoadFromFile(photo);
    EXPECT_EQ(loaded.GetWidth() < 800, reduced);
    preview.SetSize(fit.width(), fit.height(), 3);
    preview.MapFrom(loaded);
    return Pixels(preview);
  };
  EXPECT_EQ(Pixels(*pane.Preview()), expected(true));
  EXPECT_NE(Pixels(*pane.Preview()), expected(false));
}

TEST(PGFileDialogPreview, EightBitDisplayGetsOptimizedPaletteWithSystemColours) {
  struct Restore {
    ~Restore() { SetScreenBitsPerPixel(0); }
  } restore;
  SetScreenBitsPerPixel(8);
  TTempDirectory dir;
  TPGPreviewPane pane{TPGPreviewSettings{}};
  pane.SelectionChanged(SavedPicture(dir, "true.bmp", 64, 48));
  pane.PreviewTimerTimer();
  FinishPreview(pane);
  ASSERT_TRUE(pane.Preview());
  const TPixelGraphic& preview = *pane.Preview();
  EXPECT_EQ(preview.BitCountNum(), 2);
  ASSERT_EQ(preview.PaletteCount(), 252);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(preview.PaletteEntries(236 + i), SystemColors16[i]) << i;

  SetScreenBitsPerPixel(4);
  pane.PreviewTimerTimer();
  FinishPreview(pane);
  ASSERT_TRUE(pane.Preview());
  EXPECT_EQ(pane.Preview()->PaletteIdent(), pSys16);
}

TEST(PGFileDialogPreview, BadFilesGiveNoPreview) {
  TTempDirectory dir;
  {
    std::ofstream(dir / "noise.png", std::ios::binary) << "\x89PNG\r\n\x1a\n garbage that is no chunk";
    std::ofstream huge(dir / "huge.bmp", std::ios::binary);
    const uint8_t header[54] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                0x60, 0xEA, 0, 0, 0x60, 0xEA, 0, 0, 1, 0, 24, 0};  // 60000 x 60000
    huge.write(reinterpret_cast<const char*>(header), sizeof header);
  }
  // Cut off after rows were read: the progress clock goes with the preview.
  const std::string cut = SavedPicture(dir, "cut.png", 300, 300);
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
  TPGPreviewPane pane{TPGPreviewSettings{}};
  for (const char* name : {"noise.png", "huge.bmp", "missing.bmp", "cut.png"}) {
    pane.SelectionChanged(dir / name);
    pane.PreviewTimerTimer();
    FinishPreview(pane);
    EXPECT_FALSE(pane.Preview()) << name;
    EXPECT_EQ(pane.ClockStage(), 0) << name;
  }
}

TEST(PGFileDialogSave, TypePreselectionExtensionsAndTypeChange) {
  TTempDirectory dir;
  TPGSaveDialog save;
  save.SetInitialDir(dir.Path);
  save.SetFileName("x.tif");
  auto d = save.CreateFileDialog();
  d->show();
  EXPECT_EQ(save.FilterExtension(save.FilterIndex()), "tif");
  EXPECT_EQ(d->selectedNameFilter().left(3), "TIF");
  auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
  auto* types = d->findChild<QComboBox*>("fileTypeCombo");
  ASSERT_TRUE(edit && types);

  const int png = SaveFilterIndex("png");
  // As a user's choice in the list signals it.
  const auto choose = [types](int index) {
    types->setCurrentIndex(index - 1);
    emit types->activated(index - 1);
    emit types->textActivated(types->itemText(index - 1));
  };
  const int tif = SaveFilterIndex("tif");
  for (const char* typed : {"photo.bmp", "photo"}) {
    choose(tif);
    edit->clear();
    QTest::keyClicks(edit, typed);
    choose(png);
    EXPECT_EQ(edit->text(), "photo.png") << typed;
  }
  choose(tif);
  edit->clear();
  QTest::keyClicks(edit, "y");
  QMetaObject::invokeMethod(d.get(), "accept");
  EXPECT_TRUE(save.FinishFileDialog(*d, d->result() == QDialog::Accepted));
  EXPECT_EQ(save.FileName(), dir / "y.tif");

  // A cancelled dialog still gives a bare name the type's extension.
  save.SetFileName("z");
  auto cancelled = save.CreateFileDialog();
  EXPECT_FALSE(save.FinishFileDialog(*cancelled, false));
  EXPECT_EQ(save.FileName(), "z.tif");
}

TEST(PGFileDialogOpen, FiltersSelectionPreviewAndOptions) {
  TTempDirectory dir;
  const std::string picture = SavedPicture(dir, "shown.png", 300, 200);
  TPGOpenDialog open;
  open.SetInitialDir(dir.Path);
  auto d = open.CreateFileDialog();
  d->show();
  EXPECT_EQ(d->nameFilters().front().left(11), "Image files");
  EXPECT_EQ(d->nameFilters().back(), "All files (*.*)");
  EXPECT_EQ(open.FilterExtension(2), "avif");
  EXPECT_EQ(open.FilterExtension(1), "");

  auto* pane = d->findChild<TPGPreviewPane*>();
  ASSERT_TRUE(pane);
  EXPECT_TRUE(pane->isVisible());
  EXPECT_GE(d->width(), pane->width() + pane->x());
  auto* list = d->findChild<QAbstractItemView*>("listView");
  ASSERT_TRUE(list);
  ASSERT_TRUE(ProcessEventsUntil([&] { return list->model()->rowCount(list->rootIndex()) == 1; }));
  const QModelIndex item = list->model()->index(0, 0, list->rootIndex());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
  EXPECT_TRUE(pane->PreviewTimer().isActive());
  pane->PreviewTimerTimer();
  FinishPreview(*pane);
  EXPECT_TRUE(pane->Preview());
  d->reject();
  EXPECT_FALSE(pane->Preview());

  // A typed name previews its file too.
  auto typedIn = open.CreateFileDialog();
  typedIn->show();
  auto* typedPane = typedIn->findChild<TPGPreviewPane*>();
  QTest::keyClicks(typedIn->findChild<QLineEdit*>("fileNameEdit"), "shown.png");
  EXPECT_TRUE(typedPane->PreviewTimer().isActive());
  typedPane->PreviewTimerTimer();
  FinishPreview(*typedPane);
  EXPECT_TRUE(typedPane->Preview());
  typedIn->reject();

  TBoxCounter boxes;
  open.SetOptions(ofFileMustExist);
  EXPECT_EQ(open.Options(), TOpenOptions(ofFileMustExist | ofShareAware));
  open.SetOptions(ofShareAware | ofHideReadOnly);
  ASSERT_EQ(boxes.Texts.size(), 1u);
  EXPECT_EQ(boxes.Texts[0], "TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!");
}
