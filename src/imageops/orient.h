// Turning and mirroring a picture so that it stands as its EXIF Orientation
// says it is meant to be seen.
#pragma once

#include "platform/bitmap.h"

namespace imprimo {

// Makes the stored pixels of bitmap upright for an EXIF Orientation value:
// 1 as stored, 2 mirrored left-right, 3 turned 180 degrees, 4 mirrored
// top-bottom, 5 transposed (mirrored about the top-left to bottom-right
// diagonal), 6 turned 90 degrees clockwise, 7 transversed (mirrored about
// the other diagonal), 8 turned 90 degrees anticlockwise. Values 5 to 8 swap
// width and height. Every pixel format is kept, palette included.
// True when the pixels were moved (2..8); 1 and any value outside 1..8 leave
// the bitmap untouched and give false.
bool ApplyExifOrientation(TBitmap& bitmap, int orientation);

// Width and height a picture of width x height has once made upright.
void UprightSize(int orientation, int width, int height, int& uprightWidth, int& uprightHeight);

}  // namespace imprimo
