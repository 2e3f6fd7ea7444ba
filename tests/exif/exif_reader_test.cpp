// Segment scan, directory parsing and display values of the metadata reader.
#include "exif/exif_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "exif/exif_builder.h"
#include "exif/exif_tables.h"

using namespace exiftest;
using imprimo::TimgData;

namespace {

std::vector<Entry> CameraEntries() {
  return {Ascii(0x010F, Lit("Canon\0\0\0")), Ascii(0x0110, Lit("PowerShot\0")),
          Ascii(0x0132, Lit("2001:01:01 00:00:00\0"))};
}

std::vector<Entry> ShotEntries(Order o) {
  return {Rational(0x829A, {{10, 600}}, o),
          Rational(0x829D, {{28, 10}}, o),
          Short(0x8827, {100, 200}, o),
          Ascii(0x9003, Lit("2024:03:09 14:05:07\0")),
          Short(0x9207, {2}, o),
          Rational(0x920A, {{62, 10}}, o),
          Long(0xA002, {640}, o),
          Short(0xA003, {480}, o)};
}

std::string SampleJpeg(Order o) {
  return Jpeg({Jfif(), ExifApp1(TiffBlock(o, CameraEntries(), ShotEntries(o)))});
}

// Reads bytes and returns the reader (by pointer, it is not copyable).
std::unique_ptr<TimgData> Read(const std::string& bytes) {
  auto r = std::make_unique<TimgData>(255);
  r->ReadMetadata(Span(bytes));
  return r;
}

std::string TempFolder() {
  auto dir = std::filesystem::temp_directory_path() /
             ("imprimo_exif_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::create_directories(dir);
  return dir.string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class DisplayValues : public ::testing::TestWithParam<Order> {};

TEST_P(DisplayValues, CameraAndShotTagsInBothByteOrders) {
  auto r = Read(SampleJpeg(GetParam()));
  ASSERT_TRUE(r->HasExifBlock());
  EXPECT_EQ(r->ErrorText(), "<none>");
  // Only the last zero byte is dropped; the others show as dots.
  EXPECT_EQ(r->CameraMake(), "Canon..");
  EXPECT_EQ(r->TagValueByName("Make"), "Canon..");
  EXPECT_EQ(r->CameraModel(), "PowerShot");
  EXPECT_EQ(r->TagValueByName("ExposureTime"), "10/600 sec");
  EXPECT_EQ(r->TagValueByName("FNumber"), "F2.8");
  EXPECT_EQ(r->TagValueByName("FocalLength"), " 6.20 mm");
  EXPECT_EQ(r->TagValueByName("ISOSpeedRatings"), "100, 200");
  EXPECT_EQ(r->TagValueByName("MeteringMode"), "Center");
  // DateTimeOriginal lies in the sub-directory parsed after DateTime.
  EXPECT_EQ(r->DateTime(), "2024:03:09 14:05:07");
  EXPECT_EQ(r->Width(), 640);
  EXPECT_EQ(r->Height(), 480);
  EXPECT_EQ(r->ByteOrder(), GetParam() == Order::Intel ? imprimo::TByteOrder::Intel
                                                       : imprimo::TByteOrder::Motorola);
  // Names are matched without regard to case; absent tags give empty text.
  EXPECT_EQ(r->TagValueByName("fnumber"), "F2.8");
  EXPECT_EQ(r->TagValueByName("Orientation"), "");
  EXPECT_EQ(r->ExifObj()->TagIndexByName("Orientation"), -1);
  EXPECT_EQ(r->ExifObj()->TagIndexByName("MAKE"), 0);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, DisplayValues,
                         ::testing::Values(Order::Intel, Order::Motorola));

TEST(ExifDisplay, CodeListsAndFormats) {
  const Order o = Order::Motorola;
  auto r = Read(Jpeg({ExifApp1(TiffBlock(
      o,
      {Short(0x0112, {3}, o), Rational(0x011A, {{72, 1}}, o), Short(0x0106, {2}, o),
       Short(0x0103, {6}, o)},
      {Short(0x9207, {9}, o), Short(0x8827, {100}, o), Short(0xA405, {50}, o),
       Rational(0x829D, {{28, 0}}, o), Undefined(0x9000, "0230"),
       Undefined(0x9101, Lit("\x01\x02\x03\0")), Short(0x9209, {0x19}, o),
       Rational(0x9201, {{6, 1}}, o, 10), Ascii(0x010E, "a\tb" + std::string(60, 'x')),
       Undefined(0x9286, Lit("ASCII\0\0\0  Hello \0")), Bytes(0x9C9B, {'H', 0, 'i', 0, 0, 0}),
       Rational(0x9204, {{uint32_t(-3), 10}}, o, 10)}))}));
  EXPECT_EQ(r->TagValueByName("Orientation"), "Rotated 180\u00b0");
  EXPECT_EQ(r->TagValueByName("XResolution"), "72.00");
  // The list "1:Monochrome, 2:RGB" has a blank after its comma: 2 is not found.
  EXPECT_EQ(r->TagValueByName("PhotometricInterpretation"), "");
  EXPECT_EQ(r->TagValueByName("Compression"), "Jpeg");
  EXPECT_EQ(r->TagValueByName("MeteringMode"), "");
  EXPECT_EQ(r->TagValueByName("ISOSpeedRatings"), "100");
  EXPECT_EQ(r->TagValueByName("FocalLengthin35mmFilm"), "50.00 mm");
  EXPECT_EQ(r->TagValueByName("FNumber"), "F0.0");  // denominator 0
  EXPECT_EQ(r->TagValueByName("ExifVersion"), "\"0230\"");
  EXPECT_EQ(r->ExifObj()->ExifVersion(), "0230");
  EXPECT_EQ(r->TagValueByName("ComponentsConfiguration"), "YCbCr");
  EXPECT_EQ(r->TagValueByName("Flash"), "On, auto mode");
  EXPECT_EQ(r->ExifObj()->Flash(), 0x19);
  EXPECT_EQ(r->TagValueByName("ShutterSpeedValue"), "0.0156 sec (1/64)");
  EXPECT_EQ(r->TagValueByName("ImageDescription"), "a.b" + std::string(47, 'x'));
  EXPECT_EQ(r->TagValueByName("UserComment"), "Hello");
  EXPECT_EQ(r->ExifObj()->UserComment(), "Hello");
  EXPECT_EQ(r->TagValueByName("Title"), "Hi");
  EXPECT_EQ(r->TagValueByName("ExposureBiasValue"), "-3/10");
}

TEST(ExifDisplay, GpsDirectory) {
  const Order o = Order::Intel;
  auto r = Read(Jpeg({ExifApp1(
      TiffBlock(o, {Ascii(0x010F, Lit("NIKON\0"))}, {},
                {Ascii(0x0001, Lit("N\0")), Rational(0x0002, {{51, 1}, {3030, 100}, {0, 1}}, o),
                 Rational(0x0004, {{0, 1}, {7, 1}, {30, 1}}, o), Bytes(0x0005, {0}),
                 Rational(0x0007, {{14, 1}, {5, 1}, {7, 1}}, o)}))}));
  EXPECT_EQ(r->TagValueByName("GPSLatitudeRef"), "N");
  EXPECT_EQ(r->TagValueByName("GPSLatitude"), "51 Degrees 30 Minutes 18 Seconds");
  EXPECT_EQ(r->TagValueByName("GPSLongitude"), "0 Degrees 7 Minutes 30 Seconds");
  EXPECT_EQ(r->TagValueByName("GPSAltitudeRef"), "Sealevel");
  EXPECT_EQ(r->TagValueByName("GPSTimeStamp"), "14:5:7");
  EXPECT_EQ(r->TagValueByName("GPSInfo"), std::to_string(8 + 2 + 2 * 12 + 4));
}

TEST(ExifDisplay, FormattingFunctionsDirectly) {
  EXPECT_EQ(imprimo::FlashBitsText("0"), "Off");
  EXPECT_EQ(imprimo::FlashBitsText("95"), "On, strobe return, auto mode, red-eye reduction");
  EXPECT_EQ(imprimo::FlashBitsText("32"), "Off, no flash function");
  EXPECT_EQ(imprimo::FlashBitsText("11"), "On, UNKNOWN, forced");
  EXPECT_EQ(imprimo::FlashBitsText("20"), "Off, no strobe return, surpressed");
  EXPECT_EQ(imprimo::ShutterSpeedText("0/1"), "1.0000 sec");
  EXPECT_EQ(imprimo::ShutterSpeedText("-1/1"), "2.0000 sec");
  EXPECT_EQ(imprimo::ShutterSpeedText("1/0"), "1.0000 sec");
  EXPECT_EQ(imprimo::CodeListText("0:Auto,1:Manual", "1"), "Manual");
  EXPECT_EQ(imprimo::CodeListText("0:Auto,1:Manual", "11"), "");
  EXPECT_EQ(imprimo::DropCharacterCodePrefix("short"), "");
  EXPECT_EQ(imprimo::HoursMinutesSeconds(""), "0:0:0");
}

TEST(ExifDisplay, DerivedFocalLength35) {
  const Order o = Order::Intel;
  // 2000 px over a 10 mm wide, 7.5 mm high sensor: 12.5 mm diagonal.
  auto r = Read(
      Jpeg({ExifApp1(TiffBlock(o, {},
                               {Rational(0x920A, {{10, 1}}, o), Rational(0xA20E, {{200, 1}}, o),
                                Rational(0xA20F, {{200, 1}}, o), Short(0xA210, {4}, o),
                                Long(0xA002, {2000}, o), Long(0xA003, {1500}, o)}))}));
  double v = std::stod(r->TagValueByName("FocalLengthIn35mmFilm"));
  EXPECT_NEAR(v, 10 * 43.2666 / 12.5, 0.01);
  // Without the focal plane resolution nothing is derived.
  auto s = Read(SampleJpeg(o));
  EXPECT_EQ(s->ExifObj()->TagIndexByName("FocalLengthIn35mmFilm"), -1);
}

TEST(ExifReader, ExtensionRuleAndMissingFile) {
  std::string dir = TempFolder();
  std::string bytes = SampleJpeg(Order::Intel);
  TimgData r(255);
  for (const char* name : {"photo.JPG", "photo.jpeg", "photo.Jpe"}) {
    WriteFile(dir + "/" + name, bytes);
    EXPECT_TRUE(r.ReadMetadata(dir + "/" + name)) << name;
    EXPECT_EQ(r.ErrorText(), "<none>");
    EXPECT_EQ(r.FileName(), name);
    EXPECT_EQ(r.FileSize(), int64_t(bytes.size()));
    EXPECT_EQ(r.CameraMake(), "Canon..");
  }
  for (const char* name : {"photo.jfif", "photo.jif", "photo"}) {
    WriteFile(dir + "/" + name, bytes);
    EXPECT_FALSE(r.ReadMetadata(dir + "/" + name)) << name;
    EXPECT_EQ(r.ErrorText(), "Not an EXIF file");
    EXPECT_FALSE(r.HasExifBlock());
    EXPECT_EQ(r.CameraMake(), "");
  }
  EXPECT_FALSE(r.ProcessFile(dir + "/missing.jpg"));
  EXPECT_FALSE(r.HasExifBlock());
  std::filesystem::remove_all(dir);
}

TEST(ExifReader, FirstFiveSectionsRule) {
  const std::string exif = ExifApp1(TiffBlock(Order::Intel, CameraEntries()));
  // Fifth section, nothing found before it: the scan stops there.
  auto r = Read(Jpeg({Filler(), Filler(), Filler(), Filler(), exif}));
  EXPECT_FALSE(r->HasExifBlock());
  EXPECT_EQ(r->ErrorText(), "Not an EXIF file");
  EXPECT_EQ(r->SectionCount(), 5);
  // Fifth after a comment or IPTC segment: recognised.
  for (const std::string& before : {Comment("note"), Iptc()}) {
    r = Read(Jpeg({Filler(), before, Filler(), Filler(), exif}));
    EXPECT_TRUE(r->HasExifBlock());
    EXPECT_EQ(r->CameraMake(), "Canon..");
  }
  // Sixth: never taken, even after a comment.
  r = Read(Jpeg({Comment("note"), Filler(), Filler(), Filler(), Filler(), exif}));
  EXPECT_FALSE(r->HasExifBlock());
  ASSERT_NE(r->CommentSection(), nullptr);
  EXPECT_EQ(r->ErrorText(), "<none>");
  // Fourth: taken.
  r = Read(Jpeg({Filler(), Filler(), Filler(), exif}));
  EXPECT_TRUE(r->HasExifBlock());
}

TEST(ExifReader, SectionsAndReferences) {
  const std::string exif = ExifApp1(TiffBlock(Order::Intel, CameraEntries()));
  auto r = Read(Jpeg({Jfif(), exif, Xmp(), Iptc(), Comment("first"), Iptc(), Comment("second")}));
  ASSERT_TRUE(r->HasExifBlock());
  // The XMP block after the EXIF one is dropped from the table.
  int app1 = 0;
  for (const auto& s : r->Sections()) app1 += s.markerCode == 0xE1;
  EXPECT_EQ(app1, 1);
  EXPECT_EQ(r->ExifSection()->bytes, exif.substr(2));
  EXPECT_EQ(r->ExifSection()->length, int(exif.size() - 2));
  EXPECT_EQ(r->HeaderSection()->markerCode, 0xE0);
  // The first IPTC segment is kept, the last comment wins.
  ASSERT_NE(r->IptcSection(), nullptr);
  EXPECT_EQ(r->IptcSection(), &r->Sections()[2]);
  EXPECT_EQ(r->IptcObj()->Raw(), Iptc().substr(2));
  EXPECT_EQ(r->CommentSection()->bytes.substr(2), "second");

  // A file with only a comment reads successfully, without an EXIF block.
  r = Read(Jpeg({Jfif(), Comment("hello")}));
  EXPECT_EQ(r->ErrorText(), "<none>");
  EXPECT_FALSE(r->HasExifBlock());
  EXPECT_EQ(r->Width(), 0);

  // A JFIF file without metadata.
  r = Read(Jpeg({Jfif()}));
  EXPECT_EQ(r->ErrorText(), "Not an EXIF file");
  EXPECT_EQ(r->HeaderSection()->markerCode, 0xE0);
}

TEST(ExifReader, XmpBeforeExif) {
  const std::string exif = ExifApp1(TiffBlock(Order::Motorola, CameraEntries()));
  // An XMP block alone takes the EXIF slot and fails the header check.
  auto r = Read(Jpeg({Jfif(), Xmp()}));
  EXPECT_TRUE(r->HasExifBlock());
  EXPECT_EQ(r->ExifObj()->ErrorText(), "Incorrect Exif header");
  EXPECT_TRUE(r->ExifObj()->Tags().empty());
  // A real EXIF block right after it replaces it.
  r = Read(Jpeg({Jfif(), Xmp(), exif}));
  ASSERT_TRUE(r->HasExifBlock());
  EXPECT_EQ(r->CameraMake(), "Canon..");
  EXPECT_EQ(r->ExifSection()->bytes, exif.substr(2));
}

TEST(ExifReader, HeaderAndByteOrderErrors) {
  std::string tiff = TiffBlock(Order::Intel, CameraEntries());
  std::string bad = tiff;
  bad[0] = 'X';
  bad[1] = 'X';
  auto r = Read(Jpeg({ExifApp1(bad)}));
  EXPECT_TRUE(r->HasExifBlock());
  EXPECT_EQ(r->ErrorText(), "<none>");
  EXPECT_EQ(r->ExifObj()->ErrorText(), "Invalid Exif alignment marker");
  EXPECT_TRUE(r->ExifObj()->Tags().empty());
  EXPECT_EQ(r->CameraMake(), "");

  r = Read(Jpeg({Segment(0xE1, "Exi")}));
  EXPECT_TRUE(r->HasExifBlock());
  EXPECT_EQ(r->ExifObj()->ErrorText(), "Incorrect Exif header");
}

TEST(ExifReader, ReusingTheReaderClearsThePreviousFile) {
  TimgData r(255);
  EXPECT_TRUE(r.ReadMetadata(Span(SampleJpeg(Order::Intel))));
  EXPECT_TRUE(r.HasExifBlock());
  EXPECT_FALSE(r.ReadMetadata(Span(Jpeg({Jfif()}))));
  EXPECT_FALSE(r.HasExifBlock());
  EXPECT_EQ(r.ExifObj(), nullptr);
  EXPECT_EQ(r.DateTime(), "");
  EXPECT_EQ(r.TagValueByName("FNumber"), "");
}

TEST(ExifReader, ThumbnailPosition) {
  const Order o = Order::Intel;
  std::string tiff = TiffBlock(o, {Short(0x0112, {1}, o)}, {}, {}, 26);
  tiff += std::string(40, 'T');  // stands in for the next directory and thumbnail
  auto r = Read(Jpeg({ExifApp1(tiff)}));
  EXPECT_EQ(r->ExifObj()->ThumbnailPosition(), 26);
  EXPECT_EQ(r->ExifObj()->ThumbnailSize(), int(tiff.size()) - 26);
}

}  // namespace
