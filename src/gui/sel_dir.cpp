#include "gui/sel_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QTimer>
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
  resize(360, 440);

  auto* column = new QVBoxLayout(this);
  lbDrive = new QLabel(QStringLiteral("Please select a drive:"), this);
  lbDrive->setObjectName(QStringLiteral("lbDrive"));
  cbDrive = new QComboBox(this);
  cbDrive->setObjectName(QStringLiteral("cbDrive"));
  cbDrive->addItems(MountPoints());
  lbDrive->setBuddy(cbDrive);
  column->addWidget(lbDrive);
  column->addWidget(cbDrive);

  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath(QStringLiteral("/"));
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
  btnCancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  column->addWidget(buttons);

  connect(cbDrive, &QComboBox::activated, this, [this] { cbDriveChange(); });
  connect(model_, &QFileSystemModel::directoryLoaded, this, &TfrmSelDir::ModelDirectoryLoaded);
  SetFolder(startFolder);
  MarkUserItems(*cbDrive);
  MarkUserItems(*cbFilter);
  TranslateWindow(*this, "TfrmSelDir");
}

void TfrmSelDir::cbDriveChange() {
  const QString root = cbDrive->currentText();
  const QModelIndex index = model_->index(root);
  tvFolders->setRootIndex(index);
  tvFolders->setCurrentIndex(QModelIndex());
}

void TfrmSelDir::SetFolder(const QString& folder) {
  QString path =
      WithoutTrailingSlash(QDir::cleanPath(folder.isEmpty() ? QDir::homePath() : folder));
  while (!QFileInfo(path).isDir() && path != QLatin1String("/")) {
    const QString parent = QFileInfo(path).path();
    if (parent == path) break;
    path = parent;
  }
  if (!QFileInfo(path).isDir()) path = QStringLiteral("/");

  // The drive list shows the innermost mount point that holds the folder.
  int best = 0;
  for (int i = 0; i < cbDrive->count(); ++i) {
    const QString root = cbDrive->itemText(i);
    const bool holds =
        root == QLatin1String("/") || path == root || path.startsWith(root + QLatin1Char('/'));
    if (holds && root.size() > cbDrive->itemText(best).size()) best = i;
  }
  cbDrive->setCurrentIndex(best);
  tvFolders->setRootIndex(model_->index(cbDrive->itemText(best)));

  const QModelIndex index = model_->index(path);
  if (!index.isValid()) return;
  tvFolders->setCurrentIndex(index);
  tvFolders->scrollTo(index);
  tvFolders->expand(index);
  startFolder_ = path;
}

void TfrmSelDir::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The tree had no size when the start folder was chosen; it is brought
  // into sight once the dialog is laid out.
  QTimer::singleShot(0, this, [this] {
    const QModelIndex current = tvFolders->currentIndex();
    if (current.isValid()) tvFolders->scrollTo(current, QAbstractItemView::PositionAtCenter);
  });
}

void TfrmSelDir::ModelDirectoryLoaded(const QString& loaded) {
  // The model reads the folders in the background: every folder on the way
  // to the start folder that arrives moves the rows, so the start folder is
  // brought into sight again until the user picks another one.
  if (startFolder_.isEmpty()) return;
  const QModelIndex current = tvFolders->currentIndex();
  if (!current.isValid() || model_->filePath(current) != startFolder_) {
    startFolder_.clear();
    return;
  }
  if (loaded == QLatin1String("/") || startFolder_ == loaded ||
      startFolder_.startsWith(loaded + QLatin1Char('/')))
    tvFolders->scrollTo(current, QAbstractItemView::PositionAtCenter);
}

QString TfrmSelDir::Folder() const {
  const QModelIndex index = tvFolders->currentIndex();
  if (!index.isValid()) return cbDrive->currentText();
  return model_->filePath(index);
}

QString TfrmSelDir::Filter() const { return cbFilter->currentText(); }
void TfrmSelDir::SetFilter(const QString& filter) { cbFilter->setEditText(filter); }
bool TfrmSelDir::IncludeSubFolders() const { return cbSubDir->isChecked(); }
void TfrmSelDir::SetIncludeSubFolders(bool on) { cbSubDir->setChecked(on); }

}  // namespace imprimo
