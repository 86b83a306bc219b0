#pragma once
// Construction of the named palettes.

#include <vector>

#include "pgtypes.h"

// The 16 system colours in palette order.
extern const TRGB SystemColors16[16];

// Entries of a named palette (pBlackWhite .. pSpecial252); empty for the others.
std::vector<TRGB> NamedPaletteEntries(TPaletteIdent ident);
