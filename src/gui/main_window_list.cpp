// The main window's image list: adding files and folders, dropping, removing,
// the command state that depends on the rows, and the progress panel.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <unordered_set>

#include "app/batch_run.h"
#include "app/image_list.h"
#include "app/naming.h"
#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/menu_btn.h"
#include "gui/open_picture_dialog.h"
#include "gui/progress_bar.h"
#include "gui/qt_text.h"
#include "gui/sel_dir.h"
#include "gui/settings_panel.h"
#include "gui/status_icons.h"
#include "gui/window_texts.h"

namespace imprimo {

namespace {

constexpr int kIconRole = Qt::UserRole + 1;

struct FilterEntry {
  const char* description;
  const char* mask;
};

// The open dialog's filters: description, then mask.
constexpr FilterEntry kOpenFilters[] = {
    {"All Image Files ",
     "*.bsi;*.rci;*.cif;*.img;*.dag;*.xpm;*.pcx;*.pdd;*.psd;*.jpc;*.jpx;*.j2c;*.j2k;*.jp2;;*.pbm;"
     "*.pgm;*.ppm;*.pam;*.pfm;*.tga;*.dds;*.gif;*.jif;*.jpe;*.jfif;;*.jpeg;*.jpg;*.png;*.mng;*."
     "jng;*.dib;*.bmp;*.heic;*.heif;*.hif;*.avif;*.webp;*.tif;*.tiff"},
    {"Joint Photographic Experts Group (*.jpg;*.jpeg;*.jfif;*.jpe;*.jif)", "*.jpg"},
    {"Windows Bitmap Image (*.bmp;*.dib)", "*.bmp"},
    {"Portable Network Graphics (*.png)", "*.png"},
    {"Multiple Network Graphics (*.mng)", "*.mng"},
    {"JPEG Network Graphics (*.jng)", "*.jng"},
    {"Graphics Interchange Format (*.gif)", "*.gif"},
    {"Tagged Image File Format (*.tif;*.tiff)", "*.tif;*.tiff"},
    {"DirectDraw Surface (*.dds)", "*.dds"},
    {"ZSoft IBM PC Paintbrush file(*.pcx)", "*.pcx"},
    {"Truevision Targa Image (*.tga)", "*.tga"},
    {"Portable Gray Map (*.pgm)", "*.pgm"},
    {"Portable Pixel Map (*.ppm)", "*.ppm"},
    {"Portable Arbitrary Map (*.pam)", "*.pam"},
    {"Portable Float Map (*.pfm)", "*.pfm"},
    {"JPEG 2000 Image (*.jp2;*.j2k;*.j2c;*.jpx;*.jpc)", "*.jp2"},
    {"Photoshop Image (*.psd;*.pdd)", "*.psd"},
    {"Daggerfall MultiImage (*.cif;*.rci)", "*.cif"},
    {"Daggerfall Image (*.img)", "*.img"},
    {"High Efficiency Image File (*.heic;*.heif;*.hif)", "*.heic;*.heif;*.hif"},
    {"AV1 Image File (*.avif)", "*.avif"},
    {"WebP Image (*.webp)", "*.webp"},
};

// Draws the path column cut at its start.
class PathDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideLeft;
  }
};

struct Column {
  const char* heading;
  int width;  // 0: takes the remaining width
};
constexpr Column kColumns[6] = {
    {"File Name", 0},      {"Format", 66},         {"Original Dimension", 100},
    {"Original Size", 70}, {"New Dimension", 100}, {"New Size", 70}};

}  // namespace

QString TfrmMain::OpenFilesFilter() {
  // Qt reads the masks from the parentheses of each entry, and the
  // descriptions already hold masks of their own; the masks are therefore
  // given in a trailing pair, where Qt takes them from.
  QStringList entries;
  for (const FilterEntry& f : kOpenFilters) {
    QString masks = QString::fromLatin1(f.mask);
    masks.replace(QLatin1Char(';'), QLatin1Char(' '));
    masks = masks.simplified();
    entries << QString::fromLatin1(f.description) + QStringLiteral(" (") + masks + QLatin1Char(')');
  }
  return entries.join(QStringLiteral(";;"));
}

