// The fuzz entry points compiled into the replay test, by target name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace imprimo::testing {

struct TReplayTarget {
  std::string name;  // fuzz_<name>; its findings live in tests/data/<name>/regress
  int (*run)(const uint8_t* data, size_t size);
};

const std::vector<TReplayTarget>& ReplayTargets();

// Test names and messages show a target by its name.
inline void PrintTo(const TReplayTarget& target, std::ostream* os) { *os << target.name; }

}  // namespace imprimo::testing
