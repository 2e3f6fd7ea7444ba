// TIFF through libtiff, reading from and writing to memory. Before libtiff
// sees a file, its directory chain and the first page's strip and tile
// tables are checked against the file's size, and the page's declared size
// against the image record's limits, so that a hostile header cannot make
// anything allocate.
#include "imaging/formats/tiff_format.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <set>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/library_handle.h"
#include "imaging/pixel_convert.h"
#include "platform/byte_reader.h"

namespace imprimo {

namespace {

// Largest single allocation libtiff may make for one strip, tile or table.
constexpr tmsize_t kMaxTiffAlloc = tmsize_t{1} << 30;
constexpr int kMaxPages = 65536;

// ---- Memory I/O ----

struct TTiffMemory {
  const uint8_t* data = nullptr;  // reading
  size_t size = 0;
  std::vector<uint8_t>* out = nullptr;  // writing
  uint64_t pos = 0;
  std::string error;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<TTiffMemory*>(h);
  const size_t size = m->out ? m->out->size() : m->size;
  const uint8_t* data = m->out ? m->out->data() : m->data;
  if (n <= 0 || m->pos >= size) return 0;
  const size_t k = std::min<uint64_t>(static_cast<uint64_t>(n), size - m->pos);
  std::memcpy(buf, data + m->pos, k);
  m->pos += k;
  return static_cast<tmsize_t>(k);
}

tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<TTiffMemory*>(h);
  if (!m->out || n < 0) return -1;
  const uint64_t end = m->pos + static_cast<uint64_t>(n);
  if (end > m->out->size()) m->out->resize(static_cast<size_t>(end));
  std::memcpy(m->out->data() + m->pos, buf, static_cast<size_t>(n));
  m->pos = end;
  return n;
}

toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<TTiffMemory*>(h);
  const uint64_t size = m->out ? m->out->size() : m->size;
  uint64_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? size : 0;
  const uint64_t target = base + off;
  if (!m->out && target > size) return static_cast<toff_t>(-1);
  m->pos = target;
  return target;
}

int MemClose(thandle_t) { return 0; }

toff_t MemSize(thandle_t h) {
  auto* m = static_cast<TTiffMemory*>(h);
  return m->out ? m->out->size() : m->size;
}

int MemMap(thandle_t h, void** base, toff_t* size) {
  auto* m = static_cast<TTiffMemory*>(h);
  if (m->out) return 0;
  *base = const_cast<uint8_t*>(m->data);
  *size = m->size;
  return 1;
}

void MemUnmap(thandle_t, void*, toff_t) {}

int KeepError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* m = static_cast<TTiffMemory*>(user);
  if (m->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    m->error = text;
    (void)module;
  }
  return 1;  // handled: nothing goes to the terminal
}

int DropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

using TiffPtr = TLibraryPtr<TIFF, TIFFClose>;

TiffPtr Open(TTiffMemory& mem, const char* mode) {
  // Messages libtiff gives before a handle exists go nowhere either.
  static const bool silenced = [] {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    return true;
  }();
  (void)silenced;
  TLibraryPtr<TIFFOpenOptions, TIFFOpenOptionsFree> opts(TIFFOpenOptionsAlloc());
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), kMaxTiffAlloc);
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), KeepError, &mem);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), DropWarning, &mem);
  return TiffPtr(TIFFClientOpenExt("memory", mode, &mem, MemRead, MemWrite, MemSeek, MemClose,
                                   MemSize, MemMap, MemUnmap, opts.get()));
}

[[noreturn]] void Fail(const TTiffMemory& mem, const std::string& what) {
  throw EImagingError(mem.error.empty() ? what : what + ": " + mem.error);
}

// ---- Structure check ----

