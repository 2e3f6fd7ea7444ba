// The main window's left panel: template list, output folder and format,
// renaming and size restriction, and its copying to and from TSettings.
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
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

namespace imprimo {

namespace {

constexpr int kPanelWidth = 236;

QGroupBox* NewGroup(const char* name, const QString& title, QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  group->setObjectName(QString::fromLatin1(name));
  return group;
}

void Compact(QLayout* layout) {
  layout->setContentsMargins(8, 3, 8, 4);
  layout->setSpacing(3);
}

// A drop-down list whose closed box shows its whole entry: a text wider
// than the box is drawn in a smaller font (down to two thirds of the size),
// and the whole entry is also the tool tip.
class FittingList : public QComboBox {
 public:
  using QComboBox::QComboBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect room =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    QFont fitted = font();
    const qreal size = fitted.pointSizeF() > 0 ? fitted.pointSizeF() : 0;
    for (qreal scale = 1.0; size > 0 && scale >= 0.66; scale -= 0.04) {
      fitted.setPointSizeF(size * scale);
      if (QFontMetrics(fitted).horizontalAdvance(option.currentText) <= room.width() - 4) break;
    }
    painter.setFont(fitted);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }
};

}  // namespace

QWidget* TfrmMain::CreatePanel() {
  CreatePanelMenus();

  auto* panel = new QWidget;
  panel->setObjectName(QStringLiteral("plSettings"));
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 4, 0);
  column->setSpacing(3);
  column->addWidget(CreateTemplateGroup());
  column->addWidget(CreateOutputGroup());
  column->addWidget(CreateRenameGroup());
  column->addWidget(CreateResizeGroup());
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

  // The state of the controls before any settings are shown.
  cbSaveFormatChange();
  rbPathType2Click();
  cbOriginalNameClick();
  cbCustomSizeClick();
  return scroller;
}

void TfrmMain::CreatePanelMenus() {
  pMenuTpl = new QMenu(this);
  pMenuTpl->setObjectName(QStringLiteral("pMenuTpl"));
  pMenuTpl->addAction(
      LinkedItem(actTplAdd, QStringLiteral("Launch Template Editor"), "pmnuTplAdd"));
  pMenuTpl->addAction(LinkedItem(actTplEdit, actTplEdit->text(), "pmnuTplEdit"));
  pMenuTpl->addAction(LinkedItem(actTplDel, actTplDel->text(), "pmnuTplDel"));

  pMenuSize = NewSizeMenu(this);
  connect(pMenuSize, &QMenu::triggered, this, &TfrmMain::pMenuSize1Click);

  pMenuRn = NewRenameMenu(this);
  connect(pMenuRn, &QMenu::triggered, this, &TfrmMain::pmnuFileNameClick);
}

QWidget* TfrmMain::CreateTemplateGroup() {
  QGroupBox* group = NewGroup("gbTemplates", QStringLiteral("Templates"), this);
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

QWidget* TfrmMain::CreateOutputGroup() {
  QGroupBox* group = NewGroup("gbOutput", QStringLiteral("Output folder and format"), this);
  auto* column = new QVBoxLayout(group);
  Compact(column);

  rbPathType1 = new QRadioButton(QStringLiteral("Save files into the original folder"), group);
  rbPathType1->setObjectName(QStringLiteral("rbPathType1"));
  rbPathType2 = new QRadioButton(QStringLiteral("Save files into another folder"), group);
  rbPathType2->setObjectName(QStringLiteral("rbPathType2"));
  rbPathType2->setChecked(true);
  column->addWidget(rbPathType1);
  column->addWidget(rbPathType2);

  edtOutPath = new QLineEdit(group);
  edtOutPath->setObjectName(QStringLiteral("edtOutPath"));
  QAction* browse = edtOutPath->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                          QLineEdit::TrailingPosition);
  browse->setObjectName(QStringLiteral("btnOutPathBrowse"));
  browse->setToolTip(QStringLiteral("Browse"));
  connect(browse, &QAction::triggered, this, &TfrmMain::BrowseOutPath);
  column->addWidget(edtOutPath);

  lbFileFormat = NewLabel("lbFileFormat", QStringLiteral("Save files in this format:"), group);
  column->addWidget(lbFileFormat);
  cbSaveFormat = new FittingList(group);
  cbSaveFormat->setObjectName(QStringLiteral("cbSaveFormat"));
  cbSaveFormat->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbSaveFormat->setMinimumContentsLength(8);
  for (int i = 0; i < kSaveFormatCount; ++i)
    cbSaveFormat->addItem(QString::fromUtf8(SaveFormatInfo(i).listText));
  cbSaveFormat->view()->setMinimumWidth(cbSaveFormat->view()->sizeHintForColumn(0) + 24);
  connect(cbSaveFormat, &QComboBox::currentTextChanged, cbSaveFormat,
          [this](const QString& text) { cbSaveFormat->setToolTip(text); });
  column->addWidget(cbSaveFormat);

  const TFormatOptionPages pages = NewFormatOptionPages(
      group, {"Compression quality:", "Compress level :", "Use colors:", 10, true});
  plCompress = pages.plCompress;
  spC1 = pages.spC1;
  spC2 = pages.spC2;
  spC3 = pages.spC3;
  spC4 = pages.spC4;
  seQuality = pages.seQuality;
  cbCompress = pages.cbCompress;
  cbColors = pages.cbColors;
  column->addWidget(plCompress);

  connect(rbPathType1, &QRadioButton::toggled, this, [this] { rbPathType2Click(); });
  connect(rbPathType2, &QRadioButton::toggled, this, [this] { rbPathType2Click(); });
  connect(cbSaveFormat, &QComboBox::currentIndexChanged, this, [this] { cbSaveFormatChange(); });
  return group;
}

