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
  work_.SetFormatAndSize(TPixelFormat::pf24bit, ww, wh);

  const int a = std::clamp(opacity, 0, 100) * 256 / 100;
  if (canvas.Brush().Style == TBrushStyle::bsSolid) {
    TCanvas wc(work_);
    wc.Brush() = canvas.Brush();
    wc.FillRect({0, 0, ww, wh});
  } else {
    BitBlt(work_, 0, 0, ww, wh, target, x0, y0);
  }
  const int mx = x0 - x, my = y0 - y;
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
