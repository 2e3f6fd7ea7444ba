// Feeds arbitrary bytes to the IMG, CIF, BSI and texture decoders, every
// image of the file; anything but valid images or an imaging error is a finding.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/daggerfall_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace imprimo;
  const std::span<const uint8_t> bytes(data, size);
  const TElderPalette& palette = DaggerfallImagePalette();
  for (auto decode : {&DecodeDaggerfallCif, &DecodeBsi, &DecodeDaggerfallTexture}) {
    TDynImageDataArray images;
    try {
      decode(bytes, palette, images, false);
      for (const RasterImage& image : images)
        if (!ImageIsValid(image)) __builtin_trap();
    } catch (const EImagingError&) {
    }
  }
  try {
    if (!ImageIsValid(DecodeDaggerfallImg(bytes, palette))) __builtin_trap();
  } catch (const EImagingError&) {
  }
  return 0;
}
