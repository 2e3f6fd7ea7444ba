// Feeds arbitrary bytes to the JPEG 2000 decoder (JP2 files and bare code
// streams); anything but a valid image or an imaging error is a finding.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/jp2_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    imprimo::RasterImage image = imprimo::DecodeJp2(std::span<const uint8_t>(data, size));
    if (!imprimo::ImageIsValid(image)) __builtin_trap();
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
