#include "imaging/raster_image.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging_test_util.h"

namespace imprimo {
namespace {

TEST(PixelFormatTable, KnownIdsAndFlags) {
  EXPECT_EQ(AllImageFormats().size(), 33u);
  EXPECT_EQ(GetImageFormatInfo(0), nullptr);
  EXPECT_EQ(GetImageFormatInfo(11), nullptr);
  EXPECT_EQ(GetImageFormatInfo(226), nullptr);
  EXPECT_EQ(GetImageFormatInfo(ifDefault)->Format, ifA8R8G8B8);

  const TImageFormatInfo* i = GetImageFormatInfo(ifA16B16G16R16);
  EXPECT_STREQ(i->Name, "A16B16G16R16");
  EXPECT_EQ(i->BytesPerPixel, 8);
  EXPECT_TRUE(i->HasAlphaChannel && i->IsRBSwapped);
  EXPECT_EQ(i->RBSwapFormat, ifA16R16G16B16);
  EXPECT_EQ(GetImageFormatInfo(ifIndex8)->PaletteEntries, 256);
  EXPECT_TRUE(GetImageFormatInfo(ifA1R5G5B5)->UsePixelFormat);
  EXPECT_TRUE(GetImageFormatInfo(ifA8Gray8)->HasGrayChannel);
  EXPECT_TRUE(GetImageFormatInfo(ifR16F)->IsFloatingPoint);
  EXPECT_TRUE(GetImageFormatInfo(ifATI2N)->IsSpecial);
  // Every partner points back.
  for (TImageFormat f : AllImageFormats()) {
    const TImageFormatInfo* info = GetImageFormatInfo(f);
    if (info->RBSwapFormat) {
      EXPECT_EQ(GetImageFormatInfo(info->RBSwapFormat)->RBSwapFormat, f);
    }
  }
}

TEST(PixelFormatTable, Sizes) {
  EXPECT_EQ(GetPixelsSize(ifR8G8B8, 5, 3), 45);
  EXPECT_EQ(GetPixelsSize(ifDXT1, 5, 3), 2 * 1 * 8);
  EXPECT_EQ(GetPixelsSize(ifDXT5, 8, 8), 4 * 16);
  EXPECT_EQ(GetPixelsSize(ifR8G8B8, -1, 3), -1);
  EXPECT_EQ(GetPixelsSize(7, 1, 1), -1);
}

TEST(RasterImageRecord, CreateCloneFreeAndValidity) {
  RasterImage img;
  EXPECT_FALSE(ImageIsValid(img));
  ASSERT_TRUE(ImageCreate(img, 4, 3, ifIndex8));
  EXPECT_TRUE(ImageIsValid(img));
  EXPECT_EQ(img.Size, 12);
  ASSERT_NE(img.Palette, nullptr);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(img.Bits[i], 0);

  img.Bits[5] = 7;
  img.Palette[7] = {1, 2, 3, 4};
  RasterImage copy;
  ASSERT_TRUE(ImageClone(img, copy));
  EXPECT_NE(copy.Bits.get(), img.Bits.get());
  EXPECT_EQ(test::Pixels(copy), test::Pixels(img));
  EXPECT_EQ(copy.Palette[7], (TColor32Rec{1, 2, 3, 4}));

  img.Size = 11;  // inconsistent record
  EXPECT_FALSE(ImageIsValid(img));
  RasterImage other;
  EXPECT_FALSE(ImageClone(img, other));
  ImageFree(copy);
  EXPECT_EQ(copy.Width, 0);
  EXPECT_EQ(copy.Bits, nullptr);

  ASSERT_TRUE(ImageCreate(img, 0, 0, ifDefault));
  EXPECT_EQ(img.Format, ifA8R8G8B8);
  EXPECT_TRUE(ImageIsValid(img));
}

TEST(RasterImageRecord, CreateRefusesHugeAndBadInput) {
  RasterImage img;
  auto kindOf = [&](int32_t w, int32_t h, TImageFormat f) {
    try {
      ImageCreate(img, w, h, f);
    } catch (const EImagingError& e) {
      return e.Kind();
    }
    ADD_FAILURE() << w << " x " << h << " accepted";
    return EImagingErrorKind::Other;
  };
  EXPECT_EQ(kindOf(65536, 1, ifGray8), EImagingErrorKind::TooLarge);
  EXPECT_EQ(kindOf(20000, 20000, ifGray8), EImagingErrorKind::TooLarge);  // > 2^28 pixels
  EXPECT_EQ(kindOf(-1, 1, ifGray8), EImagingErrorKind::Invalid);
  EXPECT_EQ(kindOf(1, 1, 12), EImagingErrorKind::Invalid);
  // 2^28 pixels of 16 bytes do not fit the 32-bit size field.
  EXPECT_EQ(kindOf(16384, 16384, ifA32R32G32B32F), EImagingErrorKind::TooLarge);
  try {
    ImageCreate(img, 70000, 2, ifR8G8B8);
    ADD_FAILURE() << "70000 x 2 accepted";
  } catch (const EImagingError& e) {
    EXPECT_STREQ(
        e.what(),
        "Error while creating image data with params: Width=70000 Height=2 Format=R8G8B8.");
    EXPECT_EQ(e.Kind(), EImagingErrorKind::TooLarge);
  }
  EXPECT_FALSE(ImageIsValid(img));
}

TEST(RasterImageRecord, Description) {
  RasterImage img;
  ImageCreate(img, 100, 100, ifR8G8B8);
  std::string d = ImageDescription(img);
  EXPECT_NE(d.find("Width = 100px, Height = 100px, Format = R8G8B8, Size = 29 KiB"),
            std::string::npos)
      << d;
  ImageCreate(img, 10, 10, ifGray8);
  d = ImageDescription(img);
  EXPECT_NE(d.find("Size = 100 B, Bits @"), std::string::npos) << d;
  EXPECT_TRUE(d.starts_with("Image @"));
}

}  // namespace
}  // namespace imprimo
