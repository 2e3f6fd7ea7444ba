// The designer's preview: the template drawn by the engine on a sample
// photo, rendered on a worker thread (the newest request wins), shown with
// zoom and fit, the selected layer's box on top, and layers that can be
// dragged to a new place.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QObject>
#include <QRect>
#include <memory>
#include <string>
#include <vector>

#include "designer/designer_preview.h"
#include "designer/template_document.h"
#include "platform/worker_pool.h"

namespace imprimo {

// A converted engine picture (24- or 32-bit) for the screen.
QImage PreviewToQImage(const TBitmap& bitmap);

// One finished render.
struct TPreviewResult {
  uint64_t Generation = 0;  // the request's number
  double Scale = 1;         // picture pixels per sample pixel
  QImage Picture;
  std::vector<TLayerBox> Boxes;  // full-size sample pixels
  std::vector<std::string> Warnings;
};

// Renders documents on a sample photo on a worker of its own; the newest
// request wins: requests still waiting are dropped unseen, and a render
// under way when a newer request comes finishes without being shown. Each
// request carries the sample set last; the worker alone touches it.
class TPreviewRenderer : public QObject {
  Q_OBJECT

 public:
  explicit TPreviewRenderer(QObject* parent = nullptr);
  ~TPreviewRenderer() override;

  void SetSample(std::shared_ptr<TPreviewSample> sample);
  std::shared_ptr<TPreviewSample> Sample() const { return sample_; }
  void Request(uint64_t generation, TTemplateDocument document, std::string watermarkFolder,
               double scale);
  // True while a request waits or runs.
  bool Busy() const;

 signals:
  void Rendered(const imprimo::TPreviewResult& result);

 private:
  std::shared_ptr<TPreviewSample> sample_;
  TOrderedPool<TPreviewResult> pool_;
};

// The picture view. Coordinates of boxes and drops are full-size sample
// pixels, whatever the scale of the picture shown.
class TDesignerPreviewView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TDesignerPreviewView(QWidget* parent = nullptr);

  // picture shows the whole sample of fullSize at its own resolution.
  void SetPicture(QImage picture, QSize fullSize);
  const QImage& Picture() const { return picture_; }
  QSize FullSize() const { return fullSize_; }
  void SetBoxes(std::vector<TLayerBox> boxes);
  const std::vector<TLayerBox>& Boxes() const { return boxes_; }
  void SetSelected(int layer);

  // Screen pixels per full-size pixel; fit follows the view's size.
  double Zoom() const { return zoom_; }
  bool FitMode() const { return fit_; }
  void SetZoom(double zoom);
  void ZoomIn();
  void ZoomOut();
  void ZoomToFit();
  // Scrolls so that the full-size point lies in the middle of the view.
  void CenterOn(QPointF full);
  // Where a full-size point is drawn in the viewport, and back.
  QPointF ToView(QPointF full) const;
  QPointF ToFull(QPointF view) const;

 signals:
  void LayerClicked(int layer);
  // A layer is being dragged: its box as it was when taken, and where its
  // top-left corner is now (full-size pixels).
  void LayerDragged(int layer, const imprimo::TRect& box, int left, int top);
  // A layer was dragged so that its box's top-left corner lies at
  // (left, top), full-size pixels.
  void LayerDropped(int layer, int left, int top);
  void ZoomChanged(double zoom);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  int LayerAt(QPointF full) const;
  double FitZoom() const;
  void UpdateScrollBars();
  QPointF Origin() const;

  QImage picture_;
  QSize fullSize_;
  std::vector<TLayerBox> boxes_;
  int selected_ = -1;
  double zoom_ = 1;
  bool fit_ = true;
  // Dragging: the layer, where the mouse went down and the box's shift so far.
  int dragLayer_ = -1;
  TRect dragBox_;
  QPointF dragStart_;
  QPointF dragShift_;
  bool dragMoved_ = false;
};

}  // namespace imprimo
