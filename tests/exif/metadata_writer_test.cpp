// The metadata carried into outputs, on hand-built sources: colour profile
// chunks, thumbnails, XMP, Photoshop resources and damaged or oversized blocks.
#include "exif/metadata_writer.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <filesystem>
#include <fstream>

#include "exif/exif_reader.h"
#include "exif_builder.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/icc_profile.h"
#include "imaging/imaging_stream.h"
#include "support/corpus_support.h"
#include "support/icc_profiles.h"
#include "support/metadata_fixtures.h"
#include "support/reference_tools.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;
using namespace exiftest;

std::string SrgbProfile() { return testing::SrgbIccProfile(); }
std::string GrayProfile() { return testing::GrayIccProfile(2.2); }

// A w x h picture: left half red, right half blue, or all gray.
RasterImage Picture(int w, int h, bool gray = false) {
  RasterImage image;
  ImageCreate(image, w, h, gray ? ifGray8 : ifR8G8B8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (gray) {
        image.Row(y)[x] = uint8_t(x * 255 / w);
        continue;
      }
      uint8_t* p = image.Row(y) + 3 * x;  // B, G, R
      p[0] = x < w / 2 ? 0 : 255;
      p[1] = 0;
      p[2] = x < w / 2 ? 255 : 0;
    }
  return image;
}

std::string Encode(const RasterImage& image) {
  TMemoryStream stream;
  EncodeJpeg(image, 90, false, stream);
  return std::string(stream.Data().begin(), stream.Data().end());
}

// A source: SOI, the segments, then the coded picture of an encoder (its own
// JFIF header removed).
std::string Source(const std::vector<std::string>& segments, const RasterImage& image) {
  return testing::JpegWithSegments(segments, Encode(image));
}

std::vector<std::string> IccSegments(const std::string& profile) {
  std::vector<std::string> out;
  for (const std::string& chunk : SplitIccProfileForJpeg(profile))
    out.push_back(Segment(0xE2, chunk));
  return out;
}

std::string XmpSegment(const std::string& packet) {
  return Segment(0xE1, Lit("http://ns.adobe.com/xap/1.0/\0") + packet);
}

std::string XmpPacket(const std::string& body) {
  return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
         "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
         "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
         "xmlns:tiff='http://ns.adobe.com/tiff/1.0/' xmlns:exif='http://ns.adobe.com/exif/1.0/' "
         "xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' "
         "xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
         "xmlns:xmpGImg='http://ns.adobe.com/xap/1.0/g/img/' "
         "xmlns:xmpNote='http://ns.adobe.com/xmp/note/'>" +
         body + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

struct TComposed {
  std::string bytes;
  std::vector<std::string> warnings;
  TimgData reader;
};

TComposed Compose(const std::string& source, const RasterImage& pixels,
                  TMetadataOptions options = {}) {
  TComposed c;
  const std::string output = Encode(pixels);
  c.bytes = ComposeOutputMetadata(Span(source), Span(output), pixels, options, c.warnings);
  if (c.bytes.empty()) c.bytes = output;
  c.reader.ReadMetadata(Span(c.bytes));
  return c;
}

bool HasWarning(const std::vector<std::string>& warnings, const std::string& part) {
  return std::any_of(warnings.begin(), warnings.end(),
                     [&](const std::string& w) { return w.find(part) != std::string::npos; });
}

// The number of marker segments with this code and payload prefix before the scan.
int CountSegments(const std::string& jpeg, int code, const std::string& prefix = "") {
  int n = 0;
  size_t p = 2;
  while (p + 4 <= jpeg.size() && uint8_t(jpeg[p]) == 0xFF && uint8_t(jpeg[p + 1]) != 0xDA) {
    const size_t length = (uint8_t(jpeg[p + 2]) << 8) | uint8_t(jpeg[p + 3]);
    if (uint8_t(jpeg[p + 1]) == code && jpeg.compare(p + 4, prefix.size(), prefix) == 0) ++n;
    p += 2 + length;
  }
  return n;
}

using ::imprimo::testing::RunCommandText;

// exiftool's errors for the bytes ("" when none, or when exiftool is absent).
std::string ExiftoolErrors(const std::string& bytes) {
  if (RunCommandText("exiftool -ver 2>/dev/null").empty()) return std::string();
  const fs::path path =
      fs::temp_directory_path() / ("imprimo_meta_" + std::to_string(::getpid()) + ".jpg");
  std::ofstream(path, std::ios::binary) << bytes;
  std::string out = RunCommandText("exiftool -s -s -s -Error '" + path.string() + "' 2>&1");
  fs::remove(path);
  return out;
}

Exiv2::ExifData ExifOf(const TimgData& reader) {
  Exiv2::ExifData exif;
  const std::string& bytes = reader.ExifSection()->bytes;  // length, "Exif\0\0", TIFF
  Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(bytes.data()) + 8,
                            uint32_t(bytes.size() - 8));
  return exif;
}

