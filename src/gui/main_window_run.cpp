// The main window's part in a run: message boxes, the template check, the
// stop command and the host that the shared batch run talks to.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QUrl>
#include <algorithm>
#include <exception>

#include "app/batch_run.h"
#include "app/output_check.h"
#include "gui/desktop_notify.h"
#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/progress_bar.h"
#include "gui/qt_text.h"
#include "gui/settings_panel.h"
#include "gui/status_icons.h"
#include "gui/window_texts.h"

namespace imprimo {

int TfrmMain::ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text,
                          QMessageBox::StandardButtons buttons) {
  if (dialogs_.MessageBox) return dialogs_.MessageBox(icon, caption, text, buttons);
  QMessageBox box(icon, caption, text, buttons, this);
  return box.exec();
}

// The window side of the shared batch run.
class TfrmMain::RunHost : public TBatchHost {
 public:
  explicit RunHost(TfrmMain& w) : w_(w) {}

  int RowCount() const override { return w_.RowCount(); }
  std::string RowText(int row) const override { return ToUtf8(w_.RowText(row)); }
  void SetRowIcon(int row, int icon) override {
    w_.SetRowIcon(row, icon);
    // The row being worked on stays in sight.
    if (icon == kIconWorking) {
      if (QTableWidgetItem* item = w_.ListImgs_->item(row, 0)) w_.ListImgs_->scrollToItem(item);
    }
  }
  void SetRowColumn(int row, int subColumn, const std::string& text) override {
    w_.SetRowColumn(row, subColumn, FromUtf8(text));
  }
  void RemoveAllRows() override {
    w_.ListImgs_->setRowCount(0);
    w_.thumbnailsStale_ = true;
    w_.UpdateCommands();
  }

  void PanelToSettings() override { w_.PanelToSettings(); }
  std::string OutputFolderText() const override {
    return ToUtf8(w_.settingsPanel_->OutputFolderText());
  }
  void FocusOutputFolder() override { w_.settingsPanel_->FocusOutputFolder(); }

  void SetRunState(TRunState state) override {
    const bool wasRunning = w_.running_;
    w_.running_ = state == TRunState::Running;
    if (w_.running_ && !wasRunning) {
      rows_ = w_.RowCount();
      succeeded_ = failed_ = 0;
      w_.runRows_ = rows_;
      w_.runDone_ = 0;
      w_.actFailedOnly->setChecked(false);
      feedback_.Start(rows_, w_.plProgress);
    }
    w_.ApplyCommandState();
    if (wasRunning && !w_.running_) {
      w_.SetStatusText(2, RunSummaryText());
      feedback_.End(succeeded_, failed_, w_);
    }
  }
  void ShowDetailList() override { w_.pages_->setCurrentIndex(kPageDetails); }

  void ShowProgress(bool visible) override { w_.plProgress->setVisible(visible); }
  void SetProgress(int percent, const std::string&) override { w_.SetProgress(percent); }
  void ProcessMessages() override { w_.ProcessMessages(); }
  bool StopRequested() const override { return w_.stopRequested_; }
  void ClearStopRequested() override { w_.stopRequested_ = false; }

