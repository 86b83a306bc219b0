#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "colormapping.h"
#include "namedpalettes.h"
#include "palettechoice.h"
#include "paletterefinement.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "settings.h"
#include "shrinkpipeline.h"
#include "testpictures.h"

namespace {

// True colour, precise, no sharpening, no frame.
TShrinkSettings PlainSettings() {
  TShrinkSettings s;
  s.Selection = TrueColorRow;
  s.MemWarning = 1000;
  s.StretchMode = smPrecise;
  s.OptimizedPaletteSize = 252;
  s.BorderWidth = 3;
  return s;
}

// The stage texts in the order the progress reports show them.
std::vector<std::string> StagesOfRun(TShrinkPipeline& pipeline, const TPixelGraphic& source,
                                     const TShrinkSettings& s) {
  std::vector<std::string> stages;
  pipeline.OnProgress = [&](TObject*, int, int, bool&) {
    if (stages.empty() || stages.back() != pipeline.StageText()) stages.push_back(pipeline.StageText());
  };
  EXPECT_EQ(pipeline.Run(source, 12, 8, false, s).Outcome, soFinished);
  pipeline.OnProgress = nullptr;
  return stages;
}

TEST(ShrinkPipeline, InterferenceDropsTheLastColumnAndRow) {
  // Black, with a red last column and a blue last row.
  TPixelGraphic source;
  source.SetSize(201, 5, 3);
  for (int32_t y = 0; y < 5; ++y) source.SetPixel(200, y, RGB(255, 0, 0));
  for (int32_t x = 0; x < 201; ++x) source.SetPixel(x, 4, RGB(0, 0, 255));
  TShrinkPipeline pipeline;
  const auto corner = [&](int32_t w, bool minimize) {
    return pipeline.Run(source, w, 2, minimize, PlainSettings()).Result->GetPixelColor(w - 1, 1);
  };
  // 201 -> 100 uses 200 columns and 5 -> 2 uses 4 rows.
  EXPECT_EQ(corner(100, true), RGB(0, 0, 0));
  EXPECT_NE(GetRValue(corner(100, false)), 0);
  EXPECT_NE(GetBValue(corner(100, false)), 0);
  // 201 -> 99 uses all 201 columns; the rows still halve.
  EXPECT_NE(GetRValue(corner(99, true)), 0);
  EXPECT_EQ(GetBValue(corner(99, true)), 0);
}

TEST(ShrinkPipeline, MemoryEstimateAndWarning) {
  EXPECT_EQ(ShrinkMemoryEstimate(2000, 2000, 1000, 1000), 15000000);
  EXPECT_TRUE(MemoryWarningDue(15000000, 8));
  EXPECT_EQ(ShrinkMemoryEstimate(1000, 1000, 500, 500), 3750000);
  EXPECT_FALSE(MemoryWarningDue(3750000, 8));
  EXPECT_EQ(ShrinkMemoryEstimate(10, 10, 100, 100), 60000);
  // Past 32 bits, for the estimate and for the limit.
  EXPECT_EQ(ShrinkMemoryEstimate(30000, 30000, 15000, 15000), 3375000000);
  EXPECT_TRUE(MemoryWarningDue(3375000000, 8));
  EXPECT_FALSE(MemoryWarningDue(15000000, 4096));
  const int32_t big = std::numeric_limits<int32_t>::max();
  EXPECT_TRUE(MemoryWarningDue(ShrinkMemoryEstimate(big, big, big, big), big));
  // One decimal, half to even, shortest form.
  EXPECT_EQ(MegabytesText(8 * 1048576), "8");
  EXPECT_EQ(MegabytesText(262144), "0.2");
  EXPECT_EQ(MegabytesText(786432), "0.8");
  EXPECT_EQ(MemoryWarningText(15000000, LanguageEnglish),
            "The estimated memory consumption for this calculation is 14.3 MB. It can take some time to allocate "
            "large amounts of memory. Memory allocations can also fail. \r\rContinue anyway?\r\r(You can set the "
            "limit for this warning in the options dialog.)");
  EXPECT_EQ(MemoryWarningText(15000000, LanguageGerman),
            "Der geschätzte Speicherbedarf für die Berechnung liegt bei 14.3 MB. Bei der Anforderung von großen "
            "Speicherbereichen kann es zu Verzögerungen kommen. Speicheranforderungen können auch fehlschlagen. "
            "\r\rMöchten Sie trotzdem fortfahren?\r\r(Über das Optionen-Dialogfenster kann festgelegt werden ab "
            "welchem Speicherbedarf diese Warnung angezeigt wird.)");

  // The question comes before the run starts; a refusal starts nothing.
  TPixelGraphic source;
  FillRandom(source, 20, 20, 1);
  TShrinkPipeline pipeline;
  int asked = 0, reports = 0;
  bool answer = false;
  pipeline.OnMemoryWarning = [&](const std::string& text) {
    EXPECT_NE(text.find(" 0 MB. "), std::string::npos);
    EXPECT_FALSE(pipeline.Busy());
    ++asked;
    return answer;
  };
  pipeline.OnProgress = [&](TObject*, int, int, bool&) { ++reports; };
  TShrinkSettings s = PlainSettings();
  s.MemWarning = 0;
  EXPECT_EQ(pipeline.Run(source, 10, 10, false, s).Outcome, soDeclined);
  EXPECT_EQ(reports, 0);
  answer = true;
  EXPECT_EQ(pipeline.Run(source, 10, 10, false, s).Outcome, soFinished);
  s.MemWarning = 1;
  EXPECT_EQ(pipeline.Run(source, 10, 10, false, s).Outcome, soFinished);
  EXPECT_EQ(asked, 2);
}

TEST(ShrinkPipeline, AbortLeavesNoResult) {
  TPixelGraphic source;
  FillRandom(source, 60, 40, 2);
  TShrinkSettings s = PlainSettings();
  s.Sharpen = 50;
  s.DoBorder = true;
  s.Selection = 18;
  TShrinkPipeline pipeline;
  int calls = 0;
  pipeline.OnProgress = [&](TObject*, int, int, bool& abort) {
    EXPECT_EQ(abort, calls > 0);  // Abort arrives holding the request
    EXPECT_EQ(pipeline.StageText(), "Stretching");
    if (++calls == 1) pipeline.RequestAbort();
  };
  TShrinkRun run = pipeline.Run(source, 30, 20, false, s);
  EXPECT_EQ(run.Outcome, soAborted);
  EXPECT_EQ(run.Result, nullptr);
  // The next report stops the stretch; the later stages are skipped.
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(pipeline.Busy());
  EXPECT_EQ(pipeline.StageText(), "");

  // The front end may abort through Abort itself.
  calls = 0;
  pipeline.OnProgress = [&](TObject*, int, int, bool& abort) { abort = ++calls == 3; };
  EXPECT_EQ(pipeline.Run(source, 30, 20, false, s).Outcome, soAborted);
  EXPECT_EQ(calls, 3);

  // A request between runs is forgotten.
  pipeline.OnProgress = nullptr;
  pipeline.RequestAbort();
  run = pipeline.Run(source, 30, 20, false, s);
  ASSERT_EQ(run.Outcome, soFinished);
  EXPECT_EQ(run.Result->BitCountNum(), 2);
  EXPECT_FALSE(run.Result->OnProgress);
}

TEST(ShrinkPipeline, StagesAndTheirTexts) {
  TPixelGraphic source;
  FillRandom(source, 24, 16, 3);
  TShrinkPipeline pipeline;
  TShrinkSettings s = PlainSettings();
  EXPECT_EQ(StagesOfRun(pipeline, source, s), std::vector<std::string>{"Stretching"});
  s.Sharpen = 40;
  s.DoBorder = true;
  s.Selection = 18;
  EXPECT_EQ(StagesOfRun(pipeline, source, s), (std::vector<std::string>{"Stretching", "Sharpening", "Border",
                                                                        "Create optimized palette", "Map to palette"}));
  s.Language = LanguageGerman;
  s.Selection = 12;  // a named palette has no palette stage of its own
  EXPECT_EQ(StagesOfRun(pipeline, source, s),
            (std::vector<std::string>{"Strecken/schrumpfen", "Schärfen", "Rand bearbeiten", "Auf Palette abbilden"}));
  s.Selection = 3;
  s.Sharpen = 0;
  s.BorderWidth = 0;
  EXPECT_EQ(StagesOfRun(pipeline, source, s),
            (std::vector<std::string>{"Strecken/schrumpfen", "Optimale Palette bestimmen", "Auf Palette abbilden"}));
  // The times name the stages that ran, in order, and add up to at most the run.
  const TRunTimes& times = pipeline.LastRunTimes();
  ASSERT_EQ(times.Stages.size(), 3u);
  EXPECT_EQ(times.Stages[1].Stage, psOptimizedPalette);
  double sum = 0;
  for (const auto& stage : times.Stages) sum += stage.Milliseconds;
  EXPECT_LE(sum, times.Milliseconds);
  TRunTimes example;
  example.Milliseconds = 412.4;
  example.Stages = {{psStretch, 180.2}, {psMapToPalette, 231.5}};
  EXPECT_EQ(RunTimesText(example), "run 412 ms (stretch 180 ms, map 232 ms)");

  EXPECT_EQ(RunStateText(rsBusy, LanguageGerman), "BESCHÄFTIGT");
  EXPECT_EQ(RunStateText(rsWaiting, LanguageEnglish), "WAITING");
  EXPECT_EQ(QualityHintText(LanguageGerman), "Bildqualität ist besser als angezeigt!");
  EXPECT_EQ(ProgressPercent(5, 0), 500);
  EXPECT_EQ(ProgressPercent(49, 99), 49);
  EXPECT_EQ(ProgressPercent(500000000, 500000000), 100);
}

TEST(ShrinkPipeline, RefinedPaletteIsCloserAndMappedExactly) {
  TPixelGraphic source;
  source.SetSize(64, 48, 3);
  std::mt19937 rng(10);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x) source.SetPixel(x, y, RGB(4 * x + rng() % 5, 5 * y + rng() % 5, 2 * (x + y)));
  TShrinkPipeline pipeline;
  TShrinkSettings s = PlainSettings();
  const std::unique_ptr<TPixelGraphic> trueColor = pipeline.Run(source, 32, 24, false, s).Result;
  const auto error = [&](const TPixelGraphic& g) {
    int64_t sum = 0;
    const std::vector<TRGB> want = Colors(*trueColor), got = Colors(g);
    for (size_t i = 0; i < want.size(); ++i)
      for (int shift : {0, 8, 16}) {
        const int64_t d = int64_t((want[i] >> shift) & 255) - int64_t((got[i] >> shift) & 255);
        sum += d * d;
      }
    return sum;
  };
  s.Selection = 18;
  s.OptimizedPaletteSize = 40;
  s.OptimizedPaletteIncludeSys = true;
  s.FastUnknownPalette = true;
  const std::unique_ptr<TPixelGraphic> plain = pipeline.Run(source, 32, 24, false, s).Result;
  s.OptimizedPaletteRefine = true;
  const std::unique_ptr<TPixelGraphic> refined = pipeline.Run(source, 32, 24, false, s).Result;
  EXPECT_LT(error(*refined), error(*plain));
  ASSERT_EQ(refined->PaletteCount(), 40);
  for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(refined->PaletteEntries(24 + i), SystemColors16[i]);
  // Without dithering every pixel takes the exact nearest entry.
  s.Dithering = false;
  const std::unique_ptr<TPixelGraphic> undithered = pipeline.Run(source, 32, 24, false, s).Result;
  std::vector<TRGB> palette;
  for (int32_t i = 0; i < undithered->PaletteCount(); ++i) palette.push_back(undithered->PaletteEntries(i));
  const std::vector<TRGB> colors = Colors(*trueColor);
  const std::vector<uint32_t> pixels = Pixels(*undithered);
  for (size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], FullNearestSearch(palette, colors[i]));

  // Other palettes ignore the setting; an abort while refining ends the run.
  s.Selection = 15;
  const std::vector<uint32_t> named = Pixels(*pipeline.Run(source, 32, 24, false, s).Result);
  s.OptimizedPaletteRefine = false;
  EXPECT_EQ(Pixels(*pipeline.Run(source, 32, 24, false, s).Result), named);
  s.Selection = 18;
  s.OptimizedPaletteRefine = true;
  pipeline.OnProgress = [&](TObject*, int, int max, bool& abort) { abort = max == MaxRefinementPasses; };
  EXPECT_EQ(pipeline.Run(source, 32, 24, false, s).Outcome, soAborted);
}

