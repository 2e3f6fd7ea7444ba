// Feeds arbitrary bytes to the AVIF decoder and its metadata reader.
// Seeds: fuzz/seeds/avif (made with the library's command-line encoder).
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/heif_format.h"
#include "imaging/raster_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  try {
    imprimo::RasterImage img = imprimo::DecodeHeif(bytes);
    if (!imprimo::ImageIsValid(img)) __builtin_trap();
  } catch (const imprimo::EImagingError&) {
  }
  try {
    (void)imprimo::ReadHeifMetadata(bytes);
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