// Values of 2, 4 or 8 bytes at any offset, in the file's byte order.
struct TReader {
  explicit TReader(std::span<const uint8_t> data) : bytes(data), big(data[0] == 'M') {}
  TByteReader bytes;
  bool big;
  bool In(uint64_t pos, uint64_t n) const { return pos <= bytes.Size() && n <= bytes.Size() - pos; }
  uint64_t U(uint64_t pos, int size) {
    bytes.Seek(static_cast<size_t>(pos));
    switch (size) {
      case 2:
        return big ? bytes.U16BE() : bytes.U16LE();
      case 4:
        return big ? bytes.U32BE() : bytes.U32LE();
      default:
        return big ? bytes.U64BE() : bytes.U64LE();
    }
  }
};

int TypeSize(uint64_t type) {
  switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
      return 1;
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
    case 13:
      return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

bool IsTiffSignature(std::span<const uint8_t> h) {
  if (h.size() < 8) return false;
  if (h[0] == 'I' && h[1] == 'I') return (h[2] == 42 || h[2] == 43) && h[3] == 0;
  if (h[0] == 'M' && h[1] == 'M') return h[2] == 0 && (h[3] == 42 || h[3] == 43);
  return false;
}

void CheckTiffStructure(std::span<const uint8_t> data) {
  if (!IsTiffSignature(data)) throw EImagingError("Not a TIFF file");
  TReader r(data);
  const bool bigTiff = r.U(2, 2) == 43;
  uint64_t offset;
  if (bigTiff) {
    if (!r.In(0, 16) || r.U(4, 2) != 8) throw EImagingError("Invalid BigTIFF header");
    offset = r.U(8, 8);
  } else {
    offset = r.U(4, 4);
  }
  const int countBytes = bigTiff ? 8 : 2, entryBytes = bigTiff ? 20 : 12,
            valueBytes = bigTiff ? 8 : 4;
  std::set<uint64_t> seen;
  for (int page = 0; offset != 0; ++page) {
    if (page >= kMaxPages) throw EImagingError("TIFF file declares more than 65536 pages");
    if (!seen.insert(offset).second) throw EImagingError("TIFF directory chain loops");
    if (!r.In(offset, countBytes)) {
      if (page == 0) throw EImagingError("TIFF directory lies outside the file");
      return;  // later pages are never read
    }
    const uint64_t count = r.U(offset, countBytes);
    const uint64_t entries = offset + countBytes;
    if (count > (data.size() / entryBytes) || !r.In(entries, count * entryBytes + valueBytes)) {
      if (page == 0) throw EImagingError("TIFF directory is truncated");
      return;
    }
    if (page == 0) {
      for (uint64_t i = 0; i < count; ++i) {
        const uint64_t e = entries + i * entryBytes;
        const uint64_t tag = r.U(e, 2), type = r.U(e + 2, 2);
        const uint64_t n = r.U(e + 4, valueBytes);
        // Strip and tile offsets and byte counts: one entry per strip or tile.
        if (tag == 273 || tag == 279 || tag == 324 || tag == 325) {
          const int size = TypeSize(type);
          if (size == 0 || n == 0 || n > data.size() / size)
            throw EImagingError("TIFF file declares more strips or tiles than it can hold");
        }
      }
    }
    offset = r.U(entries + count * entryBytes, valueBytes);
  }
}

namespace {

// ---- Decoding ----

struct TLayout {
  uint32_t w = 0, h = 0;
  uint16_t spp = 1, bps = 1, photometric = PHOTOMETRIC_MINISBLACK, format = SAMPLEFORMAT_UINT;
  uint16_t planar = PLANARCONFIG_CONTIG, inkset = INKSET_CMYK;
  bool alpha = false, associated = false;

  bool Gray() const {
    return photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  }
  bool Cmyk() const { return photometric == PHOTOMETRIC_SEPARATED && inkset == INKSET_CMYK; }
  // Colour samples a pixel: gray 1, CMYK 4, RGB 3.
  int Colour() const { return Gray() ? 1 : Cmyk() ? 4 : 3; }
  // Whether a sample after the colour ones is alpha.
  bool HasAlpha() const { return alpha && spp > Colour(); }
};

TLayout ReadLayout(TIFF* tif, const TTiffMemory& mem) {
  TLayout l;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.h))
    Fail(mem, "TIFF page without a size");
  if (l.w == 0 || l.h == 0)
    throw EImagingError("TIFF image size " + std::to_string(l.w) + " x " + std::to_string(l.h) +
                            " is outside the supported range",
                        EImagingErrorKind::Invalid);
  CheckImageLimits(l.w, l.h, ifGray8);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric))
    l.photometric = l.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  TIFFGetField(tif, TIFFTAG_INKSET, &l.inkset);
  uint16_t extraCount = 0;
  uint16_t* extra = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 && extra) {
    l.alpha = extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA;
    l.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
  }
  return l;
}