TEST(ShrinkPipeline, DamagedSettingsAreBroughtIntoRange) {
  TPixelGraphic source;
  FillRandom(source, 40, 30, 5);
  TShrinkPipeline pipeline;
  TShrinkSettings s = PlainSettings();
  const auto result = [&] { return std::move(pipeline.Run(source, 20, 15, false, s).Result); };
  s.Sharpen = 100;
  const std::vector<uint32_t> full = Pixels(*result());
  s.Sharpen = 100000;
  EXPECT_EQ(Pixels(*result()), full);
  s.Sharpen = -20;
  s.DoBorder = true;
  s.BorderWidth = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(result()->GetWidth(), 20);
  s.DoBorder = false;

  // Optimized palettes hold 2 to 256 entries, and no more than the depth.
  s.Selection = 18;
  s.OptimizedPaletteSize = 100000;
  EXPECT_EQ(result()->PaletteCount(), 256);
  s.OptimizedPaletteSize = -7;
  EXPECT_EQ(result()->PaletteCount(), 2);
  s.OptimizedPaletteSize = 252;
  s.OptimizedPaletteIncludeSys = true;
  s.Selection = 10;
  EXPECT_EQ(result()->PaletteCount(), 16);

  // An individual palette larger than the depth gives its first entries.
  std::mt19937 rng(6);
  for (int i = 0; i < 200; ++i) s.IndividualPalette.push_back(rng() & 0xFFFFFF);
  s.Selection = 9;
  std::unique_ptr<TPixelGraphic> individual = result();
  ASSERT_EQ(individual->PaletteCount(), 16);
  EXPECT_EQ(individual->PaletteEntries(15), s.IndividualPalette[15]);
  for (uint32_t v : Pixels(*individual)) EXPECT_LT(v, 16u);
  s.Selection = 200;
  EXPECT_EQ(result()->BitCountNum(), 3);
}

