#pragma once
// The three kinds of picture the palette benchmarks measure: a colour
// plasma, a grainy landscape and shaded spheres, each drawn at twice the
// size and shrunk to true colour as the pipeline would.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pixelgraphic.h"

namespace palettepictures {

// A square field of (2^k + 1)^2 values by midpoint displacement, about
// 0..1; roughness scales the displacement of each halving.
inline std::vector<float> Fractal(int k, float roughness, std::mt19937& rng) {
  const int n = (1 << k) + 1;
  std::vector<float> f(size_t(n) * size_t(n));
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  const auto at = [&](int x, int y) -> float& { return f[size_t(y) * size_t(n) + size_t(x)]; };
  for (int y : {0, n - 1})
    for (int x : {0, n - 1}) at(x, y) = 0.5f + 0.5f * u(rng);
  float amplitude = 0.5f;
  for (int step = n - 1; step > 1; step /= 2, amplitude *= roughness) {
    const int half = step / 2;
    for (int y = half; y < n; y += step)
      for (int x = half; x < n; x += step)
        at(x, y) = (at(x - half, y - half) + at(x + half, y - half) + at(x - half, y + half) +
                    at(x + half, y + half)) / 4 + amplitude * u(rng);
    for (int y = 0; y < n; y += half)
      for (int x = (y / half) % 2 == 0 ? half : 0; x < n; x += step) {
        float sum = 0;
        int count = 0;
        for (auto [dx, dy] : {std::pair{-half, 0}, {half, 0}, {0, -half}, {0, half}})
          if (x + dx >= 0 && x + dx < n && y + dy >= 0 && y + dy < n) {
            sum += at(x + dx, y + dy);
            ++count;
          }
        at(x, y) = sum / float(count) + amplitude * u(rng);
      }
  }
  return f;
}

inline uint8_t Channel(float v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

inline void Put(TPixelGraphic& g, int32_t x, int32_t y, float r, float gr, float b) {
  uint8_t* p = g.ScanLine(y) + 3 * x;
  p[0] = Channel(b);
  p[1] = Channel(gr);
  p[2] = Channel(r);
}

// Three independent fractal channels: clouds of every hue.
inline void DrawPlasma(TPixelGraphic& g, std::mt19937& rng) {
  const int32_t w = g.GetWidth(), h = g.GetHeight();
  std::vector<float> channels[3];
  for (auto& c : channels) c = Fractal(11, 0.55f, rng);
  const int n = (1 << 11) + 1;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const size_t i = size_t(y) * size_t(n) + size_t(x);
      Put(g, x, y, 255 * channels[0][i], 255 * channels[1][i], 255 * channels[2][i]);
    }
}

// Sky with clouds, a mountain ridge with snow, a meadow, and film grain.
inline void DrawLandscape(TPixelGraphic& g, std::mt19937& rng) {
  const int32_t w = g.GetWidth(), h = g.GetHeight();
  const int n = (1 << 11) + 1;
  const std::vector<float> clouds = Fractal(11, 0.6f, rng);
  const std::vector<float> rock = Fractal(11, 0.7f, rng);
  const std::vector<float> ridgeField = Fractal(11, 0.55f, rng);
  std::normal_distribution<float> grain(0.0f, 9.0f);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const size_t i = size_t(y) * size_t(n) + size_t(x);
      const float t = float(y) / float(h);
      const float ridge = 0.25f + 0.3f * ridgeField[size_t(x)];
      const float meadowTop = 0.62f + 0.05f * ridgeField[size_t(n) + size_t(x)];
      float r, gr, b;
      if (t < ridge) {
        const float s = t / 0.55f;
        const float cloud = std::clamp((clouds[i] - 0.55f) * 3.0f, 0.0f, 1.0f);
        r = 70 + 120 * s + cloud * (235 - 70 - 120 * s);
        gr = 115 + 100 * s + cloud * (238 - 115 - 100 * s);
        b = 195 + 45 * s + cloud * (245 - 195 - 45 * s);
      } else if (t < meadowTop) {
        const float height = (meadowTop - t) / (meadowTop - 0.25f);
        const float shade = 0.6f + 0.5f * rock[i];
        const bool snow = height + 0.25f * (rock[i] - 0.5f) > 0.75f;
        r = snow ? 225 * shade + 20 : (95 + 40 * height) * shade;
        gr = snow ? 230 * shade + 20 : (90 + 35 * height) * shade;
        b = snow ? 240 * shade + 15 : (100 + 50 * height) * shade;
      } else {
        const float depth = (t - meadowTop) / (1 - meadowTop);
        const float patch = rock[size_t(n) * size_t(n) - 1 - i];
        r = (90 + 80 * patch) * (1 - 0.5f * depth);
        gr = (140 + 60 * patch) * (1 - 0.4f * depth);
        b = (40 + 30 * patch) * (1 - 0.5f * depth);
      }
      Put(g, x, y, r + grain(rng), gr + grain(rng), b + grain(rng));
    }
}

