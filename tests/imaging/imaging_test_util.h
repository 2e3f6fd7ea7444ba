// Helpers shared by the image file layer tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "imaging/raster_image.h"
#include "support/imaging_support.h"

namespace imprimo::test {

using ::imprimo::testing::HaveTool;
using ::imprimo::testing::Pixels;
using ::imprimo::testing::ReadBytes;
using ::imprimo::testing::RunCommand;
using ::imprimo::testing::WriteBytes;

// An image of the given format filled with seeded random bytes (indexed
// images also get a random palette).
inline RasterImage RandomImage(TImageFormat format, int w, int h, uint32_t seed = 1) {
  return ::imprimo::testing::RandomImage(format, w, h, seed);
}

// A fresh empty folder under the system temp folder.
inline std::filesystem::path TempFolder(const std::string& name) {
  return ::imprimo::testing::TempFolder("imaging", name);
}

}  // namespace imprimo::test
