// Whole-file reading and safe replacement of files.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace imprimo {

// A failed file operation, with the system's error number.
class EFileError : public std::runtime_error {
 public:
  EFileError(const std::string& message, int error) : std::runtime_error(message), error_(error) {}
  int Error() const { return error_; }

 private:
  int error_;
};

// True for the error numbers of a full disk or an exhausted quota.
bool IsNoSpaceError(int error);

// Test seam for failing writes: when a hook is installed, every write of a
// TReplacingFile and of the image file streams first asks it with the byte
// count; a nonzero result is taken as the errno of a failed write. Null
// removes the hook.
using TWriteFaultHook = int (*)(size_t bytes);
void SetWriteFaultHook(TWriteFaultHook hook);
// 0, or the errno the installed hook gives for a write of bytes.
int InjectedWriteFault(size_t bytes);

enum class EReadResult { kOk, kMissing, kUnreadable, kTooLarge };

// Reads the whole regular file into bytes (anything else is unreadable).
// Files larger than maxBytes are not read.
EReadResult ReadWholeFile(const std::string& path, std::string& bytes,
                          uint64_t maxBytes = uint64_t{1} << 30);

// A file that replaces path once it is complete. It is written under a
// hidden temporary name of fixed length in the same folder
// (".imprimo-PPPPPPPPPP-NNNNNNNNNN.tmp": the process id and a counter, so
// folder searches pass it over and a name as long as the system allows still
// has room), created with the permission bits of the file it replaces, or
// with those of a plain new file (0666 less the umask) when there is none.
// Commit renames it over path; CommitIfFree gives it a name only where no
// file has that name. Without a commit the temporary file is removed, and
// path is left as it was. Errors throw EFileError naming path and the reason.
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
  // Gives the file the name target (in the same folder as path) only when no
  // file of that name exists, atomically where the file system allows it;
  // false when the name is taken, and the temporary file is kept for another
  // try. Flushed to the disk as a durable Commit.
  bool CommitIfFree(const std::string& target);

 private:
  void Finish(bool durable);

  std::string path_, temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// Writes bytes through a TReplacingFile: a failure never leaves a
// half-written file or loses the old one.
void WriteFileReplacing(const std::string& path, std::string_view bytes, bool durable = true);

// True when name is one of the temporary names TReplacingFile gives (also in
// the ".NAME.tmp-PID-N" form of earlier versions); pid is the process that
// made it.
bool ParseTemporaryName(std::string_view name, long& pid);

// Removes from folder the temporary files that processes no longer running
// left behind (an interrupted run): only regular files whose name
// ParseTemporaryName takes, never those of this process or of a process that
// is alive. Returns how many were removed; a folder that cannot be read
// removes nothing.
int RemoveStaleTemporaryFiles(const std::string& folder);

}  // namespace imprimo
