#include "lang/lcf_file.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <stdexcept>

#include "lang/le_bytes.h"
#include "lang/resource_module.h"
#include "platform/text.h"

namespace imprimo {

using lang_bytes::I32;

namespace {

// --- little-endian bytes --------------------------------------------------

void PutU16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& b, size_t at, uint32_t v) {
  PutU16(b, at, v & 0xFFFF);
  PutU16(b, at + 2, v >> 16);
}
void AppendU32(std::string& b, uint32_t v) {
  b.append(4, '\0');
  PutU32(b, b.size() - 4, v);
}
std::string Utf16Bytes(const std::u16string& s) {
  std::string b;
  b.reserve(s.size() * 2);
  for (char16_t c : s) {
    b.push_back(static_cast<char>(c & 0xFF));
    b.push_back(static_cast<char>(c >> 8));
  }
  return b;
}
std::u16string FromUtf16Bytes(std::string_view b) { return lang_bytes::Utf16Le(b, 0, b.size()); }
size_t AlignUp(size_t v, size_t a) { return (v + a - 1) / a * a; }

// --- slot arrays ----------------------------------------------------------

// 8-byte slots (offset from the array's start, byte length; -1 for none)
// followed by the texts.
std::string SlotArray(const std::vector<std::optional<std::string>>& slots) {
  std::string head, tail;
  const size_t headSize = 8 * slots.size();
  for (const auto& slot : slots) {
    if (slot) {
      AppendU32(head, static_cast<uint32_t>(headSize + tail.size()));
      AppendU32(head, static_cast<uint32_t>(slot->size()));
      tail += *slot;
      while (tail.size() % 2) tail.push_back('\0');
    } else {
      AppendU32(head, 0);
      AppendU32(head, 0xFFFFFFFFu);
    }
  }
  return head + tail;
}

std::optional<std::string_view> ReadSlot(std::string_view data, size_t base, size_t slot) {
  const size_t at = base + slot * 8;
  if (at > data.size() || data.size() - at < 8) return std::nullopt;
  const int64_t offset = I32(data, at);
  const int64_t length = I32(data, at + 4);
  if (length < 0 || offset < 0) return std::nullopt;
  const uint64_t from = base + uint64_t(offset);
  if (from > data.size() || uint64_t(length) > data.size() - from) return std::nullopt;
  return data.substr(from, size_t(length));
}

// --- the module -----------------------------------------------------------

struct TNamedData {
  std::u16string name;
  std::string data;
};

// A PE32 image holding one ".rsrc" section with raw-data resources (type
// 10, language neutral) named as given.
std::string BuildModule(std::vector<TNamedData> resources) {
  // Named entries stand sorted, as module loaders search them.
  std::sort(resources.begin(), resources.end(),
            [](const TNamedData& a, const TNamedData& b) { return a.name < b.name; });
  constexpr uint32_t kSectionRva = 0x1000;
  constexpr size_t kFileAlign = 0x200, kSectionAlign = 0x1000;
  const size_t n = resources.size();
  std::string t;
  // Root: one type entry (10).
  t.append(16 + 8, '\0');
  PutU16(t, 14, 1);
  PutU32(t, 16, kRtRcData);
  const size_t nameDir = t.size();
  PutU32(t, 20, 0x80000000u | uint32_t(nameDir));
  t.append(16 + 8 * n, '\0');
  PutU16(t, nameDir + 12, uint32_t(n));  // named entries
  std::vector<size_t> langDirs(n);
  for (size_t i = 0; i < n; ++i) {
    langDirs[i] = t.size();
    t.append(16 + 8, '\0');
    PutU16(t, langDirs[i] + 14, 1);
    PutU32(t, nameDir + 16 + 8 * i + 4, 0x80000000u | uint32_t(langDirs[i]));
  }
  for (size_t i = 0; i < n; ++i) {
    PutU32(t, nameDir + 16 + 8 * i, 0x80000000u | uint32_t(t.size()));
    t.append(2, '\0');
    PutU16(t, t.size() - 2, uint32_t(resources[i].name.size()));
    t += Utf16Bytes(resources[i].name);
  }
  std::vector<size_t> entries(n);
  for (size_t i = 0; i < n; ++i) {
    t.resize(AlignUp(t.size(), 4), '\0');
    entries[i] = t.size();
    PutU32(t, langDirs[i] + 16 + 4, uint32_t(entries[i]));
    t.append(16, '\0');
  }
  for (size_t i = 0; i < n; ++i) {
    t.resize(AlignUp(t.size(), 8), '\0');
    PutU32(t, entries[i], kSectionRva + uint32_t(t.size()));
    PutU32(t, entries[i] + 4, uint32_t(resources[i].data.size()));
    t += resources[i].data;
  }
  const size_t virtualSize = t.size();
  t.resize(AlignUp(std::max<size_t>(t.size(), 1), kFileAlign), '\0');

  std::string b(kFileAlign, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  const size_t pe = 0x40;
  PutU32(b, 0x3C, pe);
  b.replace(pe, 4, std::string("PE\0\0", 4));
  PutU16(b, pe + 4, 0x14C);    // i386
  PutU16(b, pe + 6, 1);        // one section
  PutU16(b, pe + 20, 224);     // optional header size
  PutU16(b, pe + 22, 0x2102);  // executable image, 32-bit, library
  const size_t opt = pe + 24;
  PutU16(b, opt, 0x10B);
  PutU32(b, opt + 8, uint32_t(t.size()));  // size of initialised data
  PutU32(b, opt + 28, 0x10000000);         // image base
  PutU32(b, opt + 32, kSectionAlign);
  PutU32(b, opt + 36, kFileAlign);
  PutU16(b, opt + 40, 4);  // operating system version
  PutU16(b, opt + 48, 4);  // subsystem version
  PutU32(b, opt + 56, uint32_t(kSectionRva + AlignUp(virtualSize, kSectionAlign)));
  PutU32(b, opt + 60, kFileAlign);  // size of headers
  PutU16(b, opt + 68, 2);           // subsystem: windows
  PutU32(b, opt + 72, 0x100000);    // stack and heap reserve/commit
  PutU32(b, opt + 76, 0x1000);
  PutU32(b, opt + 80, 0x100000);
  PutU32(b, opt + 84, 0x1000);
  PutU32(b, opt + 92, 16);                   // data directories
  PutU32(b, opt + 96 + 2 * 8, kSectionRva);  // resource directory
  PutU32(b, opt + 96 + 2 * 8 + 4, uint32_t(virtualSize));
  const size_t section = opt + 224;
  b.replace(section, 6, std::string(".rsrc\0", 6));
  PutU32(b, section + 8, uint32_t(virtualSize));
  PutU32(b, section + 12, kSectionRva);
  PutU32(b, section + 16, uint32_t(t.size()));
  PutU32(b, section + 20, uint32_t(kFileAlign));
  PutU32(b, section + 36, 0x40000040u);  // initialised data, readable
  return b + t;
}

std::u16string AsciiName(std::string_view s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

std::string BuildLanguageModule(const TLcfContent& content) {
  const bool extraSlot = (content.Flags & 1) != 0;
  const size_t columns = content.Languages.size();
  std::vector<TNamedData> resources;
  std::string header = "LCHEADER";
  header.push_back(static_cast<char>(content.Flags));
  header.append(3, '\0');
  AppendU32(header, uint32_t(columns));
  for (int32_t id : content.Languages) AppendU32(header, uint32_t(id));
  resources.push_back({u"LCHEADER", header});
  for (const auto& [id, texts] : content.Strings) {
    std::vector<std::optional<std::string>> slots;
    if (extraSlot) slots.push_back(std::nullopt);
    for (size_t c = 0; c < columns; ++c)
      slots.push_back(c < texts.size() && texts[c] ? std::optional(Utf16Bytes(*texts[c]))
                                                   : std::nullopt);
    resources.push_back({AsciiName(std::to_string(id)), SlotArray(slots)});
  }
  for (const auto& [className, items] : content.Forms) {
    const std::string upper = UpperCaseUtf8(className);
    std::string data;
    AppendU32(data, uint32_t(className.size()));
    data += className;
    AppendU32(data, uint32_t(items.size()));
    std::string table, bodies;
    for (const TLcfItem& item : items) {
      std::vector<std::optional<std::string>> slots{item.Address};
      for (size_t c = 0; c < columns; ++c)
        slots.push_back(c < item.Texts.size() && item.Texts[c]
                            ? std::optional(Utf16Bytes(*item.Texts[c]))
                            : std::nullopt);
      AppendU32(table, uint32_t(8 * items.size() + bodies.size()));
      AppendU32(table, 0);
      bodies += SlotArray(slots);
      bodies.resize(AlignUp(bodies.size(), 4), '\0');
    }
    resources.push_back({AsciiName(upper), data + table + bodies});
  }
  return BuildModule(std::move(resources));
}

namespace {

// The reads of ReadLanguageModule; a read outside the data throws.
std::optional<TLcfContent> ReadLanguageModuleChecked(std::string bytes, std::string* error) {
  std::string why;
  auto module = TResourceModule::FromBytes(std::move(bytes), &why);
  if (!module) {
    if (error) *error = why.empty() ? "not a module" : why;
    return std::nullopt;
  }
  const auto header =
      module->LoadResource(TResourceName::Id(kRtRcData), TResourceName::Named("LCHEADER"));
  if (!header || header->size() <= 15 || header->substr(0, 8) != "LCHEADER") {
    if (error) *error = "no LCHEADER resource";
    return std::nullopt;
  }
  TLcfContent content;
  content.Flags = static_cast<uint8_t>((*header)[8]);
  const int64_t declared = I32(*header, 12);
  const int64_t present = int64_t(header->size() - 16) / 4;
  const int64_t count = std::clamp<int64_t>(declared, 0, present);
  for (int64_t k = 0; k < count; ++k) content.Languages.push_back(I32(*header, size_t(16 + 4 * k)));
  const size_t columns = content.Languages.size();
  const size_t first = (content.Flags & 1) ? 1 : 0;
  for (const TResourceInfo& info : module->Resources()) {
    if (!info.type.isId || info.type.id != kRtRcData || info.name.isId) continue;
    const std::string name = info.name.ToString();
    if (name == "LCHEADER") continue;
    const std::string_view data = module->ResourceData(info);
    uint32_t id = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), id);
    if (ec == std::errc() && end == name.data() + name.size() && id < 65536) {
      TColumnTexts texts(columns);
      for (size_t c = 0; c < columns; ++c)
        if (auto slot = ReadSlot(data, 0, first + c)) texts[c] = FromUtf16Bytes(*slot);
      content.Strings[id] = std::move(texts);
      continue;
    }
    // A window resource: header text, item count, item table, items.
    if (data.size() < 4) continue;
    const int64_t headerLength = I32(data, 0);
    if (headerLength < 0 || uint64_t(headerLength) > data.size() - 4 ||
        data.size() - 4 - size_t(headerLength) < 4)
      continue;
    const size_t countAt = 4 + size_t(headerLength);
    const size_t base = countAt + 4;
    const int64_t items =
        std::clamp<int64_t>(I32(data, countAt), 0, int64_t(data.size() - base) / 8);
    std::vector<TLcfItem>& form = content.Forms[UpperCaseUtf8(name)];
    for (int64_t k = 0; k < items; ++k) {
      const int64_t at = int64_t(base) + I32(data, base + size_t(8 * k));
      if (at < 0 || uint64_t(at) > data.size()) continue;
      const auto address = ReadSlot(data, size_t(at), 0);
      if (!address) continue;
      TLcfItem item{std::string(*address), TColumnTexts(columns)};
      for (size_t c = 0; c < columns; ++c)
        if (auto slot = ReadSlot(data, size_t(at), c + 1)) item.Texts[c] = FromUtf16Bytes(*slot);
      form.push_back(std::move(item));
    }
  }
  return content;
}

}  // namespace

std::optional<TLcfContent> ReadLanguageModule(std::string bytes, std::string* error) {
  try {
    return ReadLanguageModuleChecked(std::move(bytes), error);
  } catch (const ETruncatedData&) {
    if (error) *error = "truncated language data";
    return std::nullopt;
  }
}

// --- readable sources -----------------------------------------------------

namespace {

std::string Escape(const std::u16string& text) {
  std::string out;
  for (char c : Utf16ToUtf8(text)) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out.push_back(c);
    }
  }
  // Blanks at either end would be lost to the reader's trimming.
  if (!out.empty() && out.back() == ' ') out.replace(out.size() - 1, 1, "\\s");
  if (!out.empty() && out.front() == ' ') out.replace(0, 1, "\\s");
  return out;
}

