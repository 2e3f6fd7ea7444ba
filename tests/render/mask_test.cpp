#include <gtest/gtest.h>

#include <filesystem>

#include "platform/random.h"
#include "png_writer.h"
#include "render/text_mask.h"

namespace imprimo {

std::string testing::ScreensFolder() {
  const char* env = std::getenv("IMPRIMO_SCREENS_DIR");
  std::filesystem::path dir = env && *env
                                  ? std::filesystem::path(env)
                                  : std::filesystem::temp_directory_path() / "imprimo-screens";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir.string() + "/";
}

namespace {

TIAMask MaskOf(int w, int h, std::initializer_list<uint8_t> values) {
  TIAMask m;
  m.SetSize(w, h);
  auto it = values.begin();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m.Row(y)[x] = it == values.end() ? 0 : *it++;
  return m;
}

std::vector<uint8_t> Pixels(const TIAMask& m) {
  std::vector<uint8_t> v;
  for (int y = 0; y < m.Height(); ++y) v.insert(v.end(), m.Row(y), m.Row(y) + m.Width());
  return v;
}

TEST(TextMask, QualityGivesScaleAndNewMaskIsEmpty) {
  TIAMask m;
  EXPECT_EQ(m.Quality(), 1);
  EXPECT_EQ(m.Scale(), 3);
  EXPECT_EQ(m.Width(), 0);
  EXPECT_EQ(m.Height(), 0);
  const int scales[] = {4, 3, 2, 1};
  for (uint8_t q = 0; q < 4; ++q) {
    m.SetQuality(q);
    EXPECT_EQ(m.Scale(), scales[q]);
  }
}

TEST(TextMask, FullBlockReducesTo254AtScale3And255Otherwise) {
  for (uint8_t q = 0; q < 4; ++q) {
    TIAMask m;
    m.SetQuality(q);
    m.SetSize(3, 2);
    const int sc = m.Scale();
    std::vector<uint8_t> canvas(size_t(3 * sc) * 2 * sc, 255);
    m.ReduceRows(canvas.data(), 3 * sc, 0, 2);
    for (uint8_t v : Pixels(m)) EXPECT_EQ(v, sc == 3 ? 254 : 255) << "scale " << sc;
  }
}

TEST(TextMask, Scale3WeightsTheOffDiagonalCornersHalf) {
  TIAMask m;  // scale 3
  m.SetSize(1, 1);
  // Only the top-right sample lit: 255 shr 1 = 127, then shr 3 = 15.
  std::vector<uint8_t> canvas = {0, 0, 255, 0, 0, 0, 0, 0, 0};
  m.ReduceRows(canvas.data(), 3, 0, 1);
  EXPECT_EQ(m.Row(0)[0], 15);
  // Only the centre sample: 255 shr 3 = 31.
  canvas = {0, 0, 0, 0, 255, 0, 0, 0, 0};
  m.ReduceRows(canvas.data(), 3, 0, 1);
  EXPECT_EQ(m.Row(0)[0], 31);
}

TEST(TextMask, TurnedBoxSizesAndOrigins) {
  struct Case {
    int angle;
    TSize size;
    TPoint origin;
  } cases[] = {{0, {100, 20}, {0, 0}},
               {90, {20, 100}, {0, 100}},
               {45, {84, 84}, {0, 70}},
               {180, {100, 20}, {100, 20}}};
  for (const auto& c : cases) {
    TSize s;
    TPoint o;
    TurnedBox(100, 20, c.angle * 10, s, o);
    EXPECT_EQ(s, c.size) << c.angle;
    EXPECT_EQ(o, c.origin) << c.angle;
  }
}

TEST(TextMask, BlurStrengthsMixTheBoxMean) {
  // A lone full pixel: its 5 x 5 mean is round(255 / 25) = 10, and the pixel
  // moves from 255 towards 10 by k / 256 for k = 26, 76, 128 and fully at 255.
  struct Case {
    int strength;
    uint8_t centre;
  } cases[] = {{0, 255}, {10, 230}, {30, 182}, {50, 132}, {100, 10}};
  for (const auto& c : cases) {
    TIAMask m;
    m.SetSize(9, 9);
    m.Row(4)[4] = 255;
    m.Blur(c.strength);
    EXPECT_EQ(m.Row(4)[4], c.centre) << c.strength;
    // A zero neighbour inside the window rises towards 10 by floor(10k/256).
    int k = c.strength == 0    ? 0
            : c.strength == 10 ? 26
            : c.strength == 30 ? 76
            : c.strength == 50 ? 128
                               : 255;
    EXPECT_EQ(m.Row(2)[2], k == 255 ? 10 : (10 * k) >> 8) << c.strength;
    EXPECT_EQ(m.Row(4)[7], 0) << "outside the window";
  }
}

TEST(TextMask, BlurOnNarrowMasksRepeatsTheEdges) {
  TIAMask m = MaskOf(2, 1, {0, 250});
  m.Blur(100);
  // Columns clamp to 0,0,0,1,1 and every row to 0: 5 * 500 / 25 = 100.
  EXPECT_EQ(Pixels(m), (std::vector<uint8_t>{100, 150}));
  TIAMask one = MaskOf(1, 1, {77});
  one.Blur(100);
  EXPECT_EQ(one.Row(0)[0], 77);
}

TEST(TextMask, OutlineOfACoveredAreaIsARing) {
  TIAMask full;
  full.SetSize(6, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) full.Row(y)[x] = 255;
  full.Outline();
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      bool ring = y == 0 || y == 4 || x == 0 || x == 5;
      EXPECT_EQ(full.Row(y)[x], ring ? 255 : 0) << x << "," << y;
    }

