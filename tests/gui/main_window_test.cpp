// The main window against real Setup.ini files in temporary folders.
#include "gui/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolButton>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "app/settings.h"
#include "ini/ini_document.h"
#include "support/qt_application.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

using ::imprimo::testing::EnsureApplication;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    static std::atomic<int> counter{0};
    root_ = fs::temp_directory_path() /
            ("imprimo_gui_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(root_);
    fs::create_directories(root_ / "prog");
    folder_ = (root_ / "prog").string() + "/";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void WriteSetup(const std::string& lines) {
    std::ofstream out(folder_ + "Setup.ini", std::ios::binary);
    out << "[Setup]\r\n" << lines;
  }

  std::unique_ptr<TfrmMain> Open(bool show = true) {
    auto window = std::make_unique<TfrmMain>(folder_, folder_);
    if (show) window->show();
    return window;
  }

  IniDocument Saved() const { return IniDocument::Open(folder_ + "Setup.ini"); }

  template <typename T>
  static T* Find(const TfrmMain& w, const char* name) {
    T* child = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  fs::path root_;
  std::string folder_;
};

TEST_F(MainWindowTest, WithoutSetupIniThePanelShowsTheDefaults) {
  auto w = Open();
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Imprimo ") + QString::fromLatin1(kProgramVersion));
  EXPECT_EQ(w->objectName(), QStringLiteral("frmMain"));
  EXPECT_EQ(w->Pages()->currentIndex(), TfrmMain::kPageWelcome);

  EXPECT_FALSE(Find<QCheckBox>(*w, "cbCustomSize")->isChecked());
  EXPECT_EQ(Find<QSpinBox>(*w, "edtCtmWidth")->value(), 640);
  EXPECT_EQ(Find<QSpinBox>(*w, "edtCtmHeight")->value(), 480);
  EXPECT_FALSE(Find<QSpinBox>(*w, "edtCtmWidth")->isEnabled());
  EXPECT_EQ(Find<QComboBox>(*w, "cbResizeMode")->currentText(),
            QStringLiteral("Use width and height (keep aspect)"));
  EXPECT_TRUE(Find<QRadioButton>(*w, "rbPathType2")->isChecked());
  EXPECT_EQ(Find<QRadioButton>(*w, "rbPathType2")->text(),
            QStringLiteral("Save files into another folder"));
  EXPECT_EQ(Find<QLineEdit>(*w, "edtOutPath")->text().toStdString(), DefaultOutputFolder());
  EXPECT_NE(DefaultOutputFolder(), DefaultUserFolder());
  EXPECT_TRUE(Find<QLineEdit>(*w, "edtOutPath")->isEnabled());
  EXPECT_EQ(Find<QComboBox>(*w, "cbSaveFormat")->currentText(),
            QStringLiteral("JPG - Joint Photographic Experts Group"));
  EXPECT_EQ(Find<QComboBox>(*w, "cbSaveFormat")->count(), 19);
  auto* pages = Find<QStackedWidget>(*w, "plCompress");
  EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("spC1"));
  EXPECT_EQ(Find<QSpinBox>(*w, "seQuality")->value(), 90);
  EXPECT_EQ(Find<QComboBox>(*w, "cbCompress")->currentIndex(), 5);
  EXPECT_EQ(Find<QComboBox>(*w, "cbColors")->currentText(), QStringLiteral("True color(24bit)"));
  EXPECT_TRUE(Find<QRadioButton>(*w, "cbOriginalName")->isChecked());
  EXPECT_EQ(Find<QRadioButton>(*w, "cbOriginalName")->text(),
            QStringLiteral("New name based on original name"));
  EXPECT_EQ(Find<QLineEdit>(*w, "edtRnTempl")->text(), QStringLiteral("New####"));
  EXPECT_FALSE(Find<QLineEdit>(*w, "edtRnTempl")->isEnabled());
  EXPECT_EQ(Find<QSpinBox>(*w, "edtRenameNo")->value(), 1);
  EXPECT_EQ(Find<QComboBox>(*w, "cbListTpl")->count(), 0);
}

