#include "pglibrary.h"

#include <mutex>

#include "codeclayout.h"
#include "langstr.h"

namespace {
std::once_flag started;
}

void PGLibraryStart() {
  std::call_once(started, [] {
    CheckLangStrEntries();
    CheckCodecLayouts();
  });
}
