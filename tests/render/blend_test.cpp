#include <gtest/gtest.h>

#include "platform/canvas.h"
#include "render/text_renderer.h"

namespace imprimo {
namespace {

TIAMask Filled(int w, int h, uint8_t v) {
  TIAMask m;
  m.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m.Row(y)[x] = v;
  return m;
}

TBitmap Solid(int w, int h, uint32_t rgb, TPixelFormat pf = TPixelFormat::pf24bit) {
  TBitmap b(w, h, pf);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRGB(x, y, rgb);
  return b;
}

struct Target {
  TBitmap bmp;
  TCanvas canvas;
  TIAFont font;
  explicit Target(TBitmap b) : bmp(std::move(b)), canvas(bmp), font(&canvas) {
    canvas.Brush().Style = TBrushStyle::bsClear;
  }
};

TEST(MaskBlend, OpacityAndCoverageArithmetic) {
  {
    Target t(Solid(4, 4, 0));
    t.font.Blend().PaintColor(0, 0, Filled(4, 4, 255), 80, clWhite);
    EXPECT_EQ(t.bmp.PixelRGB(2, 2), 0xCACACAu);  // k = 203 gives 202
  }
  {
    Target t(Solid(2, 2, 0));
    t.font.Blend().PaintColor(0, 0, Filled(2, 2, 128), 100, clWhite);
    EXPECT_EQ(t.bmp.PixelRGB(1, 1), 0x7F7F7Fu);
  }
  {
    Target t(Solid(2, 2, 0xFFFFFF));
    t.font.Blend().PaintColor(0, 0, Filled(2, 2, 128), 100, clBlack);
    EXPECT_EQ(t.bmp.PixelRGB(0, 0), 0x7F7F7Fu);
  }
  {
    Target t(Solid(2, 2, 0x102030));
    t.font.Blend().PaintColor(0, 0, Filled(2, 2, 255), 0, clWhite);
    EXPECT_EQ(t.bmp.PixelRGB(0, 0), 0x102030u);
  }
  {
    // Full coverage at full opacity is the colour exactly; 254 stops short.
    Target t(Solid(2, 1, 0));
    TIAMask m = Filled(2, 1, 255);
    m.Row(0)[1] = 254;
    t.font.Blend().PaintColor(0, 0, m, 100, 0x0080FF);  // red 255, green 128
    EXPECT_EQ(t.bmp.PixelRGB(0, 0), 0xFF8000u);
    EXPECT_EQ(t.bmp.PixelRGB(1, 0), 0xFD7F00u);
  }
  {
    // Opacities above 100 count as 100 (no overflow past the colour).
    Target t(Solid(1, 1, 0));
    t.font.Blend().PaintColor(0, 0, Filled(1, 1, 200), 150, clWhite);
    EXPECT_EQ(t.bmp.PixelRGB(0, 0), 0xC7C7C7u);
  }
}

TEST(MaskBlend, MaskOverTheEdgeOnlyChangesPixelsInside) {
  Target t(Solid(5, 5, 0));
  t.font.Blend().PaintColor(3, 3, Filled(4, 4, 255), 100, clWhite);
  t.font.Blend().PaintColor(-2, -2, Filled(3, 3, 255), 100, 0x0000FF);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      uint32_t expect = (x >= 3 && y >= 3) ? 0xFFFFFF : (x < 1 && y < 1) ? 0xFF0000 : 0;
      EXPECT_EQ(t.bmp.PixelRGB(x, y), expect) << x << "," << y;
    }
}

TEST(MaskBlend, SolidBrushSetsTheTextOnABox) {
  Target t(Solid(4, 4, 0x00FF00));
  t.canvas.Brush().Style = TBrushStyle::bsSolid;
  t.canvas.Brush().Color = 0xFF0000;  // blue
  TIAMask m = Filled(2, 2, 0);
  m.Row(0)[0] = 255;
  t.font.Blend().PaintColor(1, 1, m, 100, clWhite);
  EXPECT_EQ(t.bmp.PixelRGB(1, 1), 0xFFFFFFu);
  EXPECT_EQ(t.bmp.PixelRGB(2, 2), 0x0000FFu);
  EXPECT_EQ(t.bmp.PixelRGB(0, 0), 0x00FF00u);
  EXPECT_EQ(t.bmp.PixelRGB(3, 3), 0x00FF00u);
}

TEST(MaskBlend, ForegroundColoursAndItsSizeCheck) {
  Target t(Solid(3, 1, 0));
  TIAMask m = Filled(3, 1, 255);
  TBitmap& fg = t.font.Blend().Foreground();
  fg.SetFormatAndSize(TPixelFormat::pf24bit, 3, 1);
  fg.SetPixelRGB(0, 0, 0x112233);
  fg.SetPixelRGB(1, 0, 0x445566);
  fg.SetPixelRGB(2, 0, 0x778899);
  t.font.Blend().PaintForeground(0, 0, m, 100);
  EXPECT_EQ(t.bmp.PixelRGB(1, 0), 0x445566u);

  TBitmap before = t.bmp;
  fg.SetFormatAndSize(TPixelFormat::pf24bit, 2, 1);
  try {
    t.font.Blend().PaintForeground(0, 0, m, 100);
    FAIL();
  } catch (const EInvalidForeBmp& e) {
    EXPECT_STREQ(e.what(), "Invalid foreground bitmap!");
  }
  EXPECT_EQ(t.bmp, before);
}

TEST(MaskBlend, OtherTargetFormatsAndNoCanvas) {
  Target t(Solid(2, 2, 0, TPixelFormat::pf32bit));
  t.font.Blend().PaintColor(0, 0, Filled(1, 1, 255), 100, clWhite);
  EXPECT_EQ(t.bmp.PixelRGB(0, 0), 0xFFFFFFu);
  EXPECT_EQ(t.bmp.PixelRGB(1, 1), 0u);
  TIAFont none(nullptr);
  EXPECT_NO_THROW(none.Blend().PaintColor(0, 0, Filled(1, 1, 255), 100, clWhite));
}

TEST(Colors, SystemColoursComeFromTheDefaultScheme) {
  EXPECT_EQ(ResolveColor(clWindowText), 0u);
  EXPECT_EQ(ResolveColor(clWindow), 0xFFFFFFu);
  EXPECT_EQ(ResolveColor(clBtnFace), 0xF0F0F0u);
  EXPECT_EQ(ResolveColor(static_cast<TColor>(0xFF0000FFu)), 0u);  // no such index
  EXPECT_EQ(ResolveColor(0x12345678), 0x345678u);
  EXPECT_EQ(ColorToTRGB(0x0000FF), (TRGB{255, 0, 0}));
}

}  // namespace
}  // namespace imprimo
