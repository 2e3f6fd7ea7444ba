#include "gui/option_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "gui/form_controls.h"
#include "gui/form_translation.h"
#include "gui/menu_btn.h"
#include "gui/qt_text.h"
#include "gui/setting_controls.h"

namespace imprimo {

namespace {

constexpr int kClientWidth = 434;
constexpr int kClientHeight = 275;
constexpr int kLogoWidth = 64;

QWidget* NewPage(const char* name) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  return page;
}

void Tight(QLayout* layout) {
  layout->setContentsMargins(8, 6, 8, 6);
  layout->setSpacing(4);
}

QCheckBox* NewCheck(const char* name, const QString& text, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

QRadioButton* NewRadio(const char* name, const QString& text, QWidget* parent) {
  auto* radio = new QRadioButton(text, parent);
  radio->setObjectName(QString::fromLatin1(name));
  return radio;
}

// The system colours a TColor may name (index = low byte of the value):
// the closest role of the toolkit's palette.
QColor SystemColor(int32_t color) {
  const QPalette palette;
  switch (color & 0xFF) {
    case 1:   // desktop
    case 2:   // active caption
    case 13:  // highlight
      return palette.color(QPalette::Highlight);
    case 5:  // window
      return palette.color(QPalette::Base);
    case 14:  // highlight text
      return palette.color(QPalette::HighlightedText);
    case 8:   // window text
    case 18:  // button text
      return palette.color(QPalette::WindowText);
    case 16:  // button shadow
      return palette.color(QPalette::Dark);
    case 20:  // button highlight
      return palette.color(QPalette::Light);
    default:  // button face and the rest
      return palette.color(QPalette::Button);
  }
}

// Tabs with less padding, so that all five captions fit the narrow bar.
class CompactTabStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_TabBarTabHSpace)
      return std::min(12, QProxyStyle::pixelMetric(metric, option, widget));
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

QIcon Swatch(const QColor& color, QSize size = QSize(28, 14)) {
  QPixmap pixmap(size);
  pixmap.fill(color);
  QPainter painter(&pixmap);
  painter.setPen(QColor(96, 96, 96));
  painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
  return QIcon(pixmap);
}

}  // namespace

