// A button that shows a layer colour (a TColor: 0x00BBGGRR, or a negative
// system colour) and lets the user pick another one: any colour through the
// colour dialog, or one of the desktop's named system colours, which the
// engine resolves when it draws.
#pragma once

#include <QToolButton>
#include <cstdint>
#include <functional>

class QMenu;

namespace imprimo {

// The name of a system colour index ("Window text", ...); empty for indices
// outside the table.
QString SystemColorName(int index);
// How a TColor is shown to the user: "#RRGGBB" or "System: <name>".
QString ColorText(int32_t color);
// A TColor as the colour the engine draws with.
QColor ColorToQColor(int32_t color);

class TColorButton : public QToolButton {
  Q_OBJECT

 public:
  explicit TColorButton(const char* name, QWidget* parent = nullptr);

  // Shows value without announcing a change.
  void SetColor(int32_t value);
  int32_t Color() const { return color_; }

  // The colour dialog, replaceable by tests; returns an invalid colour when
  // cancelled.
  std::function<QColor(const QColor& initial, QWidget* parent)> AskColor;

  // Picks a custom colour through the dialog (the button's click).
  void ChooseCustom();

 signals:
  // The user picked value.
  void ColorPicked(int32_t value);

 private:
  void Pick(int32_t value);
  void UpdateLook();

  int32_t color_ = 0;
};

}  // namespace imprimo
