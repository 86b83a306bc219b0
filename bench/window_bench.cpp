// The main window on a 6000 x 4000 photo-like JPEG: opening it to the first
// painted source, a size change to the painted result at 50 % precise, and
// the longest pause in event processing while the pipeline runs (reported
// as the counter max_pause_ms); and for each kind of depth the window's run
// beside the same run of the pipeline without a window.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "benchfiles.h"
#include "pgimage.h"
#include "qlmainform.h"
#include "settings.h"
#include "shrinkpipeline.h"

namespace {

std::string Photo() {
  static const std::string path = [] {
    TPixelGraphic g;
    g.SetSize(6000, 4000, 3);
    for (int32_t y = 0; y < 4000; ++y) {
      uint8_t* row = g.ScanLine(y);
      for (int32_t x = 0; x < 6000; ++x) {
        row[3 * x] = uint8_t(128 + 100 * std::sin(x / 150.0 + y / 400.0));
        row[3 * x + 1] = uint8_t(128 + 100 * std::sin(y / 90.0));
        row[3 * x + 2] = uint8_t((x ^ y) & 0xFF);
      }
    }
    const std::string file = BenchFile("photo.jpg");
    g.SaveToFile(file);
    return file;
  }();
  return path;
}

void Painted(TPGImage& view) {
  view.viewport()->repaint();
  while (view.NeedsDisplayCopy() && !view.PaintPixelGraphic())
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  view.viewport()->repaint();
}

// Defaults, without the memory question a picture this large would ask.
void Defaults() {
  SetApplicationDefaults();
  MemWarning = 1000000;
}

void BM_OpenToFirstPaint(benchmark::State& state) {
  Defaults();
  TQLMainForm form{std::string()};
  form.show();
  for (auto _ : state) {
    form.OpenSourceFile(Photo());
    Painted(*form.SourcePGImage);
  }
}

void BM_SizeChangeToPaintedResult(benchmark::State& state) {
  Defaults();
  TQLMainForm form(Photo());
  form.show();
  form.PageControl->setCurrentWidget(form.ResultTabSheet);
  QElapsedTimer clock;
  qint64 lastTick = 0, maxPause = 0;
  QTimer ticker;
  // A timer that wants to run every 10 ms shows how long events wait.
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    maxPause = std::max(maxPause, clock.elapsed() - lastTick);
    lastTick = clock.elapsed();
  });
  int percent = 50;
  for (auto _ : state) {
    percent = percent == 50 ? 49 : 50;
    form.ResultWidthPercentEdit->setText(QString::number(percent));
    clock.start();
    lastTick = 0;
    ticker.start(10);
    form.ThreadStartTimerTimer();
    ticker.stop();
    Painted(*form.ResultPGImage);
  }
  state.counters["max_pause_ms"] = double(maxPause);
}

// Rows of the palette choice table: 1 bit black and white, 4 bits system
// colours, 8 bits optimized, true colour; dithering on as by default.
constexpr int64_t DepthRows[] = {0, 7, 18, 19};

void BM_WindowRun(benchmark::State& state) {
  Defaults();
  Selection = uint8_t(state.range(0));
  TQLMainForm form(Photo());
  form.show();
  int percent = 50;
  for (auto _ : state) {
    percent = percent == 50 ? 49 : 50;
    form.ResultWidthPercentEdit->setText(QString::number(percent));
    form.ThreadStartTimerTimer();
  }
}

void BM_PipelineRun(benchmark::State& state) {
  Defaults();
  Selection = uint8_t(state.range(0));
  TPixelGraphic source;
  source.LoadFromFile(Photo());
  const TShrinkSettings settings = CurrentShrinkSettings();
  TShrinkPipeline pipeline;
  int32_t width = 3000;
  for (auto _ : state) {
    width = width == 3000 ? 2940 : 3000;
    benchmark::DoNotOptimize(pipeline.Run(source, width, width * 2 / 3, true, settings));
  }
}

}  // namespace

BENCHMARK(BM_WindowRun)->ArgsProduct({{DepthRows[0], DepthRows[1], DepthRows[2], DepthRows[3]}})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PipelineRun)->ArgsProduct({{DepthRows[0], DepthRows[1], DepthRows[2], DepthRows[3]}})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OpenToFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SizeChangeToPaintedResult)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  return RunBenchmarks(argc, argv, [] { Photo(); }, {BenchFile("photo.jpg")});
}
