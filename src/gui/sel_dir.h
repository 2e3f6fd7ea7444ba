// The folder dialog of the add-folder command: a mount point, a folder tree
// under it, a file filter and whether sub-folders are searched.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace imprimo {

class TfrmSelDir : public QDialog {
  Q_OBJECT

 public:
  // startFolder: the folder shown selected at first (ScrPath).
  explicit TfrmSelDir(const QString& startFolder, QWidget* parent = nullptr);

  // The filter items offered, in order; the first is the default.
  static const QStringList& FilterItems();
  // Mount points of real file systems, "/" first, then the others in order.
  static QStringList MountPoints();

  // The folder selected in the tree ("" when none).
  QString Folder() const;
  // Selects folder: its mount point goes into the drive list and the tree
  // opens down to it. A folder that does not exist selects the nearest
  // existing parent.
  void SetFolder(const QString& folder);
  QString Filter() const;
  void SetFilter(const QString& filter);
  bool IncludeSubFolders() const;
  void SetIncludeSubFolders(bool on);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void cbDriveChange();
  void ModelDirectoryLoaded(const QString& loaded);

  QLabel* lbDrive = nullptr;
  QComboBox* cbDrive = nullptr;
  QTreeView* tvFolders = nullptr;
  QFileSystemModel* model_ = nullptr;
  QString startFolder_;  // kept in sight while the model loads it
  QLabel* lbFilter = nullptr;
  QComboBox* cbFilter = nullptr;
  QCheckBox* cbSubDir = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
};

}  // namespace imprimo
