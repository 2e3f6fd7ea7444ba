// Colour profiles on the way out: samples converted into sRGB through a
// source profile, and the profile stored in the formats that hold one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imaging/colour_convert.h"
#include "imaging/file_format.h"
#include "imaging/icc_profile.h"
#include "imaging_test_util.h"
#include "support/corpus_support.h"
#include "support/icc_profiles.h"
#include "support/reference_tools.h"

namespace imprimo {
namespace {

using testing::AdobeRgbIccProfile;
using testing::GrayIccProfile;
using testing::SrgbIccProfile;

RasterImage Filled(TImageFormat format, std::initializer_list<uint8_t> pixel) {
  RasterImage image;
  ImageCreate(image, 5, 3, format);
  for (int y = 0; y < image.Height; ++y)
    for (int x = 0; x < image.Width; ++x)
      std::memcpy(image.Row(y) + x * pixel.size(), pixel.begin(), pixel.size());
  return image;
}

// One Adobe RGB colour (B, G, R) converted as an 8-bit picture.
const uint8_t* ConvertedPixel(RasterImage& image, TImageFormat format,
                              std::initializer_list<uint8_t> bgr) {
  image = Filled(format, bgr);
  EXPECT_TRUE(ConvertToSrgb(image, AdobeRgbIccProfile()));
  return image.Row(2) + 4 * GetImageFormatInfo(format)->BytesPerPixel;
}

TEST(ConvertToSrgb, EveryRgbLayoutGivesTheSameColoursAndKeepsAlpha) {
  RasterImage rgb;
  const uint8_t* want = ConvertedPixel(rgb, ifR8G8B8, {40, 180, 90});
  // An Adobe RGB mid green reads as a more saturated sRGB one.
  // This Adobe RGB green lies outside sRGB: through the published matrices
  // it is sRGB (-0.04, 0.465, -0.002) in linear light, so red and blue clip
  // to 0 and green encodes as 182.
  EXPECT_EQ(want[2], 0);
  EXPECT_NEAR(want[1], 182, 2);
  EXPECT_EQ(want[0], 0);

  RasterImage argb;
  const uint8_t* p = ConvertedPixel(argb, ifA8R8G8B8, {40, 180, 90, 77});
  EXPECT_EQ(0, std::memcmp(p, want, 3));
  EXPECT_EQ(p[3], 77);

  RasterImage wide = Filled(ifA16R16G16B16, {0x28, 0x28, 0xB4, 0xB4, 0x5A, 0x5A, 0x34, 0x12});
  ASSERT_TRUE(ConvertToSrgb(wide, AdobeRgbIccProfile()));
  const uint8_t* w = wide.Row(1);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(double(w[2 * c + 1]), double(want[c]), 1.0) << c;
  EXPECT_EQ(w[6], 0x34);
  EXPECT_EQ(w[7], 0x12);

  RasterImage indexed;
  ImageCreate(indexed, 4, 4, ifIndex8);
  indexed.Palette[3] = {40, 180, 90, 200};
  std::memset(indexed.Bits.get(), 3, indexed.Size);
  ASSERT_TRUE(ConvertToSrgb(indexed, AdobeRgbIccProfile()));
  EXPECT_EQ(indexed.Palette[3].B, want[0]);
  EXPECT_EQ(indexed.Palette[3].G, want[1]);
  EXPECT_EQ(indexed.Palette[3].R, want[2]);
  EXPECT_EQ(indexed.Palette[3].A, 200);
  EXPECT_EQ(indexed.Row(3)[3], 3);
}

// Pictures already in sRGB numbers are left exactly as they are, also with
// a camera's sRGB profile, whose tables give the numbers back only nearly.
TEST(ConvertToSrgb, SrgbPicturesStayExactlyAsTheyAre) {
  const std::string camera = testing::CorpusDir() + "/jpeg/jpeg-decoder/mozilla/jpg-srgb-icc.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(camera);
  const std::vector<uint8_t> file = test::ReadBytes(camera);
  const std::string cameraSrgb = ReadJpegIccProfile(file);
  ASSERT_FALSE(cameraSrgb.empty());
  for (const std::string& profile : {SrgbIccProfile(), cameraSrgb}) {
    for (const TImageFormat f : {ifR8G8B8, ifA8R8G8B8, ifIndex8}) {
      RasterImage same = test::RandomImage(f, 64, 64, 5);
      const std::vector<uint8_t> before = test::Pixels(same);
      const TColor32Rec entry = same.Palette ? same.Palette[9] : TColor32Rec{};
      ASSERT_TRUE(ConvertToSrgb(same, profile));
      EXPECT_TRUE(test::Pixels(same) == before);
      if (same.Palette) EXPECT_EQ(std::memcmp(&same.Palette[9], &entry, sizeof entry), 0);
    }
  }
}

TEST(ConvertToSrgb, GrayProfilesApplyTheirCurveToGrayAndColourPixels) {
  // Gamma 1.0 gray 64 is a quarter of the light: sRGB 137 (0.537).
  const std::string linear = GrayIccProfile(1.0);
  RasterImage gray = Filled(ifGray8, {64});
  ASSERT_TRUE(ConvertToSrgb(gray, linear));
  EXPECT_NEAR(gray.Row(1)[1], 137, 1);

  RasterImage rgb = Filled(ifA8R8G8B8, {64, 64, 64, 9});
  ASSERT_TRUE(ConvertToSrgb(rgb, linear));
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(rgb.Row(1)[c], 137, 1);
  EXPECT_EQ(rgb.Row(1)[3], 9);
}

TEST(ConvertToSrgb, RefusesWhatItCannotApplyAndLeavesThePicture) {
  const std::string adobe = AdobeRgbIccProfile();
  std::string broken = adobe;
  broken.resize(100);
  struct Case {
    TImageFormat format;
    std::string profile;
  };
  for (const Case& c :
       {Case{ifGray8, adobe}, Case{ifR8G8B8, broken}, Case{ifR8G8B8, std::string("not a profile")},
        Case{ifA32R32G32B32F, adobe}}) {
    RasterImage image = test::RandomImage(c.format, 6, 4, 7);
    const std::vector<uint8_t> before = test::Pixels(image);
    std::string why;
    EXPECT_FALSE(ConvertToSrgb(image, c.profile, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(test::Pixels(image), before);
  }
}

// The profile exiftool finds in a file.
std::string ProfileIn(const std::vector<uint8_t>& file, const std::string& name) {
  const std::filesystem::path path = test::TempFolder("colour-profile") / name;
  test::WriteBytes(path, file);
  bool ok = false;
  const std::vector<uint8_t> icc =
      test::RunCommand("exiftool -b -ICC_Profile " + test::Quote(path.string()), ok);
  return ok ? std::string(icc.begin(), icc.end()) : std::string();
}

TEST(SavedProfiles, StoredWhereTheFormatHoldsOneAndThePixelsStayTheSame) {
  if (!testing::HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  const std::string rgb = AdobeRgbIccProfile(), gray = GrayIccProfile(2.2);
  struct Case {
    const char* ext;
    TImageFormat format;
    const std::string& profile;
    bool stored;
    TSaveOptions options;
  };
  const Case cases[] = {
      {"bmp", ifR8G8B8, rgb, true, {}},
      {"bmp", ifX1R5G5B5, rgb, true, {}},
      {"bmp", ifIndex8, rgb, true, TSaveOptions().Set(ImagingBitmapRLE, 1)},
      {"bmp", ifGray8, gray, false, {}},  // stored as a colour palette
      {"psd", ifA8R8G8B8, rgb, true, {}},
      {"psd", ifGray16, gray, true, {}},
      {"psd", ifA32R32G32B32F, rgb, false, {}},  // linear light
      {"jp2", ifR8G8B8, rgb, true, TSaveOptions().Set(ImagingJpeg2000LosslessCompression, 1)},
      {"jp2", ifA16Gray16, gray, true, TSaveOptions().Set(ImagingJpeg2000LosslessCompression, 1)},
      {"jp2", ifR8G8B8, gray, false, {}},
      {"jp2", ifR8G8B8, rgb, false, TSaveOptions().Set(ImagingJpeg2000CodeStreamOnly, 1)},
      {"tga", ifR8G8B8, rgb, false, {}},
  };
  int n = 0;
  for (Case c : cases) {
    SCOPED_TRACE(std::string(c.ext) + " " + GetImageFormatInfo(c.format)->Name);
    const RasterImage image = test::RandomImage(c.format, 9, 5, 11, true);
    TMemoryStream plain, withProfile;
    ASSERT_TRUE(WriteImageStream(c.ext, plain, image, c.options));
    ASSERT_TRUE(WriteImageStream(c.ext, withProfile, image, c.options.SetIccProfile(c.profile)));
    const std::string name = std::to_string(n++) + "." + c.ext;
    EXPECT_EQ(ProfileIn(withProfile.Data(), name), c.stored ? c.profile : std::string());
    if (!c.stored) {
      EXPECT_EQ(withProfile.Data(), plain.Data());
      continue;
    }
    RasterImage a, b;
    plain.Seek(0, TSeekOrigin::Begin);
    withProfile.Seek(0, TSeekOrigin::Begin);
    ASSERT_TRUE(ReadImageStream(plain, a));
    ASSERT_TRUE(ReadImageStream(withProfile, b));
    EXPECT_EQ(a.Format, b.Format);
    EXPECT_EQ(test::Pixels(a), test::Pixels(b));
  }
}

}  // namespace
}  // namespace imprimo
