// Read-only access to the resources of a Windows portable-executable module
// (a resource-only DLL opened as data). Nothing in the file is executed; only
// the headers, the section table and the resource directory tree are read,
// every offset checked against the bytes actually present.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imprimo {

// Standard resource type numbers.
inline constexpr uint16_t kRtString = 6;
inline constexpr uint16_t kRtRcData = 10;

// A resource type or name: either a 16-bit number or a UTF-16 name.
struct TResourceName {
  bool isId = true;
  uint16_t id = 0;
  std::u16string name;

  static TResourceName Id(uint16_t id) { return TResourceName{true, id, {}}; }
  // "#123" is the number 123, as module loaders read it; anything else a name.
  static TResourceName Named(std::string_view name);
  // Numbers equal; names equal without regard to ASCII case.
  bool Matches(const TResourceName& other) const;
  std::string ToString() const;  // "#10" or the name as UTF-8
};

// One leaf of the resource tree (type -> name -> language -> data).
struct TResourceInfo {
  TResourceName type;
  TResourceName name;
  uint16_t language = 0;
  uint32_t rva = 0;
  uint32_t size = 0;
  uint32_t codePage = 0;
  uint64_t fileOffset = 0;  // where the data starts in the file
};

class TResourceModule {
 public:
  // Parses the module's resource section. On failure returns nothing and, when
  // error is given, sets it to a message saying what is wrong. A module without
  // a resource directory parses fine and has no resources.
  static std::optional<TResourceModule> FromBytes(std::string bytes, std::string* error = nullptr);
  // Reads the whole file first; files over 256 MiB are refused.
  static std::optional<TResourceModule> Load(const std::string& path, std::string* error = nullptr);

  const std::vector<TResourceInfo>& Resources() const { return resources_; }
  // The first resource of that type and name (any language).
  const TResourceInfo* FindResource(const TResourceName& type, const TResourceName& name) const;
  // The resource's bytes; they stay valid as long as the module does.
  std::string_view ResourceData(const TResourceInfo& info) const;
  // FindResource + ResourceData; nothing when the resource is absent.
  std::optional<std::string_view> LoadResource(const TResourceName& type,
                                               const TResourceName& name) const;
  // A string-table text by identifier (blocks of 16 counted UTF-16 strings).
  // Nothing when its block is missing or malformed; an empty entry is "".
  std::optional<std::u16string> LoadString(uint32_t id) const;

 private:
  std::string bytes_;
  std::vector<TResourceInfo> resources_;
};

}  // namespace imprimo
