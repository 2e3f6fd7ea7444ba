// The Orientation field of the first image directory: finding, reading and
// rewriting its value inside an EXIF APP1 section.
#include <cstdint>
#include <string>
#include <string_view>

#include "exif/exif_reader.h"

namespace imprimo {

namespace {

// Section bytes: length (2), "Exif" and two zero bytes, then the TIFF header,
// which every offset of the block counts from.
constexpr size_t kTiffStart = 8;
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShort = 3, kLong = 4;

uint32_t ReadNumber(std::string_view s, size_t pos, int bytes, TByteOrder order) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) {
    const uint32_t b = static_cast<uint8_t>(s[pos + i]);
    if (order == TByteOrder::Motorola)
      v = (v << 8) | b;
    else
      v |= b << (8 * i);
  }
  return v;
}

}  // namespace

bool FindExifOrientation(std::string_view s, size_t& position, int& width, TByteOrder& order) {
  if (s.size() < kTiffStart + 8 || s.compare(2, 4, "Exif") != 0) return false;
  if (s.compare(kTiffStart, 2, "II") == 0)
    order = TByteOrder::Intel;
  else if (s.compare(kTiffStart, 2, "MM") == 0)
    order = TByteOrder::Motorola;
  else
    return false;
  const uint64_t ifd0 = kTiffStart + uint64_t{ReadNumber(s, kTiffStart + 4, 4, order)};
  if (ifd0 + 2 > s.size()) return false;
  const uint32_t count = ReadNumber(s, ifd0, 2, order);
  // A directory that claims more entries than the block holds is not
  // trusted at all, as the tag parser refuses it too.
  if (ifd0 + 2 + 12 * uint64_t{count} > s.size()) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t e = ifd0 + 2 + 12 * uint64_t{i};
    if (ReadNumber(s, e, 2, order) != kOrientationTag) continue;
    const uint32_t type = ReadNumber(s, e + 2, 2, order);
    const uint32_t components = ReadNumber(s, e + 4, 4, order);
    // One value of either integer type fits inside the entry itself.
    if ((type != kShort && type != kLong) || components != 1) return false;
    position = e + 8;
    width = type == kShort ? 2 : 4;
    return true;
  }
  return false;
}

int ExifOrientation(std::string_view section) {
  size_t position = 0;
  int width = 0;
  TByteOrder order = TByteOrder::Intel;
  if (!FindExifOrientation(section, position, width, order)) return 0;
  const uint32_t value = ReadNumber(section, position, width, order);
  return value > 0xFFFF ? 0xFFFF : static_cast<int>(value);
}

int TimgData::Orientation() const {
  const MetadataSection* exif = ExifSection();
  return exif ? ExifOrientation(exif->bytes) : 0;
}

}  // namespace imprimo
