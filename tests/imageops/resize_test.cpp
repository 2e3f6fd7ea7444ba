#include "imageops/resize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imageops/bitmap32.h"

namespace imprimo {
namespace {

struct SizeCase {
  int w, h, W, H, mode, nw, nh;
};

TEST(RestrictedSize, ModesWithExtendedPrecision) {
  const SizeCase cases[] = {
      {4000, 3000, 640, 480, 3, 640, 480}, {3000, 4000, 640, 480, 3, 480, 640},
      {1000, 500, 800, 600, 3, 800, 400},  {300, 200, 640, 100, 0, 640, 100},
      {1001, 750, 0, 480, 1, 640, 480},    {4608, 3456, 0, 600, 1, 799, 600},
      {4608, 3456, 800, 600, 3, 800, 600}, {1000, 500, 300, 0, 2, 300, 150},
      {1000, 500, 640, 480, -1, 640, 480}, {1000, 500, 640, 480, 7, 640, 480},
      {1000, 500, 640, 480, -5, 640, 480}, {500, 500, 640, 480, 3, 480, 480},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " mode " << c.mode);
    auto s = ComputeRestrictedSize(c.w, c.h, c.W, c.H, c.mode);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->Width, c.nw);
    EXPECT_EQ(s->Height, c.nh);
  }
  // 1 x 1000 at height 100: trunc(0.1) = 0.
  auto s = ComputeRestrictedSize(1, 1000, 0, 100, 1);
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->Width, 0);
  // Division by a zero target fails instead of producing infinities.
  EXPECT_FALSE(ComputeRestrictedSize(100, 100, 640, 0, 1).has_value());
  EXPECT_FALSE(ComputeRestrictedSize(100, 100, 0, 480, 2).has_value());
  EXPECT_FALSE(ComputeRestrictedSize(0, 0, 640, 480, 1).has_value());
  // Huge targets stay finite.
  s = ComputeRestrictedSize(4000, 3000, 1000000000, 1000000000, 1);
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->Height, 1000000000);
}

RasterImage MakeImage(int w, int h, TImageFormat f) {
  RasterImage img;
  ImageCreate(img, w, h, f);
  return img;
}

// A straightforward reference of the same separable filter in double
// precision, normalising each weight set by its sum.
std::vector<double> RefWeights(int s, int d, int i, bool cubic, std::vector<int>& pos) {
  auto kernel = [cubic](double x) {
    x = std::fabs(x);
    if (!cubic) return x < 1 ? 1 - x : 0.0;
    if (x < 1) return 1.5 * x * x * x - 2.5 * x * x + 1;
    if (x < 2) return -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2;
    return 0.0;
  };
  double radius = cubic ? 2 : 1, scale = double(d) / s;
  double centre = (i + 0.5) / scale - 0.5;
  double support = scale < 1 ? radius / scale : radius;
  std::vector<double> w;
  pos.clear();
  double total = 0;
  for (int j = int(std::floor(centre - support)); j <= int(std::ceil(centre + support)); ++j) {
    double k = scale < 1 ? kernel(scale * (centre - j)) : kernel(centre - j);
    if (k == 0) continue;
    w.push_back(k);
    pos.push_back(std::clamp(j, 0, s - 1));
    total += k;
  }
  for (double& v : w) v /= total;
  return w;
}

void ExpectNearReference(int sw, int sh, int dw, int dh, int filter) {
  SCOPED_TRACE(testing::Message() << sw << "x" << sh << " -> " << dw << "x" << dh << " filter "
                                  << filter);
  RasterImage img = MakeImage(sw, sh, ifR8G8B8);
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) {
      uint8_t* p = img.Row(y) + x * 3;
      p[0] = uint8_t(x * 255 / std::max(1, sw - 1));
      p[1] = uint8_t(y * 255 / std::max(1, sh - 1));
      p[2] = uint8_t((x * 7 + y * 13) % 256);  // sharp edges too
    }
  RasterImage src;
  ImageClone(img, src);
  ASSERT_TRUE(ImageResize(img, dw, dh, filter));
  ASSERT_EQ(img.Width, dw);
  ASSERT_EQ(img.Height, dh);
  const bool cubic = filter == 2;
  int worst = 0;
  std::vector<int> px, py;
  for (int y = 0; y < dh; ++y) {
    std::vector<double> wy = RefWeights(sh, dh, y, cubic, py);
    for (int x = 0; x < dw; ++x) {
      std::vector<double> wx = RefWeights(sw, dw, x, cubic, px);
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (size_t b = 0; b < wy.size(); ++b)
          for (size_t a = 0; a < wx.size(); ++a)
            sum += wy[b] * wx[a] * src.Row(py[b])[px[a] * 3 + c];
        int ref = int(std::clamp(std::nearbyint(sum), 0.0, 255.0));
        worst = std::max(worst, std::abs(ref - int(img.Row(y)[x * 3 + c])));
      }
    }
  }
  EXPECT_LE(worst, 1);
}

