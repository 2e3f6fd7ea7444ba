// Helpers shared by the image file layer test suites: test images, pixel
// comparisons, files and temporary paths, memory streams, the conformance
// folder; the reference tools come from support/reference_tools.h.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"
#include "support/corpus_support.h"
#include "support/reference_tools.h"

namespace imprimo::testing {

// ---- Test images ----

// An image of the given format filled with seeded random bytes; indexed
// images also get a random opaque palette. With finiteFloats, floating-point
// formats get finite values in 0..1 instead (half floats included).
inline RasterImage RandomImage(TImageFormat format, int w, int h, uint32_t seed,
                               bool finiteFloats = false) {
  RasterImage img;
  ImageCreate(img, w, h, format);
  std::mt19937 rng(seed);
  const TImageFormatInfo* info = finiteFloats ? GetImageFormatInfo(format) : nullptr;
  if (info && info->IsFloatingPoint &&
      (format == ifR16F || format == ifA16R16G16B16F || format == ifA16B16G16R16F)) {
    for (int32_t i = 0; i + 1 < img.Size; i += 2) {
      const uint16_t v = static_cast<uint16_t>(rng() % 0x3C00);  // 0 .. just below 1.0
      std::memcpy(&img.Bits[i], &v, 2);
    }
  } else if (info && info->IsFloatingPoint) {
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

// A smooth, photo-like picture: overlapping gradients and slow waves.
// format is ifA8R8G8B8 (with a varying alpha) or ifR8G8B8 (the same colours).
inline RasterImage SmoothImage(int w, int h, TImageFormat format = ifA8R8G8B8) {
  const int bpp = format == ifR8G8B8 ? 3 : 4;
  RasterImage img;
  ImageCreate(img, w, h, bpp == 3 ? ifR8G8B8 : ifA8R8G8B8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = img.Row(y) + bpp * x;
      const double fx = double(x) / w, fy = double(y) / h;
      const double r = 128 + 90 * std::sin(fx * 5.0 + fy * 2.0) + 30 * fy;
      const double g = 110 + 80 * std::cos(fy * 4.0 - fx * 1.5) + 20 * fx;
      const double b = 100 + 70 * std::sin((fx + fy) * 3.0) * std::cos(fx * 2.0);
      p[0] = static_cast<uint8_t>(std::clamp(b, 0.0, 255.0));
      p[1] = static_cast<uint8_t>(std::clamp(g, 0.0, 255.0));
      p[2] = static_cast<uint8_t>(std::clamp(r, 0.0, 255.0));
      if (bpp == 4) {
        const double a = 128 + 120 * std::sin(fx * 3.0 - fy * 2.5);
        p[3] = static_cast<uint8_t>(std::clamp(a, 0.0, 255.0));
      }
    }
  return img;
}

// The same with finite values in 0..1 for floating-point formats.
inline RasterImage RandomFiniteImage(TImageFormat format, int w, int h, uint32_t seed) {
  return RandomImage(format, w, h, seed, /*finiteFloats=*/true);
}

// ---- Comparisons ----

inline std::vector<uint8_t> Pixels(const RasterImage& img) {
  return std::vector<uint8_t>(img.Bits.get(), img.Bits.get() + img.Size);
}

// The pixels of an A8R8G8B8 image as R, G, B, A bytes.
inline std::vector<uint8_t> RgbaBytes(const RasterImage& argb) {
  std::vector<uint8_t> rgba(static_cast<size_t>(argb.Size));
  for (int32_t i = 0; i + 3 < argb.Size; i += 4) {
    rgba[i] = argb.Bits[i + 2];
    rgba[i + 1] = argb.Bits[i + 1];
    rgba[i + 2] = argb.Bits[i];
    rgba[i + 3] = argb.Bits[i + 3];
  }
  return rgba;
}

// Our decoding of a file's first image as R, G, B, A bytes; false (never a
// crash) when loading fails, with the reason in error and the format the
// file loaded as in format when they are given.
inline bool OurRgba(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba,
                    std::string* error = nullptr, TImageFormat* format = nullptr) {
  RasterImage img;
  try {
    if (!ReadImageFile(path, img)) {
      if (error) *error = "not recognised";
      return false;
    }
    if (format) *format = img.Format;
    ImageConvert(img, ifA8R8G8B8);
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
  w = img.Width;
  h = img.Height;
  rgba = RgbaBytes(img);
  return true;
}

// Peak signal-to-noise ratio of n bytes; 99 when they are equal.
inline double Psnr(const uint8_t* a, const uint8_t* b, size_t n) {
  double se = 0;
  for (size_t i = 0; i < n; ++i) se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  if (se == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 / (se / n));
}

// Peak signal-to-noise ratio over the channels selected by mask (bit i =
// byte i of each bpp-byte pixel); 99 when they are equal.
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

// ---- Files, temporary paths and memory streams ----

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

// Writes bytes to a file; a file that cannot be created fails the test.
inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A path for a scratch file in this process's part of the temp folder
// imprimo_<group>; the folder is created when missing.
inline std::string TempPath(const std::string& group, const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("imprimo_" + group);
  std::filesystem::create_directories(dir);
  return (dir / (std::to_string(::getpid()) + "_" + name)).string();
}

// A fresh empty folder imprimo_<group>_<name>_<process id> under the temp
// folder.
inline std::filesystem::path TempFolder(const std::string& group, const std::string& name) {
  const auto p = std::filesystem::temp_directory_path() /
                 ("imprimo_" + group + "_" + name + "_" + std::to_string(::getpid()));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

// Writes an image to memory in the format that ext names; a refusal fails
// the test.
inline std::vector<uint8_t> SaveToMemory(std::string_view ext, const RasterImage& img) {
  TMemoryStream s;
  EXPECT_TRUE(WriteImageStream(ext, s, img));
  return s.Data();
}

// Loads bytes through the layer; false (never a crash) for anything it refuses.
inline bool LoadFromMemory(const std::vector<uint8_t>& bytes, RasterImage& img,
                           std::string* error = nullptr) {
  TMemoryStream s(bytes);
  try {
    return ReadImageStream(s, img);
  } catch (const EImagingError& e) {
    if (error) *error = e.what();
    return false;
  }
}

// ---- Reference decodes as images ----

// A picture ImageMagick decoded (8-bit samples, 3 or 4 channels), as an
// A8R8G8B8 image; pictures without alpha come out opaque.
inline RasterImage ImageFromMagick(const TMagickPicture& picture) {
  RasterImage img;
  ImageCreate(img, picture.Width, picture.Height, ifA8R8G8B8);
  const int n = picture.Channels;
  for (int32_t i = 0, p = 0; i < img.Size; i += 4, p += n) {
    img.Bits[i] = uint8_t(picture.Sample(p + 2));
    img.Bits[i + 1] = uint8_t(picture.Sample(p + 1));
    img.Bits[i + 2] = uint8_t(picture.Sample(p));
    img.Bits[i + 3] = n == 4 ? uint8_t(picture.Sample(p + 3)) : 0xFF;
  }
  return img;
}

// ---- The conformance folder ----

// CorpusDir and IMPRIMO_REQUIRE_CORPUS come from support/corpus_support.h.

// Every regular file under folder (recursively) whose lower-case extension
// is one of exts, sorted; none when the folder is absent.
inline std::vector<std::string> FilesWithExtensions(const std::string& folder,
                                                    const std::vector<std::string>& exts) {
  std::vector<std::string> out;
  if (!std::filesystem::is_directory(folder)) return out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& x : exts)
      if (ext == x) out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace imprimo::testing
