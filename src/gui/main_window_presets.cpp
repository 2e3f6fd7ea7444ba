// Named presets in the left panel: a list to pick from and a menu button to
// save the panel under a name or delete the chosen preset.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <algorithm>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "app/presets.h"
#include "app/setting_table.h"
#include "app/texts.h"
#include "gui/form_controls.h"
#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/menu_btn.h"
#include "gui/qt_text.h"
#include "gui/window_texts.h"
#include "ini/ini_document.h"

namespace imprimo {

namespace {

// The preset's own name: the entry's text may carry the changed mark.
QString PresetName(const QComboBox& list, int index) {
  const QVariant name = list.itemData(index);
  return name.isValid() ? name.toString() : list.itemText(index);
}

// The values a preset holds, as it stores them.
std::vector<std::pair<std::u16string, std::u16string>> PresetValues(const TSettings& settings) {
  IniDocument ini = IniDocument::FromBytes({});
  const TProgramValues unused;
  for (const TSettingDef* def : PresetSettings()) WriteSetting(ini, u"P", *def, settings, unused);
  return ini.SectionEntries(u"P");
}

}  // namespace

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
  for (const std::string& name : ListPresets(dataFolder_))
    cbPreset->addItem(FromUtf8(name), FromUtf8(name));
  int index = -1;
  for (int i = 0; i < cbPreset->count() && !select.isEmpty(); ++i)
    if (PresetName(*cbPreset, i).compare(select, Qt::CaseInsensitive) == 0) index = i;
  cbPreset->setCurrentIndex(index);
  cbPreset->setEnabled(cbPreset->count() > 0);
  pmnuPresetDel->setEnabled(index >= 0);
  if (index >= 0)
    TakePresetSnapshot();
  else
    presetSnapshot_.reset();
}

void TfrmMain::WatchPanelForPresetChanges() {
  auto* panel = findChild<QWidget*>(QStringLiteral("plSettings"));
  if (panel == nullptr) return;
  // Every control of the panel, whatever it sets; the comparison tells
  // whether the preset's values differ.
  auto edited = [this] { UpdatePresetMarker(); };
  auto inPresetList = [this](const QWidget* w) {
    return w == cbPreset || cbPreset->isAncestorOf(w);
  };
  for (QLineEdit* e : panel->findChildren<QLineEdit*>())
    if (!inPresetList(e)) connect(e, &QLineEdit::textChanged, this, edited);
  for (QComboBox* c : panel->findChildren<QComboBox*>())
    if (!inPresetList(c)) connect(c, &QComboBox::currentIndexChanged, this, edited);
  for (QAbstractButton* b : panel->findChildren<QAbstractButton*>())
    connect(b, &QAbstractButton::toggled, this, edited);
  for (QSpinBox* n : panel->findChildren<QSpinBox*>())
    connect(n, &QSpinBox::valueChanged, this, edited);
  // The options dialog sets values the panel does not show; its own handler
  // has run when this one is called.
  connect(actStandardOption, &QAction::triggered, this, edited);
}

void TfrmMain::TakePresetSnapshot() {
  const TSettings kept = settings_;
  PanelToSettings();
  presetSnapshot_ = std::make_unique<TSettings>(settings_);
  settings_ = kept;
  presetSnapshotTemplate_ = cbListTpl->currentText();
  UpdatePresetMarker();
}

void TfrmMain::UpdatePresetMarker() {
  const int index = cbPreset->currentIndex();
  if (index < 0) return;
  const QString name = PresetName(*cbPreset, index);
  bool changed = false;
  if (presetSnapshot_) {
    // The panel over the record, without touching the record itself.
    const TSettings kept = settings_;
    PanelToSettings();
    const TSettings now = settings_;
    settings_ = kept;
    changed = PresetValues(now) != PresetValues(*presetSnapshot_) ||
              cbListTpl->currentText() != presetSnapshotTemplate_;
  }
  const QString shown = changed ? WinText(TWinText::PresetChanged).arg(name) : name;
  if (cbPreset->itemText(index) != shown) cbPreset->setItemText(index, shown);
}

void TfrmMain::cbPresetChange() {
  pmnuPresetDel->setEnabled(cbPreset->currentIndex() >= 0);
  if (running_ || adding_ || cbPreset->currentIndex() < 0) return;
  // What the panel shows now is the base: a key missing from the preset
  // keeps its current value.
  PanelToSettings();
  const std::optional<TPreset> preset =
      LoadPreset(dataFolder_, ToUtf8(PresetName(*cbPreset, cbPreset->currentIndex())), settings_);
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
  TakePresetSnapshot();
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
  QString name =
      cbPreset->currentIndex() >= 0 ? PresetName(*cbPreset, cbPreset->currentIndex()) : QString();
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
      const QString existing = PresetName(*cbPreset, i);
      if (existing.compare(name, Qt::CaseInsensitive) != 0) continue;
      chosen = ShowMessage(QMessageBox::Question, UiText(TTextId::CaptionQuestion),
                           UiText(TTextId::PresetReplaceQuestion).arg(existing),
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
  const QString name = PresetName(*cbPreset, cbPreset->currentIndex());
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
