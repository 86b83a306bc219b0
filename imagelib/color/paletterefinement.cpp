#include "paletterefinement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "nearestcandidates.h"

namespace {

// A pass or a round that lowers the error by less than this share counts
// as none.
constexpr double Tolerance = 1e-2;
// Rounds of split and merge that may fail before the refinement ends.
constexpr int MaxFailedRounds = 3;
// Share of the movable entries one split-and-merge step may merge away.
constexpr double SplitMergeShare = 0.1;
// Search cells 16 levels wide hold enough histogram colours each to pay for
// their candidate lists, which are made anew on every pass.
constexpr int SearchCellBits = 4;

struct TCentre {
  float R, G, B;
};

TCentre CentreOf(TRGB c) { return {float(GetRValue(c)), float(GetGValue(c)), float(GetBValue(c))}; }

float Distance2(const TWeightedColor& p, const TCentre& c) {
  const float dr = p.Red - c.R, dg = p.Green - c.G, db = p.Blue - c.B;
  return dr * dr + dg * dg + db * db;
}

float Distance2(const TCentre& a, const TCentre& b) {
  const float dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
  return dr * dr + dg * dg + db * db;
}

TRGB Rounded(double r, double g, double b) {
  const auto channel = [](double v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
  return RGB(channel(r), channel(g), channel(b));
}

// Weight, sums and sums of products (rr, gg, bb, rg, rb, gb) of a cluster.
struct TCluster {
  double Weight = 0;
  std::array<double, 3> Sum{};
  std::array<double, 6> Square{};

  std::array<double, 3> Mean() const { return {Sum[0] / Weight, Sum[1] / Weight, Sum[2] / Weight}; }
};

// Largest variance of a cluster and its direction.
struct TSpread {
  double Variance = 0;
  std::array<double, 3> Axis{};
};

// Power iteration on the covariance, started from the widest channel.
TSpread Spread(const TCluster& c) {
  const std::array<double, 3> m = c.Mean();
  const int pair[3][3] = {{0, 3, 4}, {3, 1, 5}, {4, 5, 2}};
  double cov[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) cov[i][j] = c.Square[size_t(pair[i][j])] / c.Weight - m[size_t(i)] * m[size_t(j)];
  int widest = 0;
  for (int i = 1; i < 3; ++i)
    if (cov[i][i] > cov[widest][widest]) widest = i;
  TSpread s;
  if (cov[widest][widest] <= 0) return s;
  std::array<double, 3> v{};
  v[size_t(widest)] = 1;
  for (int iteration = 0; iteration < 16; ++iteration) {
    std::array<double, 3> next{};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) next[size_t(i)] += cov[i][j] * v[size_t(j)];
    const double length = std::sqrt(next[0] * next[0] + next[1] * next[1] + next[2] * next[2]);
    if (!(length > 0)) return s;
    for (int i = 0; i < 3; ++i) v[size_t(i)] = next[size_t(i)] / length;
    s.Variance = length;
  }
  s.Axis = v;
  return s;
}

class TRefinement {
public:
  TRefinement(const std::vector<TWeightedColor>& histogram, std::vector<TRGB> palette, size_t movable)
      : FHistogram(histogram), FPalette(std::move(palette)), FMovable(movable), FIndex(histogram.size()),
        FClusters(FPalette.size()) {}

  const std::vector<TRGB>& Palette() const { return FPalette; }

