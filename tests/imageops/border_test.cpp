#include "imageops/border.h"

#include <gtest/gtest.h>

#include "platform/pen.h"

namespace imprimo {
namespace {

constexpr uint32_t kGray = 0x808080;
constexpr int32_t kRed = 0x0000FF;  // TColor
constexpr uint32_t kRedRGB = 0xFF0000;

TBitmap Gray(int w, int h, TPixelFormat pf = TPixelFormat::pf24bit) {
  TBitmap b(w, h, pf);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRGB(x, y, kGray);
  return b;
}

// Counts pixels of a colour in a rectangle [x0, x1) x [y0, y1).
int Count(const TBitmap& b, int x0, int y0, int x1, int y1, uint32_t rgb) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += b.PixelRGB(x, y) == rgb;
  return n;
}

TEST(Border, OutsideFrameAroundTheImage) {
  TBitmap b = Gray(100, 50);
  ASSERT_TRUE(AddImageBorder(b, 4, 4, 4, 4, kRed, 0, false));
  ASSERT_EQ(b.Width(), 108);
  ASSERT_EQ(b.Height(), 58);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(Count(b, 4, 4, 104, 54, kGray), 100 * 50);  // the image at (4, 4)
  EXPECT_EQ(Count(b, 0, 0, 108, 58, kRedRGB), 108 * 58 - 100 * 50);
}

TEST(Border, InsidePaintsOverTheEdge) {
  TBitmap b = Gray(100, 50);
  ASSERT_TRUE(AddImageBorder(b, 4, 4, 4, 4, kRed, 0, true));
  ASSERT_EQ(b.Width(), 100);
  ASSERT_EQ(b.Height(), 50);
  EXPECT_EQ(Count(b, 4, 4, 96, 46, kGray), 92 * 42);
  EXPECT_EQ(Count(b, 0, 0, 100, 50, kRedRGB), 100 * 50 - 92 * 42);
}

TEST(Border, SingleSideAndZeroWidths) {
  TBitmap b = Gray(100, 50);
  ASSERT_TRUE(AddImageBorder(b, 10, 0, 0, 0, kRed, 0, false));
  ASSERT_EQ(b.Width(), 100);
  ASSERT_EQ(b.Height(), 60);
  EXPECT_EQ(Count(b, 0, 0, 100, 10, kRedRGB), 1000);
  EXPECT_EQ(Count(b, 0, 10, 100, 60, kGray), 5000);

  // All zero: same size, but 24-bit and without alpha.
  TBitmap c = Gray(30, 20, TPixelFormat::pf32bit);
  c.ScanLine(0)[3] = 77;
  ASSERT_TRUE(AddImageBorder(c, 0, 0, 0, 0, kRed, 0, false));
  EXPECT_EQ(c.Width(), 30);
  EXPECT_EQ(c.Height(), 20);
  EXPECT_EQ(c.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(Count(c, 0, 0, 30, 20, kGray), 600);

  TBitmap d = Gray(30, 20, TPixelFormat::pf32bit);
  ASSERT_TRUE(AddImageBorder(d, 2, 2, 2, 2, kRed, 0, true));
  EXPECT_EQ(d.PixelFormat(), TPixelFormat::pf24bit);
}

TEST(Border, AsymmetricWidthsMeetAtTheCorners) {
  TBitmap b = Gray(20, 10);
  ASSERT_TRUE(AddImageBorder(b, 1, 2, 3, 4, kRed, 0, false));
  ASSERT_EQ(b.Width(), 26);
  ASSERT_EQ(b.Height(), 14);
  EXPECT_EQ(Count(b, 4, 1, 24, 11, kGray), 200);
  EXPECT_EQ(Count(b, 0, 0, 26, 14, kRedRGB), 26 * 14 - 200);
}

TEST(Border, StyleMinusOneIsSolidAndDashesLeaveGaps) {
  TBitmap solid = Gray(60, 40);
  ASSERT_TRUE(AddImageBorder(solid, 1, 1, 1, 1, kRed, -1, false));
  EXPECT_EQ(Count(solid, 0, 0, 62, 1, kRedRGB), 62);

  for (int style = 1; style <= 4; ++style) {
    SCOPED_TRACE(style);
    TBitmap out = Gray(60, 40);
    ASSERT_TRUE(AddImageBorder(out, 1, 1, 1, 1, kRed, style, false));
    int red = Count(out, 0, 0, 62, 1, kRedRGB);
    int white = Count(out, 0, 0, 62, 1, 0xFFFFFF);
    EXPECT_GT(red, 0);
    EXPECT_GT(white, 0);  // gaps show the white margin
    EXPECT_EQ(red + white, 62);
    EXPECT_EQ(out.PixelRGB(0, 0), kRedRGB);  // every line starts with a dash

    TBitmap in = Gray(60, 40);
    ASSERT_TRUE(AddImageBorder(in, 1, 1, 1, 1, kRed, style, true));
    red = Count(in, 0, 0, 60, 1, kRedRGB);
    int gray = Count(in, 0, 0, 60, 1, kGray);
    EXPECT_GT(gray, 0);  // gaps show the image
    EXPECT_EQ(red + gray, 60);
  }
}

TEST(Border, DotPatternIsThreeOnThreeOff) {
  TBitmap b(12, 1, TPixelFormat::pf24bit);
  PenLine(b, TPen{kRed, TPenStyle::psDot}, 0, 0, 12, 0, 0x00FF00);
  std::string seen;
  for (int x = 0; x < 12; ++x) seen += b.PixelRGB(x, 0) == kRedRGB ? 'R' : 'g';
  EXPECT_EQ(seen, "RRRgggRRRggg");
  // The end point is excluded, also for a line drawn right to left.
  TBitmap c(5, 1, TPixelFormat::pf24bit);
  PenLine(c, TPen{kRed, TPenStyle::psSolid}, 4, 0, 0, 0);
  EXPECT_EQ(c.PixelRGB(0, 0), 0u);
  EXPECT_EQ(c.PixelRGB(1, 0), kRedRGB);
  EXPECT_EQ(c.PixelRGB(4, 0), kRedRGB);
}

TEST(Border, HugeWidthsFailOrStayBounded) {
  TBitmap b = Gray(100, 50);
  EXPECT_FALSE(AddImageBorder(b, 100000, 100000, 100000, 100000, kRed, 0, false));
  EXPECT_EQ(b.Width(), 100);  // unchanged after a failure
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  ASSERT_TRUE(AddImageBorder(b, 100000, 100000, 100000, 100000, kRed, 2, true));
  EXPECT_EQ(Count(b, 0, 0, 100, 50, kRedRGB) + Count(b, 0, 0, 100, 50, kGray), 5000);
  TBitmap c = Gray(10, 10);
  EXPECT_TRUE(AddImageBorder(c, -5, -5, -5, -5, kRed, 0, false));
  EXPECT_EQ(c.Width(), 10);
}

}  // namespace
}  // namespace imprimo
