// The options dialog on its own over a settings record, and through the main
// window's command with the panel on either side of it.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <cstdlib>

#include "gui/menu_btn.h"
#include "support/settings_fixtures.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

template <typename T>
T* Get(const QObject& parent, const char* name) {
  T* child = parent.findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) ADD_FAILURE() << "no " << name;
  return child;
}

QAction* Item(const QMenu* menu, const char* caption) {
  for (QAction* item : menu->actions())
    if (item->text() == QString::fromUtf8(caption)) return item;
  ADD_FAILURE() << "no menu item " << caption;
  return nullptr;
}

using ::imprimo::testing::FillNonDefaultSettings;

class OptionDialogTest : public WindowFixture {
 protected:
  std::unique_ptr<TfrmOption> Dialog() {
    auto dialog = std::make_unique<TfrmOption>(folder_, settings_, values_);
    dialog->FormShow();
    return dialog;
  }
  static QString Page(const TfrmOption& d) {
    return Get<QStackedWidget>(d, "plCompress")->currentWidget()->objectName();
  }

  TSettings settings_;
  TProgramValues values_;
};

TEST_F(OptionDialogTest, FrameTabsAndFixedTexts) {
  auto d = Dialog();
  EXPECT_EQ(d->objectName(), QStringLiteral("frmOption"));
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Standard Options"));
  EXPECT_EQ(d->size(), QSize(434, 275));
  EXPECT_EQ(d->minimumSize(), d->maximumSize());
  auto* tabs = Get<QTabWidget>(*d, "pcOptions");
  ASSERT_EQ(tabs->count(), 5);
  const char* captions[] = {"Output settings", "Resize", "Rename", "Add border", "Other"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(tabs->tabText(i), QString::fromLatin1(captions[i]));
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(Get<QPushButton>(*d, "btnSave")->text(), QStringLiteral("&Save"));
  EXPECT_EQ(Get<QPushButton>(*d, "btnCancel")->text(), QStringLiteral("&Cancel"));

  auto* formats = Get<QComboBox>(*d, "cbOutputSaveFormat");
  ASSERT_EQ(formats->count(), 19);
  EXPECT_EQ(formats->itemText(6), QStringLiteral("DDS - DirectDraw Surface)"));
  EXPECT_EQ(formats->itemText(0), QString::fromUtf8(SaveFormatInfo(0).listText));
  EXPECT_EQ(Get<QComboBox>(*d, "cbChangeCase")->itemText(1), QStringLiteral("Lower extension"));
  EXPECT_EQ(Get<QComboBox>(*d, "cbBorderMode")->itemText(4), QStringLiteral("DashDotDot"));
  EXPECT_EQ(Get<QComboBox>(*d, "cbPosition")->itemText(1), QStringLiteral("Outside"));
  EXPECT_EQ(Get<QToolButton>(*d, "btnBorderColor")->toolTip(), QStringLiteral("Setup clolor"));
  EXPECT_EQ(Get<QLabel>(*d, "Label1")->text(), QStringLiteral("Serial number starting with"));
  EXPECT_EQ(Get<QCheckBox>(*d, "cbRemoveList")->text(),
            QStringLiteral("Auto remove all image files from the list after process."));
  EXPECT_EQ(Get<QSpinBox>(*d, "seQuality")->minimum(), 0);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmWidth")->maximum(), 999999);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtRenameNo")->maximum(), 9999999);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtBorderLeftWidth")->maximum(), 999);
}

