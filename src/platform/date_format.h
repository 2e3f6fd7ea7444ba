// Date and time values and the pattern formatter used for file names, text
// layers and the run log.
#pragma once

#include <string>
#include <string_view>

namespace imprimo {

// A broken-down local date and time. The default value is day zero of the
// date serial scale (30 December 1899, midnight).
struct TDateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};

TDateTime NowLocal();

struct TLocaleData;

// Formats t by the date-pattern tokens; letters are matched without regard
// to case and a token is a run of one letter:
//   c       short date, then a blank and the long time unless it is midnight
//   d dd    day; ddd dddd day names; ddddd short date; dddddd long date
//   m mm    month; mmm mmmm month names; minutes when the nearest letter
//           before the run is an h
//   y yy    two-digit year; yyy and longer the four-digit year
//   h hh    hour, 12-hour when am/pm, a/p or ampm follows before the next h
//   n nn  s ss  minutes, seconds;  z zz zzz  milliseconds (up to 3 digits)
//   t tt    short and long time format
//   am/pm a/p  the letters as written;  ampm  the locale's AM/PM text
//   aaa aaaa   day names;  e ee  era year;  g..ggg short, gggg long era name
//   /  :    the current date and time separators
//   "..." '...'  literal text
// Other characters are copied. UTF-8 in and out. The locale data is the
// user's unless given.
std::string FormatDateTime(std::string_view pattern, const TDateTime& t);
std::string FormatDateTime(std::string_view pattern, const TDateTime& t, const TLocaleData& locale);
// Short date format + " " + long time format; the time part is left out when
// it is exactly midnight (the "c" token).
std::string DateTimeToText(const TDateTime& t);

// Process-wide date and time separators, initialised from the user's locale.
// The "/" and ":" tokens, and the locale short and long formats, use them,
// so changing a separator changes later "c", "ddddd", "t" output too.
std::string DateSeparator();
void SetDateSeparator(std::string sep);
std::string TimeSeparator();
void SetTimeSeparator(std::string sep);

// While it lives, the calling thread reads and sets these separators instead
// of the process-wide ones (a worker that formats dates for one image at a
// time). Scopes nest; the outer one is restored at the end.
class TThreadSeparators {
 public:
  TThreadSeparators(std::string date, std::string time);
  ~TThreadSeparators();
  TThreadSeparators(const TThreadSeparators&) = delete;
  TThreadSeparators& operator=(const TThreadSeparators&) = delete;
  const std::string& Date() const { return date_; }
  const std::string& Time() const { return time_; }
  void SetDate(std::string sep);
  void SetTime(std::string sep);
  // True once either separator was set in this scope.
  bool Changed() const { return changed_; }

 private:
  std::string date_, time_;
  bool changed_ = false;
  TThreadSeparators* outer_;
};

}  // namespace imprimo
