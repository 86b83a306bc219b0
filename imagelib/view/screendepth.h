#pragma once
// The screen's bits per pixel as the views see it. Tests and the
// command-line switch of the programs force 1, 4, 8 or 24, so that the
// reduced display paths run on any desktop.

// The forced depth, else the primary screen's (24 without a screen).
int ScreenBitsPerPixel();
// 0 returns to the screen's own depth.
void SetScreenBitsPerPixel(int Bits);
