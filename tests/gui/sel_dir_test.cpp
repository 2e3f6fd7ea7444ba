// The folder dialog opened on a folder far down a long list of siblings.
#include "gui/sel_dir.h"

#include <QElapsedTimer>
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
  // folder arrive after the dialog is shown and push it down.
  QElapsedTimer clock;
  clock.start();
  bool seen = false;
  while (clock.elapsed() < 20000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    const QModelIndex current = tree->currentIndex();
    ASSERT_TRUE(current.isValid());
    if (tree->model()->rowCount(current.parent()) >= 300 && InSight(*tree, current)) {
      // Stays in sight once every sibling is there.
      QApplication::processEvents(QEventLoop::AllEvents, 200);
      seen = InSight(*tree, tree->currentIndex());
      if (seen) break;
    }
  }
  EXPECT_TRUE(seen);
  EXPECT_EQ(dialog.Folder(), start);
  // The tree scrolled: the first sibling is out of sight.
  const QModelIndex first = tree->model()->index(0, 0, tree->currentIndex().parent());
  EXPECT_FALSE(InSight(*tree, first));
}

}  // namespace
}  // namespace imprimo::testing_gui
