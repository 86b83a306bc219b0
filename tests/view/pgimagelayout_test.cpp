#include <gtest/gtest.h>

#include "pgimagelayout.h"

TEST(PGImageLayout, StretchRules) {
  const TPGSize big{2000, 1000}, area{400, 400};
  // A picture that fits stays 1:1; a larger one is fitted with its aspect.
  auto d = DisplayedSize(sShrinkKAR, {300, 100}, area, 16, 16, 1);
  EXPECT_EQ(d.Size, (TPGSize{300, 100}));
  EXPECT_EQ(d.Zoom, 1.0L);
  d = DisplayedSize(sShrinkKAR, big, area, 16, 16, 1);
  EXPECT_EQ(d.Size, (TPGSize{400, 200}));
  EXPECT_DOUBLE_EQ(double(d.Zoom), 0.2);
  // The first fit leaves room, so the shorter side fills the view less the bar.
  d = DisplayedSize(sAlwaysLongerEdgeKAR, big, area, 16, 16, 1);
  EXPECT_EQ(d.Size, (TPGSize{768, 384}));
  EXPECT_DOUBLE_EQ(double(d.Zoom), 0.384);
  d = DisplayedSize(sAlways, big, area, 16, 16, 1);
  EXPECT_EQ(d.Size, area);
  EXPECT_EQ(d.Zoom, -1.0L);
  d = DisplayedSize(sZoomKAR, {101, 51}, area, 16, 16, 0);
  EXPECT_EQ(d.Size, (TPGSize{101, 51}));
  EXPECT_EQ(d.Zoom, 1.0L);
  // Half-way values round to even.
  d = DisplayedSize(sZoomKAR, {101, 51}, area, 16, 16, 0.5L);
  EXPECT_EQ(d.Size, (TPGSize{50, 26}));
  // Shrinking one direction only scales unevenly.
  d = DisplayedSize(sShrink, {500, 100}, area, 16, 16, 1);
  EXPECT_EQ(d.Size, (TPGSize{400, 100}));
  EXPECT_EQ(d.Zoom, -1.0L);
  // Enlarging leaves room for the bar the other direction needs.
  d = DisplayedSize(sEnlarge, {100, 500}, area, 16, 16, 1);
  EXPECT_EQ(d.Size, (TPGSize{384, 500}));
  EXPECT_EQ(DisplayedSize(sEnlargeKAR, big, area, 16, 16, 1).Size, big);
  EXPECT_EQ(DisplayedSize(sEnlargeKAR, {100, 50}, area, 16, 16, 1).Size, (TPGSize{400, 200}));
  // Fits once a scroll bar is allowed: stays 1:1.
  EXPECT_EQ(DisplayedSize(sShrinkLongerEdgeKAR, {390, 380}, area, 16, 16, 1).Size, (TPGSize{390, 380}));
  EXPECT_EQ(DisplayedSize(sShrinkLongerEdgeKAR, {390, 410}, area, 16, 16, 1).Size, (TPGSize{384, 403}));
  EXPECT_EQ(DisplayedSize(sEnlargeShrinkLongerEdgeKAR, {100, 50}, area, 16, 16, 1).Size, (TPGSize{400, 200}));
  EXPECT_EQ(DisplayedSize(sEnlargeLongerEdgeKAR, big, area, 16, 16, 1).Size, big);
  // Nothing to scale into: the picture's own size, zoom 1.
  d = DisplayedSize(sAlways, big, {0, 400}, 16, 16, 1);
  EXPECT_EQ(d.Size, big);
  EXPECT_EQ(d.Zoom, 1.0L);
}

TEST(PGImageLayout, AutomaticSizeAndCentring) {
  EXPECT_EQ(AutomaticSize({300, 200}, 2, 16, 16, {}), (TPGSize{304, 204}));
  // Too wide: a horizontal bar, which then makes it too high as well.
  TPGAutoSizeBounds bounds{0, 200, 0, 210};
  EXPECT_EQ(AutomaticSize({300, 200}, 0, 16, 17, bounds), (TPGSize{200, 210}));
  bounds = {250, 1000, 250, 1000};
  EXPECT_EQ(AutomaticSize({30, 20}, 0, 16, 16, bounds), (TPGSize{250, 250}));

  // Odd remainders put the extra pixel right and below.
  TPGCentring c = Centring({100, 50}, {301, 201}, 16, 16);
  EXPECT_EQ(c.Left, 100);
  EXPECT_EQ(c.Top, 75);
  EXPECT_EQ(c.Client, (TPGSize{301, 201}));
  // Wider than the view: scrolled to the middle, centred vertically above the bar.
  c = Centring({1000, 50}, {400, 300}, 16, 16);
  EXPECT_EQ(c.Left, 0);
  EXPECT_EQ(c.Top, (284 - 50) / 2);
  EXPECT_EQ(c.ScrollX, (1000 - 400) / 2);
  EXPECT_EQ(c.ScrollY, 0);
}

TEST(PGImageLayout, TilesAndMirroring) {
  EXPECT_EQ(TileRange(0, 100, 100), (TPGTileRange{0, 0}));
  EXPECT_EQ(TileRange(10, 100, 500), (TPGTileRange{-1, 4}));
  EXPECT_EQ(TileRange(250, 100, 500), (TPGTileRange{-3, 2}));
  // Scrolled: the picture starts left of the client area.
  EXPECT_EQ(TileRange(-50, 100, 120), (TPGTileRange{0, 1}));
  // tMirror: right neighbour mirrored across, lower one up-down, diagonal both.
  EXPECT_TRUE(TileMirrored(false, tMirror, true, 1));
  EXPECT_TRUE(TileMirrored(false, tMirror, false, 1));
  EXPECT_TRUE(TileMirrored(false, tMirror, true, -1));
  EXPECT_FALSE(TileMirrored(false, tMirror, true, 2));
  EXPECT_FALSE(TileMirrored(false, tMirrorHorizontal, false, 1));
  EXPECT_FALSE(TileMirrored(true, tMirrorHorizontal, true, 1));
  EXPECT_TRUE(TileMirrored(true, tRepeat, true, 1));
}
