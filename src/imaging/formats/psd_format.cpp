// Photoshop files: the merged image of the file, read in every common colour
// mode and written with PackBits-coded channel rows.
#include "imaging/formats/psd_format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/icc_profile.h"
#include "imaging/imaging_stream.h"
#include "platform/byte_reader.h"

namespace imprimo {

namespace {

[[noreturn]] void Bad(const std::string& what,
                      EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  throw EImagingError("Invalid Photoshop image: " + what, kind);
}

enum TColorMode : uint16_t {
  kBitmap = 0,
  kGrayscale = 1,
  kIndexed = 2,
  kRgb = 3,
  kCmyk = 4,
  kMultichannel = 7,
  kDuotone = 8,
  kLab = 9,
};

inline float BeFloat(const uint8_t* p) { return std::bit_cast<float>(LoadU32BE(p)); }

// CIE L*a*b* (D50, as the format stores it) to gamma-encoded sRGB in 0..1,
// through XYZ with Bradford adaptation to D65.
void LabToSrgb(double L, double a, double b, double rgb[3]) {
  const double fy = (L + 16.0) / 116.0, fx = fy + a / 500.0, fz = fy - b / 200.0;
  auto finv = [](double t) {
    const double t3 = t * t * t;
    return t3 > 216.0 / 24389.0 ? t3 : (116.0 * t - 16.0) * 27.0 / 24389.0;
  };
  const double X = 0.96422 * finv(fx);
  const double Y = L > 8.0 ? fy * fy * fy : L * 27.0 / 24389.0;
  const double Z = 0.82521 * finv(fz);
  const double lin[3] = {3.1338561 * X - 1.6168667 * Y - 0.4906146 * Z,
                         -0.9787684 * X + 1.9161415 * Y + 0.0334540 * Z,
                         0.0719453 * X - 0.2289914 * Y + 1.4052427 * Z};
  for (int c = 0; c < 3; ++c) {
    const double v = std::clamp(lin[c], 0.0, 1.0);
    rgb[c] = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
  }
}

// The transparent palette index from the image resources, or -1.
int TransparentIndex(std::span<const uint8_t> resources) {
  TByteReader r(resources);
  while (r.Remaining() >= 12) {
    if (r.U32BE() != 0x3842494D) break;  // "8BIM"
    const uint16_t id = r.U16BE();
    const uint8_t nameLen = r.U8();
    r.Skip(nameLen + ((nameLen + 1) & 1));  // the name with its length byte pads to even
    const uint32_t size = r.U32BE();
    if (size > r.Remaining()) break;
    TByteReader body = r.Sub(size);
    if (size & 1 && !r.AtEnd()) r.Skip(1);
    if (id == 1047 && size >= 2) return body.U16BE();
  }
  return -1;
}

// The stored rows of one channel: raw rows, or PackBits rows whose starts
// are listed in offsets (one more entry than rows, the last one the end).
struct TChannelRows {
  std::span<const uint8_t> data;
  std::vector<size_t> offsets;  // empty for raw rows
};

// The rows of a PackBits channel whose h row counts are at counts[first..].
TChannelRows PackedRows(TByteReader& r, std::span<const uint8_t> counts, size_t first, size_t h) {
  TChannelRows rows;
  rows.offsets.resize(h + 1);
  TByteReader c(counts);
  c.Seek(2 * first);
  size_t total = 0;
  for (size_t y = 0; y < h; ++y) {
    rows.offsets[y] = total;
    total += c.U16BE();
  }
  rows.offsets[h] = total;
  rows.data = r.Bytes(total);
  return rows;
}

// Row y of a channel, unpacked into out (rowBytes long).
void ChannelRowData(const TChannelRows& rows, size_t y, std::span<uint8_t> out) {
  TByteReader r(rows.data);
  if (rows.offsets.empty()) {
    r.Seek(y * out.size());
    auto bytes = r.Bytes(out.size());
    std::memcpy(out.data(), bytes.data(), out.size());
    return;
  }
  r.Seek(rows.offsets[y]);
  PackBitsDecode(r.Bytes(rows.offsets[y + 1] - rows.offsets[y]), out);
}

// One channel's data of a layer (compression word, then raw rows or row
// counts and PackBits rows); the data must be exactly size bytes and every
// row must unpack.
TChannelRows LayerChannel(TByteReader& r, size_t size, size_t rowBytes, size_t h) {
  const size_t start = r.Position();
  const uint16_t compression = r.U16BE();
  TChannelRows rows;
  if (compression == 0) {
    rows.data = r.Bytes(rowBytes * h);
  } else if (compression == 1) {
    rows = PackedRows(r, r.Bytes(2 * h), 0, h);
    std::vector<uint8_t> scratch(rowBytes);
    for (size_t y = 0; y < h; ++y) ChannelRowData(rows, y, scratch);
  } else {
    Bad("unsupported layer compression", EImagingErrorKind::Unsupported);
  }
  if (r.Position() - start != size) Bad("layer channel size mismatch");
  return rows;
}

// The channels (colour channels, then transparency) of a file whose one
// layer is the whole picture: the size of the canvas, normal blending at full
// opacity, visible, with a transparency channel and nothing else attached.
// Such a layer holds the picture exactly, while the merged image of a picture
// with transparency may be laid over white. Empty when the file has no such
// layer.
std::vector<TChannelRows> PlainLayerChannels(std::span<const uint8_t> section, size_t w, size_t h,
                                             size_t rowBytes, int colourChannels) {
  try {
    TByteReader r(section);
    const uint32_t infoLength = r.U32BE();
    if (infoLength > r.Remaining()) return {};
    if (r.I16BE() != -1) return {};
    const int32_t top = static_cast<int32_t>(r.U32BE()), left = static_cast<int32_t>(r.U32BE());
    const int32_t bottom = static_cast<int32_t>(r.U32BE()), right = static_cast<int32_t>(r.U32BE());
    if (top != 0 || left != 0 || bottom != static_cast<int64_t>(h) ||
        right != static_cast<int64_t>(w))
      return {};
    const int count = r.U16BE();
    if (count != colourChannels + 1) return {};
    int ids[5];
    uint32_t sizes[5];
    bool seen[5] = {};
    for (int i = 0; i < count; ++i) {
      ids[i] = r.I16BE();
      sizes[i] = r.U32BE();
      const int slot = ids[i] == -1 ? colourChannels : ids[i];
      if (slot < 0 || slot > colourChannels || seen[slot]) return {};
      seen[slot] = true;
    }
    if (r.U32BE() != 0x3842494D || r.U32BE() != 0x6E6F726D) return {};  // "8BIM", "norm"
    const uint8_t opacity = r.U8();
    r.Skip(1);  // clipping
    const uint8_t flags = r.U8();
    r.Skip(1);
    if (opacity != 255 || (flags & 2)) return {};  // see-through or hidden
    const uint32_t extraLength = r.U32BE();
    const size_t extraEnd = r.Position() + extraLength;
    if (r.U32BE() != 0) return {};  // a layer mask
    r.Skip(r.U32BE());              // blending ranges
    const uint8_t nameLength = r.U8();
    r.Skip(nameLength + 3 - (nameLength + 4) % 4);  // name padded to four bytes
    if (r.Position() != extraEnd) return {};        // effects or other layer data
    std::vector<TChannelRows> channels(count);
    for (int i = 0; i < count; ++i) {
      const int slot = ids[i] == -1 ? colourChannels : ids[i];
      channels[slot] = LayerChannel(r, sizes[i], rowBytes, h);
    }
    return channels;
  } catch (const EImagingError&) {
    return {};
  } catch (const ETruncatedData&) {
    return {};
  }
}

// Where the file channels lie in the pixels of an image being written.
struct TChannelLayout {
  const RasterImage& image;
  int depth;
  int offsets[4];
  int alphaChannel;  // file channel of the transparency, or -1
};

// One file channel of row y as big-endian samples. With matte, colour
// channels are given laid over white by the pixel's transparency.
void ChannelRow(const TChannelLayout& l, int channel, bool matte, size_t y,
                std::vector<uint8_t>& row) {
  const int bytes = l.depth / 8;
  const int bpp = GetImageFormatInfo(l.image.Format)->BytesPerPixel;
  const uint8_t* src = l.image.Row(static_cast<int>(y));
  matte = matte && l.alphaChannel >= 0 && channel != l.alphaChannel;
  for (size_t x = 0, n = row.size() / bytes; x < n; ++x) {
    const uint8_t* s = src + x * bpp + l.offsets[channel];
    uint8_t* d = &row[x * bytes];
    if (!matte) {
      for (int b = 0; b < bytes; ++b) d[b] = s[bytes - 1 - b];  // big-endian
      continue;
    }
    const uint8_t* sa = src + x * bpp + l.offsets[l.alphaChannel];
    if (bytes == 1) {
      d[0] = static_cast<uint8_t>((s[0] * sa[0] + 255 * (255 - sa[0]) + 127) / 255);
    } else if (bytes == 2) {
      uint16_t v, a;
      std::memcpy(&v, s, 2);
      std::memcpy(&a, sa, 2);
      const uint32_t m =
          static_cast<uint32_t>((uint64_t{v} * a + uint64_t{65535} * (65535 - a) + 32767) / 65535);
      d[0] = static_cast<uint8_t>(m >> 8);
      d[1] = static_cast<uint8_t>(m);
    } else {
      float v, a;
      std::memcpy(&v, s, 4);
      std::memcpy(&a, sa, 4);
      const uint32_t m = std::bit_cast<uint32_t>(v * a + (1.0f - a));
      d[0] = static_cast<uint8_t>(m >> 24), d[1] = static_cast<uint8_t>(m >> 16);
      d[2] = static_cast<uint8_t>(m >> 8), d[3] = static_cast<uint8_t>(m);
    }
  }
}

// The stored data of the given file channels: a compression word, then the
// row counts and PackBits rows, or raw rows when a coded row would not fit
// its 16-bit count.
std::vector<uint8_t> ChannelData(const TChannelLayout& l, std::span<const int> channels,
                                 bool matte) {
  const size_t w = l.image.Width, h = l.image.Height;
  std::vector<uint8_t> row(w * (l.depth / 8));
  std::vector<std::vector<uint8_t>> packed;
  packed.reserve(h * channels.size());
  bool fits = true;
  for (size_t c = 0; c < channels.size() && fits; ++c)
    for (size_t y = 0; y < h && fits; ++y) {
      ChannelRow(l, channels[c], matte, y, row);
      packed.emplace_back();
      PackBitsEncode(row, packed.back());
      fits = packed.back().size() <= 65535;
    }
  TByteWriter out;
  if (fits) {
    out.U16BE(1);
    for (const auto& p : packed) out.U16BE(static_cast<uint16_t>(p.size()));
    for (const auto& p : packed) out.Bytes(p);
  } else {
    packed.clear();
    out.U16BE(0);
    for (int c : channels)
      for (size_t y = 0; y < h; ++y) {
        ChannelRow(l, c, matte, y, row);
        out.Bytes(row);
      }
  }
  return std::move(out.Data());
}

}  // namespace

void PackBitsEncode(std::span<const uint8_t> row, std::vector<uint8_t>& out) {
  const size_t n = row.size();
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 3 || (run == 2 && i + run == n)) {
      out.push_back(static_cast<uint8_t>(257 - run));
      out.push_back(row[i]);
      i += run;
      continue;
    }
    // Literal bytes up to the next run of three.
    size_t lit = 0;
    while (i + lit < n && lit < 128) {
      if (i + lit + 2 < n && row[i + lit] == row[i + lit + 1] && row[i + lit] == row[i + lit + 2])
        break;
      ++lit;
    }
    out.push_back(static_cast<uint8_t>(lit - 1));
    out.insert(out.end(), row.begin() + i, row.begin() + i + lit);
    i += lit;
  }
}

