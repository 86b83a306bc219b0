#pragma once
// Start-up checks of the image library, run once before anything else of it,
// and the warning box the platform lends it.

#include <functional>
#include <string>

void PGLibraryStart();

// Shows Text in a box with the exclamation icon and an OK button, or OK and
// Cancel; true when OK was chosen.
using TPGWarningBox = std::function<bool(const std::string& Text, const std::string& Caption, bool OKCancel)>;
// Set by the application. Without one every box counts as answered with OK.
void SetPGWarningBox(TPGWarningBox Box);
bool PGWarningBox(const std::string& Text, const std::string& Caption, bool OKCancel);
