#pragma once
// Quillet's main window: the source and result pages with their image views
// and every result setting, the menu, the status bar, and the two timers
// that watch the clipboard and start the shrink pipeline 1500 ms after the
// last change of a setting.

#include <QMainWindow>
#include <QMetaObject>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shrinkpipeline.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QTimer;
class TPGImage;
class TPGOpenDialog;
class TPGSaveDialog;
class TQLAboutForm;
class TViewScaling;
class TStatusPanels;

class TQLMainForm : public QMainWindow, public TObject {
public:
  // Creates the window in its initial state and opens CommandLineFile when
  // it is not empty (FormCreate). The screen shows the wait cursor until
  // the window is first shown.
  explicit TQLMainForm(const std::string& CommandLineFile = std::string());
  ~TQLMainForm() override;

  // Captions of every control and menu item in the language of the setting
  // Language; also the library's message language.
  void SetLanguageCaptions();
  // Loads Name as the source; a failure leaves an empty source and shows
  // its message.
  void OpenSourceFile(const std::string& Name);
  // The save command after its dialog: the advice for the format, then the
  // result saved under Name.
  void SaveResultToFile(const std::string& Name);
  // The load-palette command after its dialog.
  void LoadIndividualPaletteFile(const std::string& Name);

  // Event handlers, bound as their names say.
  void SourceOpenBitBtnClick();
  void SourceLoadFromClipboardBitBtnClick();
  void ResultSaveToFileAsBitBtnClick();
  void ResultSaveToClipboardBitBtnClick();
  void PaletteOpenMainMenuItemClick();
  void FilePrintSourceMainMenuItemClick();
  void FilePrintResultMainMenuItemClick();
  void OptionsMainMenuItemClick();
  void HilfeInhaltMenuItemClick();
  void Info2Click();
  void EndMainMenuItemClick();
  void PageControlChange();
  void ClipBoardTimerTimer();
  // The shrink pipeline.
  void ThreadStartTimerTimer();
  // Shows a run's progress and lets the user interface work meanwhile.
  void PipelineProgress(TObject* Sender, int Step, int Max, bool& Abort);

  bool Busy() const { return FPipeline.Busy(); }
  const std::string& SourceFileName() const { return FSourceFileName; }

