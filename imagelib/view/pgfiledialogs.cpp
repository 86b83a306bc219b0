#include "pgfiledialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLineEdit>
#include <QPalette>
#include <QScreen>
#include <QHeaderView>
#include <QShowEvent>
#include <QFileSystemModel>
#include <QTreeView>

#include "formatregistry.h"
#include "langstr.h"
#include "pgfiledialoglogic.h"
#include "platform.h"
#include "previewpane.h"
#include "qtfilefilter.h"

class TPGOpenDialogState {
public:
  QWidget* Owner = nullptr;
  bool SaveDialog = false;
  std::string FileName, InitialDir, Title, Filter;
  int FilterIndex = 1;
  TOpenOptions Options = ofHideReadOnly | ofShareAware;
  bool UseDefaultFilter = true;
  TPGPreviewSettings Preview;
};

namespace {
class TPGPreviewFileDialog : public QFileDialog {
public:
  using QFileDialog::QFileDialog;

protected:
  void showEvent(QShowEvent* e) override {
    QFileDialog::showEvent(e);
    if (FPlaced) return;
    FPlaced = true;
    const QScreen* s = screen();
    if (!s) return;
    // On a scaled screen the dialog's own size can exceed the room there is.
    const QRect room = s->availableGeometry();
    const QSize frame = frameGeometry().size(), margins = frame - size();
    if (frame.width() > room.width() || frame.height() > room.height())
      resize(size().boundedTo(room.size() - margins));
    move(CentredDialogPosition(room, frameGeometry().size()));
  }

private:
  bool FPlaced = false;
};

int NameFilterIndex(const QFileDialog& Dialog, const QString& Filter) {
  return int(Dialog.nameFilters().indexOf(Filter)) + 1;
}
}  // namespace

TPGOpenDialog::TPGOpenDialog(QWidget* Owner) : TPGOpenDialog(Owner, false) {}

TPGOpenDialog::TPGOpenDialog(QWidget* Owner, bool SaveDialog) : FState(std::make_unique<TPGOpenDialogState>()) {
  FState->Owner = Owner;
  FState->SaveDialog = SaveDialog;
  FState->Filter = SaveDialog ? GetSaveFilter() : GetOpenFilter();
  const QPalette palette;
  FState->Preview.ProgressClockBkColor = palette.color(QPalette::Button);
  FState->Preview.ProgressClockLineColor = palette.color(QPalette::Dark);
}

TPGOpenDialog::~TPGOpenDialog() = default;

bool TPGOpenDialog::Execute() {
  const std::unique_ptr<QFileDialog> dialog = CreateFileDialog();
  const bool confirmed = dialog->exec() == QDialog::Accepted;
  return FinishFileDialog(*dialog, confirmed);
}

