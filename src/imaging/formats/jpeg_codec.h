// JPEG coding through the IJG-interface library (version 62).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

namespace imprimo {

// Decodes a JPEG file: gray -> Gray8, colour -> R8G8B8, CMYK (Adobe, inverted
// samples) -> A8R8G8B8 with alpha 255; a CMYK file with an embedded CMYK
// profile is converted to sRGB through that profile, one without by the
// plain formula of JpegCmykToBgra. Throws EImagingError on any fault,
// including data that ends before the image is complete.
void DecodeJpeg(std::span<const uint8_t> data, RasterImage& image);
// The same at the smallest of 1/8, 1/4, 1/2 and full size whose sides are
// still at least minWidth and minHeight (for small pictures of large files).
void DecodeJpegReduced(std::span<const uint8_t> data, int minWidth, int minHeight,
                       RasterImage& image);

// Writes a Gray8 image as one-component grayscale or an R8G8B8 image as
// three-component YCbCr with the library's defaults (JFIF header), quality
// 1..100 and optional progressive coding.
void EncodeJpeg(const RasterImage& image, int quality, bool progressive, TImagingStream& out);

// Chroma sampling and JFIF density of a written file.
struct TJpegWriteExtras {
  int Subsampling = 0;  // 0 default (2x2), 1 2x1, 2 1x1
  int DensityUnit = 0;  // 0 aspect ratio only, 1 dots per inch, 2 dots per cm
  int DensityX = 1;
  int DensityY = 1;
};
void EncodeJpeg(const RasterImage& image, int quality, bool progressive,
                const TJpegWriteExtras& extras, TImagingStream& out);

// CMYK sample conversion of the loader; samples as stored in the file.
void JpegCmykToBgra(const uint8_t* cmyk, int count, uint8_t* bgra);

}  // namespace imprimo
