// Metadata a camera and a picture agency put into their files, built byte
// by byte: the EXIF, XMP and IPTC segments of a camera JPEG that knows where
// it was taken, PNG metadata chunks, and exiftool's view of a written file.
#pragma once

#include <zlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "exif/exif_builder.h"
#include "exif/metadata_writer.h"
#include "imaging/file_format.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/imaging_stream.h"
#include "support/imaging_support.h"
#include "support/reference_tools.h"

namespace imprimo::testing {

// The place the fixtures were "taken": 48°51'36"N 2°19'48"E, Paris, Louvre.
// exiftool prints the coordinates as "48 deg 51' 36.00"".
inline constexpr const char* kFixtureCity = "Paris";
inline constexpr const char* kFixtureSpot = "Louvre";
inline constexpr const char* kFixtureCreator = "Jane Doe";
inline constexpr const char* kFixtureRights = "(c) 2026 Jane Doe";

// A camera EXIF block: make, model, artist and copyright in IFD0, an EXIF
// directory (with the maker note when one is given), and a GPS directory
// with the position above.
inline std::string CameraExifBlock(exiftest::Order o = exiftest::Order::Motorola,
                                   const std::string& make = "NIKON CORPORATION",
                                   const std::string& makerNote = "") {
  using namespace exiftest;
  std::vector<Entry> exif = {Rational(0x829A, {{1, 250}}, o)};
  if (!makerNote.empty()) exif.push_back(Undefined(0x927C, makerNote));
  exif.push_back(Short(0xA002, {4000}, o));
  exif.push_back(Short(0xA003, {3000}, o));
  return TiffBlock(
      o,
      {Ascii(0x010F, make + '\0'), Ascii(0x0110, std::string("D750") + '\0'),
       Ascii(0x013B, std::string(kFixtureCreator) + '\0'),
       Ascii(0x8298, std::string(kFixtureRights) + '\0')},
      exif,
      {Bytes(0x0000, {2, 3, 0, 0}), Ascii(0x0001, std::string("N") + '\0'),
       Rational(0x0002, {{48, 1}, {51, 1}, {36, 1}}, o), Ascii(0x0003, std::string("E") + '\0'),
       Rational(0x0004, {{2, 1}, {19, 1}, {48, 1}}, o)});
}

// An XMP packet with the position, the place in every schema that names one
// (photoshop, IPTC Core and Extension), creator and rights, and a rating in
// a namespace whose URI has no trailing slash.
inline std::string CameraXmpPacket(bool withLocation = true) {
  std::string location =
      "<exif:GPSLatitude>48,51.6N</exif:GPSLatitude>"
      "<exif:GPSLongitude>2,19.8E</exif:GPSLongitude>"
      "<photoshop:City>Paris</photoshop:City><photoshop:Country>France</photoshop:Country>"
      "<Iptc4xmpCore:Location>Louvre</Iptc4xmpCore:Location>"
      "<Iptc4xmpCore:CountryCode>FR</Iptc4xmpCore:CountryCode>"
      "<Iptc4xmpExt:LocationCreated><rdf:Bag><rdf:li rdf:parseType='Resource'>"
      "<Iptc4xmpExt:City>Paris</Iptc4xmpExt:City></rdf:li></rdf:Bag>"
      "</Iptc4xmpExt:LocationCreated>"
      "<Iptc4xmpExt:LocationShown><rdf:Bag><rdf:li rdf:parseType='Resource'>"
      "<Iptc4xmpExt:Sublocation>Louvre</Iptc4xmpExt:Sublocation></rdf:li></rdf:Bag>"
      "</Iptc4xmpExt:LocationShown>";
  return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
         "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
         "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
         "xmlns:exif='http://ns.adobe.com/exif/1.0/' "
         "xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' "
         "xmlns:Iptc4xmpCore='http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/' "
         "xmlns:Iptc4xmpExt='http://iptc.org/std/Iptc4xmpExt/2008-02-29/' "
         "xmlns:MicrosoftPhoto='http://ns.microsoft.com/photo/1.0'>"
         "<dc:creator><rdf:Seq><rdf:li>Jane Doe</rdf:li></rdf:Seq></dc:creator>"
         "<dc:rights><rdf:Alt><rdf:li xml:lang='x-default'>(c) 2026 Jane Doe</rdf:li></rdf:Alt>"
         "</dc:rights><MicrosoftPhoto:Rating>75</MicrosoftPhoto:Rating>" +
         (withLocation ? location : std::string()) +
         "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

// IPTC datasets of record 2: by-line, copyright notice, city, sub-location,
// province, country and country code.
inline std::string CameraIptcDatasets() {
  auto dataset = [](int tag, const std::string& v) {
    return std::string{0x1C, 0x02, char(tag), char(v.size() >> 8), char(v.size())} + v;
  };
  return dataset(80, kFixtureCreator) + dataset(116, kFixtureRights) + dataset(90, kFixtureCity) +
         dataset(92, kFixtureSpot) + dataset(95, "Ile-de-France") + dataset(100, "FRA") +
         dataset(101, "France");
}

// The APP13 segment holding those datasets as a Photoshop IPTC resource.
inline std::string PhotoshopIptcSegment(const std::string& datasets) {
  using namespace exiftest;
  std::string resource = "8BIM" + std::string{0x04, 0x04} + std::string(2, '\0');
  resource += U32(uint32_t(datasets.size()), Order::Motorola) + datasets;
  if (datasets.size() & 1) resource += '\0';
  return Segment(0xED, Lit("Photoshop 3.0\0") + resource);
}

// The metadata segments of a camera JPEG tagged by a location-aware
// workflow: EXIF with GPS, XMP with the place, IPTC with the place.
inline std::vector<std::string> CameraSegments(bool withXmp = true) {
  using namespace exiftest;
  std::vector<std::string> segments = {ExifApp1(CameraExifBlock())};
  if (withXmp)
    segments.push_back(Segment(0xE1, Lit("http://ns.adobe.com/xap/1.0/\0") + CameraXmpPacket()));
  segments.push_back(PhotoshopIptcSegment(CameraIptcDatasets()));
  return segments;
}

// A JPEG stream: SOI, the segments, then the coded picture of an encoder
// (its own leading JFIF header left out).
inline std::string JpegWithSegments(const std::vector<std::string>& segments,
                                    const std::string& coded) {
  size_t rest = 2;
  if (coded.size() > 6 && uint8_t(coded[2]) == 0xFF && uint8_t(coded[3]) == 0xE0)
    rest = 4 + ((uint8_t(coded[4]) << 8) | uint8_t(coded[5]));
  std::string s("\xFF\xD8", 2);
  for (const std::string& seg : segments) s += seg;
  return s + coded.substr(rest);
}

// One PNG chunk with its length and CRC.
inline std::string PngChunk(const std::string& type, const std::string& data) {
  using namespace exiftest;
  const std::string body = type + data;
  return U32(uint32_t(data.size()), Order::Motorola) + body +
         U32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))),
             Order::Motorola);
}

