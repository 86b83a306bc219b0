#pragma once
// Convolution with an integer kernel, and the smoothing and sharpening
// kernels built from a shape of given standard deviation.

#include <cstdint>
#include <vector>

#include "pgfilter.h"

// Shapes of kernel weight functions; all have the standard deviation they
// are built with. Other codes build no kernel.
enum TKernelShape : int32_t { ksGaussian, ksTriangle, ksBox };

constexpr int32_t MaxConvFilterSize = 99;

class TConvFilter : public TPGFilter {
public:
  TConvFilter();

  // Kernel size, 1..99; a new value clears every weight.
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t v);
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t v);
  int32_t Weights(int32_t column, int32_t row) const;
  void SetWeights(int32_t column, int32_t row, int32_t weight);
  // Source position of kernel cell (0, 0) relative to the target pixel.
  int32_t OffsetX() const { return FOffsetX; }
  void SetOffsetX(int32_t v) { FOffsetX = v; }
  int32_t OffsetY() const { return FOffsetY; }
  void SetOffsetY(int32_t v) { FOffsetY = v; }
  // Added to every channel, in per cent of 255.
  long double Bias() const { return FBias; }
  void SetBias(long double v) { FBias = v; }
  long double Factor() const { return FFactor; }
  void SetFactor(long double v) { FFactor = v; }

  // Normalised smoothing kernel with centre weight 16.
  void BuildSmoothing(TKernelShape Shape, bool Radial, long double Sigma);
  // The smoothing kernel turned into its difference from the centre pixel;
  // Strength in per cent, 100 sharpens most.
  void BuildSharpen(TKernelShape Shape, bool Radial, long double Sigma, long double Strength);

  void Prepare(const TPixelGraphic& Source) override;
  TRGB PixelAt(int32_t x, int32_t y) override;
  void Finish() override;
  void PixelRow(int32_t y, int32_t count, uint8_t* bgr) override;

private:
  struct TKernelRow {
    const int32_t* Weights;
    const uint8_t* Pixels;  // source row as blue, green, red bytes
  };

  void CheckIndex(int32_t column, int32_t row) const;
  void Resize(int32_t width, int32_t height);
  const uint8_t* SourceRow(int32_t sy);
  // Kernel rows whose source row exists for target row y.
  void GatherRows(int32_t y);
  TRGB ConvolvePixel(int32_t x) const;
  template <typename TAcc, typename TWeight>
  void ConvolveRun(int64_t x0, int64_t x1, int64_t weightSum, uint8_t* bgr);
  uint8_t Channel(int64_t sum, int64_t weightSum) const;
  bool PlainMean() const { return FFactor == 1 && FBias == 0; }

  int32_t FWidth = 1;
  int32_t FHeight = 1;
  std::vector<int32_t> FWeights;  // row by row
  int32_t FOffsetX = 0;
  int32_t FOffsetY = 0;
  long double FBias = 0;
  long double FFactor = 1;

  // Rows of a palette source converted to colours, one slot per kernel row.
  std::vector<uint8_t> FRowCache;
  std::vector<int32_t> FRowCacheTags;
  std::vector<TKernelRow> FRows;
};
