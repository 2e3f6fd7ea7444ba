#include "exif/metadata_writer.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <exiv2/exiv2.hpp>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>

#include "exif/maker_note.h"
#include "exif/png_metadata.h"
#include "exif/source_metadata.h"
#include "exif/xmp_namespaces.h"
#include "imageops/resize.h"
#include "imaging/file_format.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/tiff_format.h"
#include "imaging/formats/webp_format.h"
#include "imaging/icc_profile.h"
#include "imaging/imaging_stream.h"
#include "platform/byte_reader.h"
#include "platform/file_io.h"

namespace imprimo {

namespace {

// Bytes a JPEG marker segment holds after its two length bytes.
constexpr size_t kMaxSegmentPayload = 65533;

constexpr char kExifId[] = "Exif\0\0";  // 6 bytes
constexpr size_t kExifIdSize = 6;
constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";  // + zero byte
constexpr size_t kXmpIdSize = 29;
constexpr char kXmpExtId[] = "http://ns.adobe.com/xmp/extension/";  // + zero byte
constexpr size_t kXmpExtIdSize = 35;
constexpr char kPhotoshopId[] = "Photoshop 3.0";  // + zero byte
constexpr size_t kPhotoshopIdSize = 14;
// Extended XMP larger than this is not carried.
constexpr size_t kMaxExtendedXmp = 16u << 20;

using Bytes = std::span<const uint8_t>;

bool StartsWith(Bytes data, size_t pos, const char* id, size_t size) {
  return pos + size <= data.size() && std::memcmp(data.data() + pos, id, size) == 0;
}

bool StartsWith(const std::string& s, std::string_view prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

uint32_t Be32(const std::string& s, size_t pos) {
  return (uint32_t(uint8_t(s[pos])) << 24) | (uint32_t(uint8_t(s[pos + 1])) << 16) |
         (uint32_t(uint8_t(s[pos + 2])) << 8) | uint32_t(uint8_t(s[pos + 3]));
}

void Put16(std::string& out, size_t v) {
  out += char((v >> 8) & 0xFF);
  out += char(v & 0xFF);
}

void AppendSegment(std::string& out, int marker, std::string_view payload) {
  out += '\xFF';
  out += char(marker);
  Put16(out, payload.size() + 2);
  out.append(payload);
}

// The metadata segments of a JPEG source, as found before its first scan.
struct TSourceSegments {
  bool HasExif = false;
  std::string Exif;  // TIFF block, after the "Exif" identifier
  bool HasXmp = false;
  std::string Xmp;  // the main packet
  // Extended XMP chunks by GUID: (full length, offset, data).
  struct TExtChunk {
    uint32_t FullLength = 0, Offset = 0;
    std::string Data;
  };
  std::map<std::string, std::vector<TExtChunk>> ExtendedXmp;
  bool HasPhotoshop = false;
  std::string Photoshop;  // resource blocks of all APP13 segments, joined
  bool HasComment = false;
  std::string Comment;
};

TSourceSegments ScanJpegSegments(Bytes d) {
  TSourceSegments s;
  size_t p = 2;
  while (p + 4 <= d.size() && d[p] == 0xFF) {
    const uint8_t code = d[p + 1];
    if (code == 0xFF) {
      ++p;
      continue;
    }
    if (code == 0xDA || code == 0xD9) break;
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
      p += 2;
      continue;
    }
    const size_t length = (size_t(d[p + 2]) << 8) | d[p + 3];
    if (length < 2 || p + 2 + length > d.size()) break;
    const size_t body = p + 4, size = length - 2;
    const char* text = reinterpret_cast<const char*>(d.data()) + body;
    if (code == 0xE1 && !s.HasExif && StartsWith(d, body, kExifId, kExifIdSize)) {
      s.HasExif = true;
      s.Exif.assign(text + kExifIdSize, size - kExifIdSize);
    } else if (code == 0xE1 && !s.HasXmp && StartsWith(d, body, kXmpId, kXmpIdSize)) {
      s.HasXmp = true;
      s.Xmp.assign(text + kXmpIdSize, size - kXmpIdSize);
    } else if (code == 0xE1 && StartsWith(d, body, kXmpExtId, kXmpExtIdSize) &&
               size >= kXmpExtIdSize + 40) {
      TSourceSegments::TExtChunk c;
      const std::string head(text + kXmpExtIdSize, 40);
      c.FullLength = Be32(head, 32);
      c.Offset = Be32(head, 36);
      c.Data.assign(text + kXmpExtIdSize + 40, size - kXmpExtIdSize - 40);
      s.ExtendedXmp[head.substr(0, 32)].push_back(std::move(c));
    } else if (code == 0xED && StartsWith(d, body, kPhotoshopId, kPhotoshopIdSize)) {
      s.HasPhotoshop = true;
      s.Photoshop.append(text + kPhotoshopIdSize, size - kPhotoshopIdSize);
    } else if (code == 0xFE && !s.HasComment) {
      s.HasComment = true;
      s.Comment.assign(text, size);
    }
    p += 2 + length;
  }
  return s;
}

// Joins the chunks of one extended XMP packet; empty when they do not cover
// it exactly.
std::string JoinExtendedXmp(const std::vector<TSourceSegments::TExtChunk>& chunks) {
  if (chunks.empty()) return std::string();
  const uint32_t full = chunks.front().FullLength;
  if (full == 0 || full > kMaxExtendedXmp) return std::string();
  std::string packet(full, '\0');
  std::vector<bool> covered(full, false);
  for (const auto& c : chunks) {
    if (c.FullLength != full || c.Offset > full || c.Data.size() > full - c.Offset)
      return std::string();
    std::copy(c.Data.begin(), c.Data.end(), packet.begin() + c.Offset);
    std::fill(covered.begin() + c.Offset, covered.begin() + c.Offset + c.Data.size(), true);
  }
  if (std::find(covered.begin(), covered.end(), false) != covered.end()) return std::string();
  return packet;
}

bool IsJpeg(Bytes d) { return d.size() >= 4 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF; }

bool IsPng(Bytes d) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return d.size() >= 8 && std::memcmp(d.data(), kSignature, 8) == 0;
}

// The colour space a written output's pixels are in: 1 gray, 3 RGB, 0 unknown.
int OutputChannels(Bytes d) {
  if (IsPng(d)) {
    if (d.size() < 8 + 25) return 0;
    const uint8_t type = d[8 + 8 + 9];
    return (type == 0 || type == 4) ? 1 : 3;
  }
  size_t p = 2;
  while (p + 4 <= d.size() && d[p] == 0xFF) {
    const uint8_t code = d[p + 1];
    const size_t length = (size_t(d[p + 2]) << 8) | d[p + 3];
    const bool frame = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
    if (frame) return p + 9 < d.size() ? d[p + 9] : 0;
    if (code == 0xDA || length < 2) return 0;
    p += 2 + length;
  }
  return 0;
}

std::string ColourSpaceName(uint32_t space) {
  switch (space) {
    case kIccRgb:
      return "RGB";
    case kIccGray:
      return "gray";
    case kIccCmyk:
      return "CMYK";
    default:
      return "another colour space";
  }
}

void MuteLibraryMessages() {
  static std::once_flag once;
  std::call_once(once, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize();
    try {
      Exiv2::XmpProperties::ns("xmpNote");
    } catch (const std::exception&) {
      Exiv2::XmpProperties::registerNs("http://ns.adobe.com/xmp/note/", "xmpNote");
    }
  });
}

