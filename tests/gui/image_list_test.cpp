// Filling and emptying the main window's image list.
#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <set>

#include "app/settings.h"
#include "gui/sel_dir.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

using ImageListTest = WindowFixture;

QStringList Q(std::initializer_list<std::string> paths) {
  QStringList list;
  for (const std::string& p : paths) list << QString::fromStdString(p);
  return list;
}

TEST_F(ImageListTest, RowsAreUniqueByExactPathSortedAndDescribed) {
  const std::string in = (root_ / "in").string() + "/";
  WriteImage(in + "b.jpg", 40, 30, "JPEG");
  WriteImage(in + "a.png", 40, 30, "PNG");
  WriteImage(in + "B.JPG", 40, 30, "JPEG");
  WriteText(in + "notes.jpg", "just some text, not a picture");
  WriteImage(in + "photo.png", 40, 30, "JPEG");  // a JPEG behind the wrong extension
  TfrmMain& w = Open();

  w.DragDropMDrop(Q({in + "b.jpg", in + "a.png", in + "b.jpg", in + "notes.jpg"}));
  w.DragDropMDrop(Q({in + "b.jpg", in + "B.JPG", in + "photo.png", in + "missing.bmp"}));
  // The same path once; another letter case is another row. Rows follow the
  // path order whatever order they came in.
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{in + "B.JPG", in + "a.png", in + "b.jpg", in + "missing.bmp",
                                      in + "notes.jpg", in + "photo.png"}));
  EXPECT_EQ(Icons(), std::vector<int>(6, 2));
  EXPECT_EQ(w.RowColumn(2, 0), QStringLiteral("JPG"));
  EXPECT_EQ(w.RowColumn(1, 0), QStringLiteral("PNG"));
  EXPECT_EQ(w.RowColumn(4, 0), QStringLiteral("UNKNOWN"));
  EXPECT_EQ(w.RowColumn(5, 0), QStringLiteral("JPG"));
  EXPECT_EQ(w.RowColumn(3, 2), QStringLiteral("0.0 KB")) << "a missing file has no bytes";
  EXPECT_FALSE(w.RowColumn(2, 2).isEmpty());
  for (int c : {1, 3, 4}) EXPECT_TRUE(w.RowColumn(2, c).isEmpty()) << c;
  EXPECT_EQ(w.StatusText(1), QStringLiteral("Images: 6"));
  EXPECT_EQ(w.Pages()->currentIndex(), TfrmMain::kPageDetails);
  EXPECT_TRUE(w.ThumbnailsStale());
  // Drops leave the added folders and the start folder alone.
  EXPECT_TRUE(w.AddedFolders().empty());
  EXPECT_EQ(w.Settings().ScrPath, DefaultUserFolder());
  EXPECT_TRUE(w.findChild<QAction*>("actProcess")->isEnabled());
  EXPECT_FALSE(w.findChild<QWidget*>("plProgress")->isVisible());

  auto* list = w.ListImgs();
  EXPECT_EQ(list->columnCount(), 6);
  EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QStringLiteral("File Name"));
  EXPECT_EQ(list->horizontalHeaderItem(2)->text(), QStringLiteral("Original Dimension"));
  // At the window's first size the path column has about half the list;
  // the short columns give way and show their full headings as tool tips.
  EXPECT_GE(list->columnWidth(0), list->viewport()->width() * 9 / 20);
  EXPECT_EQ(list->horizontalHeaderItem(2)->toolTip(), QStringLiteral("Original Dimension"));
  // The first column takes the rest of the list's width.
  int total = 0;
  for (int c = 0; c < 6; ++c) total += list->columnWidth(c);
  EXPECT_EQ(total, list->viewport()->width());
}

