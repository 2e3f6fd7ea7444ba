#include "app/naming.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <set>
#include <system_error>

#include "imaging/file_format.h"
#include "platform/numeric.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace imprimo {

namespace fs = std::filesystem;

namespace {

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  if (what.empty()) return;
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = text.find(what, pos)) != std::string::npos; pos = hit + what.size())
    out.append(text, pos, hit - pos).append(with);
  out.append(text, pos, std::string::npos);
  text = std::move(out);
}

// v with one decimal: whole numbers without decimals, otherwise rounded to
// tenths with halves to even.
std::string OneDecimal(float v) {
  char buf[64];
  if (v == static_cast<float>(static_cast<int64_t>(v))) {
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    return buf;
  }
  int64_t tenths = RoundHalfEven(v * 10.0f);
  int64_t whole = tenths / 10, digit = tenths % 10;
  if (digit < 0) digit = -digit;
  std::snprintf(buf, sizeof buf, "%s%lld.%lld", (tenths < 0 && whole == 0) ? "-" : "",
                static_cast<long long>(whole), static_cast<long long>(digit));
  return buf;
}

}  // namespace

std::string ApplyRenamePattern(std::string_view pattern, std::string_view fileName,
                               int32_t serial) {
  const std::string name = FileNameOf(fileName);
  if (pattern.empty()) return name;
  const std::string ext = ExtensionOf(name);
  const std::string_view base = std::string_view(name).substr(0, name.size() - ext.size());
  std::string result(pattern);
  ReplaceAll(result, "{FN}", base);
  ReplaceAll(result, "{EX}", ext.empty() ? std::string_view() : std::string_view(ext).substr(1));
  size_t first = result.find('#');
  if (first != std::string::npos) {
    size_t length = 1;
    while (first + length < result.size() && result[first + length] == '#') ++length;
    char digits[64];
    int width = static_cast<int>(std::min<size_t>(length, 40));
    std::snprintf(digits, sizeof digits, "%.*d", width, serial);
    std::string run(length, '#');
    std::string text = digits;
    if (length > 40) text.insert(0, length - 40, '0');
    ReplaceAll(result, run, text);
  }
  result.append(ext);
  return result;
}

std::string FormatSizeText(int64_t size) {
  if (size > 1048576) return OneDecimal(static_cast<float>(size) / 1048576.0f) + " MB";
  float v = static_cast<float>(size) / 1024.0f;
  if (size <= 1024) return OneDecimal(v) + " KB";
  return std::to_string(RoundHalfEven(v)) + " KB";
}

int32_t FileSizeOf(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return -1;
  fs::file_status st = fs::status(p, ec);
  if (ec || !fs::exists(st)) return -1;
  if (!fs::is_regular_file(st)) return 0;
  uintmax_t size = fs::file_size(p, ec);
  if (ec) return -1;
  return static_cast<int32_t>(static_cast<uint32_t>(size));
}

void CreateSubFolders(const std::string& base, const std::string& relative) {
  std::string folder = base;
  std::string_view rest = relative;
  for (size_t slash; (slash = rest.find('/')) != std::string_view::npos;) {
    folder.append(rest.substr(0, slash + 1));
    rest.remove_prefix(slash + 1);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
      fs::create_directory(folder, ec);
      if (ec) return;
    }
  }
}

void FindImageFiles(const std::string& folder, const std::string& filter,
                    std::vector<std::string>& list, bool includeSubFolders) {
  bool all = filter == "*.*";
  std::string wanted = filter.empty() ? std::string() : LowerCaseUtf8(filter.substr(1));
  std::string start = folder;
  while (start.size() > 1 && start.back() == '/') start.pop_back();
  std::deque<std::string> queue{start};
  for (size_t q = 0; q < queue.size(); ++q) {
    const std::string dir = queue[q];
    std::string prefix = dir == "/" ? std::string() : dir;
    // Entries are taken in name order so that results do not depend on the
    // file system.
    std::vector<std::pair<std::string, bool>> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      std::error_code typeError;
      bool isDir = it->is_directory(typeError);
      if (typeError) continue;
      // Linked folders are not walked: a link cycle would never end.
      if (isDir && it->is_symlink(typeError)) continue;
      entries.emplace_back(std::move(name), isDir);
    }
    std::sort(entries.begin(), entries.end());
    for (auto& [name, isDir] : entries) {
      if (isDir) {
        if (includeSubFolders) queue.push_back(prefix + "/" + name);
      } else if (all || LowerCaseUtf8(ExtensionOf(name)) == wanted) {
        list.push_back(prefix + "/" + name);
      }
    }
  }
}

