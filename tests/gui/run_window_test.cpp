// Runs from the main window over generated pictures: row icons, columns,
// progress, stopping, refusals, command state and the after-run actions.
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "app/batch_run.h"
#include "app/output_check.h"
#include "app/settings.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

class RunWindowTest : public WindowFixture {
 protected:
  // n pictures in root/<folder>/, dropped on the window, output into out_.
  // Without a Setup.ini of the test's own, the run takes one image at a time,
  // so stopping and closing are seen between two images.
  TfrmMain& OpenWithImages(int n, const std::string& folder = "in") {
    if (!fs::exists(folder_ + "Setup.ini")) {
      TSettings settings;
      TProgramValues values;
      values.Jobs = 1;
      SaveSettings(folder_, settings, values);
    }
    in_ = (root_ / folder).string() + "/";
    for (int i = 0; i < n; ++i)
      WriteImage(in_ + "img" + std::to_string(i) + ".jpg", 48 + i, 32, "JPEG");
    WriteTemplate();
    TfrmMain& w = Open();
    QStringList paths;
    for (int i = 0; i < n; ++i)
      paths << QString::fromStdString(in_ + "img" + std::to_string(i) + ".jpg");
    w.DragDropMDrop(paths);
    w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));
    return w;
  }
  QAction* Action(const char* name) const { return window_->findChild<QAction*>(name); }

  std::string in_;
};

