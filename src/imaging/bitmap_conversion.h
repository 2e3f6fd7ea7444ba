// Conversions between a RasterImage and the software TBitmap the rest of the
// program draws on.
#pragma once

#include "imaging/raster_image.h"
#include "platform/bitmap.h"

namespace imprimo {

// Fills bitmap from image (8-bit with palette, 16, 24 or 32 bits; other pixel
// formats go through a converted copy). Throws EImagingError on failure.
void ImageToBitmap(const RasterImage& image, TBitmap& bitmap);
// Fills image from bitmap. 1-bit, 4-bit and device bitmaps are switched to
// 8 bits first, custom ones to 32 bits. Throws EImagingError on failure.
void BitmapToImage(TBitmap& bitmap, RasterImage& image);

// The same two conversions for a caller that no longer needs the source: a
// 24- or 32-bit picture hands its pixel block over instead of being copied
// (both keep their rows in the same layout). Other formats are converted as
// above. The source is left empty either way.
void MoveImageToBitmap(RasterImage& image, TBitmap& bitmap);
void MoveBitmapToImage(TBitmap& bitmap, RasterImage& image);

}  // namespace imprimo
