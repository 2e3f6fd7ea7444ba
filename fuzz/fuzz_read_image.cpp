// Feeds arbitrary bytes to format detection and the whole load path a batch
// run uses; what loads must be a valid image.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  imprimo::TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  (void)imprimo::DetectStreamFormat(stream);
  stream.Seek(0, imprimo::TSeekOrigin::Begin);
  imprimo::RasterImage image;
  try {
    if (imprimo::ReadImageStream(stream, image) && !imprimo::ImageIsValid(image)) __builtin_trap();
  } catch (const imprimo::EImagingError&) {
  }
  imprimo::ImageFree(image);
  return 0;
}