QColor TfrmOption::ColorFromTColor(int32_t color) {
  if (color < 0) return SystemColor(color);
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

int32_t TfrmOption::TColorFromColor(const QColor& color) {
  return int32_t(color.red()) | (int32_t(color.green()) << 8) | (int32_t(color.blue()) << 16);
}

TfrmOption::TfrmOption(const std::string& programFolder, TSettings& settings,
                       TProgramValues& values, QWidget* parent)
    : QDialog(parent), settings_(settings), values_(values) {
  FormCreate(programFolder);
  TranslateWindow(*this, "TfrmOption");
}

TfrmOption::~TfrmOption() = default;

void TfrmOption::FormCreate(const std::string& programFolder) {
  setObjectName(QStringLiteral("frmOption"));
  setWindowTitle(QStringLiteral("Standard Options"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  // Every page's longest caption fits the fixed client area in a font a
  // little smaller than the desktop's.
  QFont smaller = font();
  if (smaller.pointSizeF() > 0)
    smaller.setPointSizeF(smaller.pointSizeF() * 0.9);
  else if (smaller.pixelSize() > 0)
    smaller.setPixelSize(std::max(9, smaller.pixelSize() * 9 / 10));
  setFont(smaller);

  pMenuSize = NewSizeMenu(this);
  connect(pMenuSize, &QMenu::triggered, this, &TfrmOption::pMenuSize1Click);
  pMenuRn = NewRenameMenu(this);
  connect(pMenuRn, &QMenu::triggered, this, &TfrmOption::pmnuFileNameClick);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 6, 6, 6);
  outer->setSpacing(6);
  auto* middle = new QHBoxLayout;
  middle->setSpacing(6);

  ImageLeft = new QLabel(this);
  ImageLeft->setObjectName(QStringLiteral("ImageLeft"));
  ImageLeft->setFixedWidth(kLogoWidth);
  ImageLeft->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  // A missing or unreadable picture leaves the box empty.
  if (const QPixmap logo = LeftLogoPixmap(programFolder, QSize(kLogoWidth, kClientHeight - 56));
      !logo.isNull())
    ImageLeft->setPixmap(logo);
  middle->addWidget(ImageLeft);

  pcOptions = new QTabWidget(this);
  pcOptions->setObjectName(QStringLiteral("pcOptions"));
  pcOptions->setUsesScrollButtons(false);
  auto* tabStyle = new CompactTabStyle;
  tabStyle->setParent(pcOptions);
  pcOptions->tabBar()->setStyle(tabStyle);
  pcOptions->addTab(CreateOutputPage(), QStringLiteral("Output settings"));
  pcOptions->addTab(CreateResizePage(), QStringLiteral("Resize"));
  pcOptions->addTab(CreateRenamePage(), QStringLiteral("Rename"));
  pcOptions->addTab(CreateBorderPage(), QStringLiteral("Add border"));
  pcOptions->addTab(CreateOtherPage(), QStringLiteral("Other"));
  pcOptions->setCurrentIndex(0);
  middle->addWidget(pcOptions, 1);
  outer->addLayout(middle, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnSave = new QPushButton(QStringLiteral("&Save"), this);
  btnSave->setObjectName(QStringLiteral("btnSave"));
  btnSave->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  buttons->addWidget(btnSave);
  buttons->addWidget(btnCancel);
  outer->addLayout(buttons);
  // The result is set before the settings are stored.
  connect(btnSave, &QPushButton::clicked, this, [this] {
    setResult(QDialog::Accepted);
    btnSaveClick();
    accept();
  });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  // The state of the controls before any settings are shown.
  cbCustomSizeClick();
  cbBorderClick();
  cbOutputSaveFormatChange();

  setFixedSize(kClientWidth, kClientHeight);
  // Centred on the screen (the owning window's, when there is one).
  QScreen* screen =
      parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    QRect frame(QPoint(), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

QWidget* TfrmOption::CreateOutputPage() {
  QWidget* page = NewPage("tsOutput");
  auto* column = new QVBoxLayout(page);
  Tight(column);
  rbPathType1 = NewRadio("rbPathType1",
                         QStringLiteral("Save the output files into the original folder"), page);
  rbPathType2 =
      NewRadio("rbPathType2", QStringLiteral("Save the output files into another folder"), page);
  rbPathType2->setChecked(true);
  column->addWidget(rbPathType1);
  column->addWidget(rbPathType2);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  grid->addWidget(NewLabel("lbSavePath", QStringLiteral("Output folder:"), page), 0, 0);
  edtOutPath = new QLineEdit(page);
  edtOutPath->setObjectName(QStringLiteral("edtOutPath"));
  QAction* browse = edtOutPath->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                          QLineEdit::TrailingPosition);
  browse->setObjectName(QStringLiteral("btnOutPathBrowse"));
  browse->setToolTip(QStringLiteral("Browse"));
  connect(browse, &QAction::triggered, this, &TfrmOption::BrowseOutPath);
  grid->addWidget(edtOutPath, 0, 1);

  grid->addWidget(NewLabel("lbFileFormat", QStringLiteral("Save in format:"), page), 1, 0);
  cbOutputSaveFormat = NewList("cbOutputSaveFormat", page, {});
  for (int i = 0; i < kSaveFormatCount; ++i) {
    // This list has its own wording for one entry.
    const QString text = i == 6 ? QStringLiteral("DDS - DirectDraw Surface)")
                                : QString::fromUtf8(SaveFormatInfo(i).listText);
    cbOutputSaveFormat->addItem(text);
  }
  cbOutputSaveFormat->setMinimumContentsLength(20);
  cbOutputSaveFormat->setCurrentIndex(0);
  grid->addWidget(cbOutputSaveFormat, 1, 1);
  grid->setColumnStretch(1, 1);
  column->addLayout(grid);

  const TFormatOptionPages pages = NewFormatOptionPages(
      page, {"Quality:", "Compress level:", "Use Colors:", TSpinRange::Dialog, false});
  plCompress = pages.plCompress;
  spC1 = pages.spC1;
  spC2 = pages.spC2;
  spC3 = pages.spC3;
  spC4 = pages.spC4;
  seQuality = pages.seQuality;
  cbCompress = pages.cbCompress;
  cbColors = pages.cbColors;
  // The WebP, AVIF and TIFF outputs' own setting, beside the option page:
  // WebP and AVIF also take the quality.
  plFormatExtra = new QStackedWidget(page);
  plFormatExtra->setObjectName(QStringLiteral("plFormatExtra"));
  plFormatExtra->addWidget(new QWidget(plFormatExtra));
  cbWebPLossless = NewCheck("cbWebPLossless", QStringLiteral("Lossless"), plFormatExtra);
  plFormatExtra->addWidget(cbWebPLossless);
  auto* avif = new QWidget(plFormatExtra);
  auto* avifRow = new QHBoxLayout(avif);
  avifRow->setContentsMargins(0, 0, 0, 0);
  avifRow->addWidget(NewLabel("lbAvifSpeed", QStringLiteral("Speed (0 slowest):"), avif));
  seAvifSpeed = NewSettingSpin("seAvifSpeed", avif, u"AvifSpeed", 6);
  avifRow->addWidget(seAvifSpeed);
  avifRow->addStretch(1);
  plFormatExtra->addWidget(avif);
  auto* tiff = new QWidget(plFormatExtra);
  auto* tiffRow = new QHBoxLayout(tiff);
  tiffRow->setContentsMargins(0, 0, 0, 0);
  tiffRow->addWidget(NewLabel("lbTiffCompression", QStringLiteral("Compression:"), tiff));
  cbTiffCompression = NewList("cbTiffCompression", tiff, {"LZW", "Deflate"});
  cbTiffCompression->setCurrentIndex(0);
  tiffRow->addWidget(cbTiffCompression);
  tiffRow->addStretch(1);
  plFormatExtra->addWidget(tiff);
  auto* optionRow = new QHBoxLayout;
  optionRow->addWidget(plCompress);
  optionRow->addWidget(plFormatExtra, 1);
  column->addLayout(optionRow);

  // How JPEG outputs are written: chroma sampling, and the colour that
  // transparent areas take since JPEG has no alpha.
  auto* jpeg = new QGridLayout;
  jpeg->setHorizontalSpacing(6);
  jpeg->setVerticalSpacing(4);
  jpeg->addWidget(NewLabel("lbJpegSubsampling", QStringLiteral("JPEG chroma sampling:"), page), 0,
                  0);
  cbJpegSubsampling =
      NewList("cbJpegSubsampling", page, {"4:2:0 (default)", "4:2:2", "4:4:4 (sharpest)"});
  cbJpegSubsampling->setCurrentIndex(0);
  jpeg->addWidget(cbJpegSubsampling, 0, 1);
  jpeg->addWidget(
      NewLabel("lbFlattenColor", QStringLiteral("Transparent areas in JPEG become:"), page), 1, 0);
  btnFlattenColor = CreateColorButton(page, "btnFlattenColor", "pMenuFlattenColor",
                                      &TfrmOption::flattenColor_, &TfrmOption::SetFlattenColor);
  jpeg->addWidget(btnFlattenColor, 1, 1, Qt::AlignLeft);
  jpeg->setColumnStretch(1, 1);
  column->addLayout(jpeg);
  column->addStretch(1);

  connect(cbOutputSaveFormat, &QComboBox::currentIndexChanged, this,
          [this] { cbOutputSaveFormatChange(); });
  return page;
}

QWidget* TfrmOption::CreateResizePage() {
  QWidget* page = NewPage("tsResize");
  auto* column = new QVBoxLayout(page);
  Tight(column);
  cbCustomSize =
      NewCheck("cbCustomSize",
               QStringLiteral("Restrict the dimensions of image file to be processed."), page);
  column->addWidget(cbCustomSize);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  lbRestrainWidth = NewLabel("lbRestrainWidth", QStringLiteral("Max Width (px)"), page);
  edtCtmWidth = NewSettingSpin("edtCtmWidth", page, u"NewWidth", 640);
  abResize = new TMenuBtn(page);
  abResize->setObjectName(QStringLiteral("abResize"));
  abResize->SetPopupMenu(pMenuSize);
  lbRestrainHeight = NewLabel("lbRestrainHeight", QStringLiteral("Max Height (px)"), page);
  edtCtmHeight = NewSettingSpin("edtCtmHeight", page, u"NewHeight", 480);
  lbResizeMode = NewLabel("lbResizeMode", QStringLiteral("Resizing type:"), page);
  cbResizeMode = NewList("cbResizeMode", page,
                         {"Use width and height", "Use height (keep aspect)",
                          "Use width (keep aspect)", "Use width and height (keep aspect)"});
  cbResizeMode->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  cbResizeMode->setCurrentIndex(3);
  grid->addWidget(lbRestrainWidth, 0, 0);
  grid->addWidget(edtCtmWidth, 0, 1);
  grid->addWidget(abResize, 0, 2);
  grid->addWidget(lbRestrainHeight, 1, 0);
  grid->addWidget(edtCtmHeight, 1, 1);
  grid->addWidget(lbResizeMode, 2, 0);
  grid->addWidget(cbResizeMode, 2, 1, 1, 3, Qt::AlignLeft);
  grid->setColumnStretch(3, 1);
  column->addLayout(grid);
  column->addStretch(1);

  connect(cbCustomSize, &QCheckBox::toggled, this, [this] { cbCustomSizeClick(); });
  return page;
}

QWidget* TfrmOption::CreateRenamePage() {
  QWidget* page = NewPage("tsRename");
  auto* column = new QVBoxLayout(page);
  Tight(column);
  cbOriginalName =
      NewRadio("cbOriginalName", QStringLiteral("New name based on original name"), page);
  cbOriginalName->setChecked(true);
  cbRename = NewRadio("cbRename", QStringLiteral("Use my own rename pattern"), page);
  column->addWidget(cbOriginalName);
  column->addWidget(cbRename);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  grid->addWidget(NewLabel("lbPattern", QStringLiteral("Pattern:"), page), 0, 0);
  auto* patternRow = new QHBoxLayout;
  patternRow->setSpacing(4);
  edtRnTempl = new QLineEdit(QStringLiteral("New####"), page);
  edtRnTempl->setObjectName(QStringLiteral("edtRnTempl"));
  patternRow->addWidget(edtRnTempl, 1);
  mbRename = new TMenuBtn(page);
  mbRename->setObjectName(QStringLiteral("mbRename"));
  mbRename->SetPopupMenu(pMenuRn);
  patternRow->addWidget(mbRename);
  grid->addLayout(patternRow, 0, 1);
  grid->addWidget(NewLabel("Label1", QStringLiteral("Serial number starting with"), page), 1, 0);
  edtRenameNo = NewSettingSpin("edtRenameNo", page, u"RenameNo", 1);
  grid->addWidget(edtRenameNo, 1, 1);
  grid->addWidget(NewLabel("lbChangeCase", QStringLiteral("Extension Case:"), page), 2, 0);
  cbChangeCase = NewList("cbChangeCase", page, {"Upper extension", "Lower extension", "No change"});
  cbChangeCase->setCurrentIndex(2);
  grid->addWidget(cbChangeCase, 2, 1);
  grid->setColumnStretch(1, 1);
  column->addLayout(grid);
  column->addStretch(1);
  return page;
}

QWidget* TfrmOption::CreateBorderPage() {
  borderPage_ = NewPage("tsBorder");
  QWidget* page = borderPage_;
  auto* column = new QVBoxLayout(page);
  Tight(column);
  cbBorder = NewCheck("cbBorder", QStringLiteral("Draw a border around output images"), page);
  column->addWidget(cbBorder);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  auto widthRow = [&](int row, int col, const char* label, const char* text, const char* name) {
    grid->addWidget(NewLabel(label, QString::fromLatin1(text), page), row, col);
    QSpinBox* spin = NewSettingSpin(name, page, u"BorderTopWidth", 1);
    spin->setMaximumWidth(64);
    grid->addWidget(spin, row, col + 1);
    return spin;
  };
  edtBorderTopWidth = widthRow(0, 0, "lbTopWidth", "Top-Width(px)", "edtBorderTopWidth");
  edtBorderRightWidth = widthRow(0, 2, "lbRightWidth", "Right-Width(px)", "edtBorderRightWidth");
  edtBorderBottomWidth =
      widthRow(1, 0, "lbBottomWidth", "Bottom-Width(px)", "edtBorderBottomWidth");
  edtBorderLeftWidth = widthRow(1, 2, "lbLeftWidth", "Left-Width(px)", "edtBorderLeftWidth");

  grid->addWidget(NewLabel("lbBorderColor", QStringLiteral("Color"), page), 2, 0);
  btnBorderColor = CreateColorButton(page, "btnBorderColor", "pMenuBorderColor",
                                     &TfrmOption::borderColor_, &TfrmOption::SetBorderColor);
  grid->addWidget(btnBorderColor, 2, 1, Qt::AlignLeft);
  grid->addWidget(NewLabel("lbBorderMode", QStringLiteral("Style"), page), 3, 0);
  cbBorderMode = NewList("cbBorderMode", page, {"Solid", "Dash", "Dot", "DashDot", "DashDotDot"});
  cbBorderMode->setMinimumContentsLength(10);
  cbBorderMode->setCurrentIndex(0);
  grid->addWidget(cbBorderMode, 3, 1, 1, 3, Qt::AlignLeft);
  grid->addWidget(NewLabel("lbPosition", QStringLiteral("Position"), page), 4, 0);
  cbPosition = NewList("cbPosition", page, {"Inside", "Outside"});
  cbPosition->setMinimumContentsLength(10);
  cbPosition->setCurrentIndex(0);
  grid->addWidget(cbPosition, 4, 1, 1, 3, Qt::AlignLeft);
  grid->setColumnStretch(4, 1);
  column->addLayout(grid);
  column->addStretch(1);

  connect(cbBorder, &QCheckBox::toggled, this, [this] { cbBorderClick(); });
  return page;
}

QToolButton* TfrmOption::CreateColorButton(QWidget* parent, const char* name, const char* menuName,
                                           int32_t TfrmOption::*color,
                                           void (TfrmOption::*setColor)(int32_t)) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setToolTip(QStringLiteral("Setup clolor"));
  button->setPopupMode(QToolButton::InstantPopup);
  button->setIconSize(QSize(28, 14));
  auto* menu = new QMenu(button);
  menu->setObjectName(QString::fromLatin1(menuName));
  struct Named {
    const char* name;
    int32_t color;  // TColor
  };
  static const Named kColors[] = {
      {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
      {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
      {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
      {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF}};
  for (const Named& c : kColors) {
    QAction* item = menu->addAction(Swatch(ColorFromTColor(c.color), QSize(16, 12)),
                                    QString::fromLatin1(c.name));
    const int32_t value = c.color;
    connect(item, &QAction::triggered, this, [this, value, setColor] { (this->*setColor)(value); });
  }
  menu->addSeparator();
  QAction* other = menu->addAction(QStringLiteral("&Other..."));
  other->setObjectName(QStringLiteral("mnuOtherColor"));
  connect(other, &QAction::triggered, this,
          [this, color, setColor] { ChooseOtherColor(this->*color, setColor); });
  button->setMenu(menu);
  button->setIcon(Swatch(ColorFromTColor(this->*color)));
  return button;
}

QWidget* TfrmOption::CreateOtherPage() {
  QWidget* page = NewPage("tsOther");
  auto* column = new QVBoxLayout(page);
  Tight(column);
  cbOverwrite =
      NewCheck("cbOverwrite",
               QStringLiteral("If the output file name already exists, the program will"), page);
  column->addWidget(cbOverwrite);
  auto* second = NewLabel("lbOverwrite", QStringLiteral("overwrite the original file."), page);
  // The second line sits under the box's text, not under the box.
  const int indent =
      cbOverwrite->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, cbOverwrite) +
      cbOverwrite->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, cbOverwrite);
  second->setIndent(indent);
  second->setBuddy(cbOverwrite);
  column->addWidget(second);
  cbKeepExif = NewCheck("cbKeepExif", QStringLiteral("Keep the EXIF information of JPEG"), page);
  cbKeepExif->setChecked(true);
  column->addWidget(cbKeepExif);
  cbAutoRotate = NewCheck("cbAutoRotate",
                          QStringLiteral("Turn photos upright by their EXIF orientation."), page);
  cbAutoRotate->setChecked(true);
  column->addWidget(cbAutoRotate);
  cbStripLocation = NewCheck(
      "cbStripLocation", QStringLiteral("Remove GPS and place names from kept metadata."), page);
  column->addWidget(cbStripLocation);
  cbKeepSourceColors = NewCheck(
      "cbKeepSourceColors",
      QStringLiteral("Keep colour values when the output cannot hold the colour profile."), page);
  column->addWidget(cbKeepSourceColors);
  cbOpen = NewCheck("cbOpen", QStringLiteral("Directly open output folder after process."), page);
  column->addWidget(cbOpen);
  cbClose = NewCheck("cbClose", QStringLiteral("Close the program after processing."), page);
  column->addWidget(cbClose);
  cbRemoveList =
      NewCheck("cbRemoveList",
               QStringLiteral("Auto remove all image files from the list after process."), page);
  column->addWidget(cbRemoveList);
  // Images processed at the same time; 0 uses every core.
  auto* jobsRow = new QHBoxLayout;
  auto* jobsLabel =
      NewLabel("lbJobs", QStringLiteral("Images processed at once (0 = all cores):"), page);
  edtJobs = NewSettingSpin("edtJobs", page, u"Jobs", 0);
  jobsLabel->setBuddy(edtJobs);
  jobsRow->addWidget(jobsLabel);
  jobsRow->addWidget(edtJobs);
  jobsRow->addStretch(1);
  column->addLayout(jobsRow);
  column->addStretch(1);
  return page;
}

bool TfrmOption::HasLogo() const { return !ImageLeft->pixmap().isNull(); }

void TfrmOption::SetBorderColor(int32_t color) {
  borderColor_ = color;
  btnBorderColor->setIcon(Swatch(ColorFromTColor(color)));
}

void TfrmOption::SetFlattenColor(int32_t color) {
  flattenColor_ = color;
  btnFlattenColor->setIcon(Swatch(ColorFromTColor(color)));
}

void TfrmOption::ChooseOtherColor(int32_t current, void (TfrmOption::*setColor)(int32_t)) {
  const QColor initial = ColorFromTColor(current);
  const QColor chosen = dialogs_.ChooseColor
                            ? dialogs_.ChooseColor(initial)
                            : QColorDialog::getColor(initial, this, QStringLiteral("Color"));
  if (chosen.isValid()) (this->*setColor)(TColorFromColor(chosen));
}

void TfrmOption::BrowseOutPath() {
  const QString caption = QStringLiteral("Select save path:");
  const QString folder = dialogs_.ChooseFolder
                             ? dialogs_.ChooseFolder(caption, edtOutPath->text())
                             : QFileDialog::getExistingDirectory(this, caption, edtOutPath->text());
  if (folder.isEmpty()) return;
  edtOutPath->setText(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

TSettingControls TfrmOption::SharedControls() const {
  TSettingControls c;
  c.inPlace = rbPathType1;
  c.toFolder = rbPathType2;
  c.outPath = edtOutPath;
  c.saveFormat = cbOutputSaveFormat;
  c.options = {plCompress, spC1, spC2, spC3, spC4, seQuality, cbCompress, cbColors};
  c.originalName = cbOriginalName;
  c.rename = cbRename;
  c.renamePattern = edtRnTempl;
  c.renameNo = edtRenameNo;
  c.resize = cbCustomSize;
  c.width = edtCtmWidth;
  c.height = edtCtmHeight;
  c.resizeMode = cbResizeMode;
  return c;
}

void TfrmOption::FormShow() {
  ShowSettingControls(SharedControls(), settings_);
  cbBorder->setChecked(settings_.DrawBorder);
  ShowSpinValue(edtBorderTopWidth, settings_.BorderTopWidth);
  ShowSpinValue(edtBorderRightWidth, settings_.BorderRightWidth);
  ShowSpinValue(edtBorderBottomWidth, settings_.BorderBottomWidth);
  ShowSpinValue(edtBorderLeftWidth, settings_.BorderLeftWidth);
  SetBorderColor(settings_.BorderColor);
  SelectListIndex(cbBorderMode, settings_.BorderMode);
  cbPosition->setCurrentIndex(settings_.BorderPosition ? 0 : 1);
  SelectListIndex(cbChangeCase, settings_.ChangeCase);
  cbOverwrite->setChecked(settings_.OverwriteOutput);
  cbOpen->setChecked(values_.Open);
  cbClose->setChecked(values_.Close);
  cbRemoveList->setChecked(values_.RemoveList);
  ShowSpinValue(edtJobs, values_.Jobs);
  cbKeepExif->setChecked(settings_.KeepExif);
  SelectListIndex(cbJpegSubsampling, settings_.JpegSubsampling);
  SetFlattenColor(settings_.FlattenColor);
  cbAutoRotate->setChecked(settings_.AutoRotate);
  cbStripLocation->setChecked(settings_.StripLocation);
  cbKeepSourceColors->setChecked(settings_.KeepSourceColors);
  cbWebPLossless->setChecked(settings_.WebPLossless);
  ShowSpinValue(seAvifSpeed, settings_.AvifSpeed);
  SelectListIndex(cbTiffCompression, settings_.TiffCompression);
  cbOutputSaveFormatChange();
  // Programmatic ticks already ran the linked-control handlers; these keep
  // the state right when a box was already as the settings say.
  cbCustomSizeClick();
  cbBorderClick();
}

void TfrmOption::btnSaveClick() {
  // A field the user left empty or half-typed holds its last valid value;
  // that value is stored rather than a conversion error halfway through.
  edtCtmWidth->interpretText();
  edtCtmHeight->interpretText();
  ReadSettingControls(SharedControls(), settings_);
  settings_.DrawBorder = cbBorder->isChecked();
  settings_.BorderTopWidth = edtBorderTopWidth->value();
  settings_.BorderRightWidth = edtBorderRightWidth->value();
  settings_.BorderBottomWidth = edtBorderBottomWidth->value();
  settings_.BorderLeftWidth = edtBorderLeftWidth->value();
  settings_.BorderColor = borderColor_;
  settings_.BorderMode = cbBorderMode->currentIndex();
  settings_.BorderPosition = cbPosition->currentIndex() == 0;
  settings_.ChangeCase = cbChangeCase->currentIndex();
  settings_.OverwriteOutput = cbOverwrite->isChecked();
  settings_.KeepExif = cbKeepExif->isChecked();
  settings_.JpegSubsampling = cbJpegSubsampling->currentIndex();
  settings_.FlattenColor = flattenColor_;
  settings_.AutoRotate = cbAutoRotate->isChecked();
  settings_.StripLocation = cbStripLocation->isChecked();
  settings_.KeepSourceColors = cbKeepSourceColors->isChecked();
  settings_.WebPLossless = cbWebPLossless->isChecked();
  seAvifSpeed->interpretText();
  settings_.AvifSpeed = seAvifSpeed->value();
  settings_.TiffCompression = cbTiffCompression->currentIndex();
  values_.Open = cbOpen->isChecked();
  values_.Close = cbClose->isChecked();
  values_.RemoveList = cbRemoveList->isChecked();
  edtJobs->interpretText();
  values_.Jobs = edtJobs->value();
}

void TfrmOption::cbOutputSaveFormatChange() {
  const int format = cbOutputSaveFormat->currentIndex();
  plCompress->setCurrentIndex(FormatOptionPageIndex(format));
  plFormatExtra->setCurrentIndex(format >= 16 && format <= 18 ? format - 15 : 0);
}

void TfrmOption::cbCustomSizeClick() {
  const bool on = cbCustomSize->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(cbResizeMode), static_cast<QWidget*>(lbResizeMode),
                     static_cast<QWidget*>(lbRestrainHeight), static_cast<QWidget*>(edtCtmHeight),
                     static_cast<QWidget*>(lbRestrainWidth), static_cast<QWidget*>(edtCtmWidth),
                     static_cast<QWidget*>(abResize)})
    w->setEnabled(on);
}

void TfrmOption::cbBorderClick() {
  const bool on = cbBorder->isChecked();
  for (QWidget* w : borderPage_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (w != cbBorder) w->setEnabled(on);
}

void TfrmOption::pMenuSize1Click(QAction* item) {
  ApplySizePreset(item, edtCtmWidth, edtCtmHeight);
}

void TfrmOption::pmnuFileNameClick(QAction* item) { AppendRenameToken(item, edtRnTempl); }

}  // namespace imprimo
