// The metadata of a camera JPEG (and of a PNG) carried into every output
// format that holds metadata, as exiftool reads the written files: location
// stripping, creator and copyright, IPTC fields, namespace URIs.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "exif/png_metadata.h"
#include "exif/xmp_namespaces.h"
#include "support/metadata_fixtures.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;
using namespace ::imprimo::testing;

// The lines of an exiftool listing that match the pattern.
std::string Matching(const std::string& listing, const std::string& pattern) {
  const std::regex re(pattern, std::regex::icase);
  std::string found;
  size_t start = 0;
  while (start < listing.size()) {
    size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    const std::string line = listing.substr(start, end - start);
    if (std::regex_search(line, re)) found += line + "\n";
    start = end + 1;
  }
  return found;
}

TEST(MetadataFormats, StrippedLocationLeavesNoPlaceInAnyFormat) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  const std::string camera = JpegWithSegments(CameraSegments(), CodedJpeg(MetadataPicture()));
  TMetadataOptions strip;
  strip.StripLocation = true;
  // Any GPS tag, any place field, and the place names or position values.
  const std::string place =
      "GPS|City|Country|Location|Province|State|Sub-?location|Paris|Louvre|France|48 deg";
  for (const char* ext : kMetadataFormats) {
    const std::string kept = ExiftoolListing(CarryMetadata(camera, "jpg", ext, {}));
    EXPECT_NE(Matching(kept, "City +: Paris"), "") << ext << "\n" << kept;
    EXPECT_NE(Matching(kept, "GPSLatitude +: 48 deg 51' 36"), "") << ext;

    const std::string listing = ExiftoolListing(CarryMetadata(camera, "jpg", ext, strip));
    EXPECT_EQ(Matching(listing, place), "") << ext;
    // What is not a place stays.
    EXPECT_NE(Matching(listing, "\\[IFD0\\] +Artist +: Jane Doe"), "") << ext << "\n" << listing;
    EXPECT_NE(Matching(listing, "\\[XMP-dc\\] +Creator +: Jane Doe"), "") << ext;
    EXPECT_EQ(Matching(listing, "Warning|Error"), "") << ext;
  }
}

TEST(MetadataFormats, CreatorAndCopyrightReachEveryFormat) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  const std::string coded = CodedJpeg(MetadataPicture());
  const std::string tags =
      "-IFD0:Artist -IFD0:Copyright -XMP-dc:Creator -XMP-dc:Rights -IPTC:By-line "
      "-IPTC:CopyrightNotice -XMP-photoshop:City -IPTC:City -warning";
  // With XMP beside the IPTC datasets, and with the IPTC datasets alone:
  // a format without an IPTC block of its own gets their fields as XMP.
  for (bool withXmp : {true, false}) {
    const std::string camera = JpegWithSegments(CameraSegments(withXmp), coded);
    for (const std::string ext : kMetadataFormats) {
      std::vector<std::string> warnings;
      const std::string listing =
          ExiftoolListing(CarryMetadata(camera, "jpg", ext, {}, &warnings), tags);
      EXPECT_TRUE(warnings.empty()) << ext << ": " << warnings.front();
      const std::string where = ext + (withXmp ? " with XMP" : " without XMP") + "\n" + listing;
      EXPECT_NE(Matching(listing, "\\[IFD0\\] +Artist +: Jane Doe$"), "") << where;
      EXPECT_NE(Matching(listing, "\\[IFD0\\] +Copyright +: \\(c\\) 2026 Jane Doe$"), "") << where;
      const bool iptcBlock = ext == "jpg" || ext == "tif";
      const bool xmp = withXmp || !iptcBlock;
      EXPECT_EQ(Matching(listing, "\\[XMP-dc\\] +Creator +: Jane Doe$") != "", xmp) << where;
      EXPECT_EQ(Matching(listing, "\\[XMP-dc\\] +Rights +: \\(c\\) 2026 Jane Doe$") != "", xmp)
          << where;
      EXPECT_NE(Matching(listing, "City +: Paris$"), "") << where;
      EXPECT_EQ(Matching(listing, "\\[IPTC\\] +By-line +: Jane Doe$") != "", iptcBlock) << where;
      EXPECT_EQ(Matching(listing, "Warning"), "") << where;
    }
  }
}

