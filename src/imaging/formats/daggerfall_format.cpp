// The game image formats: IMG (one image), CIF (image sets: plain records,
// headerless fixed-size images and weapon animation groups), BSI chunk files
// and texture archives (load only), and the save path that fits a picture
// into the game's screen size and maps it to the format's palette.
#include "imaging/formats/daggerfall_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/imaging_stream.h"
#include "platform/numeric.h"

namespace imprimo {

namespace {

constexpr uint16_t kCompressionRle = 2;
constexpr uint16_t kCompressionWeapon = 21;
constexpr uint16_t kCompressionUnread1 = 260;
constexpr uint16_t kCompressionUnread2 = 264;
constexpr size_t kHeaderSize = 12;
constexpr size_t kPaletteSize = 768;
constexpr size_t kGroupHeaderSize = 76;
constexpr int64_t kMaxElderPixels = 65535;

[[noreturn]] void Bad(const std::string& what,
                      EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  throw EImagingError(what, kind);
}

struct TElderHeader {
  uint16_t Width = 0, Height = 0, Compression = 0, DataSize = 0;
};

TElderHeader ReadHeader(TByteReader& r) {
  TElderHeader h;
  r.Skip(4);  // display offsets, not used
  h.Width = r.U16LE();
  h.Height = r.U16LE();
  h.Compression = r.U16LE();
  h.DataSize = r.U16LE();
  return h;
}

bool HeaderIsPlausible(const TElderHeader& h) {
  const int64_t pixels = int64_t{h.Width} * h.Height;
  return h.Width > 0 && h.Height > 0 && pixels <= kMaxElderPixels && h.DataSize > 0 &&
         pixels >= h.DataSize;
}

RasterImage NewIndexed(int w, int h, const TElderPalette& palette) {
  if (w <= 0 || h <= 0) Bad("Invalid image size in game image file");
  RasterImage img;
  ImageCreate(img, w, h, ifIndex8);
  ExpandElderPalette(palette, img.Palette.get());
  return img;
}

TElderPalette PaletteFrom(std::span<const uint8_t> bytes) {
  TElderPalette p;
  std::memcpy(p.data(), bytes.data(), kPaletteSize);
  return p;
}

// Raw pixels: copies what is there (up to the image size); short data must
// not happen for the callers, which check lengths first.
void CopyRaw(std::span<const uint8_t> src, RasterImage& img) {
  std::memcpy(img.Bits.get(), src.data(), std::min<size_t>(src.size(), img.Size));
}

// Pixels a set may hold: run-length data gives at most 64 pixels a byte, so
// a file never makes the decoder allocate much more than it could describe.
void Spend(int64_t& budget, int64_t pixels) {
  budget -= pixels;
  if (budget < 0) Bad("Image set holds more pixels than its data can describe");
}

int64_t PixelBudget(size_t fileSize) {
  return std::min<int64_t>(kMaxImagePixels, static_cast<int64_t>(fileSize) * 64 + 65535);
}

}  // namespace

TElderSize HeaderlessImgSize(uint64_t fileSize) {
  static constexpr struct {
    uint64_t Size;
    int W, H;
  } kTable[] = {{64, 8, 8},        {90, 9, 10},       {128, 8, 16},      {720, 9, 80},
                {990, 45, 22},     {1720, 43, 40},    {2140, 107, 20},   {2916, 81, 36},
                {3200, 40, 80},    {3938, 179, 22},   {4096, 64, 64},    {4280, 107, 40},
                {4508, 322, 14},   {20480, 320, 64},  {26496, 184, 144}, {64000, 320, 200},
                {64768, 320, 200}, {68800, 320, 215}, {112128, 512, 219}};
  for (const auto& e : kTable)
    if (e.Size == fileSize) return {e.W, e.H};
  return {};
}

TElderSize HeaderlessCifSize(uint64_t fileSize) {
  static constexpr struct {
    uint64_t Size;
    int W, H;
  } kTable[] = {{2601, 17, 17},  {3168, 44, 9},    {4356, 22, 22},   {10752, 32, 16},
                {49152, 64, 64}, {249856, 64, 64}, {2060295, 64, 64}};
  for (const auto& e : kTable)
    if (e.Size == fileSize) return {e.W, e.H};
  return {};
}

size_t DecodeElderRle(std::span<const uint8_t> in, std::span<uint8_t> out) {
  size_t ip = 0, op = 0;
  while (op < out.size()) {
    if (ip >= in.size()) Bad("Run-length data ends before the image is complete");
    const uint8_t c = in[ip++];
    if (c < 128) {
      const size_t count = size_t{c} + 1;
      if (in.size() - ip < count) Bad("Run-length data ends inside a literal run");
      const size_t take = std::min(count, out.size() - op);
      std::memcpy(out.data() + op, in.data() + ip, take);
      ip += count;
      op += take;
    } else {
      if (ip >= in.size()) Bad("Run-length data ends inside a repeat run");
      const uint8_t v = in[ip++];
      const size_t take = std::min<size_t>(size_t{c} - 127, out.size() - op);
      std::memset(out.data() + op, v, take);
      op += take;
    }
  }
  return ip;
}

bool ElderImgCifAccepts(std::span<const uint8_t> header, uint64_t fileSize, bool multi) {
  if (HeaderlessImgSize(fileSize).Width) return !multi;
  if (HeaderlessCifSize(fileSize).Width) return multi;
  if (header.empty()) return false;
  uint8_t h[kHeaderSize] = {};
  std::memcpy(h, header.data(), std::min(header.size(), kHeaderSize));
  TByteReader r({h, kHeaderSize});
  const TElderHeader hd = ReadHeader(r);
  if (!HeaderIsPlausible(hd)) return false;
  const uint64_t record = uint64_t{hd.DataSize} + kHeaderSize;
  if (multi) return fileSize > record;
  // A single image may end with its own 768-byte palette.
  return fileSize == record || fileSize == record + kPaletteSize;
}

RasterImage DecodeDaggerfallImg(std::span<const uint8_t> data, const TElderPalette& palette) try {
  TByteReader r(data);
  RasterImage img;
  if (const TElderSize s = HeaderlessImgSize(data.size()); s.Width) {
    img = NewIndexed(s.Width, s.Height, palette);
    CopyRaw(r.Bytes(static_cast<size_t>(img.Size)), img);
  } else {
    const TElderHeader h = ReadHeader(r);
    if (h.Compression == kCompressionUnread1 || h.Compression == kCompressionUnread2)
      Bad("IMG compression " + std::to_string(h.Compression) + " is not supported");
    if (h.Width == 0 || h.Height == 0) Bad("IMG image has no pixels");
    const int64_t pixels = int64_t{h.Width} * h.Height;
    if (pixels > kMaxElderPixels)
      Bad("IMG image has more than 65535 pixels", EImagingErrorKind::TooLarge);
    // Nothing is allocated beyond what the data can fill: raw pixels must be
    // present, and two run-length bytes give at most 128 pixels.
    if (h.Compression == kCompressionRle
            ? (h.DataSize > r.Remaining() || pixels > int64_t{h.DataSize} * 64)
            : pixels > static_cast<int64_t>(r.Remaining()))
      Bad("IMG pixel data is truncated", EImagingErrorKind::Truncated);
    img = NewIndexed(h.Width, h.Height, palette);
    if (h.Compression == kCompressionRle) {
      auto packed = r.Bytes(h.DataSize);
      DecodeElderRle(packed, {img.Bits.get(), static_cast<size_t>(img.Size)});
    } else {
      CopyRaw(r.Bytes(static_cast<size_t>(img.Size)), img);
    }
  }
  if (r.Remaining() == kPaletteSize)
    ExpandElderPalette(PaletteFrom(r.Bytes(kPaletteSize)), img.Palette.get());
  return img;
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

namespace {

// Weapon animation groups after the first record, from offset pos:
// 76-byte header = width (u16), height (u16), up to 35 frame offsets (u16,
// from the group start, 0 ends the list), the group's total size (u16).
void DecodeWeaponGroups(TByteReader& r, const TElderPalette& palette, TDynImageDataArray& images,
                        bool onlyFirst, int64_t& budget) {
  while (!onlyFirst && r.Remaining() >= kGroupHeaderSize) {
    const size_t start = r.Position();
    const uint16_t w = r.U16LE(), h = r.U16LE();
    uint16_t offsets[35];
    int count = 0;
    for (int i = 0; i < 35; ++i) {
      offsets[i] = r.U16LE();
      if (offsets[i] != 0 && count == i) ++count;
    }
    const uint16_t groupSize = r.U16LE();
    if (groupSize < kGroupHeaderSize || groupSize > r.Size() - start)
      Bad("Weapon animation group size is outside the file");
    if (int64_t{w} * h > kMaxElderPixels)
      Bad("Weapon animation frame is too large", EImagingErrorKind::TooLarge);
    for (int i = 0; i < count && w > 0 && h > 0; ++i) {
      const size_t end = i + 1 < count ? offsets[i + 1] : groupSize;
      if (offsets[i] < kGroupHeaderSize || end <= offsets[i] || end > groupSize)
        Bad("Weapon animation frame offsets are out of order");
      Spend(budget, int64_t{w} * h);
      RasterImage img = NewIndexed(w, h, palette);
      DecodeElderRle(r.Data().subspan(start + offsets[i], end - offsets[i]),
                     {img.Bits.get(), static_cast<size_t>(img.Size)});
      images.push_back(std::move(img));
    }
    r.Seek(start + groupSize);
  }
}

}  // namespace

void DecodeDaggerfallCif(std::span<const uint8_t> data, const TElderPalette& palette,
                         TDynImageDataArray& images, bool onlyFirst) try {
  if (const TElderSize s = HeaderlessCifSize(data.size()); s.Width) {
    const size_t each = static_cast<size_t>(s.Width) * s.Height;
    for (size_t pos = 0; pos + each <= data.size(); pos += each) {
      RasterImage img = NewIndexed(s.Width, s.Height, palette);
      CopyRaw(data.subspan(pos, each), img);
      images.push_back(std::move(img));
      if (onlyFirst) break;
    }
    return;
  }
  TByteReader r(data);
  int64_t budget = PixelBudget(data.size());
  bool first = true;
  while (r.Remaining() >= kHeaderSize) {
    const size_t recordStart = r.Position();
    const TElderHeader h = ReadHeader(r);
    const bool plausible = h.Width > 0 && h.Height > 0 &&
                           int64_t{h.Width} * h.Height <= kMaxElderPixels &&
                           h.DataSize <= r.Remaining();
    if (!plausible) {
      if (first) Bad("CIF record header is invalid or its data is missing");
      r.Seek(recordStart);
      break;  // trailing bytes that are no record
    }
    if (h.Compression == kCompressionUnread1 || h.Compression == kCompressionUnread2)
      Bad("CIF compression " + std::to_string(h.Compression) + " is not supported");
    Spend(budget, int64_t{h.Width} * h.Height);
    RasterImage img = NewIndexed(h.Width, h.Height, palette);
    auto bytes = r.Bytes(h.DataSize);
    if (h.Compression == kCompressionRle)
      DecodeElderRle(bytes, {img.Bits.get(), static_cast<size_t>(img.Size)});
    else
      CopyRaw(bytes, img);
    images.push_back(std::move(img));
    if (first) {
      first = false;
      bool weapon = h.Compression == kCompressionWeapon;
      if (!weapon && r.Remaining() >= kGroupHeaderSize) {
        const uint8_t* g = data.data() + r.Position();
        const size_t groupSize = g[74] | g[75] << 8;
        weapon = (g[4] | g[5] << 8) == kGroupHeaderSize && groupSize >= kGroupHeaderSize &&
                 groupSize <= r.Remaining();
      }
      if (weapon) {
        DecodeWeaponGroups(r, palette, images, onlyFirst, budget);
        return;
      }
    }
    if (onlyFirst) return;
  }
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

// ---- BSI ----
// A chunk file: 4-character tag, 32-bit big-endian length, data. An archive
// entry starts with a 9-byte name and a 32-bit little-endian size; a zero
// name ends the archive. "BHDR" holds width (offset 4) and height (6) and the
// frame count (14); "CMAP" a 768-byte palette; "DATA" the pixels: raw rows,
// or for more than one frame a table of height x frames 32-bit row offsets
// from the start of DATA, each row width bytes.

void DecodeBsi(std::span<const uint8_t> data, const TElderPalette& palette,
               TDynImageDataArray& images, bool onlyFirst) try {
  TByteReader r(data);
  int64_t budget = PixelBudget(data.size());
  const bool archive = !(data.size() >= 4 && std::memcmp(data.data(), "IFHD", 4) == 0);
  while (!r.AtEnd()) {
    size_t entryEnd = r.Size();
    if (archive) {
      if (r.Remaining() < 13) break;
      auto name = r.Bytes(9);
      if (std::all_of(name.begin(), name.end(), [](uint8_t c) { return c == 0; })) break;
      const uint32_t size = r.U32LE();
      entryEnd = size <= r.Remaining() ? r.Position() + size : r.Size();
    }
    int width = 0, height = 0, frames = 1;
    TElderPalette pal = palette;
    std::span<const uint8_t> pixels;
    bool haveHeader = false, haveData = false;
    while (r.Position() + 8 <= entryEnd) {
      char tag[5] = {};
      std::memcpy(tag, r.Bytes(4).data(), 4);
      const uint32_t length = r.U32BE();
      if (length > entryEnd - r.Position())
        Bad(std::string("Error when reading ") + tag + " chunk data.");
      auto body = r.Bytes(length);
      if (std::memcmp(tag, "BHDR", 4) == 0) {
        if (body.size() < 16) Bad("Error when reading BHDR chunk data.");
        width = body[4] | body[5] << 8;
        height = body[6] | body[7] << 8;
        frames = std::max(1, body[14] | body[15] << 8);
        haveHeader = true;
      } else if (std::memcmp(tag, "CMAP", 4) == 0) {
        if (body.size() < kPaletteSize) Bad("Error when reading CMAP chunk data.");
        pal = PaletteFrom(body);
      } else if (std::memcmp(tag, "DATA", 4) == 0) {
        pixels = body;
        haveData = true;
      } else if (std::memcmp(tag, "END ", 4) == 0) {
        break;
      }
    }
    if (!haveHeader || !haveData) Bad("BSI image without header or pixel data");
    if (width <= 0 || height <= 0) Bad("BSI image size is invalid");
    CheckImageLimits(width, height, ifIndex8);
    const size_t rowBytes = static_cast<size_t>(width);
    // Rows may share bytes, but the set never outgrows the pixel limit, and
    // one frame never outgrows its data.
    if (int64_t{width} * height > static_cast<int64_t>(pixels.size()))
      Bad("Error when reading DATA chunk data.");
    Spend(budget, int64_t{width} * height * (onlyFirst ? 1 : frames));
    if (frames == 1) {
      RasterImage img = NewIndexed(width, height, pal);
      if (pixels.size() < static_cast<size_t>(img.Size)) Bad("Error when reading DATA chunk data.");
      CopyRaw(pixels, img);
      images.push_back(std::move(img));
    } else {
      TByteReader table(pixels);
      const size_t rows = static_cast<size_t>(height) * frames;
      if (rows * 4 > pixels.size()) Bad("Error when reading DATA chunk data.");
      for (int f = 0; f < frames; ++f) {
        RasterImage img = NewIndexed(width, height, pal);
        for (int y = 0; y < height; ++y) {
          table.Seek((static_cast<size_t>(f) * height + y) * 4);
          const uint32_t off = table.U32LE();
          if (off > pixels.size() || pixels.size() - off < rowBytes)
            Bad("Error when reading DATA chunk data.");
          std::memcpy(img.Row(y), pixels.data() + off, rowBytes);
        }
        images.push_back(std::move(img));
        if (onlyFirst) break;
      }
    }
    if (onlyFirst || !archive) break;
    r.Seek(entryEnd);
  }
  if (images.empty()) Bad("BSI file holds no image");
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

// ---- Texture archives ----
// 26-byte file header (record count, name), then 20-byte record headers
// whose 32-bit value at offset 2 is the record's file offset. A record
// starts with width (offset 4), height (6), compression (8), the data offset
// from the record start (14, 32 bits) and the frame count (20). Uncompressed
// single frames are rows of 256 bytes when the data holds them (else rows of
// width bytes); several frames start with a table of 32-bit frame offsets
// (from the data start), each frame raw. Compressions 0x0108 and 0x1108 are
// row tables (16-bit row offset from the data start, 16-bit flags; flag
// 0x8000 marks a run-length coded row).

void DecodeDaggerfallTexture(std::span<const uint8_t> data, const TElderPalette& palette,
                             TDynImageDataArray& images, bool onlyFirst) try {
  TByteReader r(data);
  const uint16_t count = r.U16LE();
  if (count < 1 || count > 2048) Bad("Texture record count is invalid");
  r.Skip(24);
  if (r.Remaining() / 20 < count) Bad("Texture record directory is truncated");
  int64_t budget = PixelBudget(data.size());
  for (uint16_t i = 0; i < count; ++i) {
    r.Seek(26 + size_t{i} * 20 + 2);
    const uint32_t pos = r.U32LE();
    TByteReader rec(data);
    rec.Seek(pos);
    rec.Skip(4);
    const uint16_t w = rec.U16LE(), h = rec.U16LE(), compression = rec.U16LE();
    rec.Skip(4);
    const uint32_t dataOffset = rec.U32LE();
    rec.Skip(2);
    const uint16_t frames = std::max<uint16_t>(1, rec.U16LE());
    if (w == 0 || h == 0) continue;  // empty records exist
    CheckImageLimits(w, h, ifIndex8);
    const uint64_t start = uint64_t{pos} + dataOffset;
    if (start > data.size()) Bad("Texture record data is outside the file");
    auto body = data.subspan(static_cast<size_t>(start));
    const bool rleRows = compression == 0x0108 || compression == 0x1108;
    const int64_t pixels = int64_t{w} * h;
    // Check that the data can fill the image before allocating it.
    if (rleRows ? (body.size() < size_t{4} * h || pixels > static_cast<int64_t>(body.size()) * 64)
                : pixels > static_cast<int64_t>(body.size()))
      Bad("Texture pixels are truncated");
    Spend(budget, pixels * (rleRows || onlyFirst ? 1 : frames));
    RasterImage img = NewIndexed(w, h, palette);
    if (rleRows) {
      TByteReader rows(body);
      for (int y = 0; y < h; ++y) {
        rows.Seek(static_cast<size_t>(y) * 4);
        const uint16_t off = rows.U16LE(), flags = rows.U16LE();
        if (off > body.size()) Bad("Texture row offset is outside the file");
        std::span<uint8_t> out(img.Row(y), w);
        if (flags & 0x8000) {
          DecodeElderRle(body.subspan(off), out);
        } else {
          if (body.size() - off < w) Bad("Texture row is truncated");
          std::memcpy(out.data(), body.data() + off, w);
        }
      }
    } else if (frames > 1) {
      // Every frame of an animated record; the table must fit the data.
      TByteReader table(body);
      if (body.size() / 4 < frames) Bad("Texture frame table is truncated");
      for (uint16_t f = 0; f < frames; ++f) {
        const uint32_t off = table.U32LE();
        if (off > body.size() || body.size() - off < static_cast<size_t>(img.Size))
          Bad("Texture frame is truncated");
        if (f > 0) img = NewIndexed(w, h, palette);
        CopyRaw(body.subspan(off), img);
        if (f + 1 < frames && !onlyFirst) images.push_back(std::move(img));
        if (onlyFirst) break;
      }
    } else {
      const size_t stride = (w <= 256 && body.size() >= size_t{256} * (h - 1) + w) ? 256 : w;
      if (body.size() < stride * (h - 1) + w) Bad("Texture pixels are truncated");
      for (int y = 0; y < h; ++y) std::memcpy(img.Row(y), body.data() + y * stride, w);
    }
    images.push_back(std::move(img));
    if (onlyFirst) break;
  }
  if (images.empty()) Bad("Texture file holds no image");
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

std::vector<uint8_t> EncodeElderRecord(const RasterImage& image) {
  TByteWriter out;
  out.U16LE(0);
  out.U16LE(0);
  out.U16LE(static_cast<uint16_t>(image.Width));
  out.U16LE(static_cast<uint16_t>(image.Height));
  out.U16LE(0);
  out.U16LE(static_cast<uint16_t>(image.Size));
  out.Bytes({image.Bits.get(), static_cast<size_t>(image.Size)});
  return std::move(out.Data());
}

TElderSize ElderFittedSize(int w, int h) {
  if (int64_t{w} * h <= kMaxElderPixels) return {w, h};
  const int64_t boxW = w > h ? 320 : 200, boxH = w > h ? 200 : 320;
  int64_t nw, nh;
  if (int64_t{w} * boxH < int64_t{h} * boxW) {
    nw = w * boxH / h;
    nh = boxH;
  } else {
    nw = boxW;
    nh = h * boxW / w;
  }
  // A very thin picture keeps at least one pixel across.
  return {static_cast<int>(std::max<int64_t>(1, nw)), static_cast<int>(std::max<int64_t>(1, nh))};
}

namespace {

struct TContributor {
  int Pos;
  float Weight;
};

std::vector<std::vector<TContributor>> LinearContributors(int s, int d) {
  std::vector<std::vector<TContributor>> table(d);
  const float scale = static_cast<float>(d) / static_cast<float>(s);
  auto kernel = [](float x) {
    x = std::fabs(x);
    return x < 1.0f ? 1.0f - x : 0.0f;
  };
  for (int i = 0; i < d; ++i) {
    auto& list = table[i];
    if (s == 1) {
      list.push_back({0, 1.0f});
      continue;
    }
    const float centre = (i + 0.5f) / scale - 0.5f;
    const float reach = scale >= 1.0f ? 1.0f : 1.0f / scale;
    const int lo = static_cast<int>(std::floor(centre - reach));
    const int hi = static_cast<int>(std::ceil(centre + reach));
    for (int j = lo; j <= hi; ++j) {
      const float wgt = scale >= 1.0f ? kernel(centre - j) : scale * kernel(scale * (centre - j));
      if (wgt != 0.0f) list.push_back({std::clamp(j, 0, s - 1), wgt});
    }
    if (list.empty()) {
      list.push_back({std::clamp(static_cast<int>(std::floor(centre)), 0, s - 1), 1.0f});
      continue;
    }
    float total = 0;
    for (const auto& c : list) total += c.Weight;
    if (total != 1.0f) list[(list.size() - 1) / 2].Weight -= total - 1.0f;
  }
  return table;
}

// Linear resampling of an A8R8G8B8 image.
void ResizeLinear(RasterImage& image, int dw, int dh) {
  const int sw = image.Width, sh = image.Height;
  auto cols = LinearContributors(sw, dw), rows = LinearContributors(sh, dh);
  RasterImage out;
  ImageCreate(out, dw, dh, ifA8R8G8B8);
  std::vector<float> cache(static_cast<size_t>(sw) * 4);
  for (int y = 0; y < dh; ++y) {
    std::fill(cache.begin(), cache.end(), 0.0f);
    for (const auto& c : rows[y]) {
      const uint8_t* src = image.Row(c.Pos);
      for (size_t k = 0; k < cache.size(); ++k) cache[k] += c.Weight * src[k];
    }
    uint8_t* dst = out.Row(y);
    for (int x = 0; x < dw; ++x)
      for (int ch = 0; ch < 4; ++ch) {
        float sum = 0;
        for (const auto& c : cols[x]) sum += c.Weight * cache[static_cast<size_t>(c.Pos) * 4 + ch];
        dst[x * 4 + ch] = static_cast<uint8_t>(std::clamp<int64_t>(RoundHalfEven(sum), 0, 255));
      }
  }
  image = std::move(out);
}

}  // namespace

void FitAndMapToElderPalette(RasterImage& image, const TElderPalette& palette) {
  ImageConvert(image, ifA8R8G8B8);
  const TElderSize fit = ElderFittedSize(image.Width, image.Height);
  if (fit.Width != image.Width || fit.Height != image.Height)
    ResizeLinear(image, fit.Width, fit.Height);
  TColor32Rec entries[256];
  ExpandElderPalette(palette, entries);
  RasterImage out;
  ImageCreate(out, image.Width, image.Height, ifIndex8);
  std::memcpy(out.Palette.get(), entries, sizeof entries);
  std::unordered_map<uint32_t, uint8_t> memo;
  const uint8_t* src = image.Bits.get();
  for (int32_t i = 0; i < out.Size; ++i, src += 4) {
    uint32_t key;
    std::memcpy(&key, src, 4);
    auto it = memo.find(key);
    if (it == memo.end()) {
      int best = 0, bestDist = 1 << 30;
      for (int e = 0; e < 256; ++e) {
        const int dist = std::abs(src[0] - entries[e].B) + std::abs(src[1] - entries[e].G) +
                         std::abs(src[2] - entries[e].R) + std::abs(src[3] - entries[e].A);
        if (dist < bestDist) {
          bestDist = dist;
          best = e;
        }
      }
      it = memo.emplace(key, static_cast<uint8_t>(best)).first;
    }
    out.Bits[i] = it->second;
  }
  image = std::move(out);
}

namespace {

// The common base: a current palette, Index8 with that palette as the only
// image written unchanged, everything else fitted and mapped.
class TElderFileFormat : public TSimpleFileFormat {
 protected:
  explicit TElderFileFormat(const TElderPalette& palette) : palette_(palette) {
    SetCapabilities(true, true, true);
  }

  bool AcceptsPixelFormat(const RasterImage& image) const override {
    if (image.Format != ifIndex8 || !image.Palette) return false;
    TColor32Rec entries[256];
    ExpandElderPalette(palette_, entries);
    return std::memcmp(entries, image.Palette.get(), sizeof entries) == 0;
  }
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo&) override {
    FitAndMapToElderPalette(image, palette_);
  }
  static uint64_t RemainingSize(TImagingStream& stream) {
    const int64_t left = stream.Size() - stream.Position();
    return left > 0 ? static_cast<uint64_t>(left) : 0;
  }

  TElderPalette palette_;
};

class TIMGFileFormat : public TElderFileFormat {
 public:
  TIMGFileFormat() : TElderFileFormat(DaggerfallImagePalette()) {
    SetName("Daggerfall Image");
    AddMasks("*.img");
    SetCapabilities(true, true, false);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    const uint64_t size = RemainingSize(stream);
    return ElderImgCifAccepts(PeekHeader(stream, kHeaderSize), size, false);
  }
  bool ProbeIsSizeOnly(TImagingStream& stream) override {
    return HeaderlessImgSize(RemainingSize(stream)).Width != 0;
  }
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images, bool) override {
    if (!HeaderlessImgSize(data.size()).Width && data.size() >= kHeaderSize) {
      const uint16_t c = static_cast<uint16_t>(data[8] | data[9] << 8);
      if (c == kCompressionUnread1 || c == kCompressionUnread2) return false;
    }
    images.push_back(DecodeDaggerfallImg(data, palette_));
    return true;
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    const RasterImage& img = *images[0];
    if (int64_t{img.Width} * img.Height > kMaxElderPixels)
      Bad("Size of image in IMG format cannot exceed 65535 bytes. " + ImageDescription(img));
    stream.Write(EncodeElderRecord(img));
    return true;
  }
};

class TCIFFileFormat : public TElderFileFormat {
 public:
  TCIFFileFormat() : TElderFileFormat(DaggerfallImagePalette()) {
    SetName("Daggerfall MultiImage");
    AddMasks("*.cif,*.rci");
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    const uint64_t size = RemainingSize(stream);
    return ElderImgCifAccepts(PeekHeader(stream, kHeaderSize), size, true);
  }
  bool ProbeIsSizeOnly(TImagingStream& stream) override {
    const uint64_t size = RemainingSize(stream);
    return !HeaderlessImgSize(size).Width && HeaderlessCifSize(size).Width != 0;
  }
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override {
    DecodeDaggerfallCif(data, palette_, images, onlyFirst);
    return true;
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    for (const RasterImage* img : images) {
      if (int64_t{img->Width} * img->Height > kMaxElderPixels)
        Bad("Size of image in IMG/CIF format cannot exceed 65535 bytes. " + ImageDescription(*img));
      stream.Write(EncodeElderRecord(*img));
    }
    return true;
  }
};

class TBSIFileFormat : public TElderFileFormat {
 public:
  TBSIFileFormat() : TElderFileFormat(DaggerfallBsiPalette()) {
    SetName("Bethesda Image");
    AddMasks("*.bsi,texbsi.*");
    SetCapabilities(true, false, true);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 17);
    if (h.size() >= 4 && std::memcmp(h.data(), "IFHD", 4) == 0) return true;
    return h.size() >= 17 && (std::memcmp(h.data() + 13, "IFHD", 4) == 0 ||
                              std::memcmp(h.data() + 13, "BSIF", 4) == 0);
  }
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override {
    DecodeBsi(data, palette_, images, onlyFirst);
    return true;
  }
};

class TTextureFileFormat : public TElderFileFormat {
 public:
  TTextureFileFormat() : TElderFileFormat(DaggerfallImagePalette()) {
    SetName("Daggerfall Texture");
    AddMasks("texture.*,*.dagtexture");
    SetCapabilities(true, false, true);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 26);
    if (h.size() < 26) return false;
    const int count = h[0] | h[1] << 8;
    if (count < 1 || count > 2048) return false;
    return std::all_of(h.begin() + 2, h.end(),
                       [](uint8_t c) { return c == 0 || (c >= 32 && c < 127); });
  }
  bool DecodeBytes(std::span<const uint8_t> data, TDynImageDataArray& images,
                   bool onlyFirst) override {
    DecodeDaggerfallTexture(data, palette_, images, onlyFirst);
    return true;
  }
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeIMGFileFormat() { return std::make_unique<TIMGFileFormat>(); }
std::unique_ptr<TImageFileFormat> MakeCIFFileFormat() { return std::make_unique<TCIFFileFormat>(); }
std::unique_ptr<TImageFileFormat> MakeBSIFileFormat() { return std::make_unique<TBSIFileFormat>(); }
std::unique_ptr<TImageFileFormat> MakeTextureFileFormat() {
  return std::make_unique<TTextureFileFormat>();
}

}  // namespace imprimo
