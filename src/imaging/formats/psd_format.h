// Photoshop files: byte-level entry points of the codec.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

// Decodes the merged image of a Photoshop file (bitmap, gray, duotone,
// multichannel, indexed, RGB, CMYK and Lab modes at 1, 8, 16 and 32 bits,
// raw or PackBits-coded). A file whose one layer is a plain copy of the
// whole picture with transparency (as written here) is read from that layer.
// Throws EImagingError on bad or truncated data.
RasterImage DecodePsd(std::span<const uint8_t> data);

// Writes an image in one of the kept pixel formats (Index8, Gray8, A8Gray8,
// Gray16, A16Gray16, R8G8B8, A8R8G8B8, R16G16B16, A16R16G16B16, R32F,
// A32R32G32B32F) with PackBits-coded rows; rows too long for the coded
// form's 16-bit counts are stored raw instead. A picture with alpha is also
// stored as the file's one layer, with the merged image's extra channel
// marked as its transparency. A colour profile, when given, is stored as the
// ICC image resource.
std::vector<uint8_t> EncodePsd(const RasterImage& image, std::string_view icc = {});

// PackBits helpers, shared with the tests.
void PackBitsEncode(std::span<const uint8_t> row, std::vector<uint8_t>& out);
// Unpacks exactly out.size() bytes; throws when the input ends first or a
// run would overflow the row.
void PackBitsDecode(std::span<const uint8_t> in, std::span<uint8_t> out);

}  // namespace imprimo
