// The main window's preview page and thumbnail view.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "app/batch_run.h"
#include "app/naming.h"
#include "app/render_preview.h"
#include "gui/form_translation.h"
#include "gui/image_preview.h"
#include "gui/main_window.h"
#include "gui/qt_text.h"
#include "gui/window_texts.h"
#include "platform/colors.h"
#include "platform/paths.h"
#include "platform/worker_pool.h"

namespace imprimo {

namespace {

constexpr int kPathRole = Qt::UserRole + 2;
constexpr int kBrokenRole = Qt::UserRole + 3;

// A system colour (0x00BBGGRR in the table) as a QColor.
QColor SystemColor(int index) {
  const uint32_t c = GetSysColor(index);
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

constexpr int kSysAppWorkspace = 12;
constexpr int kSysButtonFace = 15;

// The hourglass for as long as the object lives.
class TWaitCursor {
 public:
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

}  // namespace

QWidget* TfrmMain::CreateThumbnailPage() {
  ViewImgs_ = new QListWidget;
  ViewImgs_->setObjectName(QStringLiteral("ViewImgs"));
  ViewImgs_->setViewMode(QListView::IconMode);
  ViewImgs_->setFlow(QListView::LeftToRight);
  ViewImgs_->setWrapping(true);
  ViewImgs_->setResizeMode(QListView::Adjust);
  ViewImgs_->setMovement(QListView::Static);
  ViewImgs_->setIconSize(QSize(kThumbnailCellSize, kThumbnailCellSize));
  ViewImgs_->setGridSize(QSize(128, 148));
  ViewImgs_->setUniformItemSizes(true);
  ViewImgs_->setWordWrap(false);
  ViewImgs_->setTextElideMode(Qt::ElideNone);  // captions are shortened already
  ViewImgs_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  QPalette workspace = ViewImgs_->palette();
  workspace.setColor(QPalette::Base, SystemColor(kSysAppWorkspace));
  ViewImgs_->setPalette(workspace);
  connect(ViewImgs_, &QListWidget::itemSelectionChanged, this, &TfrmMain::ViewImgsSelectItem);
  return ViewImgs_;
}

QWidget* TfrmMain::CreatePreviewPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("plPreview"));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  ImagePreview_ = new TImagePreview(page);
  ImagePreview_->setObjectName(QStringLiteral("ImagePreview"));
  layout->addWidget(ImagePreview_, 1);

  auto* bar = new QWidget(page);
  bar->setObjectName(QStringLiteral("plZoom"));
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(4, 2, 4, 2);
  auto* zoomLabel = new QLabel(QStringLiteral("Zoom:"), bar);
  zoomLabel->setObjectName(QStringLiteral("lbZoom"));
  row->addWidget(zoomLabel);
  lbScale = new QLabel(QStringLiteral("[100%]"), bar);
  lbScale->setObjectName(QStringLiteral("lbScale"));
  MarkFixedText(*lbScale);
  lbScale->setMinimumWidth(lbScale->fontMetrics().horizontalAdvance(QStringLiteral("[200%]")) + 4);
  row->addWidget(lbScale);
  tbZoom = new QSlider(Qt::Horizontal, bar);
  tbZoom->setObjectName(QStringLiteral("tbZoom"));
  tbZoom->setRange(1, 20);
  tbZoom->setSingleStep(1);
  tbZoom->setPageStep(1);
  tbZoom->setTickPosition(QSlider::TicksBelow);
  tbZoom->setTickInterval(1);
  tbZoom->setValue(10);
  tbZoom->setMinimumWidth(80);
  row->addWidget(tbZoom, 1);
  btnZoomFit = new QToolButton(bar);
  btnZoomFit->setObjectName(QStringLiteral("btnZoomFit"));
  btnZoomFit->setDefaultAction(actZoomFit);
  btnZoomFit->setToolButtonStyle(Qt::ToolButtonTextOnly);
  row->addWidget(btnZoomFit);
  row->addStretch(1);
  btnPrev = new QPushButton(QStringLiteral("&Prev"), bar);
  btnPrev->setObjectName(QStringLiteral("btnPrev"));
  btnPrev->setToolTip(QStringLiteral("Previous image"));
  btnPrev->setEnabled(false);
  row->addWidget(btnPrev);
  btnNext = new QPushButton(QStringLiteral("&Next"), bar);
  btnNext->setObjectName(QStringLiteral("btnNext"));
  btnNext->setToolTip(QStringLiteral("Next image"));
  btnNext->setEnabled(false);
  row->addWidget(btnNext);
  // The controls never make the window wider than the pages allow.
  bar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  layout->addWidget(bar);

