// Resampling engine: a source rectangle into a target rectangle, each axis
// filtered on its own. The column pass of each source row is computed once
// and shared by every destination row that needs that source row; this gives
// exactly the per-pixel sums because the column sum is divided per source row.
#include <algorithm>
#include <cstring>
#include <vector>

#include "pixelgraphic.h"
#include "resamplespan.h"

namespace {

// Truncating division by a fixed divisor; numerators below 2^31 go through a
// multiply and shift that is exact for that range.
class TDivider {
public:
  explicit TDivider(int64_t d) : FDivisor(d) {
    if (d <= 0 || d >= (int64_t(1) << 31)) return;
    int l = 0;
    while ((int64_t(1) << l) < d) ++l;
    FShift = 31 + l;
    FMultiplier = uint64_t(((unsigned __int128)1 << FShift) / uint64_t(d)) + 1;
    FFast = true;
  }
  int64_t operator()(int64_t n) const {
    if (FFast && n >= 0 && n < (int64_t(1) << 31)) return int64_t((uint64_t(n) * FMultiplier) >> FShift);
    return n / FDivisor;
  }

private:
  int64_t FDivisor;
  uint64_t FMultiplier = 0;
  int FShift = 0;
  bool FFast = false;
};

// Errors of the dithering state must not outlive the operation.
class TDitherScope {
public:
  explicit TDitherScope(TPixelGraphic& target) : FTarget(target) {
    if (target.Dither() && target.BitCountNum() < 3)
      target.DitherStart();
    else
      target.DitherEnd();
  }
  ~TDitherScope() { FTarget.DitherEnd(); }
  TDitherScope(const TDitherScope&) = delete;
  TDitherScope& operator=(const TDitherScope&) = delete;

private:
  TPixelGraphic& FTarget;
};

// Source rows as blue, green, red bytes: 24-bit rows are used in place,
// other depths are looked up through the palette for the columns in use.
class TSourceRows {
public:
  TSourceRows(const TPixelGraphic& src, std::vector<bool> used) : FSrc(src), FUsed(std::move(used)) {
    if (src.BitCountNum() != 3) FBuffer.assign(size_t(src.GetWidth()) * 3, 0);
  }
  const uint8_t* Row(int32_t y) {
    if (FSrc.BitCountNum() == 3) return FSrc.ScanLine(y);
    for (int32_t x = 0; x < FSrc.GetWidth(); ++x) {
      if (!FUsed[size_t(x)]) continue;
      const TRGB c = FSrc.GetPixelColor(x, y);
      uint8_t* p = &FBuffer[size_t(x) * 3];
      p[0] = GetBValue(c);
      p[1] = GetGValue(c);
      p[2] = GetRValue(c);
    }
    return FBuffer.data();
  }

private:
  const TPixelGraphic& FSrc;
  std::vector<bool> FUsed;
  std::vector<uint8_t> FBuffer;
};

// The column pass: one source row filtered across into the destination
// columns, each value already divided by the column divisor. The last two
// rows are kept, which covers every reuse between neighbouring destination
// rows in all methods.
class TColumnPass {
public:
  TColumnPass(const std::vector<TColumnSpan>& spans, int64_t inner, int64_t divisor, TSourceRows& rows)
      : FSpans(spans), FInner(inner), FDivide(divisor), FRows(rows) {
    for (auto& slot : FSlots) slot.Values.assign(spans.size() * 3, 0);
  }

  const uint8_t* Row(int32_t y) {
    for (auto& slot : FSlots)
      if (slot.Y == y) {
        slot.Age = ++FClock;
        return slot.Values.data();
      }
    TSlot& slot = FSlots[0].Age <= FSlots[1].Age ? FSlots[0] : FSlots[1];
    slot.Y = y;
    slot.Age = ++FClock;
    Fill(FRows.Row(y), slot.Values.data());
    return slot.Values.data();
  }

private:
  struct TSlot {
    int32_t Y = -1;
    uint64_t Age = 0;
    std::vector<uint8_t> Values;
  };

