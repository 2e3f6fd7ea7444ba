#include "ini/ini_document.h"

#include <array>
#include <stdexcept>
#include <utility>

#include "platform/file_io.h"
#include "platform/text.h"

namespace imprimo {

namespace {

constexpr uint32_t kNoKey = 0xFFFFFFFFu;
constexpr int32_t kNone = -1;
// Sections with few keys are searched by a backward scan, which finds the
// same line as the bucket chain but spares the 256-entry table.
constexpr size_t kBucketThreshold = 16;

bool IsTrimmed(char16_t c) { return c <= 0x20 || (c >= 0x7F && c <= 0x9F); }

std::u16string_view Trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsTrimmed(s[b])) ++b;
  while (e > b && IsTrimmed(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool IsAscii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - 32 : c; }

uint32_t HashUpper(std::u16string_view upper) {
  uint32_t h = 0;
  for (char16_t c : upper) h = ((h << 2) | (h >> 30)) ^ c;
  return h;
}

uint32_t HashText(std::u16string_view s) {
  if (IsAscii(s)) {
    uint32_t h = 0;
    for (char16_t c : s) h = ((h << 2) | (h >> 30)) ^ AsciiUpper(c);
    return h;
  }
  return HashUpper(UpperCase(s));
}

bool SameUpper(std::u16string_view a, std::u16string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
  }
  return UpperCase(a) == UpperCase(b);
}

struct Line {
  std::u16string text;
  uint32_t keyLength = kNoKey;  // trimmed key length; kNoKey for a line without "="
  uint32_t valueStart = 0;      // index after the first "="
  uint32_t hash = 0;
  int32_t next = kNone;  // older line of the same bucket

  void SetText(std::u16string t) {
    text = std::move(t);
    size_t eq = text.find(u'=');
    if (eq == std::u16string::npos) {
      keyLength = kNoKey;
      return;
    }
    std::u16string_view key = std::u16string_view(text).substr(0, eq);
    while (!key.empty() && IsTrimmed(key.back())) key.remove_suffix(1);
    // The line is trimmed, so the key has no leading blanks.
    keyLength = static_cast<uint32_t>(key.size());
    valueStart = static_cast<uint32_t>(eq + 1);
    hash = HashText(key);
  }
  std::u16string_view Key() const { return std::u16string_view(text).substr(0, keyLength); }
  std::u16string_view Value() const { return std::u16string_view(text).substr(valueStart); }
};

struct Section {
  std::u16string name;
  uint32_t hash = 0;
  int32_t next = kNone;  // older section of the same bucket
  std::vector<Line> lines;
  std::vector<uint32_t> keyed;  // indexes of lines with a key, in order
  std::vector<int32_t> heads;   // 256 bucket heads once the section has many keys

  void BuildBuckets() {
    heads.assign(256, kNone);
    for (uint32_t index : keyed) Link(index);
  }
  void Link(uint32_t index) {
    Line& line = lines[index];
    int32_t& head = heads[line.hash % 256];
    line.next = head;
    head = static_cast<int32_t>(index);
  }
  void AddLine(std::u16string text) {
    Line line;
    line.SetText(std::move(text));
    bool hasKey = line.keyLength != kNoKey;
    lines.push_back(std::move(line));
    if (!hasKey) return;
    uint32_t index = static_cast<uint32_t>(lines.size() - 1);
    keyed.push_back(index);
    if (!heads.empty()) {
      Link(index);
    } else if (keyed.size() > kBucketThreshold) {
      BuildBuckets();
    }
  }
  int32_t Find(std::u16string_view key) const {
    uint32_t h = HashText(key);
    if (heads.empty()) {
      for (size_t k = keyed.size(); k-- > 0;) {
        const Line& line = lines[keyed[k]];
        if (line.hash == h && SameUpper(line.Key(), key)) return static_cast<int32_t>(keyed[k]);
      }
      return kNone;
    }
    for (int32_t i = heads[h % 256]; i != kNone; i = lines[i].next) {
      const Line& line = lines[i];
      if (line.hash == h && SameUpper(line.Key(), key)) return i;
    }
    return kNone;
  }
};

// Yields the lines of the decoded text one by one.
class LineReader {
 public:
  enum class Encoding { kUtf16LE, kUtf16BE, kUtf8, kWindows1252 };

