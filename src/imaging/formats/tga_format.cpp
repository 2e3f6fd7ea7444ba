// Truevision Targa files.
#include <algorithm>
#include <cstring>

#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"

namespace imprimo {

namespace {

[[noreturn]] void Bad(const char* what, EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  throw EImagingError(std::string("Invalid Targa image: ") + what, kind);
}

// Where the pixels of the file go in the image: the file stores rows bottom
// up unless the descriptor says top down, each row left to right unless it
// says right to left.
class TTgaCursor {
 public:
  TTgaCursor(RasterImage& image, uint8_t descriptor)
      : image_(image),
        bpp_(GetImageFormatInfo(image.Format)->BytesPerPixel),
        topDown_(descriptor & 0x20),
        rightToLeft_(descriptor & 0x10) {}
  bool Done() const { return row_ >= image_.Height; }
  size_t PixelsLeftInRow() const { return static_cast<size_t>(image_.Width - col_); }
  // Writes count pixels of px (count * bpp bytes) or one pixel repeated.
  void Put(const uint8_t* px, size_t count, bool repeat) {
    while (count > 0) {
      if (Done()) Bad("run-length packet runs past the image");
      const size_t n = std::min(count, PixelsLeftInRow());
      uint8_t* line = image_.Row(topDown_ ? row_ : image_.Height - 1 - row_);
      for (size_t i = 0; i < n; ++i, ++col_) {
        const int x = rightToLeft_ ? image_.Width - 1 - col_ : col_;
        std::memcpy(line + static_cast<size_t>(x) * bpp_, px, bpp_);
        if (!repeat) px += bpp_;
      }
      count -= n;
      if (col_ == image_.Width) col_ = 0, ++row_;
    }
  }

