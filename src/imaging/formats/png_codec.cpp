#include "imaging/formats/png_codec.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace imprimo {
namespace {

constexpr uint32_t ChunkId(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
         (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}
constexpr uint32_t kIHDR = ChunkId("IHDR");
constexpr uint32_t kPLTE = ChunkId("PLTE");
constexpr uint32_t kIDAT = ChunkId("IDAT");
constexpr uint32_t kIEND = ChunkId("IEND");
constexpr uint32_t kTRNS = ChunkId("tRNS");

std::string ChunkName(uint32_t id) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>((id >> (24 - 8 * i)) & 0xFF);
    s[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return s;
}

[[noreturn]] void CorruptChunk(uint32_t id, EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  throw EImagingError("Error when reading " + ChunkName(id) + " chunk data. File may be corrupted.",
                      kind);
}
[[noreturn]] void BadChunk(uint32_t id) {
  throw EImagingError("Error when reading " + ChunkName(id) + " chunk data.",
                      EImagingErrorKind::Invalid);
}

// Deflate can expand at most about 1032:1; anything claiming more raw bytes
// than that from the compressed bytes present is a lie and is refused before
// allocating.
constexpr uint64_t kMaxInflateRatio = 1040;

struct THeader {
  uint32_t width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  int channels = 0;
  int bitsPerPixel = 0;
};

int ChannelsOf(int colourType) {
  switch (colourType) {
    case 0:
      return 1;
    case 2:
      return 3;
    case 3:
      return 1;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 0;
  }
}

bool DepthAllowed(int colourType, int depth) {
  switch (colourType) {
    case 0:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
      return depth == 8 || depth == 16;
    default:
      return false;
  }
}

struct TPass {
  int x0, y0, dx, dy;
};
constexpr TPass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint64_t PassSize(uint32_t full, int start, int step) {
  return full > uint32_t(start) ? (uint64_t(full) - start + step - 1) / step : 0;
}

uint64_t RowBytes(uint64_t width, int bitsPerPixel) { return (width * bitsPerPixel + 7) / 8; }

// Pulls exactly the requested number of inflated bytes out of the IDAT chunks.
class TIdatInflater {
 public:
  explicit TIdatInflater(std::vector<std::span<const uint8_t>> parts) : parts_(std::move(parts)) {
    std::memset(&zs_, 0, sizeof zs_);
    if (inflateInit(&zs_) != Z_OK) throw EImagingError("Cannot initialise inflate");
  }
  ~TIdatInflater() { inflateEnd(&zs_); }
  TIdatInflater(const TIdatInflater&) = delete;
  TIdatInflater& operator=(const TIdatInflater&) = delete;

  void Read(uint8_t* dst, size_t count) {
    zs_.next_out = dst;
    zs_.avail_out = static_cast<uInt>(count);
    while (zs_.avail_out > 0) {
      if (ended_) CorruptChunk(kIDAT);
      if (zs_.avail_in == 0) {
        if (next_ >= parts_.size()) CorruptChunk(kIDAT);
        zs_.next_in = const_cast<Bytef*>(parts_[next_].data());
        zs_.avail_in = static_cast<uInt>(parts_[next_].size());
        ++next_;
        continue;
      }
      int r = inflate(&zs_, Z_NO_FLUSH);
      if (r == Z_STREAM_END) {
        ended_ = true;
      } else if (r != Z_OK) {
        CorruptChunk(kIDAT);
      }
    }
  }

 private:
  z_stream zs_;
  std::vector<std::span<const uint8_t>> parts_;
  size_t next_ = 0;
  bool ended_ = false;
};

inline uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

void Unfilter(int type, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
  switch (type) {
    case 0:
      break;
    case 1:
      for (size_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - bpp]);
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prev[i]);
      break;
    case 3:
      for (size_t i = 0; i < bpp && i < n; ++i) row[i] = uint8_t(row[i] + (prev[i] >> 1));
      for (size_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + ((row[i - bpp] + prev[i]) >> 1));
      break;
    case 4:
      for (size_t i = 0; i < bpp && i < n; ++i) row[i] = uint8_t(row[i] + prev[i]);
      for (size_t i = bpp; i < n; ++i)
        row[i] = uint8_t(row[i] + Paeth(row[i - bpp], prev[i], prev[i - bpp]));
      break;
    default:
      BadChunk(kIDAT);
  }
}

