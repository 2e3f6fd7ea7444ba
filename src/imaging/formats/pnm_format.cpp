// The portable map family: PBM, PGM, PPM (plain and raw), PAM and PFM.
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging/formats/format_factories.h"

namespace imprimo {

namespace {

[[noreturn]] void Bad(const std::string& what,
                      EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  throw EImagingError("Invalid portable map: " + what, kind);
}

bool IsSpace(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Header and plain-text tokenizer; '#' starts a comment up to the end of the line.
class TPnmLexer {
 public:
  explicit TPnmLexer(std::span<const uint8_t> d) : d_(d) {}
  size_t pos = 0;

  void SkipSpaceAndComments() {
    while (pos < d_.size()) {
      if (d_[pos] == '#') {
        while (pos < d_.size() && d_[pos] != '\n') ++pos;
      } else if (IsSpace(d_[pos])) {
        ++pos;
      } else {
        break;
      }
    }
  }
  // A decimal number up to limit; fails on anything else.
  uint32_t Number(uint32_t limit, const char* what) {
    SkipSpaceAndComments();
    if (pos >= d_.size() || d_[pos] < '0' || d_[pos] > '9') Bad(std::string("expected ") + what);
    uint64_t v = 0;
    while (pos < d_.size() && d_[pos] >= '0' && d_[pos] <= '9') {
      v = v * 10 + (d_[pos++] - '0');
      if (v > limit) Bad(std::string(what) + " out of range");
    }
    return static_cast<uint32_t>(v);
  }
  std::string Word() {
    SkipSpaceAndComments();
    std::string w;
    while (pos < d_.size() && !IsSpace(d_[pos]) && d_[pos] != '#')
      w += static_cast<char>(d_[pos++]);
    return w;
  }
  std::string RestOfLine() {
    std::string s;
    while (pos < d_.size() && d_[pos] != '\n' && d_[pos] != '\r') s += static_cast<char>(d_[pos++]);
    return s;
  }
  // The single whitespace character between the header and a binary raster.
  void EndOfHeader() {
    if (pos >= d_.size() || !IsSpace(d_[pos])) Bad("missing whitespace after the header");
    ++pos;
  }
  size_t Remaining() const { return d_.size() - pos; }
  const uint8_t* Here() const { return d_.data() + pos; }

 private:
  std::span<const uint8_t> d_;
};

void CheckSize(uint32_t w, uint32_t h) {
  if (w == 0 || h == 0) Bad("empty image");
  CheckImageLimits(w, h, ifGray8);
}

// Scales a sample of 0..maxval to the full range of 8 or 16 bits.
inline uint32_t Scale(uint32_t v, uint32_t maxval, uint32_t full) {
  if (v > maxval) Bad("sample larger than the maximum value");
  if (maxval == full) return v;
  return (v * full + maxval / 2) / maxval;
}

// PF (colour) and Pf (gray) float maps, after the magic number.
RasterImage DecodeFloatMap(char kind, TPnmLexer& lx, size_t* consumed) {
  RasterImage image;
  const uint32_t w = lx.Number(0x7FFFFFFF, "width"), h = lx.Number(0x7FFFFFFF, "height");
  CheckSize(w, h);
  const std::string scaleText = lx.Word();
  char* end = nullptr;
  const double scale = std::strtod(scaleText.c_str(), &end);
  if (scaleText.empty() || *end != '\0' || scale == 0.0 || !std::isfinite(scale)) Bad("bad scale");
  lx.EndOfHeader();
  const bool little = scale < 0;
  const int channels = kind == 'F' ? 3 : 1;
  const size_t need = size_t{w} * h * channels * 4;
  if (lx.Remaining() < need) Bad("pixel data is truncated", EImagingErrorKind::Truncated);
  ImageCreate(image, static_cast<int>(w), static_cast<int>(h),
              kind == 'F' ? ifA32B32G32R32F : ifR32F);
  const uint8_t* p = lx.Here();
  auto next = [&]() {
    uint32_t v =
        little
            ? (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24)
            : (uint32_t{p[3]} | uint32_t{p[2]} << 8 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 24);
    p += 4;
    return std::bit_cast<float>(v);
  };
  // Rows are stored bottom to top.
  for (int y = static_cast<int>(h) - 1; y >= 0; --y) {
    float* row = reinterpret_cast<float*>(image.Row(y));
    for (uint32_t x = 0; x < w; ++x) {
      if (channels == 1) {
        row[x] = next();
      } else {
        row[4 * x] = next();
        row[4 * x + 1] = next();
        row[4 * x + 2] = next();
        row[4 * x + 3] = 1.0f;
      }
    }
  }
  if (consumed) *consumed = lx.pos + need;
  return image;
}

struct TPnmHeader {
  uint32_t w = 0, h = 0, depth = 0, maxval = 1;
  std::string tuple;
  bool plain = false;
};

// The header of P1..P7 after the magic number, up to its last field.
TPnmHeader ReadPnmHeader(char kind, TPnmLexer& lx) {
  TPnmHeader hd;
  switch (kind) {
    case '1':
    case '4':
      hd.w = lx.Number(0x7FFFFFFF, "width");
      hd.h = lx.Number(0x7FFFFFFF, "height");
      hd.depth = 1;
      hd.plain = kind == '1';
      hd.tuple = "BLACKANDWHITE_PBM";
      break;
    case '2':
    case '3':
    case '5':
    case '6':
      hd.w = lx.Number(0x7FFFFFFF, "width");
      hd.h = lx.Number(0x7FFFFFFF, "height");
      hd.maxval = lx.Number(65535, "maximum value");
      hd.depth = (kind == '2' || kind == '5') ? 1 : 3;
      hd.plain = kind == '2' || kind == '3';
      hd.tuple = hd.depth == 1 ? "GRAYSCALE" : "RGB";
      break;
    case '7': {
      bool haveW = false, haveH = false, haveD = false, haveM = false;
      for (;;) {
        const std::string key = lx.Word();
        if (key.empty()) Bad("header ends without ENDHDR");
        if (key == "ENDHDR") break;
        if (key == "WIDTH")
          hd.w = lx.Number(0x7FFFFFFF, "width"), haveW = true;
        else if (key == "HEIGHT")
          hd.h = lx.Number(0x7FFFFFFF, "height"), haveH = true;
        else if (key == "DEPTH")
          hd.depth = lx.Number(0x7FFFFFFF, "depth"), haveD = true;
        else if (key == "MAXVAL")
          hd.maxval = lx.Number(65535, "maximum value"), haveM = true;
        else if (key == "TUPLTYPE") {
          std::string t = lx.RestOfLine();
          size_t a = t.find_first_not_of(" \t"), b = t.find_last_not_of(" \t");
          t = a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
          hd.tuple += hd.tuple.empty() ? t : " " + t;
        } else
          Bad("unknown header field " + key.substr(0, 20));
      }
      if (!haveW || !haveH || !haveD || !haveM) Bad("incomplete header");
      if (hd.tuple.empty()) {
        static const char* byDepth[] = {"", "GRAYSCALE", "GRAYSCALE_ALPHA", "RGB", "RGB_ALPHA"};
        if (hd.depth >= 1 && hd.depth <= 4) hd.tuple = byDepth[hd.depth];
      }
      const bool bw = hd.tuple == "BLACKANDWHITE" || hd.tuple == "BLACKANDWHITE_ALPHA";
      const uint32_t expect = hd.tuple == "GRAYSCALE" || hd.tuple == "BLACKANDWHITE" ? 1
                              : hd.tuple == "GRAYSCALE_ALPHA" || hd.tuple == "BLACKANDWHITE_ALPHA"
                                  ? 2
                              : hd.tuple == "RGB"       ? 3
                              : hd.tuple == "RGB_ALPHA" ? 4
                                                        : 0;
      if (expect == 0) Bad("unsupported tuple type", EImagingErrorKind::Unsupported);
      if (hd.depth != expect) Bad("depth does not match the tuple type");
      if (bw && hd.maxval != 1) Bad("black and white images need a maximum value of 1");
      break;
    }
    default:
      Bad("unknown type", EImagingErrorKind::Unsupported);
  }
  return hd;
}

}  // namespace

RasterImage DecodePortableMap(std::span<const uint8_t> data, size_t* consumed) try {
  if (data.size() < 3 || data[0] != 'P') Bad("no signature");
  const char kind = static_cast<char>(data[1]);
  TPnmLexer lx(data);
  lx.pos = 2;
  if (kind == 'F' || kind == 'f') return DecodeFloatMap(kind, lx, consumed);
  RasterImage image;
  const TPnmHeader hd = ReadPnmHeader(kind, lx);
  const uint32_t w = hd.w, h = hd.h, depth = hd.depth, maxval = hd.maxval;
  const std::string& tuple = hd.tuple;
  const bool plain = hd.plain;
  CheckSize(w, h);
  if (maxval == 0) Bad("maximum value is zero");

  const bool wide = maxval > 255;
  TImageFormat format;
  if (tuple == "BLACKANDWHITE_PBM" || tuple == "BLACKANDWHITE" || tuple == "GRAYSCALE")
    format = wide ? ifGray16 : ifGray8;
  else if (tuple == "GRAYSCALE_ALPHA" || tuple == "BLACKANDWHITE_ALPHA")
    format = wide ? ifA16Gray16 : ifA8Gray8;
  else if (tuple == "RGB")
    format = wide ? ifR16G16B16 : ifR8G8B8;
  else
    format = wide ? ifA16R16G16B16 : ifA8R8G8B8;

  const size_t samples = size_t{w} * h * depth;
  const size_t sampleBytes = wide ? 2 : 1;
  if (kind == '4') {
    lx.EndOfHeader();
    if (lx.Remaining() < size_t{(w + 7) / 8} * h)
      Bad("pixel data is truncated", EImagingErrorKind::Truncated);
  } else if (plain) {
    if (kind != '1') lx.EndOfHeader();
    if (lx.Remaining() < samples) Bad("pixel data is truncated", EImagingErrorKind::Truncated);
  } else {
    lx.EndOfHeader();
    if (lx.Remaining() < samples * sampleBytes)
      Bad("pixel data is truncated", EImagingErrorKind::Truncated);
  }

  ImageCreate(image, static_cast<int>(w), static_cast<int>(h), format);
  const uint32_t full = wide ? 65535 : 255;
  // Sample order in the file (gray[,alpha] or R,G,B[,A]) to byte offsets of the pixel.
  int offs[4];
  const int bpp = GetImageFormatInfo(format)->BytesPerPixel;
  if (depth <= 2) {
    offs[0] = 0;
    offs[1] = static_cast<int>(sampleBytes);
  } else {
    offs[0] = 2 * static_cast<int>(sampleBytes);
    offs[1] = static_cast<int>(sampleBytes);
    offs[2] = 0;
    offs[3] = 3 * static_cast<int>(sampleBytes);
  }
  auto store = [&](uint8_t* px, uint32_t c, uint32_t v) {
    if (wide) {
      px[offs[c]] = static_cast<uint8_t>(v);
      px[offs[c] + 1] = static_cast<uint8_t>(v >> 8);
    } else {
      px[offs[c]] = static_cast<uint8_t>(v);
    }
  };

  if (kind == '1' || kind == '4') {
    // Bit 1 is black.
    for (uint32_t y = 0; y < h; ++y) {
      uint8_t* row = image.Row(static_cast<int>(y));
      for (uint32_t x = 0; x < w; ++x) {
        uint32_t bit;
        if (kind == '4') {
          bit = (lx.Here()[size_t{(w + 7) / 8} * y + x / 8] >> (7 - x % 8)) & 1;
        } else {
          lx.SkipSpaceAndComments();
          if (lx.Remaining() == 0) Bad("pixel data is truncated", EImagingErrorKind::Truncated);
          const uint8_t c = *lx.Here();
          if (c != '0' && c != '1') Bad("bad bit value");
          bit = c - '0';
          ++lx.pos;
        }
        row[x] = bit ? 0 : 255;
      }
    }
    if (kind == '4') lx.pos += size_t{(w + 7) / 8} * h;
  } else {
    const uint8_t* p = lx.Here();
    for (uint32_t y = 0; y < h; ++y) {
      uint8_t* row = image.Row(static_cast<int>(y));
      for (uint32_t x = 0; x < w; ++x) {
        uint8_t* px = row + size_t{x} * bpp;
        for (uint32_t c = 0; c < depth; ++c) {
          uint32_t v;
          if (plain) {
            v = lx.Number(65535, "sample");
          } else if (wide) {
            v = uint32_t{p[0]} << 8 | p[1];
            p += 2;
          } else {
            v = *p++;
          }
          store(px, c, Scale(v, maxval, full));
        }
      }
    }
    if (!plain) lx.pos += samples * sampleBytes;
  }
  if (consumed) *consumed = lx.pos;
  return image;
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

std::vector<uint8_t> EncodePortableMap(const RasterImage& image, char kind) {
  const int w = image.Width, h = image.Height;
  const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
  TByteWriter out;
  const std::string size = std::to_string(w) + " " + std::to_string(h);

  if (kind == 'F') {
    const bool gray = image.Format == ifR32F;
    out.Text(gray ? "Pf\n" : "PF\n");
    out.Text(size + "\n-1.000000\n");
    for (int y = h - 1; y >= 0; --y) {
      const uint8_t* row = image.Row(y);
      for (int x = 0; x < w; ++x) {
        if (gray)
          out.Bytes({row + 4 * x, 4});
        else
          out.Bytes({row + 16 * x, 12});  // R, G, B; alpha is not stored
      }
    }
    return std::move(out.Data());
  }

  const bool wide = info->BytesPerPixel / info->ChannelCount == 2;
  const int depth = info->ChannelCount;
  const uint32_t maxval = wide ? 65535 : 255;
  if (kind == '7') {
    static const char* tuples[] = {"", "GRAYSCALE", "GRAYSCALE_ALPHA", "RGB", "RGB_ALPHA"};
    out.Text("P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) + "\nDEPTH " +
             std::to_string(depth) + "\nMAXVAL " + std::to_string(maxval) + "\nTUPLTYPE " +
             tuples[depth] + "\nENDHDR\n");
  } else {
    out.Text(std::string("P") + kind + "\n" + size + "\n" + std::to_string(maxval) + "\n");
  }
  const bool plain = kind == '2' || kind == '3';
  const int sb = wide ? 2 : 1;
  // File sample order: gray[,alpha] or R,G,B[,A]; memory holds B,G,R,A.
  int offs[4] = {0, sb, 0, 0};
  if (depth >= 3) {
    offs[0] = 2 * sb;
    offs[1] = sb;
    offs[2] = 0;
    offs[3] = 3 * sb;
  }
  size_t lineLen = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = image.Row(y);
    for (int x = 0; x < w; ++x) {
      const uint8_t* px = row + static_cast<size_t>(x) * info->BytesPerPixel;
      for (int c = 0; c < depth; ++c) {
        const uint32_t v = wide ? (px[offs[c]] | px[offs[c] + 1] << 8) : px[offs[c]];
        if (!plain) {
          if (wide)
            out.U16BE(static_cast<uint16_t>(v));
          else
            out.U8(static_cast<uint8_t>(v));
          continue;
        }
        const std::string t = std::to_string(v);
        if (lineLen > 0 && lineLen + 1 + t.size() > 70) {
          out.U8('\n');
          lineLen = 0;
        } else if (lineLen > 0) {
          out.U8(' ');
          ++lineLen;
        }
        out.Text(t);
        lineLen += t.size();
      }
    }
    if (plain) {
      out.U8('\n');
      lineLen = 0;
    }
  }
  return std::move(out.Data());
}

namespace {

class TPortableMapFileFormat : public TImageFileFormat {
 protected:
  TPortableMapFileFormat(const char* name, const char* masks, char plainChar, char rawChar,
                         bool canSave)
      : plain_(plainChar), raw_(rawChar) {
    SetName(name);
    AddMasks(masks);
    SetCapabilities(true, canSave, false);
  }
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 4);
    // The magic number ends at whitespace or at a comment.
    return h.size() == 4 && h[0] == 'P' && (h[1] == plain_ || h[1] == raw_) &&
           (IsSpace(h[2]) || h[2] == '#');
  }
  bool DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool) override {
    const int64_t start = stream.Position();
    std::vector<uint8_t> data = stream.ReadRemaining();
    size_t used = 0;
    images.push_back(DecodePortableMap(data, &used));
    stream.Seek(start + static_cast<int64_t>(used), TSeekOrigin::Begin);
    return true;
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    stream.Write(EncodePortableMap(*images[0], saveBinary_ ? raw_ : plain_));
    return true;
  }
  static int BytesPerChannel(const TImageFormatInfo& info) {
    return info.ChannelCount ? info.BytesPerPixel / info.ChannelCount : 1;
  }

