#include "imageops/orient.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace imprimo {
namespace {

// A 3 x 2 picture whose pixels are the letters a..f (as their 0x00RRGGBB
// colour) in reading order:  a b c / d e f.
TBitmap Letters() {
  TBitmap b(3, 2, TPixelFormat::pf32bit);
  const char* letters = "abcdef";
  for (int i = 0; i < 6; ++i) b.SetPixelRGB(i % 3, i / 3, static_cast<uint32_t>(letters[i]));
  return b;
}

// The rows of a letter picture, separated by "/".
std::string Rows(const TBitmap& b) {
  std::string s;
  for (int y = 0; y < b.Height(); ++y) {
    if (y) s += '/';
    for (int x = 0; x < b.Width(); ++x) s += static_cast<char>(b.PixelRGB(x, y));
  }
  return s;
}

TEST(Orient, EachOrientationShowsTheStoredPictureUpright) {
  // What a viewer shows for a camera picture stored as abc/def.
  const char* upright[9] = {"",         "abc/def",  "cba/fed",  "fed/cba", "def/abc",
                            "ad/be/cf", "da/eb/fc", "fc/eb/da", "cf/be/ad"};
  for (int o = 1; o <= 8; ++o) {
    TBitmap b = Letters();
    EXPECT_EQ(ApplyExifOrientation(b, o), o != 1) << o;
    EXPECT_EQ(Rows(b), upright[o]) << "orientation " << o;
    int w = 0, h = 0;
    UprightSize(o, 3, 2, w, h);
    EXPECT_EQ(b.Width(), w);
    EXPECT_EQ(b.Height(), h);
  }
}

TEST(Orient, ValuesOutsideOneToEightLeaveThePictureAlone) {
  for (int o : {0, -1, 9, 255, 65535}) {
    TBitmap b = Letters();
    const TBitmap before = b;
    EXPECT_FALSE(ApplyExifOrientation(b, o)) << o;
    EXPECT_EQ(b, before) << o;
    int w = 0, h = 0;
    UprightSize(o, 3, 2, w, h);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
  }
  TBitmap empty;
  EXPECT_TRUE(ApplyExifOrientation(empty, 6));
  EXPECT_TRUE(empty.Empty());
}

// Every pixel format turns exactly as the 32-bit picture of the same colours
// does; packed formats use odd widths so rows end inside a byte, and the
// 32-bit bytes (alpha included) move unchanged.
TEST(Orient, EveryPixelFormatTurnsLikeTheTrueColourPicture) {
  struct Case {
    TPixelFormat pf;
    int w, h;
  };
  for (const Case c : {Case{TPixelFormat::pf1bit, 13, 5}, Case{TPixelFormat::pf4bit, 7, 3},
                       Case{TPixelFormat::pf8bit, 5, 4}, Case{TPixelFormat::pf15bit, 5, 3},
                       Case{TPixelFormat::pf16bit, 4, 7}, Case{TPixelFormat::pf24bit, 6, 5},
                       Case{TPixelFormat::pf32bit, 5, 2}}) {
    TBitmap b(c.w, c.h, c.pf);
    uint32_t seed = 12345;
    for (int y = 0; y < c.h; ++y) {
      uint8_t* row = b.ScanLine(y);
      for (size_t i = 0; i < b.BytesPerLine(); ++i) {
        seed = seed * 1103515245u + 12345u;
        row[i] = static_cast<uint8_t>(seed >> 16);
      }
    }
    if (!b.Palette().empty()) b.Palette()[1] = {10, 200, 30, 0};
    TBitmap truth(c.w, c.h, TPixelFormat::pf32bit);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) truth.SetPixelRGB(x, y, b.PixelRGB(x, y));

    for (int o = 2; o <= 8; ++o) {
      TBitmap turned = b, turnedTruth = truth;
      ASSERT_TRUE(ApplyExifOrientation(turned, o));
      ApplyExifOrientation(turnedTruth, o);
      EXPECT_EQ(turned.PixelFormat(), c.pf);
      EXPECT_EQ(turned.Palette(), b.Palette());
      ASSERT_EQ(turned.Width(), turnedTruth.Width());
      ASSERT_EQ(turned.Height(), turnedTruth.Height());
      int wrong = 0;
      for (int y = 0; y < turned.Height(); ++y)
        for (int x = 0; x < turned.Width(); ++x)
          wrong += turned.PixelRGB(x, y) != turnedTruth.PixelRGB(x, y);
      EXPECT_EQ(wrong, 0) << "format " << static_cast<int>(c.pf) << " orientation " << o;
    }
  }
  // Alpha travels with its pixel.
  TBitmap a(2, 1, TPixelFormat::pf32bit);
  const uint8_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::copy(px, px + 8, a.ScanLine(0));
  ASSERT_TRUE(ApplyExifOrientation(a, 2));
  EXPECT_EQ(std::vector<uint8_t>(a.ScanLine(0), a.ScanLine(0) + 8),
            (std::vector<uint8_t>{5, 6, 7, 8, 1, 2, 3, 4}));
}

TEST(Orient, QuarterTurnsOfALargePictureCrossTileEdges) {
  // 150 x 70 spans several tiles in both directions; four quarter turns
  // clockwise bring every byte back.
  TBitmap b(150, 70, TPixelFormat::pf24bit);
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 150; ++x) b.SetPixelRGB(x, y, static_cast<uint32_t>(y * 1000 + x));
  TBitmap t = b;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(ApplyExifOrientation(t, 6));
  EXPECT_EQ(t, b);
  ASSERT_TRUE(ApplyExifOrientation(t, 8));
  EXPECT_EQ(t.PixelRGB(0, 0), b.PixelRGB(149, 0));
  EXPECT_EQ(t.PixelRGB(69, 149), b.PixelRGB(0, 69));
  EXPECT_EQ(t.PixelRGB(10, 100), b.PixelRGB(49, 10));
}

}  // namespace
}  // namespace imprimo
