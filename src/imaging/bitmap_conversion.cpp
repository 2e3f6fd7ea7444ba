#include "imaging/bitmap_conversion.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "imaging/pixel_convert.h"

namespace imprimo {

namespace {

bool BitmapFormatOf(TImageFormat format, TPixelFormat& pf) {
  switch (format) {
    case ifIndex8:
      pf = TPixelFormat::pf8bit;
      return true;
    case ifR5G6B5:
      pf = TPixelFormat::pf16bit;
      return true;
    case ifR8G8B8:
      pf = TPixelFormat::pf24bit;
      return true;
    case ifA8R8G8B8:
    case ifX8R8G8B8:
      pf = TPixelFormat::pf32bit;
      return true;
    default:
      return false;
  }
}

bool ImageFormatOf(TPixelFormat pf, TImageFormat& format) {
  switch (pf) {
    case TPixelFormat::pf8bit:
      format = ifIndex8;
      return true;
    case TPixelFormat::pf15bit:
      format = ifA1R5G5B5;
      return true;
    case TPixelFormat::pf16bit:
      format = ifR5G6B5;
      return true;
    case TPixelFormat::pf24bit:
      format = ifR8G8B8;
      return true;
    case TPixelFormat::pf32bit:
      format = ifA8R8G8B8;
      return true;
    default:
      return false;
  }
}

// True when a palette entry that some pixel uses is not fully opaque.
bool IndexedHasTransparency(const RasterImage& image) {
  const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
  if (!info->IsIndexed || !image.Palette || info->BytesPerPixel != 1) return false;
  bool used[256] = {};
  for (int y = 0; y < image.Height; ++y) {
    const uint8_t* row = image.Row(y);
    for (int x = 0; x < image.Width; ++x) used[row[x]] = true;
  }
  const int entries = std::min(info->PaletteEntries, 256);
  for (int i = 0; i < entries; ++i)
    if (used[i] && image.Palette[i].A != 0xFF) return true;
  return false;
}

// Fills copy with image converted to target and finds its bitmap format.
const RasterImage* ConvertedCopy(const RasterImage& image, TImageFormat target, RasterImage& copy,
                                 TPixelFormat& pf) {
  ImageClone(image, copy);
  ImageConvert(copy, target);
  if (!BitmapFormatOf(copy.Format, pf))
    throw EImagingError("Cannot find compatible bitmap format for image " +
                        ImageDescription(image));
  return &copy;
}

}  // namespace

void ImageToBitmap(const RasterImage& image, TBitmap& bitmap) {
  if (!ImageIsValid(image))
    throw EImagingError("Cannot find compatible bitmap format for image " +
                        ImageDescription(image));
  TPixelFormat pf;
  RasterImage copy;
  const RasterImage* src = &image;
  const TImageFormatInfo* srcInfo = GetImageFormatInfo(image.Format);
  if (srcInfo->IsIndexed || srcInfo->HasGrayChannel) {
    // Palette and gray pictures are drawn on in true colour, so coloured and
    // anti-aliased marks keep their colours; a palette with transparent
    // entries keeps them as alpha.
    const TImageFormat target =
        IndexedHasTransparency(image) || srcInfo->HasAlphaChannel ? ifA8R8G8B8 : ifR8G8B8;
    src = ConvertedCopy(image, target, copy, pf);
  } else if (!BitmapFormatOf(image.Format, pf)) {
    const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
    TImageFormat target;
    if (info->IsFloatingPoint || info->HasAlphaChannel || info->IsSpecial)
      target = ifA8R8G8B8;
    else if (info->IsIndexed || info->HasGrayChannel)
      target = ifIndex8;
    else if (info->UsePixelFormat)
      target = ifR5G6B5;
    else
      target = ifR8G8B8;
    src = ConvertedCopy(image, target, copy, pf);
  }
  try {
    // Every row is copied in below.
    bitmap.SetFormatAndSizeForOverwrite(pf, src->Width, src->Height);
  } catch (const std::exception& e) {
    throw EImagingError("Cannot find compatible bitmap format for image " +
                        ImageDescription(image) + " Exception Message: " + e.what());
  }
  if (pf == TPixelFormat::pf8bit) {
    auto& pal = bitmap.Palette();
    pal.assign(256, TPaletteEntry{});
    for (int i = 0; i < 256; ++i)
      pal[i] = {src->Palette[i].R, src->Palette[i].G, src->Palette[i].B, 0};
  }
  const size_t line =
      static_cast<size_t>(src->Width) * GetImageFormatInfo(src->Format)->BytesPerPixel;
  for (int y = 0; y < src->Height; ++y) std::memcpy(bitmap.ScanLine(y), src->Row(y), line);
  if (src->Format == ifX8R8G8B8) {
    // The fourth byte of these pixels is padding, not alpha: on the 32-bit
    // bitmap it would be read as alpha, so the picture is made opaque.
    for (int y = 0; y < src->Height; ++y) {
      uint8_t* p = bitmap.ScanLine(y);
      for (int x = 0; x < src->Width; ++x) p[4 * x + 3] = 0xFF;
    }
  }
}

void BitmapToImage(TBitmap& bitmap, RasterImage& image) {
  TImageFormat format;
  if (!ImageFormatOf(bitmap.PixelFormat(), format)) {
    const TPixelFormat pf = bitmap.PixelFormat();
    if (pf == TPixelFormat::pfCustom)
      bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    else if (pf == TPixelFormat::pfDevice || pf == TPixelFormat::pf1bit ||
             pf == TPixelFormat::pf4bit)
      bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    if (!ImageFormatOf(bitmap.PixelFormat(), format)) {
      char buf[80];
      std::snprintf(buf, sizeof buf, "Cannot find compatible data format for bitmap %p",
                    static_cast<const void*>(&bitmap));
      throw EImagingError(buf);
    }
  }
  RasterImage result;
  // Every row is copied in below; a record with more bytes than its rows
  // hold starts zeroed.
  ImageCreateForOverwrite(result, bitmap.Width(), bitmap.Height(), format);
  const size_t rowBytes =
      static_cast<size_t>(result.Width) * GetImageFormatInfo(format)->BytesPerPixel;
  if (static_cast<size_t>(result.Size) != rowBytes * static_cast<size_t>(result.Height))
    std::memset(result.Bits.get(), 0, static_cast<size_t>(std::max(result.Size, 1)));
  if (format == ifIndex8) {
    const auto& pal = bitmap.Palette();
    for (size_t i = 0; i < pal.size() && i < 256; ++i)
      result.Palette[i] = {pal[i].b, pal[i].g, pal[i].r, 0xFF};
  }
  const size_t line = static_cast<size_t>(result.Width) * GetImageFormatInfo(format)->BytesPerPixel;
  for (int y = 0; y < result.Height; ++y) std::memcpy(result.Row(y), bitmap.ScanLine(y), line);
  image = std::move(result);
}

void MoveImageToBitmap(RasterImage& image, TBitmap& bitmap) {
  const bool handOver =
      ImageIsValid(image) && image.Width > 0 && image.Height > 0 &&
      (image.Format == ifR8G8B8 || image.Format == ifA8R8G8B8 || image.Format == ifX8R8G8B8);
  if (!handOver) {
    ImageToBitmap(image, bitmap);
    ImageFree(image);
    return;
  }
  const TPixelFormat pf = image.Format == ifR8G8B8 ? TPixelFormat::pf24bit : TPixelFormat::pf32bit;
  const bool padding = image.Format == ifX8R8G8B8;
  try {
    bitmap.AdoptPixels(pf, image.Width, image.Height, std::move(image.Bits),
                       static_cast<size_t>(image.Size));
  } catch (const std::exception& e) {
    ImageFree(image);
    throw EImagingError(std::string("Cannot find compatible bitmap format for image. ") +
                        "Exception Message: " + e.what());
  }
  ImageFree(image);
  if (padding) {
    // As in ImageToBitmap: the padding byte is not alpha.
    for (int y = 0; y < bitmap.Height(); ++y) {
      uint8_t* p = bitmap.ScanLine(y);
      for (int x = 0; x < bitmap.Width(); ++x) p[4 * x + 3] = 0xFF;
    }
  }
}

void MoveBitmapToImage(TBitmap& bitmap, RasterImage& image) {
  const TPixelFormat pf = bitmap.PixelFormat();
  if ((pf != TPixelFormat::pf24bit && pf != TPixelFormat::pf32bit) || bitmap.Empty()) {
    BitmapToImage(bitmap, image);
    bitmap = TBitmap();
    return;
  }
  const TImageFormat format = pf == TPixelFormat::pf24bit ? ifR8G8B8 : ifA8R8G8B8;
  const int64_t bytes = GetPixelsSize(format, bitmap.Width(), bitmap.Height());
  if (bytes != static_cast<int64_t>(bitmap.BytesPerLine()) * bitmap.Height() || bytes > INT32_MAX) {
    BitmapToImage(bitmap, image);
    bitmap = TBitmap();
    return;
  }
  RasterImage result;
  result.Width = bitmap.Width();
  result.Height = bitmap.Height();
  result.Format = format;
  result.Size = static_cast<int32_t>(bytes);
  result.Bits = bitmap.ReleasePixels();
  bitmap = TBitmap();
  image = std::move(result);
}

}  // namespace imprimo