// True when the page is read sample by sample at its own depth. CMYK pages
// are read so too: the library's RGBA reader drops their alpha and refuses
// 16-bit inks.
bool DirectLayout(const TLayout& l) {
  if (!l.Gray() && !l.Cmyk() && l.photometric != PHOTOMETRIC_RGB) return false;
  if (l.planar != PLANARCONFIG_CONTIG && l.spp > 1) return false;
  if (l.spp < l.Colour()) return false;
  if (l.format == SAMPLEFORMAT_IEEEFP) return l.bps == 32 && !l.Cmyk();
  return (l.format == SAMPLEFORMAT_UINT || l.format == SAMPLEFORMAT_VOID) &&
         (l.bps == 8 || l.bps == 16);
}

TImageFormat DirectFormat(const TLayout& l) {
  const bool gray = l.Gray();
  const bool alpha = l.HasAlpha();
  if (l.format == SAMPLEFORMAT_IEEEFP) return gray && !alpha ? ifR32F : ifA32R32G32B32F;
  if (l.bps == 8) return gray ? (alpha ? ifA8Gray8 : ifGray8) : (alpha ? ifA8R8G8B8 : ifR8G8B8);
  return gray ? (alpha ? ifA16Gray16 : ifGray16) : (alpha ? ifA16R16G16B16 : ifR16G16B16);
}

template <typename T>
T Unpremultiply(T v, T a, double max) {
  if (a == 0) return 0;
  return static_cast<T>(std::min(max, std::floor(double(v) * max / a + 0.5)));
}

// Turns one stored CMYK row into B, G, R (and A): each colour is its ink's
// complement darkened by black, (max - ink) * (max - K) / max, truncated.
// Associated alpha is taken off the inks first.
template <typename T>
void ConvertCmykRow(const TLayout& l, const T* s, T* d) {
  constexpr uint32_t kMax = std::numeric_limits<T>::max();
  const bool alpha = l.HasAlpha();
  for (uint32_t x = 0; x < l.w; ++x, s += l.spp) {
    const T a = alpha ? s[4] : T(kMax);
    T ink[4] = {s[0], s[1], s[2], s[3]};
    if (alpha && l.associated)
      for (T& v : ink) v = Unpremultiply<T>(v, a, double(kMax));
    const uint32_t white = kMax - ink[3];
    for (int c = 2; c >= 0; --c) *d++ = T((kMax - ink[c]) * white / kMax);
    if (alpha) *d++ = a;
  }
}

