// The preview page and the thumbnail view of the main window over generated
// pictures: row stepping, the sequence number, equality with what a run
// writes, zoom, thumbnails and their captions, and files that do not load.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "app/batch_run.h"
#include "gui/image_preview.h"
#include "imageops/bitmap_bridge.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

class PreviewWindowTest : public WindowFixture {
 protected:
  // A picture with colour gradients and edges, so that lossy compression
  // leaves visible traces.
  static void WriteGradient(const std::string& path, int width, int height, int seed = 0) {
    fs::create_directories(fs::path(path).parent_path());
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        image.setPixel(x, y,
                       qRgb((x * 255 / width + seed * 40) & 255, (y * 255 / height) & 255,
                            ((x / 7 + y / 5) % 2) * 200));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG")) << path;
  }

  // The window with the given pictures dropped on it and the output folder set.
  TfrmMain& OpenWith(const std::vector<std::string>& names) {
    in_ = (root_ / "in").string() + "/";
    QStringList paths;
    for (const std::string& n : names) paths << QString::fromStdString(in_ + n);
    TfrmMain& w = Open();
    w.DragDropMDrop(paths);
    w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));
    return w;
  }

  template <typename T>
  T* Find(const char* name) const {
    T* widget = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QAction* Action(const char* name) const { return Find<QAction>(name); }
  QImage Shown() const { return window_->ImagePreview()->Picture(); }

  // A file decoded by the program's own loader, as the preview decodes.
  static QImage Decoded(const std::string& path) {
    TBitmap bitmap;
    if (!LoadFileToBitmap(path, bitmap)) return {};
    return BitmapToQImage(bitmap);
  }

  static double MeanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 1e9;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
               std::abs(qBlue(p) - qBlue(q));
      }
    return sum / (3.0 * a.width() * a.height());
  }

  std::string in_;
};

TEST_F(PreviewWindowTest, PreviewStartsOnRowZeroAndStepsWithTheSequence) {
  for (int i = 0; i < 4; ++i)
    WriteGradient((root_ / "in").string() + "/p" + std::to_string(i) + ".png", 80 + i * 10, 60, i);
  WriteTemplate();
  TfrmMain& w = OpenWith({"p0.png", "p1.png", "p2.png", "p3.png"});
  ASSERT_EQ(w.RowCount(), 4);
  EXPECT_TRUE(Action("actShowPreview")->isEnabled());
  EXPECT_TRUE(Action("actImagesView")->isEnabled());
  EXPECT_TRUE(Action("actDetailsList")->isEnabled());
  w.ListImgs()->clearSelection();

  Action("actShowPreview")->trigger();
  EXPECT_EQ(w.Pages()->currentIndex(), TfrmMain::kPagePreview);
  EXPECT_EQ(w.PreviewIndex(), 0);
  EXPECT_EQ(Shown().size(), QSize(80, 60));
  EXPECT_FALSE(Find<QPushButton>("btnPrev")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("btnNext")->isEnabled());
  EXPECT_EQ(w.StatusText(2),
            QStringLiteral("File name: ") + QString::fromStdString(in_ + "p0.png"));
  EXPECT_TRUE(w.ListImgs()->item(0, 0)->isSelected());
  EXPECT_EQ(w.WorkingObjects().Template.WatermarkSequence, 1);

  Find<QPushButton>("btnNext")->click();
  Find<QPushButton>("btnNext")->click();
  EXPECT_EQ(w.PreviewIndex(), 2);
  EXPECT_EQ(Shown().size(), QSize(100, 60));
  EXPECT_EQ(w.WorkingObjects().Template.WatermarkSequence, 3);
  EXPECT_TRUE(Find<QPushButton>("btnPrev")->isEnabled());
  EXPECT_EQ(w.StatusText(2),
            QStringLiteral("File name: ") + QString::fromStdString(in_ + "p2.png"));
  // Stepping moves the preview only; the selection stays the user's.
  EXPECT_FALSE(w.ListImgs()->item(1, 0)->isSelected());
  EXPECT_FALSE(w.ListImgs()->item(2, 0)->isSelected());
  Find<QPushButton>("btnNext")->click();
  EXPECT_FALSE(Find<QPushButton>("btnNext")->isEnabled());
  Find<QPushButton>("btnPrev")->click();
  EXPECT_EQ(w.PreviewIndex(), 2);
  EXPECT_EQ(w.WorkingObjects().Template.WatermarkSequence, 3);

  // The preview starts on the first selected row, with the start value again.
  w.ListImgs()->clearSelection();
  w.ListImgs()->selectRow(3);
  Action("actShowPreview")->trigger();
  EXPECT_EQ(w.PreviewIndex(), 3);
  EXPECT_EQ(w.WorkingObjects().Template.WatermarkSequence, 1);
  EXPECT_FALSE(Find<QPushButton>("btnNext")->isEnabled());
  EXPECT_TRUE(messages_.empty());

  // Zoom: the page opens fitted; the slider ends fitting.
  EXPECT_TRUE(w.ImagePreview()->Fit());
  Find<QSlider>("tbZoom")->setValue(15);
  EXPECT_FALSE(w.ImagePreview()->Fit());
  EXPECT_EQ(Find<QLabel>("lbScale")->text(), QStringLiteral("[150%]"));
  EXPECT_DOUBLE_EQ(w.ImagePreview()->Scale(), 1.5);
  Find<QSlider>("tbZoom")->setValue(1);
  EXPECT_EQ(Find<QLabel>("lbScale")->text(), QStringLiteral("[10%]"));
  EXPECT_EQ(Find<QSlider>("tbZoom")->maximum(), 20);
}

