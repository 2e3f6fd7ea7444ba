#include "imageops/bitmap32.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "imageops/resize.h"
#include "platform/pen.h"

namespace imprimo {

TColor32 Color32(int32_t color) { return 0xFF000000u | ColorToRGB(color); }

void TBitmap32::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      int64_t{width} * height > kMaxBitmapPixels)
    throw EBitmapError("Bitmap size " + std::to_string(width) + " x " + std::to_string(height) +
                       " is out of range");
  if (width == 0 || height == 0) width = height = 0;
  std::vector<TColor32> fresh(static_cast<size_t>(width) * height, 0);
  pixels_.swap(fresh);
  width_ = width;
  height_ = height;
}

void BitmapRowToColor32(const TBitmap& source, int y, TColor32* d) {
  const int width = source.Width();
  const uint8_t* s = source.ScanLine(y);
  switch (source.PixelFormat()) {
    case TPixelFormat::pf32bit:
      std::memcpy(d, s, static_cast<size_t>(width) * 4);
      break;
    case TPixelFormat::pf24bit:
      for (int x = 0; x < width; ++x, s += 3)
        d[x] = 0xFF000000u | (uint32_t{s[2]} << 16) | (uint32_t{s[1]} << 8) | s[0];
      break;
    case TPixelFormat::pf8bit: {
      const auto& pal = source.Palette();
      for (int x = 0; x < width; ++x) {
        if (s[x] < pal.size()) {
          const TPaletteEntry& e = pal[s[x]];
          d[x] = 0xFF000000u | (uint32_t{e.r} << 16) | (uint32_t{e.g} << 8) | e.b;
        } else {
          d[x] = 0xFF000000u;
        }
      }
      break;
    }
    default:
      for (int x = 0; x < width; ++x) d[x] = 0xFF000000u | source.PixelRGB(x, y);
      break;
  }
}

void TBitmap32::AssignFrom(const TBitmap& source) {
  SetSize(source.Width(), source.Height());
  for (int y = 0; y < height_; ++y) BitmapRowToColor32(source, y, ScanLine(y));
}

void TBitmap32::AssignTo(TBitmap& target) const {
  target.SetFormatAndSize(TPixelFormat::pf32bit, width_, height_);
  if (Empty()) return;
  for (int y = 0; y < height_; ++y)
    std::memcpy(target.ScanLine(y), ScanLine(y), static_cast<size_t>(width_) * 4);
}

void TBitmap32::FlipHorz() {
  for (int y = 0; y < height_; ++y) std::reverse(ScanLine(y), ScanLine(y) + width_);
}

void TBitmap32::FlipVert() {
  for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(ScanLine(top), ScanLine(top) + width_, ScanLine(bottom));
}

namespace {

// Moves d toward s by a/255 of the difference, rounded to the nearest.
inline uint32_t Mix(uint32_t s, uint32_t d, uint32_t a) {
  int diff = (static_cast<int>(s) - static_cast<int>(d)) * static_cast<int>(a);
  // 255 is odd, so no exact halves occur.
  int step = diff >= 0 ? (diff + 127) / 255 : -((-diff + 127) / 255);
  return static_cast<uint32_t>(static_cast<int>(d) + step);
}

}  // namespace

TColor32 BlendPixel(TColor32 src, TColor32 dst, uint8_t masterAlpha) {
  uint32_t A = src >> 24;
  uint32_t a = masterAlpha == 255 ? A : ((A + 1) * masterAlpha) >> 8;
  if (a == 0) return dst;
  if (a == 255) return src;  // only reached with A = 255 and M = 255
  const uint32_t da = dst >> 24;
  if (da == 255) {
    // An opaque destination stays opaque; its colour moves toward the source.
    uint32_t b = Mix(src & 0xFF, dst & 0xFF, a);
    uint32_t g = Mix((src >> 8) & 0xFF, (dst >> 8) & 0xFF, a);
    uint32_t r = Mix((src >> 16) & 0xFF, (dst >> 16) & 0xFF, a);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
  }
  // Source over a partly transparent destination, straight alpha: weights
  // scaled by 255, their sum is the resulting alpha times 255.
  const uint32_t ws = a * 255, wd = da * (255 - a), sum = ws + wd;
  auto over = [&](int shift) {
    return ((((src >> shift) & 0xFF) * ws + ((dst >> shift) & 0xFF) * wd + sum / 2) / sum) << shift;
  };
  const uint32_t al = (sum + 127) / 255;
  return (al << 24) | over(16) | over(8) | over(0);
}

void TBitmap32::Draw(int x, int y, const TBitmap32& source) {
  DrawOnto(pixels_.data(), width_, height_, x, y, source);
}

void TBitmap32::DrawOnto(TColor32* pixels, int width, int height, int x, int y,
                         const TBitmap32& source) {
  if (width <= 0 || height <= 0 || source.Empty()) return;
  // Clip in 64 bits: positions may be anywhere in the int range.
  int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
  int64_t right = std::min<int64_t>(int64_t{x} + source.width_, width);
  int64_t bottom = std::min<int64_t>(int64_t{y} + source.height_, height);
  if (left >= right || top >= bottom) return;
  const int sx0 = static_cast<int>(left - x);
  const int count = static_cast<int>(right - left);
  const bool blend = source.drawMode_ == TDrawMode::dmBlend;
  const uint8_t m = source.masterAlpha_;
  for (int64_t ty = top; ty < bottom; ++ty) {
    const TColor32* s = source.ScanLine(static_cast<int>(ty - y)) + sx0;
    TColor32* d = pixels + static_cast<size_t>(ty) * width + left;
    if (!blend) {
      std::memcpy(d, s, static_cast<size_t>(count) * 4);
      continue;
    }
    if (m == 0) continue;
    for (int i = 0; i < count; ++i) {
      TColor32 sp = s[i];
      uint32_t A = sp >> 24;
      if (A == 0) continue;
      if (A == 255 && m == 255) {
        d[i] = sp;
        continue;
      }
      d[i] = BlendPixel(sp, d[i], m);
    }
  }
}

bool TBitmap32::Resize(int width, int height) { return ResizeBitmap32(*this, width, height); }

}  // namespace imprimo
