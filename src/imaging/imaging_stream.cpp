#include "imaging/imaging_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

namespace imprimo {

void TImagingStream::ReadExact(void* buffer, size_t count) {
  if (Read(buffer, count) != count)
    throw EImagingError("Unexpected end of stream", EImagingErrorKind::Truncated);
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
  int err = InjectedWriteFault(bufLen_);
  if (err == 0) {
    errno = 0;
    const size_t put = std::fwrite(buffer_.data(), 1, bufLen_, file_);
    filePos_ += static_cast<int64_t>(put);
    if (put != bufLen_ || std::fflush(file_) != 0) err = errno != 0 ? errno : EIO;
  }
  bufLen_ = 0;
  if (err != 0)
    throw EImagingError(
        std::string("Cannot write file: ") + std::strerror(err),
        IsNoSpaceError(err) ? EImagingErrorKind::NoSpace : EImagingErrorKind::Other);
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

size_t TByteViewStream::Read(void* buffer, size_t count) {
  if (pos_ >= data_.size()) return 0;
  const size_t take = std::min(count, data_.size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, take);
  pos_ += take;
  return take;
}

void TByteViewStream::Write(const void*, size_t) {
  throw EImagingError("The stream cannot be written");
}

int64_t TByteViewStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == TSeekOrigin::Begin     ? 0
                       : origin == TSeekOrigin::Current ? static_cast<int64_t>(pos_)
                                                        : static_cast<int64_t>(data_.size());
  const int64_t target = base + offset;
  if (target < 0) throw EImagingError("Seek before the start of the stream");
  pos_ = static_cast<size_t>(target);
  return target;
}

[[noreturn]] void RaiseTruncated(const ETruncatedData& e) {
  throw EImagingError(e.what(), EImagingErrorKind::Truncated);
}

}  // namespace imprimo
