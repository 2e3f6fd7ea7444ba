#include "lang/resource_module.h"

#include <algorithm>
#include <set>

#include "lang/le_bytes.h"
#include "platform/file_io.h"
#include "platform/text.h"

namespace imprimo {

namespace {

constexpr uint64_t kMaxModuleBytes = uint64_t{256} << 20;
constexpr uint32_t kResourceDirectoryIndex = 2;

using lang_bytes::Fits;
using lang_bytes::U16;
using lang_bytes::U32;

struct TSection {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

class TResourceParser {
 public:
  TResourceParser(std::string_view bytes, std::vector<TResourceInfo>& out)
      : bytes_(bytes), out_(out) {}

  bool Parse(std::string& error) {
    const std::string_view b = bytes_;
    if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z')
      return Fail(error, "not a module (no MZ header)");
    const uint64_t pe = U32(b, 0x3C);
    if (!Fits(b.size(), pe, 24) || b.substr(pe, 4) != std::string_view("PE\0\0", 4))
      return Fail(error, "no PE signature");
    const uint16_t sectionCount = U16(b, pe + 6);
    const uint16_t optionalSize = U16(b, pe + 20);
    const uint64_t optional = pe + 24;
    if (!Fits(b.size(), optional, optionalSize) || optionalSize < 2)
      return Fail(error, "truncated optional header");
    const uint16_t magic = U16(b, optional);
    uint64_t countAt = 0;
    if (magic == 0x10B) {
      countAt = 92;
    } else if (magic == 0x20B) {
      countAt = 108;
    } else {
      return Fail(error, "unknown optional header kind");
    }
    if (countAt + 4 > optionalSize) return Fail(error, "truncated optional header");
    const uint32_t dirCount = U32(b, optional + countAt);
    const uint64_t dirAt = countAt + 4;
    const uint64_t tableAt = optional + optionalSize;
    if (!Fits(b.size(), tableAt, uint64_t{sectionCount} * 40))
      return Fail(error, "truncated section table");
    for (uint16_t i = 0; i < sectionCount; ++i) {
      const uint64_t s = tableAt + uint64_t{i} * 40;
      sections_.push_back({U32(b, s + 12), U32(b, s + 8), U32(b, s + 16), U32(b, s + 20)});
    }
    if (dirCount <= kResourceDirectoryIndex ||
        dirAt + (kResourceDirectoryIndex + 1) * 8 > optionalSize)
      return true;  // no resource directory: no resources
    const uint32_t rootRva = U32(b, optional + dirAt + kResourceDirectoryIndex * 8);
    if (rootRva == 0) return true;
    // Offsets inside the tree count from its root and stay inside the root's section.
    uint64_t rootOffset = 0;
    uint64_t available = 0;
    if (!MapRva(rootRva, rootOffset, available))
      return Fail(error, "resource directory outside every section");
    tree_ = b.substr(rootOffset, available);
    if (!Walk(0, 0, {}, {}, error)) return false;
    return true;
  }

 private:
  static bool Fail(std::string& error, const char* message) {
    error = message;
    return false;
  }

  // Finds the file bytes behind an RVA: the file offset and how many bytes of
  // the section's raw data follow it.
  bool MapRva(uint32_t rva, uint64_t& offset, uint64_t& available) const {
    for (const TSection& s : sections_) {
      const uint64_t extent = s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
      if (rva < s.virtualAddress || rva - uint64_t{s.virtualAddress} >= extent) continue;
      const uint64_t start = uint64_t{s.rawOffset} + (rva - s.virtualAddress);
      if (start >= bytes_.size()) return false;
      offset = start;
      available = std::min<uint64_t>(extent - (rva - s.virtualAddress), bytes_.size() - start);
      return true;
    }
    return false;
  }

  bool ReadName(uint32_t field, TResourceName& name, std::string& error) const {
    if ((field & 0x80000000u) == 0) {
      name = TResourceName::Id(static_cast<uint16_t>(field & 0xFFFF));
      return true;
    }
    const uint64_t at = field & 0x7FFFFFFFu;
    if (!Fits(tree_.size(), at, 2)) return Fail(error, "resource name outside the directory");
    const uint16_t length = U16(tree_, at);
    if (!Fits(tree_.size(), at + 2, uint64_t{length} * 2))
      return Fail(error, "resource name outside the directory");
    name.isId = false;
    name.id = 0;
    name.name.resize(length);
    for (uint16_t i = 0; i < length; ++i)
      name.name[i] = static_cast<char16_t>(U16(tree_, at + 2 + i * 2u));
    return true;
  }

