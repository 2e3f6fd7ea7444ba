// Whole-file reading and safe replacement of files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace imprimo {

enum class EReadResult { kOk, kMissing, kUnreadable, kTooLarge };

// Reads the whole regular file into bytes (anything else is unreadable).
// Files larger than maxBytes are not read.
EReadResult ReadWholeFile(const std::string& path, std::string& bytes,
                          uint64_t maxBytes = uint64_t{1} << 30);

// Writes bytes to a temporary file in the same folder and renames it over
// path, so a failure never leaves a half-written file or loses the old one.
// An existing file keeps its permission bits. Throws std::runtime_error
// naming the path and the reason. durable flushes the data to the disk
// before the rename; files rewritten very often (the run log) skip that.
void WriteFileReplacing(const std::string& path, std::string_view bytes, bool durable = true);

}  // namespace imprimo
