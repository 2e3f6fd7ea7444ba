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

// A w x h 32-bit target of one colour and one alpha (pixels B, G, R, A).
TBitmap Solid32(int w, int h, uint32_t rgb, uint8_t alpha) {
  TBitmap b(w, h, TPixelFormat::pf32bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 4 * x;
      p[0] = rgb & 0xFF, p[1] = (rgb >> 8) & 0xFF, p[2] = (rgb >> 16) & 0xFF, p[3] = alpha;
    }
  return b;
}

uint8_t AlphaAt(const TBitmap& b, int x, int y) { return b.ScanLine(y)[4 * x + 3]; }

TEST(MaskBlend, ThirtyTwoBitTargetsAreBlendedOverWithTheirAlpha) {
  // Opaque pixels: the colour is exactly what a 24-bit target gets, alpha
  // stays 255.
  struct Case {
    uint32_t ground;
    TColor colour;
    uint8_t coverage;
    int opacity;
  };
  for (const Case c : {Case{0, clWhite, 255, 80}, Case{0, clWhite, 128, 100},
                       Case{0xFFFFFF, clBlack, 128, 100}, Case{0x204060, 0x0080FF, 254, 100},
                       Case{0x204060, 0x0080FF, 255, 100}, Case{0x204060, 0x0080FF, 3, 100}}) {
    Target t24(Solid(2, 2, c.ground));
    Target t32(Solid32(2, 2, c.ground, 255));
    t24.font.Blend().PaintColor(0, 0, Filled(2, 2, c.coverage), c.opacity, c.colour);
    t32.font.Blend().PaintColor(0, 0, Filled(2, 2, c.coverage), c.opacity, c.colour);
    EXPECT_EQ(t32.bmp.PixelRGB(1, 1), t24.bmp.PixelRGB(1, 1)) << int(c.coverage);
    EXPECT_EQ(AlphaAt(t32.bmp, 1, 1), 255);
  }
  {
    // Fully transparent pixels take the colour itself with the coverage as
    // alpha; uncovered ones stay transparent.
    Target t(Solid32(3, 1, 0x123456, 0));
    TIAMask m = Filled(3, 1, 0);
    m.Row(0)[0] = 255;
    m.Row(0)[1] = 128;
    t.font.Blend().PaintColor(0, 0, m, 100, 0x0000FF);  // red
    EXPECT_EQ(t.bmp.PixelRGB(0, 0), 0xFF0000u);
    EXPECT_EQ(AlphaAt(t.bmp, 0, 0), 255);
    EXPECT_EQ(t.bmp.PixelRGB(1, 0), 0xFF0000u);
    EXPECT_EQ(AlphaAt(t.bmp, 1, 0), 128);
    EXPECT_EQ(t.bmp.PixelRGB(2, 0), 0x123456u);
    EXPECT_EQ(AlphaAt(t.bmp, 2, 0), 0);
  }
  {
    // Half-transparent black under white at k = 128: alpha 128 + 128 * 127
    // / 255 = 191.75, colour 255 * 128 / 191.75 = 170.2.
    Target t(Solid32(1, 1, 0, 128));
    t.font.Blend().PaintColor(0, 0, Filled(1, 1, 128), 100, clWhite);
    EXPECT_EQ(t.bmp.PixelRGB(0, 0), 0xAAAAAAu);
    EXPECT_EQ(AlphaAt(t.bmp, 0, 0), 192);
  }
  {
    // A foreground paints the same way; a mask over the edge changes only
    // the pixels inside, and alpha of untouched pixels is kept.
    Target t(Solid32(3, 3, 0, 40));
    TBitmap& fg = t.font.Blend().Foreground();
    fg.SetFormatAndSize(TPixelFormat::pf24bit, 2, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) fg.SetPixelRGB(x, y, 0x00FF00);
    t.font.Blend().PaintForeground(2, 2, Filled(2, 2, 255), 100);
    EXPECT_EQ(t.bmp.PixelRGB(2, 2), 0x00FF00u);
    EXPECT_EQ(AlphaAt(t.bmp, 2, 2), 255);
    EXPECT_EQ(AlphaAt(t.bmp, 1, 2), 40);
    EXPECT_EQ(AlphaAt(t.bmp, 2, 1), 40);
  }
  {
    // A solid brush box is opaque paint.
    Target t(Solid32(4, 4, 0x00FF00, 0));
    t.canvas.Brush().Style = TBrushStyle::bsSolid;
    t.canvas.Brush().Color = 0xFF0000;  // blue
    TIAMask m = Filled(2, 2, 0);
    m.Row(0)[0] = 255;
    t.font.Blend().PaintColor(1, 1, m, 100, clWhite);
    EXPECT_EQ(t.bmp.PixelRGB(1, 1), 0xFFFFFFu);
    EXPECT_EQ(t.bmp.PixelRGB(2, 2), 0x0000FFu);
    EXPECT_EQ(AlphaAt(t.bmp, 2, 2), 255);
    EXPECT_EQ(AlphaAt(t.bmp, 0, 0), 0);
  }
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
