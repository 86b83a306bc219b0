#pragma once
// Bringing a loaded picture from the gamma of its file to the screen's.

#include <array>
#include <cstdint>

class TPixelGraphic;

using TGammaTable = std::array<uint8_t, 256>;

// Base raised to Exponent: 1 for exponent 0 (whatever the base), 0 for base
// 0, 1 for base 1. A negative base raises EPixelGraphic "Invalid Argument".
long double GammaPower(long double Base, long double Exponent);

// T[i] = power(i / 255, Exponent) * 255, rounded half to even and held
// within 0..255 (a negative or undefined exponent would leave that range).
TGammaTable GammaTable(long double Exponent);

// With GammaCorrectionOnRead, a graphic whose Gamma differs from ScreenGamma
// by more than 5 % gets its palette or its 24-bit pixels corrected by
// GammaTable(Gamma / ScreenGamma) and ScreenGamma as its Gamma.
void CorrectGamma(TPixelGraphic& Graphic);
