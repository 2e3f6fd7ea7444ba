#include "gui/image_preview.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSizeGrip>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace imprimo {

QImage BitmapToQImage(const TBitmap& bitmap) {
  const int w = bitmap.Width(), h = bitmap.Height();
  if (bitmap.Empty()) return {};
  QImage out(w, h, QImage::Format_RGB32);
  if (out.isNull()) return {};
  for (int y = 0; y < h; ++y) {
    auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
    const uint8_t* src = bitmap.ScanLine(y);
    switch (bitmap.PixelFormat()) {
      case TPixelFormat::pf24bit:
        for (int x = 0; x < w; ++x, src += 3) dst[x] = qRgb(src[2], src[1], src[0]);
        break;
      case TPixelFormat::pf32bit:
        for (int x = 0; x < w; ++x, src += 4) dst[x] = qRgb(src[2], src[1], src[0]);
        break;
      default:
        for (int x = 0; x < w; ++x) dst[x] = 0xFF000000u | bitmap.PixelRGB(x, y);
        break;
    }
  }
  return out;
}

TImagePreview::TImagePreview(QWidget* parent) : QAbstractScrollArea(parent) {
  QPalette white = viewport()->palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::Base, Qt::white);
  viewport()->setPalette(white);
  viewport()->setAutoFillBackground(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCornerWidget(new QSizeGrip(this));
}

void TImagePreview::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  UpdateScrollBars();
  viewport()->update();
}

void TImagePreview::SetScale(double scale) {
  if (scale <= 0) return;
  // The point in the middle of the view stays in the middle.
  const QSize before = ScaledSize();
  const double cx =
      before.width() > 0
          ? (horizontalScrollBar()->value() + viewport()->width() / 2.0) / before.width()
          : 0.5;
  const double cy =
      before.height() > 0
          ? (verticalScrollBar()->value() + viewport()->height() / 2.0) / before.height()
          : 0.5;
  scale_ = scale;
  UpdateScrollBars();
  const QSize after = ScaledSize();
  horizontalScrollBar()->setValue(int(cx * after.width() - viewport()->width() / 2.0));
  verticalScrollBar()->setValue(int(cy * after.height() - viewport()->height() / 2.0));
  viewport()->update();
}

QSize TImagePreview::ScaledSize() const {
  return {int(std::lround(picture_.width() * scale_)),
          int(std::lround(picture_.height() * scale_))};
}

void TImagePreview::UpdateScrollBars() {
  const QSize size = ScaledSize();
  const QSize view = viewport()->size();
  horizontalScrollBar()->setPageStep(view.width());
  verticalScrollBar()->setPageStep(view.height());
  horizontalScrollBar()->setSingleStep(20);
  verticalScrollBar()->setSingleStep(20);
  horizontalScrollBar()->setRange(0, std::max(0, size.width() - view.width()));
  verticalScrollBar()->setRange(0, std::max(0, size.height() - view.height()));
}

void TImagePreview::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TImagePreview::paintEvent(QPaintEvent* event) {
  if (picture_.isNull()) return;
  QPainter p(viewport());
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  p.setClipRect(event->rect());
  // The picture sits at the top-left corner and scrolls with the bars.
  p.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
  p.scale(scale_, scale_);
  p.drawImage(QPointF(0, 0), picture_);
}

}  // namespace imprimo
