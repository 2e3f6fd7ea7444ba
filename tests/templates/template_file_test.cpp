#include "templates/template_file.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace imprimo {
namespace {

TMarkItem Read(std::string_view text, std::u16string_view section = u"L") {
  IniDocument doc = IniDocument::FromBytes(text);
  TMarkItem item;
  item.Enabled = false;  // every field must be assigned, also from defaults
  item.Text = u"stale";
  item.Picture = "stale.png";
  item.Texture = "stale.png";
  EXPECT_TRUE(ReadMarkItem(doc, section, item));
  return item;
}

TEST(ReadMarkItem, EmptySectionGivesTheDefaults) {
  TMarkItem item = Read("[L]\r\n");
  const TMarkItem defaults;
  EXPECT_TRUE(item.Enabled);
  EXPECT_EQ(item.Desc, "Layer");
  EXPECT_EQ(item.Style, 0);        // a text layer ...
  EXPECT_TRUE(item.Text.empty());  // ... with no text: not painted
  EXPECT_EQ(item.FontName, "Arial");
  EXPECT_EQ(item.FontColor, 0xFFFFFF);
  EXPECT_EQ(item.FontSize, 28);
  EXPECT_EQ(item.FontCharSet, 1);
  EXPECT_EQ(item.Alpha, 80);
  EXPECT_EQ(item.Position, 9);
  EXPECT_EQ(item.ShadowAlpha, 80);
  EXPECT_EQ(item.ShadowOffsetX, 1);
  EXPECT_EQ(item.ShadowOffsetY, 1);
  EXPECT_EQ(item.BGColor, 0xFFFFFF);
  EXPECT_TRUE(item.Picture.empty());
  EXPECT_FALSE(item.isBGTransparent);
  // A section that does not exist reads the same.
  TMarkItem missing = Read("[Other]\r\nStyle=1\r\n", u"L");
  EXPECT_EQ(missing.Style, 0);
  EXPECT_TRUE(missing.Enabled);
}

TEST(ReadMarkItem, ConversionsOfTheKeys) {
  EXPECT_TRUE(Read("[L]\r\nEnabled=False\r\n").Enabled);  // not a number
  EXPECT_FALSE(Read("[L]\r\nEnabled=0\r\n").Enabled);
  EXPECT_TRUE(Read("[L]\r\nEnabled=1\r\n").Enabled);
  for (const char* red : {"0xFF", "$FF", "255"})
    EXPECT_EQ(Read(std::string("[L]\r\nFontColor=") + red + "\r\n").FontColor, 0x0000FF) << red;
  EXPECT_EQ(Read("[L]\r\nStyle=256\r\n").Style, 0);  // low byte only: a text layer
  EXPECT_EQ(Read("[L]\r\nStyle=257\r\n").Style, 1);
  EXPECT_EQ(Read("[L]\r\nPlaceStyle=-1\r\n").PlaceStyle, 255);
  EXPECT_EQ(Read("[L]\r\nFontSize=abc\r\n").FontSize, 28);  // malformed: default
  EXPECT_EQ(Read("[L]\r\nAlpha=150\r\n").Alpha, 150);       // not clamped here
  EXPECT_EQ(Read("[L]\r\nText=  lead and trail  \r\n").Text, u"  lead and trail");
  EXPECT_EQ(Read("[L]\r\nPicture=C:\\Logos\\sub\\logo.png\r\n").Picture, "logo.png");
  EXPECT_EQ(Read("[L]\r\nPicture=D:logo.bmp\r\n").Picture, "logo.bmp");
  EXPECT_EQ(Read("[L]\r\nPicture=/home/me/logo.gif\r\n").Picture, "logo.gif");
  // Desc and Picture are cut to 255 characters, never inside a character.
  std::string longDesc(300, 'd');
  EXPECT_EQ(Read("[L]\r\nDesc=" + longDesc + "\r\n").Desc.size(), 255u);
  std::string wide;
  for (int i = 0; i < 300; ++i) wide += "\xC3\xA9";  // e-acute
  const std::string cut = Read("[L]\r\nPicture=" + wide + "\r\n").Picture;
  EXPECT_EQ(cut.size(), 510u);
  EXPECT_EQ(Utf8ToUtf16(cut).size(), 255u);
}

TEST(MarkItemKeys, TextureKeysAreOptionalAndRoundTrip) {
  const TMarkItem none = Read("[L]\r\nText=a\r\n");
  EXPECT_TRUE(none.Texture.empty());
  EXPECT_EQ(none.TextureMode, 0);
  const TMarkItem set = Read("[L]\r\nText=a\r\nTexture=C:\\Tex\\wood.png\r\nTextureMode=258\r\n");
  EXPECT_EQ(set.Texture, "wood.png");  // the file name part, like Picture
  EXPECT_EQ(set.TextureMode, 2);       // low byte

  // Written only when the text layer names a texture ...
  IniDocument plain = IniDocument::FromBytes("");
  WriteMarkItem(plain, u"L", none);
  EXPECT_FALSE(plain.KeyExists(u"L", u"Texture"));
  EXPECT_FALSE(plain.KeyExists(u"L", u"TextureMode"));
  // ... and then both, reading back the same.
  IniDocument doc = IniDocument::FromBytes("");
  WriteMarkItem(doc, u"L", set);
  EXPECT_EQ(doc.ReadString(u"L", u"Texture", u""), u"wood.png");
  EXPECT_EQ(doc.ReadInteger(u"L", u"TextureMode", -1), 2);
  TMarkItem back;
  ASSERT_TRUE(ReadMarkItem(doc, u"L", back));
  EXPECT_EQ(back.Texture, "wood.png");
  EXPECT_EQ(back.TextureMode, 2);
  // Taking the texture off clears the keys a section already had.
  WriteMarkItem(doc, u"L", none);
  EXPECT_EQ(doc.ReadString(u"L", u"Texture", u"x"), u"");
  EXPECT_EQ(doc.ReadInteger(u"L", u"TextureMode", -1), 0);
  ASSERT_TRUE(ReadMarkItem(doc, u"L", back));
  EXPECT_TRUE(back.Texture.empty());
}

TEST(ReadMarkItem, DuplicateSectionsAndKeysTakeTheLastValues) {
  IniDocument doc = IniDocument::FromBytes(
      "[A]\r\nText=first\r\nAlpha=10\r\n[A]\r\nText=second\r\nAlpha=20\r\nAlpha=30\r\n");
  const auto names = doc.SectionNames();
  ASSERT_EQ(names.size(), 2u);
  for (const auto& name : names) {
    TMarkItem item;
    ReadMarkItem(doc, name, item);
    EXPECT_EQ(item.Text, u"second");
    EXPECT_EQ(item.Alpha, 30);
  }
}

TEST(ReadMarkItem, EncodingsReadTheSame) {
  const std::u16string text =
      u"[Layer 1]\r\nText=Caf\u00e9 \u00a9 {$S001}\r\nFontName=Liberation Sans\r\nFontColor=$FF\r\n"
      u"[Logo]\r\nStyle=1\r\nPicture=logo.png\r\nisBGTransparent=1\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : text) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  const std::string utf8 = Utf16ToUtf8(text);
  const std::string bom8 = "\xEF\xBB\xBF" + utf8;
  std::string latin1;  // 8-bit text in a Western code page
  for (char16_t c : text) latin1 += static_cast<char>(c);
  for (const std::string& bytes : {utf16, bom8, latin1, utf8}) {
    IniDocument doc = IniDocument::FromBytes(bytes);
    ASSERT_EQ(doc.SectionNames(), (std::vector<std::u16string>{u"Layer 1", u"Logo"}));
    TMarkItem a, b;
    ReadMarkItem(doc, u"Layer 1", a);
    ReadMarkItem(doc, u"Logo", b);
    EXPECT_EQ(a.Text, u"Caf\u00e9 \u00a9 {$S001}");
    EXPECT_EQ(a.FontName, "Liberation Sans");
    EXPECT_EQ(a.FontColor, 0xFF);
    EXPECT_EQ(b.Style, 1);
    EXPECT_EQ(b.Picture, "logo.png");
    EXPECT_TRUE(b.isBGTransparent);
  }
}

TEST(OpenTemplateFile, MissingOrEmptyFilesHaveNoLayers) {
  EXPECT_TRUE(OpenTemplateFile("/nonexistent/folder/none.wg").SectionNames().empty());
  EXPECT_TRUE(IniDocument::FromBytes("; only a comment\r\n\r\n").SectionNames().empty());
}

}  // namespace
}  // namespace imprimo
