// The MNG file format of the registry.
#pragma once

#include "imaging/formats/network_graphics_format.h"

namespace imprimo {

class TMNGFileFormat : public TNetworkGraphicsFileFormat {
 public:
  TMNGFileFormat();

 protected:
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override;
  bool EncodeImages(TImagingStream& stream, const std::vector<const RasterImage*>& images) override;
};

}  // namespace imprimo
