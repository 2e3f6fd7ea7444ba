// Rewrites a JPEG output with the metadata segments of its source.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "exif/exif_reader.h"
#include "exif/metadata_writer.h"

namespace imprimo {

namespace {

void AppendSegment(std::string& out, const MetadataSection* section) {
  if (!section) return;
  out += '\xFF';
  out += static_cast<char>(section->markerCode);
  out += section->bytes;
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " \"" + path + "\": " + std::strerror(errno);
}

}  // namespace

void ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  fs::path target(path);
  fs::path folder = target.parent_path();
  std::string pattern =
      (folder.empty() ? fs::path(".") : folder) / ("." + target.filename().string() + ".XXXXXX");
  std::string tempPath = pattern;
  int fd = ::mkstemp(tempPath.data());
  if (fd < 0) throw std::runtime_error(SystemError("Cannot create a file beside", path));

  // The new file keeps the access rights of the one it replaces.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t written = ::write(fd, p, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      std::string message = SystemError("Cannot write", path);
      ::close(fd);
      ::unlink(tempPath.c_str());
      throw std::runtime_error(message);
    }
    p += written;
    left -= static_cast<size_t>(written);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    std::string message = SystemError("Cannot write", path);
    ::unlink(tempPath.c_str());
    throw std::runtime_error(message);
  }
  if (::rename(tempPath.c_str(), path.c_str()) != 0) {
    std::string message = SystemError("Cannot replace", path);
    ::unlink(tempPath.c_str());
    throw std::runtime_error(message);
  }
}

std::string TimgData::BuildMetadataJpeg(std::span<const uint8_t> out) const {
  const size_t n = out.size();
  if (n < 2 || out[0] != 0xFF || out[1] != 0xD8)
    throw std::runtime_error("The output is not a JPEG file");
  std::string result("\xFF\xD8", 2);
  AppendSegment(result, ExifSection());
  AppendSegment(result, IptcSection());
  AppendSegment(result, CommentSection());

  // Skip the output's own leading APP0, APP1, APP13 and COM segments, each at
  // most once and in that order. A segment that would run past the end of the
  // data is kept rather than skipped.
  size_t p = 2;
  for (uint8_t code : {0xE0, 0xE1, 0xED, 0xFE}) {
    if (p + 4 > n || out[p + 1] != code) continue;
    size_t length = (static_cast<size_t>(out[p + 2]) << 8) | out[p + 3];
    if (length < 2 || p + 2 + length > n) break;
    p += 2 + length;
  }
  result.append(reinterpret_cast<const char*>(out.data()) + p, n - p);
  return result;
}

void TimgData::InsertMetadataIntoJpeg(std::span<const uint8_t> outputJpeg,
                                      const std::string& outputPath, bool /*adjustSize*/) const {
  if (!HasExifBlock()) return;
  ReplaceFileAtomically(outputPath, BuildMetadataJpeg(outputJpeg));
}

void TimgData::InsertMetadataIntoJpeg(const std::string& outputPath, bool adjustSize) const {
  if (!HasExifBlock()) return;
  std::ifstream in(outputPath, std::ios::binary);
  if (!in) throw std::runtime_error(SystemError("Cannot open", outputPath));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error(SystemError("Cannot read", outputPath));
  InsertMetadataIntoJpeg(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
      outputPath, adjustSize);
}

}  // namespace imprimo
