// Bounded readers and writers of binary data: TByteReader reads little- and
// big-endian values from a span and never reads outside it; TByteWriter
// appends values to a byte vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace imprimo {

// Big-endian values at p, for loops that have checked the bytes are there
// (TByteReader checks every read itself).
inline uint16_t LoadU16BE(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t LoadU32BE(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
// Appends v to out, most significant byte first.
inline void AppendU32BE(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

// A read past the end of the data a reader was given.
class ETruncatedData : public std::runtime_error {
 public:
  ETruncatedData() : std::runtime_error("Unexpected end of data") {}
  using std::runtime_error::runtime_error;
};

// Every read past the end throws ETruncatedData and leaves the position
// where it was.
class TByteReader {
 public:
  explicit TByteReader(std::span<const uint8_t> data) : data_(data) {}
  size_t Position() const { return pos_; }
  size_t Size() const { return data_.size(); }
  size_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  void Seek(size_t pos);  // throws when pos > Size()
  void Skip(size_t count);
  uint8_t U8();
  uint16_t U16LE();
  uint16_t U16BE();
  uint32_t U32LE();
  uint32_t U32BE();
  uint64_t U64LE();
  uint64_t U64BE();
  int32_t I32LE() { return static_cast<int32_t>(U32LE()); }
  int16_t I16BE() { return static_cast<int16_t>(U16BE()); }
  std::span<const uint8_t> Bytes(size_t count);
  uint8_t Peek() const;  // throws at the end
  std::span<const uint8_t> Data() const { return data_; }
  // A reader of the next count bytes; this reader moves past them.
  TByteReader Sub(size_t count) { return TByteReader(Bytes(count)); }

 private:
  void Need(size_t count) const;
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

// Appends values to a byte vector.
class TByteWriter {
 public:
  std::vector<uint8_t>& Data() { return data_; }
  void U8(uint8_t v) { data_.push_back(v); }
  void U16LE(uint16_t v);
  void U16BE(uint16_t v);
  void U32LE(uint32_t v);
  void U32BE(uint32_t v);
  void Bytes(std::span<const uint8_t> bytes);
  void Text(std::string_view s);

 private:
  std::vector<uint8_t> data_;
};

}  // namespace imprimo
