// Helpers for the JPEG 2000 and game-image format tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/raster_image.h"

namespace imprimo::fmtb {

inline RasterImage RandomImage(TImageFormat format, int w, int h, uint32_t seed = 11) {
  RasterImage img;
  ImageCreate(img, w, h, format);
  std::mt19937 rng(seed);
  for (int32_t i = 0; i < img.Size; ++i) img.Bits[i] = static_cast<uint8_t>(rng());
  if (img.Palette)
    for (int i = 0; i < 256; ++i)
      img.Palette[i] = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                        static_cast<uint8_t>(rng()), 0xFF};
  return img;
}

// A smooth photo-like opaque R8G8B8 picture.
inline RasterImage SmoothRgb(int w, int h) {
  RasterImage img;
  ImageCreate(img, w, h, ifR8G8B8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = img.Row(y) + 3 * x;
      const double fx = double(x) / w, fy = double(y) / h;
      p[0] = static_cast<uint8_t>(100 + 70 * std::sin((fx + fy) * 3.0) * std::cos(fx * 2.0));
      p[1] = static_cast<uint8_t>(110 + 80 * std::cos(fy * 4.0 - fx * 1.5) + 20 * fx);
      p[2] = static_cast<uint8_t>(128 + 90 * std::sin(fx * 5.0 + fy * 2.0) + 30 * fy);
    }
  return img;
}

inline std::vector<uint8_t> Pixels(const RasterImage& img) {
  return std::vector<uint8_t>(img.Bits.get(), img.Bits.get() + img.Size);
}

inline double Psnr(const uint8_t* a, const uint8_t* b, size_t n) {
  double se = 0;
  for (size_t i = 0; i < n; ++i) se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  if (se == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 / (se / n));
}

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

inline std::string TempPath(const std::string& name) {
  auto dir = std::filesystem::temp_directory_path() / "imprimo_fmtb";
  std::filesystem::create_directories(dir);
  return (dir / (std::to_string(::getpid()) + "_" + name)).string();
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a command; its standard output, and ok = exit status 0.
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

inline bool HaveTool(const std::string& probe) {
  return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
}

// A file's first image as 8-bit R, G, B, A through the external converter.
inline bool ConverterRgba(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba) {
  bool ok;
  auto dims = Run("identify -format '%w %h\\n' " + Quote(path + "[0]"), ok);
  if (!ok) return false;
  std::string d(dims.begin(), dims.end());
  if (std::sscanf(d.c_str(), "%d %d", &w, &h) != 2) return false;
  rgba = Run("convert " + Quote(path + "[0]") + " -depth 8 rgba:-", ok);
  return ok && rgba.size() == size_t(w) * h * 4;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

// Sets an option for one scope and restores its old value.
class ScopedOption {
 public:
  ScopedOption(int32_t id, int32_t value) : id_(id), old_(GetImagingOption(id)) {
    SetImagingOption(id, value);
  }
  ~ScopedOption() { SetImagingOption(id_, old_); }

 private:
  int32_t id_, old_;
};

}  // namespace imprimo::fmtb
