// The "Standard Options" dialog: every processing setting on five pages,
// read from the settings record when shown and written back on Save.
#pragma once

#include <QColor>
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "app/settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QToolButton;

namespace imprimo {

class TMenuBtn;
struct TSettingControls;

// The dialog's own pickers, replaceable so that tests need no modal loop.
// An empty member uses the real dialog.
struct TOptionDialogs {
  // The colour chosen, or an invalid colour when cancelled.
  std::function<QColor(const QColor& initial)> ChooseColor;
  // The folder chosen, or an empty text when cancelled.
  std::function<QString(const QString& caption, const QString& start)> ChooseFolder;
};

class TfrmOption : public QDialog {
  Q_OBJECT

 public:
  // The dialog edits `settings` and the after-run flags of `values`; both
  // must outlive it. programFolder ends with "/".
  TfrmOption(const std::string& programFolder, TSettings& settings, TProgramValues& values,
             QWidget* parent = nullptr);
  ~TfrmOption() override;

  void SetDialogs(TOptionDialogs dialogs) { dialogs_ = std::move(dialogs); }

  // Fills the controls from the settings; runs before the dialog is shown.
  void FormShow();
  // Stores the controls into the settings.
  void btnSaveClick();

  // The border colour as a TColor value (0x00BBGGRR; negative values are
  // system colours and are kept as they are unless another is chosen).
  int32_t BorderColor() const { return borderColor_; }
  void SetBorderColor(int32_t color);
  // The colour transparent areas take in JPEG outputs (TColor).
  int32_t FlattenColor() const { return flattenColor_; }
  void SetFlattenColor(int32_t color);
  // Whether a logo was loaded into the picture box.
  bool HasLogo() const;

  // TColor and the toolkit's colours.
  static QColor ColorFromTColor(int32_t color);
  static int32_t TColorFromColor(const QColor& color);

 private:
  void FormCreate(const std::string& programFolder);
  QWidget* CreateOutputPage();
  QWidget* CreateResizePage();
  QWidget* CreateRenamePage();
  QWidget* CreateBorderPage();
  QWidget* CreateOtherPage();
  // A colour button with the named colours and "Other..."; color is the
  // member it shows, setColor stores a choice.
  QToolButton* CreateColorButton(QWidget* parent, const char* name, const char* menuName,
                                 int32_t TfrmOption::*color, void (TfrmOption::*setColor)(int32_t));

  // The controls the main window's panel offers too.
  TSettingControls SharedControls() const;

  void cbOutputSaveFormatChange();
  void cbCustomSizeClick();
  void cbBorderClick();
  void pMenuSize1Click(QAction* item);
  void pmnuFileNameClick(QAction* item);
  void BrowseOutPath();
  void ChooseOtherColor(int32_t current, void (TfrmOption::*setColor)(int32_t));

  TSettings& settings_;
  TProgramValues& values_;
  TOptionDialogs dialogs_;
  int32_t borderColor_ = 0;
  int32_t flattenColor_ = 0xFFFFFF;

  QLabel* ImageLeft = nullptr;
  QTabWidget* pcOptions = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnCancel = nullptr;

  // Output settings.
  QRadioButton* rbPathType1 = nullptr;
  QRadioButton* rbPathType2 = nullptr;
  QLineEdit* edtOutPath = nullptr;
  QComboBox* cbOutputSaveFormat = nullptr;
  QStackedWidget* plCompress = nullptr;
  QWidget* spC1 = nullptr;
  QWidget* spC2 = nullptr;
  QWidget* spC3 = nullptr;
  QWidget* spC4 = nullptr;
  QSpinBox* seQuality = nullptr;
  QComboBox* cbCompress = nullptr;
  QComboBox* cbColors = nullptr;

  // Resize.
  QCheckBox* cbCustomSize = nullptr;
  QLabel* lbRestrainWidth = nullptr;
  QSpinBox* edtCtmWidth = nullptr;
  TMenuBtn* abResize = nullptr;
  QLabel* lbRestrainHeight = nullptr;
  QSpinBox* edtCtmHeight = nullptr;
  QLabel* lbResizeMode = nullptr;
  QComboBox* cbResizeMode = nullptr;
  QMenu* pMenuSize = nullptr;

  // Rename.
  QRadioButton* cbOriginalName = nullptr;
  QRadioButton* cbRename = nullptr;
  QLineEdit* edtRnTempl = nullptr;
  TMenuBtn* mbRename = nullptr;
  QSpinBox* edtRenameNo = nullptr;
  QComboBox* cbChangeCase = nullptr;
  QMenu* pMenuRn = nullptr;

  // Add border.
  QCheckBox* cbBorder = nullptr;
  QWidget* borderPage_ = nullptr;
  QSpinBox* edtBorderTopWidth = nullptr;
  QSpinBox* edtBorderRightWidth = nullptr;
  QSpinBox* edtBorderBottomWidth = nullptr;
  QSpinBox* edtBorderLeftWidth = nullptr;
  QToolButton* btnBorderColor = nullptr;
  QComboBox* cbBorderMode = nullptr;
  QComboBox* cbPosition = nullptr;

  // Other.
  QComboBox* cbJpegSubsampling = nullptr;
  QToolButton* btnFlattenColor = nullptr;
  QCheckBox* cbOverwrite = nullptr;
  QCheckBox* cbKeepExif = nullptr;
  QCheckBox* cbAutoRotate = nullptr;
  QCheckBox* cbStripLocation = nullptr;
  QCheckBox* cbKeepSourceColors = nullptr;
  QStackedWidget* plFormatExtra = nullptr;
  QCheckBox* cbWebPLossless = nullptr;
  QSpinBox* seAvifSpeed = nullptr;
  QComboBox* cbTiffCompression = nullptr;
  QSpinBox* edtJobs = nullptr;
  QCheckBox* cbOpen = nullptr;
  QCheckBox* cbClose = nullptr;
  QCheckBox* cbRemoveList = nullptr;
};

}  // namespace imprimo
