#include "gui/settings_panel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/form_controls.h"
#include "gui/form_translation.h"
#include "gui/menu_btn.h"
#include "gui/qt_text.h"

namespace imprimo {

namespace {

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

TSettingsPanel::TSettingsPanel(QWidget* parent) : QWidget(parent) {
  CreateMenus();
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(3);
  column->addWidget(CreateOutputGroup());
  column->addWidget(CreateRenameGroup());
  column->addWidget(CreateResizeGroup());

  // The state of the controls before any settings are shown.
  cbSaveFormatChange();
  rbPathType2Click();
  EnableRenamePattern(false);
  cbCustomSizeClick();
}

void TSettingsPanel::CreateMenus() {
  pMenuSize = NewSizeMenu(this);
  connect(pMenuSize, &QMenu::triggered, this,
          [this](QAction* item) { ApplySizePreset(item, controls_.width, controls_.height); });
  pMenuRn = NewRenameMenu(this);
  connect(pMenuRn, &QMenu::triggered, this,
          [this](QAction* item) { AppendRenameToken(item, controls_.renamePattern); });
}

QWidget* TSettingsPanel::CreateOutputGroup() {
  QGroupBox* group = NewGroup("gbOutput", QStringLiteral("Output folder and format"), this);
  auto* column = new QVBoxLayout(group);
  Compact(column);

  auto* rbPathType1 =
      new QRadioButton(QStringLiteral("Save files into the original folder"), group);
  rbPathType1->setObjectName(QStringLiteral("rbPathType1"));
  auto* rbPathType2 = new QRadioButton(QStringLiteral("Save files into another folder"), group);
  rbPathType2->setObjectName(QStringLiteral("rbPathType2"));
  rbPathType2->setChecked(true);
  column->addWidget(rbPathType1);
  column->addWidget(rbPathType2);
  controls_.inPlace = rbPathType1;
  controls_.toFolder = rbPathType2;

  auto* edtOutPath = new QLineEdit(group);
  edtOutPath->setObjectName(QStringLiteral("edtOutPath"));
  QAction* browse = edtOutPath->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                          QLineEdit::TrailingPosition);
  browse->setObjectName(QStringLiteral("btnOutPathBrowse"));
  browse->setToolTip(QStringLiteral("Browse"));
  connect(browse, &QAction::triggered, this, &TSettingsPanel::BrowseOutPath);
  column->addWidget(edtOutPath);
  controls_.outPath = edtOutPath;

  lbFileFormat = NewLabel("lbFileFormat", QStringLiteral("Save files in this format:"), group);
  column->addWidget(lbFileFormat);
  auto* cbSaveFormat = new FittingList(group);
  cbSaveFormat->setObjectName(QStringLiteral("cbSaveFormat"));
  cbSaveFormat->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbSaveFormat->setMinimumContentsLength(8);
  for (int i = 0; i < kSaveFormatCount; ++i)
    cbSaveFormat->addItem(QString::fromUtf8(SaveFormatInfo(i).listText));
  cbSaveFormat->view()->setMinimumWidth(cbSaveFormat->view()->sizeHintForColumn(0) + 24);
  connect(cbSaveFormat, &QComboBox::currentTextChanged, cbSaveFormat,
          [cbSaveFormat](const QString& text) { cbSaveFormat->setToolTip(text); });
  column->addWidget(cbSaveFormat);
  controls_.saveFormat = cbSaveFormat;

  controls_.options = NewFormatOptionPages(
      group, {"Compression quality:", "Compress level :", "Use colors:", TSpinRange::Panel, true});
  column->addWidget(controls_.options.plCompress);