TEST(MetadataFormats, NamespaceUrisAreKeptByteForByte) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  const std::string camera = JpegWithSegments(CameraSegments(), CodedJpeg(MetadataPicture()));
  for (const std::string ext : kMetadataFormats) {
    const std::string listing = ExiftoolListing(CarryMetadata(camera, "jpg", ext, {}),
                                                "-XMP-microsoft:RatingPercent -warning");
    EXPECT_NE(Matching(listing, "\\[XMP-microsoft\\] +RatingPercent +: 75$"), "") << ext << "\n"
                                                                                  << listing;
    EXPECT_EQ(Matching(listing, "Warning"), "") << ext << "\n" << listing;
  }

  // Only the slash the encoder added is taken away: URIs that end in '/'
  // or '#' and URIs declared with and without the slash stay as written.
  std::string written =
      "<r xmlns:a=\"http://a.example/1.0/\" xmlns:b='http://b.example/x#' "
      "xmlns:c=\"http://c.example/2/\" xmlns:d=\"http://d.example/3/\"/>";
  RestoreXmpNamespaces(
      "<r xmlns:a='http://a.example/1.0' xmlns:b='http://b.example/x#' "
      "xmlns:c='http://c.example/2' xmlns:cc='http://c.example/2/' xmlns:d='http://d.example/3/'/>",
      written);
  EXPECT_EQ(written,
            "<r xmlns:a=\"http://a.example/1.0\" xmlns:b='http://b.example/x#' "
            "xmlns:c=\"http://c.example/2/\" xmlns:d=\"http://d.example/3/\"/>");
}

TEST(MetadataFormats, PngSourceChunksAreReadAndTravel) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  const std::vector<uint8_t> plain = SaveToMemory("png", MetadataPicture());
  const std::string png(plain.begin(), plain.end());
  const std::string exif = PngChunk("eXIf", CameraExifBlock(exiftest::Order::Intel));
  for (bool compressed : {false, true}) {
    const std::string source =
        InsertPngChunks(png, exif + PngXmpChunk(CameraXmpPacket(false), compressed));
    const TPngMetadata read = ReadPngMetadata(exiftest::Span(source));
    EXPECT_EQ(read.Exif, CameraExifBlock(exiftest::Order::Intel));
    EXPECT_EQ(read.Xmp, CameraXmpPacket(false));
    for (const std::string ext : {"jpg", "png"}) {
      const std::string listing = ExiftoolListing(CarryMetadata(source, "png", ext, {}),
                                                  "-IFD0:Artist -XMP-dc:Creator -warning");
      EXPECT_NE(Matching(listing, "\\[IFD0\\] +Artist +: Jane Doe$"), "") << ext << "\n" << listing;
      EXPECT_NE(Matching(listing, "\\[XMP-dc\\] +Creator +: Jane Doe$"), "") << ext;
      EXPECT_EQ(Matching(listing, "Warning"), "") << ext << "\n" << listing;
    }
  }

  // Damaged chunks are passed over: a wrong CRC, an EXIF block without a
  // TIFF header, compressed XMP that does not inflate, a chunk running past
  // the end.
  std::string badCrc = exif;
  badCrc[badCrc.size() - 1] ^= 0x55;
  const std::string damaged[] = {badCrc, PngChunk("eXIf", "not a TIFF header"),
                                 PngChunk("iTXt", std::string("XML:com.adobe.xmp") + '\0' + '\x01' +
                                                      std::string(3, '\0') + "no zlib stream"),
                                 PngChunk("iTXt", std::string("XML:com.adobe.xmp") + '\0')};
  for (const std::string& chunk : damaged) {
    const TPngMetadata read = ReadPngMetadata(exiftest::Span(InsertPngChunks(png, chunk)));
    EXPECT_TRUE(read.Exif.empty() && read.Xmp.empty());
  }
  const std::string cut = InsertPngChunks(png, exif).substr(0, 8 + 25 + 20);
  EXPECT_TRUE(ReadPngMetadata(exiftest::Span(cut)).Exif.empty());
  EXPECT_EQ(SetPngMetadata(exiftest::Span(cut), "II*", ""), "");
}

}  // namespace
}  // namespace imprimo
