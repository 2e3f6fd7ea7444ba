// Byte-level entry points of the JPEG 2000 codec (JP2 files and bare code
// streams). The decoder takes the whole file in memory and either returns a
// valid image or throws EImagingError; the encoder takes an image in one of
// the format's kept pixel formats.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

// True for the JP2 signature box or the start of a bare code stream.
bool IsJp2Signature(std::span<const uint8_t> header);
bool IsJ2kCodeStream(std::span<const uint8_t> header);

// Gray, gray + alpha, RGB and RGBA at 8 or 16 bits; sub-sampled components
// are upsampled to the full image grid; other precisions are scaled.
RasterImage DecodeJp2(std::span<const uint8_t> data);

struct TJp2EncodeOptions {
  int32_t Quality = 80;  // 1..100, ignored when Lossless
  bool CodeStreamOnly = false;
  bool Lossless = false;
  // A profile for the "colr" box of a JP2 file (the
  // restricted ICC method: matrix and tone curves only); not written into a
  // bare code stream, which has no place for it.
  std::string Icc;
};
// Gray8, A8Gray8, Gray16, A16Gray16, R8G8B8, A8R8G8B8, R16G16B16, A16R16G16B16.
std::vector<uint8_t> EncodeJp2(const RasterImage& image, const TJp2EncodeOptions& options);

// Compression ratio that a lossy quality setting asks the encoder for.
double Jp2CompressionRatio(int32_t quality);

}  // namespace imprimo
