// JPEG 2000: JP2 files and bare code streams through OpenJPEG. The library
// reads from and writes to memory through stream callbacks; its messages are
// swallowed, a failure becomes one error text.
#include "imaging/formats/jp2_format.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/icc_profile.h"
#include "imaging/library_handle.h"
#include "imaging/pixel_convert.h"

namespace imprimo {

namespace {

constexpr uint8_t kJp2Signature[8] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
constexpr uint8_t kJ2kSignature[4] = {0xFF, 0x4F, 0xFF, 0x51};
constexpr char kDecodeFailed[] = "Failed to decode J2K image";

[[noreturn]] void Fail(const char* what) { throw EImagingError(what); }

void QuietHandler(const char*, void*) {}

using CodecPtr = TLibraryPtr<opj_codec_t, opj_destroy_codec>;
using StreamPtr = TLibraryPtr<opj_stream_t, opj_stream_destroy>;
using ImagePtr = TLibraryPtr<opj_image_t, opj_image_destroy>;

void Quiet(opj_codec_t* codec) {
  opj_set_info_handler(codec, QuietHandler, nullptr);
  opj_set_warning_handler(codec, QuietHandler, nullptr);
  opj_set_error_handler(codec, QuietHandler, nullptr);
}

void UseThreads(opj_codec_t* codec) {
  const unsigned n = std::max(1u, std::thread::hardware_concurrency());
  opj_codec_set_threads(codec, static_cast<int>(std::min(n, 16u)));  // best effort
}

// ---- Reading from memory ----

struct TMemorySource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

OPJ_SIZE_T SourceRead(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<TMemorySource*>(user);
  if (s->pos >= s->size) return static_cast<OPJ_SIZE_T>(-1);
  const size_t n = std::min<size_t>(count, s->size - s->pos);
  std::memcpy(buffer, s->data + s->pos, n);
  s->pos += n;
  return n;
}

OPJ_OFF_T SourceSkip(OPJ_OFF_T count, void* user) {
  auto* s = static_cast<TMemorySource*>(user);
  if (count < 0) {
    if (static_cast<uint64_t>(-count) > s->pos) return -1;
    s->pos -= static_cast<size_t>(-count);
    return count;
  }
  const size_t n =
      std::min<uint64_t>(static_cast<uint64_t>(count), s->size - std::min(s->pos, s->size));
  s->pos += n;
  return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL SourceSeek(OPJ_OFF_T pos, void* user) {
  auto* s = static_cast<TMemorySource*>(user);
  if (pos < 0 || static_cast<uint64_t>(pos) > s->size) return OPJ_FALSE;
  s->pos = static_cast<size_t>(pos);
  return OPJ_TRUE;
}

// ---- Writing to memory ----

struct TMemorySink {
  std::vector<uint8_t> data;
  size_t pos = 0;
};

OPJ_SIZE_T SinkWrite(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<TMemorySink*>(user);
  if (s->data.size() < s->pos + count) s->data.resize(s->pos + count);
  std::memcpy(s->data.data() + s->pos, buffer, count);
  s->pos += count;
  return count;
}

OPJ_OFF_T SinkSkip(OPJ_OFF_T count, void* user) {
  auto* s = static_cast<TMemorySink*>(user);
  if (count < 0 && static_cast<uint64_t>(-count) > s->pos) return -1;
  s->pos = static_cast<size_t>(static_cast<OPJ_OFF_T>(s->pos) + count);
  if (s->data.size() < s->pos) s->data.resize(s->pos);
  return count;
}

OPJ_BOOL SinkSeek(OPJ_OFF_T pos, void* user) {
  auto* s = static_cast<TMemorySink*>(user);
  if (pos < 0) return OPJ_FALSE;
  s->pos = static_cast<size_t>(pos);
  if (s->data.size() < s->pos) s->data.resize(s->pos);
  return OPJ_TRUE;
}

// One component resampled onto the image grid, values scaled to targetBits.
struct TPlaneReader {
  const opj_image_comp_t* comp = nullptr;
  std::vector<uint32_t> column;  // grid column -> component column
  int64_t offset = 0;            // added to signed samples
  uint64_t maxIn = 1, maxOut = 1;
  bool same = true;

  void Setup(const opj_image_t& image, const opj_image_comp_t& c, int width, int targetBits) {
    comp = &c;
    column.resize(width);
    for (int x = 0; x < width; ++x) {
      int64_t col = (static_cast<int64_t>(image.x0) + x) / c.dx - c.x0;
      column[x] = static_cast<uint32_t>(std::clamp<int64_t>(col, 0, c.w - 1));
    }
    const int prec = std::clamp<int>(static_cast<int>(c.prec), 1, 31);
    maxIn = (uint64_t{1} << prec) - 1;
    maxOut = (uint64_t{1} << targetBits) - 1;
    offset = c.sgnd ? (int64_t{1} << (prec - 1)) : 0;
    same = maxIn == maxOut;
  }
  const OPJ_INT32* RowFor(const opj_image_t& image, int y) const {
    int64_t row = (static_cast<int64_t>(image.y0) + y) / comp->dy - comp->y0;
    row = std::clamp<int64_t>(row, 0, comp->h - 1);
    return comp->data + static_cast<size_t>(row) * comp->w;
  }
  uint32_t Scale(OPJ_INT32 raw) const {
    int64_t v =
        std::clamp<int64_t>(static_cast<int64_t>(raw) + offset, 0, static_cast<int64_t>(maxIn));
    if (same) return static_cast<uint32_t>(v);
    return static_cast<uint32_t>((static_cast<uint64_t>(v) * maxOut + maxIn / 2) / maxIn);
  }
};

void Put(uint8_t* px, int index, uint32_t value, bool wide) {
  if (wide) {
    px[index * 2] = static_cast<uint8_t>(value);
    px[index * 2 + 1] = static_cast<uint8_t>(value >> 8);
  } else {
    px[index] = static_cast<uint8_t>(value);
  }
}

// The decoder, its stream over the file's bytes and the header it read. The
// stream points at source, so a reader stays where it was made.
struct TJp2Reader {
  TMemorySource source{};
  StreamPtr stream;
  CodecPtr codec;
  ImagePtr image;
};

// Opens a decoder for the file's kind over data and reads the main header.
void OpenJp2(std::span<const uint8_t> data, TJp2Reader& r) {
  OPJ_CODEC_FORMAT kind;
  if (IsJp2Signature(data))
    kind = OPJ_CODEC_JP2;
  else if (IsJ2kCodeStream(data))
    kind = OPJ_CODEC_J2K;
  else
    Fail(kDecodeFailed);

  r.source = TMemorySource{data.data(), data.size(), 0};
  r.stream.reset(opj_stream_create(64 * 1024, OPJ_TRUE));
  r.codec.reset(opj_create_decompress(kind));
  if (!r.stream || !r.codec) Fail(kDecodeFailed);
  opj_stream_set_user_data(r.stream.get(), &r.source, nullptr);
  opj_stream_set_user_data_length(r.stream.get(), data.size());
  opj_stream_set_read_function(r.stream.get(), SourceRead);
  opj_stream_set_skip_function(r.stream.get(), SourceSkip);
  opj_stream_set_seek_function(r.stream.get(), SourceSeek);
  Quiet(r.codec.get());

  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(r.codec.get(), &params)) Fail(kDecodeFailed);
  UseThreads(r.codec.get());

  opj_image_t* rawImage = nullptr;
  if (!opj_read_header(r.stream.get(), r.codec.get(), &rawImage) || !rawImage) {
    if (rawImage) opj_image_destroy(rawImage);
    Fail(kDecodeFailed);
  }
  r.image.reset(rawImage);
}

// The image area (x1 - x0 by y1 - y0), checked against the limits, and
// against the dataBytes that must stand for it, before the library decodes
// anything: empty code blocks cost next to nothing, yet the library allocates
// every component of the whole area.
void CheckJp2Size(const opj_image_t& image, uint64_t dataBytes, int& width, int& height) {
  if (image.x1 <= image.x0 || image.y1 <= image.y0 || image.numcomps == 0) Fail(kDecodeFailed);
  const int64_t width64 = int64_t{image.x1} - image.x0;
  const int64_t height64 = int64_t{image.y1} - image.y0;
  // The library holds every component as 32-bit samples, so the component
  // count counts against the pixel limit as well.
  CheckImageLimits(width64, height64, ifA8R8G8B8);
  if (width64 * height64 * image.numcomps > kMaxImagePixels)
    throw EImagingError("JPEG 2000 image has too many samples", EImagingErrorKind::TooLarge);
  CheckDataInProportion(width64, height64, dataBytes,
                        "JPEG 2000 data is too short for the declared image size");
  width = static_cast<int>(width64);
  height = static_cast<int>(height64);
}

// Every decoded component must hold samples on a usable grid.
void CheckComponents(const opj_image_t& image) {
  for (uint32_t i = 0; i < image.numcomps; ++i) {
    const opj_image_comp_t& c = image.comps[i];
    if (!c.data || c.w == 0 || c.h == 0 || c.dx == 0 || c.dy == 0 || c.prec == 0)
      Fail(kDecodeFailed);
  }
}

// Which components are colour and which is alpha, and the record they fill.
struct TJp2Layout {
  std::vector<uint32_t> colour;
  int alpha = -1;
  bool cmyk = false, gray = false, ycc = false, wide = false;
  int bits = 8;
  TImageFormat format = ifR8G8B8;
};

TJp2Layout ChooseLayout(const opj_image_t& image) {
  TJp2Layout l;
  const uint32_t n = image.numcomps;
  l.cmyk = image.color_space == OPJ_CLRSPC_CMYK && n >= 4;
  if (l.cmyk) {
    l.colour = {0, 1, 2, 3};
    if (n >= 5 && image.comps[4].alpha) l.alpha = 4;
  } else if (n < 3 || image.color_space == OPJ_CLRSPC_GRAY) {
    l.colour = {0};
    for (uint32_t i = 1; i < n && l.alpha < 0; ++i)
      if (image.comps[i].alpha || n == 2) l.alpha = static_cast<int>(i);
  } else {
    l.colour = {0, 1, 2};
    for (uint32_t i = 3; i < n && l.alpha < 0; ++i)
      if (image.comps[i].alpha || n == 4) l.alpha = static_cast<int>(i);
  }

  uint32_t maxPrec = 0;
  for (uint32_t i : l.colour) maxPrec = std::max(maxPrec, image.comps[i].prec);
  if (l.alpha >= 0) maxPrec = std::max(maxPrec, image.comps[l.alpha].prec);
  l.wide = maxPrec > 8;
  l.bits = l.wide ? 16 : 8;
  l.gray = l.colour.size() == 1;
  l.ycc = !l.gray && !l.cmyk &&
          (image.color_space == OPJ_CLRSPC_SYCC || image.color_space == OPJ_CLRSPC_EYCC);
  const bool a = l.alpha >= 0;
  if (l.gray)
    l.format = a ? (l.wide ? ifA16Gray16 : ifA8Gray8) : (l.wide ? ifGray16 : ifGray8);
  else
    l.format = a ? (l.wide ? ifA16R16G16B16 : ifA8R8G8B8) : (l.wide ? ifR16G16B16 : ifR8G8B8);
  return l;
}

// R, G, B of one pixel from its scaled colour samples (Y, Cb, Cr or C, M, Y,
// K where the layout says so).
void ToRgb(const TJp2Layout& l, const uint32_t v[4], uint32_t& r, uint32_t& g, uint32_t& b) {
  const double maxOut = static_cast<double>((1u << l.bits) - 1);
  r = v[0], g = v[1], b = v[2];
  if (l.ycc) {
    const double half = (maxOut + 1) / 2;
    const double yy = v[0], cb = v[1] - half, cr = v[2] - half;
    auto clamp = [&](double d) {
      return static_cast<uint32_t>(std::clamp(std::nearbyint(d), 0.0, maxOut));
    };
    r = clamp(yy + 1.402 * cr);
    g = clamp(yy - 0.344136 * cb - 0.714136 * cr);
    b = clamp(yy + 1.772 * cb);
  } else if (l.cmyk) {
    const uint64_t m = static_cast<uint64_t>(maxOut);
    const uint64_t k = m - v[3];
    r = static_cast<uint32_t>((m - v[0]) * k / m);
    g = static_cast<uint32_t>((m - v[1]) * k / m);
    b = static_cast<uint32_t>((m - v[2]) * k / m);
  }
}

// Resamples the components onto the image grid and fills out row by row.
void WritePixels(const opj_image_t& image, const TJp2Layout& l, RasterImage& out) {
  const int width = out.Width;
  std::vector<TPlaneReader> planes(l.colour.size());
  for (size_t i = 0; i < l.colour.size(); ++i)
    planes[i].Setup(image, image.comps[l.colour[i]], width, l.bits);
  TPlaneReader alphaPlane;
  if (l.alpha >= 0) alphaPlane.Setup(image, image.comps[l.alpha], width, l.bits);

  const int channels = GetImageFormatInfo(out.Format)->ChannelCount;
  for (int y = 0; y < out.Height; ++y) {
    uint8_t* row = out.Row(y);
    const OPJ_INT32* src[4] = {};
    for (size_t i = 0; i < planes.size(); ++i) src[i] = planes[i].RowFor(image, y);
    const OPJ_INT32* asrc = l.alpha >= 0 ? alphaPlane.RowFor(image, y) : nullptr;
    for (int x = 0; x < width; ++x) {
      uint8_t* px = row + static_cast<size_t>(x) * channels * (l.wide ? 2 : 1);
      uint32_t v[4];
      for (size_t i = 0; i < planes.size(); ++i)
        v[i] = planes[i].Scale(src[i][planes[i].column[x]]);
      if (l.gray) {
        Put(px, 0, v[0], l.wide);
        if (asrc) Put(px, 1, alphaPlane.Scale(asrc[alphaPlane.column[x]]), l.wide);
        continue;
      }
      uint32_t r, g, b;
      ToRgb(l, v, r, g, b);
      Put(px, 0, b, l.wide);
      Put(px, 1, g, l.wide);
      Put(px, 2, r, l.wide);
      if (asrc) Put(px, 3, alphaPlane.Scale(asrc[alphaPlane.column[x]]), l.wide);
    }
  }
}

}  // namespace

bool IsJp2Signature(std::span<const uint8_t> header) {
  return header.size() >= 8 && std::memcmp(header.data(), kJp2Signature, 8) == 0;
}

bool IsJ2kCodeStream(std::span<const uint8_t> header) {
  return header.size() >= 4 && std::memcmp(header.data(), kJ2kSignature, 4) == 0;
}

RasterImage DecodeJp2(std::span<const uint8_t> data) {
  TJp2Reader r;
  OpenJp2(data, r);
  int width = 0, height = 0;
  CheckJp2Size(*r.image, data.size(), width, height);
  if (!opj_decode(r.codec.get(), r.stream.get(), r.image.get()) ||
      !opj_end_decompress(r.codec.get(), r.stream.get()))
    Fail(kDecodeFailed);
  CheckComponents(*r.image);

  const TJp2Layout layout = ChooseLayout(*r.image);
  RasterImage out;
  ImageCreateForOverwrite(out, width, height, layout.format);
  WritePixels(*r.image, layout, out);
  return out;
}

double Jp2CompressionRatio(int32_t quality) {
  // Quality 100 asks for no rate limit; every 7.5 steps below doubles the
  // ratio, so 80 is about 6:1, 50 about 100:1, capped at 1000:1.
  const int q = std::clamp(quality, 1, 100);
  return std::min(1000.0, std::pow(2.0, (100 - q) / 7.5));
}

namespace {

uint32_t BoxBe32(const std::vector<uint8_t>& d, size_t at) {
  return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
}

void PutBoxBe32(std::vector<uint8_t>& d, size_t at, uint64_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (24 - 8 * i));
}

// The length of the box at `at` within [at, end), its 8-byte header
// included; 0 when the length is not a plain one that fits.
size_t BoxLength(const std::vector<uint8_t>& d, size_t at, size_t end) {
  if (at + 8 > end) return 0;
  const uint32_t length = BoxBe32(d, at);
  if (length == 0) return end - at;
  return length >= 8 && length <= end - at ? length : 0;
}

// Replaces the "colr" box the encoder wrote in the header box of a JP2
// file with one that gives the colours by the ICC profile (the
// restricted method: precedence and approximation 0).
void StoreJp2Profile(std::vector<uint8_t>& file, std::string_view icc) {
  for (size_t at = 0, length; (length = BoxLength(file, at, file.size())) != 0; at += length) {
    if (std::memcmp(&file[at + 4], "jp2h", 4) != 0) continue;
    for (size_t c = at + 8, cl; (cl = BoxLength(file, c, at + length)) != 0; c += cl) {
      if (std::memcmp(&file[c + 4], "colr", 4) != 0) continue;
      const uint64_t colr = 8 + 3 + uint64_t(icc.size());
      const uint64_t header = length - cl + colr;
      if (header > UINT32_MAX) throw EImagingError("Colour profile is too large for JPEG 2000");
      std::vector<uint8_t> box(size_t(colr), 0);
      PutBoxBe32(box, 0, colr);
      std::memcpy(&box[4], "colr", 4);
      box[8] = 2;
      std::memcpy(&box[11], icc.data(), icc.size());
      file.erase(file.begin() + c, file.begin() + c + cl);
      file.insert(file.begin() + c, box.begin(), box.end());
      PutBoxBe32(file, at, header);
      return;
    }
    break;
  }
  throw EImagingError("The JPEG 2000 encoder wrote no colour box to replace");
}

// What a pixel format gives the code stream: gray or RGB, 8 or 16 bits,
// with or without transparency.
struct TJp2Shape {
  bool wide = false, gray = false, hasAlpha = false;
  int ColourCount() const { return gray ? 1 : 3; }
  int Components() const { return ColourCount() + (hasAlpha ? 1 : 0); }
};

TJp2Shape Jp2ShapeOf(const RasterImage& image) {
  TJp2Shape s;
  switch (image.Format) {
    case ifGray8:
      s.gray = true;
      break;
    case ifA8Gray8:
      s.gray = s.hasAlpha = true;
      break;
    case ifGray16:
      s.gray = s.wide = true;
      break;
    case ifA16Gray16:
      s.gray = s.wide = s.hasAlpha = true;
      break;
    case ifR8G8B8:
      break;
    case ifA8R8G8B8:
      s.hasAlpha = true;
      break;
    case ifR16G16B16:
      s.wide = true;
      break;
    case ifA16R16G16B16:
      s.wide = s.hasAlpha = true;
      break;
    default: {
      const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
      throw EImagingError(std::string("Pixel format ") + (info ? info->Name : "?") +
                          " cannot be saved as JPEG 2000");
    }
  }
  return s;
}

// The picture as the encoder's component planes.
ImagePtr CodeStreamImage(const RasterImage& image, const TJp2Shape& shape) {
  const int w = image.Width, h = image.Height;
  const int n = shape.Components();
  std::vector<opj_image_cmptparm_t> cparams(n);
  for (auto& p : cparams) {
    std::memset(&p, 0, sizeof(p));
    p.dx = p.dy = 1;
    p.w = static_cast<OPJ_UINT32>(w);
    p.h = static_cast<OPJ_UINT32>(h);
    p.prec = shape.wide ? 16 : 8;
    p.sgnd = 0;
  }
  ImagePtr jimage(opj_image_create(static_cast<OPJ_UINT32>(n), cparams.data(),
                                   shape.gray ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
  if (!jimage) throw EImagingError("Out of memory for the JPEG 2000 encoder");
  jimage->x0 = jimage->y0 = 0;
  jimage->x1 = static_cast<OPJ_UINT32>(w);
  jimage->y1 = static_cast<OPJ_UINT32>(h);
  if (shape.hasAlpha) jimage->comps[n - 1].alpha = 1;

  // Channel order in our pixels: gray[, alpha] or B, G, R[, A]; the code
  // stream wants gray[, alpha] or R, G, B[, A].
  int order[4];
  if (shape.gray) {
    order[0] = 0;
    order[1] = 1;
  } else {
    order[0] = 2;
    order[1] = 1;
    order[2] = 0;
    order[3] = 3;
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = image.Row(y);
    for (int c = 0; c < n; ++c) {
      OPJ_INT32* dst = jimage->comps[c].data + static_cast<size_t>(y) * w;
      const int ch = order[c];
      if (shape.wide) {
        for (int x = 0; x < w; ++x) {
          const uint8_t* p = row + (static_cast<size_t>(x) * n + ch) * 2;
          dst[x] = p[0] | p[1] << 8;
        }
      } else {
        for (int x = 0; x < w; ++x) dst[x] = row[static_cast<size_t>(x) * n + ch];
      }
    }
  }
  return jimage;
}

// One quality layer at the rate the quality asks for (or lossless), the
// colour transform for RGB and as many resolutions as the picture has room
// for, up to six.
opj_cparameters_t EncoderParameters(const TJp2EncodeOptions& options, const TJp2Shape& shape, int w,
                                    int h) {
  opj_cparameters_t params;
  opj_set_default_encoder_parameters(&params);
  params.tcp_numlayers = 1;
  params.cp_disto_alloc = 1;
  if (options.Lossless) {
    params.irreversible = 0;
    params.tcp_rates[0] = 0;
  } else {
    params.irreversible = 1;
    const double ratio = Jp2CompressionRatio(options.Quality);
    params.tcp_rates[0] = ratio <= 1.0 ? 0.0f : static_cast<float>(ratio);
  }
  params.tcp_mct = shape.ColourCount() == 3 ? 1 : 0;
  int res = 6;
  while (res > 1 && (1 << (res - 1)) > std::min(w, h)) --res;
  params.numresolution = res;
  return params;
}

// Runs the encoder into memory.
std::vector<uint8_t> Compress(opj_image_t* jimage, opj_cparameters_t& params, bool codeStreamOnly,
                              size_t sizeHint) {
  CodecPtr codec(opj_create_compress(codeStreamOnly ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
  if (!codec) throw EImagingError("Cannot create the JPEG 2000 encoder");
  Quiet(codec.get());
  if (!opj_setup_encoder(codec.get(), &params, jimage))
    throw EImagingError("Cannot set up the JPEG 2000 encoder");
  UseThreads(codec.get());

  TMemorySink sink;
  sink.data.reserve(sizeHint);
  StreamPtr stream(opj_stream_create(1 << 20, OPJ_FALSE));
  if (!stream) throw EImagingError("Out of memory for the JPEG 2000 encoder");
  opj_stream_set_user_data(stream.get(), &sink, nullptr);
  opj_stream_set_write_function(stream.get(), SinkWrite);
  opj_stream_set_skip_function(stream.get(), SinkSkip);
  opj_stream_set_seek_function(stream.get(), SinkSeek);
  if (!opj_start_compress(codec.get(), jimage, stream.get()) ||
      !opj_encode(codec.get(), stream.get()) || !opj_end_compress(codec.get(), stream.get()))
    throw EImagingError("Failed to encode JPEG 2000 image");
  stream.reset();
  return std::move(sink.data);
}

}  // namespace

std::vector<uint8_t> EncodeJp2(const RasterImage& image, const TJp2EncodeOptions& options) {
  const TJp2Shape shape = Jp2ShapeOf(image);
  ImagePtr jimage = CodeStreamImage(image, shape);
  opj_cparameters_t params = EncoderParameters(options, shape, image.Width, image.Height);
  std::vector<uint8_t> data = Compress(jimage.get(), params, options.CodeStreamOnly,
                                       static_cast<size_t>(image.Size) / 4 + 1024);
  if (!options.Icc.empty() && !options.CodeStreamOnly) StoreJp2Profile(data, options.Icc);
  return data;
}

namespace {

class TJpeg2000FileFormat : public TSimpleFileFormat {
 public:
  TJpeg2000FileFormat() : TSimpleFileFormat(DecodeJp2) {
    SetName("JPEG 2000 Image");
    AddMasks("*.jp2,*.j2k,*.j2c,*.jpx,*.jpc");
    SetCapabilities(true, true, false);
    SetSupportedFormats({ifGray8, ifA8Gray8, ifGray16, ifA16Gray16, ifR8G8B8, ifA8R8G8B8,
                         ifR16G16B16, ifA16R16G16B16});
    RegisterOption(ImagingJpeg2000Quality, &quality_);
    RegisterOption(ImagingJpeg2000CodeStreamOnly, &codeStreamOnly_);
    RegisterOption(ImagingJpeg2000LosslessCompression, &lossless_);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 8);
    return IsJp2Signature(h) || IsJ2kCodeStream(h);
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    TJp2EncodeOptions o;
    o.Quality = quality_;
    o.CodeStreamOnly = codeStreamOnly_ != 0;
    o.Lossless = lossless_ != 0;
    if (StoresIccProfile(SaveIccProfile(), *GetImageFormatInfo(images[0]->Format)))
      o.Icc = SaveIccProfile();
    stream.Write(EncodeJp2(*images[0], o));
    return true;
  }
  void ValidateOptions() override {
    if (quality_ < 1 || quality_ > 100) quality_ = 80;
  }

 public:
  bool StoresIccProfile(std::string_view profile, const TImageFormatInfo& info) const override {
    if (codeStreamOnly_ != 0 || !IccIsMatrixShaper(profile)) return false;
    const bool gray = info.HasGrayChannel || (info.IsFloatingPoint && info.ChannelCount == 1);
    return IccColourSpace(profile) == (gray ? kIccGray : kIccRgb);
  }

 protected:
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    TImageFormat target;
    const bool narrow = info.ChannelCount == 0 || info.BytesPerPixel < 2 * info.ChannelCount;
    if (info.IsFloatingPoint)
      target = info.ChannelCount == 1 ? ifGray16 : ifA16R16G16B16;
    else if (info.HasGrayChannel)
      target = info.HasAlphaChannel ? ifA16Gray16 : ifGray16;
    else if (info.IsIndexed)
      target = ifA8R8G8B8;
    else if (narrow)
      target = info.HasAlphaChannel ? ifA8R8G8B8 : ifR8G8B8;
    else
      target = info.HasAlphaChannel ? ifA16R16G16B16 : ifR16G16B16;
    ImageConvert(image, target);
  }

 private:
  int32_t quality_ = 80;
  int32_t codeStreamOnly_ = 0;
  int32_t lossless_ = 0;
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeJpeg2000FileFormat() {
  return std::make_unique<TJpeg2000FileFormat>();
}

}  // namespace imprimo
