// The main window's run-log commands: showing Log.dat in the viewer and
// emptying it.
#include <exception>
#include <stdexcept>
#include <string>

#include "gui/fo_log.h"
#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/window_texts.h"
#include "platform/file_io.h"
#include "runlog/run_log.h"

namespace imprimo {

namespace {

constexpr int32_t kLogSizeLimit = 1000;

// The run log on the data folder's Log.dat, set up the way every command
// uses it: loaded, saved after each change and on release, and trimmed when
// entries are added.
void OpenLog(RunLog& log, const std::string& path) {
  log.SetFileName(path);
  log.SetAutoSave(true);
  log.SetActive(true);
  log.SetSizeLimit(kLogSizeLimit);
}

}  // namespace

void TfrmMain::actShowLogsExecute() {
  const std::string path = dataFolder_ + "Log.dat";
  try {
    // The log is written back when the viewer closes; a file that exists but
    // cannot be read would come back empty and lose its entries.
    std::string bytes;
    const EReadResult read = ReadWholeFile(path, bytes);
    if (read != EReadResult::kOk && read != EReadResult::kMissing)
      throw std::runtime_error("The log file \"" + path + "\" cannot be read.");
    RunLog log;
    OpenLog(log, path);
    TFoLog viewer(log, this);
    viewer.setWindowTitle(UiText(TTextId::LogViewerCaption));
    if (dialogs_.ShowLogViewer)
      dialogs_.ShowLogViewer(viewer);
    else
      viewer.exec();
  } catch (const std::exception& e) {
    ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), QString::fromUtf8(e.what()));
  }
}

void TfrmMain::actClearLogsExecute() {
  if (ShowMessage(QMessageBox::Question, UiText(TTextId::CaptionQuestion),
                  WinText(TWinText::ClearLogsQuestion),
                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  try {
    RunLog log;
    OpenLog(log, dataFolder_ + "Log.dat");
    log.Clear();
  } catch (const std::exception& e) {
    ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), QString::fromUtf8(e.what()));
  }
}

}  // namespace imprimo