  // Gives every colour its nearest entry and returns the error.
  double Assign();
  // The Lloyd step: every used movable entry to the mean of its colours.
  void MoveToMeans();
  // Splits the widest clusters with the unused entries and, when Merge is
  // set, with entries whose clusters cost less to merge than the split gains.
  // Each entry takes part in one move at most, so that the estimates hold.
  void SplitAndMerge(bool Merge);

private:
  const std::vector<TWeightedColor>& FHistogram;
  std::vector<TRGB> FPalette;
  size_t FMovable;
  std::vector<uint32_t> FIndex;
  bool FAssigned = false;
  std::vector<TCluster> FClusters;
};

double TRefinement::Assign() {
  const size_t k = FPalette.size();
  std::vector<TCentre> centres(k);
  for (size_t j = 0; j < k; ++j) centres[j] = CentreOf(FPalette[j]);
  // Half the distance from each entry to its nearest neighbour, squared: a
  // colour within it of its entry has no nearer one, so most colours keep
  // their entry without a search once the entries move little.
  std::vector<float> half(k, std::numeric_limits<float>::max());
  for (size_t i = 0; i < k; ++i)
    for (size_t j = i + 1; j < k; ++j) {
      const float d = Distance2(centres[i], centres[j]) / 4;
      half[i] = std::min(half[i], d);
      half[j] = std::min(half[j], d);
    }
  TNearestCandidates grid(FPalette, SearchCellBits, false);

  std::fill(FClusters.begin(), FClusters.end(), TCluster());
  double error = 0;
  for (size_t i = 0; i < FHistogram.size(); ++i) {
    const TWeightedColor& p = FHistogram[i];
    uint32_t index = FIndex[i];
    float d2 = Distance2(p, centres[index]);
    if (!FAssigned || d2 > half[index]) {
      index = grid.Nearest(p.Red, p.Green, p.Blue);
      d2 = Distance2(p, centres[index]);
      FIndex[i] = index;
    }
    const double w = p.Weight;
    error += w * double(d2);
    TCluster& c = FClusters[index];
    const double r = p.Red, g = p.Green, b = p.Blue;
    c.Weight += w;
    c.Sum[0] += w * r;
    c.Sum[1] += w * g;
    c.Sum[2] += w * b;
    c.Square[0] += w * r * r;
    c.Square[1] += w * g * g;
    c.Square[2] += w * b * b;
    c.Square[3] += w * r * g;
    c.Square[4] += w * r * b;
    c.Square[5] += w * g * b;
  }
  FAssigned = true;
  return error;
}

void TRefinement::MoveToMeans() {
  for (size_t j = 0; j < FMovable; ++j) {
    const TCluster& c = FClusters[j];
    if (c.Weight > 0) FPalette[j] = Rounded(c.Sum[0] / c.Weight, c.Sum[1] / c.Weight, c.Sum[2] / c.Weight);
  }
}

void TRefinement::SplitAndMerge(bool Merge) {
  const size_t k = FPalette.size();
  std::vector<size_t> unused;
  for (size_t j = 0; j < FMovable; ++j)
    if (FClusters[j].Weight <= 0) unused.push_back(j);
  if (unused.empty() && !Merge) return;

  struct TSplit {
    double Gain;
    size_t Cluster;
    TSpread Spread;
  };
  // Halving a cluster across its widest axis lowers its error by about
  // 2 / pi of weight x variance along it (for normally spread colours). A
  // fixed entry gets a partner at the mean of its colours instead, which
  // lowers the error by at least weight x the squared distance between them.
  std::vector<TSplit> splits;
  for (size_t j = 0; j < k; ++j) {
    const TCluster& c = FClusters[j];
    if (c.Weight <= 0) continue;
    double gain;
    TSpread s;
    if (j < FMovable) {
      s = Spread(c);
      gain = 2 / std::numbers::pi * c.Weight * s.Variance;
    } else {
      const std::array<double, 3> m = c.Mean();
      const TCentre e = CentreOf(FPalette[j]);
      gain = c.Weight * ((m[0] - e.R) * (m[0] - e.R) + (m[1] - e.G) * (m[1] - e.G) + (m[2] - e.B) * (m[2] - e.B));
    }
    if (gain > 0) splits.push_back({gain, j, s});
  }
  std::sort(splits.begin(), splits.end(), [](const TSplit& a, const TSplit& b) { return a.Gain > b.Gain; });

  // Merging cluster a into b (Ward's criterion) adds
  // wa wb / (wa + wb) x |mean a - mean b|^2 to the error.
  struct TMerge {
    double Cost;
    size_t From, Into;
  };
  std::vector<TMerge> merges;
  if (Merge)
    for (size_t a = 0; a < FMovable; ++a) {
      const TCluster& ca = FClusters[a];
      if (ca.Weight <= 0) continue;
      const std::array<double, 3> ma = ca.Mean();
      TMerge best{std::numeric_limits<double>::max(), a, a};
      for (size_t b = 0; b < k; ++b) {
        const TCluster& cb = FClusters[b];
        if (b == a || cb.Weight <= 0) continue;
        const std::array<double, 3> mb = cb.Mean();
        const double d = (ma[0] - mb[0]) * (ma[0] - mb[0]) + (ma[1] - mb[1]) * (ma[1] - mb[1]) +
                         (ma[2] - mb[2]) * (ma[2] - mb[2]);
        const double cost = ca.Weight * cb.Weight / (ca.Weight + cb.Weight) * d;
        if (cost < best.Cost) best = {cost, a, b};
      }
      if (best.Into != a) merges.push_back(best);
    }
  std::sort(merges.begin(), merges.end(), [](const TMerge& a, const TMerge& b) { return a.Cost < b.Cost; });

  std::vector<bool> touched(k, false);
  size_t nextUnused = 0, nextMerge = 0, mergesLeft = std::max<size_t>(1, size_t(SplitMergeShare * double(FMovable)));
  for (const TSplit& split : splits) {
    if (touched[split.Cluster]) continue;
    size_t freed = k;
    if (nextUnused < unused.size()) {
      freed = unused[nextUnused++];
    } else {
      while (mergesLeft > 0 && nextMerge < merges.size()) {
        const TMerge& m = merges[nextMerge++];
        // The Lloyd passes after the split gain about as much again.
        if (m.Cost >= 2 * split.Gain) {
          mergesLeft = 0;
          break;
        }
        if (touched[m.From] || touched[m.Into] || m.From == split.Cluster || m.Into == split.Cluster) continue;
        touched[m.Into] = true;
        if (m.Into < FMovable) {
          const TCluster& a = FClusters[m.From];
          const TCluster& b = FClusters[m.Into];
          const double w = a.Weight + b.Weight;
          FPalette[m.Into] = Rounded((a.Sum[0] + b.Sum[0]) / w, (a.Sum[1] + b.Sum[1]) / w, (a.Sum[2] + b.Sum[2]) / w);
        }
        freed = m.From;
        --mergesLeft;
        break;
      }
    }
    if (freed == k) break;
    touched[freed] = touched[split.Cluster] = true;
    // The halves' means lie about 0.8 standard deviations either side.
    const std::array<double, 3> m = FClusters[split.Cluster].Mean();
    const double step = 0.8 * std::sqrt(split.Spread.Variance);
    const std::array<double, 3>& v = split.Spread.Axis;
    if (split.Cluster < FMovable) {
      FPalette[split.Cluster] = Rounded(m[0] + step * v[0], m[1] + step * v[1], m[2] + step * v[2]);
      FPalette[freed] = Rounded(m[0] - step * v[0], m[1] - step * v[1], m[2] - step * v[2]);
    } else {
      FPalette[freed] = Rounded(m[0], m[1], m[2]);
    }
  }
}

}  // namespace