TEST_F(ImageListTest, AddFolderSearchesWithTheFilterAndSubFolders) {
  const std::string trip = (root_ / "trip").string() + "/";
  WriteImage(trip + "z.jpg", 20, 20, "JPEG");
  WriteImage(trip + "a.png", 20, 20, "PNG");
  WriteImage(trip + "day1/m.jpg", 20, 20, "JPEG");
  WriteImage(trip + "day1/deep/n.JPG", 20, 20, "JPEG");
  fs::create_directories(root_ / "empty");
  TfrmMain& w = Open();

  QString startFolder;
  QString filter = QStringLiteral("*.jpg");
  bool subFolders = true;
  std::string pick = trip;
  TMainDialogs dialogs;
  dialogs.MessageBox = [](QMessageBox::Icon, const QString&, const QString&,
                          QMessageBox::StandardButtons) { return int(QMessageBox::No); };
  dialogs.SelectFolder = [&](TfrmSelDir& d) {
    // Every dialog starts from the defaults, in the last folder added from.
    EXPECT_EQ(d.Filter(), QStringLiteral("*.*"));
    EXPECT_TRUE(d.IncludeSubFolders());
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Select a Folder"));
    startFolder = d.Folder();
    d.SetFolder(QString::fromStdString(pick));
    d.SetFilter(filter);
    d.SetIncludeSubFolders(subFolders);
    return true;
  };
  w.SetDialogs(dialogs);

  w.findChild<QAction*>("actAddfolders")->trigger();
  EXPECT_EQ(Rows(), (std::vector<std::string>{trip + "day1/deep/n.JPG", trip + "day1/m.jpg",
                                              trip + "z.jpg"}));
  EXPECT_EQ(w.AddedFolders(), std::vector<std::string>{trip});
  EXPECT_EQ(w.Settings().ScrPath, trip);

  // Without sub-folders only the folder's own files; the folder is noted again.
  filter = QStringLiteral("*.*");
  subFolders = false;
  w.findChild<QAction*>("actAddfolders")->trigger();
  EXPECT_EQ(startFolder + "/", QString::fromStdString(trip));
  EXPECT_EQ(Rows(), (std::vector<std::string>{trip + "a.png", trip + "day1/deep/n.JPG",
                                              trip + "day1/m.jpg", trip + "z.jpg"}));
  EXPECT_EQ(w.AddedFolders(), (std::vector<std::string>{trip, trip}));

  // A search that finds nothing still notes the folder and moves ScrPath.
  pick = (root_ / "empty").string();
  w.findChild<QAction*>("actAddfolders")->trigger();
  EXPECT_EQ(w.RowCount(), 4);
  EXPECT_EQ(w.AddedFolders().back(), pick + "/");
  EXPECT_EQ(w.Settings().ScrPath, pick + "/");

  // Cancel changes nothing.
  dialogs.SelectFolder = [](TfrmSelDir&) { return false; };
  w.SetDialogs(dialogs);
  w.findChild<QAction*>("actAddfolders")->trigger();
  EXPECT_EQ(w.AddedFolders().size(), 3u);
}

TEST_F(ImageListTest, AddFolderLeavesOutTheOutputFolderInsideIt) {
  const std::string trip = (root_ / "trip").string() + "/";
  WriteImage(trip + "a.jpg", 20, 20, "JPEG");
  WriteImage(trip + "wm/a.jpg", 20, 20, "JPEG");
  WriteImage(trip + "wm/wm/a.jpg", 20, 20, "JPEG");
  WriteImage(trip + "wmx/b.jpg", 20, 20, "JPEG");
  TfrmMain& w = Open();
  TMainDialogs dialogs;
  dialogs.SelectFolder = [&](TfrmSelDir& d) {
    d.SetFolder(QString::fromStdString(trip));
    d.SetIncludeSubFolders(true);
    return true;
  };
  w.SetDialogs(dialogs);

  // Outputs of earlier runs in the chosen output folder are not taken again;
  // a folder that only starts with the same name is.
  w.Settings().PathType = 2;
  w.Settings().OutPath = trip + "wm";
  w.findChild<QAction*>("actAddfolders")->trigger();
  EXPECT_EQ(Rows(), (std::vector<std::string>{trip + "a.jpg", trip + "wmx/b.jpg"}));

  // Writing beside the sources names no output folder: everything is taken.
  answers_.push_back(QMessageBox::Yes);
  w.findChild<QAction*>("actRemoveAll")->trigger();
  w.Settings().PathType = 1;
  w.findChild<QAction*>("actAddfolders")->trigger();
  EXPECT_EQ(w.RowCount(), 4);
}