TEST_F(RunWindowTest, ARunTicksEveryRowFillsTheColumnsAndRestoresTheCommands) {
  TfrmMain& w = OpenWithImages(3);
  WriteText(in_ + "zz_text.jpg", "not a picture at all");
  w.DragDropMDrop({QString::fromStdString(in_ + "zz_text.jpg")});
  ASSERT_EQ(w.RowCount(), 4);

  // The command state while rows are being worked on.
  struct Seen {
    bool process = true, stop = false, add = true, addFolder = true, removeAll = true,
         templates = true, run = true;
  } seen;
  QObject::connect(w.findChild<QProgressBar*>("pbM"), &QProgressBar::valueChanged, [&](int v) {
    if (v == 0) return;
    seen.process = Action("actProcess")->isEnabled();
    seen.run = Action("btnToolRun")->isEnabled();
    seen.stop = Action("actStop")->isEnabled() && Action("btnToolStop")->isEnabled();
    seen.add = Action("actAddFiles")->isEnabled();
    seen.addFolder = Action("actAddfolders")->isEnabled();
    seen.removeAll = Action("actRemoveAll")->isEnabled();
    seen.templates = w.findChild<QComboBox*>("cbListTpl")->isEnabled() ||
                     w.findChild<QWidget*>("abTpl")->isEnabled();
    // A selection change during the run must not bring the run command back.
    w.ListImgs()->selectRow(0);
    EXPECT_FALSE(Action("actProcess")->isEnabled());
  });
  answers_ = {QMessageBox::No};
  Action("actProcess")->trigger();

  EXPECT_EQ(Icons(), (std::vector<int>{1, 1, 1, 0}));
  EXPECT_EQ(w.RowColumn(0, 1), QStringLiteral("48 x 32")) << w.RowColumn(0, 1).toStdString();
  EXPECT_EQ(w.RowColumn(2, 1), QStringLiteral("50 x 32"));
  EXPECT_FALSE(w.RowColumn(1, 3).isEmpty());
  EXPECT_FALSE(w.RowColumn(1, 4).isEmpty());
  EXPECT_TRUE(w.RowColumn(3, 1).isEmpty()) << "a failed image has no dimension";
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(fs::exists(out_ + "img" + std::to_string(i) + ".jpg")) << i;
  EXPECT_TRUE(fs::exists(folder_ + "Log.dat"));
  EXPECT_EQ(w.LastRun().Succeeded, 3);
  EXPECT_EQ(w.LastRun().Failed, 1);

  EXPECT_FALSE(seen.process);
  EXPECT_FALSE(seen.run);
  EXPECT_TRUE(seen.stop);
  EXPECT_FALSE(seen.add);
  EXPECT_FALSE(seen.addFolder);
  EXPECT_FALSE(seen.removeAll);
  EXPECT_FALSE(seen.templates);
  for (const char* name : {"actProcess", "btnToolRun", "actAddFiles", "actAddfolders",
                           "actRemoveAll", "actRemoveSelected"})
    EXPECT_TRUE(Action(name)->isEnabled()) << name;
  EXPECT_FALSE(Action("actStop")->isEnabled());
  EXPECT_FALSE(Action("btnToolStop")->isEnabled());
  EXPECT_TRUE(w.findChild<QComboBox*>("cbListTpl")->isEnabled());
  EXPECT_FALSE(w.findChild<QWidget*>("plProgress")->isVisible());

  // The run ends with the questions (show the failed row alone? open the
  // folder?); No changes nothing and opens nothing.
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_TRUE(
      messages_[0].text.endsWith(QStringLiteral("1 images failed. Show only the failed images?")));
  EXPECT_FALSE(Action("actFailedOnly")->isChecked());
  messages_.erase(messages_.begin());
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Question"));
  EXPECT_EQ(messages_[0].icon, QMessageBox::Question);
  // The question leads with the counts.
  EXPECT_EQ(messages_[0].text,
            QStringLiteral("Processing finished! 4 images: 3 succeeded, 1 failed.\r\n"
                           "Do you want to open the output folder? "));
  EXPECT_TRUE(openedFolders_.empty());
  // The failed row says why, in its tool tip and, once selected, in the
  // status bar; the rows that succeeded do not.
  const QString tip = w.ListImgs()->item(3, 0)->toolTip();
  EXPECT_TRUE(tip.startsWith(w.RowText(3) + QStringLiteral("\nFailed: "))) << tip.toStdString();
  EXPECT_GT(tip.size(), (w.RowText(3) + QStringLiteral("\nFailed: ")).size());
  EXPECT_FALSE(w.ListImgs()->item(0, 0)->toolTip().contains(QStringLiteral("Failed")));
  EXPECT_EQ(w.StatusText(2),
            QStringLiteral("Processing finished! 4 images: 3 succeeded, 1 failed."));
  w.ListImgs()->selectRow(3);
  EXPECT_TRUE(w.StatusText(2).startsWith(QStringLiteral("File name: ") + w.RowText(3) +
                                         QStringLiteral(" - Failed: ")))
      << w.StatusText(2).toStdString();
  w.ListImgs()->selectRow(0);
  EXPECT_EQ(w.StatusText(2), QStringLiteral("File name: ") + w.RowText(0));

  // Yes opens the output folder; where nothing opens it, the path is shown.
  answers_ = {QMessageBox::No, QMessageBox::Yes};
  Action("actProcess")->trigger();
  ASSERT_EQ(openedFolders_.size(), 1u);
  EXPECT_EQ(openedFolders_[0].toStdString(), out_);
  messages_.clear();
  openerWorks_ = false;
  answers_ = {QMessageBox::No, QMessageBox::Yes};
  Action("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 3u);
  EXPECT_EQ(messages_[2].icon, QMessageBox::Warning);
  EXPECT_TRUE(messages_[2].text.contains(QString::fromStdString(out_)))
      << messages_[2].text.toStdString();
}

TEST_F(RunWindowTest, EightImagesGiveProgressRoundedHalvesToEven) {
  TfrmMain& w = OpenWithImages(8);
  std::vector<int> values;
  auto* bar = w.findChild<QProgressBar*>("pbM");
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { values.push_back(v); });
  Action("actProcess")->trigger();
  EXPECT_EQ(values, (std::vector<int>{0, 12, 25, 38, 50, 62, 75, 88, 100}));
  EXPECT_EQ(bar->text(), QStringLiteral("Progress...[100%]"));
}

