#include "qlmainform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <exception>
#include <filesystem>

#include "langstr.h"
#include "mainformlogic.h"
#include "palettechoice.h"
#include "pgfiledialogs.h"
#include "pgimage.h"
#include "qlaboutform.h"
#include "platform.h"
#include "qloptionsform.h"
#include "qtplatform.h"
#include "settings.h"
#include "statuspanels.h"
#include "tickcount.h"
#include "viewscaling.h"

// One line per run with its stages' times; off unless
// QT_LOGGING_RULES="quillet.pipeline.debug=true".
Q_LOGGING_CATEGORY(PipelineLog, "quillet.pipeline", QtWarningMsg)

namespace {

constexpr int SizeEditMaxLength = 6;
constexpr int HintDuration = 10000;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// At most SizeEditMaxLength typed characters; the window itself may write
// longer numbers, which QLineEdit's own limit would cut off.
class TMaxLengthValidator : public QValidator {
public:
  using QValidator::QValidator;
  State validate(QString& Input, int&) const override {
    return Input.size() <= SizeEditMaxLength ? Acceptable : Invalid;
  }
};

QLineEdit* SizeEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setValidator(new TMaxLengthValidator(edit));
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
  return edit;
}

void SetCaption(QAbstractButton* b, bool de, const char* german, const char* english) {
  b->setText(QString::fromUtf8(de ? german : english));
}
void SetCaption(QLabel* l, bool de, const char* german, const char* english) {
  l->setText(QString::fromUtf8(de ? german : english));
}
void SetCaption(QAction* a, bool de, const char* german, const char* english) {
  a->setText(QString::fromUtf8(de ? german : english));
}
void SetCaption(QMenu* m, bool de, const char* german, const char* english) {
  m->setTitle(QString::fromUtf8(de ? german : english));
}

template <class T>
T* Named(T* object, const char* name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

}  // namespace