  void Fill(const uint8_t* src, uint8_t* out) const {
    for (size_t k = 0; k < FSpans.size(); ++k, out += 3) {
      const TColumnSpan& s = FSpans[k];
      if (!s.Valid) continue;
      const uint8_t* p = src + size_t(s.First) * 3;
      if (s.Kind == 0) {  // one tap always carries the whole divisor
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        continue;
      }
      int64_t b = p[0] * s.WeightFirst, g = p[1] * s.WeightFirst, r = p[2] * s.WeightFirst;
      for (int32_t c = s.First + 1; c < s.Last; ++c) {
        p += 3;
        b += p[0] * FInner;
        g += p[1] * FInner;
        r += p[2] * FInner;
      }
      const uint8_t* q = src + size_t(s.Last) * 3;
      b += q[0] * s.WeightLast;
      g += q[1] * s.WeightLast;
      r += q[2] * s.WeightLast;
      out[0] = uint8_t(FDivide(b));
      out[1] = uint8_t(FDivide(g));
      out[2] = uint8_t(FDivide(r));
    }
  }

  const std::vector<TColumnSpan>& FSpans;
  int64_t FInner;
  TDivider FDivide;
  TSourceRows& FRows;
  TSlot FSlots[2];
  uint64_t FClock = 0;
};

}  // namespace

void TPixelGraphic::StretchDraw(int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                                int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, const TPixelGraphic& Src) {
  if (SrcWidth == DstWidth && SrcHeight == DstHeight) {
    CopyRect(DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, Src);
    return;
  }
  if (FWidth < 1 || Src.FWidth < 1 || FHeight <= 0 || Src.FHeight <= 0 || !FBits || !Src.FBits) return;
  // An empty or reversed source rectangle has nothing to sample; an area
  // average over it would divide by zero.
  if (SrcWidth < 1 || SrcHeight < 1) return;

  const int32_t firstCol = std::max(DstX, 0);
  const int32_t lastCol = int32_t(std::min<int64_t>(int64_t(DstX) + DstWidth - 1, FWidth - 1));
  const int32_t firstRow = std::max(DstY, 0);
  const int32_t lastRow = int32_t(std::min<int64_t>(int64_t(DstY) + DstHeight - 1, FHeight - 1));

  TDitherScope ditherScope(*this);

  const TResampleMethod colMethod = AxisMethod(FStretchMode, SrcWidth, DstWidth);
  const TResampleMethod rowMethod = AxisMethod(FStretchMode, SrcHeight, DstHeight);
  const int64_t rowDivisor = AxisDivisor(rowMethod, SrcHeight, DstHeight);

  std::vector<TColumnSpan> columns;
  std::vector<bool> usedColumns(size_t(Src.FWidth), false);
  for (int32_t x = firstCol; x <= lastCol; ++x) {
    const TColumnSpan s = ComputeSpan(colMethod, int64_t(x) - DstX, SrcWidth, DstWidth, SrcX, Src.FWidth);
    columns.push_back(s);
    if (!s.Valid) continue;
    if (s.Kind == 1) {
      usedColumns[size_t(s.First)] = usedColumns[size_t(s.Last)] = true;
    } else {
      for (int32_t c = s.First; c <= (s.Kind == 0 ? s.First : s.Last); ++c) usedColumns[size_t(c)] = true;
    }
  }
  TSourceRows sourceRows(Src, std::move(usedColumns));
  TColumnPass columnPass(columns, DstWidth, AxisDivisor(colMethod, SrcWidth, DstWidth), sourceRows);
  const TDivider divideRow(rowDivisor);
  std::vector<int64_t> totals(columns.size() * 3);
  std::vector<uint8_t> values(columns.size() * 3);

  ProgressStart();
  for (int32_t y = firstRow; y <= lastRow; ++y) {
    if (Dithering()) DitherRowStart();
    const TColumnSpan rs = ComputeSpan(rowMethod, int64_t(y) - DstY, SrcHeight, DstHeight, SrcY, Src.FHeight);
    if (!rs.Valid) continue;

    if (rs.Kind == 0) {
      std::memcpy(values.data(), columnPass.Row(rs.First), values.size());
    } else {
      const uint8_t* h = columnPass.Row(rs.First);
      for (size_t k = 0; k < totals.size(); ++k) totals[k] = h[k] * rs.WeightFirst;
      for (int32_t r = rs.First + 1; r < rs.Last; ++r) {
        h = columnPass.Row(r);
        for (size_t k = 0; k < totals.size(); ++k) totals[k] += h[k] * int64_t(DstHeight);
      }
      h = columnPass.Row(rs.Last);
      for (size_t k = 0; k < totals.size(); ++k) values[k] = uint8_t(divideRow(totals[k] + h[k] * rs.WeightLast));
    }

    if (FBitCountNum == 3) {
      uint8_t* out = ScanLine(y) + size_t(firstCol) * 3;
      for (size_t k = 0; k < columns.size(); ++k)
        if (columns[k].Valid) std::memcpy(out + k * 3, &values[k * 3], 3);
    } else {
      const bool forward = (y & 1) == 0;
      for (size_t n = 0; n < columns.size(); ++n) {
        const size_t k = forward ? n : columns.size() - 1 - n;
        if (!columns[k].Valid) continue;
        const uint8_t* v = &values[k * 3];
        const int32_t x = firstCol + int32_t(k);
        if (Dithering())
          WriteDitheredPixel(x, y, v[2], v[1], v[0]);
        else
          SetPixelColor(x, y, RGB(v[2], v[1], v[0]));
      }
    }
    if (Progress(y - firstRow, lastRow - firstRow)) break;
  }
  ProgressEnd();
  Changed();
}

