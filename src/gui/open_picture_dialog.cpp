#include "gui/open_picture_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>

#include "gui/form_translation.h"

namespace imprimo {

namespace {

constexpr int kPreviewSide = 180;

// A scaled picture of path, or a short text saying why there is none. Only
// the header is read to learn the size; the decoder scales while decoding.
void ShowPreview(QLabel* pane, const QString& path) {
  pane->setPixmap(QPixmap());
  if (path.isEmpty() || !QFileInfo(path).isFile()) {
    pane->setText(QString());
    return;
  }
  QImageReader reader(path);
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (size.isValid() && (size.width() > kPreviewSide || size.height() > kPreviewSide))
    reader.setScaledSize(size.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio));
  const QImage image = reader.read();
  if (image.isNull()) {
    pane->setText(QStringLiteral("(No preview)"));
    return;
  }
  pane->setPixmap(QPixmap::fromImage(image));
}

}  // namespace

QStringList ExecOpenPictureDialog(QWidget* parent, const QString& startFolder,
                                  const QString& filters) {
  QFileDialog dialog(parent, UiText(TTextId::OpenImagesTitle), startFolder, filters);
  dialog.setObjectName(QStringLiteral("OpenPictureDialog"));
  // The toolkit's own dialog, so that the preview pane can sit beside the list.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setViewMode(QFileDialog::Detail);
  dialog.setSizeGripEnabled(true);
  dialog.resize(820, 500);

  auto* pane = new QLabel(&dialog);
  pane->setObjectName(QStringLiteral("imgPreview"));
  pane->setFixedSize(kPreviewSide + 8, kPreviewSide + 8);
  pane->setAlignment(Qt::AlignCenter);
  pane->setFrameShape(QFrame::StyledPanel);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
    grid->addWidget(pane, 1, grid->columnCount(), 1, 1, Qt::AlignTop);
  QObject::connect(&dialog, &QFileDialog::currentChanged, pane,
                   [pane](const QString& path) { ShowPreview(pane, path); });

  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

}  // namespace imprimo
