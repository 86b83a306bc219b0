#pragma once
// Failures of the operating system in the library's words: what was tried
// on which file, and the system's reason, both in the library's language.

#include <cstdint>
#include <string>

enum TFileOperation : uint8_t { foOpening, foWriting, foStreamWrite };

// The reason behind an errno value, e.g. "No such file or directory".
std::string SystemErrorText(int ErrorNumber);

// "Opening "x.png" failed: Permission denied"; FileName is left out for
// foStreamWrite. An ErrorNumber of 0 gives no reason.
std::string FileFailureText(TFileOperation Operation, const std::string& FileName, int ErrorNumber);
