// Layers sized and spaced relative to the picture, and layers kept to one
// orientation. The size of a text is its font's cell height (ascent plus
// descent: the box of an unrotated line without shadow); the ink of "Hg"
// (capital height plus descender) must keep the same share of it on every
// picture. The size of a logo is its larger side.
#include "render/relative_layout.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "render/picture_layer.h"
#include "render/text_layer.h"
#include "templates/template_file.h"
#include "templates/template_state.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

struct TInk {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; right < left when none
  int Width() const { return right - left + 1; }
  int Height() const { return bottom - top + 1; }
  bool Empty() const { return right < left; }
};

// Bounding box of the pixels brighter than the black background.
TInk InkOf(const TBitmap& b, int threshold = 64) {
  TInk ink{b.Width(), b.Height(), -1, -1};
  const int bpp = b.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      const uint8_t* p = row + size_t(x) * bpp;
      if (std::max({p[0], p[1], p[2]}) < threshold) continue;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
    }
  }
  if (ink.right < 0) ink = {};
  return ink;
}

TBitmap Black(int w, int h) { return TBitmap(w, h, TPixelFormat::pf24bit); }

TMarkItem RelativeText() {
  TMarkItem item;
  item.Text = u"Hg";
  item.FontName = "DejaVu Sans";
  item.FontSize = 20;
  item.Alpha = 100;
  item.Position = 5;
  item.SizeMode = 1;
  item.RelativeSize = 50;
  return item;
}

TBitmap32 SolidLogo(int w, int h, TColor32 c = 0xFFFF0000) {
  TBitmap32 b(w, h);
  std::fill(b.Bits(), b.Bits() + size_t(w) * h, c);
  return b;
}

TMarkItem RelativeLogo() {
  TMarkItem item;
  item.Style = 1;
  item.Alpha = 100;
  item.Position = 1;
  item.SizeMode = 1;
  item.RelativeSize = 50;
  return item;
}

const int kSizes[][2] = {{640, 480}, {4000, 3000}, {8000, 6000}};

TEST(RelativeSize, TextCellIsTheShareOfTheShorterSideOnEveryPicture) {
  // Hinting rounds small glyphs to whole pixels: the share may differ by a
  // pixel or two and a few per cent between the smallest and largest.
  double inkShare = 0;
  for (const auto& s : kSizes)
    for (bool portrait : {false, true}) {
      const int W = portrait ? s[1] : s[0], H = portrait ? s[0] : s[1];
      SCOPED_TRACE(std::to_string(W) + " x " + std::to_string(H));
      const double wanted = 0.05 * std::min(W, H);
      TBitmap picture = Black(W, H);
      const TTextLayerBox box = MeasureTextLayer(picture, RelativeText(), "", {}, -1);
      ASSERT_TRUE(box.Drawn);
      EXPECT_NEAR(box.Box.Height(), wanted, 1.0);
      ASSERT_TRUE(DrawTextLayer(picture, RelativeText(), "", {}, -1));
      const TInk ink = InkOf(picture);
      ASSERT_FALSE(ink.Empty());
      // The ink lies inside the cell and keeps its share of it.
      EXPECT_GE(ink.top, box.Box.Top);
      EXPECT_LT(ink.bottom, box.Box.Bottom);
      const double share = ink.Height() / wanted;
      if (inkShare == 0) inkShare = share;
      EXPECT_NEAR(ink.Height(), inkShare * wanted, 1.5 + 0.03 * wanted);
      EXPECT_GT(share, 0.6);
    }
}

TEST(RelativeSize, TextByWidthTilesAndShadowFollowTheComputedSize) {
  TBitmap picture = Black(4000, 3000);
  TMarkItem item = RelativeText();
  item.SizeMode = 2;
  EXPECT_NEAR(MeasureTextLayer(picture, item, "", {}, -1).Box.Height(), 200, 1);

  // The shadow offset was designed for 20 points (a cell of about 30
  // pixels); on a cell of 300 it grows about tenfold.
  TBitmap big = Black(8000, 6000);
  item = RelativeText();
  const TRect plain = MeasureTextLayer(big, item, "", {}, -1).Box;
  item.isShadow = true;
  item.ShadowOffsetX = 2;
  item.ShadowOffsetY = 2;
  const TRect shadowed = MeasureTextLayer(big, item, "", {}, -1).Box;
  EXPECT_NEAR(shadowed.Height() - plain.Height(), 20, 4);
  EXPECT_NEAR(shadowed.Width() - plain.Width(), 20, 4);

  // Tiles step by the computed size plus the gap.
  item = RelativeText();
  item.PlaceStyle = 1;
  item.VertSpace = 10;
  TBitmap tiles = Black(640, 480);
  ASSERT_TRUE(DrawTextLayer(tiles, item, "", {}, -1));
  const int cell = MeasureTextLayer(tiles, item, "", {}, -1).Box.Height();
  EXPECT_NEAR(cell, 24, 1);
  int firstInkRow = -1, secondInkRow = -1;
  for (int y = 0; y < 480 && secondInkRow < 0; ++y) {
    bool ink = false;
    for (int x = 0; x < 30 && !ink; ++x) ink = tiles.PixelRGB(x, y) != 0;
    if (ink && firstInkRow < 0) firstInkRow = y;
    if (ink && firstInkRow >= 0 && y > firstInkRow + cell) secondInkRow = y;
  }
  ASSERT_GE(firstInkRow, 0);
  EXPECT_EQ(secondInkRow - firstInkRow, cell + 10);
}

