#include "render/picture_layer.h"

#include <gtest/gtest.h>

#include "platform/random.h"

namespace imprimo {
namespace {

TBitmap Solid24(int w, int h, uint32_t rgb) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRGB(x, y, rgb);
  return b;
}

TBitmap32 Logo(int w, int h, TColor32 c) {
  TBitmap32 b(w, h);
  for (int i = 0; i < w * h; ++i) b.Bits()[i] = c;
  return b;
}

TMarkItem PictureItem() {
  TMarkItem item;
  item.Style = 1;
  item.Alpha = 100;
  item.PlaceStyle = 0;
  item.Position = 1;
  return item;
}

int CountRGB(const TBitmap& b, uint32_t rgb) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += b.PixelRGB(x, y) == rgb;
  return n;
}

TEST(PictureLayer, PositionsOffsetsAndClipping) {
  TBitmap img = Solid24(100, 80, 0x000000);
  TMarkItem item = PictureItem();
  item.Position = 5;
  ASSERT_TRUE(DrawPictureLayer(img, item, Logo(10, 6, 0xFFFF0000)));
  EXPECT_EQ(img.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(img.PixelRGB(45, 37), 0xFF0000u);
  EXPECT_EQ(img.PixelRGB(54, 42), 0xFF0000u);
  EXPECT_EQ(img.PixelRGB(44, 37), 0u);
  EXPECT_EQ(CountRGB(img, 0xFF0000), 60);

  // A logo larger than the image at position 5 is centred and cut all round.
  TBitmap small = Solid24(10, 10, 0);
  TBitmap32 big = Logo(20, 20, 0xFF00FF00);
  big.SetPixel(5, 5, 0xFF0000FF);  // lands on (0, 0)
  ASSERT_TRUE(DrawPictureLayer(small, item, big));
  EXPECT_EQ(small.PixelRGB(0, 0), 0x0000FFu);
  EXPECT_EQ(CountRGB(small, 0x00FF00), 99);

  // Position 9 with a negative offset; position 1 past the far edges.
  TBitmap c = Solid24(50, 50, 0);
  item.Position = 9;
  item.OffsetX = -5;
  item.OffsetY = -2147483647;  // far off the top: nothing drawn, no overflow
  ASSERT_TRUE(DrawPictureLayer(c, item, Logo(4, 4, 0xFFFFFFFF)));
  EXPECT_EQ(CountRGB(c, 0xFFFFFF), 0);
}

TEST(PictureLayer, MasterAlphaAndLogoAlphaMultiply) {
  TMarkItem item = PictureItem();
  item.Alpha = 0;  // nothing shows, the image still becomes 32-bit
  TBitmap a = Solid24(8, 8, 0x000000);
  ASSERT_TRUE(DrawPictureLayer(a, item, Logo(8, 8, 0xFFFFFFFF)));
  EXPECT_EQ(a.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(CountRGB(a, 0), 64);

  item.Alpha = 80;  // master 204
  TBitmap b = Solid24(8, 8, 0x000000);
  ASSERT_TRUE(DrawPictureLayer(b, item, Logo(8, 8, 0xFFFFFFFF)));
  EXPECT_EQ(b.PixelRGB(3, 3), 0xCCCCCCu);

  item.Alpha = 50;  // master 127, logo alpha 128: (129 * 127) >> 8 = 63
  TBitmap c = Solid24(8, 8, 0x000000);
  ASSERT_TRUE(DrawPictureLayer(c, item, Logo(8, 8, 0x80FFFFFF)));
  EXPECT_EQ(c.PixelRGB(3, 3) & 0xFF, 63u);

  // A 32-bit image keeps its own alpha where the logo does not reach; over
  // its transparent pixels the logo shows in its own colour at its
  // effective alpha.
  TBitmap d(4, 1, TPixelFormat::pf32bit);
  item.Alpha = 80;
  ASSERT_TRUE(DrawPictureLayer(d, item, Logo(2, 1, 0xFFFFFFFF)));
  EXPECT_EQ(d.ScanLine(0)[3], 204);
  EXPECT_EQ(d.ScanLine(0)[2], 255);
  EXPECT_EQ(d.ScanLine(0)[8 + 3], 0);
}

TEST(PictureLayer, ColourKeyIsExactAndTheLogoStaysAsLoaded) {
  TBitmap32 logo = Logo(3, 1, 0xFFFFFFFF);
  logo.SetPixel(1, 0, 0xFFFEFFFF);  // red 254: not the key
  logo.SetPixel(2, 0, 0xFF123456);
  const TBitmap32 before = logo;
  TMarkItem item = PictureItem();
  item.isBGTransparent = true;
  item.BGColor = 0xFFFFFF;
  TBitmap img = Solid24(3, 1, 0x000000);
  ASSERT_TRUE(DrawPictureLayer(img, item, logo));
  EXPECT_EQ(img.PixelRGB(0, 0), 0u);  // keyed out
  EXPECT_EQ(img.PixelRGB(1, 0), 0xFEFFFFu);
  EXPECT_EQ(img.PixelRGB(2, 0), 0x123456u);
  EXPECT_EQ(logo, before);

  // Mirrors act on the working copy only: every image gets the mirrored logo.
  item.isBGTransparent = false;
  item.HorzMirror = true;
  for (int run = 0; run < 2; ++run) {
    TBitmap m = Solid24(3, 1, 0);
    ASSERT_TRUE(DrawPictureLayer(m, item, logo));
    EXPECT_EQ(m.PixelRGB(0, 0), 0x123456u);
    EXPECT_EQ(m.PixelRGB(2, 0), 0xFFFFFFu);
  }
  TBitmap32 tall = Logo(1, 2, 0xFF000000);
  tall.SetPixel(0, 0, 0xFFFF0000);
  item.HorzMirror = false;
  item.VertMirror = true;
  TBitmap v = Solid24(1, 2, 0x00FF00);
  ASSERT_TRUE(DrawPictureLayer(v, item, tall));
  EXPECT_EQ(v.PixelRGB(0, 1), 0xFF0000u);
}

TEST(PictureLayer, TilesCoverTheImageWithGaps) {
  TMarkItem item = PictureItem();
  item.PlaceStyle = 1;
  item.HorzSpace = 2;
  item.VertSpace = 1;
  TBitmap img = Solid24(11, 5, 0);
  ASSERT_TRUE(DrawPictureLayer(img, item, Logo(3, 2, 0xFFFFFFFF)));
  // Columns 0-2, 5-7, 10; rows 0-1, 3-4.
  EXPECT_EQ(CountRGB(img, 0xFFFFFF), 7 * 4);
  EXPECT_EQ(img.PixelRGB(10, 4), 0xFFFFFFu);
  EXPECT_EQ(img.PixelRGB(3, 0), 0u);
  EXPECT_EQ(img.PixelRGB(0, 2), 0u);

  // A step that is not positive draws the logo once instead of looping.
  item.HorzSpace = -3;
  TBitmap once = Solid24(11, 5, 0);
  ASSERT_TRUE(DrawPictureLayer(once, item, Logo(3, 2, 0xFFFFFFFF)));
  EXPECT_EQ(CountRGB(once, 0xFFFFFF), 6);
}

TEST(PictureLayer, StretchedBetweenTheMargins) {
  TMarkItem item = PictureItem();
  item.PlaceStyle = 2;
  item.HorzSpace = 10;
  item.VertSpace = 20;
  TBitmap img = Solid24(640, 480, 0);
  ASSERT_TRUE(DrawPictureLayer(img, item, Logo(40, 30, 0xFFFF0000)));
  EXPECT_EQ(CountRGB(img, 0xFF0000), 620 * 440);
  EXPECT_EQ(img.PixelRGB(10, 20), 0xFF0000u);
  EXPECT_EQ(img.PixelRGB(629, 459), 0xFF0000u);
  EXPECT_EQ(img.PixelRGB(9, 20), 0u);

  // Margins too wide for the image: the logo takes the full width from x = 400.
  item.HorzSpace = 400;
  item.VertSpace = 0;
  TBitmap wide = Solid24(640, 480, 0);
  ASSERT_TRUE(DrawPictureLayer(wide, item, Logo(40, 30, 0xFFFF0000)));
  EXPECT_EQ(CountRGB(wide, 0xFF0000), 240 * 480);
  EXPECT_EQ(wide.PixelRGB(399, 0), 0u);
}

TEST(PictureLayer, RandomPlacementStaysInside) {
  TMarkItem item = PictureItem();
  item.PlaceStyle = 3;
  item.Position = 1;  // ignored: mode 3 is always random
  for (int i = 0; i < 20; ++i) {
    TBitmap img = Solid24(30, 20, 0);
    ASSERT_TRUE(DrawPictureLayer(img, item, Logo(10, 5, 0xFFFFFFFF)));
    EXPECT_EQ(CountRGB(img, 0xFFFFFF), 50);
  }
}

// A 24-bit picture drawn on in place ends with the colours of the 32-bit
// copy the layer otherwise makes: every logo alpha against every master
// alpha, over varied background colours, with colour key, mirrors, tiling,
// fitting and clipping.
TEST(PictureLayer, InPlaceRgbMatchesThe32BitResult) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  TBitmap32 logo(256, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 256; ++x)
      logo.SetPixel(x, y, (TColor32(x) << 24) | (next() >> 8 & 0xFFFFFF));
  logo.SetPixel(7, 3, 0xFF123456);
  TBitmap background(300, 90, TPixelFormat::pf24bit);
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 300; ++x) background.SetPixelRGB(x, y, next() >> 8 & 0xFFFFFF);

  struct Case {
    int alpha, placeStyle, position, offsetX, offsetY;
    bool key, mirrorH, mirrorV;
  };
  const Case cases[] = {
      {100, 0, 1, 20, 30, false, false, false}, {73, 0, 5, 0, 0, true, true, false},
      {1, 0, 9, -10, -5, false, false, true},   {50, 1, 1, -3, 0, false, true, true},
      {100, 2, 1, 0, 0, false, false, false},   {37, 0, 3, 200, -15, true, false, false}};
  for (const Case& c : cases) {
    for (int alpha = c.alpha; alpha <= 100; alpha += 33) {
      TMarkItem item = PictureItem();
      item.Alpha = alpha;
      item.PlaceStyle = c.placeStyle;
      item.Position = c.position;
      item.OffsetX = c.offsetX;
      item.OffsetY = c.offsetY;
      item.isBGTransparent = c.key;
      item.BGColor = 0x563412;  // the key of pixel (7, 3)
      item.HorzMirror = c.mirrorH;
      item.VertMirror = c.mirrorV;
      item.HorzSpace = c.placeStyle == 1 ? -40 : 10;
      item.VertSpace = c.placeStyle == 1 ? 5 : 10;
      TBitmap promoted = background, inPlace = background;
      ASSERT_TRUE(DrawPictureLayer(promoted, item, logo));
      ASSERT_TRUE(DrawPictureLayer(inPlace, item, logo, true));
      ASSERT_EQ(promoted.PixelFormat(), TPixelFormat::pf32bit);
      ASSERT_EQ(inPlace.PixelFormat(), TPixelFormat::pf24bit);
      int differ = 0, drawn = 0;
      for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 300; ++x) {
          differ += promoted.PixelRGB(x, y) != inPlace.PixelRGB(x, y);
          drawn += promoted.PixelRGB(x, y) != background.PixelRGB(x, y);
          ASSERT_EQ(promoted.ScanLine(y)[4 * x + 3], 255);
        }
      EXPECT_EQ(differ, 0) << "alpha " << alpha << ", place style " << c.placeStyle << ", position "
                           << c.position;
      EXPECT_GT(drawn, 100) << "alpha " << alpha << ", place style " << c.placeStyle;
    }
  }
  // A 32-bit picture is drawn on as before, whatever the flag says.
  TBitmap b32(10, 10, TPixelFormat::pf32bit);
  ASSERT_TRUE(DrawPictureLayer(b32, PictureItem(), Logo(4, 4, 0xFF0000FF), true));
  EXPECT_EQ(b32.PixelRGB(0, 0), 0x0000FFu);
  EXPECT_EQ(b32.ScanLine(0)[3], 255);
}

}  // namespace
}  // namespace imprimo