std::vector<TRGB> RefinePalette(TPixelGraphic& Target, const std::vector<TWeightedColor>& Histogram,
                                std::vector<TRGB> Palette, int32_t FixedCount) {
  const size_t fixed = size_t(std::clamp<int64_t>(FixedCount, 0, int64_t(Palette.size())));
  const size_t movable = Palette.size() - fixed;
  if (Histogram.empty() || movable == 0 || Palette.size() > TNearestCandidates::MaxEntries) return Palette;

  TRefinement refinement(Histogram, std::move(Palette), movable);
  double error = refinement.Assign();
  double best = error;
  std::vector<TRGB> bestPalette = refinement.Palette();
  // Lloyd passes until they settle, then a split-and-merge pass and Lloyd
  // passes again. A round that does not beat the best palette so far fails;
  // the third failure ends the refinement.
  bool splitNext = false;
  int failedRounds = 0;
  double roundStart = std::numeric_limits<double>::infinity();
  Target.ProgressStart();
  for (int32_t pass = 0; pass < MaxRefinementPasses; ++pass) {
    if (Target.Progress(pass, MaxRefinementPasses)) break;
    if (!splitNext) refinement.MoveToMeans();
    refinement.SplitAndMerge(splitNext);
    const double previous = error;
    error = refinement.Assign();
    if (error < best) {
      best = error;
      bestPalette = refinement.Palette();
    }
    if (splitNext) {
      splitNext = false;
      continue;
    }
    if (error < previous * (1 - Tolerance)) continue;
    if (best >= roundStart * (1 - Tolerance) && ++failedRounds == MaxFailedRounds) break;
    roundStart = best;
    splitNext = true;
  }
  Target.ProgressEnd();
  return bestPalette;
}

void RefineOptimizedPalette(TPixelGraphic& Target, const TPixelGraphic& Source, int32_t FixedCount) {
  if (Source.BitCountNum() != 3 || Source.GetEmpty() || Target.PaletteCount() == 0) return;
  // Too large for the stack of a display thread.
  auto histogram = std::make_unique<TMeanColorHistogram>();
  const int32_t width = Source.GetWidth(), height = Source.GetHeight();
  bool aborted = false;
  Target.ProgressStart();
  for (int32_t y = 0; y < height && !aborted; ++y) {
    histogram->AddRow(Source.ScanLine(y), width);
    aborted = Target.Progress(y, height - 1);
  }
  Target.ProgressEnd();
  if (aborted) return;

  std::vector<TRGB> palette;
  for (int32_t i = 0; i < Target.PaletteCount(); ++i) palette.push_back(Target.PaletteEntries(i));
  palette = RefinePalette(Target, histogram->Colors(), std::move(palette), FixedCount);
  for (size_t i = 0; i < palette.size(); ++i) Target.SetPaletteEntries(int32_t(i), palette[i]);
}
