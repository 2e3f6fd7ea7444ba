// Turning a picture's samples from the colours an ICC profile gives them into
// sRGB, for files that cannot say which colours their numbers mean.
#pragma once

#include <string>
#include <string_view>

#include "imaging/raster_image.h"

namespace imprimo {

// Converts the samples of image, read through profile, into sRGB (relative
// colorimetric; colours outside sRGB are clipped). An RGB profile converts
// the 8- and 16-bit RGB formats with or without alpha and the palette of an
// Index8 image; a gray profile converts the gray formats into gray with the
// sRGB tone curve, and RGB pixels as if they were drawn in sRGB primaries on
// the profile's tone curve (so its grays come out as the gray profile says).
// Alpha is left as it is, and so are 8-bit pictures whose profile gives
// sRGB's own numbers back to within a level. False, with the picture unchanged and the reason
// in why, for a profile that cannot be read, one for other colour spaces,
// or a pixel format it does not cover.
bool ConvertToSrgb(RasterImage& image, std::string_view profile, std::string* why = nullptr);

}  // namespace imprimo