  // Pages
  QTabWidget* PageControl;
  QWidget* SourceTabSheet;
  QWidget* ResultTabSheet;
  // Source page
  TPGImage* SourcePGImage;
  QLabel* SourceSizeLabel;
  QLabel* SourceColorLabel;
  QPushButton* SourceOpenBitBtn;
  QPushButton* SourceLoadFromClipboardBitBtn;
  // Result page
  TPGImage* ResultPGImage;
  // Right-click menus and keys of the two views' scaling.
  TViewScaling* SourceScaling;
  TViewScaling* ResultScaling;
  QRadioButton* Result1BitRB;
  QComboBox* ResultPalette1BitComboBox;
  QRadioButton* Result4BitRB;
  QComboBox* ResultPalette4BitComboBox;
  QRadioButton* Result8BitRB;
  QComboBox* ResultPalette8BitComboBox;
  QRadioButton* Result24BitRB;
  QCheckBox* ResultRGBWeightingCB;
  QCheckBox* ResultDitheringCB;
  QLabel* ResultWidthLabel;
  QLineEdit* ResultWidthPercentEdit;
  QLabel* ResultWidthPercentLabel;
  QLineEdit* ResultWidthPixelsEdit;
  QLabel* ResultWidthPixelsLabel;
  QLabel* ResultHeightLabel;
  QLineEdit* ResultHeightPercentEdit;
  QLabel* ResultHeightPercentLabel;
  QLineEdit* ResultHeightPixelsEdit;
  QLabel* ResultHeightPixelsLabel;
  QCheckBox* ResultKeepAspectRatioCB;
  QLabel* ResultPrecisionLabel;
  QRadioButton* ResultStretchModePreciseRB;
  QRadioButton* ResultStretchModeFastRB;
  QLabel* SharpenLabel;
  QSlider* SharpenTrackBar;
  QLabel* SharpenPercentLabel;
  QLabel* BorderLabel;
  QRadioButton* NoBorderRB;
  QRadioButton* RectBorderRB;
  QRadioButton* OvalBorderRB;
  QLabel* InterferenceLabel;
  QCheckBox* InterferenceCB;
  QPushButton* ResultSaveToFileAsBitBtn;
  QPushButton* ResultSaveToClipboardBitBtn;
  TStatusPanels* StatusBar;
  QTimer* ClipBoardTimer;
  QTimer* ThreadStartTimer;
  std::unique_ptr<TPGOpenDialog> PGOpenDialog;
  std::unique_ptr<TPGOpenDialog> PalettePGOpenDialog;
  std::unique_ptr<TPGSaveDialog> PGSaveDialog;
  TQLAboutForm* QLAboutForm;  // created with the window, shown again and again
  // Menu
  QMenu* FileMainMenuItem;
  QAction* FileOpenMainMenuItem;
  QAction* FileSaveAsMainMenuItem;
  QAction* PaletteOpenMainMenuItem;
  QAction* FilePrintSourceMainMenuItem;
  QAction* FilePrintResultMainMenuItem;
  QAction* EndMainMenuItem;
  QMenu* EditMainMenuItem;
  QAction* CopyMenuItem;
  QAction* PasteMenuItem;
  QAction* OptionsMainMenuItem;
  QMenu* HelpMainMenuItem;
  QAction* HilfeInhaltMenuItem;
  QAction* Info2;
  // Invisible; its two shortcuts swallow their keys.
  QMenu* Acc1;
  QAction* ShiftAltBackAcc;
  QAction* AltBackAcc;

protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;

private:
  void BuildControls();
  void BuildSourcePage();
  void BuildResultPage();
  void BuildMenu();
  void BuildStatusBar();
  void FormCreate(const std::string& CommandLineFile);
  void FormShow();
  void FormCloseQuery();
  // Place and size from the settings, inside the screen.
  void PlaceOnScreen();
  void StatusBarDrawPanel(QPainter& Painter, int Index, const QRect& Rect);

  void UpdateControls(QWidget* Changed, bool SourceChanged, bool Refill);
  void UpdateQualityHint();
  void FillPaletteLists();
  void UpdateSelection();
  bool SelectPaletteRow(int32_t Row, bool CheckRadio);
  void RequestAbort();
  void ScheduleRun();
  void ShowStatus(TRunState State, int Step = 0, int Max = 0);
  void AttachChangeHandlers();
  void DetachChangeHandlers();
  void ChangeHandler(QObject* Sender, bool Refill);
  void EnableResultCommands(bool Enabled);
  // Enabled exactly when the source holds a picture.
  std::vector<QWidget*> SourceDependentControls() const;

  // The source's picture and its size, read without stopping the view's
  // display thread (it only reads the picture too).
  const TPixelGraphic* SourceGraphic() const;
  int32_t SourceWidth() const;
  int32_t SourceHeight() const;
  bool SourceValid() const;
  bool German() const;
  // Runs Action; a failure shows its message in an error box.
  template <class F>
  void Protected(F&& Action);
  void ShowError(const std::string& Message);
  // A warning with Yes and No in the window's language; true for Yes.
  bool YesNoBox(const std::string& Text);

  std::string FSourceFileName;
  TShrinkPipeline FPipeline;
  uint32_t FLastBarUpdate = 0;
  // When the pipeline's progress was last shown and events processed.
  uint32_t FLastProgress = 0;
  static constexpr uint32_t ProgressInterval = 20;
  bool FListsFilled = false;
  bool FProcessingMessages = false;
  bool FWaitCursor = false;
  std::array<QRadioButton*, 4> FBitRadioButtons{};
  std::array<QComboBox*, 3> FPaletteComboBoxes{};
  int FDetachCount = 0;
  std::vector<QMetaObject::Connection> FChangeConnections;
};
