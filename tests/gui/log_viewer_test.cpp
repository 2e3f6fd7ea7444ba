// The run-log viewer and the main window's "Show Logs" and "Clean Logs".
#include <QAction>
#include <QHeaderView>
#include <QPixmap>
#include <QPrinter>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <array>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "gui/fo_log.h"
#include "runlog/run_log.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// What the viewer showed when the main window opened it.
struct SeenViewer {
  bool shown = false;
  QString caption;
  QString objectName;
  QSize size;
  QSize minimum;
  std::vector<std::array<QString, 3>> rows;
  QStringList headers;
  std::vector<int> widths;
};

class LogViewerTest : public WindowFixture {
 protected:
  std::string LogPath() const { return folder_ + "Log.dat"; }

  SeenViewer ShowLogs(TfrmMain& w) {
    SeenViewer seen;
    TMainDialogs dialogs;
    dialogs.ShowLogViewer = [&seen](TFoLog& viewer) {
      seen.shown = true;
      seen.caption = viewer.windowTitle();
      seen.objectName = viewer.objectName();
      seen.size = viewer.size();
      seen.minimum = viewer.minimumSize();
      QTableWidget* list = viewer.List();
      for (int c = 0; c < list->columnCount(); ++c) {
        seen.headers << list->horizontalHeaderItem(c)->text();
        seen.widths.push_back(list->columnWidth(c));
      }
      for (int r = 0; r < list->rowCount(); ++r)
        seen.rows.push_back(
            {list->item(r, 0)->text(), list->item(r, 1)->text(), list->item(r, 2)->text()});
    };
    w.SetDialogs(std::move(dialogs));
    w.findChild<QAction*>("actShowLogs")->trigger();
    return seen;
  }
};

TEST_F(LogViewerTest, ShowLogsListsTheEntriesInFileOrderWithTheirThreeColumns) {
  const std::string text =
      "[2012-5-3 14:22:01]Success>/photos/img001.jpg\r\n"
      "garbage without brackets\r\n"
      "[2012-5-3 14:22:02]Fail>/photos/notes.jpg\r\n"
      "[2012-5-3 14:22:03]A>>B>/photos/a>b.jpg\r\n"
      "[2012-5-3 14:22:04]Fail\r\n";
  WriteText(LogPath(), text);
  TfrmMain& w = Open();
  ASSERT_TRUE(w.findChild<QAction*>("actShowLogs")->isEnabled());
  ASSERT_TRUE(w.findChild<QAction*>("mnuShowLogs")->isEnabled());
  ASSERT_TRUE(w.findChild<QAction*>("mnuCleanLogs")->isEnabled());
  const SeenViewer seen = ShowLogs(w);
  ASSERT_TRUE(seen.shown);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(seen.caption, QStringLiteral("Show Logs"));
  EXPECT_EQ(seen.objectName, QStringLiteral("FoLog"));
  EXPECT_EQ(seen.size, QSize(639, 479));
  EXPECT_EQ(seen.minimum, QSize(300, 300));
  EXPECT_EQ(seen.headers, QStringList({QStringLiteral("Date Time"), QStringLiteral("Status"),
                                       QStringLiteral("File Name")}));
  EXPECT_EQ(seen.widths, (std::vector<int>{140, 120, 350}));
  ASSERT_EQ(seen.rows.size(), 4u);
  using Row = std::array<QString, 3>;
  EXPECT_EQ(seen.rows[0], (Row{"2012-5-3 14:22:01", "Success", "/photos/img001.jpg"}));
  EXPECT_EQ(seen.rows[1], (Row{"2012-5-3 14:22:02", "Fail", "/photos/notes.jpg"}));
  // A doubled ">" in the status is one ">"; the file name keeps its own.
  EXPECT_EQ(seen.rows[2], (Row{"2012-5-3 14:22:03", "A>B", "/photos/a>b.jpg"}));
  EXPECT_EQ(seen.rows[3], (Row{"2012-5-3 14:22:04", "Fail", ""}));
  // Closing the viewer writes the entries back, without the unreadable line.
  EXPECT_EQ(ReadBytes(LogPath()),
            "[2012-5-3 14:22:01]Success>/photos/img001.jpg\r\n"
            "[2012-5-3 14:22:02]Fail>/photos/notes.jpg\r\n"
            "[2012-5-3 14:22:03]A>>B>/photos/a>b.jpg\r\n"
            "[2012-5-3 14:22:04]Fail>\r\n");
}

