// Saving, picking and deleting named presets in the main window's panel.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "app/presets.h"
#include "ini/ini_document.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

using PresetsWindowTest = WindowFixture;

void Pick(QComboBox* list, int index) {
  list->setCurrentIndex(index);
  emit list->activated(index);
}

TEST_F(PresetsWindowTest, SavePickReplaceAndDelete) {
  WriteTemplate("First");
  WriteTemplate("Second");
  WriteText(folder_ + "Setup.ini", "[Setup]\r\nQuality=77\r\n[Other]\r\nKey=kept\r\n");
  TfrmMain& w = Open();
  auto* presets = w.findChild<QComboBox*>("cbPreset");
  auto* save = w.findChild<QAction*>("pmnuPresetSave");
  auto* del = w.findChild<QAction*>("pmnuPresetDel");
  auto* templates = w.findChild<QComboBox*>("cbListTpl");
  auto* format = w.findChild<QComboBox*>("cbSaveFormat");
  auto* rename = w.findChild<QRadioButton*>("cbRename");
  auto* pattern = w.findChild<QLineEdit*>("edtRnTempl");
  auto* resize = w.findChild<QCheckBox*>("cbCustomSize");
  ASSERT_TRUE(presets && save && del && templates && format && rename && pattern && resize);
  EXPECT_EQ(presets->count(), 0);
  EXPECT_FALSE(del->isEnabled());

  // The panel as the user set it, saved under a name.
  Pick(templates, 1);
  format->setCurrentIndex(1);
  rename->setChecked(true);
  pattern->setText("web-##");
  resize->setChecked(true);
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));
  texts_ = {QStringLiteral("  Web  ")};
  save->trigger();
  ASSERT_EQ(presets->count(), 1);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web"));
  EXPECT_TRUE(del->isEnabled());
  IniDocument ini = IniDocument::Open(folder_ + "Setup.ini");
  EXPECT_EQ(ini.ReadString(u"Preset:Web", u"Template", u""), u"Second");
  EXPECT_EQ(ini.ReadInteger(u"Preset:Web", u"SaveFormat", -1), 1);
  EXPECT_EQ(ini.ReadString(u"Other", u"Key", u""), u"kept");
  EXPECT_EQ(ini.ReadInteger(u"Setup", u"Quality", 0), 77);

  // Another state, then the preset brings its own back.
  Pick(templates, 0);
  format->setCurrentIndex(2);
  w.findChild<QRadioButton*>("cbOriginalName")->setChecked(true);
  pattern->setText("x");
  resize->setChecked(false);
  Pick(presets, 0);
  EXPECT_EQ(templates->currentText(), QStringLiteral("Second"));
  EXPECT_EQ(format->currentIndex(), 1);
  EXPECT_TRUE(rename->isChecked());
  EXPECT_EQ(pattern->text(), QStringLiteral("web-##"));
  EXPECT_TRUE(resize->isChecked());
  EXPECT_EQ(w.SelectedTemplatePath(), folder_ + "Watermarks/Second.wg");

  // A name that cannot be stored is refused with its reason.
  texts_ = {QStringLiteral("a]b")};
  save->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Error"));
  EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("may not contain")))
      << messages_[0].text.toStdString();
  EXPECT_EQ(presets->count(), 1);
  // The refused name is offered again as typed (then cancelled here).
  EXPECT_EQ(proposed_.back(), QStringLiteral("a]b"));

  // The same name in other letters asks before replacing.
  format->setCurrentIndex(2);
  texts_ = {QStringLiteral("WEB")};
  answers_ = {QMessageBox::No};
  save->trigger();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1].text, QStringLiteral("A preset named \"Web\" exists. Replace it?"));
  EXPECT_EQ(LoadPreset(folder_, "Web")->Settings.SaveFormat, 1);
  // The dialog proposes the chosen preset's name; after No, the name typed.
  ASSERT_GE(proposed_.size(), 2u);
  EXPECT_EQ(proposed_[proposed_.size() - 2], QStringLiteral("Web"));
  EXPECT_EQ(proposed_.back(), QStringLiteral("WEB"));

  answers_ = {QMessageBox::Yes};
  del->trigger();
  EXPECT_EQ(presets->count(), 0);
  EXPECT_FALSE(del->isEnabled());
  EXPECT_TRUE(ListPresets(folder_).empty());
  EXPECT_EQ(IniDocument::Open(folder_ + "Setup.ini").ReadString(u"Other", u"Key", u""), u"kept");
}

