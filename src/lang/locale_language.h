// The language the program asks a language file for, taken from the user's
// locale so that an English desktop stays English.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace imprimo {

// The Windows language identifier of a locale name ("zh_CN.UTF-8",
// "de_DE@euro", "fr", "C"), or of a decimal identifier ("2052"); nothing for
// a name it does not know.
std::optional<int32_t> LanguageIdForLocale(std::string_view name);

// A locale name for a language identifier ("zh_CN" for 2052); "" when the
// identifier is not one the program knows.
std::string LocaleNameForLanguageId(int32_t id);

// IMPRIMO_LANGUAGE (a locale name or an identifier) when set and known,
// else the first set of LC_ALL, LC_MESSAGES and LANG; English (1033) when
// none names a known language.
int32_t ProgramLanguageId();

}  // namespace imprimo
