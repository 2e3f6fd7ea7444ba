// One-pixel pens and line drawing over a TBitmap: solid lines and the four
// styled patterns of a cosmetic pen.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/bitmap.h"

namespace imprimo {

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot };

// Maps a stored style number to a pen style: 0..4 as listed, negative values
// count as solid, 5 and above are drawn solid as well.
TPenStyle PenStyleFromInt(int32_t style);

// 0x00RRGGBB of a TColor (0x00BBGGRR; system colours resolved).
uint32_t ColorToRGB(int32_t color);

struct TPen {
  int32_t Color = 0;  // TColor
  TPenStyle Style = TPenStyle::psSolid;
};

// Draws a one-pixel line from (x0, y0) up to but not including (x1, y1). The
// dash pattern starts afresh at (x0, y0). Pixels outside the bitmap are
// skipped. With gapColor set (an opaque background) the gaps of a styled
// pen are painted in that 0x00RRGGBB colour; without it they are left alone.
void PenLine(TBitmap& bitmap, const TPen& pen, int x0, int y0, int x1, int y1,
             std::optional<uint32_t> gapColor = std::nullopt);

// Fills a rectangle [left, right) x [top, bottom), clipped, with a 0x00RRGGBB
// colour.
void FillRectRGB(TBitmap& bitmap, int left, int top, int right, int bottom, uint32_t rgb);

}  // namespace imprimo
