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

// Formats t by the date-pattern tokens (c, d..dddddd, m..mmmm, yy, yyyy,
// h, hh, n, nn, s, ss, z, zzz, t, tt, am/pm, a/p, ampm, "/" and ":",
// quoted literal text); other characters are copied. UTF-8 out.
std::string FormatDateTime(std::string_view pattern, const TDateTime& t);
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

}  // namespace imprimo
