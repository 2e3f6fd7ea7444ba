#include "render/picture_layer.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "imageops/resize.h"
#include "render/text_layer.h"

namespace imprimo {

namespace {

int ClampToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

bool DrawPictureLayer(TBitmap& bitmap, TMarkItem item, const TBitmap32& logo) {
  try {
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
    const int w = mark.Width(), h = mark.Height();
    TBitmap32 image;
    image.AssignFrom(bitmap);
    switch (item.PlaceStyle) {
      case 1: {
        const int64_t stepX = int64_t{w} + item.HorzSpace;
        const int64_t stepY = int64_t{h} + item.VertSpace;
        if (stepX <= 0 || stepY <= 0) {
          // A step that is not positive would never leave the first tile.
          image.Draw(0, 0, mark);
          break;
        }
        for (int64_t y = 0; y < H; y += stepY)
          for (int64_t x = 0; x < W; x += stepX)
            image.Draw(static_cast<int>(x), static_cast<int>(y), mark);
        break;
      }
      case 2: {
        const int64_t hs = item.HorzSpace, vs = item.VertSpace;
        const int64_t tw = W > 2 * hs ? W - 2 * hs : W;
        const int64_t th = H > 2 * vs ? H - 2 * vs : H;
        // A size the resize refuses leaves the logo as loaded.
        if (tw <= kMaxBitmapSide && th <= kMaxBitmapSide)
          ResizeBitmap32(mark, static_cast<int32_t>(tw), static_cast<int32_t>(th));
        image.Draw(ClampToInt(hs), ClampToInt(vs), mark);
        break;
      }
      default: {
        const int position = item.PlaceStyle == 3 ? 0 : item.Position;
        const TPlacePoint pt = PlaceInImage(W, H, w, h, position);
        image.Draw(ClampToInt(int64_t{pt.x} + item.OffsetX),
                   ClampToInt(int64_t{pt.y} + item.OffsetY), mark);
        break;
      }
    }
    image.AssignTo(bitmap);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace imprimo
