// TSimpleFileFormat: the registry's adapter of a codec that works on whole
// byte spans. The rest of the stream is read once and handed to the codec; a
// codec of one picture gives its decoder, one with a signature its header
// test, and the format adds only what is its own.
#pragma once

#include <cstddef>
#include <span>

#include "imaging/file_format.h"

namespace imprimo {

class TSimpleFileFormat : public TImageFileFormat {
 protected:
  using TPictureDecoder = RasterImage (*)(std::span<const uint8_t> data);
  using THeaderTest = bool (*)(std::span<const uint8_t> header);

  TSimpleFileFormat() = default;
  // headerBytes: how many bytes test is given (fewer when the stream is short).
  explicit TSimpleFileFormat(TPictureDecoder decode, THeaderTest test = nullptr,
                             size_t headerBytes = 0)
      : decode_(decode), test_(test), headerBytes_(headerBytes) {}

  // Decodes data, all the stream had left, into images; by default into the
  // one picture the decoder gives.
  virtual bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                           bool onlyFirst);
  bool DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool onlyFirst) final;
  // The header test, when one was given; otherwise the format overrides this.
  bool ProbeContent(TImagingStream& stream) override;

 private:
  TPictureDecoder decode_ = nullptr;
  THeaderTest test_ = nullptr;
  size_t headerBytes_ = 0;
};

}  // namespace imprimo
