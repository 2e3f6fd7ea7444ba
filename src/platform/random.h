// The one process-wide pseudo-random generator. Placement code reseeds it
// from the clock; spray and noise draw from it. Tests seed it directly.
#pragma once

#include <cstdint>

namespace imprimo {

// Sets the seed explicitly (deterministic sequences in tests).
void RandSeed(uint32_t seed);
// Reseeds from the wall clock.
void Randomize();
// Uniform integer in 0..n-1; Random(0) and negative n give 0.
int32_t Random(int32_t n);
// Uniform value in [0, 1).
double RandomUnit();

}  // namespace imprimo
