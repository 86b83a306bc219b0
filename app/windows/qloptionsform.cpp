#include "qloptionsform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <unistd.h>

#include "formatoptions.h"
#include "heifformat.h"
#include "mainformlogic.h"
#include "optionslogic.h"
#include "pgqtgraphic.h"
#include "pgimage.h"
#include "qljpegpreviewform.h"
#include "qtplatform.h"
#include "settings.h"
#include "stream.h"
#include "tickcount.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

template <class T>
T* Named(T* object, const char* name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

QLineEdit* NumberEdit(QWidget* parent, const char* name, int digits) {
  auto* edit = Named(new QLineEdit(parent), name);
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(digits + 1, QLatin1Char('0'))) + 12);
  return edit;
}

// A file that exists from its creation until this object ends.
class TTemporaryFile {
public:
  TTemporaryFile(const std::string& Prefix, bool German) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    std::string pattern = ((ec ? std::filesystem::path("/tmp") : dir) / (Prefix + "XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
      throw std::runtime_error(German ? "Im Verzeichnis für temporäre Dateien kann keine Datei angelegt werden."
                                      : "No file can be created in the directory for temporary files.");
    close(fd);
    FName = pattern;
  }
  ~TTemporaryFile() {
    std::error_code ignored;
    std::filesystem::remove(FName, ignored);
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;
  const std::string& Name() const { return FName; }

private:
  std::string FName;
};

// The JPEG options as they were; put back on every way out of the test.
struct TJPEGSettingsGuard {
  int32_t DecompMethod = ::JPEGDecompMethod;
  int32_t CompMethod = ::JPEGCompMethod;
  int32_t CompQuality = ::JPEGCompQuality;
  bool CompProgressive = ::JPEGCompProgressive;
  bool OptimizeCoding = ::JPEGOptimizeCoding;
  ~TJPEGSettingsGuard() {
    ::JPEGOptimizeCoding = OptimizeCoding;
    ::JPEGDecompMethod = DecompMethod;
    ::JPEGCompMethod = CompMethod;
    ::JPEGCompQuality = CompQuality;
    ::JPEGCompProgressive = CompProgressive;
  }
};

}  // namespace

// ---- Tabs on several rows ---------------------------------------------------

TMultiRowPageControl::TMultiRowPageControl(QWidget* Parent, int TabsPerRow) : QWidget(Parent), FTabsPerRow(TabsPerRow) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FRowLayout = new QVBoxLayout;
  FRowLayout->setSpacing(0);
  FStack = new QStackedWidget(this);
  FStack->setFrameShape(QFrame::StyledPanel);
  layout->addLayout(FRowLayout);
  layout->addWidget(FStack, 1);
}

void TMultiRowPageControl::AddPage(QWidget* Page) {
  if (FRows.empty() || FRows.back()->count() > FTabsPerRow) {
    auto* row = new QTabBar(this);
    row->setUsesScrollButtons(false);
    row->setExpanding(true);
    row->setDrawBase(false);
    row->setFocusPolicy(Qt::TabFocus);
    row->addTab(QString());
    row->setTabVisible(0, false);
    connect(row, &QTabBar::currentChanged, this, [this, row](int index) { TabClicked(row, index); });
    FRows.push_back(row);
    FRowLayout->addWidget(row);
  }
  FPages.push_back(Page);
  FStack->addWidget(Page);
  FSwitching = true;
  FRows.back()->addTab(QString());
  FSwitching = false;
  SetActivePage(FStack->currentWidget());
}

std::pair<QTabBar*, int> TMultiRowPageControl::TabOf(QWidget* Page) const {
  for (size_t i = 0; i < FPages.size(); ++i)
    if (FPages[i] == Page) return {FRows[i / size_t(FTabsPerRow)], int(i % size_t(FTabsPerRow)) + 1};
  return {nullptr, 0};
}

void TMultiRowPageControl::SetPageCaption(QWidget* Page, const QString& Caption) {
  const auto [row, index] = TabOf(Page);
  if (row) row->setTabText(index, Caption);
}

QString TMultiRowPageControl::PageCaption(QWidget* Page) const {
  const auto [row, index] = TabOf(Page);
  return row ? row->tabText(index) : QString();
}

QWidget* TMultiRowPageControl::ActivePage() const { return FStack->currentWidget(); }

void TMultiRowPageControl::SetActivePage(QWidget* Page) {
  const auto [row, index] = TabOf(Page);
  if (!row) return;
  FSwitching = true;
  for (QTabBar* r : FRows) r->setCurrentIndex(r == row ? index : 0);
  FSwitching = false;
  FStack->setCurrentWidget(Page);
}

void TMultiRowPageControl::TabClicked(QTabBar* Row, int Index) {
  if (FSwitching || Index <= 0) return;
  const size_t rowNumber = size_t(std::find(FRows.begin(), FRows.end(), Row) - FRows.begin());
  const size_t page = rowNumber * size_t(FTabsPerRow) + size_t(Index - 1);
  if (page < FPages.size()) SetActivePage(FPages[page]);
}

// ---- The dialog ---------------------------------------------------------------

TQLOptionsForm::TQLOptionsForm(QWidget* Parent, TPGImage* ResultView) : QDialog(Parent), FResultView(ResultView) {
  setObjectName(QStringLiteral("QLOptionsForm"));
  BuildControls();
  FormCreate();
}

