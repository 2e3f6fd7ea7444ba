#include "designer/designer_preview.h"

#include <gtest/gtest.h>

#include "app/process_image.h"
#include "imageops/bitmap_bridge.h"
#include "imaging/bitmap_conversion.h"
#include "pipeline/pipeline_test_util.h"
#include "platform/text.h"
#include "render/text_layer.h"
#include "templates/template_file.h"
#include "templates/template_state.h"

namespace imprimo::testing {
namespace {

int PngFormatIndex() {
  for (int i = 0; i < kSaveFormatCount; ++i)
    if (std::string(SaveFormatInfo(i).extension) == ".png") return i;
  return -1;
}

// One source through the run's per-image pipeline with the template at path,
// written as PNG; the output decoded.
struct TBatch {
  TRunEnv env;
  TRecordingHost host;

  TBitmap Run(const std::string& templatePath, const std::string& source) {
    env.context.TemplatePath = templatePath;
    env.work.Template = TTemplateState();
    env.work.Template.TemplateDoc = OpenTemplateFile(templatePath);
    PrepareLayers(env.work.Template, fs::path(templatePath).parent_path().string() + "/");
    env.settings.SaveFormat = PngFormatIndex();
    env.settings.OverwriteOutput = true;
    host.rows.clear();
    host.AddPaths({source});
    int status = -1;
    TImageResult r = ProcessImage(source, 0, status, env.context, host);
    EXPECT_EQ(status, kStatusSucceeded) << r.Reason;
    RasterImage image;
    TBitmap out;
    if (!ReadImageFile(r.OutputPath, image)) {
      ADD_FAILURE() << "no output " << r.OutputPath;
      return out;
    }
    ImageToBitmap(image, out);
    return out;
  }
};

// Number of pixels whose colour differs between two pictures of one size.
int64_t Differences(const TBitmap& a, const TBitmap& b, const TRect* inside = nullptr) {
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_EQ(a.Height(), b.Height());
  int64_t n = 0;
  for (int y = 0; y < std::min(a.Height(), b.Height()); ++y)
    for (int x = 0; x < std::min(a.Width(), b.Width()); ++x) {
      if (inside &&
          (x < inside->Left || x >= inside->Right || y < inside->Top || y >= inside->Bottom))
        continue;
      n += a.PixelRGB(x, y) != b.PixelRGB(x, y);
    }
  return n;
}

TMarkItem ShadowText() {
  TMarkItem t;
  t.Text = u"ISO {$EI} #{$S0042}";
  t.FontName = "DejaVu Sans";
  t.FontSize = 22;
  t.FontStyle = 1;
  t.FontColor = 0x20E0FF;
  t.Alpha = 90;
  t.Position = 9;
  t.OffsetX = -12;
  t.OffsetY = -9;
  t.isShadow = true;
  t.ShadowColor = 0x101010;
  t.ShadowAlpha = 70;
  t.ShadowBlur = 3;
  t.ShadowOffsetX = 3;
  t.ShadowOffsetY = 2;
  return t;
}

struct TPreviewFixture : ::testing::Test {
  TBatch batch;
  std::string folder, source;
  TPreviewSample sample;

