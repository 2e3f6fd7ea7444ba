// Corpus files and the reference converter, run as a separate process.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/raster_image.h"

namespace imprimo::fmta {

inline std::string CorpusDir() { return IMPRIMO_CORPUS_DIR; }

#define REQUIRE_CORPUS_A(sub)                                                       \
  do {                                                                              \
    if (!std::filesystem::is_directory(::imprimo::fmta::CorpusDir() + "/" + (sub))) \
      GTEST_SKIP() << "conformance corpus folder " << (sub) << " is absent";        \
    if (std::system("convert -version >/dev/null 2>&1") != 0)                       \
      GTEST_SKIP() << "the reference converter (convert) is not installed";         \
  } while (0)

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command; its standard output, and ok = exit status 0.
inline std::vector<uint8_t> Run(const std::string& command, bool& ok) {
  std::vector<uint8_t> out;
  FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!p) {
    ok = false;
    return out;
  }
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
  const int status = ::pclose(p);
  ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return out;
}

// The first image of a file as 8-bit R, G, B, A bytes by the reference tool.
inline bool ReferenceRgba(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba) {
  bool ok;
  auto dims = Run("identify -format '%w %h\\n' " + Quote(path + "[0]"), ok);
  if (!ok) return false;
  std::string d(dims.begin(), dims.end());
  if (std::sscanf(d.c_str(), "%d %d", &w, &h) != 2) return false;
  rgba = Run("convert " + Quote(path + "[0]") + " -depth 8 rgba:-", ok);
  return ok && rgba.size() == size_t(w) * h * 4;
}

// Our decoding of a file as R, G, B, A bytes; false when loading fails.
inline bool OurRgba(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba,
                    std::string* error = nullptr) {
  RasterImage img;
  try {
    if (!ReadImageFile(path, img)) {
      if (error) *error = "not recognised";
      return false;
    }
    ImageConvert(img, ifA8R8G8B8);
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
  w = img.Width;
  h = img.Height;
  rgba.resize(size_t(w) * h * 4);
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    rgba[4 * i] = img.Bits[4 * i + 2];
    rgba[4 * i + 1] = img.Bits[4 * i + 1];
    rgba[4 * i + 2] = img.Bits[4 * i];
    rgba[4 * i + 3] = img.Bits[4 * i + 3];
  }
  return true;
}

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
  std::vector<std::string> out;
  const std::string root = CorpusDir() + "/" + sub;
  if (!std::filesystem::is_directory(root)) return out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::string x = e.path().extension().string();
    for (char& c : x) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (x == ext) out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

inline std::string BaseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace imprimo::fmta