// A JPEG thumbnail of the finished picture: longest side kExifThumbnailSide,
// no JFIF header. Empty when it cannot be made.
std::string BuildThumbnail(const RasterImage& pixels) {
  try {
    if (!ImageIsValid(pixels) || pixels.Width < 1 || pixels.Height < 1) return std::string();
    RasterImage small;
    if (!ImageClone(pixels, small)) return std::string();
    const int longest = std::max(small.Width, small.Height);
    if (longest > kExifThumbnailSide) {
      const int w =
          std::max(1, int((int64_t(small.Width) * kExifThumbnailSide + longest / 2) / longest));
      const int h =
          std::max(1, int((int64_t(small.Height) * kExifThumbnailSide + longest / 2) / longest));
      ImageResize(small, w, h, rfBicubic);
    }
    if (small.Format != ifGray8 && small.Format != ifR8G8B8 && !ImageConvert(small, ifR8G8B8))
      return std::string();
    TMemoryStream stream;
    EncodeJpeg(small, kExifThumbnailQuality, false, stream);
    const std::vector<uint8_t>& d = stream.Data();
    std::string jpeg(reinterpret_cast<const char*>(d.data()), d.size());
    if (jpeg.size() > 6 && uint8_t(jpeg[2]) == 0xFF && uint8_t(jpeg[3]) == 0xE0) {
      const size_t length = (size_t(uint8_t(jpeg[4])) << 8) | uint8_t(jpeg[5]);
      if (4 + length <= jpeg.size()) jpeg.erase(2, 2 + length);
    }
    return jpeg;
  } catch (const std::exception&) {
    return std::string();
  }
}

// --- EXIF ----------------------------------------------------------------

bool IsMakerNoteGroup(const std::string& group) {
  static const std::set<std::string> kStandard = {"Image",   "Photo",     "Iop",
                                                  "GPSInfo", "Thumbnail", "MakerNote"};
  return kStandard.count(group) == 0 && !StartsWith(group, "Image") &&
         !StartsWith(group, "SubImage") && !StartsWith(group, "SubThumb");
}

// Removes preview pictures kept by maker notes, as far as they are known.
void ErasePreviews(Exiv2::ExifData& exif) {
  for (auto it = exif.begin(); it != exif.end();) {
    const std::string group = it->groupName(), tag = it->tagName();
    const bool preview = group.find("Preview") != std::string::npos ||
                         (IsMakerNoteGroup(group) && (tag.find("Preview") != std::string::npos ||
                                                      tag.find("Thumbnail") != std::string::npos));
    it = preview ? exif.erase(it) : std::next(it);
  }
}

void EraseGroup(Exiv2::ExifData& exif, const std::string& group) {
  for (auto it = exif.begin(); it != exif.end();)
    it = it->groupName() == group ? exif.erase(it) : std::next(it);
}

void EraseKey(Exiv2::ExifData& exif, const char* key) {
  auto it = exif.findKey(Exiv2::ExifKey(key));
  if (it != exif.end()) exif.erase(it);
}

// Sets a size tag, keeping a SHORT tag SHORT where the value fits.
void SetSize(Exiv2::ExifData& exif, const char* key, int value, bool onlyIfPresent) {
  auto it = exif.findKey(Exiv2::ExifKey(key));
  if (it == exif.end()) {
    if (onlyIfPresent) return;
    exif[key] = uint32_t(value);
    return;
  }
  if (it->typeId() == Exiv2::unsignedShort && value <= 65535)
    *it = uint16_t(value);
  else
    *it = uint32_t(value);
}

std::set<std::string> Keys(const Exiv2::ExifData& exif) {
  std::set<std::string> keys;
  for (const auto& d : exif) keys.insert(d.key());
  return keys;
}

std::string KeyList(const std::set<std::string>& keys) {
  std::string text;
  int n = 0;
  for (const std::string& k : keys) {
    if (n == 5) {
      text += " and " + std::to_string(keys.size() - 5) + " more";
      break;
    }
    text += (n++ ? ", " : "") + k;
  }
  return text;
}

// Encodes the EXIF data; empty when encoding fails.
std::string EncodeExif(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, order, exif);
  return std::string(reinterpret_cast<const char*>(blob.data()), blob.size());
}

bool HasMakerNote(const Exiv2::ExifData& exif) {
  for (const auto& d : exif)
    if (d.groupName() == "MakerNote" || IsMakerNoteGroup(d.groupName()) ||
        d.key() == "Exif.Photo.MakerNote")
      return true;
  return false;
}

void EraseMakerNote(Exiv2::ExifData& exif) {
  for (auto it = exif.begin(); it != exif.end();)
    it = (it->groupName() == "MakerNote" || IsMakerNoteGroup(it->groupName()) ||
          it->key() == "Exif.Photo.MakerNote")
             ? exif.erase(it)
             : std::next(it);
}

