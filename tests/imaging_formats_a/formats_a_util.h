// Helpers for the DDS, PSD, PCX and XPM tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo::fmta {

// Seeded random pixels; floating-point formats get finite values in 0..1
// (half floats included), indexed formats a random palette.
inline RasterImage RandomImage(TImageFormat format, int w, int h, uint32_t seed = 7) {
  RasterImage img;
  ImageCreate(img, w, h, format);
  std::mt19937 rng(seed);
  const TImageFormatInfo* info = GetImageFormatInfo(format);
  if (info->IsFloatingPoint &&
      (format == ifR16F || format == ifA16R16G16B16F || format == ifA16B16G16R16F)) {
    for (int32_t i = 0; i + 1 < img.Size; i += 2) {
      const uint16_t v = static_cast<uint16_t>(rng() % 0x3C00);  // 0 .. just below 1.0
      std::memcpy(&img.Bits[i], &v, 2);
    }
  } else if (info->IsFloatingPoint) {
    for (int32_t i = 0; i + 3 < img.Size; i += 4) {
      const float v = static_cast<float>(rng() % 100000) / 99999.0f;
      std::memcpy(&img.Bits[i], &v, 4);
    }
  } else {
    for (int32_t i = 0; i < img.Size; ++i) img.Bits[i] = static_cast<uint8_t>(rng());
  }
  if (img.Palette)
    for (int i = 0; i < 256; ++i)
      img.Palette[i] = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                        static_cast<uint8_t>(rng()), 0xFF};
  return img;
}

inline std::vector<uint8_t> Pixels(const RasterImage& img) {
  return std::vector<uint8_t>(img.Bits.get(), img.Bits.get() + img.Size);
}

// A smooth, photo-like A8R8G8B8 image: overlapping gradients and slow waves.
inline RasterImage SmoothImage(int w, int h) {
  RasterImage img;
  ImageCreate(img, w, h, ifA8R8G8B8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = img.Row(y) + 4 * x;
      const double fx = double(x) / w, fy = double(y) / h;
      const double r = 128 + 90 * std::sin(fx * 5.0 + fy * 2.0) + 30 * fy;
      const double g = 110 + 80 * std::cos(fy * 4.0 - fx * 1.5) + 20 * fx;
      const double b = 100 + 70 * std::sin((fx + fy) * 3.0) * std::cos(fx * 2.0);
      const double a = 128 + 120 * std::sin(fx * 3.0 - fy * 2.5);
      p[0] = static_cast<uint8_t>(std::clamp(b, 0.0, 255.0));
      p[1] = static_cast<uint8_t>(std::clamp(g, 0.0, 255.0));
      p[2] = static_cast<uint8_t>(std::clamp(r, 0.0, 255.0));
      p[3] = static_cast<uint8_t>(std::clamp(a, 0.0, 255.0));
    }
  return img;
}

// Peak signal-to-noise ratio over the channels selected by mask (bit i =
// byte i of each pixel).
inline double Psnr(const RasterImage& a, const RasterImage& b, int bpp, unsigned mask) {
  double se = 0;
  size_t n = 0;
  for (int32_t i = 0; i < a.Size; ++i) {
    if (!(mask & (1u << (i % bpp)))) continue;
    const double d = double(a.Bits[i]) - double(b.Bits[i]);
    se += d * d;
    ++n;
  }
  if (se == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 / (se / n));
}

}  // namespace imprimo::fmta
