// Streams the image file layer reads and writes through, and bounded readers
// and writers for parsing and producing file data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/raster_image.h"

namespace imprimo {

enum class TSeekOrigin { Begin, Current, End };

// A seekable byte stream. Read returns the number of bytes read (short at the
// end); Write throws EImagingError when the bytes cannot all be written.
class TImagingStream {
 public:
  virtual ~TImagingStream() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual void Write(const void* buffer, size_t count) = 0;
  // Returns the new position; throws EImagingError for a position before 0.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  int64_t Position() { return Seek(0, TSeekOrigin::Current); }

  // Reads exactly count bytes or throws EImagingError.
  void ReadExact(void* buffer, size_t count);
  // Reads from the position to the end, at most limit bytes.
  std::vector<uint8_t> ReadRemaining(int64_t limit = INT64_MAX);
  void Write(std::span<const uint8_t> bytes) { Write(bytes.data(), bytes.size()); }
};

// A file read or written through a 16384-byte buffer.
class TFileStream : public TImagingStream {
 public:
  enum class TMode { Read, Create };
  static constexpr size_t kBufferSize = 16384;
  // Throws EImagingError when the file cannot be opened.
  TFileStream(const std::string& fileName, TMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  // Writes out buffered bytes; throws EImagingError on failure.
  void Flush();
  void Close();  // flushes and closes; throws on a failed flush

 private:
  std::FILE* file_ = nullptr;
  TMode mode_;
  std::vector<uint8_t> buffer_;
  size_t bufPos_ = 0;    // read position inside buffer_ (read mode)
  size_t bufLen_ = 0;    // valid bytes in buffer_
  int64_t filePos_ = 0;  // file position of buffer_[0]
};

// A growable stream in memory (the preview saves into one and reads it back).
class TMemoryStream : public TImagingStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }

 private:
  std::vector<uint8_t> data_;
  size_t pos_ = 0;
};

// Reads little- and big-endian values from a byte span; every read past the
// end throws EImagingError("Unexpected end of data"), so decoders never read
// outside their input.
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
  int32_t I32LE() { return static_cast<int32_t>(U32LE()); }
  std::span<const uint8_t> Bytes(size_t count);
  uint8_t Peek() const;  // throws at the end
  std::span<const uint8_t> Data() const { return data_; }

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
