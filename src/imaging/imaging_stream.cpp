#include "imaging/imaging_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace imprimo {

void TImagingStream::ReadExact(void* buffer, size_t count) {
  if (Read(buffer, count) != count) throw EImagingError("Unexpected end of stream");
}

std::vector<uint8_t> TImagingStream::ReadRemaining(int64_t limit) {
  int64_t left = std::max<int64_t>(0, Size() - Position());
  left = std::min(left, limit);
  std::vector<uint8_t> out(static_cast<size_t>(left));
  out.resize(Read(out.data(), out.size()));
  return out;
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, TMode mode) : mode_(mode) {
  file_ = std::fopen(fileName.c_str(), mode == TMode::Read ? "rb" : "wb");
  if (!file_) throw EImagingError("Cannot open file \"" + fileName + "\": " + std::strerror(errno));
  buffer_.resize(kBufferSize);
}

TFileStream::~TFileStream() {
  if (file_) {
    try {
      Flush();
    } catch (...) {
    }
    std::fclose(file_);
  }
}

void TFileStream::Close() {
  if (!file_) return;
  Flush();
  int rc = std::fclose(file_);
  file_ = nullptr;
  if (rc != 0) throw EImagingError("Cannot close file");
}

size_t TFileStream::Read(void* buffer, size_t count) {
  if (!file_ || mode_ != TMode::Read) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (bufPos_ == bufLen_) {
      filePos_ += static_cast<int64_t>(bufLen_);
      bufPos_ = bufLen_ = 0;
      if (count - done >= kBufferSize) {
        size_t got = std::fread(out + done, 1, count - done, file_);
        filePos_ += static_cast<int64_t>(got);
        return done + got;
      }
      bufLen_ = std::fread(buffer_.data(), 1, kBufferSize, file_);
      if (bufLen_ == 0) break;
    }
    size_t take = std::min(count - done, bufLen_ - bufPos_);
    std::memcpy(out + done, buffer_.data() + bufPos_, take);
    bufPos_ += take;
    done += take;
  }
  return done;
}

void TFileStream::Flush() {
  if (!file_ || mode_ != TMode::Create || bufLen_ == 0) return;
  size_t put = std::fwrite(buffer_.data(), 1, bufLen_, file_);
  filePos_ += static_cast<int64_t>(put);
  bool ok = put == bufLen_;
  bufLen_ = 0;
  if (!ok || std::fflush(file_) != 0) throw EImagingError("Cannot write file");
}

void TFileStream::Write(const void* buffer, size_t count) {
  if (!file_ || mode_ != TMode::Create) throw EImagingError("Stream is not open for writing");
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    if (bufLen_ == kBufferSize) Flush();
    size_t take = std::min(count, kBufferSize - bufLen_);
    std::memcpy(buffer_.data() + bufLen_, in, take);
    bufLen_ += take;
    in += take;
    count -= take;
  }
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (!file_) throw EImagingError("Stream is closed");
  int64_t current = mode_ == TMode::Read ? filePos_ + static_cast<int64_t>(bufPos_)
                                         : filePos_ + static_cast<int64_t>(bufLen_);
  int64_t target = origin == TSeekOrigin::Begin     ? offset
                   : origin == TSeekOrigin::Current ? current + offset
                                                    : Size() + offset;
  if (target < 0) throw EImagingError("Seek before the start of the stream");
  if (target == current) return current;
  if (mode_ == TMode::Read) {
    // Inside the buffered window only the buffer position moves.
    if (target >= filePos_ && target <= filePos_ + static_cast<int64_t>(bufLen_)) {
      bufPos_ = static_cast<size_t>(target - filePos_);
      return target;
    }
    bufPos_ = bufLen_ = 0;
  } else {
    Flush();
  }
  if (fseeko(file_, target, SEEK_SET) != 0) throw EImagingError("Cannot seek in file");
  filePos_ = target;
  return target;
}

int64_t TFileStream::Size() {
  if (!file_) return 0;
  if (mode_ == TMode::Create) Flush();
  off_t here = ftello(file_);
  fseeko(file_, 0, SEEK_END);
  off_t end = ftello(file_);
  fseeko(file_, here, SEEK_SET);
  return end;
}

// ---- TMemoryStream ----

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (pos_ >= data_.size()) return 0;
  size_t take = std::min(count, data_.size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, take);
  pos_ += take;
  return take;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (pos_ + count > data_.size()) data_.resize(pos_ + count);
  if (count) std::memcpy(data_.data() + pos_, buffer, count);
  pos_ += count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::Begin     ? 0
                 : origin == TSeekOrigin::Current ? static_cast<int64_t>(pos_)
                                                  : static_cast<int64_t>(data_.size());
  int64_t target = base + offset;
  if (target < 0) throw EImagingError("Seek before the start of the stream");
  pos_ = static_cast<size_t>(target);
  return target;
}

// ---- TByteReader ----

void TByteReader::Need(size_t count) const {
  if (count > data_.size() - pos_) throw EImagingError("Unexpected end of data");
}
void TByteReader::Seek(size_t pos) {
  if (pos > data_.size()) throw EImagingError("Unexpected end of data");
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
