// Resampling engine: a source rectangle into a target rectangle, each axis
// filtered on its own. The column pass of each source row is computed once
// and shared by every destination row that needs that source row; this gives
// exactly the per-pixel sums because the column sum is divided per source row.
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "ditherscope.h"
#include "fixeddivider.h"
#include "pixelgraphic.h"
#include "resamplespan.h"
#include "twotappass.h"

namespace {

// Plain division for the rare sizes whose sums exceed the fixed divider's range.
struct TPlainDivider {
  int64_t Divisor;
  int64_t operator()(int64_t n) const { return n / Divisor; }
};

// Source rows as blue, green, red bytes: 24-bit rows are used in place,
// other depths are looked up through the palette for the columns in use.
class TSourceRows {
public:
  TSourceRows(const TPixelGraphic& src, std::vector<bool> used) : FSrc(src), FUsed(std::move(used)) {
    if (src.BitCountNum() != 3) FBuffer.assign(size_t(src.GetWidth()) * 3 + 8, 0);
  }
  // Bytes from the start of a row that may be read, padding included.
  size_t SafeBytes() const { return FSrc.BitCountNum() == 3 ? size_t(FSrc.Stride()) : FBuffer.size(); }
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

// A column span with weights in the accumulator type of the run.
template <typename TAcc>
struct TTapSpan {
  uint32_t First;  // byte offsets into the row
  uint32_t Last;
  TAcc WeightFirst;
  TAcc WeightLast;
  uint8_t Kind;
};

// The column pass: one source row filtered across into the destination
// columns, each value already divided by the column divisor. The last two
// rows are kept, which covers every reuse between neighbouring destination
// rows in all methods.
template <typename TAcc, typename TDiv>
class TColumnPass {
public:
  TColumnPass(const std::vector<TColumnSpan>& spans, TAcc inner, TDiv divide, TSourceRows& rows)
      : FInner(inner), FDivide(divide), FRows(rows) {
    for (size_t k = 0; k < spans.size(); ++k) {
      const TColumnSpan& s = spans[k];
      if (!s.Valid) continue;
      // A single tap carries the whole divisor; as a two-tap span its second weight is 0.
      const bool single = s.Kind == 0;
      FSpans.push_back({uint32_t(s.First) * 3, uint32_t(single ? s.First : s.Last) * 3, TAcc(s.WeightFirst),
                        TAcc(single ? 0 : s.WeightLast), s.Kind});
      FAllTwoTaps = FAllTwoTaps && s.Kind <= 1;
      FOutput.push_back(uint32_t(k) * 3);
    }
    if constexpr (std::is_same_v<TDiv, TFixedDivider>) {
      // The vector pass writes neighbouring pixels together, so every column must be valid.
      if (FAllTwoTaps && FSpans.size() == spans.size()) {
        bool fits = true;
        for (const auto& s : FSpans) {
          fits = fits && s.WeightFirst <= INT16_MAX && s.WeightLast <= INT16_MAX;
          const int16_t f = int16_t(s.WeightFirst), l = int16_t(s.WeightLast);
          FFirst.push_back(s.First);
          FWeights.push_back({{f, l, f, l, f, l, 0, 0}});
        }
        if (!fits) {
          FFirst.clear();
          FWeights.clear();
        }
      }
    }
    // The vector pass stores 16 bytes at a time.
    for (auto& slot : FSlots) slot.Values.assign(spans.size() * 3 + 16, 0);
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

  void Fill(const uint8_t* src, uint8_t* values) const {
    if (FAllTwoTaps) {
      size_t done = 0;
      if constexpr (std::is_same_v<TDiv, TFixedDivider>)
        if (!FFirst.empty())
          done = TwoTapColumnPass(src, FRows.SafeBytes(), FFirst.data(), FWeights.data(), FFirst.size(), values,
                                  FDivide);
      FillTwoTaps(src, values, done);
      return;
    }
    for (size_t k = 0; k < FSpans.size(); ++k) {
      const TTapSpan<TAcc>& s = FSpans[k];
      uint8_t* out = values + FOutput[k];
      const uint8_t* p = src + s.First;
      if (s.Kind == 0) {  // one tap always carries the whole divisor
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        continue;
      }
      const uint8_t* q = src + s.Last;
      TAcc b = p[0] * s.WeightFirst + q[0] * s.WeightLast;
      TAcc g = p[1] * s.WeightFirst + q[1] * s.WeightLast;
      TAcc r = p[2] * s.WeightFirst + q[2] * s.WeightLast;
      for (p += 3; p < q; p += 3) {
        b += p[0] * FInner;
        g += p[1] * FInner;
        r += p[2] * FInner;
      }
      out[0] = uint8_t(FDivide(b));
      out[1] = uint8_t(FDivide(g));
      out[2] = uint8_t(FDivide(r));
    }
  }

  // Halving and enlarging by interpolation use at most two neighbouring taps
  // everywhere; a loop without the per-column branches is much faster there.
  void FillTwoTaps(const uint8_t* src, uint8_t* values, size_t from) const {
    const TTapSpan<TAcc>* s = FSpans.data();
    const uint32_t* at = FOutput.data();
    for (size_t k = from, n = FSpans.size(); k < n; ++k) {
      const uint8_t* p = src + s[k].First;
      const uint8_t* q = src + s[k].Last;
      const TAcc wf = s[k].WeightFirst, wl = s[k].WeightLast;
      uint8_t* out = values + at[k];
      out[0] = uint8_t(FDivide(p[0] * wf + q[0] * wl));
      out[1] = uint8_t(FDivide(p[1] * wf + q[1] * wl));
      out[2] = uint8_t(FDivide(p[2] * wf + q[2] * wl));
    }
  }

  std::vector<TTapSpan<TAcc>> FSpans;
  bool FAllTwoTaps = true;
  // Set when every column is a two-tap span whose weights fit the vector pass.
  std::vector<uint32_t> FFirst;
  std::vector<TTwoTapWeights> FWeights;
  std::vector<uint32_t> FOutput;
  TAcc FInner;
  TDiv FDivide;
  TSourceRows& FRows;
  TSlot FSlots[2];
  uint64_t FClock = 0;
};

// Everything a run needs once the rectangles are clipped.
struct TStretchJob {
  TPixelGraphic& Target;
  const TPixelGraphic& Src;
  int32_t DstY, DstHeight, SrcY, SrcHeight;
  int32_t FirstCol, FirstRow, LastRow;
  TResampleMethod RowMethod;
  const std::vector<TColumnSpan>& Columns;
};

void WriteRow(TPixelGraphic& target, int32_t y, int32_t firstCol, const std::vector<TColumnSpan>& columns,
              bool allValid, const uint8_t* values) {
  if (target.BitCountNum() == 3) {
    uint8_t* out = target.ScanLine(y) + size_t(firstCol) * 3;
    if (allValid) {
      std::memcpy(out, values, columns.size() * 3);
      return;
    }
    for (size_t k = 0; k < columns.size(); ++k)
      if (columns[k].Valid) std::memcpy(out + k * 3, values + k * 3, 3);
    return;
  }
  const bool forward = (y & 1) == 0;
  for (size_t n = 0; n < columns.size(); ++n) {
    const size_t k = forward ? n : columns.size() - 1 - n;
    if (!columns[k].Valid) continue;
    const uint8_t* v = values + k * 3;
    const int32_t x = firstCol + int32_t(k);
    if (target.Dithering())
      target.WriteDitheredPixel(x, y, v[2], v[1], v[0]);
    else
      target.SetPixelColor(x, y, RGB(v[2], v[1], v[0]));
  }
}

template <typename TAcc, typename TDiv>
void RunRows(const TStretchJob& job, TColumnPass<TAcc, TDiv>& columnPass, const TDiv& divideRow) {
  const size_t n = job.Columns.size() * 3;
  std::vector<TAcc> totals(n);
  std::vector<uint8_t> values(n);
  const TAcc inner = TAcc(job.DstHeight);
  TPixelGraphic& target = job.Target;
  const bool allValid =
      std::all_of(job.Columns.begin(), job.Columns.end(), [](const TColumnSpan& s) { return s.Valid; });
  target.ProgressStart();
  for (int32_t y = job.FirstRow; y <= job.LastRow; ++y) {
    if (target.Dithering()) target.DitherRowStart();
    const TColumnSpan rs =
        ComputeSpan(job.RowMethod, int64_t(y) - job.DstY, job.SrcHeight, job.DstHeight, job.SrcY, job.Src.GetHeight());
    if (!rs.Valid) continue;
    const uint8_t* h0 = columnPass.Row(rs.First);
    if (rs.Kind == 0) {  // one tap always carries the whole divisor
      std::memcpy(values.data(), h0, n);
    } else {
      const TAcc wf = TAcc(rs.WeightFirst), wl = TAcc(rs.WeightLast);
      if (rs.Kind == 1) {
        const uint8_t* h1 = columnPass.Row(rs.Last);
        for (size_t k = 0; k < n; ++k) values[k] = uint8_t(divideRow(h0[k] * wf + h1[k] * wl));
      } else {
        for (size_t k = 0; k < n; ++k) totals[k] = h0[k] * wf;
        for (int32_t r = rs.First + 1; r < rs.Last; ++r) {
          const uint8_t* h = columnPass.Row(r);
          for (size_t k = 0; k < n; ++k) totals[k] += h[k] * inner;
        }
        const uint8_t* h1 = columnPass.Row(rs.Last);
        for (size_t k = 0; k < n; ++k) values[k] = uint8_t(divideRow(totals[k] + h1[k] * wl));
      }
    }
    WriteRow(target, y, job.FirstCol, job.Columns, allValid, values.data());
    if (target.Progress(y - job.FirstRow, job.LastRow - job.FirstRow)) break;
  }
  target.ProgressEnd();
}

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
  const int64_t colDivisor = AxisDivisor(colMethod, SrcWidth, DstWidth);
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
  const TStretchJob job{*this, Src, DstY, DstHeight, SrcY, SrcHeight, firstCol, firstRow, lastRow, rowMethod, columns};
  if (colDivisor <= TFixedDivider::MaxDivisor && rowDivisor <= TFixedDivider::MaxDivisor) {
    TColumnPass<uint32_t, TFixedDivider> columnPass(columns, uint32_t(DstWidth), TFixedDivider(uint32_t(colDivisor)),
                                                    sourceRows);
    RunRows(job, columnPass, TFixedDivider(uint32_t(rowDivisor)));
  } else {
    TColumnPass<int64_t, TPlainDivider> columnPass(columns, DstWidth, TPlainDivider{colDivisor}, sourceRows);
    RunRows(job, columnPass, TPlainDivider{rowDivisor});
  }
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
      const uint8_t* srcRow = Src.FBitCountNum == 3 ? Src.ScanLine(int32_t(m)) : nullptr;
      for (int64_t n = 0; n <= largest - smallest; ++n) {
        const int32_t x = int32_t(forward ? smallest + n : largest - n);
        const uint8_t* p = srcRow ? srcRow + (x + dx) * 3 : nullptr;
        const TRGB c = p ? RGB(p[2], p[1], p[0]) : Src.GetPixelColor(int32_t(x + dx), int32_t(m));
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
