#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace imprimo {

namespace {

std::string ErrorText(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

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

TReplacingFile::TReplacingFile(const std::string& path) : path_(path) {
  if (path.empty()) throw std::runtime_error("Cannot write a file without a name");
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // The mode given to open is reduced by the umask as for any new file; an
  // existing file's own bits are copied afterwards.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ =
        folder + "." + name + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) throw std::runtime_error(ErrorText("Cannot create file", path, errno));
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
    (void)::fchmod(fd_, old.st_mode & 07777);
}

TReplacingFile::~TReplacingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temp_.c_str());
}

void TReplacingFile::Write(std::string_view bytes) {
  if (fd_ < 0) throw std::runtime_error(ErrorText("Cannot write file", path_, EBADF));
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(ErrorText("Cannot write file", path_, errno));
    }
    done += static_cast<size_t>(n);
  }
}

void TReplacingFile::Commit(bool durable) {
  if (fd_ < 0) throw std::runtime_error(ErrorText("Cannot write file", path_, EBADF));
  if (durable && ::fsync(fd_) != 0 && errno != EINVAL)
    throw std::runtime_error(ErrorText("Cannot write file", path_, errno));
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw std::runtime_error(ErrorText("Cannot write file", path_, errno));
  if (::rename(temp_.c_str(), path_.c_str()) != 0)
    throw std::runtime_error(ErrorText("Cannot replace file", path_, errno));
  committed_ = true;
  if (durable) {
    // The rename itself reaches the disk with the folder's entry.
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path_.substr(0, slash);
    FileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) (void)::fsync(dir.get());
  }
}

void WriteFileReplacing(const std::string& path, std::string_view bytes, bool durable) {
  TReplacingFile file(path);
  file.Write(bytes);
  file.Commit(durable);
}

}  // namespace imprimo
