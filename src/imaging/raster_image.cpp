#include "imaging/raster_image.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "imaging/pixel_convert.h"

namespace imprimo {

namespace {

struct TFormatRow {
  TImageFormat id;
  const char* name;
  int bpp;
  int channels;
  int palette;
  const char* flags;
  TImageFormat partner;
  int blockBytes;
  TImageFormat nearest;
};

// One row per pixel format; flags: G gray, A alpha, F floating point, P packed,
// S red/blue swapped, I indexed, X block-compressed.
constexpr TFormatRow kFormatRows[] = {
    {ifIndex8, "Index8", 1, 1, 256, "I", 0, 0, 0},
    {ifGray8, "Gray8", 1, 1, 0, "G", 0, 0, 0},
    {ifA8Gray8, "A8Gray8", 2, 2, 0, "GA", 0, 0, 0},
    {ifGray16, "Gray16", 2, 1, 0, "G", 0, 0, 0},
    {ifGray32, "Gray32", 4, 1, 0, "G", 0, 0, 0},
    {ifGray64, "Gray64", 8, 1, 0, "G", 0, 0, 0},
    {ifA16Gray16, "A16Gray16", 4, 2, 0, "GA", 0, 0, 0},
    {ifX5R1G1B1, "X5R1G1B1", 1, 3, 0, "P", 0, 0, 0},
    {ifR3G3B2, "R3G3B2", 1, 3, 0, "P", 0, 0, 0},
    {ifR5G6B5, "R5G6B5", 2, 3, 0, "P", 0, 0, 0},
    {ifA1R5G5B5, "A1R5G5B5", 2, 4, 0, "PA", 0, 0, 0},
    {ifA4R4G4B4, "A4R4G4B4", 2, 4, 0, "PA", 0, 0, 0},
    {ifX1R5G5B5, "X1R5G5B5", 2, 3, 0, "P", 0, 0, 0},
    {ifX4R4G4B4, "X4R4G4B4", 2, 3, 0, "P", 0, 0, 0},
    {ifR8G8B8, "R8G8B8", 3, 3, 0, "", 0, 0, 0},
    {ifA8R8G8B8, "A8R8G8B8", 4, 4, 0, "A", 0, 0, 0},
    {ifX8R8G8B8, "X8R8G8B8", 4, 3, 0, "", 0, 0, 0},
    {ifR16G16B16, "R16G16B16", 6, 3, 0, "", ifB16G16R16, 0, 0},
    {ifA16R16G16B16, "A16R16G16B16", 8, 4, 0, "A", ifA16B16G16R16, 0, 0},
    {ifB16G16R16, "B16G16R16", 6, 3, 0, "S", ifR16G16B16, 0, 0},
    {ifA16B16G16R16, "A16B16G16R16", 8, 4, 0, "AS", ifA16R16G16B16, 0, 0},
    {ifR32F, "R32F", 4, 1, 0, "F", 0, 0, 0},
    {ifA32R32G32B32F, "A32R32G32B32F", 16, 4, 0, "AF", ifA32B32G32R32F, 0, 0},
    {ifA32B32G32R32F, "A32B32G32R32F", 16, 4, 0, "AFS", ifA32R32G32B32F, 0, 0},
    {ifR16F, "R16F", 2, 1, 0, "F", 0, 0, 0},
    {ifA16R16G16B16F, "A16R16G16B16F", 8, 4, 0, "AF", ifA16B16G16R16F, 0, 0},
    {ifA16B16G16R16F, "A16B16G16R16F", 8, 4, 0, "AFS", ifA16R16G16B16F, 0, 0},
    {ifDXT1, "DXT1", 0, 4, 0, "AX", 0, 8, ifA8R8G8B8},
    {ifDXT3, "DXT3", 0, 4, 0, "AX", 0, 16, ifA8R8G8B8},
    {ifDXT5, "DXT5", 0, 4, 0, "AX", 0, 16, ifA8R8G8B8},
    {ifBTC, "BTC", 0, 1, 0, "X", 0, 4, ifGray8},
    {ifATI1N, "ATI1N", 0, 1, 0, "X", 0, 8, ifGray8},
    {ifATI2N, "ATI2N", 0, 2, 0, "X", 0, 16, ifA8R8G8B8},
};

struct TFormatTable {
  std::array<TImageFormatInfo, kMaxImageFormat + 1> infos{};
  std::array<bool, kMaxImageFormat + 1> known{};
  std::vector<TImageFormat> ids;
  TFormatTable() {
    for (const TFormatRow& r : kFormatRows) {
      TImageFormatInfo& i = infos[r.id];
      i.Format = r.id;
      i.Name = r.name;
      i.BytesPerPixel = r.bpp;
      i.ChannelCount = r.channels;
      i.PaletteEntries = r.palette;
      std::string_view f = r.flags;
      i.HasGrayChannel = f.find('G') != f.npos;
      i.HasAlphaChannel = f.find('A') != f.npos;
      i.IsFloatingPoint = f.find('F') != f.npos;
      i.UsePixelFormat = f.find('P') != f.npos;
      i.IsRBSwapped = f.find('S') != f.npos;
      i.IsIndexed = f.find('I') != f.npos;
      i.IsSpecial = f.find('X') != f.npos;
      i.RBSwapFormat = r.partner;
      i.BlockBytes = r.blockBytes;
      i.NearestFormat = r.nearest;
      known[r.id] = true;
      ids.push_back(r.id);
    }
  }
};

const TFormatTable& Table() {
  static const TFormatTable table;
  return table;
}

std::string FormatNameOrId(TImageFormat format) {
  if (const TImageFormatInfo* info = GetImageFormatInfo(format)) return info->Name;
  return std::to_string(format);
}

std::string WithThousands(int64_t v) {
  std::string digits = std::to_string(v);
  std::string out;
  int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0 && digits[i - 1] != '-') out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

const TImageFormatInfo* GetImageFormatInfo(TImageFormat format) {
  if (format == ifDefault) format = ifA8R8G8B8;
  if (format <= 0 || format > kMaxImageFormat || !Table().known[format]) return nullptr;
  return &Table().infos[format];
}

const std::vector<TImageFormat>& AllImageFormats() { return Table().ids; }

int64_t GetPixelsSize(TImageFormat format, int64_t width, int64_t height) {
  const TImageFormatInfo* info = GetImageFormatInfo(format);
  if (!info || width < 0 || height < 0) return -1;
  if (info->IsSpecial) return ((width + 3) / 4) * ((height + 3) / 4) * info->BlockBytes;
  return width * height * info->BytesPerPixel;
}

void CheckImageLimits(int64_t width, int64_t height, TImageFormat format) {
  char buf[200];
  if (width < 0 || height < 0) {
    std::snprintf(buf, sizeof buf, "Invalid image size %" PRId64 " x %" PRId64 ".", width, height);
    throw EImagingError(buf, EImagingErrorKind::Invalid);
  }
  if (width > kMaxImageSide || height > kMaxImageSide) {
    std::snprintf(buf, sizeof buf,
                  "Image side too large: %" PRId64 " x %" PRId64 " (at most %d per side).", width,
                  height, kMaxImageSide);
    throw EImagingError(buf, EImagingErrorKind::TooLarge);
  }
  // Both sides are at most 65535 here, so the product cannot overflow.
  if (width * height > kMaxImagePixels) {
    std::snprintf(buf, sizeof buf,
                  "Image has too many pixels: %" PRId64 " x %" PRId64 " (at most %" PRId64 ").",
                  width, height, kMaxImagePixels);
    throw EImagingError(buf, EImagingErrorKind::TooLarge);
  }
  const int64_t bytes = GetPixelsSize(format == ifDefault ? ifA8R8G8B8 : format, width, height);
  if (bytes < 0) {
    std::snprintf(buf, sizeof buf, "Unknown pixel format %d.", static_cast<int>(format));
    throw EImagingError(buf, EImagingErrorKind::Invalid);
  }
  if (bytes > kMaxImageBytes) {
    std::snprintf(buf, sizeof buf,
                  "Image data too large: %" PRId64 " x %" PRId64 " needs %" PRId64 " bytes.", width,
                  height, bytes);
    throw EImagingError(buf, EImagingErrorKind::TooLarge);
  }
}

void CheckBufferLimit(uint64_t bytes) {
  if (bytes > static_cast<uint64_t>(kMaxImageBytes)) {
    char buf[120];
    std::snprintf(buf, sizeof buf, "Data buffer too large: %" PRIu64 " bytes.", bytes);
    throw EImagingError(buf, EImagingErrorKind::TooLarge);
  }
}

int64_t PixelsInProportion(uint64_t dataBytes) {
  if (dataBytes > static_cast<uint64_t>(INT64_MAX / kMaxPixelsPerByte)) return INT64_MAX;
  return std::max(kSmallPicturePixels, static_cast<int64_t>(dataBytes) * kMaxPixelsPerByte);
}

void CheckDataInProportion(int64_t width, int64_t height, uint64_t dataBytes,
                           const std::string& message) {
  // Compared by division, so any sizes are safe here.
  if (width > 0 && height > 0 && width > PixelsInProportion(dataBytes) / height)
    throw EImagingError(message, EImagingErrorKind::Truncated);
}

uint8_t* RasterImage::Row(int y) {
  return Bits.get() + static_cast<size_t>(y) * Width * GetImageFormatInfo(Format)->BytesPerPixel;
}
const uint8_t* RasterImage::Row(int y) const {
  return Bits.get() + static_cast<size_t>(y) * Width * GetImageFormatInfo(Format)->BytesPerPixel;
}

void ImageInit(RasterImage& image) {
  image.Width = image.Height = image.Format = image.Size = 0;
  image.Bits.reset();
  image.Palette.reset();
}

bool ImageIsValid(const RasterImage& image) {
  const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
  if (!info || image.Format == ifDefault) return false;
  if (image.Width < 0 || image.Height < 0) return false;
  if (GetPixelsSize(image.Format, image.Width, image.Height) != image.Size) return false;
  if (image.Size > 0 && !image.Bits) return false;
  if (info->IsIndexed && !image.Palette) return false;
  return true;
}

void ImageFree(RasterImage& image) {
  // A record that is not valid holds nothing we can trust the size of; its
  // owned buffers are still released by emptying it.
  ImageInit(image);
}

void FreeImagesInArray(TDynImageDataArray& images) { images.clear(); }

namespace {

// Photo-sized buffers fault in far faster as large pages; the advice is only
// a hint and is ignored where unsupported.
void AdviseLargePages(uint8_t* p, size_t bytes) {
  constexpr size_t kLarge = size_t{2} << 20;
  if (bytes < 2 * kLarge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kLarge - 1) & ~(kLarge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kLarge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void CreateImage(RasterImage& image, int32_t width, int32_t height, TImageFormat format,
                 bool zeroPixels) {
  if (format == ifDefault) format = ifA8R8G8B8;
  const TImageFormatInfo* info = GetImageFormatInfo(format);
  try {
    CheckImageLimits(width, height, format);
  } catch (const EImagingError& e) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "Error while creating image data with params: Width=%d Height=%d Format=%s.",
                  width, height, FormatNameOrId(format).c_str());
    throw EImagingError(buf, e.Kind());
  }
  const int64_t size = GetPixelsSize(format, width, height);
  RasterImage fresh;
  fresh.Width = width;
  fresh.Height = height;
  fresh.Format = format;
  fresh.Size = static_cast<int32_t>(size);
  try {
    const size_t bytes = size > 0 ? static_cast<size_t>(size) : 1;
    fresh.Bits.reset(new uint8_t[bytes]);
    AdviseLargePages(fresh.Bits.get(), bytes);
    if (zeroPixels) std::memset(fresh.Bits.get(), 0, bytes);
    if (info->PaletteEntries > 0) fresh.Palette.reset(new TColor32Rec[info->PaletteEntries]());
  } catch (const std::bad_alloc&) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "Error while creating image data with params: Width=%d Height=%d Format=%s.",
                  width, height, info->Name);
    throw EImagingError(buf, EImagingErrorKind::TooLarge);
  }
  image = std::move(fresh);
}

}  // namespace

