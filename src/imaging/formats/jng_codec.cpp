#include "imaging/formats/jng_codec.h"

#include <algorithm>
#include <cstring>

#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/png_codec.h"

namespace imprimo {
namespace {

constexpr uint32_t kJHDR = NgChunkId("JHDR");
constexpr uint32_t kJDAT = NgChunkId("JDAT");
constexpr uint32_t kJDAA = NgChunkId("JDAA");
constexpr uint32_t kJSEP = NgChunkId("JSEP");
constexpr uint32_t kIDAT = NgChunkId("IDAT");
constexpr uint32_t kIHDR = NgChunkId("IHDR");
constexpr uint32_t kIEND = NgChunkId("IEND");

constexpr size_t kMaxChunkWrite = size_t{1} << 20;

struct TJngHeader {
  uint32_t width = 0, height = 0;
  int colourType = 0, sampleDepth = 0, interlace = 0;
  int alphaDepth = 0, alphaCompression = 0, alphaFilter = 0, alphaInterlace = 0;
  bool HasAlpha() const { return colourType == 12 || colourType == 14; }
};

TJngHeader ParseJngHeader(std::span<const uint8_t> d) {
  if (d.size() != 16) NgBadChunk(kJHDR);
  TJngHeader h;
  TByteReader r(d);
  h.width = r.U32BE();
  h.height = r.U32BE();
  h.colourType = r.U8();
  h.sampleDepth = r.U8();
  const int compression = r.U8();
  h.interlace = r.U8();
  h.alphaDepth = r.U8();
  h.alphaCompression = r.U8();
  h.alphaFilter = r.U8();
  h.alphaInterlace = r.U8();
  if (h.colourType != 8 && h.colourType != 10 && h.colourType != 12 && h.colourType != 14)
    NgBadChunk(kJHDR);
  if ((h.sampleDepth != 8 && h.sampleDepth != 12 && h.sampleDepth != 20) || compression != 8 ||
      (h.interlace != 0 && h.interlace != 8))
    NgBadChunk(kJHDR);
  if (h.HasAlpha()) {
    if (h.alphaCompression == 0) {
      const int a = h.alphaDepth;
      if (a != 1 && a != 2 && a != 4 && a != 8 && a != 16) NgBadChunk(kJHDR);
      // 64 is the adaptive filter method of MNG; for a gray channel it is the
      // plain PNG method.
      if (h.alphaFilter != 0 && h.alphaFilter != 64) NgBadChunk(kJHDR);
      if (h.alphaInterlace > 1) NgBadChunk(kJHDR);
    } else if (h.alphaCompression == 8) {
      if (h.alphaDepth != 8) NgBadChunk(kJHDR);
    } else {
      NgBadChunk(kJHDR);
    }
  }
  NgCheckImageSize(kJHDR, h.width, h.height);
  return h;
}

// The deflated alpha is a gray PNG datastream without its own header: give
// it one and let the PNG decoder do the rest.
void DecodeDeflatedAlpha(const TJngHeader& h, const std::vector<std::span<const uint8_t>>& idat,
                         RasterImage& alpha) {
  std::vector<uint8_t> png(kPngSignature, kPngSignature + 8);
  TNgChunkWriter w(png);
  uint8_t ihdr[13];
  TNgChunkWriter::StoreBE(ihdr, h.width);
  TNgChunkWriter::StoreBE(ihdr + 4, h.height);
  ihdr[8] = uint8_t(h.alphaDepth);
  ihdr[9] = 0;
  ihdr[10] = 0;
  ihdr[11] = 0;
  ihdr[12] = uint8_t(h.alphaInterlace);
  w.Write(kIHDR, ihdr);
  for (const auto& part : idat) w.Write(kIDAT, part);
  w.Write(kIEND, {});
  DecodePng(png, alpha);
  if (alpha.Format == ifGray16) {
    // Keep the high byte of each big sample.
    RasterImage a8;
    ImageCreate(a8, alpha.Width, alpha.Height, ifGray8);
    for (int y = 0; y < alpha.Height; ++y) {
      const uint8_t* s = alpha.Row(y);
      uint8_t* d = a8.Row(y);
      for (int x = 0; x < alpha.Width; ++x) d[x] = s[2 * x + 1];
    }
    alpha = std::move(a8);
  }
  if (alpha.Format != ifGray8) NgBadChunk(kIDAT);
}

void WriteSplit(TNgChunkWriter& chunks, uint32_t id, const std::vector<uint8_t>& data) {
  if (data.empty()) {
    chunks.Write(id, {});
    return;
  }
  for (size_t pos = 0; pos < data.size(); pos += kMaxChunkWrite) {
    const size_t n = std::min(kMaxChunkWrite, data.size() - pos);
    chunks.Write(id, std::span<const uint8_t>(data.data() + pos, n));
  }
}

}  // namespace

bool JngKeepsFormat(TImageFormat format) {
  return format == ifGray8 || format == ifA8Gray8 || format == ifR8G8B8 || format == ifA8R8G8B8;
}

void DecodeJngChunks(const TNgChunk& jhdr, TNgChunkReader& reader, RasterImage& image) {
  const TJngHeader h = ParseJngHeader(jhdr.Data);
  std::vector<uint8_t> jdat, jdaa;
  std::vector<std::span<const uint8_t>> idat;
  bool afterSeparator = false, seenJdat = false;
  while (true) {
    if (reader.Remaining() < 12) {
      // A missing IEND (or stray bytes in its place) is tolerated once the
      // colour data is there.
      if (seenJdat) break;
      NgCorruptChunk(kJDAT);
    }
    const TNgChunk c = reader.Next(kIEND);
    if (!c.CrcOk) continue;  // a damaged ancillary chunk carries nothing we need
    if (c.Id == kIEND) break;
    if (c.Id == kJDAT) {
      seenJdat = true;
      // With 8- and 12-bit data both present, the 8-bit stream comes first.
      if (!afterSeparator) jdat.insert(jdat.end(), c.Data.begin(), c.Data.end());
    } else if (c.Id == kJSEP) {
      afterSeparator = true;
    } else if (c.Id == kIDAT) {
      if (h.HasAlpha() && h.alphaCompression == 0 && !c.Data.empty()) idat.push_back(c.Data);
    } else if (c.Id == kJDAA) {
      if (h.HasAlpha() && h.alphaCompression == 8)
        jdaa.insert(jdaa.end(), c.Data.begin(), c.Data.end());
    } else if (c.Id == kJHDR || NgIsCritical(c.Id)) {
      NgBadChunk(c.Id);
    }
  }
  if (jdat.empty()) NgCorruptChunk(kJDAT);
  // Only 12-bit data: the JPEG library here decodes 8-bit samples.
  if (h.sampleDepth == 12) NgBadChunk(kJDAT);

  RasterImage colour;
  DecodeJpeg(jdat, colour);
  if (uint32_t(colour.Width) != h.width || uint32_t(colour.Height) != h.height) NgBadChunk(kJDAT);

  RasterImage alpha;
  if (h.HasAlpha()) {
    if (h.alphaCompression == 0 && !idat.empty()) {
      DecodeDeflatedAlpha(h, idat, alpha);
    } else if (h.alphaCompression == 8 && !jdaa.empty()) {
      DecodeJpeg(jdaa, alpha);
      if (alpha.Format != ifGray8) ImageConvert(alpha, ifGray8);
      if (uint32_t(alpha.Width) != h.width || uint32_t(alpha.Height) != h.height) NgBadChunk(kJDAA);
    } else {
      NgCorruptChunk(h.alphaCompression == 8 ? kJDAA : kIDAT);
    }
  }

  const bool gray = colour.Format == ifGray8;
  if (!h.HasAlpha()) {
    image = std::move(colour);
    return;
  }
  RasterImage out;
  const int w = colour.Width;
  ImageCreate(out, w, colour.Height, gray ? ifA8Gray8 : ifA8R8G8B8);
  for (int y = 0; y < colour.Height; ++y) {
    const uint8_t* s = colour.Row(y);
    const uint8_t* a = alpha.Row(y);
    uint8_t* d = out.Row(y);
    if (gray) {
      for (int x = 0; x < w; ++x) {
        d[2 * x] = s[x];
        d[2 * x + 1] = a[x];
      }
    } else if (colour.Format == ifR8G8B8) {
      for (int x = 0; x < w; ++x) {
        d[4 * x] = s[3 * x];
        d[4 * x + 1] = s[3 * x + 1];
        d[4 * x + 2] = s[3 * x + 2];
        d[4 * x + 3] = a[x];
      }
    } else {  // four-channel colour (CMYK data) already as A8R8G8B8
      for (int x = 0; x < w; ++x) {
        std::memcpy(d + 4 * x, s + 4 * x, 3);
        d[4 * x + 3] = a[x];
      }
    }
  }
  image = std::move(out);
}

void DecodeJng(std::span<const uint8_t> data, RasterImage& image) try {
  if (data.size() < 8 || std::memcmp(data.data(), kJngSignature, 8) != 0)
    throw EImagingError("Not a JNG file");
  TNgChunkReader reader(data.subspan(8));
  TNgChunk first = reader.Next(kJHDR);
  if (first.Id != kJHDR) NgCorruptChunk(kJHDR);
  RasterImage decoded;
  DecodeJngChunks(first, reader, decoded);
  image = std::move(decoded);
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

void WriteJngChunks(const RasterImage& image, const TJngEncodeOptions& options,
                    TNgChunkWriter& chunks) {
  if (!ImageIsValid(image) || !JngKeepsFormat(image.Format))
    throw EImagingError("JNG cannot store this image as it stands");
  const bool gray = image.Format == ifGray8 || image.Format == ifA8Gray8;
  const bool hasAlpha = image.Format == ifA8Gray8 || image.Format == ifA8R8G8B8;
  const int quality = std::clamp(options.Quality, 1, 100);
  const int w = image.Width, hgt = image.Height;

  // Colour and alpha planes.
  RasterImage colour, alpha;
  if (!hasAlpha) {
    ImageClone(image, colour);
  } else {
    ImageCreate(colour, w, hgt, gray ? ifGray8 : ifR8G8B8);
    ImageCreate(alpha, w, hgt, ifGray8);
    const int bpp = gray ? 2 : 4;
    for (int y = 0; y < hgt; ++y) {
      const uint8_t* s = image.Row(y);
      uint8_t* c = colour.Row(y);
      uint8_t* a = alpha.Row(y);
      for (int x = 0; x < w; ++x) {
        std::memcpy(c + x * (bpp - 1), s + x * bpp, size_t(bpp - 1));
        a[x] = s[x * bpp + bpp - 1];
      }
    }
  }

  uint8_t jhdr[16];
  TNgChunkWriter::StoreBE(jhdr, uint32_t(w));
  TNgChunkWriter::StoreBE(jhdr + 4, uint32_t(hgt));
  jhdr[8] = uint8_t(gray ? (hasAlpha ? 12 : 8) : (hasAlpha ? 14 : 10));
  jhdr[9] = 8;
  jhdr[10] = 8;
  jhdr[11] = options.Progressive ? 8 : 0;
  jhdr[12] = hasAlpha ? 8 : 0;
  jhdr[13] = (hasAlpha && options.LossyAlpha) ? 8 : 0;
  jhdr[14] = 0;
  jhdr[15] = 0;
  chunks.Write(kJHDR, jhdr);

  TMemoryStream jpeg;
  EncodeJpeg(colour, quality, options.Progressive, jpeg);
  WriteSplit(chunks, kJDAT, jpeg.Data());

  if (hasAlpha) {
    if (options.LossyAlpha) {
      TMemoryStream a;
      EncodeJpeg(alpha, quality, options.Progressive, a);
      WriteSplit(chunks, kJDAA, a.Data());
    } else {
      // Deflate the alpha as a gray PNG and keep its IDAT chunks.
      TMemoryStream png;
      EncodePng(alpha, TPngEncodeOptions{options.AlphaFilter, options.AlphaLevel}, png);
      TNgChunkReader r(std::span<const uint8_t>(png.Data()).subspan(8));
      while (!r.AtEnd()) {
        TNgChunk c = r.Next(kIEND);
        if (c.Id == kIDAT) chunks.Write(kIDAT, c.Data);
      }
    }
  }
  chunks.Write(kIEND, {});
}

void EncodeJng(const RasterImage& image, const TJngEncodeOptions& options, TImagingStream& out) {
  std::vector<uint8_t> bytes(kJngSignature, kJngSignature + 8);
  TNgChunkWriter chunks(bytes);
  WriteJngChunks(image, options, chunks);
  out.Write(bytes);
}

}  // namespace imprimo
