#include "imaging/bitmap_conversion.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging_test_util.h"

namespace imprimo {
namespace {

TEST(ImageToBitmap, GrayAndPaletteBecomeTrueColourKeepingPaletteAlpha) {
  RasterImage img = test::RandomImage(ifGray8, 9, 4, 2);
  TBitmap bmp;
  ImageToBitmap(img, bmp);
  ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(bmp.ScanLine(y)[x * 3 + c], img.Row(y)[x]);
  EXPECT_EQ(img.Format, ifGray8);  // the caller's image is untouched

  RasterImage pal;
  ImageCreate(pal, 2, 1, ifIndex8);
  pal.Palette[0] = {1, 2, 3, 255};
  pal.Palette[1] = {4, 5, 6, 0};
  pal.Palette[7] = {0, 0, 0, 0};  // unused entries do not count
  ImageToBitmap(pal, bmp);
  EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);  // only index 0 is used
  pal.Row(0)[1] = 1;
  ImageToBitmap(pal, bmp);
  ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf32bit);
  const uint8_t* p = bmp.ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(p, p + 8), (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 0}));
}

TEST(ImageToBitmap, FormatMapping) {
  struct Case {
    TImageFormat in;
    TPixelFormat out;
  };
  const Case cases[] = {
      {ifR5G6B5, TPixelFormat::pf16bit},       {ifR8G8B8, TPixelFormat::pf24bit},
      {ifA8R8G8B8, TPixelFormat::pf32bit},     {ifX8R8G8B8, TPixelFormat::pf32bit},
      {ifA16R16G16B16, TPixelFormat::pf32bit}, {ifR32F, TPixelFormat::pf32bit},
      {ifA8Gray8, TPixelFormat::pf32bit},      {ifX1R5G5B5, TPixelFormat::pf16bit},
      {ifR16G16B16, TPixelFormat::pf24bit},    {ifGray16, TPixelFormat::pf24bit}};
  for (const Case& c : cases) {
    RasterImage img = test::RandomImage(c.in, 5, 3, 1);
    TBitmap bmp;
    ImageToBitmap(img, bmp);
    EXPECT_EQ(bmp.PixelFormat(), c.out) << GetImageFormatInfo(c.in)->Name;
    EXPECT_EQ(bmp.Width(), 5);
    EXPECT_EQ(bmp.Height(), 3);
  }
  // A 16-bit-per-channel image keeps its top bytes.
  RasterImage wide;
  ImageCreate(wide, 1, 1, ifA16R16G16B16);
  const uint16_t px[4] = {0x1234, 0x5678, 0x9ABC, 0xFFFF};
  std::memcpy(wide.Bits.get(), px, 8);
  TBitmap bmp;
  ImageToBitmap(wide, bmp);
  EXPECT_EQ(bmp.ScanLine(0)[1], 0x56);
  EXPECT_EQ(bmp.ScanLine(0)[3], 0xFF);

  RasterImage invalid;
  EXPECT_THROW(ImageToBitmap(invalid, bmp), EImagingError);
}

TEST(BitmapToImage, MappingAndRows) {
  TBitmap bmp(3, 2, TPixelFormat::pf32bit);
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 12; ++i) bmp.ScanLine(y)[i] = static_cast<uint8_t>(y * 12 + i);
  RasterImage img;
  BitmapToImage(bmp, img);
  EXPECT_EQ(img.Format, ifA8R8G8B8);
  EXPECT_EQ(img.Row(1)[3], 15);  // fourth byte becomes alpha unchanged

  TBitmap b15(2, 2, TPixelFormat::pf15bit), b16(2, 2, TPixelFormat::pf16bit),
      b24(2, 2, TPixelFormat::pf24bit);
  BitmapToImage(b15, img);
  EXPECT_EQ(img.Format, ifA1R5G5B5);
  BitmapToImage(b16, img);
  EXPECT_EQ(img.Format, ifR5G6B5);
  BitmapToImage(b24, img);
  EXPECT_EQ(img.Format, ifR8G8B8);
}

TEST(BitmapToImage, OneBitBitmapsBecomeIndex8) {
  TBitmap bmp(10, 2, TPixelFormat::pf1bit);
  bmp.SetPixelRGB(3, 1, 0xFFFFFF);
  RasterImage img;
  BitmapToImage(bmp, img);
  EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(img.Format, ifIndex8);
  const TColor32Rec& white = img.Palette[img.Row(1)[3]];
  const TColor32Rec& black = img.Palette[img.Row(0)[0]];
  EXPECT_EQ(white, (TColor32Rec{255, 255, 255, 255}));
  EXPECT_EQ(black, (TColor32Rec{0, 0, 0, 255}));
}

TEST(BitmapConversion, RoundTripsAreExact) {
  for (TImageFormat f : {ifR5G6B5, ifR8G8B8, ifA8R8G8B8}) {
    RasterImage img = test::RandomImage(f, 7, 6, f);
    TBitmap bmp;
    ImageToBitmap(img, bmp);
    RasterImage back;
    BitmapToImage(bmp, back);
    EXPECT_EQ(back.Format, f);
    EXPECT_EQ(test::Pixels(back), test::Pixels(img));
  }
}

// Moving gives what copying gives; 24- and 32-bit pictures hand their pixel
// block over instead of copying it, and the source is left empty.
TEST(MoveImageToBitmap, AgreesWithTheCopyAndHandsTheBlockOver) {
  const TImageFormat formats[] = {ifR8G8B8, ifA8R8G8B8, ifX8R8G8B8, ifGray8, ifIndex8, ifR16G16B16};
  for (TImageFormat f : formats) {
    RasterImage img = test::RandomImage(f, 7, 5, 11);
    TBitmap copied, moved;
    ImageToBitmap(img, copied);
    const uint8_t* block = img.Bits.get();
    const bool handOver = f == ifR8G8B8 || f == ifA8R8G8B8 || f == ifX8R8G8B8;
    MoveImageToBitmap(img, moved);
    EXPECT_TRUE(moved == copied) << GetImageFormatInfo(f)->Name;
    EXPECT_EQ(moved.Bits() == block, handOver) << GetImageFormatInfo(f)->Name;
    EXPECT_EQ(img.Bits, nullptr);
    EXPECT_EQ(img.Width, 0);

    RasterImage back, backMoved;
    BitmapToImage(copied, back);
    const uint8_t* bitmapBlock = moved.Bits();
    MoveBitmapToImage(moved, backMoved);
    ASSERT_TRUE(ImageIsValid(backMoved));
    EXPECT_EQ(backMoved.Format, back.Format);
    ASSERT_EQ(backMoved.Size, back.Size);
    EXPECT_EQ(std::memcmp(backMoved.Bits.get(), back.Bits.get(), back.Size), 0);
    EXPECT_EQ(backMoved.Bits.get() == bitmapBlock,
              moved.Empty() && (back.Format == ifR8G8B8 || back.Format == ifA8R8G8B8));
    EXPECT_TRUE(moved.Empty());
  }
  // An empty or invalid record fails as the copy does.
  RasterImage none;
  TBitmap b;
  EXPECT_THROW(MoveImageToBitmap(none, b), EImagingError);
}

}  // namespace
}  // namespace imprimo
