// Windows and OS/2 bitmap files.
#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/icc_profile.h"

namespace imprimo {

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

[[noreturn]] void Bad(const char* what, EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  throw EImagingError(std::string("Invalid bitmap: ") + what, kind);
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

namespace {

struct TBmpHeader {
  uint32_t offBits = 0;
  size_t headerStart = 0;
  uint32_t headerSize = 0;
  bool core = false, os2v2 = false;
  int32_t width = 0, height = 0;
  bool topDown = false;
  uint16_t planes = 0, bitCount = 0;
  uint32_t compression = kBiRgb, clrUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  bool rle = false, bitfields = false;
};

// File header and information header; leaves r after the information header
// (and after the three or four masks that follow a 40-byte header).
TBmpHeader ReadBmpHeader(TByteReader& r) {
  TBmpHeader h;
  if (r.U8() != 'B' || r.U8() != 'M') Bad("no BM signature");
  r.Skip(8);
  h.offBits = r.U32LE();
  h.headerStart = r.Position();
  h.headerSize = r.U32LE();
  h.core = h.headerSize == 12;
  if (!(h.core || (h.headerSize >= 16 && h.headerSize <= 64) || h.headerSize == 108 ||
        h.headerSize == 124))
    Bad("unknown header size", EImagingErrorKind::Unsupported);
  h.os2v2 = !h.core && h.headerSize != 40 && h.headerSize != 52 && h.headerSize != 56 &&
            h.headerSize <= 64;
  TByteReader hdr = r.Sub(h.headerSize - 4);
  if (h.core) {
    h.width = hdr.U16LE();
    h.height = static_cast<int16_t>(hdr.U16LE());
    h.planes = hdr.U16LE();
    h.bitCount = hdr.U16LE();
  } else {
    h.width = hdr.I32LE();
    h.height = hdr.I32LE();
    h.planes = hdr.U16LE();
    h.bitCount = hdr.U16LE();
    // Short OS/2 headers end early; the missing fields are zero.
    auto field = [&]() -> uint32_t {
      return hdr.Remaining() >= 4 ? hdr.U32LE() : (hdr.Skip(hdr.Remaining()), 0);
    };
    h.compression = field();
    field();  // image size
    field();
    field();
    h.clrUsed = field();
    field();
    if (!h.os2v2 && h.headerSize >= 52) {
      h.masks[0] = hdr.U32LE();
      h.masks[1] = hdr.U32LE();
      h.masks[2] = hdr.U32LE();
      if (h.headerSize >= 56) h.masks[3] = hdr.U32LE();
    }
  }
  h.rle = h.compression == kBiRle8 || h.compression == kBiRle4;
  h.bitfields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
  if (h.bitfields && h.headerSize == 40) {
    h.masks[0] = r.U32LE();
    h.masks[1] = r.U32LE();
    h.masks[2] = r.U32LE();
    if (h.compression == kBiAlphaBitfields) h.masks[3] = r.U32LE();
  }
  return h;
}

void ValidateBmpHeader(TBmpHeader& h) {
  if (h.planes != 1) Bad("plane count is not 1");
  if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN) Bad("bad dimensions");
  h.topDown = h.height < 0;
  if (h.topDown) h.height = -h.height;
  CheckImageLimits(h.width, h.height, ifIndex8);
  if (h.os2v2 && h.compression >= 3)
    Bad("unsupported OS/2 compression", EImagingErrorKind::Unsupported);
  if (!h.os2v2 && (h.compression == 4 || h.compression == 5))
    Bad("embedded JPEG or PNG data is not supported", EImagingErrorKind::Unsupported);
  const uint16_t bc = h.bitCount;
  if (!(bc == 1 || bc == 2 || bc == 4 || bc == 8 || bc == 16 || bc == 24 || bc == 32))
    Bad("unsupported bit count");
  if (h.compression == kBiRle8 && bc != 8) Bad("RLE8 needs 8 bits per pixel");
  if (h.compression == kBiRle4 && bc != 4) Bad("RLE4 needs 4 bits per pixel");
  if (h.rle && h.topDown) Bad("run-length images cannot be top-down");
  if (h.bitfields && bc != 16 && bc != 32) Bad("bit fields need 16 or 32 bits");
  if (!h.rle && !h.bitfields && h.compression != kBiRgb)
    Bad("unsupported compression", EImagingErrorKind::Unsupported);
}

size_t RowBytes(const TBmpHeader& h) {
  return ((static_cast<size_t>(h.width) * h.bitCount + 31) / 32) * 4;
}

RasterImage DecodeIndexed(const TBmpHeader& h, TByteReader& r, size_t fileSize) {
  const int width = h.width, height = h.height, bitCount = h.bitCount;
  const uint32_t maxEntries = 1u << bitCount;
  const size_t entrySize = h.core ? 3 : 4;
  // A palette longer than 256 entries is legal as long as it is present;
  // indices can reach only the first 256.
  if (h.clrUsed > 256 && uint64_t{h.clrUsed} * entrySize > r.Remaining()) Bad("palette too large");
  uint32_t entries = h.clrUsed ? std::min<uint32_t>(h.clrUsed, 256) : maxEntries;
  // Uncompressed rows must fit in the file before anything is allocated.
  const size_t rowBytes = RowBytes(h);
  if (!h.rle && rowBytes * height > fileSize)
    Bad("pixel data is truncated", EImagingErrorKind::Truncated);
  RasterImage image;
  ImageCreate(image, width, height, ifIndex8);
  // The palette lies between the header and the pixel data.
  size_t available = r.Remaining() / entrySize;
  if (h.offBits > r.Position() && h.offBits <= fileSize)
    available = std::min<size_t>(available, (h.offBits - r.Position()) / entrySize);
  entries = static_cast<uint32_t>(std::min<size_t>(entries, available));
  if (entries == 0) Bad("palette missing");
  for (uint32_t i = 0; i < entries; ++i) {
    auto e = r.Bytes(entrySize);
    image.Palette[i] = {e[0], e[1], e[2], 0xFF};
  }
  if (h.offBits >= h.headerStart && h.offBits <= fileSize && h.offBits >= r.Position())
    r.Seek(h.offBits);
  if (h.rle) {
    DecodeRle(r, image, h.compression == kBiRle4);
  } else {
    if (rowBytes * height > r.Remaining())
      Bad("pixel data is truncated", EImagingErrorKind::Truncated);
    for (int row = 0; row < height; ++row) {
      auto src = r.Bytes(rowBytes);
      uint8_t* dst = image.Row(h.topDown ? row : height - 1 - row);
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

// The pixel format that holds direct-colour rows unchanged, or ifUnknown.
TImageFormat DirectFormat(TBmpHeader& h, TByteReader& pixels, size_t rowBytes) {
  uint32_t* masks = h.masks;
  if (h.bitCount == 24) return ifR8G8B8;
  if (h.bitCount == 16) {
    if (!h.bitfields) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0;
    const uint32_t m0 = masks[0], m1 = masks[1], m2 = masks[2], m3 = masks[3];
    if (m0 == 0x7C00 && m1 == 0x03E0 && m2 == 0x001F)
      return m3 == 0x8000 ? ifA1R5G5B5 : m3 == 0 ? ifX1R5G5B5 : ifUnknown;
    if (m0 == 0xF800 && m1 == 0x07E0 && m2 == 0x001F && m3 == 0) return ifR5G6B5;
    if (m0 == 0x0F00 && m1 == 0x00F0 && m2 == 0x000F)
      return m3 == 0xF000 ? ifA4R4G4B4 : m3 == 0 ? ifX4R4G4B4 : ifUnknown;
    return ifUnknown;
  }
  if (!h.bitfields) {
    // The fourth byte is alpha when any pixel uses it, else unused.
    for (int row = 0; row < h.height; ++row) {
      pixels.Seek(rowBytes * static_cast<size_t>(row));
      auto s = pixels.Bytes(rowBytes);
      for (int x = 0; x < h.width; ++x)
        if (s[4 * x + 3]) return ifA8R8G8B8;
    }
    return ifX8R8G8B8;
  }
  if (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF)
    return masks[3] == 0xFF000000u ? ifA8R8G8B8 : masks[3] == 0 ? ifX8R8G8B8 : ifUnknown;
  return ifUnknown;
}

RasterImage DecodeDirect(TBmpHeader& h, TByteReader& r, size_t fileSize) {
  const int width = h.width, height = h.height;
  if (h.offBits >= r.Position() && h.offBits <= fileSize) r.Seek(h.offBits);
  const size_t rowBytes = RowBytes(h);
  if (rowBytes * height > r.Remaining())
    Bad("pixel data is truncated", EImagingErrorKind::Truncated);
  TByteReader pixels = r.Sub(rowBytes * height);
  // Row y of the image, whichever way up the file stores it.
  auto srcRow = [&](int y) {
    pixels.Seek(rowBytes * static_cast<size_t>(h.topDown ? y : height - 1 - y));
    return pixels.Bytes(rowBytes);
  };

  RasterImage image;
  const TImageFormat direct = DirectFormat(h, pixels, rowBytes);
  if (direct != ifUnknown) {
    ImageCreate(image, width, height, direct);
    const size_t lineBytes = static_cast<size_t>(width) * GetImageFormatInfo(direct)->BytesPerPixel;
    for (int y = 0; y < height; ++y) std::memcpy(image.Row(y), srcRow(y).data(), lineBytes);
    return image;
  }

  // Any other bit-field layout is expanded to 8 bits per channel.
  const TMask mr(h.masks[0]), mg(h.masks[1]), mb(h.masks[2]), ma(h.masks[3]);
  ImageCreate(image, width, height, ma.bits ? ifA8R8G8B8 : ifR8G8B8);
  const int outBpp = ma.bits ? 4 : 3;
  for (int y = 0; y < height; ++y) {
    auto s = srcRow(y);
    uint8_t* d = image.Row(y);
    for (int x = 0; x < width; ++x, d += outBpp) {
      uint32_t v = h.bitCount == 16
                       ? uint32_t{s[2 * x]} | uint32_t{s[2 * x + 1]} << 8
                       : uint32_t{s[4 * x]} | uint32_t{s[4 * x + 1]} << 8 |
                             uint32_t{s[4 * x + 2]} << 16 | uint32_t{s[4 * x + 3]} << 24;
      d[0] = mb.Get(v, 0);
      d[1] = mg.Get(v, 0);
      d[2] = mr.Get(v, 0);
      if (outBpp == 4) d[3] = ma.Get(v, 255);
    }
  }
  return image;
}

}  // namespace

RasterImage DecodeBmp(std::span<const uint8_t> data) try {
  TByteReader r(data);
  TBmpHeader h = ReadBmpHeader(r);
  ValidateBmpHeader(h);
  return h.bitCount <= 8 ? DecodeIndexed(h, r, data.size()) : DecodeDirect(h, r, data.size());
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

std::vector<uint8_t> EncodeBmp(const RasterImage& image, bool rle8, std::string_view icc) {
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
  const bool profile = !icc.empty();
  const uint32_t headerSize = profile ? 124 : bitfields ? 108 : 40;
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
  const uint64_t fileSize = uint64_t(offBits) + pixels.Data().size() + icc.size();
  if (fileSize > UINT32_MAX) throw EImagingError("Picture is too large for a bitmap file");
  out.U32LE(static_cast<uint32_t>(fileSize));
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
  if (bitfields || profile) {
    for (uint32_t m : masks) out.U32LE(m);
    out.Text(profile ? "DEBM" : "BGRs");        // embedded profile, or sRGB
    for (int i = 0; i < 12; ++i) out.U32LE(0);  // endpoints and gamma
  }
  if (profile) {
    out.U32LE(4);  // rendering intent: pictures (perceptual)
    // The profile's offset counts from the start of the information header.
    out.U32LE(static_cast<uint32_t>(headerSize + paletteBytes + pixels.Data().size()));
    out.U32LE(static_cast<uint32_t>(icc.size()));
    out.U32LE(0);
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
  out.Bytes({reinterpret_cast<const uint8_t*>(icc.data()), icc.size()});
  return std::move(out.Data());
}

namespace {

class TBitmapFileFormat : public TSimpleFileFormat {
 public:
  TBitmapFileFormat() : TSimpleFileFormat(DecodeBmp) {
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
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    const bool icc = StoresIccProfile(SaveIccProfile(), *GetImageFormatInfo(images[0]->Format));
    stream.Write(EncodeBmp(*images[0], rle_ != 0, icc ? SaveIccProfile() : std::string()));
    return true;
  }

 public:
  // Every bitmap holds RGB (a gray picture is stored with a palette).
  bool StoresIccProfile(std::string_view profile, const TImageFormatInfo&) const override {
    return IccColourSpace(profile) == kIccRgb;
  }

 protected:
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
