// TIFF files through libtiff: the first page of a file, in strips or tiles,
// every common sample layout; written with LZW or Deflate compression.
// libtiff's messages never reach the terminal: errors become the text of the
// EImagingError thrown, warnings are dropped.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

// "II*\0", "MM\0*" or their BigTIFF forms.
bool IsTiffSignature(std::span<const uint8_t> header);

// Checks what the file declares before libtiff reads it: the directory
// chain ends (no loop, at most 65536 pages) and no strip or tile table of
// the first page claims more entries than the file has bytes. Throws
// EImagingError with the reason.
void CheckTiffStructure(std::span<const uint8_t> data);

// 8 and 16-bit gray and colour keep their depth (Gray8, A8Gray8, Gray16,
// A16Gray16, R8G8B8, A8R8G8B8, R16G16B16, A16R16G16B16); 32-bit floating
// point gives R32F or A32R32G32B32F; every other layout (bilevel, palette,
// CMYK, YCbCr, JPEG-in-TIFF) is decoded through libtiff's RGBA reader into
// Gray8, R8G8B8 or A8R8G8B8. Pixels are in stored order; the Orientation
// field is left to the caller.
RasterImage DecodeTiff(std::span<const uint8_t> data);

struct TTiffMetadata {
  std::string Icc, Xmp;
  int Orientation = 0;  // 0 when the field is absent
};
TTiffMetadata ReadTiffMetadata(std::span<const uint8_t> data);

struct TTiffEncodeOptions {
  int32_t Compression = 0;  // 0 LZW, 1 Deflate
  std::string Icc;          // colour profile to embed, or empty
  std::string Xmp;          // XMP packet to embed, or empty
};
// Gray8, A8Gray8, Gray16, A16Gray16, R8G8B8, A8R8G8B8, R16G16B16,
// A16R16G16B16; alpha is written as unassociated alpha.
std::vector<uint8_t> EncodeTiff(const RasterImage& image, const TTiffEncodeOptions& options);

}  // namespace imprimo