TEST_F(OptionDialogTest, ShowsEveryFieldOfTheRecord) {
  FillNonDefaultSettings(settings_, values_);
  auto d = Dialog();
  EXPECT_TRUE(Get<QCheckBox>(*d, "cbCustomSize")->isChecked());
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmWidth")->value(), 1234);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmHeight")->value(), 567);
  EXPECT_EQ(Get<QComboBox>(*d, "cbResizeMode")->currentIndex(), 1);
  EXPECT_TRUE(Get<QCheckBox>(*d, "cbBorder")->isChecked());
  EXPECT_EQ(Get<QSpinBox>(*d, "edtBorderTopWidth")->value(), 11);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtBorderRightWidth")->value(), 12);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtBorderBottomWidth")->value(), 13);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtBorderLeftWidth")->value(), 14);
  EXPECT_EQ(d->BorderColor(), 0x00336699);
  EXPECT_EQ(Get<QComboBox>(*d, "cbBorderMode")->currentIndex(), 3);
  EXPECT_EQ(Get<QComboBox>(*d, "cbPosition")->currentIndex(), 1);
  EXPECT_TRUE(Get<QRadioButton>(*d, "rbPathType1")->isChecked());
  EXPECT_EQ(Get<QLineEdit>(*d, "edtOutPath")->text(), QStringLiteral("/tmp/Ausgabe ü/"));
  // The dialog has no handlers on its radio buttons.
  EXPECT_TRUE(Get<QLineEdit>(*d, "edtOutPath")->isEnabled());
  EXPECT_EQ(Get<QComboBox>(*d, "cbOutputSaveFormat")->currentIndex(), 1);
  EXPECT_EQ(Page(*d), QStringLiteral("spC2"));
  EXPECT_EQ(Get<QComboBox>(*d, "cbChangeCase")->currentIndex(), 0);
  EXPECT_EQ(Get<QSpinBox>(*d, "seQuality")->value(), 42);
  EXPECT_EQ(Get<QComboBox>(*d, "cbCompress")->currentIndex(), 8);
  EXPECT_EQ(Get<QComboBox>(*d, "cbColors")->currentIndex(), 1);
  EXPECT_TRUE(Get<QRadioButton>(*d, "cbRename")->isChecked());
  EXPECT_EQ(Get<QLineEdit>(*d, "edtRnTempl")->text(), QStringLiteral("Trip_{FN}###"));
  EXPECT_EQ(Get<QSpinBox>(*d, "edtRenameNo")->value(), 7654321);
  EXPECT_TRUE(Get<QCheckBox>(*d, "cbOverwrite")->isChecked());
  EXPECT_FALSE(Get<QCheckBox>(*d, "cbKeepExif")->isChecked());
  EXPECT_FALSE(Get<QCheckBox>(*d, "cbAutoRotate")->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(*d, "cbOpen")->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(*d, "cbClose")->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(*d, "cbRemoveList")->isChecked());

  // The defaults the other way round.
  settings_ = TSettings();
  values_ = TProgramValues();
  d->FormShow();
  EXPECT_FALSE(Get<QCheckBox>(*d, "cbCustomSize")->isChecked());
  EXPECT_FALSE(Get<QCheckBox>(*d, "cbBorder")->isChecked());
  EXPECT_TRUE(Get<QRadioButton>(*d, "rbPathType2")->isChecked());
  EXPECT_TRUE(Get<QRadioButton>(*d, "cbOriginalName")->isChecked());
  EXPECT_EQ(Get<QComboBox>(*d, "cbPosition")->currentIndex(), 0);
  EXPECT_TRUE(Get<QCheckBox>(*d, "cbKeepExif")->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(*d, "cbAutoRotate")->isChecked());
  EXPECT_FALSE(Get<QCheckBox>(*d, "cbStripLocation")->isChecked());
  EXPECT_FALSE(Get<QCheckBox>(*d, "cbKeepSourceColors")->isChecked());
  EXPECT_FALSE(Get<QCheckBox>(*d, "cbOpen")->isChecked());
  EXPECT_EQ(Page(*d), QStringLiteral("spC1"));
}

