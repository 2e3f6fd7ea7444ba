#include "render/picture_layer.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "imageops/resize.h"
#include "render/relative_layout.h"
#include "render/text_layer.h"

namespace imprimo {

namespace {

int ClampToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Resizes the logo with its colours weighted by their opacity, so that the
// colour of keyed-out or transparent pixels does not bleed into the edges.
void ScaleLogo(TBitmap32& mark, int w, int h) {
  if (w == mark.Width() && h == mark.Height()) return;
  TColor32* p = mark.Bits();
  const size_t n = size_t(mark.Width()) * mark.Height();
  for (size_t i = 0; i < n; ++i) {
    const uint32_t a = p[i] >> 24;
    auto pre = [&](int shift) { return ((((p[i] >> shift) & 0xFF) * a + 127) / 255) << shift; };
    p[i] = (a << 24) | pre(16) | pre(8) | pre(0);
  }
  ResizeBitmap32(mark, w, h);
  p = mark.Bits();
  for (size_t i = 0, m = size_t(mark.Width()) * mark.Height(); i < m; ++i) {
    const uint32_t a = p[i] >> 24;
    if (a == 0) continue;
    auto un = [&](int shift) {
      return std::min<uint32_t>(255, (((p[i] >> shift) & 0xFF) * 255 + a / 2) / a) << shift;
    };
    p[i] = (a << 24) | un(16) | un(8) | un(0);
  }
}

}  // namespace

namespace {

// Draws mark at (x, y) onto a 24-bit bitmap in place. Every pixel of such a
// bitmap is opaque, so each one ends as it would on the opaque 32-bit copy
// of the bitmap, without making that copy.
void DrawOntoRgb(TBitmap& bitmap, int x, int y, const TBitmap32& mark) {
  const int W = bitmap.Width(), H = bitmap.Height();
  if (W <= 0 || H <= 0 || mark.Empty()) return;
  const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(int64_t{x} + mark.Width(), W);
  const int64_t bottom = std::min<int64_t>(int64_t{y} + mark.Height(), H);
  if (left >= right || top >= bottom) return;
  // The mark is always blended (its draw mode is set to blend).
  const uint8_t m = mark.MasterAlpha();
  if (m == 0) return;
  const int sx0 = static_cast<int>(left - x);
  const int count = static_cast<int>(right - left);
  for (int64_t ty = top; ty < bottom; ++ty) {
    const TColor32* s = mark.ScanLine(static_cast<int>(ty - y)) + sx0;
    uint8_t* d = bitmap.ScanLine(static_cast<int>(ty)) + 3 * left;
    for (int i = 0; i < count; ++i, d += 3) {
      if ((s[i] >> 24) == 0) continue;
      // The blend of the 32-bit path, on the opaque pixel this one stands for.
      const TColor32 under = 0xFF000000u | (uint32_t{d[2]} << 16) | (uint32_t{d[1]} << 8) | d[0];
      const TColor32 p = BlendPixel(s[i], under, m);
      d[0] = static_cast<uint8_t>(p);
      d[1] = static_cast<uint8_t>(p >> 8);
      d[2] = static_cast<uint8_t>(p >> 16);
    }
  }
}

}  // namespace

bool DrawPictureLayer(TBitmap& bitmap, TMarkItem item, const TBitmap32& logo, bool rgbStaysRgb) {
  try {
    if (!LayerShownOn(item, bitmap.Width(), bitmap.Height())) return true;
    ResolveRelativeMargins(item, bitmap.Width(), bitmap.Height());
    TBitmap32 mark = logo;
    if (item.isBGTransparent) {
      const TColor32 key = Color32(item.BGColor) & 0x00FFFFFFu;
      TColor32* p = mark.Bits();
      for (size_t i = 0, n = size_t(mark.Width()) * mark.Height(); i < n; ++i)
        if ((p[i] & 0x00FFFFFFu) == key) p[i] &= 0x00FFFFFFu;
    }
    if (item.HorzMirror) mark.FlipHorz();
    if (item.VertMirror) mark.FlipVert();
    mark.SetDrawMode(TDrawMode::dmBlend);
    // Percentages outside 0..100 are held to the ends of the range.
    mark.SetMasterAlpha(
        static_cast<uint8_t>(std::clamp<int64_t>(int64_t{item.Alpha} * 255 / 100, 0, 255)));

    const int W = bitmap.Width(), H = bitmap.Height();
    if (const int length = RelativeLength(item, W, H); length > 0) {
      const TLogoSize size = RelativeLogoSize(mark.Width(), mark.Height(), length);
      ScaleLogo(mark, size.w, size.h);
    }
    const int w = mark.Width(), h = mark.Height();
    // The image is drawn on as 32-bit pixels. A 32-bit bitmap already has
    // that layout and is drawn on in place; any other is converted into a
    // new 32-bit bitmap that replaces it at the end.
    // When the caller asks for it, a 24-bit bitmap keeps its format and is
    // drawn on in place.
    TBitmap converted;
    TBitmap* target = &bitmap;
    const bool inPlaceRgb = rgbStaysRgb && bitmap.PixelFormat() == TPixelFormat::pf24bit;
    if (bitmap.PixelFormat() != TPixelFormat::pf32bit && !inPlaceRgb) {
      converted.SetFormatAndSizeForOverwrite(TPixelFormat::pf32bit, W, H);
      for (int y = 0; y < H; ++y)
        BitmapRowToColor32(bitmap, y, reinterpret_cast<TColor32*>(converted.ScanLine(y)));
      target = &converted;
    }
    TColor32* pixels = inPlaceRgb ? nullptr : reinterpret_cast<TColor32*>(target->Bits());
    auto draw = [&](int x, int y) {
      if (inPlaceRgb)
        DrawOntoRgb(bitmap, x, y, mark);
      else
        TBitmap32::DrawOnto(pixels, W, H, x, y, mark);
    };
    switch (item.PlaceStyle) {
      case 1: {
        const int64_t stepX = int64_t{w} + item.HorzSpace;
        const int64_t stepY = int64_t{h} + item.VertSpace;
        if (stepX <= 0 || stepY <= 0) {
          // A step that is not positive would never leave the first tile.
          draw(0, 0);
          break;
        }
        for (int64_t y = 0; y < H; y += stepY)
          for (int64_t x = 0; x < W; x += stepX) draw(static_cast<int>(x), static_cast<int>(y));
        break;
      }
      case 2: {
        const int64_t hs = item.HorzSpace, vs = item.VertSpace;
        const int64_t tw = W > 2 * hs ? W - 2 * hs : W;
        const int64_t th = H > 2 * vs ? H - 2 * vs : H;
        // A size the resize refuses leaves the logo as loaded.
        if (tw <= kMaxBitmapSide && th <= kMaxBitmapSide)
          ResizeBitmap32(mark, static_cast<int32_t>(tw), static_cast<int32_t>(th));
        draw(ClampToInt(hs), ClampToInt(vs));
        break;
      }
      default: {
        const int position = item.PlaceStyle == 3 ? 0 : item.Position;
        const TPlacePoint pt = PlaceInImage(W, H, w, h, position);
        draw(ClampToInt(int64_t{pt.x} + item.OffsetX), ClampToInt(int64_t{pt.y} + item.OffsetY));
        break;
      }
    }
    if (target == &converted) bitmap = std::move(converted);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace imprimo
