// A pixel graphic embedded in a larger stream: a 32-bit little-endian length,
// then a BMP file of that many bytes.
#include <cstdint>

#include "formatregistry.h"
#include "pixelgraphic.h"
#include "stream.h"

void TPixelGraphic::WriteData(TStream& Stream) {
  const int64_t lengthAt = Stream.Position();
  uint8_t length[4] = {};
  Stream.WriteBuffer(length, sizeof length);
  SpareBMPWriter().Write(Stream, *this);
  const int64_t end = Stream.Position();
  const uint32_t n = uint32_t(end - lengthAt - int64_t(sizeof length));
  for (int i = 0; i < 4; ++i) length[i] = uint8_t(n >> (8 * i));
  Stream.SetPosition(lengthAt);
  Stream.WriteBuffer(length, sizeof length);
  Stream.SetPosition(end);
}

void TPixelGraphic::ReadData(TStream& Stream) {
  uint8_t length[4];
  Stream.ReadBuffer(length, sizeof length);
  const uint32_t n = uint32_t(length[0]) | uint32_t(length[1]) << 8 | uint32_t(length[2]) << 16 |
                     uint32_t(length[3]) << 24;
  const int64_t start = Stream.Position();
  LoadFromStreamExt(Stream, "bmp", 0);
  Stream.SetPosition(start + int64_t(n));
}
