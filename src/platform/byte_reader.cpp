#include "platform/byte_reader.h"

#include <cstring>

namespace imprimo {

// ---- TByteReader ----

void TByteReader::Need(size_t count) const {
  if (count > data_.size() - pos_) throw ETruncatedData();
}
void TByteReader::Seek(size_t pos) {
  if (pos > data_.size()) throw ETruncatedData();
  pos_ = pos;
}
void TByteReader::Skip(size_t count) {
  Need(count);
  pos_ += count;
}
uint8_t TByteReader::U8() {
  Need(1);
  return data_[pos_++];
}
uint8_t TByteReader::Peek() const {
  Need(1);
  return data_[pos_];
}
uint16_t TByteReader::U16LE() {
  Need(2);
  uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}
uint16_t TByteReader::U16BE() {
  Need(2);
  uint16_t v = static_cast<uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
  pos_ += 2;
  return v;
}
uint32_t TByteReader::U32LE() {
  Need(4);
  uint32_t v = uint32_t{data_[pos_]} | uint32_t{data_[pos_ + 1]} << 8 |
               uint32_t{data_[pos_ + 2]} << 16 | uint32_t{data_[pos_ + 3]} << 24;
  pos_ += 4;
  return v;
}
uint32_t TByteReader::U32BE() {
  Need(4);
  uint32_t v = uint32_t{data_[pos_]} << 24 | uint32_t{data_[pos_ + 1]} << 16 |
               uint32_t{data_[pos_ + 2]} << 8 | uint32_t{data_[pos_ + 3]};
  pos_ += 4;
  return v;
}
uint64_t TByteReader::U64LE() {
  Need(8);
  const uint64_t low = U32LE();
  return low | uint64_t{U32LE()} << 32;
}
uint64_t TByteReader::U64BE() {
  Need(8);
  const uint64_t high = U32BE();
  return high << 32 | U32BE();
}
std::span<const uint8_t> TByteReader::Bytes(size_t count) {
  Need(count);
  auto s = data_.subspan(pos_, count);
  pos_ += count;
  return s;
}

// ---- TByteWriter ----

void TByteWriter::Bytes(std::span<const uint8_t> bytes) {
  const size_t at = data_.size();
  data_.resize(at + bytes.size());
  if (!bytes.empty()) std::memcpy(data_.data() + at, bytes.data(), bytes.size());
}
void TByteWriter::Text(std::string_view s) {
  Bytes({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
}
void TByteWriter::U16LE(uint16_t v) {
  data_.push_back(static_cast<uint8_t>(v));
  data_.push_back(static_cast<uint8_t>(v >> 8));
}
void TByteWriter::U16BE(uint16_t v) {
  data_.push_back(static_cast<uint8_t>(v >> 8));
  data_.push_back(static_cast<uint8_t>(v));
}
void TByteWriter::U32LE(uint32_t v) {
  for (int i = 0; i < 4; ++i) data_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void TByteWriter::U32BE(uint32_t v) {
  for (int i = 3; i >= 0; --i) data_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace imprimo
