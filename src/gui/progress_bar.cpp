#include "gui/progress_bar.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cstdint>

namespace imprimo {

TProgressBar::TProgressBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setTextVisible(true);
}

QString TProgressBar::Caption() const {
  return QString::asprintf("Progress...[%d%%]", value() < minimum() ? 0 : value());
}

QString TProgressBar::text() const { return Caption(); }

void TProgressBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect area = rect();

  // Both gradients run from top to bottom.
  QLinearGradient back(area.topLeft(), area.bottomLeft());
  back.setColorAt(0, Qt::black);
  back.setColorAt(1, QColor(0, 128, 0));
  p.fillRect(area, back);

  const int span = maximum() - minimum();
  const int done = span > 0 ? std::clamp(value() - minimum(), 0, span) : 0;
  const int barWidth = span > 0 ? int(int64_t(area.width()) * done / span) : 0;
  if (barWidth > 0) {
    QLinearGradient bar(area.topLeft(), area.bottomLeft());
    bar.setColorAt(0, QColor(0, 255, 0));
    bar.setColorAt(1, QColor(255, 255, 0));
    p.fillRect(QRect(area.left(), area.top(), barWidth, area.height()), bar);
  }

  QFont bold = font();
  bold.setBold(true);
  p.setFont(bold);
  p.setPen(Qt::white);
  p.drawText(area, Qt::AlignCenter, Caption());
}

}  // namespace imprimo
