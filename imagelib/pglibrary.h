#pragma once
// Start-up checks of the image library, run once before anything else of it.

void PGLibraryStart();