TEST_F(RunWindowTest, StopDuringAnImageFinishesItAndLeavesTheRestWaiting) {
  TfrmMain& w = OpenWithImages(5);
  const int k = 1;
  std::vector<int> values;
  QObject::connect(w.findChild<QProgressBar*>("pbM"), &QProgressBar::valueChanged,
                   [&](int v) { values.push_back(v); });
  QObject::connect(w.ListImgs(), &QTableWidget::itemChanged, [&](QTableWidgetItem* item) {
    if (item->column() == 0 && item->row() == k && w.RowIcon(k) == 3) Action("actStop")->trigger();
  });
  Action("actProcess")->trigger();
  EXPECT_EQ(Icons(), (std::vector<int>{1, 1, 2, 2, 2}));
  EXPECT_EQ(values.back(), 40);  // (k + 1) / n
  EXPECT_TRUE(fs::exists(out_ + "img1.jpg"));
  EXPECT_FALSE(fs::exists(out_ + "img2.jpg"));
  EXPECT_EQ(w.LastRun().Outcome, TRunOutcome::Stopped);
  // The after-run question still comes, and the commands are back.
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Question"));
  EXPECT_EQ(messages_[0].text,
            QStringLiteral("Processing stopped after 2 of 5 images: 2 succeeded, 0 failed.\r\n"
                           "Do you want to open the output folder? "));
  EXPECT_TRUE(Action("actProcess")->isEnabled());
  EXPECT_FALSE(w.StopRequested() && Action("actStop")->isEnabled());
}

TEST_F(RunWindowTest, RefusedRunsShowTheirMessageAndChangeNothing) {
  // The output folder equal to the folder the images came from.
  WriteTemplate();
  const std::string photos = (root_ / "Photos").string() + "/";
  WriteImage(photos + "a.jpg", 20, 20, "JPEG");
  fs::create_directories(root_ / "photos");
  TfrmMain& w = Open();
  TMainDialogs dialogs;
  dialogs.MessageBox = [this](QMessageBox::Icon icon, const QString& caption, const QString& text,
                              QMessageBox::StandardButtons) {
    messages_.push_back({icon, caption, text});
    return int(QMessageBox::No);
  };
  dialogs.OpenFiles = [&](const QString&, const QString&) {
    return QStringList{QString::fromStdString(photos + "a.jpg")};
  };
  w.SetDialogs(dialogs);
  Action("actAddFiles")->trigger();
  ASSERT_EQ(w.Settings().ScrPath, photos);
  auto* edit = w.findChild<QLineEdit*>("edtOutPath");
  edit->setText(QString::fromStdString(photos));
  Action("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Error"));
  EXPECT_EQ(messages_[0].icon, QMessageBox::Critical);
  EXPECT_EQ(messages_[0].text,
            QStringLiteral("The source and destination directories must be different."));
  EXPECT_EQ(Icons(), std::vector<int>{2});
  EXPECT_TRUE(Action("actProcess")->isEnabled());
  EXPECT_FALSE(Action("actStop")->isEnabled());

  // Another letter case is another folder here; the run goes ahead.
  messages_.clear();
  edit->setText(QString::fromStdString((root_ / "photos").string()));
  Action("actProcess")->trigger();
  EXPECT_EQ(Icons(), std::vector<int>{1});
  EXPECT_TRUE(fs::exists(root_ / "photos" / "a.jpg"));

  // A folder that does not exist, named as typed.
  messages_.clear();
  const std::string typed = (root_ / "no such folder").string();
  edit->setText(QString::fromStdString(typed));
  Action("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text.toStdString(),
            "Can not find folder : " + typed + " . Please re-set.");

  // No template file behind the selection.
  messages_.clear();
  edit->setText(QString::fromStdString(out_));
  fs::remove(folder_ + "Watermarks/Sample.wg");
  Action("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text,
            QStringLiteral("Unable to find selected template. Please choose a template first!"));
  EXPECT_FALSE(fs::exists(out_ + "a.jpg"));
}

