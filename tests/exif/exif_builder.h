// Byte builders for crafted EXIF blocks and JPEG streams used by the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace exiftest {

enum class Order { Intel, Motorola };

// A string literal with its embedded zero bytes.
template <size_t N>
std::string Lit(const char (&s)[N]) {
  return std::string(s, N - 1);
}

inline std::string U16(uint32_t v, Order o) {
  std::string s(2, '\0');
  if (o == Order::Intel) {
    s[0] = char(v & 0xFF), s[1] = char((v >> 8) & 0xFF);
  } else {
    s[1] = char(v & 0xFF), s[0] = char((v >> 8) & 0xFF);
  }
  return s;
}

inline std::string U32(uint32_t v, Order o) {
  return o == Order::Intel ? U16(v & 0xFFFF, o) + U16(v >> 16, o)
                           : U16(v >> 16, o) + U16(v & 0xFFFF, o);
}

// One directory entry: the value's bytes are already in the block's order.
struct Entry {
  uint16_t tag;
  uint16_t format;
  uint32_t count;
  std::string value;
};

inline Entry Ascii(uint16_t tag, const std::string& text) {
  return {tag, 2, uint32_t(text.size()), text};
}
inline Entry Undefined(uint16_t tag, const std::string& bytes) {
  return {tag, 7, uint32_t(bytes.size()), bytes};
}
inline Entry Bytes(uint16_t tag, std::initializer_list<int> values) {
  std::string v;
  for (int x : values) v += char(x);
  return {tag, 1, uint32_t(values.size()), v};
}
inline Entry Short(uint16_t tag, std::initializer_list<uint32_t> values, Order o) {
  std::string v;
  for (uint32_t x : values) v += U16(x, o);
  return {tag, 3, uint32_t(values.size()), v};
}
inline Entry Long(uint16_t tag, std::initializer_list<uint32_t> values, Order o) {
  std::string v;
  for (uint32_t x : values) v += U32(x, o);
  return {tag, 4, uint32_t(values.size()), v};
}
inline Entry Rational(uint16_t tag, std::initializer_list<std::pair<uint32_t, uint32_t>> values,
                      Order o, uint16_t format = 5) {
  std::string v;
  for (auto [n, d] : values) v += U32(n, o) + U32(d, o);
  return {tag, format, uint32_t(values.size()), v};
}

// A TIFF block: IFD0 at offset 8, then the EXIF and GPS directories when
// given (their pointer entries are added to IFD0), then the long values.
inline std::string TiffBlock(Order o, std::vector<Entry> ifd0, const std::vector<Entry>& exif = {},
                             const std::vector<Entry>& gps = {}, uint32_t nextIfd = 0) {
  auto dirSize = [](size_t n) { return 2 + 12 * n + 4; };
  if (!exif.empty()) ifd0.push_back({0x8769, 4, 1, ""});
  if (!gps.empty()) ifd0.push_back({0x8825, 4, 1, ""});
  uint32_t exifAt = uint32_t(8 + dirSize(ifd0.size()));
  uint32_t gpsAt = exifAt + (exif.empty() ? 0 : uint32_t(dirSize(exif.size())));
  uint32_t dataAt = gpsAt + (gps.empty() ? 0 : uint32_t(dirSize(gps.size())));
  for (Entry& e : ifd0) {
    if (e.tag == 0x8769 && e.value.empty()) e.value = U32(exifAt, o);
    if (e.tag == 0x8825 && e.value.empty()) e.value = U32(gpsAt, o);
  }
  std::string data;
  auto directory = [&](const std::vector<Entry>& entries, uint32_t next) {
    std::string d = U16(uint32_t(entries.size()), o);
    for (const Entry& e : entries) {
      d += U16(e.tag, o) + U16(e.format, o) + U32(e.count, o);
      if (e.value.size() <= 4) {
        d += e.value + std::string(4 - e.value.size(), '\0');
      } else {
        d += U32(dataAt + uint32_t(data.size()), o);
        data += e.value;
        if (data.size() % 2) data += '\0';
      }
    }
    return d + U32(next, o);
  };
  std::string block = (o == Order::Intel ? "II" : "MM") + U16(42, o) + U32(8, o);
  block += directory(ifd0, nextIfd);
  if (!exif.empty()) block += directory(exif, 0);
  if (!gps.empty()) block += directory(gps, 0);
  return block + data;
}

// A marker segment: FF, code, big-endian length, payload.
inline std::string Segment(int code, const std::string& payload) {
  size_t len = payload.size() + 2;
  return std::string{char(0xFF), char(code), char(len >> 8), char(len & 0xFF)} + payload;
}
inline std::string ExifApp1(const std::string& tiff) {
  return Segment(0xE1, Lit("Exif\0\0") + tiff);
}
inline std::string Jfif() { return Segment(0xE0, Lit("JFIF\0\x01\x01\0\0\x01\0\x01\0\0")); }
inline std::string Xmp() {
  return Segment(0xE1, Lit("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>"));
}
inline std::string Comment(const std::string& text) { return Segment(0xFE, text); }
inline std::string Iptc() {
  return Segment(0xED, Lit("Photoshop 3.0\0"
                           "8BIM\x04\x04\0\0\0\0\0\x07\x1c\x02\x05\0\x02Hi"));
}
inline std::string Filler(int code = 0xE2) { return Segment(code, "filler"); }
// Image data after the metadata: a quantisation table, a start of scan and
// the end marker; enough for the segment scan.
inline std::string ImageData() {
  return Segment(0xDB, std::string(65, '\x01')) + Segment(0xDA, std::string(10, '\0')) +
         std::string("\x12\x34\x56\xFF\xD9", 5);
}
inline std::string Jpeg(std::initializer_list<std::string> segments) {
  std::string s("\xFF\xD8", 2);
  for (const std::string& seg : segments) s += seg;
  return s + ImageData();
}

inline std::span<const uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace exiftest
