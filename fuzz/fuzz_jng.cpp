// Feeds arbitrary bytes to the JNG decoder; anything but a clean image or an
// imaging error is a finding.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/jng_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  imprimo::RasterImage image;
  try {
    imprimo::DecodeJng(std::span<const uint8_t>(data, size), image);
    if (!imprimo::ImageIsValid(image)) __builtin_trap();
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