// Turns one stored row (spp samples a pixel, native byte order) into a row
// of the output format.
void ConvertDirectRow(const TLayout& l, const uint8_t* src, uint8_t* dst, TImageFormat format) {
  if (l.Cmyk()) {
    if (l.bps == 8)
      ConvertCmykRow<uint8_t>(l, src, dst);
    else
      ConvertCmykRow<uint16_t>(l, reinterpret_cast<const uint16_t*>(src),
                               reinterpret_cast<uint16_t*>(dst));
    return;
  }
  const bool gray = l.Gray();
  const bool invert = l.photometric == PHOTOMETRIC_MINISWHITE;
  const int colour = l.Colour();
  const bool alpha = l.HasAlpha();
  const int order[3] = {2, 1, 0};  // B, G, R from R, G, B
  const uint32_t w = l.w;
  if (l.format == SAMPLEFORMAT_IEEEFP) {
    const float* s = reinterpret_cast<const float*>(src);
    float* d = reinterpret_cast<float*>(dst);
    for (uint32_t x = 0; x < w; ++x, s += l.spp) {
      if (format == ifR32F) {
        *d++ = invert ? 1.0f - s[0] : s[0];
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        const float v = gray ? s[0] : s[order[c]];
        d[c] = invert ? 1.0f - v : v;
      }
      d[3] = alpha ? s[colour] : 1.0f;
      d += 4;
    }
    return;
  }
  if (l.bps == 8) {
    const uint8_t* s = src;
    for (uint32_t x = 0; x < w; ++x, s += l.spp) {
      const uint8_t a = alpha ? s[colour] : 255;
      for (int c = 0; c < colour; ++c) {
        uint8_t v = gray ? s[0] : s[order[c]];
        if (invert) v = static_cast<uint8_t>(255 - v);
        if (alpha && l.associated) v = Unpremultiply<uint8_t>(v, a, 255.0);
        *dst++ = v;
      }
      if (alpha) *dst++ = a;
    }
    return;
  }
  const uint16_t* s = reinterpret_cast<const uint16_t*>(src);
  uint16_t* d = reinterpret_cast<uint16_t*>(dst);
  for (uint32_t x = 0; x < w; ++x, s += l.spp) {
    const uint16_t a = alpha ? s[colour] : 65535;
    for (int c = 0; c < colour; ++c) {
      uint16_t v = gray ? s[0] : s[order[c]];
      if (invert) v = static_cast<uint16_t>(65535 - v);
      if (alpha && l.associated) v = Unpremultiply<uint16_t>(v, a, 65535.0);
      *d++ = v;
    }
    if (alpha) *d++ = a;
  }
}

RasterImage DecodeDirect(TIFF* tif, const TLayout& l, const TTiffMemory& mem) {
  const TImageFormat format = DirectFormat(l);
  RasterImage out;
  ImageCreate(out, int32_t(l.w), int32_t(l.h), format);
  const size_t pixelBytes = size_t(l.spp) * (l.bps / 8);
  const size_t rowBytes = pixelBytes * l.w;
  if (TIFFIsTiled(tif)) {
    uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    if (tw == 0 || th == 0 || tw > 65536 || th > 65536) Fail(mem, "Invalid TIFF tile size");
    const tmsize_t tileSize = TIFFTileSize(tif);
    if (tileSize <= 0 || uint64_t(tileSize) < uint64_t(tw) * th * pixelBytes)
      Fail(mem, "Invalid TIFF tile size");
    // A tile and a band of rows are scratch space sized by the header.
    CheckBufferLimit(uint64_t(tileSize));
    CheckBufferLimit(uint64_t{rowBytes} * th);
    std::vector<uint8_t> tile(static_cast<size_t>(tileSize));
    std::vector<uint8_t> band(rowBytes * th);
    for (uint32_t ty = 0; ty < l.h; ty += th) {
      const uint32_t rows = std::min(th, l.h - ty);
      for (uint32_t tx = 0; tx < l.w; tx += tw) {
        if (TIFFReadEncodedTile(tif, TIFFComputeTile(tif, tx, ty, 0, 0), tile.data(), tileSize) < 0)
          Fail(mem, "Failed to decode TIFF tile");
        const uint32_t cols = std::min(tw, l.w - tx);
        for (uint32_t y = 0; y < rows; ++y)
          std::memcpy(band.data() + y * rowBytes + tx * pixelBytes,
                      tile.data() + size_t(y) * tw * pixelBytes, cols * pixelBytes);
      }
      for (uint32_t y = 0; y < rows; ++y)
        ConvertDirectRow(l, band.data() + y * rowBytes, out.Row(int(ty + y)), format);
    }
    return out;
  }
  uint32_t rps = l.h;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
  if (rps == 0 || rps > l.h) rps = l.h;
  const tmsize_t stripSize = TIFFStripSize(tif);
  if (stripSize <= 0 || uint64_t(stripSize) < uint64_t(rowBytes))
    Fail(mem, "Invalid TIFF strip size");
  CheckBufferLimit(std::max<uint64_t>(uint64_t(stripSize), uint64_t{rowBytes} * rps));
  std::vector<uint8_t> strip(std::max<size_t>(size_t(stripSize), rowBytes * rps));
  for (uint32_t row = 0; row < l.h; row += rps) {
    const uint32_t rows = std::min(rps, l.h - row);
    const tmsize_t got = TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, row, 0), strip.data(),
                                              tmsize_t(rows * rowBytes));
    if (got < tmsize_t(rows * rowBytes)) Fail(mem, "Failed to decode TIFF strip");
    for (uint32_t y = 0; y < rows; ++y)
      ConvertDirectRow(l, strip.data() + y * rowBytes, out.Row(int(row + y)), format);
  }
  return out;
}

