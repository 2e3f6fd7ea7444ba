// The About box and the commands that hand work to the desktop: help,
// home page, update check and the image editor.
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QUrl>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "gui/about_dialog.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

// The version the project declares, read from the build script itself.
QString DeclaredVersion() {
  std::ifstream in(std::string(IMPRIMO_SOURCE_DIR) + "/CMakeLists.txt");
  std::stringstream text;
  text << in.rdbuf();
  const QRegularExpression project(QStringLiteral("project\\(\\s*Imprimo\\s+VERSION\\s+([0-9.]+)"));
  const auto match = project.match(QString::fromStdString(text.str()));
  return match.hasMatch() ? match.captured(1) : QString();
}

class HelpCommandsTest : public WindowFixture {
 protected:
  // The window with the desktop's open, the program start and the About box
  // answered by the test.
  TfrmMain& OpenWithHooks(const QStringList& files = {}) {
    TfrmMain& w = Open();
    TMainDialogs dialogs;
    dialogs.OpenFiles = [files](const QString&, const QString&) { return files; };
    dialogs.OpenUrl = [this](const QUrl& url) {
      urls_.push_back(url);
      return opens_;
    };
    dialogs.StartProgram = [this](const QString& program, const QStringList& arguments) {
      starts_.push_back({program, arguments});
      return true;
    };
    dialogs.ShowAbout = [this](TfrmAbout& about) {
      ++aboutRuns_;
      aboutHadPicture_ = about.HasLeftPicture();
    };
    w.SetDialogs(dialogs);
    if (!files.isEmpty()) w.findChild<QAction*>("actAddFiles")->trigger();
    return w;
  }

