// Builds small resource-only PE modules and language-file resources in memory.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace imprimo::testing {

inline void PutU16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void PutU32(std::string& b, size_t at, uint32_t v) {
  PutU16(b, at, v & 0xFFFF);
  PutU16(b, at + 2, v >> 16);
}
inline void AppendU32(std::string& b, uint32_t v) {
  b.append(4, '\0');
  PutU32(b, b.size() - 4, v);
}
inline std::string Utf16Bytes(const std::u16string& s) {
  std::string b;
  for (char16_t c : s) {
    b.push_back(static_cast<char>(c & 0xFF));
    b.push_back(static_cast<char>(c >> 8));
  }
  return b;
}

using TKey = std::variant<uint16_t, std::u16string>;

struct TTestResource {
  TKey type;
  TKey name;
  uint16_t language = 0;
  std::string data;
};

struct TBuiltModule {
  std::string bytes;
  size_t rsrcOffset = 0;                 // file offset of the resource directory root
  std::vector<size_t> dataEntryOffsets;  // file offsets of the data entries, in input order
};

inline constexpr uint32_t kRsrcRva = 0x1000;
inline constexpr size_t kRsrcFileOffset = 0x200;

// A PE32 (or PE32+) module with one ".rsrc" section holding the resources.
inline TBuiltModule BuildModule(const std::vector<TTestResource>& resources,
                                bool pe32Plus = false) {
  // type -> name -> language -> resource index
  std::map<TKey, std::map<TKey, std::map<uint16_t, size_t>>> tree;
  for (size_t i = 0; i < resources.size(); ++i)
    tree[resources[i].type][resources[i].name][resources[i].language] = i;

  std::string t;
  std::vector<std::pair<size_t, std::u16string>> namePatches;  // entry name field -> name
  std::vector<std::pair<size_t, size_t>> dataPatches;          // entry target field -> resource
  auto directory = [&](size_t count) {
    const size_t at = t.size();
    t.append(16 + 8 * count, '\0');
    PutU16(t, at + 14, static_cast<uint32_t>(count));
    return at;
  };
  auto setKey = [&](size_t entry, const TKey& key) {
    if (std::holds_alternative<uint16_t>(key))
      PutU32(t, entry, std::get<uint16_t>(key));
    else
      namePatches.push_back({entry, std::get<std::u16string>(key)});
  };
  const size_t root = directory(tree.size());
  size_t typeIndex = 0;
  for (const auto& [type, names] : tree) {
    const size_t typeEntry = root + 16 + 8 * typeIndex++;
    setKey(typeEntry, type);
    const size_t nameDir = directory(names.size());
    PutU32(t, typeEntry + 4, 0x80000000u | static_cast<uint32_t>(nameDir));
    size_t nameIndex = 0;
    for (const auto& [name, languages] : names) {
      const size_t nameEntry = nameDir + 16 + 8 * nameIndex++;
      setKey(nameEntry, name);
      const size_t langDir = directory(languages.size());
      PutU32(t, nameEntry + 4, 0x80000000u | static_cast<uint32_t>(langDir));
      size_t langIndex = 0;
      for (const auto& [language, resource] : languages) {
        const size_t langEntry = langDir + 16 + 8 * langIndex++;
        PutU32(t, langEntry, language);
        dataPatches.push_back({langEntry + 4, resource});
      }
    }
  }
  for (const auto& [field, name] : namePatches) {
    PutU32(t, field, 0x80000000u | static_cast<uint32_t>(t.size()));
    t.append(2, '\0');
    PutU16(t, t.size() - 2, static_cast<uint32_t>(name.size()));
    t += Utf16Bytes(name);
  }
  std::vector<size_t> entryOf(resources.size());
  for (const auto& [field, resource] : dataPatches) {
    while (t.size() % 4) t.push_back('\0');
    entryOf[resource] = t.size();
    PutU32(t, field, static_cast<uint32_t>(t.size()));
    t.append(16, '\0');
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    while (t.size() % 4) t.push_back('\0');
    PutU32(t, entryOf[i], kRsrcRva + static_cast<uint32_t>(t.size()));
    PutU32(t, entryOf[i] + 4, static_cast<uint32_t>(resources[i].data.size()));
    t += resources[i].data;
  }

  TBuiltModule out;
  std::string& b = out.bytes;
  b.assign(kRsrcFileOffset, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  const size_t pe = 0x40;
  PutU32(b, 0x3C, pe);
  b.replace(pe, 4, std::string("PE\0\0", 4));
  PutU16(b, pe + 4, pe32Plus ? 0x8664 : 0x14C);
  PutU16(b, pe + 6, 1);
  const size_t optionalSize = pe32Plus ? 240 : 224;
  PutU16(b, pe + 20, static_cast<uint32_t>(optionalSize));
  PutU16(b, pe + 22, 0x2102);  // executable image, DLL, 32-bit
  const size_t opt = pe + 24;
  PutU16(b, opt, pe32Plus ? 0x20B : 0x10B);
  const size_t dirs = opt + (pe32Plus ? 112 : 96);
  PutU32(b, dirs - 4, 16);
  PutU32(b, dirs + 2 * 8, kRsrcRva);
  PutU32(b, dirs + 2 * 8 + 4, static_cast<uint32_t>(t.size()));
  const size_t section = opt + optionalSize;
  b.replace(section, 6, ".rsrc\0", 6);
  PutU32(b, section + 8, static_cast<uint32_t>(t.size()));
  PutU32(b, section + 12, kRsrcRva);
  PutU32(b, section + 16, static_cast<uint32_t>(t.size()));
  PutU32(b, section + 20, kRsrcFileOffset);
  b += t;
  out.rsrcOffset = kRsrcFileOffset;
  for (size_t i = 0; i < resources.size(); ++i)
    out.dataEntryOffsets.push_back(kRsrcFileOffset + entryOf[i]);
  return out;
}

// --- language file resources -------------------------------------------------

inline std::string HeaderResource(uint8_t flags, const std::vector<int32_t>& languages,
                                  std::optional<int32_t> declaredCount = std::nullopt) {
  std::string b = "LCHEADER";
  b.push_back(static_cast<char>(flags));
  b.append(3, '\0');
  AppendU32(b,
            static_cast<uint32_t>(declaredCount.value_or(static_cast<int32_t>(languages.size()))));
  for (int32_t id : languages) AppendU32(b, static_cast<uint32_t>(id));
  return b;
}

// A slot's bytes; nothing gives a slot with length -1.
using TSlot = std::optional<std::string>;

// An array of 8-byte slots followed by their bytes; offsets count from the start.
inline std::string SlotArray(const std::vector<TSlot>& slots) {
  std::string b;
  std::string tail;
  const size_t head = 8 * slots.size();
  for (const TSlot& slot : slots) {
    if (slot) {
      AppendU32(b, static_cast<uint32_t>(head + tail.size()));
      AppendU32(b, static_cast<uint32_t>(slot->size()));
      tail += *slot;
    } else {
      AppendU32(b, 0);
      AppendU32(b, 0xFFFFFFFFu);
    }
  }
  return b + tail;
}

inline TSlot Text(const std::u16string& s) { return Utf16Bytes(s); }

// A window resource: header text, item count, item table, items.
inline std::string WindowResource(const std::vector<std::vector<TSlot>>& items,
                                  const std::string& headerText = "TfrmMain") {
  std::string b;
  AppendU32(b, static_cast<uint32_t>(headerText.size()));
  b += headerText;
  AppendU32(b, static_cast<uint32_t>(items.size()));
  std::string table;
  std::string bodies;
  const size_t tableSize = 8 * items.size();
  for (const auto& item : items) {
    AppendU32(table, static_cast<uint32_t>(tableSize + bodies.size()));
    AppendU32(table, 0);
    bodies += SlotArray(item);
  }
  return b + table + bodies;
}

inline TTestResource RcData(const std::string& name, std::string data) {
  return {uint16_t{10}, std::u16string(name.begin(), name.end()), 0, std::move(data)};
}

}  // namespace imprimo::testing
