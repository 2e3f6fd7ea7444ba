// Deleting templates from the main window's list and running without one.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>

#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

using TemplateListTest = WindowFixture;

TEST_F(TemplateListTest, DeletingTemplatesUntilNoneIsLeft) {
  WriteTemplate("First");
  WriteTemplate("Second");
  WriteText(folder_ + "Setup.ini", "[Setup]\r\nTplIndex=1\r\n");
  TfrmMain& w = Open();
  auto* list = w.findChild<QComboBox*>("cbListTpl");
  auto* del = w.findChild<QAction*>("actTplDel");
  ASSERT_EQ(list->count(), 2);
  ASSERT_EQ(list->currentIndex(), 1);
  const std::string second = folder_ + "Watermarks/" + list->currentText().toStdString() + ".wg";
  EXPECT_TRUE(del->isEnabled());

  answers_ = {QMessageBox::No};
  del->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Question"));
  EXPECT_EQ(messages_[0].text, QStringLiteral("Are you sure you want to delete it?"));
  EXPECT_TRUE(fs::exists(second));

  // The index stays, so the first entry is selected once the last has gone.
  answers_ = {QMessageBox::Yes};
  del->trigger();
  EXPECT_FALSE(fs::exists(second));
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->currentIndex(), 0);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Template name: ") + list->currentText());
  EXPECT_EQ(fs::path(w.SelectedTemplatePath()).stem().string(), list->currentText().toStdString());

  answers_ = {QMessageBox::Yes};
  del->trigger();
  EXPECT_EQ(list->count(), 0);
  EXPECT_FALSE(del->isEnabled());
  EXPECT_FALSE(w.findChild<QAction*>("actTplEdit")->isEnabled());
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Template name: "));

  // A run without a template refuses with its message.
  const std::string in = (root_ / "in").string() + "/";
  WriteImage(in + "a.jpg", 16, 16, "JPEG");
  w.DragDropMDrop({QString::fromStdString(in + "a.jpg")});
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));
  messages_.clear();
  w.findChild<QAction*>("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Error"));
  EXPECT_EQ(messages_[0].text,
            QStringLiteral("Unable to find selected template. Please choose a template first!"));
  EXPECT_EQ(w.RowIcon(0), 2);
}

// Templates saved or copied into the folder by another program appear in
// the running window; the chosen one stays chosen and the page stays.
TEST_F(TemplateListTest, TheListFollowsTheTemplateFolder) {
  WriteTemplate("Middle");
  TfrmMain& w = Open();
  auto* list = w.findChild<QComboBox*>("cbListTpl");
  ASSERT_EQ(list->count(), 1);
  const int page = w.Pages()->currentIndex();

  WriteTemplate("Zulu");
  QTRY_COMPARE_WITH_TIMEOUT(list->count(), 2, 10000);
  WriteTemplate("Alpha");
  QTRY_COMPARE_WITH_TIMEOUT(list->count(), 3, 10000);
  EXPECT_EQ(list->itemText(0), QStringLiteral("Alpha"));
  EXPECT_EQ(list->currentText(), QStringLiteral("Middle"));
  EXPECT_EQ(w.Settings().SaveFormat, 0);
  EXPECT_EQ(w.ProgramValues().TplIndex, 1);
  EXPECT_EQ(w.SelectedTemplatePath(), folder_ + "Watermarks/Middle.wg");
  EXPECT_EQ(w.Pages()->currentIndex(), page);

  // The chosen template removed by another program: another is chosen.
  fs::remove(folder_ + "Watermarks/Middle.wg");
  QTRY_COMPARE_WITH_TIMEOUT(list->count(), 2, 10000);
  EXPECT_GE(list->currentIndex(), 0);
  EXPECT_EQ(fs::path(w.SelectedTemplatePath()).stem().string(), list->currentText().toStdString());

  // A Watermarks folder made again after it was removed is followed.
  fs::remove_all(folder_ + "Watermarks");
  QTRY_COMPARE_WITH_TIMEOUT(list->count(), 0, 10000);
  EXPECT_FALSE(w.findChild<QAction*>("actTplEdit")->isEnabled());
  fs::create_directories(folder_ + "Watermarks");
  WriteTemplate("Back");
  QTRY_COMPARE_WITH_TIMEOUT(list->count(), 1, 10000);
  EXPECT_EQ(list->currentText(), QStringLiteral("Back"));
  EXPECT_TRUE(w.findChild<QAction*>("actTplEdit")->isEnabled());
}

}  // namespace
}  // namespace imprimo::testing_gui
