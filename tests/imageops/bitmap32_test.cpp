#include "imageops/bitmap32.h"

#include <gtest/gtest.h>

namespace imprimo {
namespace {

TBitmap32 Filled(int w, int h, TColor32 c) {
  TBitmap32 b(w, h);
  for (int i = 0; i < w * h; ++i) b.Bits()[i] = c;
  return b;
}

TEST(Bitmap32, CreateIsEmptyOpaqueModeFullAlpha) {
  TBitmap32 b;
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.DrawMode(), TDrawMode::dmOpaque);
  EXPECT_EQ(b.MasterAlpha(), 255);
  EXPECT_THROW(b.SetSize(70000, 1), EBitmapError);
  EXPECT_THROW(b.SetSize(20000, 20000), EBitmapError);
  EXPECT_THROW(b.SetSize(-1, 5), EBitmapError);
  EXPECT_TRUE(b.Empty());
}

TEST(Bitmap32, ColorConversionSwapsChannelsAndResolvesSystemColours) {
  EXPECT_EQ(Color32(0x0000FF), 0xFFFF0000u);  // TColor red
  EXPECT_EQ(Color32(0xFF0000), 0xFF0000FFu);  // TColor blue
  EXPECT_EQ(Color32(0x123456), 0xFF563412u);
  EXPECT_EQ(Color32(static_cast<int32_t>(0x80000005)), 0xFFFFFFFFu);  // window background
  EXPECT_EQ(Color32(static_cast<int32_t>(0x80000008)), 0xFF000000u);  // window text
}

TEST(Bitmap32, AssignFromPlatformBitmapFormats) {
  TBitmap b24(2, 1, TPixelFormat::pf24bit);
  b24.ScanLine(0)[0] = 1;  // B
  b24.ScanLine(0)[1] = 2;  // G
  b24.ScanLine(0)[2] = 3;  // R
  TBitmap32 t;
  t.AssignFrom(b24);
  ASSERT_EQ(t.Width(), 2);
  EXPECT_EQ(t.Pixel(0, 0), 0xFF030201u);
  EXPECT_EQ(t.Pixel(1, 0), 0xFF000000u);

  TBitmap b32(1, 1, TPixelFormat::pf32bit);
  uint8_t px[4] = {10, 20, 30, 40};
  std::copy(px, px + 4, b32.ScanLine(0));
  t.AssignFrom(b32);
  EXPECT_EQ(t.Pixel(0, 0), 0x281E140Au);  // alpha 40 kept

  TBitmap b8(1, 1, TPixelFormat::pf8bit);
  b8.Palette()[7] = TPaletteEntry{200, 100, 50, 0};
  b8.ScanLine(0)[0] = 7;
  t.AssignFrom(b8);
  EXPECT_EQ(t.Pixel(0, 0), 0xFFC86432u);

  TBitmap back;
  t.AssignTo(back);
  EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(back.ScanLine(0)[3], 255);
  EXPECT_EQ(back.ScanLine(0)[2], 200);

  TBitmap empty;
  t.AssignFrom(empty);
  EXPECT_TRUE(t.Empty());
}

TEST(Bitmap32, Flips) {
  TBitmap32 b(3, 2);
  for (int i = 0; i < 6; ++i) b.Bits()[i] = i;
  b.FlipHorz();
  EXPECT_EQ(b.Pixel(0, 0), 2u);
  EXPECT_EQ(b.Pixel(2, 1), 3u);
  b.FlipVert();
  EXPECT_EQ(b.Pixel(0, 0), 5u);
  EXPECT_EQ(b.Pixel(2, 1), 0u);
}

TEST(Bitmap32, BlendArithmetic) {
  const TColor32 dst = 0xFF000000;
  // Master alpha 0: the destination stays.
  EXPECT_EQ(BlendPixel(0xFFFFFFFF, dst, 0), dst);
  // Master 204 with source alpha 255: effective alpha (256 * 204) >> 8 = 204.
  TColor32 r = BlendPixel(0xFFFFFFFF, dst, 204);
  EXPECT_EQ((r >> 16) & 0xFF, 204u);
  EXPECT_EQ(r >> 24, 255u);  // opaque destination stays opaque
  // Full source alpha and master: the source replaces the destination.
  EXPECT_EQ(BlendPixel(0xFF123456, dst, 255), 0xFF123456u);
  // Source alpha 128 at master 255 moves half way, rounded.
  r = BlendPixel(0x80C8C8C8, 0xFF000000, 255);
  EXPECT_NEAR(double((r >> 16) & 0xFF), 200.0 * 128 / 255, 0.5);
  // A partly transparent logo pixel multiplies with the master alpha.
  r = BlendPixel(0x80FFFFFF, 0xFF000000, 127);
  EXPECT_NEAR(double(r & 0xFF), 255.0 * ((129 * 127) >> 8) / 255, 0.5);
  // Transparent destination picks up the source's colour and alpha.
  r = BlendPixel(0xFF102030, 0x00000000, 204);
  EXPECT_EQ(r, 0xCC102030u);
  r = BlendPixel(0x40102030, 0x00FFFFFF, 255);
  EXPECT_EQ(r, 0x40102030u);
}

TEST(Bitmap32, BlendIsOverAndKeepsOpaqueDestinationsOpaque) {
  // Every source alpha on an opaque destination: alpha stays 255 and the
  // colour moves toward the source by a / 255, rounded.
  for (uint32_t A = 1; A < 255; ++A) {
    const TColor32 r = BlendPixel((A << 24) | 0xFFFFFF, 0xFF000000, 255);
    ASSERT_EQ(r >> 24, 255u) << A;
    ASSERT_EQ(r & 0xFF, (255 * A + 127) / 255) << A;
  }
  EXPECT_EQ(BlendPixel(0x80C8C8C8, 0xFF000000, 191), 0xFF4B4B4Bu);  // a = 96
  // Half over half: alpha 128 + 128 * 127 / 255 = 191.75; colour 200 * 128 /
  // 191.75 = 133.5 over black.
  EXPECT_EQ(BlendPixel(0x80C8C8C8, 0x80000000, 255), 0xC0868686u);
  // Over a faint destination the source colour dominates.
  const TColor32 r = BlendPixel(0xC0FF0000, 0x100000FF, 255);
  EXPECT_EQ(r >> 24, (192u * 255 + 16 * 63 + 127) / 255);
  EXPECT_GT((r >> 16) & 0xFF, 240u);
  EXPECT_LT(r & 0xFF, 15u);
}

TEST(Bitmap32, DrawClipsAtEveryEdge) {
  TBitmap32 dst = Filled(4, 4, 0xFF000000);
  TBitmap32 src = Filled(3, 3, 0xFFFFFFFF);
  dst.Draw(-2, -1, src);  // covers x 0, y 0..1
  EXPECT_EQ(dst.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(dst.Pixel(0, 1), 0xFFFFFFFFu);
  EXPECT_EQ(dst.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(dst.Pixel(0, 2), 0xFF000000u);
  dst.Draw(3, 3, src);
  EXPECT_EQ(dst.Pixel(3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(dst.Pixel(2, 3), 0xFF000000u);
  // Far outside, including near the int limits: nothing happens.
  TBitmap32 before = dst;
  dst.Draw(2147483600, 0, src);
  dst.Draw(-2147483600, -2147483600, src);
  dst.Draw(4, 0, src);
  EXPECT_EQ(dst, before);
}

TEST(Bitmap32, DrawBlendUsesSourceModeAndMasterAlpha) {
  TBitmap32 dst = Filled(2, 1, 0xFF000000);
  TBitmap32 src = Filled(1, 1, 0xFFFFFFFF);
  src.SetDrawMode(TDrawMode::dmBlend);
  src.SetMasterAlpha(0);
  dst.Draw(0, 0, src);
  EXPECT_EQ(dst.Pixel(0, 0), 0xFF000000u);
  src.SetMasterAlpha(204);
  dst.Draw(1, 0, src);
  EXPECT_EQ(dst.Pixel(1, 0), 0xFFCCCCCCu);
  // Copying a bitmap keeps draw mode and master alpha.
  TBitmap32 copy = src;
  EXPECT_EQ(copy.DrawMode(), TDrawMode::dmBlend);
  EXPECT_EQ(copy.MasterAlpha(), 204);
}

TEST(Bitmap32, ResizeKeepsModeAndAlpha) {
  TBitmap32 b = Filled(10, 5, 0x80FF0000);
  b.SetDrawMode(TDrawMode::dmBlend);
  b.SetMasterAlpha(100);
  ASSERT_TRUE(b.Resize(58, 38));
  EXPECT_EQ(b.Width(), 58);
  EXPECT_EQ(b.Height(), 38);
  EXPECT_EQ(b.MasterAlpha(), 100);
  EXPECT_EQ(b.DrawMode(), TDrawMode::dmBlend);
  for (int i = 0; i < 58 * 38; ++i) ASSERT_EQ(b.Bits()[i], 0x80FF0000u);
  EXPECT_FALSE(b.Resize(0, 10));
  EXPECT_FALSE(b.Resize(-1, 10));
  EXPECT_FALSE(b.Resize(1000000000, 1000000000));
  EXPECT_EQ(b.Width(), 58);
}

}  // namespace
}  // namespace imprimo
