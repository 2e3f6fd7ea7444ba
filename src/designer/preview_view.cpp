#include "designer/preview_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <exception>

#include "designer/designer_texts.h"
#include "gui/image_preview.h"

namespace imprimo {

namespace {

constexpr double kMinZoom = 0.02;
constexpr double kMaxZoom = 16;

QRectF BoxRect(const TLayerBox& box) {
  return QRectF(box.Box.Left, box.Box.Top, box.Box.Width(), box.Box.Height());
}

}  // namespace

QImage PreviewToQImage(const TBitmap& bitmap) { return BitmapToQImage(bitmap); }

// ---- renderer ----

namespace {

TPreviewResult RenderRequest(uint64_t generation, const TTemplateDocument& document,
                             TPreviewSample* sample, const std::string& folder, double scale) {
  TPreviewResult result;
  result.Generation = generation;
  result.Scale = scale;
  if (!sample || sample->Empty()) return result;
  try {
    TDesignerPreview preview = RenderDesignerPreview(document, *sample, folder, scale);
    result.Scale = preview.Scale;
    result.Picture = PreviewToQImage(preview.Picture);
    result.Boxes = std::move(preview.Boxes);
    result.Warnings = std::move(preview.Warnings);
  } catch (const std::exception& e) {
    result.Warnings.push_back(std::string("The preview could not be drawn: ") + e.what());
  }
  return result;
}

}  // namespace

TPreviewRenderer::TPreviewRenderer(QObject* parent)
    : QObject(parent), pool_(1, [this](uint64_t, TPreviewResult result) {
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { emit Rendered(result); },
            Qt::QueuedConnection);
      }) {
  qRegisterMetaType<imprimo::TPreviewResult>("imprimo::TPreviewResult");
}

// A render under way finishes unseen before the object goes.
TPreviewRenderer::~TPreviewRenderer() { pool_.Shutdown(); }

void TPreviewRenderer::SetSample(std::shared_ptr<TPreviewSample> sample) {
  sample_ = std::move(sample);
}

void TPreviewRenderer::Request(uint64_t generation, TTemplateDocument document,
                               std::string watermarkFolder, double scale) {
  // The job keeps its sample alive; the scaled copy it caches is only made
  // on the worker, one render at a time.
  pool_.Replace([generation, document = std::move(document), folder = std::move(watermarkFolder),
                 scale, sample = sample_](int) {
    return RenderRequest(generation, document, sample.get(), folder, scale);
  });
}

bool TPreviewRenderer::Busy() const { return !pool_.Idle(); }

// ---- view ----

TDesignerPreviewView::TDesignerPreviewView(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("pnPreview"));
  QPalette dark = viewport()->palette();
  dark.setColor(QPalette::Window, QColor(64, 64, 64));
  dark.setColor(QPalette::Base, QColor(64, 64, 64));
  viewport()->setPalette(dark);
  viewport()->setAutoFillBackground(true);
  viewport()->setMouseTracking(true);
  setMinimumSize(240, 180);
}

void TDesignerPreviewView::SetPicture(QImage picture, QSize fullSize) {
  picture_ = std::move(picture);
  const bool sizeChanged = fullSize != fullSize_;
  fullSize_ = fullSize;
  if (fit_ || sizeChanged) {
    if (sizeChanged) fit_ = true;
    zoom_ = FitZoom();
    emit ZoomChanged(zoom_);
  }
  UpdateScrollBars();
  viewport()->update();
}

void TDesignerPreviewView::SetBoxes(std::vector<TLayerBox> boxes) {
  boxes_ = std::move(boxes);
  viewport()->update();
}

void TDesignerPreviewView::SetSelected(int layer) {
  selected_ = layer;
  viewport()->update();
}

double TDesignerPreviewView::FitZoom() const {
  if (fullSize_.isEmpty()) return 1;
  const QSize room = viewport()->size() - QSize(16, 16);
  const double z = std::min(double(room.width()) / fullSize_.width(),
                            double(room.height()) / fullSize_.height());
  return std::clamp(z, kMinZoom, kMaxZoom);
}