TEST_F(OptionDialogTest, SaveStoresEveryControlAndCancelNothing) {
  auto d = Dialog();
  Get<QCheckBox>(*d, "cbCustomSize")->setChecked(true);
  Get<QSpinBox>(*d, "edtCtmWidth")->setValue(800);
  Get<QSpinBox>(*d, "edtCtmHeight")->setValue(9);
  Get<QComboBox>(*d, "cbResizeMode")->setCurrentIndex(0);
  Get<QCheckBox>(*d, "cbBorder")->setChecked(true);
  Get<QSpinBox>(*d, "edtBorderTopWidth")->setValue(0);
  Get<QSpinBox>(*d, "edtBorderRightWidth")->setValue(2);
  Get<QSpinBox>(*d, "edtBorderBottomWidth")->setValue(30);
  Get<QSpinBox>(*d, "edtBorderLeftWidth")->setValue(999);
  d->SetBorderColor(0x0000FF);
  Get<QComboBox>(*d, "cbBorderMode")->setCurrentIndex(2);
  Get<QComboBox>(*d, "cbPosition")->setCurrentIndex(1);
  Get<QRadioButton>(*d, "rbPathType1")->setChecked(true);
  Get<QLineEdit>(*d, "edtOutPath")->setText(QStringLiteral("/srv/out"));
  Get<QComboBox>(*d, "cbOutputSaveFormat")->setCurrentIndex(4);
  Get<QSpinBox>(*d, "seQuality")->setValue(3);
  Get<QComboBox>(*d, "cbCompress")->setCurrentIndex(9);
  Get<QComboBox>(*d, "cbColors")->setCurrentIndex(0);
  Get<QComboBox>(*d, "cbChangeCase")->setCurrentIndex(1);
  Get<QCheckBox>(*d, "cbOverwrite")->setChecked(true);
  Get<QCheckBox>(*d, "cbKeepExif")->setChecked(false);
  Get<QCheckBox>(*d, "cbAutoRotate")->setChecked(false);
  Get<QCheckBox>(*d, "cbStripLocation")->setChecked(true);
  Get<QCheckBox>(*d, "cbKeepSourceColors")->setChecked(true);
  Get<QRadioButton>(*d, "cbRename")->setChecked(true);
  Get<QLineEdit>(*d, "edtRnTempl")->setText(QStringLiteral("Bild-{EX}"));
  Get<QSpinBox>(*d, "edtRenameNo")->setValue(0);
  Get<QCheckBox>(*d, "cbOpen")->setChecked(true);
  Get<QCheckBox>(*d, "cbClose")->setChecked(true);
  Get<QCheckBox>(*d, "cbRemoveList")->setChecked(true);

  // Cancel first: nothing reaches the record.
  const TSettings before = settings_;
  Get<QPushButton>(*d, "btnCancel")->click();
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_EQ(settings_.NewWidth, before.NewWidth);
  EXPECT_FALSE(settings_.DrawBorder);
  EXPECT_FALSE(values_.Open);

  Get<QPushButton>(*d, "btnSave")->click();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_TRUE(settings_.Resize);
  EXPECT_EQ(settings_.NewWidth, 800);
  EXPECT_EQ(settings_.NewHeight, 9);
  EXPECT_EQ(settings_.ResizeMode, 0);
  EXPECT_TRUE(settings_.DrawBorder);
  EXPECT_EQ(settings_.BorderTopWidth, 0);
  EXPECT_EQ(settings_.BorderRightWidth, 2);
  EXPECT_EQ(settings_.BorderBottomWidth, 30);
  EXPECT_EQ(settings_.BorderLeftWidth, 999);
  EXPECT_EQ(settings_.BorderColor, 0x0000FF);
  EXPECT_EQ(settings_.BorderMode, 2);
  EXPECT_FALSE(settings_.BorderPosition);
  EXPECT_EQ(settings_.PathType, 1);
  EXPECT_EQ(settings_.OutPath, "/srv/out");  // as typed, no slash added
  EXPECT_EQ(settings_.SaveFormat, 4);
  EXPECT_EQ(settings_.Quality, 3);
  EXPECT_EQ(settings_.Compress, 9);
  EXPECT_EQ(settings_.Colors, 0);
  EXPECT_EQ(settings_.ChangeCase, 1);
  EXPECT_TRUE(settings_.OverwriteOutput);
  EXPECT_FALSE(settings_.KeepExif);
  EXPECT_FALSE(settings_.AutoRotate);
  EXPECT_TRUE(settings_.StripLocation);
  EXPECT_TRUE(settings_.KeepSourceColors);
  EXPECT_TRUE(settings_.Rename);
  EXPECT_EQ(settings_.RenameTpl, "Bild-{EX}");
  EXPECT_EQ(settings_.RenameNo, 0);
  EXPECT_TRUE(values_.Open);
  EXPECT_TRUE(values_.Close);
  EXPECT_TRUE(values_.RemoveList);
}

