// Carries the metadata of a source picture into a freshly written output:
// EXIF (with a new thumbnail of the finished picture and its real size), XMP
// (extended XMP included), IPTC, the comment and the ICC colour profile of a
// JPEG source into a JPEG output, and the colour profile of a JPEG or PNG
// source into a JPEG or PNG output. HEIF, AVIF, WebP and TIFF sources give
// their EXIF, XMP and colour profile like a JPEG's; WebP, AVIF and TIFF
// outputs take EXIF, XMP and the colour profile (an AVIF output is encoded
// again with them). Preview images of the source that are
// recognised (the EXIF thumbnail, XMP thumbnails, maker-note previews,
// Photoshop thumbnails) never reach the output.
//
// Whatever could not be carried soundly is left out and named in the
// returned warnings; only a failed write of the output is thrown.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

struct TMetadataOptions {
  // The picture was turned upright: the orientation tags say 1.
  bool SetOrientation1 = false;
  // GPS data and the location fields of XMP and IPTC are left out.
  bool StripLocation = false;
  // The settings an AVIF output was written with, for encoding it again with
  // its metadata; a value outside its range takes the AVIF format's default.
  int AvifQuality = -1;
  int AvifSpeed = -1;
};

// Longest side and JPEG quality of the thumbnail written into the EXIF block.
constexpr int kExifThumbnailSide = 160;
constexpr int kExifThumbnailQuality = 75;

// The new bytes of an output file given the source's bytes, the output's bytes
// as the image file layer wrote them and the output's final pixels (for the
// thumbnail). Returns an empty string when the output should stay as it is
// (nothing to carry, or an output that is neither JPEG nor PNG). Warnings
// name what was dropped.
std::string ComposeOutputMetadata(std::span<const uint8_t> source, std::span<const uint8_t> output,
                                  const RasterImage& pixels, const TMetadataOptions& options,
                                  std::vector<std::string>& warnings);

// ComposeOutputMetadata on files: rewrites outputPath in place (through a
// temporary file renamed over it) when there is something to carry. Returns
// the warnings; a source that cannot be read again is one of them. An output
// that cannot be read back or written again throws (EFileError for a failed
// write), so a caller never keeps it without its metadata.
std::vector<std::string> WriteOutputMetadata(const std::string& sourcePath,
                                             const std::string& outputPath,
                                             const RasterImage& pixels,
                                             const TMetadataOptions& options);

}  // namespace imprimo
