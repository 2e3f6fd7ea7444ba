// Feeds arbitrary bytes to the WebP decoder and its metadata chunk reader,
// and re-encodes what decodes. Seeds: fuzz/seeds/webp.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/webp_format.h"
#include "imaging/raster_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  (void)imprimo::ReadWebPMetadata(bytes);
  try {
    imprimo::RasterImage img = imprimo::DecodeWebP(bytes);
    if (!imprimo::ImageIsValid(img)) __builtin_trap();
    if (img.Width * img.Height <= 4096) (void)imprimo::EncodeWebP(img, {});
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
