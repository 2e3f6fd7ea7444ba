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

  const std::vector<TPreparedLayer>& Layers() const { return state_.Prepared->Layers; }
  const TBitmap32& Logo(size_t i) const { return *Layers().at(i).Logo; }
  const TBitmap32& Texture(size_t i) const { return *Layers().at(i).Texture; }

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
  ASSERT_EQ(Layers().size(), 4u);
  EXPECT_TRUE(Logo(0).Empty());
  EXPECT_TRUE(Logo(1).Empty());
  EXPECT_EQ(Logo(2).Width(), 6);
  EXPECT_TRUE(Logo(3).Empty());

  TBitmap img = Black(20, 10);
  // Only the missing logo is named, by its file, so the template can be mended.
  EXPECT_EQ(
      ApplyTemplate(state_, img, "photo.jpg"),
      std::vector<std::string>{"layer Missing: the logo nothere.png is missing or unreadable"});
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
  EXPECT_TRUE(Layers().empty());
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
  ASSERT_EQ(Layers().size(), 3u);
  for (const TPreparedLayer& layer : Layers()) EXPECT_TRUE(layer.Logo->Empty());

  // Ten thousand layers naming one logo share a single decoded bitmap.
  WriteLogo("logo.png");
  std::string many;
  for (int i = 0; i < 10000; ++i)
    many += "[L" + std::to_string(i) + "]\r\nStyle=1\r\nPicture=logo.png\r\nAlpha=100\r\n";
  Open(many);
  ASSERT_EQ(Layers().size(), 10000u);
  EXPECT_EQ(Logo(0).Width(), 6);
  EXPECT_EQ(&Logo(0), &Logo(9999));
  TBitmap img = Black(4, 4);
  ApplyTemplate(state_, img, "x.jpg");
  EXPECT_EQ(CountRed(img), 16);
}

// Counts of a picture's inked pixels by their leading colour.
struct TInk {
  int white = 0, red = 0, green = 0, blue = 0;
};
TInk CountInk(const TBitmap& b) {
  TInk ink;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const uint32_t c = b.PixelRGB(x, y);
      const int r = (c >> 16) & 255, g = (c >> 8) & 255, bl = c & 255;
      if (r > 200 && g > 200 && bl > 200)
        ++ink.white;
      else if (r > 60 && r > 2 * g && r > 2 * bl)
        ++ink.red;
      else if (g > 60 && g > 2 * r && g > 2 * bl)
        ++ink.green;
      else if (bl > 60 && bl > 2 * r && bl > 2 * g)
        ++ink.blue;
    }
  return ink;
}

TEST_F(TemplateFiles, TexturedTextTakesTheTexturesColours) {
  // Red and green stripes, two pixels each.
  RasterImage img;
  ImageCreate(img, 4, 4, ifR8G8B8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) img.Bits[(y * 4 + x) * 3 + (x < 2 ? 2 : 1)] = 255;
  ASSERT_TRUE(WriteImageFile(folder_ + "stripes.png", img));
  const std::string layer =
      "[T]\r\nText=WWWW\r\nFontName=DejaVu Sans\r\nFontSize=30\r\nFontStyle=1\r\n"
      "Alpha=100\r\nPosition=1\r\nFontColor=0xFFFFFF\r\n";

  Open(layer);
  TBitmap plain = Black(140, 50);
  EXPECT_TRUE(ApplyTemplate(state_, plain, "x.jpg").empty());
  const TInk p = CountInk(plain);
  EXPECT_GT(p.white, 100);
  EXPECT_EQ(p.red + p.green, 0);
  // Empty keys draw exactly as none.
  Open(layer + "Texture=\r\nTextureMode=2\r\n");
  TBitmap empty = Black(140, 50);
  EXPECT_TRUE(ApplyTemplate(state_, empty, "x.jpg").empty());
  EXPECT_EQ(empty, plain);

  // Tiled, the letters are red and green where they were white; the texture
  // also wins over a blue gradient.
  for (const char* extra : {"",
                            "Gradient=1\r\nGradientStartColor=0xFF0000\r\n"
                            "GradientEndColor=0xFF0000\r\n"}) {
    Open(layer + "Texture=stripes.png\r\nTextureMode=0\r\n" + extra);
    ASSERT_EQ(Layers().size(), 1u);
    EXPECT_EQ(Texture(0).Width(), 4);
    TBitmap textured = Black(140, 50);
    EXPECT_TRUE(ApplyTemplate(state_, textured, "x.jpg").empty());
    const TInk t = CountInk(textured);
    EXPECT_EQ(t.white, 0) << extra;
    EXPECT_EQ(t.blue, 0) << extra;
    EXPECT_GT(t.red, p.white / 4) << extra;
    EXPECT_GT(t.green, p.white / 4) << extra;
    // Only the letters change: the background stays black.
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 140; ++x)
        if (plain.PixelRGB(x, y) == 0) {
          ASSERT_EQ(textured.PixelRGB(x, y), 0u) << x << "," << y;
        }
  }

  // A texture that is missing, or no picture, draws the plain text and says so.
  std::ofstream(folder_ + "bad.png", std::ios::binary) << "\x89PNG\r\n\x1a\nrubbish";
  for (const char* name : {"gone.png", "bad.png"}) {
    Open(layer + "Texture=" + name + "\r\n");
    TBitmap missing = Black(140, 50);
    const std::vector<std::string> warnings = ApplyTemplate(state_, missing, "x.jpg");
    ASSERT_EQ(warnings.size(), 1u) << name;
    EXPECT_NE(warnings[0].find("texture"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find(name), std::string::npos) << warnings[0];
    EXPECT_EQ(missing, plain) << name;
  }
}

