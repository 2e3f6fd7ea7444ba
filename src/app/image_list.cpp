#include "app/image_list.h"

#include <unicode/coll.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>

#include "app/batch_run.h"
#include "app/naming.h"
#include "imaging/file_format.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace imprimo {

namespace {

const icu::Collator* PathCollator() {
  static std::unique_ptr<icu::Collator> collator;
  static std::once_flag once;
  std::call_once(once, [] {
    UErrorCode status = U_ZERO_ERROR;
    collator.reset(icu::Collator::createInstance(icu::Locale::getDefault(), status));
    if (U_FAILURE(status)) {
      collator.reset();
      return;
    }
    collator->setStrength(icu::Collator::TERTIARY);
  });
  return collator.get();
}

}  // namespace

ImageListEntry MakeImageListEntry(const std::string& path) {
  ImageListEntry entry;
  entry.Path = path;
  entry.Icon = kIconWaiting;
  // Only regular files are probed: opening a named pipe would block.
  std::error_code ec;
  std::string format =
      std::filesystem::is_regular_file(path, ec) ? DetectFileFormat(path) : std::string();
  if (format.empty()) format = "Unknown";
  entry.Columns[kColFormat] = UpperCaseUtf8(format);
  entry.Columns[kColOriginalSize] = FormatSizeText(FileSizeOf(path));
  return entry;
}

int ComparePathText(std::string_view a, std::string_view b) {
  if (const icu::Collator* c = PathCollator()) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        c->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                       icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_SUCCESS(status)) {
      if (r != UCOL_EQUAL) return r == UCOL_LESS ? -1 : 1;
      // Texts the collation ranks equal still get a fixed order.
    }
  }
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

bool IsInList(const std::vector<ImageListEntry>& rows, std::string_view path) {
  return std::any_of(rows.begin(), rows.end(),
                     [&](const ImageListEntry& e) { return e.Path == path; });
}

size_t InsertSorted(std::vector<ImageListEntry>& rows, ImageListEntry entry) {
  auto at = std::upper_bound(rows.begin(), rows.end(), entry,
                             [](const ImageListEntry& x, const ImageListEntry& y) {
                               return ComparePathText(x.Path, y.Path) < 0;
                             });
  const size_t index = static_cast<size_t>(at - rows.begin());
  rows.insert(at, std::move(entry));
  return index;
}

int AddImages(TImageListHost& host, const std::vector<std::string>& paths) {
  int added = 0;
  try {
    host.ShowDetailList();
    host.ClearStopRequested();
    host.SetProgress(0, ProgressCaption(0));
    host.ShowProgress(true);
    host.ProcessMessages();
    const int count = static_cast<int>(paths.size());
    for (int i = 0; i < count; ++i) {
      if (host.StopRequested()) break;
      if (host.IsInList(paths[i])) continue;
      host.AddRow(MakeImageListEntry(paths[i]));
      ++added;
      host.ProcessMessages();
      const int percent = RunProgress(i, count);
      host.SetProgress(percent, ProgressCaption(percent));
      host.ProcessMessages();
    }
  } catch (...) {
    // Adding never reports; the rows added so far stay.
  }
  try {
    host.ShowProgress(false);
    host.AddFinished();
  } catch (...) {
  }
  return added;
}

void NoteAddedFiles(std::vector<std::string>& addedFolders, TSettings& settings,
                    const std::string& firstFile) {
  addedFolders.push_back(WithTrailingSeparator(FolderOf(firstFile)));
  settings.ScrPath = addedFolders.back();
}

void NoteAddedFolder(std::vector<std::string>& addedFolders, TSettings& settings,
                     const std::string& folder) {
  addedFolders.push_back(WithTrailingSeparator(folder));
  settings.ScrPath = addedFolders.back();
}

}  // namespace imprimo
