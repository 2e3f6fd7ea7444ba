// Feeds arbitrary bytes as the source whose metadata is carried into a small
// JPEG output and a small PNG output (through the source's metadata record),
// and to the header peek of the memory budget.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "exif/metadata_writer.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/imaging_stream.h"
#include "imaging/picture_metadata.h"

namespace {

struct TOutputs {
  imprimo::RasterImage pixels;
  std::vector<uint8_t> jpeg;
  std::vector<uint8_t> png;
  TOutputs() {
    imprimo::ImageCreate(pixels, 8, 8, imprimo::ifR8G8B8);
    imprimo::TMemoryStream stream;
    imprimo::EncodeJpeg(pixels, 75, false, stream);
    jpeg = stream.Data();
    // An 8 x 8 RGB PNG header and end: enough for the chunk rewriting.
    const char header[] =
        "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x08\0\0\0\x08\x08\x02\0\0\0\x4B\x6D\x29\xDC"
        "\0\0\0\0IEND\xAE\x42\x60\x82";
    png.assign(header, header + sizeof header - 1);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TOutputs outputs;
  const std::span<const uint8_t> source(data, size);
  std::vector<std::string> warnings;
  imprimo::TMetadataOptions options;
  options.StripLocation = size % 2 == 1;
  options.SetOrientation1 = size % 3 == 1;
  (void)imprimo::ComposeOutputMetadata(source, outputs.jpeg, outputs.pixels, options, warnings);
  (void)imprimo::ComposeOutputMetadata(source, outputs.png, outputs.pixels, options, warnings);
  int64_t width = 0, height = 0;
  (void)imprimo::PeekPictureSize(source, width, height);
  return 0;
}
