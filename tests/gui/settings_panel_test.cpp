// The settings the main window's panel and the options dialog both show:
// each control goes to its own field and back, in either form, and each
// range is the one the setting table gives the form.
#include <QSpinBox>

#include "app/setting_table.h"
#include "support/settings_fixtures.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

using ::imprimo::testing::FillNonDefaultSettings;

// The fields both forms show.
void ExpectSameSharedFields(const TSettings& got, const TSettings& want) {
  EXPECT_EQ(got.PathType, want.PathType);
  EXPECT_EQ(got.OutPath, want.OutPath);
  EXPECT_EQ(got.SaveFormat, want.SaveFormat);
  EXPECT_EQ(got.Quality, want.Quality);
  EXPECT_EQ(got.Compress, want.Compress);
  EXPECT_EQ(got.Colors, want.Colors);
  EXPECT_EQ(got.Rename, want.Rename);
  EXPECT_EQ(got.RenameTpl, want.RenameTpl);
  EXPECT_EQ(got.RenameNo, want.RenameNo);
  EXPECT_EQ(got.Resize, want.Resize);
  EXPECT_EQ(got.NewWidth, want.NewWidth);
  EXPECT_EQ(got.NewHeight, want.NewHeight);
  EXPECT_EQ(got.ResizeMode, want.ResizeMode);
}

class SettingsPanelTest : public WindowFixture {};

TEST_F(SettingsPanelTest, PanelAndDialogGiveBackTheRecordTheyShow) {
  TSettings filled;
  TProgramValues values;
  FillNonDefaultSettings(filled, values);
  // Into another folder: the panel gives the source folder for outputs
  // beside their sources.
  filled.PathType = 2;

  TfrmMain& w = Open();
  w.Settings() = filled;
  w.SettingsToPanel();
  w.Settings() = TSettings();
  w.PanelToSettings();
  ExpectSameSharedFields(w.Settings(), filled);

  TSettings edited = filled;
  TfrmOption dialog(folder_, edited, values);
  dialog.FormShow();
  edited = TSettings();
  dialog.btnSaveClick();
  ExpectSameSharedFields(edited, filled);
}

TEST_F(SettingsPanelTest, EachFormTakesTheRangeTheTableGivesIt) {
  TfrmMain& w = Open();
  TSettings settings;
  TProgramValues values;
  TfrmOption dialog(folder_, settings, values);
  const struct {
    const char* control;
    std::u16string_view key;
    int panelLow, panelHigh, dialogLow, dialogHigh;
  } cases[] = {{"seQuality", u"Quality", 10, 100, 0, 100},
               {"edtCtmWidth", u"NewWidth", 5, 999999, 5, 999999},
               {"edtCtmHeight", u"NewHeight", 5, 999999, 5, 999999},
               {"edtRenameNo", u"RenameNo", 0, 9999999, 0, 9999999}};
  for (const auto& c : cases) {
    const TSettingDef& def = *FindSetting(c.key);
    EXPECT_EQ(PanelLow(def), c.panelLow) << c.control;
    EXPECT_EQ(PanelHigh(def), c.panelHigh) << c.control;
    EXPECT_EQ(DialogLow(def), c.dialogLow) << c.control;
    EXPECT_EQ(DialogHigh(def), c.dialogHigh) << c.control;
    auto* panelSpin = w.findChild<QSpinBox*>(QString::fromLatin1(c.control));
    auto* dialogSpin = dialog.findChild<QSpinBox*>(QString::fromLatin1(c.control));
    ASSERT_NE(panelSpin, nullptr) << c.control;
    ASSERT_NE(dialogSpin, nullptr) << c.control;
    EXPECT_EQ(panelSpin->minimum(), c.panelLow) << c.control;
    EXPECT_EQ(panelSpin->maximum(), c.panelHigh) << c.control;
    EXPECT_EQ(dialogSpin->minimum(), c.dialogLow) << c.control;
    EXPECT_EQ(dialogSpin->maximum(), c.dialogHigh) << c.control;
  }
}

}  // namespace
}  // namespace imprimo::testing_gui
