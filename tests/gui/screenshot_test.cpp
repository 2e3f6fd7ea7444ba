// A run of the sample photos as a user sees it. The window's picture is
// written to $IMPRIMO_SCREENS_DIR/main-window-run.png when that is set.
#include <QAction>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTableWidget>
#include <cstdlib>

#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

using ScreenshotTest = WindowFixture;

TEST_F(ScreenshotTest, SamplePhotosRunShowsTicksAndFilledColumns) {
  const fs::path data = fs::path(IMPRIMO_SOURCE_DIR) / "data";
  if (!fs::is_directory(data / "samples") || !fs::is_directory(data / "Watermarks"))
    GTEST_SKIP() << "no sample photos or templates in " << data;
  fs::copy(data / "Watermarks", folder_ + "Watermarks", fs::copy_options::recursive);
  const std::string in = (root_ / "Holiday").string() + "/";
  fs::create_directories(in);
  QStringList paths;
  for (const auto& entry : fs::directory_iterator(data / "samples")) {
    fs::copy_file(entry.path(), in + entry.path().filename().string());
    paths << QString::fromStdString(in + entry.path().filename().string());
  }
  WriteImage(in + "beach.png", 640, 480, "PNG", QColor(230, 200, 140));
  WriteImage(in + "harbour.bmp", 500, 375, "BMP", QColor(60, 110, 150));
  WriteText(in + "readme.jpg", "this is not a picture");
  paths << QString::fromStdString(in + "beach.png") << QString::fromStdString(in + "harbour.bmp")
        << QString::fromStdString(in + "readme.jpg");

  TfrmMain& w = Open();
  const TProgramValues defaults;
  w.resize(defaults.WinWidth, defaults.WinHeight);
  w.DragDropMDrop(paths);
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));
  // The progress panel half-way through the run.
  QPixmap during;
  QObject::connect(w.findChild<QProgressBar*>("pbM"), &QProgressBar::valueChanged, [&](int v) {
    if (v == 50) during = w.grab();
  });
  w.findChild<QAction*>("actProcess")->trigger();
  EXPECT_FALSE(during.isNull());

  const int n = w.RowCount();
  ASSERT_EQ(n, int(paths.size()));
  for (int i = 0; i < n; ++i) {
    const bool text = w.RowText(i).endsWith(QStringLiteral("readme.jpg"));
    EXPECT_EQ(w.RowIcon(i), text ? 0 : 1) << i;
    EXPECT_EQ(w.RowColumn(i, 1).isEmpty(), text) << i;
    EXPECT_EQ(w.RowColumn(i, 4).isEmpty(), text) << i;
  }
  EXPECT_EQ(w.Pages()->currentIndex(), TfrmMain::kPageDetails);

  // At the first size every short text is shown whole and each path keeps
  // its file name in sight.
  QApplication::processEvents();
  QTableWidget* list = w.ListImgs();
  const QFontMetrics cell(list->font());
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < 5; ++c)
      EXPECT_GE(list->columnWidth(c + 1), cell.horizontalAdvance(w.RowColumn(i, c)) + 8)
          << "row " << i << " column " << c + 1 << " \"" << w.RowColumn(i, c).toStdString() << '"';
    const QString name = QFileInfo(w.RowText(i)).fileName();
    EXPECT_GE(list->columnWidth(0), cell.horizontalAdvance(QStringLiteral("\u2026/") + name) + 40)
        << name.toStdString();
  }

  w.ListImgs()->selectRow(1);
  QApplication::processEvents();
  const QPixmap picture = w.grab();
  EXPECT_EQ(picture.size(), w.size());
  if (const char* dir = std::getenv("IMPRIMO_SCREENS_DIR")) {
    EXPECT_TRUE(picture.save(QString::fromLocal8Bit(dir) + QStringLiteral("/main-window-run.png")));
    EXPECT_TRUE(
        during.save(QString::fromLocal8Bit(dir) + QStringLiteral("/main-window-progress.png")));
  }
}

}  // namespace
}  // namespace imprimo::testing_gui
