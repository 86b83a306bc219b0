#include "pgqtgraphic.h"

#include <QTransform>

#include <cstring>

class TQtGraphicData : public TPGPlatformData {
public:
  void CompleteDrawing(TPixelGraphic&) override {
    if (Canvas) Canvas->WriteBack();
  }

  QImage Image;
  uint64_t ImageStamp = 0;
  QList<QRgb> Colors;
  std::unique_ptr<TPGCanvas> Canvas;
};

namespace {

TQtGraphicData& DataOf(const TPixelGraphic& g) {
  auto* data = dynamic_cast<TQtGraphicData*>(g.PlatformData());
  if (!data) {
    auto made = std::make_unique<TQtGraphicData>();
    data = made.get();
    g.SetPlatformData(std::move(made));
    // A new record has built nothing yet.
    g.SetPlatformPaletteStale(true);
  }
  return *data;
}

// The colour table of pixel values: slots beyond the palette show entry 0,
// as the bitmap header's table does.
QList<QRgb> IndexColors(const TPixelGraphic& g, int capacity) {
  QList<QRgb> colors(capacity, qRgb(0, 0, 0));
  const int count = g.PaletteCount();
  for (int i = 0; i < capacity; ++i) {
    if (i < count)
      colors[i] = ToQRgb(g.PaletteEntries(i));
    else if (count > 0)
      colors[i] = ToQRgb(g.PaletteEntries(0));
  }
  return colors;
}

QImage BuildStoredRowsImage(const TPixelGraphic& g) {
  const int w = g.GetWidth(), h = g.GetHeight();
  if (g.GetEmpty() || w <= 0 || h <= 0) return QImage();
  // The pixel memory stays where it is while the graphic keeps its geometry,
  // and the cache is dropped with the graphic.
  uchar* bits = const_cast<uchar*>(g.Bits());
  const qsizetype stride = qsizetype(g.Stride());
  switch (g.BitCountNum()) {
    case 0: {
      QImage image(bits, w, h, stride, QImage::Format_Mono);
      image.setColorTable(IndexColors(g, 2));
      return image;
    }
    case 1: {
      QImage image(w, h, QImage::Format_Indexed8);
      if (image.isNull()) return image;
      for (int r = 0; r < h; ++r) {
        const uint8_t* src = bits + stride * r;
        uchar* dst = image.scanLine(r);
        for (int x = 0; x + 1 < w; x += 2) {
          dst[x] = src[x >> 1] >> 4;
          dst[x + 1] = src[x >> 1] & 0x0F;
        }
        if (w & 1) dst[w - 1] = src[(w - 1) >> 1] >> 4;
      }
      image.setColorTable(IndexColors(g, 16));
      return image;
    }
    case 2: {
      QImage image(bits, w, h, stride, QImage::Format_Indexed8);
      image.setColorTable(IndexColors(g, 256));
      return image;
    }
    default: return QImage(bits, w, h, stride, QImage::Format_BGR888);
  }
}

}  // namespace

const QImage& StoredRowsImage(const TPixelGraphic& Graphic) {
  Graphic.CompletePendingDrawing();
  TQtGraphicData& data = DataOf(Graphic);
  if (data.Image.isNull() || data.ImageStamp != Graphic.ChangeStamp()) {
    data.Image = BuildStoredRowsImage(Graphic);
    data.ImageStamp = Graphic.ChangeStamp();
  }
  return data.Image;
}

QImage PixelGraphicToQImage(const TPixelGraphic& Graphic) {
  const QImage& stored = StoredRowsImage(Graphic);
  if (stored.isNull()) return QImage();
  return stored.mirrored(false, true);
}

void Draw(const TPixelGraphic& Graphic, QPainter& Painter, const QRectF& Rect, bool MirrorHorizontal,
          bool MirrorVertical) {
  if (Graphic.GetWidth() <= 0 || Graphic.GetHeight() <= 0) return;
  const QImage& image = StoredRowsImage(Graphic);
  if (image.isNull()) return;
  const double sx = Rect.width() / image.width();
  const double sy = Rect.height() / image.height();
  Painter.save();
  Painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  // Stored rows run bottom-up, so showing the picture upright is itself a
  // vertical mirror of the image.
  Painter.translate(MirrorHorizontal ? Rect.right() : Rect.left(), MirrorVertical ? Rect.top() : Rect.bottom());
  Painter.scale(MirrorHorizontal ? -sx : sx, MirrorVertical ? sy : -sy);
  Painter.drawImage(QPointF(0, 0), image);
  Painter.restore();
}

const QList<QRgb>* GetPalette(const TPixelGraphic& Graphic) {
  TQtGraphicData& data = DataOf(Graphic);
  if (Graphic.PlatformPaletteStale()) {
    data.Colors.clear();
    if (Graphic.PaletteIdent() != pTrueColor)
      for (int32_t i = 0; i < Graphic.PaletteCount(); ++i) data.Colors.append(ToQRgb(Graphic.PaletteEntries(i)));
    Graphic.SetPlatformPaletteStale(false);
  }
  return data.Colors.isEmpty() ? nullptr : &data.Colors;
}

QPainter& TPGCanvas::Painter() {
  if (!FPainter.isActive()) {
    FWork = PixelGraphicToQImage(FGraphic).convertToFormat(QImage::Format_RGB32);
    if (FWork.isNull()) FWork = QImage(1, 1, QImage::Format_RGB32);
    // Shared until the first stroke detaches the working image.
    FOriginal = FWork;
    FPainter.begin(&FWork);
  }
  FGraphic.SetNeedsFlush(true);
  return FPainter;
}

void TPGCanvas::Complete() {
  FGraphic.CompletePendingDrawing();
}

void TPGCanvas::WriteBack() {
  if (!FPainter.isActive()) return;
  FPainter.end();
  const int w = std::min(FWork.width(), int(FGraphic.GetWidth()));
  const int h = std::min(FWork.height(), int(FGraphic.GetHeight()));
  for (int y = 0; y < h; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(FWork.constScanLine(y));
    const QRgb* was = reinterpret_cast<const QRgb*>(FOriginal.constScanLine(y));
    // Untouched pixels keep their index even where entries repeat a colour.
    for (int x = 0; x < w; ++x)
      if (row[x] != was[x]) FGraphic.SetPixelColor(x, y, FromQRgb(row[x]));
  }
  FWork = QImage();
  FOriginal = QImage();
  FGraphic.Changed();
}

TPGCanvas& GetCanvas(TPixelGraphic& Graphic) {
  TQtGraphicData& data = DataOf(Graphic);
  if (!data.Canvas) data.Canvas.reset(new TPGCanvas(Graphic));
  return *data.Canvas;
}
