#pragma once
// The desktop side of a pixel graphic on Qt: the image Qt draws from, drawing
// scaled into a rectangle, the colour table for display, and a canvas to
// paint on the picture with a QPainter.

#include <QImage>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <QRgb>

#include <memory>

#include "pixelgraphic.h"

// The graphic's pixels as Qt sees them, rows in stored order (bottom row
// first, so the image shows the picture upside down). 1-, 8- and 24-bit
// pixel memory is shared, not copied; 4-bit is widened to 8 bits. Cached on
// the graphic until its geometry, palette or pixels (as notified) change.
// Null for an empty graphic.
const QImage& StoredRowsImage(const TPixelGraphic& Graphic);

// A detached top-down copy, for the clipboard and other programs.
QImage PixelGraphicToQImage(const TPixelGraphic& Graphic);

// Stretches the whole picture into Rect, without smoothing (rows and columns
// are dropped or repeated, as the fast resampling would); mirrored on request.
// Only the part of Rect inside the painter's clip is computed.
void Draw(const TPixelGraphic& Graphic, QPainter& Painter, const QRectF& Rect, bool MirrorHorizontal = false,
          bool MirrorVertical = false);

// The colour table for display: null for a true-colour graphic or one without
// entries. Rebuilt only when the palette has changed since the last call.
const QList<QRgb>* GetPalette(const TPixelGraphic& Graphic);

inline QRgb ToQRgb(TRGB c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline TRGB FromQRgb(QRgb c) { return RGB(uint32_t(qRed(c)), uint32_t(qGreen(c)), uint32_t(qBlue(c))); }

// Paints on a graphic. Drawing goes to a 32-bit working image and reaches
// the pixel memory when it is completed: on the next pixel access through
// the graphic (NeedsFlush), or by Complete. Paletted graphics take the
// nearest entry for every pixel whose colour the drawing changed.
class TPGCanvas {
public:
  // Painter coordinates are picture pixels, top-down.
  QPainter& Painter();
  // Writes pending drawing into the picture and reports its change.
  void Complete();

private:
  friend TPGCanvas& GetCanvas(TPixelGraphic& Graphic);
  friend class TQtGraphicData;
  explicit TPGCanvas(TPixelGraphic& Graphic) : FGraphic(Graphic) {}
  void WriteBack();

  TPixelGraphic& FGraphic;
  QImage FWork;
  QImage FOriginal;
  QPainter FPainter;
};

// Made on first use and owned by the graphic.
TPGCanvas& GetCanvas(TPixelGraphic& Graphic);