inline void Put16(uint8_t* p, unsigned v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

struct TTransparency {
  bool hasKey = false;
  unsigned gray = 0, r = 0, g = 0, b = 0;
};

// The Emit* helpers below turn count sample groups of one unfiltered row into
// pixels, writing the first at o and each next one stride bytes further.

void EmitGray(int depth, const TTransparency& t, const uint8_t* src, uint32_t count, uint8_t* o,
              size_t stride) {
  if (depth == 16) {
    for (uint32_t i = 0; i < count; ++i, o += stride) {
      unsigned v = (unsigned(src[2 * i]) << 8) | src[2 * i + 1];
      Put16(o, v);
      if (t.hasKey) Put16(o + 2, v == t.gray ? 0 : 0xFFFF);
    }
    return;
  }
  // Lower depths are scaled up to the full 8-bit range.
  const unsigned mask = (1u << depth) - 1;
  for (uint32_t i = 0; i < count; ++i, o += stride) {
    size_t bit = size_t(i) * depth;
    unsigned s = (src[bit >> 3] >> (8 - depth - (bit & 7))) & mask;
    o[0] = uint8_t(s * 255 / mask);
    if (t.hasKey) o[1] = s == t.gray ? 0 : 255;
  }
}

void EmitIndexed(int depth, const uint8_t* src, uint32_t count, uint8_t* o, size_t stride) {
  const unsigned mask = (1u << depth) - 1;
  for (uint32_t i = 0; i < count; ++i, o += stride) {
    size_t bit = size_t(i) * depth;
    o[0] = uint8_t((src[bit >> 3] >> (8 - depth - (bit & 7))) & mask);
  }
}

void EmitRgb(int depth, const TTransparency& t, const uint8_t* src, uint32_t count, uint8_t* o,
             size_t stride) {
  if (depth == 16) {
    for (uint32_t i = 0; i < count; ++i, o += stride, src += 6) {
      unsigned r = (src[0] << 8) | src[1], g = (src[2] << 8) | src[3], b = (src[4] << 8) | src[5];
      Put16(o, b);
      Put16(o + 2, g);
      Put16(o + 4, r);
      if (t.hasKey) Put16(o + 6, (r == t.r && g == t.g && b == t.b) ? 0 : 0xFFFF);
    }
    return;
  }
  for (uint32_t i = 0; i < count; ++i, o += stride, src += 3) {
    o[0] = src[2];
    o[1] = src[1];
    o[2] = src[0];
    if (t.hasKey) o[3] = (src[0] == t.r && src[1] == t.g && src[2] == t.b) ? 0 : 255;
  }
}

void EmitGrayAlpha(int depth, const uint8_t* src, uint32_t count, uint8_t* o, size_t stride) {
  if (depth == 16) {
    for (uint32_t i = 0; i < count; ++i, o += stride, src += 4) {
      Put16(o, (src[0] << 8) | src[1]);
      Put16(o + 2, (src[2] << 8) | src[3]);
    }
    return;
  }
  for (uint32_t i = 0; i < count; ++i, o += stride, src += 2) {
    o[0] = src[0];
    o[1] = src[1];
  }
}

void EmitRgba(int depth, const uint8_t* src, uint32_t count, uint8_t* o, size_t stride) {
  if (depth == 16) {
    for (uint32_t i = 0; i < count; ++i, o += stride, src += 8) {
      Put16(o, (src[4] << 8) | src[5]);
      Put16(o + 2, (src[2] << 8) | src[3]);
      Put16(o + 4, (src[0] << 8) | src[1]);
      Put16(o + 6, (src[6] << 8) | src[7]);
    }
    return;
  }
  for (uint32_t i = 0; i < count; ++i, o += stride, src += 4) {
    o[0] = src[2];
    o[1] = src[1];
    o[2] = src[0];
    o[3] = src[3];
  }
}

// Turns one unfiltered row of count samples-groups into pixels of image row
// dst, writing every step-th pixel from pixel start.
void EmitRow(const THeader& h, const TTransparency& t, const uint8_t* src, uint32_t count,
             uint8_t* dst, int outBpp, uint32_t start, uint32_t step) {
  uint8_t* o = dst + size_t(start) * outBpp;
  const size_t stride = size_t(step) * outBpp;
  switch (h.colourType) {
    case 0:
      EmitGray(h.bitDepth, t, src, count, o, stride);
      break;
    case 3:
      EmitIndexed(h.bitDepth, src, count, o, stride);
      break;
    case 2:
      EmitRgb(h.bitDepth, t, src, count, o, stride);
      break;
    case 4:
      EmitGrayAlpha(h.bitDepth, src, count, o, stride);
      break;
    case 6:
      EmitRgba(h.bitDepth, src, count, o, stride);
      break;
  }
}

TImageFormat OutputFormat(const THeader& h, bool key) {
  const bool wide = h.bitDepth == 16;
  switch (h.colourType) {
    case 0:
      if (key) return wide ? ifA16Gray16 : ifA8Gray8;
      return wide ? ifGray16 : ifGray8;
    case 2:
      if (key) return wide ? ifA16R16G16B16 : ifA8R8G8B8;
      return wide ? ifR16G16B16 : ifR8G8B8;
    case 3:
      return ifIndex8;
    case 4:
      return wide ? ifA16Gray16 : ifA8Gray8;
    default:
      return wide ? ifA16R16G16B16 : ifA8R8G8B8;
  }
}

THeader ParseHeader(std::span<const uint8_t> d) {
  if (d.size() != 13) BadChunk(kIHDR);
  TByteReader r(d);
  THeader h;
  h.width = r.U32BE();
  h.height = r.U32BE();
  h.bitDepth = r.U8();
  h.colourType = r.U8();
  int compression = r.U8(), filter = r.U8();
  h.interlace = r.U8();
  if (h.width == 0 || h.height == 0 || h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu)
    BadChunk(kIHDR);
  if (!DepthAllowed(h.colourType, h.bitDepth) || compression != 0 || filter != 0 || h.interlace > 1)
    BadChunk(kIHDR);
  h.channels = ChannelsOf(h.colourType);
  h.bitsPerPixel = h.channels * h.bitDepth;
  CheckImageLimits(h.width, h.height, OutputFormat(h, false));
  return h;
}

bool IsCritical(uint32_t type) { return (type & 0x20000000u) == 0; }

// What the chunk walk gathers for the pixel steps, and where it stands.
struct TPngChunks {
  THeader header;
  bool haveHeader = false, seenIdat = false, afterIdat = false;
  std::array<TColor32Rec, 256> palette{};
  int paletteCount = 0;
  std::vector<uint8_t> trnsData;
  bool haveTrns = false;
  std::vector<std::span<const uint8_t>> idat;
  uint64_t idatTotal = 0;
};

struct TChunk {
  uint32_t type = 0;
  std::span<const uint8_t> body;
  bool crcOk = false;
};

// True when no further chunk follows; throws when chunks are missing.
bool ChunksEnd(const TByteReader& r, const TPngChunks& c) {
  if (r.Remaining() == 0) {
    // A missing IEND is tolerated once the image data is complete.
    if (c.seenIdat) return true;
    CorruptChunk(c.haveHeader ? kIDAT : kIHDR, EImagingErrorKind::Truncated);
  }
  if (r.Remaining() < 12) {
    if (c.seenIdat) return true;  // stray bytes where IEND should be
    CorruptChunk(c.haveHeader ? kIEND : kIHDR, EImagingErrorKind::Truncated);
  }
  return false;
}

// Reads one chunk's length, type, body and CRC; r holds at least 12 bytes.
TChunk ReadChunk(TByteReader& r, std::span<const uint8_t> data) {
  TChunk chunk;
  uint32_t length = r.U32BE();
  size_t typePos = r.Position();
  chunk.type = r.U32BE();
  if (length > 0x7FFFFFFFu) CorruptChunk(chunk.type);
  if (length > r.Remaining() - 4) CorruptChunk(chunk.type, EImagingErrorKind::Truncated);
  chunk.body = r.Bytes(length);
  uint32_t storedCrc = r.U32BE();
  uint32_t crc = static_cast<uint32_t>(crc32(0L, data.data() + typePos, length + 4));
  chunk.crcOk = crc == storedCrc;
  return chunk;
}

void TakePalette(std::span<const uint8_t> body, TPngChunks& c) {
  const size_t length = body.size();
  if (length % 3 != 0 || length == 0 || length > 768 || c.paletteCount > 0 || c.seenIdat)
    BadChunk(kPLTE);
  c.paletteCount = static_cast<int>(length / 3);
  for (int i = 0; i < c.paletteCount; ++i)
    c.palette[i] = TColor32Rec{body[3 * i + 2], body[3 * i + 1], body[3 * i], 255};
}

// Files one chunk away; returns false at IEND.
bool TakeChunk(const TChunk& chunk, TPngChunks& c) {
  const uint32_t type = chunk.type;
  if (!chunk.crcOk) {
    if (IsCritical(type)) CorruptChunk(type);
    return true;  // a damaged ancillary chunk carries nothing we need
  }
  if (!c.haveHeader) {
    if (type != kIHDR) CorruptChunk(kIHDR);
    c.header = ParseHeader(chunk.body);
    c.haveHeader = true;
    return true;
  }
  if (type == kIDAT) {
    if (c.afterIdat) BadChunk(kIDAT);
    c.seenIdat = true;
    if (!chunk.body.empty()) c.idat.push_back(chunk.body);
    c.idatTotal += chunk.body.size();
    return true;
  }
  if (c.seenIdat) c.afterIdat = true;
  if (type == kIEND) return false;
  if (type == kIHDR) BadChunk(kIHDR);
  if (type == kPLTE) {
    TakePalette(chunk.body, c);
  } else if (type == kTRNS) {
    if (!c.seenIdat) {
      c.trnsData.assign(chunk.body.begin(), chunk.body.end());
      c.haveTrns = true;
    }
  } else if (IsCritical(type)) {
    // An unknown critical chunk means we cannot show the image correctly.
    BadChunk(type);
  }
  return true;
}

// Walks the chunks after the signature up to IEND (or the end of the data).
TPngChunks ReadChunks(std::span<const uint8_t> data) {
  TByteReader r(data);
  r.Skip(8);
  TPngChunks c;
  while (!ChunksEnd(r, c)) {
    if (!TakeChunk(ReadChunk(r, data), c)) break;
  }
  if (!c.seenIdat || c.idatTotal == 0) CorruptChunk(kIDAT);
  if (c.header.colourType == 3 && c.paletteCount == 0) BadChunk(kPLTE);
  return c;
}

// Applies a tRNS chunk: alphas into the palette, or a colour key.
TTransparency ApplyTransparency(TPngChunks& c) {
  TTransparency t;
  if (!c.haveTrns) return t;
  const std::vector<uint8_t>& d = c.trnsData;
  const int colourType = c.header.colourType;
  if (colourType == 3) {
    if (d.size() > size_t(c.paletteCount)) BadChunk(kTRNS);
    for (size_t i = 0; i < d.size(); ++i) c.palette[i].A = d[i];
  } else if (colourType == 0 && d.size() == 2) {
    t.hasKey = true;
    t.gray = (d[0] << 8) | d[1];
  } else if (colourType == 2 && d.size() == 6) {
    t.hasKey = true;
    t.r = (d[0] << 8) | d[1];
    t.g = (d[2] << 8) | d[3];
    t.b = (d[4] << 8) | d[5];
  }
  return t;
}

int PassCount(const THeader& h) { return h.interlace ? 7 : 1; }
TPass PassOf(const THeader& h, int p) { return h.interlace ? kAdam7[p] : TPass{0, 0, 1, 1}; }

// Refuses image data too short to inflate to the exact number of filtered
// bytes the header promises, before anything is allocated for it.
void CheckInflatedSize(const THeader& h, uint64_t idatTotal) {
  uint64_t rawTotal = 0;
  for (int p = 0; p < PassCount(h); ++p) {
    const TPass ps = PassOf(h, p);
    uint64_t pw = PassSize(h.width, ps.x0, ps.dx), ph = PassSize(h.height, ps.y0, ps.dy);
    if (pw && ph) rawTotal += ph * (1 + RowBytes(pw, h.bitsPerPixel));
  }
  if (rawTotal > idatTotal * kMaxInflateRatio + 1024)
    CorruptChunk(kIDAT, EImagingErrorKind::Truncated);
}

RasterImage CreateOutputImage(const TPngChunks& c, const TTransparency& t) {
  const TImageFormat format = OutputFormat(c.header, t.hasKey);
  RasterImage result;
  ImageCreate(result, static_cast<int32_t>(c.header.width), static_cast<int32_t>(c.header.height),
              format);
  if (format == ifIndex8) {
    // Entries the file does not define stay opaque black.
    for (int i = 0; i < 256; ++i)
      result.Palette[i] = i < c.paletteCount ? c.palette[i] : TColor32Rec{0, 0, 0, 255};
  }
  return result;
}

// Inflates, unfilters and places every row of every pass into image.
void DecodeRows(const THeader& h, const TTransparency& t,
                std::vector<std::span<const uint8_t>> idat, RasterImage& image) {
  const int outBpp = GetImageFormatInfo(image.Format)->BytesPerPixel;
  TIdatInflater inflater(std::move(idat));
  const size_t bpp = std::max(1, h.bitsPerPixel / 8);
  const size_t maxRow = RowBytes(h.width, h.bitsPerPixel);
  CheckBufferLimit(2 * (uint64_t{maxRow} + 1));
  std::vector<uint8_t> cur(maxRow + 1), prev(maxRow + 1);
  for (int p = 0; p < PassCount(h); ++p) {
    const TPass ps = PassOf(h, p);
    uint64_t pw = PassSize(h.width, ps.x0, ps.dx), ph = PassSize(h.height, ps.y0, ps.dy);
    if (!pw || !ph) continue;
    size_t n = RowBytes(pw, h.bitsPerPixel);
    std::fill(prev.begin(), prev.end(), 0);
    for (uint64_t y = 0; y < ph; ++y) {
      inflater.Read(cur.data(), n + 1);
      Unfilter(cur[0], cur.data() + 1, prev.data() + 1, n, bpp);
      EmitRow(h, t, cur.data() + 1, static_cast<uint32_t>(pw),
              image.Row(static_cast<int>(ps.y0 + y * ps.dy)), outBpp, ps.x0, ps.dx);
      std::swap(cur, prev);
    }
  }
}

}  // namespace

