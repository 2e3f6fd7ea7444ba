#include "app/presets.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ini/ini_document.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

class PresetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("imprimo_presets_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    folder_ = dir_.string() + "/";
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  std::string folder_;
};

TSettings WebSettings() {
  TSettings s;
  s.PathType = 2;
  s.OutPath = "/srv/web out/";
  s.SaveFormat = 16;
  s.Quality = 72;
  s.WebPLossless = true;
  s.Resize = true;
  s.NewWidth = 1600;
  s.NewHeight = 1200;
  s.ResizeMode = 1;
  s.DrawBorder = true;
  s.BorderTopWidth = 3;
  s.BorderLeftWidth = 9;
  s.BorderColor = 0x00336699;
  s.BorderMode = 2;
  s.BorderPosition = false;
  s.Rename = true;
  s.RenameTpl = "{FN}-web-###";
  s.ChangeCase = 1;
  s.KeepExif = false;
  s.StripLocation = true;
  s.AutoRotate = false;
  s.KeepSourceColors = true;
  return s;
}

// Older files, other sections and the Setup keys stay as they were; the
// preset comes back field by field, with its template name.
TEST_F(PresetsTest, RoundTripThroughSetupLeavesTheRestAlone) {
  TSettings stored;
  stored.Quality = 55;
  stored.RenameNo = 321;
  TProgramValues values;
  values.TplIndex = 2;
  SaveSettings(folder_, stored, values);
  {
    IniDocument ini = IniDocument::Open(folder_ + "Setup.ini");
    ini.WriteString(u"Other", u"Key", u"kept value");
    ini.UpdateFile();
  }

  TPreset preset{"Web \xC3\xA9t\xC3\xA9", WebSettings(), "Photo Info"};
  SavePreset(folder_, preset);
  SavePreset(folder_, {"archive", TSettings(), ""});

  TSettings read;
  TProgramValues readValues;
  LoadSettings(folder_, read, readValues);
  EXPECT_EQ(read.Quality, 55);
  EXPECT_EQ(read.RenameNo, 321);
  EXPECT_EQ(readValues.TplIndex, 2);
  const IniDocument ini = IniDocument::Open(folder_ + "Setup.ini");
  EXPECT_EQ(ini.ReadString(u"Other", u"Key", u""), u"kept value");
  // The presets do not add keys to the Setup section.
  EXPECT_FALSE(ini.KeyExists(u"Setup", u"Template"));

  EXPECT_EQ(ListPresets(folder_), (std::vector<std::string>{"archive", "Web \xC3\xA9t\xC3\xA9"}));
  const std::optional<TPreset> back = LoadPreset(folder_, "WEB \xC3\x89T\xC3\x89");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->Name, "Web \xC3\xA9t\xC3\xA9");
  EXPECT_EQ(back->Template, "Photo Info");
  TSettings applied;
  applied.RenameNo = 44;
  applied.ScrPath = "/photos/";
  ApplyPreset(*back, applied);
  const TSettings want = WebSettings();
  EXPECT_EQ(applied.OutPath, want.OutPath);
  EXPECT_EQ(applied.SaveFormat, 16);
  EXPECT_EQ(applied.Quality, 72);
  EXPECT_TRUE(applied.WebPLossless);
  EXPECT_EQ(applied.NewWidth, 1600);
  EXPECT_EQ(applied.ResizeMode, 1);
  EXPECT_EQ(applied.BorderTopWidth, 3);
  EXPECT_EQ(applied.BorderLeftWidth, 9);
  EXPECT_EQ(applied.BorderColor, 0x00336699);
  EXPECT_FALSE(applied.BorderPosition);
  EXPECT_EQ(applied.RenameTpl, "{FN}-web-###");
  EXPECT_EQ(applied.ChangeCase, 1);
  EXPECT_FALSE(applied.KeepExif);
  EXPECT_TRUE(applied.StripLocation);
  EXPECT_FALSE(applied.AutoRotate);
  EXPECT_TRUE(applied.KeepSourceColors);
  // The serial and the source folder are not the preset's.
  EXPECT_EQ(applied.RenameNo, 44);
  EXPECT_EQ(applied.ScrPath, "/photos/");

  // Saving again under the name in other letters replaces it; deleting
  // takes it out and nothing else.
  preset.Name = "web \xC3\xA9t\xC3\xA9";
  preset.Settings.Quality = 60;
  SavePreset(folder_, preset);
  EXPECT_EQ(ListPresets(folder_).size(), 2u);
  EXPECT_EQ(LoadPreset(folder_, "Web \xC3\xA9t\xC3\xA9")->Settings.Quality, 60);
  EXPECT_TRUE(DeletePreset(folder_, "WEB \xC3\x89T\xC3\x89"));
  EXPECT_FALSE(DeletePreset(folder_, "nosuch"));
  EXPECT_EQ(ListPresets(folder_), std::vector<std::string>{"archive"});
  LoadSettings(folder_, read, readValues);
  EXPECT_EQ(read.Quality, 55);
  EXPECT_EQ(IniDocument::Open(folder_ + "Setup.ini").ReadString(u"Other", u"Key", u""),
            u"kept value");
}

TEST_F(PresetsTest, NamesThatCannotBeStoredAreRefused) {
  for (const char* bad : {"a]b", "x=1", "two\nlines", "cr\rhere", "tab\tname", "", "   "}) {
    EXPECT_FALSE(PresetNameProblem(bad).empty()) << bad;
    EXPECT_THROW(SavePreset(folder_, {bad, TSettings(), ""}), std::invalid_argument) << bad;
  }
  EXPECT_NE(PresetNameProblem("a]b").find("a]b"), std::string::npos);
  EXPECT_FALSE(fs::exists(folder_ + "Setup.ini"));
  // An opening bracket, colons and semicolons are fine; outer blanks are
  // not part of the name.
  EXPECT_TRUE(PresetNameProblem("Web [large; 2:1").empty());
  SavePreset(folder_, {"Web [large; 2:1", TSettings(), ""});
  SavePreset(folder_, {"  padded  ", TSettings(), ""});
  EXPECT_EQ(ListPresets(folder_), (std::vector<std::string>{"padded", "Web [large; 2:1"}));
  EXPECT_TRUE(LoadPreset(folder_, "web [LARGE; 2:1").has_value());
  EXPECT_TRUE(LoadPreset(folder_, "padded").has_value());
}

// A section written by hand with only some keys: the others keep the base.
TEST_F(PresetsTest, MissingKeysKeepTheBaseValues) {
  std::ofstream(folder_ + "Setup.ini") << "[Setup]\nQuality=80\n[Preset:small]\nResize=1\n"
                                          "NewWidth=320\nNewHeight=zz\n";
  TSettings base;
  base.NewHeight = 777;
  base.Quality = 33;
  const std::optional<TPreset> preset = LoadPreset(folder_, "small", base);
  ASSERT_TRUE(preset.has_value());
  EXPECT_TRUE(preset->Settings.Resize);
  EXPECT_EQ(preset->Settings.NewWidth, 320);
  EXPECT_EQ(preset->Settings.NewHeight, 777);
  EXPECT_EQ(preset->Settings.Quality, 33);
  EXPECT_EQ(preset->Template, "");
  EXPECT_FALSE(LoadPreset(folder_, "Setup").has_value());
}

}  // namespace
}  // namespace imprimo
