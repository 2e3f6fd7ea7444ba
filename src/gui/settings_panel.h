// The settings part of the main window's left panel: output folder and
// format, renaming and size restriction. It copies its controls into the
// settings record and shows a record; the window asks it for nothing else
// than the output folder and the serial number.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

#include "app/settings.h"
#include "gui/setting_controls.h"

class QAction;
class QLabel;
class QMenu;

namespace imprimo {

class TMenuBtn;

class TSettingsPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TSettingsPanel(QWidget* parent = nullptr);

  // Copies the controls into settings, the output folder as a run uses it.
  void ReadInto(TSettings& settings) const;
  // Shows settings in the controls.
  void Show(const TSettings& settings);

  // The output folder as typed.
  QString OutputFolderText() const;
  // Puts the cursor into the output folder with its text selected.
  void FocusOutputFolder();
  // Shows the next serial number, within what the control holds.
  void ShowRenameNo(int64_t renameNo);

 private:
  void CreateMenus();
  QWidget* CreateOutputGroup();
  QWidget* CreateRenameGroup();
  QWidget* CreateResizeGroup();

  // Reactions: the option page of the format, and the controls each choice
  // enables.
  void cbSaveFormatChange();
  void rbPathType2Click();
  void EnableRenamePattern(bool on);
  void cbCustomSizeClick();
  void BrowseOutPath();

  TSettingControls controls_;
  QLabel* lbFileFormat = nullptr;
  TMenuBtn* abRename = nullptr;
  QLabel* lbNumber = nullptr;
  QLabel* lbRestrainWidth = nullptr;
  QLabel* lbRestrainHeight = nullptr;
  TMenuBtn* abResize = nullptr;
  QMenu* pMenuSize = nullptr;
  QMenu* pMenuRn = nullptr;
};

}  // namespace imprimo
