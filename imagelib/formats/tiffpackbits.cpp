#include "tiffpackbits.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "langstr.h"
#include "stream.h"
#include "tiffstructure.h"

void TPackBitsEncoder::EncodeRow(const uint8_t* Row, size_t Count, std::vector<uint8_t>& Code) {
  std::vector<uint32_t>& run = FRunLength;
  run.resize(Count);
  for (size_t i = 0; i < Count;) {
    size_t j = i + 1;
    while (j < Count && Row[j] == Row[i]) ++j;
    std::fill(run.begin() + ptrdiff_t(i), run.begin() + ptrdiff_t(j), uint32_t(j - i));
    i = j;
  }
  for (size_t p = 1; p < Count; ++p)
    if (run[p] == 2 && run[p - 1] == 1) run[p] = 1;
  for (size_t p = Count > 1 ? Count - 1 : 0; p-- > 0;)
    if (run[p] == 2 && run[p + 1] == 1) run[p] = 1;

  // Literal blocks of up to 128 bytes cost one byte more; nothing costs more.
  const size_t start = Code.size();
  Code.resize(start + Count + (Count + 127) / 128);
  uint8_t* out = Code.data() + start;
  for (size_t p = 0; p < Count;) {
    size_t n = 1;
    if (run[p] == 1) {
      while (n < 128 && p + n < Count && run[p + n] <= 1) ++n;
      *out++ = uint8_t(n - 1);
      std::memcpy(out, Row + p, n);
      out += n;
    } else {
      while (n < 128 && p + n < Count && Row[p + n] == Row[p]) ++n;
      *out++ = uint8_t(1 - n);
      *out++ = Row[p];
    }
    p += n;
  }
  Code.resize(size_t(out - Code.data()));
}

void TPackBitsDecoder::SetPosition(uint64_t Offset) {
  FWindowOffset = Offset;
  FWindowFill = 0;
  FWindowIndex = 0;
}

void TPackBitsDecoder::FillWindow() {
  FWindowOffset += FWindowFill;
  FWindowIndex = 0;
  FWindowFill = 0;
  FStream.SetPosition(FStart + int64_t(FWindowOffset));
  FWindowFill = FStream.Read(FWindow.data(), FWindow.size());
  if (FWindowFill == 0) RaiseTIFFReadError(LangStr(32));
}

uint8_t TPackBitsDecoder::NextByte() {
  if (FWindowIndex == FWindowFill) FillWindow();
  return FWindow[FWindowIndex++];
}

void TPackBitsDecoder::CopyBytes(uint8_t* Dest, size_t Count) {
  while (Count > 0) {
    if (FWindowIndex == FWindowFill) FillWindow();
    const size_t n = std::min(Count, FWindowFill - FWindowIndex);
    std::memcpy(Dest, FWindow.data() + FWindowIndex, n);
    FWindowIndex += n;
    Dest += n;
    Count -= n;
  }
}

void TPackBitsDecoder::DecodeRow(uint8_t* Row, size_t Count, int32_t Y) {
  size_t done = 0;
  while (done < Count) {
    const int n = int8_t(NextByte());
    if (n == -128) continue;
    const size_t length = n >= 0 ? size_t(n) + 1 : size_t(1 - n);
    if (length > Count - done)
      throw EPGTIFFileFormatReader("TIFF (PackBits): " + LangStr1(38, std::to_string(Y)));
    if (n >= 0)
      CopyBytes(Row + done, length);
    else
      std::memset(Row + done, NextByte(), length);
    done += length;
  }
}
