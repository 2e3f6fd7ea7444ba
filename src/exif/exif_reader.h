// Reader for the metadata segments of JPEG files (EXIF, JFIF header, IPTC,
// comment) and parser of the EXIF directories into named tags with display
// texts, plus the rewrite of a JPEG output with a source's metadata segments.
//
// Damaged or truncated data never throws to the caller: it gives false and an
// error text. Every read goes through the bounded byte reader, whose
// ETruncatedData is the only error the reader turns into a result.
// Texts are 8-bit byte strings as found in the file (std::string).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/picture_metadata.h"

namespace imprimo {

// Byte order of an EXIF block: "II" (Intel, little-endian) or "MM" (Motorola).
enum class TByteOrder { Intel, Motorola };

// One JPEG marker segment. bytes start with the two big-endian length bytes,
// so writing 0xFF, markerCode and bytes reproduces the segment.
struct MetadataSection {
  int markerCode = 0;
  int length = 0;
  std::string bytes;
};

// Turns a display text into another one (component letters, flash bits...).
using TFormatFunction = std::string (*)(const std::string&);

// One tag: the table entry it was found under plus the parsed value.
struct TTagEntry {
  int32_t tableId = 0;      // index in its table
  uint16_t tagType = 0;     // format code of the value (1..12)
  uint16_t secondCode = 0;  // 1 for the GPS table, else 0
  uint16_t tag = 0;         // tag number; 0 for "not in the table"
  std::string name;
  std::string description;
  std::string codeList;
  std::string displayValue;
  std::string rawBytes;
  int32_t rawPosition = 0;  // 0-based position of the raw bytes in the section bytes
  std::string formatString;
  int32_t size = 0;  // byte count of the raw bytes
  TFormatFunction formatFunction = nullptr;
};

// The two static tag tables (image directories and GPS directory).
const std::vector<TTagEntry>& MainTagTable();  // 250 entries
const std::vector<TTagEntry>& GpsTagTable();   // 30 entries

// Display-value building blocks, exposed for callers that format tag values.
std::string CodeListText(std::string_view codeList, std::string_view value);

// The parsed EXIF block.
class TImageInfo {
 public:
  explicit TImageInfo(int buildMode = 255);

  // Parses the bytes of an APP1 section (starting with its two length bytes).
  // Never throws; problems end in ErrorText() and an empty or partial tag list.
  void ProcessExifBlock(std::string sectionBytes, TByteOrder initialOrder = TByteOrder::Intel);

  const std::string& Data() const { return data_; }
  TByteOrder ByteOrder() const { return byteOrder_; }
  const std::string& CameraMake() const { return cameraMake_; }
  const std::string& CameraModel() const { return cameraModel_; }
  const std::string& DateTime() const { return dateTime_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Flash() const { return flash_; }
  const std::string& ExifVersion() const { return exifVersion_; }
  const std::string& UserComment() const { return userComment_; }
  int UserCommentPosition() const { return userCommentPosition_; }
  int UserCommentLength() const { return userCommentLength_; }
  // Offset (from the TIFF header) of the directory after the first one, and
  // the byte count from there to the end of the block; 0 when none.
  int ThumbnailPosition() const { return thumbnailPosition_; }
  int ThumbnailSize() const { return thumbnailSize_; }
  const std::vector<TTagEntry>& Tags() const { return tags_; }
  // One "[base:start]" item per directory parsed.
  const std::string& VisitedDirectories() const { return visitedText_; }
  // "<none>" or the last problem met while parsing.
  const std::string& ErrorText() const { return errorText_; }

  // Display value of the first tag whose name equals name (ignoring ASCII
  // case); empty when absent.
  std::string TagValueByName(std::string_view name) const;
  int TagIndexByName(std::string_view name) const;  // -1 when absent

 private:
  enum class DirKind { Main, Gps };
  void ParseDirectory(int64_t start, int64_t base, DirKind kind, int depth);
  uint64_t ReadUnsigned(int64_t pos, int bytes) const;  // 0-based; out of range -> 0
  void AddDerivedFocalLength35();

  int buildMode_;
  std::string data_;
  TByteOrder byteOrder_ = TByteOrder::Intel;
  std::string cameraMake_, cameraModel_, dateTime_, exifVersion_, userComment_;
  int width_ = 0, height_ = 0, flash_ = 0;
  int userCommentPosition_ = 0, userCommentLength_ = 0;
  int thumbnailPosition_ = 0, thumbnailSize_ = 0;
  bool thumbnailKnown_ = false;
  std::vector<TTagEntry> tags_;
  std::string visitedText_;
  std::set<std::pair<int64_t, int64_t>> visited_;
  int directoriesParsed_ = 0;
  int64_t blockEnd_ = 0;  // 0-based end of the readable block
  std::string errorText_ = "<none>";
};

// The IPTC segment as found; the system only carries it over to outputs.
class TIPTCdata {
 public:
  explicit TIPTCdata(std::string sectionBytes) : raw_(std::move(sectionBytes)) {}
  const std::string& Raw() const { return raw_; }