TEST_F(RunWindowTest, MissingMarksShowInTheRowToolTipAndRenameMayNotLeaveTheOutput) {
  TfrmMain& w = OpenWithImages(2);
  WriteText(folder_ + "Watermarks/Sample.wg",
            "[Copyright]\r\nText=(c) Imprimo\r\nFontName=Liberation Sans\r\nFontSize=12\r\n"
            "[Badge]\r\nEnabled=1\r\nStyle=1\r\nPicture=gone.png\r\n");
  // A rename pattern with a folder in it is refused before anything is written.
  w.findChild<QRadioButton*>("cbRename")->setChecked(true);
  for (const char* pattern : {"../x_{FN}", "sub/x"}) {
    messages_.clear();
    w.findChild<QLineEdit*>("edtRnTempl")->setText(QString::fromUtf8(pattern));
    Action("actProcess")->trigger();
    ASSERT_EQ(messages_.size(), 1u) << pattern;
    EXPECT_EQ(messages_[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("may not contain"))) << pattern;
    EXPECT_EQ(Icons(), (std::vector<int>{2, 2}));
  }
  EXPECT_FALSE(fs::exists(root_ / "x_img0.jpg"));
  EXPECT_TRUE(!fs::exists(out_) || fs::is_empty(out_));

  w.findChild<QLineEdit*>("edtRnTempl")->setText(QStringLiteral("x_{FN}"));
  answers_ = {QMessageBox::No};
  Action("actProcess")->trigger();
  EXPECT_EQ(Icons(), (std::vector<int>{1, 1}));  // the rows still succeed
  const QString tip = w.ListImgs()->item(0, 0)->toolTip();
  EXPECT_TRUE(tip.startsWith(QString::fromStdString(in_ + "img0.jpg"))) << tip.toStdString();
  EXPECT_TRUE(
      tip.contains(QStringLiteral("layer Badge: the logo gone.png is missing or unreadable")))
      << tip.toStdString();

  // A run with every mark drawn clears the warning again.
  WriteTemplate();
  answers_ = {QMessageBox::No};
  Action("actProcess")->trigger();
  EXPECT_EQ(w.ListImgs()->item(0, 0)->toolTip(), QString::fromStdString(in_ + "img0.jpg"));
}

TEST_F(RunWindowTest, AfterRunActionsAndTheSerialNumber) {
  TfrmMain& w = OpenWithImages(3);
  w.ProgramValues().Open = true;
  w.ProgramValues().RemoveList = true;
  w.findChild<QRadioButton*>("cbRename")->setChecked(true);
  w.findChild<QLineEdit*>("edtRnTempl")->setText(QStringLiteral("Pic_##"));
  w.findChild<QSpinBox*>("edtRenameNo")->setValue(7);
  Action("actProcess")->trigger();
  EXPECT_TRUE(messages_.empty()) << "no question when the folder opens by itself";
  ASSERT_EQ(openedFolders_.size(), 1u);
  EXPECT_EQ(w.RowCount(), 0);
  EXPECT_FALSE(Action("actProcess")->isEnabled());
  EXPECT_EQ(w.findChild<QSpinBox*>("edtRenameNo")->value(), 10);
  for (const char* name : {"Pic_07.jpg", "Pic_08.jpg", "Pic_09.jpg"})
    EXPECT_TRUE(fs::exists(out_ + name)) << name;
}

