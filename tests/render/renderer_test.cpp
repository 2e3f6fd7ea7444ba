#include <gtest/gtest.h>

#include "platform/numeric.h"
#include "platform/random.h"
#include "render/text_renderer.h"

namespace imprimo {
namespace {

struct Box {
  int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;  // inclusive
  bool Empty() const { return right < 0; }
};

// Bounding box of pixels whose channel (16 red, 8 green, 0 blue) is non-zero.
Box InkBox(const TBitmap& b, int shift) {
  Box box;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if ((b.PixelRGB(x, y) >> shift) & 255) {
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
      }
  return box;
}

Box MaskBox(TIAMask& m) {
  Box box;
  for (int y = 0; y < m.Height(); ++y)
    for (int x = 0; x < m.Width(); ++x)
      if (m.Row(y)[x]) {
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
      }
  return box;
}

struct Scene {
  TBitmap bmp;
  TCanvas canvas;
  TIAFontEx fx;
  explicit Scene(int w = 200, int h = 100)
      : bmp(w, h, TPixelFormat::pf24bit), canvas(bmp), fx(&canvas) {
    canvas.Font().SetName("Arial");
    canvas.Font().SetSize(28);
    canvas.Brush().Style = TBrushStyle::bsClear;
    fx.SetQuality(0);
  }
};

TEST(TextRenderer, FreshEffectDrawsPlainText) {
  TIAEffect e;
  EXPECT_EQ(e.Alpha(), 100);
  EXPECT_EQ(e.Blur(), 0);
  EXPECT_EQ(e.Angle(), 0);
  EXPECT_FALSE(e.Outline() || e.HorzMirror() || e.VertMirror() || e.Noise() || e.Spray());
  EXPECT_FALSE(e.Shadow().Enabled() || e.Gradual().Enabled() || e.Texture().Enabled());
  EXPECT_EQ(e.Shadow().Blur(), 80);
  EXPECT_EQ(e.Shadow().Alpha(), 70);
  EXPECT_EQ(e.Shadow().Color(), 0x444444);
  EXPECT_EQ(e.Shadow().OffsetX(), 2);
  EXPECT_EQ(e.Gradual().StartColor(), 0xFFFFFF);
  EXPECT_EQ(e.Texture().Mode(), TTextureMode::tmTiled);
}

TEST(TextRenderer, SettingsAssignByClass) {
  TIAEffect a, b;
  a.SetAlpha(150);  // stored as given
  a.SetAngle(720);
  a.Shadow().SetEnabled(true);
  a.Shadow().SetOffsetX(-3);
  b.Assign(a);
  EXPECT_EQ(b.Alpha(), 150);
  EXPECT_EQ(b.Angle(), 720);
  EXPECT_TRUE(b.Shadow().Enabled());
  EXPECT_EQ(b.Shadow().OffsetX(), -3);
  // Across classes only Enabled is copied.
  TIAShadow sh;
  TIAGradual g;
  g.SetEnabled(true);
  g.SetStartColor(0x123456);
  sh.Assign(g);
  EXPECT_TRUE(sh.Enabled());
  EXPECT_EQ(sh.Color(), 0x444444);
  TIAMask notSettings;
  EXPECT_THROW(sh.Assign(notSettings), EConvertError);
}

// The measured extent is the mask the text is drawn through: upright and
// italic, at both qualities, every inked pixel lies inside it and the ink
// reaches close to its edges, and the italic extent is wider so that the
// slanted strokes are not cut off.
TEST(TextRenderer, MeasuredExtentHoldsTheDrawnTextUprightAndItalic) {
  const std::u16string text = u"Imprimo";
  for (int quality : {0, 1})
    for (bool italic : {false, true}) {
      SCOPED_TRACE(std::to_string(quality) + (italic ? " italic" : " upright"));
      Scene s(400, 120);
      s.fx.SetQuality(quality);
      s.canvas.Font().SetColor(0xFF0000);  // blue
      if (italic) s.canvas.Font().SetStyle(fsItalic);
      TSize size;
      s.fx.TextExtent(text, size);
      const int x = 15, y = 25;
      s.fx.TextOut(x, y, text);
      EXPECT_EQ(s.fx.Mask().Width(), size.cx);
      EXPECT_EQ(s.fx.Mask().Height(), size.cy);
      EXPECT_EQ(s.fx.Mask().Stride() % 4, 0);
      const Box ink = InkBox(s.bmp, 0);
      ASSERT_FALSE(ink.Empty());
      EXPECT_GE(ink.left, x);
      EXPECT_GE(ink.top, y);
      EXPECT_LT(ink.right, x + size.cx);
      EXPECT_LT(ink.bottom, y + size.cy);
      EXPECT_GT(ink.right - ink.left + 1, size.cx * 3 / 4);
    }
  Scene upright, slanted;
  slanted.canvas.Font().SetStyle(fsItalic);
  TSize a, b;
  upright.fx.TextExtent(text, a);
  slanted.fx.TextExtent(text, b);
  EXPECT_GT(b.cx, a.cx);
}

TEST(TextRenderer, ShadowOffsetsPlaceTextAndShadowInTheMeasuredBox) {
  Scene s(240, 100);
  s.canvas.Font().SetColor(0xFF0000);  // blue text
  auto& sh = s.fx.Effect().Shadow();
  TSize plain;
  s.fx.TextExtent(u"Imprimo", plain);
  sh.SetEnabled(true);
  sh.SetBlur(0);
  sh.SetAlpha(100);
  sh.SetColor(0x0000FF);  // red shadow
  sh.SetOffsetX(3);
  sh.SetOffsetY(-2);
  TSize withShadow;
  s.fx.TextExtent(u"Imprimo", withShadow);
  EXPECT_EQ(withShadow.cx, plain.cx + 3);
  EXPECT_EQ(withShadow.cy, plain.cy + 2);

  const int x = 10, y = 20;
  s.fx.TextOut(x, y, u"Imprimo");
  Box m = MaskBox(s.fx.Mask());
  ASSERT_FALSE(m.Empty());
  Box text = InkBox(s.bmp, 0);
  EXPECT_EQ(text.left, x + m.left);
  EXPECT_EQ(text.top, y + 2 + m.top);
  EXPECT_EQ(text.right, x + m.right);
  EXPECT_EQ(text.bottom, y + 2 + m.bottom);
  Box shadow = InkBox(s.bmp, 16);
  EXPECT_EQ(shadow.top, y + m.top);
  EXPECT_EQ(shadow.right, x + 3 + m.right);
}

TEST(TextRenderer, ShadowOpacityIsTheProductOfBothAlphas) {
  Scene s(300, 80);
  s.canvas.Font().SetColor(0xFF0000);
  auto& fx = s.fx.Effect();
  fx.SetAlpha(80);
  fx.Shadow().SetEnabled(true);
  fx.Shadow().SetAlpha(70);
  fx.Shadow().SetBlur(0);
  fx.Shadow().SetColor(0x0000FF);
  fx.Shadow().SetOffsetX(20);
  fx.Shadow().SetOffsetY(0);
  s.fx.TextOut(0, 0, u"I");
  // The shadow of the full stem, clear of the text: opacity 56 gives
  // A = 143, k = 142 and 255 * 142 / 256 = 141.
  int maxRed = 0;
  for (int y = 0; y < s.bmp.Height(); ++y)
    for (int x = 0; x < s.bmp.Width(); ++x)
      if ((s.bmp.PixelRGB(x, y) & 255) == 0)
        maxRed = std::max<int>(maxRed, s.bmp.PixelRGB(x, y) >> 16);
  EXPECT_EQ(maxRed, 141);
}

TEST(TextRenderer, EmptyStringDrawsNothingAndKeepsFontAndBrush) {
  Scene s;
  s.fx.Effect().SetAngle(30);
  s.fx.Effect().Shadow().SetEnabled(true);
  TBitmap before = s.bmp;
  TLogFont lf = s.canvas.Font().LogFont();
  s.fx.TextOut(5, 5, u"");
  EXPECT_EQ(s.bmp, before);
  s.fx.TextOut(5, 5, u"Abc");
  EXPECT_NE(s.bmp, before);
  EXPECT_EQ(s.canvas.Font().LogFont(), lf);
  EXPECT_EQ(s.canvas.Brush().Style, TBrushStyle::bsClear);
  s.canvas.Brush().Style = TBrushStyle::bsSolid;
  s.fx.TextOut(5, 5, u"Abc");
  EXPECT_EQ(s.canvas.Brush().Style, TBrushStyle::bsSolid);
}

TEST(TextRenderer, HugeTurnedTextDrawsItsPartOnTheCanvasAndRestoresTheFont) {
  Scene s;
  s.canvas.Font().SetSize(20000);
  s.canvas.Font().SetColor(0xFFFFFF);
  s.fx.Effect().SetAngle(30);
  TLogFont lf = s.canvas.Font().LogFont();
  TSize size;
  s.fx.TextExtent(u"Watermark text", size);
  ASSERT_GT(int64_t{size.cx} * size.cy, kMaxMaskPixels);
  // The middle of the turned text lies on the canvas.
  s.fx.TextOut(-size.cx / 2 + 100, -size.cy / 2 + 50, u"Watermark text");
  EXPECT_EQ(s.canvas.Font().LogFont(), lf);
  int ink = 0;
  for (int y = 0; y < s.bmp.Height(); ++y)
    for (int x = 0; x < s.bmp.Width(); ++x) ink += s.bmp.PixelRGB(x, y) != 0;
  EXPECT_GT(ink, 0);
}

TEST(TextRenderer, NoiseVariesEachChannelAroundTheFontColour) {
  Scene s;
  s.canvas.Font().SetColor(0x808080);
  s.fx.TextOut(0, 0, u"H");
  const TBitmap flat = s.bmp;
  // Without noise every fully covered pixel is the font colour.
  for (int y = 0; y < s.bmp.Height(); ++y)
    for (int x = 0; x < s.bmp.Width(); ++x) {
      uint32_t c = flat.PixelRGB(x, y);
      EXPECT_TRUE(c == 0 || (c & 255) != 128 || c == 0x808080) << std::hex << c;
    }
  Scene n;
  n.canvas.Font().SetColor(0x808080);
  n.fx.Effect().SetNoise(20);
  RandSeed(1);
  n.fx.TextOut(0, 0, u"H");
  TIAMask& m = n.fx.Mask();
  int full = 0, distinct = 0;
  uint32_t first = 0;
  for (int y = 0; y < m.Height(); ++y)
    for (int x = 0; x < m.Width(); ++x) {
      if (m.Row(y)[x] != 255) continue;
      uint32_t c = n.bmp.PixelRGB(x, y);
      for (int sh : {0, 8, 16}) {
        int v = (c >> sh) & 255;
        EXPECT_GE(v, 128 - 10);
        EXPECT_LE(v, 128 + 9);
      }
      if (full++ == 0) first = c;
      distinct += c != first;
    }
  EXPECT_GT(full, 50);
  EXPECT_GT(distinct, full / 2);
}

TEST(TextRenderer, GradientLines) {
  Scene s;
  auto& g = s.fx.Effect().Gradual();
  g.SetStartColor(0xFFFFFF);
  g.SetEndColor(0);
  s.fx.Mask().SetSize(4, 2);
  s.fx.FillGradient();
  const TBitmap& fg = s.fx.Blend().Foreground();
  ASSERT_EQ(fg.Width(), 4);
  const uint32_t ltr[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(fg.PixelRGB(x, 0), ltr[x]) << x;
    EXPECT_EQ(fg.PixelRGB(x, 1), ltr[x]) << x;
  }
  g.SetStyle(TGradualStyle::gsRightToLeft);
  s.fx.FillGradient();
  EXPECT_EQ(fg.PixelRGB(0, 0), 0u);
  EXPECT_EQ(fg.PixelRGB(3, 0), 0xBFBFBFu);

  s.fx.Mask().SetSize(5, 1);
  g.SetStyle(TGradualStyle::gsCenterToLR);
  s.fx.FillGradient();
  const uint32_t centre[] = {0, 0x555555, 0xAAAAAA, 0x555555, 0};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(fg.PixelRGB(x, 0), centre[x]) << x;

  s.fx.Mask().SetSize(2, 4);
  g.SetStyle(TGradualStyle::gsTopToBottom);
  s.fx.FillGradient();
  for (int y = 0; y < 4; ++y) EXPECT_EQ(fg.PixelRGB(1, y), ltr[y]) << y;
}

TEST(TextRenderer, TextureModes) {
  Scene s;
  s.canvas.Font().SetColor(0x00FF00);  // green
  TBitmap pic(2, 2, TPixelFormat::pf24bit);
  pic.SetPixelRGB(0, 0, 0x111111);
  pic.SetPixelRGB(1, 0, 0x222222);
  pic.SetPixelRGB(0, 1, 0x333333);
  pic.SetPixelRGB(1, 1, 0x444444);
  TPicture holder;
  holder.SetBitmap(pic);
  auto& tex = s.fx.Effect().Texture();
  tex.SetPicture(holder);
  s.fx.Mask().SetSize(5, 3);
  const TBitmap& fg = s.fx.Blend().Foreground();

  tex.SetMode(TTextureMode::tmTiled);
  s.fx.FillTexture();
  EXPECT_EQ(fg.PixelRGB(4, 2), 0x111111u);
  EXPECT_EQ(fg.PixelRGB(3, 1), 0x444444u);

  tex.SetMode(TTextureMode::tmCenter);
  s.fx.FillTexture();
  EXPECT_EQ(fg.PixelRGB(1, 0), 0x111111u);
  EXPECT_EQ(fg.PixelRGB(0, 0), 0x00FF00u);
  EXPECT_EQ(fg.PixelRGB(4, 2), 0x00FF00u);

  tex.SetMode(TTextureMode::tmNormal);
  s.fx.FillTexture();
  EXPECT_EQ(fg.PixelRGB(1, 1), 0x444444u);
  EXPECT_EQ(fg.PixelRGB(2, 0), 0x00FF00u);

  tex.SetMode(TTextureMode::tmStretched);
  s.fx.FillTexture();
  EXPECT_EQ(fg.PixelRGB(0, 0), 0x111111u);
  EXPECT_EQ(fg.PixelRGB(4, 2), 0x444444u);

  // A stretched icon shows the window-text colour (black) where clear.
  TBitmap icon(1, 1, TPixelFormat::pf32bit);
  holder.SetIcon(icon);
  tex.SetPicture(holder);
  s.fx.FillTexture();
  EXPECT_EQ(fg.PixelRGB(2, 1), 0u);
  // Unstretched, a clear icon lets the font colour show.
  tex.SetMode(TTextureMode::tmNormal);
  s.fx.FillTexture();
  EXPECT_EQ(fg.PixelRGB(0, 0), 0x00FF00u);
}

TEST(TextRenderer, TextureFillIsUsedForDrawing) {
  Scene s;
  TBitmap pic(1, 1, TPixelFormat::pf24bit);
  pic.SetPixelRGB(0, 0, 0x0000FF);
  TPicture holder;
  holder.SetBitmap(pic);
  s.fx.Effect().Texture().SetPicture(holder);
  s.fx.Effect().Texture().SetEnabled(true);
  s.canvas.Font().SetColor(0xFFFFFF);
  s.fx.TextOut(0, 0, u"H");
  EXPECT_TRUE(InkBox(s.bmp, 8).Empty());
  EXPECT_FALSE(InkBox(s.bmp, 0).Empty());
}

// Tiles the same text with and without reusing the finished masks.
TBitmap Tiled(bool reuse, bool noise) {
  Scene s(400, 200);
  s.fx.SetMaskReuse(reuse);
  auto& fx = s.fx.Effect();
  fx.SetAngle(-30);
  fx.SetOutline(true);
  fx.SetBlur(30);
  fx.SetHorzMirror(true);
  fx.Shadow().SetEnabled(true);
  fx.Shadow().SetBlur(50);
  fx.Shadow().SetOffsetX(-3);
  if (noise) fx.SetNoise(40);
  RandSeed(99);
  TSize size;
  s.fx.TextExtent(u"Tile me", size);
  for (int y = -20; y < 200; y += size.cy - 10)
    for (int x = -10; x < 400; x += size.cx - 7) s.fx.TextOut(x, y, u"Tile me");
  s.fx.TextOut(3, 3, u"Other");
  s.fx.TextOut(50, 50, u"Tile me");
  return s.bmp;
}

TEST(TextRenderer, ReusedMasksGiveTheSameImageAsRebuilding) {
  TBitmap rebuilt = Tiled(false, false);
  TBitmap reused = Tiled(true, false);
  EXPECT_TRUE(rebuilt == reused);
  EXPECT_TRUE(Tiled(false, true) == Tiled(true, true));
}

// A mask drawn in small tiles, each with its margin, gives the picture one
// whole mask gives, with the effects that read neighbours and the fills that
// depend on the whole box.
TEST(TextRenderer, TilesGiveTheSamePictureAsOneMask) {
  struct Setup {
    const char* what;
    void (*apply)(TIAEffect&);
  };
  const Setup setups[] = {
      {"plain", [](TIAEffect&) {}},
      {"turned outline blur",
       [](TIAEffect& e) {
         e.SetAngle(33);
         e.SetOutline(true);
         e.SetBlur(60);
       }},
      {"shadow mirrors",
       [](TIAEffect& e) {
         e.SetHorzMirror(true);
         e.SetVertMirror(true);
         e.Shadow().SetEnabled(true);
         e.Shadow().SetBlur(100);
         e.Shadow().SetOffsetX(-5);
         e.Shadow().SetOffsetY(4);
         e.Shadow().SetColor(0x0000FF);
       }},
      {"gradient",
       [](TIAEffect& e) {
         e.SetAngle(-20);
         e.Gradual().SetEnabled(true);
         e.Gradual().SetStyle(TGradualStyle::gsCenterToLR);
         e.Gradual().SetStartColor(0x00FF00);
         e.Gradual().SetEndColor(0xFF00FF);
       }},
  };
  for (const Setup& setup : setups) {
    SCOPED_TRACE(setup.what);
    auto draw = [&](int64_t tileLimit) {
      Scene s(260, 120);
      s.canvas.Font().SetColor(0xFFFFFF);
      s.canvas.Font().SetSize(40);
      s.fx.SetTileLimit(tileLimit);
      setup.apply(s.fx.Effect());
      s.fx.TextOut(-15, -10, u"Tiles \u00C9t\u1EA4");
      return s.bmp;
    };
    const TBitmap whole = draw(kMaxMaskPixels);
    const TBitmap tiled = draw(700);
    int ink = 0;
    for (int y = 0; y < whole.Height(); ++y)
      for (int x = 0; x < whole.Width(); ++x) ink += whole.PixelRGB(x, y) != 0;
    EXPECT_GT(ink, 500);
    int differ = 0;
    for (int y = 0; y < whole.Height(); ++y)
      for (int x = 0; x < whole.Width(); ++x)
        differ += whole.PixelRGB(x, y) != tiled.PixelRGB(x, y);
    EXPECT_EQ(differ, 0);
  }
}

}  // namespace
}  // namespace imprimo