template <class F>
void TQLMainForm::Protected(F&& Action) {
  try {
    Action();
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

TQLMainForm::TQLMainForm(const std::string& CommandLineFile) {
  FDetachCount = 1;  // attached at the end of FormCreate
  BuildControls();
  QLAboutForm = new TQLAboutForm(this);
  const auto german = [this] { return German(); };
  SourceScaling = new TViewScaling(*SourcePGImage, ::SourceViewFit, ::SourceViewZoom, german);
  ResultScaling = new TViewScaling(*ResultPGImage, ::ResultViewFit, ::ResultViewZoom, german);
  PlaceOnScreen();
  FormCreate(CommandLineFile);
}

void TQLMainForm::PlaceOnScreen() {
  const TWindowRect stored{::WindowLeft, ::WindowTop, ::WindowWidth, ::WindowHeight};
  const QScreen* screen = stored.Width > 0 ? QGuiApplication::screenAt(QPoint(stored.Left, stored.Top)) : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect a = screen->availableGeometry();
  // The layout may need more than the form's own minimum; Qt would grow the window past the screen's edge.
  const QSize least = minimumSizeHint().expandedTo(QSize(600, 475));
  const TWindowRect r =
      MainWindowPlacement(stored, {a.x(), a.y(), a.width(), a.height()}, least.width(), least.height());
  setGeometry(r.Left, r.Top, r.Width, r.Height);
  if (::WindowMaximized) setWindowState(windowState() | Qt::WindowMaximized);
}

TQLMainForm::~TQLMainForm() {
  if (FWaitCursor) QApplication::restoreOverrideCursor();
  DetachChangeHandlers();
}

// ---- Building ------------------------------------------------------------

void TQLMainForm::BuildControls() {
  setWindowTitle(QStringLiteral("Quillet"));
  resize(600, 475);
  PageControl = Named(new QTabWidget(this), "PageControl");
  setCentralWidget(PageControl);
  BuildSourcePage();
  BuildResultPage();
  BuildMenu();
  BuildStatusBar();
  ClipBoardTimer = Named(new QTimer(this), "ClipBoardTimer");
  ClipBoardTimer->setInterval(300);
  connect(ClipBoardTimer, &QTimer::timeout, this, [this] { ClipBoardTimerTimer(); });
  ClipBoardTimer->start();
  ThreadStartTimer = Named(new QTimer(this), "ThreadStartTimer");
  ThreadStartTimer->setSingleShot(true);
  connect(ThreadStartTimer, &QTimer::timeout, this, [this] { ThreadStartTimerTimer(); });
  connect(PageControl, &QTabWidget::currentChanged, this, [this] { PageControlChange(); });

  PGOpenDialog = std::make_unique<TPGOpenDialog>(this);
  PGOpenDialog->SetOptions(ofHideReadOnly | ofPathMustExist | ofFileMustExist | ofShareAware);
  PalettePGOpenDialog = std::make_unique<TPGOpenDialog>(this);
  PalettePGOpenDialog->SetOptions(ofHideReadOnly | ofPathMustExist | ofFileMustExist | ofShareAware);
  PGSaveDialog = std::make_unique<TPGSaveDialog>(this);
  PGSaveDialog->SetOptions(ofOverwritePrompt | ofHideReadOnly | ofExtensionDifferent | ofPathMustExist | ofShareAware);
  FPipeline.OnProgress = [this](TObject* Sender, int Step, int Max, bool& Abort) {
    PipelineProgress(Sender, Step, Max, Abort);
  };
  FPipeline.OnMemoryWarning = [this](const std::string& Text) { return YesNoBox(Text); };
}

void TQLMainForm::BuildSourcePage() {
  SourceTabSheet = Named(new QWidget, "SourceTabSheet");
  PageControl->addTab(SourceTabSheet, QString());
  SourcePGImage = Named(new TPGImage(SourceTabSheet), "SourcePGImage");
  SourceSizeLabel = Named(new QLabel(SourceTabSheet), "SourceSizeLabel");
  SourceColorLabel = Named(new QLabel(SourceTabSheet), "SourceColorLabel");
  SourceOpenBitBtn = Named(new QPushButton(SourceTabSheet), "SourceOpenBitBtn");
  SourceLoadFromClipboardBitBtn = Named(new QPushButton(SourceTabSheet), "SourceLoadFromClipboardBitBtn");
  SourceLoadFromClipboardBitBtn->setEnabled(false);
  connect(SourceOpenBitBtn, &QPushButton::clicked, this, [this] { SourceOpenBitBtnClick(); });
  connect(SourceLoadFromClipboardBitBtn, &QPushButton::clicked, this, [this] { SourceLoadFromClipboardBitBtnClick(); });

  auto* info = new QVBoxLayout;
  info->addWidget(SourceSizeLabel);
  info->addWidget(SourceColorLabel);
  auto* bottom = new QHBoxLayout;
  bottom->addLayout(info, 1);
  bottom->addWidget(SourceOpenBitBtn);
  bottom->addWidget(SourceLoadFromClipboardBitBtn);
  auto* page = new QVBoxLayout(SourceTabSheet);
  page->addWidget(SourcePGImage, 1);
  page->addLayout(bottom);
}

void TQLMainForm::BuildResultPage() {
  ResultTabSheet = Named(new QWidget, "ResultTabSheet");
  PageControl->addTab(ResultTabSheet, QString());
  QWidget* p = ResultTabSheet;
  ResultPGImage = Named(new TPGImage(p), "ResultPGImage");

  auto* depth = new QGroupBox(p);
  Result1BitRB = Named(new QRadioButton(depth), "Result1BitRB");
  ResultPalette1BitComboBox = Named(new QComboBox(depth), "ResultPalette1BitComboBox");
  Result4BitRB = Named(new QRadioButton(depth), "Result4BitRB");
  ResultPalette4BitComboBox = Named(new QComboBox(depth), "ResultPalette4BitComboBox");
  Result8BitRB = Named(new QRadioButton(depth), "Result8BitRB");
  ResultPalette8BitComboBox = Named(new QComboBox(depth), "ResultPalette8BitComboBox");
  Result24BitRB = Named(new QRadioButton(depth), "Result24BitRB");
  ResultRGBWeightingCB = Named(new QCheckBox(depth), "ResultRGBWeightingCB");
  ResultDitheringCB = Named(new QCheckBox(depth), "ResultDitheringCB");
  FBitRadioButtons = {Result1BitRB, Result4BitRB, Result8BitRB, Result24BitRB};
  FPaletteComboBoxes = {ResultPalette1BitComboBox, ResultPalette4BitComboBox, ResultPalette8BitComboBox};
  auto* bitGroup = new QButtonGroup(this);
  auto* depthGrid = new QGridLayout(depth);
  for (int i = 0; i < 4; ++i) {
    bitGroup->addButton(FBitRadioButtons[size_t(i)]);
    depthGrid->addWidget(FBitRadioButtons[size_t(i)], i, 0);
    if (i < 3) depthGrid->addWidget(FPaletteComboBoxes[size_t(i)], i, 1);
  }
  Result24BitRB->setChecked(true);
  for (QWidget* w : {static_cast<QWidget*>(ResultRGBWeightingCB), static_cast<QWidget*>(ResultDitheringCB)}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
    w->hide();
  }
  depthGrid->addWidget(ResultRGBWeightingCB, 4, 0);
  depthGrid->addWidget(ResultDitheringCB, 4, 1);

  auto* size = new QGroupBox(p);
  ResultWidthLabel = Named(new QLabel(size), "ResultWidthLabel");
  ResultWidthPercentEdit = Named(SizeEdit(size), "ResultWidthPercentEdit");
  ResultWidthPercentLabel = Named(new QLabel(QStringLiteral("%"), size), "ResultWidthPercentLabel");
  ResultWidthPixelsEdit = Named(SizeEdit(size), "ResultWidthPixelsEdit");
  ResultWidthPixelsLabel = Named(new QLabel(size), "ResultWidthPixelsLabel");
  ResultHeightLabel = Named(new QLabel(size), "ResultHeightLabel");
  ResultHeightPercentEdit = Named(SizeEdit(size), "ResultHeightPercentEdit");
  ResultHeightPercentLabel = Named(new QLabel(QStringLiteral("%"), size), "ResultHeightPercentLabel");
  ResultHeightPixelsEdit = Named(SizeEdit(size), "ResultHeightPixelsEdit");
  ResultHeightPixelsLabel = Named(new QLabel(size), "ResultHeightPixelsLabel");
  ResultKeepAspectRatioCB = Named(new QCheckBox(size), "ResultKeepAspectRatioCB");
  ResultWidthLabel->setBuddy(ResultWidthPercentEdit);
  ResultHeightLabel->setBuddy(ResultHeightPercentEdit);
  ResultWidthPercentEdit->setText(QStringLiteral("50"));
  ResultWidthPixelsEdit->setText(QStringLiteral("0"));
  ResultHeightPercentEdit->setText(QStringLiteral("100"));
  ResultHeightPixelsEdit->setText(QStringLiteral("0"));
  ResultKeepAspectRatioCB->setChecked(true);
  ResultWidthPercentEdit->setToolTipDuration(HintDuration);
  auto* sizeGrid = new QGridLayout(size);
  sizeGrid->addWidget(ResultWidthLabel, 0, 0);
  sizeGrid->addWidget(ResultWidthPercentEdit, 0, 1);
  sizeGrid->addWidget(ResultWidthPercentLabel, 0, 2);
  sizeGrid->addWidget(ResultWidthPixelsEdit, 0, 3);
  sizeGrid->addWidget(ResultWidthPixelsLabel, 0, 4);
  sizeGrid->addWidget(ResultHeightLabel, 1, 0);
  sizeGrid->addWidget(ResultHeightPercentEdit, 1, 1);
  sizeGrid->addWidget(ResultHeightPercentLabel, 1, 2);
  sizeGrid->addWidget(ResultHeightPixelsEdit, 1, 3);
  sizeGrid->addWidget(ResultHeightPixelsLabel, 1, 4);
  sizeGrid->addWidget(ResultKeepAspectRatioCB, 2, 0, 1, 5);
  sizeGrid->setColumnStretch(4, 1);

  auto* other = new QGroupBox(p);
  ResultPrecisionLabel = Named(new QLabel(other), "ResultPrecisionLabel");
  ResultStretchModePreciseRB = Named(new QRadioButton(other), "ResultStretchModePreciseRB");
  ResultStretchModeFastRB = Named(new QRadioButton(other), "ResultStretchModeFastRB");
  SharpenLabel = Named(new QLabel(other), "SharpenLabel");
  SharpenTrackBar = Named(new QSlider(Qt::Horizontal, other), "SharpenTrackBar");
  SharpenPercentLabel = Named(new QLabel(QStringLiteral("0%"), other), "SharpenPercentLabel");
  BorderLabel = Named(new QLabel(other), "BorderLabel");
  NoBorderRB = Named(new QRadioButton(other), "NoBorderRB");
  RectBorderRB = Named(new QRadioButton(other), "RectBorderRB");
  OvalBorderRB = Named(new QRadioButton(other), "OvalBorderRB");
  InterferenceLabel = Named(new QLabel(other), "InterferenceLabel");
  InterferenceCB = Named(new QCheckBox(other), "InterferenceCB");
  auto* precisionGroup = new QButtonGroup(this);
  precisionGroup->addButton(ResultStretchModePreciseRB);
  precisionGroup->addButton(ResultStretchModeFastRB);
  ResultStretchModeFastRB->setChecked(true);
  auto* borderGroup = new QButtonGroup(this);
  for (QRadioButton* b : {NoBorderRB, RectBorderRB, OvalBorderRB}) borderGroup->addButton(b);
  NoBorderRB->setChecked(true);
  SharpenTrackBar->setRange(0, 100);
  SharpenTrackBar->setTickInterval(10);
  SharpenTrackBar->setTickPosition(QSlider::TicksBelow);
  SharpenPercentLabel->setMinimumWidth(SharpenPercentLabel->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
  SharpenLabel->setBuddy(SharpenTrackBar);
  for (QWidget* w : {static_cast<QWidget*>(InterferenceLabel), static_cast<QWidget*>(InterferenceCB)}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }
  const auto row = [](std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout;
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch(1);
    return layout;
  };
  auto* otherGrid = new QGridLayout(other);
  otherGrid->addWidget(ResultPrecisionLabel, 0, 0);
  otherGrid->addLayout(row({ResultStretchModePreciseRB, ResultStretchModeFastRB}), 0, 1);
  otherGrid->addWidget(SharpenLabel, 1, 0);
  auto* sharpenRow = new QHBoxLayout;
  sharpenRow->addWidget(SharpenTrackBar, 1);
  sharpenRow->addWidget(SharpenPercentLabel);
  otherGrid->addLayout(sharpenRow, 1, 1);
  otherGrid->addWidget(BorderLabel, 2, 0);
  otherGrid->addLayout(row({NoBorderRB, RectBorderRB, OvalBorderRB}), 2, 1);
  otherGrid->addWidget(InterferenceLabel, 3, 0);
  otherGrid->addLayout(row({InterferenceCB}), 3, 1);
  otherGrid->setColumnStretch(1, 1);

  ResultSaveToFileAsBitBtn = Named(new QPushButton(p), "ResultSaveToFileAsBitBtn");
  ResultSaveToClipboardBitBtn = Named(new QPushButton(p), "ResultSaveToClipboardBitBtn");
  connect(ResultSaveToFileAsBitBtn, &QPushButton::clicked, this, [this] { ResultSaveToFileAsBitBtnClick(); });
  connect(ResultSaveToClipboardBitBtn, &QPushButton::clicked, this, [this] { ResultSaveToClipboardBitBtnClick(); });

  auto* settings = new QVBoxLayout;
  settings->addWidget(depth);
  settings->addWidget(size);
  settings->addWidget(other);
  settings->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ResultSaveToFileAsBitBtn);
  buttons->addWidget(ResultSaveToClipboardBitBtn);
  auto* view = new QVBoxLayout;
  view->addWidget(ResultPGImage, 1);
  view->addLayout(buttons);
  auto* page = new QHBoxLayout(p);
  page->addLayout(settings);
  page->addLayout(view, 1);

  for (QWidget* w : SourceDependentControls()) w->setEnabled(false);
  ResultSaveToFileAsBitBtn->setEnabled(false);
  ResultSaveToClipboardBitBtn->setEnabled(false);
}

void TQLMainForm::BuildMenu() {
  QMenuBar* bar = menuBar();
  FileMainMenuItem = Named(bar->addMenu(QString()), "FileMainMenuItem");
  FileOpenMainMenuItem = Named(FileMainMenuItem->addAction(QString()), "FileOpenMainMenuItem");
  FileSaveAsMainMenuItem = Named(FileMainMenuItem->addAction(QString()), "FileSaveAsMainMenuItem");
  FileMainMenuItem->addSeparator();
  PaletteOpenMainMenuItem = Named(FileMainMenuItem->addAction(QString()), "PaletteOpenMainMenuItem");
  FileMainMenuItem->addSeparator();
  FilePrintSourceMainMenuItem = Named(FileMainMenuItem->addAction(QString()), "FilePrintSourceMainMenuItem");
  FilePrintResultMainMenuItem = Named(FileMainMenuItem->addAction(QString()), "FilePrintResultMainMenuItem");
  FileMainMenuItem->addSeparator();
  EndMainMenuItem = Named(FileMainMenuItem->addAction(QString()), "EndMainMenuItem");
  EditMainMenuItem = Named(bar->addMenu(QString()), "EditMainMenuItem");
  CopyMenuItem = Named(EditMainMenuItem->addAction(QString()), "CopyMenuItem");
  PasteMenuItem = Named(EditMainMenuItem->addAction(QString()), "PasteMenuItem");
  OptionsMainMenuItem = Named(bar->addAction(QString()), "OptionsMainMenuItem");
  HelpMainMenuItem = Named(bar->addMenu(QString()), "HelpMainMenuItem");
  HilfeInhaltMenuItem = Named(HelpMainMenuItem->addAction(QString()), "HilfeInhaltMenuItem");
  HelpMainMenuItem->addSeparator();
  Info2 = Named(HelpMainMenuItem->addAction(QStringLiteral("In&fo...")), "Info2");

  // The keys of other programs besides the Alt accelerators. Ctrl+C and
  // Ctrl+V come second: an edit field that has the focus takes them itself.
  FileOpenMainMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  FileSaveAsMainMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  FilePrintResultMainMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  EndMainMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  CopyMenuItem->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_C)});
  PasteMenuItem->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), QKeySequence(Qt::CTRL | Qt::Key_V)});
  HilfeInhaltMenuItem->setShortcut(QKeySequence(Qt::Key_F1));

  // The scaling of the view shown, as its right-click menu offers it.
  const auto scaling = [this] { return PageControl->currentWidget() == ResultTabSheet ? ResultScaling : SourceScaling; };
  const auto scalingKey = [&](const char* name, QList<QKeySequence> keys, void (TViewScaling::*choose)()) {
    QAction* a = Named(Acc1->addAction(QString::fromLatin1(name)), name);
    a->setShortcuts(keys);
    addAction(a);
    connect(a, &QAction::triggered, this, [scaling, choose] { (scaling()->*choose)(); });
  };

  // Without an action of their own, these keys would reach the focused
  // control (Alt+Backspace undoes an edit); the invisible menu takes them.
  Acc1 = Named(bar->addMenu(QStringLiteral("Acc1")), "Acc1");
  Acc1->menuAction()->setVisible(false);
  ShiftAltBackAcc = Named(Acc1->addAction(QStringLiteral("ShiftAltBackAcc")), "ShiftAltBackAcc");
  ShiftAltBackAcc->setShortcut(QKeySequence(Qt::SHIFT | Qt::ALT | Qt::Key_Backspace));
  AltBackAcc = Named(Acc1->addAction(QStringLiteral("AltBackAcc")), "AltBackAcc");
  AltBackAcc->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Backspace));
  addAction(ShiftAltBackAcc);
  addAction(AltBackAcc);
  scalingKey("ZoomInAcc", {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
             &TViewScaling::ZoomIn);
  scalingKey("ZoomOutAcc", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &TViewScaling::ZoomOut);
  scalingKey("ActualSizeAcc", {QKeySequence(Qt::CTRL | Qt::Key_0)}, &TViewScaling::ActualSize);
  for (const char* name : {"BackAcc", "PageUpAcc", "PageDownAcc", "DownAcc", "UpAcc", "RightAcc", "LeftAcc", "HomeAcc",
                           "EndAcc", "ShiftTabAcc", "TabAcc", "ShiftUpAcc", "ShiftDownAcc", "ShiftCtrlDownAcc",
                           "ShiftCtrlUpAcc", "CtrlUpAcc", "CtrlDownAcc", "ShiftCtrlLAcc", "CtrlLAcc"})
    Named(Acc1->addAction(QString::fromLatin1(name)), name);

  connect(FileOpenMainMenuItem, &QAction::triggered, this, [this] { SourceOpenBitBtnClick(); });
  connect(FileSaveAsMainMenuItem, &QAction::triggered, this, [this] { ResultSaveToFileAsBitBtnClick(); });
  connect(PaletteOpenMainMenuItem, &QAction::triggered, this, [this] { PaletteOpenMainMenuItemClick(); });
  connect(FilePrintSourceMainMenuItem, &QAction::triggered, this, [this] { FilePrintSourceMainMenuItemClick(); });
  connect(FilePrintResultMainMenuItem, &QAction::triggered, this, [this] { FilePrintResultMainMenuItemClick(); });
  connect(EndMainMenuItem, &QAction::triggered, this, [this] { EndMainMenuItemClick(); });
  connect(CopyMenuItem, &QAction::triggered, this, [this] { ResultSaveToClipboardBitBtnClick(); });
  connect(PasteMenuItem, &QAction::triggered, this, [this] { SourceLoadFromClipboardBitBtnClick(); });
  connect(OptionsMainMenuItem, &QAction::triggered, this, [this] { OptionsMainMenuItemClick(); });
  connect(HilfeInhaltMenuItem, &QAction::triggered, this, [this] { HilfeInhaltMenuItemClick(); });
  connect(Info2, &QAction::triggered, this, [this] { Info2Click(); });
  for (QAction* a :
       {FileSaveAsMainMenuItem, FilePrintSourceMainMenuItem, FilePrintResultMainMenuItem, CopyMenuItem, PasteMenuItem})
    a->setEnabled(false);
}

