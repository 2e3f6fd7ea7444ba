#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/file_format.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/png_codec.h"
#include "imaging_png_jpeg_gif/png_jpeg_gif_util.h"

namespace imprimo {
namespace {

using testutil::SameImage;

// Options are process-wide; every test leaves the defaults behind.
class CodecFormats : public ::testing::Test {
 protected:
  void TearDown() override {
    SetImagingOption(ImagingJpegQuality, 90);
    SetImagingOption(ImagingJpegProgressive, 0);
    SetImagingOption(ImagingPNGPreFilter, 5);
    SetImagingOption(ImagingPNGCompressLevel, 5);
    for (const auto& p : cleanup_) std::filesystem::remove(p);
  }
  std::string Temp(const std::string& name) {
    std::string dir = testutil::TempPath("dir");
    std::filesystem::create_directories(dir);
    std::string p = dir + "/" + name;
    cleanup_.push_back(p);
    return p;
  }
  static std::vector<uint8_t> Save(const char* ext, const RasterImage& img) {
    TMemoryStream s;
    EXPECT_TRUE(WriteImageStream(ext, s, img)) << ext;
    return s.Data();
  }
  static RasterImage Load(const std::vector<uint8_t>& bytes) {
    TMemoryStream s(bytes);
    RasterImage img;
    EXPECT_TRUE(ReadImageStream(s, img));
    return img;
  }
  std::vector<std::string> cleanup_;
};

TEST_F(CodecFormats, RegisteredWithTheirNamesMasksAndOrder) {
  TImageFileFormat* jpeg = FormatByExtension("JPEG");
  TImageFileFormat* png = FormatByExtension("png");
  TImageFileFormat* gif = FormatByExtension("gif");
  ASSERT_TRUE(jpeg && png && gif);
  EXPECT_EQ(jpeg->Name(), "Joint Photographic Experts Group Image");
  EXPECT_EQ(jpeg->Extensions(), (std::vector<std::string>{"jpg", "jpeg", "jfif", "jpe", "jif"}));
  EXPECT_EQ(png->Name(), "Portable Network Graphics");
  EXPECT_EQ(gif->Name(), "Graphics Interchange Format");
  EXPECT_TRUE(gif->IsMultiImage());
  EXPECT_EQ(FormatByFileName("/a/out.JPG"), jpeg);
  const auto& all = ImageFileFormats();
  auto pos = [&](TImageFileFormat* f) {
    return std::find(all.begin(), all.end(), f) - all.begin();
  };
  EXPECT_LT(pos(jpeg), pos(png));
  EXPECT_LT(pos(png), pos(gif));
}

TEST_F(CodecFormats, JpegNamedPngIsFoundByContent) {
  RasterImage img = testutil::PhotoLikeImage(30, 20, 1);
  std::string path = Temp("photo.png");
  TMemoryStream s;
  EncodeJpeg(img, 90, false, s);
  testutil::WriteFileBytes(path, s.Data());
  EXPECT_EQ(DetectFileFormat(path), "jpg");
  RasterImage back;
  ASSERT_TRUE(ReadImageFile(path, back));
  EXPECT_EQ(back.Format, ifR8G8B8);
  EXPECT_EQ(back.Width, 30);
}

TEST_F(CodecFormats, SavesByFileNameWithoutRegardToCase) {
  RasterImage img = testutil::PhotoLikeImage(16, 16, 2);
  std::string path = Temp("out.JPG");
  ASSERT_TRUE(WriteImageFile(path, img));
  std::vector<uint8_t> bytes = testutil::ReadFileBytes(path);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  std::string png = Temp("out.Png");
  ASSERT_TRUE(WriteImageFile(png, img));
  EXPECT_EQ(DetectFileFormat(png), "png");
}

TEST_F(CodecFormats, OutOfRangeOptionsAreStoredThenResetBySaving) {
  RasterImage img = testutil::PhotoLikeImage(24, 24, 3);
  TMemoryStream q90;
  EncodeJpeg(img, 90, false, q90);
  for (int bad : {0, 101}) {
    EXPECT_TRUE(SetImagingOption(ImagingJpegQuality, bad));
    EXPECT_EQ(GetImagingOption(ImagingJpegQuality), bad);
    EXPECT_EQ(Save("jpg", img), q90.Data());
    EXPECT_EQ(GetImagingOption(ImagingJpegQuality), 90);
  }
  EXPECT_TRUE(SetImagingOption(ImagingJpegProgressive, 1));
  std::vector<uint8_t> prog = Save("jpg", img);
  EXPECT_NE(prog, q90.Data());
  EXPECT_TRUE(SetImagingOption(ImagingPNGPreFilter, 7));
  EXPECT_TRUE(SetImagingOption(ImagingPNGCompressLevel, -1));
  Save("png", img);
  EXPECT_EQ(GetImagingOption(ImagingPNGPreFilter), 5);
  EXPECT_EQ(GetImagingOption(ImagingPNGCompressLevel), 5);
  EXPECT_TRUE(SetImagingOption(ImagingPNGCompressLevel, 9));
  Save("png", img);
  EXPECT_EQ(GetImagingOption(ImagingPNGCompressLevel), 9);
}

TEST_F(CodecFormats, AlphaKeptByPngDroppedByJpeg) {
  RasterImage img = testutil::RandomImage(ifA8R8G8B8, 13, 7, 4);
  RasterImage back = Load(Save("png", img));
  EXPECT_TRUE(SameImage(img, back));
  std::vector<uint8_t> jpg = Save("jpg", img);
  back = Load(jpg);
  EXPECT_EQ(back.Format, ifR8G8B8);
  EXPECT_EQ(back.Width, 13);
  // The caller's image is untouched by the conversion for saving.
  EXPECT_EQ(img.Format, ifA8R8G8B8);
}

TEST_F(CodecFormats, PngConvertsOtherFormatsByItsRules) {
  struct Case {
    TImageFormat from, loaded;
  } cases[] = {
      {ifX8R8G8B8, ifR8G8B8}, {ifR5G6B5, ifR8G8B8},       {ifA4R4G4B4, ifA8R8G8B8},
      {ifGray32, ifGray16},   {ifR32F, ifR16G16B16},      {ifA32R32G32B32F, ifA16R16G16B16},
      {ifGray8, ifGray8},     {ifA16Gray16, ifA16Gray16}, {ifIndex8, ifIndex8}};
  for (const Case& c : cases) {
    RasterImage img = testutil::RandomImage(c.from, 5, 4, 7);
    if (c.from == ifR32F || c.from == ifA32R32G32B32F) {
      auto* f = reinterpret_cast<float*>(img.Bits.get());
      for (int32_t i = 0; i < img.Size / 4; ++i) f[i] = float(i % 10) / 10.0f;
    }
    RasterImage back = Load(Save("png", img));
    EXPECT_EQ(back.Format, c.loaded) << "from " << c.from;
  }
}

TEST_F(CodecFormats, GifSavesReducedColoursAndLoadsIndexed) {
  // 200 distinct colours fit the palette exactly.
  RasterImage img;
  ImageCreate(img, 20, 10, ifR8G8B8);
  for (int i = 0; i < 200; ++i) {
    uint8_t* p = img.Bits.get() + 3 * i;
    p[0] = uint8_t(i), p[1] = uint8_t(255 - i), p[2] = uint8_t(i * 7);
  }
  RasterImage back = Load(Save("gif", img));
  ASSERT_EQ(back.Format, ifIndex8);
  for (int i = 0; i < 200; ++i) {
    const TColor32Rec& c = back.Palette[back.Bits[i]];
    EXPECT_EQ(c.B, uint8_t(i));
    EXPECT_EQ(c.G, uint8_t(255 - i));
    EXPECT_EQ(c.R, uint8_t(i * 7));
  }
  RasterImage gray;
  ImageCreate(gray, 9, 9, ifGray8);
  for (int32_t i = 0; i < gray.Size; ++i) gray.Bits[i] = uint8_t(i * 3);
  back = Load(Save("jpg", gray));
  EXPECT_EQ(back.Format, ifGray8);
}

TEST_F(CodecFormats, ContentTestsNeedTheirWholeHeader) {
  auto detect = [](std::vector<uint8_t> bytes) {
    TMemoryStream s(std::move(bytes));
    return DetectStreamFormat(s);
  };
  std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(detect(gif), "gif");
  gif[4] = '8';
  EXPECT_EQ(detect(gif), "");  // GIF88a
  EXPECT_EQ(detect({'G', 'I', 'F', '8', '9', 'a'}), "");
  EXPECT_EQ(detect({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}), "jpg");
  EXPECT_EQ(detect({0xFF, 0xD8, 0xFF}), "");
  EXPECT_EQ(detect(std::vector<uint8_t>(kPngSignature, kPngSignature + 8)), "png");
  EXPECT_EQ(detect({}), "");
  // A recognised but broken file fails the load with the layer's message.
  TMemoryStream s(std::vector<uint8_t>(kPngSignature, kPngSignature + 8));
  RasterImage img;
  EXPECT_THROW(ReadImageStream(s, img), EImagingError);
}

}  // namespace
}  // namespace imprimo