  void SetUp() override {
    folder = batch.env.scratch / "Watermarks/";
    source = batch.env.Src("photo.jpg");
    samples::TExifFields exif;
    WritePicture(source, 640, 480, "jpg", true, exif);
    WritePicture(folder + "logo.png", 40, 24, "png");
    sample.Load(source);
  }
};

TEST_F(TPreviewFixture, FullSizePreviewEqualsTheBatchOutput) {
  TTemplateDocument doc;
  doc.SetItem(doc.AddTextLayer(), ShadowText());
  TMarkItem diagonal;
  diagonal.Text = u"PROOF";
  diagonal.FontName = "DejaVu Serif";
  diagonal.FontSize = 14;
  diagonal.Angle = 30;
  diagonal.Alpha = 35;
  diagonal.PlaceStyle = 1;
  diagonal.HorzSpace = 20;
  diagonal.VertSpace = 15;
  doc.SetItem(doc.AddTextLayer(), diagonal);
  const size_t logo = doc.AddPictureLayer(std::nullopt, "logo.png");
  TMarkItem l = doc.Layer(logo).Item;
  l.Position = 1;
  l.OffsetX = 5;
  l.OffsetY = 6;
  l.Alpha = 70;
  doc.SetItem(logo, l);
  doc.SaveAs(folder + "look.wg");

  const TDesignerPreview preview = RenderDesignerPreview(doc, sample, folder, 1);
  EXPECT_TRUE(preview.Warnings.empty()) << preview.Warnings.front();
  EXPECT_EQ(preview.Scale, 1);
  const TBitmap written = batch.Run(folder + "look.wg", source);
  EXPECT_EQ(Differences(preview.Picture, written), 0);
  // The template changed the picture where its boxes say.
  ASSERT_EQ(preview.Boxes.size(), 3u);
  EXPECT_TRUE(preview.Boxes[1].Tiled);
  const TRect logoBox = preview.Boxes[2].Box;
  EXPECT_EQ(logoBox, (TRect{5, 6, 45, 30}));
  const TRect text = preview.Boxes[0].Box;
  EXPECT_TRUE(preview.Boxes[0].Visible);
  EXPECT_EQ(text.Right, 640 - 12);
  EXPECT_EQ(text.Bottom, 480 - 9);
  EXPECT_GT(text.Width(), 60);

  // An edit in a field changes the preview's pixels.
  TMarkItem edited = doc.Layer(0).Item;
  edited.FontColor = 0xFF0000;
  doc.SetItem(0, edited);
  const TDesignerPreview after = RenderDesignerPreview(doc, sample, folder, 1);
  EXPECT_GT(Differences(after.Picture, preview.Picture, &text), 50);
  TRect outside{0, 0, 640, text.Top};
  EXPECT_EQ(Differences(after.Picture, preview.Picture, &outside), 0);
}

// Every control of the editor ends in one field: each edit must reach the
// saved file and change the picture, full size and on the working copy.
TEST_F(TPreviewFixture, EachFieldEditChangesTheSavedKeyAndThePicture) {
  struct Edit {
    const char16_t* key;
    void (*apply)(TMarkItem&);
  };
  TMarkItem text;
  text.Text = u"Mark";
  text.FontName = "DejaVu Sans";
  text.FontSize = 40;
  text.Alpha = 100;
  text.Position = 5;
  const std::vector<Edit> textEdits = {
      {u"Text", [](TMarkItem& m) { m.Text = u"Work"; }},
      {u"FontName", [](TMarkItem& m) { m.FontName = "DejaVu Serif"; }},
      {u"FontColor", [](TMarkItem& m) { m.FontColor = 0x0000FF; }},
      {u"FontSize", [](TMarkItem& m) { m.FontSize = 52; }},
      {u"FontStyle", [](TMarkItem& m) { m.FontStyle = 3; }},
      {u"Alpha", [](TMarkItem& m) { m.Alpha = 40; }},
      {u"Blur", [](TMarkItem& m) { m.Blur = 60; }},
      {u"Angle", [](TMarkItem& m) { m.Angle = 25; }},
      {u"Position", [](TMarkItem& m) { m.Position = 1; }},
      {u"OffsetX", [](TMarkItem& m) { m.OffsetX = 30; }},
      {u"OffsetY", [](TMarkItem& m) { m.OffsetY = -30; }},
      {u"PlaceStyle", [](TMarkItem& m) { m.PlaceStyle = 1; }},
      {u"isShadow",
       [](TMarkItem& m) {
         m.isShadow = true;
         m.ShadowOffsetX = 4;
         m.ShadowOffsetY = 4;
       }},
      {u"Outline", [](TMarkItem& m) { m.Outline = true; }},
      {u"HorzMirror", [](TMarkItem& m) { m.HorzMirror = true; }},
      {u"VertMirror", [](TMarkItem& m) { m.VertMirror = true; }},
      {u"Noise", [](TMarkItem& m) { m.Noise = 120; }},
      {u"Spray", [](TMarkItem& m) { m.Spray = 6; }},
  };
  // Half white (the default colour key), half grey.
  RasterImage halves;
  ImageCreate(halves, 40, 20, ifR8G8B8);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
      for (int c = 0; c < 3; ++c) halves.Row(y)[3 * x + c] = x < 20 ? 255 : 128;
  ASSERT_TRUE(WriteImageFile(folder + "halves.png", halves));
  TMarkItem logo;
  logo.Style = 1;
  logo.Picture = "halves.png";
  logo.Alpha = 100;
  logo.Position = 5;
  const std::vector<Edit> logoEdits = {
      {u"Alpha", [](TMarkItem& m) { m.Alpha = 30; }},
      {u"isBGTransparent", [](TMarkItem& m) { m.isBGTransparent = true; }},
      {u"HorzMirror", [](TMarkItem& m) { m.HorzMirror = true; }},
      {u"Position", [](TMarkItem& m) { m.Position = 3; }},
      {u"PlaceStyle", [](TMarkItem& m) { m.PlaceStyle = 2; }},
  };
  for (const auto& [base, edits] : {std::pair{text, textEdits}, std::pair{logo, logoEdits}}) {
    TTemplateDocument doc;
    doc.SetItem(doc.AddTextLayer(), base);
    const std::u16string section = doc.Layer(0).Section;
    const std::string savedBefore = doc.Serialize();
    for (const Edit& e : edits) {
      SCOPED_TRACE(Utf16ToUtf8(e.key));
      TTemplateDocument edited = doc;
      TMarkItem item = base;
      e.apply(item);
      edited.SetItem(0, item);
      const IniDocument before = IniDocument::FromBytes(savedBefore);
      const IniDocument after = IniDocument::FromBytes(edited.Serialize());
      EXPECT_NE(before.ReadString(section, e.key, u"(none)"),
                after.ReadString(section, e.key, u"(none)"));
      for (double scale : {1.0, 0.5}) {
        const TDesignerPreview a = RenderDesignerPreview(doc, sample, folder, scale);
        const TDesignerPreview b = RenderDesignerPreview(edited, sample, folder, scale);
        EXPECT_GT(Differences(a.Picture, b.Picture), 20) << "scale " << scale;
      }
    }
  }
}

TEST_F(TPreviewFixture, GradientFillIsOptionalAndDrawnFromStartToEnd) {
  TMarkItem t;
  t.Text = u"MMMMMMMM";
  t.FontName = "DejaVu Sans";
  t.FontSize = 48;
  t.FontStyle = 1;
  t.Alpha = 100;
  t.Position = 5;
  TTemplateDocument plain;
  plain.SetItem(plain.AddTextLayer(), t);
  // Without the keys nothing is written and the drawing is today's.
  EXPECT_FALSE(
      IniDocument::FromBytes(plain.Serialize()).KeyExists(plain.Layer(0).Section, u"Gradient"));
  const std::string withOffKeys =
      "[L]\r\nText=MMMMMMMM\r\nFontName=DejaVu Sans\r\nFontSize=48\r\n"
      "FontStyle=1\r\nAlpha=100\r\nPosition=5\r\nGradient=0\r\n"
      "GradientStyle=3\r\nGradientStartColor=0x0000FF\r\n";
  WriteText(folder + "off.wg", withOffKeys);
  const TDesignerPreview a = RenderDesignerPreview(plain, sample, folder, 1);
  const TDesignerPreview b =
      RenderDesignerPreview(TTemplateDocument::Open(folder + "off.wg"), sample, folder, 1);
  EXPECT_EQ(Differences(a.Picture, b.Picture), 0);

  t.Gradient = true;
  t.GradientStyle = 0;              // left to right
  t.GradientStartColor = 0x0000FF;  // red
  t.GradientEndColor = 0xFF0000;    // blue
  TTemplateDocument graded;
  graded.SetItem(graded.AddTextLayer(), t);
  graded.SaveAs(folder + "graded.wg");
  EXPECT_EQ(TTemplateDocument::Open(folder + "graded.wg"), graded);
  const TDesignerPreview g = RenderDesignerPreview(graded, sample, folder, 1);
  const TRect box = g.Boxes[0].Box;
  // Inked pixels of the left and right fifths: red leads on the left, blue
  // on the right.
  auto ink = [&](int x0, int x1, int shift) {
    int64_t sum = 0;
    for (int y = box.Top; y < box.Bottom; ++y)
      for (int x = x0; x < x1; ++x)
        if (g.Picture.PixelRGB(x, y) != a.Picture.PixelRGB(x, y) &&
            a.Picture.PixelRGB(x, y) != sample.Full().PixelRGB(x, y))
          sum += (g.Picture.PixelRGB(x, y) >> shift) & 0xFF;
    return sum;
  };
  const int fifth = box.Width() / 5;
  EXPECT_GT(ink(box.Left, box.Left + fifth, 16), ink(box.Left, box.Left + fifth, 0));
  EXPECT_GT(ink(box.Right - fifth, box.Right, 0), ink(box.Right - fifth, box.Right, 16));
  // The batch run draws it the same way.
  EXPECT_EQ(Differences(g.Picture, batch.Run(folder + "graded.wg", source)), 0);
}

TEST_F(TPreviewFixture, TurnedCameraPictureIsPreviewedUprightAsTheRunDrawsIt) {
  samples::TExifFields exif;
  exif.Orientation = 6;
  const std::string turned = batch.env.Src("turned.jpg");
  WritePicture(turned, 300, 200, "jpg", true, exif);
  TPreviewSample upright;
  upright.Load(turned);
  EXPECT_EQ(upright.Width(), 200);
  EXPECT_EQ(upright.Height(), 300);
  TTemplateDocument doc;
  doc.SetItem(doc.AddTextLayer(), ShadowText());
  doc.SaveAs(folder + "turned.wg");
  const TDesignerPreview p = RenderDesignerPreview(doc, upright, folder, 1);
  EXPECT_EQ(Differences(p.Picture, batch.Run(folder + "turned.wg", turned)), 0);
}

TEST_F(TPreviewFixture, TexturedTextDrawsAlikeInPreviewAndBatch) {
  WritePicture(folder + "tex.png", 7, 5, "png");
  TMarkItem t;
  t.Text = u"MMMMMM";
  t.FontName = "DejaVu Sans";
  t.FontSize = 48;
  t.FontStyle = 1;
  t.Alpha = 100;
  t.Position = 5;
  TTemplateDocument plain;
  plain.SetItem(plain.AddTextLayer(), t);
  const TDesignerPreview a = RenderDesignerPreview(plain, sample, folder, 1);
  t.Texture = "tex.png";
  t.TextureMode = 1;  // stretched over the text's box
  TTemplateDocument textured;
  textured.SetItem(textured.AddTextLayer(), t);
  textured.SaveAs(folder + "textured.wg");
  const TDesignerPreview p = RenderDesignerPreview(textured, sample, folder, 1);
  EXPECT_TRUE(p.Warnings.empty());
  EXPECT_GT(Differences(a.Picture, p.Picture), 500);
  EXPECT_EQ(Differences(p.Picture, batch.Run(folder + "textured.wg", source)), 0);
  // Scaled down, the preview still draws the texture and warns of nothing.
  const TDesignerPreview small = RenderDesignerPreview(textured, sample, folder, 0.5);
  EXPECT_TRUE(small.Warnings.empty());
  EXPECT_GT(Differences(RenderDesignerPreview(plain, sample, folder, 0.5).Picture, small.Picture),
            100);
  // Without the file the preview warns and draws the plain text.
  std::filesystem::remove(folder + "tex.png");
  const TDesignerPreview gone = RenderDesignerPreview(textured, sample, folder, 1);
  ASSERT_EQ(gone.Warnings.size(), 1u);
  EXPECT_EQ(Differences(a.Picture, gone.Picture), 0);
}

TEST_F(TPreviewFixture, DroppedInTheCornerABatchRunDrawsItThere) {
  TTemplateDocument doc;
  TMarkItem t = ShadowText();
  t.Position = 5;
  t.OffsetX = 0;
  t.OffsetY = 0;
  doc.SetItem(doc.AddTextLayer(), t);
  const TLayerBox box = MeasureLayerBox(doc, 0, sample, folder);
  ASSERT_TRUE(box.Visible);
  const TDesignerPreview centred = RenderDesignerPreview(doc, sample, folder, 1);
  EXPECT_EQ(centred.Boxes[0].Box, box.Box);

  TMarkItem moved = doc.Layer(0).Item;
  ASSERT_TRUE(PlaceLayerAt(moved, box.Box, sample.Width(), sample.Height(),
                           sample.Width() - box.Box.Width(), sample.Height() - box.Box.Height()));
  EXPECT_EQ(moved.Position, 9);
  EXPECT_EQ(moved.OffsetX, 0);
  EXPECT_EQ(moved.OffsetY, 0);
  doc.SetItem(0, moved);
  doc.SaveAs(folder + "corner.wg");
  EXPECT_EQ(TTemplateDocument::Open(folder + "corner.wg"), doc);
  const TBitmap written = batch.Run(folder + "corner.wg", source);
  const TRect corner{sample.Width() - box.Box.Width(), sample.Height() - box.Box.Height(),
                     sample.Width(), sample.Height()};
  EXPECT_GT(Differences(written, sample.Full(), &corner), 100);
  const TRect rest{0, 0, sample.Width(), corner.Top};
  EXPECT_EQ(Differences(written, sample.Full(), &rest), 0);

  // Anywhere else: the box lands exactly where it was dropped.
  for (TPlacePoint drop : {TPlacePoint{7, 11}, TPlacePoint{150, 100}, TPlacePoint{-30, 200}}) {
    TMarkItem item = doc.Layer(0).Item;
    ASSERT_TRUE(PlaceLayerAt(item, box.Box, sample.Width(), sample.Height(), drop.x, drop.y));
    doc.SetItem(0, item);
    const TLayerBox now = MeasureLayerBox(doc, 0, sample, folder);
    EXPECT_EQ(now.Box.Left, drop.x);
    EXPECT_EQ(now.Box.Top, drop.y);
  }
  // A tiled layer is not moved by dragging.
  TMarkItem tiled = doc.Layer(0).Item;
  tiled.PlaceStyle = 1;
  EXPECT_FALSE(PlaceLayerAt(tiled, box.Box, 640, 480, 10, 10));
  EXPECT_EQ(tiled.PlaceStyle, 1);
}

TEST_F(TPreviewFixture, WorkingCopyLooksLikeTheFullRender) {
  TTemplateDocument doc;
  doc.SetItem(doc.AddTextLayer(), ShadowText());
  doc.AddPictureLayer(std::nullopt, "logo.png");
  const TDesignerPreview full = RenderDesignerPreview(doc, sample, folder, 1);
  const TDesignerPreview half = RenderDesignerPreview(doc, sample, folder, 0.5);
  EXPECT_EQ(half.Picture.Width(), 320);
  EXPECT_EQ(half.Picture.Height(), 240);
  EXPECT_DOUBLE_EQ(half.Scale, 0.5);
  ASSERT_EQ(half.Boxes.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(half.Boxes[i].Visible);
    // Text set at half the size is not exactly half as wide (hinting).
    const double slack = 4 + 0.08 * full.Boxes[i].Box.Width();
    EXPECT_NEAR(half.Boxes[i].Box.Left, full.Boxes[i].Box.Left, slack);
    EXPECT_NEAR(half.Boxes[i].Box.Top, full.Boxes[i].Box.Top, slack);
    EXPECT_NEAR(half.Boxes[i].Box.Right, full.Boxes[i].Box.Right, slack);
    EXPECT_NEAR(half.Boxes[i].Box.Bottom, full.Boxes[i].Box.Bottom, slack);
  }
  // The mark is drawn on the small copy where it sits on the large one.
  const TBitmap small = sample.Scaled(0.5);
  TRect where = half.Boxes[0].Box;
  where = {where.Left / 2, where.Top / 2, where.Right / 2, where.Bottom / 2};
  EXPECT_GT(Differences(half.Picture, small, &where), 50);
  TRect above{0, 0, 320, where.Top - 2};
  EXPECT_EQ(Differences(half.Picture, small, &above), 0);
}

// Layers sized and spaced relative to the picture: the preview draws and
// boxes them as a run does, the working copy keeps their share of the
// picture, and dragging keeps relative offsets relative.
TEST_F(TPreviewFixture, RelativeLayersPreviewAsTheRunDrawsThem) {
  TTemplateDocument doc;
  TMarkItem t = ShadowText();
  t.SizeMode = 1;
  t.RelativeSize = 80;
  t.OffsetMode = 1;
  t.OffsetX = -30;
  t.OffsetY = -20;
  doc.SetItem(doc.AddTextLayer(), t);
  const size_t logo = doc.AddPictureLayer(std::nullopt, "logo.png");
  TMarkItem l = doc.Layer(logo).Item;
  l.Position = 1;
  l.SizeMode = 1;
  l.RelativeSize = 200;  // 96 of the 480-pixel side: 40 x 24 grows to 96 x 58
  l.OffsetMode = 1;
  l.OffsetX = 25;
  l.OffsetY = 25;
  doc.SetItem(logo, l);
  TMarkItem hidden = ShadowText();
  hidden.ShowOn = 2;  // portraits only
  doc.SetItem(doc.AddTextLayer(), hidden);
  doc.SaveAs(folder + "relative.wg");

  const TDesignerPreview full = RenderDesignerPreview(doc, sample, folder, 1);
  EXPECT_TRUE(full.Warnings.empty());
  EXPECT_EQ(Differences(full.Picture, batch.Run(folder + "relative.wg", source)), 0);
  ASSERT_EQ(full.Boxes.size(), 3u);
  EXPECT_EQ(full.Boxes[1].Box, (TRect{12, 12, 12 + 96, 12 + 58}));
  EXPECT_NEAR(full.Boxes[0].Box.Right, 640 - 14, 1);
  EXPECT_FALSE(full.Boxes[2].Visible);

  const TDesignerPreview half = RenderDesignerPreview(doc, sample, folder, 0.5);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(half.Boxes[i].Visible);
    EXPECT_NEAR(half.Boxes[i].Box.Left, full.Boxes[i].Box.Left, 4);
    EXPECT_NEAR(half.Boxes[i].Box.Top, full.Boxes[i].Box.Top, 4);
    EXPECT_NEAR(half.Boxes[i].Box.Bottom, full.Boxes[i].Box.Bottom, 4);
  }

