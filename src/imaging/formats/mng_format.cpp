#include "imaging/formats/mng_format.h"

#include <algorithm>
#include <cstring>

#include "imaging/formats/format_factories.h"
#include "imaging/formats/mng_codec.h"

namespace imprimo {

TNetworkGraphicsFileFormat::TNetworkGraphicsFileFormat(const uint8_t (&signature)[8]) {
  std::copy(signature, signature + 8, signature_.begin());
}

TImageFormats TNetworkGraphicsFileFormat::SupportedPixelFormats() const {
  if (lossyCompression_ != 0) return {ifGray8, ifA8Gray8, ifR8G8B8, ifA8R8G8B8};
  return {ifIndex8,   ifGray8,     ifA8Gray8,      ifGray16,    ifA16Gray16,   ifR8G8B8,
          ifA8R8G8B8, ifR16G16B16, ifA16R16G16B16, ifB16G16R16, ifA16B16G16R16};
}

void TNetworkGraphicsFileFormat::ConvertForSaving(RasterImage& image,
                                                  const TImageFormatInfo& info) {
  TImageFormat target;
  if (lossyCompression_ != 0) {
    if (info.HasGrayChannel)
      target = info.HasAlphaChannel ? ifA8Gray8 : ifGray8;
    else
      target = info.HasAlphaChannel ? ifA8R8G8B8 : ifR8G8B8;
  } else if (info.HasGrayChannel) {
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

bool TNetworkGraphicsFileFormat::ProbeContent(TImagingStream& stream) {
  std::vector<uint8_t> head = PeekHeader(stream, 8);
  return head.size() == 8 && std::equal(head.begin(), head.end(), signature_.begin());
}

void TNetworkGraphicsFileFormat::ValidateOptions() {
  if (preFilter_ < 0 || preFilter_ > 6) preFilter_ = 5;
  if (compressLevel_ < 0 || compressLevel_ > 9) compressLevel_ = 5;
  if (quality_ < 1 || quality_ > 100) quality_ = 90;
}

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

bool TMNGFileFormat::DecodeImages(TImagingStream& stream, TDynImageDataArray& images,
                                  bool onlyFirst) {
  std::vector<uint8_t> data = stream.ReadRemaining();
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
