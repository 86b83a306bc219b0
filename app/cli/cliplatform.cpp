#include "cliplatform.h"

namespace {
thread_local TPictureScope* currentPicture = nullptr;
}

TPictureScope::TPictureScope(const std::string& Input) : FInput(Input), FPrevious(currentPicture) {
  currentPicture = this;
}

TPictureScope::~TPictureScope() { currentPicture = FPrevious; }

TPGBoxAnswer TCliPlatform::WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) {
  std::string text = Text;
  // Box texts break their lines with carriage returns, which a terminal would overprint.
  for (char& c : text)
    if (c == '\r') c = '\n';
  std::string line = Caption + ": " + text;
  if (currentPicture) {
    currentPicture->FWarned = true;
    line = "quillet-cli: " + currentPicture->FInput + ": " + line;
  }
  FDisplay.Message(line);
  return Buttons == pgbYesNo ? pgaYes : pgaOK;
}