// The bytes of the preview pictures a parsed maker note holds.
std::vector<std::string> MakerNotePreviews(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
  std::vector<std::string> previews;
  for (const auto& d : exif) {
    const std::string group = d.groupName(), tag = d.tagName();
    if (group != "MakerNote" && !IsMakerNoteGroup(group)) continue;
    const bool preview =
        group.find("Preview") != std::string::npos || tag.find("Preview") != std::string::npos ||
        tag.find("Thumbnail") != std::string::npos || tag.find("JpgFromRaw") != std::string::npos;
    if (!preview) continue;
    const Exiv2::DataBuf area = d.dataArea();
    if (area.size_ > 0)
      previews.emplace_back(reinterpret_cast<const char*>(area.pData_), size_t(area.size_));
    if (d.size() > 0) {
      std::string value(d.size(), '\0');
      d.copy(reinterpret_cast<Exiv2::byte*>(value.data()), order);
      previews.push_back(std::move(value));
    }
  }
  return previews;
}

// Replaces the parsed maker note by the source's own bytes; PlaceMakerNote
// puts them right once the block is encoded.
void CarryRawMakerNote(Exiv2::ExifData& exif, const TMakerNote& note) {
  EraseMakerNote(exif);
  const Exiv2::DataValue value(reinterpret_cast<const Exiv2::byte*>(note.Bytes.data()),
                               long(note.Bytes.size()), Exiv2::invalidByteOrder, Exiv2::undefined);
  exif.add(Exiv2::ExifKey("Exif.Photo.MakerNote"), &value);
}

// The source's EXIF block parsed; false (with its warning) when it cannot
// be read.
bool DecodeSourceExif(const std::string& tiff, Exiv2::ExifData& exif, Exiv2::ByteOrder& order,
                      std::vector<std::string>& warnings) {
  try {
    order = Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(tiff.data()),
                                      uint32_t(tiff.size()));
  } catch (const std::exception&) {
    exif.clear();
    order = Exiv2::invalidByteOrder;
  }
  if (exif.empty() || order == Exiv2::invalidByteOrder) {
    warnings.push_back("EXIF data dropped: the source's EXIF block could not be read");
    return false;
  }
  return true;
}

// The maker note travels as the camera wrote it, its preview pictures
// blanked; true when exif now holds those raw bytes (kept in note).
bool TakeRawMakerNote(const std::string& tiff, Exiv2::ExifData& exif, Exiv2::ByteOrder order,
                      TMakerNote& note) {
  if (!HasMakerNote(exif) || !FindMakerNote(tiff, note)) return false;
  BlankInMakerNote(note, MakerNotePreviews(exif, order));
  BlankEmbeddedJpegs(note);
  CarryRawMakerNote(exif, note);
  return true;
}

// Removes the source's thumbnail and previews; true when it had a thumbnail
// (the output then gets one of its own).
bool RemoveSourcePictures(Exiv2::ExifData& exif) {
  bool hadThumbnail = false;
  for (const auto& d : exif)
    if (d.groupName() == "Thumbnail") hadThumbnail = true;
  Exiv2::ExifThumb(exif).erase();
  ErasePreviews(exif);
  return hadThumbnail;
}

