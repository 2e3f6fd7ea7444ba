#include "gui/status_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace imprimo {

namespace {

// Each picture is drawn on a 16-unit grid, at every size the list may ask for.
void DrawStatus(QPainter& p, int index) {
  switch (index) {
    case 0: {  // red cross
      QPen pen(QColor(210, 30, 30), 3.2, Qt::SolidLine, Qt::RoundCap);
      p.setPen(pen);
      p.drawLine(QPointF(4, 4), QPointF(12, 12));
      p.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
    }
    case 1: {  // green tick
      QPen pen(QColor(30, 150, 40), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
      p.setPen(pen);
      QPainterPath tick;
      tick.moveTo(3, 8.5);
      tick.lineTo(6.5, 12);
      tick.lineTo(13, 4);
      p.drawPath(tick);
      break;
    }
    case 2: {  // two small blue squares
      p.setPen(QPen(QColor(20, 60, 150), 1));
      p.setBrush(QColor(70, 130, 220));
      p.drawRect(QRectF(2.5, 5.5, 4.5, 4.5));
      p.drawRect(QRectF(9.0, 5.5, 4.5, 4.5));
      break;
    }
    case 3: {  // blue triangle pointing right
      p.setPen(QPen(QColor(20, 60, 150), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(QColor(50, 110, 220));
      p.drawPolygon(QPolygonF({QPointF(4.5, 2.5), QPointF(13, 8), QPointF(4.5, 13.5)}));
      break;
    }
    default:
      break;
  }
}

QIcon MakeIcon(int index) {
  QIcon icon;
  for (const int size : {16, 24, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    DrawStatus(p, index);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

QIcon StatusIcon(int index) {
  if (index < 0 || index >= kStatusIconCount) return {};
  static const QIcon icons[kStatusIconCount] = {MakeIcon(0), MakeIcon(1), MakeIcon(2), MakeIcon(3)};
  return icons[index];
}

}  // namespace imprimo