TEST(RelativeSize, LogoLargerSideIsTheShareOfThePicture) {
  const TBitmap32 logo = SolidLogo(200, 100);
  for (const auto& s : kSizes)
    for (bool portrait : {false, true}) {
      const int W = portrait ? s[1] : s[0], H = portrait ? s[0] : s[1];
      SCOPED_TRACE(std::to_string(W) + " x " + std::to_string(H));
      TBitmap picture = Black(W, H);
      ASSERT_TRUE(DrawPictureLayer(picture, RelativeLogo(), logo));
      const TInk ink = InkOf(picture);
      EXPECT_NEAR(ink.Width(), 0.05 * std::min(W, H), 1.0);
      EXPECT_NEAR(ink.Height(), 0.025 * std::min(W, H), 1.0);
    }
  // Drawn in place on a 24-bit picture, the same colours.
  TBitmap wide = Black(640, 480), rgb = Black(640, 480);
  TBitmap32 soft = SolidLogo(200, 100, 0x80FF8000);
  ASSERT_TRUE(DrawPictureLayer(wide, RelativeLogo(), soft));
  ASSERT_TRUE(DrawPictureLayer(rgb, RelativeLogo(), soft, true));
  EXPECT_EQ(rgb.PixelFormat(), TPixelFormat::pf24bit);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x)
      ASSERT_EQ(rgb.PixelRGB(x, y), wide.PixelRGB(x, y)) << x << "," << y;
  // By the width.
  TMarkItem item = RelativeLogo();
  item.SizeMode = 2;
  TBitmap picture = Black(3000, 4000);
  ASSERT_TRUE(DrawPictureLayer(picture, item, logo));
  EXPECT_NEAR(InkOf(picture).Width(), 150, 1);
}

TEST(RelativeSize, LogoEnlargementIsLimitedAndKeyedEdgesDoNotBleed) {
  // 20 x 10 asked to be 240 wide: four times its size at most.
  TMarkItem item = RelativeLogo();
  item.RelativeSize = 500;
  TBitmap picture = Black(640, 480);
  ASSERT_TRUE(DrawPictureLayer(picture, item, SolidLogo(20, 10)));
  EXPECT_EQ(InkOf(picture).Width(), 20 * kMaxLogoEnlargement);
  EXPECT_EQ(InkOf(picture).Height(), 10 * kMaxLogoEnlargement);

  // A red disc on a keyed-out magenta square, shrunk and enlarged: no pixel
  // takes any of the key's blue.
  TBitmap32 disc = SolidLogo(64, 64, 0xFFFF00FF);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      if ((x - 32) * (x - 32) + (y - 32) * (y - 32) < 28 * 28) disc.SetPixel(x, y, 0xFFFF0000);
  item = RelativeLogo();
  item.isBGTransparent = true;
  item.BGColor = 0xFF00FF;
  for (int size : {30, 150}) {
    item.RelativeSize = size;
    TBitmap keyed = Black(1000, 800);
    ASSERT_TRUE(DrawPictureLayer(keyed, item, disc));
    int blue = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) blue = std::max<int>(blue, keyed.PixelRGB(x, y) & 0xFF);
    EXPECT_EQ(blue, 0) << size;
    EXPECT_FALSE(InkOf(keyed).Empty());
  }
}

