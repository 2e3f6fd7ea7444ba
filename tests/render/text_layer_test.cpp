#include "render/text_layer.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/canvas.h"
#include "render/text_renderer.h"

namespace imprimo {
namespace {

TEST(PlaceInImage, CellsAndTruncatedHalves) {
  // dx = 100, dy = 50
  const TPlacePoint expect[] = {{0, 0},    {50, 0}, {100, 0}, {0, 25},  {50, 25},
                                {100, 25}, {0, 50}, {50, 50}, {100, 50}};
  for (int pos = 1; pos <= 9; ++pos)
    EXPECT_EQ(PlaceInImage(300, 200, 200, 150, pos), expect[pos - 1]);
  EXPECT_EQ(PlaceInImage(640, 480, 640, 480, 9), (TPlacePoint{0, 0}));
  EXPECT_EQ(PlaceInImage(640, 480, 650, 490, 9), (TPlacePoint{-10, -10}));
  EXPECT_EQ(PlaceInImage(100, 100, 105, 100, 5).x, -2);
  for (int pos : {0, 10, -1}) {
    for (int i = 0; i < 20; ++i) {
      TPlacePoint p = PlaceInImage(300, 200, 200, 150, pos);
      EXPECT_GE(p.x, 0);
      EXPECT_LT(p.x, 100);
      EXPECT_GE(p.y, 0);
      EXPECT_LT(p.y, 50);
    }
  }
  EXPECT_EQ(PlaceInImage(100, 100, 150, 150, 0), (TPlacePoint{0, 0}));
}

TEST(TilePositions, StepsRowsAndDegenerateSteps) {
  auto p = TilePositions(400, 200, 120, 40, 30, 20);
  ASSERT_EQ(p.size(), 12u);
  const int xs[] = {0, 150, 300}, ys[] = {0, 60, 120, 180};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(p[r * 3 + c], (TPlacePoint{xs[c], ys[r]}));
  EXPECT_EQ(TilePositions(400, 200, 120, 40, -120, 0), (std::vector<TPlacePoint>{{0, 0}}));
  EXPECT_EQ(TilePositions(400, 200, 120, 40, 0, -50), (std::vector<TPlacePoint>{{0, 0}}));
  EXPECT_TRUE(TilePositions(60000, 60000, 1, 1, 0, 0).empty());
}

TMarkItem TextItem(std::u16string text) {
  TMarkItem item;
  item.Text = std::move(text);
  item.Alpha = 100;
  return item;
}

TEST(DrawTextLayer, FittedLineSetsTheFontSize) {
  TBitmap bmp(800, 200, TPixelFormat::pf24bit);
  TCanvas canvas(bmp);
  TMarkItem item = TextItem(u"Watermark");  // 9 characters
  item.PlaceStyle = 2;
  item.FontSize = 12;
  EXPECT_TRUE(DrawTextLayer(canvas, item, "a.jpg", {}, -1));
  EXPECT_EQ(canvas.Font().Size(), 80);
  EXPECT_EQ(canvas.Brush().Style, TBrushStyle::bsClear);
  item.HorzSpace = 400;
  EXPECT_TRUE(DrawTextLayer(canvas, item, "a.jpg", {}, -1));
  EXPECT_EQ(canvas.Font().Size(), 12);
}

TEST(DrawTextLayer, TilesCoverTheImage) {
  TBitmap bmp(300, 200, TPixelFormat::pf24bit);
  TMarkItem item = TextItem(u"ab");
  item.PlaceStyle = 1;
  item.FontSize = 10;
  EXPECT_TRUE(DrawTextLayer(bmp, item, "", {}, 0));
  int quarters = 0;
  for (int qy = 0; qy < 2; ++qy)
    for (int qx = 0; qx < 2; ++qx) {
      bool ink = false;
      for (int y = qy * 100; y < qy * 100 + 100 && !ink; ++y)
        for (int x = qx * 150; x < qx * 150 + 150 && !ink; ++x) ink = bmp.PixelRGB(x, y) != 0;
      quarters += ink;
    }
  EXPECT_EQ(quarters, 4);
}

TEST(DrawTextLayer, EmptyExpansionDrawsNothingAndSucceeds) {
  TBitmap bmp(100, 50, TPixelFormat::pf24bit);
  TBitmap before = bmp;
  EXPECT_TRUE(DrawTextLayer(bmp, TextItem(u"{$FU}"), "nodot", {}, 1));
  EXPECT_EQ(bmp, before);
}

TEST(DrawTextLayer, NegativeShadowOffsetMovesTheText) {
  auto draw = [](bool shadow) {
    TBitmap bmp(200, 80, TPixelFormat::pf24bit);
    TMarkItem item = TextItem(u"Hi");
    item.Position = 1;
    item.isShadow = shadow;
    item.ShadowOffsetX = -3;
    item.ShadowOffsetY = 0;
    item.ShadowAlpha = 0;  // invisible shadow, so only the text shows
    item.FontColor = 0xFFFFFF;
    DrawTextLayer(bmp, item, "", {}, 0);
    int left = bmp.Width();
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x)
        if (bmp.PixelRGB(x, y)) left = std::min(left, x);
    return left;
  };
  EXPECT_EQ(draw(true), draw(false) + 3);
}

TEST(DrawTextLayer, HostileLayersFinishAndNeverCrash) {
  struct Case {
    const char* what;
    TMarkItem item;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, auto change) {
    TMarkItem item = TextItem(u"Hostile \xD800 text \xDC00!");
    item.Position = 5;
    change(item);
    cases.push_back({what, item});
  };
  add("missing font", [](TMarkItem& i) { i.FontName = "No Such Font Family 123"; });
  add("size 0", [](TMarkItem& i) { i.FontSize = 0; });
  add("size -5", [](TMarkItem& i) { i.FontSize = -5; });
  add("size 100000", [](TMarkItem& i) { i.FontSize = 100000; });
  add("angle 720", [](TMarkItem& i) { i.Angle = 720; });
  add("opacity 150", [](TMarkItem& i) {
    i.Alpha = 150;
    i.isShadow = true;
    i.ShadowAlpha = 150;
    i.ShadowBlur = 250;
    i.Blur = 300;
  });
  add("long text", [](TMarkItem& i) { i.Text = std::u16string(100000, u'W'); });
  add("long tiled text", [](TMarkItem& i) {
    i.Text = std::u16string(100000, u'x');
    i.FontSize = 1;
    i.PlaceStyle = 1;
  });
  add("long date variable",
      [](TMarkItem& i) { i.Text = u"{$D" + std::u16string(10000, u'd') + u"}"; });
  add("offsets", [](TMarkItem& i) {
    i.OffsetX = INT32_MAX;
    i.OffsetY = INT32_MIN;
  });
  add("spray and noise", [](TMarkItem& i) {
    i.Spray = 255;
    i.Noise = 255;
    i.PlaceStyle = 3;
  });
  for (auto& c : cases) {
    TBitmap bmp(400, 300, TPixelFormat::pf24bit);
    auto t0 = std::chrono::steady_clock::now();
    bool ok = DrawTextLayer(bmp, c.item, "file.jpg", {}, 1);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, 60) << c.what;
    bool ink = false;
    for (int y = 0; y < bmp.Height() && !ink; ++y)
      for (int x = 0; x < bmp.Width() && !ink; ++x) ink = bmp.PixelRGB(x, y) != 0;
    std::string name = c.what;
    // Texts too large for one mask draw the part that falls on the picture.
    if (name == "missing font" || name == "size 0" || name == "size -5" || name == "angle 720" ||
        name == "opacity 150" || name == "long date variable" || name == "size 100000" ||
        name == "long text") {
      EXPECT_TRUE(ok) << name;
      EXPECT_TRUE(ink) << name;
    }
  }
}

}  // namespace
}  // namespace imprimo
