// AddImageBorder: a frame of one-pixel lines drawn over the edge of the
// working image or in a white margin added around it.
#pragma once

#include <cstdint>

#include "platform/bitmap.h"

namespace imprimo {

// Draws the border; the bitmap is replaced by a 24-bit result (larger when
// drawn outside). Widths below 0 count as 0. False, with the bitmap left as
// it was, when the result cannot be made (for example more than 2^28 pixels).
bool AddImageBorder(TBitmap& bitmap, int32_t top, int32_t right, int32_t bottom, int32_t left,
                    int32_t color, int32_t style, bool inside);

}  // namespace imprimo
