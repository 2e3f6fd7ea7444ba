// The output folder's check before a run: that it exists (or, for the
// default folder, can be made), takes new files and has room for the batch,
// so that a run refused for its folder says so once instead of failing on
// every row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imprimo {

enum class TOutputProblem { None, NotCreatable, NotWritable, LowSpace };

struct TOutputCheck {
  TOutputProblem Problem = TOutputProblem::None;
  std::string Reason;        // NotCreatable: the system's words
  uint64_t FreeBytes = 0;    // LowSpace: what the folder's file system has
  uint64_t NeededBytes = 0;  // LowSpace: the estimate for the batch
};

// Checks folder. mayCreate: a missing folder is made (the default output
// folder); otherwise a missing folder is left to the run's own refusal and
// reported as None here. neededBytes: the room the batch needs (0: not
// checked).
TOutputCheck CheckOutputFolder(const std::string& folder, bool mayCreate, uint64_t neededBytes);

// A rough size of the outputs of sources: the sum of their file sizes
// (unreadable entries count nothing).
uint64_t EstimateOutputBytes(const std::vector<std::string>& sources);

// A size for messages: "512 bytes", "3.4 MB", "1.2 GB".
std::string ByteSizeText(uint64_t bytes);

}  // namespace imprimo