std::u16string Unescape(std::string_view text, size_t line) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size())
      throw std::runtime_error("line " + std::to_string(line) + ": \\ at the end");
    switch (text[i]) {
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 's':
        out.push_back(' ');
        break;
      case '\\':
        out.push_back('\\');
        break;
      default:
        throw std::runtime_error("line " + std::to_string(line) + ": unknown escape \\" +
                                 std::string(1, text[i]));
    }
  }
  if (!IsValidUtf8(out)) throw std::runtime_error("line " + std::to_string(line) + ": not UTF-8");
  return Utf8ToUtf16(out);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

std::vector<TLanguageSource> ParseLanguageSources(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<TLanguageSource> languages;
  std::string section;
  size_t lineNo = 0;
  auto fail = [&](const std::string& what) {
    throw std::runtime_error("line " + std::to_string(lineNo) + ": " + what);
  };
  while (!text.empty()) {
    ++lineNo;
    const size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') fail("a section name without \"]\"");
      section = std::string(Trim(line.substr(1, line.size() - 2)));
      if (section.empty()) fail("an empty section name");
      if (section == "Language")
        languages.emplace_back();
      else if (languages.empty())
        fail("[" + section + "] before [Language]");
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) fail("no \"=\"");
    if (section.empty()) fail("text outside a section");
    const std::string key(Trim(line.substr(0, eq)));
    const std::string_view value = Trim(line.substr(eq + 1));
    TLanguageSource& language = languages.back();
    if (section == "Language") {
      if (key == "Id") {
        int32_t id = 0;
        const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), id);
        if (ec != std::errc() || p != value.data() + value.size() || id <= 0 || id > 0xFFFF)
          fail("Id must be a language identifier (1..65535)");
        language.LanguageId = id;
      } else if (key == "Name") {
        language.Name = std::string(value);
      } else {
        fail("unknown key " + key + " in [Language]");
      }
    } else if (section == "Strings") {
      uint32_t id = 0;
      const auto [p, ec] = std::from_chars(key.data(), key.data() + key.size(), id);
      if (ec != std::errc() || p != key.data() + key.size() || id >= 65536)
        fail("a string identifier must be a number below 65536");
      if (!language.Strings.emplace(id, Unescape(value, lineNo)).second)
        fail("identifier " + key + " given twice");
    } else {
      if (key.empty() || key.find('-') == std::string::npos)
        fail("an address is a component name, \"-\" and a property path");
      language.Forms[UpperCaseUtf8(section)].emplace_back(key, Unescape(value, lineNo));
    }
  }
  std::set<int32_t> seen;
  for (const TLanguageSource& l : languages) {
    if (l.LanguageId == 0) throw std::runtime_error("a [Language] section without Id");
    if (!seen.insert(l.LanguageId).second)
      throw std::runtime_error("language " + std::to_string(l.LanguageId) + " given twice");
  }
  return languages;
}