TEST_F(OptionDialogTest, StoredValuesOutsideTheControlsAreClampedOrUnselected) {
  settings_.Quality = 5;
  settings_.BorderTopWidth = 1500;
  settings_.BorderLeftWidth = -3;
  settings_.NewWidth = 2;
  settings_.NewHeight = 5000000;
  settings_.RenameNo = 99999999;
  settings_.SaveFormat = 99;
  settings_.ChangeCase = 3;
  settings_.BorderMode = -1;
  settings_.ResizeMode = 4;
  settings_.Compress = 10;
  settings_.BorderColor = int32_t(0x8000000F);  // a system colour
  auto d = Dialog();
  EXPECT_EQ(Get<QSpinBox>(*d, "seQuality")->value(), 5);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtBorderTopWidth")->value(), 999);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtBorderLeftWidth")->value(), 0);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmWidth")->value(), 5);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmHeight")->value(), 999999);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtRenameNo")->value(), 9999999);
  EXPECT_EQ(Get<QComboBox>(*d, "cbOutputSaveFormat")->currentIndex(), -1);
  EXPECT_EQ(Page(*d), QStringLiteral("spC4"));
  EXPECT_EQ(Get<QComboBox>(*d, "cbChangeCase")->currentIndex(), -1);
  EXPECT_EQ(Get<QComboBox>(*d, "cbBorderMode")->currentIndex(), -1);
  EXPECT_EQ(Get<QComboBox>(*d, "cbResizeMode")->currentIndex(), -1);
  EXPECT_EQ(Get<QComboBox>(*d, "cbCompress")->currentIndex(), -1);

  Get<QPushButton>(*d, "btnSave")->click();
  EXPECT_EQ(settings_.Quality, 5);
  EXPECT_EQ(settings_.BorderTopWidth, 999);
  EXPECT_EQ(settings_.BorderLeftWidth, 0);
  EXPECT_EQ(settings_.NewWidth, 5);
  EXPECT_EQ(settings_.NewHeight, 999999);
  EXPECT_EQ(settings_.RenameNo, 9999999);
  EXPECT_EQ(settings_.SaveFormat, -1);
  EXPECT_EQ(settings_.ChangeCase, -1);
  // A system colour nobody changed is stored as it was.
  EXPECT_EQ(settings_.BorderColor, int32_t(0x8000000F));
}

TEST_F(OptionDialogTest, FormatChoosesTheOptionPage) {
  auto d = Dialog();
  auto* formats = Get<QComboBox>(*d, "cbOutputSaveFormat");
  struct Case {
    const char* text;
    const char* page;
  };
  for (const Case& c :
       {Case{"PNG - Portable Network Graphics", "spC2"}, Case{"BMP - Windows Bitmap Image", "spC4"},
        Case{"JNG - JPEG Network Graphics", "spC1"}}) {
    const int index = formats->findText(QString::fromLatin1(c.text));
    ASSERT_GE(index, 0) << c.text;
    formats->setCurrentIndex(index);
    EXPECT_EQ(Page(*d), QString::fromLatin1(c.page)) << c.text;
  }
  for (int i = 0; i < formats->count(); ++i) {
    formats->setCurrentIndex(i);
    // WebP (16) and AVIF (17) take the quality like JPEG and JNG.
    const char* expected = (i == 0 || i == 4 || i == 16 || i == 17) ? "spC1"
                           : (i == 1 || i == 3)                     ? "spC2"
                                                                    : "spC4";
    EXPECT_EQ(Page(*d), QString::fromLatin1(expected)) << i;
  }
}

TEST_F(OptionDialogTest, CheckBoxesEnableTheirLinkedControls) {
  auto d = Dialog();
  const char* sizeControls[] = {"cbResizeMode", "lbResizeMode",    "lbRestrainHeight",
                                "edtCtmHeight", "lbRestrainWidth", "edtCtmWidth",
                                "abResize"};
  const char* borderControls[] = {
      "lbTopWidth",          "edtBorderTopWidth",  "lbRightWidth",
      "edtBorderRightWidth", "lbBottomWidth",      "edtBorderBottomWidth",
      "lbLeftWidth",         "edtBorderLeftWidth", "lbBorderColor",
      "btnBorderColor",      "lbBorderMode",       "cbBorderMode",
      "lbPosition",          "cbPosition"};
  for (const char* name : sizeControls) EXPECT_FALSE(Get<QWidget>(*d, name)->isEnabled()) << name;
  for (const char* name : borderControls) EXPECT_FALSE(Get<QWidget>(*d, name)->isEnabled()) << name;
  Get<QCheckBox>(*d, "cbCustomSize")->setChecked(true);
  for (const char* name : sizeControls) EXPECT_TRUE(Get<QWidget>(*d, name)->isEnabled()) << name;
  for (const char* name : borderControls) EXPECT_FALSE(Get<QWidget>(*d, name)->isEnabled()) << name;
  Get<QCheckBox>(*d, "cbBorder")->setChecked(true);
  for (const char* name : borderControls) EXPECT_TRUE(Get<QWidget>(*d, name)->isEnabled()) << name;
  Get<QCheckBox>(*d, "cbCustomSize")->setChecked(false);
  for (const char* name : sizeControls) EXPECT_FALSE(Get<QWidget>(*d, name)->isEnabled()) << name;
  Get<QCheckBox>(*d, "cbBorder")->setChecked(false);
  for (const char* name : borderControls) EXPECT_FALSE(Get<QWidget>(*d, name)->isEnabled()) << name;

  // The rename controls stay usable whichever name choice is made.
  Get<QRadioButton>(*d, "cbOriginalName")->setChecked(true);
  for (const char* name : {"edtRnTempl", "mbRename", "edtRenameNo", "Label1"})
    EXPECT_TRUE(Get<QWidget>(*d, name)->isEnabled()) << name;
}

