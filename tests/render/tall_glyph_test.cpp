// Accented capitals and stacked Vietnamese marks rise above the font's ascent;
// their ink in our masks is compared with the glyph outlines rendered by
// FreeType on its own.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <string>
#include <vector>

#include "platform/canvas.h"
#include "render/text_layer.h"
#include "render/text_renderer.h"

namespace imprimo {
namespace {

// Rows and columns holding ink (coverage at or above a threshold).
struct TExtent {
  int top = 0, bottom = -1, left = 0, right = -1;  // inclusive
  bool Empty() const { return bottom < top; }
  void Add(int x, int y) {
    if (Empty()) {
      top = bottom = y, left = right = x;
      return;
    }
    top = std::min(top, y), bottom = std::max(bottom, y);
    left = std::min(left, x), right = std::max(right, x);
  }
};

constexpr int kInk = 64;

std::u16string Sample() {
  std::u16string s;
  for (char16_t c = 0xC0; c <= 0x17F; ++c)
    if (c != 0xD7 && c != 0xF7) s += c;
  s += u"\u1EA4\u1EDC\u1EEE\u1EB6\u1EC7";  // Ấ Ờ Ữ Ặ ệ
  return s;
}

class FreeTypeFace {
 public:
  explicit FreeTypeFace(const std::string& file) {
    FT_Init_FreeType(&lib_);
    if (FT_New_Face(lib_, file.c_str(), 0, &face_) != 0) face_ = nullptr;
  }
  ~FreeTypeFace() {
    if (face_) FT_Done_Face(face_);
    FT_Done_FreeType(lib_);
  }
  bool Ok() const { return face_ != nullptr; }
  bool Has(char16_t c) const { return FT_Get_Char_Index(face_, c) != 0; }
  // Ink of the glyph at an em of `em` pixels, relative to the pen on the
  // baseline (y down).
  TExtent Ink(char16_t c, int em) {
    TExtent e;
    FT_Set_Pixel_Sizes(face_, 0, em);
    if (FT_Load_Char(face_, c, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_RENDER) != 0)
      return e;
    const FT_Bitmap& b = face_->glyph->bitmap;
    for (unsigned y = 0; y < b.rows; ++y)
      for (unsigned x = 0; x < b.width; ++x)
        if (b.buffer[y * b.pitch + x] >= kInk)
          e.Add(face_->glyph->bitmap_left + int(x), int(y) - face_->glyph->bitmap_top);
    return e;
  }

 private:
  FT_Library lib_ = nullptr;
  FT_Face face_ = nullptr;
};

TEST(TallGlyphs, InkMatchesTheOutlinesAboveTheAscent) {
  const std::u16string sample = Sample();
  for (const char* family : {"DejaVu Sans", "Liberation Sans"}) {
    TBitmap bmp(8, 8, TPixelFormat::pf24bit);
    TCanvas canvas(bmp);
    canvas.Font().SetName(family);
    TFaceInfo info = ResolveFace(canvas.Font().LogFont());
    if (info.family != family) {
      ADD_FAILURE() << family << " is not installed";
      continue;
    }
    FreeTypeFace ft(info.file);
    ASSERT_TRUE(ft.Ok());
    for (int points : {10, 12, 20, 36, 72}) {
      canvas.Font().SetSize(points);
      const int em = -canvas.Font().Height();
      TIAFont renderer(&canvas);
      renderer.SetQuality(0);
      TIAMask& mask = renderer.Mask();
      TLogFont scaled = canvas.Font().LogFont();
      scaled.height *= mask.Scale();
      const double baseline = TTextLayout(scaled, u"x").Ascent() / double(mask.Scale());
      int tall = 0, checked = 0;
      for (char16_t c : sample) {
        if (!ft.Has(c)) continue;
        SCOPED_TRACE(std::string(family) + " " + std::to_string(points) + "pt U+" +
                     std::to_string(int(c)));
        const std::u16string text(1, c);
        TSize size;
        TPoint origin;
        mask.TextExtent(text, size, origin);
        mask.Build(text);
        ASSERT_EQ(mask.Width(), size.cx);
        TExtent ours;
        for (int y = 0; y < mask.Height(); ++y)
          for (int x = 0; x < mask.Width(); ++x)
            if (mask.Row(y)[x] >= kInk) ours.Add(x, y);
        const TExtent want = ft.Ink(c, em);
        if (want.Empty()) continue;
        ASSERT_FALSE(ours.Empty());
        ++checked;
        const double base = origin.y + baseline;
        EXPECT_NEAR(ours.top - base, want.top, 2);
        EXPECT_NEAR(ours.bottom - base, want.bottom, 2);
        EXPECT_NEAR(ours.left - origin.x, want.left, 2);
        EXPECT_NEAR(ours.right - origin.x, want.right, 2);
        // Outlines reaching the top of the cell or beyond it.
        if (want.top <= -baseline + 1) ++tall;
        if (want.top < -baseline - 1) EXPECT_LT(ours.top, origin.y);
      }
      EXPECT_GT(checked, 150);
      // Capitals with marks reach the ascent; stacked marks rise above it.
      EXPECT_GE(tall, 3) << points;
    }
  }
}

// The box grows only where ink leaves the cell, so plain text is placed as
// before; accents are kept at every angle and with the effects.
TEST(TallGlyphs, BoxGrowsForTheAccentAndTheAccentIsDrawn) {
  TBitmap bmp(400, 400, TPixelFormat::pf24bit);
  TCanvas canvas(bmp);
  canvas.Font().SetName("DejaVu Sans");
  canvas.Font().SetSize(36);
  TIAFontEx fx(&canvas);
  fx.SetQuality(0);
  TSize plain, accented, e;
  fx.TextExtent(u"Alodie", plain);
  fx.TextExtent(u"\u1EA4lodie", accented);
  EXPECT_EQ(plain.cx, accented.cx);
  EXPECT_GT(accented.cy, plain.cy);
  fx.TextExtent(u"E", e);
  EXPECT_EQ(e.cy, plain.cy);

  for (int angle : {0, 33, 90, 180}) {
    for (bool outline : {false, true}) {
      SCOPED_TRACE(std::to_string(angle) + (outline ? " outline" : ""));
      fx.Effect().SetAngle(angle);
      fx.Effect().SetOutline(outline);
      fx.Effect().Shadow().SetEnabled(true);
      fx.Effect().Shadow().SetOffsetX(3);
      fx.Effect().Shadow().SetOffsetY(3);
      fx.Effect().Shadow().SetBlur(40);
      // Ink of "É" minus ink of "E": the accent alone, wherever it lands.
      auto draw = [&](std::u16string_view text) {
        for (int y = 0; y < bmp.Height(); ++y)
          for (int x = 0; x < bmp.Width(); ++x) bmp.SetPixelRGB(x, y, 0xFFFFFF);
        canvas.Font().SetColor(0x000000);
        fx.Effect().Shadow().SetColor(0x000000);
        fx.TextOut(100, 100, text);
        int64_t ink = 0;
        for (int y = 0; y < bmp.Height(); ++y)
          for (int x = 0; x < bmp.Width(); ++x) ink += 255 - (bmp.PixelRGB(x, y) & 255);
        return ink;
      };
      EXPECT_GT(draw(u"\u00C9"), draw(u"E") + 255 * 20);
      EXPECT_GT(draw(u"\u1EA4"), draw(u"A") + 255 * 20);
    }
  }
}

}  // namespace
}  // namespace imprimo
