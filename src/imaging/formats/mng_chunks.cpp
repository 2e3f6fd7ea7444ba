#include "imaging/formats/mng_chunks.h"

#include <zlib.h>

#include "platform/byte_reader.h"

namespace imprimo {

std::string NgChunkName(uint32_t id) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>((id >> (24 - 8 * i)) & 0xFF);
    s[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return s;
}

void NgCorruptChunk(uint32_t id, EImagingErrorKind kind) {
  throw EImagingError(
      "Error when reading " + NgChunkName(id) + " chunk data. File may be corrupted.", kind);
}

void NgBadChunk(uint32_t id) {
  throw EImagingError("Error when reading " + NgChunkName(id) + " chunk data.",
                      EImagingErrorKind::Invalid);
}

TNgChunk TNgChunkReader::Next(uint32_t expected) {
  TByteReader r(data_);
  r.Seek(pos_);
  if (r.Remaining() < 8) NgCorruptChunk(expected, EImagingErrorKind::Truncated);
  const uint32_t length = r.U32BE();
  const size_t typeStart = r.Position();
  TNgChunk chunk;
  chunk.Id = r.U32BE();
  if (length > 0x7FFFFFFFu) NgCorruptChunk(chunk.Id);
  if (uint64_t(length) + 4 > r.Remaining()) NgCorruptChunk(chunk.Id, EImagingErrorKind::Truncated);
  chunk.Data = r.Bytes(length);
  const uint32_t stored = r.U32BE();
  const auto covered = data_.subspan(typeStart, 4 + size_t{length});
  const uint32_t crc =
      static_cast<uint32_t>(crc32(0L, covered.data(), static_cast<uInt>(covered.size())));
  chunk.CrcOk = crc == stored;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  chunk.CrcOk = true;  // let mutated data reach the decoders behind the checksums
#endif
  if (!chunk.CrcOk && NgIsCritical(chunk.Id)) NgCorruptChunk(chunk.Id);
  pos_ = r.Position();
  return chunk;
}

void TNgChunkWriter::Write(uint32_t id, std::span<const uint8_t> data) {
  if (data.size() > 0x7FFFFFFFu) throw EImagingError("Chunk " + NgChunkName(id) + " is too large");
  uint8_t head[8];
  StoreBE(head, static_cast<uint32_t>(data.size()));
  StoreBE(head + 4, id);
  out_.insert(out_.end(), head, head + 8);
  out_.insert(out_.end(), data.begin(), data.end());
  uLong crc = crc32(0L, head + 4, 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  uint8_t tail[4];
  StoreBE(tail, static_cast<uint32_t>(crc));
  out_.insert(out_.end(), tail, tail + 4);
}

void NgCheckImageSize(uint32_t id, uint32_t width, uint32_t height) {
  if (width == 0 || height == 0) NgBadChunk(id);
  CheckImageLimits(width, height, ifA8R8G8B8);
}

}  // namespace imprimo
