#include "platform/pen.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/colors.h"

namespace imprimo {

namespace {

// On/off run lengths of the styled patterns, starting with a dash.
struct Pattern {
  int runs[6];
  int count;
};
constexpr Pattern kPatterns[] = {{{1}, 0},                  // solid (unused)
                                 {{18, 6}, 2},              // dash
                                 {{3, 3}, 2},               // dot
                                 {{9, 6, 3, 6}, 4},         // dash dot
                                 {{9, 3, 3, 3, 3, 3}, 6}};  // dash dot dot

void PutPixel(TBitmap& bitmap, int x, int y, uint32_t rgb) {
  if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) return;
  if (bitmap.PixelFormat() == TPixelFormat::pf24bit) {
    uint8_t* p = bitmap.ScanLine(y) + static_cast<size_t>(x) * 3;
    p[0] = rgb & 0xFF;
    p[1] = (rgb >> 8) & 0xFF;
    p[2] = (rgb >> 16) & 0xFF;
  } else {
    bitmap.SetPixelRGB(x, y, rgb);
  }
}

}  // namespace

TPenStyle PenStyleFromInt(int32_t style) {
  if (style >= 1 && style <= 4) return static_cast<TPenStyle>(style);
  return TPenStyle::psSolid;
}

uint32_t ColorToRGB(int32_t color) {
  const uint32_t c = ResolveColor(color);
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

static bool PatternOn(const Pattern& pat, int period, int64_t i) {
  int phase = static_cast<int>(i % period);
  for (int r = 0; r < pat.count; ++r) {
    if (phase < pat.runs[r]) return r % 2 == 0;
    phase -= pat.runs[r];
  }
  return true;
}

void PenLine(TBitmap& bitmap, const TPen& pen, int x0, int y0, int x1, int y1,
             std::optional<uint32_t> gapColor) {
  const uint32_t rgb = ColorToRGB(pen.Color);
  const Pattern& pat = kPatterns[static_cast<int>(pen.Style)];
  const bool solid = pen.Style == TPenStyle::psSolid;
  int period = 0;
  for (int r = 0; r < pat.count; ++r) period += pat.runs[r];
  const int64_t dx = std::abs(int64_t{x1} - x0), dy = std::abs(int64_t{y1} - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  auto plot = [&](int64_t i, int64_t x, int64_t y) {
    if (solid || PatternOn(pat, period, i))
      PutPixel(bitmap, static_cast<int>(x), static_cast<int>(y), rgb);
    else if (gapColor)
      PutPixel(bitmap, static_cast<int>(x), static_cast<int>(y), *gapColor);
  };
  if (dx == 0 || dy == 0) {
    // Axis-aligned: walk only the part inside the bitmap; the pattern phase
    // still counts from the start point.
    const bool horz = dy == 0;
    const int64_t steps = horz ? dx : dy;
    const int64_t fixed = horz ? y0 : x0;
    const int64_t limitFixed = horz ? bitmap.Height() : bitmap.Width();
    if (fixed < 0 || fixed >= limitFixed) return;
    const int64_t start = horz ? x0 : y0;
    const int step = horz ? sx : sy;
    const int64_t limit = horz ? bitmap.Width() : bitmap.Height();
    int64_t lo, hi;  // i in [lo, hi)
    if (step > 0) {
      lo = std::max<int64_t>(0, -start);
      hi = std::min<int64_t>(steps, limit - start);
    } else {
      lo = std::max<int64_t>(0, start - limit + 1);
      hi = std::min<int64_t>(steps, start + 1);
    }
    for (int64_t i = lo; i < hi; ++i) {
      int64_t v = start + i * step;
      if (horz)
        plot(i, v, fixed);
      else
        plot(i, fixed, v);
    }
    return;
  }
  const int64_t steps = std::max(dx, dy);
  int64_t err = dx - dy;
  int64_t x = x0, y = y0;
  for (int64_t i = 0; i < steps; ++i) {
    plot(i, x, y);
    int64_t e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      x += sx;
    }
    if (e2 < dx) {
      err += dx;
      y += sy;
    }
  }
}

void FillRectRGB(TBitmap& bitmap, int left, int top, int right, int bottom, uint32_t rgb) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, bitmap.Width());
  bottom = std::min(bottom, bitmap.Height());
  if (left >= right || top >= bottom) return;
  if (bitmap.PixelFormat() == TPixelFormat::pf24bit) {
    uint8_t bgr[3] = {static_cast<uint8_t>(rgb & 0xFF), static_cast<uint8_t>((rgb >> 8) & 0xFF),
                      static_cast<uint8_t>((rgb >> 16) & 0xFF)};
    for (int y = top; y < bottom; ++y) {
      uint8_t* p = bitmap.ScanLine(y) + static_cast<size_t>(left) * 3;
      for (int x = left; x < right; ++x, p += 3) std::memcpy(p, bgr, 3);
    }
    return;
  }
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) bitmap.SetPixelRGB(x, y, rgb);
}

}  // namespace imprimo
