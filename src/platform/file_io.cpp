#include "platform/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace imprimo {

namespace {

std::atomic<TWriteFaultHook> writeFaultHook{nullptr};

std::string ErrorText(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw EFileError(ErrorText(what, path, err), err);
}

std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool ParsePid(std::string_view digits, long& pid) {
  if (!AllDigits(digits) || digits.size() > 10) return false;
  long v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  if (v <= 0 || v > 0x7FFFFFFF) return false;
  pid = v;
  return true;
}

// A process that no longer exists; a process of another user still counts as
// alive.
bool ProcessIsGone(long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace

EReadResult ReadWholeFile(const std::string& path, std::string& bytes, uint64_t maxBytes) {
  bytes.clear();
  // Non-blocking so that a named pipe cannot hang the open; only regular
  // files are read.
  FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0)
    return errno == ENOENT || errno == ENOTDIR ? EReadResult::kMissing : EReadResult::kUnreadable;
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) return EReadResult::kUnreadable;
  if (!S_ISREG(st.st_mode)) return EReadResult::kUnreadable;
  if (static_cast<uint64_t>(st.st_size) > maxBytes) return EReadResult::kTooLarge;
  bytes.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      bytes.clear();
      return EReadResult::kUnreadable;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
      bytes.clear();
      return EReadResult::kTooLarge;
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
  return EReadResult::kOk;
}

bool IsNoSpaceError(int error) { return error == ENOSPC || error == EDQUOT; }

void SetWriteFaultHook(TWriteFaultHook hook) { writeFaultHook.store(hook); }

int InjectedWriteFault(size_t bytes) {
  const TWriteFaultHook hook = writeFaultHook.load();
  return hook ? hook(bytes) : 0;
}

bool ParseTemporaryName(std::string_view name, long& pid) {
  // ".imprimo-PPPPPPPPPP-NNNNNNNNNN.tmp"
  constexpr std::string_view kPrefix = ".imprimo-", kSuffix = ".tmp";
  if (name.size() == kPrefix.size() + 10 + 1 + 10 + kSuffix.size() && name.starts_with(kPrefix) &&
      name.ends_with(kSuffix)) {
    const std::string_view rest = name.substr(kPrefix.size(), 21);
    return rest[10] == '-' && AllDigits(rest.substr(11)) && ParsePid(rest.substr(0, 10), pid);
  }
  // The earlier form ".NAME.tmp-PID-N".
  const size_t tmp = name.rfind(".tmp-");
  if (name.size() < 2 || name[0] != '.' || tmp == std::string_view::npos || tmp < 2) return false;
  const std::string_view tail = name.substr(tmp + 5);
  const size_t dash = tail.find('-');
  if (dash == std::string_view::npos || !AllDigits(tail.substr(dash + 1))) return false;
  return ParsePid(tail.substr(0, dash), pid);
}

int RemoveStaleTemporaryFiles(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return 0;
  const long self = static_cast<long>(getpid());
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    long pid = 0;
    if (!ParseTemporaryName(entry->d_name, pid) || pid == self) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
      continue;
    if (!ProcessIsGone(pid)) continue;
    if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

TReplacingFile::TReplacingFile(const std::string& path) : path_(path) {
  if (path.empty()) throw EFileError("Cannot write a file without a name", EINVAL);
  static std::atomic<unsigned> counter{0};
  const std::string folder = FolderPart(path);
  // The mode given to open is reduced by the umask as for any new file; an
  // existing file's own bits are copied afterwards.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    char name[48];
    std::snprintf(name, sizeof name, ".imprimo-%010ld-%010u.tmp", static_cast<long>(getpid()),
                  counter++);
    temp_ = folder + name;
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) Fail("Cannot create file", path, errno);
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
    (void)::fchmod(fd_, old.st_mode & 07777);
}

TReplacingFile::~TReplacingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temp_.c_str());
}

void TReplacingFile::Write(std::string_view bytes) {
  if (fd_ < 0) Fail("Cannot write file", path_, EBADF);
  if (const int fault = InjectedWriteFault(bytes.size())) Fail("Cannot write file", path_, fault);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", path_, errno);
    }
    done += static_cast<size_t>(n);
  }
}

// Flushes (when durable) and closes the temporary file; a full disk can show
// only here. When another file was renamed over the temporary name (a second
// write of the same output), the old one is linked nowhere and needs no
// flush.
void TReplacingFile::Finish(bool durable) {
  if (fd_ < 0) return;
  struct stat st {};
  const bool unlinked = ::fstat(fd_, &st) == 0 && st.st_nlink == 0;
  if (durable && !unlinked && ::fsync(fd_) != 0 && errno != EINVAL)
    Fail("Cannot write file", path_, errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("Cannot write file", path_, errno);
}

namespace {

// The rename itself reaches the disk with the folder's entry.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  FileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) (void)::fsync(dir.get());
}

}  // namespace

void TReplacingFile::Commit(bool durable) {
  if (committed_) Fail("Cannot write file", path_, EBADF);
  Finish(durable);
  if (::rename(temp_.c_str(), path_.c_str()) != 0) Fail("Cannot replace file", path_, errno);
  committed_ = true;
  if (durable) SyncFolderOf(path_);
}

bool TReplacingFile::CommitIfFree(const std::string& target) {
  if (committed_) Fail("Cannot write file", target, EBADF);
  Finish(true);
  if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    const int err = errno;
    if (err == EEXIST) return false;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP) Fail("Cannot create file", target, err);
    // A file system without that kind of rename: a hard link is refused for a
    // taken name just as well.
    if (::link(temp_.c_str(), target.c_str()) != 0) {
      const int linkErr = errno;
      if (linkErr == EEXIST) return false;
      if (linkErr != EPERM && linkErr != ENOTSUP) Fail("Cannot create file", target, linkErr);
      // Neither: the name is checked just before the rename.
      struct stat st {};
      if (::lstat(target.c_str(), &st) == 0) return false;
      if (::rename(temp_.c_str(), target.c_str()) != 0) Fail("Cannot create file", target, errno);
    } else {
      ::unlink(temp_.c_str());
    }
  }
  path_ = target;
  committed_ = true;
  SyncFolderOf(path_);
  return true;
}

void WriteFileReplacing(const std::string& path, std::string_view bytes, bool durable) {
  TReplacingFile file(path);
  file.Write(bytes);
  file.Commit(durable);
}

}  // namespace imprimo