TEST(RelativeMargins, OffsetsAndSpacesArePerMilleOfTheShorterSide) {
  TMarkItem item = RelativeLogo();
  item.Position = 9;
  item.OffsetMode = 1;
  item.OffsetX = -20;
  item.OffsetY = -10;
  for (const auto& s : kSizes) {
    const int W = s[1], H = s[0];  // portrait: the shorter side is the width
    SCOPED_TRACE(W);
    TBitmap picture = Black(W, H);
    ASSERT_TRUE(DrawPictureLayer(picture, item, SolidLogo(200, 100)));
    const TInk ink = InkOf(picture);
    EXPECT_NEAR(W - 1 - ink.right, 0.02 * W, 1.0);
    EXPECT_NEAR(H - 1 - ink.bottom, 0.01 * W, 1.0);
  }
  // Stretched logo: the margins scale likewise.
  item = RelativeLogo();
  item.PlaceStyle = 2;
  item.OffsetMode = 1;
  item.HorzSpace = 50;
  item.VertSpace = 100;
  TBitmap picture = Black(4000, 3000);
  ASSERT_TRUE(DrawPictureLayer(picture, item, SolidLogo(10, 10)));
  const TInk ink = InkOf(picture);
  EXPECT_EQ(ink.left, 150);
  EXPECT_EQ(ink.top, 300);
  EXPECT_EQ(ink.right, 4000 - 150 - 1);
  EXPECT_EQ(ink.bottom, 3000 - 300 - 1);
  // Text placed at a corner with relative offsets.
  TMarkItem text = RelativeText();
  text.Position = 1;
  text.OffsetMode = 1;
  text.OffsetX = 100;
  text.OffsetY = 50;
  TBitmap page = Black(2000, 1000);
  const TTextLayerBox box = MeasureTextLayer(page, text, "", {}, -1);
  EXPECT_EQ(box.Box.Left, 100);
  EXPECT_EQ(box.Box.Top, 50);
}

class Orientation : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("imprimo_orient_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  TBitmap Apply(const std::string& text, int w, int h) {
    const std::string path = (dir_ / "t.wg").string();
    std::ofstream(path, std::ios::binary) << text;
    TTemplateState state;
    state.TemplateDoc = OpenTemplateFile(path);
    PrepareLayers(state, dir_.string() + "/");
    TBitmap picture = Black(w, h);
    EXPECT_TRUE(ApplyTemplate(state, picture, "a.jpg").empty());
    return picture;
  }
  fs::path dir_;
};

TEST_F(Orientation, LayersAppearOnlyOnTheirOrientation) {
  const std::string layers =
      "[Wide]\r\nText=W\r\nFontSize=30\r\nPosition=1\r\nAlpha=100\r\nShowOn=1\r\n"
      "[Tall]\r\nText=T\r\nFontSize=30\r\nPosition=9\r\nAlpha=100\r\nShowOn=2\r\n";
  const TBitmap landscape = Apply(layers, 300, 200);
  const TInk wide = InkOf(landscape);
  EXPECT_LT(wide.right, 150);  // only the top-left mark
  const TBitmap square = Apply(layers, 200, 200);
  EXPECT_LT(InkOf(square).right, 100);
  const TBitmap portrait = Apply(layers, 200, 300);
  EXPECT_GT(InkOf(portrait).left, 100);  // only the bottom-right mark
  // A portrait-only template leaves a landscape picture as it was.
  EXPECT_EQ(Apply("[Tall]\r\nText=T\r\nShowOn=2\r\n", 300, 200), Black(300, 200));
}

TEST(RelativeBadValues, DrawAsBeforeAndStayInsideThePicture) {
  // Values a mode does not know draw as the layer would without them.
  auto same = [](TMarkItem plain, void (*bad)(TMarkItem&)) {
    TMarkItem odd = plain;
    bad(odd);
    for (bool logo : {false, true}) {
      TBitmap a = Black(320, 240), b = Black(320, 240);
      if (logo) {
        plain.Style = odd.Style = 1;
        DrawPictureLayer(a, plain, SolidLogo(40, 20));
        DrawPictureLayer(b, odd, SolidLogo(40, 20));
      } else {
        DrawTextLayer(a, plain, "", {}, -1);
        DrawTextLayer(b, odd, "", {}, -1);
      }
      EXPECT_FALSE(InkOf(a).Empty());
      EXPECT_EQ(a, b) << (logo ? "logo" : "text");
    }
  };
  TMarkItem plain = RelativeText();
  plain.SizeMode = 0;
  plain.OffsetX = -7;
  same(plain, [](TMarkItem& i) { i.SizeMode = 1, i.RelativeSize = 0; });
  same(plain, [](TMarkItem& i) { i.SizeMode = 1, i.RelativeSize = -30; });
  same(plain, [](TMarkItem& i) { i.SizeMode = 2, i.RelativeSize = 100000; });
  same(plain, [](TMarkItem& i) { i.SizeMode = 7; });
  same(plain, [](TMarkItem& i) { i.ShowOn = -1; });
  same(plain, [](TMarkItem& i) { i.OffsetMode = 3; });

  // The largest size is the side itself; huge relative offsets move the
  // mark out of sight without harm.
  TMarkItem item = RelativeLogo();
  item.RelativeSize = kMaxRelativeSize;
  TBitmap picture = Black(400, 300);
  ASSERT_TRUE(DrawPictureLayer(picture, item, SolidLogo(1000, 10)));
  EXPECT_EQ(InkOf(picture).Width(), 300);
  TMarkItem text = RelativeText();
  text.RelativeSize = kMaxRelativeSize;
  TBitmap page = Black(400, 300);
  EXPECT_NEAR(MeasureTextLayer(page, text, "", {}, -1).Box.Height(), 300, 1);
  for (int32_t v : {INT32_MAX, INT32_MIN}) {
    text.OffsetMode = 1;
    text.OffsetX = text.OffsetY = v;
    EXPECT_TRUE(DrawTextLayer(page, text, "", {}, -1));
    item.OffsetMode = 1;
    item.OffsetX = item.OffsetY = item.HorzSpace = v;
    item.PlaceStyle = 1;
    EXPECT_TRUE(DrawPictureLayer(picture, item, SolidLogo(10, 10)));
  }
}

