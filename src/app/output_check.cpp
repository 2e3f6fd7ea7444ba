#include "app/output_check.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>

namespace imprimo {

namespace fs = std::filesystem;

namespace {

// Whether a new file can be made in folder: a file is created and removed
// again (permissions alone do not tell, e.g. read-only mounts or a user with
// every right).
bool TakesNewFiles(const std::string& folder) {
  std::random_device seed;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string probe =
        (fs::path(folder) / (".imprimo-write-test-" + std::to_string(seed()))).string();
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

TOutputCheck CheckOutputFolder(const std::string& folder, bool mayCreate, uint64_t neededBytes) {
  TOutputCheck check;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    if (!mayCreate) return check;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
      check.Problem = TOutputProblem::NotCreatable;
      check.Reason = ec ? ec.message() : std::strerror(ENOTDIR);
      return check;
    }
  }
  if (!TakesNewFiles(folder)) {
    check.Problem = TOutputProblem::NotWritable;
    return check;
  }
  struct statvfs fsInfo {};
  if (neededBytes > 0 && ::statvfs(folder.c_str(), &fsInfo) == 0) {
    const uint64_t freeBytes = uint64_t(fsInfo.f_bavail) * uint64_t(fsInfo.f_frsize);
    if (freeBytes < neededBytes) {
      check.Problem = TOutputProblem::LowSpace;
      check.FreeBytes = freeBytes;
      check.NeededBytes = neededBytes;
    }
  }
  return check;
}

uint64_t EstimateOutputBytes(const std::vector<std::string>& sources) {
  uint64_t total = 0;
  for (const std::string& source : sources) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(source, ec);
    if (!ec) total += size;
  }
  return total;
}

std::string ByteSizeText(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB"};
  double value = double(bytes) / 1024;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

}  // namespace imprimo
