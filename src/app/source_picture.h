// The load step of the pipeline: a source file is read once, its picture
// decoded from those bytes and its metadata record filled from them.
#pragma once

#include <string>

#include "imaging/picture_metadata.h"
#include "imaging/raster_image.h"

namespace imprimo {

// Sources larger than this are decoded from the file instead of from memory,
// their metadata read from the file's first kMetadataPrefixBytes.
constexpr uint64_t kMaxInMemorySource = uint64_t{1} << 30;
constexpr size_t kMetadataPrefixBytes = size_t{64} << 20;

// Decodes the picture at path into image and its metadata into metadata.
// False when the file does not load as a picture (metadata is then empty);
// the image layer's errors are thrown as ReadImageFile throws them.
bool LoadSourcePicture(const std::string& path, RasterImage& image, TPictureMetadata& metadata);

// Bytes a row may hold at its peak: the decoded record and the working
// bitmaps of a picture, about twelve bytes per pixel as its header announces
// them; a file of unknown kind counts by its size, anything but a regular
// file as 0. The file is read whole for this, on the calling thread, and the
// next LoadSourcePicture of the same unchanged file on that thread decodes
// those bytes instead of reading it again.
int64_t SourceMemoryNeed(const std::string& path);

}  // namespace imprimo