TEST(MetadataColourProfile, ChunksAreJoinedInAnyOrderAndCheckedForSoundness) {
  const std::string profile = SrgbProfile();
  ASSERT_TRUE(IccProfileIsSound(profile));
  const RasterImage image = Picture(32, 16);

  // A profile split in three chunks stored last-first comes out whole.
  std::vector<TIccChunk> chunks;
  const size_t third = profile.size() / 3;
  for (int i = 2; i >= 0; --i)
    chunks.push_back({i + 1, 3, profile.substr(i * third, i == 2 ? std::string::npos : third)});
  std::vector<std::string> segments;
  for (const TIccChunk& c : chunks)
    segments.push_back(
        Segment(0xE2, Lit("ICC_PROFILE\0") + char(c.Sequence) + char(c.Count) + c.Data));
  TComposed c = Compose(Source(segments, image), image);
  EXPECT_TRUE(c.warnings.empty()) << c.warnings.front();
  EXPECT_EQ(ReadJpegIccProfile(Span(c.bytes)), profile);

  // One chunk missing: nothing of it is written, and that is said.
  segments.pop_back();
  c = Compose(Source(segments, image), image);
  EXPECT_EQ(CountSegments(c.bytes, 0xE2), 0);
  EXPECT_TRUE(HasWarning(c.warnings, "incomplete")) << ::testing::PrintToString(c.warnings);

  // Chunks whose numbers disagree, a truncated profile and bytes that are no
  // profile at all are refused the same way.
  const std::string bad[] = {Segment(0xE2, Lit("ICC_PROFILE\0\x01\x01") + profile.substr(0, 500)),
                             Segment(0xE2, Lit("ICC_PROFILE\0\x01\x01") + std::string(400, 'x')),
                             Segment(0xE2, Lit("ICC_PROFILE\0\x01\x02") + profile) +
                                 Segment(0xE2, Lit("ICC_PROFILE\0\x01\x02") + profile)};
  for (const std::string& seg : bad) {
    c = Compose(Source({seg}, image), image);
    EXPECT_EQ(CountSegments(c.bytes, 0xE2), 0);
    EXPECT_TRUE(HasWarning(c.warnings, "colour profile dropped"));
    EXPECT_EQ(ExiftoolErrors(c.bytes), "");
  }
}

