#include "app/batch_run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "app/naming.h"
#include "app/process_image.h"
#include "app/save_output.h"
#include "app/source_picture.h"
#include "app/texts.h"
#include "imaging/file_format.h"
#include "platform/date_format.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/worker_pool.h"
#include "render/text_variables.h"
#include "runlog/run_log.h"
#include "templates/template_file.h"

namespace imprimo {

namespace {

// ---- The parallel row loop ----
//
// Rows are taken by workers in row order and handed back to the calling
// thread, which marks, counts and logs them in row order. What the serial
// run decides from the state earlier rows left behind is decided the same
// way here:
// - the serial and sequence numbers come from the row's index;
// - a row's output name is chosen (against the disk) only after every
//   earlier row that could write the same name or one of its numbered
//   variants has finished, and a row whose source an earlier row may write
//   is loaded only after that row has finished;
// - the date and time separators that date variables set reach the log in
//   row order.

// What the pipeline tells the host about one row, kept for the calling
// thread to replay.
class TRowRecorder final : public TBatchHost {
 public:
  struct TCall {
    bool Icon;
    int SubColumn;
    int Value;
    std::string Text;
  };
  std::vector<TCall> Calls;

  void SetRowIcon(int, int icon) override { Calls.push_back({true, 0, icon, {}}); }
  void SetRowColumn(int, int subColumn, const std::string& text) override {
    Calls.push_back({false, subColumn, 0, text});
  }
  int RowCount() const override { return 0; }
  std::string RowText(int) const override { return {}; }
  void RemoveAllRows() override {}
  void PanelToSettings() override {}
  std::string OutputFolderText() const override { return {}; }
  void SetRunState(TRunState) override {}
  void ShowProgress(bool) override {}
  void SetProgress(int, const std::string&) override {}
  void ProcessMessages() override {}
  bool StopRequested() const override { return false; }
  void ClearStopRequested() override {}
  void ShowError(const std::string&) override {}
  bool AskQuestion(const std::string&) override { return false; }
  void ShowRenameNo(int64_t) override {}
  void CloseProgram() override {}
  void OpenFolder(const std::string&) override {}
};

struct TRowOutcome {
  int Status = kStatusFailed;
  TImageResult Result;
  std::vector<TRowRecorder::TCall> Calls;
  std::exception_ptr Error;
  bool SeparatorsChanged = false;
  std::string DateSeparator, TimeSeparator;
};

// A name with every trailing "(digits)" removed: two rows whose outputs
// (numbered variants included) can meet have the same folder, stripped base
// and extension.
std::string StripNumbering(std::string base) {
  for (;;) {
    if (base.size() < 3 || base.back() != ')') return base;
    size_t open = base.size() - 2;
    while (open > 0 && base[open] >= '0' && base[open] <= '9') --open;
    if (base[open] != '(' || open == base.size() - 2) return base;
    base.resize(open);
  }
}

std::string SourceKey(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  return folder + StripNumbering(name.substr(0, name.size() - ext.size())) + ext;
}

// Bytes a row may hold at its peak (see SourceMemoryNeed); the source read
// for it is what the row then decodes.
int64_t MemoryNeedOf(const std::string& path) { return SourceMemoryNeed(path); }

// Memory the rows of a run may hold at once. A row that needs more runs
// alone.
constexpr int64_t kMemoryBudget = int64_t{384} << 20;

// What rows processed at the same time must wait for: their turn in the
// memory budget, and the earlier rows that may write their output name or
// their source.
class TRowScheduler final : public TOutputNamer {
 public:
  explicit TRowScheduler(int rows) : finished_(rows, 0) {}

  // Groups rows by the output family they may write (outKeys) and notes for
  // each row the group that may write its source.
  void SetKeys(const std::vector<std::string>& outKeys, const std::vector<std::string>& srcKeys) {
    std::map<std::string, int> index;
    outGroup_.assign(outKeys.size(), -1);
    for (size_t i = 0; i < outKeys.size(); ++i) {
      auto [it, fresh] = index.try_emplace(outKeys[i], static_cast<int>(groups_.size()));
      if (fresh) groups_.emplace_back();
      outGroup_[i] = it->second;
      groups_[it->second].Rows.push_back(static_cast<int>(i));
    }
    srcGroup_.assign(srcKeys.size(), -1);
    for (size_t i = 0; i < srcKeys.size(); ++i) {
      auto it = index.find(srcKeys[i]);
      if (it != index.end()) srcGroup_[i] = it->second;
    }
  }