TQLOptionsForm::~TQLOptionsForm() = default;

QWidget* TQLOptionsForm::NewPage(const char* Name) {
  auto* page = Named(new QWidget, Name);
  OptionsPageControl->AddPage(page);
  return page;
}

QButtonGroup* TQLOptionsForm::Exclusive(const TRadioGroup& Group) {
  auto* group = new QButtonGroup(this);
  for (QRadioButton* r : Group.Radios) group->addButton(r);
  return group;
}

void TQLOptionsForm::BuildControls() {
  OptionsPageControl = Named(new TMultiRowPageControl(this, 5), "OptionsPageControl");
  const auto row = [](std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout;
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch(1);
    return layout;
  };
  const auto column = [](QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    return layout;
  };

  QWidget* p = LangTabSheet = NewPage("LangTabSheet");
  OptionsEnglishRB = Named(new QRadioButton(p), "OptionsEnglishRB");
  OptionsDeutschRB = Named(new QRadioButton(p), "OptionsDeutschRB");
  Exclusive({{OptionsEnglishRB, OptionsDeutschRB}, {}});
  QVBoxLayout* l = column(p);
  l->addWidget(OptionsEnglishRB);
  l->addWidget(OptionsDeutschRB);
  l->addStretch(1);

  p = MemTabSheet = NewPage("MemTabSheet");
  MemLabel = Named(new QLabel(p), "MemLabel");
  MemLabel->setWordWrap(true);
  MemEdit = NumberEdit(p, "MemEdit", 5);
  MemUnitLabel = Named(new QLabel(QStringLiteral("MB"), p), "MemUnitLabel");
  MemLabel->setBuddy(MemEdit);
  l = column(p);
  l->addWidget(MemLabel);
  l->addLayout(row({MemEdit, MemUnitLabel}));
  l->addStretch(1);

  p = OptPalTabSheet = NewPage("OptPalTabSheet");
  OptPalSizeLabel = Named(new QLabel(p), "OptPalSizeLabel");
  OptPalSizeEdit = NumberEdit(p, "OptPalSizeEdit", 4);
  OptPalEntriesLabel = Named(new QLabel(p), "OptPalEntriesLabel");
  OptPalIncludeSysColCB = Named(new QCheckBox(p), "OptPalIncludeSysColCB");
  OptPalRefineCB = Named(new QCheckBox(p), "OptPalRefineCB");
  OptPalSizeLabel->setBuddy(OptPalSizeEdit);
  l = column(p);
  l->addLayout(row({OptPalSizeLabel, OptPalSizeEdit, OptPalEntriesLabel}));
  l->addWidget(OptPalIncludeSysColCB);
  l->addWidget(OptPalRefineCB);
  l->addStretch(1);

  p = FrameTabSheet = NewPage("FrameTabSheet");
  FrameSizeLabel = Named(new QLabel(p), "FrameSizeLabel");
  FrameEdit = NumberEdit(p, "FrameEdit", 5);
  FrameColorLabel = Named(new QLabel(p), "FrameColorLabel");
  FrameShape = Named(new QFrame(p), "FrameShape");
  FrameShape->setFrameShape(QFrame::Box);
  FrameShape->setFixedSize(48, 24);
  FrameShape->setAutoFillBackground(true);
  FrameChooseColorBtn = Named(new QPushButton(p), "FrameChooseColorBtn");
  FrameSizeLabel->setBuddy(FrameEdit);
  auto* grid = new QGridLayout;
  grid->addWidget(FrameSizeLabel, 0, 0);
  grid->addLayout(row({FrameEdit}), 0, 1);
  grid->addWidget(FrameColorLabel, 1, 0);
  grid->addLayout(row({FrameShape, FrameChooseColorBtn}), 1, 1);
  grid->setColumnStretch(1, 1);
  l = column(p);
  l->addLayout(grid);
  l->addStretch(1);

  p = SearchPalTabSheet = NewPage("SearchPalTabSheet");
  SearchColorFastRB = Named(new QRadioButton(p), "SearchColorFastRB");
  SearchColorPreciseRB = Named(new QRadioButton(p), "SearchColorPreciseRB");
  Exclusive({{SearchColorFastRB, SearchColorPreciseRB}, {}});
  l = column(p);
  l->addWidget(SearchColorFastRB);
  l->addWidget(SearchColorPreciseRB);
  l->addStretch(1);

  p = JPEGTabSheet = NewPage("JPEGTabSheet");
  JPEGWLabel = Named(new QLabel(p), "JPEGWLabel");
  JPEGWIntFastRB = Named(new QRadioButton(p), "JPEGWIntFastRB");
  JPEGWIntPreciseRB = Named(new QRadioButton(p), "JPEGWIntPreciseRB");
  JPEGWFloatRB = Named(new QRadioButton(p), "JPEGWFloatRB");
  JPEGWQualityLabel = Named(new QLabel(p), "JPEGWQualityLabel");
  JPEGWQualityEdit = NumberEdit(p, "JPEGWQualityEdit", 4);
  JPEGWProgressiveCB = Named(new QCheckBox(QStringLiteral("Progressive"), p), "JPEGWProgressiveCB");
  JPEGRLabel = Named(new QLabel(p), "JPEGRLabel");
  JPEGRIntFastRB = Named(new QRadioButton(p), "JPEGRIntFastRB");
  JPEGRIntPreciseRB = Named(new QRadioButton(p), "JPEGRIntPreciseRB");
  JPEGRFloatRB = Named(new QRadioButton(p), "JPEGRFloatRB");
  JPEGPrevButton = Named(new QPushButton(p), "JPEGPrevButton");
  JPEGPrevActionLabel = Named(new QLabel(p), "JPEGPrevActionLabel");
  JPEGWQualityLabel->setBuddy(JPEGWQualityEdit);
  FJPEGWrite = {{JPEGWIntFastRB, JPEGWIntPreciseRB, JPEGWFloatRB}, {1, 0, 2}};
  FJPEGRead = {{JPEGRIntFastRB, JPEGRIntPreciseRB, JPEGRFloatRB}, {1, 0, 2}};
  Exclusive(FJPEGWrite);
  Exclusive(FJPEGRead);
  auto* write = new QVBoxLayout;
  for (QWidget* w : {static_cast<QWidget*>(JPEGWLabel), static_cast<QWidget*>(JPEGWIntFastRB),
                     static_cast<QWidget*>(JPEGWIntPreciseRB), static_cast<QWidget*>(JPEGWFloatRB)})
    write->addWidget(w);
  write->addLayout(row({JPEGWQualityLabel, JPEGWQualityEdit}));
  write->addWidget(JPEGWProgressiveCB);
  JPEGWOptimizeCB = Named(new QCheckBox(p), "JPEGWOptimizeCB");
  write->addWidget(JPEGWOptimizeCB);
  write->addStretch(1);
  auto* read = new QVBoxLayout;
  for (QWidget* w : {static_cast<QWidget*>(JPEGRLabel), static_cast<QWidget*>(JPEGRIntFastRB),
                     static_cast<QWidget*>(JPEGRIntPreciseRB), static_cast<QWidget*>(JPEGRFloatRB)})
    read->addWidget(w);
  read->addStretch(1);
  auto* both = new QHBoxLayout;
  both->addLayout(write);
  both->addSpacing(24);
  both->addLayout(read);
  both->addStretch(1);
  l = column(p);
  l->addLayout(both);
  l->addLayout(row({JPEGPrevButton, JPEGPrevActionLabel}));
  l->addStretch(1);

  p = PNGTabSheet = NewPage("PNGTabSheet");
  PNGGammaCorrectionOnReadCB = Named(new QCheckBox(p), "PNGGammaCorrectionOnReadCB");
  PNGWriteGammaCB = Named(new QCheckBox(p), "PNGWriteGammaCB");
  ScreenGammaLabel = Named(new QLabel(p), "ScreenGammaLabel");
  ScreenGammaEdit = NumberEdit(p, "ScreenGammaEdit", 8);
  ScreenGammaLabel->setBuddy(ScreenGammaEdit);
  l = column(p);
  l->addWidget(PNGGammaCorrectionOnReadCB);
  l->addWidget(PNGWriteGammaCB);
  l->addLayout(row({ScreenGammaLabel, ScreenGammaEdit}));
  l->addStretch(1);

  p = PXMTabSheet = NewPage("PXMTabSheet");
  PXMBinaryRB = Named(new QRadioButton(p), "PXMBinaryRB");
  PXMASCIIRB = Named(new QRadioButton(p), "PXMASCIIRB");
  Exclusive({{PXMBinaryRB, PXMASCIIRB}, {}});
  l = column(p);
  l->addWidget(PXMBinaryRB);
  l->addWidget(PXMASCIIRB);
  l->addStretch(1);

  p = TIFFTabSheet = NewPage("TIFFTabSheet");
  TIFFWriteOptionsLabel = Named(new QLabel(p), "TIFFWriteOptionsLabel");
  TIFFCompLabel = Named(new QLabel(p), "TIFFCompLabel");
  TIFFCompNoneRB = Named(new QRadioButton(p), "TIFFCompNoneRB");
  TIFFCompPackBitsRB = Named(new QRadioButton(QStringLiteral("PackBits"), p), "TIFFCompPackBitsRB");
  TIFFByteOrderLabel = Named(new QLabel(p), "TIFFByteOrderLabel");
  TIFFByteOrderIRB = Named(new QRadioButton(QStringLiteral("I"), p), "TIFFByteOrderIRB");
  TIFFByteOrderMRB = Named(new QRadioButton(QStringLiteral("M"), p), "TIFFByteOrderMRB");
  TIFFW24PILabel = Named(new QLabel(p), "TIFFW24PILabel");
  TIFFRGBRB = Named(new QRadioButton(QStringLiteral("RGB"), p), "TIFFRGBRB");
  TIFFCMYKRB = Named(new QRadioButton(QStringLiteral("CMYK"), p), "TIFFCMYKRB");
  TIFFWGrayScaleLabel = Named(new QLabel(p), "TIFFWGrayScaleLabel");
  TIFFBlackIsZeroRB = Named(new QRadioButton(p), "TIFFBlackIsZeroRB");
  TIFFWhiteIsZeroRB = Named(new QRadioButton(p), "TIFFWhiteIsZeroRB");
  TIFFResLabel = Named(new QLabel(p), "TIFFResLabel");
  TIFFResNoneRB = Named(new QRadioButton(p), "TIFFResNoneRB");
  TIFFResInchRB = Named(new QRadioButton(p), "TIFFResInchRB");
  TIFFResCentimeterRB = Named(new QRadioButton(p), "TIFFResCentimeterRB");
  TIFFResXLabel = Named(new QLabel(QStringLiteral("Horiz.:"), p), "TIFFResXLabel");
  TIFFResHorizNEdit = NumberEdit(p, "TIFFResHorizNEdit", 6);
  TIFFResXSlashLabel = Named(new QLabel(QStringLiteral("/"), p), "TIFFResXSlashLabel");
  TIFFResHorizDEdit = NumberEdit(p, "TIFFResHorizDEdit", 6);
  TIFFResYLabel = Named(new QLabel(QStringLiteral("Vert.:"), p), "TIFFResYLabel");
  TIFFResVertNEdit = NumberEdit(p, "TIFFResVertNEdit", 6);
  TIFFResYSlashLabel = Named(new QLabel(QStringLiteral("/"), p), "TIFFResYSlashLabel");
  TIFFResVertDEdit = NumberEdit(p, "TIFFResVertDEdit", 6);
  FTIFFComp = {{TIFFCompNoneRB, TIFFCompPackBitsRB}, {1, 32773}};
  FTIFFByteOrder = {{TIFFByteOrderIRB, TIFFByteOrderMRB}, {0, 1}};
  FTIFFTrueColor = {{TIFFRGBRB, TIFFCMYKRB}, {0, 1}};
  FTIFFGray = {{TIFFBlackIsZeroRB, TIFFWhiteIsZeroRB}, {0, 1}};
  FTIFFResUnit = {{TIFFResNoneRB, TIFFResInchRB, TIFFResCentimeterRB}, {0, 1, 2}};
  grid = new QGridLayout;
  int r = 0;
  for (auto [label, group] : {std::pair{TIFFCompLabel, &FTIFFComp}, std::pair{TIFFByteOrderLabel, &FTIFFByteOrder},
                              std::pair{TIFFW24PILabel, &FTIFFTrueColor}, std::pair{TIFFWGrayScaleLabel, &FTIFFGray},
                              std::pair{TIFFResLabel, &FTIFFResUnit}}) {
    Exclusive(*group);
    grid->addWidget(label, r, 0);
    auto* radios = new QHBoxLayout;
    for (QRadioButton* b : group->Radios) radios->addWidget(b);
    radios->addStretch(1);
    grid->addLayout(radios, r++, 1);
  }
  grid->addWidget(TIFFResXLabel, r, 0, Qt::AlignRight);
  grid->addLayout(row({TIFFResHorizNEdit, TIFFResXSlashLabel, TIFFResHorizDEdit}), r++, 1);
  grid->addWidget(TIFFResYLabel, r, 0, Qt::AlignRight);
  grid->addLayout(row({TIFFResVertNEdit, TIFFResYSlashLabel, TIFFResVertDEdit}), r++, 1);
  grid->setColumnStretch(1, 1);
  l = column(p);
  l->addWidget(TIFFWriteOptionsLabel);
  l->addLayout(grid);
  l->addStretch(1);

  p = SaveTabSheet = NewPage("SaveTabSheet");
  SaveSuggestSourceFileNameCB = Named(new QCheckBox(p), "SaveSuggestSourceFileNameCB");
  SaveSuggestSourceDirectoryCB = Named(new QCheckBox(p), "SaveSuggestSourceDirectoryCB");
  l = column(p);
  l->addWidget(SaveSuggestSourceFileNameCB);
  l->addWidget(SaveSuggestSourceDirectoryCB);
  l->addStretch(1);

  p = WebPTabSheet = NewPage("WebPTabSheet");
  WebPWLabel = Named(new QLabel(p), "WebPWLabel");
  WebPQualityLabel = Named(new QLabel(p), "WebPQualityLabel");
  WebPQualityEdit = NumberEdit(p, "WebPQualityEdit", 4);
  WebPLosslessCB = Named(new QCheckBox(p), "WebPLosslessCB");
  WebPQualityLabel->setBuddy(WebPQualityEdit);
  l = column(p);
  l->addWidget(WebPWLabel);
  l->addLayout(row({WebPQualityLabel, WebPQualityEdit}));
  l->addWidget(WebPLosslessCB);
  l->addStretch(1);
  // Lossless files have no quality to choose.
  connect(WebPLosslessCB, &QCheckBox::toggled, this, [this](bool on) { WebPQualityEdit->setEnabled(!on); });

  p = AVIFTabSheet = NewPage("AVIFTabSheet");
  AVIFQualityLabel = Named(new QLabel(p), "AVIFQualityLabel");
  AVIFQualityEdit = NumberEdit(p, "AVIFQualityEdit", 4);
  AVIFSpeedLabel = Named(new QLabel(p), "AVIFSpeedLabel");
  AVIFSpeedEdit = NumberEdit(p, "AVIFSpeedEdit", 4);
  AVIFQualityLabel->setBuddy(AVIFQualityEdit);
  AVIFSpeedLabel->setBuddy(AVIFSpeedEdit);
  grid = new QGridLayout;
  grid->addWidget(AVIFQualityLabel, 0, 0);
  grid->addLayout(row({AVIFQualityEdit}), 0, 1);
  grid->addWidget(AVIFSpeedLabel, 1, 0);
  grid->addLayout(row({AVIFSpeedEdit}), 1, 1);
  grid->setColumnStretch(1, 1);
  l = column(p);
  l->addLayout(grid);
  l->addStretch(1);

  p = ColourTabSheet = NewPage("ColourTabSheet");
  ConvertToSRGBCB = Named(new QCheckBox(p), "ConvertToSRGBCB");
  ConvertToSRGBLabel = Named(new QLabel(p), "ConvertToSRGBLabel");
  ConvertToSRGBLabel->setWordWrap(true);
  l = column(p);
  l->addWidget(ConvertToSRGBCB);
  l->addWidget(ConvertToSRGBLabel);
  l->addStretch(1);

  p = PhotoTabSheet = NewPage("PhotoTabSheet");
  PhotoAutoOrientCB = Named(new QCheckBox(p), "PhotoAutoOrientCB");
  PhotoKeepInfoCB = Named(new QCheckBox(p), "PhotoKeepInfoCB");
  l = column(p);
  l->addWidget(PhotoAutoOrientCB);
  l->addWidget(PhotoKeepInfoCB);
  l->addStretch(1);

  OKButton = Named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
  CancelButton = Named(new QPushButton(this), "CancelButton");
  OKButton->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);
  auto* form = new QVBoxLayout(this);
  form->addWidget(OptionsPageControl, 1);
  form->addLayout(buttons);
  // Fixed size: the dialog takes the size its captions need.
  form->setSizeConstraint(QLayout::SetFixedSize);

  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  for (QLineEdit* e : {OptPalSizeEdit, FrameEdit, JPEGWQualityEdit, ScreenGammaEdit, MemEdit, TIFFResHorizNEdit,
                       TIFFResHorizDEdit, TIFFResVertNEdit, TIFFResVertDEdit, AVIFQualityEdit, AVIFSpeedEdit,
                       WebPQualityEdit})
    connect(e, &QLineEdit::textChanged, this, [this] { EditChange(); });
  connect(OptionsEnglishRB, &QRadioButton::clicked, this, [this] { OptionsEnglishRBClick(); });
  connect(OptionsDeutschRB, &QRadioButton::clicked, this, [this] { OptionsDeutschRBClick(); });
  connect(FrameChooseColorBtn, &QPushButton::clicked, this, [this] { FrameChooseColorBtnClick(); });
  connect(JPEGPrevButton, &QPushButton::clicked, this, [this] { JPEGPrevButtonClick(); });
}

