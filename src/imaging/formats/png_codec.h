// PNG coding: chunk structure, deflate through zlib, scan-line filters and
// Adam7 interlacing. Works on whole files held in memory.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

namespace imprimo {

constexpr uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Decodes a PNG file into image, which is replaced. The pixel format follows
// the file: gray 1..8 bits -> Gray8, gray 16 -> Gray16, gray + alpha (or gray
// with a tRNS key) -> A8Gray8 / A16Gray16, indexed -> Index8 with the tRNS
// alphas in its palette, RGB -> R8G8B8 / R16G16B16, RGBA (or RGB with a tRNS
// key) -> A8R8G8B8 / A16R16G16B16. Throws EImagingError on any fault.
void DecodePng(std::span<const uint8_t> data, RasterImage& image);

// Scan-line filter choice: 0..4 one filter for every row, 5 Paeth for RGB and
// RGBA and None otherwise, 6 the best filter per row (like 5 for indexed).
struct TPngEncodeOptions {
  int Filter = 5;
  int Level = 5;
};

// True when EncodePng writes this pixel format as it stands.
bool PngKeepsFormat(TImageFormat format);

// Writes image (a format PngKeepsFormat accepts) as a PNG file.
void EncodePng(const RasterImage& image, const TPngEncodeOptions& options, TImagingStream& out);

// PNG filter type chosen for a row; exposed for tests of the filter rules.
int PngRowFilter(int option, int colourType, int bitDepth);

}  // namespace imprimo