  connect(tbZoom, &QSlider::valueChanged, this, &TfrmMain::tbZoomChange);
  connect(ImagePreview_, &TImagePreview::ZoomStep, this, &TfrmMain::ZoomBy);
  connect(ImagePreview_, &TImagePreview::ScaleChanged, this, [this](double scale) {
    lbScale->setText(QStringLiteral("[%1%]").arg(std::lround(scale * 100)));
    actZoomFit->setChecked(ImagePreview_->Fit());
  });
  connect(btnPrev, &QPushButton::clicked, this, [this] { btnPrevClick(-1); });
  connect(btnNext, &QPushButton::clicked, this, [this] { btnPrevClick(+1); });
  return page;
}

void TfrmMain::ApplyViewCommandState(bool rows, bool busy) {
  // A preview opens and prepares the template the run works with, and a
  // thumbnail build pumps messages; neither runs beside a run or an add.
  actShowPreview->setEnabled(rows && !busy);
  actImagesView->setEnabled(rows && !busy);
}

void TfrmMain::actDetailsListExecute() { pages_->setCurrentIndex(kPageDetails); }

void TfrmMain::UpdatePrevNext() {
  btnPrev->setEnabled(previewIndex_ > 0);
  btnNext->setEnabled(previewIndex_ < RowCount() - 1);
}

void TfrmMain::actShowPreviewExecute() {
  if (running_ || adding_ || RowCount() == 0) return;
  if (!OpenSelectedTemplate()) return;
  int first = -1;
  for (const QModelIndex& index : ListImgs_->selectionModel()->selectedRows())
    if (first < 0 || index.row() < first) first = index.row();
  previewIndex_ = std::max(first, 0);
  PrepareLayers(work_->Template, FolderOf(selectedTemplatePath_));
  pages_->setCurrentIndex(kPagePreview);
  ListImgs_->selectionModel()->select(ListImgs_->model()->index(previewIndex_, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
  UpdatePrevNext();
  ShowRowInStatus(UiText(TTextId::StatusFileName), RowText(previewIndex_));
  RenderPreview(RowText(previewIndex_));
}

void TfrmMain::btnPrevClick(int step) {
  if (running_ || adding_ || !work_->Template.TemplateDoc || RowCount() == 0) return;
  // Rows may have been removed since the preview opened.
  const int before = std::min(previewIndex_, RowCount() - 1);
  previewIndex_ = before;
  if (step < 0 && previewIndex_ > 0) --previewIndex_;
  if (step > 0 && previewIndex_ < RowCount() - 1) ++previewIndex_;
  // The sequence number follows the rows stepped through; a template
  // without one keeps its -1.
  if (previewIndex_ != before && work_->Template.WatermarkSequence >= 0)
    work_->Template.WatermarkSequence += step;
  // Only the preview moves: the selection is the user's, and a later
  // Remove must not take the rows stepped through.
  const QString path = RowText(previewIndex_);
  RenderPreview(path);
  UpdatePrevNext();
  ShowRowInStatus(UiText(TTextId::StatusFileName), path);
}

void TfrmMain::tbZoomChange(int value) {
  ImagePreview_->SetScale(value / 10.0);
  lbScale->setText(QStringLiteral("[%1%]").arg(value * 10));
}

void TfrmMain::ZoomBy(int step) {
  if (pages_->currentIndex() != kPagePreview) return;
  // From a fitted view the steps start at the slider mark nearest to it.
  const int from =
      ImagePreview_->Fit() ? int(std::lround(ImagePreview_->Scale() * 10)) : tbZoom->value();
  const int value = std::clamp(from + step, tbZoom->minimum(), tbZoom->maximum());
  if (value == tbZoom->value())
    tbZoomChange(value);  // the slider does not signal an unchanged value
  else
    tbZoom->setValue(value);
}

void TfrmMain::ZoomFit() {
  ImagePreview_->SetFit(true);
  actZoomFit->setChecked(true);
}

bool TfrmMain::RenderPreview(const QString& path) {
  TWaitCursor wait;
  PanelToSettings();
  TBitmap picture;
  std::string reason;
  QImage image;
  if (RenderPreviewPicture(ToUtf8(path), settings_, work_->Template, picture, &reason,
                           previewIndex_)) {
    image = BitmapToQImage(picture);
    if (image.isNull()) reason = "the picture is too large to show";
  }
  if (image.isNull()) {
    // The page says so: the last good picture would pass for this row's.
    ImagePreview_->ShowMessage(WinText(TWinText::PreviewFailed)
                                   .arg(FromUtf8(FileNameOf(ToUtf8(path))), ReasonText(reason)));
    lastPreviewFailure_ = ReasonText(reason);
    return false;
  }
  lastPreviewFailure_.clear();
  ImagePreview_->SetPicture(std::move(image));
  return true;
}

QString TfrmMain::ThumbnailPath(const QListWidget* view, int item) {
  const QListWidgetItem* it = view->item(item);
  return it != nullptr ? it->data(kPathRole).toString() : QString();
}

// One thumbnail build: a pool of workers (one per core, at most four) makes
// the cells of a snapshot of the rows; finished cells are handed to the
// window's thread in row order, whichever worker made them.
class TfrmMain::TThumbnailBuild {
 public:
  struct TRow {
    QString Path;
    std::string File;
  };
  struct TCell {
    QImage Image;    // null when the file did not load
    QString Reason;  // why, then
  };
  TThumbnailBuild(TfrmMain* window, uint64_t generation, std::vector<TRow> rows, bool autoRotate,
                  uint32_t face)
      : window_(window),
        generation_(generation),
        rows_(std::move(rows)),
        autoRotate_(autoRotate),
        face_(face) {
    if (rows_.empty()) {
      QMetaObject::invokeMethod(
          window, [window, generation] { window->ThumbnailsDone(generation); },
          Qt::QueuedConnection);
      return;
    }
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t count = std::min({cores, size_t(4), rows_.size()});
    pool_.emplace(int(count), [this](uint64_t index, TCell cell) { Deliver(index, cell); });
    for (size_t index = 0; index < rows_.size(); ++index)
      pool_->Submit([this, index](int) { return MakeCell(index); });
  }
  ~TThumbnailBuild() {
    cancel_ = true;
    if (pool_) pool_->Shutdown();
  }
  TThumbnailBuild(const TThumbnailBuild&) = delete;
  TThumbnailBuild& operator=(const TThumbnailBuild&) = delete;
  void Cancel() {
    cancel_ = true;
    if (pool_) pool_->CancelPending();
  }

 private:
  // A file that does not load, or a cell that cannot be drawn, gives that
  // row a broken-picture cell with the reason.
  TCell MakeCell(size_t index) const {
    TCell made;
    std::string reason;
    try {
      TBitmap cell;
      if (LoadThumbnailCell(rows_[index].File, autoRotate_, face_, cell, &reason))
        made.Image = BitmapToQImage(cell);
    } catch (const std::exception& e) {
      reason = e.what();
    }
    if (made.Image.isNull())
      made.Reason = reason.empty() ? UiText(TTextId::UnknownError) : ReasonText(reason);
    return made;
  }

  // Posts a cell (they come in row order) to the window's thread, and the
  // end of the build after the last one.
  void Deliver(size_t index, const TCell& ready) {
    if (cancel_) return;
    TfrmMain* window = window_;
    const uint64_t generation = generation_;
    const QString path = rows_[index].Path;
    QMetaObject::invokeMethod(
        window,
        [window, generation, path, ready] {
          window->ThumbnailReady(generation, path, ready.Image, ready.Reason);
        },
        Qt::QueuedConnection);
    if (index + 1 == rows_.size())
      QMetaObject::invokeMethod(
          window, [window, generation] { window->ThumbnailsDone(generation); },
          Qt::QueuedConnection);
  }

  TfrmMain* const window_;
  const uint64_t generation_;
  const std::vector<TRow> rows_;
  const bool autoRotate_;
  const uint32_t face_;
  std::atomic<bool> cancel_{false};
  std::optional<TOrderedPool<TCell>> pool_;  // last: its workers use the rest
};

bool TfrmMain::ThumbnailBroken(const QListWidget* view, int item) {
  const QListWidgetItem* it = view->item(item);
  return it != nullptr && it->data(kBrokenRole).toBool();
}

bool TfrmMain::ThumbnailsBuilding() const { return thumbnailBuild_ != nullptr; }

void TfrmMain::actImagesViewExecute() {
  pages_->setCurrentIndex(kPageThumbnails);
  if (!thumbnailsStale_) return;
  // A build of an older list is dropped; its late cells are ignored.
  thumbnailBuild_.reset();
  thumbnailsStale_ = false;
  ViewImgs_->clear();
  std::vector<TThumbnailBuild::TRow> rows;
  rows.reserve(size_t(RowCount()));
  for (int row = 0; row < RowCount(); ++row) {
    const QString path = RowText(row);
    rows.push_back({path, ToUtf8(path)});
  }
  const uint32_t face = GetSysColor(kSysButtonFace);
  const uint32_t faceRgb = ((face & 0xFF) << 16) | (face & 0xFF00) | ((face >> 16) & 0xFF);
  ViewImgs_->setCursor(Qt::BusyCursor);
  thumbnailBuild_ = std::make_shared<TThumbnailBuild>(this, ++thumbnailGeneration_, std::move(rows),
                                                      settings_.AutoRotate, faceRgb);
}

namespace {

// The cell of a row whose file does not load: the cell's frame on the face
// colour, and a picture torn in two where the thumbnail would be.
QImage BrokenThumbnailCell(const QPalette& palette) {
  QImage cell(kThumbnailCellSize, kThumbnailCellSize, QImage::Format_RGB32);
  cell.fill(palette.color(QPalette::Button));
  QPainter p(&cell);
  const int last = kThumbnailCellSize - 1;
  p.setPen(palette.color(QPalette::Light));
  p.drawLine(last, 0, 0, 0);
  p.drawLine(0, 0, 0, last);
  p.setPen(palette.color(QPalette::Dark));
  p.drawLine(0, last, last, last);
  p.drawLine(last, last, last, 0);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QColor ink = palette.color(QPalette::ButtonText);
  const QColor paper = palette.color(QPalette::Base);
  // Two halves of a sheet with a mountain, apart along a jagged tear.
  const QPolygonF left({{30, 32}, {62, 32}, {56, 48}, {64, 60}, {54, 74}, {60, 88}, {30, 88}});
  const QPolygonF right({{68, 34}, {92, 34}, {92, 90}, {66, 90}, {60, 76}, {70, 62}, {62, 50}});
  p.setPen(QPen(ink, 2));
  for (const QPolygonF& half : {left, right}) {
    p.setBrush(paper);
    p.drawPolygon(half);
  }
  p.setBrush(ink);
  p.drawPolygon(QPolygonF({{34, 84}, {46, 64}, {56, 78}, {54, 84}}));
  p.drawPolygon(QPolygonF({{64, 86}, {76, 62}, {88, 86}}));
  p.setBrush(QColor(200, 40, 40));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(84, 44), 5, 5);
  return cell;
}

}  // namespace

void TfrmMain::ThumbnailReady(uint64_t generation, const QString& path, const QImage& picture,
                              const QString& reason) {
  if (!thumbnailBuild_ || generation != thumbnailGeneration_) return;
  // Rows added or removed meanwhile: this build is dropped and the next
  // showing of the page builds again.
  if (thumbnailsStale_) {
    thumbnailBuild_.reset();
    ViewImgs_->unsetCursor();
    return;
  }
  // Each item keeps the path of its own row, so a selection names that row
  // even when rows before it have no thumbnail.
  const std::string name = std::filesystem::path(ToUtf8(path)).filename().string();
  const bool broken = picture.isNull();
  const QImage cell = broken ? BrokenThumbnailCell(ViewImgs_->palette()) : picture;
  auto* item =
      new QListWidgetItem(QIcon(QPixmap::fromImage(cell)), FromUtf8(EllipsizeText(name, 20)));
  item->setData(kPathRole, path);
  item->setData(kBrokenRole, broken);
  item->setToolTip(broken ? WinText(TWinText::ThumbnailFailed).arg(path, reason) : path);
  ViewImgs_->addItem(item);
}

void TfrmMain::ThumbnailsDone(uint64_t generation) {
  if (!thumbnailBuild_ || generation != thumbnailGeneration_) return;
  thumbnailBuild_.reset();
  ViewImgs_->unsetCursor();
}

void TfrmMain::ViewImgsSelectItem() {
  QListWidgetItem* item = ViewImgs_->currentItem();
  if (item == nullptr || !item->isSelected()) {
    const QList<QListWidgetItem*> selected = ViewImgs_->selectedItems();
    if (selected.isEmpty()) return;
    item = selected.first();
  }
  currentImage_ = item->data(kPathRole).toString();
  ShowRowInStatus(UiText(TTextId::StatusFileName), currentImage_);
  UpdateCommands();
}

}  // namespace imprimo