 private:
  RasterImage& image_;
  size_t bpp_;
  bool topDown_, rightToLeft_;
  int row_ = 0, col_ = 0;
};

void DecodeTgaPixels(TByteReader& r, bool rle, uint8_t descriptor, RasterImage& image) {
  TTgaCursor out(image, descriptor);
  const size_t bpp = GetImageFormatInfo(image.Format)->BytesPerPixel;
  if (!rle) {
    while (!out.Done())
      out.Put(r.Bytes(out.PixelsLeftInRow() * bpp).data(), out.PixelsLeftInRow(), false);
    return;
  }
  while (!out.Done()) {
    const uint8_t head = r.U8();
    const size_t count = (head & 0x7F) + 1;
    if (head & 0x80)
      out.Put(r.Bytes(bpp).data(), count, true);
    else
      out.Put(r.Bytes(count * bpp).data(), count, false);
  }
}

}  // namespace

RasterImage DecodeTga(std::span<const uint8_t> data) try {
  TByteReader r(data);
  const uint8_t idLength = r.U8();
  const uint8_t colorMapType = r.U8();
  const uint8_t imageType = r.U8();
  const uint16_t cmFirst = r.U16LE();
  const uint16_t cmLength = r.U16LE();
  const uint8_t cmEntrySize = r.U8();
  r.Skip(4);  // origin
  const int width = r.U16LE();
  const int height = r.U16LE();
  const uint8_t depth = r.U8();
  const uint8_t descriptor = r.U8();
  r.Skip(idLength);

  const int baseType = imageType & 7;
  const bool rle = imageType >= 9 && imageType <= 11;
  if (!((imageType >= 1 && imageType <= 3) || rle))
    Bad("unsupported image type", EImagingErrorKind::Unsupported);
  if (width == 0 || height == 0) Bad("empty image");
  if (colorMapType > 1) Bad("unknown colour map type");

  // Colour map: stored whether or not the image uses it.
  std::vector<TColor32Rec> map;
  if (colorMapType == 1) {
    if (!(cmEntrySize == 15 || cmEntrySize == 16 || cmEntrySize == 24 || cmEntrySize == 32))
      Bad("unsupported colour map entry size");
    const size_t entryBytes = (cmEntrySize + 7) / 8;
    auto bytes = r.Bytes(entryBytes * cmLength);
    map.resize(cmLength);
    for (size_t i = 0; i < cmLength; ++i) {
      const uint8_t* e = bytes.data() + i * entryBytes;
      if (entryBytes == 2) {
        uint16_t v = static_cast<uint16_t>(e[0] | e[1] << 8);
        auto c5 = [](int x) { return static_cast<uint8_t>((x << 3) | (x >> 2)); };
        map[i] = {c5(v & 31), c5((v >> 5) & 31), c5((v >> 10) & 31), 0xFF};
      } else {
        map[i] = {e[0], e[1], e[2], entryBytes == 4 ? e[3] : uint8_t{0xFF}};
      }
    }
  }

  TImageFormat format;
  if (baseType == 1) {
    if (colorMapType != 1) Bad("colour-mapped image without a colour map");
    if (depth != 8) Bad("unsupported index size");
    format = ifIndex8;
  } else if (baseType == 2) {
    const int alphaBits = descriptor & 15;
    if (depth == 15 || depth == 16)
      format = (depth == 16 && alphaBits > 0) ? ifA1R5G5B5 : ifX1R5G5B5;
    else if (depth == 24)
      format = ifR8G8B8;
    else if (depth == 32)
      format = ifA8R8G8B8;
    else
      Bad("unsupported pixel depth");
  } else {
    if (depth == 8)
      format = ifGray8;
    else if (depth == 16)
      format = ifA8Gray8;
    else
      Bad("unsupported gray depth");
  }

  const int bpp = (depth + 7) / 8;
  CheckImageLimits(width, height, format);
  const size_t pixelCount = static_cast<size_t>(width) * height;
  // A run-length packet of one header byte expands to at most 128 pixels.
  if (rle ? (r.Remaining() * 128 < pixelCount) : r.Remaining() / bpp < pixelCount)
    Bad("pixel data is truncated", EImagingErrorKind::Truncated);

  RasterImage image;
  ImageCreate(image, width, height, format);
  DecodeTgaPixels(r, rle, descriptor, image);
  if (format == ifIndex8) {
    for (size_t i = 0; i < map.size() && cmFirst + i < 256; ++i)
      image.Palette[cmFirst + i] = map[i];
    for (int32_t i = 0; i < image.Size; ++i)
      if (image.Bits[i] < cmFirst || image.Bits[i] >= cmFirst + map.size())
        Bad("pixel index outside the colour map");
  }
  if (format == ifA1R5G5B5) {
    // Many writers declare the attribute bit but leave it clear everywhere;
    // such an image is opaque, not invisible.
    bool used = false;
    for (int32_t i = 1; i < image.Size && !used; i += 2) used = (image.Bits[i] & 0x80) != 0;
    if (!used) image.Format = ifX1R5G5B5;
  }
  if (format == ifA8R8G8B8 && (descriptor & 15) == 0) {
    // Without declared alpha bits the fourth byte counts only when it is used.
    bool used = false;
    for (int32_t i = 3; i < image.Size && !used; i += 4) used = image.Bits[i] != 0;
    if (!used) image.Format = ifX8R8G8B8;
  }
  return image;
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

std::vector<uint8_t> EncodeTga(const RasterImage& image, bool rle) {
  const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
  const int w = image.Width, h = image.Height;
  const int bpp = info->BytesPerPixel;
  const bool indexed = image.Format == ifIndex8;
  bool mapAlpha = false;
  if (indexed)
    for (int i = 0; i < 256; ++i) mapAlpha = mapAlpha || image.Palette[i].A != 0xFF;

  TByteWriter out;
  out.U8(0);
  out.U8(indexed ? 1 : 0);
  const uint8_t type = indexed ? 1 : (image.Format == ifGray8 ? 3 : 2);
  out.U8(rle ? type + 8 : type);
  out.U16LE(0);
  out.U16LE(indexed ? 256 : 0);
  out.U8(indexed ? (mapAlpha ? 32 : 24) : 0);
  out.U16LE(0);
  out.U16LE(0);
  out.U16LE(static_cast<uint16_t>(w));
  out.U16LE(static_cast<uint16_t>(h));
  out.U8(image.Format == ifA1R5G5B5 ? 16 : static_cast<uint8_t>(bpp * 8));
  const uint8_t alphaBits = image.Format == ifA8R8G8B8 ? 8 : image.Format == ifA1R5G5B5 ? 1 : 0;
  out.U8(alphaBits);  // bottom-left origin
  if (indexed)
    for (int i = 0; i < 256; ++i) {
      const TColor32Rec& e = image.Palette[i];
      out.U8(e.B);
      out.U8(e.G);
      out.U8(e.R);
      if (mapAlpha) out.U8(e.A);
    }

  for (int y = h - 1; y >= 0; --y) {
    const uint8_t* row = image.Row(y);
    if (!rle) {
      out.Bytes({row, static_cast<size_t>(w) * bpp});
      continue;
    }
    // Packets stay inside one row.
    auto same = [&](int a, int b) { return std::memcmp(row + a * bpp, row + b * bpp, bpp) == 0; };
    int x = 0;
    while (x < w) {
      int run = 1;
      while (x + run < w && run < 128 && same(x, x + run)) ++run;
      if (run >= 2) {
        out.U8(static_cast<uint8_t>(0x80 | (run - 1)));
        out.Bytes({row + x * bpp, static_cast<size_t>(bpp)});
        x += run;
        continue;
      }
      int lit = 1;
      while (x + lit < w && lit < 128 && !(x + lit + 1 < w && same(x + lit, x + lit + 1))) ++lit;
      out.U8(static_cast<uint8_t>(lit - 1));
      out.Bytes({row + x * bpp, static_cast<size_t>(lit) * bpp});
      x += lit;
    }
  }
  // Version 2 footer without extension or developer areas.
  out.U32LE(0);
  out.U32LE(0);
  out.Text("TRUEVISION-XFILE.");
  out.U8(0);
  return std::move(out.Data());
}

namespace {

class TTargaFileFormat : public TSimpleFileFormat {
 public:
  TTargaFileFormat() : TSimpleFileFormat(DecodeTga) {
    SetName("Truevision Targa Image");
    AddMasks("*.tga");
    SetCapabilities(true, true, false);
    SetSupportedFormats({ifIndex8, ifGray8, ifA1R5G5B5, ifR8G8B8, ifA8R8G8B8});
    RegisterOption(ImagingTargaRLE, &rle_);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    auto h = PeekHeader(stream, 18);
    if (h.size() < 18) return false;
    const uint8_t type = h[2], depth = h[16], cm = h[7];
    return (type <= 3 || (type >= 9 && type <= 11)) &&
           (depth == 1 || depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32) &&
           (cm == 0 || cm == 16 || cm == 24 || cm == 32);
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    stream.Write(EncodeTga(*images[0], rle_ != 0));
    return true;
  }
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    TImageFormat target;
    if (info.HasGrayChannel)
      target = info.HasAlphaChannel ? ifA8R8G8B8 : ifGray8;
    else if (info.IsIndexed)
      target = ifIndex8;
    else if (info.HasAlphaChannel)
      target = ifA8R8G8B8;
    else if (info.UsePixelFormat)
      target = ifA1R5G5B5;
    else
      target = ifR8G8B8;
    ImageConvert(image, target);
  }

 private:
  int32_t rle_ = 0;
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeTargaFileFormat() {
  return std::make_unique<TTargaFileFormat>();
}

}  // namespace imprimo
