// Streams the image file layer reads and writes through. The bounded byte
// readers and writers come along from the platform layer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/raster_image.h"
#include "platform/byte_reader.h"

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

// A read-only stream over bytes the caller keeps alive (a file read once
// into memory); writing throws.
class TByteViewStream : public TImagingStream {
 public:
  explicit TByteViewStream(std::span<const uint8_t> data) : data_(data) {}
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

// A decoder's read past the end of its input, presented as the image layer's
// error. Decoder entry points catch ETruncatedData from their readers and
// hand it here, so callers see EImagingError (kind Truncated) only.
[[noreturn]] void RaiseTruncated(const ETruncatedData& e);

}  // namespace imprimo
