// Fixed clocks for tests whose output depends on the time: dates in text
// variables, the effects' random seed and the run log's time stamps.
#pragma once

#include <cstdint>
#include <string>

#include "platform/date_format.h"
#include "platform/random.h"
#include "render/text_variables.h"

namespace imprimo {

inline TDateTime TestTime(int year, int month, int day, int hour, int minute, int second = 0) {
  TDateTime t;
  t.year = year, t.month = month, t.day = day, t.hour = hour, t.minute = minute, t.second = second;
  return t;
}

// The time the fixed clocks read unless a test names another.
inline TDateTime FixedTime() { return TestTime(2024, 2, 29, 13, 5, 9); }

// Dates and the effects' random seed read a fixed clock while it lives; the
// date and time separators it found (date, time) are put back afterwards.
class TFixedClocks {
 public:
  const std::string date = DateSeparator(), time = TimeSeparator();
  explicit TFixedClocks(TDateTime now = FixedTime()) {
    SetTextVariableClock([now] { return now; });
    SetRandomizeClock([] { return int64_t{1709211909123456789}; });
  }
  ~TFixedClocks() {
    SetTextVariableClock({});
    SetRandomizeClock({});
    SetDateSeparator(date);
    SetTimeSeparator(time);
  }
  TFixedClocks(const TFixedClocks&) = delete;
  TFixedClocks& operator=(const TFixedClocks&) = delete;
};

}  // namespace imprimo
