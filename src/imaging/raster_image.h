// RasterImage: the in-memory image record of the image file layer, the pixel
// format table and the operations on single images (create, clone, convert).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace imprimo {

// Pixel format ids. The numbers are stored in option values, so they never change.
using TImageFormat = int32_t;
constexpr TImageFormat ifUnknown = 0;
constexpr TImageFormat ifDefault = 1;  // resolved to ifA8R8G8B8 wherever an image is made
constexpr TImageFormat ifIndex8 = 10;
constexpr TImageFormat ifGray8 = 40;
constexpr TImageFormat ifA8Gray8 = 41;
constexpr TImageFormat ifGray16 = 42;
constexpr TImageFormat ifGray32 = 43;
constexpr TImageFormat ifGray64 = 44;
constexpr TImageFormat ifA16Gray16 = 45;
constexpr TImageFormat ifX5R1G1B1 = 80;
constexpr TImageFormat ifR3G3B2 = 81;
constexpr TImageFormat ifR5G6B5 = 82;
constexpr TImageFormat ifA1R5G5B5 = 83;
constexpr TImageFormat ifA4R4G4B4 = 84;
constexpr TImageFormat ifX1R5G5B5 = 85;
constexpr TImageFormat ifX4R4G4B4 = 86;
constexpr TImageFormat ifR8G8B8 = 87;
constexpr TImageFormat ifA8R8G8B8 = 88;
constexpr TImageFormat ifX8R8G8B8 = 89;
constexpr TImageFormat ifR16G16B16 = 90;
constexpr TImageFormat ifA16R16G16B16 = 91;
constexpr TImageFormat ifB16G16R16 = 92;
constexpr TImageFormat ifA16B16G16R16 = 93;
constexpr TImageFormat ifR32F = 170;
constexpr TImageFormat ifA32R32G32B32F = 171;
constexpr TImageFormat ifA32B32G32R32F = 172;
constexpr TImageFormat ifR16F = 173;
constexpr TImageFormat ifA16R16G16B16F = 174;
constexpr TImageFormat ifA16B16G16R16F = 175;
constexpr TImageFormat ifDXT1 = 220;
constexpr TImageFormat ifDXT3 = 221;
constexpr TImageFormat ifDXT5 = 222;
constexpr TImageFormat ifBTC = 223;
constexpr TImageFormat ifATI1N = 224;
constexpr TImageFormat ifATI2N = 225;
constexpr TImageFormat kMaxImageFormat = 225;

// Largest image the layer allocates: each side, the pixel count and the
// bytes of one pixel buffer (or of any scratch buffer a decoder sizes from
// file data).
constexpr int32_t kMaxImageSide = 65535;
constexpr int64_t kMaxImagePixels = int64_t{1} << 28;
constexpr int64_t kMaxImageBytes = INT32_MAX;

// One palette entry, laid out B, G, R, A in memory.
struct TColor32Rec {
  uint8_t B = 0, G = 0, R = 0, A = 0;
  bool operator==(const TColor32Rec&) const = default;
};

// Description of one pixel format.
struct TImageFormatInfo {
  TImageFormat Format = ifUnknown;
  const char* Name = "";
  int BytesPerPixel = 0;  // 0 for block-compressed formats
  int ChannelCount = 0;
  int PaletteEntries = 0;  // 256 for Index8, else 0
  bool HasGrayChannel = false;
  bool HasAlphaChannel = false;
  bool IsFloatingPoint = false;
  bool UsePixelFormat = false;  // packed bit fields
  bool IsRBSwapped = false;
  bool IsIndexed = false;
  bool IsSpecial = false;  // block-compressed
  TImageFormat RBSwapFormat = ifUnknown;
  int BlockBytes = 0;                      // bytes per 4x4 block of a block-compressed format
  TImageFormat NearestFormat = ifUnknown;  // ordinary format a block format decodes to
};

// Info for a pixel format id, or nullptr for an unknown id.
const TImageFormatInfo* GetImageFormatInfo(TImageFormat format);
// Bytes a format needs for width x height pixels (block formats round up to
// whole 4x4 blocks); -1 for an unknown format or negative sizes.
int64_t GetPixelsSize(TImageFormat format, int64_t width, int64_t height);
// Ids of every known format, ascending.
const std::vector<TImageFormat>& AllImageFormats();

// What made an operation of the image layer fail: the data ends early, the
// data contradicts itself, a valid feature this layer does not handle, an
// image larger than the layer allocates, or a disk that is full.
enum class EImagingErrorKind { Other, Truncated, Invalid, Unsupported, TooLarge, NoSpace };

