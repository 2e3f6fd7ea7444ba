#include "render/mask_blend.h"

#include <algorithm>

#include "platform/canvas.h"
#include "render/text_renderer.h"

namespace imprimo {

TIABlend::TIABlend(TIAFont* owner) : owner_(owner) {}

void TIABlend::Assign(const TPersistent& source) {
  auto* src = dynamic_cast<const TIABlend*>(&source);
  if (!src) AssignError(source);
  foreground_ = src->foreground_;
}

void TIABlend::PaintColor(int x, int y, const TIAMask& mask, int opacity, TColor color) {
  if (!owner_ || !owner_->Canvas()) return;
  TRGB c = ColorToTRGB(color);
  Paint(x, y, mask, opacity, &c);
}

void TIABlend::PaintForeground(int x, int y, const TIAMask& mask, int opacity) {
  if (!owner_ || !owner_->Canvas()) return;
  if (foreground_.Width() != mask.Width() || foreground_.Height() != mask.Height() ||
      foreground_.PixelFormat() != TPixelFormat::pf24bit)
    throw EInvalidForeBmp();
  Paint(x, y, mask, opacity, nullptr);
}

namespace {

// Blends colour (b, g, r) at weight k (1..255) over a 32-bit pixel with
// straight alpha. An opaque pixel takes the colour exactly as a 24-bit one
// would and stays opaque; over a partly or fully transparent pixel the
// result is the colour laid over it, with k added to its alpha.
inline void BlendOver32(uint8_t* p, uint8_t cb, uint8_t cg, uint8_t cr, int k) {
  if (k >= 255) {
    p[0] = cb, p[1] = cg, p[2] = cr, p[3] = 255;
    return;
  }
  const int da = p[3];
  if (da == 255) {
    p[0] = static_cast<uint8_t>(p[0] + (((cb - p[0]) * k) >> 8));
    p[1] = static_cast<uint8_t>(p[1] + (((cg - p[1]) * k) >> 8));
    p[2] = static_cast<uint8_t>(p[2] + (((cr - p[2]) * k) >> 8));
    return;
  }
  // Weights scaled by 255: the new colour's k * 255, the old one's
  // da * (255 - k); their sum is the resulting alpha times 255.
  const int ws = k * 255, wd = da * (255 - k), sum = ws + wd;
  p[0] = static_cast<uint8_t>((cb * ws + p[0] * wd + sum / 2) / sum);
  p[1] = static_cast<uint8_t>((cg * ws + p[1] * wd + sum / 2) / sum);
  p[2] = static_cast<uint8_t>((cr * ws + p[2] * wd + sum / 2) / sum);
  p[3] = static_cast<uint8_t>((sum + 127) / 255);
}

}  // namespace

void TIABlend::Paint(int x, int y, const TIAMask& mask, int opacity, const TRGB* color) {
  TCanvas& canvas = *owner_->Canvas();
  TBitmap& target = canvas.Bitmap();
  const int w = mask.Width(), h = mask.Height();
  if (w == 0 || h == 0) return;
  // Only the part of the rectangle inside the target can change; the work
  // bitmap covers just that part.
  int x0 = std::max(x, 0), y0 = std::max(y, 0);
  int x1 = std::min<int64_t>(int64_t{x} + w, target.Width());
  int y1 = std::min<int64_t>(int64_t{y} + h, target.Height());
  if (x0 >= x1 || y0 >= y1) return;
  const int ww = x1 - x0, wh = y1 - y0;
  const int a = std::clamp(opacity, 0, 100) * 256 / 100;
  const int mx = x0 - x, my = y0 - y;

  if (target.PixelFormat() == TPixelFormat::pf32bit) {
    // A 32-bit target is blended in place so that its alpha survives: a
    // round trip through the 24-bit work bitmap would clear it.
    const bool solid = canvas.Brush().Style == TBrushStyle::bsSolid;
    const TRGB box = ColorToTRGB(canvas.Brush().Color);
    for (int r = 0; r < wh; ++r) {
      const uint8_t* m = mask.Row(my + r) + mx;
      uint8_t* p = target.ScanLine(y0 + r) + 4 * size_t(x0);
      const uint8_t* f = color ? nullptr : foreground_.ScanLine(my + r) + 3 * mx;
      for (int i = 0; i < ww; ++i, p += 4) {
        if (solid) p[0] = box.b, p[1] = box.g, p[2] = box.r, p[3] = 255;
        const int k = (m[i] * a) >> 8;
        if (k == 0) continue;
        if (color)
          BlendOver32(p, color->b, color->g, color->r, k);
        else
          BlendOver32(p, f[3 * i], f[3 * i + 1], f[3 * i + 2], k);
      }
    }
    return;
  }

  work_.SetFormatAndSize(TPixelFormat::pf24bit, ww, wh);
  if (canvas.Brush().Style == TBrushStyle::bsSolid) {
    TCanvas wc(work_);
    wc.Brush() = canvas.Brush();
    wc.FillRect({0, 0, ww, wh});
  } else {
    BitBlt(work_, 0, 0, ww, wh, target, x0, y0);
  }
  for (int r = 0; r < wh; ++r) {
    const uint8_t* m = mask.Row(my + r) + mx;
    uint8_t* p = work_.ScanLine(r);
    const uint8_t* f = color ? nullptr : foreground_.ScanLine(my + r) + 3 * mx;
    for (int i = 0; i < ww; ++i, p += 3) {
      int k = (m[i] * a) >> 8;
      if (k == 0) continue;
      uint8_t cb, cg, cr;
      if (color) {
        cb = color->b, cg = color->g, cr = color->r;
      } else {
        cb = f[3 * i], cg = f[3 * i + 1], cr = f[3 * i + 2];
      }
      if (k >= 255) {
        p[0] = cb, p[1] = cg, p[2] = cr;
      } else {
        p[0] = static_cast<uint8_t>(p[0] + (((cb - p[0]) * k) >> 8));
        p[1] = static_cast<uint8_t>(p[1] + (((cg - p[1]) * k) >> 8));
        p[2] = static_cast<uint8_t>(p[2] + (((cr - p[2]) * k) >> 8));
      }
    }
  }
  BitBlt(target, x0, y0, ww, wh, work_, 0, 0);
}

}  // namespace imprimo