TEST_F(PreviewWindowTest, SingleRowDisablesBothButtonsAndChoosingATemplatePreviews) {
  WriteGradient((root_ / "in").string() + "/only.png", 64, 48);
  WriteTemplate("A");
  WriteTemplate("B");
  TfrmMain& w = OpenWith({"only.png"});
  EXPECT_NE(w.Pages()->currentIndex(), TfrmMain::kPagePreview);
  auto* list = Find<QComboBox>("cbListTpl");
  list->setCurrentIndex(1);
  emit list->activated(1);
  EXPECT_EQ(w.Pages()->currentIndex(), TfrmMain::kPagePreview);
  EXPECT_FALSE(Shown().isNull());
  EXPECT_FALSE(Find<QPushButton>("btnPrev")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("btnNext")->isEnabled());
}

TEST_F(PreviewWindowTest, PreviewEqualsTheFileARunWritesForPngAndJpeg) {
  WriteGradient((root_ / "in").string() + "/a.png", 160, 120);
  WriteGradient((root_ / "in").string() + "/b.png", 120, 90, 1);
  WriteTemplate();
  TfrmMain& w = OpenWith({"a.png", "b.png"});

  struct Case {
    int format;
    int quality;
    const char* ext;
  };
  QImage pngPreview;
  for (const Case& c : {Case{1, 90, ".png"}, Case{0, 10, ".jpg"}}) {
    SCOPED_TRACE(c.ext);
    Find<QComboBox>("cbSaveFormat")->setCurrentIndex(c.format);
    Find<QSpinBox>("seQuality")->setValue(c.quality);
    w.ListImgs()->clearSelection();
    w.ListImgs()->selectRow(1);
    Action("actShowPreview")->trigger();
    ASSERT_EQ(w.PreviewIndex(), 1);
    const QImage preview = Shown();
    ASSERT_FALSE(preview.isNull());

    fs::remove_all(out_);
    fs::create_directories(out_);
    answers_ = {QMessageBox::No};
    Action("actProcess")->trigger();
    ASSERT_EQ(w.LastRun().Succeeded, 2);
    // The run numbers row 1 with the start value + 1; step the preview
    // there to compare like with like.
    w.ListImgs()->clearSelection();
    Action("actShowPreview")->trigger();
    Find<QPushButton>("btnNext")->click();
    const QImage stepped = Shown();
    const QImage written = Decoded(out_ + "b" + c.ext);
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(stepped.size(), written.size());
    EXPECT_EQ(MeanDifference(stepped, written), 0.0);
    EXPECT_TRUE(stepped == written);
    if (c.format == 1)
      pngPreview = stepped;
    else {
      // Quality 10 leaves clear losses that the lossless output does not have.
      EXPECT_GT(MeanDifference(stepped, pngPreview), 3.0);
    }
  }
  // Only the runs asked something (whether to open the output folder).
  for (const ShownMessage& m : messages_) EXPECT_EQ(m.icon, QMessageBox::Question);
}