void TQLMainForm::BuildStatusBar() {
  StatusBar = Named(new TStatusPanels({{90, true, false, QString()},
                                       {40, true, false, QString()},
                                       {100, false, true, QString()},
                                       {50, false, false, QString()}}),
                    "StatusBar");
  StatusBar->OnDrawPanel = [this](QPainter& Painter, int Index, const QRect& Rect) {
    StatusBarDrawPanel(Painter, Index, Rect);
  };
  // What the state and percent panels show, in either language.
  QStringList states;
  for (int32_t language : {LanguageEnglish, LanguageGerman})
    for (TRunState state : {rsReady, rsBusy, rsAborted, rsWaiting}) states << Q(RunStateText(state, language));
  StatusBar->FitPanel(0, states);
  StatusBar->FitPanel(1, {QStringLiteral("100%")});
  statusBar()->addWidget(StatusBar, 1);
}

// ---- Start, show, close ----------------------------------------------------

void TQLMainForm::FormCreate(const std::string& CommandLineFile) {
  FSourceFileName.clear();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  FWaitCursor = true;
  SourcePGImage->SetPixelGraphic(std::make_unique<TPixelGraphic>());
  ResultPGImage->SetPixelGraphic(std::make_unique<TPixelGraphic>());
  for (TPGImage* view : {SourcePGImage, ResultPGImage}) view->SetCenter(true);
  SourceScaling->Apply();
  ResultScaling->Apply();
  FLastBarUpdate = 0;
  if (::StretchMode == smPrecise) ResultStretchModePreciseRB->setChecked(true);
  if (::StretchMode == smFast) ResultStretchModeFastRB->setChecked(true);
  SharpenTrackBar->setValue(::Sharpen);
  SharpenPercentLabel->setText(QString::number(SharpenTrackBar->value()) + QStringLiteral("%"));
  if (!::DoBorder)
    NoBorderRB->setChecked(true);
  else
    (::BorderEllipse ? OvalBorderRB : RectBorderRB)->setChecked(true);
  InterferenceCB->setChecked(::MinimizeInterference);
  ResultKeepAspectRatioCB->setChecked(::KeepAspectRatio);
  ResultRGBWeightingCB->setChecked(::RGBWeighting);
  ResultDitheringCB->setChecked(::Dithering);
  ResultWidthPercentEdit->setText(Q(GeneralFormat(::WidthPercent)));
  ResultHeightPercentEdit->setText(Q(GeneralFormat(::HeightPercent)));
  AttachChangeHandlers();
  PageControl->setCurrentWidget(SourceTabSheet);
  SetLanguageCaptions();  // the form's own captions until start-up applies them
  if (CommandLineFile.empty())
    UpdateControls(nullptr, true, true);
  else
    OpenSourceFile(ExpandLongFileName(CommandLineFile));
}

void TQLMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (!Event->spontaneous()) FormShow();
}

void TQLMainForm::FormShow() {
  setAcceptDrops(true);
  if (FWaitCursor) QApplication::restoreOverrideCursor();
  FWaitCursor = false;
}

void TQLMainForm::closeEvent(QCloseEvent* Event) {
  // Comes back as it was at the next start.
  const QRect normal = normalGeometry();
  ::WindowLeft = normal.x();
  ::WindowTop = normal.y();
  ::WindowWidth = normal.width();
  ::WindowHeight = normal.height();
  ::WindowMaximized = isMaximized();
  FormCloseQuery();
  Event->accept();
}

void TQLMainForm::FormCloseQuery() { RequestAbort(); }

// ---- Captions ---------------------------------------------------------------

bool TQLMainForm::German() const { return ::Language == LanguageGerman; }

void TQLMainForm::SetLanguageCaptions() {
  const bool de = German();
  SetPGLanguage(de ? 1 : 0);
  PageControl->setTabText(PageControl->indexOf(SourceTabSheet),
                          de ? QStringLiteral("Quelle") : QStringLiteral("Source"));
  PageControl->setTabText(PageControl->indexOf(ResultTabSheet),
                          de ? QStringLiteral("Ergebnis") : QStringLiteral("Result"));
  SetCaption(SourceOpenBitBtn, de, "Datei &öffnen...", "O&pen file...");
  SetCaption(SourceLoadFromClipboardBitBtn, de, "Aus &Zwischenablage laden", "Load from &clipboard");
  SetCaption(Result1BitRB, de, "&1 Bit (2 Farben)", "&1 bit (2 colors)");
  SetCaption(Result4BitRB, de, "&4 Bit (16 Farben)", "&4 bit (16 colors)");
  SetCaption(Result8BitRB, de, "&8 Bit (256 Farben)", "&8 bit (256 colors)");
  SetCaption(Result24BitRB, de, "&24 Bit (True Color)", "&24 bit (True Color)");
  SetCaption(ResultRGBWeightingCB, de, "RGB-&Wichtung", "RG&B-weighting");
  SetCaption(ResultDitheringCB, de, "Di&thering", "&Dithering");
  SetCaption(ResultWidthLabel, de, "Br&eite:", "&Width:");
  SetCaption(ResultWidthPixelsLabel, de, "Pixel", "pixels");
  SetCaption(ResultHeightLabel, de, "H&öhe:", "Hei&ght:");
  SetCaption(ResultHeightPixelsLabel, de, "Pixel", "pixel");
  SetCaption(ResultKeepAspectRatioCB, de, "&Seitenverhältnis beibehalten", "&Keep aspect-ratio");
  SetCaption(ResultPrecisionLabel, de, "Genauigkeit", "Precision");
  SetCaption(ResultStretchModePreciseRB, de, "&genau", "&precise");
  SetCaption(ResultStretchModeFastRB, de, "schne&ll", "fas&t");
  SetCaption(SharpenLabel, de, "Schär&fen", "&Sharpen");
  SetCaption(BorderLabel, de, "Rahmen", "Frame");
  SetCaption(NoBorderRB, de, "&keinen", "&none");
  SetCaption(RectBorderRB, de, "rechte&ckig", "re&ctangle");
  SetCaption(OvalBorderRB, de, "o&val", "o&val");
  SetCaption(InterferenceLabel, de, "Interferenz", "Interference");
  SetCaption(InterferenceCB, de, "&minimieren", "&minimize");
  SetCaption(ResultSaveToFileAsBitBtn, de, "Speichern &unter...", "Save &as...");
  SetCaption(ResultSaveToClipboardBitBtn, de, "In &Zwischenablage kopieren", "Copy to &clipboard");
  ResultWidthPercentEdit->setToolTip(
      de ? QStringLiteral("prozentuale Breite der Ergebnisbitmap auf die Quellbitmap bezogen")
         : QStringLiteral("width of the result bitmap in percent of the source bitmap"));
  SetCaption(FileMainMenuItem, de, "&Datei", "&File");
  SetCaption(FileOpenMainMenuItem, de, "&Quelle öffnen...", "&Open source...");
  SetCaption(FileSaveAsMainMenuItem, de, "&Ergebnis speichern unter...", "&Save result as...");
  SetCaption(PaletteOpenMainMenuItem, de, "&Palette laden...", "&Load palette...");
  SetCaption(FilePrintSourceMainMenuItem, de, "Quelle &drucken...", "&Print source...");
  SetCaption(FilePrintResultMainMenuItem, de, "Ergebnis d&rucken...", "P&rint result...");
  SetCaption(EndMainMenuItem, de, "&Beenden", "E&xit");
  SetCaption(EditMainMenuItem, de, "&Bearbeiten", "&Edit");
  SetCaption(CopyMenuItem, de, "Ergebnis &Kopieren", "&Copy result");
  SetCaption(PasteMenuItem, de, "Als Quelle &Einfügen", "&Paste as source");
  SetCaption(OptionsMainMenuItem, de, "&Optionen...", "&Options...");
  SetCaption(HelpMainMenuItem, de, "&Hilfe", "&Help");
  SetCaption(HilfeInhaltMenuItem, de, "&Inhalt", "&Contents");
}