// The fields that describe the output: orientation, pixel size, and the
// location left out when asked.
void EditOutputFields(Exiv2::ExifData& exif, int width, int height,
                      const TMetadataOptions& options) {
  if (options.SetOrientation1 &&
      exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")) != exif.end())
    exif["Exif.Image.Orientation"] = uint16_t(1);
  SetSize(exif, "Exif.Image.ImageWidth", width, true);
  SetSize(exif, "Exif.Image.ImageLength", height, true);
  bool hasExifIfd = false;
  for (const auto& d : exif)
    if (d.groupName() == "Photo") hasExifIfd = true;
  SetSize(exif, "Exif.Photo.PixelXDimension", width, !hasExifIfd);
  SetSize(exif, "Exif.Photo.PixelYDimension", height, !hasExifIfd);
  if (options.StripLocation) {
    EraseGroup(exif, "GPSInfo");
    EraseKey(exif, "Exif.Image.GPSTag");
  }
}

// Encodes exif to fit one JPEG segment: whole, then without the maker note,
// then without the thumbnail as well (the thumbnail goes in last, so it is
// the first thing to give up). Empty, with the warning, when nothing fits.
std::string EncodeToFit(const Exiv2::ExifData& exif, Exiv2::ByteOrder order,
                        const std::string& thumbnail, const TMakerNote* rawNote,
                        std::vector<std::string>& warnings) {
  const size_t limit = kMaxSegmentPayload - kExifIdSize;
  std::string block;
  for (int attempt = 0; attempt < 3; ++attempt) {
    Exiv2::ExifData trial = exif;
    if (attempt >= 1) EraseMakerNote(trial);
    if (attempt == 1 && !HasMakerNote(exif)) continue;
    try {
      if (attempt < 2 && !thumbnail.empty()) {
        Exiv2::URational resolution(72, 1);
        Exiv2::ExifThumb(trial).setJpegThumbnail(
            reinterpret_cast<const Exiv2::byte*>(thumbnail.data()), long(thumbnail.size()),
            resolution, resolution, 2);
      }
      block = EncodeExif(trial, order);
      if (rawNote && attempt == 0 && !PlaceMakerNote(block, *rawNote)) block.clear();
    } catch (const std::exception&) {
      block.clear();
    }
    if (!block.empty() && block.size() <= limit) {
      std::string what;
      if (attempt >= 1 && HasMakerNote(exif)) what = "maker note";
      if (attempt == 2 && !thumbnail.empty()) what += what.empty() ? "thumbnail" : " and thumbnail";
      if (!what.empty())
        warnings.push_back("EXIF " + what +
                           " dropped: the EXIF block did not fit in a JPEG segment");
      return block;
    }
    block.clear();
  }
  warnings.push_back("EXIF data dropped: it does not fit in a JPEG segment or cannot be written");
  return std::string();
}

// Names the tags of wanted that the encoder left out of block (it drops what
// a JPEG cannot hold); false when block cannot be read back.
bool NameLostTags(const std::string& block, const std::set<std::string>& wanted,
                  std::vector<std::string>& warnings) {
  Exiv2::ExifData written;
  try {
    Exiv2::ExifParser::decode(written, reinterpret_cast<const Exiv2::byte*>(block.data()),
                              uint32_t(block.size()));
  } catch (const std::exception&) {
    warnings.push_back("EXIF data dropped: the rewritten block could not be checked");
    return false;
  }
  // Directory pointers follow their contents, and IFD0 tags that describe
  // uncompressed data have no meaning for a JPEG; neither counts as lost.
  static const std::set<std::string> kNotLost = {"Exif.Image.ExifTag",
                                                 "Exif.Image.GPSTag",
                                                 "Exif.Photo.InteroperabilityTag",
                                                 "Exif.Image.ImageWidth",
                                                 "Exif.Image.ImageLength",
                                                 "Exif.Image.BitsPerSample",
                                                 "Exif.Image.Compression",
                                                 "Exif.Image.PhotometricInterpretation",
                                                 "Exif.Image.StripOffsets",
                                                 "Exif.Image.SamplesPerPixel",
                                                 "Exif.Image.RowsPerStrip",
                                                 "Exif.Image.StripByteCounts",
                                                 "Exif.Image.PlanarConfiguration",
                                                 "Exif.Image.JPEGInterchangeFormat",
                                                 "Exif.Image.JPEGInterchangeFormatLength"};
  const std::set<std::string> got = Keys(written);
  std::set<std::string> lost;
  for (const std::string& k : wanted)
    if (!got.count(k) && !kNotLost.count(k) && !StartsWith(k, "Exif.Thumbnail.") &&
        k.find("MakerNote") == std::string::npos &&
        !(IsMakerNoteGroup(Exiv2::ExifKey(k).groupName())))
      lost.insert(k);
  if (!lost.empty()) warnings.push_back("EXIF tags dropped: " + KeyList(lost));
  return true;
}

// The new EXIF block (TIFF data) of the output; empty when none is written.
std::string BuildExif(const std::string& tiff, const RasterImage& pixels, int width, int height,
                      const TMetadataOptions& options, std::vector<std::string>& warnings) {
  Exiv2::ExifData exif;
  Exiv2::ByteOrder order;
  if (!DecodeSourceExif(tiff, exif, order, warnings)) return std::string();
  TMakerNote rawNote;
  const bool rawMakerNote = TakeRawMakerNote(tiff, exif, order, rawNote);
  const bool hadThumbnail = RemoveSourcePictures(exif);
  EditOutputFields(exif, width, height, options);

  const std::string thumbnail = hadThumbnail ? BuildThumbnail(pixels) : std::string();
  if (hadThumbnail && thumbnail.empty())
    warnings.push_back("EXIF thumbnail removed: it could not be rebuilt");
  const std::string block =
      EncodeToFit(exif, order, thumbnail, rawMakerNote ? &rawNote : nullptr, warnings);
  if (block.empty()) return std::string();
  if (!NameLostTags(block, Keys(exif), warnings)) return std::string();
  return block;
}

// --- XMP -----------------------------------------------------------------

bool IsPreviewKey(const std::string& key) {
  return StartsWith(key, "Xmp.xmp.Thumbnails") || key.find("xmpGImg") != std::string::npos ||
         key.find("PreviewImage") != std::string::npos;
}

bool IsLocationKey(const std::string& key) {
  if (StartsWith(key, "Xmp.exif.GPS")) return true;
  static const char* const kProperties[] = {
      "Xmp.photoshop.City", "Xmp.photoshop.State", "Xmp.photoshop.Country",
      // The IPTC Core and Extension schemas, under the library's prefixes.
      "Xmp.iptc.Location", "Xmp.iptc.CountryCode", "Xmp.iptcExt.LocationCreated",
      "Xmp.iptcExt.LocationShown"};
  for (const char* property : kProperties) {
    const size_t n = std::strlen(property);
    // The property itself or a member of it ("[1]", "/field").
    if (key.compare(0, n, property) == 0 && (key.size() == n || key[n] == '[' || key[n] == '/'))
      return true;
  }
  return false;
}

// Applies the output's edits; true when something changed.
bool EditXmp(Exiv2::XmpData& xmp, int width, int height, const TMetadataOptions& options) {
  bool changed = false;
  for (auto it = xmp.begin(); it != xmp.end();) {
    const std::string key = it->key();
    if (IsPreviewKey(key) || (options.StripLocation && IsLocationKey(key))) {
      it = xmp.erase(it);
      changed = true;
    } else {
      ++it;
    }
  }
  auto set = [&](const char* key, const std::string& value) {
    auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it == xmp.end() || it->toString() == value) return;
    it->setValue(value);
    changed = true;
  };
  if (options.SetOrientation1) set("Xmp.tiff.Orientation", "1");
  set("Xmp.tiff.ImageWidth", std::to_string(width));
  set("Xmp.tiff.ImageLength", std::to_string(height));
  set("Xmp.exif.PixelXDimension", std::to_string(width));
  set("Xmp.exif.PixelYDimension", std::to_string(height));
  return changed;
}

