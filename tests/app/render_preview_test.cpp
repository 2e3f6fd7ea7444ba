// Thumbnail cells: where the picture lands in its cell and the two frames.
#include "app/render_preview.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "imaging/formats/jpeg_codec.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

namespace imprimo {
namespace {

constexpr uint32_t kFace = 0xF0F0F0, kWhite = 0xFFFFFF, kGrey = 0x808080, kRed = 0xFF0000;

TBitmap Solid(int w, int h, uint32_t rgb) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRGB(x, y, rgb);
  return b;
}

// The bounding box of the red pixels, right and bottom exclusive.
TRect RedBox(const TBitmap& cell) {
  TRect r{cell.Width(), cell.Height(), 0, 0};
  for (int y = 0; y < cell.Height(); ++y)
    for (int x = 0; x < cell.Width(); ++x)
      if (cell.PixelRGB(x, y) == kRed) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

TEST(ThumbnailCell, PictureIsFittedIntoItsBoxAndFramed) {
  struct Case {
    int w, h;
    TRect expected;
  };
  for (const Case& c : {Case{400, 300, {8, 21, 111, 99}}, Case{300, 400, {21, 8, 99, 111}},
                        Case{50, 50, {8, 8, 112, 111}}, Case{4000, 10, {8, 60, 111, 60}}}) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    EXPECT_EQ(ThumbnailPictureRect(c.w, c.h), c.expected);
    TBitmap cell;
    ASSERT_TRUE(DrawThumbnailCell(Solid(c.w, c.h, kRed), kFace, cell));
    EXPECT_EQ(cell.Width(), 120);
    EXPECT_EQ(cell.Height(), 120);
    EXPECT_EQ(cell.PixelFormat(), TPixelFormat::pf24bit);
    if (c.expected.Width() > 0 && c.expected.Height() > 0) {
      EXPECT_EQ(RedBox(cell), c.expected);
    }
  }
}

TEST(ThumbnailCell, FramesAreRaisedOutsideAndSunkenAroundThePicture) {
  TBitmap cell;
  ASSERT_TRUE(DrawThumbnailCell(Solid(400, 300, kRed), kFace, cell));
  // Raised outer frame: white top and left, grey bottom and right; the
  // bottom-left corner belongs to the grey lines, the top-right to the white.
  EXPECT_EQ(cell.PixelRGB(0, 0), kWhite);
  EXPECT_EQ(cell.PixelRGB(60, 0), kWhite);
  EXPECT_EQ(cell.PixelRGB(119, 0), kWhite);
  EXPECT_EQ(cell.PixelRGB(0, 60), kWhite);
  EXPECT_EQ(cell.PixelRGB(0, 119), kGrey);
  EXPECT_EQ(cell.PixelRGB(60, 119), kGrey);
  EXPECT_EQ(cell.PixelRGB(119, 60), kGrey);
  EXPECT_EQ(cell.PixelRGB(119, 119), kGrey);
  // Sunken frame with corners (7, 20) and (111, 99): grey top and left,
  // white bottom and right.
  EXPECT_EQ(cell.PixelRGB(50, 20), kGrey);
  EXPECT_EQ(cell.PixelRGB(7, 50), kGrey);
  EXPECT_EQ(cell.PixelRGB(50, 99), kWhite);
  EXPECT_EQ(cell.PixelRGB(111, 50), kWhite);
  // Button face between the frames and outside the picture's band.
  EXPECT_EQ(cell.PixelRGB(3, 3), kFace);
  EXPECT_EQ(cell.PixelRGB(60, 10), kFace);
  EXPECT_EQ(cell.PixelRGB(60, 110), kFace);
}

TEST(ThumbnailCell, EmptyPictureGivesNoCell) {
  TBitmap cell;
  EXPECT_FALSE(DrawThumbnailCell(TBitmap(), kFace, cell));
  EXPECT_FALSE(LoadThumbnailCell("/nonexistent/picture.png", true, kFace, cell));
}

// A large JPEG is decoded at the smallest scale that still covers the box,
// and the thumbnail of the reduced picture matches the layout of the full one.
TEST(ThumbnailCell, LargeJpegIsDecodedReduced) {
  RasterImage image;
  ImageCreate(image, 1600, 1200, ifR8G8B8);
  for (int y = 0; y < image.Height; ++y) {
    uint8_t* p = image.Row(y);
    for (int x = 0; x < image.Width; ++x, p += 3) {
      p[0] = 0;
      p[1] = 0;
      p[2] = 255;  // red, stored blue first
    }
  }
  TMemoryStream stream;
  EncodeJpeg(image, 90, false, stream);
  RasterImage reduced;
  DecodeJpegReduced(stream.Data(), kThumbnailBox, kThumbnailBox, reduced);
  EXPECT_EQ(reduced.Width, 200);
  EXPECT_EQ(reduced.Height, 150);
  DecodeJpegReduced(stream.Data(), 300, 300, reduced);
  EXPECT_EQ(reduced.Width, 400);
  DecodeJpegReduced(stream.Data(), 1601, 10, reduced);
  EXPECT_EQ(reduced.Width, 1600) << "no reduction covers the size asked for";

  const auto path = std::filesystem::temp_directory_path() / "imprimo_thumb_reduced.jpg";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(stream.Data().data()),
             std::streamsize(stream.Data().size()));
  TBitmap cell;
  ASSERT_TRUE(LoadThumbnailCell(path.string(), true, kFace, cell));
  std::filesystem::remove(path);
  // JPEG colours are near, not exact: find the picture by its strong red.
  int left = 120, right = 0, top = 120, bottom = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 120; ++x) {
      const uint32_t c = cell.PixelRGB(x, y);
      if (((c >> 16) & 255) > 200 && ((c >> 8) & 255) < 60 && (c & 255) < 60) {
        left = std::min(left, x), right = std::max(right, x + 1);
        top = std::min(top, y), bottom = std::max(bottom, y + 1);
      }
    }
  EXPECT_EQ((TRect{left, top, right, bottom}), (TRect{8, 21, 111, 99}));
}

}  // namespace
}  // namespace imprimo
