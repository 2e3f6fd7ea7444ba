// X pixmap (XPM3) files: byte-level entry point of the loader.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "imaging/raster_image.h"

namespace imprimo {

// Decodes the C text of an XPM3 image into A8R8G8B8; "None" pixels are
// transparent. Throws EImagingError on bad or truncated data.
RasterImage DecodeXpm(std::span<const uint8_t> data);

// A colour value of an XPM colour table: "#RGB" to "#RRRRGGGGBBBB" or an X11
// colour name (case and blanks ignored). "None" gives alpha 0.
std::optional<TColor32Rec> ParseXpmColor(std::string_view text);

}  // namespace imprimo
