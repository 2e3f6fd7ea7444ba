#include "app/batch_run.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/naming.h"
#include "app/process_image.h"
#include "app/texts.h"
#include "platform/date_format.h"
#include "runlog/run_log.h"
#include "templates/template_file.h"

namespace imprimo {

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

void SetRowStatus(TBatchHost& host, int row, int code) {
  switch (code) {
    case kStatusFailed:
      host.SetRowIcon(row, kIconFailed);
      break;
    case kStatusSucceeded:
      host.SetRowIcon(row, kIconSucceeded);
      break;
    case kStatusWorking:
      host.SetRowIcon(row, kIconWorking);
      break;
    default:
      break;
  }
}

int RunProgress(int index, int count) {
  if (count <= 0) return 0;
  // Exact integer form of (index + 1) / count * 100, halves to even.
  const int64_t num = (static_cast<int64_t>(index) + 1) * 100;
  int64_t q = num / count;
  const int64_t twice = 2 * (num % count);
  if (twice > count || (twice == count && (q % 2) != 0)) ++q;
  return static_cast<int>(q);
}

std::string ProgressCaption(int percent) {
  return FormatText(Text(TTextId::ProgressCaption), {std::to_string(percent)});
}

bool OpenSelectedTemplate(TRunContext& context, TBatchHost& host) {
  context.Work.Template.TemplateDoc.reset();
  std::error_code ec;
  if (context.TemplatePath.empty() || !std::filesystem::is_regular_file(context.TemplatePath, ec)) {
    host.ShowError(Text(TTextId::TemplateNotFound));
    return false;
  }
  context.Work.Template.TemplateDoc = OpenTemplateFile(context.TemplatePath);
  return true;
}

TRunSummary RunBatch(TRunContext& context, TBatchHost& host) {
  TRunSummary summary;
  TSettings& s = context.Settings;

  host.PanelToSettings();

  std::error_code ec;
  if (s.Rename && RenamePatternHasSeparator(s.RenameTpl)) {
    summary.ErrorText = Text(TTextId::RenameHasSeparator);
    host.ShowError(summary.ErrorText);
    return summary;
  }
  if (s.PathType == 2 && s.ScrPath == s.OutPath) {
    summary.ErrorText = Text(TTextId::FoldersMustDiffer);
    host.ShowError(summary.ErrorText);
    host.FocusOutputFolder();
    return summary;
  }
  // The default output folder is made at its first use; any other folder
  // must exist already.
  if (s.PathType == 2 && s.OutPath == DefaultOutputFolder() &&
      !std::filesystem::exists(s.OutPath, ec))
    std::filesystem::create_directories(s.OutPath, ec);
  if (!std::filesystem::is_directory(s.OutPath, ec)) {
    summary.ErrorText = FormatText(Text(TTextId::FolderNotFound), {host.OutputFolderText()});
    host.ShowError(summary.ErrorText);
    host.FocusOutputFolder();
    return summary;
  }
  if (!OpenSelectedTemplate(context, host)) {
    summary.ErrorText = Text(TTextId::TemplateNotFound);
    return summary;
  }

  host.SetRunState(TRunState::Running);
  host.ClearStopRequested();

  bool failed = false;
  try {
    // Logos are looked up beside the template (the Watermarks folder for
    // every template of the list).
    PrepareLayers(context.Work.Template, FolderOf(context.TemplatePath));
    host.ShowDetailList();

    auto log = std::make_unique<RunLog>();
    log->SetFileName(context.DataFolder + "Log.dat");
    log->SetAutoSave(true);
    log->SetActive(true);
    log->SetSizeLimit(1000);

    const int n = host.RowCount();
    summary.Rows = n;
    for (int i = 0; i < n; ++i) host.SetRowIcon(i, kIconWaiting);
    host.SetProgress(0, ProgressCaption(0));
    host.ShowProgress(true);
    host.ProcessMessages();

    summary.Outcome = TRunOutcome::Finished;
    try {
      for (int i = 0; i < n; ++i) {
        if (host.StopRequested()) {
          summary.Outcome = TRunOutcome::Stopped;
          break;
        }
        const std::string path = host.RowText(i);
        int status = kStatusFailed;
        const TImageResult result = ProcessImage(path, i, status, context, host);
        ++summary.Processed;
        if (!result.Warnings.empty()) ++summary.Warned;
        if (status == kStatusSucceeded)
          ++summary.Succeeded;
        else
          ++summary.Failed;

        const int percent = RunProgress(i, n);
        host.SetProgress(percent, ProgressCaption(percent));

        try {
          log->Add(DateTimeToText(NowLocal()), status == kStatusSucceeded ? "Success" : "Fail",
                   path);
        } catch (const std::exception& e) {
          // A log that cannot be saved must not stop the images themselves.
          if (summary.LogError.empty()) summary.LogError = e.what();
        }
        host.ImageFinished(i, status, result);
        host.ProcessMessages();

        if (context.Work.Template.WatermarkSequence >= 0) ++context.Work.Template.WatermarkSequence;
        if (s.Rename && s.RenameTpl.find('#') != std::string::npos) ++s.RenameNo;
      }
    } catch (...) {
      log.reset();
      throw;
    }
    log.reset();
  } catch (const std::exception& e) {
    failed = true;
    summary.Outcome = TRunOutcome::Error;
    summary.ErrorText = e.what();
  } catch (...) {
    failed = true;
    summary.Outcome = TRunOutcome::Error;
    summary.ErrorText = Text(TTextId::UnknownError);
  }

  host.ShowProgress(false);
  host.SetRunState(TRunState::Idle);
  host.ShowRenameNo(s.RenameNo);

  if (failed) {
    host.ShowError(summary.ErrorText);
    return summary;
  }

  const TProgramValues& v = context.Values;
  if (v.Close) host.CloseProgram();
  if (v.RemoveList) host.RemoveAllRows();
  if (v.Open) {
    host.OpenFolder(s.OutPath);
  } else if (!v.Close && host.AskQuestion(Text(TTextId::RunFinishedQuestion))) {
    // A program that is closing does not ask.
    host.OpenFolder(s.OutPath);
  }
  return summary;
}

}  // namespace imprimo
