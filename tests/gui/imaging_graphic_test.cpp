// Pictures loaded through Qt by file name are decoded by the image file layer.
#include "gui/imaging_graphic.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QImageReader>
#include <filesystem>
#include <fstream>

#include "../../tools/exif_block.h"
#include "imageops/orient.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"
#include "window_fixture.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

class ImagingGraphicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_gui::EnsureApplication();
    RegisterImagingGraphic();
    dir_ = fs::temp_directory_path() / ("imprimo_graphic_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A 5 x 3 picture with a distinct colour per pixel and half-transparent
  // last column, saved through the layer.
  std::string Write(const std::string& name) {
    RasterImage img;
    ImageCreate(img, 5, 3, ifA8R8G8B8);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        uint8_t* p = img.Row(y) + 4 * x;
        p[0] = static_cast<uint8_t>(10 * x);        // blue
        p[1] = static_cast<uint8_t>(60 * y);        // green
        p[2] = static_cast<uint8_t>(200 - 20 * x);  // red
        p[3] = x == 4 ? 128 : 255;
      }
    const std::string path = (dir_ / name).string();
    EXPECT_TRUE(WriteImageFile(path, img));
    return path;
  }

  fs::path dir_;
};

TEST_F(ImagingGraphicTest, FormatsQtLacksLoadByFileName) {
  for (const char* name : {"pic.tga", "pic.dds", "pic.psd", "pic.pam"}) {
    QImage img(QString::fromStdString(Write(name)));
    ASSERT_FALSE(img.isNull()) << name;
    EXPECT_EQ(img.width(), 5);
    EXPECT_EQ(img.height(), 3);
    const QRgb px = img.pixel(1, 2);
    EXPECT_EQ(qRed(px), 180) << name;
    EXPECT_EQ(qGreen(px), 120) << name;
    EXPECT_EQ(qBlue(px), 10) << name;
    EXPECT_EQ(qAlpha(img.pixel(4, 0)), 128) << name;
  }
}

TEST_F(ImagingGraphicTest, ContentWinsOverAMisleadingName) {
  // A PNG stored under a .tga name still loads: the layer recognises content.
  const std::string png = Write("real.png");
  const fs::path misnamed = dir_ / "misnamed.tga";
  fs::copy_file(png, misnamed);
  QImage img(QString::fromStdString(misnamed.string()));
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(qAlpha(img.pixel(4, 1)), 128);
}

TEST_F(ImagingGraphicTest, GarbageGivesANullPicture) {
  const fs::path bad = dir_ / "bad.dds";
  std::ofstream(bad, std::ios::binary) << "DDS this is not a surface header at all";
  EXPECT_TRUE(QImage(QString::fromStdString(bad.string())).isNull());
  EXPECT_TRUE(DecodeWithImagingLayer(QByteArray("\x89PNG\r\n\x1a\n", 8)).isNull());
}

// A reader that asks for it gets a camera JPEG turned upright, exactly as the
// engine turns the same decoded pixels; one that does not gets the stored rows.
TEST_F(ImagingGraphicTest, AutoTransformTurnsByTheExifOrientation) {
  RasterImage img;
  ImageCreate(img, 40, 24, ifR8G8B8);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 40; ++x) {
      uint8_t* p = img.Row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(x * 6);
      p[1] = static_cast<uint8_t>(y * 10);
      p[2] = x < 16 && y < 8 ? 255 : 20;
    }
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("jpg", stream, img));
  for (int o = 0; o <= 9; ++o) {
    SCOPED_TRACE(o);
    samples::TExifFields exif;
    exif.Orientation = static_cast<uint16_t>(o);
    const std::vector<uint8_t> bytes =
        samples::SpliceApp1(stream.Data(), samples::BuildExifApp1(exif));
    const std::string path = (dir_ / ("o" + std::to_string(o) + ".jpg")).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    RasterImage decoded;
    TMemoryStream in(bytes);
    ASSERT_TRUE(ReadImageStream(in, decoded));
    TBitmap expected;
    ImageToBitmap(decoded, expected);
    ApplyExifOrientation(expected, o);

    QImageReader reader(QString::fromStdString(path), "imaging");
    reader.setAutoTransform(true);
    const QImage shown = reader.read();
    ASSERT_FALSE(shown.isNull()) << reader.errorString().toStdString();
    ASSERT_EQ(shown.width(), expected.Width());
    ASSERT_EQ(shown.height(), expected.Height());
    int wrong = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x)
        wrong += (shown.pixel(x, y) & 0xFFFFFF) != expected.PixelRGB(x, y);
    EXPECT_EQ(wrong, 0);

    QImageReader plain(QString::fromStdString(path), "imaging");
    plain.setAutoTransform(false);
    EXPECT_EQ(plain.read().size(), QSize(40, 24));
  }
}

}  // namespace
}  // namespace imprimo
