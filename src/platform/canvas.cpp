#include "platform/canvas.h"

#include <algorithm>
#include <cstring>

namespace imprimo {

namespace {
// Rounds a * b / c to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
  int64_t n = int64_t{a} * b;
  int64_t q = (2 * (n < 0 ? -n : n) + c) / (2 * int64_t{c});
  return static_cast<int>(n < 0 ? -q : q);
}

bool Fast(TPixelFormat pf) { return pf == TPixelFormat::pf24bit || pf == TPixelFormat::pf32bit; }
}  // namespace

TFont::TFont() {
  logFont_.faceName = "Arial";
  SetSize(8);
}

int TFont::Size() const {
  if (logFont_.height < 0) return MulDiv(-logFont_.height, 72, kPixelsPerInch);
  return MulDiv(logFont_.height, 72, kPixelsPerInch);
}

void TFont::SetSize(int points) { logFont_.height = -MulDiv(points, kPixelsPerInch, 72); }

uint8_t TFont::Style() const {
  uint8_t s = 0;
  if (logFont_.weight >= 600) s |= fsBold;
  if (logFont_.italic) s |= fsItalic;
  if (logFont_.underline) s |= fsUnderline;
  if (logFont_.strikeOut) s |= fsStrikeOut;
  return s;
}

void TFont::SetStyle(uint8_t style) {
  logFont_.weight = (style & fsBold) ? FW_BOLD : FW_NORMAL;
  logFont_.italic = style & fsItalic;
  logFont_.underline = style & fsUnderline;
  logFont_.strikeOut = style & fsStrikeOut;
}

TFontPitch TFont::Pitch() const {
  switch (logFont_.pitchAndFamily & 3) {
    case FIXED_PITCH:
      return TFontPitch::fpFixed;
    case VARIABLE_PITCH:
      return TFontPitch::fpVariable;
    default:
      return TFontPitch::fpDefault;
  }
}

void TFont::SetPitch(TFontPitch pitch) {
  uint8_t p = pitch == TFontPitch::fpFixed      ? FIXED_PITCH
              : pitch == TFontPitch::fpVariable ? VARIABLE_PITCH
                                                : DEFAULT_PITCH;
  logFont_.pitchAndFamily = static_cast<uint8_t>((logFont_.pitchAndFamily & ~3) | p);
}

void BitBlt(TBitmap& dst, int dx, int dy, int w, int h, const TBitmap& src, int sx, int sy) {
  // Clip against the source, then against the destination.
  if (sx < 0) {
    dx -= sx;
    w += sx;
    sx = 0;
  }
  if (sy < 0) {
    dy -= sy;
    h += sy;
    sy = 0;
  }
  if (dx < 0) {
    sx -= dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0) {
    sy -= dy;
    h += dy;
    dy = 0;
  }
  w = std::min({w, src.Width() - sx, dst.Width() - dx});
  h = std::min({h, src.Height() - sy, dst.Height() - dy});
  if (w <= 0 || h <= 0) return;
  TPixelFormat sf = src.PixelFormat(), df = dst.PixelFormat();
  if (sf == df &&
      (sf == TPixelFormat::pf24bit || sf == TPixelFormat::pf32bit || sf == TPixelFormat::pf8bit ||
       sf == TPixelFormat::pf15bit || sf == TPixelFormat::pf16bit) &&
      (sf != TPixelFormat::pf8bit || src.Palette() == dst.Palette())) {
    int bpp = BitsPerPixel(sf) / 8;
    for (int y = 0; y < h; ++y)
      std::memcpy(dst.ScanLine(dy + y) + size_t(dx) * bpp, src.ScanLine(sy + y) + size_t(sx) * bpp,
                  size_t(w) * bpp);
    return;
  }
  if (Fast(sf) && Fast(df)) {
    int sb = BitsPerPixel(sf) / 8, db = BitsPerPixel(df) / 8;
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = src.ScanLine(sy + y) + size_t(sx) * sb;
      uint8_t* d = dst.ScanLine(dy + y) + size_t(dx) * db;
      for (int x = 0; x < w; ++x, s += sb, d += db) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        if (db == 4) d[3] = 0;  // a block copy from 24 bits leaves no alpha
      }
    }
    return;
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dst.SetPixelRGB(dx + x, dy + y, src.PixelRGB(sx + x, sy + y));
}

void StretchBlt(TBitmap& dst, const TRect& rect, const TBitmap& src) {
  int rw = rect.Width(), rh = rect.Height();
  if (rw <= 0 || rh <= 0 || src.Empty()) return;
  int x0 = std::max(rect.Left, 0), x1 = std::min(rect.Right, dst.Width());
  int y0 = std::max(rect.Top, 0), y1 = std::min(rect.Bottom, dst.Height());
  for (int y = y0; y < y1; ++y) {
    int syy = static_cast<int>(int64_t{y - rect.Top} * src.Height() / rh);
    for (int x = x0; x < x1; ++x) {
      int sxx = static_cast<int>(int64_t{x - rect.Left} * src.Width() / rw);
      dst.SetPixelRGB(x, y, src.PixelRGB(sxx, syy));
    }
  }
}

void TCanvas::FillRect(const TRect& rect) {
  if (brush_.Style == TBrushStyle::bsClear) return;
  TBitmap& b = *bitmap_;
  int x0 = std::max(rect.Left, 0), x1 = std::min(rect.Right, b.Width());
  int y0 = std::max(rect.Top, 0), y1 = std::min(rect.Bottom, b.Height());
  if (x0 >= x1 || y0 >= y1) return;
  TRGB c = ColorToTRGB(brush_.Color);
  if (Fast(b.PixelFormat())) {
    int bpp = BitsPerPixel(b.PixelFormat()) / 8;
    for (int y = y0; y < y1; ++y) {
      uint8_t* p = b.ScanLine(y) + size_t(x0) * bpp;
      for (int x = x0; x < x1; ++x, p += bpp) {
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        if (bpp == 4) p[3] = 0;
      }
    }
    return;
  }
  uint32_t rgb = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) b.SetPixelRGB(x, y, rgb);
}

void TCanvas::Draw(int x, int y, const TBitmap& picture) {
  BitBlt(*bitmap_, x, y, picture.Width(), picture.Height(), picture, 0, 0);
}

void TCanvas::StretchDraw(const TRect& rect, const TBitmap& picture) {
  StretchBlt(*bitmap_, rect, picture);
}

}  // namespace imprimo
