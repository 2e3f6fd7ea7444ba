// Feeds arbitrary bytes to the MNG decoder (every embedded image); anything
// but clean images or an imaging error is a finding.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/formats/mng_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<imprimo::RasterImage> images;
  try {
    imprimo::DecodeMng(std::span<const uint8_t>(data, size), images, false);
    for (const auto& image : images)
      if (!imprimo::ImageIsValid(image)) __builtin_trap();
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
