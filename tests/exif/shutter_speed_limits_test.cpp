// Exposure times at the ends of the APEX range: the reciprocal shown for very
// short times is capped, never converted from a value no integer holds.
#include <gtest/gtest.h>

#include "exif/exif_tables.h"

TEST(ExifDisplay, ShortestExposureShowsACappedReciprocal) {
  EXPECT_EQ(imprimo::ShutterSpeedText("64/1"), "0.0000 sec (1/2147483647)");
  EXPECT_EQ(imprimo::ShutterSpeedText("100000/1"), "0.0000 sec (1/2147483647)");
  EXPECT_EQ(imprimo::ShutterSpeedText("30/1"), "0.0000 sec (1/1073741824)");
  EXPECT_EQ(imprimo::ShutterSpeedText("6/1"), "0.0156 sec (1/64)");
}