void PackBitsDecode(std::span<const uint8_t> in, std::span<uint8_t> out) {
  size_t ip = 0, op = 0;
  while (op < out.size()) {
    if (ip >= in.size()) Bad("run-length row ends early");
    const int8_t head = static_cast<int8_t>(in[ip++]);
    if (head == -128) continue;
    if (head >= 0) {
      const size_t count = static_cast<size_t>(head) + 1;
      if (count > out.size() - op) Bad("run-length row overflows");
      if (count > in.size() - ip) Bad("run-length row ends early");
      std::memcpy(out.data() + op, in.data() + ip, count);
      ip += count;
      op += count;
    } else {
      const size_t count = static_cast<size_t>(1 - head);
      if (count > out.size() - op) Bad("run-length row overflows");
      if (ip >= in.size()) Bad("run-length row ends early");
      std::memset(out.data() + op, in[ip++], count);
      op += count;
    }
  }
}

namespace {

struct TPsdHeader {
  int channels = 0;
  uint32_t width = 0, height = 0;
  int depth = 0, mode = 0;
  int colourChannels = 0;
  std::span<const uint8_t> modeData, resources, layers;
  bool alpha = false;
  int used = 0;  // channels the picture takes: colour, then transparency
  TImageFormat format = ifUnknown;
  // The merged image has transparency and one layer may hold the picture
  // exactly.
  bool layerAlphaCandidate = false;
};

// The fixed header, checked before anything sized from it is read.
TPsdHeader ReadPsdHeader(TByteReader& r) {
  TPsdHeader p;
  if (r.U32BE() != 0x38425053) Bad("missing signature");  // "8BPS"
  if (r.U16BE() != 1) Bad("unsupported version", EImagingErrorKind::Unsupported);
  r.Skip(6);
  p.channels = r.U16BE();
  p.height = r.U32BE();
  p.width = r.U32BE();
  p.depth = r.U16BE();
  p.mode = r.U16BE();
  if (p.channels < 1 || p.channels > 56) Bad("bad channel count");
  if (p.width == 0 || p.height == 0) Bad("empty image");
  if (p.mode == kBitmap ? p.depth != 1 : (p.depth != 8 && p.depth != 16 && p.depth != 32))
    Bad("unsupported bit depth", EImagingErrorKind::Unsupported);
  switch (p.mode) {
    case kBitmap:
    case kGrayscale:
    case kIndexed:
    case kDuotone:
    case kMultichannel:
      p.colourChannels = 1;
      break;
    case kRgb:
    case kLab:
      p.colourChannels = 3;
      break;
    case kCmyk:
      p.colourChannels = 4;
      break;
    default:
      Bad("unsupported colour mode", EImagingErrorKind::Unsupported);
  }
  if (p.channels < p.colourChannels) Bad("too few channels for the colour mode");
  if (p.mode == kIndexed && p.depth != 8) Bad("indexed images must have 8 bits");
  if ((p.mode == kCmyk || p.mode == kLab) && p.depth == 32)
    Bad("unsupported bit depth", EImagingErrorKind::Unsupported);
  return p;
}

// The colour mode data, image resources and layer section; then which
// channels the picture uses and the pixel format it loads into.
void ReadPsdSections(TByteReader& r, TPsdHeader& p) {
  const uint32_t modeDataLen = r.U32BE();
  p.modeData = r.Bytes(modeDataLen);
  if (p.mode == kIndexed && modeDataLen < 768) Bad("palette is missing");
  p.resources = r.Bytes(r.U32BE());
  p.layers = r.Bytes(r.U32BE());
  // The first extra channel is the merged image's transparency unless the
  // file has layers and a positive layer count (then the extra channels are
  // spot or mask channels and the merged image is opaque).
  int layerCount = 0;
  if (p.layers.size() >= 6) {
    TByteReader l(p.layers);
    if (l.U32BE() >= 2) layerCount = l.I16BE();
  }
  const int mode = p.mode, depth = p.depth;
  p.alpha = p.channels > p.colourChannels && mode != kIndexed && mode != kBitmap &&
            mode != kMultichannel && layerCount <= 0;
  p.used = p.colourChannels + (p.alpha ? 1 : 0);
  const bool alpha = p.alpha;
  const bool gray = mode != kRgb && mode != kCmyk && mode != kIndexed && mode != kLab;
  if (mode == kBitmap)
    p.format = ifGray8;
  else if (mode == kIndexed)
    p.format = ifIndex8;
  else if (gray)
    p.format = depth == 8    ? (alpha ? ifA8Gray8 : ifGray8)
               : depth == 16 ? (alpha ? ifA16Gray16 : ifGray16)
                             : (alpha ? ifA32R32G32B32F : ifR32F);
  else if (depth == 8)
    p.format = alpha ? ifA8R8G8B8 : ifR8G8B8;
  else if (depth == 16)
    p.format = alpha ? ifA16R16G16B16 : ifR16G16B16;
  else
    p.format = ifA32R32G32B32F;
  if (alpha && layerCount == -1) p.layerAlphaCandidate = mode == kRgb || mode == kGrayscale;
}

// The rows of the used channels of the merged image.
std::vector<TChannelRows> MergedChannels(TByteReader& r, const TPsdHeader& p, size_t rowBytes) {
  const size_t h = p.height;
  std::vector<TChannelRows> rows(p.used);
  const uint16_t compression = r.U16BE();
  if (compression > 1) Bad("unsupported compression", EImagingErrorKind::Unsupported);
  if (compression == 0) {
    if (r.Remaining() / rowBytes / h < static_cast<size_t>(p.used))
      Bad("pixel data is truncated", EImagingErrorKind::Truncated);
    for (TChannelRows& c : rows) c.data = r.Bytes(rowBytes * h);
    return rows;
  }
  if (r.Remaining() / 2 / h < static_cast<size_t>(p.channels))
    Bad("row counts are truncated", EImagingErrorKind::Truncated);
  auto counts = r.Bytes(2 * h * p.channels);
  uint64_t coded = 0;
  for (int c = 0; c < p.used; ++c) {
    rows[c] = PackedRows(r, counts, c * h, h);
    coded += rows[c].data.size();
  }
  // Two coded bytes give at most 128 bytes of a row.
  if (coded * 64 < uint64_t{rowBytes} * h * p.used)
    Bad("pixel data is truncated", EImagingErrorKind::Truncated);
  return rows;
}

// One row of every used channel of the merged image, channel after channel.
struct TSampleRow {
  std::vector<uint8_t> Data;
  size_t RowBytes = 0;
  int Depth = 8;
  const uint8_t* At(int c, size_t x) const { return &Data[c * RowBytes + x * (Depth / 8)]; }
  uint32_t Value(int c, size_t x) const { return Depth == 8 ? *At(c, x) : LoadU16BE(At(c, x)); }
};

bool IsGrayMode(int mode) {
  return mode != kRgb && mode != kCmyk && mode != kIndexed && mode != kLab;
}

// 32-bit floats: gray spread over the colour slots, B, G, R, A in the record.
void StoreFloatPixel(const TPsdHeader& p, const TSampleRow& s, size_t x, uint8_t* px) {
  float v[4] = {0, 0, 0, 1};
  for (int c = 0; c < p.used; ++c) v[c] = BeFloat(s.At(c, x));
  if (IsGrayMode(p.mode)) {
    if (p.alpha) v[3] = v[1];
    v[1] = v[2] = v[0];
  }
  if (p.format == ifR32F) {
    std::memcpy(px, &v[0], 4);
  } else {  // B, G, R, A floats
    const float bgra[4] = {v[2], v[1], v[0], v[3]};
    std::memcpy(px, bgra, 16);
  }
}

// L* 0..100 and a*, b* centred on the middle code value, to sRGB.
void StoreLabPixel(const TPsdHeader& p, const TSampleRow& s, size_t x, uint8_t* px) {
  const int depth = p.depth;
  const double scale = depth == 8 ? 255.0 : 65535.0;
  double v[4];
  for (int c = 0; c < p.used; ++c) v[c] = s.Value(c, x);
  double rgb[3];
  LabToSrgb(v[0] / scale * 100.0, (v[1] - (scale + 1) / 2) * 256.0 / (scale + 1),
            (v[2] - (scale + 1) / 2) * 256.0 / (scale + 1), rgb);
  for (int c = 0; c < 3; ++c) {
    if (depth == 8)
      px[2 - c] = static_cast<uint8_t>(std::lround(rgb[c] * 255.0));
    else {
      const uint16_t w16 = static_cast<uint16_t>(std::lround(rgb[c] * 65535.0));
      std::memcpy(px + (2 - c) * 2, &w16, 2);
    }
  }
  if (p.alpha) {
    if (depth == 8)
      px[3] = static_cast<uint8_t>(v[3]);
    else {
      const uint16_t a16 = static_cast<uint16_t>(v[3]);
      std::memcpy(px + 6, &a16, 2);
    }
  }
}

// Stored samples are inverted ink amounts: 0 is full ink.
void StoreCmykPixel(const TPsdHeader& p, const TSampleRow& s, size_t x, uint8_t* px) {
  const int maxv = p.depth == 8 ? 255 : 65535;
  uint32_t v[5];
  for (int c = 0; c < p.used; ++c) v[c] = s.Value(c, x);
  const uint32_t rgb[3] = {v[0] * v[3] / maxv, v[1] * v[3] / maxv, v[2] * v[3] / maxv};
  if (p.depth == 8) {
    px[0] = uint8_t(rgb[2]);
    px[1] = uint8_t(rgb[1]);
    px[2] = uint8_t(rgb[0]);
    if (p.alpha) px[3] = uint8_t(v[4]);
  } else {
    const uint16_t out[4] = {uint16_t(rgb[2]), uint16_t(rgb[1]), uint16_t(rgb[0]),
                             uint16_t(p.alpha ? v[4] : 0)};
    std::memcpy(px, out, p.alpha ? 8 : 6);
  }
}

// Gray, indexed and RGB at 8 or 16 bits: channel order of the record.
void StorePlainPixel(const TPsdHeader& p, const TSampleRow& s, size_t x, uint8_t* px) {
  static constexpr int kRgbOrder[4] = {2, 1, 0, 3};  // record B,G,R,A <- file R,G,B,A
  for (int c = 0; c < p.used; ++c) {
    const int slot = (p.mode == kRgb) ? kRgbOrder[c] : c;
    if (p.depth == 8) {
      px[slot] = *s.At(c, x);
    } else {
      const uint16_t v = LoadU16BE(s.At(c, x));
      std::memcpy(px + slot * 2, &v, 2);
    }
  }
}

// One row of the record from the channels' samples.
void StorePsdRow(const TPsdHeader& p, const TSampleRow& s, uint8_t* row, int bpp) {
  for (size_t x = 0; x < p.width; ++x) {
    uint8_t* px = row + x * bpp;
    if (p.mode == kBitmap)
      *px = ((s.Data[x / 8] >> (7 - x % 8)) & 1) ? 0 : 255;
    else if (p.depth == 32)
      StoreFloatPixel(p, s, x, px);
    else if (p.mode == kLab)
      StoreLabPixel(p, s, x, px);
    else if (p.mode == kCmyk)
      StoreCmykPixel(p, s, x, px);
    else
      StorePlainPixel(p, s, x, px);
  }
}

// The palette of an indexed image, with the transparent index its
// resources name.
void StorePsdPalette(const TPsdHeader& p, RasterImage& image) {
  for (int i = 0; i < 256; ++i)
    image.Palette[i] = {p.modeData[512 + i], p.modeData[256 + i], p.modeData[i], 255};
  const int t = TransparentIndex(p.resources);
  if (t >= 0 && t < 256) image.Palette[t].A = 0;
}

}  // namespace

