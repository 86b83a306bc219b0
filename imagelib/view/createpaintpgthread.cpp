#include "createpaintpgthread.h"

#include <QCoreApplication>

#include <vector>

#include "optimizedpalette.h"
#include "threadhandoff.h"
#include "tickcount.h"

const QEvent::Type TPGDisplayCopyEvent::Kind = QEvent::Type(QEvent::registerEventType());
const QEvent::Type TPGDisplayProgressEvent::Kind = QEvent::Type(QEvent::registerEventType());


TCreatePaintPGThread::TCreatePaintPGThread() = default;

TCreatePaintPGThread::TCreatePaintPGThread(const TPixelGraphic* PixelGraphic,
                                           std::unique_ptr<TPixelGraphic> HelpPixelGraphic,
                                           std::unique_ptr<TPixelGraphic> PaintPixelGraphic, bool ResampleFirst,
                                           bool Optimized, bool Threaded, QObject* View,
                                           std::function<void(std::unique_ptr<TPixelGraphic>)> Deliver)
    : FPixelGraphic(PixelGraphic),
      FHelpPixelGraphic(std::move(HelpPixelGraphic)),
      FPaintPixelGraphic(std::move(PaintPixelGraphic)),
      FResampleFirst(ResampleFirst),
      FOptimized(Optimized),
      FThreaded(Threaded),
      FIdle(false),
      FView(View),
      FDeliver(std::move(Deliver)) {
  const auto progress = [this](TObject* Sender, int Step, int Max, bool& Abort) { Progress(Sender, Step, Max, Abort); };
  if (FHelpPixelGraphic) FHelpPixelGraphic->OnProgress = progress;
  if (FPaintPixelGraphic) FPaintPixelGraphic->OnProgress = progress;
}

TCreatePaintPGThread::~TCreatePaintPGThread() { Stop(); }

void TCreatePaintPGThread::Stop() {
  FTerminated.store(true);
  wait();
  ReceiveFromOtherThread();
}

void TCreatePaintPGThread::Execute() {
  if (FIdle) return;
  try {
    DoTheWork();
  } catch (...) {
    // Nothing escapes a thread; without a copy the view keeps what it shows.
    FPaintPixelGraphic.reset();
    FHelpPixelGraphic.reset();
  }
  PublishToOtherThread();
}

void TCreatePaintPGThread::DoTheWork() {
  FStep = 1;
  FLastPercent = 0;
  FLastTick = TickCount();
  if (FResampleFirst && FHelpPixelGraphic) {
    FHelpPixelGraphic->MapFrom(*FPixelGraphic);
    ++FStep;
  }
  if (!Terminated() && FOptimized) {
    CreateOptimizedPalette(*FPaintPixelGraphic, Help(), 252, true);
    ++FStep;
  }
  if (!Terminated()) {
    if (FOptimized && Help().BitCountNum() == 2 && Help().GetWidth() == FPaintPixelGraphic->GetWidth() &&
        Help().GetHeight() == FPaintPixelGraphic->GetHeight())
      MapByLookup();
    else
      FPaintPixelGraphic->MapFrom(Help());
    ++FStep;
  }
  if (Terminated()) {
    FPaintPixelGraphic.reset();
  } else {
    FPaintPixelGraphic->OnProgress = nullptr;
    FDelivered.store(true);
    if (FThreaded)
      PostToView(new TPGDisplayCopyEvent(std::move(FPaintPixelGraphic)));
    else
      FDeliver(std::move(FPaintPixelGraphic));
  }
  FHelpPixelGraphic.reset();
}

void TCreatePaintPGThread::MapByLookup() {
  const TPixelGraphic& help = Help();
  TPixelGraphic& copy = *FPaintPixelGraphic;
  // One full search per palette entry instead of one per pixel.
  const bool fast = copy.FastUnknownPalette();
  copy.SetFastUnknownPalette(false);
  std::vector<uint8_t> table(256, 0);
  for (int32_t i = 0; i < help.PaletteCount() && i < 256; ++i) table[size_t(i)] = uint8_t(copy.NearestIndex(help.PaletteEntries(i)));
  copy.SetFastUnknownPalette(fast);
  const int32_t w = copy.GetWidth(), h = copy.GetHeight();
  copy.ProgressStart();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = help.ScanLine(y);
    uint8_t* dst = copy.ScanLine(y);
    for (int32_t x = 0; x < w; ++x) dst[x] = table[src[x]];
    if (copy.Progress(y, h - 1)) break;
  }
  copy.ProgressEnd();
  copy.Changed();
}

void TCreatePaintPGThread::PostToView(QEvent* Event) {
  PublishToOtherThread();
  QCoreApplication::postEvent(FView, Event);
}

void TCreatePaintPGThread::Progress(TObject*, int Step, int Max, bool& Abort) {
  const int percent = Max == 0 ? 100 : int(int64_t(Step) * 100 / Max);
  const int64_t tick = TickCount();
  if (percent != FLastPercent && tick / 50 != FLastTick / 50) {
    FLastPercent = percent;
    FLastTick = tick;
    if (FThreaded) PostToView(new TPGDisplayProgressEvent(FStep, percent));
  }
  Abort = Terminated();
}
