// Text and logos on pictures with an alpha channel: the mark is laid over
// the picture, opaque pixels stay opaque and transparent ones take the mark's
// coverage. Every output is decoded by ImageMagick.
#include <cstdio>
#include <cstring>

#include "app/process_image.h"
#include "pipeline/pipeline_test_util.h"
#include "templates/template_file.h"
#include "templates/template_state.h"

namespace imprimo::testing {
namespace {

constexpr int kW = 200, kH = 80;

// Output formats that keep alpha, by save format index, with how far a
// lossy one may stray, and how far colours of partly transparent pixels may
// stray where the format stores them laid over white.
struct TOutput {
  int saveFormat;
  const char* name;
  int tolerance;
  int matteTolerance = 0;
};
constexpr TOutput kAlphaOutputs[] = {{1, "png", 0},     {7, "tga", 0},  {2, "bmp", 0},
                                     {10, "pam", 0},    {6, "dds", 0},  {3, "mng", 0},
                                     {13, "psd", 0, 2}, {12, "jp2", 12}};

// A text layer at the top left: MMMM in DejaVu Sans, in the given colour
// (0x00BBGGRR), optionally with a shadow.
std::string TextLayer(const std::string& section, const std::string& colour, bool shadow = false) {
  std::string t = "[" + section +
                  "]\r\nEnabled=1\r\nStyle=0\r\nText=MMMM\r\nFontName=DejaVu Sans\r\n"
                  "FontSize=28\r\nFontColor=" +
                  colour +
                  "\r\nAlpha=100\r\nPlaceStyle=0\r\nPosition=1\r\nOffsetX=4\r\nOffsetY=4\r\n";
  if (shadow)
    t += "isShadow=1\r\nShadowColor=0x202020\r\nShadowAlpha=60\r\nShadowBlur=2\r\n"
         "ShadowOffsetX=2\r\nShadowOffsetY=2\r\n";
  return t;
}

// A picture layer at the top left showing logo.png at the given opacity.
std::string LogoLayer(int alpha) {
  return "[Logo]\r\nEnabled=1\r\nStyle=1\r\nPicture=logo.png\r\nAlpha=" + std::to_string(alpha) +
         "\r\nPlaceStyle=0\r\nPosition=1\r\nOffsetX=0\r\nOffsetY=0\r\n";
}

struct TRun {
  TRunEnv env;
  TRecordingHost host;
  int status = -1;
  TImageResult result;

  void UseTemplate(const std::string& text) {
    WriteText(env.templatePath, text);
    env.work.Template.TemplateDoc = OpenTemplateFile(env.templatePath);
    PrepareLayers(env.work.Template, env.scratch / "Watermarks/");
  }
  void Process(const std::string& path, int saveFormat) {
    env.settings.SaveFormat = saveFormat;
    env.settings.OverwriteOutput = true;
    host.rows.clear();
    host.AddPaths({path});
    result = ProcessImage(path, 0, status, env.context, host);
    ASSERT_EQ(status, kStatusSucceeded) << result.Reason;
    ASSERT_TRUE(result.Warnings.empty()) << result.Warnings.front();
  }
};

// A file's first image as 8-bit R, G, B, A through ImageMagick, when it has
// the size the tests write.
bool DecodeRgba(const std::string& path, std::vector<uint8_t>& rgba) {
  TMagickPicture picture;
  if (!MagickRead(path, picture, {.AutoOrient = true}) || picture.Width != kW ||
      picture.Height != kH)
    return false;
  rgba = std::move(picture.Samples);
  return true;
}

// A kW x kH A8R8G8B8 picture: a colour gradient whose alpha is given by
// alphaAt(x, y).
template <typename F>
void WriteRgbaSource(const std::string& path, F alphaAt) {
  RasterImage image;
  ImageCreate(image, kW, kH, ifA8R8G8B8);
  for (int y = 0; y < kH; ++y) {
    uint8_t* p = image.Row(y);
    for (int x = 0; x < kW; ++x, p += 4) {
      p[0] = static_cast<uint8_t>(40 + x / 2);  // B
      p[1] = static_cast<uint8_t>(60 + y);      // G
      p[2] = 30;                                // R
      p[3] = alphaAt(x, y);
    }
  }
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("png", stream, image));
  const std::vector<uint8_t>& png = stream.Data();
  ASSERT_EQ(png.at(25), 6) << "the source is meant to be an RGBA PNG";
  WriteBytes(path, png);
}

// Pixels of the text box (top left) that show the red ink.
int RedInk(const std::vector<uint8_t>& rgba) {
  int n = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 110; ++x) {
      const uint8_t* p = &rgba[(size_t(y) * kW + x) * 4];
      if (p[0] > 200 && p[1] < 60 && p[2] < 60) ++n;
    }
  return n;
}