TEST(ImageResize, AgreesWithDoublePrecisionReference) {
  ExpectNearReference(97, 61, 40, 23, 2);  // shrink, cubic
  ExpectNearReference(40, 23, 97, 61, 2);  // enlarge, cubic
  ExpectNearReference(97, 61, 31, 80, 1);  // mixed, linear
  ExpectNearReference(64, 1, 200, 3, 2);   // a single source row
}

// An opaque 32-bit picture resamples to the colours of its 24-bit twin: the
// batch writes RGB JPEGs (and their EXIF thumbnails) from either.
TEST(ImageResize, OpaqueAlphaChangesNoColour) {
  uint32_t seed = 99;
  RasterImage rgb = MakeImage(301, 203, ifR8G8B8), argb = MakeImage(301, 203, ifA8R8G8B8);
  for (int y = 0; y < 203; ++y)
    for (int x = 0; x < 301; ++x)
      for (int c = 0; c < 4; ++c) {
        seed = seed * 1664525u + 1013904223u;
        const uint8_t v = c == 3 ? 255 : uint8_t(seed >> 24);
        if (c < 3) rgb.Row(y)[x * 3 + c] = v;
        argb.Row(y)[x * 4 + c] = v;
      }
  const int sizes[][2] = {{160, 108}, {97, 203}, {640, 431}};
  for (const auto& size : sizes)
    for (int filter : {1, 2}) {
      RasterImage a, b;
      ASSERT_TRUE(ImageClone(rgb, a));
      ASSERT_TRUE(ImageClone(argb, b));
      ASSERT_TRUE(ImageResize(a, size[0], size[1], filter));
      ASSERT_TRUE(ImageResize(b, size[0], size[1], filter));
      int differ = 0;
      for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x) {
          for (int c = 0; c < 3; ++c) differ += a.Row(y)[x * 3 + c] != b.Row(y)[x * 4 + c];
          differ += b.Row(y)[x * 4 + 3] != 255;
        }
      EXPECT_EQ(differ, 0) << size[0] << " x " << size[1] << ", filter " << filter;
    }
}

TEST(ImageResize, IndexedFormatsUseNearestAndKeepThePalette) {
  RasterImage img = MakeImage(4, 2, ifIndex8);
  for (int i = 0; i < 8; ++i) img.Bits[i] = uint8_t(i * 10);
  img.Palette[30] = TColor32Rec{1, 2, 3, 4};
  ASSERT_TRUE(ImageResize(img, 8, 4, 2));
  ASSERT_EQ(img.Width, 8);
  // Only source indices, duplicated: no blending of indices.
  const uint8_t row0[] = {0, 0, 10, 10, 20, 20, 30, 30};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(img.Row(0)[x], row0[x]);
  EXPECT_EQ(img.Row(3)[7], 70);
  EXPECT_EQ(img.Palette[30], (TColor32Rec{1, 2, 3, 4}));
  // 16.16 stepping: 5 -> 3 takes columns 0, 1, 3.
  RasterImage g = MakeImage(5, 1, ifGray8);
  for (int i = 0; i < 5; ++i) g.Bits[i] = uint8_t(i);
  ASSERT_TRUE(ImageResize(g, 3, 1, 0));
  EXPECT_EQ(g.Row(0)[0], 0);
  EXPECT_EQ(g.Row(0)[1], 1);
  EXPECT_EQ(g.Row(0)[2], 3);
}