void DecodePng(std::span<const uint8_t> data, RasterImage& image) try {
  if (data.size() < 8 || std::memcmp(data.data(), kPngSignature, 8) != 0)
    throw EImagingError("Not a PNG file");
  TPngChunks chunks = ReadChunks(data);
  const TTransparency t = ApplyTransparency(chunks);
  CheckInflatedSize(chunks.header, chunks.idatTotal);
  RasterImage result = CreateOutputImage(chunks, t);
  DecodeRows(chunks.header, t, std::move(chunks.idat), result);
  image = std::move(result);
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

// ---------------------------------------------------------------------------
// Encoding

bool PngKeepsFormat(TImageFormat format) {
  switch (format) {
    case ifIndex8:
    case ifGray8:
    case ifA8Gray8:
    case ifGray16:
    case ifA16Gray16:
    case ifR8G8B8:
    case ifA8R8G8B8:
    case ifR16G16B16:
    case ifA16R16G16B16:
    case ifB16G16R16:
    case ifA16B16G16R16:
      return true;
    default:
      return false;
  }
}

int PngRowFilter(int option, int colourType, int bitDepth) {
  if (option >= 0 && option <= 4) return option;
  if (option == 6 && colourType != 3 && bitDepth >= 8) return -1;  // adaptive
  return (colourType == 2 || colourType == 6) ? 4 : 0;
}

namespace {

class TChunkWriter {
 public:
  explicit TChunkWriter(TImagingStream& out) : out_(out) {}
  void Write(uint32_t type, std::span<const uint8_t> body) {
    uint8_t head[8];
    StoreBE(head, static_cast<uint32_t>(body.size()));
    StoreBE(head + 4, type);
    uLong crc = crc32(0L, head + 4, 4);
    if (!body.empty()) crc = crc32(crc, body.data(), static_cast<uInt>(body.size()));
    uint8_t tail[4];
    StoreBE(tail, static_cast<uint32_t>(crc));
    out_.Write(head, 8);
    if (!body.empty()) out_.Write(body.data(), body.size());
    out_.Write(tail, 4);
  }
  static void StoreBE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
  }

 private:
  TImagingStream& out_;
};

// Writes the PNG-order samples of row y (colour red first, 16-bit big-endian).
void PackRow(const RasterImage& img, int y, uint8_t* dst) {
  const uint8_t* s = img.Row(y);
  const int w = img.Width;
  switch (img.Format) {
    case ifIndex8:
    case ifGray8:
      std::memcpy(dst, s, size_t(w));
      break;
    case ifA8Gray8:
      std::memcpy(dst, s, size_t(w) * 2);
      break;
    case ifGray16:
    case ifA16Gray16: {
      const size_t words = size_t(w) * (img.Format == ifGray16 ? 1 : 2);
      for (size_t i = 0; i < words; ++i) {
        dst[2 * i] = s[2 * i + 1];
        dst[2 * i + 1] = s[2 * i];
      }
      break;
    }
    case ifR8G8B8:
      for (int x = 0; x < w; ++x, s += 3, dst += 3) {
        dst[0] = s[2];
        dst[1] = s[1];
        dst[2] = s[0];
      }
      break;
    case ifA8R8G8B8:
      for (int x = 0; x < w; ++x, s += 4, dst += 4) {
        dst[0] = s[2];
        dst[1] = s[1];
        dst[2] = s[0];
        dst[3] = s[3];
      }
      break;
    default: {
      // 16-bit colour: the R..B formats store blue first, their partners red first.
      const bool alpha = img.Format == ifA16R16G16B16 || img.Format == ifA16B16G16R16;
      const bool blueFirst = img.Format == ifR16G16B16 || img.Format == ifA16R16G16B16;
      const int ch = alpha ? 4 : 3;
      for (int x = 0; x < w; ++x, s += 2 * ch, dst += 2 * ch) {
        for (int c = 0; c < ch; ++c) {
          int from = (c < 3 && blueFirst) ? 2 - c : c;
          dst[2 * c] = s[2 * from + 1];
          dst[2 * c + 1] = s[2 * from];
        }
      }
      break;
    }
  }
}

void FilterRow(int type, const uint8_t* row, const uint8_t* prev, size_t n, size_t bpp,
               uint8_t* out) {
  switch (type) {
    case 0:
      std::memcpy(out, row, n);
      break;
    case 1:
      for (size_t i = 0; i < n; ++i) out[i] = uint8_t(row[i] - (i >= bpp ? row[i - bpp] : 0));
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) out[i] = uint8_t(row[i] - prev[i]);
      break;
    case 3:
      for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(row[i] - (((i >= bpp ? row[i - bpp] : 0) + prev[i]) >> 1));
      break;
    default:
      for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(row[i] - prev[i]);
      for (size_t i = bpp; i < n; ++i)
        out[i] = uint8_t(row[i] - Paeth(row[i - bpp], prev[i], prev[i - bpp]));
      break;
  }
}

