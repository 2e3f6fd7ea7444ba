// GIF coding: 87a and 89a files, LZW data, interlaced images, colour tables
// and the transparency index of the graphic control extension.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

namespace imprimo {

// True for "GIF87a" / "GIF89a" at the start of data (13 bytes needed).
bool IsGifHeader(std::span<const uint8_t> data);

// Decodes the first image of a GIF file into an Index8 image of the logical
// screen's size. Palette entries come from the local or global colour table
// with alpha 255; the transparency index gets alpha 0. Canvas pixels that the
// first image does not cover (outside it, or missing from short LZW data) are
// transparent. Throws EImagingError on any fault.
void DecodeGif(std::span<const uint8_t> data, RasterImage& image);

// Decodes the images of a GIF file in file order, each as DecodeGif makes the
// first (the logical screen with that one image on it; earlier images are not
// composed in). Stops after the first image when onlyFirst.
void DecodeGifImages(std::span<const uint8_t> data, TDynImageDataArray& images, bool onlyFirst);

// Writes an Index8 image as a GIF89a file with a 256-entry global colour
// table. The first palette entry with alpha below 128 that a pixel uses
// becomes the transparency index.
void EncodeGif(const RasterImage& image, TImagingStream& out);

// Writes a set of Index8 images into one file: the logical screen is as large
// as the largest image, the first image's palette is the global colour table
// and images with other colours carry a local table.
void EncodeGifImages(const std::vector<const RasterImage*>& images, TImagingStream& out);

}  // namespace imprimo