TEST(MetadataColourProfile, OnlyAProfileOfTheOutputsColourSpaceIsAttached) {
  const RasterImage rgb = Picture(16, 16), gray = Picture(16, 16, true);
  const std::string srgb = SrgbProfile(), grayProfile = GrayProfile();

  TComposed c = Compose(Source(IccSegments(grayProfile), gray), gray);
  EXPECT_EQ(ReadJpegIccProfile(Span(c.bytes)), grayProfile);
  c = Compose(Source(IccSegments(grayProfile), gray), rgb);
  EXPECT_EQ(ReadJpegIccProfile(Span(c.bytes)), "");
  EXPECT_TRUE(HasWarning(c.warnings, "for gray data and the output is RGB"));
  c = Compose(Source(IccSegments(srgb), rgb), gray);
  EXPECT_EQ(ReadJpegIccProfile(Span(c.bytes)), "");

  // A CMYK profile (its pixels were converted when loading) is left out
  // without a warning.
  std::string cmyk = srgb;
  cmyk.replace(16, 4, "CMYK");
  c = Compose(Source(IccSegments(cmyk), rgb), rgb);
  EXPECT_EQ(CountSegments(c.bytes, 0xE2), 0);
  EXPECT_TRUE(c.warnings.empty());

  // PNG outputs take the profile as iCCP, replacing any sRGB chunk.
  TMemoryStream stream;
  std::vector<std::string> warnings;
  const std::string jpegSource = Source(IccSegments(srgb), rgb);
  const std::string png =
      std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0", 29) +
      "\x90\x91\x68\x36" + std::string("\0\0\0\x01sRGB\0\xAE\xCE\x1C\xE9", 13) +
      std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
  const std::string withProfile =
      ComposeOutputMetadata(Span(jpegSource), Span(png), rgb, {}, warnings);
  EXPECT_EQ(ReadPngIccProfile(Span(withProfile)), srgb);
  EXPECT_EQ(withProfile.find("sRGB"), std::string::npos);
  EXPECT_NE(withProfile.find("IEND"), std::string::npos);
  // ...and a PNG source's profile reaches a JPEG output.
  const std::string jpegOut = Encode(rgb);
  const std::string fromPng =
      ComposeOutputMetadata(Span(withProfile), Span(jpegOut), rgb, {}, warnings);
  EXPECT_EQ(ReadJpegIccProfile(Span(fromPng)), srgb);
  EXPECT_TRUE(warnings.empty());
}

// A TIFF block whose IFD1 claims a thumbnail at an offset far outside it.
std::string WithBadThumbnail(Order o, const std::vector<Entry>& ifd0,
                             const std::vector<Entry>& exif = {}) {
  const std::string ifd1 = U16(2, o) + U16(0x0201, o) + U16(4, o) + U32(1, o) + U32(900000, o) +
                           U16(0x0202, o) + U16(4, o) + U32(1, o) + U32(5000, o) + U32(0, o);
  const uint32_t at = uint32_t(TiffBlock(o, ifd0, exif).size());
  return TiffBlock(o, ifd0, exif, {}, at) + ifd1;
}

TEST(MetadataExif, ThumbnailIsRebuiltFromTheOutputAndSizesFollowIt) {
  const Order o = Order::Intel;
  const std::string tiff = WithBadThumbnail(o, {Ascii(0x010F, "Maker"), Short(0x0112, {6}, o)},
                                            {Short(0xA002, {4000}, o), Short(0xA003, {3000}, o)});
  const RasterImage source = Picture(64, 48);
  const RasterImage output = Picture(400, 100);  // as if resized and bordered

  TMetadataOptions turned;
  turned.SetOrientation1 = true;
  for (const TMetadataOptions& options : {TMetadataOptions{}, turned}) {
    TComposed c = Compose(Source({ExifApp1(tiff)}, source), output, options);
    ASSERT_TRUE(c.reader.HasExifBlock()) << ::testing::PrintToString(c.warnings);
    Exiv2::ExifData exif = ExifOf(c.reader);
    EXPECT_EQ(exif["Exif.Image.Make"].toString(), "Maker");
    EXPECT_EQ(exif["Exif.Photo.PixelXDimension"].toLong(), 400);
    EXPECT_EQ(exif["Exif.Photo.PixelYDimension"].toLong(), 100);
    EXPECT_EQ(exif["Exif.Image.Orientation"].toLong(), options.SetOrientation1 ? 1 : 6);
    EXPECT_EQ(ExiftoolErrors(c.bytes), "");

    // The new thumbnail decodes to a 160 x 40 picture of the output: red on
    // the left, blue on the right.
    const std::string& block = c.reader.ExifSection()->bytes;
    const size_t soi = block.find("\xFF\xD8\xFF", 10);
    ASSERT_NE(soi, std::string::npos);
    RasterImage thumb;
    DecodeJpeg(Span(block.substr(soi)), thumb);
    EXPECT_EQ(thumb.Width, kExifThumbnailSide);
    EXPECT_EQ(thumb.Height, 40);
    EXPECT_GT(thumb.Row(20)[2], 200);        // red at the left
    EXPECT_GT(thumb.Row(20)[3 * 150], 200);  // blue at the right
  }

  // A source without a thumbnail does not get one.
  TComposed c = Compose(Source({ExifApp1(TiffBlock(o, {Ascii(0x010F, "Maker")}))}, source), output);
  ASSERT_TRUE(c.reader.HasExifBlock());
  EXPECT_EQ(c.reader.ExifSection()->bytes.find("\xFF\xD8\xFF", 10), std::string::npos);
}

