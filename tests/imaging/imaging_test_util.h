// Helpers shared by the image file layer tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo::test {

// An image of the given format filled with seeded random bytes (indexed
// images also get a random palette).
inline RasterImage RandomImage(TImageFormat format, int w, int h, uint32_t seed = 1) {
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

inline std::vector<uint8_t> Pixels(const RasterImage& img) {
  return std::vector<uint8_t>(img.Bits.get(), img.Bits.get() + img.Size);
}

// A fresh empty folder under the system temp folder.
inline std::filesystem::path TempFolder(const std::string& name) {
  auto p = std::filesystem::temp_directory_path() /
           ("imprimo_imaging_" + name + "_" + std::to_string(::getpid()));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

inline void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(p.c_str(), "wb");
  if (!f) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(p.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

// Runs a shell command and returns its standard output; ok tells whether it exited with 0.
inline std::vector<uint8_t> RunCommand(const std::string& cmd, bool& ok) {
  std::vector<uint8_t> out;
  FILE* p = ::popen(cmd.c_str(), "r");
  ok = false;
  if (!p) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
  ok = ::pclose(p) == 0;
  return out;
}

inline bool HaveTool(const std::string& probe) {
  return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace imprimo::test
