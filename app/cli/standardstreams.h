#pragma once
// "-" as a file name: the picture comes from standard input or goes to
// standard output, so that quillet-cli can sit in a pipe.

#include <memory>
#include <string>

#include "stream.h"

inline bool IsStandardStream(const std::string& FileName) { return FileName == "-"; }

// Everything on standard input, up to the largest picture file a reader can
// take; raises EStreamError when it cannot be read or is larger.
std::unique_ptr<TMemoryStream> ReadStandardInput();

// Raises EStreamError when standard output does not take every byte.
void WriteStandardOutput(TCustomMemoryStream& Stream);
