// The base shared by the PNG, MNG and JNG formats: the network graphics
// options, the pixel formats they keep, their save conversion and the 8-byte
// signature test.
#pragma once

#include <array>

#include "imaging/formats/simple_format.h"

namespace imprimo {

class TNetworkGraphicsFileFormat : public TSimpleFileFormat {
 public:
  int32_t PreFilter() const { return preFilter_; }
  int32_t CompressLevel() const { return compressLevel_; }
  bool LossyCompression() const { return lossyCompression_ != 0; }
  bool LossyAlpha() const { return lossyAlpha_ != 0; }
  int32_t Quality() const { return quality_; }
  bool Progressive() const { return progressive_ != 0; }

  // The PNG set, or the JNG set when lossy compression is on.
  TImageFormats SupportedPixelFormats() const override;

 protected:
  explicit TNetworkGraphicsFileFormat(const uint8_t (&signature)[8]);
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override;
  bool ProbeContent(TImagingStream& stream) override;
  void ValidateOptions() override;

  int32_t preFilter_ = 5;
  int32_t compressLevel_ = 5;
  int32_t lossyAlpha_ = 0;
  int32_t lossyCompression_ = 0;
  int32_t quality_ = 90;
  int32_t progressive_ = 0;

 private:
  std::array<uint8_t, 8> signature_;
};

}  // namespace imprimo
