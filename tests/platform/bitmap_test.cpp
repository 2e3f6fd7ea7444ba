#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include "platform/numeric.h"
#include "platform/random.h"

namespace imprimo {

TEST(Numeric, RoundHalfEven) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(12.5), 12);
  EXPECT_EQ(RoundHalfEven(37.5), 38);
  EXPECT_EQ(RoundHalfEven(0.49999), 0);
}

TEST(Random, ZeroAndRange) {
  RandSeed(42);
  EXPECT_EQ(Random(0), 0);
  for (int i = 0; i < 1000; ++i) {
    int v = Random(7);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 7);
  }
  RandSeed(5);
  int a = Random(1000);
  RandSeed(5);
  EXPECT_EQ(Random(1000), a);
}

TEST(Bitmap, RowsArePackedTopDown) {
  TBitmap b(3, 2, TPixelFormat::pf24bit);
  EXPECT_EQ(b.BytesPerLine(), 9u);
  b.SetPixelRGB(2, 1, 0x123456);
  EXPECT_EQ(b.ScanLine(1)[6], 0x56);
  EXPECT_EQ(b.ScanLine(1)[8], 0x12);
  TBitmap one(9, 1, TPixelFormat::pf1bit);
  EXPECT_EQ(one.BytesPerLine(), 2u);
  EXPECT_THROW(b.ScanLine(2), EBitmapError);
}

TEST(Bitmap, RefusesHugeSizes) {
  EXPECT_THROW(TBitmap(70000, 1, TPixelFormat::pf8bit), EBitmapError);
  EXPECT_THROW(TBitmap(60000, 60000, TPixelFormat::pf8bit), EBitmapError);
}

TEST(Bitmap, IndexedToWiderKeepsColours) {
  TBitmap b(4, 1, TPixelFormat::pf4bit);
  b.Palette()[3] = {10, 20, 30, 0};
  b.ScanLine(0)[0] = 0x03;  // pixel 1 = index 3
  b.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(b.ScanLine(0)[1], 3);
  EXPECT_EQ(b.Palette()[3], (TPaletteEntry{10, 20, 30, 0}));
  b.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(b.PixelRGB(1, 0), 0x0A141Eu);
}

TEST(Bitmap, SetSizeKeepsOverlap) {
  TBitmap b(2, 2, TPixelFormat::pf24bit);
  b.SetPixelRGB(1, 1, 0xFFFFFF);
  b.SetSize(3, 3);
  EXPECT_EQ(b.PixelRGB(1, 1), 0xFFFFFFu);
  EXPECT_EQ(b.PixelRGB(2, 2), 0u);
}

TEST(Bitmap, AdoptsAndReleasesPixelBlocks) {
  auto block = std::make_unique<uint8_t[]>(4 * 3 * 2);
  for (int i = 0; i < 24; ++i) block[i] = static_cast<uint8_t>(i);
  uint8_t* raw = block.get();
  TBitmap b;
  b.AdoptPixels(TPixelFormat::pf24bit, 4, 2, std::move(block), 24);
  EXPECT_EQ(b.Bits(), raw);
  EXPECT_EQ(b.PixelRGB(1, 1), 0x11100Fu);
  TBitmap copy = b;  // a copy owns its own block
  EXPECT_NE(copy.Bits(), raw);
  EXPECT_TRUE(copy == b);
  copy.ScanLine(0)[0] = 99;
  EXPECT_FALSE(copy == b);
  std::unique_ptr<uint8_t[]> back = b.ReleasePixels();
  EXPECT_EQ(back.get(), raw);
  EXPECT_TRUE(b.Empty());
  // A block of the wrong size, or none, is refused and the bitmap kept.
  EXPECT_THROW(b.AdoptPixels(TPixelFormat::pf32bit, 4, 2, std::move(back), 24), EBitmapError);
  EXPECT_THROW(copy.AdoptPixels(TPixelFormat::pf24bit, 4, 2, nullptr, 24), EBitmapError);
  EXPECT_EQ(copy.Width(), 4);
}

}  // namespace imprimo