uint64_t FilterCost(const uint8_t* p, size_t n) {
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += std::abs(static_cast<int>(static_cast<int8_t>(p[i])));
  return sum;
}

class TDeflater {
 public:
  TDeflater(int level, TChunkWriter& chunks) : chunks_(chunks), buf_(kOut) {
    std::memset(&zs_, 0, sizeof zs_);
    if (deflateInit2(&zs_, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw EImagingError("Cannot initialise deflate");
    zs_.next_out = buf_.data();
    zs_.avail_out = kOut;
  }
  ~TDeflater() { deflateEnd(&zs_); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  void Put(const uint8_t* p, size_t n, int flush = Z_NO_FLUSH) {
    zs_.next_in = const_cast<Bytef*>(p);
    zs_.avail_in = static_cast<uInt>(n);
    while (true) {
      int r = deflate(&zs_, flush);
      if (r == Z_STREAM_ERROR) throw EImagingError("Deflate failed");
      if (zs_.avail_out == 0) {
        Emit(kOut);
        continue;
      }
      if (flush == Z_FINISH ? r == Z_STREAM_END : zs_.avail_in == 0) break;
    }
  }
  void Finish() {
    Put(nullptr, 0, Z_FINISH);
    if (kOut - zs_.avail_out > 0) Emit(kOut - zs_.avail_out);
  }

 private:
  static constexpr uInt kOut = 1 << 16;
  void Emit(size_t n) {
    chunks_.Write(kIDAT, std::span<const uint8_t>(buf_.data(), n));
    zs_.next_out = buf_.data();
    zs_.avail_out = kOut;
  }
  TChunkWriter& chunks_;
  std::vector<uint8_t> buf_;
  z_stream zs_;
};

}  // namespace

void EncodePng(const RasterImage& image, const TPngEncodeOptions& options, TImagingStream& out) {
  if (!ImageIsValid(image) || !PngKeepsFormat(image.Format) || image.Width <= 0 ||
      image.Height <= 0)
    throw EImagingError("PNG cannot store this image as it stands");
  int colourType = 0, bitDepth = 8, channels = 1;
  switch (image.Format) {
    case ifIndex8:
      colourType = 3;
      break;
    case ifGray8:
      break;
    case ifA8Gray8:
      colourType = 4, channels = 2;
      break;
    case ifGray16:
      bitDepth = 16;
      break;
    case ifA16Gray16:
      colourType = 4, channels = 2, bitDepth = 16;
      break;
    case ifR8G8B8:
      colourType = 2, channels = 3;
      break;
    case ifA8R8G8B8:
      colourType = 6, channels = 4;
      break;
    case ifR16G16B16:
    case ifB16G16R16:
      colourType = 2, channels = 3, bitDepth = 16;
      break;
    default:
      colourType = 6, channels = 4, bitDepth = 16;
      break;
  }
  const int level = std::clamp(options.Level, 0, 9);

  out.Write(kPngSignature, 8);
  TChunkWriter chunks(out);
  uint8_t ihdr[13];
  TChunkWriter::StoreBE(ihdr, static_cast<uint32_t>(image.Width));
  TChunkWriter::StoreBE(ihdr + 4, static_cast<uint32_t>(image.Height));
  ihdr[8] = uint8_t(bitDepth);
  ihdr[9] = uint8_t(colourType);
  ihdr[10] = ihdr[11] = ihdr[12] = 0;
  chunks.Write(kIHDR, ihdr);

  if (colourType == 3) {
    std::vector<uint8_t> plte(768), trns(256);
    size_t trnsCount = 0;
    for (int i = 0; i < 256; ++i) {
      const TColor32Rec& c = image.Palette[i];
      plte[3 * i] = c.R;
      plte[3 * i + 1] = c.G;
      plte[3 * i + 2] = c.B;
      trns[i] = c.A;
      if (c.A != 255) trnsCount = size_t(i) + 1;
    }
    chunks.Write(kPLTE, plte);
    if (trnsCount) chunks.Write(kTRNS, std::span<const uint8_t>(trns.data(), trnsCount));
  }

  const size_t n = size_t(image.Width) * channels * (bitDepth / 8);
  const size_t bpp = size_t(channels) * (bitDepth / 8);
  std::vector<uint8_t> row(n), prev(n, 0), filtered(n + 1), best(n + 1);
  const int rule = PngRowFilter(options.Filter, colourType, bitDepth);
  TDeflater deflater(level, chunks);
  for (int y = 0; y < image.Height; ++y) {
    PackRow(image, y, row.data());
    if (rule >= 0) {
      filtered[0] = uint8_t(rule);
      FilterRow(rule, row.data(), prev.data(), n, bpp, filtered.data() + 1);
      deflater.Put(filtered.data(), n + 1);
    } else {
      uint64_t bestCost = UINT64_MAX;
      for (int f = 0; f < 5; ++f) {
        FilterRow(f, row.data(), prev.data(), n, bpp, filtered.data() + 1);
        uint64_t cost = FilterCost(filtered.data() + 1, n);
        if (cost < bestCost) {
          bestCost = cost;
          filtered[0] = uint8_t(f);
          std::swap(filtered, best);
        }
      }
      deflater.Put(best.data(), n + 1);
    }
    std::swap(row, prev);
  }
  deflater.Finish();
  chunks.Write(kIEND, {});
}

}  // namespace imprimo
