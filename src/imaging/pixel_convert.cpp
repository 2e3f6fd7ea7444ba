// ImageConvert: pixel format conversion between every pair of formats, and the
// colour reduction used for indexed targets.
#include "imaging/pixel_convert.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace imprimo {

namespace {

// ---- Pixel access by class ----

struct TColor64 {
  uint16_t A, R, G, B;
};
struct TColorF {
  float A, R, G, B;
};

// Channel layout of the non-gray integer formats: bit position and width of
// each channel inside the little-endian pixel word; bits 0 = absent.
struct TChannelLayout {
  int aShift, aBits, rShift, rBits, gShift, gBits, bShift, bBits;
  bool xFill;  // unused bits written as ones
};

bool LayoutOf(TImageFormat f, TChannelLayout& l) {
  switch (f) {
    case ifX5R1G1B1:
      l = {0, 0, 2, 1, 1, 1, 0, 1, true};
      return true;
    case ifR3G3B2:
      l = {0, 0, 5, 3, 2, 3, 0, 2, false};
      return true;
    case ifR5G6B5:
      l = {0, 0, 11, 5, 5, 6, 0, 5, false};
      return true;
    case ifA1R5G5B5:
      l = {15, 1, 10, 5, 5, 5, 0, 5, false};
      return true;
    case ifA4R4G4B4:
      l = {12, 4, 8, 4, 4, 4, 0, 4, false};
      return true;
    case ifX1R5G5B5:
      l = {0, 0, 10, 5, 5, 5, 0, 5, true};
      return true;
    case ifX4R4G4B4:
      l = {0, 0, 8, 4, 4, 4, 0, 4, true};
      return true;
    case ifR8G8B8:
      l = {0, 0, 16, 8, 8, 8, 0, 8, false};
      return true;
    case ifA8R8G8B8:
      l = {24, 8, 16, 8, 8, 8, 0, 8, false};
      return true;
    case ifX8R8G8B8:
      l = {0, 0, 16, 8, 8, 8, 0, 8, true};
      return true;
    case ifR16G16B16:
      l = {0, 0, 32, 16, 16, 16, 0, 16, false};
      return true;
    case ifA16R16G16B16:
      l = {48, 16, 32, 16, 16, 16, 0, 16, false};
      return true;
    case ifB16G16R16:
      l = {0, 0, 0, 16, 16, 16, 32, 16, false};
      return true;
    case ifA16B16G16R16:
      l = {48, 16, 0, 16, 16, 16, 32, 16, false};
      return true;
    default:
      return false;
  }
}

inline uint64_t LoadLE(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
inline void StoreLE(uint8_t* p, int n, uint64_t v) {
  for (int i = 0; i < n; ++i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

// Widens an n-bit value to 16 bits by repeating its bits (0 -> 0, max ->
// 0xFFFF). Channels narrower than 8 bits repeat to 8 bits first, so that
// their 8-bit value is the usual bit replication.
inline uint16_t Expand16(uint32_t v, int bits) {
  if (bits == 16) return static_cast<uint16_t>(v);
  if (bits == 0) return 0xFFFF;
  const int target = bits < 8 ? 8 : 16;
  uint32_t out = 0;
  int pos = target - bits;
  while (pos > -bits) {
    out |= pos >= 0 ? v << pos : v >> -pos;
    pos -= bits;
  }
  return static_cast<uint16_t>(target == 8 ? (out & 0xFF) * 257 : out);
}

// Narrows a 16-bit value to n bits with rounding.
inline uint64_t Narrow16(uint16_t v, int bits) {
  if (bits == 16) return v;
  const uint32_t maxn = (1u << bits) - 1;
  return (uint32_t{v} * maxn + 32767) / 65535;
}

// Narrows a 64-bit gray value to n bits with rounding.
inline uint64_t NarrowGray(uint64_t g, int bits) {
  if (bits == 64) return g;
  const unsigned __int128 maxn = (uint64_t{1} << bits) - 1;
  const unsigned __int128 full = ~uint64_t{0};
  return static_cast<uint64_t>((g * maxn + full / 2) / full);
}

inline uint16_t ToU16(float f) {
  if (!(f > 0.0f)) return 0;
  if (f >= 1.0f) return 0xFFFF;
  return static_cast<uint16_t>(f * 65535.0f + 0.5f);
}

inline uint16_t Luminance16(uint16_t r, uint16_t g, uint16_t b) {
  return static_cast<uint16_t>(std::min(65535.0, 0.299 * r + 0.587 * g + 0.114 * b + 0.5));
}

struct TPixelClassIO {
  const TImageFormatInfo* info;
  TChannelLayout layout{};
  int bpp;

  explicit TPixelClassIO(const TImageFormatInfo* i) : info(i), bpp(i->BytesPerPixel) {
    LayoutOf(i->Format, layout);
  }

  // Channel formats.
  TColor64 ReadChannel(const uint8_t* p) const {
    uint64_t v = LoadLE(p, bpp);
    auto ch = [&](int shift, int bits) -> uint16_t {
      if (bits == 0) return 0xFFFF;
      return Expand16(static_cast<uint32_t>((v >> shift) & ((uint64_t{1} << bits) - 1)), bits);
    };
    return {ch(layout.aShift, layout.aBits), ch(layout.rShift, layout.rBits),
            ch(layout.gShift, layout.gBits), ch(layout.bShift, layout.bBits)};
  }
  void WriteChannel(uint8_t* p, const TColor64& c) const {
    uint64_t v = 0, used = 0;
    auto put = [&](int shift, int bits, uint16_t c16) {
      if (bits == 0) return;
      uint64_t m = (uint64_t{1} << bits) - 1;
      v |= Narrow16(c16, bits) << shift;
      used |= m << shift;
    };
    put(layout.aShift, layout.aBits, c.A);
    put(layout.rShift, layout.rBits, c.R);
    put(layout.gShift, layout.gBits, c.G);
    put(layout.bShift, layout.bBits, c.B);
    if (layout.xFill) {
      uint64_t all = bpp == 8 ? ~uint64_t{0} : (uint64_t{1} << (bpp * 8)) - 1;
      v |= all & ~used;
    }
    StoreLE(p, bpp, v);
  }

  // Gray formats: gray widened to 64 bits, alpha to 16 bits.
  void ReadGray(const uint8_t* p, uint64_t& gray, uint16_t& alpha) const {
    alpha = 0xFFFF;
    switch (info->Format) {
      case ifGray8:
        gray = p[0] * 0x0101010101010101ull;
        break;
      case ifA8Gray8:
        gray = p[0] * 0x0101010101010101ull;
        alpha = static_cast<uint16_t>(p[1] * 257);
        break;
      case ifGray16:
        gray = LoadLE(p, 2) * 0x0001000100010001ull;
        break;
      case ifA16Gray16:
        gray = LoadLE(p, 2) * 0x0001000100010001ull;
        alpha = static_cast<uint16_t>(LoadLE(p + 2, 2));
        break;
      case ifGray32:
        gray = LoadLE(p, 4) * 0x0000000100000001ull;
        break;
      default:
        gray = LoadLE(p, 8);
        break;
    }
  }
  void WriteGray(uint8_t* p, uint64_t gray, uint16_t alpha) const {
    switch (info->Format) {
      case ifGray8:
        p[0] = static_cast<uint8_t>(NarrowGray(gray, 8));
        break;
      case ifA8Gray8:
        p[0] = static_cast<uint8_t>(NarrowGray(gray, 8));
        p[1] = static_cast<uint8_t>(Narrow16(alpha, 8));
        break;
      case ifGray16:
        StoreLE(p, 2, NarrowGray(gray, 16));
        break;
      case ifA16Gray16:
        StoreLE(p, 2, NarrowGray(gray, 16));
        StoreLE(p + 2, 2, alpha);
        break;
      case ifGray32:
        StoreLE(p, 4, NarrowGray(gray, 32));
        break;
      default:
        StoreLE(p, 8, gray);
        break;
    }
  }

  // Floating-point formats; a one-channel format reads as gray.
  TColorF ReadFloat(const uint8_t* p) const {
    auto f32 = [&](int i) {
      float f;
      std::memcpy(&f, p + 4 * i, 4);
      return f;
    };
    auto f16 = [&](int i) { return HalfToFloat(static_cast<uint16_t>(LoadLE(p + 2 * i, 2))); };
    switch (info->Format) {
      case ifR32F: {
        float v = f32(0);
        return {1.0f, v, v, v};
      }
      case ifR16F: {
        float v = f16(0);
        return {1.0f, v, v, v};
      }
      case ifA32R32G32B32F:
        return {f32(3), f32(2), f32(1), f32(0)};
      case ifA32B32G32R32F:
        return {f32(3), f32(0), f32(1), f32(2)};
      case ifA16R16G16B16F:
        return {f16(3), f16(2), f16(1), f16(0)};
      default:
        return {f16(3), f16(0), f16(1), f16(2)};  // A16B16G16R16F
    }
  }
  void WriteFloat(uint8_t* p, const TColorF& c) const {
    auto f32 = [&](int i, float v) { std::memcpy(p + 4 * i, &v, 4); };
    auto f16 = [&](int i, float v) { StoreLE(p + 2 * i, 2, FloatToHalf(v)); };
    float lum = 0.299f * c.R + 0.587f * c.G + 0.114f * c.B;
    switch (info->Format) {
      case ifR32F:
        f32(0, lum);
        break;
      case ifR16F:
        f16(0, lum);
        break;
      case ifA32R32G32B32F:
        f32(0, c.B);
        f32(1, c.G);
        f32(2, c.R);
        f32(3, c.A);
        break;
      case ifA32B32G32R32F:
        f32(0, c.R);
        f32(1, c.G);
        f32(2, c.B);
        f32(3, c.A);
        break;
      case ifA16R16G16B16F:
        f16(0, c.B);
        f16(1, c.G);
        f16(2, c.R);
        f16(3, c.A);
        break;
      default:
        f16(0, c.R);
        f16(1, c.G);
        f16(2, c.B);
        f16(3, c.A);
        break;
    }
  }
};

enum class TClass { Indexed, Gray, Float, Channel };

TClass ClassOf(const TImageFormatInfo* i) {
  if (i->IsIndexed) return TClass::Indexed;
  if (i->HasGrayChannel) return TClass::Gray;
  if (i->IsFloatingPoint) return TClass::Float;
  return TClass::Channel;
}

// Any non-indexed pixel as 16-bit ARGB (used for colour and gray targets).
TColor64 ReadAs64(const TPixelClassIO& io, TClass cls, const uint8_t* p,
                  const TColor32Rec* palette) {
  switch (cls) {
    case TClass::Channel:
      return io.ReadChannel(p);
    case TClass::Gray: {
      uint64_t g;
      uint16_t a;
      io.ReadGray(p, g, a);
      uint16_t g16 = static_cast<uint16_t>(NarrowGray(g, 16));
      return {a, g16, g16, g16};
    }
    case TClass::Float: {
      TColorF c = io.ReadFloat(p);
      return {ToU16(c.A), ToU16(c.R), ToU16(c.G), ToU16(c.B)};
    }
    default: {
      const TColor32Rec& e = palette[*p];
      return {static_cast<uint16_t>(e.A * 257), static_cast<uint16_t>(e.R * 257),
              static_cast<uint16_t>(e.G * 257), static_cast<uint16_t>(e.B * 257)};
    }
  }
}

TColorF ReadAsFloat(const TPixelClassIO& io, TClass cls, const uint8_t* p,
                    const TColor32Rec* palette) {
  if (cls == TClass::Float) return io.ReadFloat(p);
  if (cls == TClass::Gray) {
    uint64_t g;
    uint16_t a;
    io.ReadGray(p, g, a);
    float v = static_cast<float>(static_cast<double>(g) / 18446744073709551615.0);
    return {a / 65535.0f, v, v, v};
  }
  TColor64 c = ReadAs64(io, cls, p, palette);
  return {c.A / 65535.0f, c.R / 65535.0f, c.G / 65535.0f, c.B / 65535.0f};
}

// Fast paths between the 8-bit-per-channel formats; false when none applies.
bool FastConvert(const RasterImage& src, TImageFormat dstFormat, uint8_t* dst) {
  const size_t n = static_cast<size_t>(src.Width) * src.Height;
  const uint8_t* s = src.Bits.get();
  const TImageFormat sf = src.Format;
  if (sf == ifR8G8B8 && (dstFormat == ifA8R8G8B8 || dstFormat == ifX8R8G8B8)) {
    for (size_t i = 0; i < n; ++i, s += 3, dst += 4) {
      const uint32_t v = uint32_t{s[0]} | uint32_t{s[1]} << 8 | uint32_t{s[2]} << 16 | 0xFF000000u;
      std::memcpy(dst, &v, 4);
    }
    return true;
  }
  if ((sf == ifA8R8G8B8 || sf == ifX8R8G8B8) && dstFormat == ifR8G8B8) {
    for (size_t i = 0; i < n; ++i, s += 4, dst += 3) {
      dst[0] = s[0];
      dst[1] = s[1];
      dst[2] = s[2];
    }
    return true;
  }
  if (sf == ifX8R8G8B8 && dstFormat == ifA8R8G8B8) {
    for (size_t i = 0; i < n; ++i, s += 4, dst += 4) {
      std::memcpy(dst, s, 3);
      dst[3] = 0xFF;
    }
    return true;
  }
  if ((sf == ifR8G8B8 || sf == ifA8R8G8B8 || sf == ifX8R8G8B8) && dstFormat == ifGray8) {
    // Same arithmetic as the general path, without its per-pixel dispatch.
    const int step = sf == ifR8G8B8 ? 3 : 4;
    for (size_t i = 0; i < n; ++i, s += step, ++dst) {
      const uint16_t g16 =
          Luminance16(static_cast<uint16_t>(s[2] * 257), static_cast<uint16_t>(s[1] * 257),
                      static_cast<uint16_t>(s[0] * 257));
      *dst = static_cast<uint8_t>(NarrowGray(g16 * 0x0001000100010001ull, 8));
    }
    return true;
  }
  if (sf == ifGray8 && (dstFormat == ifR8G8B8 || dstFormat == ifA8R8G8B8)) {
    const int step = dstFormat == ifR8G8B8 ? 3 : 4;
    for (size_t i = 0; i < n; ++i, ++s, dst += step) {
      dst[0] = dst[1] = dst[2] = *s;
      if (step == 4) dst[3] = 0xFF;
    }
    return true;
  }
  return false;
}

// Every pixel of src as B,G,R,A bytes, for colour reduction.
std::vector<TColor32Rec> ToColor32(const RasterImage& src) {
  const TImageFormatInfo* info = GetImageFormatInfo(src.Format);
  TPixelClassIO io(info);
  TClass cls = ClassOf(info);
  const size_t n = static_cast<size_t>(src.Width) * src.Height;
  std::vector<TColor32Rec> out(n);
  const uint8_t* p = src.Bits.get();
  for (size_t i = 0; i < n; ++i, p += info->BytesPerPixel) {
    TColor64 c = ReadAs64(io, cls, p, src.Palette.get());
    out[i] = {static_cast<uint8_t>(Narrow16(c.B, 8)), static_cast<uint8_t>(Narrow16(c.G, 8)),
              static_cast<uint8_t>(Narrow16(c.R, 8)), static_cast<uint8_t>(Narrow16(c.A, 8))};
  }
  return out;
}

void ConvertPixels(const RasterImage& src, const TImageFormatInfo* dstInfo, RasterImage& dst) {
  const TImageFormatInfo* srcInfo = GetImageFormatInfo(src.Format);
  const TClass sc = ClassOf(srcInfo), dc = ClassOf(dstInfo);
  const size_t n = static_cast<size_t>(src.Width) * src.Height;

  if (dc == TClass::Indexed) {
    if (sc == TClass::Indexed) {
      std::memcpy(dst.Bits.get(), src.Bits.get(), n);
      std::memcpy(dst.Palette.get(), src.Palette.get(),
                  std::min(srcInfo->PaletteEntries, dstInfo->PaletteEntries) * sizeof(TColor32Rec));
      return;
    }
    if (sc == TClass::Gray) {
      for (int i = 0; i < dstInfo->PaletteEntries; ++i) {
        uint8_t v = static_cast<uint8_t>(i);
        dst.Palette[i] = {v, v, v, 0xFF};
      }
      TPixelClassIO io(srcInfo);
      const uint8_t* p = src.Bits.get();
      for (size_t i = 0; i < n; ++i, p += srcInfo->BytesPerPixel) {
        uint64_t g;
        uint16_t a;
        io.ReadGray(p, g, a);
        dst.Bits[i] = static_cast<uint8_t>(g >> 56);
      }
      return;
    }
    std::vector<TColor32Rec> colors = ToColor32(src);
    ReduceColors(colors.data(), n, dst.Bits.get(), dst.Palette.get(), dstInfo->PaletteEntries,
                 static_cast<uint8_t>(GlobalImagingOptions().ColorReductionMask));
    return;
  }

  if (FastConvert(src, dstInfo->Format, dst.Bits.get())) return;

  TPixelClassIO in(srcInfo), out(dstInfo);
  const uint8_t* p = src.Bits.get();
  uint8_t* q = dst.Bits.get();
  const int sb = srcInfo->BytesPerPixel, db = dstInfo->BytesPerPixel;
  const TColor32Rec* pal = src.Palette.get();
  for (size_t i = 0; i < n; ++i, p += sb, q += db) {
    switch (dc) {
      case TClass::Channel:
        out.WriteChannel(q, ReadAs64(in, sc, p, pal));
        break;
      case TClass::Float:
        out.WriteFloat(q, ReadAsFloat(in, sc, p, pal));
        break;
      default: {  // gray target
        if (sc == TClass::Gray) {
          uint64_t g;
          uint16_t a;
          in.ReadGray(p, g, a);
          out.WriteGray(q, g, a);
        } else if (sc == TClass::Float) {
          TColorF c = in.ReadFloat(p);
          double lum = std::clamp(0.299 * c.R + 0.587 * c.G + 0.114 * c.B, 0.0, 1.0);
          uint64_t g =
              lum >= 1.0 ? ~uint64_t{0} : static_cast<uint64_t>(lum * 18446744073709549568.0);
          out.WriteGray(q, g, ToU16(c.A));
        } else {
          TColor64 c = ReadAs64(in, sc, p, pal);
          out.WriteGray(q, Luminance16(c.R, c.G, c.B) * 0x0001000100010001ull, c.A);
        }
      }
    }
  }
}

TBlockCodec gBlockCodecs[kMaxImageFormat + 1];

}  // namespace

TGlobalImagingOptions& GlobalImagingOptions() {
  static TGlobalImagingOptions options;
  return options;
}

void SetBlockCodec(TImageFormat format, const TBlockCodec& codec) {
  const TImageFormatInfo* info = GetImageFormatInfo(format);
  if (info && info->IsSpecial) gBlockCodecs[format] = codec;
}

float HalfToFloat(uint16_t h) {
  uint32_t sign = (h & 0x8000u) << 16, exp = (h >> 10) & 0x1F, mant = h & 0x3FF;
  uint32_t bits;
  if (exp == 0) {
    if (mant == 0) {
      bits = sign;
    } else {
      exp = 127 - 15 + 1;
      while (!(mant & 0x400)) {
        mant <<= 1;
        --exp;
      }
      mant &= 0x3FF;
      bits = sign | (exp << 23) | (mant << 13);
    }
  } else if (exp == 31) {
    bits = sign | 0x7F800000u | (mant << 13);
  } else {
    bits = sign | ((exp + 127 - 15) << 23) | (mant << 13);
  }
  return std::bit_cast<float>(bits);
}

uint16_t FloatToHalf(float f) {
  uint32_t x = std::bit_cast<uint32_t>(f);
  uint16_t sign = static_cast<uint16_t>((x >> 16) & 0x8000);
  int32_t exp = static_cast<int32_t>((x >> 23) & 0xFF);
  uint32_t mant = x & 0x7FFFFF;
  if (exp == 255) return sign | 0x7C00 | (mant ? 0x200 : 0);
  int32_t e = exp - 127 + 15;
  if (e >= 31) return sign | 0x7C00;
  if (e <= 0) {
    if (e < -10) return sign;
    mant |= 0x800000;
    uint32_t shift = static_cast<uint32_t>(14 - e);
    uint32_t half = mant >> shift;
    uint32_t rest = mant & ((1u << shift) - 1), mid = 1u << (shift - 1);
    if (rest > mid || (rest == mid && (half & 1))) ++half;
    return sign | static_cast<uint16_t>(half);
  }
  uint32_t half = (static_cast<uint32_t>(e) << 10) | (mant >> 13);
  uint32_t rest = mant & 0x1FFF;
  if (rest > 0x1000 || (rest == 0x1000 && (half & 1))) ++half;  // may carry into the exponent
  return sign | static_cast<uint16_t>(half);
}

bool ImageConvert(RasterImage& image, TImageFormat format) {
  if (format == ifDefault) format = ifA8R8G8B8;
  if (!ImageIsValid(image)) return false;
  const TImageFormatInfo* dstInfo = GetImageFormatInfo(format);
  auto fail = [&](const std::string& inner) {
    std::string msg = "Error while converting image to format \"";
    msg += dstInfo ? dstInfo->Name : std::to_string(format);
    msg += "\". " + ImageDescription(image);
    if (!inner.empty()) msg += " Exception Message: " + inner;
    throw EImagingError(msg);
  };
  if (!dstInfo) fail("Unknown pixel format");
  if (image.Format == format) return true;
  const TImageFormatInfo* srcInfo = GetImageFormatInfo(image.Format);

  try {
    if (srcInfo->RBSwapFormat == format) {
      // Red and blue trade places; the other channels stay.
      const int bpp = srcInfo->BytesPerPixel, cb = bpp / srcInfo->ChannelCount;
      const size_t n = static_cast<size_t>(image.Width) * image.Height;
      uint8_t* p = image.Bits.get();
      for (size_t i = 0; i < n; ++i, p += bpp) std::swap_ranges(p, p + cb, p + 2 * cb);
      image.Format = format;
      return true;
    }

    if (srcInfo->IsSpecial) {
      const TBlockCodec& codec = gBlockCodecs[image.Format];
      if (!codec.Decode) throw EImagingError("No block decoder for this format");
      RasterImage plain;
      ImageCreate(plain, image.Width, image.Height, srcInfo->NearestFormat);
      codec.Decode(image.Bits.get(), image.Width, image.Height, plain.Bits.get());
      if (!ImageConvert(plain, format)) throw EImagingError("Conversion failed");
      image = std::move(plain);
      return true;
    }
    if (dstInfo->IsSpecial) {
      const TBlockCodec& codec = gBlockCodecs[format];
      if (!codec.Encode) throw EImagingError("No block encoder for this format");
      RasterImage plain;
      ImageClone(image, plain);
      ImageConvert(plain, dstInfo->NearestFormat);
      RasterImage blocks;
      ImageCreate(blocks, image.Width, image.Height, format);
      codec.Encode(plain.Bits.get(), image.Width, image.Height, blocks.Bits.get());
      image = std::move(blocks);
      return true;
    }

    RasterImage target;
    ImageCreateForOverwrite(target, image.Width, image.Height, format);
    ConvertPixels(image, dstInfo, target);
    image = std::move(target);
  } catch (const std::exception& e) {
    fail(e.what());
  }
  return true;
}

// ---- Colour reduction ----

namespace {

constexpr int kHashBuckets = 32768;
constexpr int kMaxBoxes = 4096;

struct THistEntry {
  uint8_t A, R, G, B;
  uint32_t count;
};

struct TBox {
  uint8_t lo[4], hi[4];  // A, R, G, B
  uint64_t pixels;
  std::vector<uint32_t> colors;  // indices into the colour list
};

inline uint8_t Channel(const THistEntry& e, int c) {
  return c == 0 ? e.A : c == 1 ? e.R : c == 2 ? e.G : e.B;
}

void UpdateBox(TBox& box, const std::vector<THistEntry>& colors) {
  for (int c = 0; c < 4; ++c) {
    box.lo[c] = 255;
    box.hi[c] = 0;
  }
  box.pixels = 0;
  for (uint32_t idx : box.colors) {
    const THistEntry& e = colors[idx];
    for (int c = 0; c < 4; ++c) {
      box.lo[c] = std::min(box.lo[c], Channel(e, c));
      box.hi[c] = std::max(box.hi[c], Channel(e, c));
    }
    box.pixels += e.count;
  }
}

constexpr int kWeights[4] = {1024, 612, 1202, 234};

// Largest weighted range of a box and the channel that gives it.
int Extent(const TBox& box, int& channel) {
  int best = 0;
  channel = 0;
  for (int c = 0; c < 4; ++c) {
    int v = (box.hi[c] - box.lo[c]) * kWeights[c];
    if (v > best) {
      best = v;
      channel = c;
    }
  }
  return best;
}

}  // namespace

void ReduceColors(const TColor32Rec* pixels, size_t count, uint8_t* indices, TColor32Rec* palette,
                  int maxColors, uint8_t mask) {
  // Indices are bytes, so at most 256 of the table's boxes can be told apart.
  maxColors = std::clamp(maxColors, 2, std::min(kMaxBoxes, 256));

  // Histogram of masked colours in hash buckets.
  std::vector<THistEntry> colors;
  std::vector<std::vector<uint32_t>> buckets(kHashBuckets);
  for (size_t i = 0; i < count; ++i) {
    THistEntry e{static_cast<uint8_t>(pixels[i].A & mask), static_cast<uint8_t>(pixels[i].R & mask),
                 static_cast<uint8_t>(pixels[i].G & mask), static_cast<uint8_t>(pixels[i].B & mask),
                 1};
    int h = (e.B * 11 + e.A + e.R * 59 + e.G * 119) % kHashBuckets;
    bool found = false;
    for (uint32_t idx : buckets[h]) {
      THistEntry& c = colors[idx];
      if (c.A == e.A && c.R == e.R && c.G == e.G && c.B == e.B) {
        ++c.count;
        found = true;
        break;
      }
    }
    if (!found) {
      buckets[h].push_back(static_cast<uint32_t>(colors.size()));
      colors.push_back(e);
    }
  }

  // Median-cut style splitting at range midpoints.
  std::vector<TBox> boxes;
  boxes.push_back({});
  boxes[0].colors.resize(colors.size());
  for (uint32_t i = 0; i < colors.size(); ++i) boxes[0].colors[i] = i;
  UpdateBox(boxes[0], colors);
  while (static_cast<int>(boxes.size()) < maxColors) {
    int bestBox = -1, bestExtent = 0, bestChannel = 0;
    for (size_t b = 0; b < boxes.size(); ++b) {
      int ch;
      int ext = Extent(boxes[b], ch);
      if (ext > bestExtent) {
        bestExtent = ext;
        bestBox = static_cast<int>(b);
        bestChannel = ch;
      }
    }
    if (bestBox < 0) break;
    TBox& box = boxes[bestBox];
    const int mid = (box.lo[bestChannel] + box.hi[bestChannel]) / 2;
    TBox split{};
    std::vector<uint32_t> keep;
    for (uint32_t idx : box.colors) {
      if (Channel(colors[idx], bestChannel) <= mid)
        keep.push_back(idx);
      else
        split.colors.push_back(idx);
    }
    box.colors = std::move(keep);
    UpdateBox(box, colors);
    UpdateBox(split, colors);
    boxes.push_back(std::move(split));
  }

  // Palette entries: pixel-count-weighted means; mapping ranges widened by the mask.
  const uint8_t spread = static_cast<uint8_t>(255 - mask);
  for (size_t b = 0; b < boxes.size(); ++b) {
    TBox& box = boxes[b];
    uint64_t sum[4] = {0, 0, 0, 0};
    for (uint32_t idx : box.colors)
      for (int c = 0; c < 4; ++c) sum[c] += uint64_t{Channel(colors[idx], c)} * colors[idx].count;
    uint8_t mean[4] = {0, 0, 0, 0};
    if (box.pixels > 0)
      for (int c = 0; c < 4; ++c) mean[c] = static_cast<uint8_t>(sum[c] / box.pixels);
    palette[b] = {mean[3], mean[2], mean[1], mean[0]};
    for (int c = 0; c < 4; ++c) {
      box.lo[c] = box.lo[c] & mask;
      box.hi[c] = static_cast<uint8_t>((box.hi[c] & mask) + spread);
    }
  }

  // Each pixel takes the first box that contains it; results are cached per colour.
  std::unordered_map<uint32_t, uint8_t> cache;
  for (size_t i = 0; i < count; ++i) {
    const TColor32Rec& p = pixels[i];
    uint32_t key = (uint32_t{p.A} << 24) | (uint32_t{p.R} << 16) | (uint32_t{p.G} << 8) | p.B;
    auto it = cache.find(key);
    if (it != cache.end()) {
      indices[i] = it->second;
      continue;
    }
    const uint8_t v[4] = {p.A, p.R, p.G, p.B};
    uint8_t index = 0;
    for (size_t b = 0; b < boxes.size(); ++b) {
      const TBox& box = boxes[b];
      if (v[0] >= box.lo[0] && v[0] <= box.hi[0] && v[1] >= box.lo[1] && v[1] <= box.hi[1] &&
          v[2] >= box.lo[2] && v[2] <= box.hi[2] && v[3] >= box.lo[3] && v[3] <= box.hi[3]) {
        index = static_cast<uint8_t>(b);
        break;
      }
    }
    cache.emplace(key, index);
    indices[i] = index;
  }
}

}  // namespace imprimo
