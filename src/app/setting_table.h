// Every value kept in the "Setup" section of Setup.ini, declared once: its
// key, the field that holds it, its range, its place in a preset and the
// imprimo-batch option that sets it. Loading and saving the settings, the
// presets, the command line and its help text are all read from this table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "app/settings.h"
#include "app/texts.h"

namespace imprimo {

class IniDocument;

using TSettingField =
    std::variant<bool TSettings::*, int32_t TSettings::*, int64_t TSettings::*,
                 std::string TSettings::*, bool TProgramValues::*, int32_t TProgramValues::*>;

// How imprimo-batch sets a setting by its own option.
enum class TOptionKind {
  None,    // no option of its own (set by another option, or not at all)
  Flag,    // "--x" stores FlagValue
  OnOff,   // "--x" stores true, "--no-x" false
  Number,  // "--x N", a whole number in Low..High
  Colour,  // "--x RRGGBB", stored as 0x00BBGGRR
  Words,   // "--x WORD", one of Words (blank-separated), stored as its index
};

struct TSettingDef {
  std::u16string_view Key;
  TSettingField Field;
  // Whole numbers: the values the setting takes (the command line refuses
  // the others; a stored value outside is read as it stands).
  int64_t Low = 0, High = 0;
  // The options dialog's range, where it differs from Low..High.
  int64_t DialogLow = 0, DialogHigh = 0;
  // Place in a preset's section, from 1; 0: not part of a preset.
  int PresetPlace = 0;
  // The imprimo-batch option; for OnOff the positive form.
  const char* Option = nullptr;
  TOptionKind Kind = TOptionKind::None;
  const char* OptionArg = nullptr;  // the value's name in --help
  // --help text; lines after the first are indented under it, and "{range}"
  // is replaced by Low..High.
  const char* Help = nullptr;
  int32_t FlagValue = 1;
  const char* Words = nullptr;
  TTextId WordsError = TTextId::CliOptUnknown;
};

// The table, in the order the "Setup" section is written.
std::span<const TSettingDef> SettingTable();
// The entry of key (exact spelling); null when there is none.
const TSettingDef* FindSetting(std::u16string_view key);
// The entries that make up a preset, in the order its section is written.
std::span<const TSettingDef* const> PresetSettings();

// The dialog's range of an integer setting.
int DialogLow(const TSettingDef& def);
int DialogHigh(const TSettingDef& def);
// The main window panel's range: the values both the setting and the
// dialog take.
int PanelLow(const TSettingDef& def);
int PanelHigh(const TSettingDef& def);

// Reads and writes one field of the record or of the program values as a
// number (bool 0/1, the serial widened from its stored 32 bits). Text
// settings are not numbers: reading gives 0 and writing does nothing.
int64_t SettingNumber(const TSettingDef& def, const TSettings& s, const TProgramValues& v);
void SetSettingNumber(const TSettingDef& def, int64_t value, TSettings& s, TProgramValues& v);

// Copies a field of the record (the program values are not copied).
void CopySetting(const TSettingDef& def, const TSettings& from, TSettings& to);

// Reads the setting from key def.Key of the section; a missing or unreadable
// value keeps the field as it is. Writes it there.
void ReadSetting(const IniDocument& ini, std::u16string_view section, const TSettingDef& def,
                 TSettings& s, TProgramValues& v);
void WriteSetting(IniDocument& ini, std::u16string_view section, const TSettingDef& def,
                  const TSettings& s, const TProgramValues& v);

// Calls f with a reference to the field def names.
template <typename F>
void VisitSetting(const TSettingDef& def, TSettings& s, TProgramValues& v, F&& f) {
  std::visit(
      [&](auto member) {
        if constexpr (requires { s.*member; })
          f(s.*member);
        else
          f(v.*member);
      },
      def.Field);
}
template <typename F>
void VisitSetting(const TSettingDef& def, const TSettings& s, const TProgramValues& v, F&& f) {
  std::visit(
      [&](auto member) {
        if constexpr (requires { s.*member; })
          f(s.*member);
        else
          f(v.*member);
      },
      def.Field);
}

}  // namespace imprimo
