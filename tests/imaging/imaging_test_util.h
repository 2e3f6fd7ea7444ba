// Helpers shared by the image file layer tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "imaging/raster_image.h"
#include "support/imaging_support.h"

namespace imprimo::test {

using ::imprimo::testing::HaveMagick;
using ::imprimo::testing::HaveTool;
using ::imprimo::testing::ImageFromMagick;
using ::imprimo::testing::MagickRead;
using ::imprimo::testing::Pixels;
using ::imprimo::testing::Quote;
using ::imprimo::testing::ReadBytes;
using ::imprimo::testing::RunCommand;
using ::imprimo::testing::TMagickPicture;
using ::imprimo::testing::WriteBytes;

using ::imprimo::testing::RandomImage;

// A fresh empty folder under the system temp folder.
inline std::filesystem::path TempFolder(const std::string& name) {
  return ::imprimo::testing::TempFolder("imaging", name);
}

}  // namespace imprimo::test
