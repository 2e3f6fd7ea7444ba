// MNG coding: a frame header (MHDR) followed by embedded PNG or JNG
// datastreams and the MEND chunk. The decoder returns the embedded images
// in file order; animation, delta and object chunks are read past.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/formats/jng_codec.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

namespace imprimo {

// Decodes the embedded images of an MNG file (only the first when
// onlyFirst). Throws EImagingError on any fault, or when the file holds no
// image that can be shown on its own.
void DecodeMng(std::span<const uint8_t> data, std::vector<RasterImage>& images, bool onlyFirst);

struct TMngEncodeOptions {
  bool Lossy = false;  // frames as JNG
  bool LossyAlpha = false;
  int Filter = 5;
  int Level = 5;
  int Quality = 90;
  bool Progressive = false;
};

// Writes the images as frames of one MNG file (each a format the PNG writer
// keeps, or with Lossy one the JNG writer keeps).
void EncodeMng(const std::vector<const RasterImage*>& images, const TMngEncodeOptions& options,
               TImagingStream& out);

}  // namespace imprimo
