#pragma once
// The library's warning boxes on the command line: a line beside the
// progress bar, answered as if the user had agreed.

#include <string>

#include "platform.h"
#include "progressdisplay.h"

class TCliPlatform : public THeadlessPGPlatform {
public:
  explicit TCliPlatform(TProgressDisplay& Display) : FDisplay(Display) {}
  TPGBoxAnswer WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) override;

private:
  TProgressDisplay& FDisplay;
};

// The picture a job works on, for as long as it lives on this thread: its
// warnings name the file, and the job learns whether there were any.
class TPictureScope {
public:
  explicit TPictureScope(const std::string& Input);
  ~TPictureScope();
  TPictureScope(const TPictureScope&) = delete;
  TPictureScope& operator=(const TPictureScope&) = delete;

  bool Warned() const { return FWarned; }

private:
  friend class TCliPlatform;
  const std::string& FInput;
  bool FWarned = false;
  TPictureScope* FPrevious;
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
