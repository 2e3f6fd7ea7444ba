// The main window as a new user first meets it: its first size, the image
// list's menu, the status bar after removals and the first output folder.
#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>
#include <cstdlib>

#include "app/settings.h"
#include "gui/sel_dir.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

using WindowFaultsTest = WindowFixture;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    had_ = std::getenv(name) != nullptr;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      ::setenv(name_, old_.c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST_F(WindowFaultsTest, FirstSizeShowsPathsAndTheWholePanel) {
  const fs::path data = fs::path(IMPRIMO_SOURCE_DIR) / "data";
  WriteTemplate();
  const std::string in = (root_ / "My Holiday Pictures").string() + "/";
  QStringList paths;
  for (const char* name : {"beach.jpg", "harbour at dusk.png"}) {
    WriteImage(in + name, 640, 480, std::string(name).ends_with("png") ? "PNG" : "JPEG");
    paths << QString::fromStdString(in + name);
  }
  TfrmMain& w = Open();
  // The first size a new user gets: the designed one, grown as far as the
  // whole panel needs.
  const QSize first = w.size();
  const TProgramValues defaults;
  EXPECT_EQ(first.width(), defaults.WinWidth);
  EXPECT_GE(first.height(), defaults.WinHeight);
  w.DragDropMDrop(paths);
  QApplication::processEvents();

  QTableWidget* list = w.ListImgs();
  const int available = list->viewport()->width();
  EXPECT_GE(list->columnWidth(0), available * 9 / 20);
  int total = 0;
  for (int c = 0; c < 6; ++c) total += list->columnWidth(c);
  EXPECT_EQ(total, available);
  // A wider window gives the short columns their full headings and the
  // path the rest.
  w.resize(1400, 700);
  QApplication::processEvents();
  const QFontMetrics header(list->horizontalHeader()->font());
  EXPECT_GT(list->columnWidth(2), header.horizontalAdvance(QStringLiteral("Original Dimension")));
  EXPECT_GT(list->columnWidth(0), list->viewport()->width() / 2);
  // Back to the first size a new user gets.
  w.resize(first);
  QApplication::processEvents();

  // The settings panel fits without scrolling.
  auto* panel = w.findChild<QScrollArea*>("plLeft");
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(panel->verticalScrollBar()->isVisible())
      << panel->widget()->minimumSizeHint().height() << " > " << panel->viewport()->height();

  // The Options button shows no information sign.
  const QImage options =
      w.findChild<QAction*>("actStandardOption")->icon().pixmap(32, 32).toImage();
  EXPECT_FALSE(options.isNull());
  for (const QStyle::StandardPixmap info :
       {QStyle::SP_FileDialogInfoView, QStyle::SP_MessageBoxInformation})
    EXPECT_NE(options, w.style()->standardIcon(info).pixmap(32, 32).toImage());

  if (const char* dir = std::getenv("IMPRIMO_SCREENS_DIR")) {
    EXPECT_TRUE(
        w.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/main-window-default.png")));
  }
}

TEST_F(WindowFaultsTest, ImageMenuHoldsTheImageCommandsAndRemovingClearsTheStatus) {
  const std::string in = (root_ / "in").string() + "/";
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) WriteImage(in + name, 20, 20, "JPEG");
  TfrmMain& w = Open();
  w.DragDropMDrop({QString::fromStdString(in + "a.jpg"), QString::fromStdString(in + "b.jpg"),
                   QString::fromStdString(in + "c.jpg")});

  QStringList entries;
  for (QAction* item : w.findChild<QMenu*>("pMenuImg")->actions())
    entries << (item->isSeparator() ? QStringLiteral("-") : item->text().section('\t', 0, 0));
  EXPECT_EQ(entries,
            (QStringList{"Preview Result", "Image Editor", "-", "Detail List", "View Thumbnail",
                         "-", "Remove Selected Images", "Remove All Images"}));

  // Removing the row the status bar names empties it; removing another row
  // leaves it.
  w.ListImgs()->selectRow(1);
  EXPECT_EQ(w.StatusText(2), QStringLiteral("File name: ") + QString::fromStdString(in + "b.jpg"));
  // Only the first row selected; the current row stays the second.
  w.ListImgs()->selectionModel()->select(
      w.ListImgs()->model()->index(0, 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  w.findChild<QAction*>("actRemoveSelected")->trigger();
  ASSERT_EQ(w.RowCount(), 2);
  EXPECT_EQ(w.StatusText(2), QStringLiteral("File name: ") + QString::fromStdString(in + "b.jpg"));
  w.ListImgs()->clearSelection();
  w.ListImgs()->selectRow(0);
  EXPECT_EQ(w.StatusText(2), QStringLiteral("File name: ") + QString::fromStdString(in + "b.jpg"));
  w.findChild<QAction*>("actRemoveSelected")->trigger();
  EXPECT_EQ(w.RowCount(), 1);
  EXPECT_EQ(w.StatusText(2), QStringLiteral("File name: "));
  EXPECT_TRUE(w.CurrentImage().isEmpty());

  w.ListImgs()->selectRow(0);
  answers_.push_back(QMessageBox::Yes);
  w.findChild<QAction*>("actRemoveAll")->trigger();
  EXPECT_EQ(w.RowCount(), 0);
  EXPECT_EQ(w.StatusText(2), QStringLiteral("File name: "));
}

TEST_F(WindowFaultsTest, DefaultOutputFolderIsInThePicturesFolderAndMadeAtTheFirstRun) {
  const std::string home = (root_ / "home").string();
  fs::create_directories(home);
  ScopedEnv homeEnv("HOME", home);
  ScopedEnv configEnv("XDG_CONFIG_HOME", (root_ / "config").string());
  EXPECT_EQ(DefaultOutputFolder(), home + "/Pictures/Imprimo/");
  // The desktop's own pictures folder, and one that names the home folder.
  WriteText((root_ / "config" / "user-dirs.dirs").string(),
            "# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
            "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  EXPECT_EQ(DefaultOutputFolder(), home + "/Bilder/Imprimo/");
  WriteText((root_ / "config" / "user-dirs.dirs").string(), "XDG_PICTURES_DIR=\"$HOME/\"\n");
  EXPECT_EQ(DefaultOutputFolder(), home + "/Pictures/Imprimo/");

  // Nothing is made at start-up; the first run makes the folder.
  WriteTemplate();
  const std::string in = (root_ / "in").string() + "/";
  WriteImage(in + "a.jpg", 20, 20, "JPEG");
  TfrmMain& w = Open();
  EXPECT_EQ(w.findChild<QLineEdit*>("edtOutPath")->text().toStdString(),
            home + "/Pictures/Imprimo/");
  EXPECT_FALSE(fs::exists(home + "/Pictures"));
  w.DragDropMDrop({QString::fromStdString(in + "a.jpg")});
  w.findChild<QAction*>("actProcess")->trigger();
  EXPECT_EQ(w.RowIcon(0), 1);
  EXPECT_TRUE(fs::exists(home + "/Pictures/Imprimo/a.jpg"));
  EXPECT_FALSE(fs::exists(home + "/a.jpg"));

  // Any other missing folder is still refused.
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(home + "/missing/"));
  messages_.clear();
  w.findChild<QAction*>("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Error"));
  EXPECT_FALSE(fs::exists(home + "/missing"));
}

TEST_F(WindowFaultsTest, FolderDialogBringsItsStartFolderIntoSight) {
  EnsureApplication();
  // Many folders before the start folder, so that it lies far down the tree.
  const fs::path base = root_ / "tree";
  for (int i = 0; i < 120; ++i)
    fs::create_directories(base / ("folder" + std::to_string(1000 + i)));
  const fs::path start = base / "folder1119" / "inner" / "deeper";
  fs::create_directories(start);
  for (int i = 0; i < 60; ++i)
    fs::create_directories(base / "folder1119" / ("a" + std::to_string(i)));
  TfrmSelDir dialog(QString::fromStdString(start.string()));
  dialog.resize(360, 440);
  dialog.show();
  auto* tree = dialog.findChild<QTreeView*>("tvFolders");
  ASSERT_NE(tree, nullptr);
  const auto visible = [&] {
    const QModelIndex current = tree->currentIndex();
    if (!current.isValid()) return false;
    const QRect rect = tree->visualRect(current);
    return rect.isValid() && tree->viewport()->rect().contains(rect.center());
  };
  EXPECT_TRUE(QTest::qWaitFor(visible, 10000));
  EXPECT_EQ(dialog.Folder().toStdString(), start.string());
}

}  // namespace
}  // namespace imprimo::testing_gui
