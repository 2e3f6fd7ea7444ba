// The preview page and the thumbnail view over the sample photos with the
// shipped templates, at the window's default size. The pictures are written
// to $IMPRIMO_SCREENS_DIR when that is set.
#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QPixmap>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>
#include <cstdlib>

#include "gui/image_preview.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

using PreviewScreenshotTest = WindowFixture;

TEST_F(PreviewScreenshotTest, SamplePhotosInPreviewAndThumbnails) {
  const fs::path data = fs::path(IMPRIMO_SOURCE_DIR) / "data";
  if (!fs::is_directory(data / "samples") || !fs::is_directory(data / "Watermarks"))
    GTEST_SKIP() << "no sample photos or templates in " << data;
  fs::copy(data / "Watermarks", folder_ + "Watermarks", fs::copy_options::recursive);
  QStringList paths;
  for (const auto& entry : fs::directory_iterator(data / "samples"))
    paths << QString::fromStdString(entry.path().string());
  ASSERT_FALSE(paths.isEmpty());
  if (fs::exists(data / "Logo.bmp")) fs::copy_file(data / "Logo.bmp", folder_ + "Logo.bmp");

  TfrmMain& w = Open();
  QApplication::processEvents();
  const QString dir = QString::fromLocal8Bit(std::getenv("IMPRIMO_SCREENS_DIR"));
  auto save = [&](const QPixmap& picture, const char* name) {
    EXPECT_EQ(picture.size(), w.size());
    if (!dir.isEmpty()) {
      EXPECT_TRUE(picture.save(dir + QLatin1Char('/') + QLatin1String(name)));
    }
  };
  save(w.grab(), "welcome-page.png");

  w.DragDropMDrop(paths);
  auto* templates = w.findChild<QComboBox*>("cbListTpl");
  const int logo = templates->findText(QStringLiteral("Logo"));
  ASSERT_GE(logo, 0);
  templates->setCurrentIndex(logo);
  emit templates->activated(logo);
  ASSERT_EQ(w.Pages()->currentIndex(), TfrmMain::kPagePreview);
  ASSERT_FALSE(w.ImagePreview()->Picture().isNull());
  QApplication::processEvents();
  save(w.grab(), "preview-100.png");
  w.findChild<QSlider*>("tbZoom")->setValue(4);
  QApplication::processEvents();
  save(w.grab(), "preview-40.png");

  w.findChild<QAction*>("actImagesView")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.ThumbnailsBuilding(); }, 20000));
  EXPECT_EQ(w.ViewImgs()->count(), paths.size());
  QApplication::processEvents();
  save(w.grab(), "thumbnails.png");
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace imprimo::testing_gui