  TIAMask square;
  square.SetSize(10, 10);
  for (int y = 3; y < 7; ++y)
    for (int x = 3; x < 7; ++x) square.Row(y)[x] = 255;
  square.Outline();
  EXPECT_EQ(square.Row(5)[5], 0);    // inside
  EXPECT_EQ(square.Row(3)[5], 191);  // top edge: |b - a| + |b[x-1] - a[x+1]| + |b[x+1] - a[x-1]|
  EXPECT_EQ(square.Row(2)[5], 191);  // just outside
  EXPECT_EQ(square.Row(0)[0], 0);

  TIAMask thin = MaskOf(2, 3, {255, 0, 0, 255, 255, 0});
  auto before = Pixels(thin);
  thin.Outline();
  EXPECT_EQ(Pixels(thin), before);
}

TEST(TextMask, SprayRadiusZeroKeepsAndSprayOnlyMovesValues) {
  TIAMask m = MaskOf(4, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  auto before = Pixels(m);
  RandSeed(42);
  m.Spray(0);
  EXPECT_EQ(Pixels(m), before);

  TIAMask big;
  big.SetSize(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) big.Row(y)[x] = static_cast<uint8_t>(y * 40 + x);
  TIAMask copy;
  copy.Assign(big);
  RandSeed(7);
  big.Spray(5);
  RandSeed(7);
  copy.Spray(5);
  EXPECT_TRUE(big.SameData(copy)) << "same seed, same scatter";
  int moved = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      int v = big.Row(y)[x];
      moved += v != static_cast<uint8_t>(y * 40 + x);
    }
  EXPECT_GT(moved, 100);
}

TEST(TextMask, MirrorsReverseAndTwiceRestore) {
  TIAMask m = MaskOf(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  auto before = Pixels(m);
  m.MirrorHorz();
  EXPECT_EQ(Pixels(m), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7}));
  m.MirrorHorz();
  EXPECT_EQ(Pixels(m), before);
  m.MirrorVert();
  EXPECT_EQ(Pixels(m), (std::vector<uint8_t>{7, 8, 9, 4, 5, 6, 1, 2, 3}));
  m.MirrorVert();
  EXPECT_EQ(Pixels(m), before);
}

TEST(TextMask, RowOutOfRangeRaisesInvalidLine) {
  TIAMask m = MaskOf(2, 2, {});
  EXPECT_NO_THROW(m.Row(1));
  for (int r : {-1, 2}) {
    try {
      m.Row(r);
      FAIL() << r;
    } catch (const EInvalidLine& e) {
      EXPECT_STREQ(e.what(), "Invalid line!");
    }
  }
}

TEST(TextMask, AssignCopiesAndRejectsOtherClasses) {
  TIAMask a = MaskOf(2, 1, {9, 8});
  a.SetQuality(0);
  TIAMask b;
  b.Assign(a);
  EXPECT_TRUE(b.SameData(a));
  EXPECT_EQ(b.Scale(), 4);
  struct Other : TPersistent {
    const char* ClassName() const override { return "TOther"; }
  } other;
  EXPECT_THROW(b.Assign(other), EConvertError);
}

TEST(TextMask, WithoutOwnerMeasuresNothing) {
  TIAMask m;
  TSize s{5, 5};
  TPoint o{1, 1};
  m.TextExtent(u"abc", s, o);
  EXPECT_EQ(s, (TSize{0, 0}));
  m.Build(u"abc");
  EXPECT_EQ(m.Width(), 0);
}

}  // namespace
}  // namespace imprimo
