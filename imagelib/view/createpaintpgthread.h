#pragma once
// Prepares an image view's display copy: resamples, computes an optimized
// palette and maps the picture onto the copy, in a thread of its own or at
// once. Results and progress reach the view as posted events, in order.

#include <QEvent>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "pixelgraphic.h"

// The finished copy; the event owns it until the view takes it, so a copy
// that is never delivered is freed with its event.
class TPGDisplayCopyEvent : public QEvent {
public:
  static const QEvent::Type Kind;
  explicit TPGDisplayCopyEvent(std::unique_ptr<TPixelGraphic> Copy) : QEvent(Kind), FCopy(std::move(Copy)) {}
  std::unique_ptr<TPixelGraphic> TakeCopy() { return std::move(FCopy); }

private:
  std::unique_ptr<TPixelGraphic> FCopy;
};

class TPGDisplayProgressEvent : public QEvent {
public:
  static const QEvent::Type Kind;
  TPGDisplayProgressEvent(int Step, int Percent) : QEvent(Kind), FStep(Step), FPercent(Percent) {}
  int Step() const { return FStep; }
  int Percent() const { return FPercent; }

private:
  int FStep, FPercent;
};

class TCreatePaintPGThread : public QThread, public TObject {
public:
  // An idle thread does nothing when run (the view's first one).
  TCreatePaintPGThread();
  // Reports to View by posted events when Threaded, else hands the copy to
  // Deliver at once.
  TCreatePaintPGThread(const TPixelGraphic* PixelGraphic, std::unique_ptr<TPixelGraphic> HelpPixelGraphic,
                       std::unique_ptr<TPixelGraphic> PaintPixelGraphic, bool ResampleFirst, bool Optimized,
                       bool Threaded, QObject* View, std::function<void(std::unique_ptr<TPixelGraphic>)> Deliver);
  ~TCreatePaintPGThread() override;

  // Sets the terminated flag, then waits until the thread has ended.
  void Stop();
  bool Terminated() const { return FTerminated.load(); }
  // Stopped before its copy was handed over.
  bool Cancelled() const { return !FIdle && Terminated() && !FDelivered.load(); }
  // Does the work on the calling thread.
  void RunNow() { Execute(); }
  void DoTheWork();
  void Progress(TObject* Sender, int Step, int Max, bool& Abort);

  const TPixelGraphic* FPixelGraphic = nullptr;
  // Null when the picture itself is reduced.
  std::unique_ptr<TPixelGraphic> FHelpPixelGraphic;
  std::unique_ptr<TPixelGraphic> FPaintPixelGraphic;

protected:
  void run() override { Execute(); }

private:
  void Execute();
  const TPixelGraphic& Help() const { return FHelpPixelGraphic ? *FHelpPixelGraphic : *FPixelGraphic; }
  void MapByLookup();
  void PostToView(QEvent* Event);

  bool FResampleFirst = false;
  bool FOptimized = false;
  bool FThreaded = false;
  bool FIdle = true;
  QObject* FView = nullptr;
  std::function<void(std::unique_ptr<TPixelGraphic>)> FDeliver;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FDelivered{false};
  int FStep = 1;
  int FLastPercent = 0;
  int64_t FLastTick = 0;
};
