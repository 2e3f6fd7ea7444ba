// Pixel-level helpers shared by the conversion code and the file formats.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/raster_image.h"

namespace imprimo {

// The layer's global options (ids 128 to 131).
struct TGlobalImagingOptions {
  int32_t ColorReductionMask = 255;
  int32_t LoadOverrideFormat = 0;
  int32_t SaveOverrideFormat = 0;
  int32_t MipMapFilter = 1;
};
TGlobalImagingOptions& GlobalImagingOptions();

// Reduces count B,G,R,A pixels to at most maxColors palette entries and maps
// every pixel to an index. mask is ANDed into every channel first.
void ReduceColors(const TColor32Rec* pixels, size_t count, uint8_t* indices, TColor32Rec* palette,
                  int maxColors, uint8_t mask);

// ImageCreate for a caller that writes every pixel byte itself: the pixel
// bytes are left uninitialised (the palette is still zeroed).
void ImageCreateForOverwrite(RasterImage& image, int32_t width, int32_t height,
                             TImageFormat format);

// Half-precision float conversions.
float HalfToFloat(uint16_t h);
uint16_t FloatToHalf(float f);

}  // namespace imprimo