  explicit LineReader(std::string_view bytes) {
    auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
      enc_ = Encoding::kUtf16LE;
      data_ = bytes.substr(2);
    } else if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
      enc_ = Encoding::kUtf16BE;
      data_ = bytes.substr(2);
    } else if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
      enc_ = Encoding::kUtf8;
      data_ = bytes.substr(3);
    } else {
      // The ANSI code page here is UTF-8; text that is not valid UTF-8 is
      // taken as Windows-1252, the usual encoding of older files.
      enc_ = IsValidUtf8(bytes) ? Encoding::kUtf8 : Encoding::kWindows1252;
      data_ = bytes;
    }
    if (enc_ == Encoding::kUtf16LE || enc_ == Encoding::kUtf16BE) {
      // A last odd byte is half a character and cannot be decoded.
      data_ = data_.substr(0, data_.size() & ~size_t{1});
    }
  }

  // Lines are split at CR, LF or CR LF.
  bool Next(std::u16string& line) {
    if (done_) return false;
    bool wide = enc_ == Encoding::kUtf16LE || enc_ == Encoding::kUtf16BE;
    size_t count = wide ? data_.size() / 2 : data_.size();
    size_t end = pos_;
    while (end < count) {
      char16_t c = wide ? Unit(end) : static_cast<char16_t>(data_[end]);
      if (c == u'\r' || c == u'\n') break;
      ++end;
    }
    if (wide) {
      line.resize(end - pos_);
      for (size_t i = pos_; i < end; ++i) line[i - pos_] = Unit(i);
    } else {
      std::string_view raw = data_.substr(pos_, end - pos_);
      line = enc_ == Encoding::kUtf8 ? Utf8ToUtf16(raw) : CodePageToWide(raw, 1252);
    }
    if (end >= count) {
      done_ = true;
    } else {
      bool crlf = end + 1 < count && (wide ? Unit(end) == u'\r' && Unit(end + 1) == u'\n'
                                           : data_[end] == '\r' && data_[end + 1] == '\n');
      pos_ = end + (crlf ? 2 : 1);
    }
    return true;
  }

 private:
  char16_t Unit(size_t i) const {
    auto b0 = static_cast<unsigned char>(data_[2 * i]);
    auto b1 = static_cast<unsigned char>(data_[2 * i + 1]);
    return enc_ == Encoding::kUtf16LE ? static_cast<char16_t>(b0 | (b1 << 8))
                                      : static_cast<char16_t>((b0 << 8) | b1);
  }

  Encoding enc_;
  std::string_view data_;
  size_t pos_ = 0;
  bool done_ = false;
};

}  // namespace

struct IniDocument::Impl {
  std::string fileName;
  bool readError = false;
  std::vector<Section> sections;
  std::array<int32_t, 256> heads;

  Impl() { heads.fill(kNone); }

  int32_t FindSection(std::u16string_view name) const {
    uint32_t h = HashText(name);
    for (int32_t i = heads[h % 256]; i != kNone; i = sections[i].next)
      if (sections[i].hash == h && SameUpper(sections[i].name, name)) return i;
    return kNone;
  }

  Section& AddSection(std::u16string name) {
    Section s;
    s.hash = HashText(name);
    s.name = std::move(name);
    int32_t& head = heads[s.hash % 256];
    s.next = head;
    sections.push_back(std::move(s));
    head = static_cast<int32_t>(sections.size() - 1);
    return sections.back();
  }

  // Relinks the section buckets after the list changed shape.
  void Reindex() {
    heads.fill(kNone);
    for (size_t i = 0; i < sections.size(); ++i) {
      Section& s = sections[i];
      s.hash = HashText(s.name);
      int32_t& head = heads[s.hash % 256];
      s.next = head;
      head = static_cast<int32_t>(i);
    }
  }

  void CheckIndex(size_t index) const {
    if (index >= sections.size()) throw std::out_of_range("no section at that position");
  }

