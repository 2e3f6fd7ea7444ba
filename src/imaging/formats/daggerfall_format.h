// Byte-level entry points of the 8-bit game image formats: IMG, CIF, BSI and
// the texture archives. Decoders take the whole file in memory and either
// fill valid Index8 images or throw EImagingError; they never read outside
// the span. Palettes are 768 bytes of R, G, B.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

using TElderPalette = std::array<uint8_t, 768>;

// The built-in tables: the one of IMG, CIF and textures, and the one of BSI.
const TElderPalette& DaggerfallImagePalette();
const TElderPalette& DaggerfallBsiPalette();
// Expands R, G, B to B, G, R, A entries: alpha 255, entry 0 alpha 0.
void ExpandElderPalette(const TElderPalette& palette, TColor32Rec* entries);

// Width x height of a headerless IMG or CIF image known by its file size;
// {0, 0} when the size is not in the table.
struct TElderSize {
  int Width = 0, Height = 0;
};
TElderSize HeaderlessImgSize(uint64_t fileSize);
TElderSize HeaderlessCifSize(uint64_t fileSize);

// Run-length decoding into exactly out.size() bytes: c < 128 copies c + 1
// bytes, c >= 128 repeats the next byte c - 127 times; a run past the end of
// the image is cut. Returns the number of input bytes used; throws when the
// input ends before the image is full.
size_t DecodeElderRle(std::span<const uint8_t> in, std::span<uint8_t> out);

// Content tests of IMG (single) and CIF (multi) for a file of fileSize bytes
// whose first bytes are header (up to 12).
bool ElderImgCifAccepts(std::span<const uint8_t> header, uint64_t fileSize, bool multi);

RasterImage DecodeDaggerfallImg(std::span<const uint8_t> data, const TElderPalette& palette);
void DecodeDaggerfallCif(std::span<const uint8_t> data, const TElderPalette& palette,
                         TDynImageDataArray& images, bool onlyFirst);
void DecodeBsi(std::span<const uint8_t> data, const TElderPalette& palette,
               TDynImageDataArray& images, bool onlyFirst);
void DecodeDaggerfallTexture(std::span<const uint8_t> data, const TElderPalette& palette,
                             TDynImageDataArray& images, bool onlyFirst);

// One raw IMG record (12-byte header and the pixels) of an Index8 image of
// at most 65535 pixels.
std::vector<uint8_t> EncodeElderRecord(const RasterImage& image);

// The save-time conversion: fits an image of more than 65535 pixels into
// 320 x 200 (landscape) or 200 x 320 with the linear filter, then maps every
// pixel to the first nearest palette entry (sum of absolute differences of
// R, G, B and A). The result is Index8 with the palette's entries.
void FitAndMapToElderPalette(RasterImage& image, const TElderPalette& palette);
// The fitted size of a w x h image (unchanged when w * h <= 65535).
TElderSize ElderFittedSize(int w, int h);

}  // namespace imprimo
