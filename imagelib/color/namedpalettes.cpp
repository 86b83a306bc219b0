#include "namedpalettes.h"

#include <algorithm>
#include <cmath>

const TRGB SystemColors16[16] = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0), RGB(0, 0, 128),   RGB(128, 0, 128),
    RGB(0, 128, 128),   RGB(192, 192, 192), RGB(128, 128, 128), RGB(255, 0, 0), RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};

namespace {

constexpr TRGB Gray(uint32_t level) { return RGB(level, level, level); }

// The colours of pSpecial252 after the system colours and the 5-level cube.
constexpr uint8_t Special252Extra[127][3] = {
    {32, 32, 32},    {96, 96, 96},    {160, 160, 160}, {224, 224, 224}, {255, 224, 255}, {224, 224, 255},
    {224, 255, 255}, {224, 255, 224}, {255, 255, 224}, {255, 224, 224}, {255, 192, 224}, {224, 192, 255},
    {192, 224, 255}, {192, 255, 224}, {224, 255, 192}, {255, 224, 192}, {224, 192, 224}, {192, 192, 224},
    {192, 224, 224}, {192, 224, 192}, {224, 224, 192}, {224, 192, 192}, {255, 160, 192}, {255, 160, 224},
    {255, 160, 255}, {224, 160, 255}, {192, 160, 255}, {160, 160, 255}, {160, 192, 255}, {160, 224, 255},
    {160, 255, 255}, {160, 255, 224}, {160, 255, 192}, {160, 255, 160}, {192, 255, 160}, {224, 255, 160},
    {255, 255, 160}, {255, 224, 160}, {255, 192, 160}, {255, 160, 160}, {224, 160, 192}, {224, 160, 224},
    {192, 160, 224}, {160, 160, 224}, {160, 192, 224}, {160, 224, 224}, {160, 224, 192}, {160, 224, 160},
    {192, 224, 160}, {224, 224, 160}, {224, 192, 160}, {224, 160, 160}, {255, 128, 160}, {255, 128, 224},
    {224, 128, 255}, {160, 128, 255}, {128, 160, 255}, {128, 224, 255}, {128, 255, 224}, {128, 255, 160},
    {160, 255, 128}, {224, 255, 128}, {255, 224, 128}, {255, 160, 128}, {192, 160, 192}, {160, 160, 192},
    {160, 192, 192}, {160, 192, 160}, {192, 192, 160}, {192, 160, 160}, {224, 128, 160}, {224, 128, 192},
    {224, 128, 224}, {192, 128, 224}, {160, 128, 224}, {128, 128, 224}, {128, 160, 224}, {128, 192, 224},
    {128, 224, 224}, {128, 224, 192}, {128, 224, 160}, {128, 224, 128}, {160, 224, 128}, {192, 224, 128},
    {224, 224, 128}, {224, 192, 128}, {224, 160, 128}, {224, 128, 128}, {255, 96, 128},  {255, 96, 160},
    {255, 96, 192},  {255, 96, 224},  {255, 96, 255},  {224, 96, 255},  {192, 96, 255},  {160, 96, 255},
    {128, 96, 255},  {96, 96, 255},   {96, 128, 255},  {96, 160, 255},  {96, 192, 255},  {96, 224, 255},
    {96, 255, 255},  {96, 255, 224},  {96, 255, 192},  {96, 255, 160},  {96, 255, 128},  {96, 255, 96},
    {128, 255, 96},  {160, 255, 96},  {192, 255, 96},  {224, 255, 96},  {255, 255, 96},  {255, 224, 96},
    {255, 192, 96},  {255, 160, 96},  {255, 128, 96},  {255, 96, 96},   {192, 128, 160}, {160, 128, 192},
    {128, 160, 192}, {128, 192, 160}, {160, 192, 128}, {192, 160, 128}, {224, 96, 128},  {224, 96, 160},
    {224, 96, 192}};

std::vector<TRGB> Cube(int levels, int divisor, int bias) {
  std::vector<TRGB> entries;
  auto level = [&](int k) { return uint32_t((255 * k + bias) / divisor); };
  for (int r = 0; r < levels; ++r)
    for (int g = 0; g < levels; ++g)
      for (int b = 0; b < levels; ++b) entries.push_back(RGB(level(r), level(g), level(b)));
  return entries;
}

std::vector<TRGB> Special252() {
  std::vector<TRGB> entries(SystemColors16, SystemColors16 + 16);
  for (TRGB c : Cube(5, 4, 3))
    if (std::find(SystemColors16, SystemColors16 + 16, c) == SystemColors16 + 16) entries.push_back(c);
  for (const auto& c : Special252Extra) entries.push_back(RGB(c[0], c[1], c[2]));
  return entries;
}

std::vector<TRGB> Grays(int count, const auto& level) {
  std::vector<TRGB> entries;
  for (int i = 0; i < count; ++i) entries.push_back(Gray(uint32_t(level(i))));
  return entries;
}

}  // namespace

std::vector<TRGB> NamedPaletteEntries(TPaletteIdent ident) {
  switch (ident) {
    case pBlackWhite: return {Gray(0), Gray(255)};
    case pSysGray4: return {Gray(0), Gray(128), Gray(192), Gray(255)};
    case pSys16: return std::vector<TRGB>(SystemColors16, SystemColors16 + 16);
    case pGray4: return Grays(4, [](int i) { return 85 * i; });
    case pGray16: return Grays(16, [](int i) { return 17 * i; });
    case pGray236:
      return Grays(236, [](int i) {
        return int(std::nearbyint((255.0L * i - 0.0851063829787234L) * 0.00425531914893617L));
      });
    case pGray256: return Grays(256, [](int i) { return i; });
    case pSpecial125: return Cube(5, 4, 3);
    case pSpecial216: return Cube(6, 5, 4);
    case pSpecial252: return Special252();
    default: return {};
  }
}
