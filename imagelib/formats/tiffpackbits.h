#pragma once
// PackBits, the byte-run coding of TIFF strips: a control byte n >= 0 is
// followed by n + 1 literal bytes, -127..-1 by one byte repeated 1 - n
// times, and -128 is a no-op.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class TStream;

class TPackBitsEncoder {
public:
  // Appends the code of one row to Code. Runs of two next to literal bytes
  // join the literal block, where they cost no more.
  void EncodeRow(const uint8_t* Row, size_t Count, std::vector<uint8_t>& Code);

private:
  std::vector<uint8_t> FRunLength;
  std::vector<uint8_t> FSame;
};

// Decodes rows from the TIFF data of a stream, fetching the code through a
// window so that small runs do not each cost a stream read.
class TPackBitsDecoder {
public:
  // Start is the stream position where the TIFF data begins.
  TPackBitsDecoder(TStream& Stream, int64_t Start) : FStream(Stream), FStart(Start) {}
  // Continues decoding at Offset, relative to the start of the TIFF data.
  void SetPosition(uint64_t Offset);
  // Fills Count bytes of Row; a run reaching beyond them is refused with a
  // message naming the image row Y, and code ending early with one of its own.
  void DecodeRow(uint8_t* Row, size_t Count, int32_t Y);

private:
  static constexpr size_t WindowSize = 4096;

  uint8_t NextByte();
  void CopyBytes(uint8_t* Dest, size_t Count);
  void FillWindow();

  TStream& FStream;
  int64_t FStart;
  uint64_t FWindowOffset = 0;  // of FWindow[0], relative to FStart
  size_t FWindowFill = 0;
  size_t FWindowIndex = 0;
  std::array<uint8_t, WindowSize> FWindow{};
};