bool DecodeXmp(const std::string& packet, Exiv2::XmpData& xmp) {
  try {
    // The toolkit wants the packet without trailing zero bytes.
    std::string text = packet;
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return Exiv2::XmpParser::decode(xmp, text) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

bool EncodeXmp(const Exiv2::XmpData& xmp, std::string& packet) {
  try {
    return Exiv2::XmpParser::encode(packet, xmp, Exiv2::XmpParser::useCompactFormat, 0) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

// The XMP segments (APP1 payloads) of the output.
std::vector<std::string> BuildXmp(const TSourceSegments& s, int width, int height,
                                  const TMetadataOptions& options,
                                  std::vector<std::string>& warnings) {
  std::vector<std::string> segments;
  Exiv2::XmpData xmp;
  if (!DecodeXmp(s.Xmp, xmp)) {
    warnings.push_back("XMP dropped: the source's XMP packet could not be read");
    return segments;
  }
  EditXmp(xmp, width, height, options);

  // Extended XMP is carried as it was when the edits leave it alone; the
  // main packet names it by the MD5 digest of its bytes.
  std::vector<std::string> extended;
  auto note = xmp.findKey(Exiv2::XmpKey("Xmp.xmpNote.HasExtendedXMP"));
  if (note != xmp.end()) {
    const std::string guid = note->toString();
    auto found = s.ExtendedXmp.find(guid);
    const std::string packet =
        found == s.ExtendedXmp.end() ? std::string() : JoinExtendedXmp(found->second);
    Exiv2::XmpData ext;
    std::string problem;
    if (packet.empty())
      problem = "its parts are missing or inconsistent";
    else if (!DecodeXmp(packet, ext))
      problem = "it could not be read";
    else if (EditXmp(ext, width, height, options))
      problem = "it holds fields that had to change";
    if (problem.empty()) {
      const size_t step = kMaxSegmentPayload - kXmpExtIdSize - 40;
      for (size_t off = 0; off < packet.size(); off += step) {
        std::string seg(kXmpExtId, kXmpExtIdSize);
        seg += guid;
        AppendU32BE(seg, uint32_t(packet.size()));
        AppendU32BE(seg, uint32_t(off));
        seg.append(packet, off, step);
        extended.push_back(std::move(seg));
      }
    } else {
      warnings.push_back("extended XMP dropped: " + problem);
      xmp.erase(note);
    }
  }

  std::string packet;
  if (!EncodeXmp(xmp, packet)) {
    warnings.push_back("XMP dropped: the packet could not be written");
    return segments;
  }
  RestoreXmpNamespaces(s.Xmp, packet);
  if (packet.size() + kXmpIdSize > kMaxSegmentPayload) {
    warnings.push_back("XMP dropped: the packet (" + std::to_string(packet.size()) +
                       " bytes) does not fit in a JPEG segment");
    return segments;
  }
  segments.push_back(std::string(kXmpId, kXmpIdSize) + packet);
  segments.insert(segments.end(), extended.begin(), extended.end());
  return segments;
}

// --- IPTC / Photoshop resources -------------------------------------------

// One Photoshop image resource: its id, the bytes of its header (signature,
// id and name) and its data.
struct TResource {
  uint16_t Id = 0;
  std::string Header;
  std::string Data;
};

bool ParseResources(const std::string& s, std::vector<TResource>& out) {
  size_t p = 0;
  while (p < s.size()) {
    if (s.size() - p < 12 || s.compare(p, 4, "8BIM") != 0) return false;
    TResource r;
    r.Id = uint16_t((uint8_t(s[p + 4]) << 8) | uint8_t(s[p + 5]));
    size_t nameLength = uint8_t(s[p + 6]);
    size_t q = p + 6 + ((nameLength + 2) & ~size_t(1));  // name padded to even
    if (q + 4 > s.size()) return false;
    const size_t size = Be32(s, q);
    r.Header = s.substr(p, q - p);
    q += 4;
    if (size > s.size() - q) return false;
    r.Data = s.substr(q, size);
    p = q + size + (size & 1);
    out.push_back(std::move(r));
  }
  return true;
}

std::string JoinResources(const std::vector<TResource>& rs) {
  std::string out;
  for (const TResource& r : rs) {
    out += r.Header;
    AppendU32BE(out, uint32_t(r.Data.size()));
    out += r.Data;
    if (r.Data.size() & 1) out += '\0';
  }
  return out;
}

// The IPTC datasets of an image resource; false when they cannot be read.
bool DecodeIptc(const std::string& data, Exiv2::IptcData& iptc) {
  try {
    return Exiv2::IptcParser::decode(iptc, reinterpret_cast<const Exiv2::byte*>(data.data()),
                                     uint32_t(data.size())) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

// Removes the place names of IPTC data; true when there were any.
bool EraseIptcLocation(Exiv2::IptcData& iptc) {
  static const char* const kLocation[] = {
      "Iptc.Application2.City",          "Iptc.Application2.SubLocation",
      "Iptc.Application2.ProvinceState", "Iptc.Application2.CountryName",
      "Iptc.Application2.CountryCode",   "Iptc.Application2.LocationCode",
      "Iptc.Application2.LocationName"};
  bool removed = false;
  for (const char* key : kLocation) {
    for (auto it = iptc.findKey(Exiv2::IptcKey(key)); it != iptc.end();
         it = iptc.findKey(Exiv2::IptcKey(key))) {
      iptc.erase(it);
      removed = true;
    }
  }
  return removed;
}

// The APP13 payload of the output; empty when none is written.
std::string BuildPhotoshop(const std::string& block, const TMetadataOptions& options,
                           std::vector<std::string>& warnings) {
  std::vector<TResource> resources;
  if (!ParseResources(block, resources)) {
    warnings.push_back("IPTC data dropped: the source's Photoshop block could not be read");
    return std::string();
  }
  std::vector<TResource> kept;
  bool iptcChanged = false;
  for (TResource& r : resources) {
    if (r.Id == 0x0409 || r.Id == 0x040C) continue;  // thumbnails of the source picture
    if (r.Id == 0x0404 && options.StripLocation) {
      Exiv2::IptcData iptc;
      if (!DecodeIptc(r.Data, iptc)) {
        warnings.push_back("IPTC data dropped: it could not be read to remove the location");
        iptcChanged = true;
        continue;
      }
      if (EraseIptcLocation(iptc)) {
        Exiv2::DataBuf encoded = Exiv2::IptcParser::encode(iptc);
        r.Data.assign(reinterpret_cast<const char*>(encoded.pData_), size_t(encoded.size_));
        iptcChanged = true;
        if (r.Data.empty()) continue;
      }
    }
    kept.push_back(std::move(r));
  }
  if (iptcChanged)  // the digest of the old IPTC data no longer holds
    kept.erase(
        std::remove_if(kept.begin(), kept.end(), [](const TResource& r) { return r.Id == 0x0425; }),
        kept.end());
  if (kept.empty()) return std::string();
  std::string payload = std::string(kPhotoshopId, kPhotoshopIdSize) + JoinResources(kept);
  if (payload.size() > kMaxSegmentPayload) {
    warnings.push_back("IPTC data dropped: the Photoshop block does not fit in a JPEG segment");
    return std::string();
  }
  return payload;
}

// The IPTC datasets of a JPEG source's Photoshop block, without their place
// names when location is stripped; false when there are none or they cannot
// be read (that is said).
bool SourceIptc(const TSourceSegments& s, const TMetadataOptions& options, Exiv2::IptcData& iptc,
                std::vector<std::string>& warnings) {
  if (!s.HasPhotoshop) return false;
  std::vector<TResource> resources;
  if (!ParseResources(s.Photoshop, resources)) {
    warnings.push_back("IPTC data dropped: the source's Photoshop block could not be read");
    return false;
  }
  for (const TResource& r : resources) {
    if (r.Id != 0x0404) continue;
    if (!DecodeIptc(r.Data, iptc)) {
      warnings.push_back("IPTC data dropped: the source's IPTC datasets could not be read");
      iptc.clear();
      return false;
    }
    if (options.StripLocation) EraseIptcLocation(iptc);
    return !iptc.empty();
  }
  return false;
}

// --- Outputs without segment limits -----------------------------------------

// Whether xmp holds the property key, or a member of it.
bool HasXmpProperty(const Exiv2::XmpData& xmp, const std::string& key) {
  for (const auto& d : xmp) {
    const std::string k = d.key();
    if (k.compare(0, key.size(), key) == 0 &&
        (k.size() == key.size() || k[key.size()] == '[' || k[key.size()] == '/'))
      return true;
  }
  return false;
}

// Adds the properties of from that xmp does not have yet.
void MergeXmp(Exiv2::XmpData& xmp, const Exiv2::XmpData& from) {
  // Whether xmp had a property before any of from was added to it.
  std::map<std::string, bool> had;
  for (const auto& d : from) {
    const std::string key = d.key();
    const std::string property = key.substr(0, key.find_first_of("[/", key.find('.', 4) + 1));
    auto it = had.find(property);
    if (it == had.end()) it = had.emplace(property, HasXmpProperty(xmp, property)).first;
    if (!it->second) xmp.add(d);
  }
}

// The XMP packet of an output that holds it whole (PNG, WebP, AVIF, TIFF):
// the source's packet with its extended part folded in and the same edits as
// a JPEG output's, plus the IPTC fields it lacks when iptc is given (for a
// format without an IPTC block of its own). Empty when there is none.
std::string BuildWholeXmp(const TSourceSegments& s, int width, int height,
                          const TMetadataOptions& options, const Exiv2::IptcData* iptc,
                          std::vector<std::string>& warnings) {
  Exiv2::XmpData xmp;
  if (s.HasXmp && !DecodeXmp(s.Xmp, xmp)) {
    warnings.push_back("XMP dropped: the source's XMP packet could not be read");
    xmp.clear();
    if (!iptc) return std::string();
  }
  auto note = xmp.findKey(Exiv2::XmpKey("Xmp.xmpNote.HasExtendedXMP"));
  if (note != xmp.end()) {
    auto found = s.ExtendedXmp.find(note->toString());
    const std::string packet =
        found == s.ExtendedXmp.end() ? std::string() : JoinExtendedXmp(found->second);
    Exiv2::XmpData ext;
    xmp.erase(note);
    if (packet.empty() || !DecodeXmp(packet, ext))
      warnings.push_back("extended XMP dropped: its parts are missing or cannot be read");
    else
      MergeXmp(xmp, ext);
  }
  if (iptc && !iptc->empty()) {
    Exiv2::XmpData converted;
    Exiv2::copyIptcToXmp(*iptc, converted);
    MergeXmp(xmp, converted);
  }
  EditXmp(xmp, width, height, options);
  if (xmp.empty()) return std::string();
  std::string packet;
  if (!EncodeXmp(xmp, packet)) {
    warnings.push_back("XMP dropped: the packet could not be written");
    return std::string();
  }
  RestoreXmpNamespaces(s.Xmp, packet);
  return packet;
}

// --- Assembly --------------------------------------------------------------

// Where the output's coded data continues after its leading application and
// comment segments; its JFIF header is handed back to be kept.
size_t SkipLeadingSegments(Bytes d, std::string& jfif) {
  size_t p = 2;
  while (p + 4 <= d.size() && d[p] == 0xFF) {
    const uint8_t code = d[p + 1];
    if (!((code >= 0xE0 && code <= 0xEF) || code == 0xFE)) break;
    const size_t length = (size_t(d[p + 2]) << 8) | d[p + 3];
    if (length < 2 || p + 2 + length > d.size()) break;
    if (code == 0xE0 && jfif.empty() && StartsWith(d, p + 4, "JFIF\0", 5))
      jfif.assign(reinterpret_cast<const char*>(d.data()) + p, 2 + length);
    p += 2 + length;
  }
  return p;
}

std::string ComposeJpeg(const TSourceSegments& s, Bytes output, const RasterImage& pixels,
                        const TMetadataOptions& options, const std::string& profile,
                        std::vector<std::string>& warnings) {
  if (!s.HasExif && !s.HasXmp && !s.HasPhotoshop && profile.empty()) return std::string();

  const int width = pixels.Width, height = pixels.Height;
  std::string exif, photoshop;
  std::vector<std::string> xmp;
  // Each kind of metadata stands alone: a fault in one drops only that one.
  try {
    if (s.HasExif) exif = BuildExif(s.Exif, pixels, width, height, options, warnings);
  } catch (const std::exception& e) {
    exif.clear();
    warnings.push_back(std::string("EXIF data dropped: ") + e.what());
  }
  try {
    if (s.HasXmp) xmp = BuildXmp(s, width, height, options, warnings);
  } catch (const std::exception& e) {
    xmp.clear();
    warnings.push_back(std::string("XMP dropped: ") + e.what());
  }
  try {
    if (s.HasPhotoshop) photoshop = BuildPhotoshop(s.Photoshop, options, warnings);
  } catch (const std::exception& e) {
    photoshop.clear();
    warnings.push_back(std::string("IPTC data dropped: ") + e.what());
  }

  std::string jfif;
  const size_t rest = SkipLeadingSegments(output, jfif);
  std::string out("\xFF\xD8", 2);
  out += jfif;
  if (!exif.empty()) AppendSegment(out, 0xE1, std::string(kExifId, kExifIdSize) + exif);
  for (const std::string& segment : xmp) AppendSegment(out, 0xE1, segment);
  if (!profile.empty()) {
    const std::vector<std::string> chunks = SplitIccProfileForJpeg(profile);
    if (chunks.empty()) warnings.push_back("colour profile dropped: it is too large for JPEG");
    for (const std::string& chunk : chunks) AppendSegment(out, 0xE2, chunk);
  }
  if (!photoshop.empty()) AppendSegment(out, 0xED, photoshop);
  if (s.HasComment) AppendSegment(out, 0xFE, s.Comment);
  out.append(reinterpret_cast<const char*>(output.data()) + rest, output.size() - rest);
  return out;
}

Bytes AsBytes(const std::string& s) {
  return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// A TIFF output rewritten by the metadata library with the EXIF fields,
// colour profile and XMP packet added to its first directory.
std::string ComposeTiff(Bytes output, const std::string& exif, const std::string& profile,
                        const std::string& xmp, const Exiv2::IptcData& iptc) {
  Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(output.data(), long(output.size()));
  if (!image.get()) throw std::runtime_error("the TIFF output could not be read back");
  image->readMetadata();
  TMakerNote note;
  bool rawMakerNote = false;
  if (!exif.empty()) {
    Exiv2::ExifData add;
    Exiv2::ExifParser::decode(add, reinterpret_cast<const Exiv2::byte*>(exif.data()),
                              uint32_t(exif.size()));
    if (HasMakerNote(add) && FindMakerNote(exif, note)) {
      CarryRawMakerNote(add, note);
      rawMakerNote = true;
    }
    Exiv2::ExifData& target = image->exifData();
    for (const auto& d : add) {
      const std::string group = d.groupName();
      if (group == "Thumbnail" || d.key() == "Exif.Image.ImageWidth" ||
          d.key() == "Exif.Image.ImageLength" || d.key() == "Exif.Image.Orientation")
        continue;
      auto it = target.findKey(Exiv2::ExifKey(d.key()));
      if (it != target.end()) target.erase(it);
      target.add(d);
    }
    auto it = add.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it != add.end()) target["Exif.Image.Orientation"] = uint16_t(it->toLong());
  }
  if (!profile.empty()) {
    Exiv2::DataBuf buf(reinterpret_cast<const Exiv2::byte*>(profile.data()), long(profile.size()));
    image->setIccProfile(buf, false);
  }
  if (!xmp.empty()) {
    image->setXmpPacket(xmp);
    image->writeXmpFromPacket(true);
  }
  if (!iptc.empty()) image->setIptcData(iptc);  // tag 33723
  image->writeMetadata();
  Exiv2::BasicIo& io = image->io();
  io.open();
  io.seek(0, Exiv2::BasicIo::beg);
  Exiv2::DataBuf all = io.read(long(io.size()));
  io.close();
  std::string file(reinterpret_cast<const char*>(all.pData_), size_t(all.size_));
  if (rawMakerNote && !PlaceMakerNote(file, note))
    throw std::runtime_error("the maker note could not be placed in the TIFF output");
  return file;
}

// The EXIF block, the IPTC datasets and the XMP packet of an output that
// holds its XMP whole; the IPTC fields go into the XMP unless the format
// has a place of its own for them (keepIptc).
struct TWholeMetadata {
  std::string Exif;
  Exiv2::IptcData Iptc;
  std::string Xmp;
};

TWholeMetadata BuildWholeMetadata(const TSourceSegments& s, const RasterImage& pixels,
                                  const TMetadataOptions& options, bool keepIptc,
                                  std::vector<std::string>& warnings) {
  TWholeMetadata m;
  try {
    if (s.HasExif)
      m.Exif = BuildExif(s.Exif, pixels, pixels.Width, pixels.Height, options, warnings);
  } catch (const std::exception& e) {
    m.Exif.clear();
    warnings.push_back(std::string("EXIF data dropped: ") + e.what());
  }
  try {
    if (!SourceIptc(s, options, m.Iptc, warnings)) m.Iptc.clear();
  } catch (const std::exception& e) {
    m.Iptc.clear();
    warnings.push_back(std::string("IPTC data dropped: ") + e.what());
  }
  try {
    if (s.HasXmp || !m.Iptc.empty())
      m.Xmp = BuildWholeXmp(s, pixels.Width, pixels.Height, options, keepIptc ? nullptr : &m.Iptc,
                            warnings);
  } catch (const std::exception& e) {
    m.Xmp.clear();
    warnings.push_back(std::string("XMP dropped: ") + e.what());
  }
  if (!keepIptc) m.Iptc.clear();
  return m;
}

// A PNG output with the source's colour profile (iCCP), EXIF (eXIf) and XMP
// (iTXt); the IPTC fields travel in the XMP.
std::string ComposePng(const TSourceSegments& s, Bytes output, const RasterImage& pixels,
                       const TMetadataOptions& options, const std::string& profile,
                       std::vector<std::string>& warnings) {
  const TWholeMetadata m = BuildWholeMetadata(s, pixels, options, false, warnings);
  if (m.Exif.empty() && m.Xmp.empty() && profile.empty()) return std::string();
  std::string withProfile;
  if (!profile.empty()) {
    withProfile = AddPngIccProfile(output, profile);
    if (withProfile.empty())
      warnings.push_back("colour profile dropped: the PNG output is damaged");
  }
  if (m.Exif.empty() && m.Xmp.empty()) return withProfile;
  const std::string out =
      SetPngMetadata(withProfile.empty() ? output : AsBytes(withProfile), m.Exif, m.Xmp);
  if (out.empty()) warnings.push_back("metadata dropped: the PNG output is damaged");
  return out.empty() ? withProfile : out;
}

// WebP and TIFF outputs with the source's EXIF (edited like a JPEG
// output's), colour profile, XMP packet and (TIFF) IPTC datasets.
std::string ComposeNewFormat(const TSourceSegments& s, Bytes output, const RasterImage& pixels,
                             const TMetadataOptions& options, const std::string& profile,
                             std::vector<std::string>& warnings) {
  const bool tiff = IsTiffSignature(output);
  const TWholeMetadata m = BuildWholeMetadata(s, pixels, options, tiff, warnings);
  const std::string& exif = m.Exif;
  const std::string& xmp = m.Xmp;
  if (exif.empty() && xmp.empty() && profile.empty() && m.Iptc.empty()) return std::string();
  if (IsWebPSignature(output)) {
    const std::vector<uint8_t> out = SetWebPMetadata(output, TWebPMetadata{exif, profile, xmp});
    return std::string(out.begin(), out.end());
  }
  return ComposeTiff(output, exif, profile, xmp, m.Iptc);
}

// The source's colour profile when it describes pixels of the output's
// colour space (channels: 1 gray, 3 RGB); otherwise empty, and named among
// the warnings unless the source was CMYK (turned into sRGB when it loaded,
// so its profile describes none of the output's pixels).
std::string FittingProfile(const TPictureMetadata& source, int channels,
                           std::vector<std::string>& warnings) {
  if (source.Icc.empty()) {
    if (!source.IccProblem.empty())
      warnings.push_back("colour profile dropped: " + source.IccProblem);
    return std::string();
  }
  const uint32_t space = IccColourSpace(source.Icc);
  const bool fits = (space == kIccRgb && channels == 3) || (space == kIccGray && channels == 1);
  if (fits) return source.Icc;
  if (space != kIccCmyk)
    warnings.push_back("colour profile dropped: it is for " + ColourSpaceName(space) +
                       " data and the output is " + (channels == 1 ? "gray" : "RGB"));
  return std::string();
}

// The record's metadata as the segments of a JPEG would give it.
TSourceSegments SegmentsOf(const TPictureMetadata& source) {
  if (source.Kind == TMetadataSource::Jpeg) {
    const Bytes header = AsBytes(source.JpegHeader);
    return IsJpeg(header) ? ScanJpegSegments(header) : TSourceSegments();
  }
  TSourceSegments s;
  s.HasExif = !source.Exif.empty();
  s.Exif = source.Exif;
  s.HasXmp = !source.Xmp.empty();
  s.Xmp = source.Xmp;
  return s;
}

bool IsAvifName(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = fileName.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return ext == "avif";
}

}  // namespace

std::string ComposeOutputMetadata(const TPictureMetadata& source, Bytes output,
                                  const RasterImage& pixels, const TMetadataOptions& options,
                                  std::vector<std::string>& warnings) {
  try {
    if (source.Kind == TMetadataSource::None) return std::string();
    MuteLibraryMessages();
    const bool jpegOut = IsJpeg(output), pngOut = IsPng(output);
    const bool newOut = IsWebPSignature(output) || IsTiffSignature(output);
    if (!jpegOut && !pngOut && !newOut) return std::string();
    const TImageFormatInfo* info = GetImageFormatInfo(pixels.Format);
    const int channels = newOut ? (IsTiffSignature(output) && info && info->HasGrayChannel ? 1 : 3)
                                : OutputChannels(output);
    const std::string profile = FittingProfile(source, channels, warnings);
    const TSourceSegments s = SegmentsOf(source);
    if (pngOut) return ComposePng(s, output, pixels, options, profile, warnings);
    if (newOut) return ComposeNewFormat(s, output, pixels, options, profile, warnings);
    return ComposeJpeg(s, output, pixels, options, profile, warnings);
  } catch (const std::exception& e) {
    warnings.push_back(std::string("metadata dropped: ") + e.what());
    return std::string();
  }
}

std::string ComposeOutputMetadata(Bytes source, Bytes output, const RasterImage& pixels,
                                  const TMetadataOptions& options,
                                  std::vector<std::string>& warnings) {
  return ComposeOutputMetadata(ReadPictureMetadata(source), output, pixels, options, warnings);
}

TEmbeddedMetadata BuildEmbeddedMetadata(const TPictureMetadata& source, const RasterImage& pixels,
                                        const TMetadataOptions& options,
                                        std::vector<std::string>& warnings) {
  TEmbeddedMetadata m;
  try {
    if (source.Kind == TMetadataSource::None) return m;
    MuteLibraryMessages();
    // An AVIF output is always colour, and has no place of its own for IPTC
    // fields: they travel in the XMP.
    m.Icc = FittingProfile(source, 3, warnings);
    TWholeMetadata whole = BuildWholeMetadata(SegmentsOf(source), pixels, options, false, warnings);
    m.Exif = std::move(whole.Exif);
    m.Xmp = std::move(whole.Xmp);
  } catch (const std::exception& e) {
    warnings.push_back(std::string("metadata dropped: ") + e.what());
    m = TEmbeddedMetadata();
  }
  return m;
}

bool EncodeWithMetadata(const std::string& fileName, const RasterImage& image,
                        const TSaveOptions& options, const TPictureMetadata* source,
                        const TMetadataOptions& carry, std::vector<uint8_t>& bytes,
                        std::vector<std::string>& warnings) {
  if (!source || !IsAvifName(fileName)) {
    if (!EncodeImageFile(fileName, image, options, bytes)) return false;
    if (!source) return true;
    std::string composed = ComposeOutputMetadata(*source, bytes, image, carry, warnings);
    if (!composed.empty()) bytes.assign(composed.begin(), composed.end());
    return true;
  }
  // An AVIF file takes its metadata inside its one encode.
  TSaveOptions withMetadata = options;
  withMetadata.SetMetadata(BuildEmbeddedMetadata(*source, image, carry, warnings));
  return EncodeImageFile(fileName, image, withMetadata, bytes);
}

std::vector<std::string> SaveWithSourceMetadata(const std::string& sourcePath,
                                                const std::string& outputPath,
                                                const RasterImage& pixels,
                                                const TMetadataOptions& options) {
  std::vector<std::string> warnings;
  std::string file;
  TPictureMetadata source;
  if (ReadWholeFile(sourcePath, file) == EReadResult::kOk)
    source = ReadPictureMetadata(AsBytes(file));
  else
    warnings.push_back("metadata dropped: the source could not be read");
  std::vector<uint8_t> bytes;
  if (!EncodeWithMetadata(outputPath, pixels, TSaveOptions(), &source, options, bytes, warnings))
    throw std::runtime_error("the output could not be encoded");
  WriteFileReplacing(outputPath, std::string(bytes.begin(), bytes.end()));
  return warnings;
}

}  // namespace imprimo
