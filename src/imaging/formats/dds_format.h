// DirectDraw surface files: byte-level entry points of the codec.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

// What a loaded file held besides its first image.
struct TDdsLayoutInfo {
  bool CubeMap = false;
  bool Volume = false;
  int MipMaps = 1;  // levels per face (or per volume)
  int Depth = 1;    // slices of the top level of a volume
};

// Decodes the first image (onlyFirst) or every image of the file: faces one
// after another, each with its mip-map levels; volumes level by level, each
// level with its slices. Throws EImagingError on bad or truncated data.
TDynImageDataArray DecodeDds(std::span<const uint8_t> data, bool onlyFirst,
                             TDdsLayoutInfo* info = nullptr);

// Writes images in the layout asked for. The images must share one pixel
// format that the format keeps; missing mip-map levels are made by halving
// the level above with a box filter. A cube map needs six face images, a
// volume Depth slice images.
std::vector<uint8_t> EncodeDds(const std::vector<const RasterImage*>& images,
                               const TDdsLayoutInfo& layout);

}  // namespace imprimo
