#include "templates/template_state.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "imaging/file_format.h"
#include "platform/text.h"
#include "templates/template_file.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

TEST(SequenceStart, FirstMatchOfTheVariable) {
  EXPECT_EQ(FindSequenceStart(u"No. {$S007}"), 7);
  EXPECT_EQ(FindSequenceStart(u"{$Sabc}"), 0);
  EXPECT_EQ(FindSequenceStart(u"{$S5} and {$S100}"), 5);
  EXPECT_EQ(FindSequenceStart(u"{$s5} {$S} {$S 5} {$S5"), std::nullopt);
  EXPECT_EQ(FindSequenceStart(u"{$S1/2} {$S3}"), 0);  // the first match counts
  EXPECT_EQ(FindSequenceStart(u"{$S{$S42}"), 42);
  EXPECT_EQ(FindSequenceStart(u"{$S99999999999}"), 0);  // beyond 32 bits
  EXPECT_EQ(FindSequenceStart(u""), std::nullopt);
}

class TemplateFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("imprimo_tpl_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    folder_ = dir_.string() + "/";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Open(const std::string& text) {
    const std::string path = folder_ + "t.wg";
    std::ofstream(path, std::ios::binary) << text;
    state_.TemplateDoc = OpenTemplateFile(path);
    PrepareLayers(state_, folder_);
  }
  // A solid red 6 x 4 PNG logo.
  void WriteLogo(const std::string& name) {
    RasterImage img;
    ImageCreate(img, 6, 4, ifR8G8B8);
    for (int i = 0; i < 6 * 4; ++i) img.Bits[i * 3 + 2] = 255;
    ASSERT_TRUE(WriteImageFile(folder_ + name, img));
  }
  static TBitmap Black(int w, int h) { return TBitmap(w, h, TPixelFormat::pf24bit); }
  static int CountRed(const TBitmap& b) {
    int n = 0;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) n += b.PixelRGB(x, y) == 0xFF0000;
    return n;
  }

  fs::path dir_;
  std::string folder_;
  TTemplateState state_;
};

TEST_F(TemplateFiles, SequenceStartFromTheLastEnabledTextLayer) {
  Open("[A]\r\nText={$S5}\r\n[B]\r\nText=#{$S100}\r\n");
  EXPECT_EQ(state_.WatermarkSequence, 100);
  Open("[A]\r\nText={$S007}\r\n");
  EXPECT_EQ(state_.WatermarkSequence, 7);
  Open("[A]\r\nText={$Sabc}\r\n");
  EXPECT_EQ(state_.WatermarkSequence, 0);
  Open("[A]\r\nEnabled=0\r\nText={$S5}\r\n[B]\r\nText=plain\r\n");
  EXPECT_EQ(state_.WatermarkSequence, -1);
  // A picture layer's text does not count.
  Open("[A]\r\nText={$S3}\r\n[P]\r\nStyle=1\r\nText={$S9}\r\n");
  EXPECT_EQ(state_.WatermarkSequence, 3);
}

TEST_F(TemplateFiles, LogosLoadOncePerSlotAndMissingOnesSkipOnlyTheirLayer) {
  WriteLogo("logo.png");
  Open(
      "[Missing]\r\nStyle=1\r\nPicture=nothere.png\r\nAlpha=100\r\nPosition=1\r\n"
      "[Text]\r\nText=\r\n"
      "[Logo]\r\nStyle=1\r\nPicture=C:\\Elsewhere\\logo.png\r\nAlpha=100\r\nPosition=1\r\n"
      "[Off]\r\nEnabled=0\r\nStyle=1\r\nPicture=logo.png\r\n");
  ASSERT_EQ(state_.LayerSections.size(), 4u);
  ASSERT_EQ(state_.LogoList.size(), 4u);
  EXPECT_TRUE(state_.LogoList[0]->Empty());
  EXPECT_TRUE(state_.LogoList[1]->Empty());
  EXPECT_EQ(state_.LogoList[2]->Width(), 6);
  EXPECT_TRUE(state_.LogoList[3]->Empty());

  TBitmap img = Black(20, 10);
  ApplyTemplate(state_, img, "photo.jpg");
  EXPECT_EQ(CountRed(img), 24);
  EXPECT_EQ(img.PixelRGB(5, 3), 0xFF0000u);
  // The loaded logo stays for the next image.
  TBitmap next = Black(20, 10);
  ApplyTemplate(state_, next, "photo2.jpg");
  EXPECT_EQ(CountRed(next), 24);
}

