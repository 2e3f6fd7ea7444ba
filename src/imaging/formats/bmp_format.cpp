// Windows and OS/2 bitmap files.
#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging/formats/format_factories.h"

namespace imprimo {

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

[[noreturn]] void Bad(const char* what) {
  throw EImagingError(std::string("Invalid bitmap: ") + what);
}

struct TMask {
  uint32_t mask = 0;
  int shift = 0, bits = 0;
  explicit TMask(uint32_t m = 0) : mask(m) {
    if (m) {
      shift = std::countr_zero(m);
      bits = std::popcount(m);
    }
  }
  // The channel scaled to 8 bits.
  uint8_t Get(uint32_t v, uint8_t absent) const {
    if (!bits) return absent;
    uint32_t c = (v & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(c >> (bits - 8));
    uint32_t maxv = (1u << bits) - 1;
    return static_cast<uint8_t>((c * 255 + maxv / 2) / maxv);
  }
};

// Decodes 8-bit or 4-bit run-length data into an Index8 image, bottom row first.
void DecodeRle(TByteReader& r, RasterImage& image, bool four) {
  const int w = image.Width, h = image.Height;
  int x = 0, y = h - 1;
  auto put = [&](uint8_t index) {
    if (x >= w || y < 0) Bad("run-length data runs past the image");
    image.Bits[static_cast<size_t>(y) * w + x] = index;
    ++x;
  };
  while (!r.AtEnd()) {
    uint8_t count = r.U8();
    if (r.AtEnd()) break;
    uint8_t value = r.U8();
    if (count > 0) {
      for (int i = 0; i < count; ++i) {
        uint8_t index = four ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value;
        // An odd run that ends one pixel past a row is common padding.
        if (four && x >= w && i == count - 1 && (count & 1) == 0) break;
        put(index);
      }
    } else if (value == 0) {  // end of line
      x = 0;
      --y;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta
      x += r.U8();
      y -= r.U8();
      if (x > w || y < -1) Bad("run-length delta leaves the image");
    } else {  // absolute run
      const int n = value;
      const int bytes = four ? (n + 1) / 2 : n;
      auto data = r.Bytes(static_cast<size_t>(bytes));
      for (int i = 0; i < n; ++i) {
        uint8_t index = four ? ((i & 1) ? (data[i / 2] & 0x0F) : (data[i / 2] >> 4)) : data[i];
        if (four && x >= w && i == n - 1 && (n & 1) == 0) break;
        put(index);
      }
      if (bytes & 1) r.Skip(1);
    }
  }
}

}  // namespace

RasterImage DecodeBmp(std::span<const uint8_t> data) try {
  TByteReader r(data);
  if (r.U8() != 'B' || r.U8() != 'M') Bad("no BM signature");
  r.Skip(8);
  const uint32_t offBits = r.U32LE();
  const size_t headerStart = r.Position();
  const uint32_t headerSize = r.U32LE();
  const bool core = headerSize == 12;
  if (!(core || (headerSize >= 16 && headerSize <= 64) || headerSize == 108 || headerSize == 124))
    Bad("unknown header size");
  const bool os2v2 =
      !core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize <= 64;
  auto hdr = TByteReader(r.Bytes(headerSize - 4));
  int32_t width, height;
  uint16_t planes, bitCount;
  uint32_t compression = kBiRgb, clrUsed = 0, sizeImage = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  if (core) {
    width = hdr.U16LE();
    height = static_cast<int16_t>(hdr.U16LE());
    planes = hdr.U16LE();
    bitCount = hdr.U16LE();
  } else {
    width = hdr.I32LE();
    height = hdr.I32LE();
    planes = hdr.U16LE();
    bitCount = hdr.U16LE();
    // Short OS/2 headers end early; the missing fields are zero.
    auto field = [&]() -> uint32_t {
      return hdr.Remaining() >= 4 ? hdr.U32LE() : (hdr.Skip(hdr.Remaining()), 0);
    };
    compression = field();
    sizeImage = field();
    field();
    field();
    clrUsed = field();
    field();
    if (!os2v2 && headerSize >= 52) {
      masks[0] = hdr.U32LE();
      masks[1] = hdr.U32LE();
      masks[2] = hdr.U32LE();
      if (headerSize >= 56) masks[3] = hdr.U32LE();
    }
  }
  (void)sizeImage;
  if (planes != 1) Bad("plane count is not 1");
  if (width <= 0 || height == 0 || height == INT32_MIN) Bad("bad dimensions");
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width > kMaxImageSide || height > kMaxImageSide || int64_t{width} * height > kMaxImagePixels)
    Bad("image too large");
  if (os2v2 && compression >= 3) Bad("unsupported OS/2 compression");
  if (!os2v2 && (compression == 4 || compression == 5))
    Bad("embedded JPEG or PNG data is not supported");
  if (!(bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
        bitCount == 24 || bitCount == 32))
    Bad("unsupported bit count");
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (compression == kBiRle8 && bitCount != 8) Bad("RLE8 needs 8 bits per pixel");
  if (compression == kBiRle4 && bitCount != 4) Bad("RLE4 needs 4 bits per pixel");
  if (rle && topDown) Bad("run-length images cannot be top-down");
  const bool bitfields = compression == kBiBitfields || compression == kBiAlphaBitfields;
  if (bitfields && bitCount != 16 && bitCount != 32) Bad("bit fields need 16 or 32 bits");
  if (!rle && !bitfields && compression != kBiRgb) Bad("unsupported compression");
  if (bitfields && headerSize == 40) {
    masks[0] = r.U32LE();
    masks[1] = r.U32LE();
    masks[2] = r.U32LE();
    if (compression == kBiAlphaBitfields) masks[3] = r.U32LE();
  }

