// DirectDraw surface files: plain textures, mip-map chains, cube maps and
// volumes in bit-mask, floating-point and block-compressed pixel formats.
#include "imaging/formats/dds_format.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <string>

#include "imaging/block_codecs.h"
#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/imaging_stream.h"
#include "imaging/pixel_convert.h"

namespace imprimo {

namespace {

constexpr uint32_t kMagic = 0x20534444;  // "DDS "
constexpr uint32_t kHeaderSize = 124;

// Header flags.
constexpr uint32_t kFlagCaps = 0x1, kFlagHeight = 0x2, kFlagWidth = 0x4, kFlagPitch = 0x8,
                   kFlagPixelFormat = 0x1000, kFlagMipMapCount = 0x20000, kFlagLinearSize = 0x80000,
                   kFlagDepth = 0x800000;
// Pixel format flags.
constexpr uint32_t kPfAlphaPixels = 0x1, kPfAlpha = 0x2, kPfFourCC = 0x4, kPfIndexed4 = 0x8,
                   kPfIndexed8 = 0x20, kPfRgb = 0x40, kPfLuminance = 0x20000;
// Capabilities.
constexpr uint32_t kCapsComplex = 0x8, kCapsTexture = 0x1000, kCapsMipMap = 0x400000;
constexpr uint32_t kCaps2CubeMap = 0x200, kCaps2AllFaces = 0xFC00, kCaps2Volume = 0x200000;

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

// Numeric codes used in the FourCC field for float and 16-bit formats.
constexpr uint32_t kCodeA16B16G16R16 = 36, kCodeR16F = 111, kCodeA16B16G16R16F = 113,
                   kCodeR32F = 114, kCodeA32B32G32R32F = 116;

[[noreturn]] void Bad(const std::string& what,
                      EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  throw EImagingError("Invalid DirectDraw surface: " + what, kind);
}

// How the pixels of a file are stored.
struct TSurfaceFormat {
  TImageFormat Format = ifUnknown;  // what the image becomes
  bool Masked = false;              // bit fields that need unpacking
  int BitCount = 0;
  uint32_t Masks[4] = {};  // R, G, B, A
  bool Luminance = false;
  int PaletteBits = 0;  // 4 or 8 for palette indices; the palette follows the header
};

struct TMaskedLayout {
  TImageFormat format;
  uint32_t flags;  // kPfRgb or kPfLuminance, plus kPfAlphaPixels when alpha
  int bits;
  uint32_t r, g, b, a;
};

// Bit-mask layouts of the kept formats, used both ways.
constexpr TMaskedLayout kMaskedLayouts[] = {
    {ifGray8, kPfLuminance, 8, 0xFF, 0, 0, 0},
    {ifA8Gray8, kPfLuminance | kPfAlphaPixels, 16, 0xFF, 0, 0, 0xFF00},
    {ifGray16, kPfLuminance, 16, 0xFFFF, 0, 0, 0},
    {ifR3G3B2, kPfRgb, 8, 0xE0, 0x1C, 0x03, 0},
    {ifR5G6B5, kPfRgb, 16, 0xF800, 0x07E0, 0x001F, 0},
    {ifA1R5G5B5, kPfRgb | kPfAlphaPixels, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {ifA4R4G4B4, kPfRgb | kPfAlphaPixels, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
    {ifX1R5G5B5, kPfRgb, 16, 0x7C00, 0x03E0, 0x001F, 0},
    {ifX4R4G4B4, kPfRgb, 16, 0x0F00, 0x00F0, 0x000F, 0},
    {ifR8G8B8, kPfRgb, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {ifA8R8G8B8, kPfRgb | kPfAlphaPixels, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {ifX8R8G8B8, kPfRgb, 32, 0xFF0000, 0xFF00, 0xFF, 0},
};

struct TCodeLayout {
  TImageFormat format;
  uint32_t code;
};
constexpr TCodeLayout kCodeLayouts[] = {
    {ifDXT1, FourCC("DXT1")},  {ifDXT3, FourCC("DXT3")},
    {ifDXT5, FourCC("DXT5")},  {ifATI1N, FourCC("ATI1")},
    {ifATI2N, FourCC("ATI2")}, {ifA16B16G16R16, kCodeA16B16G16R16},
    {ifR16F, kCodeR16F},       {ifA16B16G16R16F, kCodeA16B16G16R16F},
    {ifR32F, kCodeR32F},       {ifA32B32G32R32F, kCodeA32B32G32R32F},
};

TImageFormat FormatOfCode(uint32_t code) {
  for (const TCodeLayout& l : kCodeLayouts)
    if (l.code == code) return l.format;
  if (code == FourCC("DXT2")) return ifDXT3;
  if (code == FourCC("DXT4")) return ifDXT5;
  if (code == FourCC("BC4U")) return ifATI1N;
  if (code == FourCC("BC5U")) return ifATI2N;
  return ifUnknown;
}

// Formats of the extended header (DXGI numbering) that map onto ours.
bool FormatOfDxgi(uint32_t dxgi, TSurfaceFormat& sf) {
  switch (dxgi) {
    case 71:
    case 72:
      sf.Format = ifDXT1;
      return true;
    case 74:
    case 75:
      sf.Format = ifDXT3;
      return true;
    case 77:
    case 78:
      sf.Format = ifDXT5;
      return true;
    case 80:
      sf.Format = ifATI1N;
      return true;
    case 83:
      sf.Format = ifATI2N;
      return true;
    case 87:
    case 91:
      sf.Format = ifA8R8G8B8;
      return true;
    case 88:
    case 93:
      sf.Format = ifX8R8G8B8;
      return true;
    case 28:
    case 29:  // R8G8B8A8 byte order
      sf.Format = ifA8R8G8B8;
      sf.Masked = true;
      sf.BitCount = 32;
      sf.Masks[0] = 0xFF;
      sf.Masks[1] = 0xFF00;
      sf.Masks[2] = 0xFF0000;
      sf.Masks[3] = 0xFF000000;
      return true;
    case 61:
      sf.Format = ifGray8;
      return true;
    case 56:
      sf.Format = ifGray16;
      return true;
    case 11:
      sf.Format = ifA16B16G16R16;
      return true;
    case 10:
      sf.Format = ifA16B16G16R16F;
      return true;
    case 2:
      sf.Format = ifA32B32G32R32F;
      return true;
    case 41:
      sf.Format = ifR32F;
      return true;
    case 54:
      sf.Format = ifR16F;
      return true;
    default:
      return false;
  }
}

TSurfaceFormat ParsePixelFormat(uint32_t flags, uint32_t code, int bits, const uint32_t masks[4]) {
  TSurfaceFormat sf;
  if (flags & kPfFourCC) {
    sf.Format = FormatOfCode(code);
    if (sf.Format == ifUnknown)
      Bad("unsupported compressed or coded pixel format", EImagingErrorKind::Unsupported);
    return sf;
  }
  if (flags & (kPfIndexed4 | kPfIndexed8)) {
    sf.Format = ifIndex8;
    sf.PaletteBits = (flags & kPfIndexed8) ? 8 : 4;
    return sf;
  }
  if (!(flags & (kPfRgb | kPfLuminance | kPfAlpha)))
    Bad("unsupported pixel format", EImagingErrorKind::Unsupported);
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) Bad("unsupported bit count");
  const bool hasAlpha = (flags & (kPfAlphaPixels | kPfAlpha)) && masks[3] != 0;
  const uint32_t a = hasAlpha ? masks[3] : 0;
  const bool lum = (flags & kPfLuminance) != 0;
  for (const TMaskedLayout& l : kMaskedLayouts) {
    if (l.bits != bits || l.a != a || ((l.flags & kPfLuminance) != 0) != lum) continue;
    if (l.r == masks[0] && (lum || (l.g == masks[1] && l.b == masks[2]))) {
      sf.Format = l.format;
      return sf;
    }
  }
  sf.Masked = true;
  sf.BitCount = bits;
  sf.Luminance = lum;
  for (int i = 0; i < 3; ++i) sf.Masks[i] = (flags & (kPfRgb | kPfLuminance)) ? masks[i] : 0;
  sf.Masks[3] = a;
  if (lum)
    sf.Format = hasAlpha ? ifA8Gray8 : ifGray8;
  else
    sf.Format = hasAlpha ? ifA8R8G8B8 : ifX8R8G8B8;
  return sf;
}

// Bytes one stored level of w x h takes.
int64_t StoredSize(const TSurfaceFormat& sf, int w, int h) {
  if (sf.PaletteBits == 4) return int64_t{(w + 1) / 2} * h;
  if (sf.Masked) return int64_t{w} * h * (sf.BitCount / 8);
  return GetPixelsSize(sf.Format, w, h);
}

uint8_t ScaleField(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint32_t max = mask >> shift;
  const uint32_t v = (value & mask) >> shift;
  return static_cast<uint8_t>((uint64_t{v} * 255 + max / 2) / max);
}

RasterImage DecodeSurface(const TSurfaceFormat& sf, int w, int h, std::span<const uint8_t> bytes,
                          const std::vector<TColor32Rec>& palette) {
  RasterImage image;
  ImageCreate(image, w, h, sf.Format);
  if (sf.PaletteBits) {
    std::copy(palette.begin(), palette.end(), image.Palette.get());
    if (sf.PaletteBits == 8) {
      std::memcpy(image.Bits.get(), bytes.data(), static_cast<size_t>(image.Size));
    } else {  // two pixels a byte, the first in the low half; rows end on a byte
      const size_t row = (static_cast<size_t>(w) + 1) / 2;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          image.Row(y)[x] = static_cast<uint8_t>((bytes[y * row + x / 2] >> (4 * (x & 1))) & 15);
    }
    return image;
  }
  if (!sf.Masked) {
    std::memcpy(image.Bits.get(), bytes.data(), static_cast<size_t>(image.Size));
    return image;
  }
  const int bpp = sf.BitCount / 8;
  const size_t n = static_cast<size_t>(w) * h;
  uint8_t* out = image.Bits.get();
  for (size_t i = 0; i < n; ++i) {
    uint32_t v = 0;
    for (int b = 0; b < bpp; ++b) v |= uint32_t{bytes[i * bpp + b]} << (8 * b);
    const uint8_t a = sf.Masks[3] ? ScaleField(v, sf.Masks[3]) : 255;
    if (sf.Luminance) {
      const uint8_t g = ScaleField(v, sf.Masks[0]);
      if (sf.Format == ifA8Gray8) {
        out[i * 2] = g;
        out[i * 2 + 1] = a;
      } else {
        out[i] = g;
      }
    } else {
      uint8_t* p = out + i * 4;
      p[0] = ScaleField(v, sf.Masks[2]);
      p[1] = ScaleField(v, sf.Masks[1]);
      p[2] = ScaleField(v, sf.Masks[0]);
      p[3] = sf.Format == ifA8R8G8B8 ? a : 0;
    }
  }
  return image;
}

int MaxLevels(int w, int h) {
  int levels = 1;
  while (w > 1 || h > 1) {
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
    ++levels;
  }
  return levels;
}

// Halves (or shrinks to w x h) an image with a box filter, in its own format.
RasterImage Shrink(const RasterImage& src, int w, int h) {
  const TImageFormatInfo* info = GetImageFormatInfo(src.Format);
  const bool wide = info->IsFloatingPoint || info->BytesPerPixel > 4 || info->IsSpecial;
  RasterImage work;
  ImageClone(src, work);
  ImageConvert(work, wide ? ifA32B32G32R32F : ifA8R8G8B8);
  RasterImage dst;
  ImageCreate(dst, w, h, work.Format);
  const int fx = std::max(1, src.Width / w), fy = std::max(1, src.Height / h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 4; ++c) {
        double sum = 0;
        int n = 0;
        for (int dy = 0; dy < fy; ++dy)
          for (int dx = 0; dx < fx; ++dx) {
            const int sx = std::min(src.Width - 1, x * fx + dx);
            const int sy = std::min(src.Height - 1, y * fy + dy);
            if (wide) {
              float v;
              std::memcpy(&v, work.Row(sy) + sx * 16 + c * 4, 4);
              sum += v;
            } else {
              sum += work.Row(sy)[sx * 4 + c];
            }
            ++n;
          }
        if (wide) {
          const float v = static_cast<float>(sum / n);
          std::memcpy(dst.Row(y) + x * 16 + c * 4, &v, 4);
        } else {
          dst.Row(y)[x * 4 + c] = static_cast<uint8_t>((sum + n / 2) / n);
        }
      }
  ImageConvert(dst, src.Format);
  return dst;
}

}  // namespace

namespace {

struct TDdsHeader {
  uint32_t flags = 0, height = 0, width = 0, depthField = 0, mipField = 0;
  uint32_t pfFlags = 0, code = 0, caps2 = 0;
  int bitCount = 0;
  uint32_t masks[4] = {};
};

TDdsHeader ReadDdsHeader(TByteReader& r) {
  TDdsHeader h;
  if (r.Size() < 128) Bad("file is shorter than its header", EImagingErrorKind::Truncated);
  if (r.U32LE() != kMagic) Bad("missing signature");
  if (r.U32LE() != kHeaderSize) Bad("wrong header size");
  h.flags = r.U32LE();
  h.height = r.U32LE();
  h.width = r.U32LE();
  r.U32LE();  // pitch or linear size: recomputed from the format
  h.depthField = r.U32LE();
  h.mipField = r.U32LE();
  r.Skip(44);
  r.U32LE();  // pixel format size
  h.pfFlags = r.U32LE();
  h.code = r.U32LE();
  h.bitCount = static_cast<int>(r.U32LE());
  for (uint32_t& m : h.masks) m = r.U32LE();
  r.U32LE();  // caps
  h.caps2 = r.U32LE();
  r.Skip(12);
  if (h.width == 0 || h.height == 0) Bad("empty image");
  CheckImageLimits(h.width, h.height, ifGray8);
  return h;
}

// The surface format, from the extended header when there is one; cube is
// set when either header says so.
TSurfaceFormat ReadSurfaceFormat(TByteReader& r, const TDdsHeader& h, bool& cube) {
  TSurfaceFormat sf;
  cube = (h.caps2 & kCaps2CubeMap) != 0;
  if ((h.pfFlags & kPfFourCC) && h.code == FourCC("DX10")) {
    const uint32_t dxgi = r.U32LE();
    const uint32_t dimension = r.U32LE();
    const uint32_t misc = r.U32LE();
    r.U32LE();  // array size: only the first element is read
    r.U32LE();
    if (!FormatOfDxgi(dxgi, sf))
      Bad("unsupported extended pixel format", EImagingErrorKind::Unsupported);
    if (dimension < 2 || dimension > 4) Bad("unknown resource dimension");
    cube = cube || (misc & 0x4);
  } else {
    sf = ParsePixelFormat(h.pfFlags, h.code, h.bitCount, h.masks);
  }
  return sf;
}

// Palettes of indexed surfaces: R, G, B and a flags byte per entry.
std::vector<TColor32Rec> ReadDdsPalette(TByteReader& r, const TSurfaceFormat& sf) {
  std::vector<TColor32Rec> palette;
  if (!sf.PaletteBits) return palette;
  const size_t entries = size_t{1} << sf.PaletteBits;
  for (size_t i = 0; i < entries; ++i) {
    auto e = r.Bytes(4);
    palette.push_back({e[2], e[1], e[0], 255});
  }
  return palette;
}

}  // namespace

TDynImageDataArray DecodeDds(std::span<const uint8_t> data, bool onlyFirst,
                             TDdsLayoutInfo* info) try {
  EnsureBlockCodecs();
  TByteReader r(data);
  const TDdsHeader hd = ReadDdsHeader(r);
  bool cube = false;
  const TSurfaceFormat sf = ReadSurfaceFormat(r, hd, cube);
  const std::vector<TColor32Rec> palette = ReadDdsPalette(r, sf);

  const bool volume =
      !cube && (hd.caps2 & kCaps2Volume) && (hd.flags & kFlagDepth) && hd.depthField > 1;
  const int w0 = static_cast<int>(hd.width), h0 = static_cast<int>(hd.height);
  int levels = (hd.flags & kFlagMipMapCount) && hd.mipField > 0
                   ? static_cast<int>(std::min<uint32_t>(hd.mipField, 32))
                   : 1;
  levels = std::min(levels, MaxLevels(w0, h0));
  int faces = 1;
  if (cube) {
    faces = std::popcount(hd.caps2 & kCaps2AllFaces);
    if (faces == 0) faces = 6;
  }
  // The depth is bounded by what the file can hold: each slice takes at
  // least one stored byte, so a huge depth field cannot drive allocations.
  const int64_t bytesLeft = static_cast<int64_t>(r.Remaining());
  int depth = 1;
  if (volume) {
    const int64_t slice = std::max<int64_t>(1, StoredSize(sf, w0, h0));
    depth =
        static_cast<int>(std::min<int64_t>(hd.depthField, std::max<int64_t>(1, bytesLeft / slice)));
  }
  if (info) *info = {cube, volume, levels, volume ? depth : 1};

  TDynImageDataArray images;
  for (int face = 0; face < faces; ++face)
    for (int level = 0; level < levels; ++level) {
      const int w = std::max(1, w0 >> level), h = std::max(1, h0 >> level);
      const int slices = volume ? std::max(1, depth >> level) : 1;
      const int64_t size = StoredSize(sf, w, h);
      for (int s = 0; s < slices; ++s) {
        if (static_cast<int64_t>(r.Remaining()) < size) {
          if (images.empty()) Bad("pixel data is truncated", EImagingErrorKind::Truncated);
          return images;  // keep the complete images that are present
        }
        images.push_back(DecodeSurface(sf, w, h, r.Bytes(static_cast<size_t>(size)), palette));
        if (onlyFirst) return images;
      }
    }
  return images;
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

std::vector<uint8_t> EncodeDds(const std::vector<const RasterImage*>& images,
                               const TDdsLayoutInfo& layout) {
  EnsureBlockCodecs();
  if (images.empty()) throw EImagingError("No image to save");
  const RasterImage& first = *images[0];
  const TImageFormat format = first.Format;
  const int w0 = first.Width, h0 = first.Height;
  const int levels = std::clamp(layout.MipMaps, 1, MaxLevels(w0, h0));
  const bool cube = layout.CubeMap;
  const bool volume = !cube && layout.Volume;
  const int faces = cube ? 6 : 1;
  const int depth = volume ? std::max(1, layout.Depth) : 1;
  const size_t bases = static_cast<size_t>(cube ? faces : depth);
  if (images.size() < bases)
    throw EImagingError(cube ? "A cube map needs six face images"
                             : "A volume texture needs one image per slice");

  // The images of the file in storage order: supplied ones when the set
  // holds every level, else each base image with levels made from it.
  size_t total = 0;
  for (int f = 0; f < faces; ++f)
    for (int l = 0; l < levels; ++l) total += volume ? std::max(1, depth >> l) : 1;
  const bool complete = images.size() >= total;
  std::vector<RasterImage> owned;
  std::vector<const RasterImage*> order;
  owned.reserve(total);
  auto take = [&](const RasterImage& img, int w, int h) {
    if (img.Format == format && img.Width == w && img.Height == h) {
      order.push_back(&img);
      return;
    }
    RasterImage copy;
    ImageClone(img, copy);
    if (copy.Format != format) ImageConvert(copy, format);
    if (copy.Width != w || copy.Height != h) {
      if (copy.Width < w || copy.Height < h)
        throw EImagingError("Images of a DirectDraw surface must shrink level by level");
      copy = Shrink(copy, w, h);
    }
    owned.push_back(std::move(copy));
    order.push_back(&owned.back());
  };
  if (complete && images.size() > bases) {
    size_t i = 0;
    for (int f = 0; f < faces; ++f)
      for (int l = 0; l < levels; ++l) {
        const int slices = volume ? std::max(1, depth >> l) : 1;
        for (int s = 0; s < slices; ++s)
          take(*images[i++], std::max(1, w0 >> l), std::max(1, h0 >> l));
      }
  } else {
    for (int f = 0; f < faces; ++f)
      for (int l = 0; l < levels; ++l) {
        const int slices = volume ? std::max(1, depth >> l) : 1;
        for (int s = 0; s < slices; ++s) {
          const RasterImage& base = *images[cube ? f : std::min<size_t>(s << l, bases - 1)];
          take(base, std::max(1, w0 >> l), std::max(1, h0 >> l));
        }
      }
  }

  const TImageFormatInfo* info = GetImageFormatInfo(format);
  TByteWriter out;
  out.U32LE(kMagic);
  out.U32LE(kHeaderSize);
  uint32_t flags = kFlagCaps | kFlagHeight | kFlagWidth | kFlagPixelFormat;
  flags |= info->IsSpecial ? kFlagLinearSize : kFlagPitch;
  if (levels > 1) flags |= kFlagMipMapCount;
  if (volume) flags |= kFlagDepth;
  out.U32LE(flags);
  out.U32LE(static_cast<uint32_t>(h0));
  out.U32LE(static_cast<uint32_t>(w0));
  out.U32LE(info->IsSpecial ? static_cast<uint32_t>(GetPixelsSize(format, w0, h0))
                            : static_cast<uint32_t>(w0 * info->BytesPerPixel));
  out.U32LE(volume ? static_cast<uint32_t>(depth) : 0);
  out.U32LE(levels > 1 ? static_cast<uint32_t>(levels) : 0);
  for (int i = 0; i < 11; ++i) out.U32LE(0);
  // Pixel format.
  out.U32LE(32);
  bool written = false;
  for (const TMaskedLayout& l : kMaskedLayouts)
    if (l.format == format) {
      out.U32LE(l.flags);
      out.U32LE(0);
      out.U32LE(static_cast<uint32_t>(l.bits));
      out.U32LE(l.r);
      out.U32LE(l.g);
      out.U32LE(l.b);
      out.U32LE(l.a);
      written = true;
    }
  for (const TCodeLayout& l : kCodeLayouts)
    if (!written && l.format == format) {
      out.U32LE(kPfFourCC);
      out.U32LE(l.code);
      for (int i = 0; i < 5; ++i) out.U32LE(0);
      written = true;
    }
  if (!written) throw EImagingError("Pixel format cannot be stored in a DirectDraw surface");
  uint32_t caps = kCapsTexture;
  if (levels > 1 || cube || volume) caps |= kCapsComplex;
  if (levels > 1) caps |= kCapsMipMap;
  out.U32LE(caps);
  out.U32LE(cube ? kCaps2CubeMap | kCaps2AllFaces : volume ? kCaps2Volume : 0);
  for (int i = 0; i < 3; ++i) out.U32LE(0);
  for (const RasterImage* img : order) out.Bytes({img->Bits.get(), static_cast<size_t>(img->Size)});
  return std::move(out.Data());
}

namespace {

class TDDSFileFormat : public TSimpleFileFormat {
 public:
  TDDSFileFormat() {
    EnsureBlockCodecs();
    SetName("DirectDraw Surface");
    AddMasks("*.dds");
    SetCapabilities(true, true, true);
    SetSupportedFormats({ifGray8,    ifA8Gray8,       ifGray16,       ifR3G3B2,   ifR5G6B5,
                         ifA1R5G5B5, ifA4R4G4B4,      ifX1R5G5B5,     ifX4R4G4B4, ifR8G8B8,
                         ifA8R8G8B8, ifX8R8G8B8,      ifA16B16G16R16, ifR32F,     ifA32B32G32R32F,
                         ifR16F,     ifA16B16G16R16F, ifDXT1,         ifDXT3,     ifDXT5,
                         ifATI1N,    ifATI2N});
    RegisterOption(ImagingDDSLoadedCubeMap, &loadedCubeMap_);
    RegisterOption(ImagingDDSLoadedVolume, &loadedVolume_);
    RegisterOption(ImagingDDSLoadedMipMapCount, &loadedMipMaps_);
    RegisterOption(ImagingDDSLoadedDepth, &loadedDepth_);
    RegisterOption(ImagingDDSSaveCubeMap, &saveCubeMap_);
    RegisterOption(ImagingDDSSaveVolume, &saveVolume_);
    RegisterOption(ImagingDDSSaveMipMapCount, &saveMipMaps_);
    RegisterOption(ImagingDDSSaveDepth, &saveDepth_);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 128);
    if (h.size() < 128) return false;
    const uint32_t caps = h[108] | h[109] << 8 | h[110] << 16 | uint32_t{h[111]} << 24;
    return std::memcmp(h.data(), "DDS ", 4) == 0 && (caps & kCapsTexture);
  }
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override {
    TDdsLayoutInfo info;
    images = DecodeDds(data, onlyFirst, &info);
    // Several threads may load through this one object; the layout of the
    // last file loaded is what the options report.
    std::lock_guard lock(loadedMutex_);
    loadedCubeMap_ = info.CubeMap;
    loadedVolume_ = info.Volume;
    loadedMipMaps_ = info.MipMaps;
    loadedDepth_ = info.Depth;
    return true;
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    TDdsLayoutInfo layout{saveCubeMap_ != 0, saveVolume_ != 0, saveMipMaps_, saveDepth_};
    stream.Write(EncodeDds(images, layout));
    return true;
  }
  void ValidateOptions() override {
    if (saveCubeMap_ && saveVolume_) saveVolume_ = 0;
    if (saveMipMaps_ < 1) saveMipMaps_ = 1;
    if (saveDepth_ < 1) saveDepth_ = 1;
  }
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    TImageFormat target;
    if (info.IsIndexed || info.IsSpecial)
      target = ifA8R8G8B8;
    else if (info.IsFloatingPoint)
      target = info.Format == ifA16R16G16B16F ? ifA16B16G16R16F : ifA32B32G32R32F;
    else if (info.HasGrayChannel)
      target = info.HasAlphaChannel ? ifA8Gray8 : info.BytesPerPixel == 1 ? ifGray8 : ifGray16;
    else if (info.BytesPerPixel >= 5)
      target = ifA16B16G16R16;
    else if (info.HasAlphaChannel)
      target = ifA8R8G8B8;
    else
      target = ifX8R8G8B8;
    ImageConvert(image, target);
  }

 private:
  std::mutex loadedMutex_;
  int32_t loadedCubeMap_ = 0, loadedVolume_ = 0, loadedMipMaps_ = 0, loadedDepth_ = 0;
  int32_t saveCubeMap_ = 0, saveVolume_ = 0, saveMipMaps_ = 1, saveDepth_ = 1;
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeDDSFileFormat() { return std::make_unique<TDDSFileFormat>(); }

}  // namespace imprimo
