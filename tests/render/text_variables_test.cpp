#include "render/text_variables.h"

#include <gtest/gtest.h>

#include "exif/exif_reader.h"
#include "support/fixed_clocks.h"

namespace imprimo {
namespace {

TDateTime RowTime() { return TestTime(2024, 3, 9, 14, 5, 7); }

std::u16string Expand(std::u16string_view text, int32_t seq = 7,
                      std::u16string_view file = u"IMG_0001.jpg", TExifSummary s = {}) {
  return ExpandTextVariables(text, file, seq, std::move(s), RowTime);
}

TEST(TextVariables, SequenceNumber) {
  EXPECT_EQ(Expand(u"Photo {$S1}", 12), u"Photo 12");
  EXPECT_EQ(Expand(u"Photo {$S1}", -1), u"Photo -1");
  EXPECT_EQ(Expand(u"{$S1} and {$S1}", 101), u"101 and 101");
  EXPECT_EQ(Expand(u"{$S1} and {$S2}", 5), u"5 and 5");
  EXPECT_EQ(Expand(u"{$S 9:x-/}", 3), u"3");
}

TEST(TextVariables, DateAndTime) {
  EXPECT_EQ(Expand(u"{$Dyyyy-mm-dd hh:nn:ss}"), u"2024-03-09 14:05:07");
  EXPECT_EQ(Expand(u"{$Dhh:mm}"), u"14:05");
  EXPECT_EQ(Expand(u"{$DYYYY}"), u"2024");
  EXPECT_EQ(Expand(u"{$dyyyy}"), u"{$dyyyy}");
  EXPECT_EQ(Expand(u"{$Dyyyy} {$Dyyyy}"), u"2024 2024");
}

TEST(TextVariables, DateSeparatorsStayForLaterFormatting) {
  Expand(u"{$Dyyyy/mm/dd}");
  EXPECT_EQ(DateSeparator(), "/");
  Expand(u"{$Dyyyy-mm-dd}");
  EXPECT_EQ(DateSeparator(), "-");
  EXPECT_EQ(TimeSeparator(), ":");
  std::u16string shortDate = Expand(u"{$Dddddd}");
  EXPECT_NE(shortDate.find(u'-'), std::u16string::npos)
      << std::string(shortDate.begin(), shortDate.end());
  EXPECT_EQ(shortDate.find(u'/'), std::u16string::npos);
  Expand(u"{$Dyyyy}");  // neither character: the separator keeps its value
  EXPECT_EQ(DateSeparator(), "-");
  // Both characters: "/" is set last.
  Expand(u"{$Dyyyy-mm/dd}");
  EXPECT_EQ(DateSeparator(), "/");
}

TEST(TextVariables, FileName) {
  EXPECT_EQ(Expand(u"{$FU}"), u"IMG_0001");
  EXPECT_EQ(Expand(u"{$FEU}"), u"IMG_0001.JPG");
  EXPECT_EQ(Expand(u"{$FL}"), u"img_0001");
  EXPECT_EQ(Expand(u"{$FEL}"), u"img_0001.jpg");
  EXPECT_EQ(Expand(u"{$FX}"), u"img_0001.jpg");
  EXPECT_EQ(Expand(u"{$F U}"), u"img_0001.jpg");
  EXPECT_EQ(Expand(u"[{$FU}][{$FL}]", 0, u"README"), u"[][]");
  EXPECT_EQ(Expand(u"{$FU}", 0, u"\u00e9t\u00e9.final.png"), u"\u00c9T\u00c9.FINAL");
  EXPECT_EQ(FileNameWithoutExtension(u"photo.final.jpg"), u"photo.final");
  EXPECT_EQ(FileNameWithoutExtension(u"photo"), u"");
}

TEST(TextVariables, ExifWithoutBlock) {
  EXPECT_EQ(Expand(u"{$EM}"), u" - ( - )");
  EXPECT_EQ(Expand(u"{$ED}"), u"0 x 0");
  EXPECT_EQ(Expand(u"{$EE}|{$EL}|{$EF}|{$EI}|{$EP}"), u" - | - | - | - | - ");
  EXPECT_EQ(Expand(u"{$EX}"), u"{$EX}");
  EXPECT_EQ(Expand(u"{$E P}"), u"{$E P}");
}

TEST(TextVariables, ExifValuesAndNoSecondExpansion) {
  TExifSummary s;
  s.DateTime = "2024:03:09 14:05:07";
  s.CameraMake = "Canon";
  s.CameraModel = "EOS 5D";
  s.Width = 4000;
  s.Height = 3000;
  s.FNumber = "F/2.8";
  EXPECT_EQ(Expand(u"{$EP}", 0, u"", s), u"2024:03:09 14:05:07");
  EXPECT_EQ(Expand(u"{$EM} {$ED} {$EF}", 0, u"", s), u"Canon(EOS 5D) 4000 x 3000 F/2.8");
  s.CameraMake = "\x81";  // code page 437: u with diaeresis
  EXPECT_EQ(Expand(u"{$EM}", 0, u"", s), u"\u00fc(EOS 5D)");
  // A value that looks like a variable is not expanded again.
  s.DateTime = "{$S1}";
  EXPECT_EQ(Expand(u"{$EP}", 9, u"", s), u"{$S1}");
}

TEST(TextVariables, NotVariables) {
  for (std::u16string t :
       {u"{$S}", u"{$S_1}", u"{$|x}", u"{$X1}", u"{S1}", u"{$S1", u"$S1}", u"{$D\u00e9}"})
    EXPECT_EQ(Expand(t), t);
  EXPECT_EQ(Expand(u"{${$S1}}"), u"{$7}");
  EXPECT_EQ(Expand(u"a {$S1} b {$FU} c"), u"a 7 b IMG_0001 c");
}

// A JPEG with only an EXIF segment: IFD0 with make, model and date, and an
// EXIF directory with exposure time, f-number and the pixel size.
std::vector<uint8_t> ExifJpeg(const std::string& make, const std::string& model) {
  std::vector<uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](std::vector<uint8_t>& v, unsigned x) {
    v.push_back(x & 255);
    v.push_back((x >> 8) & 255);
  };
  auto u32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back((x >> (8 * i)) & 255);
  };
  std::string date = "2024:03:09 14:05:07";
  // Layout: IFD0 (4 entries) at 8, EXIF IFD (4 entries) after it, then data.
  const uint32_t ifd0 = 8, exif = ifd0 + 2 + 4 * 12 + 4, data = exif + 2 + 4 * 12 + 4;
  std::vector<uint8_t> payload;
  auto place = [&](const std::string& s) {
    uint32_t off = data + static_cast<uint32_t>(payload.size());
    payload.insert(payload.end(), s.begin(), s.end());
    payload.push_back(0);
    if (payload.size() & 1) payload.push_back(0);
    return off;
  };
  uint32_t makeOff = place(make), modelOff = place(model), dateOff = place(date);
  uint32_t expOff = data + static_cast<uint32_t>(payload.size());
  u32(payload, 1), u32(payload, 125);
  uint32_t fOff = data + static_cast<uint32_t>(payload.size());
  u32(payload, 28), u32(payload, 10);
  auto entry = [&](unsigned tag, unsigned type, uint32_t count, uint32_t value) {
    u16(t, tag), u16(t, type), u32(t, count), u32(t, value);
  };
  u16(t, 4);
  entry(0x010F, 2, static_cast<uint32_t>(make.size() + 1), makeOff);
  entry(0x0110, 2, static_cast<uint32_t>(model.size() + 1), modelOff);
  entry(0x0132, 2, 20, dateOff);
  entry(0x8769, 4, 1, exif);
  u32(t, 0);
  u16(t, 4);
  entry(0x829A, 5, 1, expOff);
  entry(0x829D, 5, 1, fOff);
  entry(0xA002, 4, 1, 640);
  entry(0xA003, 4, 1, 480);
  u32(t, 0);
  t.insert(t.end(), payload.begin(), payload.end());
  std::vector<uint8_t> seg = {'E', 'x', 'i', 'f', 0, 0};
  seg.insert(seg.end(), t.begin(), t.end());
  std::vector<uint8_t> jpg = {0xFF, 0xD8, 0xFF, 0xE1};
  jpg.push_back(static_cast<uint8_t>((seg.size() + 2) >> 8));
  jpg.push_back(static_cast<uint8_t>((seg.size() + 2) & 255));
  jpg.insert(jpg.end(), seg.begin(), seg.end());
  jpg.insert(jpg.end(), {0xFF, 0xD9});
  return jpg;
}

