#include "platform/date_format.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/locale_data.h"

namespace imprimo {

namespace {

struct Separators {
  std::mutex mutex;
  std::string date, time;
  Separators() {
    const TLocaleData& d = CurrentLocaleData();
    date = d.dateSeparator;
    time = d.timeSeparator;
  }
};

Separators& GlobalSeparators() {
  static Separators s;
  return s;
}

// The calling thread's own separators while a TThreadSeparators lives.
thread_local TThreadSeparators* t_separators = nullptr;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool StartsWithNoCase(std::string_view s, size_t pos, std::string_view what) {
  if (s.size() - pos < what.size()) return false;
  for (size_t k = 0; k < what.size(); ++k)
    if (Upper(s[pos + k]) != Upper(what[k])) return false;
  return true;
}

void AppendNumber(std::string& out, long long value, int minDigits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", minDigits, value);
  out += buf;
}

// Day of the week, 0 = Sunday, for the proleptic Gregorian calendar.
int DayOfWeek(int y, int m, int d) {
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 1 || m > 12) return 0;
  long long yy = y;
  if (m < 3) --yy;
  long long w = yy + yy / 4 - yy / 100 + yy / 400 + offsets[m - 1] + d;
  if (yy < 0) w -= 1;  // floor division for negative years
  long long r = w % 7;
  return static_cast<int>(r < 0 ? r + 7 : r);
}

const std::string& MonthName(const std::array<std::string, 12>& names, int month) {
  static const std::string empty;
  return (month >= 1 && month <= 12) ? names[month - 1] : empty;
}

// Finds whether an am/pm marker comes after pos before the next "h".
bool TwelveHourAfter(std::string_view p, size_t pos) {
  size_t i = pos;
  while (i < p.size()) {
    char c = p[i];
    if (c == '"' || c == '\'') {
      size_t close = p.find(c, i + 1);
      if (close == std::string_view::npos) return false;
      i = close + 1;
      continue;
    }
    char u = Upper(c);
    if (u == 'H') return false;
    if (u == 'A' && (StartsWithNoCase(p, i, "am/pm") || StartsWithNoCase(p, i, "a/p") ||
                     StartsWithNoCase(p, i, "ampm")))
      return true;
    ++i;
  }
  return false;
}

class Formatter {
 public:
  Formatter(const TDateTime& t, const TLocaleData& locale, std::string dateSep, std::string timeSep)
      : t_(t), loc_(locale), dateSep_(std::move(dateSep)), timeSep_(std::move(timeSep)) {}

  void Format(std::string_view p, std::string& out, int depth) {
    if (depth > 3) return;  // locale formats never nest deeper
    char lastLetter = 0;
    size_t i = 0;
    while (i < p.size()) {
      if (!IsLetter(p[i])) {
        i += FormatLiteral(p, i, out);
        continue;
      }
      const char u = Upper(p[i]);
      size_t count = 1;
      while (i + count < p.size() && Upper(p[i + count]) == u) ++count;
      const size_t consumed = FormatToken(p, i, count, lastLetter, out, depth);
      // The nearest letter before the next token decides the m-after-h rule.
      for (size_t k = i + consumed; k > i; --k) {
        if (IsLetter(p[k - 1])) {
          lastLetter = Upper(p[k - 1]);
          break;
        }
      }
      i += consumed;
    }
  }

 private:
  // A quoted text, a separator or any other character that is not a
  // letter; returns the characters taken.
  size_t FormatLiteral(std::string_view p, size_t i, std::string& out) {
    const char c = p[i];
    if (c == '"' || c == '\'') {
      size_t close = p.find(c, i + 1);
      if (close == std::string_view::npos) close = p.size();
      out.append(p.substr(i + 1, close - i - 1));
      return close + 1 - i;
    }
    if (c == '/')
      out += dateSep_;
    else if (c == ':')
      out += timeSep_;
    else
      out += c;
    return 1;
  }

  // A run of count equal letters (any case) at i; returns the characters
  // taken, which am/pm markers make differ from count.
  size_t FormatToken(std::string_view p, size_t i, size_t count, char lastLetter, std::string& out,
                     int depth) {
    switch (Upper(p[i])) {
      case 'C':
        Format(loc_.shortDateFormat, out, depth + 1);
        if (t_.hour != 0 || t_.minute != 0 || t_.second != 0) {
          out += ' ';
          Format(loc_.longTimeFormat, out, depth + 1);
        }
        break;
      case 'D':
        FormatD(count, out, depth);
        break;
      case 'M':
        FormatM(count, lastLetter, out);
        break;
      case 'Y':
        if (count <= 2) {
          int yy = t_.year % 100;
          AppendNumber(out, yy < 0 ? -yy : yy, 2);
        } else {
          AppendNumber(out, t_.year, 4);
        }
        break;
      case 'H': {
        int h = t_.hour;
        if (TwelveHourAfter(p, i + count)) {
          h %= 12;
          if (h == 0) h = 12;
        }
        AppendNumber(out, h, count >= 2 ? 2 : 1);
        break;
      }
      case 'N':
        AppendNumber(out, t_.minute, count >= 2 ? 2 : 1);
        break;
      case 'S':
        AppendNumber(out, t_.second, count >= 2 ? 2 : 1);
        break;
      case 'Z':
        AppendNumber(out, t_.millisecond, static_cast<int>(count > 3 ? 3 : count));
        break;
      case 'T':
        Format(count == 1 ? loc_.shortTimeFormat : loc_.longTimeFormat, out, depth + 1);
        break;
      case 'A':
        return FormatA(p, i, count, out);
      case 'E':
      case 'G':
        FormatEra(Upper(p[i]), count, out);
        break;
      default:
        out.append(p.substr(i, count));
        break;
    }
    return count;
  }