  RasterImage image;
  if (bitCount <= 8) {
    const uint32_t maxEntries = 1u << bitCount;
    const size_t entrySize = core ? 3 : 4;
    // A palette longer than 256 entries is legal as long as it is present;
    // indices can reach only the first 256.
    if (clrUsed > 256 && uint64_t{clrUsed} * entrySize > r.Remaining()) Bad("palette too large");
    uint32_t entries = clrUsed ? std::min<uint32_t>(clrUsed, 256) : maxEntries;
    // Uncompressed rows must fit in the file before anything is allocated.
    const size_t rowBytesIdx = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    if (!rle && rowBytesIdx * height > data.size()) Bad("pixel data is truncated");
    ImageCreate(image, width, height, ifIndex8);
    // The palette lies between the header and the pixel data.
    size_t available = r.Remaining() / entrySize;
    if (offBits > r.Position() && offBits <= data.size())
      available = std::min<size_t>(available, (offBits - r.Position()) / entrySize);
    entries = static_cast<uint32_t>(std::min<size_t>(entries, available));
    if (entries == 0) Bad("palette missing");
    for (uint32_t i = 0; i < entries; ++i) {
      auto e = r.Bytes(entrySize);
      image.Palette[i] = {e[0], e[1], e[2], 0xFF};
    }
    if (offBits >= headerStart && offBits <= data.size() && offBits >= r.Position())
      r.Seek(offBits);
    if (rle) {
      DecodeRle(r, image, compression == kBiRle4);
    } else {
      const size_t rowBytes = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
      if (rowBytes * height > r.Remaining()) Bad("pixel data is truncated");
      for (int row = 0; row < height; ++row) {
        auto src = r.Bytes(rowBytes);
        uint8_t* dst = image.Row(topDown ? row : height - 1 - row);
        for (int x = 0; x < width; ++x) {
          const size_t bit = static_cast<size_t>(x) * bitCount;
          dst[x] =
              static_cast<uint8_t>((src[bit / 8] >> (8 - bitCount - bit % 8)) & (maxEntries - 1));
        }
      }
    }
    for (size_t i = 0; i < static_cast<size_t>(image.Size); ++i)
      if (image.Bits[i] >= entries) Bad("pixel index outside the palette");
    return image;
  }

  // Direct colour.
  if (offBits >= r.Position() && offBits <= data.size()) r.Seek(offBits);
  const size_t rowBytes = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
  if (rowBytes * height > r.Remaining()) Bad("pixel data is truncated");
  const size_t pixelStart = r.Position();
  auto srcRow = [&](int row) {
    return data.data() + pixelStart +
           rowBytes * static_cast<size_t>(topDown ? row : height - 1 - row);
  };

