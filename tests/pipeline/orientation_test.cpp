// Camera pictures whose EXIF Orientation says how to turn the stored rows:
// the output stands upright, the mark lands in the corner the viewer sees,
// and the kept EXIF no longer asks viewers to turn it. Checked with exiftool,
// ImageMagick and Pillow.
#include <cstdio>
#include <cstdlib>

#include "app/process_image.h"
#include "app/upright_picture.h"
#include "imageops/orient.h"
#include "imaging/bitmap_conversion.h"
#include "pipeline/pipeline_test_util.h"
#include "support/corpus_support.h"
#include "templates/template_file.h"

namespace imprimo::testing {
namespace {

constexpr int kW = 160, kH = 120;  // the picture as the viewer sees it

struct TRgb {
  int w = 0, h = 0;
  std::vector<uint8_t> px;  // R, G, B
  const uint8_t* At(int x, int y) const { return &px[(size_t(y) * w + x) * 3]; }
};

// The picture as ImageMagick decodes it, turned by its EXIF when upright.
bool MagickPixels(const std::string& path, bool upright, TRgb& out) {
  TMagickPicture picture;
  if (!MagickRead(path, picture, {.AutoOrient = upright, .Channels = 3})) return false;
  out.w = picture.Width;
  out.h = picture.Height;
  out.px = std::move(picture.Samples);
  return true;
}

// The picture as ImageMagick shows it after turning it by its EXIF.
bool ViewerPixels(const std::string& path, TRgb& out) { return MagickPixels(path, true, out); }

// The stored pixels, not turned.
bool StoredPixels(const std::string& path, TRgb& out) { return MagickPixels(path, false, out); }

std::string ExifTool(const std::string& args, const std::string& path) {
  // Warnings go to stderr; a camera file may come with some of its own.
  std::string out = RunCommandText("exiftool " + args + " " + Quote(path) + " 2>/dev/null");
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// The Python interpreter that has Pillow, or empty.
const std::string& PillowPython() {
  static const std::string python = [] {
    for (const char* py : {"/usr/bin/python3", "python3"})
      if (std::system((std::string(py) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0)
        return std::string(py);
    return std::string();
  }();
  return python;
}

// "width height orientation" as Pillow reads the file (orientation 0 when
// the file has none).
std::string PillowView(const std::string& path) {
  return RunCommandText(PillowPython() +
                        " -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                        "print(im.size[0], im.size[1], im.getexif().get(274, 0))' " +
                        Quote(path) + " 2>&1");
}

// A photo-like picture in blues and purples with a red block in its top-left
// corner; nothing in it is green.
void MakeUprightPicture(RasterImage& image) {
  ImageCreate(image, kW, kH, ifR8G8B8);
  for (int y = 0; y < kH; ++y) {
    uint8_t* p = image.Row(y);
    for (int x = 0; x < kW; ++x, p += 3) {
      const bool corner = x < 24 && y < 24;
      p[0] = corner ? 30 : static_cast<uint8_t>(150 + x * 100 / kW);  // B
      p[1] = corner ? 30 : static_cast<uint8_t>(40 + y * 30 / kH);    // G
      p[2] = corner ? 230 : static_cast<uint8_t>(60 + (x + y) / 3);   // R
    }
  }
}

// Writes a JPEG whose stored pixels, turned as orientation says, give the
// upright picture, and sets the tag with exiftool.
void WriteOrientedJpeg(const std::string& path, int orientation) {
  RasterImage upright;
  MakeUprightPicture(upright);
  TBitmap bmp;
  ImageToBitmap(upright, bmp);
  // Every orientation undoes itself except the two quarter turns.
  const int inverse = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
  ApplyExifOrientation(bmp, inverse);
  RasterImage stored;
  BitmapToImage(bmp, stored);
  SetImagingOption(ImagingJpegQuality, 95);
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("jpg", stream, stored));
  WriteBytes(path, stream.Data());
  ExifTool("-n -Orientation=" + std::to_string(orientation) + " -overwrite_original", path);
  ASSERT_EQ(ExifTool("-n -s3 -Orientation", path), std::to_string(orientation));
}

bool IsMark(const uint8_t* p) { return p[1] > 150 && p[1] > p[0] + 80 && p[1] > p[2] + 80; }
bool IsRed(const uint8_t* p) { return p[0] > 160 && p[1] < 90 && p[2] < 90; }

struct TMarkCount {
  int inside = 0, outside = 0;  // of the bottom-right quarter
};

TMarkCount CountMarks(const TRgb& img, bool (*mark)(const uint8_t*)) {
  TMarkCount c;
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x)
      if (mark(img.At(x, y))) (x >= img.w / 2 && y >= img.h / 2 ? c.inside : c.outside)++;
  return c;
}

struct TRun {
  TRunEnv env;
  TRecordingHost host;
  int status = -1;
  TImageResult result;

  // A short green text in the bottom-right corner.
  void UseCornerMark(int fontSize = 20) {
    WriteText(env.templatePath,
              "[Text]\r\nEnabled=1\r\nStyle=0\r\nText=MK\r\nFontName=DejaVu Sans\r\n"
              "FontSize=" +
                  std::to_string(fontSize) +
                  "\r\nFontColor=0x00FF00\r\nAlpha=100\r\n"
                  "PlaceStyle=0\r\nPosition=9\r\nOffsetX=-4\r\nOffsetY=-4\r\n");
    env.work.Template.TemplateDoc = OpenTemplateFile(env.templatePath);
  }
  void Process(const std::string& path) {
    host.rows.clear();
    host.AddPaths({path});
    result = ProcessImage(path, 0, status, env.context, host);
    ASSERT_EQ(status, kStatusSucceeded) << result.Reason;
  }
};

TEST(Orientation, EveryOrientationComesOutUprightWithTheMarkBottomRight) {
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE("orientation " + std::to_string(o));
    TRun r;
    r.UseCornerMark();
    const std::string src = r.env.Src("o" + std::to_string(o) + ".jpg");
    WriteOrientedJpeg(src, o);
    // The source itself, as a viewer turns it, is the upright picture.
    TRgb seen;
    ASSERT_TRUE(ViewerPixels(src, seen));
    ASSERT_EQ(seen.w, kW);
    ASSERT_EQ(seen.h, kH);
    ASSERT_TRUE(IsRed(seen.At(4, 4)));

    r.Process(src);
    EXPECT_EQ(r.result.OrientationApplied, o != 1);
    const std::string out = r.result.OutputPath;
    EXPECT_EQ(r.host.rows[0].Columns.at(kColNewDimension), DimensionText(kW, kH));
    // Orientation 1 and no error (an error would print a second line).
    EXPECT_EQ(ExifTool("-n -s3 -Orientation -Error", out), "1");

    TRgb shown;
    ASSERT_TRUE(ViewerPixels(out, shown));
    ASSERT_EQ(shown.w, kW);
    ASSERT_EQ(shown.h, kH);
    // The red corner stays where the viewer saw it, the mark is drawn in
    // the bottom-right quarter only, and the rest is the source's picture.
    EXPECT_TRUE(IsRed(shown.At(4, 4)));
    EXPECT_FALSE(IsRed(shown.At(kW - 5, 4)));
    EXPECT_FALSE(IsRed(shown.At(4, kH - 5)));
    const TMarkCount marks = CountMarks(shown, IsMark);
    EXPECT_GT(marks.inside, 60);
    EXPECT_EQ(marks.outside, 0);
    long diff = 0, n = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (x < kW / 2 || y < kH / 2)
          for (int c = 0; c < 3; ++c, ++n) diff += std::abs(shown.At(x, y)[c] - seen.At(x, y)[c]);
    EXPECT_LT(double(diff) / n, 4.0);

    if (!PillowPython().empty()) {
      EXPECT_EQ(PillowView(out), std::to_string(kW) + " " + std::to_string(kH) + " 1\n");
    }
  }
}

TEST(Orientation, AutoRotateOffKeepsTheStoredPixelsAndTheTag) {
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TRun r;
  r.UseCornerMark();
  r.env.settings.AutoRotate = false;
  const std::string src = r.env.Src("six.jpg");
  WriteOrientedJpeg(src, 6);
  r.Process(src);
  EXPECT_FALSE(r.result.OrientationApplied);
  const std::string out = r.result.OutputPath;
  EXPECT_EQ(ExifTool("-n -s3 -Orientation", out), "6");
  TRgb stored;
  ASSERT_TRUE(StoredPixels(out, stored));
  EXPECT_EQ(stored.w, kH);
  EXPECT_EQ(stored.h, kW);
  // The mark sits in the stored picture's bottom-right corner, as before.
  const TMarkCount marks = CountMarks(stored, IsMark);
  EXPECT_GT(marks.inside, 60);
  EXPECT_EQ(marks.outside, 0);
  if (!PillowPython().empty()) {
    EXPECT_EQ(PillowView(out), "120 160 6\n");
  }
}

TEST(Orientation, UprightWithoutKeptExifAndInOtherFormats) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  for (int saveFormat : {0, 1}) {
    SCOPED_TRACE(saveFormat);
    TRun r;
    r.UseCornerMark();
    r.env.settings.KeepExif = false;
    r.env.settings.SaveFormat = saveFormat;
    const std::string src = r.env.Src("eight.jpg");
    WriteOrientedJpeg(src, 8);
    r.Process(src);
    EXPECT_TRUE(r.result.OrientationApplied);
    // No EXIF is written, and the pixels themselves stand upright.
    EXPECT_EQ(ExifTool("-n -s3 -Orientation", r.result.OutputPath), "");
    TRgb stored;
    ASSERT_TRUE(StoredPixels(r.result.OutputPath, stored));
    ASSERT_EQ(stored.w, kW);
    EXPECT_TRUE(IsRed(stored.At(4, 4)));
    const TMarkCount marks = CountMarks(stored, IsMark);
    EXPECT_GT(marks.inside, 60);
    EXPECT_EQ(marks.outside, 0);
  }
}

TEST(Orientation, ResizeAndBorderApplyToTheUprightPicture) {
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  TRun r;
  r.env.settings.Resize = true;
  r.env.settings.NewWidth = 80;
  r.env.settings.NewHeight = 80;
  r.env.settings.ResizeMode = 3;
  r.env.settings.DrawBorder = true;
  r.env.settings.BorderPosition = false;  // outside: 4 pixels added on each side
  const std::string src = r.env.Src("six.jpg");
  WriteOrientedJpeg(src, 6);
  r.Process(src);
  // 160 x 120 upright, restricted to 80 x 60, plus the border.
  EXPECT_EQ(r.host.rows[0].Columns.at(kColNewDimension), DimensionText(88, 68));
}

TEST(Orientation, UprightLoaderForPreviews) {
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  TScratchFolder dir;
  const std::string six = dir / "six.jpg";
  WriteOrientedJpeg(six, 6);
  EXPECT_EQ(SourceOrientation(six), 6);
  TBitmap bmp;
  bool turned = false;
  ASSERT_TRUE(LoadUprightBitmap(six, bmp, true, &turned));
  EXPECT_TRUE(turned);
  EXPECT_EQ(bmp.Width(), kW);
  EXPECT_EQ(bmp.Height(), kH);
  const uint32_t corner = bmp.PixelRGB(4, 4);
  EXPECT_GT((corner >> 16) & 0xFF, 160u);  // red
  ASSERT_TRUE(LoadUprightBitmap(six, bmp, false, &turned));
  EXPECT_FALSE(turned);
  EXPECT_EQ(bmp.Width(), kH);

  WriteText(dir / "not.jpg", "no picture here");
  EXPECT_FALSE(LoadUprightBitmap(dir / "not.jpg", bmp));
  EXPECT_TRUE(bmp.Empty());
  EXPECT_FALSE(LoadUprightBitmap(dir / "missing.jpg", bmp));
  EXPECT_EQ(SourceOrientation(dir / "missing.jpg"), 0);
}

TEST(Orientation, CameraFileUnderAnotherNameIsStillTurned) {
  TRun r;
  samples::TExifFields exif;
  exif.Orientation = 8;
  WritePicture(r.env.Src("cam.jfif"), 60, 40, "jpg", true, exif);
  r.Process(r.env.Src("cam.jfif"));
  EXPECT_TRUE(r.result.OrientationApplied);
  EXPECT_EQ(r.host.rows[0].Columns.at(kColNewDimension), DimensionText(40, 60));
  EXPECT_EQ(SourceOrientation(r.env.Src("cam.jfif")), 8);
  // A PNG or a truncated JPEG has no orientation to give.
  WritePicture(r.env.Src("flat.png"), 60, 40, "png");
  EXPECT_EQ(SourceOrientation(r.env.Src("flat.png")), 0);
  WriteText(r.env.Src("cut.jpg"), std::string("\xFF\xD8\xFF\xE1\x00", 5));
  EXPECT_EQ(SourceOrientation(r.env.Src("cut.jpg")), 0);
}

TEST(Orientation, BadOrientationValuesLeaveThePictureAsStored) {
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  for (int bad : {0, 9, 65535}) {
    SCOPED_TRACE(bad);
    TRun r;
    const std::string src = r.env.Src("bad.jpg");
    WriteOrientedJpeg(src, 1);
    ExifTool("-n -Orientation=" + std::to_string(bad) + " -overwrite_original", src);
    ASSERT_EQ(ExifTool("-n -s3 -Orientation", src), std::to_string(bad));
    r.Process(src);
    EXPECT_FALSE(r.result.OrientationApplied);
    EXPECT_EQ(r.host.rows[0].Columns.at(kColNewDimension), DimensionText(kW, kH));
    // The odd value is carried over as it was; nothing is invented.
    EXPECT_EQ(ExifTool("-n -s3 -Orientation", r.result.OutputPath), std::to_string(bad));
  }
}

TEST(Orientation, CameraFileFromTheCorpus) {
  const std::string src =
      std::string(IMPRIMO_CORPUS_DIR) + "/exif/exif-samples/phone-hdr/canon_hdr_NO.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(src);
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TRun r;
  r.UseCornerMark(120);
  fs::copy_file(src, r.env.Src("canon.jpg"));
  ASSERT_EQ(ExifTool("-n -s3 -Orientation", r.env.Src("canon.jpg")), "6");
  r.Process(r.env.Src("canon.jpg"));
  EXPECT_TRUE(r.result.OrientationApplied);
  const std::string out = r.result.OutputPath;
  EXPECT_EQ(ExifTool("-n -s3 -Orientation -Make -Error", out), "1\nCanon");

  TRgb seen, shown;
  ASSERT_TRUE(ViewerPixels(r.env.Src("canon.jpg"), seen));
  ASSERT_TRUE(ViewerPixels(out, shown));
  ASSERT_EQ(shown.w, seen.w);
  ASSERT_EQ(shown.h, seen.h);
  EXPECT_LT(shown.w, shown.h);  // a portrait once turned
  // Where the output differs much from the turned source, the mark is.
  TMarkCount changed;
  for (int y = 0; y < shown.h; ++y)
    for (int x = 0; x < shown.w; ++x) {
      int d = 0;
      for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(shown.At(x, y)[c] - seen.At(x, y)[c]));
      if (d > 100) (x >= shown.w / 2 && y >= shown.h / 2 ? changed.inside : changed.outside)++;
    }
  EXPECT_GT(changed.inside, 2000);
  EXPECT_LT(changed.outside, shown.w * shown.h / 2000);
  if (!PillowPython().empty()) {
    EXPECT_EQ(PillowView(out), std::to_string(shown.w) + " " + std::to_string(shown.h) + " 1\n");
  }
}

}  // namespace
}  // namespace imprimo::testing