TEST_F(OptionDialogTest, PresetsSetSizesAndTokensAppend) {
  auto d = Dialog();
  Get<QComboBox>(*d, "cbResizeMode")->setCurrentIndex(2);
  auto* sizes = Get<QMenu>(*d, "pMenuSize");
  EXPECT_EQ(Get<TMenuBtn>(*d, "abResize")->PopupMenu(), sizes);
  Item(sizes, "Message Board (640x480)")->trigger();
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmWidth")->value(), 640);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmHeight")->value(), 480);
  Item(sizes, "21\" Screen (1600x1200)")->trigger();
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmWidth")->value(), 1600);
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmHeight")->value(), 1200);
  EXPECT_EQ(Get<QComboBox>(*d, "cbResizeMode")->currentIndex(), 2);

  auto* tokens = Get<QMenu>(*d, "pMenuRn");
  EXPECT_EQ(Get<TMenuBtn>(*d, "mbRename")->PopupMenu(), tokens);
  auto* pattern = Get<QLineEdit>(*d, "edtRnTempl");
  pattern->setText(QStringLiteral("New"));
  Item(tokens, "Original filename")->trigger();
  Item(tokens, "4 Digit Serial Number")->trigger();
  EXPECT_EQ(pattern->text(), QStringLiteral("New{FN}####"));
  Item(tokens, "Original extention")->trigger();
  Item(tokens, "3 Digit Serial Number")->trigger();
  Item(tokens, "5 Digit Serial Number")->trigger();
  EXPECT_EQ(pattern->text(), QStringLiteral("New{FN}####{EX}########"));
  // An action that is not one of the menu's items changes nothing.
  QAction stray(QStringLiteral("stray"));
  stray.setData(3);
  emit tokens->triggered(&stray);
  emit sizes->triggered(&stray);
  EXPECT_EQ(pattern->text(), QStringLiteral("New{FN}####{EX}########"));
  EXPECT_EQ(Get<QSpinBox>(*d, "edtCtmWidth")->value(), 1600);
}

TEST_F(OptionDialogTest, ColourButtonAndFolderBrowse) {
  auto d = Dialog();
  QColor offered;
  std::vector<QColor> answers = {QColor(10, 20, 30), QColor()};
  QString folderCaption;
  TOptionDialogs hooks;
  hooks.ChooseColor = [&](const QColor& initial) {
    offered = initial;
    const QColor answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  };
  hooks.ChooseFolder = [&](const QString& caption, const QString&) {
    folderCaption = caption;
    return QStringLiteral("/media/card");
  };
  d->SetDialogs(hooks);

  auto* menu = Get<QToolButton>(*d, "btnBorderColor")->menu();
  ASSERT_NE(menu, nullptr);
  Item(menu, "Red")->trigger();
  EXPECT_EQ(d->BorderColor(), 0x0000FF);
  Item(menu, "&Other...")->trigger();
  EXPECT_EQ(offered, QColor(255, 0, 0));
  EXPECT_EQ(d->BorderColor(), 0x1E140A);  // TColor order: blue, green, red
  Item(menu, "&Other...")->trigger();     // cancelled
  EXPECT_EQ(d->BorderColor(), 0x1E140A);

  Get<QAction>(*d, "btnOutPathBrowse")->trigger();
  EXPECT_EQ(folderCaption, QStringLiteral("Select save path:"));
  EXPECT_EQ(Get<QLineEdit>(*d, "edtOutPath")->text(), QStringLiteral("/media/card/"));
  Get<QPushButton>(*d, "btnSave")->click();
  EXPECT_EQ(settings_.BorderColor, 0x1E140A);
  EXPECT_EQ(settings_.OutPath, "/media/card/");
}

