#include "app/upright_picture.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <span>
#include <system_error>
#include <vector>

#include "app/source_picture.h"
#include "exif/exif_reader.h"
#include "exif/source_metadata.h"
#include "imageops/orient.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"
#include "imaging/raster_image.h"

namespace imprimo {

int SourceOrientation(const std::string& path) {
  // The file is recognised by its content, whatever its name says; the EXIF
  // segment lies among the first metadata segments, each at most 64 KB.
  constexpr std::streamsize kScanBytes = (TimgData::kMaxSections + 1) * 65538;
  std::ifstream in(path, std::ios::binary);
  char soi[2] = {};
  if (!in.read(soi, 2) || soi[0] != '\xFF' || soi[1] != '\xD8') {
    // HEIF, AVIF, WebP and TIFF pictures keep their EXIF block elsewhere.
    TimgData reader;
    return reader.ReadMetadata(path) ? reader.Orientation() : 0;
  }
  std::vector<uint8_t> head(static_cast<size_t>(kScanBytes));
  head[0] = 0xFF;
  head[1] = 0xD8;
  in.read(reinterpret_cast<char*>(head.data()) + 2, kScanBytes - 2);
  head.resize(2 + static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
  TimgData reader;
  reader.ReadMetadata(std::span<const uint8_t>(head));
  return reader.Orientation();
}

bool LoadUprightBitmap(const std::string& path, TBitmap& bitmap, bool autoRotate,
                       bool* orientationApplied) {
  if (orientationApplied) *orientationApplied = false;
  bitmap = TBitmap();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  TPictureMetadata source;
  try {
    RasterImage image;
    if (!LoadSourcePicture(path, image, source)) return false;
    ImageToBitmap(image, bitmap);
  } catch (const std::exception&) {
    bitmap = TBitmap();
    return false;
  }
  if (autoRotate) {
    const bool turned = ApplyExifOrientation(bitmap, RecordOrientation(source));
    if (orientationApplied) *orientationApplied = turned;
  }
  return true;
}

}  // namespace imprimo