void TfrmMain::CreateImageList(QWidget* page) {
  ListImgs_ = new QTableWidget(0, 6, page);
  ListImgs_->setObjectName(QStringLiteral("ListImgs"));
  QStringList headings;
  for (const Column& c : kColumns) headings << QString::fromLatin1(c.heading);
  ListImgs_->setHorizontalHeaderLabels(headings);
  ListImgs_->verticalHeader()->hide();
  ListImgs_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  ListImgs_->verticalHeader()->setDefaultSectionSize(20);
  ListImgs_->setShowGrid(true);
  ListImgs_->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListImgs_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListImgs_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListImgs_->setIconSize(QSize(16, 16));
  ListImgs_->setWordWrap(false);
  // Short texts are cut at their end; a path at its start, so that the file
  // name stays in sight (the whole path is the cell's tool tip).
  ListImgs_->setTextElideMode(Qt::ElideRight);
  ListImgs_->setItemDelegateForColumn(0, new PathDelegate(ListImgs_));
  ListImgs_->setSortingEnabled(false);  // rows are kept in path order as they come in
  ListImgs_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QHeaderView* header = ListImgs_->horizontalHeader();
  header->setHighlightSections(false);
  header->setSectionsClickable(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // The first column takes what the other five leave, with or without a
  // vertical scroll bar. The short columns are as wide as their headings,
  // or the design's widths, when there is room, and never narrower than
  // their widest text (LayoutListColumns).
  const QFontMetrics headerFont(header->font());
  listColumnWidths_.assign(6, 0);
  for (int c = 1; c < 6; ++c) {
    const QString heading = QString::fromLatin1(kColumns[c].heading);
    listColumnWidths_[size_t(c)] =
        std::max(kColumns[c].width, headerFont.horizontalAdvance(heading) + 14);
    ListImgs_->horizontalHeaderItem(c)->setToolTip(heading);
  }
  listTextWidths_.assign(5, 0);
  // The user may still drag the widths.
  for (int c = 0; c < 6; ++c) header->setSectionResizeMode(c, QHeaderView::Interactive);
  header->setStretchLastSection(false);
  QAbstractItemModel* model = ListImgs_->model();
  const auto recount = [this] {
    listTextWidthsStale_ = true;
    ScheduleListLayout();
  };
  connect(model, &QAbstractItemModel::rowsRemoved, this, recount);
  connect(model, &QAbstractItemModel::modelReset, this, recount);
  ListImgs_->viewport()->installEventFilter(this);

  ListImgs_->setContextMenuPolicy(Qt::CustomContextMenu);
  pMenuImg = new QMenu(this);
  pMenuImg->setObjectName(QStringLiteral("pMenuImg"));
  pMenuImg->addAction(
      LinkedItem(actShowPreview, QStringLiteral("Preview Result"), "pmnuPreviewResult"));
  pMenuImg->addAction(LinkedItem(actPhotoEditor, QStringLiteral("Image Editor"), "pmnuEditor"));
  pMenuImg->addSeparator();
  pMenuImg->addAction(LinkedItem(actDetailsList, QStringLiteral("Detail List"), "pmnuDetailList"));
  pMenuImg->addAction(
      LinkedItem(actImagesView, QStringLiteral("View Thumbnail"), "pmnuViewThumbnail"));
  pMenuImg->addSeparator();
  pMenuImg->addAction(LinkedItem(actRemoveSelected, QStringLiteral("Remove Selected Images"),
                                 "pmnuRemoveSelected"));
  pMenuImg->addAction(
      LinkedItem(actRemoveAll, QStringLiteral("Remove All Images"), "pmnuRemoveAll"));
  connect(ListImgs_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pMenuImg->popup(ListImgs_->viewport()->mapToGlobal(at)); });

  connect(ListImgs_, &QTableWidget::itemSelectionChanged, this, &TfrmMain::ListImgsSelectItem);
  ListImgs_->installEventFilter(this);
  // Files and folders may be dropped anywhere on the centre pages.
  pages_->setAcceptDrops(true);
  pages_->installEventFilter(this);
  ListImgs_->setAcceptDrops(false);
  ListImgs_->viewport()->setAcceptDrops(false);
}

