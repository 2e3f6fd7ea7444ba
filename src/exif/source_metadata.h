// Metadata of HEIF, AVIF, WebP and TIFF pictures in the shape a JPEG's
// segments give it: the EXIF block as TIFF data, the ICC profile and the XMP
// packet. The EXIF block of a HEIF picture says Orientation 1, because its
// decoder already applies the file's rotation and mirroring.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/picture_metadata.h"

namespace imprimo {

struct TSourceMetadata {
  std::string Exif;  // TIFF data from its header on; empty when none
  std::string Icc;
  std::string Xmp;
};

// True when the bytes are one of these formats (whatever metadata they
// hold). Never throws.
bool ReadSourceMetadata(std::span<const uint8_t> file, TSourceMetadata& metadata);

// The EXIF Orientation (1..8 as stored, 0 when none) of a HEIF, AVIF, WebP
// or TIFF picture held in memory; a HEIF picture always says 1 or 0.
int ContainerOrientation(std::span<const uint8_t> file);

// The ICC colour profile of a JPEG, PNG, HEIF, AVIF, WebP or TIFF picture
// held in memory. Empty when it has none (why empty) or an unsound one (why
// says how). Never throws.
std::string ReadSourceIccProfile(std::span<const uint8_t> file, std::string* why = nullptr);

// The metadata record of a picture file held in memory (see
// imaging/picture_metadata.h); format is the one it decoded as, when known.
// Never throws: damaged metadata is left out of the record.
TPictureMetadata ReadPictureMetadata(std::span<const uint8_t> file, const std::string& format = {});

// The EXIF Orientation (1..8 as stored, 0 when none) a record's EXIF block
// holds, whatever the name of the file it came from.
int RecordOrientation(const TPictureMetadata& metadata);

// True when the file at path starts like one of these formats.
bool IsContainerPicture(const std::string& path);

}  // namespace imprimo
