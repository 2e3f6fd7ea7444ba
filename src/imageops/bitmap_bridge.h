// Loading image files straight into drawing surfaces, and the pixel copies
// between the platform bitmap and TBitmap32.
#pragma once

#include <string>

#include "imageops/bitmap32.h"
#include "platform/bitmap.h"

namespace imprimo {

// True when bitmap now holds the file's first image. A missing file, a file
// of no known format, one that does not decode or a failed conversion give
// false; nothing is thrown.
bool LoadFileToBitmap(const std::string& path, TBitmap& bitmap);
// The same into a TBitmap32 (alpha of 32-bit images kept, else opaque); the
// target is left untouched on failure.
bool LoadFileToBitmap32(const std::string& path, TBitmap32& target);

// target := source converted to 32 bits (see TBitmap32::AssignFrom).
void CopyBitmapToBitmap32(const TBitmap& source, TBitmap32& target);
// target := a 32-bit bitmap with source's pixels, alpha included.
void CopyBitmap32ToBitmap(const TBitmap32& source, TBitmap& target);

}  // namespace imprimo