void TQLOptionsForm::FormCreate() {
  SetCaptions(::Language);
  JPEGPrevActionLabel->clear();
  Validate();
}

void TQLOptionsForm::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!Event->spontaneous()) FormShow();
}

void TQLOptionsForm::FormShow() {
  OptionsPageControl->SetActivePage(LangTabSheet);
  Validate();
}

// ---- Settings -----------------------------------------------------------------

void TQLOptionsForm::Check(const TRadioGroup& Group, int32_t Value) {
  for (size_t i = 0; i < Group.Radios.size(); ++i)
    if (Group.Values[i] == Value) Group.Radios[i]->setChecked(true);
}

void TQLOptionsForm::Store(const TRadioGroup& Group, int32_t& Setting) {
  for (size_t i = 0; i < Group.Radios.size(); ++i)
    if (Group.Radios[i]->isChecked()) Setting = Group.Values[i];
}

void TQLOptionsForm::FillFromSettings() {
  (::Language == LanguageGerman ? OptionsDeutschRB : OptionsEnglishRB)->setChecked(true);
  OptPalSizeEdit->setText(QString::number(::OptimizedPaletteSize));
  JPEGWQualityEdit->setText(QString::number(::JPEGCompQuality));
  FrameEdit->setText(QString::number(::BorderWidth));
  MemEdit->setText(QString::number(::MemWarning));
  TIFFResHorizNEdit->setText(QString::number(::TIFFWriteXResolutionNumerator));
  TIFFResHorizDEdit->setText(QString::number(::TIFFWriteXResolutionDenominator));
  TIFFResVertNEdit->setText(QString::number(::TIFFWriteYResolutionNumerator));
  TIFFResVertDEdit->setText(QString::number(::TIFFWriteYResolutionDenominator));
  ScreenGammaEdit->setText(Q(GeneralFormat(::ScreenGamma)));
  OptPalIncludeSysColCB->setChecked(::OptimizedPaletteIncludeSys);
  OptPalRefineCB->setChecked(::OptimizedPaletteRefine);
  (::FastUnknownPalette ? SearchColorFastRB : SearchColorPreciseRB)->setChecked(true);
  Check(FJPEGWrite, ::JPEGCompMethod);
  JPEGWProgressiveCB->setChecked(::JPEGCompProgressive);
  Check(FJPEGRead, ::JPEGDecompMethod);
  PNGGammaCorrectionOnReadCB->setChecked(::GammaCorrectionOnRead);
  PNGWriteGammaCB->setChecked(::WriteGamma);
  (::PXMWriteBinary ? PXMBinaryRB : PXMASCIIRB)->setChecked(true);
  Check(FTIFFComp, ::TIFFWriteCompression);
  Check(FTIFFByteOrder, ::TIFFWriteByteOrder);
  Check(FTIFFTrueColor, ::TIFFWriteTrueColorPhotInterpret);
  Check(FTIFFGray, ::TIFFWriteGrayScalePhotInterpret);
  Check(FTIFFResUnit, ::TIFFWriteResolutionUnit);
  SaveSuggestSourceFileNameCB->setChecked(::SaveSuggestSourceFileName);
  SaveSuggestSourceDirectoryCB->setChecked(::SaveSuggestSourceDirectory);
  SetFrameColor(::BorderColor);
  AVIFQualityEdit->setText(QString::number(::AVIFCompQuality));
  AVIFSpeedEdit->setText(QString::number(::AVIFCompSpeed));
  JPEGWOptimizeCB->setChecked(::JPEGOptimizeCoding);
  ConvertToSRGBCB->setChecked(::ConvertToSRGB);
  WebPQualityEdit->setText(QString::number(::WebPQuality));
  WebPLosslessCB->setChecked(::WebPLossless);
  PhotoAutoOrientCB->setChecked(::AutoOrient);
  PhotoKeepInfoCB->setChecked(::KeepPhotoInfo);
}

