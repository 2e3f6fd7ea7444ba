// Feeds arbitrary text to the X pixmap decoder.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/xpm_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    imprimo::RasterImage img = imprimo::DecodeXpm(std::span<const uint8_t>(data, size));
    (void)img.Size;
  } catch (const imprimo::EImagingError&) {
  }
  return 0;
}
