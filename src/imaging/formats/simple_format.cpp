#include "imaging/formats/simple_format.h"

#include <vector>

namespace imprimo {

bool TSimpleFileFormat::DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                                    bool) {
  if (!decode_) return false;
  images.push_back(decode_(data));
  return true;
}

bool TSimpleFileFormat::DecodeImages(TImagingStream& stream, TDynImageDataArray& images,
                                     bool onlyFirst) {
  const std::vector<uint8_t> data = stream.ReadRemaining();
  return DecodeBytes(data, images, onlyFirst);
}

bool TSimpleFileFormat::ProbeContent(TImagingStream& stream) {
  return test_ && test_(PeekHeader(stream, headerBytes_));
}

}  // namespace imprimo
