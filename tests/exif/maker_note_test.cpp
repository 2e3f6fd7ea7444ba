// Maker notes carried whole: a Nikon-style note with its own TIFF header, a
// scan sub-directory and a preview picture, and a Canon-style note whose
// offsets count from the EXIF block's TIFF header and that records its own
// position in a footer. exiftool reads the outputs.
#include "exif/maker_note.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "support/metadata_fixtures.h"

namespace imprimo {
namespace {

using namespace ::imprimo::testing;
using exiftest::Order;
using exiftest::U16;
using exiftest::U32;

std::string Entry(uint16_t tag, uint16_t type, uint32_t count, const std::string& value, Order o) {
  return U16(tag, o) + U16(type, o) + U32(count, o) + value + std::string(4 - value.size(), '\0');
}

// A Nikon-style note: "Nikon" header, a TIFF header of its own, a main
// directory pointing at a scan directory and a preview directory, and the
// preview picture itself.
std::string NikonNote(const std::string& preview) {
  const Order o = Order::Motorola;
  const uint32_t scanAt = 50, previewAt = 68, pictureAt = 98;
  std::string note = exiftest::Lit("Nikon\0\x02\x10\0\0") + "MM" + U16(42, o) + U32(8, o);
  note += U16(3, o) + Entry(0x0001, 7, 4, "0210", o) + Entry(0x0011, 4, 1, U32(previewAt, o), o) +
          Entry(0x0E10, 4, 1, U32(scanAt, o), o) + U32(0, o);
  note += U16(1, o) + Entry(0x0002, 2, 4, exiftest::Lit("NEG\0"), o) + U32(0, o);
  note += U16(2, o) + Entry(0x0201, 4, 1, U32(pictureAt, o), o) +
          Entry(0x0202, 4, 1, U32(uint32_t(preview.size()), o), o) + U32(0, o);
  EXPECT_EQ(note.size(), 10 + pictureAt);
  return note + preview;
}

// A Canon-style note placed at position at of its block: one directory
// whose image-type text lies after it, and a footer naming that position.
std::string CanonNote(uint32_t at) {
  const Order o = Order::Intel;
  return U16(1, o) + Entry(0x0006, 2, 16, U32(at + 18, o), o) + U32(0, o) +
         exiftest::Lit("IMG:TEST JPEG\0\0\0") + "II" + U16(42, o) + U32(at, o);
}

// The EXIF block of a Canon camera with that note where its offsets say.
std::string CanonExif() {
  const std::string placeholder = CanonNote(0x7A7A7A7A);
  const std::string block = CameraExifBlock(Order::Intel, "Canon", placeholder);
  const size_t at = block.find(placeholder);
  std::string fixed = block;
  fixed.replace(at, placeholder.size(), CanonNote(uint32_t(at)));
  return fixed;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool Lists(const std::string& listing, const std::string& pattern) {
  return std::regex_search(listing, std::regex(pattern));
}

TEST(MakerNote, OwnHeaderNoteKeepsItsSubDirectoriesAndLosesItsPreview) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  const std::string preview = CodedJpeg(MetadataPicture(16, 8));
  const std::string exif =
      CameraExifBlock(Order::Motorola, "NIKON CORPORATION", NikonNote(preview));
  const std::string source =
      JpegWithSegments({exiftest::ExifApp1(exif)}, CodedJpeg(MetadataPicture()));
  TMetadataOptions strip;
  strip.StripLocation = true;
  for (const TMetadataOptions& options : {TMetadataOptions{}, strip}) {
    for (const std::string ext : kMetadataFormats) {
      std::vector<std::string> warnings;
      const std::string out = CarryMetadata(source, "jpg", ext, options, &warnings);
      EXPECT_TRUE(warnings.empty()) << ext << ": " << warnings.front();
      const std::string listing =
          ExiftoolListing(out, "-warning -Nikon:MakerNoteVersion -NikonScan:all");
      EXPECT_TRUE(Lists(listing, "MakerNoteVersion +: 2\\.10")) << ext << "\n" << listing;
      EXPECT_TRUE(Lists(listing, "\\[NikonScan\\] +FilmType +: NEG")) << ext << "\n" << listing;
      EXPECT_FALSE(Lists(listing, "Warning")) << ext << "\n" << listing;
      // The preview of the unmarked picture is gone from the file.
      EXPECT_EQ(ReadAll(out).find(preview.substr(0, 200)), std::string::npos) << ext;
    }
  }
}

TEST(MakerNote, TiffBasedNoteFollowsItsNewPlace) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  const std::string exif = CanonExif();
  TMakerNote note;
  ASSERT_TRUE(FindMakerNote(exif, note));
  EXPECT_EQ(note.Base, TMakerNoteBase::Tiff);
  const std::string source =
      JpegWithSegments({exiftest::ExifApp1(exif)}, CodedJpeg(MetadataPicture()));
  TMetadataOptions strip;
  strip.StripLocation = true;  // the GPS directory goes, so the note moves
  for (const TMetadataOptions& options : {TMetadataOptions{}, strip}) {
    for (const std::string ext : kMetadataFormats) {
      std::vector<std::string> warnings;
      const std::string out = CarryMetadata(source, "jpg", ext, options, &warnings);
      EXPECT_TRUE(warnings.empty()) << ext << ": " << warnings.front();
      const std::string listing = ExiftoolListing(out, "-warning -Canon:CanonImageType");
      EXPECT_TRUE(Lists(listing, "\\[Canon\\] +CanonImageType +: IMG:TEST JPEG")) << ext << "\n"
                                                                                  << listing;
      EXPECT_FALSE(Lists(listing, "Warning")) << ext << "\n" << listing;
    }
  }
}

TEST(MakerNote, NotesOutsideTheBlockOrUnreadableAreLeftToTheEncoder) {
  TMakerNote note;
  // A note whose value runs past the block, and one of unknown layout whose
  // directory does not parse.
  std::string exif = CanonExif();
  ASSERT_TRUE(FindMakerNote(exif, note));
  EXPECT_FALSE(FindMakerNote(exif.substr(0, note.Offset + 10), note));
  const std::string garbage = CameraExifBlock(Order::Intel, "Maker", std::string(40, '\xEE'));
  EXPECT_FALSE(FindMakerNote(garbage, note));
  EXPECT_FALSE(FindMakerNote("II*\0", note));
  // A block without a note of the same size refuses the placement.
  ASSERT_TRUE(FindMakerNote(exif, note));
  std::string other = CameraExifBlock(Order::Intel, "Canon", std::string(10, 'x'));
  EXPECT_FALSE(PlaceMakerNote(other, note));
}

}  // namespace
}  // namespace imprimo