TEST(MetadataExif, UnreadableOrOversizedBlocksAreDroppedOrShrunkAndSaid) {
  const RasterImage image = Picture(64, 48);
  // Bytes after the identifier that are no TIFF block.
  TComposed c = Compose(Source({ExifApp1("garbage, not a TIFF header at all")}, image), image);
  EXPECT_FALSE(c.reader.HasExifBlock());
  EXPECT_TRUE(HasWarning(c.warnings, "EXIF data dropped"));
  EXPECT_EQ(ExiftoolErrors(c.bytes), "");

  // A block that nearly fills its segment: with the new thumbnail it cannot
  // fit, so the large unknown tag goes and the rest is kept.
  const Order o = Order::Motorola;
  const std::string tiff =
      WithBadThumbnail(o, {Ascii(0x010F, "Maker"), Undefined(0xC7A0, std::string(65200, 'u'))});
  c = Compose(Source({ExifApp1(tiff)}, image), image);
  ASSERT_TRUE(c.reader.HasExifBlock());
  EXPECT_LE(c.reader.ExifSection()->bytes.size(), 65535u);
  EXPECT_EQ(c.reader.TagValueByName("Make"), "Maker");
  EXPECT_FALSE(c.warnings.empty());
  EXPECT_EQ(ExiftoolErrors(c.bytes), "");
}

TEST(MetadataXmp, PacketIsCarriedEditedAndCheckedForSize) {
  const RasterImage image = Picture(200, 50);
  const std::string body =
      "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>A title</rdf:li></rdf:Alt></dc:title>"
      "<tiff:Orientation>6</tiff:Orientation><tiff:ImageWidth>4000</tiff:ImageWidth>"
      "<exif:PixelXDimension>4000</exif:PixelXDimension>"
      "<exif:GPSLatitude>48,51.4N</exif:GPSLatitude><photoshop:City>Paris</photoshop:City>"
      "<xmp:Thumbnails><rdf:Alt><rdf:li rdf:parseType='Resource'><xmpGImg:image>/9j/4AAQ"
      "</xmpGImg:image></rdf:li></rdf:Alt></xmp:Thumbnails>";
  // About 60 KB of description: still one segment after rewriting.
  const std::string big = "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>" +
                          std::string(59000, 'd') + "</rdf:li></rdf:Alt></dc:description>";
  TMetadataOptions options;
  options.SetOrientation1 = true;
  options.StripLocation = true;
  TComposed c = Compose(Source({XmpSegment(XmpPacket(body + big))}, image), image, options);
  EXPECT_TRUE(c.warnings.empty()) << ::testing::PrintToString(c.warnings);
  const size_t at = c.bytes.find("http://ns.adobe.com/xap/1.0/");
  ASSERT_NE(at, std::string::npos);
  const std::string xmp = c.bytes.substr(at, 70000);
  EXPECT_NE(xmp.find("A title"), std::string::npos);
  EXPECT_NE(xmp.find(std::string(59000, 'd')), std::string::npos);
  // Simple properties may be written as elements or as attributes.
  for (const char* value : {"tiff:Orientation", "tiff:ImageWidth", "exif:PixelXDimension"}) {
    const std::string expected = std::string(value) == "tiff:Orientation" ? "1" : "200";
    EXPECT_TRUE(xmp.find(std::string(value) + "=\"" + expected + "\"") != std::string::npos ||
                xmp.find(std::string(value) + ">" + expected + "<") != std::string::npos)
        << value;
  }
  EXPECT_EQ(xmp.find("GPSLatitude"), std::string::npos);
  EXPECT_EQ(xmp.find("Paris"), std::string::npos);
  EXPECT_EQ(xmp.find("/9j/4AAQ"), std::string::npos);
  EXPECT_EQ(ExiftoolErrors(c.bytes), "");

  // A packet that grows past one segment when written again (each ">" is
  // escaped to four bytes) is dropped and said; a packet that does not
  // parse likewise.
  const std::string grows = "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>" +
                            std::string(30000, '>') + "</rdf:li></rdf:Alt></dc:description>";
  c = Compose(Source({XmpSegment(XmpPacket(grows))}, image), image);
  EXPECT_EQ(CountSegments(c.bytes, 0xE1, "http://ns.adobe.com/xap/1.0/"), 0);
  EXPECT_TRUE(HasWarning(c.warnings, "does not fit")) << ::testing::PrintToString(c.warnings);
  c = Compose(Source({XmpSegment("<x:xmpmeta><unclosed")}, image), image);
  EXPECT_EQ(CountSegments(c.bytes, 0xE1, "http://ns.adobe.com/xap/1.0/"), 0);
  EXPECT_TRUE(HasWarning(c.warnings, "XMP dropped"));
}

