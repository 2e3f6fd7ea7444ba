// The JNG file format of the registry.
#pragma once

#include "imaging/formats/mng_format.h"

namespace imprimo {

class TJNGFileFormat : public TNetworkGraphicsFileFormat {
 public:
  TJNGFileFormat();

 protected:
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override;
  bool EncodeImages(TImagingStream& stream, const std::vector<const RasterImage*>& images) override;
};

}  // namespace imprimo
