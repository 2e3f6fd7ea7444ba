#include "gui/sel_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

#include "gui/form_translation.h"

namespace imprimo {

namespace {

// File systems that hold no user files.
bool IsPseudoFileSystem(const QByteArray& type) {
  static const char* const kPseudo[] = {
      "proc",   "sysfs",   "devtmpfs",    "devpts",     "cgroup",    "cgroup2",  "securityfs",
      "pstore", "debugfs", "tracefs",     "mqueue",     "hugetlbfs", "configfs", "fusectl",
      "bpf",    "autofs",  "binfmt_misc", "rpc_pipefs", "nsfs",      "efivarfs", "squashfs"};
  for (const char* p : kPseudo)
    if (type == p) return true;
  return false;
}

QString WithoutTrailingSlash(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

}  // namespace

const QStringList& TfrmSelDir::FilterItems() {
  static const QStringList items = {
      "*.*",   "*.jpg",  "*.jif",  "*.jpe", "*.jfif", "*.jpeg", "*.bsi", "*.rci",
      "*.cif", "*.img",  "*.dag",  "*.xpm", "*.pcx",  "*.pdd",  "*.psd", "*.jpc",
      "*.jpx", "*.j2c",  "*.j2k",  "*.jp2", "*.pbm",  "*.pgm",  "*.ppm", "*.pam",
      "*.pfm", "*.tga",  "*.dds",  "*.gif", "*.png",  "*.mng",  "*.jng", "*.dib",
      "*.bmp", "*.heic", "*.heif", "*.hif", "*.avif", "*.webp", "*.tif", "*.tiff"};
  return items;
}

QStringList TfrmSelDir::MountPoints() {
  QStringList points{QStringLiteral("/")};
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || IsPseudoFileSystem(volume.fileSystemType())) continue;
    const QString root = volume.rootPath();
    // Mounts under the system's own folders are not places for pictures.
    if (root.startsWith(QLatin1String("/proc")) || root.startsWith(QLatin1String("/sys")) ||
        root.startsWith(QLatin1String("/dev")) || root.startsWith(QLatin1String("/run/user")) ||
        root == QLatin1String("/run") || root.startsWith(QLatin1String("/boot")))
      continue;
    if (!points.contains(root)) points << root;
  }
  const QString home = QDir::homePath();
  if (!points.contains(home)) points << home;
  return points;
}

TfrmSelDir::TfrmSelDir(const QString& startFolder, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmSelDir"));
  setWindowTitle(QStringLiteral("Select a Folder"));
  setSizeGripEnabled(true);

  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath(QStringLiteral("/"));

  // The path field takes a typed or pasted path ("~" is the home folder)
  // and completes folder names; the places list jumps to home or a mount.
  auto* column = new QVBoxLayout(this);
  lbDrive = new QLabel(QStringLiteral("&Folder:"), this);
  lbDrive->setObjectName(QStringLiteral("lbDrive"));
  edtFolder = new QLineEdit(this);
  edtFolder->setObjectName(QStringLiteral("edtFolder"));
  edtFolder->setClearButtonEnabled(true);
  auto* completer = new QCompleter(model_, this);
  completer->setCompletionMode(QCompleter::PopupCompletion);
  edtFolder->setCompleter(completer);
  lbDrive->setBuddy(edtFolder);
  cbDrive = new QComboBox(this);
  cbDrive->setObjectName(QStringLiteral("cbDrive"));
  cbDrive->setToolTip(QStringLiteral("Places"));
  QStringList places{QDir::homePath()};
  for (const QString& point : MountPoints())
    if (!places.contains(point)) places << point;
  cbDrive->addItems(places);
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(lbDrive);
  pathRow->addWidget(edtFolder, 1);
  pathRow->addWidget(cbDrive);
  column->addLayout(pathRow);

  tvFolders = new QTreeView(this);
  tvFolders->setObjectName(QStringLiteral("tvFolders"));
  tvFolders->setModel(model_);
  for (int c = 1; c < model_->columnCount(); ++c) tvFolders->hideColumn(c);
  tvFolders->setHeaderHidden(true);
  tvFolders->setSelectionMode(QAbstractItemView::SingleSelection);
  tvFolders->setSortingEnabled(true);
  tvFolders->sortByColumn(0, Qt::AscendingOrder);
  column->addWidget(tvFolders, 1);

  lbFilter = new QLabel(QStringLiteral("Select type of filter:"), this);
  lbFilter->setObjectName(QStringLiteral("lbFilter"));
  cbFilter = new QComboBox(this);
  cbFilter->setObjectName(QStringLiteral("cbFilter"));
  cbFilter->setEditable(true);
  cbFilter->setInsertPolicy(QComboBox::NoInsert);
  cbFilter->addItems(FilterItems());
  cbFilter->setCurrentIndex(0);
  cbFilter->setToolTip(
      QStringLiteral("*.* takes the pictures of every format that can be read; masks such as "
                     "*.jpg;*.png take the files they match"));
  lbFilter->setBuddy(cbFilter);
  column->addWidget(lbFilter);
  column->addWidget(cbFilter);

  cbSubDir = new QCheckBox(QStringLiteral("Include Sub-Directory"), this);
  cbSubDir->setObjectName(QStringLiteral("cbSubDir"));
  cbSubDir->setChecked(true);
  column->addWidget(cbSubDir);

  auto* buttons = new QDialogButtonBox(this);
  btnOK = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  btnCancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  column->addWidget(buttons);

  connect(cbDrive, &QComboBox::activated, this, [this] { cbDriveChange(); });
  connect(edtFolder, &QLineEdit::textEdited, this, &TfrmSelDir::edtFolderEdited);
  connect(tvFolders->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TfrmSelDir::TreeCurrentChanged);
  // The model reads folders in the background and sorts them later: each
  // arrival may move the rows, so the start folder is brought into sight
  // again until the user picks, types or scrolls.
  connect(model_, &QFileSystemModel::directoryLoaded, this, &TfrmSelDir::BringStartFolderIntoSight);
  connect(model_, &QAbstractItemModel::layoutChanged, this, &TfrmSelDir::BringStartFolderIntoSight);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &TfrmSelDir::BringStartFolderIntoSight);
  connect(tvFolders->verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this] { startFolder_.clear(); });
  SetFolder(startFolder);
  MarkUserItems(*cbDrive);
  MarkUserItems(*cbFilter);
  TranslateWindow(*this, "TfrmSelDir");
  // Wide enough for the translated texts and a long path.
  resize(QSize(fontMetrics().averageCharWidth() * 60, fontMetrics().height() * 28)
             .expandedTo(sizeHint()));
}

