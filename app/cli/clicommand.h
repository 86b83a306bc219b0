#pragma once
// quillet-cli from its arguments to its exit status.

#include <ostream>
#include <string>
#include <vector>

constexpr int ExitSuccess = 0;
constexpr int ExitPictureFailed = 1;
constexpr int ExitUsage = 2;

// Args without the program name. ErrIsTerminal lets a progress bar appear
// on Err.
int RunQuilletCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err, bool ErrIsTerminal);
