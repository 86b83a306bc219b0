#include <gtest/gtest.h>

#include <QImage>

#include "pgimage.h"
#include "pgimagelayout.h"
#include "previewpane.h"
#include "testpictures.h"

// ctest runs these once more with QT_SCALE_FACTOR=2: at zoom 1 a picture
// pixel must cover one device pixel at any scale.

TEST(DevicePixels, ExtentsRoundTowardsTheWholePicture) {
  EXPECT_EQ(LogicalExtent(101, 2.0), 51);
  EXPECT_EQ(LogicalExtent(100, 2.0), 50);
  EXPECT_EQ(LogicalExtent(5, 1.25), 4);
  EXPECT_EQ(DeviceExtent(51, 2.0), 102);
  EXPECT_EQ(DeviceExtent(4, 1.25), 5);
  EXPECT_EQ(DeviceExtent(-3, 1.5), -5);
  // The preview fits into the room in device pixels and sits on a whole logical pixel.
  EXPECT_EQ(PreviewDrawRect(QRect(0, 0, 150, 140), 101, 50, 2.0), QRectF(49, 57, 50.5, 25));
  EXPECT_EQ(PreviewDrawRect(QRect(0, 0, 150, 140), 2000, 100, 2.0).width(), 146);
}

TEST(DevicePixels, CheckerboardAtZoomOneStaysACheckerboard) {
  auto board = std::make_unique<TPixelGraphic>();
  Uniform(*board, 41, 31, 0xFFFFFF);
  for (int32_t y = 0; y < 31; ++y)
    for (int32_t x = y % 2; x < 41; x += 2) board->SetPixel(x, y, 0x000000);
  TPGImage view;
  view.resize(200, 200);
  view.SetPixelGraphic(std::move(board));
  const double ratio = view.devicePixelRatioF();
  EXPECT_EQ(view.EffectiveZoom(), 1.0L);
  EXPECT_EQ(view.PictureRect().Right, LogicalExtent(41, ratio));
  const QImage shown = view.viewport()->grab().toImage();
  ASSERT_EQ(shown.width(), DeviceExtent(view.viewport()->width(), ratio));
  int wrong = 0;
  for (int y = 0; y < 31; ++y)
    for (int x = 0; x < 41; ++x) wrong += (shown.pixel(x, y) & 0xFFFFFF) != ((x + y) % 2 ? 0xFFFFFFu : 0u);
  EXPECT_EQ(wrong, 0);
  // Beyond the picture: the view's colour, not a stretched last column.
  EXPECT_EQ(shown.pixelColor(41, 0), view.Color());
}
