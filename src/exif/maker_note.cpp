#include "exif/maker_note.h"

#include <algorithm>
#include <cstring>

namespace imprimo {

namespace {

constexpr uint16_t kExifIfdTag = 0x8769;
constexpr uint16_t kMakerNoteTag = 0x927C;
// A directory with more entries than this is taken for damaged data.
constexpr size_t kMaxEntries = 1000;
// Zero bytes written after a note whose offsets count from itself.
constexpr size_t kOwnNotePadding = 8;

// Little- or big-endian numbers of a byte string, every read bounds-checked
// by the caller.
struct TNumbers {
  std::string_view Data;
  bool LittleEndian = true;

  uint32_t U16(size_t p) const {
    const auto b = [&](size_t i) { return uint32_t(uint8_t(Data[p + i])); };
    return LittleEndian ? b(0) | (b(1) << 8) : (b(0) << 8) | b(1);
  }
  uint32_t U32(size_t p) const {
    return LittleEndian ? U16(p) | (U16(p + 2) << 16) : (U16(p) << 16) | U16(p + 2);
  }
};

void Put32(std::string& s, size_t p, uint32_t v, bool littleEndian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = littleEndian ? 8 * i : 8 * (3 - i);
    s[p + i] = char((v >> shift) & 0xFF);
  }
}

size_t TypeSize(uint32_t type) {
  static const size_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < sizeof kSizes / sizeof kSizes[0] ? kSizes[type] : 0;
}

// A directory entry: where it lies and how many bytes its value takes.
struct TEntry {
  size_t At = 0;
  uint32_t Tag = 0;
  uint64_t ValueSize = 0;  // 0 for an unknown type
};

// The entries of the directory at offset ifd; false when it does not fit.
bool ReadDirectory(const TNumbers& n, size_t ifd, std::vector<TEntry>& entries) {
  entries.clear();
  if (ifd > n.Data.size() || n.Data.size() - ifd < 2) return false;
  const size_t count = n.U16(ifd);
  if (count == 0 || count > kMaxEntries || (n.Data.size() - ifd - 2) / 12 < count) return false;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = ifd + 2 + 12 * i;
    entries.push_back({at, n.U16(at), uint64_t(TypeSize(n.U16(at + 2))) * n.U32(at + 4)});
  }
  return true;
}

