#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "imaging/block_codecs.h"
#include "imaging/file_format.h"
#include "imaging/raster_image.h"
#include "imaging_test_util.h"

namespace imprimo {
namespace {

TEST(ImageConvert, SameFormatAndDefault) {
  RasterImage img = test::RandomImage(ifR8G8B8, 7, 5, 1);
  auto before = test::Pixels(img);
  EXPECT_TRUE(ImageConvert(img, ifR8G8B8));
  EXPECT_EQ(test::Pixels(img), before);
  ASSERT_TRUE(ImageConvert(img, ifDefault));
  EXPECT_EQ(img.Format, ifA8R8G8B8);
  for (int i = 0; i < 35; ++i) {
    EXPECT_EQ(0, std::memcmp(&img.Bits[4 * i], &before[3 * i], 3));
    EXPECT_EQ(img.Bits[4 * i + 3], 255);
  }
  RasterImage invalid;
  EXPECT_FALSE(ImageConvert(invalid, ifGray8));
  EXPECT_THROW(ImageConvert(img, 12), EImagingError);
}

TEST(ImageConvert, RedBluePartnersSwapInPlace) {
  RasterImage img;
  ImageCreate(img, 2, 1, ifR16G16B16);
  const uint16_t words[6] = {0x1111, 0x2222, 0x3333, 0xAAAA, 0xBBBB, 0xCCCC};  // B, G, R per pixel
  std::memcpy(img.Bits.get(), words, 12);
  const uint8_t* bitsBefore = img.Bits.get();
  ASSERT_TRUE(ImageConvert(img, ifB16G16R16));
  EXPECT_EQ(img.Format, ifB16G16R16);
  EXPECT_EQ(img.Bits.get(), bitsBefore);  // no reallocation
  uint16_t out[6];
  std::memcpy(out, img.Bits.get(), 12);
  EXPECT_EQ(out[0], 0x3333);
  EXPECT_EQ(out[1], 0x2222);
  EXPECT_EQ(out[2], 0x1111);
  EXPECT_EQ(out[3], 0xCCCC);
  ASSERT_TRUE(ImageConvert(img, ifR16G16B16));
  std::memcpy(out, img.Bits.get(), 12);
  EXPECT_EQ(0, std::memcmp(out, words, 12));

  RasterImage f = test::RandomImage(ifA32R32G32B32F, 3, 3, 1);
  auto before = test::Pixels(f);
  ImageConvert(f, ifA32B32G32R32F);
  EXPECT_EQ(0, std::memcmp(&f.Bits[0], &before[8], 4));
  EXPECT_EQ(0, std::memcmp(&f.Bits[12], &before[12], 4));  // alpha stays
}

// Converting up to a wider format and back loses nothing.
TEST(ImageConvert, WideningRoundTripsAreExact) {
  const std::pair<TImageFormat, TImageFormat> pairs[] = {
      {ifR8G8B8, ifR16G16B16},       {ifA8R8G8B8, ifA16R16G16B16}, {ifA8R8G8B8, ifA32R32G32B32F},
      {ifR5G6B5, ifR8G8B8},          {ifA1R5G5B5, ifA8R8G8B8},     {ifA4R4G4B4, ifA16B16G16R16},
      {ifGray8, ifGray16},           {ifGray16, ifGray64},         {ifA8Gray8, ifA16Gray16},
      {ifGray8, ifR8G8B8},           {ifR3G3B2, ifX8R8G8B8},       {ifGray8, ifR32F},
      {ifA8R8G8B8, ifA16B16G16R16F}, {ifX5R1G1B1, ifR8G8B8}};
  for (auto [narrow, wide] : pairs) {
    RasterImage img = test::RandomImage(narrow, 16, 9, narrow);
    if (narrow == ifX5R1G1B1)  // unused bits come back set
      for (int32_t i = 0; i < img.Size; ++i) img.Bits[i] |= 0xF8;
    auto before = test::Pixels(img);
    ASSERT_TRUE(ImageConvert(img, wide));
    ASSERT_TRUE(ImageConvert(img, narrow));
    EXPECT_EQ(test::Pixels(img), before)
        << GetImageFormatInfo(narrow)->Name << " via " << GetImageFormatInfo(wide)->Name;
  }
}

TEST(ImageConvert, ChannelScalingAndGrayWeights) {
  RasterImage img;
  ImageCreate(img, 3, 1, ifR8G8B8);
  const uint8_t px[9] = {0, 0, 255, 0, 255, 0, 255, 0, 0};  // red, green, blue (B,G,R bytes)
  std::memcpy(img.Bits.get(), px, 9);
  RasterImage gray;
  ImageClone(img, gray);
  ASSERT_TRUE(ImageConvert(gray, ifGray8));
  EXPECT_EQ(gray.Bits[0], 76);   // 0.299 * 255
  EXPECT_EQ(gray.Bits[1], 150);  // 0.587 * 255
  EXPECT_EQ(gray.Bits[2], 29);   // 0.114 * 255

  ASSERT_TRUE(ImageConvert(img, ifR5G6B5));
  uint16_t v;
  std::memcpy(&v, img.Bits.get(), 2);
  EXPECT_EQ(v, 0xF800);
  ASSERT_TRUE(ImageConvert(img, ifA8R8G8B8));
  EXPECT_EQ(img.Bits[2], 255);
  EXPECT_EQ(img.Bits[3], 255);

  RasterImage f;
  ImageCreate(f, 1, 1, ifA32R32G32B32F);
  const float c[4] = {2.0f, 0.5f, -1.0f, 1.0f};  // B, G, R, A: out-of-range values clamp
  std::memcpy(f.Bits.get(), c, 16);
  ASSERT_TRUE(ImageConvert(f, ifA8R8G8B8));
  EXPECT_EQ(f.Bits[0], 255);
  EXPECT_EQ(f.Bits[1], 128);
  EXPECT_EQ(f.Bits[2], 0);
  EXPECT_EQ(f.Bits[3], 255);
}

TEST(ImageConvert, IndexedSources) {
  RasterImage img;
  ImageCreate(img, 2, 1, ifIndex8);
  img.Palette[3] = {10, 20, 30, 255};
  img.Palette[9] = {200, 100, 50, 128};
  img.Bits[0] = 3;
  img.Bits[1] = 9;
  RasterImage copy;
  ImageClone(img, copy);
  ASSERT_TRUE(ImageConvert(copy, ifA8R8G8B8));
  const uint8_t expect[8] = {10, 20, 30, 255, 200, 100, 50, 128};
  EXPECT_EQ(0, std::memcmp(copy.Bits.get(), expect, 8));
  ASSERT_TRUE(ImageConvert(img, ifGray8));
  EXPECT_EQ(img.Bits[0], 22);  // 0.299*30 + 0.587*20 + 0.114*10
}

TEST(ColorReduction, FewColoursAreKeptExactly) {
  // 200 distinct colours, repeated over a larger image.
  RasterImage img;
  ImageCreate(img, 40, 25, ifA8R8G8B8);
  std::set<uint32_t> distinct;
  for (int i = 0; i < 1000; ++i) {
    int k = (i * 7) % 200;
    uint8_t* p = &img.Bits[4 * i];
    p[0] = static_cast<uint8_t>(k * 13);
    p[1] = static_cast<uint8_t>(k * 29 + 5);
    p[2] = static_cast<uint8_t>(k * 3);
    p[3] = k % 2 ? 255 : 128;
    uint32_t v;
    std::memcpy(&v, p, 4);
    distinct.insert(v);
  }
  ASSERT_EQ(distinct.size(), 200u);
  RasterImage original;
  ImageClone(img, original);
  ASSERT_TRUE(ImageConvert(img, ifIndex8));
  for (int i = 0; i < 1000; ++i) {
    const TColor32Rec& e = img.Palette[img.Bits[i]];
    const uint8_t* p = &original.Bits[4 * i];
    ASSERT_EQ(e, (TColor32Rec{p[0], p[1], p[2], p[3]})) << "pixel " << i;
  }
}

TEST(ColorReduction, ManyColoursGiveAtMost256Entries) {
  RasterImage img = test::RandomImage(ifR8G8B8, 64, 64, 9);
  ASSERT_TRUE(ImageConvert(img, ifIndex8));
  EXPECT_EQ(img.Format, ifIndex8);
  // Mapping uses box ranges: each pixel's entry lies near its colour, and a
  // random image spreads over many entries.
  std::set<uint8_t> used(img.Bits.get(), img.Bits.get() + img.Size);
  EXPECT_GT(used.size(), 200u);
}

TEST(ColorReduction, MaskMergesLowBits) {
  ASSERT_TRUE(SetImagingOption(ImagingColorReductionMask, 0xF0));
  RasterImage img;
  ImageCreate(img, 4, 1, ifR8G8B8);
  const uint8_t px[12] = {0x10, 0x20, 0x30, 0x1F, 0x2A, 0x35, 0x80, 0x80, 0x80, 0x8F, 0x81, 0x8C};
  std::memcpy(img.Bits.get(), px, 12);
  bool ok = ImageConvert(img, ifIndex8);
  SetImagingOption(ImagingColorReductionMask, 255);
  ASSERT_TRUE(ok);
  EXPECT_EQ(img.Bits[0], img.Bits[1]);
  EXPECT_EQ(img.Bits[2], img.Bits[3]);
  EXPECT_NE(img.Bits[0], img.Bits[2]);
  // The shared entry is the mean of the masked colours.
  EXPECT_EQ(img.Palette[img.Bits[0]], (TColor32Rec{0x10, 0x20, 0x30, 0xF0}));
}

TEST(ColorReduction, GrayToIndexKeepsValues) {
  RasterImage img = test::RandomImage(ifGray8, 17, 3, 4);
  auto before = test::Pixels(img);
  ASSERT_TRUE(ImageConvert(img, ifIndex8));
  EXPECT_EQ(test::Pixels(img), before);
  for (int i = 0; i < 256; ++i) {
    uint8_t v = static_cast<uint8_t>(i);
    EXPECT_EQ(img.Palette[i], (TColor32Rec{v, v, v, 255}));
  }
  RasterImage g16;
  ImageCreate(g16, 1, 1, ifGray16);
  g16.Bits[0] = 0xFF;
  g16.Bits[1] = 0xAB;
  ImageConvert(g16, ifIndex8);
  EXPECT_EQ(g16.Bits[0], 0xAB);
}

TEST(ImageConvert, BlockFormatsWithoutCodecRaise) {
  RasterImage img;
  ImageCreate(img, 8, 8, ifDXT1);
  img.Bits[0] = 0x5A;
  SetBlockCodec(ifDXT1, {});  // no codec
  try {
    ImageConvert(img, ifA8R8G8B8);
    ADD_FAILURE() << "converted without a codec";
  } catch (const EImagingError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with(
        "Error while converting image to format \"A8R8G8B8\". Image @"));
  }
  EXPECT_EQ(img.Format, ifDXT1);  // old contents kept
  EXPECT_EQ(img.Bits[0], 0x5A);
  // With the codecs back, the same conversion succeeds.
  InstallBlockCodecs();
  ASSERT_TRUE(ImageConvert(img, ifA8R8G8B8));
  EXPECT_EQ(img.Format, ifA8R8G8B8);
  EXPECT_TRUE(ImageIsValid(img));
}

}  // namespace
}  // namespace imprimo