void TQLOptionsForm::WriteToSettings() const {
  if (OptionsEnglishRB->isChecked()) ::Language = LanguageEnglish;
  if (OptionsDeutschRB->isChecked()) ::Language = LanguageGerman;
  // OK is enabled only for readable numbers; a field that is not keeps its setting.
  const auto integer = [](const QLineEdit* e, int32_t& setting) {
    if (const auto n = ParseIntegerText(e->text().toStdString())) setting = *n;
  };
  integer(OptPalSizeEdit, ::OptimizedPaletteSize);
  integer(JPEGWQualityEdit, ::JPEGCompQuality);
  integer(FrameEdit, ::BorderWidth);
  integer(MemEdit, ::MemWarning);
  integer(TIFFResHorizNEdit, ::TIFFWriteXResolutionNumerator);
  integer(TIFFResHorizDEdit, ::TIFFWriteXResolutionDenominator);
  integer(TIFFResVertNEdit, ::TIFFWriteYResolutionNumerator);
  integer(TIFFResVertDEdit, ::TIFFWriteYResolutionDenominator);
  if (const auto g = ParseRealText(ScreenGammaEdit->text().toStdString())) ::ScreenGamma = *g;
  ::OptimizedPaletteIncludeSys = OptPalIncludeSysColCB->isChecked();
  ::OptimizedPaletteRefine = OptPalRefineCB->isChecked();
  ::FastUnknownPalette = SearchColorFastRB->isChecked();
  Store(FJPEGWrite, ::JPEGCompMethod);
  ::JPEGCompProgressive = JPEGWProgressiveCB->isChecked();
  Store(FJPEGRead, ::JPEGDecompMethod);
  ::GammaCorrectionOnRead = PNGGammaCorrectionOnReadCB->isChecked();
  ::WriteGamma = PNGWriteGammaCB->isChecked();
  ::PXMWriteBinary = PXMBinaryRB->isChecked();
  Store(FTIFFComp, ::TIFFWriteCompression);
  Store(FTIFFByteOrder, ::TIFFWriteByteOrder);
  Store(FTIFFTrueColor, ::TIFFWriteTrueColorPhotInterpret);
  Store(FTIFFGray, ::TIFFWriteGrayScalePhotInterpret);
  Store(FTIFFResUnit, ::TIFFWriteResolutionUnit);
  ::SaveSuggestSourceFileName = SaveSuggestSourceFileNameCB->isChecked();
  ::SaveSuggestSourceDirectory = SaveSuggestSourceDirectoryCB->isChecked();
  ::BorderColor = FFrameColor;
  integer(AVIFQualityEdit, ::AVIFCompQuality);
  integer(AVIFSpeedEdit, ::AVIFCompSpeed);
  ::JPEGOptimizeCoding = JPEGWOptimizeCB->isChecked();
  ::ConvertToSRGB = ConvertToSRGBCB->isChecked();
  integer(WebPQualityEdit, ::WebPQuality);
  ::WebPLossless = WebPLosslessCB->isChecked();
  ::AutoOrient = PhotoAutoOrientCB->isChecked();
  ::KeepPhotoInfo = PhotoKeepInfoCB->isChecked();
}

