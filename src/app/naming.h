// File and folder naming helpers: rename patterns, size texts, folder
// walking. The path separator is "/".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"

namespace imprimo {

// Builds a file name from a pattern: "{FN}" = fileName, each run of "#" is
// the serial number zero-padded to the run's length.
std::string ApplyRenamePattern(std::string_view pattern, std::string_view fileName, int32_t serial);
// "0 KB", "0.5 KB", "2 KB", "1.0 MB", ...
std::string FormatSizeText(int64_t size);
// Size of a file in bytes, -1 when it cannot be read; files of 2 GB or more
// do not fit and give their low 32 bits.
int32_t FileSizeOf(const std::string& path);
// Creates base + relative and every missing folder on the way.
void CreateSubFolders(const std::string& base, const std::string& relative);
// Appends the files of folder matching filter ("*", "*.jpg", "*.jp*"; case-
// insensitive), breadth-first through sub-folders when asked; hidden entries
// (names starting with ".") are skipped.
void FindImageFiles(const std::string& folder, const std::string& filter,
                    std::vector<std::string>& list, bool includeSubFolders);
// The command line's folder search. filters is a ";"-separated list of
// wildcard masks matched without regard to case; with "*" or "*.*" (or an
// empty list) only files whose extension or content is a readable image
// format are taken. Linked sub-folders are entered once each (a link loop
// ends); skipFolder and everything below it are left out. Name order per
// folder, breadth-first.
void FindBatchImageFiles(const std::string& folder, const std::string& filters,
                         std::vector<std::string>& list, bool includeSubFolders,
                         const std::string& skipFolder);
// The same search, asking goOn(pictures found so far) before every folder
// and every 256 entries; it ends early, keeping what it found, once goOn
// says false.
void FindBatchImageFiles(const std::string& folder, const std::string& filters,
                         std::vector<std::string>& list, bool includeSubFolders,
                         const std::string& skipFolder,
                         const std::function<bool(size_t found)>& goOn);
// True when a rename pattern would leave the output folder (holds "/" or "\").
bool RenamePatternHasSeparator(std::string_view pattern);
// Shortens text to maxChars characters ending in "..." when longer; counts
// characters, never splits UTF-8.
std::string EllipsizeText(std::string_view text, int maxChars);

}  // namespace imprimo
