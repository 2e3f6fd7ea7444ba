#include "platform/locale_data.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include <cstdlib>
#include <memory>

#include "platform/text.h"

namespace imprimo {

TLocaleData CLocaleData() {
  TLocaleData d;
  d.name = "C";
  d.shortDateFormat = "m/d/yyyy";
  d.longDateFormat = "dddd, mmmm d, yyyy";
  d.shortTimeFormat = "hh:nn";
  d.longTimeFormat = "hh:nn:ss";
  d.shortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  d.longDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  d.shortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  d.longMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                      "July",    "August",   "September", "October", "November", "December"};
  d.timeAMString = "AM";
  d.timePMString = "PM";
  d.dateSeparator = "/";
  d.timeSeparator = ":";
  d.decimalSeparator = ".";
  d.shortEraName = "AD";
  d.longEraName = "Anno Domini";
  d.shortEraNameBC = "BC";
  d.longEraNameBC = "Before Christ";
  return d;
}

std::string UserLocaleName() {
  const char* vars[] = {"LC_ALL", "LC_TIME", "LANG"};
  std::string name;
  for (const char* v : vars) {
    const char* value = std::getenv(v);
    if (value && *value) {
      name = value;
      break;
    }
  }
  size_t cut = name.find_first_of(".@");
  if (cut != std::string::npos) name.resize(cut);
  if (name.empty()) name = "C";
  return name;
}

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Appends literal text, quoted when it holds letters or separator tokens.
void AppendLiteral(std::string& out, const std::u16string& text) {
  if (text.empty()) return;
  bool needsQuotes = false;
  for (char16_t c : text)
    if (IsAsciiLetter(c) || c == u'/' || c == u':' || c == u'"' || c == u'\'') needsQuotes = true;
  std::string utf8 = Utf16ToUtf8(text);
  if (!needsQuotes) {
    out += utf8;
    return;
  }
  // A quote character cannot occur inside quotes of its own kind.
  if (text.find(u'"') == std::u16string::npos) {
    out += '"' + utf8 + '"';
  } else if (text.find(u'\'') == std::u16string::npos) {
    out += '\'' + utf8 + '\'';
  } else {
    for (char16_t c : text) {
      std::string one = Utf16ToUtf8(std::u16string(1, c));
      out += c == u'"' ? "'\"'" : '"' + one + '"';
    }
  }
}

std::u16string ToU16(const icu::UnicodeString& s) {
  return std::u16string(s.getBuffer(), static_cast<size_t>(s.length()));
}

std::string ToUtf8(const icu::UnicodeString& s) { return Utf16ToUtf8(ToU16(s)); }

std::u16string PatternOf(icu::DateFormat* format) {
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format);
  if (!simple) return {};
  icu::UnicodeString pattern;
  simple->toPattern(pattern);
  return ToU16(pattern);
}

// The first separator-like character between two fields of a pattern.
char16_t FindSeparator(const std::u16string& pattern, char16_t fallback) {
  bool seenField = false, quoted = false;
  for (char16_t c : pattern) {
    if (c == u'\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (IsAsciiLetter(c)) {
      seenField = true;
    } else if (seenField && c != u' ' && c != u',' && c != 0x00A0 && c != 0x202F) {
      return c;
    }
  }
  return fallback;
}

}  // namespace

