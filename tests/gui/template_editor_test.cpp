// Starting the template editor from the main window, and the list once it
// has ended.
#include <sys/stat.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

class TemplateEditorTest : public WindowFixture {
 protected:
  QAction* Action(const char* name) const { return window_->findChild<QAction*>(name); }
  QComboBox* List() const { return window_->findChild<QComboBox*>("cbListTpl"); }

  // A stand-in editor: it writes how many arguments it got and each on a
  // line of its own, then saves a new template.
  void WriteEditor(const std::string& newTemplate) {
    const std::string path = folder_ + "MarkDesigner";
    WriteText(path,
              "#!/bin/sh\n"
              "dir=$(dirname \"$0\")\n"
              "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > \"$dir/args.txt\"\n"
              "printf '[Mark]\\r\\nText=new\\r\\n' > \"$dir/Watermarks/" +
                  newTemplate + ".wg\"\n");
    ::chmod(path.c_str(), 0755);
  }
  std::string Args() const {
    std::ifstream in(folder_ + "args.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(TemplateEditorTest, TemplatesAreListedByNameWhateverTheFolderOrder) {
  for (const char* name : {"gamma", "beta", "Alpha", "Delta", "Zeta", "delta2"})
    WriteTemplate(name);
  WriteText(folder_ + "Setup.ini", "[Setup]\r\nTplIndex=1\r\n");
  TfrmMain& w = Open();
  QStringList names;
  for (int i = 0; i < List()->count(); ++i) names << List()->itemText(i);
  EXPECT_EQ(names, (QStringList{"Alpha", "beta", "Delta", "delta2", "gamma", "Zeta"}));
  EXPECT_EQ(List()->currentText(), QStringLiteral("beta"));
  EXPECT_EQ(w.SelectedTemplatePath(), folder_ + "Watermarks/beta.wg");
}

TEST_F(TemplateEditorTest, EditorGetsThePathWithBlanksAsOneArgumentAndItsEndSelectsTheNewTemplate) {
  WriteTemplate("My Mark");
  WriteTemplate("Zoo");
  WriteEditor("Added Mark");
  TfrmMain& w = Open();
  ASSERT_EQ(List()->count(), 2);
  ASSERT_EQ(List()->currentText(), QStringLiteral("My Mark"));
  EXPECT_TRUE(Action("actTplAdd")->isEnabled());
  EXPECT_TRUE(Action("actTplEdit")->isEnabled());

  // The template menu holds the three commands in order.
  const QList<QAction*> items = w.findChild<QMenu*>("pMenuTpl")->actions();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0]->text(), QStringLiteral("Launch Template Editor"));
  EXPECT_EQ(items[1]->text(), QStringLiteral("Edit Selected Template"));
  EXPECT_EQ(items[2]->text(), QStringLiteral("Delete Selected Template"));

  items[1]->trigger();
  // The window does not wait: the list changes only once the editor ends.
  ASSERT_TRUE(QTest::qWaitFor([&] { return List()->count() == 3; }, 10000));
  EXPECT_EQ(Args(), "1\n" + folder_ + "Watermarks/My Mark.wg\n");
  EXPECT_EQ(List()->currentText(), QStringLiteral("Added Mark"));
  EXPECT_EQ(w.SelectedTemplatePath(), folder_ + "Watermarks/Added Mark.wg");
  EXPECT_EQ(w.ProgramValues().TplIndex, 0);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Template name: Added Mark"));
  EXPECT_TRUE(messages_.empty());

  // Without a file the editor gets no argument; a template saved again under
  // its old name keeps the selection where it is.
  List()->setCurrentIndex(2);
  w.cbListTplChange();
  fs::remove(folder_ + "args.txt");
  Action("actTplAdd")->trigger();
  auto* editor = w.findChild<QProcess*>("templateEditorProcess");
  ASSERT_NE(editor, nullptr);
  QSignalSpy ended(editor, &QProcess::finished);
  ASSERT_TRUE(ended.wait(10000));
  EXPECT_EQ(Args(), "0\n");
  EXPECT_EQ(List()->count(), 3);
  EXPECT_EQ(List()->currentText(), QStringLiteral("Zoo"));
}