TEST_F(ImageListTest, AddFilesStartsInScrPathAndNotesTheFirstFilesFolder) {
  const std::string in = (root_ / "in").string() + "/";
  WriteImage(in + "x.jpg", 20, 20, "JPEG");
  WriteImage(in + "y.bmp", 20, 20, "BMP");
  TfrmMain& w = Open();
  w.Settings().ScrPath = out_;
  QString start, filters;
  TMainDialogs dialogs;
  dialogs.OpenFiles = [&](const QString& s, const QString& f) {
    start = s;
    filters = f;
    return Q({in + "y.bmp", in + "x.jpg"});
  };
  w.SetDialogs(dialogs);
  w.findChild<QAction*>("actAddFiles")->trigger();
  EXPECT_EQ(start.toStdString(), out_);
  EXPECT_TRUE(filters.startsWith(QStringLiteral("All Image Files  (*.bsi *.rci")))
      << filters.toStdString();
  EXPECT_TRUE(filters.contains(QStringLiteral("Daggerfall Image (*.img) (*.img)")));
  EXPECT_EQ(filters.count(QStringLiteral(";;")), 21);
  EXPECT_TRUE(filters.contains(QStringLiteral("WebP Image (*.webp) (*.webp)")));
  EXPECT_EQ(Rows(), (std::vector<std::string>{in + "x.jpg", in + "y.bmp"}));
  EXPECT_EQ(w.RowColumn(1, 0), QStringLiteral("BMP"));
  EXPECT_EQ(w.AddedFolders(), std::vector<std::string>{in});
  EXPECT_EQ(w.Settings().ScrPath, in);
  EXPECT_EQ(w.findChild<QAction*>("actAddFiles")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(w.findChild<QAction*>("actAddfolders")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
  EXPECT_EQ(w.findChild<QAction*>("actRemoveAll")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
}

TEST_F(ImageListTest, RemovingSelectedRowsAndAllRows) {
  const std::string in = (root_ / "in").string() + "/";
  for (const char* n : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) WriteImage(in + n, 16, 16, "JPEG");
  TfrmMain& w = Open();
  TMainDialogs dialogs;
  dialogs.OpenFiles = [&](const QString&, const QString&) {
    return Q({in + "1.jpg", in + "2.jpg", in + "3.jpg", in + "4.jpg"});
  };
  w.SetDialogs(dialogs);
  w.findChild<QAction*>("actAddFiles")->trigger();
  ASSERT_EQ(w.RowCount(), 4);

  QTableWidget* list = w.ListImgs();
  list->selectRow(1);
  EXPECT_EQ(w.CurrentImage().toStdString(), in + "2.jpg");
  EXPECT_EQ(w.StatusText(2).toStdString(), "File name: " + in + "2.jpg");
  list->selectionModel()->select(list->model()->index(3, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(Rows(), (std::vector<std::string>{in + "1.jpg", in + "3.jpg"}));
  EXPECT_EQ(w.StatusText(1), QStringLiteral("Images: 2"));

  // Nothing selected: nothing removed.
  list->clearSelection();
  w.findChild<QAction*>("actRemoveSelected")->trigger();
  EXPECT_EQ(w.RowCount(), 2);

  // Remove All asks first: No keeps the rows.
  messages_.clear();
  w.findChild<QAction*>("actRemoveAll")->trigger();
  EXPECT_EQ(w.RowCount(), 2);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("2"))) << messages_[0].text.toStdString();
  answers_.push_back(QMessageBox::Yes);
  w.findChild<QAction*>("actRemoveAll")->trigger();
  EXPECT_EQ(w.RowCount(), 0);
  EXPECT_TRUE(w.AddedFolders().empty());
  EXPECT_EQ(w.StatusText(1), QStringLiteral("Images: 0"));
  for (const char* name : {"actProcess", "actRemoveAll", "actRemoveSelected", "actDetailsList"})
    EXPECT_FALSE(w.findChild<QAction*>(name)->isEnabled()) << name;
  EXPECT_FALSE(w.findChild<QAction*>("btnToolRun")->isEnabled());
}

TEST_F(ImageListTest, AddingShowsProgressAndStopsWhenAsked) {
  const std::string in = (root_ / "in").string() + "/";
  QStringList paths;
  for (int i = 0; i < 8; ++i) {
    const std::string p = in + "p" + std::to_string(i) + ".bmp";
    WriteImage(p, 8, 8, "BMP");
    paths << QString::fromStdString(p);
  }
  TfrmMain& w = Open();
  auto* bar = w.findChild<QProgressBar*>("pbM");
  std::vector<int> values;
  bool stopEnabled = false, addEnabled = true;
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) {
    values.push_back(v);
    if (v == 0) return;
    stopEnabled = w.findChild<QAction*>("actStop")->isEnabled();
    addEnabled = w.findChild<QAction*>("actAddFiles")->isEnabled();
    EXPECT_TRUE(w.findChild<QWidget*>("plProgress")->isVisible());
  });
  w.DragDropMDrop(paths);
  EXPECT_EQ(values, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
  EXPECT_TRUE(stopEnabled);
  EXPECT_FALSE(addEnabled);
  EXPECT_FALSE(w.findChild<QAction*>("actStop")->isEnabled());
  EXPECT_TRUE(w.findChild<QAction*>("actAddFiles")->isEnabled());
  EXPECT_EQ(bar->text(), QStringLiteral("Progress...[100%]"));

  // Stop pressed while the third new row goes in: the add ends there.
  answers_.push_back(QMessageBox::Yes);
  w.findChild<QAction*>("actRemoveAll")->trigger();
  QObject::connect(w.ListImgs()->model(), &QAbstractItemModel::rowsInserted, [&] {
    if (w.RowCount() == 3) w.findChild<QAction*>("actStop")->trigger();
  });
  w.DragDropMDrop(paths);
  EXPECT_EQ(w.RowCount(), 3);
  EXPECT_FALSE(w.findChild<QWidget*>("plProgress")->isVisible());
}

TEST_F(ImageListTest, FolderDialogOffersMountPointsAndTheFilterList) {
  TfrmSelDir d(QString::fromStdString((root_ / "nowhere" / "deeper").string()));
  // A folder that does not exist opens its nearest existing parent.
  EXPECT_EQ(d.Folder().toStdString(), root_.string());
  const QStringList points = TfrmSelDir::MountPoints();
  ASSERT_FALSE(points.isEmpty());
  EXPECT_EQ(points.first(), QStringLiteral("/"));
  EXPECT_FALSE(points.contains(QStringLiteral("/proc")));
  const QStringList& filters = TfrmSelDir::FilterItems();
  EXPECT_EQ(filters.size(), 40);
  EXPECT_EQ(filters.first(), QStringLiteral("*.*"));
  EXPECT_EQ(filters[32], QStringLiteral("*.bmp"));
  for (const char* mask : {"*.heic", "*.heif", "*.hif", "*.avif", "*.webp", "*.tif", "*.tiff"})
    EXPECT_TRUE(filters.contains(QLatin1String(mask))) << mask;
  d.SetFilter(QStringLiteral("*.jp*"));  // typed by the user
  EXPECT_EQ(d.Filter(), QStringLiteral("*.jp*"));
  EXPECT_NE(d.findChild<QWidget*>("cbSubDir"), nullptr);

  // Opened on an existing folder, the tree selects it under its mount point.
  TfrmSelDir home(QString::fromStdString(root_.string() + "/"));
  EXPECT_EQ(home.Folder().toStdString(), root_.string());
  if (const char* dir = std::getenv("IMPRIMO_SCREENS_DIR")) {
    home.show();
    QApplication::processEvents();
    EXPECT_TRUE(
        home.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/select-folder.png")));
  }
}

TEST_F(ImageListTest, FilesAndFoldersDroppedOnThePagesBecomeRows) {
  const std::string in = (root_ / "in").string() + "/";
  WriteImage(in + "a.jpg", 16, 16, "JPEG");
  WriteImage(in + "sub/b.png", 16, 16, "PNG");
  TfrmMain& w = Open();
  QWidget* pages = w.Pages();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(in + "a.jpg")),
                QUrl::fromLocalFile(QString::fromStdString(in + "sub")),
                QUrl(QStringLiteral("https://example.org/remote.jpg"))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(pages, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(pages, &drop);
  EXPECT_TRUE(drop.isAccepted());
  // A dropped folder gives its pictures; addresses that are not local
  // files are left out.
  QTRY_COMPARE_WITH_TIMEOUT(w.RowCount(), 2, 10000);
  EXPECT_EQ(Rows(), (std::vector<std::string>{in + "a.jpg", in + "sub/b.png"}));
  EXPECT_EQ(w.RowColumn(1, 0), QStringLiteral("PNG"));
  EXPECT_EQ(w.AddedFolders(), std::vector<std::string>{in + "sub/"});
}

TEST_F(ImageListTest, ShortcutsReachTheCommandsFromTheWindow) {
  const std::string in = (root_ / "in").string() + "/";
  WriteImage(in + "a.jpg", 16, 16, "JPEG");
  WriteTemplate();
  TfrmMain& w = Open();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.DragDropMDrop({QString::fromStdString(in + "a.jpg")});
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));
  w.ListImgs()->setFocus();
  QTest::keyClick(&w, Qt::Key_F9);
  EXPECT_EQ(w.RowIcon(0), 1);
  EXPECT_TRUE(fs::exists(out_ + "a.jpg"));
  answers_.push_back(QMessageBox::Yes);
  QTest::keyClick(&w, Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(w.RowCount(), 0);
}

}  // namespace
}  // namespace imprimo::testing_gui

