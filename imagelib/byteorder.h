#pragma once
// Little-endian fields of bitmap headers and file formats.

#include <cstdint>

inline uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

inline uint32_t GetLE32(const uint8_t* p) { return GetLE16(p) | (uint32_t(GetLE16(p + 2)) << 16); }

inline void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

inline void PutLE32(uint8_t* p, uint32_t v) {
  PutLE16(p, v);
  PutLE16(p + 2, v >> 16);
}
