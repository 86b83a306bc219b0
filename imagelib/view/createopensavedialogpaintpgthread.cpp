#include "createopensavedialogpaintpgthread.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

#include "optimizedpalette.h"
#include "threadhandoff.h"
#include "tickcount.h"

const QEvent::Type TPGPreviewReadyEvent::Kind = QEvent::Type(QEvent::registerEventType());
const QEvent::Type TPGPreviewProgressEvent::Kind = QEvent::Type(QEvent::registerEventType());


QSize PreviewFitSize(int32_t Width, int32_t Height, int32_t MaxWidth, int32_t MaxHeight) {
  if (Width <= MaxWidth && Height <= MaxHeight) return QSize(Width, Height);
  if (Width <= 0 || Height <= 0 || MaxWidth <= 0 || MaxHeight <= 0) return QSize(std::max(MaxWidth, 1), std::max(MaxHeight, 1));
  const long double a = (long double)Width / Height;
  if ((long double)MaxWidth / MaxHeight >= a)
    return QSize(int(std::min<long double>(std::max<long double>(std::floor(a * MaxHeight), 1), Width)), MaxHeight);
  return QSize(MaxWidth, int(std::min<long double>(std::max<long double>(std::floor(MaxWidth / a), 1), Height)));
}

bool TPreviewProgressLimit::Due(int Step, int Max, int64_t Tick, int& Percent) {
  if (Max <= 0) return false;
  const int p = int(int64_t(Step) * 100 / Max);
  if (p == LastPercent || (Tick / 100 == LastTick / 100 && p / 16 == LastPercentDiv16)) return false;
  LastPercent = p;
  LastPercentDiv16 = p / 16;
  LastTick = Tick;
  Percent = p;
  return true;
}

TCreateOpenSaveDialogPaintPGThread::TCreateOpenSaveDialogPaintPGThread() = default;

TCreateOpenSaveDialogPaintPGThread::TCreateOpenSaveDialogPaintPGThread(
    std::string FileName, QObject* Receiver, int32_t MaxWidth, int32_t MaxHeight, TStretchMode StretchMode,
    TPalette8BitSys24BitGraphic Palette24, TPalette8BitSys8BitGraphic Palette8, int BitsPerPixel)
    : FInert(false),
      FFileName(std::move(FileName)),
      FReceiver(Receiver),
      FMaxWidth(std::max(MaxWidth, 1)),
      FMaxHeight(std::max(MaxHeight, 1)),
      FStretchMode(StretchMode),
      FPalette24(Palette24),
      FPalette8(Palette8),
      FBitsPerPixel(BitsPerPixel) {}

TCreateOpenSaveDialogPaintPGThread::~TCreateOpenSaveDialogPaintPGThread() { Stop(); }

void TCreateOpenSaveDialogPaintPGThread::Stop() {
  FTerminated.store(true);
  wait();
  ReceiveFromOtherThread();
}

void TCreateOpenSaveDialogPaintPGThread::Execute() {
  if (FInert) return;
  Work();
  PublishToOtherThread();
}

void TCreateOpenSaveDialogPaintPGThread::Work() {
  FStage = 1;
  FLimit = TPreviewProgressLimit{0, 0, TickCount()};
  try {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(FFileName, ec)) return;
    auto current = std::make_unique<TPixelGraphic>();
    current->OnProgress = [this](TObject* s, int step, int max, bool& abort) { Progress(s, step, max, abort); };
    current->SetReadWarningAction(pgwaIgnore);
    current->SetFastLoad(true);
    // A JPEG decodes at the smallest scale that still fills the preview.
    std::optional<QSize> fit;
    current->OnLoadTarget = [&](TObject*, int32_t width, int32_t height) {
      fit = PreviewFitSize(width, height, FMaxWidth, FMaxHeight);
      return TLoadSize{fit->width(), fit->height()};
    };
    current->LoadFromFile(FFileName);
    current->OnLoadTarget = nullptr;
    if (!Terminated() && !current->GetEmpty()) {
      if (!fit) fit = PreviewFitSize(current->GetWidth(), current->GetHeight(), FMaxWidth, FMaxHeight);
      if (fit->width() != current->GetWidth() || fit->height() != current->GetHeight()) {
        auto target = std::make_unique<TPixelGraphic>();
        target->SetStretchMode(FStretchMode);
        target->SetSize(fit->width(), fit->height(), 3);
        MapStage(current, std::move(target));
      }
      if (!Terminated()) AdaptToDisplay(current);
    }
    if (Terminated()) return;
    if (!current->GetEmpty()) {
      current->OnProgress = nullptr;
      PostToReceiver(new TPGPreviewReadyEvent(std::move(current)));
      return;
    }
  } catch (...) {
    // A damaged or unreadable file simply gives no preview.
  }
  // No preview: the pane drops its progress clock.
  if (!Terminated()) PostToReceiver(new TPGPreviewReadyEvent(nullptr));
}

void TCreateOpenSaveDialogPaintPGThread::PostToReceiver(QEvent* Event) {
  PublishToOtherThread();
  QCoreApplication::postEvent(FReceiver, Event);
}

void TCreateOpenSaveDialogPaintPGThread::MapStage(std::unique_ptr<TPixelGraphic>& Current,
                                                  std::unique_ptr<TPixelGraphic> Next) {
  ++FStage;
  Next->OnProgress = Current->OnProgress;
  Next->MapFrom(*Current);
  Current = std::move(Next);
}

void TCreateOpenSaveDialogPaintPGThread::AdaptToDisplay(std::unique_ptr<TPixelGraphic>& Current) {
  if (FBitsPerPixel > 8) return;
  const int32_t w = Current->GetWidth(), h = Current->GetHeight();
  auto target = std::make_unique<TPixelGraphic>();
  target->OnProgress = Current->OnProgress;
  if (FBitsPerPixel < 8) {
    target->SetSize(w, h, 1);
    target->SetPaletteIdent(pSys16);
  } else {
    const bool trueColor = Current->BitCountNum() == 3;
    const TPaletteIdent choice = trueColor ? FPalette24 : FPalette8;
    target->SetSize(w, h, 2);
    if (choice == pOptimized252Sys16)
      CreateOptimizedPalette(*target, *Current, 252, true);
    else if (!trueColor && choice == pSource)
      target->AssignPalette(*Current);
    else
      target->SetPaletteIdent(choice);
  }
  if (!Terminated()) MapStage(Current, std::move(target));
}

void TCreateOpenSaveDialogPaintPGThread::Progress(TObject*, int Step, int Max, bool& Abort) {
  int percent = 0;
  if (FLimit.Due(Step, Max, TickCount(), percent))
    PostToReceiver(new TPGPreviewProgressEvent(FStage, percent));
  Abort = Terminated();
}
