// Helpers for the DDS, PSD, PCX and XPM tests.
#pragma once

#include <cstdint>

#include "imaging/raster_image.h"
#include "support/imaging_support.h"

namespace imprimo::fmta {

using ::imprimo::testing::Pixels;
using ::imprimo::testing::Psnr;
using ::imprimo::testing::SmoothImage;

// Seeded random pixels; floating-point formats get finite values in 0..1
// (half floats included), indexed formats a random palette.
inline RasterImage RandomImage(TImageFormat format, int w, int h, uint32_t seed = 7) {
  return ::imprimo::testing::RandomImage(format, w, h, seed, /*finiteFloats=*/true);
}

}  // namespace imprimo::fmta
