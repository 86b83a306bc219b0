#pragma once
// A scrolling view of one pixel graphic: scaled by a rule, centred, tiled or
// mirrored on request, shown through a display copy prepared in the
// background when the screen or the scaling needs one, with a selection
// rectangle the mouse can create, move and resize.

#include <QBrush>
#include <QColor>
#include <QCursor>
#include <QScrollArea>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "createpaintpgthread.h"
#include "pgimagelayout.h"
#include "pixelgraphic.h"
#include "selectiongeometry.h"

class TPGImage;

enum TActionMode : uint8_t {
  amMoveImage,
  amMoveResizeCreateSelection,
  amMoveSelection,
  amMoveSelectionMoveImage,
  amNone
};

using TPGINewAutoSizeEvent = std::function<void(TObject* Sender, int32_t PGImageWidth, int32_t PGImageHeight)>;
// May replace the cursor the view chose.
using TPGSetCursorEvent = std::function<void(TObject* Sender, QCursor& Cursor)>;
// X and Y in the paint box's pixels.
using TPGMouseEvent =
    std::function<void(TObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TPGMouseMoveEvent = std::function<void(TObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

// The paint box: its bounds are the displayed picture.
class TPicBox : public QWidget, public TObject {
public:
  explicit TPicBox(TPGImage& View);

protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
  TPGImage& FView;
};

class TPGImage : public QScrollArea, public TObject {
public:
  explicit TPGImage(QWidget* Parent = nullptr);
  ~TPGImage() override;

  // The picture. Reading it first stops a running preparation, since the
  // caller may change it; PixelGraphicNoWait is for callers that know none runs.
  TPixelGraphic* PixelGraphic();
  const TPixelGraphic* PixelGraphicNoWait() const { return FPixelGraphic.get(); }
  // A copy of Graphic becomes the picture (null: none).
  void AssignPixelGraphic(const TPixelGraphic* Graphic);
  // Graphic itself becomes the picture.
  void SetPixelGraphic(std::unique_ptr<TPixelGraphic> Graphic);
  const std::string& FileName() const { return FFileName; }
  // Loads the file (a name of spaces only empties the view); on failure the
  // view stays empty and the error travels on.
  void SetFileName(const std::string& Name);
  void SaveToFile(const std::string& Name);

  // The copy shown instead of the picture, if one exists yet.
  const TPixelGraphic* PaintPixelGraphic() const { return FPaintPixelGraphic.get(); }
  // Asked before each paint; starts a preparation when one is due.
  bool NeedsDisplayCopy();
  // Takes a finished display copy.
  void ReceiveDisplayCopy(std::unique_ptr<TPixelGraphic> Copy);
  // Cancels a running preparation and waits for its end.
  void StopThread();
  // The palette the drawn graphic wants realized, if any.
  const QList<QRgb>* RealizationPalette();
  // The screen changed its colours.
  void DisplayModeChanged();

  void PictureChanged();
  void Rearrange(bool Force);

  // Layout
  TStretch Stretch() const { return FStretch; }
  void SetStretch(TStretch v);
  bool Center() const { return FCenter; }
  void SetCenter(bool v);
  long double ZoomFactor() const { return FZoomFactor; }
  void SetZoomFactor(long double v);
  // The scale the picture is shown at; -1 when the directions differ.
  long double EffectiveZoom() const { return FEffectiveZoom; }
  TTiling Tiling() const { return FTiling; }
  void SetTiling(TTiling v);
  bool FlipHorizontal() const { return FFlipHorizontal; }
  void SetFlipHorizontal(bool v);
  bool FlipVertical() const { return FFlipVertical; }
  void SetFlipVertical(bool v);
  bool RearrangeAlways() const { return FRearrangeAlways; }
  void SetRearrangeAlways(bool v) { FRearrangeAlways = v; }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  const TPGAutoSizeBounds& AutoSizeBounds() const { return FAutoSizeBounds; }
  void SetAutoSizeBounds(const TPGAutoSizeBounds& v);
  // The displayed rectangle inside the scrolled area.
  TPGRect PictureRect() const { return FPicRect; }
  TPicBox* PicBox() const { return FPicBox; }

  // Display copy
  TStretchMode StretchMode() const { return FStretchMode; }
  void SetStretchMode(TStretchMode v);
  bool UseThread() const { return FUseThread; }
  void SetUseThread(bool v);
  bool ReduceOnLoad() const { return FReduceOnLoad; }
  void SetReduceOnLoad(bool v) { FReduceOnLoad = v; }
  bool KeepOldPaintPixelGraphic() const { return FKeepOldPaintPixelGraphic; }
  void SetKeepOldPaintPixelGraphic(bool v) { FKeepOldPaintPixelGraphic = v; }
  bool Allow24BitStretch() const { return FAllow24BitStretch; }
  void SetAllow24BitStretch(bool v) { FAllow24BitStretch = v; }
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic() const { return FPalette8BitSys24BitGraphic; }
  void SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic v);
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic() const { return FPalette8BitSys8BitGraphic; }
  void SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic v);
  bool Dither() const { return FDither; }
  void SetDither(bool v) { FDither = v; }
  uint8_t DitherErrorLimit() const { return FDitherErrorLimit; }
  void SetDitherErrorLimit(uint8_t v) { FDitherErrorLimit = v; }
  bool DitherErrorLimitAuto() const { return FDitherErrorLimitAuto; }
  void SetDitherErrorLimitAuto(bool v) { FDitherErrorLimitAuto = v; }
  bool DitherErrorLimitSoft() const { return FDitherErrorLimitSoft; }
  void SetDitherErrorLimitSoft(bool v) { FDitherErrorLimitSoft = v; }
  bool RGBWeighting() const { return FRGBWeighting; }
  void SetRGBWeighting(bool v) { FRGBWeighting = v; }

  // Pictures made and saved by the view
  TRGB BackGroundColor() const { return FBackGroundColor; }
  void SetBackGroundColor(TRGB v) { FBackGroundColor = v; }
  TPGWarningAction ReadWarningAction() const { return FReadWarningAction; }
  void SetReadWarningAction(TPGWarningAction v) { FReadWarningAction = v; }
  TPGWarningAction SaveColorResWarningAction() const { return FSaveColorResWarningAction; }
  void SetSaveColorResWarningAction(TPGWarningAction v) { FSaveColorResWarningAction = v; }
  bool ShowHourGlass() const { return FShowHourGlass; }
  void SetShowHourGlass(bool v) { FShowHourGlass = v; }

  // Colours: the view's bands, the empty picture area and its outline, the clocks.
  QColor Color() const { return FColor; }
  void SetColor(const QColor& v);
  QColor PicBoxColor() const { return FPicBoxColor; }
  void SetPicBoxColor(const QColor& v);
  QColor PicBoxFrameColor() const { return FPicBoxFrameColor; }
  void SetPicBoxFrameColor(const QColor& v);
  QCursor PicBoxCursor() const { return FPicBoxCursor; }
  void SetPicBoxCursor(const QCursor& v);
  bool ProgressClockVisible() const { return FProgressClockVisible; }
  void SetProgressClockVisible(bool v);
  bool Progress5Clocks() const { return FProgress5Clocks; }
  void SetProgress5Clocks(bool v);
  QColor ProgressClockBkColor() const { return FProgressClockBkColor; }
  void SetProgressClockBkColor(const QColor& v);
  QColor ProgressClockLineColor() const { return FProgressClockLineColor; }
  void SetProgressClockLineColor(const QColor& v);
  int ProgressStep() const { return FStep; }
  int ProgressPercent() const { return FPercent; }

  // Selection and mouse
  TActionMode ActionMode() const { return FActionMode; }
  void SetActionMode(TActionMode v);
  bool Selection() const { return FSelection; }
  void SetSelection(bool v);
  int32_t SelectionLeft() const { return FSel.Left; }
  int32_t SelectionTop() const { return FSel.Top; }
  int32_t SelectionWidth() const { return FSel.Width; }
  int32_t SelectionHeight() const { return FSel.Height; }
  void SetSelectionLeft(int32_t v) { SetSelectionRect(v, FSel.Top, FSel.Height, FSel.Width); }
  void SetSelectionTop(int32_t v) { SetSelectionRect(FSel.Left, v, FSel.Height, FSel.Width); }
  void SetSelectionWidth(int32_t v) { SetSelectionRect(FSel.Left, FSel.Top, FSel.Height, v); }
  void SetSelectionHeight(int32_t v) { SetSelectionRect(FSel.Left, FSel.Top, v, FSel.Width); }
  void SetSelectionRect(int32_t Left, int32_t Top, int32_t Height, int32_t Width);
  TRGB SelectionColor1() const { return FSelectionColor1; }
  void SetSelectionColor1(TRGB v);
  TRGB SelectionColor2() const { return FSelectionColor2; }
  void SetSelectionColor2(TRGB v);
  // The selection in paint-box pixels.
  TPGRect DisplayedSelectionRect() const;
  // One step of the marching outline and of the automatic scrolling.
  void OutlineTimerTick();
  void AutoScrollTimerTick();
  bool OutlineTimerActive() const { return FOutlineTimer.isActive(); }
  bool AutoScrollTimerActive() const { return FAutoScrollTimer.isActive(); }
  // The picture is larger than the client area where a scroll bar shows.
  bool CanPan() const;

  TPGINewAutoSizeEvent OnNewAutoSize;
  TNotifyEvent OnPaint;
  TNotifyEvent OnPainting;
  TNotifyEvent OnPixelGraphicChange;
  TPGProgressEvent OnPixelGraphicProgress;
  TNotifyEvent OnPixelGraphicProgressStart;
  TNotifyEvent OnPixelGraphicProgressEnd;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionMade;
  TPGSetCursorEvent OnSetCursor;
  TNotifyEvent OnZoomFactorChange;

  TNotifyEvent PicBoxOnClick;
  TNotifyEvent PicBoxOnDblClick;
  TPGMouseEvent PicBoxOnMouseDown;
  TPGMouseMoveEvent PicBoxOnMouseMove;
  TPGMouseEvent PicBoxOnMouseUp;
  TNotifyEvent PicBoxOnPaint;
  TPGSetCursorEvent PicBoxOnSetCursor;

protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool event(QEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  friend class TPicBox;
  enum TDragMode : uint8_t { dmNone, dmPan, dmMove, dmCreate, dmResize };

  void TakePicture(std::unique_ptr<TPixelGraphic> Graphic);
  void HookPicture();
  void FreeDisplayCopyUnlessKept();
  void StartPreparation(bool Resized);
  TPGSize AreaSize() const;
  int32_t BorderWidth() const;
  int32_t ScrollBarHeight() const;
  int32_t ScrollBarWidth() const;
  TPGScale Scale() const;
  void PaintPicture(QPainter& p, const QRect& clip);
  void PaintSelection(QPainter& p);
  void InvalidateSelectionBand(const TPGRect& r);
  const QBrush& StripeBrush(int i);
  void PicBoxMouseDown(QMouseEvent* e);
  void PicBoxMouseMove(QMouseEvent* e);
  void PicBoxMouseUp(QMouseEvent* e);
  void UpdateCursor(QPoint picBoxPos);

  std::unique_ptr<TPixelGraphic> FPixelGraphic;
  std::unique_ptr<TPixelGraphic> FPaintPixelGraphic;
  std::unique_ptr<TCreatePaintPGThread> FThread;
  std::string FFileName;
  int32_t FPicWidth = 0, FPicHeight = 0;
  long double FEffectiveZoom = 1.0L;
  bool FStale = false;
  TPGSize FLastCopySize;
  int FStep = 1, FPercent = 0;
  bool FRearranging = false;

  QWidget* FContent;
  TPicBox* FPicBox;
  TPGRect FPicRect;
  // The displayed picture in device pixels.
  TPGSize FDisplayed;

  TStretch FStretch = sNeverKAR;
  bool FCenter = false;
  long double FZoomFactor = 1.0L;
  TTiling FTiling = tNone;
  bool FFlipHorizontal = false, FFlipVertical = false;
  bool FRearrangeAlways = false;
  bool FAutoSize = false;
  TPGAutoSizeBounds FAutoSizeBounds;

  TStretchMode FStretchMode = smFast;
  bool FUseThread = true;
  bool FReduceOnLoad = false;
  bool FKeepOldPaintPixelGraphic = false;
  bool FAllow24BitStretch = false;
  TPalette8BitSys24BitGraphic FPalette8BitSys24BitGraphic = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic FPalette8BitSys8BitGraphic = pOptimized252Sys16;
  bool FDither = true;
  uint8_t FDitherErrorLimit = 32;
  bool FDitherErrorLimitAuto = true, FDitherErrorLimitSoft = true, FRGBWeighting = true;

  TRGB FBackGroundColor = 0;
  TPGWarningAction FReadWarningAction = pgwaOKCancelBox;
  TPGWarningAction FSaveColorResWarningAction = pgwaOKCancelBox;
  bool FShowHourGlass = true;

  QColor FColor, FPicBoxColor, FPicBoxFrameColor, FProgressClockBkColor, FProgressClockLineColor;
  QCursor FPicBoxCursor;
  bool FProgressClockVisible = true, FProgress5Clocks = true;

  TActionMode FActionMode = amMoveImage;
  bool FSelection = false;
  TPGSelectionRect FSel;
  TRGB FSelectionColor1 = 0xFFFFFF, FSelectionColor2 = 0x0000FF;
  int FPhase = 0;
  std::array<QBrush, 8> FStripeBrushes;
  bool FStripeBrushesBuilt = false;
  QTimer FOutlineTimer, FAutoScrollTimer;
  TDragMode FDragMode = dmNone;
  TPGHandle FDragHandle = hTopLeft;
  QPoint FDragStart;
  int32_t FOffsetX = 0, FOffsetY = 0, FAnchorX = 0, FAnchorY = 0;
};
