// Feeds arbitrary bytes to the TIFF structure check, decoder and metadata
// reader, and re-encodes what decodes. Seeds: fuzz/seeds/tiff.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/tiff_format.h"
#include "imaging/raster_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  try {
    imprimo::RasterImage img = imprimo::DecodeTiff(bytes);
    if (!imprimo::ImageIsValid(img)) __builtin_trap();
    if (img.Width * img.Height <= 4096) {
      const imprimo::TImageFormat f = img.Format;
      if (f == imprimo::ifR32F || f == imprimo::ifA32R32G32B32F)
        imprimo::ImageConvert(img, imprimo::ifA16R16G16B16);
      (void)imprimo::EncodeTiff(img, {});
    }
  } catch (const imprimo::EImagingError&) {
  }
  try {
    (void)imprimo::ReadTiffMetadata(bytes);
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
