// The user's regional settings as the date formatter needs them: names,
// formats (already written in the date-pattern language) and separators.
#pragma once

#include <array>
#include <string>

namespace imprimo {

struct TLocaleData {
  std::string name;  // "C" for the fixed data below
  // Formats in the date-pattern language; "/" and ":" in them stand for the
  // current date and time separators.
  std::string shortDateFormat, longDateFormat, shortTimeFormat, longTimeFormat;
  std::array<std::string, 7> shortDayNames, longDayNames;  // Sunday first
  std::array<std::string, 12> shortMonthNames, longMonthNames;
  std::string timeAMString, timePMString;
  std::string dateSeparator, timeSeparator;
  std::string decimalSeparator;
  std::string shortEraName, longEraName;  // era of dates from year 1 on
  std::string shortEraNameBC, longEraNameBC;
};

// Fixed English data used under the C and POSIX locales (and whenever the
// locale cannot be loaded), so results are reproducible:
//   short date "m/d/yyyy"      long date "dddd, mmmm d, yyyy"
//   short time "hh:nn"         long time "hh:nn:ss"   (24-hour clock)
//   AM/PM "AM"/"PM", date separator "/", time separator ":", decimal ".",
//   era "AD" / "Anno Domini" ("BC" / "Before Christ").
TLocaleData CLocaleData();

// Locale name from LC_ALL, then LC_TIME, then LANG (first non-empty), with
// any ".codeset" and "@modifier" removed; "C" when none is set.
std::string UserLocaleName();

// Data for a locale name such as "de_DE" from the ICU locale data; "C",
// "POSIX" and empty names give CLocaleData().
TLocaleData LoadLocaleData(const std::string& localeName);

// Converts an ICU date-time pattern into the date-pattern language.
// dateSep/timeSep: the characters that become the "/" and ":" tokens.
// twoDigitYearToFour widens "yy" to "yyyy" (short dates).
std::string ConvertIcuPattern(const std::u16string& pattern, char16_t dateSep, char16_t timeSep,
                              bool twoDigitYearToFour);

// The data of UserLocaleName(), loaded once per process.
const TLocaleData& CurrentLocaleData();

}  // namespace imprimo