TEST_F(TemplateFiles, LogoAlphaFromThePngMultipliesWithTheLayerAlpha) {
  RasterImage img;
  ImageCreate(img, 2, 1, ifA8R8G8B8);
  const uint8_t px[8] = {255, 255, 255, 128, 255, 255, 255, 255};
  std::copy(px, px + 8, img.Bits.get());
  ASSERT_TRUE(WriteImageFile(folder_ + "alpha.png", img));
  Open("[Logo]\r\nStyle=1\r\nPicture=alpha.png\r\nAlpha=50\r\nPosition=1\r\n");
  TBitmap b = Black(2, 1);
  ApplyTemplate(state_, b, "x.jpg");
  EXPECT_EQ(b.PixelRGB(0, 0) & 0xFF, 63u);   // (129 * 127) >> 8
  EXPECT_EQ(b.PixelRGB(1, 0) & 0xFF, 127u);  // (256 * 127) >> 8
}

TEST_F(TemplateFiles, EmptyAndMissingTemplatesPaintNothing) {
  Open("; nothing but a comment\r\n");
  EXPECT_TRUE(state_.LayerSections.empty());
  TBitmap img = Black(8, 8);
  const TBitmap before = img;
  ApplyTemplate(state_, img, "x.jpg");
  EXPECT_EQ(img, before);

  TTemplateState none;
  PrepareLayers(none, folder_);
  EXPECT_EQ(none.WatermarkSequence, -1);
  ApplyTemplate(none, img, "x.jpg");
  EXPECT_EQ(img, before);

  // A section without keys is a text layer with no text: not painted.
  Open("[Empty]\r\n");
  ApplyTemplate(state_, img, "x.jpg");
  EXPECT_EQ(img, before);
}

TEST_F(TemplateFiles, TextAndPictureLayersPaintInFileOrder) {
  WriteLogo("logo.png");
  // The text layer lies under the logo, which covers the top-left corner.
  Open(
      "[Text]\r\nText=WWWW\r\nFontName=Liberation Sans\r\nFontSize=20\r\nAlpha=100\r\n"
      "PlaceStyle=1\r\nFontColor=$FFFFFF\r\n"
      "[Logo]\r\nStyle=1\r\nPicture=logo.png\r\nAlpha=100\r\nPosition=1\r\n"
      "[Off]\r\nEnabled=0\r\nText=never\r\n");
  TBitmap img = Black(120, 60);
  ApplyTemplate(state_, img, "photo.jpg");
  int white = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 120; ++x) white += img.PixelRGB(x, y) == 0xFFFFFF;
  EXPECT_GT(white, 50);          // the tiled text was painted
  EXPECT_EQ(CountRed(img), 24);  // the logo on top of it, whole
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(img.PixelRGB(x, y), 0xFF0000u);

  // Without the text layer's text the result is only the logo.
  Open(
      "[Text]\r\nText=\r\n[Logo]\r\nStyle=1\r\nPicture=logo.png\r\nAlpha=100\r\n"
      "Position=1\r\n");
  TBitmap only = Black(120, 60);
  ApplyTemplate(state_, only, "photo.jpg");
  EXPECT_EQ(CountRed(only), 24);
  EXPECT_EQ(
      CountRed(only) +
          [&] {
            int n = 0;
            for (int y = 0; y < 60; ++y)
              for (int x = 0; x < 120; ++x) n += only.PixelRGB(x, y) == 0;
            return n;
          }(),
      120 * 60);
}

TEST_F(TemplateFiles, BadLogosAndManySections) {
  std::ofstream(folder_ + "corrupt.png", std::ios::binary) << "\x89PNG\r\n\x1a\nrubbish";
  std::ofstream(folder_ + "folder.png");
  fs::remove(folder_ + "folder.png");
  fs::create_directories(folder_ + "folder.png");
  Open(
      "[A]\r\nStyle=1\r\nPicture=corrupt.png\r\n[B]\r\nStyle=1\r\nPicture=folder.png\r\n"
      "[C]\r\nStyle=1\r\nPicture=\r\n");
  ASSERT_EQ(state_.LogoList.size(), 3u);
  for (const auto& logo : state_.LogoList) EXPECT_TRUE(logo->Empty());

  // Ten thousand layers naming one logo share a single decoded bitmap.
  WriteLogo("logo.png");
  std::string many;
  for (int i = 0; i < 10000; ++i)
    many += "[L" + std::to_string(i) + "]\r\nStyle=1\r\nPicture=logo.png\r\nAlpha=100\r\n";
  Open(many);
  EXPECT_EQ(state_.LayerSections.size(), 10000u);
  ASSERT_EQ(state_.LogoList.size(), 10000u);
  EXPECT_EQ(state_.LogoList[0]->Width(), 6);
  EXPECT_EQ(state_.LogoList[0].get(), state_.LogoList[9999].get());
  TBitmap img = Black(4, 4);
  ApplyTemplate(state_, img, "x.jpg");
  EXPECT_EQ(CountRed(img), 16);
}

}  // namespace
}  // namespace imprimo
