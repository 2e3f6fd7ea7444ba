// The folder dialog of the add-folder command: a folder path that can be
// typed, places to jump to, the folder tree, a file filter and whether
// sub-folders are searched.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
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

  // The folder in the path field, without a trailing "/" ("" when the
  // field does not name an existing folder).
  QString Folder() const;
  // Shows folder in the path field and opens the tree down to it. A folder
  // that does not exist selects the nearest existing parent.
  void SetFolder(const QString& folder);
  // True while the start folder is kept in sight: until the user picks,
  // types or scrolls.
  bool KeepsStartFolderInSight() const { return !startFolder_.isEmpty(); }
  QString Filter() const;
  void SetFilter(const QString& filter);
  bool IncludeSubFolders() const;
  void SetIncludeSubFolders(bool on);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void cbDriveChange();
  void edtFolderEdited(const QString& text);
  void TreeCurrentChanged();
  // Selects path in the tree without touching the path field.
  void SelectInTree(const QString& path);
  void BringStartFolderIntoSight();
  void UpdateOkButton();

  QLabel* lbDrive = nullptr;
  QLineEdit* edtFolder = nullptr;
  QComboBox* cbDrive = nullptr;  // places: home and the mount points
  QTreeView* tvFolders = nullptr;
  QFileSystemModel* model_ = nullptr;
  QString startFolder_;  // kept in sight while the model loads it
  bool settingFolder_ = false;
  QLabel* lbFilter = nullptr;
  QComboBox* cbFilter = nullptr;
  QCheckBox* cbSubDir = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
};

}  // namespace imprimo