TEST(MetadataXmp, ExtendedXmpTravelsWhenWholeAndIsDroppedWhenNot) {
  const RasterImage image = Picture(32, 32);
  const std::string guid = "0123456789ABCDEF0123456789ABCDEF";
  const std::string ext = XmpPacket("<dc:source>" + std::string(100000, 's') + "</dc:source>");
  auto chunk = [&](size_t offset, size_t size) {
    std::string payload = Lit("http://ns.adobe.com/xmp/extension/\0") + guid;
    payload += U32(uint32_t(ext.size()), Order::Motorola);
    payload += U32(uint32_t(offset), Order::Motorola);
    return Segment(0xE1, payload + ext.substr(offset, size));
  };
  const std::string main =
      XmpSegment(XmpPacket("<xmpNote:HasExtendedXMP>" + guid + "</xmpNote:HasExtendedXMP>"));
  const size_t half = 60000;
  TComposed c =
      Compose(Source({main, chunk(half, ext.size() - half), chunk(0, half)}, image), image);
  EXPECT_TRUE(c.warnings.empty()) << ::testing::PrintToString(c.warnings);
  EXPECT_EQ(CountSegments(c.bytes, 0xE1, "http://ns.adobe.com/xmp/extension/"), 2);
  EXPECT_NE(c.bytes.find(guid), std::string::npos);
  EXPECT_EQ(ExiftoolErrors(c.bytes), "");

  c = Compose(Source({main, chunk(0, half)}, image), image);
  EXPECT_EQ(CountSegments(c.bytes, 0xE1, "http://ns.adobe.com/xmp/extension/"), 0);
  EXPECT_EQ(c.bytes.find(guid), std::string::npos);  // the main packet no longer names it
  EXPECT_TRUE(HasWarning(c.warnings, "extended XMP dropped"));

  // An output that holds its packet whole gets the extended part folded in.
  const std::string source = Source({main, chunk(half, ext.size() - half), chunk(0, half)}, image);
  const std::vector<uint8_t> webp = testing::SaveToMemory("webp", image);
  std::vector<std::string> warnings;
  const std::string whole = ComposeOutputMetadata(
      Span(source), Span(std::string(webp.begin(), webp.end())), image, {}, warnings);
  EXPECT_TRUE(warnings.empty()) << ::testing::PrintToString(warnings);
  EXPECT_NE(whole.find(std::string(100000, 's')), std::string::npos);
  EXPECT_EQ(whole.find(guid), std::string::npos);
}