namespace imprimo::testing_gui {
namespace {

using FolderDropTest = WindowFixture;

TEST_F(FolderDropTest, ADroppedFolderAddsItsPicturesAsTheCommandLineFindsThem) {
  const std::string trip = (root_ / "trip").string() + "/";
  WriteImage(trip + "a.jpg", 20, 20, "JPEG");
  WriteImage(trip + "sub/b.png", 20, 20, "PNG");
  WriteImage(trip + "sub/deeper/c.bmp", 20, 20, "BMP");
  WriteText(trip + "notes.txt", "not a picture");
  WriteText(trip + "sub/empty.dat", "");
  WriteImage(trip + "out/old.jpg", 20, 20, "JPEG");  // an earlier run's output
  fs::create_directory_symlink(trip, trip + "sub/loop");
  const std::string loose = (root_ / "loose.jpg").string();
  WriteImage(loose, 20, 20, "JPEG");
  TfrmMain& w = Open();
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(trip + "out"));
  w.DragDropMDrop(
      {QString::fromStdString(trip.substr(0, trip.size() - 1)), QString::fromStdString(loose)});
  std::vector<std::string> rows;
  for (int r = 0; r < w.RowCount(); ++r) rows.push_back(w.RowText(r).toStdString());
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{loose, trip + "a.jpg", trip + "sub/b.png",
                                            trip + "sub/deeper/c.bmp"}));
  for (int r = 0; r < w.RowCount(); ++r)
    EXPECT_NE(w.RowColumn(r, 0), QStringLiteral("UNKNOWN")) << w.RowText(r).toStdString();
  EXPECT_EQ(w.Settings().ScrPath, trip);
}