namespace {

std::vector<std::string> SplitFilterList(const std::string& filters) {
  std::vector<std::string> masks;
  size_t start = 0;
  while (start <= filters.size()) {
    size_t end = filters.find(';', start);
    if (end == std::string::npos) end = filters.size();
    std::string mask = filters.substr(start, end - start);
    while (!mask.empty() && mask.front() == ' ') mask.erase(mask.begin());
    while (!mask.empty() && mask.back() == ' ') mask.pop_back();
    if (!mask.empty()) masks.push_back(std::move(mask));
    start = end + 1;
  }
  return masks;
}

// Camera raw files: many are TIFF inside, but what a TIFF reader gets from
// them is a small preview or undeveloped sensor data, not the photo. A
// folder search does not take them for pictures (a filter may still name
// them).
bool IsCameraRawName(const std::string& name) {
  static const char* const kRaw[] = {"dng", "nef", "nrw", "cr2", "cr3", "crw", "arw", "srf",
                                     "sr2", "orf", "rw2", "pef", "ptx", "srw", "3fr", "erf",
                                     "kdc", "dcr", "mef", "mos", "iiq", "raw", "rwl", "x3f"};
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  for (const char* raw : kRaw)
    if (extension == raw) return true;
  return false;
}

bool IsReadableImage(const std::string& path, const std::string& name) {
  if (FormatByFileName(name) != nullptr) return true;
  if (IsCameraRawName(name)) return false;
  try {
    return !DetectFileFormat(path).empty();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void FindBatchImageFiles(const std::string& folder, const std::string& filters,
                         std::vector<std::string>& list, bool includeSubFolders,
                         const std::string& skipFolder) {
  FindBatchImageFiles(folder, filters, list, includeSubFolders, skipFolder, {});
}

void FindBatchImageFiles(const std::string& folder, const std::string& filters,
                         std::vector<std::string>& list, bool includeSubFolders,
                         const std::string& skipFolder,
                         const std::function<bool(size_t found)>& goOn) {
  size_t asked = 0;
  auto stopped = [&] { return goOn && (asked++ % 256) == 0 && !goOn(list.size()); };
  std::vector<std::string> masks = SplitFilterList(filters);
  bool imagesOnly = masks.empty();
  for (const std::string& m : masks)
    if (m == "*" || m == "*.*") imagesOnly = true;
  std::error_code ec;
  std::string skip;
  if (!skipFolder.empty()) {
    fs::path canonicalSkip = fs::weakly_canonical(skipFolder, ec);
    if (!ec) skip = canonicalSkip.string();
    while (skip.size() > 1 && skip.back() == '/') skip.pop_back();
  }
  auto isSkipped = [&skip](const std::string& canonical) {
    if (skip.empty()) return false;
    if (canonical == skip) return true;
    return canonical.size() > skip.size() && canonical.compare(0, skip.size(), skip) == 0 &&
           (skip == "/" || canonical[skip.size()] == '/');
  };
  std::string start = folder;
  while (start.size() > 1 && start.back() == '/') start.pop_back();
  std::set<std::string> visited;
  {
    fs::path c = fs::canonical(start, ec);
    if (!ec) visited.insert(c.string());
  }
  std::deque<std::string> queue{start};
  for (size_t q = 0; q < queue.size(); ++q) {
    const std::string dir = queue[q];
    if (goOn && !goOn(list.size())) return;
    std::string prefix = dir == "/" ? std::string() : dir;
    std::vector<std::pair<std::string, bool>> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (stopped()) return;
      std::string name = it->path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      std::error_code typeError;
      bool isDir = it->is_directory(typeError);  // follows links
      if (typeError) continue;
      if (!isDir && !it->is_regular_file(typeError)) continue;
      entries.emplace_back(std::move(name), isDir);
    }
    ec.clear();
    std::sort(entries.begin(), entries.end());
    for (auto& [name, isDir] : entries) {
      if (stopped()) return;
      const std::string path = prefix + "/" + name;
      if (isDir) {
        if (!includeSubFolders) continue;
        std::error_code canonicalError;
        const std::string canonical = fs::canonical(path, canonicalError).string();
        if (canonicalError || isSkipped(canonical)) continue;
        // Each real folder once: a linked folder seen before (or a loop) is passed by.
        if (!visited.insert(canonical).second) continue;
        queue.push_back(path);
      } else {
        bool take = false;
        if (imagesOnly) {
          take = IsReadableImage(path, name);
        } else {
          for (const std::string& m : masks)
            if (MatchesMask(name, m)) take = true;
        }
        if (take) list.push_back(path);
      }
    }
  }
}

bool RenamePatternHasSeparator(std::string_view pattern) {
  return pattern.find('/') != std::string_view::npos ||
         pattern.find('\\') != std::string_view::npos;
}

std::string EllipsizeText(std::string_view text, int maxChars) {
  if (static_cast<int64_t>(Utf8CharCount(text)) <= maxChars) return std::string(text);
  return Utf8Prefix(text, static_cast<size_t>(std::max(0, maxChars - 3))) + "...";
}

}  // namespace imprimo
