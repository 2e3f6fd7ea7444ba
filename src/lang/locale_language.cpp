#include "lang/locale_language.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

namespace imprimo {

namespace {

struct TLocaleId {
  const char* name;  // language, or language_TERRITORY (lower/upper case as locales write them)
  int32_t id;
};

// Territory-specific entries stand before the language's general one.
constexpr TLocaleId kLocales[] = {
    {"zh_CN", 2052}, {"zh_SG", 4100}, {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh_MO", 5124},
    {"zh", 2052},    {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105}, {"en_US", 1033},
    {"en", 1033},    {"de_AT", 3079}, {"de_CH", 2055}, {"de", 1031},    {"fr_BE", 2060},
    {"fr_CA", 3084}, {"fr_CH", 4108}, {"fr", 1036},    {"ja", 1041},    {"ko", 1042},
    {"es_MX", 2058}, {"es", 3082},    {"it", 1040},    {"pt_BR", 1046}, {"pt", 2070},
    {"nl_BE", 2067}, {"nl", 1043},    {"ru", 1049},    {"pl", 1045},    {"cs", 1029},
    {"sv", 1053},    {"da", 1030},    {"fi", 1035},    {"nb", 1044},    {"no", 1044},
    {"tr", 1055},    {"hu", 1038},    {"el", 1032},    {"uk", 1058},    {"he", 1037},
    {"ar", 1025},    {"th", 1054},    {"vi", 1066},    {"id", 1057},    {"ro", 1048},
    {"sk", 1051},    {"sl", 1060},    {"hr", 1050},    {"bg", 1026},    {"ca", 1027},
};

}  // namespace

std::optional<int32_t> LanguageIdForLocale(std::string_view name) {
  if (name.empty()) return std::nullopt;
  int32_t number = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (ec == std::errc() && end == name.data() + name.size())
    return number > 0 && number <= 0xFFFF ? std::optional(number) : std::nullopt;
  if (name == "C" || name == "POSIX" || name.starts_with("C.")) return 1033;
  // "ll_TT.codeset@modifier": the codeset and modifier do not matter.
  name = name.substr(0, std::min(name.find('.'), name.find('@')));
  std::string key(name);
  std::replace(key.begin(), key.end(), '-', '_');
  if (key.size() >= 2) {
    key[0] = char(std::tolower(static_cast<unsigned char>(key[0])));
    key[1] = char(std::tolower(static_cast<unsigned char>(key[1])));
  }
  for (size_t i = 3; i < key.size(); ++i)
    key[i] = char(std::toupper(static_cast<unsigned char>(key[i])));
  // Script forms of Chinese name the written language directly.
  if (key == "zh_HANS") return 2052;
  if (key == "zh_HANT") return 1028;
  for (const TLocaleId& l : kLocales)
    if (key == l.name) return l.id;
  const std::string language = key.substr(0, key.find('_'));
  for (const TLocaleId& l : kLocales)
    if (language == l.name) return l.id;
  return std::nullopt;
}

std::string LocaleNameForLanguageId(int32_t id) {
  for (const TLocaleId& l : kLocales)
    if (l.id == id) return l.name;
  return {};
}

int32_t ProgramLanguageId() {
  if (const char* forced = std::getenv("IMPRIMO_LANGUAGE"); forced && *forced)
    if (auto id = LanguageIdForLocale(forced)) return *id;
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    // The first variable that is set decides, as the C library does.
    return LanguageIdForLocale(value).value_or(1033);
  }
  return 1033;
}

}  // namespace imprimo
