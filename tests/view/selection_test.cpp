#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>

#include "pgimage.h"
#include "testpictures.h"

namespace {

// A 200 x 100 picture shown at half size in a view that has room for it.
struct THalfSizeView {
  TPGImage view;
  int changes = 0, made = 0;
  THalfSizeView() {
    view.resize(300, 300);
    view.SetStretch(sZoomKAR);
    view.SetZoomFactor(0.5L);
    auto picture = std::make_unique<TPixelGraphic>();
    Uniform(*picture, 200, 100, 0x808080);
    view.SetPixelGraphic(std::move(picture));
    view.SetActionMode(amMoveResizeCreateSelection);
    view.OnSelectionChange = [this](TObject*) { ++changes; };
    view.OnSelectionMade = [this](TObject*) { ++made; };
    view.show();
  }
  TPGSelectionRect Rect() const {
    return {view.SelectionLeft(), view.SelectionTop(), view.SelectionWidth(), view.SelectionHeight()};
  }
};

}  // namespace

TEST(Selection, Geometry) {
  // 10 x 10 at (4, 4) shown at half size; the outline runs one pixel outside.
  const TPGScale half{200, 100, 100, 50};
  EXPECT_EQ(DisplayedSelection({4, 4, 10, 10}, half), (TPGRect{2, 2, 7, 7}));
  EXPECT_EQ(DisplayedToPicture(7, 100, 200), 14);
  EXPECT_EQ(HandleRect(hBottomRight, {2, 2, 7, 7}), (TPGRect{10, 10, 15, 15}));
  EXPECT_EQ(HandleRect(hTop, {2, 2, 7, 7}), (TPGRect{2, -6, 7, -1}));
  EXPECT_FALSE(PointInRect({2, 2, 7, 7}, 7, 3));
  // Brush 0 has four pixels of each colour per row; each brush moves one pixel.
  EXPECT_FALSE(StripeSecondColor(0, 0, 0));
  EXPECT_TRUE(StripeSecondColor(4, 0, 0));
  EXPECT_FALSE(StripeSecondColor(4, 0, 1));
  // The right handle dragged past the left edge keeps a width of 1; moving
  // far left leaves one column on the picture.
  EXPECT_EQ(ResizeSelection({10, 10, 5, 5}, hRight, 2, 0, 10, 0).Width, 1);
  EXPECT_EQ(ResizeSelection({10, 10, 5, 5}, hTopLeft, 30, 30, 0, 0), (TPGSelectionRect{14, 14, 1, 1}));
  EXPECT_EQ(MoveSelection({10, 10, 5, 5}, -100, 12, 0, 0, 200, 100), (TPGSelectionRect{-4, 12, 5, 5}));
  EXPECT_EQ(SpanSelection(10, 10, 4, 12), (TPGSelectionRect{4, 10, 7, 3}));
}

TEST(Selection, ClickCreateResizeAndMove) {
  THalfSizeView v;
  QWidget* box = v.view.PicBox();
  ASSERT_EQ(box->size(), QSize(100, 50));
  // A click without moving: 1 x 1 at the clicked picture pixel.
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(10, 20));
  EXPECT_TRUE(v.view.Selection());
  EXPECT_TRUE(v.view.OutlineTimerActive());
  EXPECT_EQ(v.Rect(), (TPGSelectionRect{20, 40, 1, 1}));
  EXPECT_EQ(v.made, 1);
  EXPECT_FALSE(v.view.AutoScrollTimerActive());

  // A drag spans both ends.
  QTest::mousePress(box, Qt::LeftButton, {}, QPoint(30, 10));
  QTest::mouseMove(box, QPoint(20, 30));
  QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(20, 30));
  EXPECT_EQ(v.Rect(), (TPGSelectionRect{40, 20, 21, 41}));
  EXPECT_EQ(v.made, 2);

  // The right handle (displayed 34..38) dragged left past the left edge.
  const TPGRect handle = HandleRect(hRight, v.view.DisplayedSelectionRect());
  QTest::mousePress(box, Qt::LeftButton, {}, QPoint(handle.Left + 1, handle.Top + 1));
  QTest::mouseMove(box, QPoint(2, handle.Top + 1));
  QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(2, handle.Top + 1));
  EXPECT_EQ(v.Rect().Left, 40);
  EXPECT_EQ(v.Rect().Width, 1);

  // Moving it far to the left stops with its last column on the picture.
  v.view.SetSelectionRect(40, 20, 10, 10);
  QTest::mousePress(box, Qt::LeftButton, {}, QPoint(22, 12));
  QTest::mouseMove(box, QPoint(0, 12));
  QTest::mouseMove(box, QPoint(-60, 12));
  QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(-60, 12));
  EXPECT_EQ(v.Rect(), (TPGSelectionRect{-9, 20, 10, 10}));

  // Writing a value it already has is no change.
  const int before = v.changes;
  v.view.SetSelectionLeft(-9);
  EXPECT_EQ(v.changes, before);
  v.view.SetSelection(false);
  EXPECT_FALSE(v.view.OutlineTimerActive());
}

TEST(Selection, PanOnlyWhenThePictureIsLarger) {
  THalfSizeView v;
  v.view.SetActionMode(amMoveSelectionMoveImage);
  QTest::mouseClick(v.view.PicBox(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_FALSE(v.view.Selection());
  EXPECT_FALSE(v.view.CanPan());

  v.view.SetZoomFactor(4);
  ASSERT_TRUE(v.view.CanPan());
  QWidget* box = v.view.PicBox();
  QTest::mousePress(box, Qt::LeftButton, {}, QPoint(200, 200));
  QTest::mouseMove(box, QPoint(150, 170));
  QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(150, 170));
  EXPECT_EQ(v.view.horizontalScrollBar()->value(), 50);
  EXPECT_EQ(v.view.verticalScrollBar()->value(), 30);
  EXPECT_FALSE(v.view.Selection());
}
