// Block codecs: hand-computed reference blocks, encoder quality and the
// conversions through ImageConvert.
#include "imaging/block_codecs.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "imaging/raster_image.h"
#include "imaging_dds_pcx_psd_xpm/dds_pcx_psd_xpm_util.h"

namespace imprimo {
namespace {

using dds_pcx_psd_xpm::Psnr;
using dds_pcx_psd_xpm::SmoothImage;

TColor32Rec Rgba(int r, int g, int b, int a = 255) {
  return {uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(a)};
}

// Index pattern 0,1,2,3 repeated: every byte 0b11100100.
constexpr uint8_t kIndices0123[4] = {0xE4, 0xE4, 0xE4, 0xE4};
// Three-bit codes 0..7 twice, packed little-endian.
constexpr uint8_t kCodes0to7[6] = {0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA};

TEST(BlockDecode, Dxt1FourColourModeInterpolatesAtThirds) {
  // c0 = pure red (0xF800) > c1 = pure blue (0x001F).
  const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
  TColor32Rec px[16];
  DecodeDXT1Block(block, px);
  const TColor32Rec expect[4] = {Rgba(255, 0, 0), Rgba(0, 0, 255), Rgba(170, 0, 85),
                                 Rgba(85, 0, 170)};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(px[i], expect[i % 4]) << "pixel " << i;
}

TEST(BlockDecode, Dxt1ThreeColourModeHasMidpointAndTransparentBlack) {
  // c0 = 0 <= c1 = 0x8410 (132, 130, 132).
  const uint8_t block[8] = {0x00, 0x00, 0x10, 0x84, 0xE4, 0xE4, 0xE4, 0xE4};
  TColor32Rec px[16];
  DecodeDXT1Block(block, px);
  const TColor32Rec expect[4] = {Rgba(0, 0, 0), Rgba(132, 130, 132), Rgba(66, 65, 66),
                                 Rgba(0, 0, 0, 0)};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(px[i], expect[i % 4]) << "pixel " << i;

  // Equal endpoints also select the three-colour mode.
  const uint8_t equal[8] = {0x10, 0x84, 0x10, 0x84, 0xFF, 0xFF, 0xFF, 0xFF};
  DecodeDXT1Block(equal, px);
  EXPECT_EQ(px[5], Rgba(0, 0, 0, 0));
}

TEST(BlockDecode, Dxt3ExplicitAlphaAndForcedFourColours) {
  // Alpha nibble of pixel i is i; colour endpoints in "three-colour" order
  // still give four colours.
  const uint8_t block[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                             0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};
  TColor32Rec px[16];
  DecodeDXT3Block(block, px);
  const TColor32Rec colours[4] = {Rgba(0, 0, 255), Rgba(255, 0, 0), Rgba(85, 0, 170),
                                  Rgba(170, 0, 85)};
  for (int i = 0; i < 16; ++i) {
    TColor32Rec want = colours[i % 4];
    want.A = uint8_t(i * 17);
    EXPECT_EQ(px[i], want) << "pixel " << i;
  }
}

TEST(BlockDecode, Dxt5AndAti1nInterpolatedAlphaBothModes) {
  uint8_t block[16] = {70,   0,    0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA,
                       0x00, 0xF8, 0x00, 0xF8, 0,    0,    0,    0};
  // a0 > a1: six interpolated sevenths.
  const uint8_t eight[8] = {70, 0, 60, 50, 40, 30, 20, 10};
  TColor32Rec px[16];
  DecodeDXT5Block(block, px);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(px[i].A, eight[i % 8]) << "pixel " << i;
    EXPECT_EQ(px[i].R, 255);
  }
  uint8_t gray[16];
  DecodeATI1NBlock(block, gray);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(gray[i], eight[i % 8]);

