// The folder dialog: a typed path, the tree that follows it, and the start
// folder kept in sight while the tree loads.
#include "gui/sel_dir.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

using SelDirTest = WindowFixture;

// True once the tree shows index inside its visible area.
bool InSight(QTreeView& tree, const QModelIndex& index) {
  const QRect row = tree.visualRect(index);
  return row.isValid() && tree.viewport()->rect().contains(row);
}

TEST_F(SelDirTest, StartFolderIsBroughtIntoSightAfterTheFoldersLoad) {
  const fs::path parent = root_ / "many";
  for (int i = 0; i < 300; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "d%03d", i);
    fs::create_directories(parent / name / "inner");
  }
  const QString start = QString::fromStdString((parent / "d287").string());
  TfrmSelDir dialog(start);
  dialog.resize(400, 360);
  dialog.show();
  auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("tvFolders"));
  ASSERT_NE(tree, nullptr);
  // The model reads the folders in the background; the rows above the start
  // folder arrive after the dialog is shown and push it down. Every arrival
  // brings it back, so once all siblings are there it is in sight and stays.
  const auto settled = [&] {
    const QModelIndex current = tree->currentIndex();
    return current.isValid() && tree->model()->rowCount(current.parent()) >= 300 &&
           InSight(*tree, current);
  };
  ASSERT_TRUE(QTest::qWaitFor(settled, 60000));
  QApplication::processEvents();
  QApplication::sendPostedEvents();
  EXPECT_TRUE(InSight(*tree, tree->currentIndex()));
  EXPECT_TRUE(dialog.KeepsStartFolderInSight());
  EXPECT_EQ(dialog.Folder(), start);
  // The tree scrolled: the first sibling is out of sight.
  const QModelIndex first = tree->model()->index(0, 0, tree->currentIndex().parent());
  EXPECT_FALSE(InSight(*tree, first));
}

TEST_F(SelDirTest, TheFolderCanBeTypedAndFollowsTheTree) {
  fs::create_directories(root_ / "photos" / "2024");
  fs::create_directories(root_ / "photos" / "with blank");
  TfrmSelDir dialog(QString::fromStdString((root_ / "photos").string() + "/"));
  dialog.show();
  auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("edtFolder"));
  auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("tvFolders"));
  auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("btnOK"));
  ASSERT_TRUE(field && tree && ok);
  const QString photos = QString::fromStdString((root_ / "photos").string());
  EXPECT_EQ(field->text(), photos);
  EXPECT_EQ(dialog.Folder(), photos);
  EXPECT_TRUE(ok->isEnabled());
  // No drive is asked for: Linux has one tree.
  for (const QLabel* label : dialog.findChildren<QLabel*>())
    EXPECT_FALSE(label->text().contains(QStringLiteral("drive"), Qt::CaseInsensitive))
        << label->text().toStdString();

  // A typed folder is selected in the tree; a trailing "/" does not matter.
  field->clear();
  QTest::keyClicks(field, photos + QStringLiteral("/with blank/"));
  EXPECT_EQ(dialog.Folder(), photos + QStringLiteral("/with blank"));
  EXPECT_TRUE(ok->isEnabled());
  EXPECT_EQ(tree->currentIndex().data(Qt::DisplayRole).toString(), QStringLiteral("with blank"));
  EXPECT_FALSE(dialog.KeepsStartFolderInSight());

  // A path that names no folder cannot be taken.
  QTest::keyClicks(field, QStringLiteral("missing"));
  EXPECT_EQ(dialog.Folder(), QString());
  EXPECT_FALSE(ok->isEnabled());
  field->setText(QStringLiteral("relative/path"));
  EXPECT_EQ(dialog.Folder(), QString());
  field->setText(QStringLiteral("~"));
  EXPECT_EQ(dialog.Folder(), QDir::homePath());

  // Picking in the tree writes the path field.
  const auto index = [&] {
    return qobject_cast<const QFileSystemModel*>(tree->model())
        ->index(photos + QStringLiteral("/2024"));
  };
  ASSERT_TRUE(index().isValid());
  tree->setCurrentIndex(index());
  EXPECT_EQ(field->text(), photos + QStringLiteral("/2024"));
  EXPECT_EQ(dialog.Folder(), photos + QStringLiteral("/2024"));
  EXPECT_TRUE(ok->isEnabled());
}

}  // namespace
}  // namespace imprimo::testing_gui
