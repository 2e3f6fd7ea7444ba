// Text marks beyond one mask's size and accents above the font's ascent,
// through the whole pipeline and read back with an independent decoder.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "app/process_image.h"
#include "pipeline/pipeline_test_util.h"
#include "templates/template_file.h"

namespace imprimo::testing {
namespace {

// A file's size and its first image as 8-bit R, G, B through ImageMagick,
// reduced by `shrink` in both directions (a JPEG is decoded at that scale).
bool ConverterRgb(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgb,
                  int shrink = 1) {
  if (!MagickSize(path, w, h)) return false;
  const std::string size = std::to_string(w / shrink) + "x" + std::to_string(h / shrink);
  TMagickPicture picture;
  if (!MagickRead(
          path, picture,
          {.Before = "-define jpeg:size=" + size, .After = "-sample " + size + "!", .Channels = 3}))
    return false;
  rgb = std::move(picture.Samples);
  return picture.Width == w / shrink && picture.Height == h / shrink;
}

// A flat grey w x h JPEG.
void WriteGrey(const std::string& path, int w, int h) {
  RasterImage image;
  ImageCreate(image, w, h, ifR8G8B8);
  for (int y = 0; y < h; ++y) std::fill(image.Row(y), image.Row(y) + size_t(w) * 3, uint8_t{128});
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("jpg", stream, image));
  WriteBytes(path, stream.Data());
}

struct TRun {
  TRunEnv env;
  TRecordingHost host;
  int status = -1;
  TImageResult result;

  void UseTemplate(const std::string& layer) {
    WriteText(env.templatePath, "[Text]\r\nEnabled=1\r\nStyle=0\r\n" + layer);
    env.work.Template.TemplateDoc = OpenTemplateFile(env.templatePath);
  }
  void Process(const std::string& path) {
    env.settings.SaveFormat = 0;  // JPEG
    host.AddPaths({path});
    result = ProcessImage(path, 0, status, env.context, host);
    ASSERT_EQ(status, kStatusSucceeded) << result.Reason;
  }
};

bool Red(const uint8_t* p) { return p[0] > 180 && p[1] < 80 && p[2] < 80; }

// A diagonal proof mark whose box is larger than one mask: drawn across the
// picture, with no warning.
TEST(LargeText, ProofMarkAtSixHundredPointsTurnedAcrossABigPhoto) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TRun r;
  r.UseTemplate(
      "Text=PROOF - DO NOT COPY\r\nFontName=DejaVu Sans\r\nFontSize=600\r\n"
      "FontColor=0x0000FF\r\nAlpha=100\r\nAngle=33\r\nPlaceStyle=0\r\nPosition=5\r\n");
  WriteGrey(r.env.Src("big.jpg"), 6000, 4000);
  r.Process(r.env.Src("big.jpg"));
  EXPECT_TRUE(r.result.Warnings.empty());
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  // Read back at a quarter of the size: 1500 x 1000.
  ASSERT_TRUE(ConverterRgb(r.result.OutputPath, w, h, rgb, 4));
  ASSERT_EQ(w, 6000);
  ASSERT_EQ(h, 4000);
  w /= 4, h /= 4;
  // Windows along the text's middle line, from one end of the picture to the
  // other: nearly all hold red ink (a window may fall between two words).
  const double a = 33 * std::numbers::pi / 180;
  int inked = 0, windows = 0;
  for (int t = -800; t <= 800; t += 100) {
    const int cx = static_cast<int>(750 + t * std::cos(a));
    const int cy = static_cast<int>(500 - t * std::sin(a));
    if (cx < 50 || cy < 50 || cx > 1450 || cy > 950) continue;
    ++windows;
    int red = 0;
    for (int y = cy - 50; y < cy + 50; ++y)
      for (int x = cx - 50; x < cx + 50; ++x) red += Red(&rgb[(size_t(y) * w + x) * 3]);
    inked += red > 125;
  }
  EXPECT_GE(windows, 12);
  EXPECT_GE(inked, windows - 2) << inked << " of " << windows;
  // Far from the line the picture is untouched.
  EXPECT_FALSE(Red(&rgb[(size_t(25) * w + 25) * 3]));
  EXPECT_FALSE(Red(&rgb[(size_t(975) * w + 1475) * 3]));
}

// "Élodie" at the top-left keeps its accent: red ink over the "E" stem, in
// the rows above the capital's top.
TEST(LargeText, AccentedCapitalKeepsItsAccentInTheOutput) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  for (const char* text : {"\xC3\x89lodie", "Elodie"}) {
    SCOPED_TRACE(text);
    TRun r;
    r.UseTemplate(std::string("Text=") + text +
                  "\r\nFontName=DejaVu Sans\r\nFontSize=36\r\nFontColor=0x0000FF\r\n"
                  "Alpha=100\r\nPlaceStyle=0\r\nPosition=1\r\nOffsetX=10\r\nOffsetY=10\r\n");
    WriteGrey(r.env.Src("p.jpg"), 300, 120);
    r.Process(r.env.Src("p.jpg"));
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(ConverterRgb(r.result.OutputPath, w, h, rgb));
    // Red rows of the first letter (columns 10..45).
    int top = -1, bottom = -1;
    for (int y = 0; y < h; ++y) {
      int red = 0;
      for (int x = 10; x < 46; ++x) red += Red(&rgb[(size_t(y) * w + x) * 3]);
      if (red == 0) continue;
      if (top < 0) top = y;
      bottom = y;
    }
    ASSERT_GE(top, 0);
    // A 36 pt capital is about 35 pixels tall; the accent adds about 12 more
    // above a gap.
    if (text[0] == 'E')
      EXPECT_LT(bottom - top, 40);
    else
      EXPECT_GT(bottom - top, 42);
  }
}

}  // namespace
}  // namespace imprimo::testing