TEST_F(TemplateEditorTest, AnEditorThatCannotStartIsReportedAndTheListStays) {
  WriteTemplate("Only");
  TfrmMain& w = Open();
  Action("actTplAdd")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].icon, QMessageBox::Critical);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Error"));
  EXPECT_EQ(messages_[0].text,
            QStringLiteral("System Error.  Code: 2.\r\nNo such file or directory"));

  // A file that may not be run.
  WriteText(folder_ + "MarkDesigner", "#!/bin/sh\n");
  ::chmod((folder_ + "MarkDesigner").c_str(), 0644);
  if (::geteuid() != 0) {
    Action("actTplEdit")->trigger();
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_TRUE(messages_[1].text.startsWith(QStringLiteral("System Error.  Code: 13.\r\n")))
        << messages_[1].text.toStdString();
  }
  EXPECT_EQ(List()->count(), 1);
  EXPECT_EQ(w.SelectedTemplatePath(), folder_ + "Watermarks/Only.wg");
}

TEST_F(TemplateEditorTest, AnEditorOutlivesTheWindowThatStartedIt) {
  WriteTemplate("Sample");
  const std::string editor = folder_ + "MarkDesigner";
  WriteText(editor, "#!/bin/sh\nsleep 1\necho saved > \"$(dirname \"$0\")/saved.txt\"\n");
  ::chmod(editor.c_str(), 0755);
  Open();
  Action("actTplAdd")->trigger();
  QProcess* process = window_->findChild<QProcess*>("templateEditorProcess");
  ASSERT_NE(process, nullptr);
  window_->close();
  window_.reset();
  // The editor was neither killed with the window nor reported to it: the
  // window let its process go on, and it ends having saved.
  ASSERT_EQ(process->parent(), nullptr);
  std::unique_ptr<QProcess> running(process);
  QSignalSpy ended(running.get(), &QProcess::finished);
  ASSERT_TRUE(ended.wait(10000));
  EXPECT_EQ(running->exitCode(), 0);
  EXPECT_TRUE(fs::exists(folder_ + "saved.txt"));
}

TEST_F(TemplateEditorTest, AnEditorEndDuringARunRefreshesTheListAfterIt) {
  WriteTemplate("Sample");
  std::function<void()> editorEnded;
  QStringList started;
  TfrmMain& w = Open();
  TMainDialogs dialogs;
  dialogs.MessageBox = [this](QMessageBox::Icon icon, const QString& caption, const QString& text,
                              QMessageBox::StandardButtons) {
    messages_.push_back({icon, caption, text});
    return int(QMessageBox::No);
  };
  dialogs.StartProcess = [&](const QString& program, const QStringList& arguments,
                             std::function<void()> finished) {
    started << program << arguments;
    editorEnded = std::move(finished);
    return TProcessStart{true, 0, {}};
  };
  w.SetDialogs(std::move(dialogs));

  Action("actTplAdd")->trigger();
  EXPECT_EQ(started, QStringList{QString::fromStdString(folder_ + "MarkDesigner")});
  ASSERT_TRUE(editorEnded);
  WriteTemplate("Brand New");

  const std::string in = (root_ / "in").string() + "/";
  for (const char* name : {"a.jpg", "b.jpg"}) WriteImage(in + name, 30, 20, "JPEG");
  w.DragDropMDrop({QString::fromStdString(in + "a.jpg"), QString::fromStdString(in + "b.jpg")});
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));

  // The editor ends while the run works on its first row.
  bool sawRunning = false;
  int countDuringRun = -1;
  QTimer::singleShot(0, &w, [&] {
    sawRunning = w.Running();
    editorEnded();
    countDuringRun = List()->count();
  });
  Action("actProcess")->trigger();
  EXPECT_TRUE(sawRunning);
  EXPECT_EQ(countDuringRun, 1);
  EXPECT_TRUE(fs::exists(out_ + "a.jpg"));
  EXPECT_TRUE(fs::exists(out_ + "b.jpg"));
  // After the run the list holds the new template, selected.
  ASSERT_EQ(List()->count(), 2);
  EXPECT_EQ(List()->currentText(), QStringLiteral("Brand New"));
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Template name: Brand New"));
}

}  // namespace
}  // namespace imprimo::testing_gui
