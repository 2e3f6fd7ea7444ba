#include "lang/language_file.h"

#include <filesystem>
#include <map>

#include "lang/le_bytes.h"
#include "platform/text.h"

namespace imprimo {

using lang_bytes::Fits;
using lang_bytes::I32;
using lang_bytes::Utf16Le;

namespace {

constexpr size_t kMaxBuiltinChars = 1024;

// Reads the slot-th 8-byte slot of the slot array at base: an offset from base
// and a byte length. Nothing when the slot or its bytes lie outside data or
// its length is negative.
std::optional<std::string_view> SlotBytes(std::string_view data, int64_t base, int64_t slot) {
  const int64_t at = base + slot * 8;
  if (!Fits(data.size(), at, 8)) return std::nullopt;
  const int32_t offset = I32(data, at);
  const int32_t length = I32(data, at + 4);
  if (length < 0) return std::nullopt;
  if (!Fits(data.size(), base + offset, length)) return std::nullopt;
  return data.substr(base + offset, length);
}

std::map<uint32_t, std::string>& BuiltinTexts() {
  static std::map<uint32_t, std::string> texts;
  return texts;
}

LanguageFile& ProcessLanguageFile() {
  static LanguageFile file;
  return file;
}

}  // namespace

std::string LanguageFilePath(const std::string& programPath) {
  return std::filesystem::path(programPath).replace_extension(".lcf").string();
}

int LanguageFile::Open(const std::string& path, int32_t languageId,
                       const TLanguageCallback& callback) {
  Release();
  auto module = TResourceModule::Load(path);
  if (!module) return -1;
  return OpenModule(std::move(*module), languageId, callback);
}

int LanguageFile::OpenBytes(std::string bytes, int32_t languageId,
                            const TLanguageCallback& callback) {
  Release();
  auto module = TResourceModule::FromBytes(std::move(bytes));
  if (!module) return -1;
  return OpenModule(std::move(*module), languageId, callback);
}

int LanguageFile::OpenModule(TResourceModule module, int32_t languageId,
                             const TLanguageCallback& callback) {
  try {
    const auto header =
        module.LoadResource(TResourceName::Id(kRtRcData), TResourceName::Named("LCHEADER"));
    if (!header || header->size() <= 15 || header->substr(0, 8) != "LCHEADER") return -1;
    const bool extraSlot = (static_cast<uint8_t>((*header)[8]) & 1) != 0;
    const int32_t declared = I32(*header, 12);
    // Only the identifiers actually present are read.
    const int64_t present = static_cast<int64_t>((header->size() - 16) / 4);
    const int64_t count = declared < 0 ? 0 : std::min<int64_t>(declared, present);
    if (callback) {
      for (int64_t k = 0; k < count; ++k)
        if (callback(I32(*header, 16 + 4 * k)) == 0) break;
    }
    for (int64_t k = 0; k < count; ++k) {
      if (I32(*header, 16 + 4 * k) == languageId) {
        module_ = std::move(module);
        languageIndex_ = static_cast<int>(k);
        stringSlotIndex_ = languageIndex_ + (extraSlot ? 1 : 0);
        return 1;
      }
    }
    return 0;
  } catch (const ETruncatedData&) {
    return -1;
  }
}

void LanguageFile::Release() {
  module_.reset();
  languageIndex_ = -1;
  stringSlotIndex_ = -1;
}

std::optional<std::u16string> LanguageFile::StringText(uint32_t id) const {
  try {
    if (!module_ || id > 0xFFFF) return std::nullopt;
    const auto data = module_->LoadResource(TResourceName::Id(kRtRcData),
                                            TResourceName::Named(std::to_string(id)));
    if (!data) return std::nullopt;
    const auto text = SlotBytes(*data, 0, stringSlotIndex_);
    if (!text) return std::nullopt;
    return Utf16Le(*text, 0, text->size());
  } catch (const ETruncatedData&) {
    return std::nullopt;
  }
}

std::string LanguageFile::TranslatedText(uint32_t id, std::string_view builtinText) const {
  if (id < 65536) {
    if (auto text = StringText(id)) return Utf16ToUtf8(*text);
  }
  return Utf8Prefix(builtinText, kMaxBuiltinChars);
}

std::optional<std::vector<TFormItem>> LanguageFile::FormItems(std::string_view className) const {
  try {
    if (!module_) return std::nullopt;
    const auto found = module_->LoadResource(TResourceName::Id(kRtRcData),
                                             TResourceName::Named(UpperCaseUtf8(className)));
    if (!found) return std::nullopt;
    const std::string_view data = *found;
    std::vector<TFormItem> items;
    if (!Fits(data.size(), 0, 4)) return items;
    const int32_t headerLength = I32(data, 0);
    if (!Fits(data.size(), 4, headerLength)) return items;
    const int64_t countAt = 4 + int64_t{headerLength};
    if (!Fits(data.size(), countAt, 4)) return items;
    const int64_t base = countAt + 4;
    const int32_t declared = I32(data, countAt);
    if (declared <= 0) return items;
    // A count beyond what the table can hold reads only the entries present.
    const int64_t count =
        std::min<int64_t>(declared, (static_cast<int64_t>(data.size()) - base) / 8);
    items.reserve(static_cast<size_t>(count));
    for (int64_t k = count - 1; k >= 0; --k) {
      const int64_t item = base + int64_t{I32(data, base + 8 * k)};
      if (!Fits(data.size(), item, 0)) continue;
      const auto address = SlotBytes(data, item, 0);
      const auto text = SlotBytes(data, item, int64_t{languageIndex_} + 1);
      if (!address || !text) continue;
      items.push_back({std::string(*address), Utf16Le(*text, 0, text->size())});
    }
    return items;
  } catch (const ETruncatedData&) {
    return std::nullopt;
  }
}

int OpenLanguageFile(const std::string& path, int32_t languageId,
                     const TLanguageCallback& callback) {
  return ProcessLanguageFile().Open(path, languageId, callback);
}

void ReleaseLanguageFile() { ProcessLanguageFile().Release(); }

const LanguageFile& LoadedLanguageFile() { return ProcessLanguageFile(); }

std::string TranslatedText(uint32_t id, std::string_view builtinText) {
  return ProcessLanguageFile().TranslatedText(id, builtinText);
}

void RegisterBuiltinText(uint32_t id, std::string text) { BuiltinTexts()[id] = std::move(text); }

std::string BuiltinText(uint32_t id) {
  const auto it = BuiltinTexts().find(id);
  return it == BuiltinTexts().end() ? std::string() : it->second;
}

std::map<uint32_t, std::string> BuiltinTextTable() { return BuiltinTexts(); }

std::string TranslatedText(uint32_t id) { return TranslatedText(id, BuiltinText(id)); }

}  // namespace imprimo