int MinAlpha(const std::vector<uint8_t>& rgba) {
  int m = 255;
  for (size_t i = 3; i < rgba.size(); i += 4) m = std::min<int>(m, rgba[i]);
  return m;
}

TEST(AlphaMarks, TextOnAnOpaqueRgbaPictureKeepsItOpaqueInEveryFormat) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TRun r;
  r.UseTemplate(TextLayer("Text", "0x0000FF", true));
  WriteRgbaSource(r.env.Src("a.png"), [](int, int) { return uint8_t{255}; });
  for (const TOutput& o : kAlphaOutputs) {
    SCOPED_TRACE(o.name);
    r.Process(r.env.Src("a.png"), o.saveFormat);
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(DecodeRgba(r.result.OutputPath, rgba));
    EXPECT_GE(MinAlpha(rgba), 255 - o.tolerance);
    EXPECT_GT(RedInk(rgba), 100);
  }
}

// Writes a 64 x 32 logo: pure blue whose alpha runs 0..255 from left to
// right (alpha = 4x + x / 16, so 0 at x = 0 and 255 at x = 63).
void WriteRampLogo(TRun& r) {
  RasterImage logo;
  ImageCreate(logo, 64, 32, ifA8R8G8B8);
  for (int y = 0; y < 32; ++y) {
    uint8_t* p = logo.Row(y);
    for (int x = 0; x < 64; ++x, p += 4) {
      p[0] = 255, p[1] = 0, p[2] = 0;
      p[3] = static_cast<uint8_t>(4 * x + x / 16);
    }
  }
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("png", stream, logo));
  WriteBytes(r.env.scratch / "Watermarks/logo.png", stream.Data());
}

TEST(AlphaMarks, LogoWithGradedAlphaOnAnOpaquePhotoStaysOpaque) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  for (int opacity : {100, 75}) {
    SCOPED_TRACE(opacity);
    TRun r;
    WriteRampLogo(r);
    r.UseTemplate(LogoLayer(opacity));
    WritePicture(r.env.Src("photo.png"), kW, kH, "png");
    RasterImage photo;
    ASSERT_TRUE(ReadImageFile(r.env.Src("photo.png"), photo));
    for (const TOutput& o : kAlphaOutputs) {
      if (o.tolerance) continue;  // the colours are checked exactly
      SCOPED_TRACE(o.name);
      r.Process(r.env.Src("photo.png"), o.saveFormat);
      std::vector<uint8_t> rgba;
      ASSERT_TRUE(DecodeRgba(r.result.OutputPath, rgba));
      EXPECT_EQ(MinAlpha(rgba), 255);
      // Along one row of the logo the blue moves toward the logo by its
      // effective alpha, rounded.
      const int m = opacity * 255 / 100;
      for (int x = 0; x < 64; ++x) {
        const int A = 4 * x + x / 16;
        const int a = m == 255 ? A : ((A + 1) * m) >> 8;
        const uint8_t* src = photo.Row(10) + 3 * x;  // B, G, R
        const uint8_t* out = &rgba[(size_t(10) * kW + x) * 4];
        const int blue = src[0] + ((255 - src[0]) * a + 127) / 255;
        const int red = src[2] - (src[2] * a + 127) / 255;
        ASSERT_EQ(out[2], blue) << "x " << x;
        ASSERT_EQ(out[0], red) << "x " << x;
      }
    }
  }
}

TEST(AlphaMarks, TextAfterALogoAndALogoAfterTextKeepThePictureOpaque) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  for (bool textFirst : {false, true}) {
    SCOPED_TRACE(textFirst ? "text, logo" : "logo, text");
    TRun r;
    WriteRampLogo(r);
    const std::string text = TextLayer("Caption", "0x0000FF", true);
    r.UseTemplate(textFirst ? text + LogoLayer(40) : LogoLayer(40) + text);
    WritePicture(r.env.Src("photo.jpg"), kW, kH, "jpg");
    for (const TOutput& o : kAlphaOutputs) {
      SCOPED_TRACE(o.name);
      r.Process(r.env.Src("photo.jpg"), o.saveFormat);
      std::vector<uint8_t> rgba;
      ASSERT_TRUE(DecodeRgba(r.result.OutputPath, rgba));
      EXPECT_GE(MinAlpha(rgba), 255 - o.tolerance);
      EXPECT_GT(RedInk(rgba), 50);
    }
  }
}

