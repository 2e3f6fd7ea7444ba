#include "app/source_picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <span>
#include <vector>

#include "exif/source_metadata.h"
#include "imaging/file_format.h"
#include "platform/file_io.h"

namespace imprimo {

namespace {

std::span<const uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Which file bytes were read from: a file replaced or rewritten since (an
// earlier row's output written over this row's source) has another identity.
struct TFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = -1;
  int64_t ModifiedNs = 0, ChangedNs = 0;
  bool operator==(const TFileIdentity&) const = default;
};

TFileIdentity IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size,
          int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec,
          int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec};
}

// The last file this thread read ahead for the memory budget.
struct TReadAhead {
  std::string Path;
  TFileIdentity Identity;
  std::string Bytes;
};
thread_local TReadAhead readAhead;

// Reads the regular file at path whole (at most kMaxInMemorySource bytes).
EReadResult ReadSourceFile(const std::string& path, std::string& bytes, TFileIdentity& identity) {
  bytes.clear();
  // Non-blocking so that a named pipe cannot hang the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? EReadResult::kMissing : EReadResult::kUnreadable;
  EReadResult result = EReadResult::kOk;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result = EReadResult::kUnreadable;
  } else if (static_cast<uint64_t>(st.st_size) > kMaxInMemorySource) {
    result = EReadResult::kTooLarge;
  } else {
    identity = IdentityOf(st);
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    // A file that shrank while it was read is taken as far as it went.
    bytes.resize(done);
    if (done != static_cast<size_t>(st.st_size)) identity = TFileIdentity();
  }
  ::close(fd);
  if (result != EReadResult::kOk) bytes.clear();
  return result;
}

// The bytes read ahead for path when the file is still the one they came
// from; they leave the cache either way.
bool TakeReadAhead(const std::string& path, std::string& bytes) {
  TReadAhead ahead = std::move(readAhead);
  readAhead = TReadAhead();
  if (ahead.Path != path || ahead.Identity.Size < 0) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !(IdentityOf(st) == ahead.Identity)) return false;
  bytes = std::move(ahead.Bytes);
  return true;
}

// A source too large to hold whole: decoded from the file, its metadata
// taken from its start.
bool LoadLargeSource(const std::string& path, RasterImage& image, TPictureMetadata& metadata) {
  if (!ReadImageFile(path, image)) return false;
  std::ifstream in(path, std::ios::binary);
  std::string head(kMetadataPrefixBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  metadata = ReadPictureMetadata(AsBytes(head), DetectFileFormat(path));
  return true;
}

}  // namespace

bool LoadSourcePicture(const std::string& path, RasterImage& image, TPictureMetadata& metadata) {
  metadata = TPictureMetadata();
  std::string bytes;
  TFileIdentity identity;
  const EReadResult read =
      TakeReadAhead(path, bytes) ? EReadResult::kOk : ReadSourceFile(path, bytes, identity);
  switch (read) {
    case EReadResult::kOk:
      break;
    case EReadResult::kTooLarge:
      return LoadLargeSource(path, image, metadata);
    default:
      ImageFree(image);
      return false;
  }
  std::string format;
  if (!ReadImageBytes(path, AsBytes(bytes), image, &format)) return false;
  metadata = ReadPictureMetadata(AsBytes(bytes), format);
  return true;
}

int64_t SourceMemoryNeed(const std::string& path) {
  readAhead = TReadAhead();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  TReadAhead ahead;
  if (ReadSourceFile(path, ahead.Bytes, ahead.Identity) != EReadResult::kOk)
    return static_cast<int64_t>(st.st_size) * 4;
  int64_t w = 0, h = 0;
  const int64_t need = PeekPictureSize(AsBytes(ahead.Bytes), w, h)
                           ? w * h * 12
                           : static_cast<int64_t>(ahead.Bytes.size()) * 4;
  ahead.Path = path;
  readAhead = std::move(ahead);
  return need;
}

}  // namespace imprimo
