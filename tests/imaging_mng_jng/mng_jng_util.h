// Helpers of the MNG and JNG tests: building datastreams chunk by chunk,
// saving and loading through the registry, and image comparisons.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/formats/mng_chunks.h"
#include "imaging_png_jpeg_gif/png_jpeg_gif_util.h"

namespace imprimo::testutil {

// A datastream: signature, then chunks appended with Add.
struct TStreamBuilder {
  std::vector<uint8_t> bytes;
  explicit TStreamBuilder(const uint8_t (&signature)[8]) : bytes(signature, signature + 8) {}
  TStreamBuilder& Add(const char (&id)[5], std::vector<uint8_t> data = {}) {
    TNgChunkWriter(bytes).Write(NgChunkId(id), data);
    return *this;
  }
  // A chunk whose four-letter name is held in a string (as a chunk list gives it).
  TStreamBuilder& Add(const std::string& id, const std::vector<uint8_t>& data) {
    char name[5] = {};
    std::memcpy(name, id.data(), std::min<size_t>(id.size(), 4));
    TNgChunkWriter(bytes).Write(NgChunkId(name), data);
    return *this;
  }
};

inline std::vector<uint8_t> BE32(uint32_t v) {
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

inline std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Chunks of a datastream (after the signature) as (name, data) pairs.
inline std::vector<std::pair<std::string, std::vector<uint8_t>>> ListChunks(
    const std::vector<uint8_t>& file) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
  TNgChunkReader r(std::span<const uint8_t>(file).subspan(8));
  while (!r.AtEnd()) {
    TNgChunk c = r.Next(0);
    out.emplace_back(NgChunkName(c.Id), std::vector<uint8_t>(c.Data.begin(), c.Data.end()));
  }
  return out;
}

inline std::vector<uint8_t> SaveAs(const std::string& ext, const RasterImage& img) {
  TMemoryStream s;
  EXPECT_TRUE(WriteImageStream(ext, s, img)) << ext;
  return s.Data();
}

// Loads bytes through the layer; the error text on failure.
inline bool LoadBytes(const std::vector<uint8_t>& bytes, RasterImage& img, std::string& error) {
  TMemoryStream s(bytes);
  try {
    return ReadImageStream(s, img);
  } catch (const EImagingError& e) {
    error = e.what();
    return false;
  }
}

// Largest per-sample difference of two images of the same shape in RGBA.
inline int MaxDifference(const RasterImage& a, const RasterImage& b) {
  std::vector<uint16_t> pa = ToRgba16(a), pb = ToRgba16(b);
  if (pa.size() != pb.size()) return 65536;
  int worst = 0;
  for (size_t i = 0; i < pa.size(); ++i)
    worst = std::max(worst, std::abs(pa[i] / 257 - pb[i] / 257));
  return worst;
}

// Peak signal-to-noise ratio over the colour samples (alpha ignored).
inline double ColourPsnr(const RasterImage& a, const RasterImage& b) {
  std::vector<uint16_t> pa = ToRgba16(a), pb = ToRgba16(b);
  if (pa.size() != pb.size() || pa.empty()) return 0;
  double se = 0;
  size_t n = 0;
  for (size_t i = 0; i < pa.size(); ++i) {
    if (i % 4 == 3) continue;
    double d = double(pa[i] / 257) - double(pb[i] / 257);
    se += d * d;
    ++n;
  }
  if (se == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (se / double(n)));
}

// Alpha samples of an image with alpha (8-bit formats).
inline std::vector<uint8_t> AlphaOf(const RasterImage& img) {
  std::vector<uint8_t> out;
  const int bpp = img.Format == ifA8Gray8 ? 2 : 4;
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) out.push_back(img.Row(y)[x * bpp + bpp - 1]);
  return out;
}

// A smooth image of the given 8-bit format with a random-ish alpha plane.
inline RasterImage SmoothImage(int w, int h, TImageFormat format, uint32_t seed) {
  RasterImage photo = PhotoLikeImage(w, h, seed);
  RasterImage img;
  ImageCreate(img, w, h, format);
  std::mt19937 rng(seed + 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = photo.Row(y) + 3 * x;
      uint8_t* d = img.Row(y);
      const uint8_t a = uint8_t(rng());
      switch (format) {
        case ifGray8:
          d[x] = p[1];
          break;
        case ifA8Gray8:
          d[2 * x] = p[1], d[2 * x + 1] = a;
          break;
        case ifR8G8B8:
          std::memcpy(d + 3 * x, p, 3);
          break;
        default:
          std::memcpy(d + 4 * x, p, 3), d[4 * x + 3] = a;
          break;
      }
    }
  return img;
}

}  // namespace imprimo::testutil
