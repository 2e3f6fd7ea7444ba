#include "app/presets.h"

#include <algorithm>
#include <stdexcept>
#include <variant>

#include "app/texts.h"
#include "ini/ini_document.h"
#include "platform/text.h"

namespace imprimo {

namespace {

constexpr std::u16string_view kPrefix = u"Preset:";
constexpr std::u16string_view kTemplateKey = u"Template";

// The stored fields, under the keys the "Setup" section uses for them.
using TField = std::variant<bool TSettings::*, int32_t TSettings::*, std::string TSettings::*>;
struct TPresetKey {
  std::u16string_view key;
  TField field;
};

const TPresetKey kKeys[] = {
    {u"PathType", &TSettings::PathType},
    {u"OutPath", &TSettings::OutPath},
    {u"SaveFormat", &TSettings::SaveFormat},
    {u"Quality", &TSettings::Quality},
    {u"Compress", &TSettings::Compress},
    {u"Colors", &TSettings::Colors},
    {u"FlattenColor", &TSettings::FlattenColor},
    {u"JpegSubsampling", &TSettings::JpegSubsampling},
    {u"WebPLossless", &TSettings::WebPLossless},
    {u"AvifSpeed", &TSettings::AvifSpeed},
    {u"TiffCompression", &TSettings::TiffCompression},
    {u"OverwriteOutput", &TSettings::OverwriteOutput},
    {u"Resize", &TSettings::Resize},
    {u"NewWidth", &TSettings::NewWidth},
    {u"NewHeight", &TSettings::NewHeight},
    {u"ResizeMode", &TSettings::ResizeMode},
    {u"DrawBorder", &TSettings::DrawBorder},
    {u"BorderTopWidth", &TSettings::BorderTopWidth},
    {u"BorderRightWidth", &TSettings::BorderRightWidth},
    {u"BorderBottomWidth", &TSettings::BorderBottomWidth},
    {u"BorderLeftWidth", &TSettings::BorderLeftWidth},
    {u"BorderColor", &TSettings::BorderColor},
    {u"BorderMode", &TSettings::BorderMode},
    {u"BorderPosition", &TSettings::BorderPosition},
    {u"Rename", &TSettings::Rename},
    {u"RenameTpl", &TSettings::RenameTpl},
    {u"ChangeCase", &TSettings::ChangeCase},
    {u"KeepExif", &TSettings::KeepExif},
    {u"AutoRotate", &TSettings::AutoRotate},
    {u"StripLocation", &TSettings::StripLocation},
    {u"KeepSourceColors", &TSettings::KeepSourceColors},
};

std::string SetupPath(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder + "Setup.ini";
  return folder + "/Setup.ini";
}

// The name as the file keeps it: a line loses its outer blanks and control
// characters when it is read back.
std::string_view Trimmed(std::string_view name) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!name.empty() && blank(name.front())) name.remove_prefix(1);
  while (!name.empty() && blank(name.back())) name.remove_suffix(1);
  return name;
}

std::u16string SectionOf(std::string_view name) {
  return std::u16string(kPrefix) + Utf8ToUtf16(Trimmed(name));
}

bool IsPresetSection(std::u16string_view section) {
  return section.size() > kPrefix.size() && SameText(section.substr(0, kPrefix.size()), kPrefix);
}

IniDocument OpenSetup(const std::string& folder) {
  const std::string path = SetupPath(folder);
  IniDocument ini = IniDocument::Open(path);
  // Rewriting a file that exists but could not be read would lose its
  // other sections and keys.
  if (ini.ReadError()) throw std::runtime_error("Cannot read settings file \"" + path + "\"");
  return ini;
}

// Removes every occurrence of the section (names match in any letter case).
bool RemoveSections(IniDocument& ini, std::u16string_view section) {
  bool removed = false;
  for (size_t i = ini.SectionCount(); i-- > 0;) {
    if (!SameText(ini.SectionNames()[i], section)) continue;
    ini.RemoveSection(i);
    removed = true;
  }
  return removed;
}

}  // namespace

