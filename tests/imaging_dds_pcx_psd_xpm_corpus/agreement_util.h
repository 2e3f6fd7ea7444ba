// Corpus files and the reference converter, run as a separate process.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/raster_image.h"
#include "support/imaging_support.h"

namespace imprimo::dds_pcx_psd_xpm {

using ::imprimo::testing::CorpusDir;
using ::imprimo::testing::MagickRgba;
using ::imprimo::testing::OurRgba;
using ::imprimo::testing::Quote;

#define REQUIRE_CORPUS_A(sub)                                               \
  do {                                                                      \
    IMPRIMO_REQUIRE_CORPUS(sub);                                            \
    if (!::imprimo::testing::HaveMagick())                                  \
      GTEST_SKIP() << "the reference converter (convert) is not installed"; \
  } while (0)

// Runs a shell command; its standard output, and ok = exit status 0.
inline constexpr auto& Run = ::imprimo::testing::RunCommand;

// Largest channel difference; colour channels of fully transparent pixels
// are not compared when ignoreHiddenColour is set.
inline int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                         bool ignoreHiddenColour = true) {
  int worst = 0;
  for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
    const bool hidden = ignoreHiddenColour && a[i + 3] == 0 && b[i + 3] == 0;
    for (int c = hidden ? 3 : 0; c < 4; ++c) worst = std::max(worst, std::abs(a[i + c] - b[i + c]));
  }
  return worst;
}

// "pixel i: reference r,g,b,a ours r,g,b,a" for the first pixel off by more
// than tolerance.
inline std::string FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                                   int tolerance) {
  for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
    const bool hidden = a[i + 3] == 0 && b[i + 3] == 0;
    for (int c = hidden ? 3 : 0; c < 4; ++c)
      if (std::abs(a[i + c] - b[i + c]) > tolerance) {
        char text[128];
        std::snprintf(text, sizeof text, "pixel %zu: reference %d,%d,%d,%d ours %d,%d,%d,%d", i / 4,
                      a[i], a[i + 1], a[i + 2], a[i + 3], b[i], b[i + 1], b[i + 2], b[i + 3]);
        return text;
      }
  }
  return {};
}

inline std::vector<std::string> CorpusFiles(const std::string& sub, const std::string& ext) {
  return ::imprimo::testing::FilesWithExtensions(CorpusDir() + "/" + sub, {ext});
}

inline std::string BaseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace imprimo::dds_pcx_psd_xpm
