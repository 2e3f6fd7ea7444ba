// The image list's rows and the adding side of the list: duplicate test,
// format and size columns, sort order, AddedFolders and ScrPath.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"

namespace imprimo {

struct ImageListEntry {
  std::string Path;                    // the row text: the source path as added
  int Icon = 2;                        // TRowIcon; waiting when added
  std::array<std::string, 5> Columns;  // Format, Original Dimension, Original Size,
                                       // New Dimension, New Size
};

// A new row for path: the detected format's extension upper-cased (UNKNOWN
// when no format recognises it) and the file's size text.
ImageListEntry MakeImageListEntry(const std::string& path);

// Locale-aware, case-sensitive order of row texts (<0, 0, >0).
int ComparePathText(std::string_view a, std::string_view b);

// True when some row's text equals path exactly (letter case counts).
bool IsInList(const std::vector<ImageListEntry>& rows, std::string_view path);

// Inserts entry keeping rows sorted by ComparePathText; returns its index.
size_t InsertSorted(std::vector<ImageListEntry>& rows, ImageListEntry entry);

// The list side that AddImages talks to; the desktop window and the terminal
// command each implement it.
class TImageListHost {
 public:
  virtual ~TImageListHost() = default;
  virtual bool IsInList(const std::string& path) const = 0;
  virtual void AddRow(ImageListEntry entry) = 0;  // the host keeps its rows sorted
  virtual void ShowDetailList() {}
  virtual void ShowProgress(bool /*visible*/) {}
  virtual void SetProgress(int /*percent*/, const std::string& /*caption*/) {}
  virtual void ProcessMessages() {}
  virtual bool StopRequested() const { return false; }
  virtual void ClearStopRequested() {}
  // Runs once at the end, also after an error: thumbnails stale, commands.
  virtual void AddFinished() {}
};

// Appends a row per path not already listed, with progress, message pumping
// and stop between paths. Errors are swallowed; rows added so far stay.
// Returns the number of rows added.
int AddImages(TImageListHost& host, const std::vector<std::string>& paths);

// After an add-files command: the first file's folder is appended to
// addedFolders and ScrPath becomes the last entry.
void NoteAddedFiles(std::vector<std::string>& addedFolders, TSettings& settings,
                    const std::string& firstFile);
// After an add-folder command: the folder (trailing "/") is appended and
// ScrPath becomes the last entry.
void NoteAddedFolder(std::vector<std::string>& addedFolders, TSettings& settings,
                     const std::string& folder);

}  // namespace imprimo