void TPixelGraphic::CopyRect(int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                             int32_t SrcY, const TPixelGraphic& Src) {
  if (FWidth <= 0 || FHeight <= 0 || Src.FWidth <= 0 || Src.FHeight <= 0) return;
  const int32_t firstRow = std::max(DstY, 0);
  const int32_t lastRow = int32_t(std::min<int64_t>(int64_t(DstY) + DstHeight - 1, FHeight - 1));
  // Destination columns inside the target whose source column is inside Src.
  const int64_t dx = int64_t(SrcX) - DstX;
  const int64_t smallest = std::max<int64_t>({DstX, 0, -dx});
  const int64_t largest = std::min<int64_t>({int64_t(DstX) + DstWidth - 1, FWidth - 1, Src.FWidth - 1 - dx});
  if (smallest <= largest && FBits && Src.FBits) {
    TDitherScope ditherScope(*this);
    ProgressStart();
    const bool raw = FBitCountNum == 3 && Src.FBitCountNum == 3;
    for (int32_t y = firstRow; y <= lastRow; ++y) {
      const int64_t m = int64_t(y) + SrcY - DstY;
      if (m < 0 || m >= Src.FHeight) continue;
      if (raw) {
        std::memmove(ScanLine(y) + smallest * 3, Src.ScanLine(int32_t(m)) + (smallest + dx) * 3,
                     size_t(largest - smallest + 1) * 3);
        continue;
      }
      if (Dithering()) DitherRowStart();
      const bool forward = (y & 1) == 0;
      for (int64_t n = 0; n <= largest - smallest; ++n) {
        const int32_t x = int32_t(forward ? smallest + n : largest - n);
        const TRGB c = Src.GetPixelColor(int32_t(x + dx), int32_t(m));
        if (FBitCountNum == 3)
          SetPixel(x, y, c);
        else if (Dithering())
          WriteDitheredPixel(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
        else
          SetPixelColor(x, y, c);
      }
      if (Progress(y - firstRow, lastRow - firstRow)) break;
    }
    ProgressEnd();
  }
  Changed();
}

void TPixelGraphic::MapFrom(const TPixelGraphic& Src) {
  StretchDraw(0, 0, FWidth, FHeight, 0, 0, Src.FWidth, Src.FHeight, Src);
}
