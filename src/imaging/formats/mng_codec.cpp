#include "imaging/formats/mng_codec.h"

#include <algorithm>
#include <cstring>

#include "imaging/formats/png_codec.h"

namespace imprimo {
namespace {

constexpr uint32_t kMHDR = NgChunkId("MHDR");
constexpr uint32_t kMEND = NgChunkId("MEND");
constexpr uint32_t kIHDR = NgChunkId("IHDR");
constexpr uint32_t kJHDR = NgChunkId("JHDR");
constexpr uint32_t kDHDR = NgChunkId("DHDR");
constexpr uint32_t kBASI = NgChunkId("BASI");
constexpr uint32_t kDEFI = NgChunkId("DEFI");
constexpr uint32_t kIEND = NgChunkId("IEND");
constexpr uint32_t kPLTE = NgChunkId("PLTE");
constexpr uint32_t kTRNS = NgChunkId("tRNS");
constexpr uint32_t kIDAT = NgChunkId("IDAT");

// The intrapixel differencing of filter method 64: red and blue were stored
// as differences from green.
void UndoIntrapixelDifferencing(RasterImage& img) {
  for (int y = 0; y < img.Height; ++y) {
    uint8_t* p = img.Row(y);
    switch (img.Format) {
      case ifR8G8B8:
      case ifA8R8G8B8: {
        const int bpp = img.Format == ifR8G8B8 ? 3 : 4;
        for (int x = 0; x < img.Width; ++x, p += bpp) {
          p[0] = uint8_t(p[0] + p[1]);
          p[2] = uint8_t(p[2] + p[1]);
        }
        break;
      }
      case ifR16G16B16:
      case ifA16R16G16B16: {
        const int words = img.Format == ifR16G16B16 ? 3 : 4;
        auto* q = reinterpret_cast<uint16_t*>(p);
        for (int x = 0; x < img.Width; ++x, q += words) {
          q[0] = uint16_t(q[0] + q[1]);
          q[2] = uint16_t(q[2] + q[1]);
        }
        break;
      }
      default:
        return;
    }
  }
}

struct TGlobals {
  std::vector<uint8_t> plte;
  std::vector<uint8_t> trns;
  bool havePlte = false, haveTrns = false;
};

// Rebuilds a PNG file from an embedded datastream (IHDR first) and decodes
// it; empty PLTE and tRNS chunks stand for the global ones.
void DecodeEmbeddedPng(const TNgChunk& ihdr, TNgChunkReader& reader, const TGlobals& globals,
                       RasterImage& image) {
  if (ihdr.Data.size() != 13) NgBadChunk(kIHDR);
  std::vector<uint8_t> header(ihdr.Data.begin(), ihdr.Data.end());
  const bool intrapixel = header[11] == 64;
  if (intrapixel) header[11] = 0;
  const int colourType = header[9];

  std::vector<uint8_t> png(kPngSignature, kPngSignature + 8);
  TNgChunkWriter w(png);
  w.Write(kIHDR, header);
  bool sawPlte = false, sawTrns = false, sawIend = false;
  // Stray bytes where IEND should be end the image; the PNG decoder then
  // decides whether the data before them is complete.
  while (reader.Remaining() >= 12) {
    const TNgChunk c = reader.Next(kIEND);
    if (!c.CrcOk) continue;
    if (c.Id == kIEND) {
      sawIend = true;
      break;
    }
    if (c.Id == kIDAT && colourType == 3 && !sawPlte && globals.havePlte) {
      w.Write(kPLTE, globals.plte);
      sawPlte = true;
      if (!sawTrns && globals.haveTrns) {
        w.Write(kTRNS, globals.trns);
        sawTrns = true;
      }
    }
    if (c.Id == kPLTE) {
      sawPlte = true;
      if (c.Data.empty()) {
        if (!globals.havePlte) NgBadChunk(kPLTE);
        w.Write(kPLTE, globals.plte);
        continue;
      }
    } else if (c.Id == kTRNS) {
      sawTrns = true;
      if (c.Data.empty()) {
        if (globals.haveTrns) w.Write(kTRNS, globals.trns);
        continue;
      }
    }
    w.Write(c.Id, c.Data);
  }
  if (sawIend) w.Write(kIEND, {});
  DecodePng(png, image);
  if (intrapixel) UndoIntrapixelDifferencing(image);
}

// Reads past a datastream that ends with IEND (delta images, basic images).
void SkipToIend(TNgChunkReader& reader) {
  while (!reader.AtEnd())
    if (reader.Next(kIEND).Id == kIEND) return;
}

}  // namespace

void DecodeMng(std::span<const uint8_t> data, std::vector<RasterImage>& images,
               bool onlyFirst) try {
  if (data.size() < 8 || std::memcmp(data.data(), kMngSignature, 8) != 0)
    throw EImagingError("Not an MNG file");
  TNgChunkReader reader(data.subspan(8));
  const TNgChunk mhdr = reader.Next(kMHDR);
  if (mhdr.Id != kMHDR) NgCorruptChunk(kMHDR);
  // The full header has 28 bytes; early writers stopped after 12.
  if (mhdr.Data.size() != 28 && mhdr.Data.size() != 12) NgBadChunk(kMHDR);

  // Images defined with the do-not-show flag of DEFI are objects for later
  // use; they count only when the file shows nothing else.
  std::vector<RasterImage> shown, hidden;
  TGlobals globals;
  bool doNotShow = false;
  while (!reader.AtEnd()) {
    // Stray bytes where MEND should be carry nothing once an image is in.
    if (reader.Remaining() < 12 && !(shown.empty() && hidden.empty())) break;
    const TNgChunk c = reader.Next(kMEND);
    if (!c.CrcOk) continue;
    if (c.Id == kMEND) break;
    if (c.Id == kIHDR || c.Id == kJHDR) {
      RasterImage img;
      if (c.Id == kIHDR)
        DecodeEmbeddedPng(c, reader, globals, img);
      else
        DecodeJngChunks(c, reader, img);
      (doNotShow ? hidden : shown).push_back(std::move(img));
      if (onlyFirst && !shown.empty()) break;
    } else if (c.Id == kDEFI) {
      if (c.Data.size() < 2) NgBadChunk(kDEFI);
      doNotShow = c.Data.size() >= 3 && c.Data[2] == 1;
    } else if (c.Id == kDHDR || c.Id == kBASI) {
      // Delta images change an earlier object and basic images fill one
      // from their header; neither is a stand-alone picture.
      SkipToIend(reader);
    } else if (c.Id == kPLTE) {
      if (c.Data.size() % 3 != 0 || c.Data.size() > 768) NgBadChunk(kPLTE);
      globals.plte.assign(c.Data.begin(), c.Data.end());
      globals.havePlte = !c.Data.empty();
    } else if (c.Id == kTRNS) {
      if (c.Data.size() > 256) NgBadChunk(kTRNS);
      globals.trns.assign(c.Data.begin(), c.Data.end());
      globals.haveTrns = !c.Data.empty();
    }
    // Everything else (frame, loop, object, background, text chunks) only
    // steers playback and is read past.
  }
  std::vector<RasterImage>& found = shown.empty() ? hidden : shown;
  if (found.empty()) NgCorruptChunk(kIHDR);
  const size_t count = onlyFirst ? 1 : found.size();
  for (size_t i = 0; i < count; ++i) images.push_back(std::move(found[i]));
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

void EncodeMng(const std::vector<const RasterImage*>& images, const TMngEncodeOptions& options,
               TImagingStream& out) {
  if (images.empty()) throw EImagingError("No image to write");
  uint32_t frameW = 0, frameH = 0;
  bool alpha = false;
  for (const RasterImage* img : images) {
    if (!ImageIsValid(*img)) throw EImagingError("MNG cannot store an invalid image");
    frameW = std::max(frameW, uint32_t(img->Width));
    frameH = std::max(frameH, uint32_t(img->Height));
    const TImageFormatInfo* info = GetImageFormatInfo(img->Format);
    if (info && info->HasAlphaChannel) alpha = true;
    if (img->Format == ifIndex8)
      for (int i = 0; i < 256; ++i)
        if (img->Palette[i].A != 255) alpha = true;
  }
  std::vector<uint8_t> bytes(kMngSignature, kMngSignature + 8);
  TNgChunkWriter chunks(bytes);
  uint8_t mhdr[28] = {};
  TNgChunkWriter::StoreBE(mhdr, frameW);
  TNgChunkWriter::StoreBE(mhdr + 4, frameH);
  TNgChunkWriter::StoreBE(mhdr + 8, 100);  // ticks per second
  // Layer, frame count and play time: 0 (unspecified). Simplicity profile:
  // valid, no simple or complex features, transparency and JNG as used.
  uint32_t profile = 1;
  if (alpha) profile |= 8;
  if (options.Lossy) profile |= 16;
  TNgChunkWriter::StoreBE(mhdr + 24, profile);
  chunks.Write(kMHDR, mhdr);

  for (const RasterImage* img : images) {
    if (options.Lossy) {
      WriteJngChunks(*img,
                     TJngEncodeOptions{options.Quality, options.Progressive, options.LossyAlpha,
                                       options.Filter, options.Level},
                     chunks);
    } else {
      TMemoryStream png;
      EncodePng(*img, TPngEncodeOptions{options.Filter, options.Level}, png);
      TNgChunkReader r(std::span<const uint8_t>(png.Data()).subspan(8));
      while (!r.AtEnd()) {
        const TNgChunk c = r.Next(kIEND);
        chunks.Write(c.Id, c.Data);
      }
    }
  }
  chunks.Write(kMEND, {});
  out.Write(bytes);
}

}  // namespace imprimo
