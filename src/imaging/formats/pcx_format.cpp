// ZSoft Paintbrush files (load only).
#include "imaging/formats/pcx_format.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/imaging_stream.h"

namespace imprimo {

namespace {

[[noreturn]] void Bad(const std::string& what,
                      EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  throw EImagingError("Invalid Paintbrush image: " + what, kind);
}

constexpr size_t kHeaderSize = 128;
// Bytes a scan line may hold beyond the ones its pixels need.
constexpr size_t kMaxLinePadding = 256;

// The standard 16-colour EGA palette, R, G, B.
constexpr uint8_t kDefaultEga[48] = {0,   0,  0,  0,   0,  170, 0,   170, 0,  0,   170, 170,
                                     170, 0,  0,  170, 0,  170, 170, 85,  0,  170, 170, 170,
                                     85,  85, 85, 85,  85, 255, 85,  255, 85, 85,  255, 255,
                                     255, 85, 85, 255, 85, 255, 255, 255, 85, 255, 255, 255};

struct TPcxHeader {
  uint8_t version = 0, encoding = 0;
  int bpp = 0, planes = 0;
  int width = 0, height = 0;
  size_t bytesPerLine = 0;
  std::span<const uint8_t> ega;
  bool trueColour = false, packed = false, planar = false;
};

TPcxHeader ReadPcxHeader(TByteReader& r) {
  TPcxHeader h;
  if (r.U8() != 10) Bad("missing signature");
  h.version = r.U8();
  h.encoding = r.U8();
  h.bpp = r.U8();
  const int xmin = r.U16LE(), ymin = r.U16LE(), xmax = r.U16LE(), ymax = r.U16LE();
  r.Skip(4);
  h.ega = r.Bytes(48);
  r.U8();
  h.planes = r.U8();
  h.bytesPerLine = r.U16LE();
  r.Seek(kHeaderSize);
  if (h.encoding > 1) Bad("unknown encoding");
  if (xmax < xmin || ymax < ymin) Bad("bad image bounds");
  h.width = xmax - xmin + 1;
  h.height = ymax - ymin + 1;
  return h;
}

void ValidatePcxHeader(TPcxHeader& h, size_t codedBytes) {
  h.trueColour = h.bpp == 8 && (h.planes == 3 || h.planes == 4);
  h.packed = h.planes == 1 && (h.bpp == 1 || h.bpp == 2 || h.bpp == 4 || h.bpp == 8);
  h.planar = h.bpp == 1 && h.planes >= 2 && h.planes <= 4;
  if (!h.trueColour && !h.packed && !h.planar)
    Bad("unsupported bits and planes", EImagingErrorKind::Unsupported);
  CheckImageLimits(h.width, h.height, h.trueColour ? ifA8R8G8B8 : ifIndex8);
  // A scan line holds the row's bits, padded to an even count of bytes;
  // writers add little beyond that.
  const size_t needed = (static_cast<size_t>(h.width) * h.bpp + 7) / 8;
  if (h.bytesPerLine < needed) Bad("scan line is too short");
  if (h.bytesPerLine > needed + kMaxLinePadding) Bad("scan line is too long");
  const uint64_t total = uint64_t{h.bytesPerLine} * h.planes * h.height;
  // Each coded byte yields at most 63 bytes, so short files are refused
  // before anything is allocated.
  if (h.encoding ? uint64_t{codedBytes} * 63 < total : codedBytes < total)
    Bad("pixel data is truncated", EImagingErrorKind::Truncated);
}

// Expands the coded scan lines one at a time; runs may continue from one
// scan line into the next.
class TPcxLineDecoder {
 public:
  TPcxLineDecoder(TByteReader& r, bool encoded) : r_(r), encoded_(encoded) {}
  void Next(std::span<uint8_t> line) {
    if (!encoded_) {
      auto src = r_.Bytes(line.size());
      std::memcpy(line.data(), src.data(), line.size());
      return;
    }
    size_t pos = 0;
    while (pos < line.size()) {
      if (runLeft_ == 0) {
        runValue_ = r_.U8();
        runLeft_ = 1;
        if ((runValue_ & 0xC0) == 0xC0) {
          runLeft_ = runValue_ & 0x3F;
          runValue_ = r_.U8();
        }
        continue;
      }
      const size_t n = std::min(runLeft_, line.size() - pos);
      std::memset(line.data() + pos, runValue_, n);
      pos += n;
      runLeft_ -= n;
    }
  }

