// Text conversions and Unicode-aware case handling. UTF-16 texts are
// std::u16string; 8-bit texts are UTF-8 std::string.
#pragma once

#include <string>
#include <string_view>

namespace imprimo {

// Malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view s);
// Decodes 8-bit text in a code page: 437 = the original PC code page, 1252 =
// Windows Western, 0 = the ANSI code page (UTF-8 on this system). Empty in ->
// empty out. Unknown code pages decode as UTF-8.
std::u16string CodePageToWide(std::string_view text, int codePage);

// Full Unicode case mapping (root locale, so results do not depend on the
// user's language).
std::u16string UpperCase(std::u16string_view s);
std::u16string LowerCase(std::u16string_view s);
std::string UpperCaseUtf8(std::string_view s);
std::string LowerCaseUtf8(std::string_view s);

// Case-insensitive comparison by Unicode case folding: <0, 0, >0.
int CompareTextIgnoreCase(std::u16string_view a, std::u16string_view b);
bool SameText(std::u16string_view a, std::u16string_view b);
bool SameTextUtf8(std::string_view a, std::string_view b);

// The first maxChars characters of UTF-8 text; a character is a lead byte
// with its continuation bytes, so no sequence is ever split.
std::string Utf8Prefix(std::string_view text, size_t maxChars);
// Number of characters (lead bytes) of UTF-8 text.
size_t Utf8CharCount(std::string_view text);

// Order of names in lists the user reads (templates, presets): Unicode
// collation of the root locale without regard to case, so the order does not
// depend on the user's language; names equal that way are ordered by their
// bytes. <0, 0, >0.
int CompareForList(std::string_view a, std::string_view b);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view s);

}  // namespace imprimo