// ---- Change handling --------------------------------------------------------

void TQLMainForm::AttachChangeHandlers() {
  if (FDetachCount == 0 || --FDetachCount > 0) return;
  const auto on = [this](auto* control, auto signal, bool refill) {
    FChangeConnections.push_back(
        connect(control, signal, this, [this, control, refill] { ChangeHandler(control, refill); }));
  };
  for (QRadioButton* b : FBitRadioButtons)
    FChangeConnections.push_back(connect(b, &QRadioButton::toggled, this, [this, b](bool checked) {
      if (checked) ChangeHandler(b, true);
    }));
  for (QComboBox* c : FPaletteComboBoxes) on(c, &QComboBox::currentIndexChanged, true);
  for (QRadioButton* b : {ResultStretchModePreciseRB, ResultStretchModeFastRB, NoBorderRB, RectBorderRB, OvalBorderRB})
    FChangeConnections.push_back(connect(b, &QRadioButton::toggled, this, [this, b](bool checked) {
      if (checked) ChangeHandler(b, false);
    }));
  for (QCheckBox* c : {InterferenceCB, ResultRGBWeightingCB, ResultDitheringCB, ResultKeepAspectRatioCB})
    on(c, &QCheckBox::toggled, false);
  on(SharpenTrackBar, &QSlider::valueChanged, false);
  for (QLineEdit* e : {ResultWidthPercentEdit, ResultWidthPixelsEdit, ResultHeightPercentEdit, ResultHeightPixelsEdit})
    on(e, &QLineEdit::textChanged, false);
}

void TQLMainForm::DetachChangeHandlers() {
  if (FDetachCount++ > 0) return;
  for (const QMetaObject::Connection& c : FChangeConnections) disconnect(c);
  FChangeConnections.clear();
}

void TQLMainForm::ChangeHandler(QObject* Sender, bool Refill) {
  // The focused control is the one the user changed; a change without focus
  // (a wheel over an unfocused control) names its sender.
  QWidget* changed = QApplication::focusWidget();
  const std::array<QWidget*, 8> named{ResultWidthPercentEdit,    ResultWidthPixelsEdit,    ResultHeightPercentEdit,
                                      ResultHeightPixelsEdit,    ResultKeepAspectRatioCB,  ResultPalette1BitComboBox,
                                      ResultPalette4BitComboBox, ResultPalette8BitComboBox};
  const bool known = std::find(named.begin(), named.end(), changed) != named.end();
  if (!known) changed = qobject_cast<QWidget*>(Sender);
  Protected([&] { UpdateControls(changed, false, Refill); });
}

