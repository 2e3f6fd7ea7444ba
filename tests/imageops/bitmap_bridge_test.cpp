#include "imageops/bitmap_bridge.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "imageops/resize.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

class BridgeFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("imprimo_bridge_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void WriteBytes(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string ReadBytes(const std::string& name) const {
    std::ifstream f(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  // A 4 x 2 A8R8G8B8 image whose alpha runs 0, 85, 170, 255 along each row.
  void WriteAlphaPng(const std::string& name) const {
    RasterImage img;
    ImageCreate(img, 4, 2, ifA8R8G8B8);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) {
        uint8_t* p = img.Row(y) + x * 4;
        p[0] = 10;
        p[1] = 20;
        p[2] = 30;
        p[3] = uint8_t(x * 85);
      }
    ASSERT_TRUE(WriteImageFile(Path(name), img));
  }
  fs::path dir_;
};

TEST_F(BridgeFiles, PngKeepsItsAlpha) {
  WriteAlphaPng("logo.png");
  TBitmap32 logo;
  ASSERT_TRUE(LoadFileToBitmap32(Path("logo.png"), logo));
  ASSERT_EQ(logo.Width(), 4);
  ASSERT_EQ(logo.Height(), 2);
  EXPECT_EQ(logo.Pixel(0, 0), 0x001E140Au);
  EXPECT_EQ(logo.Pixel(3, 1), 0xFF1E140Au);
  EXPECT_EQ(logo.Pixel(1, 1) >> 24, 85u);
  // The content decides, not the extension.
  fs::copy_file(Path("logo.png"), Path("logo.bmp"));
  TBitmap32 again;
  ASSERT_TRUE(LoadFileToBitmap32(Path("logo.bmp"), again));
  EXPECT_EQ(again, logo);
}

