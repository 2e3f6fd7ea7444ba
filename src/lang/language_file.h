// Language files: resource-only modules whose raw-data resources re-caption
// windows and replace the texts loaded by string-table identifier.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lang/resource_module.h"

namespace imprimo {

// The language the program asks for (Chinese, PRC).
inline constexpr int32_t kProgramLanguageId = 2052;
// The language file beside the program: the program's path with ".lcf".
std::string LanguageFilePath(const std::string& programPath);

// One window text of a language file: the item's address (component name,
// "-", property path) and its text for the loaded language.
struct TFormItem {
  std::string address;
  std::u16string text;
};

// Called with each language identifier of the header in order until it returns 0.
using TLanguageCallback = std::function<int(int32_t languageId)>;

class LanguageFile {
 public:
  // 1: loaded and has the language; 0: loaded but the language is not in the
  // header; -1: not a module, no "LCHEADER" resource, header of 15 bytes or
  // fewer, or not starting with "LCHEADER". Any result but 1 leaves nothing
  // loaded (a file loaded before is released first in every case).
  int Open(const std::string& path, int32_t languageId, const TLanguageCallback& callback = {});
  int OpenBytes(std::string bytes, int32_t languageId, const TLanguageCallback& callback = {});
  void Release();

  bool IsLoaded() const { return module_.has_value(); }
  int LanguageIndex() const { return languageIndex_; }      // column i, -1 when not loaded
  int StringSlotIndex() const { return stringSlotIndex_; }  // i, or i + 1 with header flag bit 0
  // Whether texts by identifier go through this file (while it is loaded).
  bool IsRedirecting() const { return IsLoaded(); }

  // The file's text for a string-table identifier, when it has one for the
  // loaded column (a length of 0 gives "").
  std::optional<std::u16string> StringText(uint32_t id) const;
  // The file's text for id as 8-bit text, else builtinText (cut to 1024
  // characters). Identifiers of 65536 or more name built-in texts directly.
  std::string TranslatedText(uint32_t id, std::string_view builtinText) const;
  // The texts a window of that class receives, in the order they are applied
  // (the last item of the file first). Nothing when no file is loaded or the
  // file has no resource for the class; items without a text for the column,
  // or whose data lie outside the resource, are left out.
  std::optional<std::vector<TFormItem>> FormItems(std::string_view className) const;

 private:
  int OpenModule(TResourceModule module, int32_t languageId, const TLanguageCallback& callback);

  std::optional<TResourceModule> module_;
  int languageIndex_ = -1;
  int stringSlotIndex_ = -1;
};

// The process-wide language file: at most one is loaded at any time, and the
// texts loaded by identifier are redirected to it while it is.
int OpenLanguageFile(const std::string& path, int32_t languageId,
                     const TLanguageCallback& callback = {});
void ReleaseLanguageFile();
const LanguageFile& LoadedLanguageFile();
// The loaded file's text for id, else builtinText.
std::string TranslatedText(uint32_t id, std::string_view builtinText);

// The program's own string table: the texts that stand when no language file
// replaces them. Registering an identifier again replaces its text.
void RegisterBuiltinText(uint32_t id, std::string text);
// The registered text for id; "" when none is registered.
std::string BuiltinText(uint32_t id);
// Every registered text by identifier.
std::map<uint32_t, std::string> BuiltinTextTable();
// The loaded file's text for id, else the registered built-in text.
std::string TranslatedText(uint32_t id);

}  // namespace imprimo
