#include "platform/font.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/canvas.h"

namespace imprimo {
namespace {

TLogFont Arial(int height) {
  TLogFont lf;
  lf.faceName = "Arial";
  lf.height = height;
  return lf;
}

TEST(FontEngine, CellHeightFromTheWinMetricsAndWholePixelAdvances) {
  // Liberation Sans: win ascent 1854, win descent 434, 2048 units per em.
  // At a 37-pixel em: round(33.49) + round(7.84) = 41.
  TSize s = GetTextExtentPoint(Arial(-37), u"Imprimo");
  EXPECT_EQ(s.cy, 41);
  EXPECT_GT(s.cx, 100);
  int one = GetTextExtentPoint(Arial(-37), u"i").cx;
  EXPECT_EQ(GetTextExtentPoint(Arial(-37), u"iiiiiii").cx, 7 * one);
  // A positive height asks for that cell height.
  EXPECT_EQ(GetTextExtentPoint(Arial(41), u"x").cy, 41);
  EXPECT_EQ(GetTextExtentPoint(Arial(-37), u"").cx, 0);
  // The escapement turns the drawing, not the measurement.
  TLogFont turned = Arial(-37);
  turned.escapement = 450;
  EXPECT_EQ(GetTextExtentPoint(turned, u"Imprimo"), s);
}

TEST(FontEngine, FaceLookup) {
  EXPECT_EQ(ResolveFace(Arial(-20)).family, "Liberation Sans");
  TLogFont bold = Arial(-20);
  bold.weight = FW_BOLD;
  TFaceInfo b = ResolveFace(bold);
  EXPECT_NE(b.file.find("Bold"), std::string::npos) << b.file;
  EXPECT_FALSE(b.syntheticBold);

  TLogFont mono = Arial(-20);
  mono.faceName = "No Such Family";
  mono.pitchAndFamily = FIXED_PITCH;
  EXPECT_NE(ResolveFace(mono).family.find("Mono"), std::string::npos) << ResolveFace(mono).family;
  mono.faceName = "Courier New";
  EXPECT_EQ(ResolveFace(mono).family, "Liberation Mono");

  // A family without bold or italic faces gets them made up.
  TLogFont hei = Arial(-20);
  hei.faceName = "WenQuanYi Micro Hei";
  hei.weight = FW_BOLD;
  hei.italic = true;
  TFaceInfo h = ResolveFace(hei);
  EXPECT_EQ(h.family, "WenQuanYi Micro Hei");
  EXPECT_TRUE(h.syntheticBold);
  EXPECT_TRUE(h.syntheticItalic);
  EXPECT_FALSE(ResolveFace(Arial(-20)).family.empty());
}

int Ink(const TLogFont& lf, std::u16string_view text, int w, int h, double x, double y) {
  std::vector<uint8_t> buf(size_t(w) * h);
  TGreyTarget t{buf.data(), w, h, 0, w};
  TTextLayout(lf, text).Draw(t, x, y);
  int n = 0;
  for (uint8_t v : buf) n += v;
  return n;
}

TEST(FontEngine, DrawingStylesAndBands) {
  TLogFont lf = Arial(-37);
  const int plain = Ink(lf, u"Imprimo", 200, 60, 5, 5);
  EXPECT_GT(plain, 0);
  TLogFont under = lf;
  under.underline = true;
  EXPECT_GT(Ink(under, u"Imprimo", 200, 60, 5, 5), plain);
  TLogFont strike = lf;
  strike.strikeOut = true;
  EXPECT_GT(Ink(strike, u"Imprimo", 200, 60, 5, 5), plain);
  TLogFont hei = lf;
  hei.faceName = "WenQuanYi Micro Hei";
  TLogFont heiBold = hei;
  heiBold.weight = FW_BOLD;
  EXPECT_GT(Ink(heiBold, u"\u6C34\u5370", 200, 60, 5, 5), Ink(hei, u"\u6C34\u5370", 200, 60, 5, 5));

  // Drawing band by band gives the same pixels as drawing at once.
  std::vector<uint8_t> whole(200 * 60), banded(200 * 60);
  TTextLayout layout(lf, u"Imprimo \u00A9");
  TGreyTarget all{whole.data(), 200, 60, 0, 200};
  layout.Draw(all, 3.25, 7.5);
  for (int top = 0; top < 60; top += 7) {
    int rows = std::min(7, 60 - top);
    TGreyTarget band{banded.data() + top * 200, 200, rows, top, 200};
    layout.Draw(band, 3.25, 7.5);
  }
  EXPECT_EQ(whole, banded);
  // Text drawn far outside the target leaves it untouched.
  EXPECT_EQ(Ink(lf, u"Imprimo", 50, 50, -100000, 20), 0);
}

// Outlines above the top of the target (an accent over the cell) are drawn;
// a glyph too wide for the rasteriser reports that it was not drawn.
TEST(FontEngine, InkAboveTheCellAndGlyphsBeyondTheRasteriser) {
  TLogFont lf = Arial(-40);
  lf.faceName = "DejaVu Sans";
  std::vector<uint8_t> buf(100 * 80);
  TGreyTarget t{buf.data(), 100, 80, 0, 100};
  // The cell's top at row 20: the stacked marks of U+1EA4 rise above it.
  EXPECT_TRUE(TTextLayout(lf, u"\u1EA4").Draw(t, 10, 20));
  int above = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x) above += buf[size_t(y) * 100 + x] > 0;
  EXPECT_GT(above, 10);
  TTextLayout accent(lf, u"\u1EA4");
  TInkBox ink = accent.InkBox();
  ASSERT_FALSE(ink.empty);
  EXPECT_LT(ink.top, 0);
  EXPECT_GT(ink.bottom, 20);
  EXPECT_TRUE(TTextLayout(lf, u" ").InkBox().empty);

