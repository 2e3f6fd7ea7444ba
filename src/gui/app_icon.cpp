#include "gui/app_icon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace imprimo {

void PaintAppIcon(QPainter& p, double size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  // A photo: sky, sun and hills in a rounded frame. The hills are cut to the
  // frame as shapes rather than by clipping, which vector output may drop.
  const QRectF frame(4, 8, 56, 48);
  QPainterPath photo;
  photo.addRoundedRect(frame, 6, 6);
  QLinearGradient sky(0, 8, 0, 56);
  sky.setColorAt(0, QColor(80, 150, 230));
  sky.setColorAt(1, QColor(190, 225, 250));
  p.fillPath(photo, sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 205, 60));
  p.drawEllipse(QPointF(44, 22), 6, 6);
  const auto fillHill = [&](QPointF centre, double rx, double ry, QColor colour) {
    QPainterPath hill;
    hill.addEllipse(centre, rx, ry);
    p.fillPath(hill.intersected(photo), colour);
  };
  fillHill(QPointF(18, 64), 30, 22, QColor(70, 150, 70));
  fillHill(QPointF(54, 66), 24, 18, QColor(50, 120, 60));

  // The watermark stamped across the corner. The letter is drawn as an
  // outline so that a vector rendering does not depend on installed fonts.
  p.setBrush(QColor(255, 255, 255, 200));
  p.setPen(QPen(QColor(40, 60, 110), 2.5));
  p.drawEllipse(QPointF(44, 42), 14, 14);
  QFont font(QStringLiteral("Sans"));
  font.setPixelSize(18);
  font.setBold(true);
  QPainterPath letter;
  letter.addText(0, 0, font, QStringLiteral("W"));
  letter.translate(QPointF(44, 42) - letter.boundingRect().center());
  p.fillPath(letter, QColor(40, 60, 110));

  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(40, 60, 110), 2));
  p.drawRoundedRect(frame, 6, 6);
  p.restore();
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    PaintAppIcon(p, size);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace imprimo