TEST_F(BridgeFiles, OpaqueFormatsComeOutOpaque) {
  RasterImage img;
  ImageCreate(img, 3, 3, ifR8G8B8);
  for (int i = 0; i < 27; ++i) img.Bits[i] = uint8_t(i * 9);
  ASSERT_TRUE(WriteImageFile(Path("a.jpg"), img));
  ASSERT_TRUE(WriteImageFile(Path("a.bmp"), img));
  RasterImage pal;
  ImageCreate(pal, 2, 1, ifIndex8);
  pal.Palette[0] = TColor32Rec{0, 0, 255, 255};
  pal.Palette[1] = TColor32Rec{0, 255, 0, 255};
  pal.Bits[0] = 0;
  pal.Bits[1] = 1;
  ASSERT_TRUE(WriteImageFile(Path("a.gif"), pal));
  for (const char* name : {"a.jpg", "a.bmp", "a.gif"}) {
    SCOPED_TRACE(name);
    TBitmap32 b;
    ASSERT_TRUE(LoadFileToBitmap32(Path(name), b));
    for (int i = 0; i < b.Width() * b.Height(); ++i) EXPECT_EQ(b.Bits()[i] >> 24, 255u);
  }
  TBitmap32 g;
  ASSERT_TRUE(LoadFileToBitmap32(Path("a.gif"), g));
  EXPECT_EQ(g.Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(g.Pixel(1, 0), 0xFF00FF00u);
}

TEST_F(BridgeFiles, BadFilesGiveFalseAndLeaveTheTarget) {
  WriteBytes("text.png", "this is not a picture at all\n");
  WriteAlphaPng("good.png");
  const std::string good = ReadBytes("good.png");
  WriteBytes("cut.png", good.substr(0, good.size() / 2));
  WriteBytes("empty.png", "");
  // A PNG header that claims 20000 x 20000 pixels (CRC correct).
  const std::string hugeHeader(
      "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x4e\x20\0\0\x4e\x20\x08\x06\0\0\0\xe3\x70\x46\x39", 33);
  WriteBytes("huge.png", hugeHeader + good.substr(33));
  const std::string zeroHeader(
      "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\0\0\0\0\0\x08\x06\0\0\0\x3b\x8b\x7c\x12", 33);
  WriteBytes("zero.png", zeroHeader + good.substr(33));
  TBitmap32 keep(2, 2);
  keep.SetPixel(0, 0, 0x12345678);
  const TBitmap32 before = keep;
  for (const char* name :
       {"text.png", "cut.png", "empty.png", "huge.png", "zero.png", "missing.png"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(LoadFileToBitmap32(Path(name), keep));
    EXPECT_EQ(keep, before);
    TBitmap b;
    EXPECT_FALSE(LoadFileToBitmap(Path(name), b));
  }
  EXPECT_FALSE(LoadFileToBitmap32(dir_.string(), keep));  // a folder
}

TEST(BitmapCopies, RoundTripKeepsAlpha) {
  TBitmap32 b(2, 1);
  b.SetPixel(0, 0, 0x80102030);
  b.SetPixel(1, 0, 0x00FFFFFF);
  TBitmap t;
  CopyBitmap32ToBitmap(b, t);
  EXPECT_EQ(t.PixelFormat(), TPixelFormat::pf32bit);
  TBitmap32 back;
  CopyBitmapToBitmap32(t, back);
  EXPECT_EQ(back.Pixel(0, 0), 0x80102030u);
  EXPECT_EQ(back.Pixel(1, 0), 0x00FFFFFFu);
}

TBitmap Photo(int w, int h) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRGB(x, y, uint32_t((x * 255 / w) << 16 | (y & 0xFF)));
  return b;
}

TEST(RestrictImageSize, ResizesTheWorkingBitmap) {
  TBitmap b = Photo(1000, 500);
  ASSERT_TRUE(RestrictImageSize(b, 800, 600, 3));
  EXPECT_EQ(b.Width(), 800);
  EXPECT_EQ(b.Height(), 400);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);

  TBitmap grow = Photo(300, 200);
  ASSERT_TRUE(RestrictImageSize(grow, 640, 480, 3));  // would grow both ways: unchanged
  EXPECT_EQ(grow.Width(), 300);
  ASSERT_TRUE(RestrictImageSize(grow, 640, 100, 0));  // grows one way only: resized
  EXPECT_EQ(grow.Width(), 640);
  EXPECT_EQ(grow.Height(), 100);
  ASSERT_TRUE(RestrictImageSize(grow, 1000000000, 1000000000, 0));  // grows both ways
  EXPECT_EQ(grow.Width(), 640);

  // Failures leave the bitmap as it was.
  TBitmap thin = Photo(1, 1000);
  EXPECT_FALSE(RestrictImageSize(thin, 0, 100, 1));  // trunc(0.1) = 0
  EXPECT_EQ(thin.Height(), 1000);
  TBitmap c = Photo(100, 100);
  EXPECT_FALSE(RestrictImageSize(c, 0, 0, 0));
  EXPECT_FALSE(RestrictImageSize(c, -1, -1, 3));
  EXPECT_FALSE(RestrictImageSize(c, 50, 0, 1));
  EXPECT_FALSE(RestrictImageSize(c, 1000000000, 50, 0));  // over the size limits
  EXPECT_EQ(c.Width(), 100);
  EXPECT_EQ(c.Height(), 100);
}

TEST(RestrictImageSize, SameResultAsThroughAnImageRecord) {
  for (TPixelFormat pf : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    TBitmap b(97, 55, pf);
    for (int y = 0; y < 55; ++y)
      for (size_t i = 0; i < b.BytesPerLine(); ++i) b.ScanLine(y)[i] = uint8_t(i * 7 + y * 31);
    TBitmap viaRecord = b;
    RasterImage image;
    BitmapToImage(viaRecord, image);
    ASSERT_TRUE(ImageResize(image, 40, 22, 2));
    ImageToBitmap(image, viaRecord);
    ASSERT_TRUE(RestrictImageSize(b, 40, 22, 0));
    EXPECT_EQ(b, viaRecord);
  }
}

TEST(RestrictImageSize, PaletteImagesUseNearestNeighbour) {
  TBitmap b(64, 64, TPixelFormat::pf8bit);
  for (int i = 0; i < 256; ++i) b.Palette()[i] = TPaletteEntry{uint8_t(i), 0, 0, 0};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) b.ScanLine(y)[x] = ((x / 8 + y / 8) % 2) ? 200 : 10;
  ASSERT_TRUE(RestrictImageSize(b, 40, 40, 3));
  EXPECT_EQ(b.Width(), 40);
  // Palette pictures come back in true colour (marks are drawn in true
  // colour), holding only the palette's own colours.
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      uint32_t red = b.PixelRGB(x, y) >> 16;
      ASSERT_TRUE(red == 200 || red == 10) << x << "," << y;
    }
}

}  // namespace
}  // namespace imprimo
