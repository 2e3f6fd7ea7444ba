#include <exception>

#include "imageops/resize.h"
#include "imaging/bitmap_conversion.h"

namespace imprimo {

bool RestrictImageSize(TBitmap& bitmap, int32_t width, int32_t height, int32_t mode) {
  try {
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    const std::optional<TNewSize> size = ComputeRestrictedSize(w, h, width, height, mode);
    if (!size) return false;
    // An image that would grow in both directions is left as it is.
    if (size->Width > w && size->Height > h) return true;
    if (size->Width < 1 || size->Height < 1 || size->Width > kMaxImageSide ||
        size->Height > kMaxImageSide || size->Width * size->Height > kMaxImagePixels)
      return false;
    RasterImage image;
    BitmapToImage(bitmap, image);
    ImageResize(image, static_cast<int32_t>(size->Width), static_cast<int32_t>(size->Height),
                rfBicubic);
    // Convert into a fresh bitmap first so a failure leaves the original.
    TBitmap result;
    ImageToBitmap(image, result);
    ImageFree(image);
    bitmap = std::move(result);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace imprimo
