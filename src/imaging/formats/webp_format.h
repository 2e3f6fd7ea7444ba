// WebP files through libwebp: still pictures (lossy, lossless, with alpha)
// and the first frame of an animation; metadata chunks through its mux and
// demux libraries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

// "RIFF", a size, "WEBP".
bool IsWebPSignature(std::span<const uint8_t> header);

// A8R8G8B8 for pictures with alpha, else R8G8B8. Throws EImagingError.
RasterImage DecodeWebP(std::span<const uint8_t> data);

struct TWebPMetadata {
  std::string Exif;  // TIFF data from its header on
  std::string Icc, Xmp;
};
TWebPMetadata ReadWebPMetadata(std::span<const uint8_t> data);

struct TWebPEncodeOptions {
  int32_t Quality = 90;  // 1..100
  bool Lossless = false;
};
// R8G8B8 or A8R8G8B8.
std::vector<uint8_t> EncodeWebP(const RasterImage& image, const TWebPEncodeOptions& options);

// The file with its EXIF, ICCP and XMP chunks replaced by the given ones
// (an empty one is left out). Throws EImagingError for a file that is not
// WebP.
std::vector<uint8_t> SetWebPMetadata(std::span<const uint8_t> file, const TWebPMetadata& metadata);

}  // namespace imprimo