 private:
  TByteReader& r_;
  bool encoded_;
  size_t runLeft_ = 0;
  uint8_t runValue_ = 0;
};

void ConvertPcxLine(const TPcxHeader& h, const uint8_t* line, uint8_t* dst) {
  const size_t bpl = h.bytesPerLine;
  for (int x = 0; x < h.width; ++x) {
    if (h.trueColour) {
      uint8_t* p = dst + x * h.planes;
      p[2] = line[x];
      p[1] = line[bpl + x];
      p[0] = line[2 * bpl + x];
      if (h.planes == 4) p[3] = line[3 * bpl + x];
    } else if (h.packed) {
      const size_t bit = static_cast<size_t>(x) * h.bpp;
      dst[x] = static_cast<uint8_t>((line[bit / 8] >> (8 - h.bpp - bit % 8)) & ((1 << h.bpp) - 1));
    } else {
      int v = 0;
      for (int p = 0; p < h.planes; ++p) v |= ((line[p * bpl + x / 8] >> (7 - x % 8)) & 1) << p;
      dst[x] = static_cast<uint8_t>(v);
    }
  }
}

void ReadPcxPalette(const TPcxHeader& h, std::span<const uint8_t> data, TColor32Rec* pal) {
  const int colours = 1 << (h.bpp * h.planes);
  if (h.bpp == 8) {
    // A 256-colour palette follows the pixels, after a byte 12.
    if (data.size() >= kHeaderSize + 769) {
      TByteReader tail(data.subspan(data.size() - 769));
      if (tail.U8() == 0x0C) {
        for (int i = 0; i < 256; ++i) {
          auto v = tail.Bytes(3);
          pal[i] = {v[2], v[1], v[0], 255};
        }
        return;
      }
    }
    for (int i = 0; i < 256; ++i) pal[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 255};
    return;
  }
  // Versions 0 and 3 carry no palette; a blank header palette means the same.
  const bool blank = std::all_of(h.ega.begin(), h.ega.end(), [](uint8_t b) { return b == 0; });
  TByteReader ega(h.version == 0 || h.version == 3 || blank ? std::span<const uint8_t>(kDefaultEga)
                                                            : h.ega);
  for (int i = 0; i < 16; ++i) {
    auto v = ega.Bytes(3);
    pal[i] = {v[2], v[1], v[0], 255};
  }
  // One-bit single-plane images are monochrome whatever the header palette
  // holds (writers leave stale bytes there).
  if (colours == 2 && h.planes == 1) {
    pal[0] = {0, 0, 0, 255};
    pal[1] = {255, 255, 255, 255};
  }
}

}  // namespace

RasterImage DecodePcx(std::span<const uint8_t> data) try {
  if (data.size() < kHeaderSize)
    Bad("file is shorter than its header", EImagingErrorKind::Truncated);
  TByteReader r(data);
  TPcxHeader h = ReadPcxHeader(r);
  ValidatePcxHeader(h, data.size() - kHeaderSize);

  RasterImage image;
  ImageCreate(image, h.width, h.height,
              h.trueColour ? (h.planes == 4 ? ifA8R8G8B8 : ifR8G8B8) : ifIndex8);
  CheckBufferLimit(uint64_t{h.bytesPerLine} * h.planes);
  std::vector<uint8_t> line(h.bytesPerLine * h.planes);
  TPcxLineDecoder lines(r, h.encoding != 0);
  for (int y = 0; y < h.height; ++y) {
    lines.Next(line);
    ConvertPcxLine(h, line.data(), image.Row(y));
  }
  if (!h.trueColour) ReadPcxPalette(h, data, image.Palette.get());
  return image;
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

namespace {

class TPCXFileFormat : public TSimpleFileFormat {
 public:
  TPCXFileFormat() : TSimpleFileFormat(DecodePcx) {
    SetName("ZSoft Paintbrush Image");
    AddMasks("*.pcx");
    SetCapabilities(true, false, false);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 128);
    if (h.size() < 128) return false;
    const int version = h[1], planes = h[65], paletteType = h[68] | h[69] << 8;
    return h[0] == 10 && (version == 0 || (version >= 2 && version <= 5)) && h[2] <= 1 &&
           (h[3] == 1 || h[3] == 2 || h[3] == 4 || h[3] == 8) &&
           (planes == 1 || planes == 3 || planes == 4) && (paletteType == 1 || paletteType == 2);
  }
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakePCXFileFormat() { return std::make_unique<TPCXFileFormat>(); }

}  // namespace imprimo