  // a0 <= a1: four interpolated fifths, then 0 and 255.
  block[0] = 0;
  block[1] = 50;
  const uint8_t six[8] = {0, 50, 10, 20, 30, 40, 0, 255};
  DecodeATI1NBlock(block, gray);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(gray[i], six[i % 8]) << "pixel " << i;
}

TEST(BlockDecode, Ati2nTwoChannelsAndBtcLevels) {
  // Red channel block: sevenths; green block: code 7 of the five-step mode.
  const uint8_t blocks[16] = {70, 0,  0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA,
                              0,  50, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  uint8_t px[64];
  DecodeBlockImage(ifATI2N, blocks, 4, 4, px);
  const uint8_t eight[8] = {70, 0, 60, 50, 40, 30, 20, 10};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(px[4 * i + 2], eight[i % 8]);  // red
    EXPECT_EQ(px[4 * i + 1], 255);           // green
    EXPECT_EQ(px[4 * i + 0], 0);
    EXPECT_EQ(px[4 * i + 3], 255);
  }

  const uint8_t btc[4] = {10, 200, 0x0F, 0xF0};
  uint8_t g[16];
  DecodeBTCBlock(btc, g);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(g[i], (i < 4 || i >= 12) ? 200 : 10) << i;
}

TEST(BlockEncode, RepresentableBlocksComeBackExactly) {
  // Two 565-exact colours and transparency.
  TColor32Rec px[16];
  for (int i = 0; i < 16; ++i) px[i] = (i & 1) ? Rgba(255, 0, 0) : Rgba(0, 0, 255);
  px[3].A = 0;
  uint8_t block[16];
  EncodeDXT1Block(px, block);
  TColor32Rec out[16];
  DecodeDXT1Block(block, out);
  for (int i = 0; i < 16; ++i) {
    if (i == 3)
      EXPECT_EQ(out[i].A, 0);
    else
      EXPECT_EQ(out[i], px[i]) << i;
  }
  // A solid block in DXT3/DXT5 keeps its colour and alpha levels.
  for (int i = 0; i < 16; ++i) px[i] = Rgba(132, 130, 132, i < 8 ? 0 : 255);
  EncodeDXT5Block(px, block);
  DecodeDXT5Block(block, out);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], px[i]) << i;
  EncodeDXT3Block(px, block);
  DecodeDXT3Block(block, out);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], px[i]) << i;

  // Single-channel blocks with two levels, and with 0 and 255 plus a middle.
  uint8_t v[16], back[16];
  for (int i = 0; i < 16; ++i) v[i] = i % 3 == 0 ? 0 : i % 3 == 1 ? 255 : 77;
  EncodeATI1NBlock(v, block);
  DecodeATI1NBlock(block, back);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(back[i], v[i]) << i;
  for (int i = 0; i < 16; ++i) v[i] = i % 2 ? 40 : 90;
  EncodeBTCBlock(v, block);
  DecodeBTCBlock(block, back);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(back[i], v[i]) << i;
}

TEST(BlockEncode, SmoothImageReachesThirtyFiveDecibels) {
  const int w = 96, h = 64;
  RasterImage src = SmoothImage(w, h);
  // DXT1 alpha is one bit; measure its colour on an opaque copy.
  RasterImage opaque;
  ASSERT_TRUE(ImageClone(src, opaque));
  for (int32_t i = 3; i < opaque.Size; i += 4) opaque.Bits[i] = 255;
  struct Case {
    TImageFormat format;
    unsigned mask;  // channels that the format keeps
    double minPsnr;
  };
  // BGRA bytes: 1|2|4 colour, 8 alpha.
  const Case cases[] = {{ifDXT1, 7, 35}, {ifDXT3, 7, 35}, {ifDXT5, 15, 35}, {ifATI2N, 6, 35}};
  for (const Case& c : cases) {
    const RasterImage& from = c.format == ifDXT1 ? opaque : src;
    RasterImage img;
    ASSERT_TRUE(ImageClone(from, img));
    ASSERT_TRUE(ImageConvert(img, c.format));
    EXPECT_EQ(img.Size, (w / 4) * (h / 4) * GetImageFormatInfo(c.format)->BlockBytes);
    ASSERT_TRUE(ImageConvert(img, ifA8R8G8B8));
    const double psnr = Psnr(from, img, 4, c.mask);
    std::printf("%s: %.1f dB\n", GetImageFormatInfo(c.format)->Name, psnr);
    EXPECT_GE(psnr, c.minPsnr) << GetImageFormatInfo(c.format)->Name;
  }
  RasterImage gray;
  ASSERT_TRUE(ImageClone(src, gray));
  ASSERT_TRUE(ImageConvert(gray, ifGray8));
  for (TImageFormat f : {ifATI1N, ifBTC}) {
    RasterImage img;
    ASSERT_TRUE(ImageClone(gray, img));
    ASSERT_TRUE(ImageConvert(img, f));
    ASSERT_TRUE(ImageConvert(img, ifGray8));
    const double psnr = Psnr(gray, img, 1, 1);
    std::printf("%s: %.1f dB\n", GetImageFormatInfo(f)->Name, psnr);
    EXPECT_GE(psnr, 35.0) << GetImageFormatInfo(f)->Name;
  }
}

TEST(BlockEncode, PartialEdgeBlocksAndTransparency) {
  // 7 x 5 needs partial blocks; decoded pixels must match inside the image.
  RasterImage src;
  ASSERT_TRUE(ImageCreate(src, 7, 5, ifA8R8G8B8));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      uint8_t* p = src.Row(y) + 4 * x;
      p[2] = x < 4 ? 255 : 0;
      p[0] = x < 4 ? 0 : 255;
      p[3] = y == 4 ? 0 : 255;
    }
  RasterImage img;
  ASSERT_TRUE(ImageClone(src, img));
  ASSERT_TRUE(ImageConvert(img, ifDXT1));
  EXPECT_EQ(img.Size, 2 * 2 * 8);
  ASSERT_TRUE(ImageConvert(img, ifA8R8G8B8));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      const uint8_t* a = src.Row(y) + 4 * x;
      const uint8_t* b = img.Row(y) + 4 * x;
      if (y == 4) {
        EXPECT_EQ(b[3], 0) << x;
      } else {
        EXPECT_EQ(std::vector<uint8_t>(a, a + 4), std::vector<uint8_t>(b, b + 4)) << x << "," << y;
      }
    }
}

}  // namespace
}  // namespace imprimo
