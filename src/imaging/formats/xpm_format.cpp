// X pixmap files (XPM3 C text; load only).
#include "imaging/formats/xpm_format.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/formats/xpm_colour_names.h"
#include "imaging/imaging_stream.h"

namespace imprimo {

namespace {

[[noreturn]] void Bad(const std::string& what) {
  throw EImagingError("Invalid X pixmap: " + what, EImagingErrorKind::Invalid);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The string literals of the C text, in order, outside comments.
class TStringScanner {
 public:
  explicit TStringScanner(std::string_view text) : text_(text) {}
  // False at the end of the text.
  bool Next(std::string_view& s) {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
        const size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) return false;
        pos_ = end + 2;
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
        const size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else if (c == '"') {
        const size_t end = text_.find('"', pos_ + 1);
        if (end == std::string_view::npos) Bad("unterminated string");
        s = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        return true;
      } else {
        ++pos_;
      }
    }
    return false;
  }
  std::string_view Require(const char* what) {
    std::string_view s;
    if (!Next(s)) Bad(std::string("missing ") + what);
    return s;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

std::vector<std::string_view> Tokens(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    const size_t start = i;
    while (i < s.size() && !IsBlank(s[i])) ++i;
    if (i > start) out.push_back(s.substr(start, i - start));
  }
  return out;
}

bool ParseInt(std::string_view t, int& v) {
  if (t.empty() || t.size() > 9) return false;
  v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<TColor32Rec> ParseXpmColor(std::string_view text) {
  std::string name;
  for (char c : text)
    if (!IsBlank(c)) name += Lower(c);
  if (name.empty()) return std::nullopt;
  if (name == "none") return TColor32Rec{0, 0, 0, 0};
  if (name[0] == '#') {
    const size_t digits = name.size() - 1;
    if (digits < 3 || digits > 12 || digits % 3 != 0) return std::nullopt;
    const size_t n = digits / 3;
    const uint64_t max = (uint64_t{1} << (4 * n)) - 1;
    uint8_t ch[3];
    for (int c = 0; c < 3; ++c) {
      uint64_t v = 0;
      for (size_t i = 0; i < n; ++i) {
        const int d = HexDigit(name[1 + c * n + i]);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<uint64_t>(d);
      }
      ch[c] = static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
    return TColor32Rec{ch[2], ch[1], ch[0], 255};
  }
  auto it = std::lower_bound(std::begin(kX11Colours), std::end(kX11Colours), name,
                             [](const TX11Colour& e, const std::string& n) { return e.Name < n; });
  if (it == std::end(kX11Colours) || it->Name != name) return std::nullopt;
  return TColor32Rec{static_cast<uint8_t>(it->Rgb), static_cast<uint8_t>(it->Rgb >> 8),
                     static_cast<uint8_t>(it->Rgb >> 16), 255};
}

RasterImage DecodeXpm(std::span<const uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  TStringScanner scan(text);
  const auto values = Tokens(scan.Require("values"));
  int width, height, colours, cpp;
  if (values.size() < 4 || !ParseInt(values[0], width) || !ParseInt(values[1], height) ||
      !ParseInt(values[2], colours) || !ParseInt(values[3], cpp))
    Bad("bad values line");
  if (width <= 0 || height <= 0 || colours <= 0 || cpp <= 0) Bad("bad values line");
  CheckImageLimits(width, height, ifA8R8G8B8);
  // Every colour and row takes at least its quotes in the text.
  if (static_cast<size_t>(colours) > text.size() / 3 || static_cast<size_t>(cpp) > text.size() ||
      static_cast<size_t>(height) > text.size() / 3)
    Bad("counts exceed the file");

  static constexpr std::string_view kKeys[] = {"c", "g", "g4", "m", "s"};
  std::unordered_map<std::string_view, uint32_t> lookup;
  std::vector<TColor32Rec> table;
  table.reserve(colours);
  for (int i = 0; i < colours; ++i) {
    const std::string_view line = scan.Require("colour");
    if (line.size() < static_cast<size_t>(cpp)) Bad("colour line is too short");
    const std::string_view key = line.substr(0, cpp);
    // Key/value pairs; a value may span several words ("light goldenrod").
    std::string_view best[4];  // c, g, g4, m
    const auto tokens = Tokens(line.substr(cpp));
    int current = -1;
    std::string_view* value = nullptr;
    for (const std::string_view& t : tokens) {
      const auto k = std::find(std::begin(kKeys), std::end(kKeys), t);
      if (k != std::end(kKeys) && (value == nullptr || !value->empty())) {
        current = static_cast<int>(k - std::begin(kKeys));
        value = current < 4 ? &best[current] : nullptr;
        if (value) *value = {};
        if (!value) current = 4;
        continue;
      }
      if (current < 0) Bad("colour line without a key");
      if (!value) continue;  // symbolic name
      if (value->empty())
        *value = t;
      else
        *value = std::string_view(value->data(), t.data() + t.size() - value->data());
    }
    std::optional<TColor32Rec> colour;
    for (const std::string_view& v : best)
      if (!v.empty()) {
        colour = ParseXpmColor(v);
        if (!colour) Bad("unknown colour \"" + std::string(v) + "\"");
        break;
      }
    if (!colour) Bad("colour line without a colour");
    lookup.emplace(key, static_cast<uint32_t>(table.size()));
    table.push_back(*colour);
  }

  // The rows must fit in the rest of the text before the image is made.
  if (uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) *
          static_cast<uint32_t>(cpp) >
      text.size())
    Bad("pixel rows exceed the file");
  RasterImage image;
  ImageCreate(image, width, height, ifA8R8G8B8);
  std::vector<int32_t> single;
  if (cpp == 1) {
    single.assign(256, -1);
    for (const auto& [k, v] : lookup) single[static_cast<uint8_t>(k[0])] = static_cast<int32_t>(v);
  }
  for (int y = 0; y < height; ++y) {
    const std::string_view row = scan.Require("pixel row");
    if (row.size() / cpp < static_cast<size_t>(width)) Bad("pixel row is too short");
    TColor32Rec* dst = reinterpret_cast<TColor32Rec*>(image.Row(y));
    for (int x = 0; x < width; ++x) {
      int64_t idx;
      if (cpp == 1) {
        idx = single[static_cast<uint8_t>(row[x])];
      } else {
        auto it = lookup.find(row.substr(static_cast<size_t>(x) * cpp, cpp));
        idx = it == lookup.end() ? int64_t{-1} : static_cast<int64_t>(it->second);
      }
      if (idx < 0) Bad("pixel with an undefined colour");
      dst[x] = table[static_cast<size_t>(idx)];
    }
  }
  return image;
}

namespace {

class TXPMFileFormat : public TSimpleFileFormat {
 public:
  TXPMFileFormat() : TSimpleFileFormat(DecodeXpm) {
    SetName("X Window Pixmap");
    AddMasks("*.xpm");
    SetCapabilities(true, false, false);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 9);
    return h.size() >= 9 && std::memcmp(h.data(), "/* XPM */", 9) == 0;
  }
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeXPMFileFormat() { return std::make_unique<TXPMFileFormat>(); }

}  // namespace imprimo
