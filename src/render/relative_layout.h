// Layers that fit every picture: sizes and margins given relative to the
// picture they are drawn on, and layers shown only on pictures of one
// orientation.
//
// Where the keys apply, by placement mode:
//   - SizeMode / RelativeSize: modes 0, 1 (tiles, the step follows the
//     computed size), 3 and every other value; mode 2 keeps its own fitted
//     size (the line fitted to the width, the logo stretched to the picture).
//   - OffsetMode: every mode; OffsetX/OffsetY where the mode uses them (0, 3,
//     others), HorzSpace/VertSpace as tile gaps (1) or margins (2).
//   - ShowOn: every mode.
#pragma once

#include <cstdint>

#include "render/mark_item.h"

namespace imprimo {

// A logo is never enlarged by more than this factor: beyond it the linear
// resampling only spreads each of its pixels into a soft ramp, and a blurred
// mark looks worse than a smaller sharp one.
constexpr int kMaxLogoEnlargement = 4;

// Largest relative size, per mille: a mark as large as the side it is
// measured on.
constexpr int32_t kMaxRelativeSize = 1000;

// Whether the layer is drawn on a W x H picture: ShowOn 1 keeps it to
// landscape and square pictures, 2 to portraits; other values show it on
// every picture.
bool LayerShownOn(const TMarkItem& item, int W, int H);

// The size in pixels the layer asks for on a W x H picture: for a text the
// cell height of its font (ascent plus descent, the height of an unrotated
// line without shadow), for a logo its larger side. 0 when the layer keeps
// its own size: SizeMode 0 or a value it does not know, RelativeSize outside
// 1..kMaxRelativeSize, placement mode 2, or an empty picture.
int RelativeLength(const TMarkItem& item, int W, int H);

// OffsetMode 1: OffsetX, OffsetY, HorzSpace and VertSpace are per mille of
// the picture's shorter side; they are turned into pixels here. Other modes
// leave the item as it is.
void ResolveRelativeMargins(TMarkItem& item, int W, int H);

// A layer drawn at factor times its designed size: the shadow offsets and
// the spray radius (pixel lengths) follow, within the ranges the effects
// accept. Factor 1 changes nothing.
void ScaleLayerEffects(TMarkItem& item, double factor);

// The size a w x h logo is drawn at for the relative length (its larger
// side), enlarged by at most kMaxLogoEnlargement and at least 1 x 1.
struct TLogoSize {
  int w = 0, h = 0;
};
TLogoSize RelativeLogoSize(int w, int h, int length);

}  // namespace imprimo