// Lit spheres of many colours in front of a dim gradient.
inline void DrawSpheres(TPixelGraphic& g, std::mt19937& rng) {
  const int32_t w = g.GetWidth(), h = g.GetHeight();
  struct TSphere {
    float X, Y, R, Red, Green, Blue;
  };
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<TSphere> spheres;
  for (int i = 0; i < 16; ++i)
    spheres.push_back({u(rng) * float(w), u(rng) * float(h), (0.06f + 0.16f * u(rng)) * float(h), 40 + 215 * u(rng),
                       40 + 215 * u(rng), 40 + 215 * u(rng)});
  // Smaller spheres in front.
  std::sort(spheres.begin(), spheres.end(), [](const TSphere& a, const TSphere& b) { return a.R > b.R; });
  const float lx = -0.45f, ly = -0.55f, lz = 0.70f;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const float t = float(y) / float(h);
      float r = 25 + 60 * t, gr = 28 + 55 * t, b = 40 + 70 * t;
      for (const TSphere& s : spheres) {
        const float dx = (float(x) - s.X) / s.R, dy = (float(y) - s.Y) / s.R;
        const float d2 = dx * dx + dy * dy;
        if (d2 >= 1) continue;
        const float dz = std::sqrt(1 - d2);
        const float diffuse = std::max(0.0f, dx * lx + dy * ly + dz * lz);
        // Reflection of the light about the normal, seen from the front.
        const float rz = 2 * diffuse * dz - lz;
        const float specular = std::pow(std::max(0.0f, rz), 40.0f);
        const float light = 0.12f + 0.88f * diffuse;
        r = s.Red * light + 230 * specular;
        gr = s.Green * light + 230 * specular;
        b = s.Blue * light + 230 * specular;
      }
      Put(g, x, y, r, gr, b);
    }
}

enum TPictureKind { pkPlasma, pkLandscape, pkSpheres };
inline const char* const PictureNames[] = {"plasma", "landscape", "spheres"};

// The picture of a kind at Width x Height, drawn at twice the size and
// shrunk precisely to true colour.
inline std::unique_ptr<TPixelGraphic> Picture(TPictureKind kind, int32_t width = 800, int32_t height = 600) {
  TPixelGraphic large;
  large.SetSize(2 * width, 2 * height, 3);
  std::mt19937 rng(uint32_t(kind) + 21);
  switch (kind) {
    case pkPlasma: DrawPlasma(large, rng); break;
    case pkLandscape: DrawLandscape(large, rng); break;
    case pkSpheres: DrawSpheres(large, rng); break;
  }
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(width, height, 3);
  g->SetStretchMode(smPrecise);
  g->StretchDraw(0, 0, width, height, 0, 0, 2 * width, 2 * height, large);
  return g;
}

// Peak signal-to-noise ratio of a picture against a true-colour original
// of the same size, in dB over all three channels.
inline double PSNR(const TPixelGraphic& original, const TPixelGraphic& reduced) {
  double sum = 0;
  for (int32_t y = 0; y < original.GetHeight(); ++y)
    for (int32_t x = 0; x < original.GetWidth(); ++x) {
      const TRGB a = original.GetPixelColor(x, y), b = reduced.GetPixelColor(x, y);
      for (int shift : {0, 8, 16}) {
        const double d = double((a >> shift) & 255) - double((b >> shift) & 255);
        sum += d * d;
      }
    }
  const double mse = sum / (3.0 * double(original.GetWidth()) * double(original.GetHeight()));
  return 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace palettepictures
