// The controls the main window's panel and the options dialog both offer
// for the output folder and format, renaming and size restriction, and the
// one copy between them and the settings record.
#pragma once

#include "app/settings.h"
#include "gui/form_controls.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace imprimo {

struct TSettingControls {
  QRadioButton* inPlace = nullptr;   // PathType 1: beside the sources
  QRadioButton* toFolder = nullptr;  // PathType 2: into OutPath
  QLineEdit* outPath = nullptr;
  QComboBox* saveFormat = nullptr;
  TFormatOptionPages options;  // quality, compression level, colours
  QRadioButton* originalName = nullptr;
  QRadioButton* rename = nullptr;
  QLineEdit* renamePattern = nullptr;
  QSpinBox* renameNo = nullptr;
  QCheckBox* resize = nullptr;
  QSpinBox* width = nullptr;
  QSpinBox* height = nullptr;
  QComboBox* resizeMode = nullptr;
};

// Stores the controls into settings.
void ReadSettingControls(const TSettingControls& controls, TSettings& settings);
// Shows settings in the controls, each value within what its control holds.
void ShowSettingControls(const TSettingControls& controls, const TSettings& settings);

}  // namespace imprimo
