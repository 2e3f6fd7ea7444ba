#include "templates/prepared_template.h"

#include <gtest/gtest.h>

#include "templates/template_file.h"

namespace imprimo {
namespace {

// Layers handed over in memory are read as the saved template reads them
// back: the same values, the same notes, whatever a line cannot hold.
TEST(PreparedTemplate, LayersInMemoryReadAsTheSavedTemplate) {
  std::vector<std::pair<std::u16string, TMarkItem>> layers;
  TMarkItem text;
  text.Text = u"two\r\nlines and blanks at the end  \t";
  text.FontName = "DejaVu Sans ";
  text.Desc = std::string(300, 'd');
  text.Texture = "C:\\textures\\paper.png";
  layers.emplace_back(u"Text", text);
  TMarkItem runaway;
  runaway.Text = std::u16string(kMaxLayerTextChars + 10, u'W');
  layers.emplace_back(u"Long", runaway);
  TMarkItem logo;
  logo.Style = 1;
  logo.Picture = "/somewhere/else/logo.png";
  logo.FontColor = -1;
  logo.Enabled = false;
  layers.emplace_back(u"Logo", logo);

  IniDocument saved;
  for (const auto& [section, item] : layers) WriteMarkItem(saved, section, item);
  const TPreparedTemplate fromFile = PrepareTemplate(saved, std::nullopt);
  const TPreparedTemplate inMemory = PrepareTemplate(layers, std::nullopt);
  ASSERT_EQ(inMemory.Layers.size(), 3u);
  ASSERT_EQ(fromFile.Layers.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(inMemory.Layers[i].Section, fromFile.Layers[i].Section);
    EXPECT_TRUE(inMemory.Layers[i].Item == fromFile.Layers[i].Item) << i;
    EXPECT_EQ(inMemory.Layers[i].ReadNotes, fromFile.Layers[i].ReadNotes) << i;
  }
  EXPECT_EQ(inMemory.Layers[0].Item.Text, u"two  lines and blanks at the end");
  EXPECT_EQ(inMemory.Layers[0].Item.Texture, "paper.png");
  EXPECT_EQ(inMemory.Layers[1].ReadNotes.size(), 1u);
  EXPECT_EQ(inMemory.Layers[2].Item.Picture, "logo.png");
}

// A prepared template holds no picture it was not asked to load, and
// painting one without a document, or without layers, says so.
TEST(PreparedTemplate, WhatPaintingReportsForEmptyTemplates) {
  TBitmap picture(8, 8, TPixelFormat::pf24bit);
  const TBitmap before = picture;
  EXPECT_EQ(PaintTemplate(TPreparedTemplate{}, picture, {}),
            std::vector<std::string>{"the template has no enabled layer"});
  const TPreparedTemplate none = PrepareTemplate(IniDocument(), std::nullopt);
  EXPECT_EQ(PaintTemplate(none, picture, {}),
            std::vector<std::string>{"the template holds no layer (is the file a template?)"});
  TMarkItem off;
  off.Enabled = false;
  off.Text = u"{$S12}";
  const TPreparedTemplate disabled = PrepareTemplate({{u"Off", off}}, std::nullopt);
  EXPECT_EQ(disabled.StartSequence, -1);
  EXPECT_EQ(PaintTemplate(disabled, picture, {}),
            std::vector<std::string>{"the template has no enabled layer"});
  EXPECT_TRUE(picture == before);

  TMarkItem logo;
  logo.Style = 1;
  logo.Picture = "logo.png";
  const TPreparedTemplate unloaded = PrepareTemplate({{u"Logo", logo}}, std::nullopt);
  ASSERT_EQ(unloaded.Layers.size(), 1u);
  EXPECT_TRUE(unloaded.Layers[0].Logo->Empty());
  EXPECT_EQ(PaintTemplate(unloaded, picture, {}),
            std::vector<std::string>{"layer Logo: the logo logo.png is missing or unreadable"});
}

}  // namespace
}  // namespace imprimo