TEST(ShrinkPipeline, FailuresEndTheRunCleanly) {
  TPixelGraphic source;
  FillRandom(source, 10, 10, 7);
  TShrinkPipeline pipeline;
  TShrinkSettings s = PlainSettings();
  s.Sharpen = 30;
  EXPECT_THROW(pipeline.Run(source, -1, 5, false, s), EPGInvalidSize);
  EXPECT_FALSE(pipeline.Busy());
  EXPECT_EQ(pipeline.StageText(), "");
  // A 24-bit source has no palette to give, nor an empty individual palette.
  s.Selection = 16;
  EXPECT_THROW(pipeline.Run(source, 5, 5, false, s), EPGNoPalette);
  s.Selection = 2;
  EXPECT_THROW(pipeline.Run(source, 5, 5, false, s), EPGNoPalette);
  EXPECT_EQ(pipeline.Run(source, 0, 0, false, s).Result->PaletteIdent(), pNone);
  TPixelGraphic empty;
  EXPECT_EQ(pipeline.Run(empty, 5, 5, false, s).Outcome, soNoSource);
  EXPECT_FALSE(pipeline.Busy());
}

TEST(ShrinkPipeline, ReentryAndSourceReplacedDuringTheRun) {
  TPixelGraphic source, original;
  FillRandom(source, 40, 40, 8);
  original.Assign(&source);
  TShrinkPipeline pipeline;
  std::vector<TShrinkOutcome> nested;
  pipeline.OnProgress = [&](TObject*, int, int, bool&) {
    if (!nested.empty()) return;
    nested.push_back(pipeline.Run(source, 5, 5, false, PlainSettings()).Outcome);
    source.SetSize(3, 3, 3);  // another picture opened meanwhile
  };
  TShrinkRun run = pipeline.Run(source, 20, 20, false, PlainSettings());
  EXPECT_EQ(nested, std::vector<TShrinkOutcome>{soBusy});
  pipeline.OnProgress = nullptr;
  EXPECT_EQ(Pixels(*run.Result), Pixels(*pipeline.Run(original, 20, 20, false, PlainSettings()).Result));
}

