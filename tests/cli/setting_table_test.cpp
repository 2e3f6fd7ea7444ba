// Every setting of the table reaches its field the same way through
// Setup.ini, presets and imprimo-batch's options, and --help shows them.
#include "app/setting_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/presets.h"
#include "cli/batch_options.h"
#include "pipeline/pipeline_test_util.h"

namespace imprimo::testing {
namespace {

std::string Narrow(std::u16string_view key) { return std::string(key.begin(), key.end()); }

bool IsText(const TSettingDef& def) {
  return std::holds_alternative<std::string TSettings::*>(def.Field);
}

std::string TextOf(const TSettingDef& def, const TSettings& s) {
  return s.*std::get<std::string TSettings::*>(def.Field);
}

// A value of the setting that is not its default, inside its range.
int64_t OtherNumber(const TSettingDef& def, int64_t current) {
  if (def.High == 0 && def.Low == 0) return current ? 0 : 1;  // a bool
  return current != def.High ? def.High : def.Low;
}

// The arguments that give the setting a value other than its default, for
// the options whose value has a shape of their own.
std::vector<std::string> ShapedArguments(const TSettingDef& def) {
  static const std::map<std::string, std::vector<std::string>> kArgs = {
      {"--resize", {"--resize=7x9"}},       {"--border", {"--border=1,2,3,5"}},
      {"--in-place", {"--in-place"}},       {"--format", {"--format=tif"}},
      {"--rename", {"--rename", "A#{FN}"}}, {"--out", {"--out=/elsewhere"}},
      {"--jobs", {"--jobs", "3"}}};
  const auto it = kArgs.find(def.Option);
  return it == kArgs.end() ? std::vector<std::string>{} : it->second;
}

std::vector<std::string> Arguments(const TSettingDef& def, const TSettings& d,
                                   const TProgramValues& dv) {
  const std::string option = def.Option;
  const int64_t current = SettingNumber(def, d, dv);
  switch (def.Kind) {
    case TOptionKind::Flag:
      return {option};
    case TOptionKind::OnOff:
      return {current ? "--no-" + option.substr(2) : option};
    case TOptionKind::Number:
      return {option + "=" + std::to_string(OtherNumber(def, current))};
    case TOptionKind::Colour:
      return {option, "#123456"};
    case TOptionKind::Words: {
      const std::string words = def.Words;
      const std::string first = words.substr(0, words.find(' '));
      const std::string second =
          words.substr(first.size() + 1, words.find(' ', first.size() + 1) - first.size() - 1);
      return {option, current == 0 ? second : first};
    }
    case TOptionKind::None:
      break;
  }
  return ShapedArguments(def);
}

// Parses the arguments and applies them to default settings.
TSettings FromCommandLine(const std::vector<std::string>& args, TBatchOptions& options) {
  std::vector<const char*> argv = {"imprimo-batch"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::string error;
  EXPECT_TRUE(ParseBatchOptions(static_cast<int>(argv.size()), argv.data(), options, error))
      << error;
  TSettings s;
  ApplyBatchOptions(options, s);
  return s;
}

bool SameField(const TSettingDef& def, const TSettings& a, const TProgramValues& av,
               const TSettings& b, const TProgramValues& bv) {
  return IsText(def) ? TextOf(def, a) == TextOf(def, b)
                     : SettingNumber(def, a, av) == SettingNumber(def, b, bv);
}

TEST(SettingTable, EveryEntryRoundTripsThroughSetupPresetsAndOptions) {
  TScratchFolder folder;
  const TSettings d;
  const TProgramValues dv;
  for (const TSettingDef& def : SettingTable()) {
    SCOPED_TRACE(Narrow(def.Key));
    ASSERT_EQ(FindSetting(def.Key), &def) << "the key is declared twice";
    // A value other than the default: from the command line where the
    // setting has an option, else set directly.
    TSettings changed = d;
    TProgramValues changedValues = dv;
    if (def.Option && def.Key != u"OutPath" && def.Key != u"Jobs") {
      TBatchOptions options;
      changed = FromCommandLine(Arguments(def, d, dv), options);
      EXPECT_FALSE(SameField(def, changed, dv, d, dv)) << def.Option << " leaves it at its default";
    } else if (IsText(def)) {
      changed.*std::get<std::string TSettings::*>(def.Field) = "/changed/";
    } else {
      SetSettingNumber(def, OtherNumber(def, SettingNumber(def, d, dv)), changed, changedValues);
    }
    ASSERT_FALSE(SameField(def, changed, changedValues, d, dv));

    SaveSettings(folder.Path(), changed, changedValues);
    TSettings loaded;
    TProgramValues loadedValues;
    LoadSettings(folder.Path(), loaded, loadedValues);
    EXPECT_TRUE(SameField(def, loaded, loadedValues, changed, changedValues)) << "Setup.ini";

    SavePreset(folder.Path(), {"Table", changed, ""});
    const std::optional<TPreset> preset = LoadPreset(folder.Path(), "Table");
    ASSERT_TRUE(preset);
    TSettings applied;
    ApplyPreset(*preset, applied);
    const bool kept = SameField(def, applied, dv, changed, dv);
    if (def.PresetPlace > 0)
      EXPECT_TRUE(kept) << "a preset loses it";
    else
      EXPECT_TRUE(SameField(def, applied, dv, d, dv)) << "a preset carries it";
  }
}

TEST(SettingTable, OptionsKeepTheirOthersAndLimits) {
  TBatchOptions options;
  TSettings s = FromCommandLine({"--out", "/o", "--jobs=0"}, options);
  EXPECT_EQ(options.OutFolder, "/o");
  EXPECT_EQ(options.Jobs, 0);
  EXPECT_EQ(s.PathType, 2);
  // A later option wins; ranges are the table's.
  s = FromCommandLine({"--quality=20", "--quality", "30", "--no-keep-exif", "--keep-exif"},
                      options);
  EXPECT_EQ(s.Quality, 30);
  EXPECT_TRUE(s.KeepExif);
  for (const TSettingDef& def : SettingTable()) {
    if (def.Kind != TOptionKind::Number) continue;
    SCOPED_TRACE(def.Option);
    const std::string above = std::string(def.Option) + "=" + std::to_string(def.High + 1);
    const std::string below = std::string(def.Option) + "=" + std::to_string(def.Low - 1);
    for (const std::string& arg : {above, below}) {
      const char* argv[] = {"imprimo-batch", arg.c_str()};
      TBatchOptions refused;
      std::string error;
      EXPECT_FALSE(ParseBatchOptions(2, argv, refused, error));
      EXPECT_NE(error.find(std::to_string(def.High)), std::string::npos) << error;
    }
  }
}

TEST(SettingTable, HelpListsEveryOption) {
  const std::string help = BatchUsageText();
  for (const TSettingDef& def : SettingTable()) {
    if (!def.Option) continue;
    SCOPED_TRACE(def.Option);
    const std::string option = def.Option;
    if (def.Kind == TOptionKind::OnOff)
      EXPECT_NE(help.find("  " + option + ", --no-" + option.substr(2) + "  "), std::string::npos);
    else
      EXPECT_NE(help.find("  " + option + " "), std::string::npos);
    if (def.Help && std::string_view(def.Help).find("{range}") != std::string_view::npos)
      EXPECT_NE(help.find(std::to_string(def.Low) + ".." + std::to_string(def.High)),
                std::string::npos);
  }
}

}  // namespace
}  // namespace imprimo::testing