  char plain_, raw_;
  int32_t saveBinary_ = -1;
};

class TPBMFileFormat : public TPortableMapFileFormat {
 public:
  TPBMFileFormat() : TPortableMapFileFormat("Portable Bit Map", "*.pbm", '1', '4', false) {}
};

class TPGMFileFormat : public TPortableMapFileFormat {
 public:
  TPGMFileFormat() : TPortableMapFileFormat("Portable Gray Map", "*.pgm", '2', '5', true) {
    SetSupportedFormats({ifGray8, ifGray16});
    RegisterOption(ImagingPGMSaveBinary, &saveBinary_);
  }

 protected:
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    TImageFormat t;
    if (info.IsFloatingPoint)
      t = ifGray16;
    else if (info.HasGrayChannel)
      t = BytesPerChannel(info) > 1 ? ifGray16 : ifGray8;
    else
      t = info.BytesPerPixel <= 4 ? ifGray8 : ifGray16;
    ImageConvert(image, t);
  }
};

class TPPMFileFormat : public TPortableMapFileFormat {
 public:
  TPPMFileFormat() : TPortableMapFileFormat("Portable Pixel Map", "*.ppm", '3', '6', true) {
    SetSupportedFormats({ifR8G8B8, ifR16G16B16});
    RegisterOption(ImagingPPMSaveBinary, &saveBinary_);
  }