void TQLMainForm::UpdateControls(QWidget* Changed, bool SourceChanged, bool Refill) {
  DetachChangeHandlers();
  struct TAttachGuard {
    TQLMainForm* Form;
    ~TAttachGuard() { Form->AttachChangeHandlers(); }
  } attach{this};
  RequestAbort();
  const bool valid = SourceValid();
  if (SourceChanged) {
    const TPixelGraphic* s = SourceGraphic();
    const TSourceInfo info = s ? SourceInfoTexts(s->GetWidth(), s->GetHeight(), s->BitCount(), s->BitCountNum(),
                                                 s->PaletteCount(), ::Language)
                               : TSourceInfo{};
    SourceSizeLabel->setText(Q(info.Size));
    SourceColorLabel->setText(Q(info.Color));
    if (TPixelGraphic* r = ResultPGImage->PixelGraphic()) {
      r->SetHeight(0);
      r->SetWidth(0);
    }
    EnableResultCommands(false);
    for (QWidget* w : SourceDependentControls()) w->setEnabled(valid);
    FilePrintSourceMainMenuItem->setEnabled(valid);
    UpdateControls(ResultWidthPercentEdit, false, Refill);
    UpdateControls(ResultHeightPercentEdit, false, Refill);
  }

  const TSizeField field = Changed == ResultWidthPercentEdit    ? sfWidthPercent
                           : Changed == ResultWidthPixelsEdit   ? sfWidthPixels
                           : Changed == ResultHeightPercentEdit ? sfHeightPercent
                           : Changed == ResultHeightPixelsEdit  ? sfHeightPixels
                           : Changed == ResultKeepAspectRatioCB ? sfKeepRatio
                                                                : sfNone;
  if (field != sfNone) {
    const std::array<QLineEdit*, 4> edits{ResultWidthPercentEdit, ResultWidthPixelsEdit, ResultHeightPercentEdit,
                                          ResultHeightPixelsEdit};
    const TSizeFields before{edits[0]->text().toStdString(), edits[1]->text().toStdString(),
                             edits[2]->text().toStdString(), edits[3]->text().toStdString()};
    const TSizeCoupling c =
        CoupleSizeFields(before, field, ResultKeepAspectRatioCB->isChecked(), SourceWidth(), SourceHeight());
    const std::array<const std::string*, 4> after{&c.Fields.WidthPercent, &c.Fields.WidthPixels,
                                                  &c.Fields.HeightPercent, &c.Fields.HeightPixels};
    // Rewriting an unchanged text would move the cursor of the field being typed in.
    for (size_t i = 0; i < 4; ++i)
      if (edits[i]->text() != Q(*after[i])) edits[i]->setText(Q(*after[i]));
    if (c.ChangedReset) static_cast<QLineEdit*>(Changed)->selectAll();
  }
  for (size_t j = 0; j < 3; ++j)
    if (Changed == FPaletteComboBoxes[j]) FBitRadioButtons[j]->setChecked(true);

  if (valid) {
    UpdateSelection();
    if (Refill) {
      FillPaletteLists();
      UpdateSelection();
    }
    ResultDitheringCB->setVisible(!Result24BitRB->isChecked());
    ResultRGBWeightingCB->setVisible(RGBWeightingApplies(::Selection));
  }
  const bool interference =
      InterferencePossible(SourceWidth(), SourceHeight(), ResultWidthPixelsEdit->text().toStdString(),
                           ResultHeightPixelsEdit->text().toStdString());
  InterferenceLabel->setVisible(interference);
  InterferenceCB->setVisible(interference);

  ::Dithering = ResultDitheringCB->isChecked();
  ::RGBWeighting = ResultRGBWeightingCB->isChecked();
  ::StretchMode = ResultStretchModeFastRB->isChecked() ? smFast : smPrecise;
  ::Sharpen = SharpenTrackBar->value();
  SharpenPercentLabel->setText(QString::number(::Sharpen) + QStringLiteral("%"));
  ::DoBorder = RectBorderRB->isChecked() || OvalBorderRB->isChecked();
  ::BorderEllipse = OvalBorderRB->isChecked();
  ::MinimizeInterference = InterferenceCB->isChecked();
  ::KeepAspectRatio = ResultKeepAspectRatioCB->isChecked();
  ScheduleRun();
}

// ---- Palette lists ---------------------------------------------------------

void TQLMainForm::FillPaletteLists() {
  // Until the lists have been filled once, nothing has been remembered from
  // them, so the initial rows must not hide "Optimized" in the 8-bit list.
  const bool remembered = FListsFilled;
  FListsFilled = true;
  QWidget* column = ResultPalette1BitComboBox->parentWidget();
  column->setUpdatesEnabled(false);
  const TPixelGraphic* source = SourceGraphic();
  const int32_t sourceCount = source ? source->PaletteCount() : 0;
  const int32_t individualCount = ::IndividualPalette ? ::IndividualPalette->PaletteCount() : 0;
  for (size_t j = 0; j < 3; ++j) {
    QComboBox* list = FPaletteComboBoxes[j];
    list->clear();
    for (const std::string& text : PaletteListTexts(
             PaletteListRows(int32_t(j), ::OptimizedPaletteSize, individualCount, sourceCount), ::Language))
      list->addItem(Q(text));
  }
  for (int32_t row : {0, 7, 14, 18}) SelectPaletteRow(row, false);
  if (remembered)
    for (uint8_t row : ::RememberedPaletteRows) SelectPaletteRow(row, false);
  for (int32_t row : SelectionRestoreRows(::Selection)) SelectPaletteRow(row, true);
  column->setUpdatesEnabled(true);
}

bool TQLMainForm::SelectPaletteRow(int32_t Row, bool CheckRadio) {
  const TPaletteChoice& choice = PaletteChoiceRow(Row);
  if (choice.BitCountNum == 3) {
    if (CheckRadio) Result24BitRB->setChecked(true);
    return true;
  }
  QComboBox* list = FPaletteComboBoxes[choice.BitCountNum];
  for (int i = 0; i < list->count(); ++i) {
    const QString text = list->itemText(i);
    if (text == QString::fromUtf8(choice.GermanText) || text == QString::fromUtf8(choice.EnglishText)) {
      list->setCurrentIndex(i);
      if (CheckRadio) FBitRadioButtons[choice.BitCountNum]->setChecked(true);
      return true;
    }
  }
  return false;
}

void TQLMainForm::UpdateSelection() {
  if (!FListsFilled) return;
  for (size_t j = 0; j < 3; ++j) {
    const int32_t row = FindPaletteChoice(uint8_t(j), FPaletteComboBoxes[j]->currentText().toStdString());
    if (row < 0) continue;
    ::RememberedPaletteRows[j] = uint8_t(row);
    if (FBitRadioButtons[j]->isChecked()) ::Selection = uint8_t(row);
  }
  if (Result24BitRB->isChecked()) ::Selection = TrueColorRow;
}

// ---- Pipeline ---------------------------------------------------------------

void TQLMainForm::RequestAbort() {
  ThreadStartTimer->stop();
  FPipeline.RequestAbort();
}

void TQLMainForm::ScheduleRun() {
  RequestAbort();
  ShowStatus(rsWaiting);
  ThreadStartTimer->start(1500);
  ResultSaveToFileAsBitBtn->setEnabled(false);
  ResultSaveToClipboardBitBtn->setEnabled(false);
}

void TQLMainForm::EnableResultCommands(bool Enabled) {
  for (QAction* a : {FileSaveAsMainMenuItem, CopyMenuItem, FilePrintResultMainMenuItem}) a->setEnabled(Enabled);
  ResultSaveToFileAsBitBtn->setEnabled(Enabled);
  ResultSaveToClipboardBitBtn->setEnabled(Enabled);
}

void TQLMainForm::ThreadStartTimerTimer() {
  ThreadStartTimer->stop();
  if (FPipeline.Busy()) {
    ThreadStartTimer->start(100);
    return;
  }
  TPixelGraphic* source = SourcePGImage->PixelGraphic();
  if (!source) return;
  const std::optional<int32_t> width = ParseIntegerText(ResultWidthPixelsEdit->text().toStdString());
  const std::optional<int32_t> height = ParseIntegerText(ResultHeightPixelsEdit->text().toStdString());
  if (!width || !height) {
    const QString bad = !width ? ResultWidthPixelsEdit->text() : ResultHeightPixelsEdit->text();
    ShowError((German() ? "'" + bad.toStdString() + "' ist kein gültiger Integerwert."
                        : "'" + bad.toStdString() + "' is not a valid integer value."));
    return;
  }
  UpdateSelection();
  TShrinkRun run{soDeclined, nullptr};
  try {
    run = FPipeline.RunInPlace(*source, *width, *height, InterferenceCB->isChecked(), CurrentShrinkSettings());
    if (run.Outcome == soFinished) qCDebug(PipelineLog).noquote() << Q(RunTimesText(FPipeline.LastRunTimes()));
  } catch (const std::exception& e) {
    ShowStatus(rsWaiting);
    ShowError(e.what());
    return;
  }
  switch (run.Outcome) {
    case soFinished: {
      ResultPGImage->SetPixelGraphic(std::move(run.Result));
      ShowStatus(rsReady);
      const TPixelGraphic* result = ResultPGImage->PixelGraphicNoWait();
      if (result && result->GetWidth() > 0 && result->GetHeight() > 0) EnableResultCommands(true);
      if (auto p = ParseRealText(ResultWidthPercentEdit->text().toStdString())) ::WidthPercent = *p;
      if (auto p = ParseRealText(ResultHeightPercentEdit->text().toStdString())) ::HeightPercent = *p;
      break;
    }
    case soAborted: ShowStatus(rsWaiting); break;
    case soBusy: ThreadStartTimer->start(100); break;
    case soDeclined: ThreadStartTimer->stop(); break;
    case soNoSource: break;
  }
}