  TImageFormat direct = ifUnknown;
  if (bitCount == 24) {
    direct = ifR8G8B8;
  } else if (bitCount == 16) {
    if (!bitfields) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0;
    const uint32_t m0 = masks[0], m1 = masks[1], m2 = masks[2], m3 = masks[3];
    if (m0 == 0x7C00 && m1 == 0x03E0 && m2 == 0x001F)
      direct = m3 == 0x8000 ? ifA1R5G5B5 : m3 == 0 ? ifX1R5G5B5 : 0;
    else if (m0 == 0xF800 && m1 == 0x07E0 && m2 == 0x001F && m3 == 0)
      direct = ifR5G6B5;
    else if (m0 == 0x0F00 && m1 == 0x00F0 && m2 == 0x000F)
      direct = m3 == 0xF000 ? ifA4R4G4B4 : m3 == 0 ? ifX4R4G4B4 : 0;
  } else {  // 32 bits
    if (!bitfields) {
      // The fourth byte is alpha when any pixel uses it, else unused.
      bool anyAlpha = false;
      for (int row = 0; row < height && !anyAlpha; ++row) {
        const uint8_t* s = srcRow(row);
        for (int x = 0; x < width; ++x)
          if (s[4 * x + 3]) {
            anyAlpha = true;
            break;
          }
      }
      direct = anyAlpha ? ifA8R8G8B8 : ifX8R8G8B8;
    } else if (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF) {
      direct = masks[3] == 0xFF000000u ? ifA8R8G8B8 : masks[3] == 0 ? ifX8R8G8B8 : 0;
    }
  }
  if (direct != ifUnknown) {
    ImageCreate(image, width, height, direct);
    const size_t lineBytes = static_cast<size_t>(width) * GetImageFormatInfo(direct)->BytesPerPixel;
    for (int row = 0; row < height; ++row) std::memcpy(image.Row(row), srcRow(row), lineBytes);
    return image;
  }

