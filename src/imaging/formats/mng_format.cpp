#include "imaging/formats/mng_format.h"

#include "imaging/formats/format_factories.h"
#include "imaging/formats/mng_codec.h"

namespace imprimo {

TMNGFileFormat::TMNGFileFormat() : TNetworkGraphicsFileFormat(kMngSignature) {
  SetName("Multiple Network Graphics");
  AddMasks("*.mng");
  SetCapabilities(true, true, true);
  RegisterOption(ImagingMNGLossyCompression, &lossyCompression_);
  RegisterOption(ImagingMNGLossyAlpha, &lossyAlpha_);
  RegisterOption(ImagingMNGPreFilter, &preFilter_);
  RegisterOption(ImagingMNGCompressLevel, &compressLevel_);
  RegisterOption(ImagingMNGQuality, &quality_);
  RegisterOption(ImagingMNGProgressive, &progressive_);
}

bool TMNGFileFormat::DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                                 bool onlyFirst) {
  DecodeMng(data, images, onlyFirst);
  return !images.empty();
}

bool TMNGFileFormat::EncodeImages(TImagingStream& stream,
                                  const std::vector<const RasterImage*>& images) {
  if (images.empty()) return false;
  EncodeMng(images,
            TMngEncodeOptions{lossyCompression_ != 0, lossyAlpha_ != 0, preFilter_, compressLevel_,
                              quality_, progressive_ != 0},
            stream);
  return true;
}

std::unique_ptr<TImageFileFormat> MakeMNGFileFormat() { return std::make_unique<TMNGFileFormat>(); }

}  // namespace imprimo
