#pragma once
// The options dialog: the settings that have no control on the main window,
// checked as they are typed, and a test of the JPEG settings on the main
// window's result picture.

#include <QDialog>
#include <cstdint>
#include <vector>

#include "pgtypes.h"

class QButtonGroup;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;
class QVBoxLayout;
class TPGImage;

// Pages whose tabs stand on several rows, all visible at once. Each row is
// a QTabBar whose first tab is hidden: it is the row's current tab while
// the active page belongs to another row.
class TMultiRowPageControl : public QWidget {
public:
  TMultiRowPageControl(QWidget* Parent, int TabsPerRow);
  void AddPage(QWidget* Page);
  void SetPageCaption(QWidget* Page, const QString& Caption);
  QString PageCaption(QWidget* Page) const;
  QWidget* ActivePage() const;
  void SetActivePage(QWidget* Page);
  const std::vector<QTabBar*>& Rows() const { return FRows; }
  // The tab of Page: its row and index.
  std::pair<QTabBar*, int> TabOf(QWidget* Page) const;

private:
  void TabClicked(QTabBar* Row, int Index);

  int FTabsPerRow;
  std::vector<QTabBar*> FRows;
  std::vector<QWidget*> FPages;
  QVBoxLayout* FRowLayout;
  QStackedWidget* FStack;
  bool FSwitching = false;
};

class TQLOptionsForm : public QDialog {
public:
  // ResultView is the main window's result view; the JPEG test uses its picture.
  TQLOptionsForm(QWidget* Parent, TPGImage* ResultView);
  ~TQLOptionsForm() override;

  // The controls from the settings, and back after OK.
  void FillFromSettings();
  void WriteToSettings() const;

  TRGB FrameColor() const { return FFrameColor; }
  void SetFrameColor(TRGB Color);

  void FormShow();
  void EditChange();
  void OptionsEnglishRBClick();
  void OptionsDeutschRBClick();
  void FrameChooseColorBtnClick();
  void JPEGPrevButtonClick();

  TMultiRowPageControl* OptionsPageControl;
  QWidget* LangTabSheet;
  QRadioButton* OptionsEnglishRB;
  QRadioButton* OptionsDeutschRB;
  QWidget* MemTabSheet;
  QLabel* MemLabel;
  QLineEdit* MemEdit;
  QLabel* MemUnitLabel;
  QWidget* OptPalTabSheet;
  QLabel* OptPalSizeLabel;
  QLineEdit* OptPalSizeEdit;
  QLabel* OptPalEntriesLabel;
  QCheckBox* OptPalIncludeSysColCB;
  QCheckBox* OptPalRefineCB;
  QWidget* FrameTabSheet;
  QLabel* FrameSizeLabel;
  QLineEdit* FrameEdit;
  QLabel* FrameColorLabel;
  QFrame* FrameShape;
  QPushButton* FrameChooseColorBtn;
  QWidget* SearchPalTabSheet;
  QRadioButton* SearchColorFastRB;
  QRadioButton* SearchColorPreciseRB;
  QWidget* JPEGTabSheet;
  QLabel* JPEGWLabel;
  QRadioButton* JPEGWIntFastRB;
  QRadioButton* JPEGWIntPreciseRB;
  QRadioButton* JPEGWFloatRB;
  QLabel* JPEGWQualityLabel;
  QLineEdit* JPEGWQualityEdit;
  QCheckBox* JPEGWProgressiveCB;
  QLabel* JPEGRLabel;
  QRadioButton* JPEGRIntFastRB;
  QRadioButton* JPEGRIntPreciseRB;
  QRadioButton* JPEGRFloatRB;
  QPushButton* JPEGPrevButton;
  QLabel* JPEGPrevActionLabel;
  QWidget* PNGTabSheet;
  QCheckBox* PNGGammaCorrectionOnReadCB;
  QCheckBox* PNGWriteGammaCB;
  QLabel* ScreenGammaLabel;
  QLineEdit* ScreenGammaEdit;
  QWidget* PXMTabSheet;
  QRadioButton* PXMBinaryRB;
  QRadioButton* PXMASCIIRB;
  QWidget* TIFFTabSheet;
  QLabel* TIFFWriteOptionsLabel;
  QLabel* TIFFCompLabel;
  QRadioButton* TIFFCompNoneRB;
  QRadioButton* TIFFCompPackBitsRB;
  QLabel* TIFFByteOrderLabel;
  QRadioButton* TIFFByteOrderIRB;
  QRadioButton* TIFFByteOrderMRB;
  QLabel* TIFFW24PILabel;
  QRadioButton* TIFFRGBRB;
  QRadioButton* TIFFCMYKRB;
  QLabel* TIFFWGrayScaleLabel;
  QRadioButton* TIFFBlackIsZeroRB;
  QRadioButton* TIFFWhiteIsZeroRB;
  QLabel* TIFFResLabel;
  QRadioButton* TIFFResNoneRB;
  QRadioButton* TIFFResInchRB;
  QRadioButton* TIFFResCentimeterRB;
  QLabel* TIFFResXLabel;
  QLineEdit* TIFFResHorizNEdit;
  QLabel* TIFFResXSlashLabel;
  QLineEdit* TIFFResHorizDEdit;
  QLabel* TIFFResYLabel;
  QLineEdit* TIFFResVertNEdit;
  QLabel* TIFFResYSlashLabel;
  QLineEdit* TIFFResVertDEdit;
  QWidget* SaveTabSheet;
  QCheckBox* SaveSuggestSourceFileNameCB;
  QCheckBox* SaveSuggestSourceDirectoryCB;
  QCheckBox* JPEGWOptimizeCB;
  QWidget* ColourTabSheet;
  QCheckBox* ConvertToSRGBCB;
  QLabel* ConvertToSRGBLabel;
  QWidget* WebPTabSheet;
  QLabel* WebPWLabel;
  QLabel* WebPQualityLabel;
  QLineEdit* WebPQualityEdit;
  QCheckBox* WebPLosslessCB;
  QWidget* PhotoTabSheet;
  QCheckBox* PhotoAutoOrientCB;
  QCheckBox* PhotoKeepInfoCB;
  QPushButton* OKButton;
  QPushButton* CancelButton;
  QWidget* AVIFTabSheet;
  QLabel* AVIFQualityLabel;
  QLineEdit* AVIFQualityEdit;
  QLabel* AVIFSpeedLabel;
  QLineEdit* AVIFSpeedEdit;

protected:
  void showEvent(QShowEvent* Event) override;

private:
  // A radio group and the setting value of each of its radios.
  struct TRadioGroup {
    std::vector<QRadioButton*> Radios;
    std::vector<int32_t> Values;
  };

  void BuildControls();
  QWidget* NewPage(const char* Name);
  QButtonGroup* Exclusive(const TRadioGroup& Group);
  void FormCreate();
  void SetCaptions(int32_t Language);
  void Validate();
  void RunJPEGTest();
  void ShowError(const std::string& Message);
  static void Check(const TRadioGroup& Group, int32_t Value);
  // Writes the value of the checked radio; none checked writes nothing.
  static void Store(const TRadioGroup& Group, int32_t& Setting);

  TPGImage* FResultView;
  TRGB FFrameColor = 0;
  TRadioGroup FJPEGWrite, FJPEGRead, FTIFFComp, FTIFFByteOrder, FTIFFTrueColor, FTIFFGray, FTIFFResUnit;
};
