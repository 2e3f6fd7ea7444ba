// Feeds arbitrary bytes to the DirectDraw surface decoder, every image, and
// converts block-compressed results through their codecs.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/dds_format.h"
#include "imaging/raster_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    for (imprimo::RasterImage& img :
         imprimo::DecodeDds(std::span<const uint8_t>(data, size), false)) {
      if (!imprimo::ImageIsValid(img)) __builtin_trap();
      imprimo::ImageConvert(img, imprimo::ifA8R8G8B8);
    }
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