void TfrmMain::ScheduleListLayout() {
  if (listLayoutPending_) return;
  listLayoutPending_ = true;
  QTimer::singleShot(0, this, [this] {
    listLayoutPending_ = false;
    LayoutListColumns();
  });
}

void TfrmMain::LayoutListColumns() {
  if (ListImgs_ == nullptr || listColumnWidths_.size() != 6) return;
  const int available = ListImgs_->viewport()->width();
  if (available <= 0) return;
  const QFontMetrics cellFont(ListImgs_->font());
  if (listTextWidthsStale_) {
    listTextWidths_.assign(5, 0);
    for (int row = 0; row < ListImgs_->rowCount(); ++row)
      for (int c = 0; c < 5; ++c)
        if (const QTableWidgetItem* item = ListImgs_->item(row, c + 1);
            item && !item->text().isEmpty())
          listTextWidths_[size_t(c)] =
              std::max(listTextWidths_[size_t(c)], cellFont.horizontalAdvance(item->text()));
    listTextWidthsStale_ = false;
  }
  // need: what the widest text of a column asks for (a column with no text
  // yet keeps the start of its heading); full: the heading or design width.
  int need[6] = {}, full[6] = {};
  int needSum = 0, fullSum = 0;
  const int empty = cellFont.horizontalAdvance(QStringLiteral("0000")) + 12;
  for (int c = 1; c < 6; ++c) {
    const int text = listTextWidths_[size_t(c - 1)];
    need[c] = text > 0 ? text + 12 : empty;
    full[c] = std::max(need[c], listColumnWidths_[size_t(c)]);
    needSum += need[c];
    fullSum += full[c];
  }
  // The short columns widen towards their full widths while the path keeps
  // at least 45 % of the list; they give way below their texts only when
  // the path would otherwise have less than a quarter.
  int rest = std::min(fullSum, std::max(needSum, available - available * 9 / 20));
  if (available - rest < available / 4) rest = available - available / 4;
  QHeaderView* header = ListImgs_->horizontalHeader();
  int used = 0;
  for (int c = 1; c < 6; ++c) {
    const int width = rest >= needSum ? need[c] + (full[c] - need[c]) * (rest - needSum) /
                                                      std::max(1, fullSum - needSum)
                                      : need[c] * rest / std::max(1, needSum);
    header->resizeSection(c, width);
    used += width;
  }
  header->resizeSection(0, std::max(available - used, 24));
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (ListImgs_ != nullptr && watched == ListImgs_->viewport() && event->type() == QEvent::Resize)
    LayoutListColumns();
  if (watched == ListImgs_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
      if (actRemoveSelected->isEnabled()) actRemoveSelectedExecute();
      return true;
    }
  }
  if (watched == pages_) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDropEvent*>(event);
      if (drag->mimeData()->hasUrls() && !running_ && !adding_) {
        drag->acceptProposedAction();
        return true;
      }
    } else if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      QStringList paths;
      for (const QUrl& url : drop->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
      drop->acceptProposedAction();
      // The drop is answered at once; the search and the add that follow
      // run from the event loop, so the program the files came from is not
      // kept waiting.
      QTimer::singleShot(0, this, [this, paths] { DragDropMDrop(paths); });
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

int TfrmMain::RowCount() const { return ListImgs_->rowCount(); }

QString TfrmMain::RowText(int row) const {
  const QTableWidgetItem* item = ListImgs_->item(row, 0);
  return item != nullptr ? item->text() : QString();
}

int TfrmMain::RowIcon(int row) const {
  const QTableWidgetItem* item = ListImgs_->item(row, 0);
  return item != nullptr ? item->data(kIconRole).toInt() : -1;
}

QString TfrmMain::RowColumn(int row, int subColumn) const {
  if (subColumn < 0 || subColumn > 4) return {};
  const QTableWidgetItem* item = ListImgs_->item(row, subColumn + 1);
  return item != nullptr ? item->text() : QString();
}

void TfrmMain::SetRowIcon(int row, int icon) {
  QTableWidgetItem* item = ListImgs_->item(row, 0);
  if (item == nullptr || icon < 0 || icon >= kStatusIconCount) return;
  item->setData(kIconRole, icon);
  item->setIcon(StatusIcon(icon));
  if (icon != 0 && item->data(kFailReasonRole).isValid()) {
    // A row taken up again no longer shows why it failed before.
    item->setData(kFailReasonRole, QVariant());
    item->setToolTip(item->text());
  }
}

void TfrmMain::SetRowColumn(int row, int subColumn, const QString& text) {
  if (row < 0 || row >= ListImgs_->rowCount() || subColumn < 0 || subColumn > 4) return;
  QTableWidgetItem* item = ListImgs_->item(row, subColumn + 1);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    ListImgs_->setItem(row, subColumn + 1, item);
  }
  item->setText(text);
  if (size_t(subColumn) < listTextWidths_.size() && !text.isEmpty()) {
    const int width = QFontMetrics(ListImgs_->font()).horizontalAdvance(text);
    if (width > listTextWidths_[size_t(subColumn)]) {
      listTextWidths_[size_t(subColumn)] = width;
      ScheduleListLayout();
    }
  }
}

