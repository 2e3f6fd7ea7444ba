// Helpers shared by the codec tests: random images, comparisons, running the
// reference decoders.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"
#include "support/imaging_support.h"

namespace imprimo::testutil {

using ::imprimo::testing::RunCommand;

using ::imprimo::testing::RandomImage;

// A smooth picture with some detail, more like a photo than noise.
inline RasterImage PhotoLikeImage(int w, int h, uint32_t seed) {
  RasterImage img;
  ImageCreate(img, w, h, ifR8G8B8);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = img.Row(y);
    for (int x = 0; x < w; ++x) {
      int n = int(rng() % 9) - 4;
      row[3 * x] = uint8_t(std::clamp((x * 255) / std::max(1, w - 1) + n, 0, 255));
      row[3 * x + 1] = uint8_t(std::clamp((y * 255) / std::max(1, h - 1) + n, 0, 255));
      row[3 * x + 2] = uint8_t(std::clamp(((x + y) * 4) % 256 / 2 + 64 + n, 0, 255));
    }
  }
  return img;
}

inline ::testing::AssertionResult SameImage(const RasterImage& a, const RasterImage& b) {
  if (a.Width != b.Width || a.Height != b.Height || a.Format != b.Format || a.Size != b.Size)
    return ::testing::AssertionFailure()
           << "shape differs: " << a.Width << "x" << a.Height << " fmt " << a.Format << " vs "
           << b.Width << "x" << b.Height << " fmt " << b.Format;
  for (int32_t i = 0; i < a.Size; ++i)
    if (a.Bits[i] != b.Bits[i])
      return ::testing::AssertionFailure()
             << "pixel byte " << i << " differs: " << int(a.Bits[i]) << " vs " << int(b.Bits[i]);
  if (bool(a.Palette) != bool(b.Palette)) return ::testing::AssertionFailure() << "palette";
  if (a.Palette)
    for (int i = 0; i < 256; ++i)
      if (!(a.Palette[i] == b.Palette[i]))
        return ::testing::AssertionFailure() << "palette entry " << i << " differs";
  return ::testing::AssertionSuccess();
}

// Pixels as 16-bit R, G, B, A for comparison with reference decoders.
inline std::vector<uint16_t> ToRgba16(const RasterImage& img) {
  std::vector<uint16_t> out;
  out.reserve(size_t(img.Width) * img.Height * 4);
  auto w16 = [](const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); };
  for (int y = 0; y < img.Height; ++y) {
    const uint8_t* p = img.Row(y);
    for (int x = 0; x < img.Width; ++x) {
      uint16_t r = 0, g = 0, b = 0, a = 65535;
      switch (img.Format) {
        case ifIndex8: {
          const TColor32Rec& c = img.Palette[p[x]];
          r = c.R * 257, g = c.G * 257, b = c.B * 257, a = c.A * 257;
          break;
        }
        case ifGray8:
          r = g = b = p[x] * 257;
          break;
        case ifA8Gray8:
          r = g = b = p[2 * x] * 257, a = p[2 * x + 1] * 257;
          break;
        case ifGray16:
          r = g = b = w16(p + 2 * x);
          break;
        case ifA16Gray16:
          r = g = b = w16(p + 4 * x), a = w16(p + 4 * x + 2);
          break;
        case ifR8G8B8:
          b = p[3 * x] * 257, g = p[3 * x + 1] * 257, r = p[3 * x + 2] * 257;
          break;
        case ifA8R8G8B8:
          b = p[4 * x] * 257, g = p[4 * x + 1] * 257, r = p[4 * x + 2] * 257,
          a = p[4 * x + 3] * 257;
          break;
        case ifR16G16B16:
          b = w16(p + 6 * x), g = w16(p + 6 * x + 2), r = w16(p + 6 * x + 4);
          break;
        case ifA16R16G16B16:
          b = w16(p + 8 * x), g = w16(p + 8 * x + 2), r = w16(p + 8 * x + 4),
          a = w16(p + 8 * x + 6);
          break;
        default:
          ADD_FAILURE() << "no RGBA view of format " << img.Format;
          return out;
      }
      out.insert(out.end(), {r, g, b, a});
    }
  }
  return out;
}

inline constexpr auto& ReadFileBytes = ::imprimo::testing::ReadBytes;
inline constexpr auto& WriteFileBytes = ::imprimo::testing::WriteBytes;

using ::imprimo::testing::HaveCommand;

inline std::string TempPath(const std::string& name) {
  return ::imprimo::testing::TempPath("codecs", name);
}

}  // namespace imprimo::testutil