TEST_F(MainWindowTest, FormatIndexTheListLacksStaysUnselectedAndIsStoredAsMinusOne) {
  WriteSetup("SaveFormat=99\r\n");
  {
    auto w = Open();
    EXPECT_EQ(Find<QComboBox>(*w, "cbSaveFormat")->currentIndex(), -1);
    EXPECT_EQ(Find<QStackedWidget>(*w, "plCompress")->currentWidget()->objectName(),
              QStringLiteral("spC4"));
    w->PanelToSettings();
    EXPECT_EQ(w->Settings().SaveFormat, -1);
    w->close();
  }
  EXPECT_EQ(Saved().ReadInteger(u"Setup", u"SaveFormat", 1234), -1);
}

TEST_F(MainWindowTest, SpinEditsClampStoredValuesToTheirRanges) {
  WriteSetup("Quality=5\r\nNewWidth=3\r\nNewHeight=5000000\r\nRenameNo=-4\r\nCompress=12\r\n");
  auto w = Open();
  EXPECT_EQ(Find<QSpinBox>(*w, "seQuality")->value(), 10);
  EXPECT_EQ(Find<QSpinBox>(*w, "edtCtmWidth")->value(), 5);
  EXPECT_EQ(Find<QSpinBox>(*w, "edtCtmHeight")->value(), 999999);
  EXPECT_EQ(Find<QSpinBox>(*w, "edtRenameNo")->value(), 0);
  EXPECT_EQ(Find<QComboBox>(*w, "cbCompress")->currentIndex(), -1);
  w->PanelToSettings();
  EXPECT_EQ(w->Settings().Quality, 10);
  EXPECT_EQ(w->Settings().Compress, -1);
}

TEST_F(MainWindowTest, ShortOutPathIsShownAsOutPicInTheProgramFolder) {
  for (const char* stored : {"ab", ""}) {
    WriteSetup(std::string("OutPath=") + stored + "\r\n");
    auto w = Open();
    EXPECT_EQ(Find<QLineEdit>(*w, "edtOutPath")->text().toStdString(), folder_ + "OutPic")
        << stored;
    EXPECT_EQ(w->Settings().OutPath, folder_ + "OutPic");
    EXPECT_FALSE(fs::exists(folder_ + "OutPic"));
    w->PanelToSettings();
    EXPECT_EQ(w->Settings().OutPath, folder_ + "OutPic/");
  }
}

TEST_F(MainWindowTest, PanelToSettingsReadsEveryControl) {
  WriteSetup("ScrPath=/photos/in/\r\nBorderTopWidth=17\r\nKeepExif=0\r\n");
  auto w = Open();
  Find<QLineEdit>(*w, "edtOutPath")->setText(QStringLiteral("/out/dir"));
  Find<QComboBox>(*w, "cbSaveFormat")->setCurrentIndex(1);
  Find<QComboBox>(*w, "cbCompress")->setCurrentIndex(9);
  Find<QSpinBox>(*w, "seQuality")->setValue(55);
  Find<QRadioButton>(*w, "cbRename")->setChecked(true);
  Find<QLineEdit>(*w, "edtRnTempl")->setText(QStringLiteral("Trip_###"));
  Find<QSpinBox>(*w, "edtRenameNo")->setValue(42);
  Find<QCheckBox>(*w, "cbCustomSize")->setChecked(true);
  Find<QSpinBox>(*w, "edtCtmWidth")->setValue(1024);
  Find<QSpinBox>(*w, "edtCtmHeight")->setValue(768);
  Find<QComboBox>(*w, "cbResizeMode")->setCurrentIndex(1);
  w->PanelToSettings();
  const TSettings& s = w->Settings();
  EXPECT_EQ(s.PathType, 2);
  EXPECT_EQ(s.OutPath, "/out/dir/");
  EXPECT_EQ(s.SaveFormat, 1);
  EXPECT_EQ(s.Compress, 9);
  EXPECT_EQ(s.Quality, 55);
  EXPECT_TRUE(s.Rename);
  EXPECT_EQ(s.RenameTpl, "Trip_###");
  EXPECT_EQ(s.RenameNo, 42);
  EXPECT_TRUE(s.Resize);
  EXPECT_EQ(s.NewWidth, 1024);
  EXPECT_EQ(s.NewHeight, 768);
  EXPECT_EQ(s.ResizeMode, 1);
  // Fields the panel does not show are left alone.
  EXPECT_EQ(s.BorderTopWidth, 17);
  EXPECT_FALSE(s.KeepExif);

  Find<QLineEdit>(*w, "edtOutPath")->setText(QString());
  w->PanelToSettings();
  EXPECT_EQ(w->Settings().OutPath, "/");

  Find<QRadioButton>(*w, "rbPathType1")->setChecked(true);
  w->PanelToSettings();
  EXPECT_EQ(w->Settings().PathType, 1);
  EXPECT_EQ(w->Settings().OutPath, "/photos/in/");
}

