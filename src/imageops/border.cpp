#include "imageops/border.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/pen.h"

namespace imprimo {

namespace {

// Copies src into the 24-bit dst with its top-left at (dx, dy); dst is large
// enough by construction.
void CopyInto24(const TBitmap& src, TBitmap& dst, int dx, int dy) {
  const int w = src.Width();
  for (int y = 0; y < src.Height(); ++y) {
    uint8_t* d = dst.ScanLine(y + dy) + static_cast<size_t>(dx) * 3;
    const uint8_t* s = src.ScanLine(y);
    switch (src.PixelFormat()) {
      case TPixelFormat::pf24bit:
        std::memcpy(d, s, static_cast<size_t>(w) * 3);
        break;
      case TPixelFormat::pf32bit:
        for (int x = 0; x < w; ++x, s += 4, d += 3) {
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        }
        break;
      default:
        for (int x = 0; x < w; ++x, d += 3) {
          uint32_t rgb = src.PixelRGB(x, y);
          d[0] = rgb & 0xFF;
          d[1] = (rgb >> 8) & 0xFF;
          d[2] = (rgb >> 16) & 0xFF;
        }
        break;
    }
  }
}

}  // namespace

bool AddImageBorder(TBitmap& bitmap, int32_t top, int32_t right, int32_t bottom, int32_t left,
                    int32_t color, int32_t style, bool inside) {
  top = std::max(top, 0);
  right = std::max(right, 0);
  bottom = std::max(bottom, 0);
  left = std::max(left, 0);
  const int w = bitmap.Width(), h = bitmap.Height();
  int64_t W = w, H = h;
  if (!inside) {
    W += int64_t{left} + right;
    H += int64_t{top} + bottom;
  }
  if (W > kMaxBitmapSide || H > kMaxBitmapSide || W * H > kMaxBitmapPixels) return false;
  TBitmap result;
  try {
    result.SetFormatAndSize(TPixelFormat::pf24bit, static_cast<int>(W), static_cast<int>(H));
  } catch (const std::exception&) {
    return false;
  }
  std::optional<uint32_t> gap;
  if (inside) {
    CopyInto24(bitmap, result, 0, 0);
  } else {
    FillRectRGB(result, 0, 0, static_cast<int>(W), static_cast<int>(H), 0xFFFFFF);
    CopyInto24(bitmap, result, left, top);
    gap = 0xFFFFFF;  // the solid white brush fills the gaps of styled lines
  }
  const TPen pen{color, PenStyleFromInt(style)};
  const int iw = static_cast<int>(W), ih = static_cast<int>(H);
  // Lines that would lie wholly outside the bitmap draw nothing; stop there
  // so that huge widths cost no more than the bitmap itself.
  for (int k = 0; k < std::min(top, ih); ++k) PenLine(result, pen, 0, k, iw, k, gap);
  for (int k = 0; k < std::min(right, iw); ++k)
    PenLine(result, pen, iw - 1 - k, top - 1, iw - 1 - k, ih, gap);
  for (int k = 0; k < std::min(bottom, ih); ++k)
    PenLine(result, pen, 0, ih - 1 - k, iw - right, ih - 1 - k, gap);
  for (int k = 0; k < std::min(left, iw); ++k)
    PenLine(result, pen, k, top - 1, k, ih - bottom, gap);
  bitmap = std::move(result);
  return true;
}

}  // namespace imprimo