  void ShowError(const std::string& text) override {
    w_.ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), FromUtf8(text));
  }
  bool AskQuestion(const std::string& text) override {
    if (w_.closing_) return false;  // a program that is ending asks nothing
    QString question = FromUtf8(text);
    // The question after the run leads with what the run did.
    if (text == Text(TTextId::RunFinishedQuestion)) {
      // The failed rows, each with its reason in its tip, on their own.
      if (failed_ > 0 && w_.ShowMessage(QMessageBox::Question, UiText(TTextId::CaptionQuestion),
                                        RunSummaryText() + QStringLiteral("\r\n") +
                                            WinText(TWinText::ShowFailedQuestion).arg(failed_),
                                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
        w_.pages_->setCurrentIndex(kPageDetails);
        w_.actFailedOnly->setChecked(true);
      }
      // An output folder nothing was written to is not worth opening.
      if (succeeded_ == 0) {
        w_.ShowMessage(
            QMessageBox::Information, UiText(TTextId::CaptionQuestion),
            RunSummaryText() + QStringLiteral("\r\n") + WinText(TWinText::RunNothingWritten),
            QMessageBox::Ok);
        return false;
      }
      question =
          RunSummaryText() + QStringLiteral("\r\n") + UiText(TTextId::OpenOutputFolderQuestion);
    }
    return w_.ShowMessage(QMessageBox::Question, UiText(TTextId::CaptionQuestion), question,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }

  // How many rows succeeded and failed, and whether the stop command ended
  // the run before the last row.
  QString RunSummaryText() const {
    const QString counts = UiText(TTextId::RunCounts).arg(succeeded_).arg(failed_);
    const int done = succeeded_ + failed_;
    if (done < rows_) return UiText(TTextId::RunStoppedSummary).arg(done).arg(rows_) + counts;
    return UiText(TTextId::RunFinishedSummary).arg(rows_) + counts;
  }

  // A row whose marks were not all drawn, or whose metadata was not all
  // carried, lists the reasons in its tool tip.
  void ImageFinished(int row, int status, const TImageResult& result) override {
    if (status == kStatusSucceeded)
      ++succeeded_;
    else
      ++failed_;
    w_.runDone_ = succeeded_ + failed_;
    feedback_.ImageDone(w_.runDone_);
    QTableWidgetItem* item = w_.ListImgs_->item(row, 0);
    if (!item) return;
    QString tip = item->text();
    const QString reason =
        status == kStatusSucceeded
            ? QString()
            : (result.Reason.empty() ? UiText(TTextId::UnknownError) : ReasonText(result.Reason));
    item->setData(kFailReasonRole, reason);
    if (!reason.isEmpty()) {
      tip += QStringLiteral("\n") + UiText(TTextId::RowFailed) + reason;
      w_.ShowRowInStatus(UiText(TTextId::RowFailed), item->text(), QStringLiteral(" - ") + reason);
    }
    if (!result.Warnings.empty()) {
      tip += QStringLiteral("\n") + UiText(TTextId::RowWarnings);
      for (const std::string& warning : result.Warnings) tip += "\n" + FromUtf8(warning);
    }
    item->setToolTip(tip);
  }

  void ShowRenameNo(int64_t renameNo) override { w_.settingsPanel_->ShowRenameNo(renameNo); }
  void CloseProgram() override {
    w_.closing_ = true;
    w_.closeAfterRun_ = true;  // closes once the run command has returned
  }
  void OpenFolder(const std::string& folder) override {
    if (succeeded_ == 0) return;  // nothing was written there
    const QString path = FromUtf8(folder);
    const bool opened = w_.dialogs_.OpenFolder
                            ? w_.dialogs_.OpenFolder(path)
                            : QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    if (!opened) w_.ReportNoOpener(path);
  }

 private:
  TfrmMain& w_;
  int rows_ = 0;
  int succeeded_ = 0;
  int failed_ = 0;
  TRunFeedback feedback_;
};

bool TfrmMain::OpenSelectedTemplate() {
  RunHost host(*this);
  TRunContext context{settings_,   values_,       programFolder_,
                      dataFolder_, addedFolders_, selectedTemplatePath_,
                      *work_};
  return imprimo::OpenSelectedTemplate(context, host);
}

void TfrmMain::actStopExecute() { stopRequested_ = true; }

bool TfrmMain::ConfirmCloseDuringRun() {
  const QString question = WinText(TWinText::CloseDuringRun).arg(runDone_).arg(runRows_);
  if (dialogs_.MessageBox)
    return dialogs_.MessageBox(QMessageBox::Question, UiText(TTextId::CaptionQuestion), question,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  QMessageBox box(QMessageBox::Question, UiText(TTextId::CaptionQuestion), question,
                  QMessageBox::NoButton, this);
  QPushButton* stop = box.addButton(WinText(TWinText::CloseStopButton), QMessageBox::AcceptRole);
  QPushButton* keep = box.addButton(WinText(TWinText::CloseKeepButton), QMessageBox::RejectRole);
  box.setDefaultButton(keep);
  box.setEscapeButton(keep);
  box.exec();
  return box.clickedButton() == stop;
}

bool TfrmMain::OutputFolderReady() {
  PanelToSettings();
  if (settings_.PathType != 2) return true;  // beside each source
  const std::string folder = settings_.OutPath;
  std::vector<std::string> sources;
  sources.reserve(size_t(RowCount()));
  for (int row = 0; row < RowCount(); ++row) sources.push_back(ToUtf8(RowText(row)));
  // The default folder is made at its first use; another one that is
  // missing is refused by the run itself.
  const TOutputCheck check =
      CheckOutputFolder(folder, folder == DefaultOutputFolder(), EstimateOutputBytes(sources));
  const QString shown = QDir::toNativeSeparators(FromUtf8(folder));
  QString text;
  switch (check.Problem) {
    case TOutputProblem::None:
      return true;
    case TOutputProblem::NotCreatable:
      text = WinText(TWinText::OutputNotCreatable).arg(shown, FromUtf8(check.Reason));
      break;
    case TOutputProblem::NotWritable:
      text = WinText(TWinText::OutputNotWritable).arg(shown);
      break;
    case TOutputProblem::LowSpace:
      text = WinText(TWinText::OutputLowSpace)
                 .arg(shown, FromUtf8(ByteSizeText(check.FreeBytes)),
                      FromUtf8(ByteSizeText(check.NeededBytes)));
      break;
  }
  ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), text);
  settingsPanel_->FocusOutputFolder();
  return false;
}

void TfrmMain::actProcessExecute() {
  // The command is disabled while a run or an add is under way; a shortcut
  // that slips through must not start a second loop over the same rows.
  if (running_ || adding_) return;
  if (!OutputFolderReady()) return;
  RunHost host(*this);
  TRunContext context{settings_,   values_,       programFolder_,
                      dataFolder_, addedFolders_, selectedTemplatePath_,
                      *work_};
  context.Jobs = values_.Jobs;
  try {
    *lastRun_ = RunBatch(context, host);
  } catch (const std::exception& e) {
    // RunBatch restores the window itself; this only reports what escaped.
    running_ = false;
    ApplyCommandState();
    plProgress->hide();
    ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), QString::fromUtf8(e.what()));
  }
  if (closeAfterRun_) {
    closing_ = true;
    close();
    return;
  }
  RunDeferredTemplateRefresh();
}

}  // namespace imprimo
