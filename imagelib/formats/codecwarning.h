#pragma once
// What the PNG and JPEG readers and writers do with a warning of their coding
// library, as the graphic's ReadWarningAction asks.

#include <string>

#include "pgtypes.h"

// FormatName is the short name ("PNG", "JPG"); it leads the box caption and
// the message. Returns the message of the exception to raise, or an empty
// string to go on. Never raises: the caller runs inside the library.
std::string CodecWarningFailure(TPGWarningAction Action, const std::string& FormatName, const std::string& Text);
