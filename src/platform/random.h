// The pseudo-random generator, one per thread. Placement code reseeds it
// from the clock; spray and noise draw from it. Tests seed it directly.
#pragma once

#include <cstdint>
#include <functional>

namespace imprimo {

// Sets the seed explicitly (deterministic sequences in tests).
void RandSeed(uint32_t seed);
// Reseeds from the wall clock (nanoseconds since the epoch).
void Randomize();
// Replaces the wall clock that Randomize reads (fixed clocks in tests); an
// empty function restores it. Set it only while no image is being drawn.
void SetRandomizeClock(std::function<int64_t()> nanoseconds);
// Uniform integer in 0..n-1; Random(0) and negative n give 0.
int32_t Random(int32_t n);
// Uniform value in [0, 1).
double RandomUnit();

}  // namespace imprimo
