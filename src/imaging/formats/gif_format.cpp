#include "imaging/formats/gif_format.h"

#include "imaging/formats/format_factories.h"
#include "imaging/formats/gif_codec.h"

namespace imprimo {

TGIFFileFormat::TGIFFileFormat() {
  SetName("Graphics Interchange Format");
  AddMasks("*.gif");
  SetCapabilities(true, true, true);
  SetSupportedFormats({ifIndex8});
}

bool TGIFFileFormat::ProbeContent(TImagingStream& stream) {
  return IsGifHeader(PeekHeader(stream, 13));
}

bool TGIFFileFormat::DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                                 bool onlyFirst) {
  DecodeGifImages(data, images, onlyFirst);
  return true;
}

bool TGIFFileFormat::EncodeImages(TImagingStream& stream,
                                  const std::vector<const RasterImage*>& images) {
  if (images.empty()) return false;
  EncodeGifImages(images, stream);
  return true;
}

void TGIFFileFormat::ConvertForSaving(RasterImage& image, const TImageFormatInfo&) {
  ImageConvert(image, ifIndex8);
}

std::unique_ptr<TImageFileFormat> MakeGIFFileFormat() { return std::make_unique<TGIFFileFormat>(); }

}  // namespace imprimo