QWidget* TfrmMain::CreateRenameGroup() {
  QGroupBox* group = NewGroup("gbRename", QStringLiteral("Renaming output files"), this);
  auto* column = new QVBoxLayout(group);
  Compact(column);
  cbOriginalName = new QRadioButton(QStringLiteral("New name based on original name"), group);
  cbOriginalName->setObjectName(QStringLiteral("cbOriginalName"));
  cbOriginalName->setChecked(true);
  cbRename = new QRadioButton(QStringLiteral("Use my own rename pattern"), group);
  cbRename->setObjectName(QStringLiteral("cbRename"));
  column->addWidget(cbOriginalName);
  column->addWidget(cbRename);

  auto* patternRow = new QHBoxLayout;
  patternRow->setSpacing(4);
  edtRnTempl = new QLineEdit(QStringLiteral("New####"), group);
  edtRnTempl->setObjectName(QStringLiteral("edtRnTempl"));
  patternRow->addWidget(edtRnTempl, 1);
  abRename = new TMenuBtn(group);
  abRename->setObjectName(QStringLiteral("abRename"));
  abRename->SetPopupMenu(pMenuRn);
  patternRow->addWidget(abRename);
  column->addLayout(patternRow);

  // The serial number beside its label, so that the panel fits the window's
  // first size without scrolling.
  auto* numberRow = new QHBoxLayout;
  numberRow->setSpacing(4);
  lbNumber = NewLabel("lbNumber", QStringLiteral("Serial number starting with"), group);
  numberRow->addWidget(lbNumber);
  edtRenameNo = NewSpin("edtRenameNo", group, 0, 9999999, 1);
  edtRenameNo->setMinimumWidth(64);
  numberRow->addWidget(edtRenameNo, 1);
  column->addLayout(numberRow);

  connect(cbOriginalName, &QRadioButton::toggled, this, [this](bool on) {
    if (on) cbOriginalNameClick();
  });
  connect(cbRename, &QRadioButton::toggled, this, [this](bool on) {
    if (on) cbRenameClick();
  });
  return group;
}

QWidget* TfrmMain::CreateResizeGroup() {
  QGroupBox* group = NewGroup("gbResize", QStringLiteral("Restrict dimensions"), this);
  auto* column = new QVBoxLayout(group);
  Compact(column);
  cbCustomSize = new QCheckBox(QStringLiteral("Restrict the dimensions of image"), group);
  cbCustomSize->setObjectName(QStringLiteral("cbCustomSize"));
  column->addWidget(cbCustomSize);

  // Width and height on one row, with the size presets beside them.
  auto* grid = new QHBoxLayout;
  grid->setSpacing(3);
  lbRestrainWidth = NewLabel("lbRestrainWidth", QStringLiteral("Width:"), group);
  edtCtmWidth = NewSpin("edtCtmWidth", group, 5, 999999, 640);
  lbRestrainHeight = NewLabel("lbRestrainHeight", QStringLiteral("Height:"), group);
  edtCtmHeight = NewSpin("edtCtmHeight", group, 5, 999999, 480);
  for (QSpinBox* spin : {edtCtmWidth, edtCtmHeight}) {
    spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    spin->setMinimumWidth(spin->fontMetrics().horizontalAdvance(QStringLiteral("999999")) + 10);
  }
  abResize = new TMenuBtn(group);
  abResize->setObjectName(QStringLiteral("abResize"));
  abResize->SetPopupMenu(pMenuSize);
  grid->addWidget(lbRestrainWidth);
  grid->addWidget(edtCtmWidth, 1);
  grid->addSpacing(3);
  grid->addWidget(lbRestrainHeight);
  grid->addWidget(edtCtmHeight, 1);
  grid->addWidget(abResize);
  column->addLayout(grid);

  cbResizeMode = NewList("cbResizeMode", group,
                         {"Use width and height", "Use height (keep aspect)",
                          "Use width (keep aspect)", "Use width and height (keep aspect)"});
  cbResizeMode->setCurrentIndex(3);
  column->addWidget(cbResizeMode);

  connect(cbCustomSize, &QCheckBox::toggled, this, [this] { cbCustomSizeClick(); });
  return group;
}