class EImagingError : public std::runtime_error {
 public:
  explicit EImagingError(const std::string& message,
                         EImagingErrorKind kind = EImagingErrorKind::Other)
      : std::runtime_error(message), kind_(kind) {}
  explicit EImagingError(const char* message, EImagingErrorKind kind = EImagingErrorKind::Other)
      : std::runtime_error(message), kind_(kind) {}
  EImagingErrorKind Kind() const { return kind_; }

 private:
  EImagingErrorKind kind_;
};

// The allocation gate every decoder passes before it allocates pixels. Checks,
// in this order and in 64-bit arithmetic, that neither side exceeds
// kMaxImageSide, that width x height does not exceed kMaxImagePixels and
// that the pixel bytes of format do not exceed kMaxImageBytes; throws
// EImagingError of kind TooLarge naming the check that failed. Negative
// sizes and unknown formats throw kind Invalid.
void CheckImageLimits(int64_t width, int64_t height, TImageFormat format);
// The same byte bound for a scratch buffer sized from file data.
void CheckBufferLimit(uint64_t bytes);

// Pictures up to kSmallPicturePixels may come from any amount of data; a
// larger one needs at least one byte of file for every kMaxPixelsPerByte
// pixels. That is far below what any real coding of a picture takes (a blank
// page in the best fax coding stays well under it), yet it keeps a file of a
// few bytes from making a decoder, or the library behind it, fill a giant
// picture. Every decoder whose data can stand for more pixels than a
// run-length or deflate bound would allow (library-backed ones above all)
// passes this check after CheckImageLimits.
constexpr int64_t kSmallPicturePixels = int64_t{1} << 24;
constexpr int64_t kMaxPixelsPerByte = 4096;
// The most pixels dataBytes bytes of file may stand for.
int64_t PixelsInProportion(uint64_t dataBytes);
// Throws EImagingError of kind Truncated with message when width x height
// pixels exceed PixelsInProportion(dataBytes).
void CheckDataInProportion(int64_t width, int64_t height, uint64_t dataBytes,
                           const std::string& message);

// The image record. It owns its pixel bytes and palette; it can be moved but
// not copied (ImageClone makes deep copies).
struct RasterImage {
  int32_t Width = 0;
  int32_t Height = 0;
  TImageFormat Format = ifUnknown;
  int32_t Size = 0;
  std::unique_ptr<uint8_t[]> Bits;
  std::unique_ptr<TColor32Rec[]> Palette;

  RasterImage() = default;
  RasterImage(RasterImage&&) noexcept = default;
  RasterImage& operator=(RasterImage&&) noexcept = default;
  RasterImage(const RasterImage&) = delete;
  RasterImage& operator=(const RasterImage&) = delete;

  uint8_t* Row(int y);  // start of row y of an ordinary (non-block) format
  const uint8_t* Row(int y) const;
};

// A set of images, as a multi-image file loads.
using TDynImageDataArray = std::vector<RasterImage>;

// Empties the record.
void ImageInit(RasterImage& image);
// Frees pixels and palette of a valid image, then empties the record.
void ImageFree(RasterImage& image);
// Makes a zeroed image (and a zeroed palette for indexed formats). Throws
// EImagingError for negative sizes, unknown formats, a side over 65535 or
// more than 2^28 pixels.
bool ImageCreate(RasterImage& image, int32_t width, int32_t height, TImageFormat format);
// Deep copy; false when the source is invalid.
bool ImageClone(const RasterImage& source, RasterImage& target);
bool ImageIsValid(const RasterImage& image);
// Converts in place; false when the image is invalid; throws EImagingError
// when the conversion fails (the image then keeps its old contents).
bool ImageConvert(RasterImage& image, TImageFormat format);
// "Image @%p info: ..." text used in messages.
std::string ImageDescription(const RasterImage& image);
void FreeImagesInArray(TDynImageDataArray& images);

// Block codecs plug in here: Decode turns the blocks of a width x height image
// into the pixels of the format's NearestFormat; Encode the reverse. Until a
// codec is installed, conversions from or to that format raise EImagingError.
struct TBlockCodec {
  void (*Decode)(const uint8_t* blocks, int width, int height, uint8_t* pixels) = nullptr;
  void (*Encode)(const uint8_t* pixels, int width, int height, uint8_t* blocks) = nullptr;
};
void SetBlockCodec(TImageFormat format, const TBlockCodec& codec);

}  // namespace imprimo
