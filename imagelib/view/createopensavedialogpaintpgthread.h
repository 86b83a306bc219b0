#pragma once
// The preview thread of the file dialogs: loads the selected file quickly,
// fits it into the preview area and adapts it to the display's depth. The
// finished preview and the progress reach the dialog's preview pane as
// posted events.

#include <QEvent>
#include <QSize>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "pixelgraphic.h"

// The finished preview; the event owns it until the pane takes it, so a
// preview that is never delivered is freed with its event. Null when the
// file gives no preview.
class TPGPreviewReadyEvent : public QEvent {
public:
  static const QEvent::Type Kind;
  explicit TPGPreviewReadyEvent(std::unique_ptr<TPixelGraphic> Preview) : QEvent(Kind), FPreview(std::move(Preview)) {}
  std::unique_ptr<TPixelGraphic> TakePreview() { return std::move(FPreview); }

private:
  std::unique_ptr<TPixelGraphic> FPreview;
};

class TPGPreviewProgressEvent : public QEvent {
public:
  static const QEvent::Type Kind;
  TPGPreviewProgressEvent(int Stage, int Percent) : QEvent(Kind), FStage(Stage), FPercent(Percent) {}
  int Stage() const { return FStage; }
  int Percent() const { return FPercent; }

private:
  int FStage, FPercent;
};

// Size of the reduced picture: the picture's own when it fits into
// MaxWidth x MaxHeight, else the largest of its aspect that does (at least
// one pixel each way).
QSize PreviewFitSize(int32_t Width, int32_t Height, int32_t MaxWidth, int32_t MaxHeight);

// Rate limit of the progress events: at most one per change of the
// percentage, and only in a new 100 ms tick interval or when the percentage
// crosses a multiple of 16.
struct TPreviewProgressLimit {
  int LastPercent = 0;
  int LastPercentDiv16 = 0;
  int64_t LastTick = 0;
  // True when an event is due for Step of Max at Tick; Percent is its value.
  bool Due(int Step, int Max, int64_t Tick, int& Percent);
};

class TCreateOpenSaveDialogPaintPGThread : public QThread, public TObject {
public:
  // An inert thread returns at once when run.
  TCreateOpenSaveDialogPaintPGThread();
  TCreateOpenSaveDialogPaintPGThread(std::string FileName, QObject* Receiver, int32_t MaxWidth, int32_t MaxHeight,
                                     TStretchMode StretchMode, TPalette8BitSys24BitGraphic Palette24,
                                     TPalette8BitSys8BitGraphic Palette8, int BitsPerPixel);
  ~TCreateOpenSaveDialogPaintPGThread() override;

  // Sets the stop request, then waits until the thread has ended.
  void Stop();
  bool Terminated() const { return FTerminated.load(); }
  bool Inert() const { return FInert; }
  const std::string& FileName() const { return FFileName; }

  void Execute();
  void Progress(TObject* Sender, int Step, int Max, bool& Abort);

protected:
  void run() override { Execute(); }

private:
  void Work();
  void PostToReceiver(QEvent* Event);
  void MapStage(std::unique_ptr<TPixelGraphic>& Current, std::unique_ptr<TPixelGraphic> Next);
  void AdaptToDisplay(std::unique_ptr<TPixelGraphic>& Current);

  bool FInert = true;
  std::string FFileName;
  QObject* FReceiver = nullptr;
  int32_t FMaxWidth = 0, FMaxHeight = 0;
  TStretchMode FStretchMode = smPrecise;
  TPalette8BitSys24BitGraphic FPalette24 = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic FPalette8 = pOptimized252Sys16;
  int FBitsPerPixel = 24;
  std::atomic<bool> FTerminated{false};
  int FStage = 1;
  TPreviewProgressLimit FLimit;
};
