#include "imaging/formats/png_format.h"

#include <cstring>

#include "imaging/formats/format_factories.h"
#include "imaging/formats/png_codec.h"

namespace imprimo {

TPNGFileFormat::TPNGFileFormat() {
  SetName("Portable Network Graphics");
  AddMasks("*.png");
  SetCapabilities(true, true, false);
  SetSupportedFormats({ifIndex8, ifGray8, ifA8Gray8, ifGray16, ifA16Gray16, ifR8G8B8, ifA8R8G8B8,
                       ifR16G16B16, ifA16R16G16B16, ifB16G16R16, ifA16B16G16R16});
  RegisterOption(ImagingPNGPreFilter, &preFilter_);
  RegisterOption(ImagingPNGCompressLevel, &compressLevel_);
}

bool TPNGFileFormat::ProbeContent(TImagingStream& stream) {
  std::vector<uint8_t> head = PeekHeader(stream, 8);
  return head.size() == 8 && std::memcmp(head.data(), kPngSignature, 8) == 0;
}

bool TPNGFileFormat::DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool) {
  std::vector<uint8_t> data = stream.ReadRemaining();
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

void TPNGFileFormat::ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) {
  TImageFormat target;
  if (info.HasGrayChannel) {
    if (info.HasAlphaChannel)
      target = info.BytesPerPixel > 2 ? ifA16Gray16 : ifA8Gray8;
    else
      target = ifGray16;
  } else if (info.IsFloatingPoint) {
    target = info.HasAlphaChannel ? ifA16B16G16R16 : ifB16G16R16;
  } else {
    target = (info.HasAlphaChannel || info.IsSpecial) ? ifA8R8G8B8 : ifR8G8B8;
  }
  ImageConvert(image, target);
}

void TPNGFileFormat::ValidateOptions() {
  if (preFilter_ < 0 || preFilter_ > 6) preFilter_ = 5;
  if (compressLevel_ < 0 || compressLevel_ > 9) compressLevel_ = 5;
}

std::unique_ptr<TImageFileFormat> MakePNGFileFormat() { return std::make_unique<TPNGFileFormat>(); }

}  // namespace imprimo
