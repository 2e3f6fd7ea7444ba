// Resizing: the pipeline's size restriction of the working bitmap, the exact
// resize of a 32-bit logo and the resampler of RasterImage records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "imaging/raster_image.h"
#include "platform/bitmap.h"

namespace imprimo {

class TBitmap32;

enum TResizeFilter : int32_t { rfNearest = 0, rfBilinear = 1, rfBicubic = 2 };

// The new size a resize mode gives for a w x h image and the target W x H.
// Modes -4..-1 and every mode outside 0..3 count as 0. Empty when the
// arithmetic fails (a division by zero, a result that is not finite).
struct TNewSize {
  int64_t Width = 0, Height = 0;
};
std::optional<TNewSize> ComputeRestrictedSize(int32_t w, int32_t h, int32_t W, int32_t H,
                                              int32_t mode);

// Restricts the bitmap to W x H in the given mode with the cubic filter. True
// when resized, or left unchanged because it would grow in both directions;
// false on any failure (the bitmap is then as it was).
bool RestrictImageSize(TBitmap& bitmap, int32_t width, int32_t height, int32_t mode);

// Resizes the logo in place to exactly width x height with the linear filter.
// False on failure, leaving the logo unchanged.
bool ResizeBitmap32(TBitmap32& logo, int32_t width, int32_t height);

// Replaces the image's pixels with a resampled width x height copy in the same
// pixel format. Width or height below 1 throw EImagingError; an invalid image
// or an unchanged size returns false and changes nothing.
bool ImageResize(RasterImage& image, int32_t width, int32_t height, int32_t filter);

}  // namespace imprimo
