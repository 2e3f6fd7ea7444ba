// Helpers for the JPEG 2000 and game-image format tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/raster_image.h"
#include "support/imaging_support.h"

namespace imprimo::jp2_game {

using ::imprimo::testing::HaveTool;
using ::imprimo::testing::LoadFromMemory;
using ::imprimo::testing::MagickRgba;
using ::imprimo::testing::OurRgba;
using ::imprimo::testing::Pixels;
using ::imprimo::testing::Psnr;
using ::imprimo::testing::Quote;
using ::imprimo::testing::ReadBytes;
using ::imprimo::testing::SaveToMemory;
using ::imprimo::testing::WriteBytes;

using ::imprimo::testing::RandomImage;

// A smooth photo-like opaque R8G8B8 picture.
inline RasterImage SmoothRgb(int w, int h) {
  return ::imprimo::testing::SmoothImage(w, h, ifR8G8B8);
}

inline std::string TempPath(const std::string& name) {
  return ::imprimo::testing::TempPath("jp2_game", name);
}

// Runs a command; its standard output, and ok = exit status 0.
inline constexpr auto& Run = ::imprimo::testing::RunCommand;

// Sets an option for one scope and restores its old value.
class ScopedOption {
 public:
  ScopedOption(int32_t id, int32_t value) : id_(id), old_(GetImagingOption(id)) {
    SetImagingOption(id, value);
  }
  ~ScopedOption() { SetImagingOption(id_, old_); }

 private:
  int32_t id_, old_;
};

}  // namespace imprimo::jp2_game