void TDesignerPreviewView::SetZoom(double zoom) {
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  // The full-size point in the middle of the view stays there.
  const QPointF middle = ToFull(QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
  fit_ = false;
  zoom_ = zoom;
  UpdateScrollBars();
  const QPointF now = ToView(middle);
  horizontalScrollBar()->setValue(horizontalScrollBar()->value() +
                                  int(std::lround(now.x() - viewport()->width() / 2.0)));
  verticalScrollBar()->setValue(verticalScrollBar()->value() +
                                int(std::lround(now.y() - viewport()->height() / 2.0)));
  viewport()->update();
  emit ZoomChanged(zoom_);
}

void TDesignerPreviewView::ZoomIn() { SetZoom(zoom_ * 1.25); }
void TDesignerPreviewView::ZoomOut() { SetZoom(zoom_ / 1.25); }

void TDesignerPreviewView::ZoomToFit() {
  fit_ = true;
  zoom_ = FitZoom();
  UpdateScrollBars();
  viewport()->update();
  emit ZoomChanged(zoom_);
}

void TDesignerPreviewView::CenterOn(QPointF full) {
  const QPointF at = ToView(full);
  horizontalScrollBar()->setValue(horizontalScrollBar()->value() +
                                  int(std::lround(at.x() - viewport()->width() / 2.0)));
  verticalScrollBar()->setValue(verticalScrollBar()->value() +
                                int(std::lround(at.y() - viewport()->height() / 2.0)));
  viewport()->update();
}

QPointF TDesignerPreviewView::Origin() const {
  const double w = fullSize_.width() * zoom_, h = fullSize_.height() * zoom_;
  const double x = w < viewport()->width() ? (viewport()->width() - w) / 2
                                           : -double(horizontalScrollBar()->value());
  const double y = h < viewport()->height() ? (viewport()->height() - h) / 2
                                            : -double(verticalScrollBar()->value());
  return {x, y};
}

QPointF TDesignerPreviewView::ToView(QPointF full) const { return Origin() + full * zoom_; }
QPointF TDesignerPreviewView::ToFull(QPointF view) const { return (view - Origin()) / zoom_; }

void TDesignerPreviewView::UpdateScrollBars() {
  const int w = int(std::ceil(fullSize_.width() * zoom_));
  const int h = int(std::ceil(fullSize_.height() * zoom_));
  horizontalScrollBar()->setRange(0, std::max(0, w - viewport()->width()));
  verticalScrollBar()->setRange(0, std::max(0, h - viewport()->height()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  verticalScrollBar()->setPageStep(viewport()->height());
}

void TDesignerPreviewView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (fit_) {
    zoom_ = FitZoom();
    emit ZoomChanged(zoom_);
  }
  UpdateScrollBars();
}

void TDesignerPreviewView::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  if (picture_.isNull() || fullSize_.isEmpty()) {
    p.setPen(Qt::white);
    p.drawText(viewport()->rect(), Qt::AlignCenter, DesignerText(TDesignerText::NoSample));
    return;
  }
  const QRectF target(Origin(), QSizeF(fullSize_) * zoom_);
  // Shrinking is smoothed; enlarging shows the pixels as they are.
  p.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ * fullSize_.width() < picture_.width());
  p.drawImage(target, picture_);
  if (selected_ >= 0 && selected_ < int(boxes_.size()) && boxes_[size_t(selected_)].Visible) {
    const TLayerBox& box = boxes_[size_t(selected_)];
    QRectF r = BoxRect(box);
    // While dragging, the box follows the mouse from where it was taken.
    if (dragLayer_ == selected_)
      r = BoxRect(TLayerBox{true, false, false, dragBox_}).translated(dragShift_);
    const QRectF v(ToView(r.topLeft()), r.size() * zoom_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(v.adjusted(-1, -1, 0, 0));
    QPen dash(QColor(255, 210, 0), 1, Qt::DashLine);
    p.setPen(dash);
    p.drawRect(v.adjusted(-1, -1, 0, 0));
    if (box.Tiled) {
      p.setPen(QColor(255, 210, 0));
      p.drawText(v.bottomLeft() + QPointF(2, 14), DesignerText(TDesignerText::FirstTile));
    }
  }
}

int TDesignerPreviewView::LayerAt(QPointF full) const {
  // The selected layer wins, then the top-most layer under the point.
  if (selected_ >= 0 && selected_ < int(boxes_.size()) && boxes_[size_t(selected_)].Visible &&
      BoxRect(boxes_[size_t(selected_)]).contains(full))
    return selected_;
  for (int i = int(boxes_.size()) - 1; i >= 0; --i)
    if (boxes_[size_t(i)].Visible && !boxes_[size_t(i)].Tiled &&
        BoxRect(boxes_[size_t(i)]).contains(full))
      return i;
  return -1;
}

void TDesignerPreviewView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPointF full = ToFull(event->position());
  const int layer = LayerAt(full);
  if (layer < 0) return;
  if (layer != selected_) emit LayerClicked(layer);
  dragLayer_ = layer;
  dragBox_ = boxes_[size_t(layer)].Box;
  dragStart_ = full;
  dragShift_ = {};
  dragMoved_ = false;
}

void TDesignerPreviewView::mouseMoveEvent(QMouseEvent* event) {
  if (dragLayer_ < 0) {
    const int layer = LayerAt(ToFull(event->position()));
    viewport()->setCursor(layer >= 0 ? Qt::SizeAllCursor : Qt::ArrowCursor);
    return;
  }
  dragShift_ = ToFull(event->position()) - dragStart_;
  if ((dragShift_ * zoom_).manhattanLength() >= 3) dragMoved_ = true;
  viewport()->update();
  if (dragMoved_)
    emit LayerDragged(dragLayer_, dragBox_, dragBox_.Left + int(std::lround(dragShift_.x())),
                      dragBox_.Top + int(std::lround(dragShift_.y())));
}

void TDesignerPreviewView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || dragLayer_ < 0) return;
  const int layer = dragLayer_;
  dragLayer_ = -1;
  const QPointF shift = ToFull(event->position()) - dragStart_;
  viewport()->update();
  if (!dragMoved_) return;
  emit LayerDropped(layer, dragBox_.Left + int(std::lround(shift.x())),
                    dragBox_.Top + int(std::lround(shift.y())));
}

void TDesignerPreviewView::wheelEvent(QWheelEvent* event) {
  if (event->modifiers() & Qt::ControlModifier) {
    if (event->angleDelta().y() > 0) ZoomIn();
    if (event->angleDelta().y() < 0) ZoomOut();
    return;
  }
  QAbstractScrollArea::wheelEvent(event);
}

}  // namespace imprimo
