#include "templates/template_file.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/text.h"

namespace imprimo {

IniDocument OpenTemplateFile(const std::string& path) { return IniDocument::Open(path); }

std::string CutToChars(std::string_view text, size_t maxChars) {
  return Utf8Prefix(text, maxChars);
}

std::string FileNamePart(std::string_view path) {
  size_t cut = path.find_last_of("\\/:");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

namespace {

// Cuts a layer's text to the longest drawn, saying so in warnings.
void CutTextWhenRead(std::u16string& text, std::vector<std::string>* warnings) {
  if (CutLayerText(text) && warnings)
    warnings->push_back("the text is longer than " + std::to_string(kMaxLayerTextChars) +
                        " characters; only its first " + std::to_string(kMaxLayerTextChars) +
                        " are drawn");
}

// A string value of a template line as it reads back, in UTF-8.
std::string LineValueUtf8(const std::string& value) {
  return Utf16ToUtf8(TemplateLineValue(Utf8ToUtf16(value)));
}

}  // namespace

bool ReadMarkItem(const IniDocument& doc, std::u16string_view s, TMarkItem& item) {
  return ReadMarkItem(doc, s, item, nullptr);
}

bool ReadMarkItem(const IniDocument& doc, std::u16string_view s, TMarkItem& item,
                  std::vector<std::string>* warnings) {
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
    CutTextWhenRead(item.Text, warnings);
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
    item.Gradient = boolean(u"Gradient", false);
    item.GradientStyle = byte(u"GradientStyle", 0);
    item.GradientStartColor = integer(u"GradientStartColor", 0xFFFFFF);
    item.GradientEndColor = integer(u"GradientEndColor", 0);
    item.Texture = CutToChars(FileNamePart(Utf16ToUtf8(doc.ReadString(s, u"Texture", u""))), 255);
    item.TextureMode = byte(u"TextureMode", 0);
    item.SizeMode = integer(u"SizeMode", 0);
    item.RelativeSize = integer(u"RelativeSize", 50);
    item.OffsetMode = integer(u"OffsetMode", 0);
    item.ShowOn = integer(u"ShowOn", 0);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::u16string TemplateLineValue(std::u16string_view value) {
  std::u16string out(value);
  for (char16_t& c : out)
    if (c == u'\r' || c == u'\n') c = u' ';
  // A line loses what the reader trims at its end.
  while (!out.empty() && (out.back() <= 0x20 || (out.back() >= 0x7F && out.back() <= 0x9F)))
    out.pop_back();
  return out;
}

TMarkItem StoredMarkItem(TMarkItem item, std::vector<std::string>* warnings) {
  item.Desc = CutToChars(LineValueUtf8(item.Desc), 255);
  item.Text = TemplateLineValue(item.Text);
  CutTextWhenRead(item.Text, warnings);
  item.FontName = LineValueUtf8(item.FontName);
  item.Picture = CutToChars(FileNamePart(LineValueUtf8(item.Picture)), 255);
  item.Texture = CutToChars(FileNamePart(LineValueUtf8(item.Texture)), 255);
  return item;
}

namespace {

std::u16string HexColor(int32_t color) {
  char buf[16];
  std::snprintf(buf, sizeof buf, color < 0 ? "0x%08X" : "0x%06X", static_cast<uint32_t>(color));
  return Utf8ToUtf16(buf);
}

}  // namespace

void WriteMarkItem(IniDocument& doc, std::u16string_view s, const TMarkItem& item) {
  static const TMarkItem kDefaults;
  const bool text = item.Style == 0;
  const bool picture = !text;
  // A key is written when the layer's kind uses it, when it differs from
  // the default, or when the section has it already (so an old value never
  // outlives the item's).
  auto wanted = [&](std::u16string_view key, bool used, bool differs) {
    return used || differs || doc.KeyExists(s, key);
  };
  auto integer = [&](std::u16string_view key, int32_t v, int32_t def, bool used) {
    if (wanted(key, used, v != def)) doc.WriteInteger(s, key, v);
  };
  auto color = [&](std::u16string_view key, int32_t v, int32_t def, bool used) {
    if (wanted(key, used, v != def)) doc.WriteString(s, key, HexColor(v));
  };
  auto boolean = [&](std::u16string_view key, bool v, bool def, bool used) {
    if (wanted(key, used, v != def)) doc.WriteBool(s, key, v);
  };
  auto string = [&](std::u16string_view key, std::u16string_view v, std::u16string_view def,
                    bool used) {
    if (wanted(key, used, v != def)) doc.WriteString(s, key, TemplateLineValue(v));
  };
  const TMarkItem& d = kDefaults;
  boolean(u"Enabled", item.Enabled, d.Enabled, true);
  string(u"Desc", Utf8ToUtf16(item.Desc), u"Layer", true);
  integer(u"Style", item.Style, d.Style, true);
  string(u"Text", item.Text, u"", text);
  string(u"FontName", Utf8ToUtf16(item.FontName), u"Arial", text);
  color(u"FontColor", item.FontColor, d.FontColor, text);
  integer(u"FontSize", item.FontSize, d.FontSize, text);
  integer(u"FontCharSet", item.FontCharSet, d.FontCharSet, text);
  integer(u"FontStyle", item.FontStyle, d.FontStyle, text);
  integer(u"FontPitch", item.FontPitch, d.FontPitch, text);
  integer(u"Alpha", item.Alpha, d.Alpha, true);
  integer(u"Blur", item.Blur, d.Blur, text);
  integer(u"Angle", item.Angle, d.Angle, text);
  integer(u"PlaceStyle", item.PlaceStyle, d.PlaceStyle, true);
  integer(u"Position", item.Position, d.Position, true);
  integer(u"OffsetX", item.OffsetX, d.OffsetX, true);
  integer(u"OffsetY", item.OffsetY, d.OffsetY, true);
  integer(u"VertSpace", item.VertSpace, d.VertSpace, true);
  integer(u"HorzSpace", item.HorzSpace, d.HorzSpace, true);
  boolean(u"isShadow", item.isShadow, d.isShadow, text);
  color(u"ShadowColor", item.ShadowColor, d.ShadowColor, text);
  integer(u"ShadowBlur", item.ShadowBlur, d.ShadowBlur, text);
  integer(u"ShadowAlpha", item.ShadowAlpha, d.ShadowAlpha, text);
  integer(u"ShadowOffsetX", item.ShadowOffsetX, d.ShadowOffsetX, text);
  integer(u"ShadowOffsetY", item.ShadowOffsetY, d.ShadowOffsetY, text);
  boolean(u"Outline", item.Outline, d.Outline, text);
  boolean(u"HorzMirror", item.HorzMirror, d.HorzMirror, true);
  boolean(u"VertMirror", item.VertMirror, d.VertMirror, true);
  integer(u"Noise", item.Noise, d.Noise, text);
  integer(u"Spray", item.Spray, d.Spray, text);
  color(u"BGColor", item.BGColor, d.BGColor, picture);
  integer(u"PictureSize", item.PictureSize, d.PictureSize, picture);
  string(u"Picture", Utf8ToUtf16(item.Picture), u"", picture);
  boolean(u"isBGTransparent", item.isBGTransparent, d.isBGTransparent, picture);
  // The gradient keys only when the layer has a gradient or had them.
  const bool gradient = text && item.Gradient;
  boolean(u"Gradient", item.Gradient, d.Gradient, gradient);
  integer(u"GradientStyle", item.GradientStyle, d.GradientStyle, gradient);
  color(u"GradientStartColor", item.GradientStartColor, d.GradientStartColor, gradient);
  color(u"GradientEndColor", item.GradientEndColor, d.GradientEndColor, gradient);
  // The texture keys likewise only when the layer names a texture or had them.
  const bool texture = text && !item.Texture.empty();
  string(u"Texture", Utf8ToUtf16(item.Texture), u"", texture);
  integer(u"TextureMode", item.TextureMode, d.TextureMode, texture);
  // The relative size only when the layer is sized relatively or had it;
  // the margin and orientation keys when they differ or were there.
  const bool relative = item.SizeMode != 0;
  integer(u"SizeMode", item.SizeMode, d.SizeMode, relative);
  integer(u"RelativeSize", item.RelativeSize, d.RelativeSize, relative);
  integer(u"OffsetMode", item.OffsetMode, d.OffsetMode, false);
  integer(u"ShowOn", item.ShowOn, d.ShowOn, false);
}

}  // namespace imprimo
