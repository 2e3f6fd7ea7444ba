// Metadata segment scan of JPEG files and the EXIF directory parser.
#include "exif/exif_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include "exif/exif_tables.h"
#include "exif/source_metadata.h"
#include "platform/byte_reader.h"
#include "platform/numeric.h"

namespace imprimo {

namespace {

// A file's metadata lies before its image data; the scan never needs more
// than 20 segments of at most 64 KiB each, plus fill bytes.
constexpr int64_t kMaxScanBytes = 4 * 1024 * 1024;
// Real files nest directories two or three levels deep; these bounds keep
// crafted blocks from recursing deeply or revisiting many directories.
constexpr int kMaxDirectoryDepth = 16;
constexpr int kMaxDirectories = 256;
constexpr int kMaxComponents = 128;

const std::unordered_map<uint16_t, const TTagEntry*>& TableIndex(bool gps) {
  auto build = [](const std::vector<TTagEntry>& table) {
    std::unordered_map<uint16_t, const TTagEntry*> index;
    for (const TTagEntry& e : table) index.emplace(e.tag, &e);  // the first entry wins
    return index;
  };
  static const auto mainIndex = build(MainTagTable());
  static const auto gpsIndex = build(GpsTagTable());
  return gps ? gpsIndex : mainIndex;
}

int BytesPerComponent(int format) {
  static const int sizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return format >= 1 && format <= 12 ? sizes[format] : 0;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::span<const uint8_t> BytesOf(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Unsigned integer of the n bytes at pos in the given byte order; bytes
// outside the block throw ETruncatedData.
uint64_t ReadOrdered(std::string_view block, int64_t pos, int n, TByteOrder order) {
  TByteReader reader(BytesOf(block));
  if (pos < 0 || static_cast<uint64_t>(pos) > block.size()) throw ETruncatedData();
  reader.Seek(static_cast<size_t>(pos));
  const std::span<const uint8_t> p = reader.Bytes(static_cast<size_t>(n));
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) {
    int k = order == TByteOrder::Motorola ? i : n - 1 - i;
    v = (v << 8) | p[k];
  }
  return v;
}

std::string TrimSpacesAndControls(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

int ClampToInt(double v) {
  if (!std::isfinite(v)) return 0;
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(RoundHalfEven(v));
}

// The components of one value, read from its raw bytes.
struct ValueReader {
  const std::string& raw;
  int format;
  TByteOrder order;

  int Count(uint64_t declared) const {
    int bpc = BytesPerComponent(format);
    uint64_t available = bpc ? raw.size() / bpc : 0;
    return static_cast<int>(std::min<uint64_t>({declared, available, kMaxComponents}));
  }
  uint64_t Unsigned(int index, int bytes) const { return ReadOrdered(raw, index, bytes, order); }
  // Integer value of component i (formats 1, 3, 4, 6, 8, 9).
  int64_t Integer(int i) const {
    switch (format) {
      case 1:
        return static_cast<uint8_t>(Unsigned(i, 1));
      case 6:
        return static_cast<int8_t>(Unsigned(i, 1));
      case 3:
        return static_cast<uint16_t>(Unsigned(i * 2, 2));
      case 8:
        return static_cast<int16_t>(Unsigned(i * 2, 2));
      case 4:
        return static_cast<uint32_t>(Unsigned(i * 4, 4));
      case 9:
        return static_cast<int32_t>(Unsigned(i * 4, 4));
      default:
        return 0;
    }
  }
  void Rational(int i, int64_t& n, int64_t& d) const {
    uint64_t un = Unsigned(i * 8, 4), ud = Unsigned(i * 8 + 4, 4);
    if (format == 10) {
      n = static_cast<int32_t>(un);
      d = static_cast<int32_t>(ud);
    } else {
      n = static_cast<int64_t>(un);
      d = static_cast<int64_t>(ud);
    }
  }
  // Numeric value of the first component: a rational's quotient (0 when the
  // denominator is 0), an integer's value.
  double Numeric() const {
    if (Count(1) < 1) return 0;
    if (format == 5 || format == 10) {
      int64_t n, d;
      Rational(0, n, d);
      return d == 0 ? 0.0 : static_cast<double>(n) / static_cast<double>(d);
    }
    if (format == 11 || format == 12) return -9999.99;
    return static_cast<double>(Integer(0));
  }
};

std::string BuildDisplayValue(const TTagEntry& entry, int format, uint64_t count,
                              const std::string& raw, TByteOrder order) {
  std::string text;
  ValueReader value{raw, format, order};
  if (format == 2) {
    text = raw;
    if (!text.empty() && text.back() == '\0') text.pop_back();
  } else if (format == 7) {
    text = "\"" + raw + "\"";
  } else {
    int n = value.Count(count);
    for (int i = 0; i < n; ++i) {
      if (i > 0) text += ", ";
      if (format == 5 || format == 10) {
        int64_t num, den;
        value.Rational(i, num, den);
        std::string part = std::to_string(num) + "/" + std::to_string(den);
        text += part;
        if (!entry.codeList.empty()) text += CodeListText(entry.codeList, part);
      } else if (format == 11 || format == 12) {
        text += "-9999.99";
      } else if (format == 0 || format == 2 || format == 7) {
        text += "?";
      } else {
        std::string decimal = std::to_string(value.Integer(i));
        text += entry.codeList.empty() ? decimal : CodeListText(entry.codeList, decimal);
      }
    }
  }
  if (!entry.formatString.empty()) {
    size_t s = entry.formatString.find("%s");
    if (s != std::string::npos) {
      text = entry.formatString.substr(0, s) + text + entry.formatString.substr(s + 2);
    } else {
      char buffer[512];
      std::snprintf(buffer, sizeof buffer, entry.formatString.c_str(), value.Numeric());
      text = buffer;
    }
  }
  if (entry.formatFunction) {
    text = entry.formatFunction(text);
  } else {
    for (char& c : text)
      if (static_cast<unsigned char>(c) < 32) c = '.';
    if (text.size() > 50) text.resize(50);
  }
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// TImageInfo

TImageInfo::TImageInfo(int buildMode) : buildMode_(buildMode) {}

uint64_t TImageInfo::ReadUnsigned(int64_t pos, int bytes) const {
  // Values outside the block read as 0.
  if (pos < 0 || bytes <= 0 || pos + bytes > static_cast<int64_t>(data_.size())) return 0;
  return ReadOrdered(data_, pos, bytes, byteOrder_);
}

void TImageInfo::ProcessExifBlock(std::string sectionBytes, TByteOrder initialOrder) {
  data_ = std::move(sectionBytes);
  byteOrder_ = initialOrder;
  cameraMake_.clear();
  cameraModel_.clear();
  dateTime_.clear();
  exifVersion_.clear();
  userComment_.clear();
  width_ = height_ = flash_ = 0;
  userCommentPosition_ = userCommentLength_ = 0;
  thumbnailPosition_ = thumbnailSize_ = 0;
  thumbnailKnown_ = false;
  tags_.clear();
  visitedText_.clear();
  visited_.clear();
  directoriesParsed_ = 0;
  errorText_ = "<none>";
  blockEnd_ = static_cast<int64_t>(data_.size());

  // Section bytes: length (2), "Exif" and two zero bytes, then the TIFF header.
  if (data_.size() < 6 || data_.compare(2, 4, "Exif") != 0) {
    errorText_ = "Incorrect Exif header";
    return;
  }
  if (data_.size() >= 10 && data_.compare(8, 2, "II") == 0) {
    byteOrder_ = TByteOrder::Intel;
  } else if (data_.size() >= 10 && data_.compare(8, 2, "MM") == 0) {
    byteOrder_ = TByteOrder::Motorola;
  } else {
    errorText_ = "Invalid Exif alignment marker";
    return;
  }
  const int64_t base = 8;
  uint64_t first = ReadUnsigned(12, 4);
  int64_t start = first == 0 ? 16 : base + static_cast<int64_t>(first);
  ParseDirectory(start, base, DirKind::Main, 0);
  AddDerivedFocalLength35();
}

void TImageInfo::ParseDirectory(int64_t start, int64_t base, DirKind kind, int depth) {
  if (depth > kMaxDirectoryDepth || directoriesParsed_ >= kMaxDirectories) return;
  ++directoriesParsed_;
  visited_.emplace(base, start);
  visitedText_ += "[" + std::to_string(base) + ":" + std::to_string(start) + "]";

  if (start < 0 || start + 2 > blockEnd_) {
    errorText_ = "Illegally sized directory";
    return;
  }
  const int64_t count = static_cast<int64_t>(ReadUnsigned(start, 2));
  const int64_t end = start + 2 + 12 * count;
  if (end > blockEnd_) {
    errorText_ = "Illegally sized directory";
    return;
  }
  if (kind == DirKind::Main && !thumbnailKnown_) {
    thumbnailKnown_ = true;
    uint64_t next = ReadUnsigned(end, 4);
    if (next > 0 && base + static_cast<int64_t>(next) < blockEnd_) {
      thumbnailPosition_ = static_cast<int>(next);
      thumbnailSize_ = static_cast<int>(blockEnd_ - (base + static_cast<int64_t>(next)));
    }
  }

  const auto& index = TableIndex(kind == DirKind::Gps);
  for (int64_t i = 0; i < count; ++i) {
    const int64_t e = start + 2 + 12 * i;
    const uint16_t tag = static_cast<uint16_t>(ReadUnsigned(e, 2));
    const int format = static_cast<int>(ReadUnsigned(e + 2, 2));
    const uint64_t components = ReadUnsigned(e + 4, 4);
    const uint64_t byteCount = components * static_cast<uint64_t>(BytesPerComponent(format));
    if (byteCount == 0) continue;
    const int64_t pos =
        byteCount <= 4 ? e + 8 : base + static_cast<int64_t>(ReadUnsigned(e + 8, 4));
    std::string raw;
    if (pos >= 0 && pos < blockEnd_) {
      uint64_t len = std::min<uint64_t>(byteCount, static_cast<uint64_t>(blockEnd_ - pos));
      raw.assign(data_, static_cast<size_t>(pos), static_cast<size_t>(len));
    }

    auto found = index.find(tag);
    TTagEntry entry;
    if (found != index.end()) entry = *found->second;
    entry.tagType = static_cast<uint16_t>(format);
    entry.rawBytes = raw;
    entry.rawPosition = static_cast<int32_t>(pos);
    entry.size = static_cast<int32_t>(raw.size());
    if (buildMode_ == 255)
      entry.displayValue = BuildDisplayValue(entry, format, components, raw, byteOrder_);
    ValueReader value{raw, format, byteOrder_};

    if (kind == DirKind::Main) {
      switch (tag) {
        case 0x0100:
        case 0xA002:
          width_ = ClampToInt(value.Numeric());
          break;
        case 0x0101:
        case 0xA003:
          height_ = ClampToInt(value.Numeric());
          break;
        case 0x010F:
          cameraMake_ = entry.displayValue.substr(0, 32);
          break;
        case 0x0110:
          cameraModel_ = entry.displayValue.substr(0, 40);
          break;
        case 0x0132:
        case 0x9003:
          dateTime_ = entry.displayValue.substr(0, 20);
          break;
        case 0x9000:
          exifVersion_ = raw.substr(0, 6);
          break;
        case 0x9209:
          flash_ = ClampToInt(value.Numeric());
          break;
        case 0x9286:
          userComment_ = TrimSpacesAndControls(raw.size() > 8 ? raw.substr(8) : std::string());
          userCommentPosition_ = static_cast<int>(pos + 8);
          userCommentLength_ = static_cast<int>(userComment_.size());
          entry.displayValue = userComment_;
          break;
        default:
          break;
      }
      if (tag == 0x014A || tag == 0x8769 || tag == 0xA005 || tag == 0x8825) {
        const double pointer = value.Numeric();
        if (pointer > 0 && pointer < static_cast<double>(blockEnd_)) {
          const int64_t sub = base + static_cast<int64_t>(pointer);
          if (!visited_.count({base, sub})) {
            ParseDirectory(sub, base, tag == 0x8825 ? DirKind::Gps : DirKind::Main, depth + 1);
          }
        }
      }
    }
    if (entry.tag != 0) tags_.push_back(std::move(entry));
  }
}

// Adds the 35 mm equivalent focal length computed from the focal length, the
// focal plane resolution and the image size, unless the block gives it.
void TImageInfo::AddDerivedFocalLength35() {
  if (TagIndexByName("FocalLengthin35mmFilm") >= 0) return;
  auto numeric = [&](std::string_view name) -> double {
    int i = TagIndexByName(name);
    if (i < 0) return 0;
    const TTagEntry& t = tags_[i];
    return ValueReader{t.rawBytes, t.tagType, byteOrder_}.Numeric();
  };
  double focal = numeric("FocalLength");
  double xRes = numeric("FocalPlaneXResolution");
  double yRes = numeric("FocalPlaneYResolution");
  double unit = numeric("FocalPlaneResolutionUnit");
  if (yRes <= 0) yRes = xRes;
  double mmPerUnit = unit == 3 ? 10.0 : unit == 4 ? 1.0 : unit == 5 ? 0.001 : 25.4;
  if (focal <= 0 || xRes <= 0 || width_ <= 0 || height_ <= 0) return;
  double sensorW = width_ * mmPerUnit / xRes;
  double sensorH = height_ * mmPerUnit / yRes;
  double diagonal = std::sqrt(sensorW * sensorW + sensorH * sensorH);
  if (!(diagonal > 0) || !std::isfinite(diagonal)) return;
  double focal35 = focal * 43.2666 / diagonal;  // the 36 x 24 mm frame's diagonal
  if (!std::isfinite(focal35)) return;
  TTagEntry entry;
  for (const TTagEntry& t : MainTagTable())
    if (t.tag == 0xA405) entry = t;
  entry.name = "FocalLengthIn35mmFilm";
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, entry.formatString.c_str(), focal35);
  entry.displayValue = buffer;
  tags_.push_back(std::move(entry));
}

std::string TImageInfo::TagValueByName(std::string_view name) const {
  int i = TagIndexByName(name);
  return i < 0 ? std::string() : tags_[i].displayValue;
}

int TImageInfo::TagIndexByName(std::string_view name) const {
  for (size_t i = 0; i < tags_.size(); ++i)
    if (EqualsIgnoreAsciiCase(tags_[i].name, name)) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------------------
// TimgData

TimgData::TimgData(int buildMode) : buildMode_(buildMode) {}

void TimgData::Clear() {
  sections_.clear();
  exifSection_ = headerSection_ = iptcSection_ = commentSection_ = -1;
  fileName_.clear();
  fileDate_ = fileSize_ = 0;
  errorText_.clear();
  byteOrder_ = TByteOrder::Intel;
  exifObj_.reset();
  iptcObj_.reset();
}

namespace {

// A JPEG made of one EXIF segment holding block, for the segment scan.
std::vector<uint8_t> ExifOnlyJpeg(const std::string& block) {
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE1};
  const size_t length = block.size() + 8;
  jpeg.push_back(static_cast<uint8_t>(length >> 8));
  jpeg.push_back(static_cast<uint8_t>(length & 0xFF));
  jpeg.insert(jpeg.end(), {'E', 'x', 'i', 'f', 0, 0});
  jpeg.insert(jpeg.end(), block.begin(), block.end());
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

bool NamedAsJpeg(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".jpg" || ext == ".jpeg" || ext == ".jpe";
}

}  // namespace

bool TimgData::ReadFileFacts(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path p(path);
  if (!fs::is_regular_file(p, ec)) return false;
  fileName_ = p.filename().string();
  auto size = fs::file_size(p, ec);
  fileSize_ = ec ? 0 : static_cast<int64_t>(size);
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) fileDate_ = static_cast<int64_t>(st.st_mtime);
  errorText_ = "Not an EXIF file";
  return true;
}

bool TimgData::ScanContainerExif(const std::string& block) {
  if (block.empty() || block.size() + 8 > 65535) return false;
  if (!ScanSegments(ExifOnlyJpeg(block))) return false;
  errorText_ = "<none>";
  return true;
}

bool TimgData::ScanJpegBytes(std::span<const uint8_t> bytes) {
  if (!ScanSegments(bytes)) return false;
  errorText_ = "<none>";
  return true;
}

bool TimgData::ReadMetadata(const std::string& path) {
  try {
    Clear();
    if (!ReadFileFacts(path)) return false;
    const std::filesystem::path p(path);
    if (!NamedAsJpeg(p)) {
      // HEIF, AVIF, WebP and TIFF pictures keep their EXIF block elsewhere;
      // it is read as if a JPEG segment held it.
      if (!IsContainerPicture(path)) return false;
      std::ifstream in(p, std::ios::binary);
      const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
      TSourceMetadata m;
      ReadSourceMetadata(file, m);
      return ScanContainerExif(m.Exif);
    }

    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(std::min<int64_t>(fileSize_, kMaxScanBytes)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return ScanJpegBytes(bytes);
  } catch (const ETruncatedData&) {
    // Only a read past the end of the data is the file's fault; anything
    // else is a fault of this code and goes on to the caller.
    errorText_ = "Illegal Exif construction";
    return false;
  }
}

bool TimgData::ReadMetadata(const TPictureMetadata& m, const std::string& path) {
  try {
    Clear();
    if (!ReadFileFacts(path)) return false;
    if (!NamedAsJpeg(std::filesystem::path(path)))
      return m.Kind == TMetadataSource::Container && ScanContainerExif(m.Exif);
    // The scan looks no further into a file than it would reading it.
    const size_t n = static_cast<size_t>(
        std::min<int64_t>({fileSize_, kMaxScanBytes, static_cast<int64_t>(m.JpegHeader.size())}));
    return ScanJpegBytes({reinterpret_cast<const uint8_t*>(m.JpegHeader.data()), n});
  } catch (const ETruncatedData&) {
    errorText_ = "Illegal Exif construction";
    return false;
  }
}

bool TimgData::ReadMetadata(const TPictureMetadata& m) {
  try {
    Clear();
    errorText_ = "Not an EXIF file";
    if (m.Kind == TMetadataSource::Container) return ScanContainerExif(m.Exif);
    return ScanJpegBytes(
        {reinterpret_cast<const uint8_t*>(m.JpegHeader.data()), m.JpegHeader.size()});
  } catch (const ETruncatedData&) {
    errorText_ = "Illegal Exif construction";
    return false;
  }
}

bool TimgData::ReadMetadata(std::span<const uint8_t> bytes) {
  try {
    Clear();
    errorText_ = "Not an EXIF file";
    if (ScanSegments(bytes)) {
      errorText_ = "<none>";
      return true;
    }
    return false;
  } catch (const ETruncatedData&) {
    errorText_ = "Illegal Exif construction";
    return false;
  }
}

bool TimgData::ScanSegments(std::span<const uint8_t> b) {
  TByteReader reader(b);
  if (reader.Size() < 2 || reader.U8() != 0xFF || reader.U8() != 0xD8) return false;
  auto found = [&] { return exifSection_ >= 0 || iptcSection_ >= 0 || commentSection_ >= 0; };
  while (sections_.size() < kMaxSections) {
    while (!reader.AtEnd() && reader.Peek() == 0xFF) reader.Skip(1);
    if (reader.AtEnd()) {
      errorText_ = "Illegal Exif construction";
      return false;
    }
    MetadataSection section;
    section.markerCode = reader.U8();
    if (section.markerCode == 0xD9) break;  // end of image: no length field
    // The length counts its own two bytes, which the section keeps.
    const size_t start = reader.Position();
    const size_t length = reader.Remaining() < 2 ? 0 : reader.U16BE();
    if (length < 2 || length - 2 > reader.Remaining()) {
      errorText_ = "Illegal Exif construction";
      return false;
    }
    reader.Seek(start);
    const std::span<const uint8_t> bytes = reader.Bytes(length);
    section.length = static_cast<int>(length);
    section.bytes.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    sections_.push_back(std::move(section));
    const int index = static_cast<int>(sections_.size()) - 1;
    if (sections_.size() == 5 && !found()) break;

    const int code = sections_[index].markerCode;
    if (code == 0xDA) break;
    if (code == 0xE0) {
      headerSection_ = index;
    } else if (code == 0xE1) {
      const bool isExif = sections_[index].bytes.compare(2, 4, "Exif") == 0;
      const bool replacesNonExif = exifSection_ >= 0 && isExif && exifObj_ &&
                                   exifObj_->ErrorText() == "Incorrect Exif header";
      if (index < 5 && (exifSection_ < 0 || replacesNonExif)) {
        exifSection_ = index;
        exifObj_ = std::make_unique<TImageInfo>(buildMode_);
        exifObj_->ProcessExifBlock(sections_[index].bytes);
        byteOrder_ = exifObj_->ByteOrder();
      } else {
        sections_.pop_back();
      }
    } else if (code == 0xED) {
      if (iptcSection_ < 0) {
        iptcSection_ = index;
        iptcObj_ = std::make_unique<TIPTCdata>(sections_[index].bytes);
      }
    } else if (code == 0xFE) {
      commentSection_ = index;
    }
  }
  return found();
}

std::string TimgData::DateTime() const { return exifObj_ ? exifObj_->DateTime() : std::string(); }
std::string TimgData::CameraMake() const {
  return exifObj_ ? exifObj_->CameraMake() : std::string();
}
std::string TimgData::CameraModel() const {
  return exifObj_ ? exifObj_->CameraModel() : std::string();
}
int TimgData::Width() const { return exifObj_ ? exifObj_->Width() : 0; }
int TimgData::Height() const { return exifObj_ ? exifObj_->Height() : 0; }
std::string TimgData::TagValueByName(std::string_view name) const {
  return exifObj_ ? exifObj_->TagValueByName(name) : std::string();
}

std::vector<TTagEntry> ReadExifTags(std::span<const uint8_t> jpegBytes) {
  TimgData reader(255);
  reader.ReadMetadata(jpegBytes);
  return reader.ExifObj() ? reader.ExifObj()->Tags() : std::vector<TTagEntry>();
}

}  // namespace imprimo
