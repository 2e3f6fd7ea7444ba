// HEIF files (HEIC pictures from phones) and AVIF files through libheif. The
// decoder takes the whole file in memory, decodes the primary image with
// its rotation, mirroring and cropping applied and returns a valid image or
// throws EImagingError; the AVIF encoder takes an image in one of the kept
// pixel formats.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

enum class THeifBrand { None, Heic, Avif };

// The kind of file the leading "ftyp" box announces (major brand, then the
// compatible brands).
THeifBrand HeifBrand(std::span<const uint8_t> header);

// R8G8B8 or A8R8G8B8 for 8-bit images; R16G16B16 or A16R16G16B16 (samples
// scaled to 16 bits) for deeper ones.
RasterImage DecodeHeif(std::span<const uint8_t> data);

// Metadata of the primary image: the EXIF block as TIFF data (from its
// header on), the ICC profile and the XMP packet; empty when absent.
struct THeifMetadata {
  std::string Exif, Icc, Xmp;
};
THeifMetadata ReadHeifMetadata(std::span<const uint8_t> data);

struct TAvifEncodeOptions {
  int32_t Quality = 80;  // 1..100
  int32_t Speed = 6;     // 0 (slowest) .. 10
  std::string Exif;      // TIFF data to embed, or empty
  std::string Icc;       // colour profile to embed, or empty
  std::string Xmp;       // XMP packet to embed, or empty
};
// R8G8B8, A8R8G8B8 (8 bits per sample); R16G16B16, A16R16G16B16 are handed
// to the encoder with 10 bits per sample, which not every AV1 encoder takes.
std::vector<uint8_t> EncodeAvif(const RasterImage& image, const TAvifEncodeOptions& options);

}  // namespace imprimo
