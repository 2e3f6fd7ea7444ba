#include "designer/color_button.h"

#include <QColorDialog>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <array>

#include "designer/designer_texts.h"
#include "gui/form_translation.h"
#include "platform/colors.h"

namespace imprimo {

namespace {

constexpr std::array<const char*, 31> kSystemColorNames = {"Scroll bar",
                                                           "Desktop",
                                                           "Active caption",
                                                           "Inactive caption",
                                                           "Menu",
                                                           "Window",
                                                           "Window frame",
                                                           "Menu text",
                                                           "Window text",
                                                           "Caption text",
                                                           "Active border",
                                                           "Inactive border",
                                                           "App workspace",
                                                           "Highlight",
                                                           "Highlight text",
                                                           "Button face",
                                                           "Button shadow",
                                                           "Grey text",
                                                           "Button text",
                                                           "Inactive caption text",
                                                           "Button highlight",
                                                           "3D dark shadow",
                                                           "3D light",
                                                           "Info text",
                                                           "Info background",
                                                           "(unused)",
                                                           "Hot light",
                                                           "Active caption gradient",
                                                           "Inactive caption gradient",
                                                           "Menu highlight",
                                                           "Menu bar"};

QIcon Swatch(const QColor& c) {
  QPixmap pm(16, 16);
  pm.fill(c);
  QPainter p(&pm);
  p.setPen(Qt::black);
  p.drawRect(0, 0, 15, 15);
  return QIcon(pm);
}

}  // namespace

QString SystemColorName(int index) {
  if (index < 0 || index >= int(kSystemColorNames.size())) return {};
  return QString::fromLatin1(kSystemColorNames[size_t(index)]);
}

QColor ColorToQColor(int32_t color) {
  const uint32_t c = ResolveColor(color);
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

QString ColorText(int32_t color) {
  if (color < 0) {
    const int index = color & 0xFF;
    QString name = SystemColorName(index);
    if (name.isEmpty()) name = QStringLiteral("#%1").arg(index);
    return DesignerText(TDesignerText::SystemColour).arg(name);
  }
  return ColorToQColor(color).name(QColor::HexRgb).toUpper();
}

TColorButton::TColorButton(const char* name, QWidget* parent) : QToolButton(parent) {
  setObjectName(QString::fromLatin1(name));
  MarkFixedText(*this);  // shows the colour value
  setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  setPopupMode(QToolButton::MenuButtonPopup);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  auto* menu = new QMenu(this);
  menu->setObjectName(QString::fromLatin1(name) + QStringLiteral("Menu"));
  QAction* custom = menu->addAction(QStringLiteral("Custom colour..."));
  custom->setObjectName(QString::fromLatin1(name) + QStringLiteral("Custom"));
  connect(custom, &QAction::triggered, this, &TColorButton::ChooseCustom);
  QMenu* system = menu->addMenu(QStringLiteral("System colour"));
  system->setObjectName(QString::fromLatin1(name) + QStringLiteral("System"));
  for (int i = 0; i < int(kSystemColorNames.size()); ++i) {
    if (i == 25) continue;  // no colour of its own
    const int32_t value = static_cast<int32_t>(0xFF000000u | uint32_t(i));
    QAction* a = system->addAction(Swatch(ColorToQColor(value)), SystemColorName(i));
    a->setData(value);
    connect(a, &QAction::triggered, this, [this, value] { Pick(value); });
  }
  setMenu(menu);
  connect(this, &QToolButton::clicked, this, &TColorButton::ChooseCustom);
  AskColor = [](const QColor& initial, QWidget* parent) {
    return QColorDialog::getColor(initial, parent, DesignerText(TDesignerText::ColourCaption));
  };
  UpdateLook();
}

void TColorButton::SetColor(int32_t value) {
  color_ = value;
  UpdateLook();
}

void TColorButton::ChooseCustom() {
  if (!AskColor) return;
  const QColor c = AskColor(ColorToQColor(color_), this);
  if (!c.isValid()) return;
  Pick(int32_t(uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16)));
}

void TColorButton::Pick(int32_t value) {
  if (value == color_) return;
  SetColor(value);
  emit ColorPicked(value);
}

void TColorButton::UpdateLook() {
  setIcon(Swatch(ColorToQColor(color_)));
  setText(ColorText(color_));
  setToolTip(DesignerText(TDesignerText::ColourTip).arg(ColorText(color_)).arg(color_));
}

}  // namespace imprimo
