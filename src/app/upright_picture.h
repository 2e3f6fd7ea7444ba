// Loading a source picture the way its viewer sees it, for the windows that
// show sources (previews, thumbnails, the template designer): the same
// turning the batch run applies before it draws.
#pragma once

#include <string>

#include "platform/bitmap.h"

namespace imprimo {

// The EXIF Orientation stored in the JPEG file at path, found by content
// whatever the file's name (1..8, or another stored number as it is); 0 when
// the file has no EXIF block or no such field.
int SourceOrientation(const std::string& path);

// Loads the picture at path into bitmap; with autoRotate, a picture whose
// EXIF Orientation is 2..8 is turned and mirrored upright. False, with an
// empty bitmap, when the file does not load as a picture. orientationApplied,
// when given, tells whether the picture was turned.
bool LoadUprightBitmap(const std::string& path, TBitmap& bitmap, bool autoRotate = true,
                       bool* orientationApplied = nullptr);

}  // namespace imprimo