  connect(rbPathType1, &QRadioButton::toggled, this, [this] { rbPathType2Click(); });
  connect(rbPathType2, &QRadioButton::toggled, this, [this] { rbPathType2Click(); });
  connect(cbSaveFormat, &QComboBox::currentIndexChanged, this, [this] { cbSaveFormatChange(); });
  return group;
}

QWidget* TSettingsPanel::CreateRenameGroup() {
  QGroupBox* group = NewGroup("gbRename", QStringLiteral("Renaming output files"), this);
  auto* column = new QVBoxLayout(group);
  Compact(column);
  auto* cbOriginalName = new QRadioButton(QStringLiteral("New name based on original name"), group);
  cbOriginalName->setObjectName(QStringLiteral("cbOriginalName"));
  cbOriginalName->setChecked(true);
  auto* cbRename = new QRadioButton(QStringLiteral("Use my own rename pattern"), group);
  cbRename->setObjectName(QStringLiteral("cbRename"));
  column->addWidget(cbOriginalName);
  column->addWidget(cbRename);
  controls_.originalName = cbOriginalName;
  controls_.rename = cbRename;

  auto* patternRow = new QHBoxLayout;
  patternRow->setSpacing(4);
  controls_.renamePattern = new QLineEdit(QStringLiteral("New####"), group);
  controls_.renamePattern->setObjectName(QStringLiteral("edtRnTempl"));
  patternRow->addWidget(controls_.renamePattern, 1);
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
  controls_.renameNo = NewSettingSpin("edtRenameNo", group, u"RenameNo", 1, TSpinRange::Panel);
  controls_.renameNo->setMinimumWidth(64);
  numberRow->addWidget(controls_.renameNo, 1);
  column->addLayout(numberRow);

  connect(cbOriginalName, &QRadioButton::toggled, this, [this](bool on) {
    if (on) EnableRenamePattern(false);
  });
  connect(cbRename, &QRadioButton::toggled, this, [this](bool on) {
    if (on) EnableRenamePattern(true);
  });
  return group;
}

QWidget* TSettingsPanel::CreateResizeGroup() {
  QGroupBox* group = NewGroup("gbResize", QStringLiteral("Restrict dimensions"), this);
  auto* column = new QVBoxLayout(group);
  Compact(column);
  controls_.resize = new QCheckBox(QStringLiteral("Restrict the dimensions of image"), group);
  controls_.resize->setObjectName(QStringLiteral("cbCustomSize"));
  column->addWidget(controls_.resize);

  // Width and height on one row, with the size presets beside them.
  auto* grid = new QHBoxLayout;
  grid->setSpacing(3);
  lbRestrainWidth = NewLabel("lbRestrainWidth", QStringLiteral("Width:"), group);
  controls_.width = NewSettingSpin("edtCtmWidth", group, u"NewWidth", 640, TSpinRange::Panel);
  lbRestrainHeight = NewLabel("lbRestrainHeight", QStringLiteral("Height:"), group);
  controls_.height = NewSettingSpin("edtCtmHeight", group, u"NewHeight", 480, TSpinRange::Panel);
  for (QSpinBox* spin : {controls_.width, controls_.height}) {
    spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    spin->setMinimumWidth(spin->fontMetrics().horizontalAdvance(QStringLiteral("999999")) + 10);
  }
  abResize = new TMenuBtn(group);
  abResize->setObjectName(QStringLiteral("abResize"));
  abResize->SetPopupMenu(pMenuSize);
  grid->addWidget(lbRestrainWidth);
  grid->addWidget(controls_.width, 1);
  grid->addSpacing(3);
  grid->addWidget(lbRestrainHeight);
  grid->addWidget(controls_.height, 1);
  grid->addWidget(abResize);
  column->addLayout(grid);

  controls_.resizeMode = NewList("cbResizeMode", group,
                                 {"Use width and height", "Use height (keep aspect)",
                                  "Use width (keep aspect)", "Use width and height (keep aspect)"});
  controls_.resizeMode->setCurrentIndex(3);
  column->addWidget(controls_.resizeMode);

  connect(controls_.resize, &QCheckBox::toggled, this, [this] { cbCustomSizeClick(); });
  return group;
}

void TSettingsPanel::ReadInto(TSettings& settings) const {
  ReadSettingControls(controls_, settings);
  NormalizeOutputFolder(settings);
}

void TSettingsPanel::Show(const TSettings& settings) {
  ShowSettingControls(controls_, settings);
  // Programmatic ticks ran the reactions only for the choices that changed.
  cbSaveFormatChange();
  rbPathType2Click();
  cbCustomSizeClick();
}

QString TSettingsPanel::OutputFolderText() const { return controls_.outPath->text(); }

void TSettingsPanel::FocusOutputFolder() {
  controls_.outPath->setFocus(Qt::OtherFocusReason);
  controls_.outPath->selectAll();
}

void TSettingsPanel::ShowRenameNo(int64_t renameNo) {
  QSpinBox* spin = controls_.renameNo;
  spin->setValue(int(std::clamp<int64_t>(renameNo, spin->minimum(), spin->maximum())));
}

void TSettingsPanel::cbSaveFormatChange() {
  controls_.options.plCompress->setCurrentIndex(
      FormatOptionPageIndex(controls_.saveFormat->currentIndex()));
}

void TSettingsPanel::rbPathType2Click() {
  controls_.outPath->setEnabled(controls_.toFolder->isChecked());
}

void TSettingsPanel::EnableRenamePattern(bool on) {
  for (QWidget* w :
       {static_cast<QWidget*>(controls_.renamePattern), static_cast<QWidget*>(abRename),
        static_cast<QWidget*>(lbNumber), static_cast<QWidget*>(controls_.renameNo)})
    w->setEnabled(on);
}

void TSettingsPanel::cbCustomSizeClick() {
  const bool on = controls_.resize->isChecked();
  for (QWidget* w :
       {static_cast<QWidget*>(controls_.resizeMode), static_cast<QWidget*>(lbRestrainWidth),
        static_cast<QWidget*>(controls_.width), static_cast<QWidget*>(lbRestrainHeight),
        static_cast<QWidget*>(controls_.height), static_cast<QWidget*>(abResize)})
    w->setEnabled(on);
}

void TSettingsPanel::BrowseOutPath() {
  const QString folder = QFileDialog::getExistingDirectory(
      this, UiText(TTextId::ChooseOutputFolder), controls_.outPath->text());
  if (folder.isEmpty()) return;
  controls_.outPath->setText(folder.endsWith(QLatin1Char('/')) ? folder
                                                               : folder + QLatin1Char('/'));
}

}  // namespace imprimo
