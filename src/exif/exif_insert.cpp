// Rewrites a JPEG output with the metadata segments of its source.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "exif/exif_reader.h"
#include "exif/metadata_writer.h"
#include "platform/file_io.h"

namespace imprimo {

namespace {

void AppendSegment(std::string& out, const MetadataSection* section) {
  if (!section) return;
  out += '\xFF';
  out += static_cast<char>(section->markerCode);
  out += section->bytes;
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " \"" + path + "\": " + std::strerror(errno);
}

}  // namespace

std::string TimgData::BuildMetadataJpeg(std::span<const uint8_t> out) const {
  const size_t n = out.size();
  if (n < 2 || out[0] != 0xFF || out[1] != 0xD8)
    throw std::runtime_error("The output is not a JPEG file");
  std::string result("\xFF\xD8", 2);
  AppendSegment(result, ExifSection());
  AppendSegment(result, IptcSection());
  AppendSegment(result, CommentSection());

  // Skip the output's own leading APP0, APP1, APP13 and COM segments, each at
  // most once and in that order. A segment that would run past the end of the
  // data is kept rather than skipped.
  size_t p = 2;
  for (uint8_t code : {0xE0, 0xE1, 0xED, 0xFE}) {
    if (p + 4 > n || out[p + 1] != code) continue;
    size_t length = (static_cast<size_t>(out[p + 2]) << 8) | out[p + 3];
    if (length < 2 || p + 2 + length > n) break;
    p += 2 + length;
  }
  result.append(reinterpret_cast<const char*>(out.data()) + p, n - p);
  return result;
}

void TimgData::InsertMetadataIntoJpeg(std::span<const uint8_t> outputJpeg,
                                      const std::string& outputPath, bool /*adjustSize*/) const {
  if (!HasExifBlock()) return;
  WriteFileReplacing(outputPath, BuildMetadataJpeg(outputJpeg));
}

void TimgData::InsertMetadataIntoJpeg(const std::string& outputPath, bool adjustSize) const {
  if (!HasExifBlock()) return;
  std::ifstream in(outputPath, std::ios::binary);
  if (!in) throw std::runtime_error(SystemError("Cannot open", outputPath));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error(SystemError("Cannot read", outputPath));
  InsertMetadataIntoJpeg(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
      outputPath, adjustSize);
}

}  // namespace imprimo