TEST_F(RunWindowTest, ClosingDuringARunAsksThenStopsAfterTheImageOrKeepsRunning) {
  TfrmMain& w = OpenWithImages(4);
  // Keep running: the close is refused and every row is done.
  answers_ = {QMessageBox::No, QMessageBox::No};
  bool asked = false;
  auto closeOnce =
      QObject::connect(w.ListImgs(), &QTableWidget::itemChanged, [&](QTableWidgetItem* item) {
        if (!asked && item->column() == 0 && item->row() == 1 && w.RowIcon(1) == 3) {
          asked = true;
          w.close();
        }
      });
  Action("actProcess")->trigger();
  QObject::disconnect(closeOnce);
  EXPECT_EQ(Icons(), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_TRUE(w.isVisible());
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].icon, QMessageBox::Question);
  EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("1 of 4")))
      << messages_[0].text.toStdString();
  EXPECT_TRUE(messages_[1].text.contains(QStringLiteral("open the output folder")));

  // Stop and close: the image under way is finished, the rest wait.
  messages_.clear();
  fs::remove_all(out_);
  fs::create_directories(out_);
  answers_ = {QMessageBox::Yes};
  QObject::connect(w.ListImgs(), &QTableWidget::itemChanged, [&](QTableWidgetItem* item) {
    if (item->column() == 0 && item->row() == 0 && w.RowIcon(0) == 3) w.close();
  });
  Action("actProcess")->trigger();
  EXPECT_EQ(Icons(), (std::vector<int>{1, 2, 2, 2}));
  EXPECT_EQ(messages_.size(), 1u) << "the close question only: a closing program asks nothing more";
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(fs::exists(folder_ + "Setup.ini"));
}

TEST_F(RunWindowTest, EscapeStopsARun) {
  TfrmMain& w = OpenWithImages(4);
  EXPECT_EQ(Action("actStop")->shortcut(), QKeySequence(Qt::Key_Escape));
  QObject::connect(w.ListImgs(), &QTableWidget::itemChanged, [&](QTableWidgetItem* item) {
    if (item->column() == 0 && item->row() == 0 && w.RowIcon(0) == 3)
      QTest::keyClick(w.ListImgs(), Qt::Key_Escape);
  });
  Action("actProcess")->trigger();
  EXPECT_EQ(Icons(), (std::vector<int>{1, 2, 2, 2}));
  EXPECT_EQ(w.LastRun().Outcome, TRunOutcome::Stopped);
}