void TfrmMain::PanelToSettings() {
  settings_.PathType = rbPathType1->isChecked() ? 1 : 2;
  settings_.OutPath = ToUtf8(edtOutPath->text());
  NormalizeOutputFolder(settings_);

  settings_.Quality = seQuality->value();
  settings_.Compress = cbCompress->currentIndex();
  settings_.Colors = cbColors->currentIndex();
  settings_.SaveFormat = cbSaveFormat->currentIndex();

  settings_.Rename = cbRename->isChecked();
  settings_.RenameTpl = ToUtf8(edtRnTempl->text());
  settings_.RenameNo = edtRenameNo->value();

  settings_.Resize = cbCustomSize->isChecked();
  settings_.NewWidth = edtCtmWidth->value();
  settings_.NewHeight = edtCtmHeight->value();
  settings_.ResizeMode = cbResizeMode->currentIndex();
}

void TfrmMain::SettingsToPanel() {
  SelectListIndex(cbListTpl, values_.TplIndex);
  SelectListIndex(cbSaveFormat, settings_.SaveFormat);

  if (settings_.Rename)
    cbRename->setChecked(true);
  else
    cbOriginalName->setChecked(true);
  edtRnTempl->setText(FromUtf8(settings_.RenameTpl));
  ShowSpinValue(edtRenameNo, settings_.RenameNo);
  ShowSpinValue(seQuality, settings_.Quality);
  SelectListIndex(cbCompress, settings_.Compress);
  SelectListIndex(cbColors, settings_.Colors);

  if (FromUtf8(settings_.OutPath).toUcs4().size() < 3)
    settings_.OutPath = programFolder_ + "OutPic";

  if (settings_.PathType == 1)
    rbPathType1->setChecked(true);
  else
    rbPathType2->setChecked(true);
  edtOutPath->setText(FromUtf8(settings_.OutPath));

  cbCustomSize->setChecked(settings_.Resize);
  ShowSpinValue(edtCtmWidth, settings_.NewWidth);
  ShowSpinValue(edtCtmHeight, settings_.NewHeight);
  SelectListIndex(cbResizeMode, settings_.ResizeMode);

  cbListTplChange();
  cbSaveFormatChange();
  rbPathType2Click();
  cbCustomSizeClick();
  panelFilled_ = true;
}

void TfrmMain::cbSaveFormatChange() {
  plCompress->setCurrentIndex(FormatOptionPageIndex(cbSaveFormat->currentIndex()));
}

void TfrmMain::rbPathType2Click() { edtOutPath->setEnabled(rbPathType2->isChecked()); }

void TfrmMain::cbOriginalNameClick() {
  for (QWidget* w : {static_cast<QWidget*>(edtRnTempl), static_cast<QWidget*>(abRename),
                     static_cast<QWidget*>(lbNumber), static_cast<QWidget*>(edtRenameNo)})
    w->setEnabled(false);
}

void TfrmMain::cbRenameClick() {
  for (QWidget* w : {static_cast<QWidget*>(edtRnTempl), static_cast<QWidget*>(abRename),
                     static_cast<QWidget*>(lbNumber), static_cast<QWidget*>(edtRenameNo)})
    w->setEnabled(true);
}

void TfrmMain::cbCustomSizeClick() {
  const bool on = cbCustomSize->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(cbResizeMode), static_cast<QWidget*>(lbRestrainWidth),
                     static_cast<QWidget*>(edtCtmWidth), static_cast<QWidget*>(lbRestrainHeight),
                     static_cast<QWidget*>(edtCtmHeight), static_cast<QWidget*>(abResize)})
    w->setEnabled(on);
}

void TfrmMain::pMenuSize1Click(QAction* item) { ApplySizePreset(item, edtCtmWidth, edtCtmHeight); }

void TfrmMain::pmnuFileNameClick(QAction* item) { AppendRenameToken(item, edtRnTempl); }

void TfrmMain::edtOutPathBeforeDialog() {
  outPathDialogText_ = UiText(TTextId::ChooseOutputFolder);
}

void TfrmMain::BrowseOutPath() {
  edtOutPathBeforeDialog();
  const QString folder =
      QFileDialog::getExistingDirectory(this, outPathDialogText_, edtOutPath->text());
  if (folder.isEmpty()) return;
  edtOutPath->setText(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
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
