// Palette transparency, colour marks on gray and palette sources, and what a
// JPEG output makes of alpha and gray pictures, checked with an independent
// decoder.
#include <cstdio>
#include <cstring>

#include "app/process_image.h"
#include "pipeline/pipeline_test_util.h"
#include "support/corpus_support.h"
#include "templates/template_file.h"

namespace imprimo::testing {
namespace {

struct TRun {
  TRunEnv env;
  TRecordingHost host;
  int status = -1;
  TImageResult result;

  // A red text layer, drawn large so its inner pixels are solid.
  void UseRedText() {
    WriteText(env.templatePath,
              "[Text]\r\nEnabled=1\r\nStyle=0\r\nText=MMMM\r\nFontName=DejaVu Sans\r\n"
              "FontSize=28\r\nFontColor=0x0000FF\r\nAlpha=100\r\n"
              "PlaceStyle=0\r\nPosition=1\r\nOffsetX=2\r\nOffsetY=2\r\n");
    env.work.Template.TemplateDoc = OpenTemplateFile(env.templatePath);
  }
  void Process(const std::string& path, int saveFormat) {
    env.settings.SaveFormat = saveFormat;
    host.rows.clear();
    host.AddPaths({path});
    result = ProcessImage(path, 0, status, env.context, host);
    ASSERT_EQ(status, kStatusSucceeded) << result.Reason;
  }
};

std::string CorpusDir() { return IMPRIMO_CORPUS_DIR; }

std::string Identify(const std::string& path, const std::string& format) {
  int code = -1;
  const std::string out = RunCommandText(
      "identify -format " + Quote(format) + " " + Quote(path + "[0]") + " 2>/dev/null", &code);
  return code == 0 ? out : std::string("<failed>");
}

// A 64 x 48 palette picture: left half transparent (index 0), right half
// opaque blue (index 1), saved in the format named by ext.
void WriteTransparentPalette(const std::string& path, const std::string& ext) {
  RasterImage image;
  ImageCreate(image, 64, 48, ifIndex8);
  image.Palette[0] = {0, 0, 0, 0};
  image.Palette[1] = {200, 40, 10, 255};  // B, G, R, A
  for (int y = 0; y < 48; ++y)
    for (int x = 32; x < 64; ++x) image.Row(y)[x] = 1;
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream(ext, stream, image));
  WriteBytes(path, stream.Data());
}

// Counts pixels that are clearly red (R high, G and B low) in RGBA bytes.
int RedPixels(const std::vector<uint8_t>& rgba) {
  int n = 0;
  for (size_t i = 0; i + 3 < rgba.size(); i += 4)
    if (rgba[i] > 180 && rgba[i + 1] < 60 && rgba[i + 2] < 60) ++n;
  return n;
}

// Pixels strictly between the background and full red: anti-aliased edges.
int BlendedRedPixels(const std::vector<uint8_t>& rgba) {
  int n = 0;
  for (size_t i = 0; i + 3 < rgba.size(); i += 4)
    if (rgba[i] > rgba[i + 1] + 20 && rgba[i + 1] == rgba[i + 2] && rgba[i + 1] > 30 &&
        rgba[i + 1] < 100)
      ++n;
  return n;
}

TEST(PaletteTransparency, KeptThroughPngAndGifWithAndWithoutAText) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  for (const std::string srcExt : {"png", "gif"}) {
    for (bool withText : {false, true}) {
      for (int saveFormat : {1, 5}) {  // PNG, GIF
        SCOPED_TRACE(srcExt + (withText ? " text " : " plain ") + std::to_string(saveFormat));
        TRun r;
        if (withText) r.UseRedText();
        WriteTransparentPalette(r.env.Src("p." + srcExt), srcExt);
        r.Process(r.env.Src("p." + srcExt), saveFormat);
        int w, h;
        std::vector<uint8_t> rgba;
        ASSERT_TRUE(MagickRgba(r.result.OutputPath, w, h, rgba));
        ASSERT_EQ(w, 64);
        // Bottom rows lie below the text: left transparent, right opaque blue.
        const uint8_t* left = &rgba[(size_t(46) * w + 5) * 4];
        const uint8_t* right = &rgba[(size_t(46) * w + 60) * 4];
        EXPECT_EQ(left[3], 0);
        EXPECT_EQ(right[3], 255);
        EXPECT_EQ(right[0], 10);
        EXPECT_EQ(right[1], 40);
        EXPECT_EQ(right[2], 200);
        if (withText) {
          EXPECT_GT(RedPixels(rgba), 20);
        }
      }
    }
  }
}

TEST(PaletteTransparency, CorpusPaletteWithTrnsStaysTransparentInPng) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  for (const char* name : {"tbbn3p08", "tm3n3p02", "tp1n3p08"}) {
    SCOPED_TRACE(name);
    const std::string src = CorpusDir() + "/png/pngsuite/" + name + ".png";
    IMPRIMO_REQUIRE_CORPUS_PATH(src);
    TRun r;
    r.Process(src, 1);
    // The source's stored samples (some of these files carry a gamma chunk
    // that an outside decoder would apply), against the output as decoded
    // by ImageMagick.
    RasterImage source;
    ASSERT_TRUE(ReadImageFile(src, source));
    ImageConvert(source, ifA8R8G8B8);
    int w, h;
    std::vector<uint8_t> b;
    ASSERT_TRUE(MagickRgba(r.result.OutputPath, w, h, b));
    ASSERT_EQ(w, source.Width);
    ASSERT_EQ(h, source.Height);
    int transparent = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const uint8_t* a = source.Row(y) + x * 4;  // B, G, R, A
        const uint8_t* o = &b[(size_t(y) * w + x) * 4];
        ASSERT_EQ(a[3], o[3]) << "alpha at " << x << "," << y;
        if (a[3] == 0) ++transparent;
        if (a[3] != 0) {
          ASSERT_TRUE(a[2] == o[0] && a[1] == o[1] && a[0] == o[2])
              << "colour at " << x << "," << y;
        }
      }
    }
    EXPECT_GT(transparent, 0);
  }
}