  // Admits rows in row order within the memory budget.
  void Admit(int row, int64_t need) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock,
             [&] { return admitted_ == row && (used_ == 0 || used_ + need <= kMemoryBudget); });
    ++admitted_;
    used_ += need;
    cv_.notify_all();
  }

  // Waits until no earlier unfinished row can still write the row's source.
  void BeforeLoad(int row) {
    const int g = srcGroup_[row];
    if (g < 0) return;
    const std::vector<int>& rows = groups_[g].Rows;
    const size_t earlier = std::lower_bound(rows.begin(), rows.end(), row) - rows.begin();
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return groups_[g].FinishedPrefix >= earlier; });
  }

  std::string OutputPathFor(int row, const std::string& outDir, const std::string& base,
                            const std::string& ext, bool overwrite) override {
    const int g = outGroup_[row];
    const std::vector<int>& rows = groups_[g].Rows;
    const size_t earlier = std::lower_bound(rows.begin(), rows.end(), row) - rows.begin();
    {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [&] { return groups_[g].FinishedPrefix >= earlier; });
    }
    return NumberedOutputPath(outDir, base, ext, overwrite);
  }

  // The row's work is over: its memory is free and later rows of its output
  // family may choose their names.
  void Finish(int row, int64_t need) {
    {
      std::lock_guard lock(mutex_);
      used_ -= need;
      finished_[row] = 1;
      TGroup& group = groups_[outGroup_[row]];
      while (group.FinishedPrefix < group.Rows.size() &&
             finished_[group.Rows[group.FinishedPrefix]])
        ++group.FinishedPrefix;
    }
    cv_.notify_all();
  }

 private:
  struct TGroup {
    std::vector<int> Rows;  // ascending
    size_t FinishedPrefix = 0;
  };
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<char> finished_;
  std::vector<TGroup> groups_;
  std::vector<int> outGroup_, srcGroup_;
  int admitted_ = 0;
  int64_t used_ = 0;
};

// The separators a row starts with: the run's own for its first row, those
// the template's date variables leave for every later one.
struct TSeparatorStates {
  std::string Date0, Time0, Date1, Time1;
};

TSeparatorStates SeparatorStates(const TTemplateState& state) {
  TSeparatorStates out;
  out.Date0 = out.Date1 = DateSeparator();
  out.Time0 = out.Time1 = TimeSeparator();
  if (!state.TemplateDoc || !state.Prepared) return out;
  TThreadSeparators scope(out.Date0, out.Time0);
  for (const TPreparedLayer& layer : state.Prepared->Layers) {
    const TMarkItem& item = layer.Item;
    if (!item.Enabled || item.Style != 0 || item.Text.empty()) continue;
    ExpandTextVariables(item.Text, u"", 0, TExifSummary{});
  }
  out.Date1 = scope.Date();
  out.Time1 = scope.Time();
  return out;
}

}  // namespace

int EffectiveJobs(int jobs) {
  constexpr int kMostJobs = 256;
  if (jobs > 0) return std::min(jobs, kMostJobs);
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 256u));
}

namespace {

// What every row of a run starts from: its source, its index in the list,
// and the settings and watermark sequence it sees.
class TRowPlan {
 public:
  TRowPlan(const TRunContext& context, TBatchHost& host, int rows)
      : snapshot_(context.Settings),
        renameNo0_(snapshot_.RenameNo),
        serialAdvances_(snapshot_.Rename && snapshot_.RenameTpl.find('#') != std::string::npos),
        sequence0_(context.Work.Template.WatermarkSequence),
        indexes_(context.RowIndexes),
        paths_(rows) {
    for (int i = 0; i < rows; ++i) paths_[i] = host.RowText(i);
  }

