// The run log: a list of time-stamped entries kept in Log.dat.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imprimo {

struct RunLogRecord {
  std::string time, title, description;
};

class RunLog {
 public:
  RunLog();
  ~RunLog();  // saves to FileName() when AutoSave is on
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  const std::string& FileName() const;
  void SetFileName(const std::string& path);  // loads the file
  bool Active() const;
  void SetActive(bool active);
  bool AutoSave() const;
  void SetAutoSave(bool autoSave);
  int32_t SizeLimit() const;
  void SetSizeLimit(int32_t limit);

  // Appends a record when Active, trims to SizeLimit, saves when AutoSave.
  void Add(const std::string& time, const std::string& title, const std::string& description);
  void Clear();
  void Delete(int index);  // out-of-range indexes are ignored
  // Replaces the records by the file's; a missing file gives an empty list.
  void LoadFromFile(const std::string& path);
  // Writes every record as a Log.dat line (UTF-8, CR LF) through a temporary
  // file renamed into place; nothing for an empty path. Throws
  // std::runtime_error when the file cannot be written.
  void SaveToFile(const std::string& path) const;
  // Writes the viewer's "[%s] %s > %s" lines with CR LF; throws like SaveToFile.
  void ExportText(const std::string& path) const;
  const std::vector<RunLogRecord>& Records() const;

  // One Log.dat line without its line end, and the parse of one line (false
  // for a line that holds no bracketed time).
  static std::string FormatLine(const RunLogRecord& record);
  static bool ParseLine(std::string_view line, RunLogRecord& record);

 private:
  void ApplySizeLimit();
  void SaveIfAuto() const;

  std::string fileName_;
  bool active_ = true;
  bool autoSave_ = false;
  int32_t sizeLimit_ = 0;
  std::vector<RunLogRecord> records_;
};

}  // namespace imprimo