bool ImageCreate(RasterImage& image, int32_t width, int32_t height, TImageFormat format) {
  CreateImage(image, width, height, format, true);
  return true;
}

void ImageCreateForOverwrite(RasterImage& image, int32_t width, int32_t height,
                             TImageFormat format) {
  CreateImage(image, width, height, format, false);
}

bool ImageClone(const RasterImage& source, RasterImage& target) {
  if (!ImageIsValid(source)) return false;
  if (&source == &target) return true;
  try {
    RasterImage copy;
    ImageCreate(copy, source.Width, source.Height, source.Format);
    if (source.Size > 0) std::memcpy(copy.Bits.get(), source.Bits.get(), source.Size);
    if (const int n = GetImageFormatInfo(source.Format)->PaletteEntries; n > 0)
      std::memcpy(copy.Palette.get(), source.Palette.get(), n * sizeof(TColor32Rec));
    target = std::move(copy);
  } catch (const std::exception& e) {
    throw EImagingError(std::string("Error while cloning image. ") + ImageDescription(source) +
                        " Exception Message: " + e.what());
  }
  return true;
}

std::string ImageDescription(const RasterImage& image) {
  const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
  std::string fmt = info ? info->Name : "Unknown";
  int64_t size = image.Size;
  const char* unit = "B";
  if (size > 8192) {
    size /= 1024;
    unit = "KiB";
  }
  char buf[400];
  std::snprintf(buf, sizeof buf,
                "Image @%p info: Width = %dpx, Height = %dpx, Format = %s, Size = %s %s, Bits @%p, "
                "Palette @%p.",
                static_cast<const void*>(&image), image.Width, image.Height, fmt.c_str(),
                WithThousands(size).c_str(), unit, static_cast<const void*>(image.Bits.get()),
                static_cast<const void*>(image.Palette.get()));
  return buf;
}

}  // namespace imprimo
