// High-water mark of the memory taken through the C allocator in this test
// program, by our code and the libraries alike (the program replaces malloc
// and its relatives; under a sanitizer, operator new only).
#pragma once

#include <cstdint>

namespace imprimo::testing {

// Measures from its construction: PeakBytes is the most memory allocated on
// top of what was live then. Not meant for overlapping use across threads.
class TPeakAllocation {
 public:
  TPeakAllocation();
  int64_t PeakBytes() const;

 private:
  int64_t start_;
};

}  // namespace imprimo::testing