TEST_F(PreviewWindowTest, CameraPictureIsPreviewedUprightAsTheRunWritesIt) {
  if (std::system("exiftool -ver >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is missing";
  // A landscape JPEG whose EXIF says it is to be shown turned 90 degrees
  // clockwise: the mark must land where the viewer sees the corner.
  const std::string src = (root_ / "in").string() + "/cam.jpg";
  fs::create_directories(root_ / "in");
  {
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(qRgb(40, 90, 160));
    ASSERT_TRUE(image.save(QString::fromStdString(src), "JPEG", 95));
  }
  ASSERT_EQ(
      std::system(("exiftool -q -n -Orientation=6 -overwrite_original '" + src + "'").c_str()), 0);
  WriteTemplate();
  TfrmMain& w = OpenWith({"cam.jpg"});
  Find<QComboBox>("cbSaveFormat")->setCurrentIndex(1);  // PNG: compare exactly
  Action("actShowPreview")->trigger();
  const QImage preview = Shown();
  ASSERT_FALSE(preview.isNull());
  EXPECT_EQ(preview.size(), QSize(120, 160));

  fs::remove_all(out_);
  fs::create_directories(out_);
  answers_ = {QMessageBox::No};
  Action("actProcess")->trigger();
  ASSERT_EQ(w.LastRun().Succeeded, 1);
  Action("actShowPreview")->trigger();
  const QImage written = Decoded(out_ + "cam.png");
  ASSERT_FALSE(written.isNull());
  EXPECT_TRUE(Shown() == written);
  // The white mark sits in the bottom-right quarter of the upright picture.
  auto light = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (qRed(written.pixel(x, y)) > 200) ++n;
    return n;
  };
  EXPECT_GT(light(60, 80, 120, 160), 10);
  EXPECT_EQ(light(0, 0, 60, 80), 0);
}

TEST_F(PreviewWindowTest, UnreadableRowsSayWhyOnThePageAndAMissingLogoIsQuiet) {
  const std::string in = (root_ / "in").string() + "/";
  WriteGradient(in + "a.png", 90, 70);
  WriteText(in + "b.png", "this is no picture");
  WriteText(in + "c.png", "");
  WriteImage(in + "d.jpg", 64, 64, "JPEG");
  {
    // Cut short: the header says JPEG, the data ends early.
    std::ifstream whole(in + "d.jpg", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(whole)), {});
    WriteText(in + "d.jpg", bytes.substr(0, 40));
  }
  WriteText(folder_ + "Watermarks/Logo.wg",
            "[Logo]\r\nEnabled=1\r\nStyle=1\r\nPicture=missing-logo.png\r\nPosition=1\r\n"
            "[Caption]\r\nEnabled=1\r\nStyle=0\r\nText=Studio\r\nFontName=Liberation Sans\r\n"
            "FontSize=12\r\nFontColor=$FFFFFF\r\nAlpha=100\r\nPosition=9\r\n");
  TfrmMain& w = OpenWith({"a.png", "b.png", "c.png", "d.jpg"});
  w.ListImgs()->clearSelection();
  Action("actShowPreview")->trigger();
  const QImage first = Shown();
  ASSERT_EQ(first.size(), QSize(90, 70)) << "a missing logo skips only its layer";
  EXPECT_TRUE(w.ImagePreview()->Message().isEmpty());

  // Each unreadable row: no stale picture, and the reason on the page.
  const std::pair<int, const char*> expected[] = {
      {1, "not an image file of a known format"},
      {2, "the file is empty"},
      {3, "damaged or incomplete"},
  };
  for (const auto& [row, reason] : expected) {
    Find<QPushButton>("btnNext")->click();
    EXPECT_EQ(w.PreviewIndex(), row);
    EXPECT_TRUE(Shown().isNull()) << row;
    const QString message = w.ImagePreview()->Message();
    EXPECT_TRUE(message.contains(
        QString::fromStdString(fs::path(w.RowText(row).toStdString()).filename().string())))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QLatin1String(reason))) << message.toStdString();
    EXPECT_TRUE(w.LastPreviewFailure().contains(QLatin1String(reason)));
  }
  EXPECT_TRUE(messages_.empty()) << "no message box per row";
  // A good row again replaces the message with its picture.
  Find<QPushButton>("btnPrev")->click();
  Find<QPushButton>("btnPrev")->click();
  Find<QPushButton>("btnPrev")->click();
  EXPECT_TRUE(Shown() == first);
  EXPECT_TRUE(w.ImagePreview()->Message().isEmpty());

  // A template deleted from outside: its message once, and the page stays.
  fs::remove(folder_ + "Watermarks/Logo.wg");
  Action("actShowPreview")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text,
            QStringLiteral("Unable to find selected template. Please choose a template first!"));
  EXPECT_EQ(w.Pages()->currentIndex(), TfrmMain::kPagePreview);
  EXPECT_TRUE(Shown() == first);
}

