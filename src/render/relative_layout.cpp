#include "render/relative_layout.h"

#include <algorithm>
#include <cmath>

#include "platform/bitmap.h"

namespace imprimo {

namespace {

int64_t ShorterSide(int W, int H) { return std::max(0, std::min(W, H)); }

// v per mille of side, rounded half away from zero, held far inside int.
int PerMille(int64_t v, int64_t side) {
  const int64_t scaled = v * side;
  const int64_t rounded = (scaled >= 0 ? scaled + 500 : scaled - 500) / 1000;
  return static_cast<int>(std::clamp<int64_t>(rounded, INT32_MIN / 4, INT32_MAX / 4));
}

int ScaleLength(int v, double factor, int lo, int hi) {
  return static_cast<int>(std::clamp<double>(std::round(v * factor), lo, hi));
}

}  // namespace

bool LayerShownOn(const TMarkItem& item, int W, int H) {
  switch (item.ShowOn) {
    case 1:
      return W >= H;
    case 2:
      return H > W;
    default:
      return true;
  }
}

int RelativeLength(const TMarkItem& item, int W, int H) {
  if (item.PlaceStyle == 2) return 0;
  if (item.RelativeSize < 1 || item.RelativeSize > kMaxRelativeSize) return 0;
  int64_t side = 0;
  if (item.SizeMode == 1)
    side = ShorterSide(W, H);
  else if (item.SizeMode == 2)
    side = std::max(0, W);
  else
    return 0;
  // Never more than the side itself, which the bitmap limits keep in range.
  return std::max(1, std::min(PerMille(item.RelativeSize, side), kMaxBitmapSide));
}

void ResolveRelativeMargins(TMarkItem& item, int W, int H) {
  if (item.OffsetMode != 1) return;
  const int64_t side = ShorterSide(W, H);
  item.OffsetX = PerMille(item.OffsetX, side);
  item.OffsetY = PerMille(item.OffsetY, side);
  item.HorzSpace = PerMille(item.HorzSpace, side);
  item.VertSpace = PerMille(item.VertSpace, side);
}

void ScaleLayerEffects(TMarkItem& item, double factor) {
  if (!(factor > 0) || factor == 1.0 || !std::isfinite(factor)) return;
  // The offsets travel as signed bytes and the spray radius up to 100.
  item.ShadowOffsetX = ScaleLength(item.ShadowOffsetX, factor, -127, 127);
  item.ShadowOffsetY = ScaleLength(item.ShadowOffsetY, factor, -127, 127);
  if (item.Spray > 0 && item.Spray <= 100) item.Spray = ScaleLength(item.Spray, factor, 1, 100);
}

TLogoSize RelativeLogoSize(int w, int h, int length) {
  if (w < 1 || h < 1 || length < 1) return {w, h};
  const double larger = std::max(w, h);
  const double factor = std::min<double>(length / larger, kMaxLogoEnlargement);
  auto side = [&](int v) {
    return static_cast<int>(std::clamp<double>(std::round(v * factor), 1, kMaxBitmapSide));
  };
  return {side(w), side(h)};
}

}  // namespace imprimo