TEST_F(OptionDialogTest, JpegChromaAndFlattenColourRoundTrip) {
  settings_.JpegSubsampling = 2;
  settings_.FlattenColor = 0x00FF00;
  auto d = Dialog();
  auto* chroma = Get<QComboBox>(*d, "cbJpegSubsampling");
  EXPECT_EQ(chroma->count(), 3);
  EXPECT_EQ(chroma->currentIndex(), 2);
  EXPECT_EQ(d->FlattenColor(), 0x00FF00);

  // The flatten colour has its own button: choosing it leaves the border's.
  const int32_t border = d->BorderColor();
  TOptionDialogs hooks;
  hooks.ChooseColor = [](const QColor&) { return QColor(1, 2, 3); };
  d->SetDialogs(hooks);
  auto* menu = Get<QToolButton>(*d, "btnFlattenColor")->menu();
  ASSERT_NE(menu, nullptr);
  Item(menu, "Navy")->trigger();
  EXPECT_EQ(d->FlattenColor(), 0x800000);
  Item(menu, "&Other...")->trigger();
  EXPECT_EQ(d->FlattenColor(), 0x030201);
  EXPECT_EQ(d->BorderColor(), border);

  chroma->setCurrentIndex(1);
  Get<QPushButton>(*d, "btnSave")->click();
  EXPECT_EQ(settings_.JpegSubsampling, 1);
  EXPECT_EQ(settings_.FlattenColor, 0x030201);
  EXPECT_EQ(settings_.BorderColor, border);
}

TEST_F(OptionDialogTest, NewerFormatSettingsRoundTrip) {
  settings_.WebPLossless = true;
  settings_.AvifSpeed = 9;
  settings_.TiffCompression = 1;
  auto d = Dialog();
  auto* lossless = Get<QCheckBox>(*d, "cbWebPLossless");
  auto* speed = Get<QSpinBox>(*d, "seAvifSpeed");
  auto* tiff = Get<QComboBox>(*d, "cbTiffCompression");
  EXPECT_TRUE(lossless->isChecked());
  EXPECT_EQ(speed->value(), 9);
  EXPECT_EQ(speed->maximum(), 10);
  EXPECT_EQ(tiff->currentIndex(), 1);
  // Each shows beside the option page when its format is chosen.
  auto* formats = Get<QComboBox>(*d, "cbOutputSaveFormat");
  auto* extra = Get<QStackedWidget>(*d, "plFormatExtra");
  formats->setCurrentIndex(16);
  EXPECT_EQ(extra->currentWidget(), lossless);
  formats->setCurrentIndex(17);
  EXPECT_TRUE(extra->currentWidget()->isAncestorOf(speed));
  formats->setCurrentIndex(18);
  EXPECT_TRUE(extra->currentWidget()->isAncestorOf(tiff));
  formats->setCurrentIndex(0);
  EXPECT_EQ(extra->currentIndex(), 0);
  lossless->setChecked(false);
  speed->setValue(2);
  tiff->setCurrentIndex(0);
  Get<QPushButton>(*d, "btnSave")->click();
  EXPECT_FALSE(settings_.WebPLossless);
  EXPECT_EQ(settings_.AvifSpeed, 2);
  EXPECT_EQ(settings_.TiffCompression, 0);
}

TEST_F(OptionDialogTest, LogoIsShownWhenReadableAndIgnoredOtherwise) {
  EXPECT_FALSE(Dialog()->HasLogo());
  WriteText(folder_ + "leftlogo.bmp", "BM not really a bitmap");
  EXPECT_FALSE(Dialog()->HasLogo());
  fs::remove(folder_ + "leftlogo.bmp");
  WriteImage(folder_ + "leftlogo.bmp", 80, 200, "BMP");
  EXPECT_TRUE(Dialog()->HasLogo());
}

// Through the main window's command.

