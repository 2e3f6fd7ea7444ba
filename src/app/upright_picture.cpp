#include "app/upright_picture.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "exif/exif_reader.h"
#include "imageops/orient.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"
#include "imaging/raster_image.h"

namespace imprimo {

int SourceOrientation(const std::string& path) {
  TimgData reader;
  reader.ReadMetadata(path);
  return reader.Orientation();
}

bool LoadUprightBitmap(const std::string& path, TBitmap& bitmap, bool autoRotate,
                       bool* orientationApplied) {
  if (orientationApplied) *orientationApplied = false;
  bitmap = TBitmap();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  try {
    RasterImage image;
    if (!ReadImageFile(path, image)) return false;
    ImageToBitmap(image, bitmap);
  } catch (const std::exception&) {
    bitmap = TBitmap();
    return false;
  }
  if (autoRotate) {
    const bool turned = ApplyExifOrientation(bitmap, SourceOrientation(path));
    if (orientationApplied) *orientationApplied = turned;
  }
  return true;
}

}  // namespace imprimo
