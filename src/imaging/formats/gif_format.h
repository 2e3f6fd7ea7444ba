// The GIF file format of the registry.
#pragma once

#include "imaging/file_format.h"

namespace imprimo {

class TGIFFileFormat : public TImageFileFormat {
 public:
  TGIFFileFormat();

 protected:
  bool DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool onlyFirst) override;
  bool EncodeImages(TImagingStream& stream, const std::vector<const RasterImage*>& images) override;
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override;
  bool ProbeContent(TImagingStream& stream) override;
};

}  // namespace imprimo
