#include "gui/image_preview.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSizeGrip>
#include <QWheelEvent>
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
  // The view takes the palette's base colour, so a dark scheme stays dark.
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCornerWidget(new QSizeGrip(this));
}

void TImagePreview::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  message_.clear();
  UpdateScrollBars();
  viewport()->update();
  if (fit_) emit ScaleChanged(Scale());
}

void TImagePreview::ShowMessage(const QString& text) {
  picture_ = QImage();
  message_ = text;
  UpdateScrollBars();
  viewport()->update();
}

double TImagePreview::FitScale() const {
  if (picture_.isNull()) return 1.0;
  const QSize view = maximumViewportSize();
  const double sx = double(view.width()) / picture_.width();
  const double sy = double(view.height()) / picture_.height();
  return std::clamp(std::min(sx, sy), 0.01, 1.0);
}

double TImagePreview::Scale() const { return fit_ ? FitScale() : scale_; }

void TImagePreview::SetFit(bool fit) {
  if (fit_ == fit) return;
  fit_ = fit;
  if (!fit_) scale_ = FitScale();
  UpdateScrollBars();
  viewport()->update();
  emit ScaleChanged(Scale());
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
  fit_ = false;
  scale_ = scale;
  UpdateScrollBars();
  const QSize after = ScaledSize();
  horizontalScrollBar()->setValue(int(cx * after.width() - viewport()->width() / 2.0));
  verticalScrollBar()->setValue(int(cy * after.height() - viewport()->height() / 2.0));
  viewport()->update();
  emit ScaleChanged(scale_);
}

QSize TImagePreview::ScaledSize() const {
  const double scale = Scale();
  return {int(std::lround(picture_.width() * scale)), int(std::lround(picture_.height() * scale))};
}

QPoint TImagePreview::PictureOrigin() const {
  const QSize size = ScaledSize();
  const QSize view = viewport()->size();
  // Smaller than the view: centred; larger: at the scroll position.
  const int x = size.width() < view.width() ? (view.width() - size.width()) / 2
                                            : -horizontalScrollBar()->value();
  const int y = size.height() < view.height() ? (view.height() - size.height()) / 2
                                              : -verticalScrollBar()->value();
  return {x, y};
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
  if (fit_ && !picture_.isNull()) emit ScaleChanged(Scale());
}

void TImagePreview::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  // Touch pads send small deltas: a step is taken per whole notch.
  wheelRest_ += event->angleDelta().y();
  while (wheelRest_ >= 120) {
    wheelRest_ -= 120;
    emit ZoomStep(+1);
  }
  while (wheelRest_ <= -120) {
    wheelRest_ += 120;
    emit ZoomStep(-1);
  }
  event->accept();
}

void TImagePreview::paintEvent(QPaintEvent* event) {
  QPainter p(viewport());
  if (picture_.isNull()) {
    if (message_.isEmpty()) return;
    p.setPen(palette().color(QPalette::Text));
    QFont font = p.font();
    font.setPointSizeF(font.pointSizeF() * 1.15);
    p.setFont(font);
    const QRect box = viewport()->rect().adjusted(24, 24, -24, -24);
    p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, message_);
    return;
  }
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  p.setClipRect(event->rect());
  const double scale = Scale();
  p.translate(PictureOrigin());
  p.scale(scale, scale);
  p.drawImage(QPointF(0, 0), picture_);
}

}  // namespace imprimo