TEST(ShrinkPipeline, CurrentSettingsCopyTheIndividualPalette) {
  Selection = 17;
  Sharpen = 33;
  OptimizedPaletteSize = 99;
  IndividualPalette = std::make_unique<TPixelGraphic>();
  IndividualPalette->SetBitCountNum(2);
  IndividualPalette->SetPaletteCount(3);
  IndividualPalette->SetPaletteEntries(2, RGB(9, 8, 7));
  const TShrinkSettings s = CurrentShrinkSettings();
  IndividualPalette.reset();
  EXPECT_EQ(s.Selection, 17);
  EXPECT_EQ(s.Sharpen, 33);
  EXPECT_EQ(s.OptimizedPaletteSize, 99);
  EXPECT_EQ(s.IndividualPalette, (std::vector<TRGB>{0, 0, RGB(9, 8, 7)}));
  EXPECT_TRUE(CurrentShrinkSettings().IndividualPalette.empty());
}

}  // namespace

TEST(ShrinkPipeline, ResultIsTheSamePhotoAsItsSource) {
  const std::vector<uint8_t> exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    auto source = std::make_unique<TPixelGraphic>();
    FillRandom(*source, 20, 10, 3);
    source->SetExifBlock(exif);
    source->SetOrientation(6);
    TShrinkPipeline pipeline;
    // The source given up to the run is gone before the result is made.
    TShrinkRun run = way == 0   ? pipeline.Run(*source, 10, 5, false, PlainSettings())
                     : way == 1 ? pipeline.RunInPlace(*source, 10, 5, false, PlainSettings())
                                : pipeline.Run(std::move(source), 10, 5, false, PlainSettings());
    ASSERT_EQ(run.Outcome, soFinished);
    EXPECT_EQ(run.Result->ExifBlock(), exif);
    EXPECT_EQ(run.Result->Orientation(), 6);
  }
}