TEST_F(TemplateFiles, TexturesShareTheDecodedFileAndSkipDisabledLayers) {
  WriteLogo("logo.png");
  Open(
      "[A]\r\nText=a\r\nTexture=logo.png\r\n[P]\r\nStyle=1\r\nPicture=logo.png\r\n"
      "[Off]\r\nEnabled=0\r\nText=b\r\nTexture=logo.png\r\n"
      "[Pic]\r\nStyle=1\r\nPicture=logo.png\r\nTexture=logo.png\r\n");
  ASSERT_EQ(Layers().size(), 4u);
  EXPECT_EQ(&Texture(0), &Logo(1));
  EXPECT_EQ(Texture(0).Width(), 6);
  EXPECT_TRUE(Texture(1).Empty());
  EXPECT_TRUE(Texture(2).Empty());
  EXPECT_TRUE(Texture(3).Empty());  // a picture layer has no texture
  EXPECT_TRUE(Logo(0).Empty());     // nor a text layer a logo
}

// What a text layer leaves out reaches the row as one line each, and the
// rest of the layer is still drawn.
TEST_F(TemplateFiles, TextLayersReportWhatTheyLeaveOut) {
  // A text of runaway length is cut when read, without splitting the emoji
  // that straddles the cut.
  std::string runaway(kMaxLayerTextChars - 1, 'W');
  runaway += "\xF0\x9F\x93\xB7" + std::string(5000, 'W');
  Open("[Long]\r\nText=" + runaway +
       "\r\nFontName=DejaVu Sans\r\nFontSize=10\r\nAlpha=100\r\nPlaceStyle=0\r\nPosition=1\r\n"
       "FontColor=$FFFFFF\r\n"
       "[Huge]\r\nText=Studio\r\nFontName=DejaVu Sans\r\nFontSize=5000\r\nAlpha=100\r\n"
       "PlaceStyle=0\r\nPosition=1\r\n");
  TMarkItem item;
  std::vector<std::string> notes;
  ASSERT_TRUE(ReadMarkItem(*state_.TemplateDoc, u"Long", item, &notes));
  ASSERT_EQ(item.Text.size(), kMaxLayerTextChars + 1);  // the emoji is two units
  EXPECT_EQ(item.Text.substr(item.Text.size() - 2), u"\U0001F4F7");
  ASSERT_EQ(notes.size(), 1u);

  TBitmap img = Black(1200, 800);
  const std::vector<std::string> lines = ApplyTemplate(state_, img, "photo.jpg");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "layer Long: the text is longer than 65536 characters; only its first 65536 are "
            "drawn");
  EXPECT_NE(lines[1].find("layer Huge: the text was not drawn"), std::string::npos) << lines[1];
  int white = 0;
  for (int x = 0; x < 1200; ++x) white += img.PixelRGB(x, 8) != 0;
  EXPECT_GT(white, 50);  // the cut text is drawn across the top
}

}  // namespace
}  // namespace imprimo
