// The designer draws its preview on a worker while the window's thread
// measures layers for a drop: the engine must give each thread what it gives
// one thread alone.
#include <gtest/gtest.h>

#include <thread>

#include "designer/designer_preview.h"
#include "pipeline/pipeline_test_util.h"

namespace imprimo::testing {
namespace {

TTemplateDocument TextAndLogoTemplate() {
  TTemplateDocument doc;
  TMarkItem shadowed;
  shadowed.Text = u"ISO {$EI} #{$S0042}";
  shadowed.FontName = "DejaVu Sans";
  shadowed.FontSize = 20;
  shadowed.isShadow = true;
  shadowed.ShadowBlur = 2;
  shadowed.ShadowOffsetX = 2;
  shadowed.ShadowOffsetY = 2;
  shadowed.Position = 9;
  doc.SetItem(doc.AddTextLayer(), shadowed);
  TMarkItem tiled;
  tiled.Text = u"PROOF";
  tiled.FontName = "DejaVu Serif";
  tiled.FontSize = 12;
  tiled.Angle = 30;
  tiled.Alpha = 40;
  tiled.PlaceStyle = 1;
  doc.SetItem(doc.AddTextLayer(), tiled);
  doc.AddPictureLayer(std::nullopt, "logo.png");
  return doc;
}

TEST(PreviewThreads, MeasuringWhileAnotherThreadRendersGivesWhatOneThreadGives) {
  TRunEnv env;
  const std::string folder = env.scratch / "Watermarks/";
  const std::string source = env.Src("photo.jpg");
  WritePicture(source, 320, 240, "jpg");
  WritePicture(folder + "logo.png", 30, 20, "png");
  TPreviewSample renderSample, measureSample;
  renderSample.Load(source);
  measureSample.Load(source);
  const TTemplateDocument doc = TextAndLogoTemplate();

  const TDesignerPreview alone = RenderDesignerPreview(doc, renderSample, folder, 0.5);
  std::vector<TLayerBox> boxesAlone;
  for (size_t i = 0; i < doc.LayerCount(); ++i)
    boxesAlone.push_back(MeasureLayerBox(doc, i, measureSample, folder));

  constexpr int kRounds = 4;
  std::vector<TDesignerPreview> rendered(kRounds);
  std::thread renderer([&] {
    for (TDesignerPreview& r : rendered) r = RenderDesignerPreview(doc, renderSample, folder, 0.5);
  });
  std::vector<std::vector<TLayerBox>> measured(kRounds);
  for (std::vector<TLayerBox>& boxes : measured)
    for (size_t i = 0; i < doc.LayerCount(); ++i)
      boxes.push_back(MeasureLayerBox(doc, i, measureSample, folder));
  renderer.join();

  for (int round = 0; round < kRounds; ++round) {
    EXPECT_TRUE(rendered[round].Picture == alone.Picture) << "round " << round;
    ASSERT_EQ(measured[round].size(), boxesAlone.size());
    for (size_t i = 0; i < boxesAlone.size(); ++i) {
      EXPECT_EQ(measured[round][i].Visible, boxesAlone[i].Visible) << "layer " << i;
      EXPECT_EQ(measured[round][i].Box, boxesAlone[i].Box) << "layer " << i;
    }
  }
}

}  // namespace
}  // namespace imprimo::testing
