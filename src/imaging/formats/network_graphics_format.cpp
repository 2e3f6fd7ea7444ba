#include "imaging/formats/network_graphics_format.h"

#include <algorithm>

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

}  // namespace imprimo