std::unique_ptr<QFileDialog> TPGOpenDialog::CreateFileDialog() {
  TPGOpenDialogState& s = *FState;
  const bool save = s.SaveDialog, multi = s.Options & ofAllowMultiSelect;
  if (s.UseDefaultFilter) {
    s.Filter = save ? GetSaveFilter() : GetOpenFilter();
    if (save) {
      const std::string ext = FileNameExtension(s.FileName);
      if (const int index = ext.empty() ? 0 : SaveFilterIndex(ext)) s.FilterIndex = index;
    }
  }
  auto dialog = std::make_unique<TPGPreviewFileDialog>(s.Owner);
  QFileDialog& d = *dialog;
  d.setOption(QFileDialog::DontUseNativeDialog);
  d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  d.setFileMode(save ? QFileDialog::AnyFile : multi ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  d.setOption(QFileDialog::DontConfirmOverwrite, !(s.Options & ofOverwritePrompt));
  if (!s.Title.empty()) d.setWindowTitle(QString::fromStdString(s.Title));
  const QStringList filters = QtNameFilters(s.Filter);
  d.setNameFilters(filters);
  if (s.FilterIndex >= 1 && s.FilterIndex <= filters.size()) d.selectNameFilter(filters[s.FilterIndex - 1]);
  if (!s.InitialDir.empty()) d.setDirectory(QString::fromStdString(s.InitialDir));
  if (!s.FileName.empty()) d.selectFile(QString::fromStdString(s.FileName));
  // The dialog adds the type's extension itself, so that its overwrite
  // question asks about the file that will be written.
  if (save) d.setDefaultSuffix(QString::fromStdString(FilterExtension(s.FilterIndex)));

  auto* pane = new TPGPreviewPane(s.Preview, &d);
  if (auto* grid = qobject_cast<QGridLayout*>(d.layout()))
    grid->addWidget(pane, 1, grid->columnCount(), 1, 1, Qt::AlignTop);
  else if (d.layout())
    d.layout()->addWidget(pane);
  // Qt's own starting size leaves the list's columns clipped once the pane takes its share.
  const QFontMetrics fm(d.font());
  d.resize(d.sizeHint().expandedTo(QSize(fm.averageCharWidth() * 124, fm.height() * 28)));
  auto* details = d.findChild<QTreeView*>("treeView");
  if (auto* model = details ? qobject_cast<QFileSystemModel*>(details->model()) : nullptr)
    QObject::connect(model, &QFileSystemModel::directoryLoaded, details, [details] {
      for (int c = 1; c < details->header()->count(); ++c) details->resizeColumnToContents(c);
    });
  // The file the dialog starts on is previewed as a chosen one would be.
  const QFileInfo start(QString::fromStdString(s.InitialDir), QString::fromStdString(s.FileName));
  if (!s.FileName.empty() && start.isFile()) pane->SelectionChanged(start.absoluteFilePath().toStdString());
  QObject::connect(&d, &QFileDialog::currentChanged, pane,
                   [pane](const QString& path) { pane->SelectionChanged(path.toStdString()); });
  // A typed name selects its file in the list without making it current.
  if (auto* edit = d.findChild<QLineEdit*>("fileNameEdit"))
    QObject::connect(edit, &QLineEdit::textEdited, pane, [pane, &d](const QString& text) {
      const QFileInfo typed(d.directory(), text);
      if (typed.isFile()) pane->SelectionChanged(typed.absoluteFilePath().toStdString());
    });
  QObject::connect(&d, &QDialog::finished, pane, [pane] { pane->Stop(); });
  if (save && !multi)
    QObject::connect(&d, &QFileDialog::filterSelected, pane, [this, &d](const QString& filter) {
      const std::string ext = FilterExtension(NameFilterIndex(d, filter));
      d.setDefaultSuffix(QString::fromStdString(ext));
      auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
      if (!edit) return;
      if (const auto name = FileNameForType(edit->text().toStdString(), d.directory().absolutePath().toStdString(), ext))
        edit->setText(QString::fromStdString(*name));
    });
  return dialog;
}

bool TPGOpenDialog::FinishFileDialog(QFileDialog& Dialog, bool Confirmed) {
  TPGOpenDialogState& s = *FState;
  if (Confirmed) {
    const QStringList files = Dialog.selectedFiles();
    if (!files.isEmpty()) s.FileName = files.first().toStdString();
    if (const int index = NameFilterIndex(Dialog, Dialog.selectedNameFilter())) s.FilterIndex = index;
  }
  if (s.SaveDialog && s.UseDefaultFilter) s.FileName = WithFilterExtension(s.FileName, FilterExtension(s.FilterIndex));
  return Confirmed;
}

const std::string& TPGOpenDialog::FileName() const { return FState->FileName; }
void TPGOpenDialog::SetFileName(const std::string& Name) { FState->FileName = Name; }
const std::string& TPGOpenDialog::InitialDir() const { return FState->InitialDir; }
void TPGOpenDialog::SetInitialDir(const std::string& Dir) { FState->InitialDir = Dir; }
const std::string& TPGOpenDialog::Title() const { return FState->Title; }
void TPGOpenDialog::SetTitle(const std::string& Title) { FState->Title = Title; }
const std::string& TPGOpenDialog::Filter() const { return FState->Filter; }
void TPGOpenDialog::SetFilter(const std::string& Filter) { FState->Filter = Filter; }
int TPGOpenDialog::FilterIndex() const { return FState->FilterIndex; }
void TPGOpenDialog::SetFilterIndex(int Index) { FState->FilterIndex = Index; }

std::string TPGOpenDialog::FilterExtension(int Index) const {
  if (!FState->UseDefaultFilter) return {};
  return FState->SaveDialog ? SaveFilterExtension(Index) : OpenFilterExtension(Index);
}

TOpenOptions TPGOpenDialog::Options() const { return FState->Options; }

void TPGOpenDialog::SetOptions(TOpenOptions Options) {
  if (!(Options & ofShareAware)) {
    PGWarningBox("TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!", LangStr(28), false);
    Options |= ofShareAware;
  }
  FState->Options = Options;
}

bool TPGOpenDialog::UseDefaultFilter() const { return FState->UseDefaultFilter; }
void TPGOpenDialog::SetUseDefaultFilter(bool v) { FState->UseDefaultFilter = v; }
TStretchMode TPGOpenDialog::StretchMode() const { return FState->Preview.StretchMode; }
void TPGOpenDialog::SetStretchMode(TStretchMode v) { FState->Preview.StretchMode = v; }
bool TPGOpenDialog::ShowInfo() const { return FState->Preview.ShowInfo; }
void TPGOpenDialog::SetShowInfo(bool v) { FState->Preview.ShowInfo = v; }
bool TPGOpenDialog::ProgressClockVisible() const { return FState->Preview.ProgressClockVisible; }
void TPGOpenDialog::SetProgressClockVisible(bool v) { FState->Preview.ProgressClockVisible = v; }
QColor TPGOpenDialog::ProgressClockBkColor() const { return FState->Preview.ProgressClockBkColor; }
void TPGOpenDialog::SetProgressClockBkColor(const QColor& v) { FState->Preview.ProgressClockBkColor = v; }
QColor TPGOpenDialog::ProgressClockLineColor() const { return FState->Preview.ProgressClockLineColor; }
void TPGOpenDialog::SetProgressClockLineColor(const QColor& v) { FState->Preview.ProgressClockLineColor = v; }
TPalette8BitSys24BitGraphic TPGOpenDialog::Palette8BitSys24BitGraphic() const { return FState->Preview.Palette24; }
void TPGOpenDialog::SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic v) { FState->Preview.Palette24 = v; }
TPalette8BitSys8BitGraphic TPGOpenDialog::Palette8BitSys8BitGraphic() const { return FState->Preview.Palette8; }
void TPGOpenDialog::SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic v) { FState->Preview.Palette8 = v; }

TPGSaveDialog::TPGSaveDialog(QWidget* Owner) : TPGOpenDialog(Owner, true) {}

// The save behaviour lives in the shared halves, which ask the state.
bool TPGSaveDialog::Execute() { return TPGOpenDialog::Execute(); }
