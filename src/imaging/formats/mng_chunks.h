// Chunk-level reading and writing shared by the MNG and JNG codecs: the
// length/type/data/CRC layout of the network graphics family, the signatures
// and the chunk error messages.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

constexpr uint8_t kMngSignature[8] = {0x8A, 0x4D, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kJngSignature[8] = {0x8B, 0x4A, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

constexpr uint32_t NgChunkId(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
         (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// Printable four-letter name of a chunk type ('?' for bytes outside ASCII).
std::string NgChunkName(uint32_t id);
// "Error when reading XXXX chunk data. File may be corrupted." (damaged or
// missing data).
[[noreturn]] void NgCorruptChunk(uint32_t id, EImagingErrorKind kind = EImagingErrorKind::Invalid);
// "Error when reading XXXX chunk data." (data present but not acceptable).
[[noreturn]] void NgBadChunk(uint32_t id);

// True for a critical chunk (upper-case first letter).
inline bool NgIsCritical(uint32_t id) { return (id & 0x20000000u) == 0; }

struct TNgChunk {
  uint32_t Id = 0;
  std::span<const uint8_t> Data;  // the chunk's data field
  bool CrcOk = true;
};

// Walks the chunks of a datastream held in memory. Every length is checked
// against the bytes present before the data is touched.
class TNgChunkReader {
 public:
  // data starts at the first chunk (after any signature).
  explicit TNgChunkReader(std::span<const uint8_t> data) : data_(data) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  size_t Remaining() const { return data_.size() - pos_; }
  // Reads the next chunk. A chunk cut short throws the corrupted-data
  // message with its name (or with expected's name when even the type is
  // missing). A critical chunk with a wrong CRC throws the same; an
  // ancillary one comes back with CrcOk false.
  TNgChunk Next(uint32_t expected);

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

// Appends chunks (length, type, data, CRC) to a byte vector.
class TNgChunkWriter {
 public:
  explicit TNgChunkWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Write(uint32_t id, std::span<const uint8_t> data);
  static void StoreBE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
  }

 private:
  std::vector<uint8_t>& out_;
};

inline uint32_t NgLoadBE(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Refuses image sizes the layer cannot hold, with the chunk's message.
void NgCheckImageSize(uint32_t id, uint32_t width, uint32_t height);

}  // namespace imprimo
