// Feeds arbitrary bytes to the Paintbrush decoder.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/pcx_format.h"
#include "imaging/raster_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    imprimo::RasterImage img = imprimo::DecodePcx(std::span<const uint8_t>(data, size));
    if (!imprimo::ImageIsValid(img)) __builtin_trap();
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