// An iTXt chunk with the XMP keyword, its text deflated when compressed.
inline std::string PngXmpChunk(const std::string& packet, bool compressed) {
  std::string text = packet;
  if (compressed) {
    uLongf size = compressBound(uLong(packet.size()));
    text.assign(size, '\0');
    compress2(reinterpret_cast<Bytef*>(text.data()), &size,
              reinterpret_cast<const Bytef*>(packet.data()), uLong(packet.size()), 9);
    text.resize(size);
  }
  return PngChunk("iTXt", std::string("XML:com.adobe.xmp") + '\0' + char(compressed ? 1 : 0) +
                              std::string(3, '\0') + text);
}

// The PNG with chunks inserted right after its IHDR chunk.
inline std::string InsertPngChunks(const std::string& png, const std::string& chunks) {
  return png.substr(0, 8 + 25) + chunks + png.substr(8 + 25);
}

// The output formats that carry metadata.
inline constexpr const char* kMetadataFormats[] = {"jpg", "png", "webp", "avif", "tif"};

// A small RGB picture with a gradient.
inline RasterImage MetadataPicture(int w = 48, int h = 32) {
  RasterImage image;
  ImageCreate(image, w, h, ifR8G8B8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = image.Row(y) + 3 * x;
      p[0] = uint8_t(x * 5), p[1] = uint8_t(y * 7), p[2] = 128;
    }
  return image;
}

inline std::string CodedJpeg(const RasterImage& image) {
  TMemoryStream stream;
  EncodeJpeg(image, 90, false, stream);
  return std::string(stream.Data().begin(), stream.Data().end());
}

// Writes a picture in the format ext, carries the metadata of the source
// bytes (a file named source.<sourceExt>) into it and returns the output's
// path; the warnings are handed back when asked for.
inline std::string CarryMetadata(const std::string& sourceBytes, const std::string& sourceExt,
                                 const std::string& ext, const TMetadataOptions& options,
                                 std::vector<std::string>* warnings = nullptr) {
  const RasterImage image = MetadataPicture();
  const std::string source = TempPath("metadata", "source." + sourceExt);
  std::ofstream(source, std::ios::binary) << sourceBytes;
  const std::string out = TempPath("metadata", "out_" + sourceExt + "." + ext);
  std::vector<std::string> w = SaveWithSourceMetadata(source, out, image, options);
  if (warnings) *warnings = std::move(w);
  return out;
}

// exiftool's listing of a file's tags with their groups ("-a -G1 -s"):
// every tag and warning, or only those named in tags ("-Artist -warning");
// empty when exiftool is not installed.
inline std::string ExiftoolListing(const std::string& path, const std::string& tags = "") {
  return RunCommandText("exiftool -a -G1 -s " + tags + " " + Quote(path) + " 2>/dev/null");
}

inline bool HaveExiftool() {
  static const bool have = HaveCommand("exiftool");
  return have;
}

}  // namespace imprimo::testing
