// What a picture file says about its pixels besides the pixels themselves,
// taken from the bytes the picture was decoded from: the source's metadata
// as the output's metadata is built from it. The record holds no codec
// state; it is filled once per source and handed from the load step to the
// save step.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace imprimo {

// Where the record's metadata came from.
enum class TMetadataSource {
  None,       // a format whose metadata is not carried
  Jpeg,       // JpegHeader holds the file's leading segments
  Png,        // Exif and Xmp from its eXIf and iTXt chunks
  Container,  // HEIF, AVIF, WebP or TIFF: Exif, Xmp as those formats keep them
};

struct TPictureMetadata {
  TMetadataSource Kind = TMetadataSource::None;
  // The format the file was decoded as (its default extension, "jpg"),
  // empty when it did not decode.
  std::string SourceFormat;
  // JPEG: the file from its start through the header of its first scan: the
  // APPn and COM segments as found, the tables and the frame header. A file
  // whose segments cannot be walked to a scan keeps its first
  // kMaxJpegHeaderScan bytes instead.
  std::string JpegHeader;
  // PNG and containers: the EXIF block as TIFF data from its header on and
  // the XMP packet; empty when absent. A HEIF picture's block says
  // Orientation 1, its decoder having turned the picture already.
  std::string Exif, Xmp;
  // The source's sound ICC colour profile; when it has an unsound one,
  // empty with IccProblem saying why.
  std::string Icc, IccProblem;
};

// Metadata an encoder writes inside its own encode, for formats that take
// it there (AVIF): the EXIF block as TIFF data, the colour profile and the
// XMP packet; empty parts are left out.
struct TEmbeddedMetadata {
  std::string Exif, Icc, Xmp;
};

// Bytes of a JPEG whose segments lead nowhere that are kept for the EXIF
// reader, which looks no further.
constexpr size_t kMaxJpegHeaderScan = 4 * 1024 * 1024;

// The leading bytes of a JPEG file that hold all of its metadata (see
// JpegHeader). Never throws.
std::string JpegMetadataHeader(std::span<const uint8_t> file);

// The JFIF density of a JPEG header: unit (0 none, 1 inch, 2 cm), x and y.
// False when it does not start with a sound JFIF header.
bool ReadJfifDensity(std::span<const uint8_t> jpeg, int& unit, int& x, int& y);

}  // namespace imprimo

namespace imprimo {

// The pixel size a PNG, GIF, BMP or JPEG file announces in its header, for
// the memory a run sets aside before decoding; false for other formats and
// for headers that announce no size.
bool PeekPictureSize(std::span<const uint8_t> file, int64_t& width, int64_t& height);

}  // namespace imprimo