void TQLMainForm::PipelineProgress(TObject*, int Step, int Max, bool&) {
  // Rows come by the thousand; the user sees and feels no difference between
  // every row and every few milliseconds, the run does.
  const uint32_t now = uint32_t(TickCount());
  if (now - FLastProgress < ProgressInterval && Step != Max) return;
  FLastProgress = now;
  ShowStatus(rsBusy, Step, Max);
  if (FProcessingMessages) return;
  FProcessingMessages = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } reset{FProcessingMessages};
  QCoreApplication::processEvents();
}

// ---- Status bar -------------------------------------------------------------

void TQLMainForm::ShowStatus(TRunState State, int Step, int Max) {
  StatusBar->SetPanelText(0, Q(RunStateText(State, ::Language)));
  if (State == rsBusy) {
    const int32_t percent = ProgressPercent(Step, Max);
    StatusBar->SetPanelText(1, QString::number(percent) + QStringLiteral("%"));
    const uint32_t now = uint32_t(TickCount());
    if (BarUpdateDue(now, FLastBarUpdate, StatusBar->PanelText(2).toStdString(), percent)) {
      StatusBar->SetPanelText(2, QString::number(percent));
      FLastBarUpdate = now;
    }
    StatusBar->SetPanelText(3, Q(FPipeline.StageText()));
    return;
  }
  for (int i = 1; i <= 3; ++i) StatusBar->SetPanelText(i, QString());
  UpdateQualityHint();
}

void TQLMainForm::UpdateQualityHint() {
  if (!StatusBar->PanelText(1).isEmpty()) return;
  const TPGImage* view = PageControl->currentWidget() == ResultTabSheet ? ResultPGImage : SourcePGImage;
  const TPixelGraphic* g = view->PixelGraphicNoWait();
  const bool due = g && QualityHintDue(g->GetWidth(), g->GetHeight(), g->BitCountNum(), ::ScreenBitCountNum);
  StatusBar->SetPanelText(3, due ? Q(QualityHintText(::Language)) : QString());
}

void TQLMainForm::StatusBarDrawPanel(QPainter& Painter, int Index, const QRect& Rect) {
  if (Index != 2) return;
  const QString text = StatusBar->PanelText(2);
  if (text.isEmpty()) {
    Painter.fillRect(Rect, palette().color(QPalette::Button));
    return;
  }
  const TBarRect r = ProgressBarRect(Rect.left(), Rect.top(), Rect.right() + 1, Rect.bottom() + 1, text.toInt());
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  Painter.setPen(palette().color(QPalette::WindowText));
  Painter.setBrush(palette().color(QPalette::Active, QPalette::Highlight));
  Painter.drawRect(QRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1));
}

// ---- Commands -------------------------------------------------------------

void TQLMainForm::SourceOpenBitBtnClick() {
  Protected([&] {
    PGOpenDialog->SetFileName(std::string());
    PGOpenDialog->SetInitialDir(::OpenDir);
    if (PGOpenDialog->Execute()) OpenSourceFile(PGOpenDialog->FileName());
  });
}

void TQLMainForm::OpenSourceFile(const std::string& Name) {
  RequestAbort();
  // The run reads the source itself; the new one comes once it has ended.
  if (FPipeline.Busy()) {
    QTimer::singleShot(0, this, [this, Name] { OpenSourceFile(Name); });
    return;
  }
  std::optional<std::string> failure;
  try {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(Name, ec).lexically_normal();
    ::OpenDir = DirectoryOf(Name);
    FSourceFileName = std::filesystem::path(Name).filename().string();
    setWindowTitle(QStringLiteral("Quillet"));
    SourcePGImage->SetFileName(Name);
    setWindowTitle(QStringLiteral("Quillet [") + Q(full.string()) + QStringLiteral("]"));
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = German() ? "Unbekannter Fehler." : "Unknown error.";
  }
  if (failure) SourcePGImage->SetPixelGraphic(std::make_unique<TPixelGraphic>());
  UpdateControls(nullptr, true, true);
  if (failure) ShowError(OpenFailureText(Name, *failure, ::Language));
}

void TQLMainForm::dragEnterEvent(QDragEnterEvent* Event) {
  if (!Event->mimeData()->hasUrls()) return;
  for (const QUrl& url : Event->mimeData()->urls())
    if (url.isLocalFile()) {
      Event->acceptProposedAction();
      return;
    }
}

void TQLMainForm::dropEvent(QDropEvent* Event) {
  Event->acceptProposedAction();
  for (const QUrl& url : Event->mimeData()->urls())
    if (url.isLocalFile()) {
      const std::string name = url.toLocalFile().toStdString();
      // After the drop has been answered, so the file manager does not wait
      // for the load or for an error box.
      QTimer::singleShot(0, this, [this, name] { OpenSourceFile(name); });
      return;
    }
}

