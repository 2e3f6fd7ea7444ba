// ZSoft Paintbrush files (load only).
#include "imaging/formats/pcx_format.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/imaging_stream.h"

namespace imprimo {

namespace {

[[noreturn]] void Bad(const std::string& what) {
  throw EImagingError("Invalid Paintbrush image: " + what);
}

constexpr size_t kHeaderSize = 128;

// The standard 16-colour EGA palette, R, G, B.
constexpr uint8_t kDefaultEga[48] = {0,   0,  0,  0,   0,  170, 0,   170, 0,  0,   170, 170,
                                     170, 0,  0,  170, 0,  170, 170, 85,  0,  170, 170, 170,
                                     85,  85, 85, 85,  85, 255, 85,  255, 85, 85,  255, 255,
                                     255, 85, 85, 255, 85, 255, 255, 255, 85, 255, 255, 255};

}  // namespace

RasterImage DecodePcx(std::span<const uint8_t> data) try {
  if (data.size() < kHeaderSize) Bad("file is shorter than its header");
  TByteReader r(data);
  if (r.U8() != 10) Bad("missing signature");
  const uint8_t version = r.U8();
  const uint8_t encoding = r.U8();
  const int bpp = r.U8();
  const int xmin = r.U16LE(), ymin = r.U16LE(), xmax = r.U16LE(), ymax = r.U16LE();
  r.Skip(4);
  auto ega = r.Bytes(48);
  r.U8();
  const int planes = r.U8();
  const size_t bytesPerLine = r.U16LE();
  r.Seek(kHeaderSize);
  if (encoding > 1) Bad("unknown encoding");
  if (xmax < xmin || ymax < ymin) Bad("bad image bounds");
  const int width = xmax - xmin + 1, height = ymax - ymin + 1;
  if (int64_t{width} * height > kMaxImagePixels) Bad("image too large");

  const bool trueColour = bpp == 8 && (planes == 3 || planes == 4);
  const bool packed = planes == 1 && (bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8);
  const bool planar = bpp == 1 && planes >= 2 && planes <= 4;
  if (!trueColour && !packed && !planar) Bad("unsupported bits and planes");
  if (bytesPerLine * 8 < static_cast<size_t>(width) * bpp) Bad("scan line is too short");

  const size_t lineBytes = bytesPerLine * planes;
  const size_t total = lineBytes * height;
  // Each coded byte yields at most 63 bytes, so short files are refused
  // before the scan lines are allocated.
  const size_t coded = data.size() - kHeaderSize;
  if (encoding ? coded * 63 < total : coded < total) Bad("pixel data is truncated");
  std::vector<uint8_t> lines(total);
  size_t pos = 0;
  if (encoding == 0) {
    std::memcpy(lines.data(), r.Bytes(total).data(), total);
  } else {
    while (pos < total) {
      uint8_t b = r.U8();
      size_t count = 1;
      if ((b & 0xC0) == 0xC0) {
        count = b & 0x3F;
        b = r.U8();
      }
      // Runs may continue across scan lines; the last one stops at the end.
      count = std::min(count, total - pos);
      std::memset(&lines[pos], b, count);
      pos += count;
    }
  }

  RasterImage image;
  ImageCreate(image, width, height, trueColour ? (planes == 4 ? ifA8R8G8B8 : ifR8G8B8) : ifIndex8);
  for (int y = 0; y < height; ++y) {
    const uint8_t* line = &lines[y * lineBytes];
    uint8_t* dst = image.Row(y);
    for (int x = 0; x < width; ++x) {
      if (trueColour) {
        uint8_t* p = dst + x * planes;
        p[2] = line[x];
        p[1] = line[bytesPerLine + x];
        p[0] = line[2 * bytesPerLine + x];
        if (planes == 4) p[3] = line[3 * bytesPerLine + x];
      } else if (packed) {
        const size_t bit = static_cast<size_t>(x) * bpp;
        dst[x] = static_cast<uint8_t>((line[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1));
      } else {
        int v = 0;
        for (int p = 0; p < planes; ++p)
          v |= ((line[p * bytesPerLine + x / 8] >> (7 - x % 8)) & 1) << p;
        dst[x] = static_cast<uint8_t>(v);
      }
    }
  }

  if (!trueColour) {
    TColor32Rec* pal = image.Palette.get();
    const int colours = 1 << (bpp * planes);
    bool vga = false;
    if (bpp == 8 && data.size() >= kHeaderSize + 769 && data[data.size() - 769] == 0x0C) {
      const uint8_t* v = data.data() + data.size() - 768;
      for (int i = 0; i < 256; ++i) pal[i] = {v[3 * i + 2], v[3 * i + 1], v[3 * i], 255};
      vga = true;
    }
    if (!vga && bpp == 8) {
      for (int i = 0; i < 256; ++i) pal[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 255};
    } else if (!vga) {
      // Versions 0 and 3 carry no palette; a blank header palette means the same.
      const bool blank = std::all_of(ega.begin(), ega.end(), [](uint8_t b) { return b == 0; });
      const uint8_t* src = (version == 0 || version == 3 || blank) ? kDefaultEga : ega.data();
      for (int i = 0; i < 16; ++i) pal[i] = {src[3 * i + 2], src[3 * i + 1], src[3 * i], 255};
      // One-bit single-plane images are monochrome whatever the header palette
      // holds (writers leave stale bytes there).
      if (colours == 2 && planes == 1) {
        pal[0] = {0, 0, 0, 255};
        pal[1] = {255, 255, 255, 255};
      }
    }
  }
  return image;
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

namespace {

class TPCXFileFormat : public TImageFileFormat {
 public:
  TPCXFileFormat() {
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
  bool DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool) override {
    std::vector<uint8_t> data = stream.ReadRemaining();
    images.push_back(DecodePcx(data));
    return true;
  }
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakePCXFileFormat() { return std::make_unique<TPCXFileFormat>(); }

}  // namespace imprimo
