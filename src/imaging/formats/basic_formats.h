// Byte-level entry points of the BMP, TGA and portable map codecs. Decoders
// take the whole file in memory and either return a valid image or throw
// EImagingError; they never read outside the span. Encoders take an image in
// one of the format's kept pixel formats.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

RasterImage DecodeBmp(std::span<const uint8_t> data);
// With a colour profile the file has the 124-byte information header that
// marks the profile as embedded; it follows the pixel data.
std::vector<uint8_t> EncodeBmp(const RasterImage& image, bool rle8, std::string_view icc = {});

RasterImage DecodeTga(std::span<const uint8_t> data);
std::vector<uint8_t> EncodeTga(const RasterImage& image, bool rle);

// Any of P1..P7, PF and Pf. consumed (optional) receives the bytes used by
// the first image, so a stream can be left after it.
RasterImage DecodePortableMap(std::span<const uint8_t> data, size_t* consumed = nullptr);
// kind is '2'/'5' (PGM), '3'/'6' (PPM), '7' (PAM) or 'F' (PFM). The image must
// be in a pixel format that kind keeps.
std::vector<uint8_t> EncodePortableMap(const RasterImage& image, char kind);

}  // namespace imprimo
