#include "imageops/bitmap_bridge.h"

#include <exception>

#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"
#include "imaging/raster_image.h"

namespace imprimo {

bool LoadFileToBitmap(const std::string& path, TBitmap& bitmap) {
  RasterImage image;
  try {
    if (DetectFileFormat(path).empty()) return false;
    ImageInit(image);
    bool ok = ReadImageFile(path, image);
    if (ok) ImageToBitmap(image, bitmap);
    ImageFree(image);
    return ok;
  } catch (const std::exception&) {
    ImageFree(image);
    return false;
  }
}

bool LoadFileToBitmap32(const std::string& path, TBitmap32& target) {
  try {
    TBitmap temporary;
    if (!LoadFileToBitmap(path, temporary)) return false;
    TBitmap32 loaded;
    CopyBitmapToBitmap32(temporary, loaded);
    target = std::move(loaded);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void CopyBitmapToBitmap32(const TBitmap& source, TBitmap32& target) { target.AssignFrom(source); }

void CopyBitmap32ToBitmap(const TBitmap32& source, TBitmap& target) { source.AssignTo(target); }

}  // namespace imprimo
