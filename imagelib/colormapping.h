#pragma once
// Nearest-colour caches and error-diffusion state of a pixel graphic.

struct TNearestCache {};
struct TDitherState {};
