// The Orientation field of the first image directory: read in both byte
// orders, and zero wherever the block is unsound.
#include <gtest/gtest.h>

#include "exif/exif_builder.h"
#include "exif/exif_reader.h"

using namespace exiftest;
using imprimo::ExifOrientation;
using imprimo::TimgData;

namespace {

TimgData Read(const std::string& jpeg) {
  TimgData reader;
  reader.ReadMetadata(Span(jpeg));
  return reader;
}

TEST(ExifOrientation, ReadInEitherByteOrderAndWidth) {
  for (Order o : {Order::Intel, Order::Motorola}) {
    for (bool asLong : {false, true}) {
      const Entry orientation = asLong ? Long(0x0112, {6}, o) : Short(0x0112, {6}, o);
      const std::string tiff = TiffBlock(
          o, {Ascii(0x010F, "Cam"), orientation, Short(0x0128, {2}, o)}, {Short(0xA002, {640}, o)});
      const std::string jpeg = Jpeg({ExifApp1(tiff)});
      TimgData reader = Read(jpeg);
      ASSERT_TRUE(reader.HasExifBlock());
      EXPECT_EQ(reader.Orientation(), 6);
      // The block goes into an output unchanged and reads back whole.
      const std::string out(reader.BuildMetadataJpeg(Span(Jpeg({Jfif()}))));
      TimgData again = Read(out);
      EXPECT_EQ(again.Orientation(), 6);
      EXPECT_EQ(again.CameraMake(), "Cam");
      EXPECT_EQ(again.Width(), 640);
    }
  }
}

TEST(ExifOrientation, AbsentOrUnsoundFieldsGiveZero) {
  const Order o = Order::Intel;
  // No EXIF block at all, and a block without the field.
  EXPECT_EQ(Read(Jpeg({Jfif()})).Orientation(), 0);
  TimgData none = Read(Jpeg({ExifApp1(TiffBlock(o, {Ascii(0x010F, "Cam")}))}));
  EXPECT_EQ(none.Orientation(), 0);

  // Only the thumbnail's directory says how to turn; that is not the picture's.
  {
    std::string tiff = TiffBlock(o, {Ascii(0x010F, "Cam")}, {}, {}, 0);
    const uint32_t ifd1 = static_cast<uint32_t>(tiff.size());
    tiff = TiffBlock(o, {Ascii(0x010F, "Cam")}, {}, {}, ifd1);
    tiff += U16(1, o) + U16(0x0112, o) + U16(3, o) + U32(1, o) + U16(6, o) + U16(0, o) + U32(0, o);
    TimgData r = Read(Jpeg({ExifApp1(tiff)}));
    EXPECT_EQ(r.Orientation(), 0);
  }

  // Two values, a text value and an out-of-range number.
  EXPECT_EQ(Read(Jpeg({ExifApp1(TiffBlock(o, {Short(0x0112, {6, 6}, o)}))})).Orientation(), 0);
  EXPECT_EQ(Read(Jpeg({ExifApp1(TiffBlock(o, {Ascii(0x0112, "6")}))})).Orientation(), 0);
  EXPECT_EQ(Read(Jpeg({ExifApp1(TiffBlock(o, {Short(0x0112, {9}, o)}))})).Orientation(), 9);
  EXPECT_EQ(Read(Jpeg({ExifApp1(TiffBlock(o, {Long(0x0112, {70000}, o)}))})).Orientation(), 65535);

  // A first directory that lies beyond the block, or whose entries run past
  // its end, a bad byte-order mark, and blocks cut before the entry is whole.
  // Section bytes: length (0), "Exif" (2), byte order (8), first directory
  // offset (12), entry count (16), the entry (18..29).
  const std::string good = ExifApp1(TiffBlock(o, {Short(0x0112, {8}, o)})).substr(2);
  ASSERT_EQ(ExifOrientation(good), 8);
  std::string farAway = good;
  farAway.replace(12, 4, U32(0x7FFFFFF0, o));
  EXPECT_EQ(ExifOrientation(farAway), 0);
  std::string manyEntries = good;
  manyEntries.replace(16, 2, U16(500, o));
  EXPECT_EQ(ExifOrientation(manyEntries), 0);
  std::string badMark = good;
  badMark.replace(8, 2, "XX");
  EXPECT_EQ(ExifOrientation(badMark), 0);
  for (size_t cut = 0; cut < 30; ++cut) EXPECT_EQ(ExifOrientation(good.substr(0, cut)), 0) << cut;
}

}  // namespace
