#include "platform/random.h"

#include <chrono>
#include <functional>

namespace imprimo {
namespace {
// Each thread draws from its own generator, so images drawn at the same time
// on several threads never share a sequence.
thread_local uint32_t g_seed = 0;

std::function<int64_t()>& SeedClock() {
  static std::function<int64_t()> clock;
  return clock;
}

uint32_t Next() {
  // 32-bit linear congruential step; the top bits carry the randomness and
  // Random() scales them into range with a 64-bit multiply.
  g_seed = g_seed * 134775813u + 1u;
  return g_seed;
}
}  // namespace

void RandSeed(uint32_t seed) { g_seed = seed; }

void Randomize() {
  int64_t ns;
  if (const auto& clock = SeedClock()) {
    ns = clock();
  } else {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
  }
  g_seed = static_cast<uint32_t>(ns ^ (ns >> 32));
}

void SetRandomizeClock(std::function<int64_t()> nanoseconds) {
  SeedClock() = std::move(nanoseconds);
}

int32_t Random(int32_t n) {
  if (n <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(Next()) * static_cast<uint64_t>(n)) >> 32);
}

double RandomUnit() { return Next() / 4294967296.0; }

}  // namespace imprimo