  int Rows() const { return static_cast<int>(paths_.size()); }
  const std::string& Path(int i) const { return paths_[i]; }
  bool SerialAdvances() const { return serialAdvances_; }
  const TSettings& Snapshot() const { return snapshot_; }
  int64_t IndexOf(int i) const {
    return static_cast<size_t>(i) < indexes_.size() ? indexes_[i] : i;
  }
  TSettings SettingsOf(int i) const {
    TSettings r = snapshot_;
    if (serialAdvances_) r.RenameNo = renameNo0_ + IndexOf(i);
    return r;
  }
  int32_t SequenceOf(int i) const {
    if (sequence0_ < 0) return sequence0_;
    return static_cast<int32_t>(static_cast<uint32_t>(sequence0_) +
                                static_cast<uint32_t>(IndexOf(i)));
  }

 private:
  TSettings snapshot_;
  int64_t renameNo0_;
  bool serialAdvances_;
  int32_t sequence0_;
  std::vector<int64_t> indexes_;
  std::vector<std::string> paths_;
};

// Tells the scheduler which rows may write the same output family or an
// earlier row's source, and returns the folders the run writes to.
std::set<std::string> PlanRowOrder(const TRowPlan& plan, const TRunContext& context,
                                   TRowScheduler& scheduler) {
  const int n = plan.Rows();
  std::set<std::string> outFolders;
  std::vector<std::string> outKeys(n), srcKeys(n);
  for (int i = 0; i < n; ++i) {
    const TSettings planned = SettingsForImage(plan.SettingsOf(i));
    const TPlannedName name = PlanOutputName(plan.Path(i), planned, context.AddedFolders, false);
    outKeys[i] = name.Folder + StripNumbering(name.Base) + name.Extension;
    srcKeys[i] = SourceKey(plan.Path(i));
    outFolders.insert(name.Folder);
  }
  scheduler.SetKeys(outKeys, srcKeys);
  return outFolders;
}

// One worker's own objects: its working objects with a copy of the prepared
// template (the logos themselves are shared, read-only) and its list of
// added folders.
struct TWorkerState {
  TWorkingObjects Work;
  std::vector<std::string> AddedFolders;
};

// Processes row i on a worker, recording what it tells the host.
TRowOutcome ProcessRow(int i, const TRowPlan& plan, const TRunContext& context,
                       const TSeparatorStates& separators, TRowScheduler& scheduler,
                       TWorkerState& worker) {
  TRowOutcome out;
  TRowRecorder recorder;
  try {
    scheduler.BeforeLoad(i);
    TSettings rs = plan.SettingsOf(i);
    worker.Work.Template.WatermarkSequence = plan.SequenceOf(i);
    TThreadSeparators scope(i == 0 ? separators.Date0 : separators.Date1,
                            i == 0 ? separators.Time0 : separators.Time1);
    TRunContext rc{rs,
                   context.Values,
                   context.ProgramFolder,
                   context.DataFolder,
                   worker.AddedFolders,
                   context.TemplatePath,
                   worker.Work};
    rc.Strict = context.Strict;
    rc.Namer = &scheduler;
    out.Result = ProcessImage(plan.Path(i), i, out.Status, rc, recorder);
    out.SeparatorsChanged = scope.Changed();
    out.DateSeparator = scope.Date();
    out.TimeSeparator = scope.Time();
  } catch (...) {
    out.Error = std::current_exception();
  }
  out.Calls = std::move(recorder.Calls);
  return out;
}

// The job of row i: its turn in the memory budget, its work, and the end of
// its turn, on whichever worker takes it.
TOrderedPool<TRowOutcome>::TJob RowJob(int i, const TRowPlan& plan, const TRunContext& context,
                                       const TSeparatorStates& separators, TRowScheduler& scheduler,
                                       std::vector<std::unique_ptr<TWorkerState>>& states) {
  // The job outlives this call: it holds pointers to what the run owns.
  return [i, plan = &plan, context = &context, separators = &separators, scheduler = &scheduler,
          states = &states](int worker) {
    // Every row takes its turn, or the rows after it would wait for ever.
    int64_t need = 0;
    try {
      need = MemoryNeedOf(plan->Path(i));
    } catch (...) {
      need = 0;  // counted as nothing; the row's work reports what is wrong
    }
    scheduler->Admit(i, need);
    TRowOutcome out = ProcessRow(i, *plan, *context, *separators, *scheduler, *(*states)[worker]);
    scheduler->Finish(i, need);
    return out;
  };
}

// Waits for row i while keeping the host responsive and marking started
// rows; stops the pool from starting rows once the host asks to stop.
void WaitForRow(int i, TOrderedPool<TRowOutcome>& pool, TBatchHost& host, int& marked,
                bool& stopping) {
  auto markStarted = [&] {
    for (const auto started = static_cast<int>(pool.Started()); marked < started; ++marked)
      host.SetRowIcon(marked, kIconWorking);
  };
  constexpr auto kMoment = std::chrono::milliseconds(20);
  while (!pool.WaitFor(static_cast<uint64_t>(i), kMoment)) {
    markStarted();
    host.ProcessMessages();
    if (!stopping && host.StopRequested()) {
      stopping = true;
      pool.CancelPending();
    }
  }
  markStarted();
}

// Hands a finished row to the host, the log and the summary, as the serial
// loop does: icon, columns, progress, log line, then the sequence and serial
// advance. Rethrows what the row's work threw.
void DeliverRow(int i, TRowOutcome out, const TRowPlan& plan, TRunContext& context,
                TBatchHost& host, RunLog& log, TRunSummary& summary) {
  TSettings& s = context.Settings;
  for (const TRowRecorder::TCall& call : out.Calls) {
    if (!call.Icon)
      host.SetRowColumn(i, call.SubColumn, call.Text);
    else if (call.Value != kIconWorking)
      host.SetRowIcon(i, call.Value);
  }
  if (out.Result.Decoded) s.SaveFormat = EffectiveSaveFormat(s.SaveFormat);
  if (out.SeparatorsChanged) {
    SetDateSeparator(out.DateSeparator);
    SetTimeSeparator(out.TimeSeparator);
  }
  if (out.Error) std::rethrow_exception(out.Error);

  const int status = out.Status;
  ++summary.Processed;
  if (!out.Result.Warnings.empty()) ++summary.Warned;
  if (status == kStatusSucceeded)
    ++summary.Succeeded;
  else
    ++summary.Failed;

  const int percent = RunProgress(i, summary.Rows);
  host.SetProgress(percent, ProgressCaption(percent));

  try {
    log.Add(DateTimeToText(context.LogClock ? context.LogClock() : NowLocal()),
            status == kStatusSucceeded ? "Success" : "Fail", plan.Path(i));
  } catch (const std::exception& e) {
    // A log that cannot be saved must not stop the images themselves.
    if (summary.LogError.empty()) summary.LogError = e.what();
  }
  host.ImageFinished(i, status, out.Result);
  host.ProcessMessages();

  if (context.Work.Template.WatermarkSequence >= 0) ++context.Work.Template.WatermarkSequence;
  if (plan.SerialAdvances()) ++s.RenameNo;

  // A full disk fails every row after it the same way: the run stops as on
  // Stop (rows under way are still reported) and says so once.
  if (out.Result.DiskFull && summary.ErrorText.empty())
    summary.ErrorText = DiskFullStopText(out.Result.Reason);
}

// Processes the rows on context.Jobs workers and reports them to the host in
// row order. Stops taking rows once the host asks to stop; rows under way are
// finished and reported.
void RunRows(TRunContext& context, TBatchHost& host, RunLog& log, TRunSummary& summary) {
  const int n = summary.Rows;
  if (n <= 0) return;
  if (host.StopRequested()) {
    summary.Outcome = TRunOutcome::Stopped;
    return;
  }
  const int jobs = std::clamp(EffectiveJobs(context.Jobs), 1, n);
  // With one worker the next row starts only once the previous one has been
  // reported, so a stop between rows acts exactly as in the serial loop.
  const int window = jobs == 1 ? 1 : 4 * jobs;

  const TRowPlan plan(context, host, n);
  TRowScheduler scheduler(n);
  // Partial files an interrupted earlier run left in the folders this run
  // writes to.
  for (const std::string& folder : PlanRowOrder(plan, context, scheduler))
    RemoveStaleTemporaryFiles(folder);
  const TSeparatorStates separators = SeparatorStates(context.Work.Template);

  std::vector<std::unique_ptr<TWorkerState>> states;
  for (int j = 0; j < jobs; ++j) {
    states.push_back(std::make_unique<TWorkerState>());
    states.back()->Work.Template = context.Work.Template;
    states.back()->AddedFolders = context.AddedFolders;
  }
  // Last: its workers are joined before what they use goes.
  TOrderedPool<TRowOutcome> pool(jobs);

  // Rows start at most a window ahead of the row being reported.
  int submitted = 0;
  bool stopping = false;
  auto submitUpTo = [&](int end) {
    for (end = std::min(end, n); !stopping && submitted < end; ++submitted)
      pool.Submit(RowJob(submitted, plan, context, separators, scheduler, states));
  };
  submitUpTo(window);

  int marked = 0;
  for (int i = 0; i < n; ++i) {
    std::optional<TRowOutcome> out;
    if (i < submitted) {
      WaitForRow(i, pool, host, marked, stopping);
      out = pool.Take(static_cast<uint64_t>(i));
    }
    if (!out) {  // the run stopped before the row was started
      summary.Outcome = TRunOutcome::Stopped;
      break;
    }
    DeliverRow(i, std::move(*out), plan, context, host, log, summary);
    if (!stopping && (!summary.ErrorText.empty() || host.StopRequested())) {
      stopping = true;
      pool.CancelPending();
    }
    submitUpTo(i + 1 + window);
  }
  if (!summary.ErrorText.empty()) summary.Outcome = TRunOutcome::Stopped;
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
  context.Work.Template.Prepared.reset();
  std::error_code ec;
  if (context.TemplatePath.empty() || !std::filesystem::is_regular_file(context.TemplatePath, ec)) {
    host.ShowError(Text(TTextId::TemplateNotFound));
    return false;
  }
  context.Work.Template.TemplateDoc = OpenTemplateFile(context.TemplatePath);
  return true;
}

bool PlanBatchRun(TRunContext& context, TBatchHost& host, std::vector<TDryRunRow>& rows) {
  rows.clear();
  if (!OpenSelectedTemplate(context, host)) return false;
  TTemplateState& tpl = context.Work.Template;
  PrepareLayers(tpl, FolderOf(context.TemplatePath));
  TSettings s = SettingsForImage(context.Settings);
  const bool serialAdvances = s.Rename && s.RenameTpl.find('#') != std::string::npos;
  const int64_t renameNo0 = s.RenameNo;
  const int n = host.RowCount();
  std::set<std::string> taken;
  for (int i = 0; i < n; ++i) {
    const int64_t k =
        static_cast<size_t>(i) < context.RowIndexes.size() ? context.RowIndexes[i] : i;
    TDryRunRow row;
    row.Source = host.RowText(i);
    if (serialAdvances) s.RenameNo = renameNo0 + k;
    const TPlannedName plan = PlanOutputName(row.Source, s, context.AddedFolders, false);
    row.Planned = plan.Folder + plan.Base + plan.Extension;
    std::error_code ec;
    if (std::filesystem::is_regular_file(row.Source, ec) && !DetectFileFormat(row.Source).empty()) {
      std::string out = row.Planned;
      if (!s.OverwriteOutput)
        for (int m = 1; taken.count(out) || std::filesystem::exists(out, ec); ++m)
          out = plan.Folder + plan.Base + "(" + std::to_string(m) + ")" + plan.Extension;
      taken.insert(out);
      row.Output = out;
    }
    if (tpl.TemplateDoc) {
      const int32_t sequence =
          tpl.WatermarkSequence >= 0
              ? static_cast<int32_t>(static_cast<uint32_t>(tpl.WatermarkSequence) +
                                     static_cast<uint32_t>(k))
              : tpl.WatermarkSequence;
      context.Work.ExifReader.ReadMetadata(row.Source);
      TExifSummary summary;
      FillExifSummary(summary, context.Work.ExifReader);
      for (const TPreparedLayer& layer : tpl.Prepared->Layers) {
        const TMarkItem& item = layer.Item;
        if (!item.Enabled || item.Style != 0 || item.Text.find(u"{$") == std::u16string::npos)
          continue;
        row.Layers.emplace_back(
            Utf16ToUtf8(layer.Section),
            Utf16ToUtf8(ExpandTextVariables(item.Text, Utf8ToUtf16(plan.Base + plan.Extension),
                                            sequence, summary)));
      }
    }
    rows.push_back(std::move(row));
  }
  return true;
}

namespace {

// Checks the settings, the output folder and the template before a run;
// false (with the reason in summary.ErrorText where there is one) when the
// run must not start.
bool ReadyToRun(TRunContext& context, TBatchHost& host, TRunSummary& summary) {
  const TSettings& s = context.Settings;
  std::error_code ec;
  if (s.Rename && RenamePatternHasSeparator(s.RenameTpl)) {
    summary.ErrorText = Text(TTextId::RenameHasSeparator);
    host.ShowError(summary.ErrorText);
    return false;
  }
  if (s.PathType == 2 && s.ScrPath == s.OutPath) {
    summary.ErrorText = Text(TTextId::FoldersMustDiffer);
    host.ShowError(summary.ErrorText);
    host.FocusOutputFolder();
    return false;
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
    return false;
  }
  if (!OpenSelectedTemplate(context, host)) {
    summary.ErrorText = Text(TTextId::TemplateNotFound);
    return false;
  }
  // Outputs beside their sources that overwrite existing files replace the
  // originals themselves: only when the user says so.
  return s.PathType == 2 || !s.OverwriteOutput || context.ReplaceOriginals ||
         host.AskQuestion(Text(TTextId::ReplaceOriginalsQuestion));
}

// Prepares the template and the log, then processes every row; throws what
// stops the run as an error.
void ProcessAllRows(TRunContext& context, TBatchHost& host, TRunSummary& summary) {
  // Logos are looked up beside the template (the Watermarks folder for
  // every template of the list).
  PrepareLayers(context.Work.Template, FolderOf(context.TemplatePath));
  host.ShowDetailList();

  auto log = std::make_unique<RunLog>();
  log->SetFileName(context.DataFolder + "Log.dat");
  log->SetAutoSave(true);
  log->SetActive(true);
  log->SetSizeLimit(EffectiveLogLimit(context.Values.LogLimit));

  const int n = host.RowCount();
  summary.Rows = n;
  for (int i = 0; i < n; ++i) host.SetRowIcon(i, kIconWaiting);
  host.SetProgress(0, ProgressCaption(0));
  host.ShowProgress(true);
  host.ProcessMessages();

  summary.Outcome = TRunOutcome::Finished;
  try {
    RunRows(context, host, *log, summary);
  } catch (...) {
    log.reset();
    throw;
  }
  log.reset();
}

// What follows a run that was not an error: its own stop message, then
// closing, clearing the list and opening the output folder as the user set.
void AfterRun(const TRunContext& context, TBatchHost& host, const TRunSummary& summary) {
  // A run stopped by a full disk says why.
  if (!summary.ErrorText.empty()) host.ShowError(summary.ErrorText);

  const TSettings& s = context.Settings;
  const TProgramValues& v = context.Values;
  if (v.Close) host.CloseProgram();
  if (v.RemoveList) host.RemoveAllRows();
  if (v.Open) {
    host.OpenFolder(s.OutPath);
  } else if (!v.Close && host.AskQuestion(Text(TTextId::RunFinishedQuestion))) {
    // A program that is closing does not ask.
    host.OpenFolder(s.OutPath);
  }
}

}  // namespace

TRunSummary RunBatch(TRunContext& context, TBatchHost& host) {
  TRunSummary summary;
  host.PanelToSettings();
  if (!ReadyToRun(context, host, summary)) return summary;

  host.SetRunState(TRunState::Running);
  host.ClearStopRequested();

  bool failed = false;
  try {
    ProcessAllRows(context, host, summary);
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
  host.ShowRenameNo(context.Settings.RenameNo);

  if (failed)
    host.ShowError(summary.ErrorText);
  else
    AfterRun(context, host, summary);
  return summary;
}

}  // namespace imprimo
