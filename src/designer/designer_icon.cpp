#include "designer/designer_icon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace imprimo {

void PaintDesignerIcon(QPainter& p, double size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  // The photo: an evening sky over a hill, in a rounded frame.
  const QRectF frame(4, 6, 50, 44);
  QPainterPath photo;
  photo.addRoundedRect(frame, 5, 5);
  QLinearGradient sky(0, 6, 0, 50);
  sky.setColorAt(0, QColor(120, 90, 190));
  sky.setColorAt(1, QColor(250, 180, 120));
  p.fillPath(photo, sky);
  QPainterPath hill;
  hill.addEllipse(QPointF(24, 62), 34, 22);
  p.fillPath(hill.intersected(photo), QColor(60, 110, 80));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(45, 40, 80), 2));
  p.drawRoundedRect(frame, 5, 5);

  // The layer being designed: a dashed box with handles around a letter,
  // drawn as an outline so that no installed font is needed.
  const QRectF layer(12, 14, 26, 20);
  p.setPen(QPen(QColor(255, 255, 255), 1.5, Qt::DashLine));
  p.drawRect(layer);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  for (const QPointF& c :
       {layer.topLeft(), layer.topRight(), layer.bottomLeft(), layer.bottomRight()})
    p.drawRect(QRectF(c - QPointF(2, 2), QSizeF(4, 4)));
  QFont font(QStringLiteral("Serif"));
  font.setPixelSize(17);
  font.setBold(true);
  QPainterPath letter;
  letter.addText(0, 0, font, QStringLiteral("A"));
  letter.translate(layer.center() - letter.boundingRect().center());
  p.fillPath(letter, QColor(255, 255, 255, 230));

  // The pen, lying across the lower right corner, its nib at the box's corner.
  p.translate(42, 39);
  p.rotate(-45);
  QPainterPath body;
  body.addRoundedRect(QRectF(-4.5, 0, 9, 26), 2, 2);
  p.fillPath(body, QColor(230, 150, 40));
  p.setPen(QPen(QColor(60, 40, 20), 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(body);
  QPainterPath nib;
  nib.moveTo(-4.5, 0);
  nib.lineTo(0, -9);
  nib.lineTo(4.5, 0);
  nib.closeSubpath();
  p.fillPath(nib, QColor(245, 225, 190));
  p.drawPath(nib);
  p.fillRect(QRectF(-1, -9, 2, 3), QColor(40, 40, 40));
  p.restore();
}

QIcon DesignerIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    PaintDesignerIcon(p, size);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace imprimo