TEST(RelativeKeys, ReadWrittenAndLeftOutAtTheirDefaults) {
  IniDocument doc;
  TMarkItem item;
  item.Text = u"x";
  WriteMarkItem(doc, u"Plain", item);
  for (const char16_t* key : {u"SizeMode", u"RelativeSize", u"OffsetMode", u"ShowOn"})
    EXPECT_FALSE(doc.KeyExists(u"Plain", key));
  item.SizeMode = 1;
  item.RelativeSize = 35;
  item.OffsetMode = 1;
  item.ShowOn = 2;
  WriteMarkItem(doc, u"Rel", item);
  TMarkItem back;
  ReadMarkItem(doc, u"Rel", back);
  EXPECT_EQ(back.SizeMode, 1);
  EXPECT_EQ(back.RelativeSize, 35);
  EXPECT_EQ(back.OffsetMode, 1);
  EXPECT_EQ(back.ShowOn, 2);
  // Switched back: the keys the section held follow the item.
  item.SizeMode = 0;
  item.OffsetMode = 0;
  item.ShowOn = 0;
  WriteMarkItem(doc, u"Rel", item);
  ReadMarkItem(doc, u"Rel", back);
  EXPECT_EQ(back.SizeMode, 0);
  EXPECT_EQ(back.OffsetMode, 0);
  EXPECT_EQ(back.ShowOn, 0);
  ReadMarkItem(doc, u"Plain", back);
  EXPECT_EQ(back.RelativeSize, 50);
}

// The shipped templates that size their marks to the picture: the same
// share of the picture on a small landscape and a large portrait, and the
// portrait's own caption under the logo.
class ShippedRelative : public Orientation {
 protected:
  TBitmap Shipped(const std::string& name, int w, int h) {
    const fs::path data = fs::path(IMPRIMO_SOURCE_DIR) / "data/Watermarks";
    for (const auto& entry : fs::directory_iterator(data))
      fs::copy_file(entry.path(), dir_ / entry.path().filename(),
                    fs::copy_options::overwrite_existing);
    TTemplateState state;
    state.TemplateDoc = OpenTemplateFile((dir_ / (name + ".wg")).string());
    PrepareLayers(state, dir_.string() + "/");
    TBitmap picture = Black(w, h);
    EXPECT_TRUE(ApplyTemplate(state, picture, "a.jpg").empty());
    return picture;
  }
};

TEST_F(ShippedRelative, MarksKeepTheirShareOfThePicture) {
  const TInk small = InkOf(Shipped("Copyright (relative)", 1600, 1200));
  const TInk large = InkOf(Shipped("Copyright (relative)", 6000, 8000));
  ASSERT_FALSE(small.Empty());
  ASSERT_FALSE(large.Empty());
  EXPECT_NEAR(small.Height() / 1200.0, large.Height() / 6000.0, 0.003);
  EXPECT_NEAR(small.Width() / 1200.0, large.Width() / 6000.0, 0.01);
  EXPECT_NEAR((1600 - small.right) / 1200.0, (6000 - large.right) / 6000.0, 0.003);
  EXPECT_LT(large.Width(), 6000 * 3 / 4);  // fits the portrait's width

  // Logo top left; the caption top right on a landscape, under the logo on
  // a portrait.
  const TBitmap wide = Shipped("Logo (relative)", 1600, 1200);
  const TBitmap tall = Shipped("Logo (relative)", 1200, 1600);
  const TInk wideLogo = InkOf(wide);
  EXPECT_GT(wideLogo.right, 1200);  // the caption reaches the right side
  TInk tallInk = InkOf(tall);
  EXPECT_LT(tallInk.right, 600);                     // nothing on the right half
  EXPECT_GT(tallInk.bottom, 0.19 * 1200);            // the caption stands under the logo
  EXPECT_NEAR(tallInk.top, 30 + 180 * 28 / 160, 2);  // the logo inside its key margin
}
}  // namespace
}  // namespace imprimo
