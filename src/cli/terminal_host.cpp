#include "cli/terminal_host.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/texts.h"

namespace imprimo {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
// The stop notice, made (in the user's language) before the handler is
// installed: the handler itself may only write bytes.
char g_stopNotice[512] = "\nStopping after the current image (Ctrl+C again to abort)...\n";
size_t g_stopNoticeSize = std::strlen(g_stopNotice);

void OnInterrupt(int signo) {
  if (g_stopRequested) {
    // Second request: the default action ends the process.
    std::signal(signo, SIG_DFL);
    std::raise(signo);
    return;
  }
  g_stopRequested = 1;
  [[maybe_unused]] ssize_t written = write(STDERR_FILENO, g_stopNotice, g_stopNoticeSize);
}

}  // namespace

TTerminalHost::TTerminalHost(bool quiet, std::string outputFolderText)
    : quiet_(quiet),
      progressOnTerminal_(!quiet && isatty(STDERR_FILENO) == 1),
      outputFolderText_(std::move(outputFolderText)) {}

void TTerminalHost::InstallInterruptHandler() {
  const std::string notice = "\n" + Text(TTextId::CliStopping) + "\n";
  if (notice.size() < sizeof g_stopNotice) {
    std::memcpy(g_stopNotice, notice.data(), notice.size());
    g_stopNoticeSize = notice.size();
  }
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  // A terminated run also stops between images, so no temporary file is left
  // behind; a closed output pipe must not end the run halfway either.
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

bool TTerminalHost::StopRequested() const { return g_stopRequested != 0; }
void TTerminalHost::ClearStopRequested() { g_stopRequested = 0; }

void TTerminalHost::SetRowColumn(int row, int subColumn, const std::string& text) {
  if (subColumn >= 0 && subColumn < 5) rows_.at(row).Columns[subColumn] = text;
}

void TTerminalHost::SetRunState(TRunState state) {
  running_ = state == TRunState::Running;
  if (running_ && !header_.empty()) {
    std::fputs(header_.c_str(), stdout);
    std::fflush(stdout);
    header_.clear();
  }
}

void TTerminalHost::ShowProgress(bool visible) {
  progressVisible_ = visible;
  if (!visible)
    ClearProgressLine();
  else
    DrawProgress();
}

void TTerminalHost::SetProgress(int percent, const std::string&) {
  percent_ = percent;
  if (progressVisible_) DrawProgress();
}

void TTerminalHost::ClearProgressLine() {
  if (!progressDrawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  progressDrawn_ = false;
}

void TTerminalHost::DrawProgress() {
  if (!progressOnTerminal_) return;
  constexpr int kWidth = 30;
  const int filled = percent_ * kWidth / 100;
  char bar[kWidth + 1];
  std::memset(bar, '-', kWidth);
  std::memset(bar, '#', static_cast<size_t>(filled));
  bar[kWidth] = 0;
  if (running_)
    std::fprintf(stderr, "\r\033[K[%s] %3d%% (%d/%d)", bar, percent_, done_, RowCount());
  else
    std::fprintf(stderr, "\r\033[K[%s] %3d%% %s", bar, percent_,
                 Text(TTextId::CliAddingImages).c_str());
  std::fflush(stderr);
  progressDrawn_ = true;
}

void TTerminalHost::ShowError(const std::string& text) {
  ClearProgressLine();
  std::string oneLine;
  for (char c : text)
    if (c != '\r') oneLine.push_back(c == '\n' ? ' ' : c);
  std::fprintf(stderr, "imprimo-batch: %s\n", oneLine.c_str());
}

void TTerminalHost::ImageFinished(int row, int status, const TImageResult& result) {
  ++done_;
  if (quiet_ && status == kStatusSucceeded && result.Warnings.empty()) return;
  ClearProgressLine();
  const ImageListEntry& e = rows_.at(row);
  if (status == kStatusSucceeded) {
    if (!quiet_) {
      std::fprintf(stdout, "[ok]   %s -> %s (%s, %s)\n", e.Path.c_str(), result.OutputPath.c_str(),
                   e.Columns[kColNewDimension].c_str(), e.Columns[kColNewSize].c_str());
    }
    // A row that succeeded without all its marks says so, one line per layer.
    std::FILE* to = quiet_ ? stderr : stdout;
    for (const std::string& warning : result.Warnings)
      std::fprintf(to, "[warn] %s: %s\n", e.Path.c_str(), warning.c_str());
    std::fflush(to);
  } else {
    std::FILE* to = quiet_ ? stderr : stdout;
    std::fprintf(
        to, "[fail] %s: %s\n", e.Path.c_str(),
        result.Reason.empty() ? Text(TTextId::UnknownError).c_str() : result.Reason.c_str());
    std::fflush(to);
  }
  if (progressVisible_) DrawProgress();
}

bool TTerminalHost::IsInList(const std::string& path) const {
  return imprimo::IsInList(rows_, path);
}

// Rows keep the order given on the command line (and the search order of a
// folder), so sequence numbers and serials follow it.
void TTerminalHost::AddRow(ImageListEntry entry) { rows_.push_back(std::move(entry)); }

void TTerminalHost::KeepRows(const std::vector<int>& rows) {
  std::vector<ImageListEntry> kept;
  kept.reserve(rows.size());
  for (int r : rows) kept.push_back(std::move(rows_.at(r)));
  rows_ = std::move(kept);
}

}  // namespace imprimo