RasterImage DecodePsd(std::span<const uint8_t> data) try {
  TByteReader r(data);
  TPsdHeader p = ReadPsdHeader(r);
  ReadPsdSections(r, p);
  CheckImageLimits(p.width, p.height, p.format);
  const size_t w = p.width, h = p.height;
  TSampleRow samples;
  samples.Depth = p.depth;
  samples.RowBytes = (w * p.depth + 7) / 8;
  std::vector<TChannelRows> channels = MergedChannels(r, p, samples.RowBytes);
  if (p.layerAlphaCandidate) {
    std::vector<TChannelRows> exact =
        PlainLayerChannels(p.layers, w, h, samples.RowBytes, p.colourChannels);
    if (!exact.empty()) channels = std::move(exact);
  }

  RasterImage image;
  ImageCreate(image, static_cast<int32_t>(w), static_cast<int32_t>(h), p.format);
  const int bpp = GetImageFormatInfo(p.format)->BytesPerPixel;
  CheckBufferLimit(uint64_t{samples.RowBytes} * p.used);
  samples.Data.resize(samples.RowBytes * p.used);
  const std::span<uint8_t> all(samples.Data);
  for (size_t y = 0; y < h; ++y) {
    for (int c = 0; c < p.used; ++c)
      ChannelRowData(channels[c], y, all.subspan(c * samples.RowBytes, samples.RowBytes));
    StorePsdRow(p, samples, image.Row(static_cast<int>(y)), bpp);
  }
  if (p.mode == kIndexed) StorePsdPalette(p, image);
  return image;
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

namespace {

// The image resource section's data: the ICC profile resource, or nothing.
std::vector<uint8_t> ProfileResource(std::string_view icc) {
  TByteWriter r;
  if (icc.empty()) return std::move(r.Data());
  if (icc.size() > UINT32_MAX - 16) throw EImagingError("Colour profile is too large");
  r.Text("8BIM");
  r.U16BE(1039);  // ICC profile
  r.U16BE(0);     // empty name, padded to an even length
  r.U32BE(static_cast<uint32_t>(icc.size()));
  r.Bytes({reinterpret_cast<const uint8_t*>(icc.data()), icc.size()});
  if (icc.size() & 1) r.U8(0);
  return std::move(r.Data());
}

}  // namespace

namespace {

// How a pixel format is stored: colour mode, channels per pixel (colour and
// transparency) and bits per sample.
struct TPsdShape {
  int mode, channels, depth;
};

TPsdShape PsdShapeOf(const RasterImage& image) {
  switch (image.Format) {
    case ifIndex8:
      return {kIndexed, 1, 8};
    case ifGray8:
      return {kGrayscale, 1, 8};
    case ifA8Gray8:
      return {kGrayscale, 2, 8};
    case ifGray16:
      return {kGrayscale, 1, 16};
    case ifA16Gray16:
      return {kGrayscale, 2, 16};
    case ifR8G8B8:
      return {kRgb, 3, 8};
    case ifA8R8G8B8:
      return {kRgb, 4, 8};
    case ifR16G16B16:
      return {kRgb, 3, 16};
    case ifA16R16G16B16:
      return {kRgb, 4, 16};
    case ifR32F:
      return {kGrayscale, 1, 32};
    case ifA32R32G32B32F:
      return {kRgb, 4, 32};
    default:
      throw EImagingError("Pixel format cannot be stored in a Photoshop image");
  }
}

// The byte offset of each file channel inside a pixel.
TChannelLayout ChannelLayoutOf(const RasterImage& image, const TPsdShape& shape) {
  const int bytes = shape.depth / 8;
  const int colourChannels = shape.mode == kRgb ? 3 : 1;
  const bool alpha = shape.channels > colourChannels;
  TChannelLayout layout{image, shape.depth, {}, alpha ? colourChannels : -1};
  if (shape.mode == kRgb) {
    const int cb = bytes == 4 ? 4 : bytes;
    layout.offsets[0] = 2 * cb, layout.offsets[1] = cb, layout.offsets[2] = 0,
    layout.offsets[3] = 3 * cb;
  } else {
    layout.offsets[0] = 0, layout.offsets[1] = bytes;
  }
  return layout;
}

// A picture with transparency is stored twice: exactly, as the one layer of
// the file, and as the merged image, whose extra channel the negative layer
// count marks as its transparency. This is the layer part, padded to an even
// length.
std::vector<uint8_t> SingleLayerInfo(const TChannelLayout& layout, const TPsdShape& shape) {
  const size_t w = layout.image.Width, h = layout.image.Height;
  const int channels = shape.channels, colourChannels = layout.alphaChannel;
  std::vector<std::vector<uint8_t>> data;
  for (int c = 0; c < channels; ++c) {
    const int file = c == 0 ? colourChannels : c - 1;  // transparency first
    data.push_back(ChannelData(layout, {&file, 1}, false));
  }
  TByteWriter li;
  li.U16BE(0xFFFF);  // one layer, -1
  li.U32BE(0);
  li.U32BE(0);
  li.U32BE(static_cast<uint32_t>(h));
  li.U32BE(static_cast<uint32_t>(w));
  li.U16BE(static_cast<uint16_t>(channels));
  for (int c = 0; c < channels; ++c) {
    li.U16BE(static_cast<uint16_t>(c == 0 ? 0xFFFF : c - 1));
    if (data[c].size() > UINT32_MAX)
      throw EImagingError("Picture is too large for a Photoshop image");
    li.U32BE(static_cast<uint32_t>(data[c].size()));
  }
  li.Text("8BIMnorm");
  li.U8(255);  // opacity
  li.U8(0);    // clipping
  li.U8(0);    // flags: visible
  li.U8(0);
  li.U32BE(16);  // no mask, no blending ranges, the name padded to 8 bytes
  li.U32BE(0);
  li.U32BE(0);
  li.U8(5);
  li.Text("Image");
  li.U8(0);
  li.U8(0);
  for (const auto& d : data) li.Bytes(d);
  std::vector<uint8_t> layerInfo = std::move(li.Data());
  if (layerInfo.size() & 1) layerInfo.push_back(0);
  if (layerInfo.size() > UINT32_MAX - 12)
    throw EImagingError("Picture is too large for a Photoshop image");
  return layerInfo;
}

// The file header and the colour mode data (the palette of an indexed
// picture).
void WritePsdHeader(TByteWriter& out, const RasterImage& image, const TPsdShape& shape) {
  out.Text("8BPS");
  out.U16BE(1);
  for (int i = 0; i < 6; ++i) out.U8(0);
  out.U16BE(static_cast<uint16_t>(shape.channels));
  out.U32BE(static_cast<uint32_t>(image.Height));
  out.U32BE(static_cast<uint32_t>(image.Width));
  out.U16BE(static_cast<uint16_t>(shape.depth));
  out.U16BE(static_cast<uint16_t>(shape.mode));
  if (shape.mode == kIndexed) {
    out.U32BE(768);
    for (int i = 0; i < 256; ++i) out.U8(image.Palette[i].R);
    for (int i = 0; i < 256; ++i) out.U8(image.Palette[i].G);
    for (int i = 0; i < 256; ++i) out.U8(image.Palette[i].B);
  } else {
    out.U32BE(0);
  }
}

}  // namespace

std::vector<uint8_t> EncodePsd(const RasterImage& image, std::string_view icc) {
  const TPsdShape shape = PsdShapeOf(image);
  const TChannelLayout layout = ChannelLayoutOf(image, shape);
  const bool alpha = layout.alphaChannel >= 0;
  // Readers take the colour of a transparent merged RGB image as laid over
  // white, so it is stored that way; gray ones are read as stored.
  const std::vector<uint8_t> layerInfo =
      alpha ? SingleLayerInfo(layout, shape) : std::vector<uint8_t>();

  TByteWriter out;
  WritePsdHeader(out, image, shape);
  const std::vector<uint8_t> resources = ProfileResource(icc);
  out.U32BE(static_cast<uint32_t>(resources.size()));
  out.Bytes(resources);
  if (layerInfo.empty()) {
    out.U32BE(0);  // layers and masks
  } else {
    out.U32BE(static_cast<uint32_t>(4 + layerInfo.size() + 4));
    out.U32BE(static_cast<uint32_t>(layerInfo.size()));
    out.Bytes(layerInfo);
    out.U32BE(0);  // global layer mask
  }

  int all[4] = {0, 1, 2, 3};
  out.Bytes(ChannelData(layout, {all, size_t(shape.channels)}, alpha && shape.mode == kRgb));
  return std::move(out.Data());
}

namespace {

class TPSDFileFormat : public TSimpleFileFormat {
 public:
  TPSDFileFormat() : TSimpleFileFormat(DecodePsd) {
    SetName("Photoshop Image");
    AddMasks("*.psd,*.pdd");
    SetCapabilities(true, true, false);
    SetSupportedFormats({ifIndex8, ifGray8, ifA8Gray8, ifGray16, ifA16Gray16, ifR8G8B8, ifA8R8G8B8,
                         ifR16G16B16, ifA16R16G16B16, ifR32F, ifA32R32G32B32F});
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 26);
    return h.size() >= 26 && std::memcmp(h.data(), "8BPS", 4) == 0 && h[4] == 0 && h[5] == 1;
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    const bool icc = StoresIccProfile(SaveIccProfile(), *GetImageFormatInfo(images[0]->Format));
    stream.Write(EncodePsd(*images[0], icc ? SaveIccProfile() : std::string()));
    return true;
  }

 public:
  // Gray and colour pictures; 32-bit ones hold linear light, which a
  // profile for ordinary samples does not describe.
  bool StoresIccProfile(std::string_view profile, const TImageFormatInfo& info) const override {
    if (info.IsFloatingPoint) return false;
    return IccColourSpace(profile) == (info.HasGrayChannel ? kIccGray : kIccRgb);
  }

 protected:
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    TImageFormat target;
    if (info.IsFloatingPoint)
      target = info.ChannelCount == 1 ? ifR32F : ifA32R32G32B32F;
    else if (info.HasGrayChannel)
      target = info.HasAlphaChannel ? ifA16Gray16 : ifGray16;
    else if (info.RBSwapFormat != ifUnknown && SupportedPixelFormats().count(info.RBSwapFormat))
      target = info.RBSwapFormat;
    else
      target = info.HasAlphaChannel ? ifA8R8G8B8 : ifR8G8B8;
    ImageConvert(image, target);
  }
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakePSDFileFormat() { return std::make_unique<TPSDFileFormat>(); }

}  // namespace imprimo
