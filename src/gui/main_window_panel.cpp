// The main window's left panel: the template list with the presets above
// the settings panel, in a column that scrolls; the template commands and
// the options dialog over the panel.
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/template_list.h"
#include "gui/form_controls.h"
#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/menu_btn.h"
#include "gui/option_dialog.h"
#include "gui/qt_text.h"
#include "gui/settings_panel.h"

namespace imprimo {

namespace {

constexpr int kPanelWidth = 236;

void Compact(QLayout* layout) {
  layout->setContentsMargins(8, 3, 8, 4);
  layout->setSpacing(3);
}

}  // namespace

QWidget* TfrmMain::CreatePanel() {
  pMenuTpl = new QMenu(this);
  pMenuTpl->setObjectName(QStringLiteral("pMenuTpl"));
  pMenuTpl->addAction(
      LinkedItem(actTplAdd, QStringLiteral("Launch Template Editor"), "pmnuTplAdd"));
  pMenuTpl->addAction(LinkedItem(actTplEdit, actTplEdit->text(), "pmnuTplEdit"));
  pMenuTpl->addAction(LinkedItem(actTplDel, actTplDel->text(), "pmnuTplDel"));

  auto* panel = new QWidget;
  panel->setObjectName(QStringLiteral("plSettings"));
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 4, 0);
  column->setSpacing(3);
  column->addWidget(CreateTemplateGroup());
  settingsPanel_ = new TSettingsPanel(panel);
  column->addWidget(settingsPanel_);
  column->addStretch(1);

  auto* scroller = new QScrollArea(this);
  scroller->setObjectName(QStringLiteral("plLeft"));
  scroller->setWidget(panel);
  scroller->setWidgetResizable(true);
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The panel keeps its width whether or not the scroll bar shows, and never
  // cuts off its widest control.
  const int inner = std::max(kPanelWidth, panel->minimumSizeHint().width());
  scroller->setFixedWidth(inner + scroller->verticalScrollBar()->sizeHint().width() + 2);
  return scroller;
}

QWidget* TfrmMain::CreateTemplateGroup() {
  auto* group = new QGroupBox(QStringLiteral("Templates"), this);
  group->setObjectName(QStringLiteral("gbTemplates"));
  auto* lines = new QVBoxLayout(group);
  Compact(lines);
  auto* row = new QHBoxLayout;
  lines->addLayout(row);
  cbListTpl = NewList("cbListTpl", group, {});
  row->addWidget(cbListTpl, 1);
  abTpl = new TMenuBtn(group);
  abTpl->setObjectName(QStringLiteral("abTpl"));
  abTpl->SetPopupMenu(pMenuTpl);
  abTpl->setToolTip(QStringLiteral("Template Editor"));
  row->addWidget(abTpl);
  connect(cbListTpl, &QComboBox::activated, this, [this] { cbListTplChange(); });
  lines->addLayout(CreatePresetRow(group));
  return group;
}

void TfrmMain::PanelToSettings() { settingsPanel_->ReadInto(settings_); }

void TfrmMain::SettingsToPanel() {
  SelectListIndex(cbListTpl, values_.TplIndex);
  if (FromUtf8(settings_.OutPath).toUcs4().size() < 3)
    settings_.OutPath = programFolder_ + "OutPic";
  settingsPanel_->Show(settings_);
  cbListTplChange();
  panelFilled_ = true;
}

void TfrmMain::RefreshTemplateList() {
  cbListTpl->clear();
  // The file's own name is kept beside the entry: the extension may be in
  // any letter case, and names on this file system are case-sensitive.
  for (const TTemplateEntry& entry : ListTemplates(dataFolder_ + "Watermarks/"))
    cbListTpl->addItem(FromUtf8(entry.Name), FromUtf8(entry.FileName));
  cbListTpl->view()->setMinimumWidth(cbListTpl->view()->sizeHintForColumn(0) + 24);
  if (values_.TplIndex < 0 || values_.TplIndex >= cbListTpl->count()) values_.TplIndex = 0;
  SelectListIndex(cbListTpl, values_.TplIndex);
}

void TfrmMain::cbListTplChange() {
  const QVariant fileName = cbListTpl->currentData();
  selectedTemplatePath_ =
      dataFolder_ + "Watermarks/" +
      (fileName.isValid() ? ToUtf8(fileName.toString()) : ToUtf8(cbListTpl->currentText()) + ".wg");
  std::error_code ec;
  if (cbListTpl->currentIndex() < 0 || !std::filesystem::is_regular_file(selectedTemplatePath_, ec))
    return;
  values_.TplIndex = cbListTpl->currentIndex();
  SetStatusText(0, UiText(TTextId::StatusTemplateName) + cbListTpl->currentText());
  actShowPreviewExecute();
}

void TfrmMain::actTplDelExecute() {
  if (running_ || adding_ || cbListTpl->currentIndex() < 0) return;
  if (ShowMessage(QMessageBox::Question, UiText(TTextId::CaptionQuestion),
                  UiText(TTextId::DeleteTemplateQuestion),
                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  const QVariant fileName = cbListTpl->currentData();
  const std::string path =
      dataFolder_ + "Watermarks/" +
      (fileName.isValid() ? ToUtf8(fileName.toString()) : ToUtf8(cbListTpl->currentText()) + ".wg");
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  // A file that cannot be removed stays listed; its logo pictures stay too.
  std::filesystem::remove(path, ec);
  RefreshTemplateList();
  cbListTplChange();
  if (cbListTpl->count() == 0) {
    SetStatusText(0, UiText(TTextId::StatusTemplateName));
    UpdateCommands();
  }
}

void TfrmMain::actStandardOptionExecute() {
  if (running_ || adding_) return;
  TfrmOption dialog(programFolder_, settings_, values_, this);
  PanelToSettings();
  dialog.FormShow();
  const int result = dialogs_.ShowOptions ? dialogs_.ShowOptions(dialog) : dialog.exec();
  if (result == QDialog::Accepted) SettingsToPanel();
}

}  // namespace imprimo
