// Helpers of the HEIF, AVIF, WebP and TIFF tests: making files with the
// libraries' own command-line encoders and comparing pixels.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "support/imaging_support.h"

namespace imprimo::testing {

// Skips the test when a command-line tool is missing.
#define REQUIRE_PROGRAM(name)                                               \
  do {                                                                      \
    if (!::imprimo::testing::HaveTool(std::string("command -v ") + (name))) \
      GTEST_SKIP() << name << " is not installed";                          \
  } while (0)

// Runs a shell command; true when it exits with status 0.
inline bool Shell(const std::string& command) {
  bool ok = false;
  RunCommand(command, ok);
  return ok;
}

// Loads a file through the layer as A16R16G16B16 (so deep files keep their
// precision); false when it does not load.
inline bool Load16(const std::string& path, RasterImage& img, std::string* error = nullptr) {
  try {
    if (!ReadImageFile(path, img)) return false;
    ImageConvert(img, ifA16R16G16B16);
    return true;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

// Largest difference of any channel between two A16R16G16B16 images, in
// 8-bit steps (65535 / 255); 1e9 when their sizes differ.
inline double MaxDiff8(const RasterImage& a, const RasterImage& b) {
  if (a.Width != b.Width || a.Height != b.Height || a.Format != b.Format) return 1e9;
  const uint16_t* p = reinterpret_cast<const uint16_t*>(a.Bits.get());
  const uint16_t* q = reinterpret_cast<const uint16_t*>(b.Bits.get());
  int worst = 0;
  for (int32_t i = 0; i < a.Size / 2; ++i) worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
  return worst / 257.0;
}

// A photo-like test picture written as an 8-bit PNG (alpha varying when
// withAlpha) for the encoders to read.
inline std::string SourcePng(const std::string& name, int w, int h, bool withAlpha) {
  RasterImage img = SmoothImage(w, h, withAlpha ? ifA8R8G8B8 : ifR8G8B8);
  const std::string path = TempPath("formats_d", name + ".png");
  EXPECT_TRUE(WriteImageFile(path, img));
  return path;
}

}  // namespace imprimo::testing
