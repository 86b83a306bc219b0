// The image view on a 6000 x 4000 24-bit picture: a full repaint of a
// 1200 x 800 view at zoom 1 and fitted, a scroll step, and the time from
// handing the picture over with precise resampling to its display copy shown.
// The file dialogs' preview of that picture as a JPEG of quality 90, from
// the selection's timer to the preview there; QUILLET_PHOTO names another
// JPEG to preview instead.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QThread>

#include <cstdlib>
#include <random>

#include "benchfiles.h"
#include "formatoptions.h"
#include "pgimage.h"
#include "previewpane.h"

namespace {

std::unique_ptr<TPixelGraphic> Photo() {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(6000, 4000, 3);
  std::mt19937 random(1);
  for (int32_t y = 0; y < 4000; ++y) {
    uint8_t* row = g->ScanLine(y);
    for (int32_t x = 0; x < 6000 * 3; ++x) row[x] = uint8_t((x / 3 + y) / 32 + (random() & 15));
  }
  return g;
}

struct TBenchView {
  TPGImage view;
  explicit TBenchView(TStretch stretch) {
    view.setFrameShape(QFrame::NoFrame);
    view.resize(1200, 800);
    view.SetStretch(stretch);
    view.SetPixelGraphic(Photo());
    view.show();
    QApplication::processEvents();
  }
};

void FullRepaint(benchmark::State& state, TStretch stretch) {
  TBenchView b(stretch);
  for (auto _ : state) b.view.viewport()->repaint();
}

void BM_FullRepaintZoom1(benchmark::State& state) { FullRepaint(state, sNeverKAR); }
void BM_FullRepaintFitted(benchmark::State& state) { FullRepaint(state, sShrinkKAR); }

void BM_ScrollStep(benchmark::State& state) {
  TBenchView b(sNeverKAR);
  QScrollBar* bar = b.view.horizontalScrollBar();
  int step = 50;
  for (auto _ : state) {
    if (bar->value() + step > bar->maximum() || bar->value() + step < 0) step = -step;
    bar->setValue(bar->value() + step);
    b.view.viewport()->repaint();
  }
}

void BM_PreciseCopyShown(benchmark::State& state) {
  TPGImage view;
  view.setFrameShape(QFrame::NoFrame);
  view.resize(1200, 800);
  view.SetStretch(sShrinkKAR);
  view.SetStretchMode(smPrecise);
  view.show();
  for (auto _ : state) {
    state.PauseTiming();
    auto photo = Photo();
    state.ResumeTiming();
    view.SetPixelGraphic(std::move(photo));
    view.viewport()->repaint();
    while (!view.PaintPixelGraphic()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    view.viewport()->repaint();
  }
}

const std::string PhotoFile = BenchFile("photo.jpg");

const std::string& PhotoPath() {
  static const std::string path = [] {
    if (const char* given = std::getenv("QUILLET_PHOTO")) return std::string(given);
    JPEGCompQuality = 90;
    Photo()->SaveToFile(PhotoFile);
    JPEGCompQuality = 80;
    return PhotoFile;
  }();
  return path;
}

void BM_DialogPreview(benchmark::State& state) {
  const std::string& path = PhotoPath();
  TPGPreviewPane pane{TPGPreviewSettings{}};
  pane.show();
  for (auto _ : state) {
    pane.SelectionChanged(path);
    pane.PreviewTimerTimer();
    while (pane.PreviewThread().isRunning()) QThread::usleep(100);
    QApplication::processEvents();
    if (!pane.Preview()) state.SkipWithError("no preview");
  }
}

}  // namespace

BENCHMARK(BM_FullRepaintZoom1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullRepaintFitted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreciseCopyShown)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DialogPreview)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  return RunBenchmarks(argc, argv, [] {}, {PhotoFile});
}