void TQLOptionsForm::SetFrameColor(TRGB Color) {
  FFrameColor = Color;
  QPalette palette = FrameShape->palette();
  palette.setColor(QPalette::Window, QColor(ToQRgb(Color)));
  FrameShape->setPalette(palette);
}

// ---- Captions -----------------------------------------------------------------

void TQLOptionsForm::SetCaptions(int32_t Language) {
  const bool de = Language == LanguageGerman;
  const auto text = [de](const char* german, const char* english) { return QString::fromUtf8(de ? german : english); };
  setWindowTitle(text("Optionen", "Options"));
  const std::pair<QWidget*, std::pair<const char*, const char*>> pages[] = {
      {LangTabSheet, {"Sprache/Language", "Language/Sprache"}},
      {MemTabSheet, {"Speicher-Warnung", "Memory warning"}},
      {OptPalTabSheet, {"Optimierte Palette", "Optimized palette"}},
      {FrameTabSheet, {"Rahmen", "Frame"}},
      {SearchPalTabSheet, {"Suche in unbekannten Paletten", "Search in unknown palettes"}},
      {JPEGTabSheet, {"JPEG-Dateiformat", "JPEG file format"}},
      {PNGTabSheet, {"PNG-Dateiformat", "PNG file format"}},
      {PXMTabSheet, {"PBM, PGM, PPM-Dateiformate", "PBM, PGM, PPM file formats"}},
      {TIFFTabSheet, {"TIFF-Dateiformat", "TIFF file format"}},
      {SaveTabSheet, {"Speichern unter", "Save as"}},
      {WebPTabSheet, {"WebP-Dateiformat", "WebP file format"}},
      {AVIFTabSheet, {"AVIF-Dateiformat", "AVIF file format"}},
      {ColourTabSheet, {"Farbprofile", "Colour profiles"}},
      {PhotoTabSheet, {"Fotos", "Photos"}}};
  for (const auto& [page, caption] : pages) OptionsPageControl->SetPageCaption(page, text(caption.first, caption.second));
  const auto set = [&](QWidget* w, const char* german, const char* english) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text(german, english));
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text(german, english));
  };
  set(OptionsEnglishRB, "Englisch/English", "English/Englisch");
  set(OptionsDeutschRB, "Deutsch/German", "German/Deutsch");
  set(MemLabel, "Warnung anzeigen, wenn der Speicherbedarf für eine Berechnung voraussichtlich größer ist als:",
      "Display warning if the memory needed for a calculation is probably more than:");
  set(OptPalSizeLabel, "Größe:", "Size:");
  set(OptPalEntriesLabel, "Einträge", "Entries");
  set(OptPalIncludeSysColCB, "16 Windows Systemfarben einbeziehen", "Include 16 Windows system colors");
  set(OptPalRefineCB, "Palette verfeinern (genauere Farben, langsamer)", "Refine palette (closer colors, slower)");
  set(FrameSizeLabel, "Breite:", "Width:");
  set(FrameColorLabel, "Farbe:", "Color:");
  set(FrameChooseColorBtn, "Wählen...", "Choose...");
  set(SearchColorFastRB, "Schnell", "Fast");
  set(SearchColorPreciseRB, "Genau", "Precise");
  set(JPEGWLabel, "Schreiben", "Write");
  set(JPEGWIntFastRB, "Integer, schnell", "Integer, fast");
  set(JPEGWIntPreciseRB, "Integer, genau", "Integer, precise");
  set(JPEGWFloatRB, "Fließkomma", "Float");
  set(JPEGWQualityLabel, "Qualität (0...100)", "Quality (0...100)");
  set(JPEGRLabel, "Lesen", "Read");
  set(JPEGRIntFastRB, "Integer, schnell", "Integer, fast");
  set(JPEGRIntPreciseRB, "Integer, genau", "Integer, precise");
  set(JPEGRFloatRB, "Fließkomma", "Float");
  set(JPEGPrevButton, "Testen...", "Test...");
  set(PNGGammaCorrectionOnReadCB, "Gamma-Korrektur beim Lesen", "Gamma correction on read");
  set(PNGWriteGammaCB, "Gamma-Wert in Datei schreiben", "Write gamma to file");
  set(ScreenGammaLabel, "Bidschirm-Gamma:", "Screen gamma:");
  set(PXMBinaryRB, "Binäre Dateien schreiben", "Write binary files");
  set(PXMASCIIRB, "ASCII Dateien schreiben", "Write ASCII files");
  set(TIFFWriteOptionsLabel, "Optionen für das Schreiben von TIFF-Dateien", "Write options for TIFF files");
  set(TIFFCompLabel, "Kompression", "Compression");
  set(TIFFCompNoneRB, "Keine", "None");
  set(TIFFByteOrderLabel, "Byteanordnung", "Byte order");
  set(TIFFW24PILabel, "True-Color als", "True Color as");
  set(TIFFWGrayScaleLabel, "Graustufen (2, 16, 256)", "Grayscale (2, 16, 256)");
  set(TIFFBlackIsZeroRB, "Schwarz ist Null", "Black is zero");
  set(TIFFWhiteIsZeroRB, "Weiß ist Null", "White is zero");
  set(TIFFResLabel, "Auflösung", "Resolution");
  set(TIFFResNoneRB, "Keine Einheit", "No unit");
  set(TIFFResInchRB, "Inch", "Inch");
  set(TIFFResCentimeterRB, "Zentimeter", "Centimeter");
  set(SaveSuggestSourceFileNameCB, "Dateinamen der Quell-Grafik vorschlagen", "Suggest filename of source graphic");
  set(SaveSuggestSourceDirectoryCB, "Verzeichnis der Quell-Grafik vorschlagen", "Suggest directory of source graphic");
  set(PhotoAutoOrientCB, "Fotos aufrichten (nach der Ausrichtung in der Datei)",
      "Turn photos upright (by the orientation in the file)");
  set(PhotoKeepInfoCB, "Foto-Informationen (Exif: Kamera, Datum, GPS-Position) in JPEG-Ergebnisse übernehmen",
      "Keep photo information (Exif: camera, date, GPS position) in JPEG results");
  set(CancelButton, "Abbruch", "Cancel");
  set(AVIFQualityLabel, "Qualität (0...100)", "Quality (0...100)");
  set(AVIFSpeedLabel, "Geschwindigkeit (0: langsam, kleine Datei ... 9: schnell)",
      "Speed (0: slow, small file ... 9: fast)");
  set(JPEGWOptimizeCB, "Optimierte Kodierung (kleinere Dateien)", "Optimized coding (smaller files)");
  set(ConvertToSRGBCB, "Bilder mit Farbprofil beim Laden nach sRGB umrechnen",
      "Convert pictures with a colour profile to sRGB on loading");
  set(ConvertToSRGBLabel,
      "Quillet schreibt sRGB. Ohne Umrechnung bleiben die gespeicherten Farbwerte, und Bilder in "
      "Adobe RGB oder ähnlichen Farbräumen wirken blass.",
      "Quillet writes sRGB. Without the conversion the stored colour values stay, and pictures in "
      "Adobe RGB or similar colour spaces look dull.");
  set(WebPWLabel, "Schreiben", "Write");
  set(WebPQualityLabel, "Qualität (0...100)", "Quality (0...100)");
  set(WebPLosslessCB, "Verlustfrei", "Lossless");
}

