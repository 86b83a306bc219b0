#pragma once
// The right-hand pane of the preview file dialogs: the preview area (a
// sunken frame with the reduced picture, or the progress clock while it is
// computed) and the information area with up to four lines about the file.
// The preview starts 150 ms after the selection last changed.

#include <QColor>
#include <QRect>
#include <QRectF>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "createopensavedialogpaintpgthread.h"
#include "fileformat.h"

// Where a W x H preview is drawn in a preview area whose client rectangle
// is Client: at its own size when it fits into the room inside the frame
// (2 pixels each side), else fitted to that room; centred either way. W and H
// are device pixels at the device pixel Ratio.
QRectF PreviewDrawRect(const QRect& Client, int W, int H, double Ratio = 1);

// "640x480x16.7M 24 bit", with ", n" for a file of several images.
std::string PreviewSizeLine(const TFileFormatInfo& Info);
// Format, subformat, details and size line, empty ones left out.
std::vector<std::string> PreviewInfoLines(const TFileFormatInfo& Info);

struct TPGPreviewSettings {
  TStretchMode StretchMode = smPrecise;
  bool ShowInfo = true;
  bool ProgressClockVisible = true;
  QColor ProgressClockBkColor;
  QColor ProgressClockLineColor;
  TPalette8BitSys24BitGraphic Palette24 = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic Palette8 = pOptimized252Sys16;
};

class TPGPreviewPane;

class TPGPreviewArea : public QWidget {
public:
  explicit TPGPreviewArea(TPGPreviewPane& Pane);

protected:
  void paintEvent(QPaintEvent*) override;

private:
  TPGPreviewPane& FPane;
};

class TPGInfoArea : public QWidget {
public:
  explicit TPGInfoArea(TPGPreviewPane& Pane);

protected:
  void paintEvent(QPaintEvent*) override;

private:
  TPGPreviewPane& FPane;
};

class TPGPreviewPane : public QWidget {
  Q_OBJECT

public:
  static constexpr int PreviewDelay = 150;

  TPGPreviewPane(const TPGPreviewSettings& Settings, QWidget* Parent = nullptr);
  ~TPGPreviewPane() override;

  // The selection is now Path (a file, a folder or nothing): whatever was
  // shown or computed goes, and the preview restarts after the delay.
  void SelectionChanged(const std::string& Path);
  // The delay has passed: reads the file's information and starts the thread.
  void PreviewTimerTimer();
  // The dialog closes: nothing more is computed.
  void Stop();

  QTimer& PreviewTimer() { return FTimer; }
  TPGPreviewArea& PreviewArea() { return *FPreviewArea; }
  TPGInfoArea& InfoArea() { return *FInfoArea; }
  const TCreateOpenSaveDialogPaintPGThread& PreviewThread() const { return *FThread; }
  // Null until a finished preview has arrived.
  const TPixelGraphic* Preview() const { return FPreview.get(); }
  bool InfoValid() const { return FInfoValid; }
  const TFileFormatInfo& Info() const { return FInfo; }
  const TPGPreviewSettings& Settings() const { return FSettings; }
  // Stage and percentage of the last progress report; stage 0 when none is due.
  int ClockStage() const { return FClockStage; }
  int ClockPercent() const { return FClockPercent; }

protected:
  bool event(QEvent* e) override;

private:
  void StopPreview();

  TPGPreviewSettings FSettings;
  TPGPreviewArea* FPreviewArea;
  TPGInfoArea* FInfoArea;
  QTimer FTimer;
  std::unique_ptr<TCreateOpenSaveDialogPaintPGThread> FThread;
  std::unique_ptr<TPixelGraphic> FPreview;
  std::string FPath;
  bool FInfoValid = false;
  TFileFormatInfo FInfo;
  int FClockStage = 0, FClockPercent = 0;
};
