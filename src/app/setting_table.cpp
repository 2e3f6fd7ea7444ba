#include "app/setting_table.h"

#include <algorithm>
#include <array>

#include "ini/ini_document.h"
#include "platform/text.h"

namespace imprimo {

namespace {

using K = TOptionKind;
using S = TSettings;
using V = TProgramValues;

// The "Setup" section's keys in the order they are written. Options with a
// value of their own shape (--resize, --border, --format, --out, --in-place,
// --rename, --jobs) are named here and parsed by the command itself.
constexpr TSettingDef kTable[] = {
    {.Key = u"Resize", .Field = &S::Resize, .PresetPlace = 13, .Option = "--resize"},
    {.Key = u"NewWidth",
     .Field = &S::NewWidth,
     .Low = 1,
     .High = 999999,
     .DialogLow = 5,
     .DialogHigh = 999999,
     .PresetPlace = 14,
     .Option = "--resize"},
    {.Key = u"NewHeight",
     .Field = &S::NewHeight,
     .Low = 1,
     .High = 999999,
     .DialogLow = 5,
     .DialogHigh = 999999,
     .PresetPlace = 15,
     .Option = "--resize"},
    {.Key = u"ResizeMode",
     .Field = &S::ResizeMode,
     .Low = 0,
     .High = 3,
     .PresetPlace = 16,
     .Option = "--resize-mode",
     .Kind = K::Number,
     .OptionArg = "N",
     .Help = "0 width and height, 1 height (keep aspect),\n"
             "2 width (keep aspect), 3 width and height (keep aspect)"},
    {.Key = u"DrawBorder", .Field = &S::DrawBorder, .PresetPlace = 17, .Option = "--border"},
    {.Key = u"BorderTopWidth",
     .Field = &S::BorderTopWidth,
     .Low = 0,
     .High = 65535,
     .DialogHigh = 999,
     .PresetPlace = 18,
     .Option = "--border"},
    {.Key = u"BorderRightWidth",
     .Field = &S::BorderRightWidth,
     .Low = 0,
     .High = 65535,
     .DialogHigh = 999,
     .PresetPlace = 19,
     .Option = "--border"},
    {.Key = u"BorderBottomWidth",
     .Field = &S::BorderBottomWidth,
     .Low = 0,
     .High = 65535,
     .DialogHigh = 999,
     .PresetPlace = 20,
     .Option = "--border"},
    {.Key = u"BorderLeftWidth",
     .Field = &S::BorderLeftWidth,
     .Low = 0,
     .High = 65535,
     .DialogHigh = 999,
     .PresetPlace = 21,
     .Option = "--border"},
    {.Key = u"BorderColor",
     .Field = &S::BorderColor,
     .Low = INT32_MIN,
     .High = INT32_MAX,
     .PresetPlace = 22,
     .Option = "--border-color",
     .Kind = K::Colour,
     .OptionArg = "RRGGBB",
     .Help = "border colour"},
    {.Key = u"BorderMode",
     .Field = &S::BorderMode,
     .Low = 0,
     .High = 4,
     .PresetPlace = 23,
     .Option = "--border-style",
     .Kind = K::Number,
     .OptionArg = "N",
     .Help = "0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot"},
    {.Key = u"BorderPosition",
     .Field = &S::BorderPosition,
     .PresetPlace = 24,
     .Option = "--border-outside",
     .Kind = K::Flag,
     .Help = "add the border around the picture",
     .FlagValue = 0},
    {.Key = u"TplIndex", .Field = &V::TplIndex, .Low = -1, .High = INT32_MAX},
    {.Key = u"PathType",
     .Field = &S::PathType,
     .Low = 1,
     .High = 2,
     .PresetPlace = 1,
     .Option = "--in-place"},
    {.Key = u"Quality",
     .Field = &S::Quality,
     .Low = 10,
     .High = 100,
     .DialogLow = 0,
     .DialogHigh = 100,
     .PresetPlace = 4,
     .Option = "--quality",
     .Kind = K::Number,
     .OptionArg = "N",
     .Help = "JPEG/JNG/WebP/AVIF quality {range}"},
    {.Key = u"Compress",
     .Field = &S::Compress,
     .Low = 0,
     .High = 9,
     .PresetPlace = 5,
     .Option = "--compress",
     .Kind = K::Number,
     .OptionArg = "N",
     .Help = "PNG/MNG compression level {range}"},
    {.Key = u"Colors", .Field = &S::Colors, .Low = 0, .High = 3, .PresetPlace = 6},
    {.Key = u"ScrPath", .Field = &S::ScrPath},
    {.Key = u"OutPath", .Field = &S::OutPath, .PresetPlace = 2, .Option = "--out"},
    {.Key = u"SaveFormat",
     .Field = &S::SaveFormat,
     .Low = 0,
     .High = kSaveFormatCount - 1,
     .PresetPlace = 3,
     .Option = "--format"},
    {.Key = u"ChangeCase",
     .Field = &S::ChangeCase,
     .Low = 0,
     .High = 2,
     .PresetPlace = 27,
     .Option = "--case",
     .Kind = K::Words,
     .OptionArg = "upper|lower|keep",
     .Help = "extension letter case",
     .Words = "upper lower keep",
     .WordsError = TTextId::CliOptCase},
    {.Key = u"OverwriteOutput",
     .Field = &S::OverwriteOutput,
     .PresetPlace = 12,
     .Option = "--overwrite",
     .Kind = K::Flag,
     .Help = "replace existing outputs instead of numbering them"},
    {.Key = u"Rename", .Field = &S::Rename, .PresetPlace = 25, .Option = "--rename"},
    {.Key = u"RenameTpl", .Field = &S::RenameTpl, .PresetPlace = 26, .Option = "--rename"},
    {.Key = u"RenameNo",
     .Field = &S::RenameNo,
     .Low = 0,
     .High = 9999999,
     .Option = "--serial",
     .Kind = K::Number,
     .OptionArg = "N",
     .Help = "first serial number for #, {range}"},
    {.Key = u"KeepExif",
     .Field = &S::KeepExif,
     .PresetPlace = 28,
     .Option = "--keep-exif",
     .Kind = K::OnOff,
     .Help = "carry EXIF, XMP, IPTC and the colour profile over"},
    {.Key = u"WinWidth", .Field = &V::WinWidth, .Low = 0, .High = INT32_MAX},
    {.Key = u"WinHeight", .Field = &V::WinHeight, .Low = 0, .High = INT32_MAX},
    {.Key = u"WinState", .Field = &V::WinState, .Low = 0, .High = 2},
    {.Key = u"Open", .Field = &V::Open},
    {.Key = u"RemoveList", .Field = &V::RemoveList},
    {.Key = u"Close", .Field = &V::Close},
    {.Key = u"FlattenColor",
     .Field = &S::FlattenColor,
     .Low = 0,
     .High = 0xFFFFFF,
     .PresetPlace = 7,
     .Option = "--flatten",
     .Kind = K::Colour,
     .OptionArg = "RRGGBB",
     .Help = "background for transparent areas in outputs\nwithout alpha (default FFFFFF)"},
    {.Key = u"JpegSubsampling",
     .Field = &S::JpegSubsampling,
     .Low = 0,
     .High = 2,
     .PresetPlace = 8,
     .Option = "--jpeg-subsampling",
     .Kind = K::Words,
     .OptionArg = "S",
     .Help = "JPEG chroma sampling: 420 (default), 422 or 444",
     .Words = "420 422 444",
     .WordsError = TTextId::CliOptJpegSubsampling},
    {.Key = u"AutoRotate",
     .Field = &S::AutoRotate,
     .PresetPlace = 29,
     .Option = "--auto-rotate",
     .Kind = K::OnOff,
     .Help = "turn pictures upright by their EXIF\norientation before drawing (default on)"},
    {.Key = u"StripLocation",
     .Field = &S::StripLocation,
     .PresetPlace = 30,
     .Option = "--strip-location",
     .Kind = K::Flag,
     .Help = "leave GPS data and place names out of kept metadata"},
    {.Key = u"WebPLossless",
     .Field = &S::WebPLossless,
     .PresetPlace = 9,
     .Option = "--webp-lossless",
     .Kind = K::OnOff,
     .Help = "lossless WebP coding"},
    {.Key = u"AvifSpeed",
     .Field = &S::AvifSpeed,
     .Low = 0,
     .High = 10,
     .PresetPlace = 10,
     .Option = "--avif-speed",
     .Kind = K::Number,
     .OptionArg = "N",
     .Help = "AVIF encoder speed 0 (slowest, smallest) .. 10"},
    {.Key = u"TiffCompression",
     .Field = &S::TiffCompression,
     .Low = 0,
     .High = 1,
     .PresetPlace = 11,
     .Option = "--tiff-compression",
     .Kind = K::Words,
     .OptionArg = "lzw|deflate",
     .Help = "compression of TIFF outputs",
     .Words = "lzw deflate",
     .WordsError = TTextId::CliOptTiffCompression},
    {.Key = u"KeepSourceColors",
     .Field = &S::KeepSourceColors,
     .PresetPlace = 31,
     .Option = "--keep-source-colors",
     .Kind = K::OnOff,
     .Help = "keep the colour values of a\nsource with a colour profile when the output does "
             "not\ncarry the profile (default: convert them to sRGB)"},
    {.Key = u"LogLimit", .Field = &V::LogLimit, .Low = kStandardLogLimit, .High = kLargestLogLimit},
    // --jobs sets the run's count without storing it.
    {.Key = u"Jobs", .Field = &V::Jobs, .Low = 0, .High = 256, .Option = "--jobs"},
};

constexpr size_t CountPresetSettings() {
  size_t n = 0;
  for (const TSettingDef& d : kTable) n += d.PresetPlace > 0;
  return n;
}

using TPresetList = std::array<const TSettingDef*, CountPresetSettings()>;

TPresetList MakePresetList() {
  TPresetList list{};
  size_t n = 0;
  for (const TSettingDef& d : kTable)
    if (d.PresetPlace > 0) list[n++] = &d;
  std::sort(list.begin(), list.end(), [](const TSettingDef* a, const TSettingDef* b) {
    return a->PresetPlace < b->PresetPlace;
  });
  return list;
}

}  // namespace

std::span<const TSettingDef> SettingTable() { return kTable; }

const TSettingDef* FindSetting(std::u16string_view key) {
  for (const TSettingDef& d : kTable)
    if (d.Key == key) return &d;
  return nullptr;
}

std::span<const TSettingDef* const> PresetSettings() {
  static const TPresetList list = MakePresetList();
  return list;
}

int DialogLow(const TSettingDef& def) {
  return static_cast<int>(def.DialogLow == 0 && def.DialogHigh == 0 ? def.Low : def.DialogLow);
}

int DialogHigh(const TSettingDef& def) {
  return static_cast<int>(def.DialogHigh == 0 ? def.High : def.DialogHigh);
}

int PanelLow(const TSettingDef& def) { return std::max(static_cast<int>(def.Low), DialogLow(def)); }

int PanelHigh(const TSettingDef& def) {
  return std::min(static_cast<int>(def.High), DialogHigh(def));
}

int64_t SettingNumber(const TSettingDef& def, const TSettings& s, const TProgramValues& v) {
  int64_t number = 0;
  VisitSetting(def, s, v, [&](const auto& field) {
    if constexpr (!std::is_same_v<std::remove_cvref_t<decltype(field)>, std::string>)
      number = static_cast<int64_t>(field);
  });
  return number;
}

void SetSettingNumber(const TSettingDef& def, int64_t value, TSettings& s, TProgramValues& v) {
  VisitSetting(def, s, v, [&](auto& field) {
    using T = std::remove_cvref_t<decltype(field)>;
    if constexpr (std::is_same_v<T, bool>)
      field = value != 0;
    else if constexpr (!std::is_same_v<T, std::string>)
      field = static_cast<T>(value);
  });
}

void CopySetting(const TSettingDef& def, const TSettings& from, TSettings& to) {
  std::visit(
      [&](auto member) {
        if constexpr (requires { to.*member; }) to.*member = from.*member;
      },
      def.Field);
}

void ReadSetting(const IniDocument& ini, std::u16string_view section, const TSettingDef& def,
                 TSettings& s, TProgramValues& v) {
  VisitSetting(def, s, v, [&](auto& field) {
    using T = std::remove_cvref_t<decltype(field)>;
    if constexpr (std::is_same_v<T, bool>)
      field = ini.ReadBool(section, def.Key, field);
    else if constexpr (std::is_same_v<T, int32_t>)
      field = ini.ReadInteger(section, def.Key, field);
    else if constexpr (std::is_same_v<T, int64_t>)
      // The file holds the serial as a 32-bit value; it is widened with its sign.
      field = ini.ReadInteger(section, def.Key, static_cast<int32_t>(field));
    else
      field = Utf16ToUtf8(ini.ReadString(section, def.Key, Utf8ToUtf16(field)));
  });
}

void WriteSetting(IniDocument& ini, std::u16string_view section, const TSettingDef& def,
                  const TSettings& s, const TProgramValues& v) {
  VisitSetting(def, s, v, [&](const auto& field) {
    using T = std::remove_cvref_t<decltype(field)>;
    if constexpr (std::is_same_v<T, bool>)
      ini.WriteBool(section, def.Key, field);
    else if constexpr (std::is_same_v<T, int32_t>)
      ini.WriteInteger(section, def.Key, field);
    else if constexpr (std::is_same_v<T, int64_t>)
      ini.WriteInteger(section, def.Key, static_cast<int32_t>(static_cast<uint32_t>(field)));
    else
      ini.WriteString(section, def.Key, Utf8ToUtf16(field));
  });
}

}  // namespace imprimo