TEST_F(OptionDialogTest, CommandShowsThePanelAndSaveShowsTheResultInThePanel) {
  TfrmMain& w = Open();
  auto* command = Get<QAction>(w, "actStandardOption");
  EXPECT_TRUE(command->isEnabled());
  Get<QSpinBox>(w, "edtCtmWidth")->setValue(333);
  Get<QLineEdit>(w, "edtRnTempl")->setText(QStringLiteral("Panel#"));
  w.Settings().DrawBorder = true;
  w.Settings().BorderTopWidth = 1500;

  showOptions_ = [](TfrmOption& d) {
    // The panel's state reached the dialog.
    EXPECT_EQ(Get<QSpinBox>(d, "edtCtmWidth")->value(), 333);
    EXPECT_EQ(Get<QLineEdit>(d, "edtRnTempl")->text(), QStringLiteral("Panel#"));
    EXPECT_EQ(Get<QSpinBox>(d, "edtBorderTopWidth")->value(), 999);
    Get<QCheckBox>(d, "cbCustomSize")->setChecked(true);
    Get<QSpinBox>(d, "edtCtmHeight")->setValue(222);
    Get<QComboBox>(d, "cbOutputSaveFormat")->setCurrentIndex(1);
    Get<QComboBox>(d, "cbCompress")->setCurrentIndex(2);
    Get<QRadioButton>(d, "cbRename")->setChecked(true);
    Get<QLineEdit>(d, "edtRnTempl")->setText(QStringLiteral("Dialog{FN}"));
    Get<QSpinBox>(d, "edtRenameNo")->setValue(50);
    Get<QRadioButton>(d, "rbPathType2")->setChecked(true);
    Get<QLineEdit>(d, "edtOutPath")->setText(QStringLiteral("/srv/pics/"));
    Get<QCheckBox>(d, "cbKeepExif")->setChecked(false);
    Get<QCheckBox>(d, "cbRemoveList")->setChecked(true);
    Get<QPushButton>(d, "btnSave")->click();
    return d.result();
  };
  command->trigger();
  EXPECT_EQ(optionRuns_, 1);
  EXPECT_EQ(w.findChild<TfrmOption*>(), nullptr);  // destroyed after use

  EXPECT_TRUE(Get<QCheckBox>(w, "cbCustomSize")->isChecked());
  EXPECT_TRUE(Get<QSpinBox>(w, "edtCtmWidth")->isEnabled());
  EXPECT_EQ(Get<QSpinBox>(w, "edtCtmHeight")->value(), 222);
  EXPECT_EQ(Get<QComboBox>(w, "cbSaveFormat")->currentIndex(), 1);
  EXPECT_EQ(Get<QStackedWidget>(w, "plCompress")->currentWidget()->objectName(),
            QStringLiteral("spC2"));
  EXPECT_EQ(Get<QComboBox>(w, "cbCompress")->currentIndex(), 2);
  EXPECT_TRUE(Get<QRadioButton>(w, "cbRename")->isChecked());
  EXPECT_TRUE(Get<QLineEdit>(w, "edtRnTempl")->isEnabled());
  EXPECT_EQ(Get<QLineEdit>(w, "edtRnTempl")->text(), QStringLiteral("Dialog{FN}"));
  EXPECT_EQ(Get<QSpinBox>(w, "edtRenameNo")->value(), 50);
  EXPECT_EQ(Get<QLineEdit>(w, "edtOutPath")->text(), QStringLiteral("/srv/pics/"));
  EXPECT_EQ(w.Settings().BorderTopWidth, 999);
  EXPECT_FALSE(w.Settings().KeepExif);
  EXPECT_TRUE(w.ProgramValues().RemoveList);

  // The Tools menu entry and the toolbar button run the same command.
  showOptions_ = nullptr;
  Get<QAction>(w, "mnuStandardOptions")->trigger();
  EXPECT_EQ(optionRuns_, 2);
  for (QAction* a : Get<QToolBar>(w, "ToolBarM")->actions())
    if (a->text() == QStringLiteral("Options")) a->trigger();
  EXPECT_EQ(optionRuns_, 3);
}

TEST_F(OptionDialogTest, CancelKeepsWhatThePanelHad) {
  TfrmMain& w = Open();
  Get<QSpinBox>(w, "edtCtmWidth")->setValue(321);
  Get<QComboBox>(w, "cbSaveFormat")->setCurrentIndex(2);
  w.Settings().DrawBorder = false;
  showOptions_ = [](TfrmOption& d) {
    Get<QSpinBox>(d, "edtCtmWidth")->setValue(900);
    Get<QComboBox>(d, "cbOutputSaveFormat")->setCurrentIndex(0);
    Get<QCheckBox>(d, "cbBorder")->setChecked(true);
    Get<QCheckBox>(d, "cbOpen")->setChecked(true);
    Get<QPushButton>(d, "btnCancel")->click();
    return d.result();
  };
  Get<QAction>(w, "actStandardOption")->trigger();
  EXPECT_EQ(optionRuns_, 1);
  EXPECT_EQ(w.Settings().NewWidth, 321);  // as PanelToSettings made it
  EXPECT_EQ(w.Settings().SaveFormat, 2);
  EXPECT_FALSE(w.Settings().DrawBorder);
  EXPECT_FALSE(w.ProgramValues().Open);
  EXPECT_EQ(Get<QSpinBox>(w, "edtCtmWidth")->value(), 321);
  EXPECT_EQ(Get<QComboBox>(w, "cbSaveFormat")->currentIndex(), 2);
}

