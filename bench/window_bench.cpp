// The main window on a 6000 x 4000 photo-like JPEG: opening it to the first
// painted source, a size change to the painted result at 50 % precise, and
// the longest pause in event processing while the pipeline runs (reported
// as the counter max_pause_ms).
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

}  // namespace

BENCHMARK(BM_OpenToFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SizeChangeToPaintedResult)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  return RunBenchmarks(argc, argv, [] { Photo(); }, {BenchFile("photo.jpg")});
}
