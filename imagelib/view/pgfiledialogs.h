#pragma once
// The library's open and save dialogs: Qt's own file dialog with a preview
// pane on its right that shows a reduced picture of the selected file and
// up to four lines about it, computed in a background thread.

#include <QColor>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

#include "pgtypes.h"

class QFileDialog;
class QWidget;

// Options of the dialogs, combined with |.
enum TOpenOption : uint32_t {
  ofHideReadOnly = 1u << 0,
  ofShareAware = 1u << 1,
  ofPathMustExist = 1u << 2,
  ofFileMustExist = 1u << 3,
  ofOverwritePrompt = 1u << 4,
  ofExtensionDifferent = 1u << 5,
  ofAllowMultiSelect = 1u << 6,
};
using TOpenOptions = uint32_t;

class TPGOpenDialogState;

class TPGOpenDialog : public TObject {
public:
  explicit TPGOpenDialog(QWidget* Owner = nullptr);
  ~TPGOpenDialog() override;
  TPGOpenDialog(const TPGOpenDialog&) = delete;
  TPGOpenDialog& operator=(const TPGOpenDialog&) = delete;

  // Runs the dialog modally over its owner; true when the user confirmed.
  virtual bool Execute();
  // Execute in two halves, for a caller that shows and drives the dialog
  // itself instead of running it modally: the dialog as Execute would run
  // it (it must not outlive this object), and the outcome of its answer.
  std::unique_ptr<QFileDialog> CreateFileDialog();
  bool FinishFileDialog(QFileDialog& Dialog, bool Confirmed);

  // The chosen file, and the name the dialog starts with.
  const std::string& FileName() const;
  void SetFileName(const std::string& Name);
  const std::string& InitialDir() const;
  void SetInitialDir(const std::string& Dir);
  const std::string& Title() const;
  void SetTitle(const std::string& Title);
  // "text|patterns|text|patterns", as the format registry gives it.
  const std::string& Filter() const;
  void SetFilter(const std::string& Filter);
  // 1-based, as the entries are counted.
  int FilterIndex() const;
  void SetFilterIndex(int Index);
  // Lower-case extension of the registry entry at Index; empty without one.
  std::string FilterExtension(int Index) const;

  TOpenOptions Options() const;
  void SetOptions(TOpenOptions Options);
  bool UseDefaultFilter() const;
  void SetUseDefaultFilter(bool v);
  TStretchMode StretchMode() const;
  void SetStretchMode(TStretchMode v);
  bool ShowInfo() const;
  void SetShowInfo(bool v);
  bool ProgressClockVisible() const;
  void SetProgressClockVisible(bool v);
  QColor ProgressClockBkColor() const;
  void SetProgressClockBkColor(const QColor& v);
  QColor ProgressClockLineColor() const;
  void SetProgressClockLineColor(const QColor& v);
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic() const;
  void SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic v);
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic() const;
  void SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic v);

protected:
  TPGOpenDialog(QWidget* Owner, bool SaveDialog);
  std::unique_ptr<TPGOpenDialogState> FState;
};

class TPGSaveDialog : public TPGOpenDialog {
public:
  explicit TPGSaveDialog(QWidget* Owner = nullptr);
  bool Execute() override;
};