  // Any other bit-field layout is expanded to 8 bits per channel.
  const TMask mr(masks[0]), mg(masks[1]), mb(masks[2]), ma(masks[3]);
  ImageCreate(image, width, height, ma.bits ? ifA8R8G8B8 : ifR8G8B8);
  const int outBpp = ma.bits ? 4 : 3;
  for (int row = 0; row < height; ++row) {
    const uint8_t* s = srcRow(row);
    uint8_t* d = image.Row(row);
    for (int x = 0; x < width; ++x, d += outBpp) {
      uint32_t v = bitCount == 16 ? uint32_t{s[2 * x]} | uint32_t{s[2 * x + 1]} << 8
                                  : uint32_t{s[4 * x]} | uint32_t{s[4 * x + 1]} << 8 |
                                        uint32_t{s[4 * x + 2]} << 16 | uint32_t{s[4 * x + 3]} << 24;
      d[0] = mb.Get(v, 0);
      d[1] = mg.Get(v, 0);
      d[2] = mr.Get(v, 0);
      if (outBpp == 4) d[3] = ma.Get(v, 255);
    }
  }
  return image;
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

namespace {

void EncodeRle8Row(const uint8_t* row, int width, TByteWriter& w) {
  int x = 0;
  while (x < width) {
    int run = 1;
    while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
    if (run >= 2) {
      w.U8(static_cast<uint8_t>(run));
      w.U8(row[x]);
      x += run;
      continue;
    }
    // Collect literal pixels up to the next pair of equal ones.
    int lit = 1;
    while (x + lit < width && lit < 255 &&
           !(x + lit + 1 < width && row[x + lit] == row[x + lit + 1]))
      ++lit;
    if (lit < 3) {
      for (int i = 0; i < lit; ++i) {
        w.U8(1);
        w.U8(row[x + i]);
      }
    } else {
      w.U8(0);
      w.U8(static_cast<uint8_t>(lit));
      w.Bytes({row + x, static_cast<size_t>(lit)});
      if (lit & 1) w.U8(0);
    }
    x += lit;
  }
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const RasterImage& image, bool rle8) {
  const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
  const int w = image.Width, h = image.Height;
  uint16_t bitCount = static_cast<uint16_t>(info->BytesPerPixel * 8);
  uint32_t masks[4] = {0, 0, 0, 0};
  switch (image.Format) {
    case ifR5G6B5:
      masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
      break;
    case ifA1R5G5B5:
      masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0x8000;
      break;
    case ifA4R4G4B4:
      masks[0] = 0x0F00, masks[1] = 0x00F0, masks[2] = 0x000F, masks[3] = 0xF000;
      break;
    case ifX4R4G4B4:
      masks[0] = 0x0F00, masks[1] = 0x00F0, masks[2] = 0x000F;
      break;
    default:
      break;
  }
  const bool bitfields = masks[0] != 0;
  const bool indexed = image.Format == ifIndex8;
  rle8 = rle8 && indexed;
  const uint32_t headerSize = bitfields ? 108 : 40;
  const uint32_t paletteBytes = indexed ? 256 * 4 : 0;
  const uint32_t offBits = 14 + headerSize + paletteBytes;

  TByteWriter pixels;
  const size_t lineBytes = static_cast<size_t>(w) * info->BytesPerPixel;
  const size_t rowBytes = ((static_cast<size_t>(w) * bitCount + 31) / 32) * 4;
  for (int y = h - 1; y >= 0; --y) {
    const uint8_t* row = image.Row(y);
    if (rle8) {
      EncodeRle8Row(row, w, pixels);
      if (y > 0) {
        pixels.U8(0);
        pixels.U8(0);
      }
    } else {
      pixels.Bytes({row, lineBytes});
      for (size_t i = lineBytes; i < rowBytes; ++i) pixels.U8(0);
    }
  }
  if (rle8) {
    pixels.U8(0);
    pixels.U8(1);
  }

  TByteWriter out;
  out.Text("BM");
  out.U32LE(static_cast<uint32_t>(offBits + pixels.Data().size()));
  out.U32LE(0);
  out.U32LE(offBits);
  out.U32LE(headerSize);
  out.U32LE(static_cast<uint32_t>(w));
  out.U32LE(static_cast<uint32_t>(h));
  out.U16LE(1);
  out.U16LE(bitCount);
  out.U32LE(rle8 ? kBiRle8 : bitfields ? kBiBitfields : kBiRgb);
  out.U32LE(static_cast<uint32_t>(pixels.Data().size()));
  out.U32LE(2835);  // 72 dpi
  out.U32LE(2835);
  out.U32LE(indexed ? 256 : 0);
  out.U32LE(0);
  if (bitfields) {
    for (uint32_t m : masks) out.U32LE(m);
    out.Text("BGRs");                           // sRGB colour space
    for (int i = 0; i < 12; ++i) out.U32LE(0);  // endpoints and gamma
  }
  if (indexed)
    for (int i = 0; i < 256; ++i) {
      const TColor32Rec& e = image.Palette[i];
      out.U8(e.B);
      out.U8(e.G);
      out.U8(e.R);
      out.U8(0);
    }
  out.Bytes(pixels.Data());
  return std::move(out.Data());
}

namespace {

class TBitmapFileFormat : public TImageFileFormat {
 public:
  TBitmapFileFormat() {
    SetName("Windows Bitmap Image");
    AddMasks("*.bmp,*.dib");
    SetCapabilities(true, true, false);
    SetSupportedFormats({ifIndex8, ifR5G6B5, ifA1R5G5B5, ifA4R4G4B4, ifX1R5G5B5, ifX4R4G4B4,
                         ifR8G8B8, ifA8R8G8B8, ifX8R8G8B8});
    RegisterOption(ImagingBitmapRLE, &rle_);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 14);
    return h.size() == 14 && h[0] == 'B' && h[1] == 'M';
  }
  bool DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool) override {
    std::vector<uint8_t> data = stream.ReadRemaining();
    images.push_back(DecodeBmp(data));
    return true;
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    stream.Write(EncodeBmp(*images[0], rle_ != 0));
    return true;
  }
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    TImageFormat target;
    if (info.HasAlphaChannel)
      target = ifA8R8G8B8;
    else if (info.IsFloatingPoint)
      target = ifR8G8B8;
    else if (info.HasGrayChannel || info.IsIndexed)
      target = ifIndex8;
    else if (info.UsePixelFormat)
      target = ifX1R5G5B5;
    else
      target = ifR8G8B8;
    ImageConvert(image, target);
  }

 private:
  int32_t rle_ = -1;
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeBitmapFileFormat() {
  return std::make_unique<TBitmapFileFormat>();
}

}  // namespace imprimo
