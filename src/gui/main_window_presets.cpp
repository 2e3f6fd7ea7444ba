// Named presets in the left panel: a list to pick from and a menu button to
// save the panel under a name or delete the chosen preset.
#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <algorithm>
#include <exception>

#include "app/presets.h"
#include "app/texts.h"
#include "gui/form_controls.h"
#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/menu_btn.h"
#include "gui/qt_text.h"

namespace imprimo {

QLayout* TfrmMain::CreatePresetRow(QWidget* group) {
  pMenuPreset = new QMenu(this);
  pMenuPreset->setObjectName(QStringLiteral("pMenuPreset"));
  pmnuPresetSave = pMenuPreset->addAction(QStringLiteral("Save Settings as Preset..."));
  pmnuPresetSave->setObjectName(QStringLiteral("pmnuPresetSave"));
  pmnuPresetDel = pMenuPreset->addAction(QStringLiteral("Delete Selected Preset"));
  pmnuPresetDel->setObjectName(QStringLiteral("pmnuPresetDel"));
  connect(pmnuPresetSave, &QAction::triggered, this, [this] { actPresetSaveExecute(); });
  connect(pmnuPresetDel, &QAction::triggered, this, [this] { actPresetDelExecute(); });

  // One line under the template list: the panel keeps its height.
  auto* row = new QHBoxLayout;
  row->setSpacing(3);
  row->addWidget(NewLabel("lbPreset", QStringLiteral("Preset:"), group));
  cbPreset = NewList("cbPreset", group, {});
  // The entries are the user's own names, never translated.
  MarkUserItems(*cbPreset);
  row->addWidget(cbPreset, 1);
  abPreset = new TMenuBtn(group);
  abPreset->setObjectName(QStringLiteral("abPreset"));
  abPreset->SetPopupMenu(pMenuPreset);
  abPreset->setToolTip(QStringLiteral("Save or delete presets"));
  row->addWidget(abPreset);
  connect(cbPreset, &QComboBox::activated, this, [this] { cbPresetChange(); });
  RefreshPresetList();
  return row;
}

void TfrmMain::RefreshPresetList(const QString& select) {
  cbPreset->clear();
  for (const std::string& name : ListPresets(dataFolder_)) cbPreset->addItem(FromUtf8(name));
  int index = -1;
  for (int i = 0; i < cbPreset->count() && !select.isEmpty(); ++i)
    if (cbPreset->itemText(i).compare(select, Qt::CaseInsensitive) == 0) index = i;
  cbPreset->setCurrentIndex(index);
  cbPreset->setEnabled(cbPreset->count() > 0);
  pmnuPresetDel->setEnabled(index >= 0);
}

void TfrmMain::cbPresetChange() {
  pmnuPresetDel->setEnabled(cbPreset->currentIndex() >= 0);
  if (running_ || adding_ || cbPreset->currentIndex() < 0) return;
  // What the panel shows now is the base: a key missing from the preset
  // keeps its current value.
  PanelToSettings();
  const std::optional<TPreset> preset =
      LoadPreset(dataFolder_, ToUtf8(cbPreset->currentText()), settings_);
  if (!preset) {
    RefreshPresetList();
    return;
  }
  ApplyPreset(*preset, settings_);
  if (!preset->Template.empty()) {
    // A template that is gone leaves the list without a selection, so the
    // next run or preview says that there is none.
    values_.TplIndex = cbListTpl->findText(FromUtf8(preset->Template), Qt::MatchExactly);
  } else {
    values_.TplIndex = cbListTpl->currentIndex();
  }
  SettingsToPanel();
  UpdateCommands();
}

bool TfrmMain::AskPresetName(QString& name) {
  const QString caption = UiText(TTextId::PresetSaveTitle);
  const QString label = UiText(TTextId::PresetNamePrompt);
  if (dialogs_.AskText) return dialogs_.AskText(caption, label, name);
  QInputDialog dialog(this);
  dialog.setWindowTitle(caption);
  dialog.setLabelText(label);
  dialog.setTextValue(name);
  // Wide enough for its title and a long name.
  const QFontMetrics metrics(dialog.font());
  dialog.setMinimumWidth(
      std::max(metrics.horizontalAdvance(caption) + 160, metrics.averageCharWidth() * 44));
  if (dialog.exec() != QDialog::Accepted) return false;
  name = dialog.textValue();
  return true;
}

void TfrmMain::actPresetSaveExecute() {
  if (running_ || adding_) return;
  QString name = cbPreset->currentText();
  // A refused name is offered again as typed, to be corrected.
  for (bool chosen = false; !chosen;) {
    if (!AskPresetName(name)) return;
    name = name.trimmed();
    if (const std::string problem = PresetNameProblem(ToUtf8(name)); !problem.empty()) {
      ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), FromUtf8(problem));
      continue;
    }
    chosen = true;
    for (int i = 0; i < cbPreset->count() && chosen; ++i) {
      if (cbPreset->itemText(i).compare(name, Qt::CaseInsensitive) != 0) continue;
      chosen = ShowMessage(QMessageBox::Question, UiText(TTextId::CaptionQuestion),
                           UiText(TTextId::PresetReplaceQuestion).arg(cbPreset->itemText(i)),
                           QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
  }
  const std::string utf8 = ToUtf8(name);
  PanelToSettings();
  TPreset preset;
  preset.Name = utf8;
  preset.Settings = settings_;
  if (cbListTpl->currentIndex() >= 0) preset.Template = ToUtf8(cbListTpl->currentText());
  try {
    SavePreset(dataFolder_, preset);
  } catch (const std::exception& e) {
    ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError),
                UiText(TTextId::PresetSaveFailed).arg(QString::fromUtf8(e.what())));
    return;
  }
  RefreshPresetList(name);
}

void TfrmMain::actPresetDelExecute() {
  if (running_ || adding_ || cbPreset->currentIndex() < 0) return;
  const QString name = cbPreset->currentText();
  if (ShowMessage(QMessageBox::Question, UiText(TTextId::CaptionQuestion),
                  UiText(TTextId::PresetDeleteQuestion).arg(name),
                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  try {
    DeletePreset(dataFolder_, ToUtf8(name));
  } catch (const std::exception& e) {
    ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), QString::fromUtf8(e.what()));
  }
  RefreshPresetList();
}

}  // namespace imprimo
