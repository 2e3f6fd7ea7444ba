#include "designer/layer_editor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSet>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "designer/color_button.h"
#include "designer/designer_texts.h"
#include "designer/template_document.h"
#include "gui/form_translation.h"
#include "gui/qt_text.h"
#include "platform/canvas.h"
#include "platform/font.h"
#include "platform/text.h"
#include "render/relative_layout.h"

namespace imprimo {

namespace {

// A spin box of a per mille value that can show it as a percentage with
// one decimal (25 shows as "2.5 %"); the value itself stays the integer.
class TPerMilleSpin : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

  void SetPercent(bool on) {
    if (percent_ == on) return;
    percent_ = on;
    setSingleStep(on ? 5 : 1);
    setSuffix(on ? QStringLiteral(" %") : QString());
    lineEdit()->setText(textFromValue(value()) + suffix());
  }

 protected:
  QString textFromValue(int value) const override {
    if (!percent_) return QSpinBox::textFromValue(value);
    return locale().toString(value / 10.0, 'f', 1);
  }
  int valueFromText(const QString& text) const override {
    if (!percent_) return QSpinBox::valueFromText(text);
    bool ok = false;
    const double v = locale().toDouble(Number(text), &ok);
    return ok ? static_cast<int>(std::lround(v * 10)) : value();
  }
  QValidator::State validate(QString& text, int& pos) const override {
    if (!percent_) return QSpinBox::validate(text, pos);
    const QString n = Number(text);
    if (n.isEmpty() || n == QStringLiteral("-") || n == QStringLiteral("+") ||
        n.endsWith(locale().decimalPoint()))
      return QValidator::Intermediate;
    bool ok = false;
    const double v = locale().toDouble(n, &ok);
    if (!ok) return QValidator::Invalid;
    const double tenths = v * 10;
    if (std::abs(tenths - std::round(tenths)) > 1e-9) return QValidator::Invalid;
    return tenths >= minimum() && tenths <= maximum() ? QValidator::Acceptable
                                                      : QValidator::Intermediate;
  }

 private:
  QString Number(QString text) const {
    if (!suffix().isEmpty() && text.endsWith(suffix())) text.chop(suffix().size());
    return text.trimmed();
  }
  bool percent_ = false;
};

// Switches a per mille spin box between showing the integer and showing it
// as a percentage; other spin boxes are left alone.
void ShowPerMilleAsPercent(QSpinBox* spin, bool on) {
  if (auto* perMille = dynamic_cast<TPerMilleSpin*>(spin)) perMille->SetPercent(on);
}

QString FromU16(const std::u16string& s) {
  return QString::fromUtf16(s.data(), qsizetype(s.size()));
}
std::u16string ToU16(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}

// The text box of a layer: one line of text as the template stores it, shown
// wrapped. Line breaks typed or pasted become blanks.
class TLayerTextEdit : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
      e->ignore();
      return;
    }
    QPlainTextEdit::keyPressEvent(e);
  }
  void insertFromMimeData(const QMimeData* source) override {
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    insertPlainText(text);
  }
};

// Character sets of the platform's font descriptions.
const std::vector<std::pair<int, const char*>>& CharSets() {
  static const std::vector<std::pair<int, const char*>> sets = {
      {0, "Western (0)"},          {1, "Default (1)"},
      {2, "Symbol (2)"},           {77, "Mac (77)"},
      {128, "Japanese (128)"},     {129, "Korean (129)"},
      {130, "Korean Johab (130)"}, {134, "Chinese GB2312 (134)"},
      {136, "Chinese Big5 (136)"}, {161, "Greek (161)"},
      {162, "Turkish (162)"},      {163, "Vietnamese (163)"},
      {177, "Hebrew (177)"},       {178, "Arabic (178)"},
      {186, "Baltic (186)"},       {204, "Cyrillic (204)"},
      {222, "Thai (222)"},         {238, "Central European (238)"},
      {255, "OEM (255)"}};
  return sets;
}

// Shows value in a list whose items carry their values as data; a value the
// list does not offer gets an item of its own so that it is shown as stored.
void ShowListValue(QComboBox* list, int value, const QString& otherText) {
  int index = list->findData(value);
  if (index < 0) {
    // Remove an earlier stand-in before adding this one.
    for (int i = list->count() - 1; i >= 0; --i)
      if (list->itemData(i, Qt::UserRole + 1).toBool()) list->removeItem(i);
    list->addItem(otherText.arg(value), value);
    index = list->count() - 1;
    list->setItemData(index, true, Qt::UserRole + 1);
  }
  list->setCurrentIndex(index);
}

QLabel* RowLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QStringLiteral("lb") + QString::fromLatin1(name).mid(2));
  return label;
}

}  // namespace