std::string ConvertIcuPattern(const std::u16string& pattern, char16_t dateSep, char16_t timeSep,
                              bool twoDigitYearToFour) {
  std::string out;
  std::u16string literal;
  auto flush = [&] {
    AppendLiteral(out, literal);
    literal.clear();
  };
  size_t i = 0, n = pattern.size();
  while (i < n) {
    char16_t c = pattern[i];
    if (c == u'\'') {
      if (i + 1 < n && pattern[i + 1] == u'\'') {
        literal += u'\'';
        i += 2;
        continue;
      }
      ++i;
      while (i < n) {
        if (pattern[i] == u'\'') {
          if (i + 1 < n && pattern[i + 1] == u'\'') {
            literal += u'\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        literal += pattern[i++];
      }
      continue;
    }
    if (!IsAsciiLetter(c)) {
      if (dateSep && c == dateSep) {
        flush();
        out += '/';
      } else if (timeSep && c == timeSep) {
        flush();
        out += ':';
      } else if (c == 0x00A0 || c == 0x202F) {
        literal += u' ';  // no-break spaces between fields read as plain blanks
      } else {
        literal += c;
      }
      ++i;
      continue;
    }
    size_t count = 1;
    while (i + count < n && pattern[i + count] == c) ++count;
    i += count;
    std::string token;
    switch (c) {
      case u'y':
      case u'Y':
      case u'u':
        token = (count == 2 && !twoDigitYearToFour) ? "yy" : "yyyy";
        break;
      case u'M':
      case u'L':
        token = count == 1 ? "m" : count == 2 ? "mm" : count == 4 ? "mmmm" : "mmm";
        break;
      case u'd':
        token = count == 1 ? "d" : "dd";
        break;
      case u'E':
        token = count == 4 ? "dddd" : "ddd";
        break;
      case u'c':
      case u'e':
        if (count >= 3) token = count == 4 ? "dddd" : "ddd";
        break;
      case u'H':
      case u'k':
      case u'h':
      case u'K':
        token = count == 1 ? "h" : "hh";
        break;
      case u'm':
        token = count == 1 ? "n" : "nn";
        break;
      case u's':
        token = count == 1 ? "s" : "ss";
        break;
      case u'S':
        token = std::string(std::min<size_t>(count, 3), 'z');
        break;
      case u'a':
      case u'b':
      case u'B':
        token = "ampm";
        break;
      case u'G':
        token = count == 4 ? "gggg" : "g";
        break;
      default:
        break;  // time zones, week numbers and the like have no token
    }
    if (!token.empty()) {
      flush();
      out += token;
    }
  }
  flush();
  // Fields that had no token may leave blanks at either end.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  size_t lead = out.find_first_not_of(' ');
  out.erase(0, lead == std::string::npos ? out.size() : lead);
  return out;
}

TLocaleData LoadLocaleData(const std::string& localeName) {
  if (localeName.empty() || localeName == "C" || localeName == "POSIX") return CLocaleData();
  TLocaleData d = CLocaleData();
  icu::Locale loc(localeName.c_str());
  if (loc.isBogus()) return d;
  d.name = localeName;

  std::unique_ptr<icu::DateFormat> shortDate(
      icu::DateFormat::createDateInstance(icu::DateFormat::kShort, loc));
  std::unique_ptr<icu::DateFormat> longDate(
      icu::DateFormat::createDateInstance(icu::DateFormat::kFull, loc));
  std::unique_ptr<icu::DateFormat> shortTime(
      icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, loc));
  std::unique_ptr<icu::DateFormat> longTime(
      icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, loc));
  std::u16string sd = shortDate ? PatternOf(shortDate.get()) : u"";
  std::u16string ld = longDate ? PatternOf(longDate.get()) : u"";
  std::u16string st = shortTime ? PatternOf(shortTime.get()) : u"";
  std::u16string lt = longTime ? PatternOf(longTime.get()) : u"";
  if (!sd.empty() && !ld.empty() && !st.empty() && !lt.empty()) {
    char16_t dateSep = FindSeparator(sd, u'/');
    char16_t timeSep = FindSeparator(st, u':');
    d.dateSeparator = Utf16ToUtf8(std::u16string(1, dateSep));
    d.timeSeparator = Utf16ToUtf8(std::u16string(1, timeSep));
    d.shortDateFormat = ConvertIcuPattern(sd, dateSep, 0, true);
    d.longDateFormat = ConvertIcuPattern(ld, u'/', 0, false);
    d.shortTimeFormat = ConvertIcuPattern(st, 0, timeSep, false);
    d.longTimeFormat = ConvertIcuPattern(lt, 0, timeSep, false);
  }

  UErrorCode err = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(loc, err);
  if (U_SUCCESS(err)) {
    int32_t count = 0;
    const icu::UnicodeString* names = symbols.getShortWeekdays(count);
    if (count >= 8)
      for (int k = 0; k < 7; ++k) d.shortDayNames[k] = ToUtf8(names[k + 1]);
    names = symbols.getWeekdays(count);
    if (count >= 8)
      for (int k = 0; k < 7; ++k) d.longDayNames[k] = ToUtf8(names[k + 1]);
    names = symbols.getShortMonths(count);
    if (count >= 12)
      for (int k = 0; k < 12; ++k) d.shortMonthNames[k] = ToUtf8(names[k]);
    names = symbols.getMonths(count);
    if (count >= 12)
      for (int k = 0; k < 12; ++k) d.longMonthNames[k] = ToUtf8(names[k]);
    names = symbols.getAmPmStrings(count);
    if (count >= 2) {
      d.timeAMString = ToUtf8(names[0]);
      d.timePMString = ToUtf8(names[1]);
    }
    names = symbols.getEras(count);
    if (count >= 2) {
      d.shortEraNameBC = ToUtf8(names[0]);
      d.shortEraName = ToUtf8(names[1]);
    }
    names = symbols.getEraNames(count);
    if (count >= 2) {
      d.longEraNameBC = ToUtf8(names[0]);
      d.longEraName = ToUtf8(names[1]);
    }
  }
  err = U_ZERO_ERROR;
  icu::DecimalFormatSymbols numbers(loc, err);
  if (U_SUCCESS(err))
    d.decimalSeparator =
        ToUtf8(numbers.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
  return d;
}

const TLocaleData& CurrentLocaleData() {
  static const TLocaleData data = LoadLocaleData(UserLocaleName());
  return data;
}

}  // namespace imprimo
