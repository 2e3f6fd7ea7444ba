// DrawPictureLayer: paints one picture layer (a logo) onto the image being
// stamped, with its colour key, mirrors, opacity and placement.
#pragma once

#include "imageops/bitmap32.h"
#include "platform/bitmap.h"
#include "render/mark_item.h"

namespace imprimo {

// Paints the logo on bitmap as item describes; bitmap becomes a 32-bit bitmap
// of the same size, unless rgbStaysRgb is set and it is a 24-bit bitmap: that
// one is drawn on in place, its pixels ending as the colours of the 32-bit
// result (for outputs that drop alpha anyway). The logo is only read. False
// when a failure interrupted the layer (the bitmap is then unchanged). Tiling
// with a step that is not positive draws the logo once at the top-left corner.
// A layer sized relative to the picture is resampled to that size first (see
// relative_layout.h); one kept to the other orientation leaves the bitmap as
// it is.
bool DrawPictureLayer(TBitmap& bitmap, TMarkItem item, const TBitmap32& logo,
                      bool rgbStaysRgb = false);

}  // namespace imprimo
