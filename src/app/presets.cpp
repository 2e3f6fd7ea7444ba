#include "app/presets.h"

#include <algorithm>
#include <stdexcept>

#include "app/setting_table.h"
#include "app/texts.h"
#include "ini/ini_document.h"
#include "platform/text.h"

namespace imprimo {

namespace {

constexpr std::u16string_view kPrefix = u"Preset:";
constexpr std::u16string_view kTemplateKey = u"Template";

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
  if (ini.ReadError())
    throw std::runtime_error(FormatText(Text(TTextId::SettingsUnreadable), {path}));
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
  TProgramValues unused;
  for (const TSettingDef* def : PresetSettings())
    ReadSetting(ini, section, *def, preset.Settings, unused);
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
  const TProgramValues unused;
  for (const TSettingDef* def : PresetSettings())
    WriteSetting(ini, section, *def, preset.Settings, unused);
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
  for (const TSettingDef* def : PresetSettings()) CopySetting(*def, preset.Settings, settings);
}

}  // namespace imprimo