RasterImage DecodeThroughRgba(TIFF* tif, const TLayout& l, const TTiffMemory& mem) {
  char why[1024] = {};
  if (!TIFFRGBAImageOK(tif, why))
    throw EImagingError(std::string("Unsupported TIFF layout: ") + why);
  TIFFRGBAImage img;
  if (!TIFFRGBAImageBegin(&img, tif, 0, why))
    throw EImagingError(std::string("Unsupported TIFF layout: ") + why);
  TLibraryPtr<TIFFRGBAImage, TIFFRGBAImageEnd> end(&img);
  // Rows as stored: the Orientation field is the caller's business.
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  img.req_orientation = orientation;
  const bool gray =
      (l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE) &&
      !l.alpha;
  const bool alpha = l.alpha;
  const TImageFormat format = gray ? ifGray8 : alpha ? ifA8R8G8B8 : ifR8G8B8;
  CheckImageLimits(int64_t{l.w}, int64_t{l.h}, format);
  RasterImage out;
  // The library's RGBA rows come a band at a time (a multiple of every
  // vertical sub-sampling), so the picture is never held twice. A band
  // covers whole strips or tiles: the library decodes every strip or tile a
  // band touches, and a band cutting one would decode it again for each
  // band (a single-strip picture once per 64 rows).
  constexpr uint32_t kBandRows = 64;
  uint32_t unitRows = 0;
  if (TIFFIsTiled(tif))
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &unitRows);
  else
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unitRows);
  if (unitRows == 0 || unitRows > l.h) unitRows = l.h;
  const uint64_t units = (uint64_t{kBandRows} + unitRows - 1) / unitRows;
  const uint32_t bandRows = uint32_t(std::min<uint64_t>(units * unitRows, l.h));
  CheckBufferLimit(uint64_t{l.w} * bandRows * 4);
  // Neither buffer is cleared: the library fills the band, the band fills the
  // picture, and the picture is made only once the first band decoded, so a
  // small file that declares a huge picture fails before touching its memory.
  std::unique_ptr<uint32_t[]> raster(new uint32_t[size_t(l.w) * bandRows]);
  for (uint32_t top = 0; top < l.h; top += bandRows) {
    const uint32_t rows = std::min(bandRows, l.h - top);
    img.row_offset = static_cast<int>(top);
    img.col_offset = 0;
    if (!TIFFRGBAImageGet(&img, raster.get(), l.w, rows)) Fail(mem, "Failed to decode TIFF image");
    if (top == 0) ImageCreateForOverwrite(out, int32_t(l.w), int32_t(l.h), format);
    for (uint32_t y = 0; y < rows; ++y) {
      const uint32_t* s = raster.get() + size_t(y) * l.w;
      uint8_t* d = out.Row(int(top + y));
      for (uint32_t x = 0; x < l.w; ++x) {
        const uint32_t p = s[x];
        if (gray) {
          *d++ = uint8_t(TIFFGetR(p));
          continue;
        }
        *d++ = uint8_t(TIFFGetB(p));
        *d++ = uint8_t(TIFFGetG(p));
        *d++ = uint8_t(TIFFGetR(p));
        if (alpha) *d++ = uint8_t(TIFFGetA(p));
      }
    }
  }
  return out;
}