  TLogFont wide = Arial(-30000);
  wide.width = 2000000000;  // a hundredfold stretch
  std::fill(buf.begin(), buf.end(), 0);
  EXPECT_FALSE(TTextLayout(wide, u"W").Draw(t, -500000, -10000));
}

TEST(FontEngine, HostileTextsMeasureAndDraw) {
  TLogFont lf = Arial(-20);
  EXPECT_EQ(GetTextExtentPoint(lf, u"\xD800").cx, GetTextExtentPoint(lf, u"\xFFFD").cx);
  EXPECT_EQ(GetTextExtentPoint(lf,
                               u"a\xDC00"
                               u"b")
                .cx,
            GetTextExtentPoint(lf,
                               u"a\xFFFD"
                               u"b")
                .cx);
  EXPECT_GT(GetTextExtentPoint(lf, std::u16string(100000, u'W')).cx, 1000000);
  TLogFont huge = Arial(-2000000000);
  EXPECT_LE(GetTextExtentPoint(huge, u"x").cy, kMaxFontEmPixels * 2);
  EXPECT_EQ(GetTextExtentPoint(Arial(0), u"x").cy, 16);
  EXPECT_GE(Ink(lf, u"\r\n\t\u200B\U0001F600", 100, 40, 0, 0), 0);
}

TEST(Canvas, FontSizeAndStyleBits) {
  TFont f;
  f.SetSize(28);
  EXPECT_EQ(f.Height(), -37);
  EXPECT_EQ(f.Size(), 28);
  f.SetSize(80);
  EXPECT_EQ(f.Height(), -107);
  f.SetSize(-5);
  EXPECT_EQ(f.Height(), 7);
  f.SetStyle(fsBold | fsUnderline);
  EXPECT_EQ(f.LogFont().weight, FW_BOLD);
  EXPECT_TRUE(f.LogFont().underline);
  EXPECT_FALSE(f.LogFont().italic);
  EXPECT_EQ(f.Style(), fsBold | fsUnderline);
  f.SetPitch(TFontPitch::fpFixed);
  EXPECT_EQ(f.Pitch(), TFontPitch::fpFixed);
  EXPECT_EQ(f.LogFont().pitchAndFamily & 3, FIXED_PITCH);
}

TEST(Canvas, BlockTransfersClipAndConvert) {
  TBitmap src(4, 4, TPixelFormat::pf24bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.SetPixelRGB(x, y, uint32_t(0x10 * (y * 4 + x)));
  TBitmap dst(3, 3, TPixelFormat::pf32bit);
  BitBlt(dst, -1, 1, 4, 4, src, 0, 0);
  EXPECT_EQ(dst.PixelRGB(0, 1), 0x10u);          // src (1,0)
  EXPECT_EQ(dst.PixelRGB(2, 2), 0x30u + 0x40u);  // src (3,1)
  EXPECT_EQ(dst.PixelRGB(0, 0), 0u);
  TBitmap pal(2, 2, TPixelFormat::pf8bit);
  BitBlt(pal, 0, 0, 2, 2, src, 2, 2);
  EXPECT_EQ(pal.PixelRGB(0, 0) != 0, true);
  TCanvas c(dst);
  c.Brush().Color = 0x0000FF;
  c.FillRect({1, 1, 10, 10});
  EXPECT_EQ(dst.PixelRGB(2, 2), 0xFF0000u);
  EXPECT_EQ(dst.PixelRGB(0, 0), 0u);
  c.Brush().Style = TBrushStyle::bsClear;
  c.Brush().Color = 0x00FF00;
  c.FillRect({0, 0, 3, 3});
  EXPECT_EQ(dst.PixelRGB(0, 0), 0u);
  TBitmap big(6, 4, TPixelFormat::pf24bit);
  StretchBlt(big, {0, 0, 6, 4}, src);
  EXPECT_EQ(big.PixelRGB(5, 3), src.PixelRGB(3, 3));
  EXPECT_EQ(big.PixelRGB(0, 0), src.PixelRGB(0, 0));
}

}  // namespace
}  // namespace imprimo
