// Builds a small camera-style EXIF APP1 segment and splices it into JPEG
// bytes. Used by the sample generator and by tests that need photos with
// metadata. Header-only, no dependencies beyond the standard library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imprimo::samples {

struct TExifFields {
  std::string Make = "Imprimo Optics";
  std::string Model = "Sample One";
  std::string DateTime = "2026:06:21 14:30:05";  // "YYYY:MM:DD HH:MM:SS"
  uint32_t ExposureNum = 1, ExposureDen = 250;
  uint32_t FNumberNum = 56, FNumberDen = 10;
  uint16_t Iso = 200;
  uint32_t FocalNum = 35, FocalDen = 1;
  uint32_t Width = 0, Height = 0;
  uint16_t Orientation = 1;  // how the stored rows are turned (1..8)
};

namespace detail {

struct TIfdEntry {
  uint16_t tag, type;
  uint32_t count;
  std::vector<uint8_t> value;  // little-endian bytes
};

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline TIfdEntry Ascii(uint16_t tag, const std::string& s) {
  std::vector<uint8_t> v(s.begin(), s.end());
  v.push_back(0);
  return {tag, 2, static_cast<uint32_t>(v.size()), v};
}
inline TIfdEntry Short(uint16_t tag, uint16_t x) {
  std::vector<uint8_t> v;
  Put16(v, x);
  return {tag, 3, 1, v};
}
inline TIfdEntry Long(uint16_t tag, uint32_t x) {
  std::vector<uint8_t> v;
  Put32(v, x);
  return {tag, 4, 1, v};
}
inline TIfdEntry Rational(uint16_t tag, uint32_t num, uint32_t den) {
  std::vector<uint8_t> v;
  Put32(v, num);
  Put32(v, den);
  return {tag, 5, 1, v};
}

// Writes one directory at offset start (from the TIFF header): entries, the
// next-directory link, then the values that do not fit in four bytes.
inline std::vector<uint8_t> WriteIfd(const std::vector<TIfdEntry>& entries, uint32_t start) {
  std::vector<uint8_t> dir, data;
  const uint32_t dataStart = start + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  Put16(dir, static_cast<uint32_t>(entries.size()));
  for (const TIfdEntry& e : entries) {
    Put16(dir, e.tag);
    Put16(dir, e.type);
    Put32(dir, e.count);
    if (e.value.size() <= 4) {
      std::vector<uint8_t> v = e.value;
      v.resize(4, 0);
      dir.insert(dir.end(), v.begin(), v.end());
    } else {
      Put32(dir, dataStart + static_cast<uint32_t>(data.size()));
      data.insert(data.end(), e.value.begin(), e.value.end());
      if (data.size() % 2) data.push_back(0);
    }
  }
  Put32(dir, 0);
  dir.insert(dir.end(), data.begin(), data.end());
  return dir;
}

}  // namespace detail

// The APP1 segment: FF E1, length, "Exif\0\0", a little-endian TIFF block
// with IFD0 (Make, Model, Orientation, DateTime, Exif link) and the Exif
// directory (exposure, F-number, ISO, version, original date, focal length,
// pixel dimensions).
inline std::vector<uint8_t> BuildExifApp1(const TExifFields& f) {
  using namespace detail;
  std::vector<TIfdEntry> exif = {
      Rational(0x829A, f.ExposureNum, f.ExposureDen),
      Rational(0x829D, f.FNumberNum, f.FNumberDen),
      Short(0x8827, f.Iso),
      {0x9000, 7, 4, {'0', '2', '3', '0'}},
      Ascii(0x9003, f.DateTime),
      Ascii(0x9004, f.DateTime),
      Rational(0x920A, f.FocalNum, f.FocalDen),
      Long(0xA002, f.Width),
      Long(0xA003, f.Height),
  };
  std::vector<TIfdEntry> ifd0 = {
      Ascii(0x010F, f.Make),        Ascii(0x0110, f.Model),
      Short(0x0112, f.Orientation), Ascii(0x0131, "Imprimo sample generator"),
      Ascii(0x0132, f.DateTime),    Long(0x8769, 0),  // patched below
  };
  // IFD0 size decides where the Exif directory starts.
  const std::vector<uint8_t> probe = WriteIfd(ifd0, 8);
  const uint32_t exifStart = 8 + static_cast<uint32_t>(probe.size());
  ifd0.back() = Long(0x8769, exifStart);
  std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
  const std::vector<uint8_t> d0 = WriteIfd(ifd0, 8);
  const std::vector<uint8_t> d1 = WriteIfd(exif, exifStart);
  tiff.insert(tiff.end(), d0.begin(), d0.end());
  tiff.insert(tiff.end(), d1.begin(), d1.end());

  std::vector<uint8_t> seg = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  seg.insert(seg.end(), tiff.begin(), tiff.end());
  const size_t length = seg.size() - 2;
  seg[2] = static_cast<uint8_t>(length >> 8);
  seg[3] = static_cast<uint8_t>(length);
  return seg;
}

// Returns jpeg with its leading APP0 segments dropped and app1 placed right
// after the start-of-image marker, as cameras write it. Empty when jpeg does
// not start with a JPEG marker.
inline std::vector<uint8_t> SpliceApp1(const std::vector<uint8_t>& jpeg,
                                       const std::vector<uint8_t>& app1) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return {};
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF && jpeg[pos + 1] == 0xE0) {
    const size_t len = (static_cast<size_t>(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
    pos += 2 + len;
  }
  if (pos > jpeg.size()) return {};
  std::vector<uint8_t> out = {0xFF, 0xD8};
  out.insert(out.end(), app1.begin(), app1.end());
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(pos), jpeg.end());
  return out;
}

}  // namespace imprimo::samples