  // d, dd: the day; ddd, dddd: its name; ddddd: the short date; longer: the
  // long date.
  void FormatD(size_t count, std::string& out, int depth) {
    switch (count) {
      case 1:
      case 2:
        AppendNumber(out, t_.day, static_cast<int>(count));
        break;
      case 3:
        out += loc_.shortDayNames[DayOfWeek(t_.year, t_.month, t_.day)];
        break;
      case 4:
        out += loc_.longDayNames[DayOfWeek(t_.year, t_.month, t_.day)];
        break;
      case 5:
        Format(loc_.shortDateFormat, out, depth + 1);
        break;
      default:
        Format(loc_.longDateFormat, out, depth + 1);
        break;
    }
  }

  // The minute right after an hour, otherwise the month as a number or name.
  void FormatM(size_t count, char lastLetter, std::string& out) {
    if (lastLetter == 'H') {
      AppendNumber(out, t_.minute, count >= 2 ? 2 : 1);
    } else if (count <= 2) {
      AppendNumber(out, t_.month, static_cast<int>(count));
    } else if (count == 3) {
      out += MonthName(loc_.shortMonthNames, t_.month);
    } else {
      out += MonthName(loc_.longMonthNames, t_.month);
    }
  }

  // e: the year of the era; g: the era's name.
  void FormatEra(char letter, size_t count, std::string& out) {
    if (letter == 'E') {
      int eraYear = t_.year >= 1 ? t_.year : 1 - t_.year;
      AppendNumber(out, eraYear, count >= 2 ? 2 : 1);
    } else if (count >= 4) {
      out += t_.year >= 1 ? loc_.longEraName : loc_.longEraNameBC;
    } else {
      out += t_.year >= 1 ? loc_.shortEraName : loc_.shortEraNameBC;
    }
  }

  size_t FormatA(std::string_view p, size_t i, size_t count, std::string& out) {
    bool am = t_.hour < 12;
    if (StartsWithNoCase(p, i, "am/pm")) {
      out.append(p.substr(am ? i : i + 3, 2));
      return 5;
    }
    if (StartsWithNoCase(p, i, "a/p")) {
      out += p[am ? i : i + 2];
      return 3;
    }
    if (StartsWithNoCase(p, i, "ampm")) {
      out += am ? loc_.timeAMString : loc_.timePMString;
      return 4;
    }
    int dow = DayOfWeek(t_.year, t_.month, t_.day);
    if (count >= 4) {
      out += loc_.longDayNames[dow];
    } else if (count == 3) {
      out += loc_.shortDayNames[dow];
    } else {
      out.append(p.substr(i, count));
    }
    return count;
  }

  const TDateTime& t_;
  const TLocaleData& loc_;
  std::string dateSep_, timeSep_;
};

}  // namespace

TDateTime NowLocal() {
  auto now = std::chrono::system_clock::now();
  std::time_t secs = std::chrono::system_clock::to_time_t(now);
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&secs, &tm);
  TDateTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
  return t;
}

std::string FormatDateTime(std::string_view pattern, const TDateTime& t,
                           const TLocaleData& locale) {
  std::string dateSep = DateSeparator(), timeSep = TimeSeparator();
  Formatter f(t, locale, std::move(dateSep), std::move(timeSep));
  std::string out;
  f.Format(pattern, out, 0);
  return out;
}

std::string FormatDateTime(std::string_view pattern, const TDateTime& t) {
  return FormatDateTime(pattern, t, CurrentLocaleData());
}

std::string DateTimeToText(const TDateTime& t) { return FormatDateTime("c", t); }

std::string DateSeparator() {
  if (t_separators) return t_separators->Date();
  Separators& s = GlobalSeparators();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.date;
}

void SetDateSeparator(std::string sep) {
  if (t_separators) return t_separators->SetDate(std::move(sep));
  Separators& s = GlobalSeparators();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.date = std::move(sep);
}

std::string TimeSeparator() {
  if (t_separators) return t_separators->Time();
  Separators& s = GlobalSeparators();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.time;
}

void SetTimeSeparator(std::string sep) {
  if (t_separators) return t_separators->SetTime(std::move(sep));
  Separators& s = GlobalSeparators();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.time = std::move(sep);
}

TThreadSeparators::TThreadSeparators(std::string date, std::string time)
    : date_(std::move(date)), time_(std::move(time)), outer_(t_separators) {
  t_separators = this;
}

TThreadSeparators::~TThreadSeparators() { t_separators = outer_; }

void TThreadSeparators::SetDate(std::string sep) {
  date_ = std::move(sep);
  changed_ = true;
}

void TThreadSeparators::SetTime(std::string sep) {
  time_ = std::move(sep);
  changed_ = true;
}

}  // namespace imprimo
