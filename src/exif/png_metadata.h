// EXIF and XMP of PNG files: read from a source's eXIf chunk and its iTXt
// chunk with the keyword "XML:com.adobe.xmp", and written into an output as
// the same two chunks.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace imprimo {

struct TPngMetadata {
  std::string Exif;  // TIFF data from its header on; empty when none
  std::string Xmp;   // the packet; empty when none
};

// The EXIF block and XMP packet of a PNG file. Chunks that are damaged
// (wrong CRC, truncated, an EXIF block without a TIFF header, XMP that does
// not decompress) are skipped. Never throws.
TPngMetadata ReadPngMetadata(std::span<const uint8_t> png);

// The PNG with an eXIf chunk holding exif and an uncompressed iTXt chunk
// holding xmp placed before its first IDAT chunk, in place of any such
// chunks it had; an empty argument writes no chunk of its kind. Returns an
// empty string when the bytes are not a PNG whose chunks can be walked.
std::string SetPngMetadata(std::span<const uint8_t> png, const std::string& exif,
                           const std::string& xmp);

}  // namespace imprimo
