#pragma once
// A graphic's progress events raised by a reader or writer, which names
// itself as the Sender.

#include "pixelgraphic.h"

inline void RaiseProgressStart(TPixelGraphic& Graphic, TObject* Sender) {
  if (Graphic.OnProgressStart) Graphic.OnProgressStart(Sender);
}

// True when the handler asks to abort.
inline bool RaiseProgress(TPixelGraphic& Graphic, TObject* Sender, int Step, int Max) {
  bool abort = false;
  if (Graphic.OnProgress) Graphic.OnProgress(Sender, Step, Max, abort);
  return abort;
}

inline void RaiseProgressEnd(TPixelGraphic& Graphic, TObject* Sender) {
  if (Graphic.OnProgressEnd) Graphic.OnProgressEnd(Sender);
}
