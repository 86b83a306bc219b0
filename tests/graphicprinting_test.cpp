#include <gtest/gtest.h>

#include <string>

#include "graphicprinting.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "scriptedplatform.h"

TEST(GraphicPrinting, PageFitting) {
  // A4 at 600 dpi: a landscape picture fills the width, a tall one the height.
  EXPECT_EQ(PrintPageRect(4800, 6600, 600, 600, 640, 480), (TPGRect{0, 1500, 4800, 5100}));
  EXPECT_EQ(PrintPageRect(4800, 6600, 600, 600, 100, 1000), (TPGRect{2070, 0, 2730, 6600}));
  // Twice as many pixels per inch across as down: the page is 6 by 6 inches,
  // and the printed picture keeps its proportions in inches.
  EXPECT_EQ(PrintPageRect(1200, 600, 200, 100, 100, 100), (TPGRect{0, 0, 1200, 600}));
  EXPECT_EQ(PrintPageRect(1200, 600, 200, 100, 100, 200), (TPGRect{300, 0, 900, 600}));
  EXPECT_EQ(PrintPageRect(1200, 600, 200, 100, 300, 100), (TPGRect{0, 200, 1200, 400}));
  // Round half to even (2.5 -> 2, 3.5 -> 4), then an odd rest halved toward zero.
  EXPECT_EQ(PrintPageRect(5, 100, 1, 1, 2, 1), (TPGRect{0, 49, 5, 51}));
  EXPECT_EQ(PrintPageRect(7, 101, 1, 1, 2, 1), (TPGRect{0, 48, 7, 53}));
  // Nothing to fit into.
  EXPECT_EQ(PrintPageRect(0, 100, 1, 1, 2, 1), (TPGRect{0, 0, 0, 100}));
  EXPECT_EQ(PrintPageRect(100, 100, 0, 1, 2, 1), (TPGRect{0, 0, 100, 100}));

  EXPECT_EQ(PrintJobTitle("Quillet", 640, 480, 24), "Quillet Graphic 640x480x16777216");
  EXPECT_EQ(PrintJobTitle("Q", 1, 2, 1), "Q Graphic 1x2x2");
}

TEST(GraphicPrinting, PrintJob) {
  TScriptedPlatform platform;
  TScriptedPrinter printer;
  platform.ScriptedPrinter = &printer;
  TPixelGraphic g;
  g.PrintGraphic(true, true, nullptr);
  EXPECT_EQ(printer.Log, "");

  g.SetSize(640, 480, 3);
  printer.DialogAnswer = false;
  g.PrintGraphic(true, true, nullptr);
  EXPECT_EQ(printer.Log, "dialog\n");

  printer.Log.clear();
  g.PrintGraphic(false, true, nullptr);
  EXPECT_EQ(printer.Log,
            "landscape\ntitle Quillet Graphic 640x480x16777216\nbegin\ndraw 640x480 into 0,1500,4800,5100\nend\n"
            "portrait\n");
  EXPECT_EQ(printer.CurrentOrientation, poPortrait);

  // A square picture keeps the printer's orientation.
  printer.Log.clear();
  printer.CurrentOrientation = poLandscape;
  g.SetSize(10, 10, 0);
  g.PrintGraphic(false, true, nullptr);
  EXPECT_EQ(printer.Log, "title Quillet Graphic 10x10x2\nbegin\ndraw 10x10 into 0,900,4800,5700\nend\nlandscape\n");

  // A failing drawing still ends the document and restores the orientation.
  printer.Log.clear();
  g.SetSize(10, 20, 1);
  printer.OnDraw = [] { throw EPixelGraphic("out of paper"); };
  try {
    g.PrintGraphic(false, true, nullptr);
    ADD_FAILURE() << "no failure";
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "out of paper");
  }
  EXPECT_EQ(printer.Log,
            "portrait\ntitle Quillet Graphic 10x20x16\nbegin\ndraw 10x20 into 750,0,4050,6600\nend\nlandscape\n");

  platform.ScriptedPrinter = nullptr;
  EXPECT_THROW(g.PrintGraphic(false, false, nullptr), EPixelGraphic);
}