TEST_F(MainWindowTest, ClosingWritesAUtf16SetupIniWithEveryKeyThatTheNextStartShows) {
  WriteSetup("Unrelated=keep me\r\n[Other]\r\nA=1\r\n");
  {
    auto w = Open();
    Find<QComboBox>(*w, "cbSaveFormat")->setCurrentIndex(3);
    Find<QComboBox>(*w, "cbCompress")->setCurrentIndex(2);
    Find<QRadioButton>(*w, "rbPathType1")->setChecked(true);
    Find<QRadioButton>(*w, "cbRename")->setChecked(true);
    Find<QLineEdit>(*w, "edtRnTempl")->setText(QStringLiteral("Pic{FN}###"));
    Find<QSpinBox>(*w, "edtRenameNo")->setValue(9999999);
    EXPECT_TRUE(w->close());
  }
  const std::string bytes = ReadBytes(folder_ + "Setup.ini");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);

  const IniDocument saved = Saved();
  for (const char16_t* key : {u"Resize",           u"NewWidth",
                              u"NewHeight",        u"ResizeMode",
                              u"DrawBorder",       u"BorderTopWidth",
                              u"BorderRightWidth", u"BorderBottomWidth",
                              u"BorderLeftWidth",  u"BorderColor",
                              u"BorderMode",       u"BorderPosition",
                              u"TplIndex",         u"PathType",
                              u"Quality",          u"Compress",
                              u"Colors",           u"ScrPath",
                              u"OutPath",          u"SaveFormat",
                              u"ChangeCase",       u"OverwriteOutput",
                              u"Rename",           u"RenameTpl",
                              u"RenameNo",         u"KeepExif",
                              u"WinWidth",         u"WinHeight",
                              u"WinState",         u"Open",
                              u"RemoveList",       u"Close"})
    EXPECT_NE(saved.ReadString(u"Setup", key, u"<absent>"), u"<absent>")
        << std::string(key, key + std::char_traits<char16_t>::length(key));
  EXPECT_EQ(saved.ReadString(u"Setup", u"Unrelated", u""), u"keep me");
  EXPECT_EQ(saved.ReadInteger(u"Other", u"A", 0), 1);
  EXPECT_EQ(saved.ReadInteger(u"Setup", u"RenameNo", 0), 9999999);

  auto again = Open();
  EXPECT_EQ(Find<QComboBox>(*again, "cbSaveFormat")->currentIndex(), 3);
  EXPECT_EQ(Find<QStackedWidget>(*again, "plCompress")->currentWidget()->objectName(),
            QStringLiteral("spC2"));
  EXPECT_EQ(Find<QComboBox>(*again, "cbCompress")->currentIndex(), 2);
  EXPECT_TRUE(Find<QRadioButton>(*again, "rbPathType1")->isChecked());
  EXPECT_FALSE(Find<QLineEdit>(*again, "edtOutPath")->isEnabled());
  EXPECT_TRUE(Find<QRadioButton>(*again, "cbRename")->isChecked());
  EXPECT_TRUE(Find<QLineEdit>(*again, "edtRnTempl")->isEnabled());
  EXPECT_EQ(Find<QLineEdit>(*again, "edtRnTempl")->text(), QStringLiteral("Pic{FN}###"));
  EXPECT_EQ(Find<QSpinBox>(*again, "edtRenameNo")->value(), 9999999);
}

TEST_F(MainWindowTest, WindowGeometryAndStateSurviveARestart) {
  WriteSetup("WinWidth=700\r\nWinHeight=500\r\n");
  {
    auto w = Open();
    EXPECT_EQ(w->size(), QSize(700, 500));
    w->close();
  }
  EXPECT_EQ(Saved().ReadInteger(u"Setup", u"WinWidth", 0), 700);
  EXPECT_EQ(Saved().ReadInteger(u"Setup", u"WinHeight", 0), 500);
  EXPECT_EQ(Saved().ReadInteger(u"Setup", u"WinState", -1), 0);
  {
    auto w = Open();
    w->showMinimized();
    w->close();
  }
  EXPECT_EQ(Saved().ReadInteger(u"Setup", u"WinState", -1), 1);
  {
    auto w = Open(false);
    EXPECT_TRUE(w->windowState() & Qt::WindowMinimized);
    w->setWindowState(Qt::WindowMaximized);
  }  // destroyed without being closed: still saved
  EXPECT_EQ(Saved().ReadInteger(u"Setup", u"WinState", -1), 2);
  auto w = Open(false);
  EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
}