TEST_F(OptionDialogTest, SavedOptionsReachSetupIniWhenTheWindowCloses) {
  TfrmMain& w = Open();
  showOptions_ = [](TfrmOption& d) {
    Get<QCheckBox>(d, "cbBorder")->setChecked(true);
    Get<QSpinBox>(d, "edtBorderBottomWidth")->setValue(77);
    Get<QComboBox>(d, "cbBorderMode")->setCurrentIndex(4);
    Get<QComboBox>(d, "cbPosition")->setCurrentIndex(1);
    Get<QComboBox>(d, "cbChangeCase")->setCurrentIndex(0);
    Get<QCheckBox>(d, "cbOverwrite")->setChecked(true);
    Get<QCheckBox>(d, "cbClose")->setChecked(true);
    d.SetBorderColor(0x00ABCDEF);
    Get<QPushButton>(d, "btnSave")->click();
    return d.result();
  };
  Get<QAction>(w, "actStandardOption")->trigger();
  w.close();
  TSettings s;
  TProgramValues v;
  LoadSettings(folder_, s, v);
  EXPECT_TRUE(s.DrawBorder);
  EXPECT_EQ(s.BorderBottomWidth, 77);
  EXPECT_EQ(s.BorderMode, 4);
  EXPECT_FALSE(s.BorderPosition);
  EXPECT_EQ(s.BorderColor, 0x00ABCDEF);
  EXPECT_EQ(s.ChangeCase, 0);
  EXPECT_TRUE(s.OverwriteOutput);
  EXPECT_TRUE(v.Close);
}

// Pictures of the five pages, written to $IMPRIMO_SCREENS_DIR/options-*.png
// when that is set.
TEST_F(OptionDialogTest, PagesPicture) {
  FillNonDefaultSettings(settings_, values_);
  settings_.SaveFormat = 0;
  WriteImage(folder_ + "leftlogo.bmp", 80, 240, "BMP", QColor(30, 70, 140));
  auto d = Dialog();
  d->show();
  auto* tabs = Get<QTabWidget>(*d, "pcOptions");
  const char* names[] = {"output", "resize", "rename", "border", "other"};
  for (int i = 0; i < 5; ++i) {
    tabs->setCurrentIndex(i);
    QApplication::processEvents();
    const QPixmap picture = d->grab();
    // Every tab caption shows in full.
    for (int t = 0; t < tabs->count(); ++t) {
      const QRect tab = tabs->tabBar()->tabRect(t);
      EXPECT_TRUE(QRect(QPoint(), tabs->tabBar()->size()).contains(tab)) << t;
      EXPECT_TRUE(
          d->rect().contains(QRect(tabs->tabBar()->mapTo(d.get(), tab.topLeft()), tab.size())))
          << t;
    }
    EXPECT_EQ(picture.size(), QSize(434, 275));
    // Every control of the page lies inside the dialog.
    for (QWidget* control : tabs->currentWidget()->findChildren<QWidget*>()) {
      if (!control->isVisible()) continue;
      const QRect r(control->mapTo(d.get(), QPoint()), control->size());
      EXPECT_TRUE(d->rect().contains(r)) << names[i] << " " << control->objectName().toStdString();
    }
    if (const char* dir = std::getenv("IMPRIMO_SCREENS_DIR")) {
      EXPECT_TRUE(picture.save(QString::fromLocal8Bit(dir) + QStringLiteral("/options-") +
                               QString::fromLatin1(names[i]) + QStringLiteral(".png")));
    }
  }
  // The WebP, AVIF and TIFF settings beside the option page fit as well.
  tabs->setCurrentIndex(0);
  for (int format : {16, 17, 18}) {
    Get<QComboBox>(*d, "cbOutputSaveFormat")->setCurrentIndex(format);
    QApplication::processEvents();
    for (QWidget* control : tabs->currentWidget()->findChildren<QWidget*>()) {
      if (!control->isVisible()) continue;
      const QRect r(control->mapTo(d.get(), QPoint()), control->size());
      EXPECT_TRUE(d->rect().contains(r)) << format << " " << control->objectName().toStdString();
    }
    if (const char* dir = std::getenv("IMPRIMO_SCREENS_DIR")) {
      EXPECT_TRUE(d->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/options-output-") +
                                 QString::number(format) + QStringLiteral(".png")));
    }
  }
}

}  // namespace
}  // namespace imprimo::testing_gui