TEST(ImageResize, AlphaEdgesStaySmooth) {
  // An opaque disc on a transparent field, shrunk: the edge gets
  // intermediate alphas and the colour under opaque pixels stays.
  RasterImage img = MakeImage(200, 200, ifA8R8G8B8);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      uint8_t* p = img.Row(y) + x * 4;
      bool in = (x - 100) * (x - 100) + (y - 100) * (y - 100) < 70 * 70;
      p[0] = 200;
      p[1] = 100;
      p[2] = 50;
      p[3] = in ? 255 : 0;
    }
  ASSERT_TRUE(ImageResize(img, 57, 57, 2));
  int partial = 0;
  for (int y = 0; y < 57; ++y)
    for (int x = 0; x < 57; ++x) {
      const uint8_t* p = img.Row(y) + x * 4;
      partial += p[3] > 10 && p[3] < 245;
      EXPECT_EQ(p[0], 200);
    }
  EXPECT_GT(partial, 40);
  EXPECT_EQ(img.Row(28)[28 * 4 + 3], 255);
  EXPECT_EQ(img.Row(0)[3], 0);
}

TEST(ImageResize, WideAndPackedFormatsGoThroughFloatChannels) {
  // A 16-bit-per-channel ramp keeps its precision and its format.
  RasterImage img = MakeImage(64, 4, ifA16R16G16B16);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 64; ++x) {
      uint16_t* p = reinterpret_cast<uint16_t*>(img.Row(y)) + x * 4;
      p[0] = p[1] = p[2] = uint16_t(x * 1000);
      p[3] = 65535;
    }
  ASSERT_TRUE(ImageResize(img, 32, 2, 1));
  EXPECT_EQ(img.Format, ifA16R16G16B16);
  const uint16_t* row = reinterpret_cast<const uint16_t*>(img.Row(1));
  for (int x = 1; x < 31; ++x) {
    EXPECT_NEAR(row[x * 4], 2000.0 * x + 500, 40);  // two source pixels per target
    EXPECT_NEAR(row[x * 4 + 3], 65535, 1);
  }
  RasterImage packed = MakeImage(10, 10, ifR5G6B5);
  for (int i = 0; i < 100; ++i) reinterpret_cast<uint16_t*>(packed.Bits.get())[i] = 0xF800;
  ASSERT_TRUE(ImageResize(packed, 25, 3, 2));
  EXPECT_EQ(packed.Format, ifR5G6B5);
  EXPECT_EQ(reinterpret_cast<const uint16_t*>(packed.Row(2))[24], 0xF800);
}

TEST(ImageResize, InvalidArguments) {
  RasterImage img = MakeImage(10, 10, ifR8G8B8);
  EXPECT_THROW(ImageResize(img, 0, 10, 1), EImagingError);
  EXPECT_THROW(ImageResize(img, 10, -1, 1), EImagingError);
  EXPECT_FALSE(ImageResize(img, 10, 10, 1));  // unchanged size
  EXPECT_THROW(ImageResize(img, 1000000000, 1000000000, 1), EImagingError);
  EXPECT_EQ(img.Width, 10);
  RasterImage empty;
  EXPECT_FALSE(ImageResize(empty, 5, 5, 1));
}

TEST(ResizeBitmap32, StretchesALogoExactly) {
  TBitmap32 logo(100, 50);
  for (int i = 0; i < 100 * 50; ++i) logo.Bits()[i] = (i % 100) < 50 ? 0xFFFF0000 : 0x800000FF;
  ASSERT_TRUE(ResizeBitmap32(logo, 580, 380));
  EXPECT_EQ(logo.Width(), 580);
  EXPECT_EQ(logo.Height(), 380);
  EXPECT_EQ(logo.Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(logo.Pixel(579, 379), 0x800000FFu);
  // Across the boundary the alpha moves gradually from 255 to 128.
  int prev = 255;
  for (int x = 270; x < 310; ++x) {
    int a = logo.Pixel(x, 10) >> 24;
    EXPECT_LE(a, prev);
    prev = a;
  }
  EXPECT_FALSE(ResizeBitmap32(logo, 0, 5));
  EXPECT_FALSE(ResizeBitmap32(logo, 70000, 5));
  EXPECT_EQ(logo.Width(), 580);
}

}  // namespace
}  // namespace imprimo