QStringList DesignerFontFamilies() {
  QStringList families = QFontDatabase::families();
  // The classic desktop names older templates carry; fontconfig maps them
  // onto the metric-compatible or closest installed faces.
  for (const char* name :
       {"Arial", "Arial Black", "Comic Sans MS", "Courier New", "Georgia", "Impact",
        "Lucida Console", "Microsoft Sans Serif", "Segoe UI", "Tahoma", "Times New Roman",
        "Trebuchet MS", "Verdana", "SimSun", "SimHei", "MS Shell Dlg"})
    families << QString::fromLatin1(name);
  QSet<QString> seen;
  QStringList unique;
  for (const QString& f : families) {
    if (f.isEmpty() || seen.contains(f.toLower())) continue;
    seen.insert(f.toLower());
    unique << f;
  }
  std::sort(unique.begin(), unique.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  return unique;
}

std::vector<std::pair<QString, QString>> TextVariableChoices() {
  return {
      {QStringLiteral("Date: 2024-03-09"), QStringLiteral("{$Dyyyy-mm-dd}")},
      {QStringLiteral("Date: 09/03/2024"), QStringLiteral("{$Ddd/mm/yyyy}")},
      {QStringLiteral("Date and time: 2024-03-09 14:05:07"),
       QStringLiteral("{$Dyyyy-mm-dd hh:nn:ss}")},
      {QStringLiteral("Time: 14:05"), QStringLiteral("{$Dhh:nn}")},
      {QStringLiteral("Year: 2024"), QStringLiteral("{$Dyyyy}")},
      {QStringLiteral("Long date (regional)"), QStringLiteral("{$Ddddddd}")},
      {QStringLiteral("Short date and time (regional)"), QStringLiteral("{$Dc}")},
      {QString(), QString()},
      {QStringLiteral("File name, upper case, no extension"), QStringLiteral("{$FU}")},
      {QStringLiteral("File name, upper case, with extension"), QStringLiteral("{$FEU}")},
      {QStringLiteral("File name, lower case, no extension"), QStringLiteral("{$FL}")},
      {QStringLiteral("File name, lower case, with extension"), QStringLiteral("{$FEL}")},
      {QString(), QString()},
      {QStringLiteral("EXIF: date and time taken"), QStringLiteral("{$EP}")},
      {QStringLiteral("EXIF: camera make (model)"), QStringLiteral("{$EM}")},
      {QStringLiteral("EXIF: picture size"), QStringLiteral("{$ED}")},
      {QStringLiteral("EXIF: exposure time"), QStringLiteral("{$EE}")},
      {QStringLiteral("EXIF: focal length"), QStringLiteral("{$EL}")},
      {QStringLiteral("EXIF: F number"), QStringLiteral("{$EF}")},
      {QStringLiteral("EXIF: ISO speed"), QStringLiteral("{$EI}")},
  };
}

TLayerEditor::TLayerEditor(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("LayerEditor"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(4, 4, 4, 4);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("tcProperties"));
  outer->addWidget(tabs);
  auto page = [tabs](const char* name, const QString& title) {
    auto* widget = new QWidget(tabs);
    widget->setObjectName(QString::fromLatin1(name));
    auto* box = new QVBoxLayout(widget);
    box->setContentsMargins(4, 4, 4, 4);
    tabs->addTab(widget, title);
    return box;
  };
  BuildLayerTab(page("tsLayer", QStringLiteral("Layer")));
  BuildEffectsTab(page("tsEffects", QStringLiteral("Effects")));
  BuildPlacementTab(page("tsPlacement", QStringLiteral("Placement")));

  AskSequenceStart = [](int& start, QWidget* parent) {
    bool ok = false;
    const int value = QInputDialog::getInt(parent, DesignerText(TDesignerText::SequenceCaption),
                                           DesignerText(TDesignerText::SequenceStart), start, 0,
                                           999999999, 1, &ok);
    if (ok) start = value;
    return ok;
  };
  SetItem(TMarkItem(), false);
}

// The layer page: name and kind, then the text and font of a text layer or
// the picture of a picture layer.
void TLayerEditor::BuildLayerTab(QVBoxLayout* page) {
  page->addWidget(BuildLayerBox());
  page->addWidget(BuildTextBox());
  page->addWidget(BuildFontBox());
  page->addWidget(BuildPictureBox());
  page->addStretch(1);
}

// The effects page: opacity and turning, shadow, gradient and texture fill.
void TLayerEditor::BuildEffectsTab(QVBoxLayout* page) {
  page->addWidget(BuildEffectsBox());
  page->addWidget(BuildShadowBox());
  page->addWidget(BuildGradientBox());
  page->addWidget(BuildTextureBox());
  page->addStretch(1);
}

// The placement page: where the mark goes and how it fits the picture.
void TLayerEditor::BuildPlacementTab(QVBoxLayout* page) {
  page->addWidget(BuildPlacementBox());
  page->addWidget(BuildFitBox());
  page->addStretch(1);
}

QGroupBox* TLayerEditor::BuildLayerBox() {
  auto* gbLayer = new QGroupBox(QStringLiteral("Layer"), this);
  gbLayer->setObjectName(QStringLiteral("gbLayer"));
  auto* layerForm = new QFormLayout(gbLayer);
  edDesc_ = new QLineEdit(gbLayer);
  edDesc_->setObjectName(QStringLiteral("edDesc"));
  edDesc_->setMaxLength(255);
  layerForm->addRow(RowLabel("edDesc", QStringLiteral("Name:"), gbLayer), edDesc_);
  connect(edDesc_, &QLineEdit::textEdited, this, [this](const QString& text) {
    Edit("Desc", true, [&](TMarkItem& it) { it.Desc = ToUtf8(text); });
  });
  loaders_.push_back([this] {
    TMarkItem typed;
    typed.Desc = ToUtf8(edDesc_->text());
    if (NormalizeMarkItem(typed).Desc != item_.Desc) edDesc_->setText(FromUtf8(item_.Desc));
  });
  cbStyle_ = new QComboBox(gbLayer);
  cbStyle_->setObjectName(QStringLiteral("cbStyle"));
  cbStyle_->addItem(QStringLiteral("Text"), 0);
  cbStyle_->addItem(QStringLiteral("Picture"), 1);
  layerForm->addRow(RowLabel("cbStyle", QStringLiteral("Kind:"), gbLayer), cbStyle_);
  connect(cbStyle_, &QComboBox::activated, this, [this](int index) {
    const int value = cbStyle_->itemData(index).toInt();
    if ((value == 0) == (item_.Style == 0)) return;
    Edit("Style", false, [&](TMarkItem& it) { it.Style = uint8_t(value); });
  });
  loaders_.push_back([this] {
    // Any non-zero kind is a picture layer; the stored number is kept.
    cbStyle_->setItemData(1, item_.Style == 0 ? 1 : int(item_.Style));
    cbStyle_->setCurrentIndex(item_.Style == 0 ? 0 : 1);
  });
  return gbLayer;
}

QGroupBox* TLayerEditor::BuildTextBox() {
  gbText_ = new QGroupBox(QStringLiteral("Text"), this);
  gbText_->setObjectName(QStringLiteral("gbText"));
  auto* textBox = new QVBoxLayout(gbText_);
  edText_ = new TLayerTextEdit(gbText_);
  edText_->setObjectName(QStringLiteral("edText"));
  edText_->setTabChangesFocus(true);
  edText_->setFixedHeight(edText_->fontMetrics().lineSpacing() * 3 + 12);
  textBox->addWidget(edText_);
  connect(edText_, &QPlainTextEdit::textChanged, this, [this] {
    if (loading_) return;
    const std::u16string text = ToU16(edText_->toPlainText());
    if (text == item_.Text) return;
    Edit("Text", true, [&](TMarkItem& it) { it.Text = text; });
  });
  loaders_.push_back([this] {
    // A blank being typed at the end is not stored yet (a template line
    // cannot end in one); the box keeps it while it means the same text.
    TMarkItem typed;
    typed.Text = ToU16(edText_->toPlainText());
    if (NormalizeMarkItem(typed).Text != item_.Text) edText_->setPlainText(FromU16(item_.Text));
  });
  auto* btnVariables = new QToolButton(gbText_);
  btnVariables->setObjectName(QStringLiteral("btnVariables"));
  btnVariables->setText(QStringLiteral("Insert variable"));
  btnVariables->setPopupMode(QToolButton::InstantPopup);
  auto* variables = new QMenu(btnVariables);
  variables->setObjectName(QStringLiteral("pmVariables"));
  BuildTextMenu(variables);
  btnVariables->setMenu(variables);
  textBox->addWidget(btnVariables, 0, Qt::AlignLeft);
  return gbText_;
}

QGroupBox* TLayerEditor::BuildFontBox() {
  gbFont_ = new QGroupBox(QStringLiteral("Font"), this);
  gbFont_->setObjectName(QStringLiteral("gbFont"));
  auto* fontForm = new QFormLayout(gbFont_);
  cbFontName_ = new QComboBox(gbFont_);
  cbFontName_->setObjectName(QStringLiteral("cbFontName"));
  MarkUserItems(*cbFontName_);  // the installed font families
  cbFontName_->setEditable(true);
  cbFontName_->setInsertPolicy(QComboBox::NoInsert);
  cbFontName_->addItems(DesignerFontFamilies());
  cbFontName_->setMinimumContentsLength(12);
  cbFontName_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  fontForm->addRow(RowLabel("cbFontName", QStringLiteral("Family:"), gbFont_), cbFontName_);
  auto fontNameEdited = [this](const QString& text) {
    if (loading_ || ToUtf8(text) == item_.FontName) return;
    Edit("FontName", false, [&](TMarkItem& it) { it.FontName = ToUtf8(text); });
    UpdateFontHint();
  };
  connect(cbFontName_, &QComboBox::textActivated, this, fontNameEdited);
  connect(cbFontName_->lineEdit(), &QLineEdit::editingFinished, this,
          [this, fontNameEdited] { fontNameEdited(cbFontName_->currentText()); });
  lbFontFace_ = new QLabel(gbFont_);
  lbFontFace_->setObjectName(QStringLiteral("lbFontFace"));
  MarkFixedText(*lbFontFace_);  // set for each layer
  lbFontFace_->setWordWrap(true);
  QFont small = lbFontFace_->font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  lbFontFace_->setFont(small);
  fontForm->addRow(QString(), lbFontFace_);
  loaders_.push_back([this] {
    cbFontName_->setEditText(FromUtf8(item_.FontName));
    UpdateFontHint();
  });
  fontForm->addRow(RowLabel("seFontSize", QStringLiteral("Size:"), gbFont_), BuildFontSizeRow());
  fontForm->addRow(RowLabel("btnFontColor", QStringLiteral("Colour:"), gbFont_),
                   AddColor("btnFontColor", &TMarkItem::FontColor, "FontColor"));
  fontForm->addRow(RowLabel("cbFontCharSet", QStringLiteral("Character set:"), gbFont_),
                   AddChoice("cbFontCharSet", &TMarkItem::FontCharSet, CharSets(), "FontCharSet",
                             TDesignerText::OtherValue));
  fontForm->addRow(RowLabel("cbFontPitch", QStringLiteral("Pitch:"), gbFont_),
                   AddChoice("cbFontPitch", &TMarkItem::FontPitch,
                             {{0, "Default"}, {1, "Variable"}, {2, "Fixed"}}, "FontPitch",
                             TDesignerText::OtherDefault));
  return gbFont_;
}

// The font size and the bold, italic, underline and strike-out buttons.
QWidget* TLayerEditor::BuildFontSizeRow() {
  auto* sizeRow = new QWidget(gbFont_);
  auto* sizeBox = new QHBoxLayout(sizeRow);
  sizeBox->setContentsMargins(0, 0, 0, 0);
  QSpinBox* seSize = AddSpin("seFontSize", &TMarkItem::FontSize, -100000, 100000, "FontSize");
  seSize->setSuffix(QStringLiteral(" pt"));
  sizeBox->addWidget(seSize, 1);
  const char* styleNames[4] = {"btnBold", "btnItalic", "btnUnderline", "btnStrikeOut"};
  const char* styleTexts[4] = {"B", "I", "U", "S"};
  const char* styleTips[4] = {"Bold", "Italic", "Underline", "Strike-out"};
  for (int bit = 0; bit < 4; ++bit) {
    auto* b = new QToolButton(sizeRow);
    b->setObjectName(QString::fromLatin1(styleNames[bit]));
    b->setText(QString::fromLatin1(styleTexts[bit]));
    b->setToolTip(QString::fromLatin1(styleTips[bit]));
    b->setCheckable(true);
    QFont f = b->font();
    f.setBold(bit == 0);
    f.setItalic(bit == 1);
    f.setUnderline(bit == 2);
    f.setStrikeOut(bit == 3);
    b->setFont(f);
    sizeBox->addWidget(b);
    styleButtons_[bit] = b;
    connect(b, &QToolButton::clicked, this, [this, bit](bool on) {
      Edit("FontStyle", false, [&](TMarkItem& it) {
        it.FontStyle = uint8_t(on ? (it.FontStyle | (1u << bit)) : (it.FontStyle & ~(1u << bit)));
      });
    });
    loaders_.push_back([this, b, bit] { b->setChecked((item_.FontStyle >> bit) & 1); });
  }
  return sizeRow;
}

QGroupBox* TLayerEditor::BuildPictureBox() {
  gbPicture_ = new QGroupBox(QStringLiteral("Picture"), this);
  gbPicture_->setObjectName(QStringLiteral("gbPicture"));
  auto* pic = new QFormLayout(gbPicture_);
  auto* fileRow = new QWidget(gbPicture_);
  auto* fileBox = new QHBoxLayout(fileRow);
  fileBox->setContentsMargins(0, 0, 0, 0);
  edPicture_ = new QLineEdit(fileRow);
  edPicture_->setObjectName(QStringLiteral("edPicture"));
  edPicture_->setReadOnly(true);
  fileBox->addWidget(edPicture_, 1);
  auto* btnPicture = new QToolButton(fileRow);
  btnPicture->setObjectName(QStringLiteral("btnPicture"));
  btnPicture->setText(QStringLiteral("Choose..."));
  connect(btnPicture, &QToolButton::clicked, this, &TLayerEditor::ChoosePicture);
  fileBox->addWidget(btnPicture);
  loaders_.push_back([this] { edPicture_->setText(FromUtf8(item_.Picture)); });
  pic->addRow(RowLabel("edPicture", QStringLiteral("File:"), gbPicture_), fileRow);
  pic->addRow(AddCheck("cbBGTransparent", QStringLiteral("Make this colour transparent:"),
                       &TMarkItem::isBGTransparent, "isBGTransparent"),
              AddColor("btnBGColor", &TMarkItem::BGColor, "BGColor"));
  QSpinBox* sePictureSize =
      AddSpin("sePictureSize", &TMarkItem::PictureSize, INT32_MIN, INT32_MAX, "PictureSize");
  sePictureSize->setToolTip(
      QStringLiteral("Kept in the template for other editors; the logo is drawn at its own size"));
  pic->addRow(RowLabel("sePictureSize", QStringLiteral("Size note:"), gbPicture_), sePictureSize);
  return gbPicture_;
}

// Opacity, turning and the text effects.
QGroupBox* TLayerEditor::BuildEffectsBox() {
  gbEffects_ = new QGroupBox(QStringLiteral("Effects"), this);
  gbEffects_->setObjectName(QStringLiteral("gbEffects"));
  auto* fx = new QFormLayout(gbEffects_);
  fx->addRow(RowLabel("seAlpha", QStringLiteral("Opacity:"), gbEffects_), BuildOpacityRow());
  QSpinBox* seAngle = AddSpin("seAngle", &TMarkItem::Angle, -360, 360, "Angle");
  seAngle->setSuffix(QStringLiteral("\u00B0"));
  seAngle->setWrapping(false);
  auto* angleLabel = RowLabel("seAngle", QStringLiteral("Angle:"), gbEffects_);
  fx->addRow(angleLabel, seAngle);
  QSpinBox* seBlur = AddSpin("seBlur", &TMarkItem::Blur, 0, 100, "Blur");
  auto* blurLabel = RowLabel("seBlur", QStringLiteral("Blur:"), gbEffects_);
  fx->addRow(blurLabel, seBlur);
  QSpinBox* seNoise = AddSpin("seNoise", &TMarkItem::Noise, 0, 255, "Noise");
  auto* noiseLabel = RowLabel("seNoise", QStringLiteral("Noise:"), gbEffects_);
  fx->addRow(noiseLabel, seNoise);
  QSpinBox* seSpray = AddSpin("seSpray", &TMarkItem::Spray, 0, 100, "Spray");
  auto* sprayLabel = RowLabel("seSpray", QStringLiteral("Spray:"), gbEffects_);
  fx->addRow(sprayLabel, seSpray);
  auto* checks = new QWidget(gbEffects_);
  auto* checkBox = new QGridLayout(checks);
  checkBox->setContentsMargins(0, 0, 0, 0);
  QCheckBox* cbOutline =
      AddCheck("cbOutline", QStringLiteral("Outline"), &TMarkItem::Outline, "Outline");
  checkBox->addWidget(cbOutline, 0, 0);
  checkBox->addWidget(AddCheck("cbHorzMirror", QStringLiteral("Mirror left-right"),
                               &TMarkItem::HorzMirror, "HorzMirror"),
                      1, 0);
  checkBox->addWidget(AddCheck("cbVertMirror", QStringLiteral("Mirror top-bottom"),
                               &TMarkItem::VertMirror, "VertMirror"),
                      1, 1);
  fx->addRow(checks);
  textOnly_ = {seAngle,    angleLabel, seBlur,     blurLabel, seNoise,
               noiseLabel, seSpray,    sprayLabel, cbOutline};
  return gbEffects_;
}

// The opacity as a slider beside its spin box; both edit the same value.
QWidget* TLayerEditor::BuildOpacityRow() {
  auto* alphaRow = new QWidget(gbEffects_);
  auto* alphaBox = new QHBoxLayout(alphaRow);
  alphaBox->setContentsMargins(0, 0, 0, 0);
  tbAlpha_ = new QSlider(Qt::Horizontal, alphaRow);
  tbAlpha_->setObjectName(QStringLiteral("tbAlpha"));
  tbAlpha_->setRange(0, 100);
  QSpinBox* seAlpha = AddSpin("seAlpha", &TMarkItem::Alpha, 0, 100, "Alpha");
  seAlpha->setSuffix(QStringLiteral(" %"));
  alphaBox->addWidget(tbAlpha_, 1);
  alphaBox->addWidget(seAlpha);
  connect(tbAlpha_, &QSlider::valueChanged, this, [this, seAlpha](int v) {
    if (!loading_) seAlpha->setValue(v);
  });
  loaders_.push_back([this] { tbAlpha_->setValue(std::clamp(item_.Alpha, 0, 100)); });
  connect(seAlpha, &QSpinBox::valueChanged, tbAlpha_, [this](int v) {
    const QSignalBlocker block(tbAlpha_);
    tbAlpha_->setValue(v);
  });
  return alphaRow;
}

QGroupBox* TLayerEditor::BuildShadowBox() {
  gbShadow_ = new QGroupBox(QStringLiteral("Shadow"), this);
  gbShadow_->setObjectName(QStringLiteral("gbShadow"));
  gbShadow_->setCheckable(true);
  connect(gbShadow_, &QGroupBox::clicked, this,
          [this](bool on) { Edit("isShadow", false, [&](TMarkItem& it) { it.isShadow = on; }); });
  loaders_.push_back([this] { gbShadow_->setChecked(item_.isShadow); });
  auto* sh = new QFormLayout(gbShadow_);
  sh->addRow(RowLabel("btnShadowColor", QStringLiteral("Colour:"), gbShadow_),
             AddColor("btnShadowColor", &TMarkItem::ShadowColor, "ShadowColor"));
  QSpinBox* seShadowAlpha =
      AddSpin("seShadowAlpha", &TMarkItem::ShadowAlpha, 0, 100, "ShadowAlpha");
  seShadowAlpha->setSuffix(QStringLiteral(" %"));
  sh->addRow(RowLabel("seShadowAlpha", QStringLiteral("Opacity:"), gbShadow_), seShadowAlpha);
  sh->addRow(RowLabel("seShadowBlur", QStringLiteral("Blur:"), gbShadow_),
             AddSpin("seShadowBlur", &TMarkItem::ShadowBlur, 0, 100, "ShadowBlur"));
  auto* offsets = new QWidget(gbShadow_);
  auto* offsetBox = new QHBoxLayout(offsets);
  offsetBox->setContentsMargins(0, 0, 0, 0);
  offsetBox->addWidget(new QLabel(QStringLiteral("x"), offsets));
  offsetBox->addWidget(
      AddSpin("seShadowOffsetX", &TMarkItem::ShadowOffsetX, -20, 20, "ShadowOffsetX"), 1);
  offsetBox->addWidget(new QLabel(QStringLiteral("y"), offsets));
  offsetBox->addWidget(
      AddSpin("seShadowOffsetY", &TMarkItem::ShadowOffsetY, -20, 20, "ShadowOffsetY"), 1);
  sh->addRow(RowLabel("seShadowOffset", QStringLiteral("Offset:"), gbShadow_), offsets);
  return gbShadow_;
}

// The gradient fill of the letters.
QGroupBox* TLayerEditor::BuildGradientBox() {
  gbGradient_ = new QGroupBox(QStringLiteral("Gradient fill"), this);
  gbGradient_->setObjectName(QStringLiteral("gbGradient"));
  gbGradient_->setCheckable(true);
  connect(gbGradient_, &QGroupBox::clicked, this,
          [this](bool on) { Edit("Gradient", false, [&](TMarkItem& it) { it.Gradient = on; }); });
  loaders_.push_back([this] { gbGradient_->setChecked(item_.Gradient); });
  auto* gr = new QFormLayout(gbGradient_);
  gr->addRow(RowLabel("cbGradientStyle", QStringLiteral("Direction:"), gbGradient_),
             AddChoice("cbGradientStyle", &TMarkItem::GradientStyle,
                       {{0, "Left to right"},
                        {1, "Right to left"},
                        {2, "Top to bottom"},
                        {3, "Bottom to top"},
                        {4, "Centre to sides"},
                        {5, "Centre to top and bottom"}},
                       "GradientStyle", TDesignerText::OtherLeftToRight));
  gr->addRow(
      RowLabel("btnGradientStart", QStringLiteral("From:"), gbGradient_),
      AddColor("btnGradientStartColor", &TMarkItem::GradientStartColor, "GradientStartColor"));
  gr->addRow(RowLabel("btnGradientEnd", QStringLiteral("To:"), gbGradient_),
             AddColor("btnGradientEndColor", &TMarkItem::GradientEndColor, "GradientEndColor"));
  return gbGradient_;
}

// The texture fill of the letters: a picture beside the template. It wins
// over the gradient.
QGroupBox* TLayerEditor::BuildTextureBox() {
  gbTexture_ = new QGroupBox(QStringLiteral("Texture fill"), this);
  gbTexture_->setObjectName(QStringLiteral("gbTexture"));
  auto* tx = new QFormLayout(gbTexture_);
  auto* textureRow = new QWidget(gbTexture_);
  auto* textureBox = new QHBoxLayout(textureRow);
  textureBox->setContentsMargins(0, 0, 0, 0);
  edTexture_ = new QLineEdit(textureRow);
  edTexture_->setObjectName(QStringLiteral("edTexture"));
  edTexture_->setReadOnly(true);
  edTexture_->setPlaceholderText(QStringLiteral("None"));
  textureBox->addWidget(edTexture_, 1);
  auto* btnTexture = new QToolButton(textureRow);
  btnTexture->setObjectName(QStringLiteral("btnTexture"));
  btnTexture->setText(QStringLiteral("Choose..."));
  connect(btnTexture, &QToolButton::clicked, this, &TLayerEditor::ChooseTexture);
  textureBox->addWidget(btnTexture);
  auto* btnTextureClear = new QToolButton(textureRow);
  btnTextureClear->setObjectName(QStringLiteral("btnTextureClear"));
  btnTextureClear->setText(QStringLiteral("Remove"));
  connect(btnTextureClear, &QToolButton::clicked, this, [this] {
    if (item_.Texture.empty()) return;
    Edit("Texture", false, [](TMarkItem& it) { it.Texture.clear(); });
  });
  textureBox->addWidget(btnTextureClear);
  loaders_.push_back([this, btnTextureClear] {
    edTexture_->setText(FromUtf8(item_.Texture));
    btnTextureClear->setEnabled(!item_.Texture.empty());
  });
  tx->addRow(RowLabel("edTexture", QStringLiteral("Picture:"), gbTexture_), textureRow);
  QComboBox* cbTextureMode =
      AddChoice("cbTextureMode", &TMarkItem::TextureMode,
                {{0, "Tiled"}, {1, "Stretched"}, {2, "Centred"}, {3, "At the corner"}},
                "TextureMode", TDesignerText::OtherTiled);
  loaders_.push_back([this, cbTextureMode] { cbTextureMode->setEnabled(!item_.Texture.empty()); });
  tx->addRow(RowLabel("cbTextureMode", QStringLiteral("Mode:"), gbTexture_), cbTextureMode);
  return gbTexture_;
}

QGroupBox* TLayerEditor::BuildPlacementBox() {
  gbPlacement_ = new QGroupBox(QStringLiteral("Placement"), this);
  gbPlacement_->setObjectName(QStringLiteral("gbPlacement"));
  auto* place = new QFormLayout(gbPlacement_);
  cbPlaceStyle_ = AddChoice("cbPlaceStyle", &TMarkItem::PlaceStyle,
                            {{0, "At a position"},
                             {1, "Tiled over the picture"},
                             {2, "Fitted / stretched"},
                             {3, "Random position"}},
                            "PlaceStyle", TDesignerText::OtherAtPosition);
  place->addRow(RowLabel("cbPlaceStyle", QStringLiteral("Mode:"), gbPlacement_), cbPlaceStyle_);
  place->addRow(RowLabel("pnPosition", QStringLiteral("Position:"), gbPlacement_),
                BuildPositionGrid());
  auto* offsetRow = new QWidget(gbPlacement_);
  auto* offsetRowBox = new QHBoxLayout(offsetRow);
  offsetRowBox->setContentsMargins(0, 0, 0, 0);
  offsetRowBox->addWidget(new QLabel(QStringLiteral("x"), offsetRow));
  seOffsetX_ =
      AddSpin("seOffsetX", &TMarkItem::OffsetX, -100000, 100000, "OffsetX", TSpinScale::PerMille);
  offsetRowBox->addWidget(seOffsetX_, 1);
  offsetRowBox->addWidget(new QLabel(QStringLiteral("y"), offsetRow));
  seOffsetY_ =
      AddSpin("seOffsetY", &TMarkItem::OffsetY, -100000, 100000, "OffsetY", TSpinScale::PerMille);
  offsetRowBox->addWidget(seOffsetY_, 1);
  place->addRow(RowLabel("seOffset", QStringLiteral("Offset:"), gbPlacement_), offsetRow);
  lbHorzSpace_ = RowLabel("seHorzSpace", DesignerText(TDesignerText::GapHorz), gbPlacement_);
  seHorzSpace_ = AddSpin("seHorzSpace", &TMarkItem::HorzSpace, -100000, 100000, "HorzSpace",
                         TSpinScale::PerMille);
  place->addRow(lbHorzSpace_, seHorzSpace_);
  lbVertSpace_ = RowLabel("seVertSpace", DesignerText(TDesignerText::GapVert), gbPlacement_);
  seVertSpace_ = AddSpin("seVertSpace", &TMarkItem::VertSpace, -100000, 100000, "VertSpace",
                         TSpinScale::PerMille);
  place->addRow(lbVertSpace_, seVertSpace_);
  // The offsets and gaps follow the layer's choice of pixels or per mille.
  marginSpins_ = {seOffsetX_, seOffsetY_, seHorzSpace_, seVertSpace_};
  return gbPlacement_;
}

// The nine anchor cells of the picture and the random position.
QWidget* TLayerEditor::BuildPositionGrid() {
  positionGrid_ = new QWidget(gbPlacement_);
  positionGrid_->setObjectName(QStringLiteral("pnPosition"));
  auto* grid = new QGridLayout(positionGrid_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(2);
  positionGroup_ = new QButtonGroup(positionGrid_);
  positionGroup_->setExclusive(true);
  const QString arrows[9] = {
      QStringLiteral("\u2196"), QStringLiteral("\u2191"), QStringLiteral("\u2197"),
      QStringLiteral("\u2190"), QStringLiteral("\u25CF"), QStringLiteral("\u2192"),
      QStringLiteral("\u2199"), QStringLiteral("\u2193"), QStringLiteral("\u2198")};
  const char* cellTips[9] = {"Top left",    "Top centre",    "Top right",
                             "Middle left", "Centre",        "Middle right",
                             "Bottom left", "Bottom centre", "Bottom right"};
  for (int cell = 1; cell <= 9; ++cell) {
    auto* b = new QToolButton(positionGrid_);
    b->setObjectName(QStringLiteral("btnPos%1").arg(cell));
    b->setText(arrows[cell - 1]);
    b->setToolTip(QString::fromLatin1(cellTips[cell - 1]));
    b->setCheckable(true);
    b->setFixedSize(28, 24);
    positionGroup_->addButton(b, cell);
    grid->addWidget(b, (cell - 1) / 3, (cell - 1) % 3);
  }
  auto* btnRandom = new QToolButton(positionGrid_);
  btnRandom->setObjectName(QStringLiteral("btnPos0"));
  btnRandom->setText(QStringLiteral("?"));
  btnRandom->setToolTip(QStringLiteral("Random position"));
  btnRandom->setCheckable(true);
  btnRandom->setFixedSize(28, 24);
  positionGroup_->addButton(btnRandom, 0);
  grid->addWidget(btnRandom, 1, 3);
  grid->setColumnStretch(4, 1);
  connect(positionGroup_, &QButtonGroup::idClicked, this, [this](int cell) {
    if (cell == item_.Position) return;
    Edit("Position", false, [&](TMarkItem& it) { it.Position = cell; });
  });
  loaders_.push_back([this] {
    const int cell = item_.Position >= 1 && item_.Position <= 9 ? item_.Position : 0;
    if (QAbstractButton* b = positionGroup_->button(cell)) b->setChecked(true);
  });
  return positionGrid_;
}

// Size and margins relative to the picture, and the pictures shown on.
QGroupBox* TLayerEditor::BuildFitBox() {
  gbFit_ = new QGroupBox(QStringLiteral("Fit to the picture"), this);
  gbFit_->setObjectName(QStringLiteral("gbFit"));
  auto* fit = new QFormLayout(gbFit_);
  cbRelativeSize_ = new QCheckBox(QStringLiteral("Size relative to the picture"), gbFit_);
  cbRelativeSize_->setObjectName(QStringLiteral("cbRelativeSize"));
  cbRelativeSize_->setToolTip(
      QStringLiteral("The mark takes the same share of every picture; the font size only "
                     "sets the size the shadow was designed at"));
  connect(cbRelativeSize_, &QCheckBox::clicked, this, &TLayerEditor::SetRelativeSize);
  loaders_.push_back(
      [this] { cbRelativeSize_->setChecked(item_.SizeMode == 1 || item_.SizeMode == 2); });
  fit->addRow(cbRelativeSize_);
  auto* relativeRow = new QWidget(gbFit_);
  auto* relativeRowBox = new QHBoxLayout(relativeRow);
  relativeRowBox->setContentsMargins(0, 0, 0, 0);
  seRelativeSize_ = AddSpin("seRelativeSize", &TMarkItem::RelativeSize, 1, kMaxRelativeSize,
                            "RelativeSize", TSpinScale::PerMille);
  ShowPerMilleAsPercent(seRelativeSize_, true);
  relativeRowBox->addWidget(seRelativeSize_, 1);
  cbSizeSide_ = new QComboBox(relativeRow);
  cbSizeSide_->setObjectName(QStringLiteral("cbSizeSide"));
  cbSizeSide_->addItem(QStringLiteral("of the shorter side"), 1);
  cbSizeSide_->addItem(QStringLiteral("of the width"), 2);
  connect(cbSizeSide_, &QComboBox::activated, this, [this](int index) {
    const int value = cbSizeSide_->itemData(index).toInt();
    if (item_.SizeMode == value || item_.SizeMode == 0) return;
    Edit("SizeMode", false, [&](TMarkItem& it) { it.SizeMode = value; });
  });
  loaders_.push_back([this] { cbSizeSide_->setCurrentIndex(item_.SizeMode == 2 ? 1 : 0); });
  relativeRowBox->addWidget(cbSizeSide_, 2);
  fit->addRow(RowLabel("seRelativeSize", QStringLiteral("Size:"), gbFit_), relativeRow);
  cbRelativeMargins_ =
      new QCheckBox(QStringLiteral("Offsets and gaps in percent of the shorter side"), gbFit_);
  cbRelativeMargins_->setObjectName(QStringLiteral("cbRelativeMargins"));
  connect(cbRelativeMargins_, &QCheckBox::clicked, this, &TLayerEditor::SetRelativeMargins);
  loaders_.push_back([this] {
    cbRelativeMargins_->setChecked(item_.OffsetMode == 1);
    for (QSpinBox* spin : marginSpins_) ShowPerMilleAsPercent(spin, item_.OffsetMode == 1);
  });
  fit->addRow(cbRelativeMargins_);
  cbShowOn_ = AddChoice(
      "cbShowOn", &TMarkItem::ShowOn,
      {{0, "Every picture"}, {1, "Landscape and square pictures"}, {2, "Portrait pictures"}},
      "ShowOn", TDesignerText::OtherEveryPicture);
  fit->addRow(RowLabel("cbShowOn", QStringLiteral("Show on:"), gbFit_), cbShowOn_);
  return gbFit_;
}

void TLayerEditor::SetRelativeSize(bool on) {
  Edit("SizeMode", false, [&](TMarkItem& it) {
    if (!on) {
      it.SizeMode = 0;
      return;
    }
    it.SizeMode = cbSizeSide_->currentData().toInt() == 2 ? 2 : 1;
    if (it.Style == 0) {
      // About the cell height the font size gives on the sample picture.
      const double cell = it.FontSize * double(kPixelsPerInch) / 72 * 1.15;
      it.RelativeSize = static_cast<int32_t>(
          std::clamp<double>(std::round(cell * 1000 / referenceSide_), 1, kMaxRelativeSize));
    } else if (it.RelativeSize < 1 || it.RelativeSize > kMaxRelativeSize) {
      it.RelativeSize = 100;
    }
  });
  SetItem(item_, true);
}

void TLayerEditor::SetRelativeMargins(bool on) {
  // The values are converted so that the mark stays where it is on the
  // sample picture.
  const double side = referenceSide_;
  auto convert = [&](int32_t v) {
    const double r = on ? v * 1000.0 / side : v * side / 1000.0;
    return static_cast<int32_t>(std::clamp<double>(std::round(r), -100000, 100000));
  };
  Edit("OffsetMode", false, [&](TMarkItem& it) {
    if ((it.OffsetMode == 1) == on) return;
    it.OffsetMode = on ? 1 : 0;
    it.OffsetX = convert(it.OffsetX);
    it.OffsetY = convert(it.OffsetY);
    it.HorzSpace = convert(it.HorzSpace);
    it.VertSpace = convert(it.VertSpace);
  });
  SetItem(item_, true);
}

QSpinBox* TLayerEditor::AddSpin(const char* name, int32_t TMarkItem::*field, int minimum,
                                int maximum, const char* key, TSpinScale scale) {
  QSpinBox* spin = scale == TSpinScale::PerMille ? new TPerMilleSpin(this) : new QSpinBox(this);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setRange(minimum, maximum);
  spin->setAccelerated(true);
  spin->setMinimumWidth(64);
  connect(spin, &QSpinBox::valueChanged, this, [this, field, key](int value) {
    if (loading_ || item_.*field == value) return;
    Edit(key, true, [&](TMarkItem& it) { it.*field = value; });
  });
  // Only a value that differs is shown again, so that a number being typed
  // is not rewritten under the cursor.
  loaders_.push_back([spin, this, field] {
    if (spin->value() != item_.*field) spin->setValue(item_.*field);
  });
  return spin;
}

template <typename Field>
QComboBox* TLayerEditor::AddChoice(const char* name, Field TMarkItem::*field,
                                   const std::vector<std::pair<int, const char*>>& choices,
                                   const char* key, TDesignerText otherText) {
  auto* list = new QComboBox(this);
  list->setObjectName(QString::fromLatin1(name));
  for (const auto& [value, text] : choices) list->addItem(QString::fromLatin1(text), value);
  connect(list, &QComboBox::activated, this, [this, list, field, key](int index) {
    const int value = list->itemData(index).toInt();
    if (int(item_.*field) == value) return;
    Edit(key, false, [&](TMarkItem& it) { it.*field = static_cast<Field>(value); });
  });
  loaders_.push_back([this, list, field, otherText] {
    ShowListValue(list, item_.*field, DesignerText(otherText));
  });
  return list;
}

QCheckBox* TLayerEditor::AddCheck(const char* name, const QString& text, bool TMarkItem::*field,
                                  const char* key) {
  auto* check = new QCheckBox(text, this);
  check->setObjectName(QString::fromLatin1(name));
  connect(check, &QCheckBox::clicked, this, [this, field, key](bool on) {
    Edit(key, false, [&](TMarkItem& it) { it.*field = on; });
  });
  loaders_.push_back([check, this, field] { check->setChecked(item_.*field); });
  return check;
}

TColorButton* TLayerEditor::AddColor(const char* name, int32_t TMarkItem::*field, const char* key) {
  auto* button = new TColorButton(name, this);
  connect(button, &TColorButton::ColorPicked, this, [this, field, key](int32_t value) {
    Edit(key, false, [&](TMarkItem& it) { it.*field = value; });
  });
  loaders_.push_back([button, this, field] { button->SetColor(item_.*field); });
  return button;
}

void TLayerEditor::Edit(const char* key, bool continued,
                        const std::function<void(TMarkItem&)>& change) {
  if (loading_) return;
  change(item_);
  UpdateVisibility();
  emit ItemEdited(item_, QString::fromLatin1(key), continued);
}

void TLayerEditor::SetItem(const TMarkItem& item, bool hasLayer) {
  loading_ = true;
  item_ = item;
  for (const Loader& load : loaders_) load();
  setEnabled(hasLayer);
  UpdateVisibility();
  loading_ = false;
}

void TLayerEditor::InsertIntoText(const QString& text) {
  if (item_.Style != 0 || !isEnabled()) return;
  edText_->insertPlainText(text);
  edText_->setFocus();
}

void TLayerEditor::BuildTextMenu(QMenu* menu) {
  QAction* seq = menu->addAction(QStringLiteral("Sequence number..."));
  seq->setObjectName(QStringLiteral("miVarSequence"));
  connect(seq, &QAction::triggered, this, [this] {
    int start = 1;
    if (AskSequenceStart && AskSequenceStart(start, this))
      InsertIntoText(QStringLiteral("{$S%1}").arg(start));
  });
  menu->addSeparator();
  int n = 0;
  for (const auto& [text, variable] : TextVariableChoices()) {
    if (text.isEmpty()) {
      menu->addSeparator();
      continue;
    }
    QAction* a = menu->addAction(QStringLiteral("%1\t%2").arg(text, variable));
    a->setObjectName(QStringLiteral("miVar%1").arg(n++));
    a->setData(variable);
    const QString v = variable;
    connect(a, &QAction::triggered, this, [this, v] { InsertIntoText(v); });
  }
}

void TLayerEditor::UpdateFontHint() {
  TLogFont font;
  font.faceName = ToUtf8(cbFontName_->currentText());
  font.weight = (item_.FontStyle & 1) ? FW_BOLD : FW_NORMAL;
  font.italic = (item_.FontStyle & 2) != 0;
  const TFaceInfo face = ResolveFace(font);
  QString text;
  if (face.family.empty())
    text = DesignerText(TDesignerText::NoFace);
  else if (QString::compare(FromUtf8(face.family), cbFontName_->currentText(),
                            Qt::CaseInsensitive) != 0)
    text = DesignerText(TDesignerText::DrawnWith).arg(FromUtf8(face.family));
  lbFontFace_->setText(text);
  lbFontFace_->setVisible(!text.isEmpty());
}

void TLayerEditor::UpdateVisibility() {
  const bool text = item_.Style == 0;
  gbText_->setVisible(text);
  gbFont_->setVisible(text);
  gbShadow_->setVisible(text);
  gbGradient_->setVisible(text);
  gbTexture_->setVisible(text);
  for (QWidget* w : textOnly_) w->setVisible(text);
  gbPicture_->setVisible(!text);
  // Placement: which values the mode uses.
  const int mode = item_.PlaceStyle;
  const bool positioned = mode != 1 && mode != 2;
  positionGrid_->setEnabled(mode != 1 && mode != 2 && mode != 3);
  seOffsetX_->setEnabled(positioned);
  seOffsetY_->setEnabled(positioned);
  const bool spaces = mode == 1 || mode == 2;
  for (QWidget* w : {static_cast<QWidget*>(lbHorzSpace_), static_cast<QWidget*>(lbVertSpace_)})
    w->setEnabled(spaces);
  seHorzSpace_->setEnabled(spaces);
  seVertSpace_->setEnabled(spaces);
  lbHorzSpace_->setText(mode == 2 ? DesignerText(TDesignerText::MarginHorz)
                                  : DesignerText(TDesignerText::GapHorz));
  lbVertSpace_->setText(mode == 2 ? DesignerText(TDesignerText::MarginVert)
                                  : DesignerText(TDesignerText::GapVert));
  // A fitted or stretched layer keeps the size it is fitted to.
  const bool sizable = mode != 2;
  cbRelativeSize_->setEnabled(sizable);
  const bool relative = sizable && (item_.SizeMode == 1 || item_.SizeMode == 2);
  seRelativeSize_->setEnabled(relative);
  cbSizeSide_->setEnabled(relative);
  if (QWidget* label = findChild<QWidget*>(QStringLiteral("lbRelativeSize")))
    label->setEnabled(relative);
}

}  // namespace imprimo
