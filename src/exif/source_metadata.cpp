#include "exif/source_metadata.h"

#include <algorithm>
#include <exiv2/exiv2.hpp>
#include <fstream>
#include <set>

#include "exif/exif_reader.h"
#include "exif/png_metadata.h"
#include "imaging/formats/heif_format.h"
#include "imaging/formats/tiff_format.h"
#include "imaging/formats/webp_format.h"
#include "imaging/icc_profile.h"

namespace imprimo {

namespace {

// The stored Orientation of a TIFF block set to 1, when it has one.
void SetOrientation1(std::string& tiff) {
  std::string section = std::string(2, '\0') + std::string("Exif\0\0", 6) + tiff;
  size_t position = 0;
  int width = 0;
  TByteOrder order;
  if (!FindExifOrientation(section, position, width, order)) return;
  for (int i = 0; i < width; ++i) section[position + i] = 0;
  const size_t low = order == TByteOrder::Intel ? position : position + width - 1;
  section[low] = 1;
  tiff = section.substr(8);
}

// Fields of a TIFF file's first directory that describe its pixel data; an
// EXIF block carried elsewhere has no use for them.
const std::set<std::string>& StructureKeys() {
  static const std::set<std::string> keys = {"Exif.Image.NewSubfileType",
                                             "Exif.Image.SubfileType",
                                             "Exif.Image.ImageWidth",
                                             "Exif.Image.ImageLength",
                                             "Exif.Image.BitsPerSample",
                                             "Exif.Image.Compression",
                                             "Exif.Image.PhotometricInterpretation",
                                             "Exif.Image.FillOrder",
                                             "Exif.Image.StripOffsets",
                                             "Exif.Image.SamplesPerPixel",
                                             "Exif.Image.RowsPerStrip",
                                             "Exif.Image.StripByteCounts",
                                             "Exif.Image.PlanarConfiguration",
                                             "Exif.Image.Predictor",
                                             "Exif.Image.ColorMap",
                                             "Exif.Image.TileWidth",
                                             "Exif.Image.TileLength",
                                             "Exif.Image.TileOffsets",
                                             "Exif.Image.TileByteCounts",
                                             "Exif.Image.ExtraSamples",
                                             "Exif.Image.SampleFormat",
                                             "Exif.Image.SubIFDs",
                                             "Exif.Image.JPEGTables",
                                             "Exif.Image.YCbCrSubSampling",
                                             "Exif.Image.YCbCrPositioning",
                                             "Exif.Image.InterColorProfile",
                                             "Exif.Image.XMLPacket",
                                             "Exif.Image.ImageResources",
                                             "Exif.Image.IPTCNAA",
                                             "Exif.Image.InkSet",
                                             "Exif.Image.T4Options",
                                             "Exif.Image.T6Options",
                                             "Exif.Image.MinSampleValue",
                                             "Exif.Image.MaxSampleValue",
                                             "Exif.Image.TransferFunction",
                                             "Exif.Image.JPEGInterchangeFormat",
                                             "Exif.Image.JPEGInterchangeFormatLength"};
  return keys;
}

// The EXIF fields of a whole TIFF file as a compact TIFF block.
std::string TiffExifBlock(std::span<const uint8_t> file) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  Exiv2::ExifData exif;
  const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(
      exif, reinterpret_cast<const Exiv2::byte*>(file.data()), uint32_t(file.size()));
  if (order == Exiv2::invalidByteOrder) return std::string();
  Exiv2::ExifData kept;
  bool any = false;
  for (const auto& d : exif) {
    const std::string group = d.groupName();
    const bool wanted = (group == "Image" && !StructureKeys().count(d.key())) || group == "Photo" ||
                        group == "GPSInfo" || group == "Iop";
    if (!wanted) continue;
    kept.add(d);
    if (d.key() != "Exif.Image.ExifTag" && d.key() != "Exif.Image.GPSTag") any = true;
  }
  if (!any) return std::string();
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, order, kept);
  return std::string(blob.begin(), blob.end());
}

}  // namespace