TEST_F(PreviewWindowTest, PrevNextThenRemoveTakesOnlyTheSelectedRow) {
  const std::string in = (root_ / "in").string() + "/";
  std::vector<std::string> names;
  for (int i = 0; i < 6; ++i) {
    names.push_back("s" + std::to_string(i) + ".png");
    WriteGradient(in + names.back(), 40, 30, i);
  }
  WriteTemplate();
  TfrmMain& w = OpenWith(names);
  w.ListImgs()->clearSelection();
  w.ListImgs()->selectRow(0);
  Action("actShowPreview")->trigger();
  for (int i = 0; i < 4; ++i) Find<QPushButton>("btnNext")->click();
  EXPECT_EQ(w.PreviewIndex(), 4);
  Action("actDetailsList")->trigger();
  Action("actRemoveSelected")->trigger();
  ASSERT_EQ(w.RowCount(), 5);
  EXPECT_EQ(w.RowText(0), QString::fromStdString(in + "s1.png"));
}

TEST_F(PreviewWindowTest, FitCentresAndKeysAndWheelZoom) {
  const std::string in = (root_ / "in").string() + "/";
  WriteGradient(in + "big.png", 1600, 1200);
  WriteGradient(in + "small.png", 40, 30);
  WriteTemplate();
  TfrmMain& w = OpenWith({"big.png", "small.png"});
  w.resize(1000, 700);
  w.ListImgs()->clearSelection();
  Action("actShowPreview")->trigger();
  QApplication::processEvents();
  TImagePreview* view = w.ImagePreview();
  ASSERT_TRUE(view->Fit());
  // The whole picture is in sight, and the label shows the fitted scale.
  const QSize viewport = view->viewport()->size();
  EXPECT_LE(std::lround(1600 * view->Scale()), viewport.width());
  EXPECT_LE(std::lround(1200 * view->Scale()), viewport.height());
  EXPECT_LT(view->Scale(), 1.0);
  EXPECT_EQ(Find<QLabel>("lbScale")->text(),
            QStringLiteral("[%1%]").arg(std::lround(view->Scale() * 100)));
  EXPECT_TRUE(Action("actZoomFit")->isChecked());

  // Ctrl+plus leaves fitting one slider mark up; Ctrl+minus goes down.
  const int fitted = int(std::lround(view->Scale() * 10));
  QTest::keyClick(&w, Qt::Key_Equal, Qt::ControlModifier);
  EXPECT_FALSE(view->Fit());
  EXPECT_EQ(Find<QSlider>("tbZoom")->value(), fitted + 1);
  QTest::keyClick(&w, Qt::Key_Minus, Qt::ControlModifier);
  QTest::keyClick(&w, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(Find<QSlider>("tbZoom")->value(), fitted - 1);
  // Ctrl+wheel: one notch, one mark.
  QWheelEvent wheel(QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view->viewport(), &wheel);
  EXPECT_EQ(Find<QSlider>("tbZoom")->value(), fitted);
  // Ctrl+0 fits again.
  QTest::keyClick(&w, Qt::Key_0, Qt::ControlModifier);
  EXPECT_TRUE(view->Fit());

  // A small picture is shown at its size, in the middle of the page.
  Find<QPushButton>("btnNext")->click();
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(view->Scale(), 1.0);
  const QPoint origin = view->PictureOrigin();
  EXPECT_EQ(origin.x(), (view->viewport()->width() - 40) / 2);
  EXPECT_EQ(origin.y(), (view->viewport()->height() - 30) / 2);
}

TEST_F(PreviewWindowTest, ThumbnailsMarkBadFilesNameTheirOwnRowAndRebuildAfterAdding) {
  const std::string in = (root_ / "in").string() + "/";
  WriteText(in + "a_broken.png", "corrupt");
  WriteImage(in + "b_wide.png", 400, 300, "PNG", QColor(255, 0, 0));
  WriteImage(in + "c_a_rather_long_file_name.png", 300, 400, "PNG", QColor(255, 0, 0));
  WriteTemplate();
  TfrmMain& w = OpenWith({"a_broken.png", "b_wide.png", "c_a_rather_long_file_name.png"});
  ASSERT_EQ(w.RowCount(), 3);
  EXPECT_TRUE(w.ThumbnailsStale());
  Action("actImagesView")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.ThumbnailsBuilding(); }, 20000));
  EXPECT_EQ(w.Pages()->currentIndex(), TfrmMain::kPageThumbnails);
  EXPECT_FALSE(w.ThumbnailsStale());
  QListWidget* view = w.ViewImgs();
  ASSERT_EQ(view->count(), 3);
  // The unreadable file has its cell, marked broken, with the reason.
  EXPECT_EQ(view->item(0)->text(), QStringLiteral("a_broken.png"));
  EXPECT_TRUE(TfrmMain::ThumbnailBroken(view, 0));
  EXPECT_TRUE(view->item(0)->toolTip().contains(QStringLiteral("not an image file")))
      << view->item(0)->toolTip().toStdString();
  EXPECT_FALSE(TfrmMain::ThumbnailBroken(view, 1));
  EXPECT_EQ(view->item(1)->text(), QStringLiteral("b_wide.png"));
  EXPECT_EQ(view->item(2)->text(), QStringLiteral("c_a_rather_long_f..."));
  EXPECT_EQ(view->iconSize(), QSize(120, 120));

  // The cell as drawn: the wide picture fills (8, 21)-(111, 99).
  const QImage cell = view->item(1)->icon().pixmap(120, 120).toImage();
  ASSERT_EQ(cell.size(), QSize(120, 120));
  EXPECT_EQ(cell.pixelColor(8, 21), QColor(255, 0, 0));
  EXPECT_EQ(cell.pixelColor(110, 98), QColor(255, 0, 0));
  EXPECT_NE(cell.pixelColor(8, 20), QColor(255, 0, 0));
  EXPECT_NE(cell.pixelColor(111, 99), QColor(255, 0, 0));

  // Each thumbnail names its own row.
  view->setCurrentRow(1);
  EXPECT_EQ(w.CurrentImage(), QString::fromStdString(in + "b_wide.png"));
  EXPECT_EQ(w.StatusText(2),
            QStringLiteral("File name: ") + QString::fromStdString(in + "b_wide.png"));
  view->setCurrentRow(2);
  EXPECT_EQ(w.CurrentImage(), QString::fromStdString(in + "c_a_rather_long_file_name.png"));

  // Switching pages keeps the thumbnails; adding rows rebuilds them all.
  Action("actDetailsList")->trigger();
  EXPECT_EQ(w.Pages()->currentIndex(), TfrmMain::kPageDetails);
  Action("actImagesView")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.ThumbnailsBuilding(); }, 20000));
  EXPECT_EQ(view->count(), 3);
  WriteImage(in + "d.png", 50, 50, "PNG");
  w.DragDropMDrop({QString::fromStdString(in + "d.png")});
  EXPECT_TRUE(w.ThumbnailsStale());
  Action("actImagesView")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.ThumbnailsBuilding(); }, 20000));
  EXPECT_EQ(view->count(), 4);
  EXPECT_EQ(TfrmMain::ThumbnailPath(view, 3), QString::fromStdString(in + "d.png"));
  EXPECT_TRUE(messages_.empty());

  // Removing every row disables the view commands.
  answers_.push_back(QMessageBox::Yes);
  Action("actRemoveAll")->trigger();
  EXPECT_FALSE(Action("actShowPreview")->isEnabled());
  EXPECT_FALSE(Action("actImagesView")->isEnabled());
}

