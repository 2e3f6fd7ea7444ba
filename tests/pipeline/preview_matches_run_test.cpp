// The window's preview makes the picture the run writes: the same steps in
// the same order, the marks showing the output name the run gives the row.
#include "app/picture_pipeline.h"
#include "app/render_preview.h"
#include "imaging/bitmap_conversion.h"
#include "pipeline/pipeline_test_util.h"
#include "templates/template_file.h"

namespace imprimo::testing {
namespace {

// A 24 x 16 logo, half transparent blue.
void WriteLogo(const std::string& path) {
  RasterImage logo;
  ImageCreate(logo, 24, 16, ifA8R8G8B8);
  for (int i = 0; i < 24 * 16; ++i) logo.Bits[4 * i] = 255, logo.Bits[4 * i + 3] = 128;
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("png", stream, logo));
  WriteBytes(path, stream.Data());
}

TBitmap DecodedFile(const std::string& path) {
  RasterImage image;
  EXPECT_TRUE(ReadImageFile(path, image)) << path;
  TBitmap bitmap;
  ImageToBitmap(image, bitmap);
  return bitmap;
}

// Two rows (one turned by its EXIF orientation) through every output format
// with a size restriction, a border added around the picture, a renaming
// serial and marks next to the border: each previewed row equals the file
// the run wrote, decoded. Lossy formats go through the same encoder with
// the same options in both, and their decoded pixels are compared exactly
// too: what the preview shows is what the file holds.
TEST(PreviewMatchesRun, EveryOutputFormatShowsThePixelsTheRunWrites) {
  TRunEnv env;
  TRecordingHost host;
  samples::TExifFields turned;
  turned.Orientation = 6;
  WritePicture(env.Src("turned.jpg"), 96, 60, "jpg", true, turned);
  WritePicture(env.Src("plain.png"), 90, 70, "png");
  WriteLogo(env.scratch / "Watermarks/logo.png");
  WriteText(env.templatePath,
            "[Name]\r\nText={$FEU}\r\nFontName=DejaVu Sans\r\nFontSize=9\r\nFontColor=0xFFFFFF\r\n"
            "Alpha=100\r\nPosition=1\r\n"
            "[Logo]\r\nStyle=1\r\nPicture=logo.png\r\nAlpha=90\r\nPosition=9\r\n");
  TSettings& s = env.settings;
  s.AutoRotate = true;
  s.Resize = true;
  s.NewWidth = 80;
  s.NewHeight = 80;
  s.DrawBorder = true;
  s.BorderTopWidth = s.BorderLeftWidth = 6;
  s.BorderRightWidth = s.BorderBottomWidth = 2;
  s.BorderColor = 0x0000FF;
  s.BorderPosition = false;  // a margin added around the picture
  s.Rename = true;
  s.RenameTpl = "Shot-##";
  s.RenameNo = 7;
  s.OverwriteOutput = true;
  env.AddFiles(host, {env.Src("plain.png"), env.Src("turned.jpg")});

  TTemplateState tpl;
  tpl.TemplateDoc = OpenTemplateFile(env.templatePath);
  PrepareLayers(tpl, env.scratch / "Watermarks/");
  for (int format = 0; format < kSaveFormatCount; ++format) {
    SCOPED_TRACE("format " + std::string(SaveFormatInfo(format).extension));
    s.SaveFormat = format;
    s.RenameNo = 7;
    host.results.clear();
    RunBatch(env.context, host);
    ASSERT_EQ(host.results.size(), 2u);
    for (int row = 0; row < 2; ++row) {
      const TImageResult& written = host.results[row];
      ASSERT_FALSE(written.OutputPath.empty()) << written.Reason;
      EXPECT_TRUE(written.Warnings.empty()) << written.Warnings.front();
      s.RenameNo = 7;
      TBitmap preview;
      std::string reason;
      ASSERT_TRUE(RenderPreviewPicture(host.RowText(row), s, tpl, preview, &reason, row)) << reason;
      const TBitmap file = DecodedFile(written.OutputPath);
      ASSERT_EQ(preview.Width(), file.Width()) << written.OutputPath;
      ASSERT_EQ(preview.Height(), file.Height()) << written.OutputPath;
      EXPECT_TRUE(preview == file) << written.OutputPath;
    }
  }
}

// The preview's marks show the name the run writes for the row, not the
// source's: another row index gives another serial and other pixels.
TEST(PreviewMatchesRun, TheFileNameVariablesShowTheRowsOutputName) {
  TRunEnv env;
  WritePicture(env.Src("photo.png"), 120, 40, "png");
  WriteTextTemplate(env.templatePath, "{$FEU}");
  TSettings s = env.settings;
  s.SaveFormat = 1;
  s.Rename = true;
  s.RenameTpl = "Shot-##";
  s.RenameNo = 7;
  EXPECT_EQ(MarkedFileName(env.Src("photo.png"), s, 0), "Shot-07.png");
  EXPECT_EQ(MarkedFileName(env.Src("photo.png"), s, 2), "Shot-09.png");
  s.Rename = false;
  s.ChangeCase = 0;
  EXPECT_EQ(MarkedFileName(env.Src("photo.png"), s, 2), "photo.PNG");

  TTemplateState tpl;
  tpl.TemplateDoc = OpenTemplateFile(env.templatePath);
  PrepareLayers(tpl, env.scratch / "Watermarks/");
  TBitmap named, same;
  ASSERT_TRUE(RenderPreviewPicture(env.Src("photo.png"), s, tpl, named, nullptr, 0));
  ASSERT_TRUE(RenderPreviewPicture(env.Src("photo.png"), s, tpl, same, nullptr, 2));
  EXPECT_TRUE(named == same);  // no serial in the name: the rows look alike
  s.Rename = true;
  TBitmap first, third;
  ASSERT_TRUE(RenderPreviewPicture(env.Src("photo.png"), s, tpl, first, nullptr, 0));
  ASSERT_TRUE(RenderPreviewPicture(env.Src("photo.png"), s, tpl, third, nullptr, 2));
  EXPECT_FALSE(first == third);
  EXPECT_FALSE(first == named);
  // Nothing was written: the preview takes no name.
  EXPECT_TRUE(FilesUnder(env.Out("")).empty());
}

}  // namespace
}  // namespace imprimo::testing
