#include "imageops/orient.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace imprimo {

namespace {

// Where the pixel at (x, y) of the upright picture lies in the stored one,
// for a stored picture of w x h: sx = ax + bx*x + cx*y, sy = ay + by*x + cy*y.
struct TSourceMap {
  int ax, bx, cx, ay, by, cy;
};

TSourceMap MapFor(int orientation, int w, int h) {
  switch (orientation) {
    case 2:
      return {w - 1, -1, 0, 0, 0, 1};
    case 3:
      return {w - 1, -1, 0, h - 1, 0, -1};
    case 4:
      return {0, 1, 0, h - 1, 0, -1};
    case 5:
      return {0, 0, 1, 0, 1, 0};
    case 6:
      return {0, 0, 1, h - 1, -1, 0};
    case 7:
      return {w - 1, 0, -1, h - 1, -1, 0};
    case 8:
      return {w - 1, 0, -1, 0, 1, 0};
    default:
      return {0, 1, 0, 0, 0, 1};
  }
}

// Whole-byte pixels of n bytes. The destination is walked in square tiles so
// that the quarter turns read the source a few rows at a time instead of one
// byte from every row.
template <int n>
void MoveBytePixels(const TBitmap& src, TBitmap& dst, const TSourceMap& m) {
  constexpr int kTile = 64;
  const int dw = dst.Width(), dh = dst.Height();
  for (int ty = 0; ty < dh; ty += kTile) {
    const int yEnd = std::min(dh, ty + kTile);
    for (int tx = 0; tx < dw; tx += kTile) {
      const int xEnd = std::min(dw, tx + kTile);
      for (int y = ty; y < yEnd; ++y) {
        uint8_t* d = dst.ScanLine(y) + static_cast<size_t>(tx) * n;
        for (int x = tx; x < xEnd; ++x, d += n) {
          const int sx = m.ax + m.bx * x + m.cx * y;
          const int sy = m.ay + m.by * x + m.cy * y;
          std::memcpy(d, src.ScanLine(sy) + static_cast<size_t>(sx) * n, n);
        }
      }
    }
  }
}

// Packed 1- and 4-bit pixels, most significant bits first.
void MovePackedPixels(const TBitmap& src, TBitmap& dst, const TSourceMap& m, int bits) {
  const int perByte = 8 / bits;
  const int mask = (1 << bits) - 1;
  for (int y = 0; y < dst.Height(); ++y) {
    uint8_t* row = dst.ScanLine(y);
    std::memset(row, 0, dst.BytesPerLine());
    for (int x = 0; x < dst.Width(); ++x) {
      const int sx = m.ax + m.bx * x + m.cx * y;
      const int sy = m.ay + m.by * x + m.cy * y;
      const int shift = 8 - bits * (sx % perByte + 1);
      const int v = (src.ScanLine(sy)[sx / perByte] >> shift) & mask;
      row[x / perByte] |= static_cast<uint8_t>(v << (8 - bits * (x % perByte + 1)));
    }
  }
}

}  // namespace

void UprightSize(int orientation, int width, int height, int& uprightWidth, int& uprightHeight) {
  const bool swaps = orientation >= 5 && orientation <= 8;
  uprightWidth = swaps ? height : width;
  uprightHeight = swaps ? width : height;
}

bool ApplyExifOrientation(TBitmap& bitmap, int orientation) {
  if (orientation < 2 || orientation > 8) return false;
  const int w = bitmap.Width(), h = bitmap.Height();
  int dw = 0, dh = 0;
  UprightSize(orientation, w, h, dw, dh);
  const TPixelFormat pf = bitmap.PixelFormat();
  TBitmap result(dw, dh, pf);
  result.Palette() = bitmap.Palette();
  const TSourceMap m = MapFor(orientation, w, h);
  // Device and custom formats are held as 32-bit pixels.
  const int bits = BitsPerPixel(pf) == 0 ? 32 : BitsPerPixel(pf);
  switch (bits) {
    case 1:
    case 4:
      MovePackedPixels(bitmap, result, m, bits);
      break;
    case 8:
      MoveBytePixels<1>(bitmap, result, m);
      break;
    case 15:
    case 16:
      MoveBytePixels<2>(bitmap, result, m);
      break;
    case 24:
      MoveBytePixels<3>(bitmap, result, m);
      break;
    default:
      MoveBytePixels<4>(bitmap, result, m);
      break;
  }
  bitmap = std::move(result);
  return true;
}

}  // namespace imprimo
