#include "tiffpackbits.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "langstr.h"
#include "stream.h"
#include "tiffstructure.h"

void TPackBitsEncoder::EncodeRow(const uint8_t* Row, size_t Count, std::vector<uint8_t>& Code) {
  // same[k]: byte k equals byte k - 1; zero beyond the row on either side.
  FSame.assign(Count + 3, 0);
  uint8_t* const same = FSame.data() + 1;
  for (size_t k = 1; k < Count; ++k) same[k] = Row[k] == Row[k - 1];
  // The length of the run each byte is in: 1, 2, or 3 for any longer one.
  // Worked out from its neighbours rather than by walking the runs, whose
  // lengths in photographs are too random for branches to guess.
  FRunLength.resize(Count);
  uint8_t* const run = FRunLength.data();
  for (size_t p = 0; p < Count; ++p) {
    const uint8_t prev = same[p], next = same[p + 1];
    const uint8_t longer = (prev & next) | (prev & same[p - 1]) | (next & same[p + 2]);
    run[p] = uint8_t(1 + (prev | next) + longer);
  }
  for (size_t p = 1; p < Count; ++p) run[p] = run[p] == 2 && run[p - 1] == 1 ? 1 : run[p];
  for (size_t p = Count > 1 ? Count - 1 : 0; p-- > 0;) run[p] = run[p] == 2 && run[p + 1] == 1 ? 1 : run[p];

  // No block codes a byte into more than two.
  const size_t start = Code.size();
  Code.resize(start + 2 * Count);
  uint8_t* const first = Code.data() + start;
  uint8_t* out = first;
  for (size_t p = 0; p < Count;) {
    const size_t limit = std::min<size_t>(128, Count - p);
    size_t n = 1;
    if (run[p] == 1) {
      while (n < limit && run[p + n] == 1) ++n;
      *out++ = uint8_t(n - 1);
      std::memcpy(out, Row + p, n);
      out += n;
    } else {
      while (n < limit && Row[p + n] == Row[p]) ++n;
      *out++ = uint8_t(1 - n);
      *out++ = Row[p];
    }
    p += n;
  }
  Code.resize(start + size_t(out - first));
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