void TQLMainForm::SourceLoadFromClipboardBitBtnClick() {
  if (!PGPlatform().ClipboardHasFormat(CF_DIB)) return;
  RequestAbort();
  if (FPipeline.Busy()) {
    QTimer::singleShot(0, this, [this] { SourceLoadFromClipboardBitBtnClick(); });
    return;
  }
  setWindowTitle(QStringLiteral("Quillet"));
  FSourceFileName.clear();
  std::optional<std::string> failure;
  try {
    if (TPixelGraphic* source = SourcePGImage->PixelGraphic()) source->LoadFromClipboard();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  UpdateControls(nullptr, true, true);
  if (failure) ShowError(*failure);
}

void TQLMainForm::ResultSaveToFileAsBitBtnClick() {
  Protected([&] {
    const auto trimmed = [](const std::string& s) { return QString::fromStdString(s).trimmed().toStdString(); };
    PGSaveDialog->SetFileName(std::string());
    const std::string sourceName = trimmed(FSourceFileName);
    const std::string namePart = trimmed(std::filesystem::path(sourceName).filename().string());
    if (!sourceName.empty() && !namePart.empty() && ::SaveSuggestSourceFileName) PGSaveDialog->SetFileName(namePart);
    PGSaveDialog->SetInitialDir(::SaveDir);
    if (!sourceName.empty() && !trimmed(::OpenDir).empty() && ::SaveSuggestSourceDirectory)
      PGSaveDialog->SetInitialDir(trimmed(::OpenDir));
    if (PGSaveDialog->Execute()) SaveResultToFile(PGSaveDialog->FileName());
  });
}

void TQLMainForm::SaveResultToFile(const std::string& Name) {
  Protected([&] {
    std::string extension = std::filesystem::path(Name).extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    extension = QString::fromStdString(extension).toLower().toStdString();
    ::SaveDir = DirectoryOf(Name);
    TPixelGraphic* result = ResultPGImage->PixelGraphic();
    if (!result) return;
    const std::string advice = SaveAdviceText(extension, result->BitCountNum(), result->PaletteIdent(), ::Language);
    if (!advice.empty() && !YesNoBox(advice)) return;
    if (const TPixelGraphic* source = SourceGraphic()) result->SetGamma(source->Gamma());
    result->SetSaveColorResWarningAction(pgwaIgnore);
    result->SaveToFile(Name);
  });
}

void TQLMainForm::ResultSaveToClipboardBitBtnClick() {
  Protected([&] {
    if (TPixelGraphic* result = ResultPGImage->PixelGraphic()) result->CopyToClipboard();
  });
}

void TQLMainForm::PaletteOpenMainMenuItemClick() {
  Protected([&] {
    PalettePGOpenDialog->SetTitle(German() ? "Individuelle Palette laden" : "Load individual palette");
    if (PalettePGOpenDialog->Execute()) LoadIndividualPaletteFile(PalettePGOpenDialog->FileName());
  });
}

void TQLMainForm::LoadIndividualPaletteFile(const std::string& Name) {
  Protected([&] {
    auto palette = std::make_unique<TPixelGraphic>();
    palette->LoadFromFile(Name);
    palette->SetHeight(0);
    palette->SetWidth(0);
    if (palette->PaletteCount() == 0 || palette->PaletteCount() > MaxIPaletteSize) {
      QMessageBox::information(this, QStringLiteral("Quillet"),
                               German() ? QStringLiteral("Keine Palette!") : QStringLiteral("No Palette!"));
      return;
    }
    ::IndividualPalette = std::move(palette);
    UpdateControls(nullptr, false, true);
  });
}

void TQLMainForm::FilePrintSourceMainMenuItemClick() {
  if (!SourcePGImage->PixelGraphicNoWait()) return;
  Protected([&] { SourcePGImage->PixelGraphic()->PrintGraphic(true, true, static_cast<QWidget*>(this)); });
}

void TQLMainForm::FilePrintResultMainMenuItemClick() {
  if (!ResultPGImage->PixelGraphicNoWait()) return;
  Protected([&] { ResultPGImage->PixelGraphic()->PrintGraphic(true, true, static_cast<QWidget*>(this)); });
}

void TQLMainForm::OptionsMainMenuItemClick() {
  TQLOptionsForm options(this, ResultPGImage);
  options.FillFromSettings();
  if (options.exec() != QDialog::Accepted) return;
  options.WriteToSettings();
  Protected([&] { UpdateControls(nullptr, true, true); });
  SetLanguageCaptions();
}

void TQLMainForm::Info2Click() { QLAboutForm->exec(); }

void TQLMainForm::HilfeInhaltMenuItemClick() {
  const std::string page = HelpPageFile(German() ? ::HelpFileGerman : ::HelpFileEnglish);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(page, ec)) {
    ShowError(German() ? "Die Hilfedatei \"" + page + "\" wurde nicht gefunden."
                       : "The help file \"" + page + "\" was not found.");
    return;
  }
  QUrl url = QUrl::fromLocalFile(Q(page));
  url.setFragment(QStringLiteral("context1000"));
  const std::string failed = German() ? "Die Hilfe konnte in keinem Browser geöffnet werden. Sie steht in " + page
                                      : "No browser could open the help. It is in " + page;
  // xdg-open says by its status whether a browser took the page, which
  // QDesktopServices does not pass on.
  auto* opener = new QProcess(this);
  connect(opener, &QProcess::errorOccurred, this, [this, opener, failed, url](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    opener->deleteLater();
    // Without xdg-open, whatever the desktop offers.
    if (!QDesktopServices::openUrl(url)) ShowError(failed);
  });
  connect(opener, &QProcess::finished, this, [this, opener, failed](int code, QProcess::ExitStatus status) {
    opener->deleteLater();
    if (status != QProcess::NormalExit || code != 0) ShowError(failed);
  });
  opener->start(QStringLiteral("xdg-open"), {url.toString()});
}

void TQLMainForm::EndMainMenuItemClick() { close(); }

void TQLMainForm::PageControlChange() {
  // The view now shown takes the screen's colours first.
  PageControl->currentWidget()->update();
  UpdateQualityHint();
}

void TQLMainForm::ClipBoardTimerTimer() {
  const bool bitmap = PGPlatform().ClipboardHasFormat(CF_DIB);
  SourceLoadFromClipboardBitBtn->setEnabled(bitmap);
  PasteMenuItem->setEnabled(bitmap);
}

// ---- Helpers --------------------------------------------------------------

std::vector<QWidget*> TQLMainForm::SourceDependentControls() const {
  return {Result1BitRB,
          Result4BitRB,
          Result8BitRB,
          Result24BitRB,
          ResultPalette1BitComboBox,
          ResultPalette4BitComboBox,
          ResultPalette8BitComboBox,
          ResultWidthPercentEdit,
          ResultWidthPixelsEdit,
          ResultHeightPercentEdit,
          ResultHeightPixelsEdit,
          ResultKeepAspectRatioCB,
          ResultStretchModePreciseRB,
          ResultStretchModeFastRB,
          SharpenTrackBar,
          NoBorderRB,
          RectBorderRB,
          OvalBorderRB};
}

const TPixelGraphic* TQLMainForm::SourceGraphic() const { return SourcePGImage->PixelGraphicNoWait(); }

int32_t TQLMainForm::SourceWidth() const { return SourceGraphic() ? SourceGraphic()->GetWidth() : 0; }

int32_t TQLMainForm::SourceHeight() const { return SourceGraphic() ? SourceGraphic()->GetHeight() : 0; }

bool TQLMainForm::SourceValid() const { return SourceWidth() > 0 && SourceHeight() > 0; }

void TQLMainForm::ShowError(const std::string& Message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillet"), PGBoxText(Message), QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool TQLMainForm::YesNoBox(const std::string& Text) {
  const auto box = MakePGWarningBox(Text, "Quillet", pgbYesNo, this);
  box->button(QMessageBox::Yes)->setText(German() ? QStringLiteral("&Ja") : QStringLiteral("&Yes"));
  box->button(QMessageBox::No)->setText(German() ? QStringLiteral("&Nein") : QStringLiteral("&No"));
  return box->exec() == QMessageBox::Yes;
}
