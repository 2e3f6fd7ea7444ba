#include "platform/program_folder.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace imprimo {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

// Tries to create a file: permission bits alone miss read-only mounts.
bool IsWritableFolder(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return false;
  std::string probe = folder + ".imprimo-write-test-XXXXXX";
  int fd = mkstemp(probe.data());
  if (fd < 0) return false;
  close(fd);
  unlink(probe.c_str());
  return true;
}

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return WithSlash(xdg) + "imprimo/";
  const char* home = std::getenv("HOME");
  std::string base = (home && *home) ? WithSlash(home) : std::string("/tmp/");
  return base + ".config/imprimo/";
}

// Copies what is missing of source into target; existing files are kept.
void CopyMissing(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  fs::create_directories(target, ec);
  for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
    fs::path dest = target / fs::relative(it->path(), source, ec);
    if (ec) break;
    std::error_code ignored;
    if (it->is_directory(ignored)) {
      fs::create_directories(dest, ignored);
    } else if (it->is_regular_file(ignored) && !fs::exists(dest, ignored)) {
      fs::copy_file(it->path(), dest, ignored);
    }
  }
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) {
    fs::path cwd = fs::current_path(ec);
    return ec ? std::string("./") : WithSlash(cwd.string());
  }
  return WithSlash(exe.parent_path().string());
}

std::string ResolveDataFolder(const std::string& programFolder) {
  std::string program = WithSlash(programFolder);
  if (IsWritableFolder(program)) return program;
  std::string data = ConfigFolder();
  std::error_code ec;
  fs::create_directories(data, ec);
  fs::path samples = fs::path(program) / "Watermarks";
  fs::path copy = fs::path(data) / "Watermarks";
  if (!fs::exists(copy, ec) && fs::is_directory(samples, ec)) CopyMissing(samples, copy);
  return data;
}

}  // namespace imprimo
