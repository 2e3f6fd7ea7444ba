// The preview page's picture view: a scrollable picture, centred when it is
// smaller than the view, scaled without smoothing so that single pixels and
// compression blocks stay visible when zoomed in. It opens fitted to the
// view; a row that cannot be previewed shows why in place of a picture.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QString>

#include "platform/bitmap.h"

namespace imprimo {

// A copy of bitmap as a QImage (24- and 32-bit pixels directly, other
// formats through their colours; alpha is not shown).
QImage BitmapToQImage(const TBitmap& bitmap);

class TImagePreview : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TImagePreview(QWidget* parent = nullptr);

  // Shows picture; any message goes.
  void SetPicture(QImage picture);
  const QImage& Picture() const { return picture_; }
  // Shows text in place of a picture (the picture goes, so no stale result
  // stays in sight).
  void ShowMessage(const QString& text);
  const QString& Message() const { return message_; }
  // Scale 1.0 shows the picture at its own size; setting one ends fitting.
  void SetScale(double scale);
  // The scale in use: the fitted one while fitting.
  double Scale() const;
  // Fits the whole picture into the view (never enlarged beyond 1.0).
  void SetFit(bool fit);
  bool Fit() const { return fit_; }
  // Where the picture's top-left corner is drawn in the viewport.
  QPoint PictureOrigin() const;

 signals:
  // Ctrl+wheel: +1 to zoom in, -1 to zoom out, once per notch.
  void ZoomStep(int step);
  // The scale in use changed (a new scale, fitting, a resize while fitted).
  void ScaleChanged(double scale);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void UpdateScrollBars();
  QSize ScaledSize() const;
  double FitScale() const;

  QImage picture_;
  QString message_;
  double scale_ = 1.0;
  bool fit_ = true;
  int wheelRest_ = 0;
};

}  // namespace imprimo