  const Line* FindLine(std::u16string_view section, std::u16string_view key) const {
    int32_t s = FindSection(section);
    if (s == kNone) return nullptr;
    int32_t l = sections[s].Find(key);
    return l == kNone ? nullptr : &sections[s].lines[l];
  }

  void Parse(std::string_view bytes) {
    LineReader reader(bytes);
    std::u16string raw;
    Section* current = nullptr;
    while (reader.Next(raw)) {
      std::u16string_view line = Trim(raw);
      if (line.empty() || line.front() == u';') continue;
      if (line.size() >= 2 && line.front() == u'[' && line.back() == u']') {
        current = &AddSection(std::u16string(Trim(line.substr(1, line.size() - 2))));
        continue;
      }
      if (current) current->AddLine(std::u16string(line));
    }
  }
};

IniDocument::IniDocument() : impl_(std::make_unique<Impl>()) {}
IniDocument::IniDocument(const IniDocument& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}
// A moved-from document stays usable (empty).
IniDocument::IniDocument(IniDocument&& other) noexcept
    : impl_(std::exchange(other.impl_, std::make_unique<Impl>())) {}
IniDocument& IniDocument::operator=(const IniDocument& other) {
  if (this != &other) impl_ = std::make_unique<Impl>(*other.impl_);
  return *this;
}
IniDocument& IniDocument::operator=(IniDocument&& other) noexcept {
  if (this != &other) impl_ = std::exchange(other.impl_, std::make_unique<Impl>());
  return *this;
}
IniDocument::~IniDocument() = default;

IniDocument IniDocument::Open(const std::string& path) {
  std::string bytes;
  EReadResult r = ReadWholeFile(path, bytes);
  IniDocument doc = FromBytes(r == EReadResult::kOk ? std::string_view(bytes) : "", path);
  doc.impl_->readError = r == EReadResult::kUnreadable || r == EReadResult::kTooLarge;
  return doc;
}

IniDocument IniDocument::FromBytes(std::string_view bytes, std::string fileName) {
  IniDocument doc;
  doc.impl_->fileName = std::move(fileName);
  doc.impl_->Parse(bytes);
  return doc;
}

const std::string& IniDocument::FileName() const { return impl_->fileName; }
bool IniDocument::ReadError() const { return impl_->readError; }

std::vector<std::u16string> IniDocument::SectionNames() const {
  std::vector<std::u16string> names;
  names.reserve(impl_->sections.size());
  for (const Section& s : impl_->sections) names.push_back(s.name);
  return names;
}

bool IniDocument::SectionExists(std::u16string_view section) const {
  return impl_->FindSection(section) != kNone;
}

std::vector<std::u16string> IniDocument::SectionKeys(std::u16string_view section) const {
  std::vector<std::u16string> keys;
  int32_t s = impl_->FindSection(section);
  if (s == kNone) return keys;
  for (uint32_t index : impl_->sections[s].keyed)
    keys.emplace_back(impl_->sections[s].lines[index].Key());
  return keys;
}

std::u16string IniDocument::ReadString(std::u16string_view section, std::u16string_view key,
                                       std::u16string_view def) const {
  const Line* line = impl_->FindLine(section, key);
  return std::u16string(line ? line->Value() : def);
}

