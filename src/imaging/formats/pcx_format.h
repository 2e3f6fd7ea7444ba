// ZSoft Paintbrush files: byte-level entry point of the loader.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/raster_image.h"

namespace imprimo {

// Decodes 1, 2, 4 and 8 bits per pixel in one plane, 1 bit in 2 to 4 planes
// (EGA), and 8 bits in 3 or 4 planes (true colour, the fourth plane alpha),
// raw or run-length coded. Palettized images become Index8 with the header's
// 16-entry palette or the trailing 256-entry palette; true colour becomes
// R8G8B8 or A8R8G8B8. Throws EImagingError on bad or truncated data.
RasterImage DecodePcx(std::span<const uint8_t> data);

}  // namespace imprimo
