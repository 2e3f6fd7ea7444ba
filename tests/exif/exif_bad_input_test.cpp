// Malformed blocks and streams: the reader must stay inside the segment,
// terminate, and report through its result and error text.
#include <gtest/gtest.h>

#include <random>

#include "exif/exif_builder.h"
#include "exif/exif_reader.h"

using namespace exiftest;
using imprimo::TimgData;

namespace {

// An EXIF segment from a TIFF block written byte by byte.
std::string RawExifJpeg(const std::string& tiff) { return Jpeg({ExifApp1(tiff)}); }

std::string IntelHeader(uint32_t firstIfd = 8) {
  return "II" + U16(42, Order::Intel) + U32(firstIfd, Order::Intel);
}

std::string IntelEntry(uint16_t tag, uint16_t format, uint32_t count, uint32_t value) {
  const Order o = Order::Intel;
  return U16(tag, o) + U16(format, o) + U32(count, o) + U32(value, o);
}

TEST(ExifBadInput, DirectoriesPointingToThemselvesAndEachOther) {
  const Order o = Order::Intel;
  // IFD0 at 8: Make and an ExifOffset back to 8.
  std::string self = IntelHeader() + U16(2, o) + IntelEntry(0x8769, 4, 1, 8) +
                     IntelEntry(0x0112, 3, 1, 6) + U32(0, o);
  TimgData r(255);
  r.ReadMetadata(Span(RawExifJpeg(self)));
  ASSERT_TRUE(r.HasExifBlock());
  EXPECT_EQ(r.ExifObj()->VisitedDirectories(), "[8:16]");
  EXPECT_EQ(r.ExifObj()->Tags().size(), 2u);

  // IFD0 at 8 points to A at 34, A points to IFD0 and to itself.
  std::string pair = IntelHeader() + U16(1, o) + IntelEntry(0x8769, 4, 1, 26) + U32(0, o) +
                     U16(2, o) + IntelEntry(0xA005, 4, 1, 8) + IntelEntry(0x014A, 4, 1, 26) +
                     U32(0, o);
  r.ReadMetadata(Span(RawExifJpeg(pair)));
  EXPECT_EQ(r.ExifObj()->VisitedDirectories(), "[8:16][8:34]");
  EXPECT_EQ(r.ExifObj()->Tags().size(), 3u);
}

TEST(ExifBadInput, OversizedCountsAndOffsets) {
  const Order o = Order::Intel;
  // 65535 entries cannot fit in the block.
  std::string huge = IntelHeader() + U16(65535, o) + IntelEntry(0x010F, 2, 4, 0x41414141);
  TimgData r(255);
  r.ReadMetadata(Span(RawExifJpeg(huge)));
  EXPECT_TRUE(r.HasExifBlock());
  EXPECT_EQ(r.ExifObj()->ErrorText(), "Illegally sized directory");
  EXPECT_TRUE(r.ExifObj()->Tags().empty());

  // Component counts whose byte count overflows 32 bits, offsets past the
  // block and a first directory past the block.
  std::string counts = IntelHeader() + U16(5, o) + IntelEntry(0x010F, 2, 0xFFFFFFFF, 8) +
                       IntelEntry(0x829A, 5, 0x20000001, 8) +
                       IntelEntry(0x0110, 2, 100, 0xFFFFFFF0) +
                       IntelEntry(0x8769, 4, 1, 0x7FFFFFFF) + IntelEntry(0x8825, 4, 1, 0xFFFFFFFF) +
                       U32(0xFFFFFFFF, o);
  r.ReadMetadata(Span(RawExifJpeg(counts)));
  ASSERT_TRUE(r.HasExifBlock());
  const auto& tags = r.ExifObj()->Tags();
  ASSERT_EQ(tags.size(), 5u);
  // The copy of Make stops at the end of the block.
  EXPECT_EQ(tags[0].size, int(counts.size()) - 8);
  EXPECT_EQ(tags[2].rawBytes, "");
  EXPECT_EQ(r.CameraModel(), "");
  EXPECT_EQ(r.ExifObj()->ThumbnailPosition(), 0);

  r.ReadMetadata(Span(RawExifJpeg(IntelHeader(0x7FFFFFF0))));
  EXPECT_EQ(r.ExifObj()->ErrorText(), "Illegally sized directory");
  // An offset of 0 means the directory right after the header.
  r.ReadMetadata(
      Span(RawExifJpeg(IntelHeader(0) + U16(1, o) + IntelEntry(0x0112, 3, 1, 3) + U32(0, o))));
  EXPECT_EQ(r.TagValueByName("Orientation"), "Rotated 180\u00b0");
}

TEST(ExifBadInput, TruncatedAndShortSegments) {
  TimgData r(255);
  // A segment length running past the end of the data.
  std::string whole = Jpeg({Jfif(), ExifApp1(TiffBlock(Order::Intel, {Ascii(0x010F, "X")}))});
  for (size_t cut :
       {size_t(0), size_t(1), size_t(2), size_t(3), size_t(5), size_t(22), size_t(40)}) {
    EXPECT_FALSE(r.ReadMetadata(Span(whole.substr(0, cut)))) << cut;
    EXPECT_FALSE(r.HasExifBlock());
  }
  EXPECT_EQ(r.ErrorText(), "Illegal Exif construction");
  // Length fields of 0 and 1.
  for (int len : {0, 1}) {
    std::string s = std::string("\xFF\xD8\xFF\xE1", 4) + char(0) + char(len) + "Exif";
    EXPECT_FALSE(r.ReadMetadata(Span(s)));
    EXPECT_EQ(r.ErrorText(), "Illegal Exif construction");
  }
  // Not a JPEG stream at all.
  EXPECT_FALSE(r.ReadMetadata(Span(std::string("GIF89a"))));
  EXPECT_EQ(r.ErrorText(), "Not an EXIF file");
  // Fill bytes before markers are skipped.
  std::string filled =
      std::string("\xFF\xD8\xFF\xFF\xFF", 5) + Comment("c").substr(1) + ImageData();
  EXPECT_TRUE(r.ReadMetadata(Span(filled)));
  EXPECT_NE(r.CommentSection(), nullptr);
}

// A segment may end on the last byte of the data and keeps its length bytes;
// one byte fewer, or a length field cut in two, fails without reading past
// the end.
TEST(ExifBadInput, SegmentLengthsAtTheEndOfTheData) {
  TimgData r(255);
  const std::string head("\xFF\xD8", 2);
  const std::string comment = Comment("last words");
  std::string exact = head + comment + "\xFF\xD9";
  ASSERT_TRUE(r.ReadMetadata(Span(exact)));
  ASSERT_NE(r.CommentSection(), nullptr);
  EXPECT_EQ(r.CommentSection()->bytes, comment.substr(2));
  EXPECT_EQ(r.CommentSection()->length, int(comment.size() - 2));
  for (size_t keep : {comment.size() - 1, size_t(3)}) {
    EXPECT_FALSE(r.ReadMetadata(Span(head + comment.substr(0, keep)))) << keep;
    EXPECT_EQ(r.ErrorText(), "Illegal Exif construction") << keep;
  }
}

TEST(ExifBadInput, TwentySectionsAtMost) {
  std::string s("\xFF\xD8", 2);
  s += Comment("c");
  for (int i = 0; i < 40; ++i) s += Filler();
  TimgData r(255);
  EXPECT_TRUE(r.ReadMetadata(Span(s)));
  EXPECT_EQ(r.SectionCount(), TimgData::kMaxSections);
}

// Random damage to a valid file: the reader must neither crash nor hang,
// and every tag it reports must come from inside the segment.
TEST(ExifBadInput, MutatedFilesStayInBounds) {
  const Order o = Order::Motorola;
  std::string good =
      Jpeg({Jfif(),
            ExifApp1(TiffBlock(o, {Ascii(0x010F, Lit("Canon\0")), Short(0x0112, {1}, o)},
                               {Rational(0x829A, {{1, 60}}, o), Undefined(0x9286, "ASCII\0\0\0hi"),
                                Rational(0x9201, {{6, 1}}, o, 10), Short(0x9209, {1}, o)},
                               {Rational(0x0002, {{1, 1}, {2, 1}, {3, 1}}, o)}))});
  std::mt19937 rng(1234);
  TimgData r(255);
  for (int round = 0; round < 3000; ++round) {
    std::string bad = good;
    int flips = 1 + int(rng() % 8);
    for (int k = 0; k < flips; ++k) {
      size_t at = 6 + rng() % (bad.size() - 6);  // keep the start of the stream
      bad[at] = char(rng() & 0xFF);
    }
    r.ReadMetadata(Span(bad));
    if (const auto* info = r.ExifObj()) {
      for (const auto& t : info->Tags()) {
        ASSERT_LE(t.rawBytes.size(), info->Data().size());
        ASSERT_LE(t.displayValue.size(), 4096u);
      }
    }
  }
}

}  // namespace
