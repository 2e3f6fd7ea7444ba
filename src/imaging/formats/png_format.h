// The PNG file format of the registry.
#pragma once

#include "imaging/file_format.h"

namespace imprimo {

class TPNGFileFormat : public TImageFileFormat {
 public:
  TPNGFileFormat();
  int32_t PreFilter() const { return preFilter_; }
  int32_t CompressLevel() const { return compressLevel_; }

 protected:
  bool DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool onlyFirst) override;
  bool EncodeImages(TImagingStream& stream, const std::vector<const RasterImage*>& images) override;
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override;
  bool ProbeContent(TImagingStream& stream) override;
  void ValidateOptions() override;

 private:
  int32_t preFilter_ = 5;
  int32_t compressLevel_ = 5;
};

}  // namespace imprimo