void TfrmSelDir::cbDriveChange() { SetFolder(cbDrive->currentText()); }

void TfrmSelDir::SetFolder(const QString& folder) {
  QString path =
      WithoutTrailingSlash(QDir::cleanPath(folder.isEmpty() ? QDir::homePath() : folder));
  while (!QFileInfo(path).isDir() && path != QLatin1String("/")) {
    const QString parent = QFileInfo(path).path();
    if (parent == path) break;
    path = parent;
  }
  if (!QFileInfo(path).isDir()) path = QStringLiteral("/");

  // The places list shows the innermost place that holds the folder.
  int best = -1;
  for (int i = 0; i < cbDrive->count(); ++i) {
    const QString root = cbDrive->itemText(i);
    const bool holds =
        root == QLatin1String("/") || path == root || path.startsWith(root + QLatin1Char('/'));
    if (holds && (best < 0 || root.size() > cbDrive->itemText(best).size())) best = i;
  }
  cbDrive->setCurrentIndex(best);

  edtFolder->setText(path);
  SelectInTree(path);
  const QModelIndex index = model_->index(path);
  if (index.isValid()) tvFolders->expand(index);
  startFolder_ = path;
  UpdateOkButton();
}

void TfrmSelDir::SelectInTree(const QString& path) {
  const QModelIndex index = model_->index(path);
  if (!index.isValid()) return;
  settingFolder_ = true;
  tvFolders->setCurrentIndex(index);
  settingFolder_ = false;
  tvFolders->scrollTo(index);
}

void TfrmSelDir::edtFolderEdited(const QString& text) {
  startFolder_.clear();
  Q_UNUSED(text);
  const QString typed = Folder();
  if (!typed.isEmpty()) SelectInTree(typed);
  UpdateOkButton();
}

void TfrmSelDir::TreeCurrentChanged() {
  if (settingFolder_) return;
  startFolder_.clear();
  const QModelIndex current = tvFolders->currentIndex();
  if (current.isValid()) edtFolder->setText(model_->filePath(current));
  UpdateOkButton();
}

void TfrmSelDir::UpdateOkButton() { btnOK->setEnabled(!Folder().isEmpty()); }

void TfrmSelDir::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The tree had no size when the start folder was chosen.
  BringStartFolderIntoSight();
}

void TfrmSelDir::BringStartFolderIntoSight() {
  if (startFolder_.isEmpty()) return;
  const QModelIndex index = model_->index(startFolder_);
  if (!index.isValid()) return;
  if (tvFolders->currentIndex() != index) {
    settingFolder_ = true;
    tvFolders->setCurrentIndex(index);
    settingFolder_ = false;
  }
  tvFolders->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

QString TfrmSelDir::Folder() const {
  QString text = edtFolder->text().trimmed();
  if (text == QLatin1String("~") || text.startsWith(QLatin1String("~/")))
    text = QDir::homePath() + text.mid(1);
  if (text.isEmpty() || !QDir::isAbsolutePath(text)) return {};
  const QString path = WithoutTrailingSlash(QDir::cleanPath(text));
  return QFileInfo(path).isDir() ? path : QString();
}

QString TfrmSelDir::Filter() const { return cbFilter->currentText(); }
void TfrmSelDir::SetFilter(const QString& filter) { cbFilter->setEditText(filter); }
bool TfrmSelDir::IncludeSubFolders() const { return cbSubDir->isChecked(); }
void TfrmSelDir::SetIncludeSubFolders(bool on) { cbSubDir->setChecked(on); }

}  // namespace imprimo
