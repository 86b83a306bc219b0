#include "pglibrary.h"

#include <mutex>
#include <utility>

#include "codeclayout.h"
#include "langstr.h"

namespace {
std::once_flag started;
TPGWarningBox warningBox;
}

void PGLibraryStart() {
  std::call_once(started, [] {
    CheckLangStrEntries();
    CheckCodecLayouts();
  });
}

void SetPGWarningBox(TPGWarningBox Box) { warningBox = std::move(Box); }

bool PGWarningBox(const std::string& Text, const std::string& Caption, bool OKCancel) {
  return !warningBox || warningBox(Text, Caption, OKCancel);
}