TEST_F(RunWindowTest, AnOutputFolderThatCannotTakeTheBatchIsRefusedOnce) {
  TfrmMain& w = OpenWithImages(3);
  auto* edit = w.findChild<QLineEdit*>("edtOutPath");
  // A folder where new files cannot be made (a read-only one; for a user
  // with every right, the kernel's own folder).
  std::string locked = (root_ / "locked").string() + "/";
  fs::create_directories(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  if (::geteuid() == 0) locked = "/sys/";
  edit->setText(QString::fromStdString(locked));
  Action("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("not writable")))
      << messages_[0].text.toStdString();
  EXPECT_EQ(Icons(), (std::vector<int>{2, 2, 2})) << "no row was tried";
  EXPECT_EQ(w.LastRun().Outcome, TRunOutcome::NotStarted);
  EXPECT_TRUE(Action("actProcess")->isEnabled());
  fs::permissions(root_ / "locked", fs::perms::owner_all);

  // The default output folder is made at the first run; where it cannot be
  // made, the message says why.
  EXPECT_EQ(CheckOutputFolder(out_ + "new/deeper", true, 0).Problem, TOutputProblem::None);
  EXPECT_TRUE(fs::is_directory(out_ + "new/deeper"));
  WriteText(out_ + "plain", "a file");
  const TOutputCheck blocked = CheckOutputFolder(out_ + "plain/sub", true, 0);
  EXPECT_EQ(blocked.Problem, TOutputProblem::NotCreatable);
  EXPECT_FALSE(blocked.Reason.empty());
  // Another folder that is missing is left to the run's own refusal.
  EXPECT_EQ(CheckOutputFolder(out_ + "missing", false, 0).Problem, TOutputProblem::None);
  EXPECT_FALSE(fs::exists(out_ + "missing"));
  // A batch larger than the file system's free room.
  const TOutputCheck full = CheckOutputFolder(out_, false, uint64_t(1) << 62);
  EXPECT_EQ(full.Problem, TOutputProblem::LowSpace);
  EXPECT_LT(full.FreeBytes, full.NeededBytes);
  EXPECT_EQ(EstimateOutputBytes({in_ + "img0.jpg", in_ + "missing.jpg"}),
            fs::file_size(in_ + "img0.jpg"));
  EXPECT_EQ(ByteSizeText(512), "512 bytes");
  EXPECT_EQ(ByteSizeText(uint64_t(3) << 30), "3.0 GB");
}

TEST_F(RunWindowTest, ARunThatWroteNothingDoesNotOfferItsOutputFolder) {
  TfrmMain& w = OpenWithImages(0);
  WriteText(in_ + "broken.jpg", "not a picture");
  WriteText(in_ + "empty.png", "");
  w.DragDropMDrop(
      {QString::fromStdString(in_ + "broken.jpg"), QString::fromStdString(in_ + "empty.png")});
  ASSERT_EQ(w.RowCount(), 2);
  answers_ = {QMessageBox::No, QMessageBox::Yes};
  Action("actProcess")->trigger();
  EXPECT_EQ(Icons(), (std::vector<int>{0, 0}));
  ASSERT_EQ(messages_.size(), 2u);  // show the failed rows?, then nothing written
  EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("2 images failed")));
  EXPECT_EQ(messages_[1].icon, QMessageBox::Information);
  EXPECT_TRUE(messages_[1].text.contains(QStringLiteral("No file was written")))
      << messages_[1].text.toStdString();
  EXPECT_FALSE(messages_[1].text.contains(QStringLiteral("open the output folder")));
  EXPECT_TRUE(openedFolders_.empty());
  // Opening by itself after the run does not open it either.
  messages_.clear();
  w.ProgramValues().Open = true;
  Action("actProcess")->trigger();
  EXPECT_TRUE(openedFolders_.empty());
}

TEST_F(RunWindowTest, CloseAfterTheRunEndsTheProgramWithoutAQuestion) {
  TfrmMain& w = OpenWithImages(2);
  w.ProgramValues().Close = true;
  Action("actProcess")->trigger();
  EXPECT_EQ(Icons(), (std::vector<int>{1, 1}));
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(openedFolders_.empty());
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(fs::exists(folder_ + "Setup.ini"));
}

// Outputs saved beside their sources with overwriting replace the originals:
// the window asks first, and No writes nothing.
TEST_F(RunWindowTest, ReplacingTheOriginalsIsAskedFirst) {
  TfrmMain& w = OpenWithImages(1);
  w.findChild<QRadioButton*>("rbPathType1")->setChecked(true);
  w.Settings().OverwriteOutput = true;
  const auto original = [&] {
    std::ifstream f(in_ + "img0.jpg", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  };
  const std::string before = original();
  answers_ = {QMessageBox::No};
  Action("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].icon, QMessageBox::Question);
  EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("Replace the originals?")));
  EXPECT_EQ(original(), before);
  EXPECT_EQ(w.LastRun().Outcome, TRunOutcome::NotStarted);

  messages_.clear();
  answers_ = {QMessageBox::Yes, QMessageBox::No};
  Action("actProcess")->trigger();
  EXPECT_EQ(messages_.size(), 2u);
  EXPECT_EQ(Icons(), (std::vector<int>{1}));
  EXPECT_NE(original(), before);
}

