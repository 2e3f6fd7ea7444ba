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

// First image of a file as 16-bit RGBA through the reference converter.
// Colour-managed files are taken as they are stored ("-set colorspace sRGB"),
// except CMYK, which the converter must turn into RGB ("-colorspace sRGB").
inline bool ReferenceRgba16(const std::string& path, int& w, int& h, std::vector<uint16_t>& px,
                            const std::string& colourArgs = "-set colorspace sRGB") {
  if (!::imprimo::testing::ConverterSize(path, w, h)) return false;
  bool ok;
  std::vector<uint8_t> raw = RunCommand(
      "convert " + Quote(path + "[0]") + " " + colourArgs + " -depth 16 -endian LSB rgba:-", ok);
  if (!ok || raw.size() != size_t(w) * h * 8) return false;
  px.resize(raw.size() / 2);
  for (size_t i = 0; i < px.size(); ++i) px[i] = uint16_t(raw[2 * i] | (raw[2 * i + 1] << 8));
  return true;
}

inline const char* kPillowRgba =
    "/usr/bin/python3 -c \"import sys; from PIL import Image; "
    "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" ";

}  // namespace imprimo::testutil
