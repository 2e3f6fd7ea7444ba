// A caption-less push button with a small drop-down glyph that opens a popup
// menu under itself.
#pragma once

#include <QPushButton>

class QMenu;

namespace imprimo {

class TMenuBtn : public QPushButton {
  Q_OBJECT

 public:
  explicit TMenuBtn(QWidget* parent = nullptr);

  QMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

  // Opens the popup menu with its top-left corner at the button's
  // bottom-left corner. Runs after the ordinary click handlers.
  void Click();

  // The default glyph: a downward triangle, in a normal and a disabled look.
  static QIcon DefaultGlyph();

 protected:
  void focusInEvent(QFocusEvent* event) override;   // DoEnter
  void focusOutEvent(QFocusEvent* event) override;  // DoExit

 private:
  QMenu* popupMenu_ = nullptr;
};

}  // namespace imprimo
