// The preview page's picture view: a scrollable picture on white, scaled
// without smoothing so that single pixels and compression blocks stay
// visible when zoomed in.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>

#include "platform/bitmap.h"

namespace imprimo {

// A copy of bitmap as a QImage (24- and 32-bit pixels directly, other
// formats through their colours; alpha is not shown).
QImage BitmapToQImage(const TBitmap& bitmap);

class TImagePreview : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TImagePreview(QWidget* parent = nullptr);

  void SetPicture(QImage picture);
  const QImage& Picture() const { return picture_; }
  // Scale 1.0 shows the picture at its own size.
  void SetScale(double scale);
  double Scale() const { return scale_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateScrollBars();
  QSize ScaledSize() const;

  QImage picture_;
  double scale_ = 1.0;
};

}  // namespace imprimo