TEST_F(MainWindowTest, DamagedGeometryStillGivesAReachableWindow) {
  const QSize screen = QApplication::primaryScreen()->availableGeometry().size();
  for (const char* lines : {"WinWidth=100000\r\nWinHeight=90000\r\n",
                            "WinWidth=-5\r\nWinHeight=0\r\n", "WinState=7\r\nWinWidth=640\r\n"}) {
    WriteSetup(lines);
    auto w = Open();
    EXPECT_LE(w->width(), screen.width()) << lines;
    EXPECT_LE(w->height(), screen.height()) << lines;
    EXPECT_GE(w->width(), w->minimumSizeHint().width()) << lines;
    EXPECT_GE(w->height(), w->minimumSizeHint().height()) << lines;
    EXPECT_EQ(w->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), 0) << lines;
  }
}

TEST_F(MainWindowTest, AWindowThatWasNeverShownKeepsTheStoredSettings) {
  WriteSetup("SaveFormat=4\r\nRenameTpl=Keep##\r\nResize=1\r\n");
  Open(false).reset();
  const IniDocument saved = Saved();
  EXPECT_EQ(saved.ReadInteger(u"Setup", u"SaveFormat", -7), 4);
  EXPECT_EQ(saved.ReadString(u"Setup", u"RenameTpl", u""), u"Keep##");
  EXPECT_TRUE(saved.ReadBool(u"Setup", u"Resize", false));
}

TEST_F(MainWindowTest, AnUnwritableDataFolderStillLetsTheWindowClose) {
  // A plain file where the folder should be: no one, root included, can
  // create Setup.ini inside it.
  const std::string blocker = (root_ / "blocker").string();
  std::ofstream(blocker) << "x";
  auto w = std::make_unique<TfrmMain>(folder_, blocker + "/");
  w->show();
  EXPECT_TRUE(w->close());
  EXPECT_FALSE(w->isVisible());
  w.reset();
  EXPECT_EQ(ReadBytes(blocker), "x");
}

TEST_F(MainWindowTest, FormatChoiceShowsItsOptionPage) {
  auto w = Open();
  auto* formats = Find<QComboBox>(*w, "cbSaveFormat");
  auto* pages = Find<QStackedWidget>(*w, "plCompress");
  const struct {
    const char* text;
    const char* page;
  } cases[] = {{"PNG - Portable Network Graphics", "spC2"},
               {"BMP - Windows Bitmap Image", "spC4"},
               {"JNG - JPEG Network Graphics", "spC1"},
               {"MNG - Multiple Network Graphics", "spC2"},
               {"IMG - Daggerfall Image", "spC4"},
               {"JPG - Joint Photographic Experts Group", "spC1"}};
  for (const auto& c : cases) {
    const int index = formats->findText(QString::fromLatin1(c.text));
    ASSERT_GE(index, 0) << c.text;
    formats->setCurrentIndex(index);
    EXPECT_EQ(pages->currentWidget()->objectName(), QString::fromLatin1(c.page)) << c.text;
  }
  auto* spC4 = Find<QWidget>(*w, "spC4");
  EXPECT_EQ(spC4->findChild<QLabel*>()->text(), QStringLiteral("Use default values!"));
}

TEST_F(MainWindowTest, PathTypeRenameAndRestrictChoicesEnableTheirControls) {
  auto w = Open();
  auto* outPath = Find<QLineEdit>(*w, "edtOutPath");
  Find<QRadioButton>(*w, "rbPathType1")->setChecked(true);
  EXPECT_FALSE(outPath->isEnabled());
  Find<QRadioButton>(*w, "rbPathType2")->setChecked(true);
  EXPECT_TRUE(outPath->isEnabled());

  const char* renameControls[] = {"edtRnTempl", "abRename", "lbNumber", "edtRenameNo"};
  Find<QRadioButton>(*w, "cbRename")->setChecked(true);
  for (const char* name : renameControls) EXPECT_TRUE(Find<QWidget>(*w, name)->isEnabled()) << name;
  Find<QRadioButton>(*w, "cbOriginalName")->setChecked(true);
  for (const char* name : renameControls)
    EXPECT_FALSE(Find<QWidget>(*w, name)->isEnabled()) << name;

  const char* sizeControls[] = {"cbResizeMode",     "lbRestrainWidth", "edtCtmWidth",
                                "lbRestrainHeight", "edtCtmHeight",    "abResize"};
  auto* restrict = Find<QCheckBox>(*w, "cbCustomSize");
  EXPECT_EQ(restrict->text(), QStringLiteral("Restrict the dimensions of image"));
  restrict->setChecked(true);
  for (const char* name : sizeControls) EXPECT_TRUE(Find<QWidget>(*w, name)->isEnabled()) << name;
  restrict->setChecked(false);
  for (const char* name : sizeControls) EXPECT_FALSE(Find<QWidget>(*w, name)->isEnabled()) << name;
}