// ---- Encoding ----

struct TEncodeLayout {
  uint16_t spp, bps, photometric;
  bool alpha;
};

TEncodeLayout EncodeLayout(TImageFormat f) {
  switch (f) {
    case ifGray8:
      return {1, 8, PHOTOMETRIC_MINISBLACK, false};
    case ifA8Gray8:
      return {2, 8, PHOTOMETRIC_MINISBLACK, true};
    case ifGray16:
      return {1, 16, PHOTOMETRIC_MINISBLACK, false};
    case ifA16Gray16:
      return {2, 16, PHOTOMETRIC_MINISBLACK, true};
    case ifR8G8B8:
      return {3, 8, PHOTOMETRIC_RGB, false};
    case ifA8R8G8B8:
      return {4, 8, PHOTOMETRIC_RGB, true};
    case ifR16G16B16:
      return {3, 16, PHOTOMETRIC_RGB, false};
    case ifA16R16G16B16:
      return {4, 16, PHOTOMETRIC_RGB, true};
    default:
      throw EImagingError("TIFF encoder: unsupported pixel format");
  }
}

}  // namespace

RasterImage DecodeTiff(std::span<const uint8_t> data) {
  CheckTiffStructure(data);
  TTiffMemory mem;
  mem.data = data.data();
  mem.size = data.size();
  TiffPtr tif = Open(mem, "r");
  if (!tif) Fail(mem, "Invalid TIFF file");
  const TLayout l = ReadLayout(tif.get(), mem);
  // The library fills strips whose data is missing or undecodable with
  // zeros, so a few hundred bytes can stand for a quarter-gigapixel picture.
  CheckDataInProportion(l.w, l.h, data.size(),
                        "TIFF data is too short for the declared picture size");
  return DirectLayout(l) ? DecodeDirect(tif.get(), l, mem) : DecodeThroughRgba(tif.get(), l, mem);
}

TTiffMetadata ReadTiffMetadata(std::span<const uint8_t> data) {
  TTiffMetadata m;
  CheckTiffStructure(data);
  TTiffMemory mem;
  mem.data = data.data();
  mem.size = data.size();
  TiffPtr tif = Open(mem, "r");
  if (!tif) return m;
  uint32_t size = 0;
  void* bytes = nullptr;
  if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &size, &bytes) && bytes && size > 0)
    m.Icc.assign(static_cast<const char*>(bytes), size);
  if (TIFFGetField(tif.get(), TIFFTAG_XMLPACKET, &size, &bytes) && bytes && size > 0)
    m.Xmp.assign(static_cast<const char*>(bytes), size);
  uint16_t orientation = 0;
  if (TIFFGetField(tif.get(), TIFFTAG_ORIENTATION, &orientation)) m.Orientation = orientation;
  return m;
}

