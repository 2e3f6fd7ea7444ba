// Feeds arbitrary bytes to the GIF decoder, every image of the file; anything
// but clean images or an imaging error is a finding.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/gif_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  imprimo::TDynImageDataArray images;
  try {
    imprimo::DecodeGifImages(std::span<const uint8_t>(data, size), images, false);
    for (const imprimo::RasterImage& image : images)
      if (!imprimo::ImageIsValid(image)) __builtin_trap();
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
