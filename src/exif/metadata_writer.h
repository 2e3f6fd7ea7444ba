// Carries the metadata of a source picture into a freshly written output:
// EXIF (with a new thumbnail of the finished picture and its real size), XMP
// (extended XMP included), IPTC, the comment and the ICC colour profile of a
// JPEG source into a JPEG output, and the colour profile of a JPEG or PNG
// source into a JPEG or PNG output. HEIF, AVIF, WebP and TIFF sources give
// their EXIF, XMP and colour profile like a JPEG's; WebP, AVIF and TIFF
// outputs take EXIF, XMP and the colour profile (an AVIF output takes them
// inside its one encode). Preview images of the source that are
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

#include "imaging/file_format.h"
#include "imaging/picture_metadata.h"
#include "imaging/raster_image.h"

namespace imprimo {

struct TMetadataOptions {
  // The picture was turned upright: the orientation tags say 1.
  bool SetOrientation1 = false;
  // GPS data and the location fields of XMP and IPTC are left out.
  bool StripLocation = false;
};

// Longest side and JPEG quality of the thumbnail written into the EXIF block.
constexpr int kExifThumbnailSide = 160;
constexpr int kExifThumbnailQuality = 75;

// The new bytes of an output given the source's metadata record, the
// output's bytes as its encoder made them and the output's final pixels (for
// the thumbnail). Returns an empty string when the output should stay as it
// is (nothing to carry, or an output that is not JPEG, PNG, WebP or TIFF).
// Warnings name what was dropped.
std::string ComposeOutputMetadata(const TPictureMetadata& source, std::span<const uint8_t> output,
                                  const RasterImage& pixels, const TMetadataOptions& options,
                                  std::vector<std::string>& warnings);
// The same from the source file's bytes.
std::string ComposeOutputMetadata(std::span<const uint8_t> source, std::span<const uint8_t> output,
                                  const RasterImage& pixels, const TMetadataOptions& options,
                                  std::vector<std::string>& warnings);

// The EXIF block, colour profile and XMP packet (IPTC fields included) of an
// output whose encoder writes them itself (AVIF).
TEmbeddedMetadata BuildEmbeddedMetadata(const TPictureMetadata& source, const RasterImage& pixels,
                                        const TMetadataOptions& options,
                                        std::vector<std::string>& warnings);

// Encodes image as the format of fileName into bytes, with the metadata of
// source (when given) carried: inside the encode for an AVIF output, added
// to the encoded bytes in memory for the others. False when the format
// cannot store the picture; a failed encode throws.
bool EncodeWithMetadata(const std::string& fileName, const RasterImage& image,
                        const TSaveOptions& options, const TPictureMetadata* source,
                        const TMetadataOptions& carry, std::vector<uint8_t>& bytes,
                        std::vector<std::string>& warnings);

// Writes pixels to outputPath in its format with the metadata of the file at
// sourcePath, each file touched once. Returns the warnings; a failed encode
// or write throws.
std::vector<std::string> SaveWithSourceMetadata(const std::string& sourcePath,
                                                const std::string& outputPath,
                                                const RasterImage& pixels,
                                                const TMetadataOptions& options);

}  // namespace imprimo
