#pragma once
// quillet-cli --info: what the format registry tells of a file without
// decoding it, one "Key: value" line per field.

#include <ostream>
#include <string>

// Writes the lines of FileName to Out, or returns false and the library's
// message in Error.
bool WriteFileInfo(const std::string& FileName, std::ostream& Out, std::string& Error);
