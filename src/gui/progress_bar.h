// The run's progress bar: a green-to-yellow bar over a black-to-green
// background with a white caption in the middle.
#pragma once

#include <QProgressBar>

namespace imprimo {

class TProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit TProgressBar(QWidget* parent = nullptr);

  // The caption with the current percentage, "Progress...[%d%%]".
  QString Caption() const;
  QString text() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace imprimo