std::string PresetNameProblem(std::string_view name) {
  const std::string_view trimmed = Trimmed(name);
  if (trimmed.empty()) return Text(TTextId::PresetNameEmpty);
  // "]" would end the section line early, "=" would make it a key line, and
  // a line break would split it.
  auto control = [](char c) { return static_cast<unsigned char>(c) < ' ' || c == '\x7F'; };
  if (std::none_of(trimmed.begin(), trimmed.end(),
                   [&](char c) { return c == ']' || c == '=' || control(c); }))
    return {};
  // The name is shown on one line.
  std::string shown(trimmed);
  std::replace_if(shown.begin(), shown.end(), control, ' ');
  return FormatText(Text(TTextId::PresetNameInvalid), {shown});
}

std::vector<std::string> ListPresets(const std::string& folder) {
  const IniDocument ini = IniDocument::Open(SetupPath(folder));
  std::vector<std::string> names;
  for (const std::u16string& section : ini.SectionNames()) {
    if (!IsPresetSection(section)) continue;
    const std::string name = Utf16ToUtf8(section.substr(kPrefix.size()));
    const bool known = std::any_of(names.begin(), names.end(),
                                   [&](const std::string& n) { return SameTextUtf8(n, name); });
    if (!known && PresetNameProblem(name).empty()) names.push_back(name);
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return CompareForList(a, b) < 0; });
  return names;
}

std::optional<TPreset> LoadPreset(const std::string& folder, std::string_view name,
                                  const TSettings& base) {
  if (!PresetNameProblem(name).empty()) return std::nullopt;
  const IniDocument ini = IniDocument::Open(SetupPath(folder));
  const std::u16string section = SectionOf(name);
  if (!ini.SectionExists(section)) return std::nullopt;
  TPreset preset;
  // The name as stored, in its own letter case.
  for (const std::u16string& s : ini.SectionNames())
    if (SameText(s, section)) preset.Name = Utf16ToUtf8(s.substr(kPrefix.size()));
  preset.Settings = base;
  TSettings& s = preset.Settings;
  for (const TPresetKey& k : kKeys) {
    std::visit(
        [&](auto member) {
          using T = std::remove_reference_t<decltype(s.*member)>;
          if constexpr (std::is_same_v<T, bool>)
            s.*member = ini.ReadBool(section, k.key, s.*member);
          else if constexpr (std::is_same_v<T, int32_t>)
            s.*member = ini.ReadInteger(section, k.key, s.*member);
          else
            s.*member = Utf16ToUtf8(ini.ReadString(section, k.key, Utf8ToUtf16(s.*member)));
        },
        k.field);
  }
  preset.Template = Utf16ToUtf8(ini.ReadString(section, kTemplateKey, u""));
  return preset;
}

void SavePreset(const std::string& folder, const TPreset& preset) {
  if (std::string problem = PresetNameProblem(preset.Name); !problem.empty())
    throw std::invalid_argument(problem);
  IniDocument ini = OpenSetup(folder);
  const std::u16string section = SectionOf(preset.Name);
  RemoveSections(ini, section);
  ini.AppendSection(section);
  const TSettings& s = preset.Settings;
  for (const TPresetKey& k : kKeys) {
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(s.*member)>;
          if constexpr (std::is_same_v<T, bool>)
            ini.WriteBool(section, k.key, s.*member);
          else if constexpr (std::is_same_v<T, int32_t>)
            ini.WriteInteger(section, k.key, s.*member);
          else
            ini.WriteString(section, k.key, Utf8ToUtf16(s.*member));
        },
        k.field);
  }
  ini.WriteString(section, kTemplateKey, Utf8ToUtf16(preset.Template));
  ini.UpdateFile();
}

bool DeletePreset(const std::string& folder, std::string_view name) {
  if (!PresetNameProblem(name).empty()) return false;
  IniDocument ini = OpenSetup(folder);
  if (!RemoveSections(ini, SectionOf(name))) return false;
  ini.UpdateFile();
  return true;
}

void ApplyPreset(const TPreset& preset, TSettings& settings) {
  for (const TPresetKey& k : kKeys)
    std::visit([&](auto member) { settings.*member = preset.Settings.*member; }, k.field);
}

}  // namespace imprimo
