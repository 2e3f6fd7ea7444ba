#include "gui/setting_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "gui/qt_text.h"

namespace imprimo {

void ReadSettingControls(const TSettingControls& c, TSettings& settings) {
  settings.PathType = c.inPlace->isChecked() ? 1 : 2;
  settings.OutPath = ToUtf8(c.outPath->text());
  settings.SaveFormat = c.saveFormat->currentIndex();
  settings.Quality = c.options.seQuality->value();
  settings.Compress = c.options.cbCompress->currentIndex();
  settings.Colors = c.options.cbColors->currentIndex();

  settings.Rename = c.rename->isChecked();
  settings.RenameTpl = ToUtf8(c.renamePattern->text());
  settings.RenameNo = c.renameNo->value();

  settings.Resize = c.resize->isChecked();
  settings.NewWidth = c.width->value();
  settings.NewHeight = c.height->value();
  settings.ResizeMode = c.resizeMode->currentIndex();
}

void ShowSettingControls(const TSettingControls& c, const TSettings& settings) {
  if (settings.PathType == 1)
    c.inPlace->setChecked(true);
  else
    c.toFolder->setChecked(true);
  c.outPath->setText(FromUtf8(settings.OutPath));
  SelectListIndex(c.saveFormat, settings.SaveFormat);
  ShowSpinValue(c.options.seQuality, settings.Quality);
  SelectListIndex(c.options.cbCompress, settings.Compress);
  SelectListIndex(c.options.cbColors, settings.Colors);

  if (settings.Rename)
    c.rename->setChecked(true);
  else
    c.originalName->setChecked(true);
  c.renamePattern->setText(FromUtf8(settings.RenameTpl));
  ShowSpinValue(c.renameNo, settings.RenameNo);

  c.resize->setChecked(settings.Resize);
  ShowSpinValue(c.width, settings.NewWidth);
  ShowSpinValue(c.height, settings.NewHeight);
  SelectListIndex(c.resizeMode, settings.ResizeMode);
}

}  // namespace imprimo