 protected:
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    TImageFormat t;
    if (info.IsFloatingPoint)
      t = ifR16G16B16;
    else if (info.HasGrayChannel)
      t = BytesPerChannel(info) > 1 ? ifR16G16B16 : ifR8G8B8;
    else
      t = info.BytesPerPixel <= 4 ? ifR8G8B8 : ifR16G16B16;
    ImageConvert(image, t);
  }
};

class TPAMFileFormat : public TPortableMapFileFormat {
 public:
  TPAMFileFormat() : TPortableMapFileFormat("Portable Arbitrary Map", "*.pam", '7', '7', true) {
    SetSupportedFormats({ifGray8, ifA8Gray8, ifGray16, ifA16Gray16, ifR8G8B8, ifA8R8G8B8,
                         ifR16G16B16, ifA16R16G16B16});
  }

 protected:
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    const bool a = info.HasAlphaChannel;
    TImageFormat t;
    if (info.IsFloatingPoint)
      t = a ? ifA16R16G16B16 : ifR16G16B16;
    else if (info.HasGrayChannel)
      t = a ? ifA16Gray16 : ifGray16;
    else if (info.BytesPerPixel <= 4)
      t = a ? ifA8R8G8B8 : ifR8G8B8;
    else
      t = a ? ifA16R16G16B16 : ifR16G16B16;
    ImageConvert(image, t);
  }
};

class TPFMFileFormat : public TPortableMapFileFormat {
 public:
  TPFMFileFormat() : TPortableMapFileFormat("Portable Float Map", "*.pfm", 'F', 'f', true) {
    SetSupportedFormats({ifR32F, ifA32B32G32R32F});
  }

 protected:
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    stream.Write(EncodePortableMap(*images[0], 'F'));
    return true;
  }
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    ImageConvert(image, info.ChannelCount > 1 || info.IsIndexed ? ifA32B32G32R32F : ifR32F);
  }
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakePBMFileFormat() { return std::make_unique<TPBMFileFormat>(); }
std::unique_ptr<TImageFileFormat> MakePGMFileFormat() { return std::make_unique<TPGMFileFormat>(); }
std::unique_ptr<TImageFileFormat> MakePPMFileFormat() { return std::make_unique<TPPMFileFormat>(); }
std::unique_ptr<TImageFileFormat> MakePAMFileFormat() { return std::make_unique<TPAMFileFormat>(); }
std::unique_ptr<TImageFileFormat> MakePFMFileFormat() { return std::make_unique<TPFMFileFormat>(); }

}  // namespace imprimo