TEST_F(LogViewerTest, CleanLogsEmptiesTheFileAndShowLogsThenListsNothing) {
  WriteText(LogPath(), "[t1]Success>/a.jpg\r\n[t2]Fail>/b.jpg\r\n");
  TfrmMain& w = Open();
  // Cleaning asks first; No keeps every entry.
  w.findChild<QAction*>("mnuCleanLogs")->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].icon, QMessageBox::Question);
  EXPECT_EQ(ReadBytes(LogPath()), "[t1]Success>/a.jpg\r\n[t2]Fail>/b.jpg\r\n");
  messages_.clear();
  answers_.push_back(QMessageBox::Yes);
  w.findChild<QAction*>("mnuCleanLogs")->trigger();
  EXPECT_EQ(messages_.size(), 1u);
  ASSERT_TRUE(fs::exists(LogPath()));
  EXPECT_EQ(fs::file_size(LogPath()), 0u);
  const SeenViewer seen = ShowLogs(w);
  ASSERT_TRUE(seen.shown);
  EXPECT_TRUE(seen.rows.empty());
  EXPECT_EQ(fs::file_size(LogPath()), 0u);

  // Without any log file, cleaning makes an empty one and showing lists nothing.
  fs::remove(LogPath());
  EXPECT_TRUE(ShowLogs(w).rows.empty());
  answers_.push_back(QMessageBox::Yes);
  w.findChild<QAction*>("actClearLogs")->trigger();
  ASSERT_TRUE(fs::exists(LogPath()));
  EXPECT_EQ(fs::file_size(LogPath()), 0u);
}