TEST(AlphaMarks, OverTransparentPixelsTheTextsCoverageBecomesAlpha) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  // The coverage of each pixel, read from the same text drawn white on an
  // opaque black picture, where each channel becomes (255 * k) >> 8.
  std::vector<uint8_t> reference;
  {
    TRun r;
    r.UseTemplate(TextLayer("Text", "0xFFFFFF"));
    RasterImage black;
    ImageCreate(black, kW, kH, ifR8G8B8);
    TMemoryStream stream;
    ASSERT_TRUE(WriteImageStream("png", stream, black));
    WriteBytes(r.env.Src("black.png"), stream.Data());
    r.Process(r.env.Src("black.png"), 1);
    ASSERT_TRUE(DecodeRgba(r.result.OutputPath, reference));
  }
  // Left half transparent, right half half-transparent.
  TRun r;
  r.UseTemplate(TextLayer("Text", "0x0000FF"));
  WriteRgbaSource(r.env.Src("h.png"), [](int x, int) { return uint8_t(x < 60 ? 0 : 128); });
  for (const TOutput& o : kAlphaOutputs) {
    if (o.tolerance) continue;
    SCOPED_TRACE(o.name);
    r.Process(r.env.Src("h.png"), o.saveFormat);
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(DecodeRgba(r.result.OutputPath, rgba));
    int inked = 0, solid = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const size_t i = (size_t(y) * kW + x) * 4;
        const int gray = reference[i];
        const uint8_t* p = &rgba[i];
        if (x < 60) {
          // gray is k - 1 for a partial coverage k, 255 for full coverage
          // (and 0 for k = 1 as well as for no coverage).
          const int k = gray == 0 || gray == 255 ? gray : gray + 1;
          if (gray == 0)
            ASSERT_LE(p[3], 1) << x << "," << y;
          else
            ASSERT_EQ(p[3], k) << x << "," << y;
          if (p[3] > 0) {
            ++inked;
            if (k == 255) ++solid;
            const int t = o.matteTolerance;
            ASSERT_TRUE(p[0] >= 255 - t && p[1] <= t && p[2] <= t)
                << x << "," << y << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
          }
        } else {
          ASSERT_GE(p[3], 128) << x << "," << y;
          if (gray > 0) {
            ASSERT_GT(p[3], 128) << x << "," << y;
          }
        }
      }
    EXPECT_GT(inked, 50);
    EXPECT_GT(solid, 20);
    int code = -1;
    EXPECT_EQ(RunCommandText("identify -format '%[opaque] %A' " +
                                 Quote(r.result.OutputPath + "[0]") + " 2>/dev/null",
                             &code),
              "false True");
  }
}

TEST(AlphaMarks, ThirtyTwoBitBmpWithoutAlphaStaysVisible) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  // A 32-bit BMP whose fourth bytes are zero padding, as many programs write.
  std::vector<uint8_t> bmp(54 + size_t(kW) * kH * 4, 0);
  auto le32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  bmp[0] = 'B', bmp[1] = 'M';
  le32(2, static_cast<uint32_t>(bmp.size()));
  le32(10, 54);
  le32(14, 40);
  le32(18, kW);
  le32(22, kH);
  bmp[26] = 1, bmp[28] = 32;
  for (size_t i = 54; i < bmp.size(); i += 4) bmp[i] = 90, bmp[i + 1] = 120, bmp[i + 2] = 30;
  TRun r;
  r.UseTemplate(TextLayer("Text", "0x0000FF"));
  WriteBytes(r.env.Src("x.bmp"), bmp);
  for (int saveFormat : {1, 7}) {  // PNG, TGA
    SCOPED_TRACE(saveFormat);
    r.Process(r.env.Src("x.bmp"), saveFormat);
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(DecodeRgba(r.result.OutputPath, rgba));
    EXPECT_EQ(MinAlpha(rgba), 255);
    EXPECT_GT(RedInk(rgba), 100);
    EXPECT_EQ(rgba[(size_t(70) * kW + 150) * 4 + 1], 120);
  }
}

}  // namespace
}  // namespace imprimo::testing