// The list marks a preset whose values the panel no longer holds, in the
// language's words, and drops the mark when they are back or picked again.
TEST_F(PresetsWindowTest, APresetChangedSinceItWasPickedIsMarked) {
  WriteTemplate("First");
  WriteTemplate("Second");
  TSettings settings;
  settings.OutPath = out_;
  settings.Quality = 70;
  SavePreset(folder_, {"Web", settings, "First"});
  TfrmMain& w = Open();
  auto* presets = w.findChild<QComboBox*>("cbPreset");
  auto* format = w.findChild<QComboBox*>("cbSaveFormat");
  auto* quality = w.findChild<QSpinBox*>("seQuality");
  auto* templates = w.findChild<QComboBox*>("cbListTpl");
  ASSERT_TRUE(presets && format && quality && templates);
  Pick(presets, 0);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web"));
  EXPECT_EQ(quality->value(), 70);

  quality->setValue(71);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web (changed)"));
  quality->setValue(70);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web"));
  Pick(templates, 1);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web (changed)"));
  // Picking the preset again brings its values and drops the mark; the
  // marked entry still names the preset for saving and deleting.
  Pick(presets, 0);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web"));
  EXPECT_EQ(templates->currentText(), QStringLiteral("First"));
  w.findChild<QRadioButton*>("cbRename")->setChecked(true);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web (changed)"));
  texts_ = {QStringLiteral("Web")};
  answers_ = {QMessageBox::Yes};
  w.findChild<QAction*>("pmnuPresetSave")->trigger();
  EXPECT_EQ(proposed_.back(), QStringLiteral("Web"));
  EXPECT_EQ(presets->count(), 1);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web"));
  EXPECT_TRUE(LoadPreset(folder_, "Web")->Settings.Rename);
  // The serial number is not part of a preset.
  w.findChild<QSpinBox*>("edtRenameNo")->setValue(42);
  EXPECT_EQ(presets->currentText(), QStringLiteral("Web"));
  format->setCurrentIndex(1);
  answers_ = {QMessageBox::Yes};
  w.findChild<QAction*>("pmnuPresetDel")->trigger();
  EXPECT_EQ(messages_.back().text, QStringLiteral("Delete the preset \"Web\"?"));
  EXPECT_TRUE(ListPresets(folder_).empty());
}

// A preset whose template has gone leaves no template chosen, and the run
// says so with the template message.
TEST_F(PresetsWindowTest, PresetWithAMissingTemplateFailsTheRun) {
  WriteTemplate("First");
  TSettings settings;
  settings.OutPath = out_;
  SavePreset(folder_, {"Old", settings, "Deleted"});
  TfrmMain& w = Open();
  auto* presets = w.findChild<QComboBox*>("cbPreset");
  ASSERT_EQ(presets->count(), 1);
  Pick(presets, 0);
  EXPECT_EQ(w.findChild<QComboBox*>("cbListTpl")->currentIndex(), -1);
  const std::string in = (root_ / "in").string() + "/";
  WriteImage(in + "a.jpg", 16, 16, "JPEG");
  w.DragDropMDrop({QString::fromStdString(in + "a.jpg")});
  messages_.clear();
  w.findChild<QAction*>("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text,
            QStringLiteral("Unable to find selected template. Please choose a template first!"));
  EXPECT_TRUE(fs::is_empty(out_));
}

}  // namespace
}  // namespace imprimo::testing_gui
