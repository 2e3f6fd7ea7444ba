#include "platform/text.h"

#include <unicode/locid.h>
#include <unicode/stringoptions.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>

namespace imprimo {

namespace {

constexpr UChar32 kReplacement = 0xFFFD;

// ICU works with int32_t lengths; larger inputs are converted in slices.
constexpr size_t kSlice = size_t{1} << 28;

void AppendUtf8ToUtf16(std::string_view s, std::u16string& out) {
  size_t start = out.size();
  out.resize(start + s.size());  // UTF-16 never needs more units than UTF-8 has bytes
  int32_t written = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(out.data() + start, static_cast<int32_t>(s.size()), &written, s.data(),
                       static_cast<int32_t>(s.size()), kReplacement, nullptr, &err);
  out.resize(U_SUCCESS(err) ? start + written : start);
}

size_t Utf8SliceEnd(std::string_view s, size_t pos) {
  size_t end = pos + kSlice;
  if (end >= s.size()) return s.size();
  // Back up to a lead byte so no sequence is cut in two.
  size_t limit = end - 4;
  while (end > limit && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return end;
}

bool IsAscii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

std::u16string DecodeWithConverter(const char* name, std::string_view text) {
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> conv(ucnv_open(name, &err));
  if (U_FAILURE(err) || !conv) return Utf8ToUtf16(text);
  std::u16string out;
  for (size_t pos = 0; pos < text.size(); pos += kSlice) {
    std::string_view part = text.substr(pos, kSlice);
    size_t start = out.size();
    // Single-byte code pages map each byte to at most one BMP unit.
    out.resize(start + part.size() * 2);
    err = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(conv.get(), out.data() + start, static_cast<int32_t>(part.size() * 2),
                              part.data(), static_cast<int32_t>(part.size()), &err);
    out.resize(U_SUCCESS(err) ? start + n : start);
  }
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  if (s.size() <= kSlice) {
    AppendUtf8ToUtf16(s, out);
    return out;
  }
  for (size_t pos = 0; pos < s.size();) {
    size_t end = Utf8SliceEnd(s, pos);
    AppendUtf8ToUtf16(s.substr(pos, end - pos), out);
    pos = end;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  for (size_t pos = 0; pos < s.size();) {
    size_t end = std::min(s.size(), pos + kSlice);
    // Keep a surrogate pair together.
    if (end < s.size() && end > pos + 1 && U16_IS_LEAD(s[end - 1])) --end;
    std::u16string_view part = s.substr(pos, end - pos);
    size_t start = out.size();
    out.resize(start + part.size() * 3);
    int32_t written = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data() + start, static_cast<int32_t>(part.size() * 3), &written,
                       part.data(), static_cast<int32_t>(part.size()), kReplacement, nullptr, &err);
    out.resize(U_SUCCESS(err) ? start + written : start);
    pos = end;
  }
  return out;
}

bool IsValidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size(), i = 0;
  while (i < n) {
    unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    int len;
    uint32_t min;
    uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
      len = 2, min = 0x80, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, min = 0x800, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, min = 0x10000, cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < static_cast<size_t>(len)) return false;
    for (int k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

std::u16string CodePageToWide(std::string_view text, int codePage) {
  if (text.empty()) return {};
  switch (codePage) {
    case 437:
      return DecodeWithConverter("ibm-437", text);
    case 1252:
      return DecodeWithConverter("windows-1252", text);
    default:
      return Utf8ToUtf16(text);
  }
}

std::u16string UpperCase(std::u16string_view s) {
  if (IsAscii(s)) {
    std::u16string out(s);
    for (char16_t& c : out)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return out;
  }
  icu::UnicodeString u(false, s.data(), static_cast<int32_t>(s.size()));
  u.toUpper(icu::Locale::getRoot());
  return std::u16string(u.getBuffer(), u.length());
}

std::u16string LowerCase(std::u16string_view s) {
  if (IsAscii(s)) {
    std::u16string out(s);
    for (char16_t& c : out)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
  }
  icu::UnicodeString u(false, s.data(), static_cast<int32_t>(s.size()));
  u.toLower(icu::Locale::getRoot());
  return std::u16string(u.getBuffer(), u.length());
}

std::string UpperCaseUtf8(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
  }
  return Utf16ToUtf8(UpperCase(Utf8ToUtf16(s)));
}

std::string LowerCaseUtf8(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
  }
  return Utf16ToUtf8(LowerCase(Utf8ToUtf16(s)));
}

int CompareTextIgnoreCase(std::u16string_view a, std::u16string_view b) {
  UErrorCode err = U_ZERO_ERROR;
  // Lengths beyond int32_t are compared on their first 2^31-1 units, then by length.
  auto clip = [](size_t n) { return static_cast<int32_t>(std::min<size_t>(n, 0x7FFFFFFF)); };
  int r = u_strCaseCompare(a.data(), clip(a.size()), b.data(), clip(b.size()),
                           U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &err);
  if (r == 0 && a.size() != b.size() && (a.size() > 0x7FFFFFFF || b.size() > 0x7FFFFFFF))
    return a.size() < b.size() ? -1 : 1;
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool SameText(std::u16string_view a, std::u16string_view b) {
  return CompareTextIgnoreCase(a, b) == 0;
}

bool SameTextUtf8(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
      if (x != y) return false;
    }
    return true;
  }
  return SameText(Utf8ToUtf16(a), Utf8ToUtf16(b));
}

namespace {
bool IsLeadByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }
}  // namespace

std::string Utf8Prefix(std::string_view text, size_t maxChars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsLeadByte(text[i])) continue;
    if (chars == maxChars) return std::string(text.substr(0, i));
    ++chars;
  }
  return std::string(text);
}

size_t Utf8CharCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += IsLeadByte(c) ? 1 : 0;
  return count;
}

int CompareForList(std::string_view a, std::string_view b) {
  struct TCollator {
    UCollator* handle = nullptr;
    TCollator() {
      UErrorCode err = U_ZERO_ERROR;
      handle = ucol_open("", &err);
      if (U_FAILURE(err)) {
        handle = nullptr;
        return;
      }
      ucol_setStrength(handle, UCOL_SECONDARY);
    }
    ~TCollator() {
      if (handle) ucol_close(handle);
    }
  };
  // A collator that is not changed any more may be shared by threads.
  static const TCollator collator;
  int order = 0;
  if (collator.handle && a.size() < kSlice && b.size() < kSlice) {
    UErrorCode err = U_ZERO_ERROR;
    const UCollationResult r =
        ucol_strcollUTF8(collator.handle, a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &err);
    if (U_SUCCESS(err)) order = r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
  }
  if (order != 0) return order;
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace imprimo