TEST(MetadataIptc, PhotoshopThumbnailsGoAndLocationIsStrippedOnRequest) {
  const RasterImage image = Picture(32, 32);
  auto dataset = [](int tag, const std::string& v) {
    return std::string{0x1C, 0x02, char(tag), char(v.size() >> 8), char(v.size())} + v;
  };
  const std::string iptc = dataset(5, "Object") + dataset(90, "Lyon") + dataset(101, "France") +
                           dataset(116, "(c) Someone");
  auto resource = [](int id, const std::string& data) {
    std::string r = "8BIM" + std::string{char(id >> 8), char(id)} + std::string(2, '\0');
    r += U32(uint32_t(data.size()), Order::Motorola) + data;
    if (data.size() & 1) r += '\0';
    return r;
  };
  const std::string app13 = Segment(0xED, Lit("Photoshop 3.0\0") + resource(0x0404, iptc) +
                                              resource(0x040C, "thumbnail jpeg bytes") +
                                              resource(0x0425, std::string(16, 'm')));
  TComposed c = Compose(Source({app13}, image), image);
  ASSERT_NE(c.reader.IptcSection(), nullptr);
  std::string kept = c.reader.IptcSection()->bytes;
  EXPECT_NE(kept.find("Lyon"), std::string::npos);
  EXPECT_EQ(kept.find("thumbnail jpeg bytes"), std::string::npos);
  EXPECT_NE(kept.find(std::string(16, 'm')), std::string::npos);  // digest still true

  TMetadataOptions strip;
  strip.StripLocation = true;
  c = Compose(Source({app13}, image), image, strip);
  ASSERT_NE(c.reader.IptcSection(), nullptr);
  kept = c.reader.IptcSection()->bytes;
  EXPECT_EQ(kept.find("Lyon"), std::string::npos);
  EXPECT_EQ(kept.find("France"), std::string::npos);
  EXPECT_NE(kept.find("Object"), std::string::npos);
  EXPECT_NE(kept.find("(c) Someone"), std::string::npos);
  EXPECT_EQ(kept.find(std::string(16, 'm')), std::string::npos);
  EXPECT_EQ(ExiftoolErrors(c.bytes), "");

  // Resource blocks that do not parse are dropped, not copied blindly.
  c = Compose(Source({Segment(0xED, Lit("Photoshop 3.0\0") + "8BIM\x04\x04 broken")}, image),
              image);
  EXPECT_EQ(c.reader.IptcSection(), nullptr);
  EXPECT_TRUE(HasWarning(c.warnings, "IPTC data dropped"));
}

TEST(MetadataOutput, DamagedCameraMetadataNeverStopsTheOutput) {
  const fs::path camera =
      fs::path(IMPRIMO_CORPUS_DIR) / "exif/exif-samples/phone-hdr/canon_hdr_NO.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(camera);
  std::ifstream in(camera, std::ios::binary);
  const std::string original((std::istreambuf_iterator<char>(in)), {});
  const RasterImage image = Picture(24, 16);
  const std::string output = Encode(image);
  // Bytes of the metadata segments are damaged at random places; whatever
  // comes out is a JPEG stream that still ends with the output's picture.
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  const size_t metadataEnd = std::min<size_t>(original.size(), 40000);
  for (int round = 0; round < 60; ++round) {
    std::string source = original;
    for (int k = 0; k < 1 + round % 8; ++k)
      source[2 + next() % (metadataEnd - 2)] = char(next() >> 8);
    std::vector<std::string> warnings;
    TMetadataOptions options;
    options.StripLocation = round % 2 == 1;
    const std::string out =
        ComposeOutputMetadata(Span(source), Span(output), image, options, warnings);
    if (out.empty()) continue;
    ASSERT_EQ(out.substr(0, 2), "\xFF\xD8") << round;
    ASSERT_EQ(out.substr(out.size() - 200), output.substr(output.size() - 200)) << round;
    RasterImage back;
    EXPECT_NO_THROW(DecodeJpeg(Span(out), back)) << round;
  }
}

TEST(MetadataOutput, SourcesWithNothingToCarryLeaveTheOutputAlone) {
  const RasterImage image = Picture(16, 16);
  const std::string output = Encode(image);
  std::vector<std::string> warnings;
  for (const std::string& source :
       {Source({Comment("only a comment")}, image), std::string("not an image"), std::string()}) {
    EXPECT_EQ(ComposeOutputMetadata(Span(source), Span(output), image, {}, warnings), "");
  }
  // An output that is neither JPEG nor PNG is never touched.
  const std::string withProfile = Source(IccSegments(SrgbProfile()), image);
  EXPECT_EQ(
      ComposeOutputMetadata(Span(withProfile), Span(std::string("BM....")), image, {}, warnings),
      "");
  EXPECT_TRUE(warnings.empty());
}

}  // namespace
}  // namespace imprimo