  void WriteEditor() {
    const std::string editor = folder_ + "PhotoTouch";
    WriteText(editor, "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod(editor.c_str(), 0755), 0);
  }

  void DoubleClickRow(TfrmMain& w, int row) {
    w.Pages()->setCurrentIndex(TfrmMain::kPageDetails);
    QApplication::processEvents();
    QTableWidget* list = w.ListImgs();
    const QRect cell = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
  }

  struct Start {
    QString program;
    QStringList arguments;
  };
  std::vector<QUrl> urls_;
  bool opens_ = true;  // what the desktop's opener answers
  std::vector<Start> starts_;
  int aboutRuns_ = 0;
  bool aboutHadPicture_ = false;
};

TEST(AboutBoxTest, LayoutVersionAndLinks) {
  EnsureApplication();
  const fs::path folder =
      fs::temp_directory_path() / ("imprimo_about_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string programFolder = folder.string() + "/";
  std::vector<QUrl> opened;
  const auto opener = [&](const QUrl& url) { opened.push_back(url); };

  {
    TfrmAbout about(programFolder, opener);
    about.show();
    QApplication::processEvents();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(about.size(), QSize(414, 273));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);

    const QString version = DeclaredVersion();
    ASSERT_FALSE(version.isEmpty());
    EXPECT_EQ(about.findChild<QLabel*>("lbVersion")->text(), QStringLiteral("Version ") + version);
    EXPECT_EQ(QString::fromLatin1(TfrmMain::kVersion), version);

    // Without leftlogo.bmp the panel is there and empty.
    EXPECT_FALSE(about.HasLeftPicture());
    EXPECT_TRUE(about.findChild<QLabel*>("ImageLeft")->isVisible());

    // Links: the palette's link colour (blue here), underlined, hand pointer,
    // and every character visible.
    for (const char* name : {"lbHomePage", "lbEmail"}) {
      auto* link = about.findChild<QLabel*>(name);
      ASSERT_NE(link, nullptr) << name;
      EXPECT_TRUE(link->font().underline()) << name;
      EXPECT_EQ(link->palette().color(link->foregroundRole()),
                link->palette().color(QPalette::Link))
          << name;
      EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor) << name;
      EXPECT_GE(link->width(), link->sizeHint().width()) << name;
      EXPECT_LE(link->geometry().right(), about.width()) << name;
    }
    EXPECT_EQ(about.findChild<QLabel*>("lbHomePage")->text(), HomePageAddress());
    // Every text of the fixed-size box shows whole.
    for (QLabel* label : about.findChildren<QLabel*>()) {
      if (label->text().isEmpty()) continue;
      EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
      EXPECT_GE(label->height(), label->sizeHint().height()) << label->text().toStdString();
      EXPECT_TRUE(about.rect().contains(label->geometry())) << label->text().toStdString();
    }

    QTest::mouseClick(about.findChild<QLabel*>("lbHomePage"), Qt::LeftButton);
    QTest::mouseClick(about.findChild<QLabel*>("lbEmail"), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://github.com/imprimo-app/imprimo")));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("mailto:support@imprimo-app.org")));

    auto* close = about.findChild<QPushButton*>("btnClose");
    EXPECT_EQ(close->text(), QStringLiteral("&Close"));
    close->click();
    EXPECT_FALSE(about.isVisible());
  }

  // With the picture it shows; a damaged one is ignored.
  {
    QImage logo(80, 240, QImage::Format_RGB32);
    logo.fill(QColor(30, 70, 140));
    ASSERT_TRUE(logo.save(QString::fromStdString(programFolder + "leftlogo.bmp"), "BMP"));
    TfrmAbout about(programFolder, opener);
    about.show();
    QApplication::processEvents();
    EXPECT_TRUE(about.HasLeftPicture());
    const QPixmap picture = about.grab();
    // The panel's picture is drawn inside the box's left part.
    const QPoint inLogo = about.findChild<QLabel*>("ImageLeft")->geometry().topLeft() +
                          QPoint(about.findChild<QLabel*>("ImageLeft")->width() / 2, 120);
    EXPECT_EQ(picture.toImage().pixelColor(inLogo), QColor(30, 70, 140));
    if (const char* dir = std::getenv("IMPRIMO_SCREENS_DIR")) {
      EXPECT_TRUE(picture.save(QString::fromLocal8Bit(dir) + QStringLiteral("/about.png")));
    }
  }
  {
    std::ofstream(programFolder + "leftlogo.bmp", std::ios::binary) << "BM not really";
    TfrmAbout about(programFolder, opener);
    EXPECT_FALSE(about.HasLeftPicture());
  }
  fs::remove_all(folder);
}

// A dark scheme set while the program runs reaches the links, the welcome
// page and the pictures we draw ourselves; a large font grows the About box.
TEST_F(HelpCommandsTest, DarkSchemesAndLongTextsStayReadable) {
  const QPalette light = QApplication::palette();
  QPalette dark(QColor(45, 45, 48), QColor(30, 30, 32));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::ButtonText, QColor(235, 235, 235));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(25, 25, 28));
  dark.setColor(QPalette::Link, QColor(120, 180, 255));
  TfrmMain& w = OpenWithHooks();
  QApplication::setPalette(dark);
  QApplication::processEvents();
  auto* welcome = w.findChild<QLabel*>("imgWelcome");
  EXPECT_EQ(welcome->palette().color(welcome->backgroundRole()), QColor(25, 25, 28));
  // The editor's drawn picture (no icon theme here) is outlined in the
  // scheme's light text colour, not in a grey lost on the dark bar.
  const QIcon editor = w.findChild<QAction*>("actPhotoEditor")->icon();
  if (editor.name().isEmpty()) {
    const QImage picture = editor.pixmap(QSize(32, 32)).toImage();
    EXPECT_GT(qGray(picture.pixel(3, 15)), 150);
  }
  {
    TfrmAbout about(folder_);
    auto* link = about.findChild<QLabel*>("lbHomePage");
    EXPECT_EQ(link->palette().color(link->foregroundRole()), QColor(120, 180, 255));
  }
  QApplication::setPalette(light);
  QApplication::processEvents();
  EXPECT_EQ(welcome->palette().color(welcome->backgroundRole()), light.color(QPalette::Base));

  // A large font: the box grows to show every text whole.
  const QFont font = QApplication::font();
  QFont big = font;
  big.setPointSizeF(font.pointSizeF() * 2);
  QApplication::setFont(big);
  {
    TfrmAbout about(folder_);
    about.show();
    QApplication::processEvents();
    EXPECT_GT(about.width(), TfrmAbout::kClientWidth);
    for (QLabel* label : about.findChildren<QLabel*>()) {
      if (label->text().isEmpty()) continue;
      EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
      EXPECT_LE(label->geometry().right(), about.width()) << label->text().toStdString();
    }
  }
  QApplication::setFont(font);
}