  // level 0: types, 1: names, 2: languages (whose entries point at data).
  bool Walk(uint64_t at, int level, const TResourceName& type, const TResourceName& name,
            std::string& error) {
    // Every directory is read once: a shared or looping directory is malformed
    // and would otherwise multiply the work without bound.
    if (!visited_.insert(at).second) return Fail(error, "resource directory loop");
    if (!Fits(tree_.size(), at, 16)) return Fail(error, "resource directory outside the section");
    const uint64_t count = uint64_t{U16(tree_, at + 12)} + U16(tree_, at + 14);
    if (!Fits(tree_.size(), at + 16, count * 8))
      return Fail(error, "resource directory entries outside the section");
    for (uint64_t e = 0; e < count; ++e) {
      const uint64_t entry = at + 16 + e * 8;
      TResourceName key;
      if (!ReadName(U32(tree_, entry), key, error)) return false;
      const uint32_t target = U32(tree_, entry + 4);
      const bool isDirectory = (target & 0x80000000u) != 0;
      const uint64_t targetAt = target & 0x7FFFFFFFu;
      if (level < 2) {
        if (!isDirectory) return Fail(error, "resource data where a directory belongs");
        if (!Walk(targetAt, level + 1, level == 0 ? key : type, level == 1 ? key : name, error))
          return false;
        continue;
      }
      if (isDirectory) return Fail(error, "resource directory nested too deep");
      if (!key.isId) return Fail(error, "resource language is not a number");
      if (!Fits(tree_.size(), targetAt, 16))
        return Fail(error, "resource data entry outside the section");
      TResourceInfo info;
      info.type = type;
      info.name = name;
      info.language = key.id;
      info.rva = U32(tree_, targetAt);
      info.size = U32(tree_, targetAt + 4);
      info.codePage = U32(tree_, targetAt + 8);
      uint64_t offset = 0;
      uint64_t available = 0;
      if (info.size != 0) {
        if (!MapRva(info.rva, offset, available) || info.size > available)
          return Fail(error, "resource data outside every section");
      }
      info.fileOffset = offset;
      out_.push_back(std::move(info));
    }
    return true;
  }

  std::string_view bytes_;
  std::string_view tree_;
  std::vector<TSection> sections_;
  std::set<uint64_t> visited_;
  std::vector<TResourceInfo>& out_;
};

}  // namespace

TResourceName TResourceName::Named(std::string_view name) {
  if (name.size() > 1 && name[0] == '#') {
    uint32_t value = 0;
    bool digits = true;
    for (char c : name.substr(1)) {
      if (c < '0' || c > '9' || value > 0xFFFF) {
        digits = false;
        break;
      }
      value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (digits && value <= 0xFFFF) return Id(static_cast<uint16_t>(value));
  }
  return TResourceName{false, 0, Utf8ToUtf16(name)};
}

bool TResourceName::Matches(const TResourceName& other) const {
  if (isId != other.isId) return false;
  if (isId) return id == other.id;
  if (name.size() != other.name.size()) return false;
  auto upper = [](char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  };
  for (size_t i = 0; i < name.size(); ++i)
    if (upper(name[i]) != upper(other.name[i])) return false;
  return true;
}

std::string TResourceName::ToString() const {
  return isId ? "#" + std::to_string(id) : Utf16ToUtf8(name);
}

std::optional<TResourceModule> TResourceModule::FromBytes(std::string bytes, std::string* error) {
  TResourceModule module;
  module.bytes_ = std::move(bytes);
  std::string message;
  TResourceParser parser(module.bytes_, module.resources_);
  bool parsed = false;
  try {
    parsed = parser.Parse(message);
  } catch (const ETruncatedData&) {
    message = "truncated module";
  }
  if (!parsed) {
    if (error) *error = message;
    return std::nullopt;
  }
  return module;
}

std::optional<TResourceModule> TResourceModule::Load(const std::string& path, std::string* error) {
  std::string bytes;
  switch (ReadWholeFile(path, bytes, kMaxModuleBytes)) {
    case EReadResult::kOk:
      return FromBytes(std::move(bytes), error);
    case EReadResult::kMissing:
      if (error) *error = "file not found: " + path;
      break;
    case EReadResult::kTooLarge:
      if (error) *error = "file too large: " + path;
      break;
    default:
      if (error) *error = "cannot read file: " + path;
      break;
  }
  return std::nullopt;
}

const TResourceInfo* TResourceModule::FindResource(const TResourceName& type,
                                                   const TResourceName& name) const {
  for (const TResourceInfo& info : resources_)
    if (info.type.Matches(type) && info.name.Matches(name)) return &info;
  return nullptr;
}

std::string_view TResourceModule::ResourceData(const TResourceInfo& info) const {
  if (info.size == 0) return {};
  return std::string_view(bytes_).substr(info.fileOffset, info.size);
}

std::optional<std::string_view> TResourceModule::LoadResource(const TResourceName& type,
                                                              const TResourceName& name) const {
  const TResourceInfo* info = FindResource(type, name);
  if (!info) return std::nullopt;
  return ResourceData(*info);
}

std::optional<std::u16string> TResourceModule::LoadString(uint32_t id) const {
  try {
    if (id > 0xFFFF) return std::nullopt;
    const auto block = LoadResource(TResourceName::Id(kRtString),
                                    TResourceName::Id(static_cast<uint16_t>((id >> 4) + 1)));
    if (!block) return std::nullopt;
    const std::string_view b = *block;
    uint64_t at = 0;
    for (uint32_t slot = 0; slot < 16; ++slot) {
      if (!Fits(b.size(), at, 2)) return std::nullopt;
      const uint16_t length = U16(b, at);
      at += 2;
      if (!Fits(b.size(), at, uint64_t{length} * 2)) return std::nullopt;
      if (slot == (id & 15)) {
        std::u16string text(length, u'\0');
        for (uint16_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(U16(b, at + i * 2u));
        return text;
      }
      at += uint64_t{length} * 2;
    }
    return std::nullopt;
  } catch (const ETruncatedData&) {
    return std::nullopt;
  }
}

}  // namespace imprimo