// 100,000 files in 100 folders, 1,000 of them pictures by name, a link
// loop and a folder that cannot be read: the search keeps the window going,
// shows its count, can be cancelled, and adds what it can.
TEST_F(FolderDropTest, AHugeFolderIsSearchedWithProgressAndCancel) {
  const fs::path big = root_ / "big";
  for (int d = 0; d < 100; ++d) {
    const fs::path dir = big / ("d" + std::to_string(100 + d));
    fs::create_directories(dir);
    for (int f = 0; f < 1000; ++f) {
      // Empty files: the ".txt" ones are read to be told apart from pictures.
      const std::string name = "f" + std::to_string(1000 + f) + (f % 100 == 0 ? ".jpg" : ".txt");
      std::ofstream(dir / name, std::ios::binary);
    }
  }
  fs::create_directory_symlink(big, big / "d100" / "loop");
  const fs::path locked = big / "locked";
  fs::create_directories(locked);
  std::ofstream(locked / "hidden.jpg", std::ios::binary);
  fs::permissions(locked, fs::perms::none);
  // Root reads every folder whatever its permissions.
  const int lockedPictures = ::geteuid() == 0 ? 1 : 0;
  const QString folder = QString::fromStdString(big.string());
  TfrmMain& w = Open();

  // Cancelled from the status bar once it shows the count: nothing is added.
  QString shown;
  bool addDisabled = false;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* cancel = w.findChild<QPushButton*>("btnSearchCancel");
    if (cancel == nullptr || !cancel->isVisible() || !shown.isEmpty()) return;
    shown = w.StatusText(2);
    addDisabled = !w.findChild<QAction*>("actAddFiles")->isEnabled();
    cancel->click();
  });
  watcher.start(5);
  w.DragDropMDrop({folder});
  watcher.stop();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Searching folders: "))) << shown.toStdString();
  EXPECT_TRUE(addDisabled);
  EXPECT_EQ(w.RowCount(), 0);
  EXPECT_FALSE(w.findChild<QPushButton*>("btnSearchCancel")->isVisible());
  EXPECT_TRUE(w.findChild<QAction*>("actAddFiles")->isEnabled());

  // Searched to the end: every picture once, the loop entered no more.
  w.DragDropMDrop({folder});
  fs::permissions(locked, fs::perms::owner_all);
  EXPECT_EQ(w.RowCount(), 1000 + lockedPictures);
  std::set<std::string> unique;
  for (int r = 0; r < w.RowCount(); ++r) unique.insert(w.RowText(r).toStdString());
  EXPECT_EQ(unique.size(), size_t(w.RowCount()));
  EXPECT_EQ(w.StatusText(1), QStringLiteral("Images: %1").arg(1000 + lockedPictures));
  EXPECT_EQ(w.StatusText(2), QStringLiteral("File name: "));
}

#ifdef IMPRIMO_EXE
TEST_F(FolderDropTest, HelpAndVersionPrintAndQuitWithoutAWindow) {
  for (const char* option : {"--help", "--version", "--frobnicate"}) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(IMPRIMO_EXE), {QString::fromLatin1(option)});
    ASSERT_TRUE(program.waitForFinished(20000)) << option;
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    if (std::string(option) == "--help") {
      EXPECT_EQ(program.exitCode(), 0);
      EXPECT_TRUE(out.startsWith(QStringLiteral("Usage: imprimo"))) << out.toStdString();
      EXPECT_TRUE(out.contains(QStringLiteral("--version")));
    } else if (std::string(option) == "--version") {
      EXPECT_EQ(program.exitCode(), 0);
      EXPECT_EQ(out.trimmed(),
                QStringLiteral("imprimo ") + QString::fromLatin1(TfrmMain::kVersion));
    } else {
      EXPECT_EQ(program.exitCode(), 2);
      EXPECT_TRUE(err.contains(QStringLiteral("--frobnicate"))) << err.toStdString();
    }
  }
}
#endif

}  // namespace
}  // namespace imprimo::testing_gui