TEST_F(HelpCommandsTest, HelpHomePageUpdateAndAbout) {
  TfrmMain& w = OpenWithHooks();
  for (const char* name : {"actHelp", "actHomePage", "mnuCheckUpdate", "actAboutSoft"})
    EXPECT_TRUE(w.findChild<QAction*>(name)->isEnabled()) << name;
  EXPECT_EQ(w.findChild<QAction*>("actHelp")->shortcut(), QKeySequence(Qt::Key_F1));

  // F1 opens the manual of the program folder, whether or not it is there,
  // and shows no message of its own.
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_F1);
  ASSERT_EQ(urls_.size(), 1u);
  EXPECT_EQ(urls_[0], QUrl::fromLocalFile(QString::fromStdString(folder_ + "help/index.html")));
  EXPECT_TRUE(messages_.empty());

  w.findChild<QAction*>("actHomePage")->trigger();
  w.findChild<QAction*>("mnuCheckUpdate")->trigger();
  ASSERT_EQ(urls_.size(), 3u);
  EXPECT_EQ(urls_[1], QUrl(HomePageAddress()));
  EXPECT_EQ(urls_[2], QUrl(HomePageAddress()));
  EXPECT_TRUE(urls_[1].isValid());
  EXPECT_EQ(urls_[1].scheme(), QStringLiteral("https"));

  WriteImage(folder_ + "leftlogo.bmp", 40, 100, "BMP");
  w.findChild<QAction*>("actAboutSoft")->trigger();
  EXPECT_EQ(aboutRuns_, 1);
  EXPECT_TRUE(aboutHadPicture_);

  // A desktop with no program for them says so, with the address to copy.
  opens_ = false;
  EXPECT_TRUE(messages_.empty());
  w.findChild<QAction*>("actHelp")->trigger();
  w.findChild<QAction*>("actHomePage")->trigger();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(messages_[0].text.contains(QString::fromStdString(folder_ + "help/index.html")))
      << messages_[0].text.toStdString();
  EXPECT_TRUE(messages_[1].text.contains(HomePageAddress())) << messages_[1].text.toStdString();
}

TEST_F(HelpCommandsTest, ImageEditorGetsThePathAsOneArgument) {
  const std::string in = (root_ / "my photos").string() + "/";
  WriteImage(in + "summer day.jpg", 16, 16, "JPEG");
  WriteImage(in + "b.jpg", 16, 16, "JPEG");
  WriteEditor();
  TfrmMain& w = OpenWithHooks(
      {QString::fromStdString(in + "summer day.jpg"), QString::fromStdString(in + "b.jpg")});
  ASSERT_EQ(w.RowCount(), 2);
  QAction* editor = w.findChild<QAction*>("actPhotoEditor");
  EXPECT_EQ(editor->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));

  // No selection: disabled; a selected row enables it.
  w.ListImgs()->clearSelection();
  EXPECT_FALSE(editor->isEnabled());
  const int summer = w.RowText(0).contains(QStringLiteral("summer")) ? 0 : 1;
  w.ListImgs()->selectRow(1 - summer);
  EXPECT_TRUE(editor->isEnabled());
  editor->trigger();
  ASSERT_EQ(starts_.size(), 1u);
  EXPECT_EQ(starts_[0].program, QString::fromStdString(folder_ + "PhotoTouch"));
  EXPECT_EQ(starts_[0].arguments, QStringList{QString::fromStdString(in + "b.jpg")});

  // A double click runs it on that row, blanks and all, as one argument.
  DoubleClickRow(w, summer);
  ASSERT_EQ(starts_.size(), 2u);
  EXPECT_EQ(starts_[1].arguments, QStringList{QString::fromStdString(in + "summer day.jpg")});

  // On the thumbnail view a selected thumbnail enables it and is what opens.
  w.ListImgs()->clearSelection();
  w.findChild<QAction*>("actImagesView")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.ThumbnailsBuilding(); }, 20000));
  ASSERT_EQ(w.ViewImgs()->count(), 2);
  w.ViewImgs()->clearSelection();
  EXPECT_FALSE(editor->isEnabled());
  w.ViewImgs()->setCurrentRow(summer);
  EXPECT_TRUE(editor->isEnabled());
  editor->trigger();
  ASSERT_EQ(starts_.size(), 3u);
  EXPECT_EQ(starts_[2].arguments, QStringList{QString::fromStdString(in + "summer day.jpg")});
  EXPECT_TRUE(urls_.empty());
}

TEST_F(HelpCommandsTest, WithoutAnEditorThePictureOpensWithTheDesktop) {
  const std::string in = (root_ / "in").string() + "/";
  WriteImage(in + "a b.png", 16, 16, "PNG");
  // A PhotoTouch that cannot be run counts as missing.
  WriteText(folder_ + "PhotoTouch", "not a program");
  TfrmMain& w = OpenWithHooks({QString::fromStdString(in + "a b.png")});
  ASSERT_EQ(w.RowCount(), 1);
  DoubleClickRow(w, 0);
  EXPECT_TRUE(starts_.empty());
  ASSERT_EQ(urls_.size(), 1u);
  EXPECT_EQ(urls_[0], QUrl::fromLocalFile(QString::fromStdString(in + "a b.png")));
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace imprimo::testing_gui