void TQLOptionsForm::OptionsEnglishRBClick() { SetCaptions(LanguageEnglish); }

void TQLOptionsForm::OptionsDeutschRBClick() { SetCaptions(LanguageGerman); }

// ---- Validation and colour ------------------------------------------------------

void TQLOptionsForm::EditChange() { Validate(); }

void TQLOptionsForm::Validate() {
  const auto text = [](const QLineEdit* e) { return e->text().toStdString(); };
  const TPixelGraphic* result = FResultView ? FResultView->PixelGraphicNoWait() : nullptr;
  const TOptionsValidation v = ValidateOptions(
      {text(JPEGWQualityEdit), text(FrameEdit), text(MemEdit), text(OptPalSizeEdit), text(ScreenGammaEdit),
       text(TIFFResHorizNEdit), text(TIFFResHorizDEdit), text(TIFFResVertNEdit), text(TIFFResVertDEdit),
       text(AVIFQualityEdit), text(AVIFSpeedEdit), text(WebPQualityEdit)},
      result && result->GetWidth() > 0 && result->GetHeight() > 0);
  OKButton->setEnabled(v.OKAllowed);
  JPEGPrevButton->setEnabled(v.TestAllowed);
  OptPalIncludeSysColCB->setVisible(v.SysColorsOffered);
}