TEST_F(MainWindowTest, PresetAndTokenMenusFillTheirEdits) {
  auto w = Open();
  Find<QCheckBox>(*w, "cbCustomSize")->setChecked(true);
  Find<QComboBox>(*w, "cbResizeMode")->setCurrentIndex(1);
  auto* sizes = Find<QMenu>(*w, "pMenuSize");
  for (QAction* item : sizes->actions())
    if (item->text() == QStringLiteral("17\" Screen (1024x768)")) item->trigger();
  EXPECT_EQ(Find<QSpinBox>(*w, "edtCtmWidth")->value(), 1024);
  EXPECT_EQ(Find<QSpinBox>(*w, "edtCtmHeight")->value(), 768);
  for (QAction* item : sizes->actions())
    if (item->text() == QStringLiteral("Message Board (640x480)")) item->trigger();
  EXPECT_EQ(Find<QSpinBox>(*w, "edtCtmWidth")->value(), 640);
  EXPECT_EQ(Find<QSpinBox>(*w, "edtCtmHeight")->value(), 480);
  EXPECT_EQ(Find<QComboBox>(*w, "cbResizeMode")->currentIndex(), 1);

  auto* pattern = Find<QLineEdit>(*w, "edtRnTempl");
  pattern->setText(QStringLiteral("New"));
  auto* tokens = Find<QMenu>(*w, "pMenuRn");
  for (const char* caption : {"Original filename", "4 Digit Serial Number"})
    for (QAction* item : tokens->actions())
      if (item->text() == QString::fromLatin1(caption)) item->trigger();
  EXPECT_EQ(pattern->text(), QStringLiteral("New{FN}####"));
}

TEST_F(MainWindowTest, TemplateListHoldsTheWgFilesAndRepairsAStaleIndex) {
  fs::create_directories(folder_ + "Watermarks");
  for (const char* name : {"Alpha.wg", "Beta.WG", ".hidden.wg", "notes.txt"})
    std::ofstream(folder_ + "Watermarks/" + name) << "[Layer1]\r\n";
  fs::create_directories(folder_ + "Watermarks/Sub.wg");
  WriteSetup("TplIndex=7\r\n");
  auto w = Open();
  auto* list = Find<QComboBox>(*w, "cbListTpl");
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->itemText(i);
  names.sort();
  EXPECT_EQ(names, (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
  EXPECT_EQ(list->currentIndex(), 0);
  EXPECT_TRUE(fs::is_regular_file(w->SelectedTemplatePath())) << w->SelectedTemplatePath();
  EXPECT_EQ(fs::path(w->SelectedTemplatePath()).stem().string(), list->currentText().toStdString());
  EXPECT_EQ(w->StatusText(0), QStringLiteral("Template name: ") + list->currentText());

  // Picking the entry whose file has an upper-case extension finds that file.
  const int beta = list->findText(QStringLiteral("Beta"));
  list->setCurrentIndex(beta);
  emit list->activated(beta);
  EXPECT_EQ(w->SelectedTemplatePath(), folder_ + "Watermarks/Beta.WG");
  EXPECT_EQ(w->StatusText(0), QStringLiteral("Template name: Beta"));
  EXPECT_EQ(w->ProgramValues().TplIndex, beta);
  w->close();
  EXPECT_EQ(Saved().ReadInteger(u"Setup", u"TplIndex", -9), beta);
}

TEST_F(MainWindowTest, WelcomePageShowsLogoAndCommandsReflectTheirState) {
  QImage logo(40, 30, QImage::Format_RGB32);
  logo.fill(Qt::red);
  ASSERT_TRUE(logo.save(QString::fromStdString(folder_ + "Logo.bmp"), "BMP"));
  auto w = Open();
  auto* picture = Find<QLabel>(*w, "imgWelcome");
  EXPECT_EQ(picture->pixmap().size(), QSize(40, 30));
  EXPECT_FALSE(Find<QWidget>(*w, "plProgress")->isVisible());
  EXPECT_FALSE(Find<QAction>(*w, "actStop")->isEnabled());
  EXPECT_FALSE(Find<QToolButton>(*w, "btnToolStop")->isEnabled());
  EXPECT_EQ(Find<QToolButton>(*w, "btnToolRun")->toolTip(), QStringLiteral("Start processing"));
  EXPECT_EQ(Find<QAction>(*w, "actProcess")->shortcut(), QKeySequence(Qt::Key_F9));
  EXPECT_EQ(w->StatusText(1), QStringLiteral("Images: 0"));
  Find<QAction>(*w, "actExit")->trigger();
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(fs::exists(folder_ + "Setup.ini"));
}

TEST_F(MainWindowTest, AMissingOrDamagedLogoLeavesTheWelcomePageBlank) {
  std::ofstream(folder_ + "Logo.bmp") << "BM not really a bitmap";
  auto w = Open();
  EXPECT_TRUE(Find<QLabel>(*w, "imgWelcome")->pixmap().isNull());
}

}  // namespace
}  // namespace imprimo

