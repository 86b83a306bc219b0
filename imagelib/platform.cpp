#include "platform.h"

#include <atomic>
#include <iostream>

#include "langstr.h"
#include "pgexceptions.h"

namespace {
THeadlessPGPlatform headless;
// Preview threads may raise boxes while the application installs its platform.
std::atomic<TPGPlatform*> installed{nullptr};
}  // namespace

TPGBoxAnswer THeadlessPGPlatform::WarningBox(const std::string& Text, const std::string& Caption,
                                             TPGBoxButtons Buttons) {
  std::string text = Text;
  // Box texts break their lines with carriage returns, which a terminal would overprint.
  for (char& c : text)
    if (c == '\r') c = '\n';
  std::cerr << Caption << ": " << text << '\n';
  return Buttons == pgbYesNo ? pgaYes : pgaOK;
}

bool THeadlessPGPlatform::ClipboardHasFormat(uint16_t) { return false; }

std::vector<uint8_t> THeadlessPGPlatform::ClipboardData(uint16_t) { return {}; }

void THeadlessPGPlatform::SetClipboardData(uint16_t, std::vector<uint8_t>) {
  throw EPixelGraphic(LangStr1(31, "OpenClipboard"));
}

std::string THeadlessPGPlatform::ApplicationTitle() { return std::string(); }

TPGPrinter* THeadlessPGPlatform::Printer() { return nullptr; }

TPGPlatform& PGPlatform() {
  TPGPlatform* platform = installed.load();
  return platform ? *platform : headless;
}

TPGPlatform* SetPGPlatform(TPGPlatform* Platform) { return installed.exchange(Platform); }

bool PGWarningBox(const std::string& Text, const std::string& Caption, bool OKCancel) {
  return PGPlatform().WarningBox(Text, Caption, OKCancel ? pgbOKCancel : pgbOK) == pgaOK;
}
