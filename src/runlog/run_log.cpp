#include "runlog/run_log.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/file_io.h"
#include "platform/text.h"

namespace imprimo {

namespace {

// A line break inside a text would split its entry in two on reading.
std::string OneLine(const std::string& text) {
  std::string out = text;
  std::replace(out.begin(), out.end(), '\r', ' ');
  std::replace(out.begin(), out.end(), '\n', ' ');
  return out;
}

std::string ToUtf8Text(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (IsValidUtf8(bytes)) return std::string(bytes);
  // Logs written in an older 8-bit code page.
  return Utf16ToUtf8(CodePageToWide(bytes, 1252));
}

}  // namespace

RunLog::RunLog() = default;

RunLog::~RunLog() {
  if (!autoSave_) return;
  try {
    SaveToFile(fileName_);
  } catch (...) {
    // A destructor cannot report; callers that need to know save explicitly.
  }
}

const std::string& RunLog::FileName() const { return fileName_; }

void RunLog::SetFileName(const std::string& path) {
  fileName_ = path;
  if (fileName_.empty()) {
    autoSave_ = false;
    return;
  }
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) LoadFromFile(path);
}

bool RunLog::Active() const { return active_; }
void RunLog::SetActive(bool active) { active_ = active; }
bool RunLog::AutoSave() const { return autoSave_; }
void RunLog::SetAutoSave(bool autoSave) { autoSave_ = autoSave && !fileName_.empty(); }
int32_t RunLog::SizeLimit() const { return sizeLimit_; }
void RunLog::SetSizeLimit(int32_t limit) { sizeLimit_ = limit; }
const std::vector<RunLogRecord>& RunLog::Records() const { return records_; }

void RunLog::SaveIfAuto() const {
  if (autoSave_) SaveToFile(fileName_);
}

void RunLog::Add(const std::string& time, const std::string& title,
                 const std::string& description) {
  if (!active_) return;
  records_.push_back({time, title, description});
  // A negative limit is taken as no limit rather than dropping every entry.
  if (sizeLimit_ > 0) ApplySizeLimit();
  SaveIfAuto();
}

void RunLog::ApplySizeLimit() {
  // Keeps the newest records whose lines together reach the limit.
  int64_t sum = 0;
  size_t firstKept = records_.size();
  while (firstKept > 0 && sum < sizeLimit_) {
    --firstKept;
    sum += static_cast<int64_t>(Utf8CharCount(FormatLine(records_[firstKept]))) + 2;
  }
  if (firstKept > 0) records_.erase(records_.begin(), records_.begin() + firstKept);
}

void RunLog::Clear() {
  records_.clear();
  SaveIfAuto();
}

void RunLog::Delete(int index) {
  if (index < 0 || static_cast<size_t>(index) >= records_.size()) return;
  records_.erase(records_.begin() + index);
  SaveIfAuto();
}

std::string RunLog::FormatLine(const RunLogRecord& r) {
  std::string title;
  for (char c : OneLine(r.title)) {
    title += c;
    if (c == '>') title += '>';
  }
  return "[" + OneLine(r.time) + "]" + title + ">" + OneLine(r.description);
}

bool RunLog::ParseLine(std::string_view line, RunLogRecord& record) {
  size_t open = line.find('[');
  if (open == std::string_view::npos) return false;
  std::string_view rest = line.substr(open + 1);
  size_t close = rest.find(']');
  if (close == std::string_view::npos) return false;
  record.time = std::string(rest.substr(0, close));
  rest.remove_prefix(close + 1);
  size_t end = rest.size();
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] != '>') continue;
    if (i + 1 < rest.size() && rest[i + 1] == '>') {
      ++i;  // an escaped pair
      continue;
    }
    end = i;
    break;
  }
  std::string_view title = rest.substr(0, end);
  record.description = end < rest.size() ? std::string(rest.substr(end + 1)) : std::string();
  record.title.clear();
  for (size_t i = 0; i < title.size(); ++i) {
    record.title += title[i];
    if (title[i] == '>' && i + 1 < title.size() && title[i + 1] == '>') ++i;
  }
  return true;
}

void RunLog::LoadFromFile(const std::string& path) {
  records_.clear();  // not saved: the file is being read, not changed
  std::string bytes;
  if (ReadWholeFile(path, bytes) != EReadResult::kOk) return;
  std::string text = ToUtf8Text(bytes);
  std::string_view view = text;
  size_t pos = 0;
  while (pos < view.size()) {
    size_t end = view.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = view.size();
    RunLogRecord record;
    if (ParseLine(view.substr(pos, end - pos), record)) records_.push_back(std::move(record));
    pos = end + 1;  // past CR or LF
    if (pos < view.size() && view[end] == '\r' && view[pos] == '\n') ++pos;
  }
}

void RunLog::SaveToFile(const std::string& path) const {
  if (path.empty()) return;
  std::string text;
  for (const RunLogRecord& r : records_) text += FormatLine(r) + "\r\n";
  // Rewritten after every image; the rename alone keeps the old file whole.
  WriteFileReplacing(path, text, false);
}

void RunLog::ExportText(const std::string& path) const {
  std::string text;
  for (const RunLogRecord& r : records_)
    text +=
        "[" + OneLine(r.time) + "] " + OneLine(r.title) + " > " + OneLine(r.description) + "\r\n";
  WriteFileReplacing(path, text);
}

}  // namespace imprimo