const TEntry* FindEntry(const std::vector<TEntry>& entries, uint32_t tag) {
  for (const TEntry& e : entries)
    if (e.Tag == tag) return &e;
  return nullptr;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// Headers of notes whose offsets count from the note itself or from a TIFF
// header inside it.
bool HasOwnBase(std::string_view note) {
  static const std::string_view kOwn[] = {std::string_view("Nikon\0\x02", 7),
                                          std::string_view("OLYMPUS\0", 8),
                                          std::string_view("OM SYSTEM\0", 10),
                                          "FUJIFILM",
                                          "GENERALE",
                                          std::string_view("PENTAX \0", 8),
                                          std::string_view("Apple iOS\0", 10),
                                          "LEICA"};
  return std::any_of(std::begin(kOwn), std::end(kOwn),
                     [&](std::string_view p) { return StartsWith(note, p); });
}

// Where the directory of a note that counts from the TIFF header starts,
// after its maker's header; 0 for notes that start with their directory.
size_t HeaderSize(std::string_view note) {
  static const std::pair<std::string_view, size_t> kHeaders[] = {
      {std::string_view("Nikon\0\x01", 7), 8},
      {std::string_view("SANYO\0", 6), 8},
      {std::string_view("Panasonic\0", 10), 12},
      {"SONY DSC ", 12},
      {"SONY CAM ", 12},
      {std::string_view("OLYMP\0", 6), 8},
      {std::string_view("EPSON\0", 6), 8},
      {std::string_view("MINOL\0", 6), 8},
      {std::string_view("CAMER\0", 6), 8},
      {std::string_view("QVC\0", 4), 6},
      {std::string_view("AOC\0", 4), 6}};
  for (const auto& [prefix, size] : kHeaders)
    if (StartsWith(note, prefix)) return size;
  return 0;
}

// Whether the out-of-line values of the note's directory land inside the
// note more often when their offsets count from the TIFF header than when
// they count from the note's start.
bool CountsFromTiffHeader(const TMakerNote& note, const std::vector<TEntry>& entries) {
  const TNumbers n{note.Bytes, note.LittleEndian};
  const uint64_t begin = note.Offset, end = note.Offset + note.Bytes.size();
  int tiffOnly = 0, ownOnly = 0;
  for (const TEntry& e : entries) {
    if (e.ValueSize <= 4) continue;
    const uint64_t v = n.U32(e.At + 8);
    const bool tiff = v >= begin && v + e.ValueSize <= end;
    const bool own = v + e.ValueSize <= note.Bytes.size();
    tiffOnly += tiff && !own;
    ownOnly += own && !tiff;
  }
  return tiffOnly >= ownOnly;
}

// The Make field of IFD0 (tag 0x010F); empty when there is none.
std::string MakeOf(std::string_view tiff, bool littleEndian) {
  const TNumbers n{tiff, littleEndian};
  std::vector<TEntry> entries;
  if (!ReadDirectory(n, n.U32(4), entries)) return std::string();
  const TEntry* make = FindEntry(entries, 0x010F);
  if (!make || make->ValueSize == 0 || make->ValueSize > 64) return std::string();
  const size_t at = make->ValueSize <= 4 ? make->At + 8 : n.U32(make->At + 8);
  if (at > tiff.size() || tiff.size() - at < make->ValueSize) return std::string();
  return std::string(tiff.substr(at, size_t(make->ValueSize)));
}

// The maker note entry of a TIFF block: its offset and size.
bool LocateMakerNote(std::string_view tiff, size_t& offset, size_t& size, bool& littleEndian) {
  if (tiff.size() < 8) return false;
  if (StartsWith(tiff, std::string_view("II*\0", 4)))
    littleEndian = true;
  else if (StartsWith(tiff, std::string_view("MM\0*", 4)))
    littleEndian = false;
  else
    return false;
  const TNumbers n{tiff, littleEndian};
  std::vector<TEntry> entries;
  if (!ReadDirectory(n, n.U32(4), entries)) return false;
  const TEntry* exif = FindEntry(entries, kExifIfdTag);
  if (!exif || !ReadDirectory(n, n.U32(exif->At + 8), entries)) return false;
  const TEntry* note = FindEntry(entries, kMakerNoteTag);
  if (!note || note->ValueSize <= 4) return false;
  offset = n.U32(note->At + 8);
  size = size_t(note->ValueSize);
  return offset <= tiff.size() && size <= tiff.size() - offset;
}

}  // namespace

bool FindMakerNote(std::string_view tiff, TMakerNote& note) {
  note = TMakerNote();
  size_t offset = 0, size = 0;
  if (!LocateMakerNote(tiff, offset, size, note.LittleEndian)) return false;
  note.Offset = offset;
  note.Bytes.assign(tiff.substr(offset, size));
  if (HasOwnBase(note.Bytes)) {
    // Some cameras point a sub-directory just past the note's end, at bytes
    // they left zero; zeros after the copy keep what such a pointer finds.
    note.Base = TMakerNoteBase::Own;
    note.Bytes.append(kOwnNotePadding, '\0');
    return true;
  }
  note.IfdStart = HeaderSize(note.Bytes);
  std::vector<TEntry> entries;
  if (!ReadDirectory(TNumbers{note.Bytes, note.LittleEndian}, note.IfdStart, entries)) return false;
  // These makers' notes start with their directory and count from the TIFF
  // header; for others the offsets themselves tell.
  const std::string make = MakeOf(tiff, note.LittleEndian);
  const bool known = StartsWith(make, "Canon") || StartsWith(make, "Minolta") ||
                     StartsWith(make, "MINOLTA") || StartsWith(make, "KONICA MINOLTA");
  note.Base =
      known || CountsFromTiffHeader(note, entries) ? TMakerNoteBase::Tiff : TMakerNoteBase::Own;
  return true;
}

