#include "templates/template_file.h"

#include <exception>

#include "platform/text.h"

namespace imprimo {

IniDocument OpenTemplateFile(const std::string& path) { return IniDocument::Open(path); }

std::string CutToChars(std::string_view text, size_t maxChars) {
  size_t chars = 0, i = 0;
  while (i < text.size()) {
    if (chars == maxChars) return std::string(text.substr(0, i));
    ++i;
    while (i < text.size() && (static_cast<uint8_t>(text[i]) & 0xC0) == 0x80) ++i;
    ++chars;
  }
  return std::string(text);
}

std::string FileNamePart(std::string_view path) {
  size_t cut = path.find_last_of("\\/:");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

bool ReadMarkItem(const IniDocument& doc, std::u16string_view s, TMarkItem& item) {
  auto integer = [&](std::u16string_view key, int32_t def) { return doc.ReadInteger(s, key, def); };
  auto byte = [&](std::u16string_view key, int32_t def) {
    return static_cast<uint8_t>(doc.ReadInteger(s, key, def) & 0xFF);
  };
  auto boolean = [&](std::u16string_view key, bool def) { return doc.ReadBool(s, key, def); };
  try {
    item.Enabled = boolean(u"Enabled", true);
    item.Desc = CutToChars(Utf16ToUtf8(doc.ReadString(s, u"Desc", u"Layer")), 255);
    item.Style = byte(u"Style", 0);
    item.Text = doc.ReadString(s, u"Text", u"");
    item.FontName = Utf16ToUtf8(doc.ReadString(s, u"FontName", u"Arial"));
    item.FontColor = integer(u"FontColor", 0xFFFFFF);
    item.FontSize = integer(u"FontSize", 28);
    item.FontCharSet = byte(u"FontCharSet", 1);
    item.FontStyle = byte(u"FontStyle", 0);
    item.FontPitch = byte(u"FontPitch", 0);
    item.Blur = integer(u"Blur", 0);
    item.Alpha = integer(u"Alpha", 80);
    item.Angle = integer(u"Angle", 0);
    item.HorzMirror = boolean(u"HorzMirror", false);
    item.VertMirror = boolean(u"VertMirror", false);
    item.PlaceStyle = byte(u"PlaceStyle", 0);
    item.Position = integer(u"Position", 9);
    item.OffsetX = integer(u"OffsetX", 0);
    item.OffsetY = integer(u"OffsetY", 0);
    item.VertSpace = integer(u"VertSpace", 0);
    item.HorzSpace = integer(u"HorzSpace", 0);
    item.isShadow = boolean(u"isShadow", false);
    item.ShadowColor = integer(u"ShadowColor", 0);
    item.ShadowBlur = integer(u"ShadowBlur", 0);
    item.ShadowAlpha = integer(u"ShadowAlpha", 80);
    item.ShadowOffsetX = integer(u"ShadowOffsetX", 1);
    item.ShadowOffsetY = integer(u"ShadowOffsetY", 1);
    item.Outline = boolean(u"Outline", false);
    item.Noise = integer(u"Noise", 0);
    item.Spray = integer(u"Spray", 0);
    item.BGColor = integer(u"BGColor", 0xFFFFFF);
    item.PictureSize = integer(u"PictureSize", 0);
    // Only the file name counts: logos are always looked for beside the
    // templates, whatever folder or drive the value names.
    item.Picture = CutToChars(FileNamePart(Utf16ToUtf8(doc.ReadString(s, u"Picture", u""))), 255);
    item.isBGTransparent = boolean(u"isBGTransparent", false);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace imprimo
