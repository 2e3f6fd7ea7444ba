// Making language files: the whole content of a file (its language columns,
// string-table texts and window texts), written as a resource-only module,
// read back from one, and kept by translators as readable UTF-8 sources.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imprimo {

// A text for each language column; nothing where a column has no text.
using TColumnTexts = std::vector<std::optional<std::u16string>>;

struct TLcfItem {
  std::string Address;  // component name, "-", property path
  TColumnTexts Texts;
  bool operator==(const TLcfItem&) const = default;
};

struct TLcfContent {
  uint8_t Flags = 0;                         // bit 0: string entries carry an extra first slot
  std::vector<int32_t> Languages;            // language identifier of each column
  std::map<uint32_t, TColumnTexts> Strings;  // by string-table identifier
  std::map<std::string, std::vector<TLcfItem>> Forms;  // by window class, upper case
  bool operator==(const TLcfContent&) const = default;
};

// The module bytes: a PE32 resource-only library whose raw-data resources
// are "LCHEADER", one per string identifier and one per window class.
// Identical content gives identical bytes.
std::string BuildLanguageModule(const TLcfContent& content);
// Reads a language file back; nothing (and error set) when it is not one.
// Damaged string or window resources are left out.
std::optional<TLcfContent> ReadLanguageModule(std::string bytes, std::string* error = nullptr);

// One language of a readable source file.
struct TLanguageSource {
  int32_t LanguageId = 0;
  std::string Name;                            // e.g. "Chinese (Simplified)"
  std::map<uint32_t, std::u16string> Strings;  // [Strings] id=text
  std::map<std::string, std::vector<std::pair<std::string, std::u16string>>>
      Forms;  // [CLASS] address=text, file order
  bool operator==(const TLanguageSource&) const = default;
};

// Parses a source: "[Language]" (Id=, Name=) starts a language, "[Strings]"
// holds "identifier=text" lines, any other section is a window class with
// "address=text" lines. Several languages may follow one another. Texts are
// UTF-8 with the escapes \n \r \t \\; ";" or "#" starts a comment line.
// Throws std::runtime_error naming the line of a fault.
std::vector<TLanguageSource> ParseLanguageSources(std::string_view utf8);
// The source text of languages, in the form ParseLanguageSources reads.
std::string WriteLanguageSources(const std::vector<TLanguageSource>& languages);

// One column per language, in the given order; items in first-seen order.
TLcfContent ContentFromSources(const std::vector<TLanguageSource>& languages);
// The languages of a file's columns (a column's missing texts left out).
std::vector<TLanguageSource> SourcesFromContent(const TLcfContent& content);

}  // namespace imprimo
