#include <gtest/gtest.h>

#include <set>

#include "platform/canvas.h"
#include "png_writer.h"
#include "render/text_layer.h"
#include "render/text_renderer.h"

namespace imprimo {
namespace {

constexpr uint32_t kBackground = 0x203040;
constexpr int kCell = 360;

void Fill(TBitmap& b, uint32_t rgb) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.SetPixelRGB(x, y, rgb);
}

// Marks a rectangle's border on a copy meant for looking at.
void Frame(TBitmap& b, int x0, int y0, int w, int h, uint32_t rgb) {
  for (int x = x0 - 1; x <= x0 + w; ++x)
    for (int y : {y0 - 1, y0 + h})
      if (x >= 0 && y >= 0 && x < b.Width() && y < b.Height()) b.SetPixelRGB(x, y, rgb);
  for (int y = y0 - 1; y <= y0 + h; ++y)
    for (int x : {x0 - 1, x0 + w})
      if (x >= 0 && y >= 0 && x < b.Width() && y < b.Height()) b.SetPixelRGB(x, y, rgb);
}

struct Effect {
  const char* name;
  void (*apply)(TIAEffect&);
};

const Effect kEffects[] = {
    {"plain", [](TIAEffect&) {}},
    {"shadow",
     [](TIAEffect& e) {
       e.Shadow().SetEnabled(true);
       e.Shadow().SetOffsetX(4);
       e.Shadow().SetOffsetY(-3);
       e.Shadow().SetBlur(60);
       e.Shadow().SetAlpha(90);
       e.Shadow().SetColor(0x000000);
     }},
    {"outline", [](TIAEffect& e) { e.SetOutline(true); }},
    {"blur", [](TIAEffect& e) { e.SetBlur(60); }},
};

TEST(RealText, InkStaysInsideTheMeasuredBoxAtEveryAngle) {
  const int angles[] = {0, 45, 90, 180, -30};
  TBitmap sheet(kCell * 5, kCell * 4, TPixelFormat::pf24bit);
  for (int e = 0; e < 4; ++e) {
    for (int a = 0; a < 5; ++a) {
      TBitmap bmp(kCell, kCell, TPixelFormat::pf24bit);
      Fill(bmp, kBackground);
      TCanvas canvas(bmp);
      canvas.Font().SetName("Arial");
      canvas.Font().SetSize(28);
      canvas.Font().SetColor(0x40E0FF);  // orange-yellow
      canvas.Brush().Style = TBrushStyle::bsClear;
      TIAFontEx fx(&canvas);
      fx.SetQuality(0);
      kEffects[e].apply(fx.Effect());
      fx.Effect().SetAngle(static_cast<TAngle>(angles[a]));
      const std::u16string text = u"Imprimo \u00A9 2026";
      const int tw = fx.TextWidth(text), th = fx.TextHeight(text);
      const int x = (kCell - tw) / 2, y = (kCell - th) / 2;
      fx.TextOut(x, y, text);
      SCOPED_TRACE(std::string(kEffects[e].name) + " at " + std::to_string(angles[a]));

      int inside = 0, outside = 0;
      int left = kCell, right = -1, top = kCell, bottom = -1;
      for (int py = 0; py < kCell; ++py)
        for (int px = 0; px < kCell; ++px) {
          if (bmp.PixelRGB(px, py) == kBackground) continue;
          bool in = px >= x && px < x + tw && py >= y && py < y + th;
          (in ? inside : outside)++;
          left = std::min(left, px), right = std::max(right, px);
          top = std::min(top, py), bottom = std::max(bottom, py);
        }
      EXPECT_EQ(outside, 0);
      EXPECT_GT(inside, 500);
      // The ink spans most of the box: the text is turned, not cut off.
      EXPECT_GE(right - left + 1, tw * 7 / 10);
      EXPECT_GE(bottom - top + 1, th * 7 / 10);

      TBitmap shown = bmp;
      Frame(shown, x, y, tw, th, 0x808080);
      BitBlt(sheet, a * kCell, e * kCell, kCell, kCell, shown, 0, 0);
    }
  }
  ASSERT_TRUE(testing::WritePng(testing::ScreensFolder() + "text_angles_effects.png", sheet));
}

TEST(RealText, ChineseInAnArialLayerUsesAFaceThatHasIt) {
  TLogFont lf;
  lf.faceName = "Arial";
  lf.height = -37;
  EXPECT_EQ(FallbackFamilyFor(lf, U'\u6C34'), "WenQuanYi Micro Hei");
  EXPECT_EQ(FallbackFamilyFor(lf, U'A'), ResolveFace(lf).family);

  TBitmap bmp(10, 10, TPixelFormat::pf24bit);
  TCanvas canvas(bmp);
  canvas.Font().SetName("Arial");
  canvas.Font().SetSize(28);
  TIAFontEx fx(&canvas);
  fx.SetQuality(0);
  auto maskOf = [&](std::u16string s) {
    fx.Mask().Build(s);
    std::vector<uint8_t> v;
    for (int y = 0; y < fx.Mask().Height(); ++y)
      v.insert(v.end(), fx.Mask().Row(y), fx.Mask().Row(y) + fx.Mask().Width());
    return v;
  };
  // Glyphs no face has all draw the same missing-glyph shape; real glyphs
  // differ from it and from one another.
  std::set<std::vector<uint8_t>> shapes;
  shapes.insert(maskOf(u"\U0010FFFD"));
  for (char16_t c : std::u16string(u"\u6C34\u5370\u6D4B\u8BD5")) {
    auto m = maskOf(std::u16string(1, c));
    int ink = 0;
    for (uint8_t v : m) ink += v > 128;
    EXPECT_GT(ink, 60);
    EXPECT_TRUE(shapes.insert(m).second) << "glyph U+" << std::hex << int(c);
  }

  TBitmap shot(420, 90, TPixelFormat::pf24bit);
  Fill(shot, kBackground);
  TMarkItem item;
  item.Text = u"Arial \u6C34\u5370\u6D4B\u8BD5 Imprimo";
  item.Alpha = 100;
  item.Position = 5;
  item.isShadow = true;
  ASSERT_TRUE(DrawTextLayer(shot, item, "", {}, 0));
  ASSERT_TRUE(testing::WritePng(testing::ScreensFolder() + "text_chinese_arial.png", shot));
}

TEST(RealText, LayerEffectsOnAPicture) {
  // A gradient "photo" with one layer of each kind, for looking at.
  TBitmap bmp(640, 400, TPixelFormat::pf24bit);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 640; ++x)
      bmp.SetPixelRGB(x, y, (uint32_t(x * 255 / 639) << 16) | (uint32_t(y * 200 / 399) << 8) | 90);
  TMarkItem tile;
  tile.Text = u"\u00A9 tiled";
  tile.PlaceStyle = 1;
  tile.FontSize = 12;
  tile.Alpha = 30;
  tile.Angle = 30;
  tile.HorzSpace = 20;
  tile.VertSpace = 10;
  EXPECT_TRUE(DrawTextLayer(bmp, tile, "", {}, 0));
  TMarkItem big;
  big.Text = u"Imprimo {$S1}";
  big.FontStyle = 3;  // bold italic
  big.FontSize = 48;
  big.Position = 5;
  big.isShadow = true;
  big.ShadowBlur = 50;
  big.ShadowOffsetX = 4;
  big.ShadowOffsetY = 4;
  big.Noise = 60;
  EXPECT_TRUE(DrawTextLayer(bmp, big, "", {}, 2026));
  TMarkItem corner;
  corner.Text = u"outline + spray";
  corner.FontStyle = 4 | 8;  // underline, strike-out
  corner.Outline = true;
  corner.Spray = 2;
  corner.Position = 9;
  corner.OffsetX = -10;
  corner.OffsetY = -10;
  corner.FontColor = 0x00FFFF;
  corner.Alpha = 100;
  EXPECT_TRUE(DrawTextLayer(bmp, corner, "", {}, 0));
  TMarkItem fitted;
  fitted.Text = u"fitted line";
  fitted.PlaceStyle = 2;
  fitted.HorzSpace = 40;
  fitted.VertSpace = 10;
  fitted.VertMirror = true;
  fitted.Alpha = 40;
  EXPECT_TRUE(DrawTextLayer(bmp, fitted, "", {}, 0));
  ASSERT_TRUE(testing::WritePng(testing::ScreensFolder() + "text_layers.png", bmp));
}

}  // namespace
}  // namespace imprimo
