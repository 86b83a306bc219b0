#include <gtest/gtest.h>

#include <QImage>

#include "pgexceptions.h"
#include "pgimage.h"
#include "tempdir.h"
#include "testpictures.h"

namespace {

// Left half red, right half blue: shows which way a tile is mirrored.
std::unique_ptr<TPixelGraphic> RedBlue(int32_t w, int32_t h) {
  auto g = std::make_unique<TPixelGraphic>();
  Uniform(*g, w, h, 0x0000FF);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = w / 2; x < w; ++x) g->SetPixel(x, y, 0xFF0000);
  // Bottom row green, to tell up from down.
  for (int32_t x = 0; x < w; ++x) g->SetPixel(x, h - 1, 0x00FF00);
  return g;
}

QImage Shown(TPGImage& view) { return view.viewport()->grab().toImage(); }

}  // namespace

TEST(PGImage, ZoomEventsAndAutomaticSize) {
  TPGImage view;
  int zoomChanges = 0, sizes = 0;
  view.OnZoomFactorChange = [&](TObject*) { ++zoomChanges; };
  view.OnNewAutoSize = [&](TObject*, int32_t, int32_t) { ++sizes; };
  view.resize(300, 300);
  view.SetPixelGraphic(RedBlue(500, 100));
  view.SetStretch(sAlways);
  EXPECT_EQ(view.EffectiveZoom(), -1.0L);
  EXPECT_EQ(zoomChanges, 1);
  view.SetStretch(sAlways);
  view.Rearrange(true);
  EXPECT_EQ(zoomChanges, 1);
  EXPECT_EQ(sizes, 1);

  view.SetStretch(sNeverKAR);
  view.SetAutoSize(true);
  const int k = view.frameWidth();
  EXPECT_EQ(view.size(), QSize(500 + 2 * k, 100 + 2 * k));
  view.SetAutoSizeBounds({0, 200, 0, 1000});
  EXPECT_EQ(view.width(), 200);
  EXPECT_GT(view.height(), 100 + 2 * k);
}

TEST(PGImage, FilesOwnershipAndErrors) {
  TTempDirectory dir;
  TPGImage view;
  try {
    view.SaveToFile(dir / "none.bmp");
    FAIL();
  } catch (const EPGEmpty& e) {
    EXPECT_STREQ(e.what(), "PixelGraphic is empty");
  }
  TPixelGraphic source;
  FillRandom(source, 7, 5, 4);
  view.AssignPixelGraphic(&source);
  source.SetPixel(0, 0, 0);
  EXPECT_NE(view.PixelGraphic()->GetPixel(0, 0), 0u);
  view.SaveToFile(dir / "a.bmp");
  EXPECT_EQ(view.FileName(), dir / "a.bmp");

  view.SetShowHourGlass(false);
  view.SetFileName("   ");
  EXPECT_EQ(view.PixelGraphic(), nullptr);
  view.SetFileName(dir / "a.bmp");
  ASSERT_NE(view.PixelGraphic(), nullptr);
  EXPECT_EQ(Pixels(*view.PixelGraphic()).size(), 35u);
  EXPECT_EQ(view.PicBox()->size(), QSize(7, 5));
  EXPECT_THROW(view.SetFileName(dir / "missing.bmp"), EPixelGraphic);
  EXPECT_EQ(view.PixelGraphic(), nullptr);
  EXPECT_EQ(view.FileName(), "");
  EXPECT_EQ(view.PicBox()->size(), QSize(0, 0));
}

TEST(PGImage, PaintsBandsOutlineAndMirroredTiles) {
  TPGImage view;
  view.setFrameShape(QFrame::NoFrame);
  view.resize(100, 60);
  view.SetColor(Qt::white);
  int painting = 0, painted = 0;
  view.OnPainting = [&](TObject*) { ++painting; };
  view.OnPaint = [&](TObject*) { ++painted; };
  view.show();
  QImage shown = Shown(view);
  EXPECT_EQ(shown.pixel(50, 30), qRgb(255, 255, 255));
  EXPECT_GT(painting, 0);
  EXPECT_EQ(painting, painted);

  // 10 x 6 centred at (45, 27): tiles left, right, above and below.
  view.SetPixelGraphic(RedBlue(10, 6));
  view.SetCenter(true);
  shown = Shown(view);
  const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), green = qRgb(0, 255, 0);
  EXPECT_EQ(shown.pixel(46, 27), red);
  EXPECT_EQ(shown.pixel(44, 27), qRgb(255, 255, 255));
  view.SetTiling(tMirror);
  shown = Shown(view);
  // Right neighbour mirrored across: its left pixel is the picture's right one.
  EXPECT_EQ(shown.pixel(55, 27), blue);
  EXPECT_EQ(shown.pixel(65, 27), red);
  // The one above is upside down: its top row is the green bottom row.
  EXPECT_EQ(shown.pixel(46, 21), green);
  EXPECT_EQ(shown.pixel(46, 26), red);
  // Diagonal: both.
  EXPECT_EQ(shown.pixel(55, 21), green);
  EXPECT_EQ(shown.pixel(55, 22), blue);
  view.SetFlipHorizontal(true);
  shown = Shown(view);
  EXPECT_EQ(shown.pixel(46, 27), blue);
  EXPECT_EQ(shown.pixel(55, 27), red);
}