namespace imprimo {
namespace {

TEST_F(MainWindowTest, MenusHaveMnemonicsAndKeysAndTheEnglishTextsReadWell) {
  auto w = Open();
  const QList<QKeySequence> exitKeys = Find<QAction>(*w, "actExit")->shortcuts();
  EXPECT_TRUE(exitKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
  EXPECT_TRUE(exitKeys.contains(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_X)));
  // The four pages have keys of their own, and no key serves two commands.
  std::map<QString, QString> owner;
  for (QAction* a : w->actions())
    for (const QKeySequence& key : a->shortcuts()) {
      const QString k = key.toString();
      EXPECT_FALSE(owner.count(k)) << k.toStdString() << ": " << owner[k].toStdString() << ", "
                                   << a->objectName().toStdString();
      owner[k] = a->objectName();
    }
  EXPECT_EQ(owner[QStringLiteral("Ctrl+1")], QStringLiteral("actDetailsList"));
  EXPECT_EQ(owner[QStringLiteral("Ctrl+2")], QStringLiteral("actImagesView"));
  EXPECT_EQ(owner[QStringLiteral("Ctrl+3")], QStringLiteral("actShowPreview"));
  EXPECT_EQ(owner[QStringLiteral("Ctrl+4")], QStringLiteral("actWelcome"));
  // Every entry of the menu bar's menus can be reached with Alt and a letter.
  for (const char* menu :
       {"mnuOpenImages", "mnuSelectFolder", "mnuRemoveAll", "mnuExit", "mnuStartProcessing",
        "mnuStopProcessing", "mnuViewThumbnail", "mnuDetailList", "mnuPreviewResult",
        "mnuStandardOptions", "mnuCleanLogs", "mnuContents", "mnuAbout"}) {
    QAction* item = Find<QAction>(*w, menu);
    ASSERT_NE(item, nullptr) << menu;
    if (std::string(menu) != "mnuOpenImages") {
      EXPECT_TRUE(item->text().contains(QLatin1Char('&'))) << menu;
    }
  }
  QStringList texts;
  for (QWidget* child : w->findChildren<QWidget*>()) {
    if (auto* b = qobject_cast<QAbstractButton*>(child)) texts << b->text();
    if (auto* l = qobject_cast<QLabel*>(child)) texts << l->text();
    if (auto* c = qobject_cast<QComboBox*>(child))
      for (int i = 0; i < c->count(); ++i) texts << c->itemText(i);
  }
  for (int c = 0; c < w->ListImgs()->columnCount(); ++c)
    texts << w->ListImgs()->horizontalHeaderItem(c)->text();
  const QString all = texts.join(QLatin1Char('\n'));
  for (const char* slip : {"Filen Name", "Use define", "totaled", "height(keep", "Close directly"})
    EXPECT_FALSE(all.contains(QLatin1String(slip))) << slip;
  EXPECT_TRUE(all.contains(QStringLiteral("File Name")));
}

}  // namespace
}  // namespace imprimo
