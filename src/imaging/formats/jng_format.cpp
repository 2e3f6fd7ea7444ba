#include "imaging/formats/jng_format.h"

#include "imaging/formats/format_factories.h"
#include "imaging/formats/jng_codec.h"

namespace imprimo {

TJNGFileFormat::TJNGFileFormat() : TNetworkGraphicsFileFormat(kJngSignature) {
  SetName("JPEG Network Graphics");
  AddMasks("*.jng");
  SetCapabilities(true, true, false);
  lossyCompression_ = 1;  // JNG colour is always JPEG-coded
  RegisterOption(ImagingJNGLossyAlpha, &lossyAlpha_);
  RegisterOption(ImagingJNGAlphaPreFilter, &preFilter_);
  RegisterOption(ImagingJNGAlphaCompressLevel, &compressLevel_);
  RegisterOption(ImagingJNGQuality, &quality_);
  RegisterOption(ImagingJNGProgressive, &progressive_);
}

bool TJNGFileFormat::DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images, bool) {
  RasterImage image;
  DecodeJng(data, image);
  images.push_back(std::move(image));
  return true;
}

bool TJNGFileFormat::EncodeImages(TImagingStream& stream,
                                  const std::vector<const RasterImage*>& images) {
  if (images.empty()) return false;
  EncodeJng(
      *images[0],
      TJngEncodeOptions{quality_, progressive_ != 0, lossyAlpha_ != 0, preFilter_, compressLevel_},
      stream);
  return true;
}

std::unique_ptr<TImageFileFormat> MakeJNGFileFormat() { return std::make_unique<TJNGFileFormat>(); }

}  // namespace imprimo
