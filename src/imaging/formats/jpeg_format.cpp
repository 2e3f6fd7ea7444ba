#include "imaging/formats/jpeg_format.h"

#include "imaging/formats/format_factories.h"
#include "imaging/formats/jpeg_codec.h"

namespace imprimo {

TJpegFileFormat::TJpegFileFormat() {
  SetName("Joint Photographic Experts Group Image");
  AddMasks("*.jpg,*.jpeg,*.jfif,*.jpe,*.jif");
  SetCapabilities(true, true, false);
  SetSupportedFormats({ifGray8, ifR8G8B8});
  RegisterOption(ImagingJpegQuality, &quality_);
  RegisterOption(ImagingJpegProgressive, &progressive_);
  RegisterOption(ImagingJpegSubsampling, &subsampling_);
  RegisterOption(ImagingJpegDensityUnit, &densityUnit_);
  RegisterOption(ImagingJpegDensityX, &densityX_);
  RegisterOption(ImagingJpegDensityY, &densityY_);
}

bool TJpegFileFormat::ProbeContent(TImagingStream& stream) {
  std::vector<uint8_t> head = PeekHeader(stream, 10);
  return head.size() == 10 && head[0] == 0xFF && head[1] == 0xD8;
}

bool TJpegFileFormat::DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images, bool) {
  RasterImage image;
  DecodeJpeg(data, image);
  images.push_back(std::move(image));
  return true;
}

bool TJpegFileFormat::EncodeImages(TImagingStream& stream,
                                   const std::vector<const RasterImage*>& images) {
  if (images.empty()) return false;
  EncodeJpeg(*images[0], quality_, progressive_ != 0,
             TJpegWriteExtras{subsampling_, densityUnit_, densityX_, densityY_}, stream);
  return true;
}

void TJpegFileFormat::ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) {
  // Alpha has no place in a JPEG file and is dropped.
  ImageConvert(image, info.HasGrayChannel ? ifGray8 : ifR8G8B8);
}

void TJpegFileFormat::ValidateOptions() {
  if (quality_ < 1 || quality_ > 100) quality_ = 90;
}

std::unique_ptr<TImageFileFormat> MakeJpegFileFormat() {
  return std::make_unique<TJpegFileFormat>();
}

}  // namespace imprimo
