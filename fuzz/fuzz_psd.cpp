// Feeds arbitrary bytes to the Photoshop decoder.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/psd_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    imprimo::RasterImage img = imprimo::DecodePsd(std::span<const uint8_t>(data, size));
    (void)imprimo::EncodePsd(img);
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
