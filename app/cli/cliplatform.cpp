#include "cliplatform.h"

TPGBoxAnswer TCliPlatform::WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) {
  std::string text = Text;
  // Box texts break their lines with carriage returns, which a terminal would overprint.
  for (char& c : text)
    if (c == '\r') c = '\n';
  FDisplay.Message(Caption + ": " + text);
  return Buttons == pgbYesNo ? pgaYes : pgaOK;
}
