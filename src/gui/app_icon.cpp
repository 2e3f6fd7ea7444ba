#include "gui/app_icon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace imprimo {

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // A photo: sky, sun and hills in a rounded frame.
    const QRectF frame(4, 8, 56, 48);
    QPainterPath clip;
    clip.addRoundedRect(frame, 6, 6);
    QLinearGradient sky(0, 8, 0, 56);
    sky.setColorAt(0, QColor(80, 150, 230));
    sky.setColorAt(1, QColor(190, 225, 250));
    p.fillPath(clip, sky);
    p.setClipPath(clip);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 205, 60));
    p.drawEllipse(QPointF(44, 22), 6, 6);
    p.setBrush(QColor(70, 150, 70));
    p.drawEllipse(QPointF(18, 64), 30, 22);
    p.setBrush(QColor(50, 120, 60));
    p.drawEllipse(QPointF(54, 66), 24, 18);

    // The watermark stamped across the corner.
    p.setClipping(false);
    p.setBrush(QColor(255, 255, 255, 200));
    p.setPen(QPen(QColor(40, 60, 110), 2.5));
    p.drawEllipse(QPointF(44, 42), 14, 14);
    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(18);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(40, 60, 110));
    p.drawText(QRectF(30, 28, 28, 28), Qt::AlignCenter, QStringLiteral("W"));

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 60, 110), 2));
    p.drawRoundedRect(frame, 6, 6);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace imprimo