bool TfrmMain::IsInList(const QString& path) const {
  for (int row = 0; row < ListImgs_->rowCount(); ++row)
    if (RowText(row) == path) return true;
  return false;
}

void TfrmMain::InsertRow(const ImageListEntry& entry) {
  // The rows stay in ascending path order; a new row goes after the rows
  // that compare equal to it.
  const QString path = FromUtf8(entry.Path);
  int low = 0, high = ListImgs_->rowCount();
  while (low < high) {
    const int mid = (low + high) / 2;
    if (ComparePathText(ToUtf8(RowText(mid)), entry.Path) <= 0)
      low = mid + 1;
    else
      high = mid;
  }
  ListImgs_->insertRow(low);
  auto* first = new QTableWidgetItem(path);
  first->setToolTip(path);
  ListImgs_->setItem(low, 0, first);
  SetRowIcon(low, entry.Icon);
  for (int c = 0; c < 5; ++c) SetRowColumn(low, c, FromUtf8(entry.Columns[size_t(c)]));
}

// The list side of the shared add loop.
class TfrmMain::ListHost : public TImageListHost {
 public:
  // The rows do not change under an add but through it: their paths are
  // looked up in a set, not row by row, so that a large add stays linear.
  explicit ListHost(TfrmMain& w) : w_(w) {
    for (int row = 0; row < w_.RowCount(); ++row) listed_.insert(ToUtf8(w_.RowText(row)));
  }
  bool IsInList(const std::string& path) const override { return listed_.count(path) != 0; }
  void AddRow(ImageListEntry entry) override {
    listed_.insert(entry.Path);
    w_.InsertRow(entry);
  }
  void ShowDetailList() override { w_.pages_->setCurrentIndex(kPageDetails); }
  void ShowProgress(bool visible) override { w_.plProgress->setVisible(visible); }
  void SetProgress(int percent, const std::string&) override { w_.SetProgress(percent); }
  // Events are handled a few dozen times a second, not after every row: a
  // repaint per row would make a large add crawl.
  void ProcessMessages() override {
    if (clock_.isValid() && clock_.elapsed() < 30) return;
    w_.ProcessMessages();
    clock_.start();
  }
  bool StopRequested() const override { return w_.stopRequested_; }
  void ClearStopRequested() override { w_.stopRequested_ = false; }
  void AddFinished() override {
    w_.plProgress->hide();
    w_.adding_ = false;
    w_.ApplyCommandState();
    w_.thumbnailsStale_ = true;
    w_.UpdateCommands();
  }

 private:
  TfrmMain& w_;
  std::unordered_set<std::string> listed_;
  QElapsedTimer clock_;
};

void TfrmMain::SetProgress(int percent) {
  pbM->setValue(std::clamp(percent, 0, 100));
  pbM->update();
}

void TfrmMain::ProcessMessages() { QApplication::processEvents(QEventLoop::AllEvents); }

