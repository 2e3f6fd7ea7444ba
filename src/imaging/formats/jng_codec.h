// JNG coding: JPEG colour data (JDAT) with an optional alpha channel that is
// either deflate-coded like a PNG gray image (IDAT) or JPEG-coded (JDAA).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/formats/mng_chunks.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

namespace imprimo {

struct TJngEncodeOptions {
  int Quality = 90;          // 1..100
  bool Progressive = false;  // progressive JPEG colour (and alpha)
  bool LossyAlpha = false;   // alpha JPEG-coded instead of deflated
  int AlphaFilter = 5;       // scan-line filter rule of the deflated alpha
  int AlphaLevel = 5;        // deflate level of the alpha
};

// True for the pixel formats the JNG writer stores as they stand.
bool JngKeepsFormat(TImageFormat format);

// Decodes a whole JNG file (signature first). Gray colour gives Gray8, colour
// R8G8B8; with alpha A8Gray8 or A8R8G8B8. Throws EImagingError on any fault.
void DecodeJng(std::span<const uint8_t> data, RasterImage& image);

// Decodes one JNG datastream from its JHDR chunk on; reader is left after
// the IEND chunk (or at the end of the data when IEND is missing).
void DecodeJngChunks(const TNgChunk& jhdr, TNgChunkReader& reader, RasterImage& image);

// Writes the chunks JHDR .. IEND of image (a format JngKeepsFormat accepts).
void WriteJngChunks(const RasterImage& image, const TJngEncodeOptions& options,
                    TNgChunkWriter& chunks);

// Writes image as a JNG file.
void EncodeJng(const RasterImage& image, const TJngEncodeOptions& options, TImagingStream& out);

}  // namespace imprimo