bool IniDocument::TextToInteger(std::u16string_view text, int32_t& value) {
  size_t i = 0, n = text.size();
  while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < n && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  if (i >= n) return false;
  bool hex = false;
  if (text[i] == u'$' || text[i] == u'x' || text[i] == u'X') {
    hex = true;
    ++i;
  } else if (text[i] == u'0' && i + 1 < n && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  if (hex) {
    if (n - i > 8) return false;
    uint32_t v = 0;
    for (; i < n; ++i) {
      char16_t c = text[i];
      uint32_t d;
      if (c >= u'0' && c <= u'9') {
        d = c - u'0';
      } else if (c >= u'a' && c <= u'f') {
        d = c - u'a' + 10;
      } else if (c >= u'A' && c <= u'F') {
        d = c - u'A' + 10;
      } else {
        return false;
      }
      v = (v << 4) | d;
    }
    if (negative) v = 0u - v;
    value = static_cast<int32_t>(v);
    return true;
  }
  uint64_t v = 0;
  const uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  for (; i < n; ++i) {
    char16_t c = text[i];
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
    if (v > limit) return false;
  }
  value = negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : static_cast<int32_t>(v);
  return true;
}

int32_t IniDocument::ReadInteger(std::u16string_view section, std::u16string_view key,
                                 int32_t def) const {
  const Line* line = impl_->FindLine(section, key);
  int32_t v;
  if (line && TextToInteger(line->Value(), v)) return v;
  return def;
}

bool IniDocument::ReadBool(std::u16string_view section, std::u16string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

uint8_t IniDocument::ReadByte(std::u16string_view section, std::u16string_view key,
                              uint8_t def) const {
  return static_cast<uint8_t>(ReadInteger(section, key, def) & 0xFF);
}

void IniDocument::WriteString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view value) {
  int32_t s = impl_->FindSection(section);
  Section& sec = s == kNone ? impl_->AddSection(std::u16string(section)) : impl_->sections[s];
  std::u16string text;
  text.reserve(key.size() + 1 + value.size());
  text.append(key).append(u"=").append(value);
  int32_t l = sec.Find(key);
  if (l == kNone) {
    sec.AddLine(std::move(text));
    return;
  }
  // Same key without regard to case, so the bucket stays the same.
  int32_t next = sec.lines[l].next;
  sec.lines[l].SetText(std::move(text));
  sec.lines[l].next = next;
}

void IniDocument::WriteInteger(std::u16string_view section, std::u16string_view key,
                               int32_t value) {
  std::string digits = std::to_string(value);
  WriteString(section, key, std::u16string(digits.begin(), digits.end()));
}

void IniDocument::WriteBool(std::u16string_view section, std::u16string_view key, bool value) {
  WriteString(section, key, value ? u"1" : u"0");
}

bool IniDocument::KeyExists(std::u16string_view section, std::u16string_view key) const {
  return impl_->FindLine(section, key) != nullptr;
}

std::vector<std::pair<std::u16string, std::u16string>> IniDocument::SectionEntries(
    std::u16string_view section) const {
  std::vector<std::pair<std::u16string, std::u16string>> entries;
  int32_t s = impl_->FindSection(section);
  if (s == kNone) return entries;
  for (uint32_t index : impl_->sections[s].keyed) {
    const Line& line = impl_->sections[s].lines[index];
    entries.emplace_back(line.Key(), line.Value());
  }
  return entries;
}

size_t IniDocument::SectionCount() const { return impl_->sections.size(); }

size_t IniDocument::AppendSection(std::u16string_view name) {
  impl_->AddSection(std::u16string(name));
  return impl_->sections.size() - 1;
}

void IniDocument::RemoveSection(size_t index) {
  impl_->CheckIndex(index);
  impl_->sections.erase(impl_->sections.begin() + static_cast<std::ptrdiff_t>(index));
  impl_->Reindex();
}

void IniDocument::RenameSection(size_t index, std::u16string_view name) {
  impl_->CheckIndex(index);
  impl_->sections[index].name = std::u16string(name);
  impl_->Reindex();
}

void IniDocument::MoveSection(size_t from, size_t to) {
  impl_->CheckIndex(from);
  impl_->CheckIndex(to);
  Section moved = std::move(impl_->sections[from]);
  impl_->sections.erase(impl_->sections.begin() + static_cast<std::ptrdiff_t>(from));
  impl_->sections.insert(impl_->sections.begin() + static_cast<std::ptrdiff_t>(to),
                         std::move(moved));
  impl_->Reindex();
}

std::string IniDocument::Serialize() const {
  std::u16string text;
  for (const Section& s : impl_->sections) {
    text.append(u"[").append(s.name).append(u"]\r\n");
    for (const Line& line : s.lines) text.append(line.text).append(u"\r\n");
    text.append(u"\r\n");
  }
  std::string bytes;
  bytes.reserve(2 + text.size() * 2);
  bytes += '\xFF';
  bytes += '\xFE';
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

void IniDocument::UpdateFile() const { WriteFileReplacing(impl_->fileName, Serialize()); }

}  // namespace imprimo
