// Finding corpus files and decoding them with the reference tools.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "imaging_png_jpeg_gif/png_jpeg_gif_util.h"

namespace imprimo::testutil {

using ::imprimo::testing::CorpusDir;
using ::imprimo::testing::FilesWithExtensions;
using ::imprimo::testing::Quote;

#define REQUIRE_TOOL(name)                                                                    \
  do {                                                                                        \
    if (!::imprimo::testutil::HaveCommand(name)) GTEST_SKIP() << name << " is not installed"; \
  } while (0)

// Frame index (the first by default) of a file as 16-bit RGBA through
// ImageMagick. Colour-managed files are taken as they are stored
// ("-set colorspace sRGB"), except CMYK, which the converter must turn into
// RGB ("-colorspace sRGB").
inline bool ReferenceRgba16(const std::string& path, int& w, int& h, std::vector<uint16_t>& px,
                            const std::string& colourArgs = "-set colorspace sRGB", int index = 0) {
  ::imprimo::testing::TMagickPicture picture;
  if (!::imprimo::testing::MagickRead(path, picture,
                                      {.Frame = index, .After = colourArgs, .Depth = 16}))
    return false;
  w = picture.Width;
  h = picture.Height;
  px = picture.Samples16();
  return true;
}

inline const char* kPillowRgba =
    "/usr/bin/python3 -c \"import sys; from PIL import Image; "
    "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" ";

}  // namespace imprimo::testutil