void TfrmMain::AddImages(const QStringList& paths) {
  if (adding_) return;
  std::vector<std::string> files;
  files.reserve(size_t(paths.size()));
  for (const QString& p : paths) files.push_back(ToUtf8(p));
  actFailedOnly->setChecked(false);  // new rows are shown
  adding_ = true;
  // Adding keeps the run and the other list commands away until it ends;
  // the stop command ends it early.
  ApplyCommandState();
  ListHost host(*this);
  try {
    imprimo::AddImages(host, files);
  } catch (const std::exception&) {
    host.AddFinished();  // the rows added so far stay
  }
  if (adding_) host.AddFinished();
  if (closeAfterRun_ && !running_) {
    close();
    return;
  }
  RunDeferredTemplateRefresh();
}

void TfrmMain::actAddFilesExecute() {
  if (running_ || adding_) return;
  const QString start = FromUtf8(settings_.ScrPath);
  QStringList files;
  if (dialogs_.OpenFiles) {
    files = dialogs_.OpenFiles(start, OpenFilesFilter());
  } else {
    files = ExecOpenPictureDialog(this, start, OpenFilesFilter());
  }
  if (files.isEmpty()) return;
  AddImages(files);
  NoteAddedFiles(addedFolders_, settings_, ToUtf8(files.first()));
}

void TfrmMain::actAddfoldersExecute() {
  if (running_ || adding_) return;
  TfrmSelDir dialog(FromUtf8(settings_.ScrPath), this);
  const bool ok =
      dialogs_.SelectFolder ? dialogs_.SelectFolder(dialog) : dialog.exec() == QDialog::Accepted;
  if (!ok) return;
  if (dialog.Folder().isEmpty()) return;
  const std::string folder = WithTrailingSeparator(ToUtf8(dialog.Folder()));
  NoteAddedFolder(addedFolders_, settings_, folder);
  // "*.*" takes the files of the formats that load; a typed list of masks
  // ("*.jpg;*.png") takes what matches.
  const std::string filter = ToUtf8(dialog.Filter());
  const bool subFolders = dialog.IncludeSubFolders();
  std::vector<std::string> found;
  try {
    const bool searched = SearchFolders(
        [&](std::vector<std::string>& out, const std::function<bool(size_t)>& goOn) {
          FindBatchImageFiles(folder, filter, out, subFolders, {}, goOn);
        },
        found);
    if (!searched) {
      if (closeAfterRun_ && !running_) close();
      return;
    }
  } catch (const std::exception& e) {
    ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), QString::fromUtf8(e.what()));
    return;
  }
  // Pictures written by earlier runs into an output folder inside the
  // searched one are not taken again.
  if (settings_.PathType == 2 && !settings_.OutPath.empty()) {
    const std::string outDir = WithTrailingSeparator(settings_.OutPath);
    std::erase_if(found, [&](const std::string& f) { return f.rfind(outDir, 0) == 0; });
  }
  if (found.empty()) return;
  QStringList paths;
  paths.reserve(qsizetype(found.size()));
  for (const std::string& f : found) paths << FromUtf8(f);
  AddImages(paths);
}

void TfrmMain::DragDropMDrop(const QStringList& paths) {
  if (running_ || adding_ || paths.isEmpty()) return;
  // A dropped folder gives its pictures, searched as the command line does:
  // formats that load, every sub-folder (a linked one once), never the
  // run's output folder; an unreadable sub-folder is passed by.
  QStringList files;
  std::vector<std::string> folders;
  for (const QString& p : paths) {
    const std::string path = ToUtf8(p);
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
      files << p;
      continue;
    }
    const std::string folder = WithTrailingSeparator(path);
    NoteAddedFolder(addedFolders_, settings_, folder);
    folders.push_back(folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder);
  }
  if (!folders.empty()) {
    const bool beside = settings_.PathType == 1;
    const std::string skip = beside ? std::string() : settings_.OutPath;
    std::vector<std::string> found;
    const bool searched = SearchFolders(
        [&](std::vector<std::string>& out, const std::function<bool(size_t)>& goOn) {
          for (const std::string& folder : folders) {
            try {
              FindBatchImageFiles(folder, "*", out, true, skip, goOn);
            } catch (const std::exception&) {
              // What was found before an unreadable part stays.
            }
            if (!goOn(out.size())) return;
          }
        },
        found);
    if (!searched) {
      if (closeAfterRun_ && !running_) close();
      return;
    }
    const QString typed = settingsPanel_->OutputFolderText().trimmed();
    const std::string typedOutput =
        beside || typed.isEmpty() ? std::string() : WithTrailingSeparator(ToUtf8(typed));
    for (const std::string& f : found)
      if (typedOutput.empty() || f.rfind(typedOutput, 0) != 0) files << FromUtf8(f);
  }
  if (!files.isEmpty()) AddImages(files);
}