bool ReadSourceMetadata(std::span<const uint8_t> file, TSourceMetadata& m) {
  m = TSourceMetadata();
  try {
    if (HeifBrand(file) != THeifBrand::None) {
      THeifMetadata h = ReadHeifMetadata(file);
      m.Exif = std::move(h.Exif);
      m.Icc = std::move(h.Icc);
      m.Xmp = std::move(h.Xmp);
      if (!m.Exif.empty()) SetOrientation1(m.Exif);
      return true;
    }
    if (IsWebPSignature(file)) {
      TWebPMetadata w = ReadWebPMetadata(file);
      m.Exif = std::move(w.Exif);
      m.Icc = std::move(w.Icc);
      m.Xmp = std::move(w.Xmp);
      return true;
    }
    if (IsTiffSignature(file)) {
      TTiffMetadata t = ReadTiffMetadata(file);
      m.Icc = std::move(t.Icc);
      m.Xmp = std::move(t.Xmp);
      try {
        m.Exif = TiffExifBlock(file);
      } catch (const std::exception&) {
        m.Exif.clear();
      }
      return true;
    }
  } catch (const std::exception&) {
    // A damaged file carries no metadata; its picture fails on its own.
    m = TSourceMetadata();
    return true;
  }
  return false;
}

std::string ReadSourceIccProfile(std::span<const uint8_t> file, std::string* why) {
  if (why) why->clear();
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0xD8) return ReadJpegIccProfile(file, why);
  if (file.size() >= 8 && std::equal(kPng, kPng + 8, file.begin()))
    return ReadPngIccProfile(file, why);
  TSourceMetadata m;
  if (!ReadSourceMetadata(file, m) || m.Icc.empty()) return std::string();
  if (!IccProfileIsSound(m.Icc, why)) return std::string();
  return m.Icc;
}

int ContainerOrientation(std::span<const uint8_t> file) {
  TSourceMetadata m;
  if (!ReadSourceMetadata(file, m) || m.Exif.empty()) return 0;
  return ExifOrientation(std::string(2, '\0') + std::string("Exif\0\0", 6) + m.Exif);
}

TPictureMetadata ReadPictureMetadata(std::span<const uint8_t> file, const std::string& format) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  TPictureMetadata m;
  m.SourceFormat = format;
  try {
    if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0xD8) {
      m.Kind = TMetadataSource::Jpeg;
      m.JpegHeader = JpegMetadataHeader(file);
      const std::span<const uint8_t> header(reinterpret_cast<const uint8_t*>(m.JpegHeader.data()),
                                            m.JpegHeader.size());
      m.Icc = ReadJpegIccProfile(header, &m.IccProblem);
    } else if (file.size() >= 8 && std::equal(kPng, kPng + 8, file.begin())) {
      m.Kind = TMetadataSource::Png;
      TPngMetadata png = ReadPngMetadata(file);
      m.Exif = std::move(png.Exif);
      m.Xmp = std::move(png.Xmp);
      m.Icc = ReadPngIccProfile(file, &m.IccProblem);
    } else {
      TSourceMetadata c;
      if (!ReadSourceMetadata(file, c)) return m;
      m.Kind = TMetadataSource::Container;
      m.Exif = std::move(c.Exif);
      m.Xmp = std::move(c.Xmp);
      if (!c.Icc.empty() && IccProfileIsSound(c.Icc, &m.IccProblem)) m.Icc = std::move(c.Icc);
    }
  } catch (const std::exception&) {
    // Whatever part could not be read stays out; the picture goes on.
    m.Icc.clear();
  }
  return m;
}

int RecordOrientation(const TPictureMetadata& m) {
  if (m.Kind == TMetadataSource::Jpeg) {
    TimgData reader;
    reader.ReadMetadata(m);
    return reader.Orientation();
  }
  if (m.Kind != TMetadataSource::Container || m.Exif.empty()) return 0;
  return ExifOrientation(std::string(2, '\0') + std::string("Exif\0\0", 6) + m.Exif);
}

bool IsContainerPicture(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint8_t head[64] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  const std::span<const uint8_t> h(head, static_cast<size_t>(in.gcount()));
  return HeifBrand(h) != THeifBrand::None || IsWebPSignature(h) || IsTiffSignature(h);
}

}  // namespace imprimo
