// Files we write must read back the same in independent decoders. Skips when
// neither ImageMagick nor Pillow is installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging_test_util.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

bool HaveNetpbm() {
  static const bool have = test::HaveTool("pamdepth -version");
  return have;
}

// An independent decode widened to A8R8G8B8: netpbm for its own family (its
// 16-to-8-bit rounding is the usual one, read back by our PAM parser),
// ImageMagick for the rest.
bool OracleDecode(const fs::path& file, RasterImage& out) {
  const std::string ext = file.extension().string();
  if (HaveNetpbm() && (ext == ".pgm" || ext == ".ppm" || ext == ".pam")) {
    bool ok;
    auto bytes = test::RunCommand("pamdepth 255 " + test::Quote(file.string()), ok);
    if (!ok) return false;
    try {
      out = DecodePortableMap(bytes);
      ImageConvert(out, ifA8R8G8B8);
      return true;
    } catch (const EImagingError&) {
      return false;
    }
  }
  test::TMagickPicture picture;
  if (!test::MagickRead(file.string(), picture, {.AutoOrient = true})) return false;
  out = test::ImageFromMagick(picture);
  return true;
}

class OracleWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveMagick()) GTEST_SKIP() << "ImageMagick (convert) is not installed";
    dir_ = test::TempFolder("oracle");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Writes img under name, decodes it with ImageMagick and compares the
  // colour (and alpha when compareAlpha) with our own A8R8G8B8 rendering.
  // bits: precision of the stored channels; ImageMagick widens 4-bit
  // channels by shifting, so those compare at 4 bits.
  void Check(const std::string& name, const RasterImage& img, bool compareAlpha, int tolerance = 0,
             int bits = 8) {
    const fs::path file = dir_ / name;
    ASSERT_TRUE(WriteImageFile(file.string(), img)) << name;
    RasterImage theirs;
    ASSERT_TRUE(OracleDecode(file, theirs)) << name;
    RasterImage ours;
    ImageClone(img, ours);
    ImageConvert(ours, ifA8R8G8B8);
    ASSERT_EQ(theirs.Width, ours.Width) << name;
    ASSERT_EQ(theirs.Height, ours.Height) << name;
    int bad = 0;
    for (int32_t i = 0; i < ours.Size; i += 4) {
      for (int c = 0; c < (compareAlpha ? 4 : 3); ++c)
        if (std::abs((ours.Bits[i + c] >> (8 - bits)) - (theirs.Bits[i + c] >> (8 - bits))) >
                tolerance &&
            bad++ == 0)
          ADD_FAILURE() << name << ": pixel " << i / 4 << " channel " << c << " ours "
                        << int(ours.Bits[i + c]) << " theirs " << int(theirs.Bits[i + c]);
    }
    EXPECT_EQ(bad, 0) << name;
  }

  fs::path dir_;
};

TEST_F(OracleWriteTest, BitmapFiles) {
  RasterImage idx = test::RandomImage(ifIndex8, 37, 11, 5);
  for (int32_t i = 0; i < idx.Size; ++i) idx.Bits[i] = static_cast<uint8_t>((i / 9) * 3);
  Check("rle8.bmp", idx, false);
  SetImagingOption(ImagingBitmapRLE, 0);
  Check("raw8.bmp", idx, false);
  SetImagingOption(ImagingBitmapRLE, -1);
  Check("565.bmp", test::RandomImage(ifR5G6B5, 9, 5, 1), false);
  Check("555.bmp", test::RandomImage(ifX1R5G5B5, 9, 5, 1), false);
  Check("1555.bmp", test::RandomImage(ifA1R5G5B5, 9, 5, 1), false);
  Check("4444.bmp", test::RandomImage(ifA4R4G4B4, 9, 5, 1), false, 0, 4);
  Check("24.bmp", test::RandomImage(ifR8G8B8, 9, 5, 1), false);
  Check("32.bmp", test::RandomImage(ifX8R8G8B8, 9, 5, 1), false);
}

TEST_F(OracleWriteTest, TargaFiles) {
  RasterImage idx = test::RandomImage(ifIndex8, 21, 6, 6);
  for (int32_t i = 0; i < idx.Size; ++i) idx.Bits[i] = static_cast<uint8_t>(i / 4);
  for (int rle : {0, 1}) {
    SetImagingOption(ImagingTargaRLE, rle);
    const std::string p = rle ? "rle_" : "raw_";
    Check(p + "idx.tga", idx, false);
    Check(p + "gray.tga", test::RandomImage(ifGray8, 21, 6, 1), false);
    Check(p + "24.tga", test::RandomImage(ifR8G8B8, 21, 6, 1), false);
    Check(p + "32.tga", test::RandomImage(ifA8R8G8B8, 21, 6, 1), true);
  }
  SetImagingOption(ImagingTargaRLE, 0);
}

TEST_F(OracleWriteTest, PortableMaps) {
  for (int binary : {-1, 0}) {
    SetImagingOption(ImagingPGMSaveBinary, binary);
    SetImagingOption(ImagingPPMSaveBinary, binary);
    const std::string p = binary ? "raw_" : "plain_";
    Check(p + "8.pgm", test::RandomImage(ifGray8, 7, 4, 1), false);
    const int wideTolerance = HaveNetpbm() ? 0 : 1;
    Check(p + "16.pgm", test::RandomImage(ifGray16, 7, 4, 1), false, wideTolerance);
    Check(p + "8.ppm", test::RandomImage(ifR8G8B8, 7, 4, 1), false);
    Check(p + "16.ppm", test::RandomImage(ifR16G16B16, 7, 4, 1), false, wideTolerance);
  }
  SetImagingOption(ImagingPGMSaveBinary, -1);
  SetImagingOption(ImagingPPMSaveBinary, -1);
  Check("rgba.pam", test::RandomImage(ifA8R8G8B8, 7, 4, 1), true);
  Check("ga16.pam", test::RandomImage(ifA16Gray16, 7, 4, 1), true, HaveNetpbm() ? 0 : 1);
  // Float maps store no alpha; values inside 0..1 compare after 8-bit rounding.
  RasterImage f;
  ImageCreate(f, 6, 3, ifA32B32G32R32F);
  float* v = reinterpret_cast<float*>(f.Bits.get());
  for (int i = 0; i < 6 * 3 * 4; ++i)
    v[i] = (i % 4 == 3) ? 1.0f : static_cast<float>((i * 37) % 101) / 100.0f;
  Check("rgb.pfm", f, false, 1);
}

}  // namespace
}  // namespace imprimo
