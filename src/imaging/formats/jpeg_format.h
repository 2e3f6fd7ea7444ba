// The JPEG file format of the registry.
#pragma once

#include "imaging/formats/simple_format.h"

namespace imprimo {

class TJpegFileFormat : public TSimpleFileFormat {
 public:
  TJpegFileFormat();
  int32_t Quality() const { return quality_; }
  bool Progressive() const { return progressive_ != 0; }

 protected:
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override;
  bool EncodeImages(TImagingStream& stream, const std::vector<const RasterImage*>& images) override;
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override;
  bool ProbeContent(TImagingStream& stream) override;
  void ValidateOptions() override;

 private:
  int32_t quality_ = 90;
  int32_t progressive_ = 0;
  int32_t subsampling_ = 0;
  int32_t densityUnit_ = 0;
  int32_t densityX_ = 1;
  int32_t densityY_ = 1;
};

}  // namespace imprimo
