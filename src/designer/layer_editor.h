// The property editor of the selected layer: one control for every field of
// the layer record, each fitting its value. The editor never changes the
// document itself: every user edit is announced with the whole new record,
// the field's key name and whether the control edits continuously (typing,
// spinning), so the window can make a run of such edits one undo step.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "designer/designer_texts.h"
#include "render/mark_item.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSlider;
class QSpinBox;
class QToolButton;
class QButtonGroup;
class QVBoxLayout;

namespace imprimo {

class TColorButton;

// The families offered by the font list: every family fontconfig knows, and
// the classic desktop names the font engine maps onto them, sorted without
// regard to case and without repeats.
QStringList DesignerFontFamilies();

// The text variables the text menu inserts, as (menu text, variable) pairs.
// The sequence number is not among them: it asks for its start value.
std::vector<std::pair<QString, QString>> TextVariableChoices();

class TLayerEditor : public QWidget {
  Q_OBJECT

 public:
  explicit TLayerEditor(QWidget* parent = nullptr);

  // Shows item in every control without announcing edits. hasLayer false
  // empties and disables the editor.
  void SetItem(const TMarkItem& item, bool hasLayer = true);
  const TMarkItem& Item() const { return item_; }

  // The shorter side of the sample picture, in pixels: switching a layer
  // to relative sizes or margins keeps its look on that picture.
  void SetReferenceSide(int side) { referenceSide_ = side > 0 ? side : 800; }

  // Inserts text at the cursor of the text box, as a user edit.
  void InsertIntoText(const QString& text);

  // Asks for the start of a sequence number; replaceable by tests. Returns
  // false when cancelled.
  std::function<bool(int& start, QWidget* parent)> AskSequenceStart;

 signals:
  void ItemEdited(const imprimo::TMarkItem& item, const QString& key, bool continued);
  // The picture layer's "Choose..." button.
  void ChoosePicture();
  // The text layer's texture "Choose..." button.
  void ChooseTexture();

 private:
  using Loader = std::function<void()>;

  // How a spin box shows its value: as it is, or as a per mille value that
  // can be shown as a percentage with one decimal.
  enum class TSpinScale { Units, PerMille };

  // One builder per page of the editor, each made of one builder per box.
  void BuildLayerTab(QVBoxLayout* page);
  void BuildEffectsTab(QVBoxLayout* page);
  void BuildPlacementTab(QVBoxLayout* page);
  QGroupBox* BuildLayerBox();
  QGroupBox* BuildTextBox();
  QGroupBox* BuildFontBox();
  QWidget* BuildFontSizeRow();
  QGroupBox* BuildPictureBox();
  QGroupBox* BuildEffectsBox();
  QWidget* BuildOpacityRow();
  QGroupBox* BuildShadowBox();
  QGroupBox* BuildGradientBox();
  QGroupBox* BuildTextureBox();
  QGroupBox* BuildPlacementBox();
  QWidget* BuildPositionGrid();
  QGroupBox* BuildFitBox();

  // The "relative" check boxes: they convert the layer's values so that it
  // keeps its look on the sample picture.
  void SetRelativeSize(bool on);
  void SetRelativeMargins(bool on);

  // Controls bound to one field of the record; key names the field in the
  // edit announcement. A choice list offers (value, text) items and shows a
  // value it does not offer as otherText.
  QSpinBox* AddSpin(const char* name, int32_t TMarkItem::*field, int minimum, int maximum,
                    const char* key, TSpinScale scale = TSpinScale::Units);
  template <typename Field>
  QComboBox* AddChoice(const char* name, Field TMarkItem::*field,
                       const std::vector<std::pair<int, const char*>>& choices, const char* key,
                       TDesignerText otherText);
  QCheckBox* AddCheck(const char* name, const QString& text, bool TMarkItem::*field,
                      const char* key);
  TColorButton* AddColor(const char* name, int32_t TMarkItem::*field, const char* key);
  void Edit(const char* key, bool continued, const std::function<void(TMarkItem&)>& change);
  void UpdateVisibility();
  void UpdateFontHint();
  void BuildTextMenu(QMenu* menu);

  TMarkItem item_;
  bool loading_ = false;
  std::vector<Loader> loaders_;

  QLineEdit* edDesc_ = nullptr;
  QComboBox* cbStyle_ = nullptr;
  QGroupBox* gbText_ = nullptr;
  QPlainTextEdit* edText_ = nullptr;
  QGroupBox* gbFont_ = nullptr;
  QComboBox* cbFontName_ = nullptr;
  QLabel* lbFontFace_ = nullptr;
  QComboBox* cbCharSet_ = nullptr;
  QComboBox* cbPitch_ = nullptr;
  QToolButton* styleButtons_[4] = {};
  QGroupBox* gbEffects_ = nullptr;
  QSlider* tbAlpha_ = nullptr;
  std::vector<QWidget*> textOnly_;
  QGroupBox* gbShadow_ = nullptr;
  QGroupBox* gbGradient_ = nullptr;
  QGroupBox* gbTexture_ = nullptr;
  QLineEdit* edTexture_ = nullptr;
  QGroupBox* gbPlacement_ = nullptr;
  QComboBox* cbPlaceStyle_ = nullptr;
  QButtonGroup* positionGroup_ = nullptr;
  QWidget* positionGrid_ = nullptr;
  QSpinBox* seOffsetX_ = nullptr;
  QSpinBox* seOffsetY_ = nullptr;
  QSpinBox* seHorzSpace_ = nullptr;
  QSpinBox* seVertSpace_ = nullptr;
  QLabel* lbHorzSpace_ = nullptr;
  QLabel* lbVertSpace_ = nullptr;
  QGroupBox* gbPicture_ = nullptr;
  QLineEdit* edPicture_ = nullptr;
  QGroupBox* gbFit_ = nullptr;
  QCheckBox* cbRelativeSize_ = nullptr;
  QComboBox* cbSizeSide_ = nullptr;
  QSpinBox* seRelativeSize_ = nullptr;
  QCheckBox* cbRelativeMargins_ = nullptr;
  QComboBox* cbShowOn_ = nullptr;
  std::vector<QSpinBox*> marginSpins_;
  int referenceSide_ = 800;
};

}  // namespace imprimo