TEST(JpegOutput, TransparentAreasTakeTheFlattenColour) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  for (int32_t flatten : {0x00FFFFFF, 0x0000FF00}) {  // white; green as 0x00BBGGRR
    TRun r;
    r.env.settings.FlattenColor = flatten;
    WriteTransparentPalette(r.env.Src("p.png"), "png");
    r.Process(r.env.Src("p.png"), 0);
    int w, h;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(MagickRgba(r.result.OutputPath, w, h, rgba));
    const uint8_t* left = &rgba[(size_t(24) * w + 5) * 4];
    if (flatten == 0x00FFFFFF) {
      EXPECT_GT(left[0], 245);
      EXPECT_GT(left[1], 245);
      EXPECT_GT(left[2], 245);
    } else {
      EXPECT_LT(left[0], 10);
      EXPECT_GT(left[1], 245);
      EXPECT_LT(left[2], 10);
    }
  }
}

TEST(GraySources, RedTextStaysRedAndAntiAliased) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  struct Case {
    const char* name;
    TImageFormat format;
    const char* ext;
    int saveFormat;
  };
  for (const Case c : {Case{"g.jpg", ifGray8, "jpg", 1}, Case{"g.png", ifGray8, "png", 1},
                       Case{"i.png", ifIndex8, "png", 1}, Case{"g2.png", ifGray8, "png", 0}}) {
    SCOPED_TRACE(c.name);
    TRun r;
    r.UseRedText();
    RasterImage image;
    ImageCreate(image, 160, 60, c.format);
    if (c.format == ifIndex8) {
      // A small palette holding yellow and a gray, no red.
      image.Palette[0] = {85, 85, 85, 255};
      image.Palette[1] = {0, 255, 255, 255};
    } else {
      for (int y = 0; y < 60; ++y) std::memset(image.Row(y), 85, 160);
    }
    TMemoryStream stream;
    ASSERT_TRUE(WriteImageStream(c.ext, stream, image));
    WriteBytes(r.env.Src(c.name), stream.Data());
    r.Process(r.env.Src(c.name), c.saveFormat);
    int w, h;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(MagickRgba(r.result.OutputPath, w, h, rgba));
    EXPECT_GT(RedPixels(rgba), 50);
    if (c.saveFormat == 1) {
      EXPECT_GT(BlendedRedPixels(rgba), 10);
    }
  }
}

TEST(GraySources, GrayPictureWithoutColourIsAOneComponentJpeg) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TRun r;
  RasterImage image;
  ImageCreate(image, 40, 30, ifGray8);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) image.Row(y)[x] = static_cast<uint8_t>(x * 6);
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("png", stream, image));
  WriteBytes(r.env.Src("g.png"), stream.Data());
  r.Process(r.env.Src("g.png"), 0);
  EXPECT_EQ(Identify(r.result.OutputPath, "%[colorspace]"), "Gray");
  // The same as a PNG output stays gray, pixels unchanged.
  r.Process(r.env.Src("g.png"), 1);
  EXPECT_EQ(Identify(r.result.OutputPath, "%[colorspace] %[channels]"), "Gray gray");
  int w, h;
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(MagickRgba(r.result.OutputPath, w, h, rgba));
  EXPECT_EQ(rgba[(5 * 40 + 10) * 4], 60);
  // An RGB source stays a three-component JPEG even when its pixels are gray.
  TRun rgb;
  ImageCreate(image, 40, 30, ifR8G8B8);
  ASSERT_TRUE(WriteImageStream("png", stream = TMemoryStream(), image));
  WriteBytes(rgb.env.Src("c.png"), stream.Data());
  rgb.Process(rgb.env.Src("c.png"), 0);
  EXPECT_EQ(Identify(rgb.result.OutputPath, "%[colorspace]"), "sRGB");
}

TEST(JpegOutput, SourceDensityAndChosenChromaSamplingAreWritten) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TRun r;
  const std::string src = r.env.Src("c.jpg");
  int code = -1;
  RunCommandText(
      "convert -size 40x30 xc:red -density 300 -units PixelsPerInch " + Quote(src) + " 2>/dev/null",
      &code);
  ASSERT_EQ(code, 0);
  r.Process(src, 0);
  EXPECT_EQ(Identify(r.result.OutputPath, "%x %y %U %[jpeg:sampling-factor]"),
            "300 300 PixelsPerInch 2x2,1x1,1x1");
  r.env.settings.JpegSubsampling = 2;
  r.env.settings.OverwriteOutput = true;
  r.Process(src, 0);
  EXPECT_EQ(Identify(r.result.OutputPath, "%[jpeg:sampling-factor]"), "1x1,1x1,1x1");
  r.env.settings.JpegSubsampling = 1;
  r.Process(src, 0);
  EXPECT_EQ(Identify(r.result.OutputPath, "%[jpeg:sampling-factor]"), "2x1,1x1,1x1");
  // A source without a JFIF header gives the aspect-only default.
  WritePicture(r.env.Src("p.png"), 20, 10, "png");
  r.Process(r.env.Src("p.png"), 0);
  EXPECT_EQ(Identify(r.result.OutputPath, "%U"), "Undefined");
}

}  // namespace
}  // namespace imprimo::testing