void TfrmMain::ApplyFailedOnly() {
  const bool only = actFailedOnly->isChecked();
  for (int row = 0; row < RowCount(); ++row)
    ListImgs_->setRowHidden(row, only && RowIcon(row) != kIconFailed);
}

void TfrmMain::actRemoveSelectedExecute() {
  if (running_ || adding_) return;
  if (pages_->currentIndex() == kPageDetails) {
    QList<int> rows;
    for (const QModelIndex& index : ListImgs_->selectionModel()->selectedRows())
      rows << index.row();
    if (rows.isEmpty()) return;
    // From the last row to the first, so that the indexes stay valid.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (const int row : rows) ListImgs_->removeRow(row);
  }
  thumbnailsStale_ = true;
  UpdateCommands();
}

void TfrmMain::actRemoveAllExecute() {
  if (running_ || adding_ || RowCount() == 0) return;
  if (ShowMessage(QMessageBox::Question, UiText(TTextId::CaptionQuestion),
                  WinText(TWinText::RemoveAllQuestion).arg(RowCount()),
                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  ListImgs_->setRowCount(0);
  thumbnailsStale_ = true;
  UpdateCommands();
}

void TfrmMain::ListImgsSelectItem() {
  const QTableWidgetItem* current = ListImgs_->currentItem();
  if (current != nullptr && current->isSelected()) {
    currentImage_ = RowText(current->row());
    const QString reason = current->data(kFailReasonRole).toString();
    ShowRowInStatus(
        UiText(TTextId::StatusFileName), currentImage_,
        reason.isEmpty() ? QString() : QStringLiteral(" - ") + UiText(TTextId::RowFailed) + reason);
  }
  UpdateCommands();
}

void TfrmMain::ApplyCommandState() {
  const bool rows = ListImgs_->rowCount() > 0;
  const bool busy = running_ || adding_;
  for (QAction* a : {actRemoveSelected, actRemoveAll}) a->setEnabled(rows && !busy);
  actDetailsList->setEnabled(rows);
  ApplyViewCommandState(rows, busy);
  actProcess->setEnabled(rows && !busy);
  if (btnToolRun != nullptr) btnToolRun->setEnabled(rows && !busy);
  const bool templateChosen = cbListTpl->currentIndex() >= 0;
  // The editor is a program of its own: it may be started during a run, and
  // its end is taken up once the run is over.
  actTplAdd->setEnabled(true);
  actTplEdit->setEnabled(templateChosen);
  actTplDel->setEnabled(templateChosen && !busy);
  ApplyEditorCommandState();
  // The stop command belongs to the busy state.
  actStop->setEnabled(busy);
  if (btnToolStop != nullptr) btnToolStop->setEnabled(busy);
  for (QAction* a : {actAddFiles, actAddfolders}) a->setEnabled(!busy);
  // A run reads the settings record; it is not edited under it.
  actStandardOption->setEnabled(!busy);
  cbListTpl->setEnabled(!busy);
  abTpl->setEnabled(!busy);
}

void TfrmMain::UpdateCommands() {
  ApplyCommandState();
  if (ListImgs_->rowCount() == 0) addedFolders_.clear();
  // A removed row no longer names the current image.
  if (!currentImage_.isEmpty() && !IsInList(currentImage_)) {
    currentImage_.clear();
    if (StatusText(2).startsWith(UiText(TTextId::StatusFileName)))
      SetStatusText(2, UiText(TTextId::StatusFileName));
  }
  if (!statusRowPath_.isEmpty() && !IsInList(statusRowPath_))
    SetStatusText(2, UiText(TTextId::StatusFileName));
  SetStatusText(1, WinText(TWinText::ImagesTotal).arg(ListImgs_->rowCount()));
}

void TfrmMain::ShowRowInStatus(const QString& caption, const QString& path, const QString& rest) {
  SetStatusText(2, caption + path + rest);
  statusRowPath_ = path;
}

}  // namespace imprimo
