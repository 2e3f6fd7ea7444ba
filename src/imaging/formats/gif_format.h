// The GIF file format of the registry.
#pragma once

#include "imaging/formats/simple_format.h"

namespace imprimo {

class TGIFFileFormat : public TSimpleFileFormat {
 public:
  TGIFFileFormat();

 protected:
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override;
  bool EncodeImages(TImagingStream& stream, const std::vector<const RasterImage*>& images) override;
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override;
  bool ProbeContent(TImagingStream& stream) override;
};

}  // namespace imprimo