void TQLOptionsForm::FrameChooseColorBtnClick() {
  QColorDialog FrameColorDialog(QColor(ToQRgb(FFrameColor)), this);
  FrameColorDialog.setObjectName(QStringLiteral("FrameColorDialog"));
  if (FrameColorDialog.exec() == QDialog::Accepted) SetFrameColor(FromQRgb(FrameColorDialog.selectedColor().rgb()));
}

// ---- JPEG test ------------------------------------------------------------------

void TQLOptionsForm::JPEGPrevButtonClick() {
  try {
    RunJPEGTest();
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

void TQLOptionsForm::RunJPEGTest() {
  const TPixelGraphic* result = FResultView ? FResultView->PixelGraphic() : nullptr;
  if (!result || result->GetWidth() <= 0 || result->GetHeight() <= 0) return;
  auto preview = std::make_unique<TQLJPEGPreviewForm>(this);
  const auto action = [this](bool reading) {
    JPEGPrevActionLabel->setText(Q(JPEGTestActionText(reading, ::Language)));
    JPEGPrevActionLabel->repaint();
  };
  action(false);
  preview->JPEGPrevPGImage->AssignPixelGraphic(result);

  int64_t writeTime = 0, readTime = 0;
  std::uintmax_t fileSize = 0;
  {
    const TJPEGSettingsGuard restore;
    Store(FJPEGWrite, ::JPEGCompMethod);
    if (const auto q = ParseIntegerText(JPEGWQualityEdit->text().toStdString())) ::JPEGCompQuality = *q;
    ::JPEGCompProgressive = JPEGWProgressiveCB->isChecked();
    ::JPEGOptimizeCoding = JPEGWOptimizeCB->isChecked();
    Store(FJPEGRead, ::JPEGDecompMethod);

    const TTemporaryFile temporary("QLT", ::Language == LanguageGerman);
    const int64_t t0 = TickCount();
    {
      TFileStream stream(temporary.Name(), fmCreate);
      TPixelGraphic* copy = preview->JPEGPrevPGImage->PixelGraphic();
      copy->SetSaveColorResWarningAction(pgwaIgnore);
      copy->SaveToStreamExt(stream, "jpg");
    }
    writeTime = TickCount() - t0;
    fileSize = std::filesystem::file_size(temporary.Name());
    action(true);
    const int64_t t1 = TickCount();
    preview->JPEGPrevPGImage->SetFileName(temporary.Name());
    readTime = TickCount() - t1;
  }
  JPEGPrevActionLabel->clear();

  const TJPEGTestTexts texts = JPEGTestTexts(writeTime, readTime, int64_t(fileSize), ::Language);
  preview->setWindowTitle(Q(texts.Caption));
  preview->WTimeLabel->setText(Q(texts.WTime));
  preview->RTimeLabel->setText(Q(texts.RTime));
  preview->FSizeLabel->setText(Q(texts.FSize));
  preview->exec();
}

void TQLOptionsForm::ShowError(const std::string& Message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillet"), PGBoxText(Message), QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}