TEST(ExifSummary, FilledFromTheReader) {
  TimgData none;
  TExifSummary s;
  s.CameraMake = "stale";
  s.Width = 5;
  FillExifSummary(s, none);
  EXPECT_EQ(s.CameraMake, " - ");
  EXPECT_EQ(s.DateTime, " - ");
  EXPECT_EQ(s.Width, 0);
  EXPECT_EQ(s.ISOSpeedRatings, " - ");

  TimgData reader;
  std::string longModel(50, 'M');
  auto bytes = ExifJpeg("Imprimo Camera Works Incorporated Ltd", longModel);
  ASSERT_TRUE(reader.ReadMetadata(bytes));
  ASSERT_TRUE(reader.HasExifBlock());
  FillExifSummary(s, reader);
  EXPECT_EQ(s.DateTime, "2024:03:09 14:05:07");
  EXPECT_EQ(s.CameraMake, std::string("Imprimo Camera Works Incorporated Ltd").substr(0, 32));
  EXPECT_EQ(s.CameraModel, std::string(40, 'M'));
  EXPECT_EQ(s.Width, 640);
  EXPECT_EQ(s.Height, 480);
  EXPECT_EQ(s.ExposureTime, reader.TagValueByName("ExposureTime"));
  EXPECT_NE(s.ExposureTime, " - ");
  EXPECT_NE(s.FNumber, " - ");
  EXPECT_EQ(s.FocalLength, " - ");
  EXPECT_EQ(s.ISOSpeedRatings, " - ");
}

}  // namespace
}  // namespace imprimo
