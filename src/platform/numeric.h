// Number helpers shared by every module: rounding halves to even and
// truncating division. Code that "rounds" uses these, never std::round.
#pragma once

#include <cmath>
#include <cstdint>

namespace imprimo {

// Nearest integer, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
inline int64_t RoundHalfEven(long double v) {
  long double fl = std::floor(v);
  long double diff = v - fl;
  int64_t f = static_cast<int64_t>(fl);
  if (diff > 0.5L) return f + 1;
  if (diff < 0.5L) return f;
  return (f % 2 == 0) ? f : f + 1;
}
inline int64_t RoundHalfEven(double v) { return RoundHalfEven(static_cast<long double>(v)); }
inline int64_t RoundHalfEven(float v) { return RoundHalfEven(static_cast<long double>(v)); }

// Integer division truncating toward zero (C++ semantics, named for clarity
// where a formula says "div").
constexpr int64_t Div(int64_t a, int64_t b) { return a / b; }

// Integer part of a floating value, truncated toward zero.
inline int64_t Trunc(long double v) { return static_cast<int64_t>(v); }

}  // namespace imprimo
