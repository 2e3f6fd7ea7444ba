#include "imaging/formats/png_format.h"

#include "imaging/formats/format_factories.h"
#include "imaging/formats/png_codec.h"

namespace imprimo {

TPNGFileFormat::TPNGFileFormat() : TNetworkGraphicsFileFormat(kPngSignature) {
  SetName("Portable Network Graphics");
  AddMasks("*.png");
  SetCapabilities(true, true, false);
  RegisterOption(ImagingPNGPreFilter, &preFilter_);
  RegisterOption(ImagingPNGCompressLevel, &compressLevel_);
}

bool TPNGFileFormat::DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images, bool) {
  RasterImage image;
  DecodePng(data, image);
  images.push_back(std::move(image));
  return true;
}

bool TPNGFileFormat::EncodeImages(TImagingStream& stream,
                                  const std::vector<const RasterImage*>& images) {
  if (images.empty()) return false;
  EncodePng(*images[0], TPngEncodeOptions{preFilter_, compressLevel_}, stream);
  return true;
}

std::unique_ptr<TImageFileFormat> MakePNGFileFormat() { return std::make_unique<TPNGFileFormat>(); }

}  // namespace imprimo
