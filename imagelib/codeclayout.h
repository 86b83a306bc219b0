#pragma once
// Verifies that the PNG and JPEG coding libraries found at run time share the
// record layouts this program was compiled against.

void CheckCodecLayouts();