int BlankInMakerNote(TMakerNote& note, const std::vector<std::string>& previews) {
  int blanked = 0;
  for (const std::string& preview : previews) {
    if (preview.size() < 16) continue;
    for (size_t at = note.Bytes.find(preview); at != std::string::npos;
         at = note.Bytes.find(preview, at + preview.size())) {
      std::fill_n(note.Bytes.begin() + at, preview.size(), '\0');
      ++blanked;
    }
  }
  return blanked;
}

namespace {

// The end of a JPEG stream that starts at p (just past its EOI marker), or 0
// when the bytes there are not one: its marker segments are walked up to
// the first scan, and the entropy-coded data runs to an EOI.
size_t JpegStreamEnd(std::string_view d, size_t p) {
  if (d.size() - p < 4 || uint8_t(d[p]) != 0xFF || uint8_t(d[p + 1]) != 0xD8) return 0;
  size_t q = p + 2;
  while (true) {
    if (d.size() - q < 4 || uint8_t(d[q]) != 0xFF) return 0;
    const uint8_t code = uint8_t(d[q + 1]);
    if (code < 0xC0 || code == 0xFF || code == 0xD8 || code == 0xD9) return 0;
    const size_t length = (size_t(uint8_t(d[q + 2])) << 8) | uint8_t(d[q + 3]);
    if (length < 2 || d.size() - q - 2 < length) return 0;
    q += 2 + length;
    if (code == 0xDA) break;
  }
  const size_t eoi = d.find(std::string_view("\xFF\xD9", 2), q);
  return eoi == std::string_view::npos ? 0 : eoi + 2;
}

}  // namespace

int BlankEmbeddedJpegs(TMakerNote& note) {
  int blanked = 0;
  const std::string_view soi("\xFF\xD8\xFF", 3);
  for (size_t at = note.Bytes.find(soi); at != std::string::npos;
       at = note.Bytes.find(soi, at + 1)) {
    const size_t end = JpegStreamEnd(note.Bytes, at);
    if (end == 0) continue;
    std::fill(note.Bytes.begin() + at, note.Bytes.begin() + end, '\0');
    ++blanked;
  }
  return blanked;
}

bool PlaceMakerNote(std::string& tiff, const TMakerNote& note) {
  size_t offset = 0, size = 0;
  bool littleEndian = true;
  if (!LocateMakerNote(tiff, offset, size, littleEndian) || size != note.Bytes.size()) return false;
  std::string bytes = note.Bytes;
  if (note.Base == TMakerNoteBase::Tiff) {
    const int64_t delta = int64_t(offset) - int64_t(note.Offset);
    const TNumbers n{note.Bytes, note.LittleEndian};
    std::vector<TEntry> entries;
    if (!ReadDirectory(n, note.IfdStart, entries)) return false;
    for (const TEntry& e : entries) {
      if (e.ValueSize <= 4) continue;
      const int64_t moved = int64_t(n.U32(e.At + 8)) + delta;
      if (moved < 0 || moved > int64_t(UINT32_MAX)) return false;
      Put32(bytes, e.At + 8, uint32_t(moved), note.LittleEndian);
    }
    // Some notes end with a TIFF-header-like footer that records where the
    // note was written; readers take the distance to it for a base shift.
    const size_t footer = bytes.size() >= 8 ? bytes.size() - 8 : 0;
    const std::string_view tail(bytes.data() + footer, 4);
    if (footer > 0 &&
        (tail == std::string_view("II*\0", 4) || tail == std::string_view("MM\0*", 4))) {
      const TNumbers f{note.Bytes, tail[0] == 'I'};
      const int64_t moved = int64_t(f.U32(footer + 4)) + delta;
      if (moved < 0 || moved > int64_t(UINT32_MAX)) return false;
      Put32(bytes, footer + 4, uint32_t(moved), tail[0] == 'I');
    }
  }
  tiff.replace(offset, size, bytes);
  return true;
}

}  // namespace imprimo