std::string WriteLanguageSources(const std::vector<TLanguageSource>& languages) {
  std::string out;
  for (const TLanguageSource& l : languages) {
    if (!out.empty()) out += "\n";
    out += "[Language]\nId=" + std::to_string(l.LanguageId) + "\n";
    if (!l.Name.empty()) out += "Name=" + l.Name + "\n";
    if (!l.Strings.empty()) {
      out += "\n[Strings]\n";
      for (const auto& [id, text] : l.Strings)
        out += std::to_string(id) + "=" + Escape(text) + "\n";
    }
    for (const auto& [className, items] : l.Forms) {
      out += "\n[" + className + "]\n";
      for (const auto& [address, text] : items) out += address + "=" + Escape(text) + "\n";
    }
  }
  return out;
}

TLcfContent ContentFromSources(const std::vector<TLanguageSource>& languages) {
  TLcfContent content;
  const size_t columns = languages.size();
  for (size_t c = 0; c < columns; ++c) {
    const TLanguageSource& l = languages[c];
    content.Languages.push_back(l.LanguageId);
    for (const auto& [id, text] : l.Strings) {
      TColumnTexts& texts = content.Strings[id];
      texts.resize(columns);
      texts[c] = text;
    }
    for (const auto& [className, items] : l.Forms) {
      std::vector<TLcfItem>& form = content.Forms[className];
      for (const auto& [address, text] : items) {
        // The first item of that address still without a text in this
        // column takes it, so repeated addresses keep their order.
        auto it =
            std::find_if(form.begin(), form.end(), [&, &address = address](const TLcfItem& item) {
              return item.Address == address && !item.Texts[c];
            });
        if (it == form.end()) {
          form.push_back({address, TColumnTexts(columns)});
          it = form.end() - 1;
        }
        it->Texts[c] = text;
      }
    }
  }
  return content;
}

std::vector<TLanguageSource> SourcesFromContent(const TLcfContent& content) {
  std::vector<TLanguageSource> languages(content.Languages.size());
  for (size_t c = 0; c < languages.size(); ++c) {
    TLanguageSource& l = languages[c];
    l.LanguageId = content.Languages[c];
    for (const auto& [id, texts] : content.Strings)
      if (c < texts.size() && texts[c]) l.Strings[id] = *texts[c];
    for (const auto& [className, items] : content.Forms)
      for (const TLcfItem& item : items)
        if (c < item.Texts.size() && item.Texts[c])
          l.Forms[className].emplace_back(item.Address, *item.Texts[c]);
  }
  return languages;
}

}  // namespace imprimo
