#include "gui/menu_btn.h"

#include <QFocusEvent>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace imprimo {

namespace {

QPixmap TriangleGlyph(const QColor& outline, const QColor& fill) {
  QPixmap glyph(12, 12);
  glyph.fill(Qt::transparent);
  QPainter painter(&glyph);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath path;
  path.moveTo(1.5, 3.5);
  path.lineTo(10.5, 3.5);
  path.lineTo(6.0, 9.0);
  path.closeSubpath();
  painter.setPen(QPen(outline, 1.0));
  painter.setBrush(fill);
  painter.drawPath(path);
  return glyph;
}

}  // namespace

QIcon TMenuBtn::DefaultGlyph() {
  QIcon icon;
  icon.addPixmap(TriangleGlyph(QColor(0, 0, 128), QColor(0, 128, 128)), QIcon::Normal);
  icon.addPixmap(TriangleGlyph(QColor(128, 128, 128), QColor(192, 192, 192)), QIcon::Disabled);
  return icon;
}

TMenuBtn::TMenuBtn(QWidget* parent) : QPushButton(parent) {
  setText(QString());
  setIcon(DefaultGlyph());
  setIconSize(QSize(12, 12));
  setLayoutDirection(Qt::RightToLeft);  // glyph on the right side
  setFixedWidth(24);
  setFocusPolicy(Qt::StrongFocus);
  // Connected first, but the menu opens without blocking, so handlers that
  // callers connect later still run before the user can pick an item.
  connect(this, &QPushButton::clicked, this, &TMenuBtn::Click);
}

void TMenuBtn::Click() {
  if (popupMenu_ == nullptr) return;
  popupMenu_->popup(mapToGlobal(QPoint(0, height())));
}

void TMenuBtn::focusInEvent(QFocusEvent* event) {
  QFont f = font();
  f.setBold(true);
  setFont(f);
  QPushButton::focusInEvent(event);
}

void TMenuBtn::focusOutEvent(QFocusEvent* event) {
  QFont f = font();
  f.setBold(false);
  setFont(f);
  QPushButton::focusOutEvent(event);
}

}  // namespace imprimo
