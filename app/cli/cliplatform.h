#pragma once
// The library's warning boxes on the command line: a line beside the
// progress bar, answered as if the user had agreed.

#include "platform.h"
#include "progressdisplay.h"

class TCliPlatform : public THeadlessPGPlatform {
public:
  explicit TCliPlatform(TProgressDisplay& Display) : FDisplay(Display) {}
  TPGBoxAnswer WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) override;

private:
  TProgressDisplay& FDisplay;
};

// Installs a platform for as long as it lives.
class TPlatformScope {
public:
  explicit TPlatformScope(TPGPlatform& Platform) : FPrevious(SetPGPlatform(&Platform)) {}
  ~TPlatformScope() { SetPGPlatform(FPrevious); }
  TPlatformScope(const TPlatformScope&) = delete;
  TPlatformScope& operator=(const TPlatformScope&) = delete;

private:
  TPGPlatform* FPrevious;
};