 private:
  std::string raw_;
};

// The per-file metadata reader, reused for every file.
class TimgData {
 public:
  static constexpr int kMaxSections = 20;

  explicit TimgData(int buildMode = 255);

  // Reads the metadata segments of a JPEG file (".jpg", ".jpeg", ".jpe" only).
  // True when an EXIF, IPTC or comment segment was found.
  bool ReadMetadata(const std::string& path);
  // Same scan over bytes already in memory (no file name or extension rule).
  bool ReadMetadata(std::span<const uint8_t> bytes);
  bool ProcessFile(const std::string& path) { return ReadMetadata(path); }
  // ReadMetadata(path) on the record of the file at path, read when it was
  // decoded: the file's name, size and date are looked up, its bytes are not
  // read again.
  bool ReadMetadata(const TPictureMetadata& metadata, const std::string& path);
  // The record's segments (a JPEG's) or EXIF block (a container's), whatever
  // the file's name.
  bool ReadMetadata(const TPictureMetadata& metadata);

  bool HasExifBlock() const { return exifSection_ >= 0; }
  const TImageInfo* ExifObj() const { return exifObj_.get(); }
  const TIPTCdata* IptcObj() const { return iptcObj_.get(); }

  // Fixed fields of the EXIF block; empty / 0 without one.
  std::string DateTime() const;
  std::string CameraMake() const;
  std::string CameraModel() const;
  int Width() const;
  int Height() const;
  std::string TagValueByName(std::string_view name) const;

  const std::vector<MetadataSection>& Sections() const { return sections_; }
  int SectionCount() const { return static_cast<int>(sections_.size()); }
  const MetadataSection* ExifSection() const { return Section(exifSection_); }
  const MetadataSection* HeaderSection() const { return Section(headerSection_); }
  const MetadataSection* IptcSection() const { return Section(iptcSection_); }
  const MetadataSection* CommentSection() const { return Section(commentSection_); }

  // The Orientation of the first image directory (1..8 as stored, any other
  // stored number as it is); 0 without an EXIF block or such a field.
  int Orientation() const;

  const std::string& FileName() const { return fileName_; }
  int64_t FileDate() const { return fileDate_; }  // seconds since the epoch
  int64_t FileSize() const { return fileSize_; }
  const std::string& ErrorText() const { return errorText_; }
  TByteOrder ByteOrder() const { return byteOrder_; }
  int BuildMode() const { return buildMode_; }

  // Rewrites the JPEG file at outputPath as FF D8, this reader's EXIF, IPTC
  // and comment segments, then outputJpeg from after its leading APP0, APP1,
  // APP13 and COM segments. The file is written to a temporary file beside it
  // and renamed into place. Does nothing without an EXIF section.
  // Throws std::runtime_error when outputJpeg is not a JPEG stream or the
  // file cannot be written (the previous file then stays as it was).
  void InsertMetadataIntoJpeg(std::span<const uint8_t> outputJpeg, const std::string& outputPath,
                              bool adjustSize = false) const;
  // Same, taking the output's bytes from the file at outputPath first.
  void InsertMetadataIntoJpeg(const std::string& outputPath, bool adjustSize = false) const;
  // The combined bytes that InsertMetadataIntoJpeg writes.
  std::string BuildMetadataJpeg(std::span<const uint8_t> outputJpeg) const;

 private:
  void Clear();
  bool ScanSegments(std::span<const uint8_t> bytes);
  // The name, size and date of the regular file at path; false for any
  // other file.
  bool ReadFileFacts(const std::string& path);
  // ScanSegments on a container's EXIF block as one JPEG segment, and on a
  // JPEG's bytes; both set the error text on success.
  bool ScanContainerExif(const std::string& block);
  bool ScanJpegBytes(std::span<const uint8_t> bytes);
  const MetadataSection* Section(int i) const {
    return i >= 0 && i < static_cast<int>(sections_.size()) ? &sections_[i] : nullptr;
  }

  int buildMode_;
  std::vector<MetadataSection> sections_;
  int exifSection_ = -1, headerSection_ = -1, iptcSection_ = -1, commentSection_ = -1;
  std::string fileName_;
  int64_t fileDate_ = 0, fileSize_ = 0;
  std::string errorText_;
  TByteOrder byteOrder_ = TByteOrder::Intel;
  std::unique_ptr<TImageInfo> exifObj_;
  std::unique_ptr<TIPTCdata> iptcObj_;
};

// Bytes in, tags out: the parse of one in-memory JPEG stream, for fuzzing and
// tools. Never throws.
std::vector<TTagEntry> ReadExifTags(std::span<const uint8_t> jpegBytes);

// Where the value of the first image directory's Orientation field lies in
// an EXIF APP1 section (bytes starting with the two length bytes, as
// MetadataSection holds them): a 0-based position and the value's width in
// bytes (2 for a SHORT, 4 for a LONG). False when the block is malformed or
// has no such field with its value inside the block.
bool FindExifOrientation(std::string_view section, size_t& position, int& width, TByteOrder& order);
// The stored Orientation number of such a section; 0 when there is none.
int ExifOrientation(std::string_view section);

}  // namespace imprimo