#ifdef IMPRIMO_BATCH_EXE
// Reads a whole file.
std::string Bytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// The window with two workers (Setup.ini "Jobs") writes the files the
// terminal command writes with one.
TEST_F(RunWindowTest, TheWindowsRunWritesWhatImprimoBatchWrites) {
  TSettings settings;
  TProgramValues values;
  values.Jobs = 2;
  SaveSettings(folder_, settings, values);
  TfrmMain& w = OpenWithImages(9);
  WriteImage(in_ + "img3.png", 30, 20, "PNG");  // img3.jpg and img3.png meet on one name
  WriteText(in_ + "zz_text.jpg", "not a picture at all");
  w.DragDropMDrop(
      {QString::fromStdString(in_ + "img3.png"), QString::fromStdString(in_ + "zz_text.jpg")});
  answers_ = {QMessageBox::No};
  Action("actProcess")->trigger();
  EXPECT_EQ(w.LastRun().Succeeded, 10);
  EXPECT_EQ(w.LastRun().Failed, 1);

  // The same rows in the same order: sequence numbers follow the rows.
  const std::string cliOut = (root_ / "cli").string() + "/";
  std::string command = std::string("'") + IMPRIMO_BATCH_EXE + "' --program-folder '" +
                        (root_ / "cliprog").string() + "' --template '" + folder_ +
                        "Watermarks/Sample.wg' --jobs 1 --quiet --out '" + cliOut + "'";
  for (const std::string& row : Rows()) command += " '" + row + "'";
  command += " >/dev/null 2>&1";
  fs::create_directories(root_ / "cliprog");
  EXPECT_EQ(std::system(command.c_str()) >> 8, 1);  // the text file fails
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(out_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 10u);
  EXPECT_TRUE(std::find(names.begin(), names.end(), "img3(1).jpg") != names.end());
  for (const std::string& name : names) {
    ASSERT_TRUE(fs::exists(cliOut + name)) << name;
    EXPECT_TRUE(Bytes(out_ + name) == Bytes(cliOut + name)) << name;
  }
}
#endif

}  // namespace
}  // namespace imprimo::testing_gui

namespace imprimo::testing_gui {
namespace {

TEST_F(RunWindowTest, TheFailedRowsOfARunCanBeShownAloneWithTheirReasons) {
  TfrmMain& w = OpenWithImages(2);
  WriteText(in_ + "broken.jpg", "not a picture");
  w.DragDropMDrop({QString::fromStdString(in_ + "broken.jpg")});
  ASSERT_EQ(w.RowCount(), 3);
  answers_ = {QMessageBox::Yes, QMessageBox::No};  // show failed; do not open the folder
  Action("actProcess")->trigger();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("1 images failed")))
      << messages_[0].text.toStdString();
  EXPECT_TRUE(messages_[1].text.contains(QStringLiteral("open the output folder")));
  QAction* only = Action("actFailedOnly");
  ASSERT_NE(only, nullptr);
  EXPECT_TRUE(only->isChecked());
  std::vector<std::string> shown;
  for (int r = 0; r < w.RowCount(); ++r)
    if (!w.ListImgs()->isRowHidden(r)) shown.push_back(w.RowText(r).toStdString());
  EXPECT_EQ(shown, std::vector<std::string>{in_ + "broken.jpg"});
  for (int r = 0; r < w.RowCount(); ++r)
    if (!w.ListImgs()->isRowHidden(r)) {
      EXPECT_TRUE(w.ListImgs()->item(r, 0)->toolTip().contains(QStringLiteral("known format")))
          << w.ListImgs()->item(r, 0)->toolTip().toStdString();
    }
  // Off again, every row; adding rows shows them all too.
  only->setChecked(false);
  for (int r = 0; r < w.RowCount(); ++r) EXPECT_FALSE(w.ListImgs()->isRowHidden(r)) << r;
  only->setChecked(true);
  WriteImage(in_ + "late.jpg", 30, 20, "JPEG");
  w.DragDropMDrop({QString::fromStdString(in_ + "late.jpg")});
  EXPECT_FALSE(only->isChecked());
  for (int r = 0; r < w.RowCount(); ++r) EXPECT_FALSE(w.ListImgs()->isRowHidden(r)) << r;
}

}  // namespace
}  // namespace imprimo::testing_gui
