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
#include "imaging/imaging_stream.h"

namespace imprimo {

namespace {

[[noreturn]] void Bad(const std::string& what) {
  throw EImagingError("Invalid Photoshop image: " + what);
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

inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline float BeFloat(const uint8_t* p) { return std::bit_cast<float>(Be32(p)); }

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
    auto body = r.Bytes(size);
    if (size & 1 && !r.AtEnd()) r.Skip(1);
    if (id == 1047 && size >= 2) return Be16(body.data());
  }
  return -1;
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

RasterImage DecodePsd(std::span<const uint8_t> data) {
  TByteReader r(data);
  if (r.U32BE() != 0x38425053) Bad("missing signature");  // "8BPS"
  if (r.U16BE() != 1) Bad("unsupported version");
  r.Skip(6);
  const int channels = r.U16BE();
  const uint32_t height = r.U32BE();
  const uint32_t width = r.U32BE();
  const int depth = r.U16BE();
  const int mode = r.U16BE();
  if (channels < 1 || channels > 56) Bad("bad channel count");
  if (width == 0 || height == 0) Bad("empty image");
  if (width > uint32_t(kMaxImageSide) || height > uint32_t(kMaxImageSide)) Bad("image too large");
  if (int64_t{width} * height > kMaxImagePixels) Bad("image too large");
  if (mode == kBitmap ? depth != 1 : (depth != 8 && depth != 16 && depth != 32))
    Bad("unsupported bit depth");

  int colourChannels;
  switch (mode) {
    case kBitmap:
    case kGrayscale:
    case kIndexed:
    case kDuotone:
    case kMultichannel:
      colourChannels = 1;
      break;
    case kRgb:
      colourChannels = 3;
      break;
    case kLab:
      colourChannels = 3;
      break;
    case kCmyk:
      colourChannels = 4;
      break;
    default:
      Bad("unsupported colour mode");
  }
  if (channels < colourChannels) Bad("too few channels for the colour mode");
  if (mode == kIndexed && depth != 8) Bad("indexed images must have 8 bits");
  if ((mode == kCmyk || mode == kLab) && depth == 32) Bad("unsupported bit depth");
  const uint32_t modeDataLen = r.U32BE();
  auto modeData = r.Bytes(modeDataLen);
  if (mode == kIndexed && modeDataLen < 768) Bad("palette is missing");
  const uint32_t resourcesLen = r.U32BE();
  auto resources = r.Bytes(resourcesLen);
  const uint32_t layersLen = r.U32BE();
  auto layers = r.Bytes(layersLen);
  // The first extra channel is the merged image's transparency unless the
  // file has layers and a positive layer count (then the extra channels are
  // spot or mask channels and the merged image is opaque).
  int layerCount = 0;
  if (layersLen >= 6 && Be32(layers.data()) >= 2)
    layerCount = static_cast<int16_t>(Be16(layers.data() + 4));
  const bool alpha = channels > colourChannels && mode != kIndexed && mode != kBitmap &&
                     mode != kMultichannel && layerCount <= 0;
  const int used = colourChannels + (alpha ? 1 : 0);
  const uint16_t compression = r.U16BE();
  if (compression > 1) Bad("unsupported compression");

  const size_t w = width, h = height;
  const size_t rowBytes = (w * depth + 7) / 8;
  // Planes of the channels used, one after another. The data present is
  // checked before they are allocated.
  const size_t planeBytes = rowBytes * h * used;
  std::vector<uint8_t> planes;
  if (compression == 0) {
    if (r.Remaining() / rowBytes / h < static_cast<size_t>(used)) Bad("pixel data is truncated");
    auto bytes = r.Bytes(planeBytes);
    planes.assign(bytes.begin(), bytes.end());
  } else {
    if (r.Remaining() / 2 / h < static_cast<size_t>(channels)) Bad("row counts are truncated");
    auto counts = r.Bytes(2 * h * channels);
    // Two coded bytes give at most 128 bytes of a row.
    size_t coded = 0;
    for (size_t i = 0; i < h * used; ++i) coded += Be16(&counts[2 * i]);
    if (coded > r.Remaining() || coded * 64 < planeBytes) Bad("pixel data is truncated");
    planes.resize(planeBytes);
    for (int c = 0; c < used; ++c)
      for (size_t y = 0; y < h; ++y) {
        const size_t count = Be16(&counts[2 * (c * h + y)]);
        PackBitsDecode(r.Bytes(count), {&planes[(c * h + y) * rowBytes], rowBytes});
      }
  }
  auto sample = [&](int c, size_t y, size_t x) -> const uint8_t* {
    return &planes[(c * h + y) * rowBytes + x * (depth / 8)];
  };

  RasterImage image;
  const bool gray = mode != kRgb && mode != kCmyk && mode != kIndexed && mode != kLab;
  TImageFormat format;
  if (mode == kBitmap)
    format = ifGray8;
  else if (mode == kIndexed)
    format = ifIndex8;
  else if (gray)
    format = depth == 8    ? (alpha ? ifA8Gray8 : ifGray8)
             : depth == 16 ? (alpha ? ifA16Gray16 : ifGray16)
                           : (alpha ? ifA32R32G32B32F : ifR32F);
  else if (depth == 8)
    format = alpha ? ifA8R8G8B8 : ifR8G8B8;
  else if (depth == 16)
    format = alpha ? ifA16R16G16B16 : ifR16G16B16;
  else
    format = ifA32R32G32B32F;
  ImageCreate(image, static_cast<int32_t>(w), static_cast<int32_t>(h), format);
  const int bpp = GetImageFormatInfo(format)->BytesPerPixel;

  for (size_t y = 0; y < h; ++y) {
    uint8_t* row = image.Row(static_cast<int>(y));
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = row + x * bpp;
      if (mode == kBitmap) {
        const uint8_t bit = (planes[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
        *p = bit ? 0 : 255;
        continue;
      }
      if (depth == 32) {
        float v[4] = {0, 0, 0, 1};
        for (int c = 0; c < used; ++c) v[c] = BeFloat(sample(c, y, x));
        if (gray) {
          if (alpha) v[3] = v[1];
          v[1] = v[2] = v[0];
        }
        if (format == ifR32F) {
          std::memcpy(p, &v[0], 4);
        } else {  // B, G, R, A floats
          const float bgra[4] = {v[2], v[1], v[0], v[3]};
          std::memcpy(p, bgra, 16);
        }
        continue;
      }
      if (mode == kLab) {
        // L* 0..100 and a*, b* centred on the middle code value.
        const double scale = depth == 8 ? 255.0 : 65535.0;
        double v[4];
        for (int c = 0; c < used; ++c) v[c] = depth == 8 ? *sample(c, y, x) : Be16(sample(c, y, x));
        double rgb[3];
        LabToSrgb(v[0] / scale * 100.0, (v[1] - (scale + 1) / 2) * 256.0 / (scale + 1),
                  (v[2] - (scale + 1) / 2) * 256.0 / (scale + 1), rgb);
        for (int c = 0; c < 3; ++c) {
          if (depth == 8)
            p[2 - c] = static_cast<uint8_t>(std::lround(rgb[c] * 255.0));
          else {
            const uint16_t w16 = static_cast<uint16_t>(std::lround(rgb[c] * 65535.0));
            std::memcpy(p + (2 - c) * 2, &w16, 2);
          }
        }
        if (alpha) {
          if (depth == 8)
            p[3] = static_cast<uint8_t>(v[3]);
          else {
            const uint16_t a16 = static_cast<uint16_t>(v[3]);
            std::memcpy(p + 6, &a16, 2);
          }
        }
        continue;
      }
      if (mode == kCmyk) {
        // Stored samples are inverted ink amounts: 0 is full ink.
        const int maxv = depth == 8 ? 255 : 65535;
        uint32_t s[5];
        for (int c = 0; c < used; ++c) s[c] = depth == 8 ? *sample(c, y, x) : Be16(sample(c, y, x));
        const uint32_t rgb[3] = {s[0] * s[3] / maxv, s[1] * s[3] / maxv, s[2] * s[3] / maxv};
        if (depth == 8) {
          p[0] = uint8_t(rgb[2]);
          p[1] = uint8_t(rgb[1]);
          p[2] = uint8_t(rgb[0]);
          if (alpha) p[3] = uint8_t(s[4]);
        } else {
          const uint16_t v[4] = {uint16_t(rgb[2]), uint16_t(rgb[1]), uint16_t(rgb[0]),
                                 uint16_t(alpha ? s[4] : 0)};
          std::memcpy(p, v, alpha ? 8 : 6);
        }
        continue;
      }
      // Gray, indexed and RGB at 8 or 16 bits: channel order of the record.
      static constexpr int kRgbOrder[4] = {2, 1, 0, 3};  // record B,G,R,A <- file R,G,B,A
      for (int c = 0; c < used; ++c) {
        const int slot = (mode == kRgb) ? kRgbOrder[c] : c;
        if (depth == 8) {
          p[slot] = *sample(c, y, x);
        } else {
          const uint16_t v = Be16(sample(c, y, x));
          std::memcpy(p + slot * 2, &v, 2);
        }
      }
    }
  }
  if (mode == kIndexed) {
    for (int i = 0; i < 256; ++i)
      image.Palette[i] = {modeData[512 + i], modeData[256 + i], modeData[i], 255};
    const int t = TransparentIndex(resources);
    if (t >= 0 && t < 256) image.Palette[t].A = 0;
  }
  return image;
}

std::vector<uint8_t> EncodePsd(const RasterImage& image) {
  int mode, channels, depth;
  switch (image.Format) {
    case ifIndex8:
      mode = kIndexed, channels = 1, depth = 8;
      break;
    case ifGray8:
      mode = kGrayscale, channels = 1, depth = 8;
      break;
    case ifA8Gray8:
      mode = kGrayscale, channels = 2, depth = 8;
      break;
    case ifGray16:
      mode = kGrayscale, channels = 1, depth = 16;
      break;
    case ifA16Gray16:
      mode = kGrayscale, channels = 2, depth = 16;
      break;
    case ifR8G8B8:
      mode = kRgb, channels = 3, depth = 8;
      break;
    case ifA8R8G8B8:
      mode = kRgb, channels = 4, depth = 8;
      break;
    case ifR16G16B16:
      mode = kRgb, channels = 3, depth = 16;
      break;
    case ifA16R16G16B16:
      mode = kRgb, channels = 4, depth = 16;
      break;
    case ifR32F:
      mode = kGrayscale, channels = 1, depth = 32;
      break;
    case ifA32R32G32B32F:
      mode = kRgb, channels = 4, depth = 32;
      break;
    default:
      throw EImagingError("Pixel format cannot be stored in a Photoshop image");
  }
  const size_t w = image.Width, h = image.Height;
  const int bytes = depth / 8;
  const int bpp = GetImageFormatInfo(image.Format)->BytesPerPixel;
  const size_t rowBytes = w * bytes;

  TByteWriter out;
  out.Text("8BPS");
  out.U16BE(1);
  for (int i = 0; i < 6; ++i) out.U8(0);
  out.U16BE(static_cast<uint16_t>(channels));
  out.U32BE(static_cast<uint32_t>(h));
  out.U32BE(static_cast<uint32_t>(w));
  out.U16BE(static_cast<uint16_t>(depth));
  out.U16BE(static_cast<uint16_t>(mode));
  if (mode == kIndexed) {
    out.U32BE(768);
    for (int i = 0; i < 256; ++i) out.U8(image.Palette[i].R);
    for (int i = 0; i < 256; ++i) out.U8(image.Palette[i].G);
    for (int i = 0; i < 256; ++i) out.U8(image.Palette[i].B);
  } else {
    out.U32BE(0);
  }
  out.U32BE(0);  // image resources
  out.U32BE(0);  // layers and masks

  // Record byte offset of each file channel inside a pixel.
  int offsets[4];
  if (mode == kRgb) {
    const int cb = bytes == 4 ? 4 : bytes;
    offsets[0] = 2 * cb, offsets[1] = cb, offsets[2] = 0, offsets[3] = 3 * cb;
  } else {
    offsets[0] = 0, offsets[1] = bytes;
  }
  std::vector<uint8_t> row(rowBytes);
  std::vector<std::vector<uint8_t>> packed;
  packed.reserve(h * channels);
  bool fits = true;
  for (int c = 0; c < channels && fits; ++c)
    for (size_t y = 0; y < h && fits; ++y) {
      const uint8_t* src = image.Row(static_cast<int>(y));
      for (size_t x = 0; x < w; ++x) {
        const uint8_t* s = src + x * bpp + offsets[c];
        for (int b = 0; b < bytes; ++b) row[x * bytes + b] = s[bytes - 1 - b];  // big-endian
      }
      packed.emplace_back();
      PackBitsEncode(row, packed.back());
      fits = packed.back().size() <= 65535;
    }
  if (fits) {
    out.U16BE(1);
    for (const auto& p : packed) out.U16BE(static_cast<uint16_t>(p.size()));
    for (const auto& p : packed) out.Bytes(p);
  } else {
    out.U16BE(0);
    for (int c = 0; c < channels; ++c)
      for (size_t y = 0; y < h; ++y) {
        const uint8_t* src = image.Row(static_cast<int>(y));
        for (size_t x = 0; x < w; ++x) {
          const uint8_t* s = src + x * bpp + offsets[c];
          for (int b = 0; b < bytes; ++b) out.U8(s[bytes - 1 - b]);
        }
      }
  }
  return std::move(out.Data());
}

namespace {

class TPSDFileFormat : public TImageFileFormat {
 public:
  TPSDFileFormat() {
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
  bool DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool) override {
    std::vector<uint8_t> data = stream.ReadRemaining();
    images.push_back(DecodePsd(data));
    return true;
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    stream.Write(EncodePsd(*images[0]));
    return true;
  }
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
