#include "imaging/picture_metadata.h"

#include <algorithm>
#include <cstdlib>

namespace imprimo {

std::string JpegMetadataHeader(std::span<const uint8_t> d) {
  const auto prefix = [&](size_t n) {
    return std::string(reinterpret_cast<const char*>(d.data()), std::min(n, d.size()));
  };
  if (d.size() < 2 || d[0] != 0xFF || d[1] != 0xD8) return std::string();
  size_t p = 2;
  while (p + 4 <= d.size() && d[p] == 0xFF) {
    const uint8_t code = d[p + 1];
    if (code == 0xFF) {  // fill byte
      ++p;
      continue;
    }
    if (code == 0xD9) return prefix(p + 2);
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
      p += 2;
      continue;
    }
    const size_t length = (size_t(d[p + 2]) << 8) | d[p + 3];
    if (length < 2 || p + 2 + length > d.size()) break;
    p += 2 + length;
    // The scan header is kept whole, so every reader of the segments sees
    // where the coded data begins.
    if (code == 0xDA) return prefix(p);
  }
  return prefix(kMaxJpegHeaderScan);
}

bool ReadJfifDensity(std::span<const uint8_t> h, int& unit, int& x, int& y) {
  if (h.size() < 18 || h[0] != 0xFF || h[1] != 0xD8 || h[2] != 0xFF || h[3] != 0xE0) return false;
  if (h[6] != 'J' || h[7] != 'F' || h[8] != 'I' || h[9] != 'F' || h[10] != 0) return false;
  unit = h[13];
  x = (h[14] << 8) | h[15];
  y = (h[16] << 8) | h[17];
  return unit <= 2 && x > 0 && y > 0;
}

}  // namespace imprimo

namespace imprimo {

namespace {

int Be16(const uint8_t* p) { return (p[0] << 8) | p[1]; }
int32_t Le32(const uint8_t* p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24);
}

// The size in the first frame header of a JPEG.
bool PeekJpegSize(std::span<const uint8_t> d, int64_t& width, int64_t& height) {
  size_t p = 2;
  for (int guard = 0; guard < 1000 && p + 4 <= d.size(); ++guard) {
    if (d[p] != 0xFF) return false;
    const int marker = d[p + 1], length = Be16(&d[p + 2]);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (p + 9 > d.size()) return false;
      height = Be16(&d[p + 5]);
      width = Be16(&d[p + 7]);
      return true;
    }
    if (length < 2) return false;
    p += 2 + static_cast<size_t>(length);
  }
  return false;
}

}  // namespace

bool PeekPictureSize(std::span<const uint8_t> d, int64_t& width, int64_t& height) {
  const size_t n = d.size();
  const uint8_t* h = d.data();
  bool ok = false;
  if (n >= 24 && h[0] == 0x89 && h[1] == 'P' && h[2] == 'N' && h[3] == 'G') {
    width = (int64_t{h[16]} << 24) | (h[17] << 16) | (h[18] << 8) | h[19];
    height = (int64_t{h[20]} << 24) | (h[21] << 16) | (h[22] << 8) | h[23];
    ok = true;
  } else if (n >= 10 && h[0] == 'G' && h[1] == 'I' && h[2] == 'F') {
    width = h[6] | (h[7] << 8);
    height = h[8] | (h[9] << 8);
    ok = true;
  } else if (n >= 26 && h[0] == 'B' && h[1] == 'M') {
    width = std::abs(int64_t{Le32(h + 18)});
    height = std::abs(int64_t{Le32(h + 22)});
    ok = true;
  } else if (n >= 4 && h[0] == 0xFF && h[1] == 0xD8) {
    ok = PeekJpegSize(d, width, height);
  }
  return ok && width > 0 && height > 0;
}

}  // namespace imprimo
