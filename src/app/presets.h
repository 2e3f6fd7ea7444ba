// Named presets of the processing settings, kept in Setup.ini beside the
// "Setup" section, one section "Preset:NAME" each.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"

namespace imprimo {

// What a preset holds: the output folder and format with the format's
// options, resize, border, rename pattern, extension case, the metadata
// choices and the template (by its list name; empty keeps the selection).
// The serial, the source folder and the window's values are not part of it.
struct TPreset {
  std::string Name;
  TSettings Settings;  // only the fields listed above are stored and applied
  std::string Template;
};

// Why name cannot name a preset, as a message for the user; empty when it
// can. Names are compared without regard to letter case.
std::string PresetNameProblem(std::string_view name);

// The presets of folder + "Setup.ini", in the order of the window's lists.
std::vector<std::string> ListPresets(const std::string& folder);
// The stored preset of that name (any letter case). Keys missing from its
// section take the values of base.
std::optional<TPreset> LoadPreset(const std::string& folder, std::string_view name,
                                  const TSettings& base = TSettings());
// Stores the preset, replacing one of the same name; the rest of the file
// stays as it was. Throws std::invalid_argument for a name that
// PresetNameProblem refuses and std::runtime_error when the file cannot be
// read or written.
void SavePreset(const std::string& folder, const TPreset& preset);
// Removes the preset; false when there was none of that name.
bool DeletePreset(const std::string& folder, std::string_view name);

// Copies the preset's fields into settings.
void ApplyPreset(const TPreset& preset, TSettings& settings);

}  // namespace imprimo
