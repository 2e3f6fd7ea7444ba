// The PNG file format of the registry.
#pragma once

#include "imaging/formats/network_graphics_format.h"

namespace imprimo {

// PNG binds only the filter and level options; lossy compression stays off,
// so the base keeps the full PNG pixel format set and conversion.
class TPNGFileFormat : public TNetworkGraphicsFileFormat {
 public:
  TPNGFileFormat();

 protected:
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override;
  bool EncodeImages(TImagingStream& stream, const std::vector<const RasterImage*>& images) override;
};

}  // namespace imprimo