TEST_F(PreviewWindowTest, ThumbnailsArriveLaterInRowOrderAndAListChangeDropsTheBuild) {
  const std::string in = (root_ / "in").string() + "/";
  std::vector<std::string> names;
  for (int i = 0; i < 24; ++i) {
    names.push_back("t" + std::to_string(10 + i) + ".jpg");
    WriteImage(in + names.back(), 400, 300, "JPEG", QColor(20 + i * 8, 90, 160));
  }
  WriteTemplate();
  TfrmMain& w = OpenWith(names);
  Action("actImagesView")->trigger();
  // The command returns at once; the cells come through the event loop.
  EXPECT_EQ(w.ViewImgs()->count(), 0);
  EXPECT_TRUE(w.ThumbnailsBuilding());
  WriteImage(in + "zz.png", 30, 30, "PNG");
  w.DragDropMDrop({QString::fromStdString(in + "zz.png")});
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.ThumbnailsBuilding(); }, 20000));
  EXPECT_TRUE(w.ThumbnailsStale());

  Action("actImagesView")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.ThumbnailsBuilding(); }, 20000));
  QListWidget* view = w.ViewImgs();
  ASSERT_EQ(view->count(), 25);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(TfrmMain::ThumbnailPath(view, i), w.RowText(i)) << i;

  // Closing in the middle of a build ends its worker first.
  WriteImage(in + "zz2.png", 30, 30, "PNG");
  w.DragDropMDrop({QString::fromStdString(in + "zz2.png")});
  Action("actImagesView")->trigger();
  window_.reset();
}

TEST_F(PreviewWindowTest, WelcomePageShowsLogoBmpOrStaysPlainWhite) {
  {
    TfrmMain& w = Open();
    EXPECT_EQ(w.Pages()->currentIndex(), TfrmMain::kPageWelcome);
    EXPECT_TRUE(Find<QLabel>("imgWelcome")->pixmap().isNull());
  }
  window_.reset();
  WriteImage(folder_ + "Logo.bmp", 64, 40, "BMP", QColor(10, 20, 30));
  Open();
  auto* welcome = Find<QLabel>("imgWelcome");
  EXPECT_EQ(welcome->pixmap().size(), QSize(64, 40));
  EXPECT_EQ(welcome->alignment(), Qt::AlignCenter);
  EXPECT_EQ(welcome->backgroundRole(), QPalette::Base);
  EXPECT_TRUE(welcome->autoFillBackground());
}

}  // namespace
}  // namespace imprimo::testing_gui