TEST_F(LogViewerTest, ALogThatCannotBeWrittenOrReadGivesAnErrorAndKeepsTheWindow) {
  // A folder where the log file should be: it can be neither read nor replaced.
  fs::create_directories(LogPath());
  TfrmMain& w = Open();
  const SeenViewer seen = ShowLogs(w);
  EXPECT_FALSE(seen.shown);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Error"));
  EXPECT_EQ(messages_[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(messages_[0].text.contains(QStringLiteral("Log.dat")))
      << messages_[0].text.toStdString();

  messages_.clear();
  answers_.push_back(QMessageBox::Yes);
  w.findChild<QAction*>("actClearLogs")->trigger();
  ASSERT_EQ(messages_.size(), 2u) << messages_.back().text.toStdString();
  EXPECT_EQ(messages_[1].caption, QStringLiteral("Error"));
  EXPECT_FALSE(messages_[1].text.isEmpty());
  EXPECT_TRUE(fs::is_directory(LogPath()));
  EXPECT_TRUE(w.isVisible());
}

// The viewer on its own, over a log object the test fills.
class FoLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    dir_ = fs::temp_directory_path() / ("imprimo_folog_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    log_.Add("2026-12-9 10:00:01", "Success", "/in/one.jpg");
    log_.Add("2026-12-9 10:00:02", "Fail", "/in/two > three.png");
    log_.Add("2026-12-9 10:00:03", "Odd>Status", "/in/four.bmp");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  static std::string ExpectedText() {
    return "[2026-12-9 10:00:01] Success > /in/one.jpg\r\n"
           "[2026-12-9 10:00:02] Fail > /in/two > three.png\r\n"
           "[2026-12-9 10:00:03] Odd>Status > /in/four.bmp\r\n";
  }

  fs::path dir_;
  RunLog log_;
  std::vector<ShownMessage> messages_;
};

TEST_F(FoLogTest, TheDateColumnIsNeverCut) {
  // A long regional date with the time.
  const QString longest = QStringLiteral("Wednesday, 12/10/2026 11:17:43 PM");
  log_.Add(longest.toStdString(), "Success", "/in/five.jpg");
  TFoLog viewer(log_);
  QTableWidget* list = viewer.List();
  ASSERT_EQ(list->item(3, 0)->text(), longest);
  EXPECT_GE(list->columnWidth(0), list->fontMetrics().horizontalAdvance(longest));
  // Short dates keep the designed width.
  RunLog shortLog;
  shortLog.Add("1/2/26 1:02", "Success", "/a.jpg");
  TFoLog small(shortLog);
  EXPECT_EQ(small.List()->columnWidth(0), 140);
}

TEST_F(FoLogTest, ToolbarOffersSaveAndPrintWithTheirShortcuts) {
  TFoLog viewer(log_);
  auto* save = viewer.findChild<QAction*>("btnSave");
  auto* print = viewer.findChild<QAction*>("btnPrint");
  ASSERT_NE(save, nullptr);
  ASSERT_NE(print, nullptr);
  EXPECT_EQ(save->text(), QStringLiteral("Save"));
  EXPECT_EQ(print->text(), QStringLiteral("&Print"));
  EXPECT_EQ(save->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(print->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
  QTableWidget* list = viewer.List();
  EXPECT_EQ(list->rowCount(), 3);
  EXPECT_EQ(list->item(2, 1)->text(), QStringLiteral("Odd>Status"));
  EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_TRUE(list->showGrid());
}

TEST_F(FoLogTest, SaveWritesTheSameTextLinesWhicheverFilterIsChosen) {
  TFoLog viewer(log_);
  struct Ask {
    QString filters, suffix;
  } asked;
  for (const QString& filter :
       {QStringLiteral("Binary File (*.dat)"), QStringLiteral("CSV File (*.csv)")}) {
    const std::string path =
        (dir_ / (filter.contains(QStringLiteral("dat")) ? "saved.dat" : "saved.csv")).string();
    TFoLogDialogs dialogs;
    dialogs.SaveFileName = [&](QWidget*, const QString&, const QString& filters,
                               const QString& suffix, QString* selected) {
      asked = {filters, suffix};
      *selected = filter;
      return QString::fromStdString(path);
    };
    dialogs.MessageBox = [this](QMessageBox::Icon icon, const QString& caption,
                                const QString& text) {
      messages_.push_back({icon, caption, text});
    };
    viewer.SetDialogs(std::move(dialogs));
    viewer.findChild<QAction*>("btnSave")->trigger();
    EXPECT_EQ(ReadBytes(path), ExpectedText()) << filter.toStdString();
  }
  EXPECT_TRUE(asked.filters.contains(QStringLiteral("CSV File (*.csv)")));
  EXPECT_TRUE(asked.filters.contains(QStringLiteral("Binary File (*.dat)")));
  EXPECT_EQ(asked.suffix, QStringLiteral("csv"));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FoLogTest, CancelledOrFailedSaveWritesNothingAndReportsTheFailure) {
  TFoLog viewer(log_);
  QString answer;
  TFoLogDialogs dialogs;
  dialogs.SaveFileName = [&](QWidget*, const QString&, const QString&, const QString&, QString*) {
    return answer;
  };
  dialogs.MessageBox = [this](QMessageBox::Icon icon, const QString& caption, const QString& text) {
    messages_.push_back({icon, caption, text});
  };
  viewer.SetDialogs(std::move(dialogs));
  viewer.btnSaveClick();
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(fs::is_empty(dir_));

  answer = QString::fromStdString((dir_ / "missing" / "log.csv").string());
  viewer.btnSaveClick();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Error"));
  EXPECT_FALSE(messages_[0].text.isEmpty());
}

TEST_F(FoLogTest, PrintSendsTheSavedLinesAndShowsWhyItFailed) {
  TFoLog viewer(log_);
  viewer.setWindowTitle(QStringLiteral("Show Logs"));
  QStringList printed;
  QString title;
  QString failure;
  TFoLogDialogs dialogs;
  dialogs.Print = [&](const QStringList& lines, const QString& t) {
    printed = lines;
    title = t;
    return failure;
  };
  dialogs.MessageBox = [this](QMessageBox::Icon icon, const QString& caption, const QString& text) {
    messages_.push_back({icon, caption, text});
  };
  viewer.SetDialogs(std::move(dialogs));
  viewer.findChild<QAction*>("btnPrint")->trigger();
  EXPECT_EQ(printed.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"),
            QString::fromStdString(ExpectedText()));
  EXPECT_EQ(title, QStringLiteral("Show Logs"));
  EXPECT_TRUE(messages_.empty());

  failure = QStringLiteral("No printer is available.");
  viewer.btnPrintClick();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Error"));
  EXPECT_EQ(messages_[0].text, failure);
}

// Number of pages in a PDF the toolkit wrote.
int PdfPageCount(const std::string& bytes) {
  int pages = 0;
  for (size_t at = bytes.find("/Type /Page"); at != std::string::npos;
       at = bytes.find("/Type /Page", at + 1))
    if (bytes.compare(at, 12, "/Type /Pages") != 0) ++pages;
  return pages;
}

TEST_F(FoLogTest, PrintedLinesRunOntoFurtherPagesWhenOnePageIsFull) {
  QStringList lines;
  for (int i = 0; i < 3; ++i) lines << QStringLiteral("[t%1] Success > /in/file%1.jpg").arg(i);
  QStringList many;
  for (int i = 0; i < 300; ++i)
    many << QStringLiteral("[t%1] Success > /a/very/long/folder/name/").arg(i).repeated(4);
  std::vector<int> counts;
  for (const QStringList& list : {lines, many, QStringList()}) {
    const std::string pdf = (dir_ / ("print" + std::to_string(counts.size()) + ".pdf")).string();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    ASSERT_TRUE(TFoLog::PrintLines(printer, list));
    counts.push_back(PdfPageCount(ReadBytes(pdf)));
  }
  EXPECT_EQ(counts[0], 1);
  // 300 lines that each wrap take several pages.
  EXPECT_GT(counts[1], 5);
  EXPECT_EQ(counts[2], 1);
}

}  // namespace
}  // namespace imprimo::testing_gui

namespace imprimo::testing_gui {
namespace {

// The viewer as a user sees it after a few runs. Its picture is written to
// $IMPRIMO_SCREENS_DIR/log-viewer.png when that is set.
TEST(LogViewerPicture, AFewEntriesFillTheColumnsFromTheTop) {
  EnsureApplication();
  RunLog log;
  const char* files[] = {"beach.png",    "harbour.bmp",       "readme.jpg",   "IMG_0412.JPG",
                         "IMG_0413.JPG", "sunset > dusk.tif", "scan-0001.pcx"};
  for (int i = 0; i < 7; ++i)
    log.Add("2026-12-9 10:4" + std::to_string(i) + ":0" + std::to_string(i),
            i == 2 ? "Fail" : "Success", std::string("/home/anna/Pictures/Holiday/") + files[i]);
  TFoLog viewer(log);
  viewer.setWindowTitle(QStringLiteral("Show Logs"));
  viewer.List()->selectRow(1);
  viewer.show();
  QApplication::processEvents();
  const QPixmap picture = viewer.grab();
  EXPECT_EQ(picture.size(), QSize(639, 479));
  // Rows start right under the header and keep the column order.
  QTableWidget* list = viewer.List();
  EXPECT_EQ(list->rowCount(), 7);
  EXPECT_EQ(list->visualItemRect(list->item(0, 0)).top(), 0);
  EXPECT_EQ(list->item(5, 2)->text(),
            QStringLiteral("/home/anna/Pictures/Holiday/sunset > dusk.tif"));
  if (const char* dir = std::getenv("IMPRIMO_SCREENS_DIR")) {
    EXPECT_TRUE(picture.save(QString::fromLocal8Bit(dir) + QStringLiteral("/log-viewer.png")));
  }
}

}  // namespace
}  // namespace imprimo::testing_gui