  // Dropped 48 pixels (10 %) from the top-left corner.
  TMarkItem moved = doc.Layer(0).Item;
  ASSERT_TRUE(PlaceLayerAt(moved, full.Boxes[0].Box, 640, 480, 48, 48));
  EXPECT_EQ(moved.Position, 1);
  EXPECT_EQ(moved.OffsetX, 100);
  EXPECT_EQ(moved.OffsetY, 100);
  doc.SetItem(0, moved);
  const TLayerBox now = MeasureLayerBox(doc, 0, sample, folder);
  EXPECT_EQ(now.Box.Left, 48);
  EXPECT_EQ(now.Box.Top, 48);

  // The portrait sample is the middle of the picture, and shows the
  // portrait layer.
  const TBitmap tall = SampleInOrientation(sample.Full(), true);
  EXPECT_EQ(tall.Width(), 360);
  EXPECT_EQ(tall.Height(), 480);
  EXPECT_EQ(tall.PixelRGB(0, 0), sample.Full().PixelRGB(140, 0));
  EXPECT_EQ(SampleInOrientation(sample.Full(), false).Width(), 640);
  const TBitmap wide = SampleInOrientation(tall, false);
  EXPECT_EQ(wide.Width(), 360);
  EXPECT_EQ(wide.Height(), 270);
  const TDesignerPreview portrait =
      RenderDesignerPreview(doc, tall, "photo.jpg", sample.Exif(), folder, 1);
  EXPECT_TRUE(portrait.Boxes[2].Visible);
}

TEST_F(TPreviewFixture, MissingLogoAndEmptyTemplatesAreReportedNotFatal) {
  TTemplateDocument doc;
  doc.AddPictureLayer(std::nullopt, "absent.png");
  TDesignerPreview p = RenderDesignerPreview(doc, sample, folder, 1);
  ASSERT_EQ(p.Warnings.size(), 1u);
  EXPECT_FALSE(p.Boxes[0].Visible);
  EXPECT_EQ(Differences(p.Picture, sample.Full()), 0);
  p = RenderDesignerPreview(TTemplateDocument(), sample, folder, 0.3);
  EXPECT_FALSE(p.Warnings.empty());
  EXPECT_TRUE(p.Boxes.empty());
  // A text too large to draw and a font that does not exist.
  TMarkItem huge = ShadowText();
  huge.FontSize = 100000;
  huge.FontName = "No Such Font Family";
  doc.SetItem(0, huge);
  p = RenderDesignerPreview(doc, sample, folder, 1);
  EXPECT_EQ(p.Picture.Width(), 640);

  TPreviewSample none;
  p = RenderDesignerPreview(doc, none, folder, 0.5);
  EXPECT_TRUE(p.Picture.Empty());
  EXPECT_EQ(p.Warnings.size(), 1u);
  EXPECT_EQ(p.Boxes.size(), 1u);

  TPreviewSample bad;
  EXPECT_THROW(bad.Load(folder), TDocumentError);
  WriteText(folder + "x.jpg", "no picture");
  EXPECT_THROW(bad.Load(folder + "x.jpg"), TDocumentError);
  EXPECT_TRUE(bad.Empty());
}

}  // namespace
}  // namespace imprimo::testing
