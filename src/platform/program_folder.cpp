#include "platform/program_folder.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "platform/file_io.h"
#include "platform/paths.h"

namespace imprimo {

namespace fs = std::filesystem;

namespace {

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
  if (xdg && xdg[0] == '/') return WithTrailingSeparator(xdg) + "imprimo/";
  const char* home = std::getenv("HOME");
  std::string base = (home && *home) ? WithTrailingSeparator(home) : std::string("/tmp/");
  return base + ".config/imprimo/";
}

// Record of the shipped files already offered in the data folder, one path
// (relative to Watermarks/) a line.
constexpr const char* kOfferedListName = "shipped-templates.txt";

std::set<std::string> ReadLines(const fs::path& file) {
  std::set<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.insert(line);
  return lines;
}

// A failed write keeps the old list; the next start offers again what this
// one could not note.
void WriteLines(const fs::path& file, const std::set<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  try {
    WriteFileReplacing(file.string(), text);
  } catch (const std::exception&) {
  }
}

// Copies the shipped files of source into target that were not offered
// before; a file already in target is never replaced. Returns every shipped
// file (relative path), offered now or before.
std::set<std::string> OfferShipped(const fs::path& source, const fs::path& target,
                                   const std::set<std::string>& offered) {
  std::set<std::string> shipped;
  std::error_code ec;
  fs::create_directories(target, ec);
  for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    const fs::path relative = fs::relative(it->path(), source, ignored);
    if (ignored || relative.empty()) continue;
    const fs::path dest = target / relative;
    if (it->is_directory(ignored)) {
      fs::create_directories(dest, ignored);
      continue;
    }
    if (!it->is_regular_file(ignored)) continue;
    shipped.insert(relative.generic_string());
    if (offered.count(relative.generic_string()) || fs::exists(dest, ignored)) continue;
    fs::create_directories(dest.parent_path(), ignored);
    fs::copy_file(it->path(), dest, ignored);
  }
  return shipped;
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) {
    fs::path cwd = fs::current_path(ec);
    return ec ? std::string("./") : WithTrailingSeparator(cwd.string());
  }
  return WithTrailingSeparator(exe.parent_path().string());
}

std::string ResolveDataFolder(const std::string& programFolder) {
  std::string program = WithTrailingSeparator(programFolder);
  std::error_code ec;
  const bool installed = fs::exists(program + kInstalledMarkerName, ec);
  if (!installed && IsWritableFolder(program)) return program;
  std::string data = ConfigFolder();
  fs::create_directories(data, ec);
  const fs::path samples = fs::path(program) / "Watermarks";
  const fs::path copy = fs::path(data) / "Watermarks";
  if (!fs::is_directory(samples, ec)) return data;
  const fs::path offeredList = fs::path(data) / kOfferedListName;
  // Without a Watermarks folder of its own the user gets every shipped file
  // again, whatever was offered before.
  std::set<std::string> offered;
  if (fs::is_directory(copy, ec)) offered = ReadLines(offeredList);
  std::set<std::string> shipped = OfferShipped(samples, copy, offered);
  // Files no longer shipped stay listed: should they come back, the user's
  // choice about them still holds.
  shipped.insert(offered.begin(), offered.end());
  if (shipped != offered) WriteLines(offeredList, shipped);
  return data;
}

}  // namespace imprimo