std::vector<uint8_t> EncodeTiff(const RasterImage& image, const TTiffEncodeOptions& options) {
  const TEncodeLayout e = EncodeLayout(image.Format);
  std::vector<uint8_t> out;
  TTiffMemory mem;
  mem.out = &out;
  {
    TiffPtr tif = Open(mem, "w");
    if (!tif) Fail(mem, "Cannot create the TIFF file");
    TIFF* t = tif.get();
    const uint32_t w = uint32_t(image.Width), h = uint32_t(image.Height);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, e.spp);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, e.bps);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, e.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION,
                 options.Compression == 1 ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (e.alpha) {
      const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    const size_t rowBytes = size_t(image.Width) * e.spp * (e.bps / 8);
    // Strips of about 256 KB.
    const uint32_t rps =
        std::max<uint32_t>(1, uint32_t((256u << 10) / std::max<size_t>(1, rowBytes)));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::min(rps, h));
    if (!options.Icc.empty())
      TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(options.Icc.size()), options.Icc.data());
    if (!options.Xmp.empty())
      TIFFSetField(t, TIFFTAG_XMLPACKET, uint32_t(options.Xmp.size()), options.Xmp.data());
    std::vector<uint8_t> row(rowBytes);
    const bool colour = e.photometric == PHOTOMETRIC_RGB;
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* src = image.Row(int(y));
      if (!colour) {
        std::memcpy(row.data(), src, rowBytes);
      } else if (e.bps == 8) {
        for (uint32_t x = 0; x < w; ++x) {
          const uint8_t* s = src + size_t(x) * e.spp;
          uint8_t* d = row.data() + size_t(x) * e.spp;
          d[0] = s[2], d[1] = s[1], d[2] = s[0];
          if (e.alpha) d[3] = s[3];
        }
      } else {
        const uint16_t* s = reinterpret_cast<const uint16_t*>(src);
        uint16_t* d = reinterpret_cast<uint16_t*>(row.data());
        for (uint32_t x = 0; x < w; ++x, s += e.spp, d += e.spp) {
          d[0] = s[2], d[1] = s[1], d[2] = s[0];
          if (e.alpha) d[3] = s[3];
        }
      }
      if (TIFFWriteScanline(t, row.data(), y, 0) < 0) Fail(mem, "Failed to write TIFF data");
    }
    if (!TIFFWriteDirectory(t)) Fail(mem, "Failed to write TIFF directory");
  }
  if (!mem.error.empty()) throw EImagingError("Failed to write TIFF file: " + mem.error);
  return out;
}

namespace {

class TTiffFileFormat : public TSimpleFileFormat {
 public:
  TTiffFileFormat() : TSimpleFileFormat(DecodeTiff, IsTiffSignature, 8) {
    SetName("Tagged Image File Format");
    AddMasks("*.tif,*.tiff");
    SetCapabilities(true, true, false);
    SetSupportedFormats({ifGray8, ifA8Gray8, ifGray16, ifA16Gray16, ifR8G8B8, ifA8R8G8B8,
                         ifR16G16B16, ifA16R16G16B16});
    RegisterOption(ImagingTiffCompression, &compression_);
  }

 protected:
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    TTiffEncodeOptions o;
    o.Compression = compression_;
    stream.Write(EncodeTiff(*images[0], o));
    return true;
  }
  void ValidateOptions() override {
    if (compression_ < 0 || compression_ > 1) compression_ = 0;
  }
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    TImageFormat target;
    const bool deep =
        info.IsFloatingPoint || (!info.IsIndexed && !info.IsSpecial && info.ChannelCount > 0 &&
                                 info.BytesPerPixel >= 2 * info.ChannelCount);
    if (info.HasGrayChannel)
      target = deep ? (info.HasAlphaChannel ? ifA16Gray16 : ifGray16)
                    : (info.HasAlphaChannel ? ifA8Gray8 : ifGray8);
    else if (info.IsFloatingPoint && info.ChannelCount == 1)
      target = ifGray16;
    else if (deep)
      target = info.HasAlphaChannel ? ifA16R16G16B16 : ifR16G16B16;
    else
      target = info.HasAlphaChannel || info.IsSpecial ? ifA8R8G8B8 : ifR8G8B8;
    ImageConvert(image, target);
  }

 private:
  int32_t compression_ = 0;
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeTiffFileFormat() {
  return std::make_unique<TTiffFileFormat>();
}

}  // namespace imprimo
