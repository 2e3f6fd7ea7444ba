// Whole-file reading and safe replacement of files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace imprimo {

enum class EReadResult { kOk, kMissing, kUnreadable, kTooLarge };

// Reads the whole regular file into bytes (anything else is unreadable).
// Files larger than maxBytes are not read.
EReadResult ReadWholeFile(const std::string& path, std::string& bytes,
                          uint64_t maxBytes = uint64_t{1} << 30);

// A file that replaces path once it is complete. It is written under a
// hidden temporary name in the same folder (".NAME.tmp-PID-N", so folder
// searches pass it over), created with the permission bits of the file it
// replaces, or with those of a plain new file (0666 less the umask) when
// there is none. Commit renames it over path; without a commit the temporary
// file is removed, and path is left as it was. Errors throw
// std::runtime_error naming path and the reason.
class TReplacingFile {
 public:
  explicit TReplacingFile(const std::string& path);
  ~TReplacingFile();
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  const std::string& TempPath() const { return temp_; }
  void Write(std::string_view bytes);
  // durable flushes the data to the disk before the rename and the folder
  // entry after it; files rewritten very often (the run log) skip that.
  void Commit(bool durable = true);

 private:
  std::string path_, temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// Writes bytes through a TReplacingFile: a failure never leaves a
// half-written file or loses the old one.
void WriteFileReplacing(const std::string& path, std::string_view bytes, bool durable = true);

}  // namespace imprimo
