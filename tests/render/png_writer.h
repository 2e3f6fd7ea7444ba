// Writes 24-bit bitmaps as PNG files so that rendered results can be looked
// at; test use only.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace imprimo::testing {

inline void PutBE32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

inline void PngChunk(std::vector<uint8_t>& out, const char* type,
                     const std::vector<uint8_t>& data) {
  PutBE32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBE32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// Returns false when the file could not be written.
inline bool WritePng(const std::string& path, const TBitmap& bmp) {
  std::vector<uint8_t> raw;
  raw.reserve(size_t(bmp.Width() * 3 + 1) * bmp.Height());
  for (int y = 0; y < bmp.Height(); ++y) {
    raw.push_back(0);
    for (int x = 0; x < bmp.Width(); ++x) {
      uint32_t c = bmp.PixelRGB(x, y);
      raw.push_back(static_cast<uint8_t>(c >> 16));
      raw.push_back(static_cast<uint8_t>(c >> 8));
      raw.push_back(static_cast<uint8_t>(c));
    }
  }
  uLongf zlen = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> z(zlen);
  if (compress(z.data(), &zlen, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) return false;
  z.resize(zlen);
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBE32(ihdr, static_cast<uint32_t>(bmp.Width()));
  PutBE32(ihdr, static_cast<uint32_t>(bmp.Height()));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  PngChunk(out, "IHDR", ihdr);
  PngChunk(out, "IDAT", z);
  PngChunk(out, "IEND", {});
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

// Folder for screenshots of rendered results; created when missing.
std::string ScreensFolder();

}  // namespace imprimo::testing
