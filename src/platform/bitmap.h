// TBitmap: the software device-independent bitmap the working image is drawn
// on. Rows are stored top-down without padding; 1- and 4-bit rows are packed
// most significant bits first and round up to whole bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace imprimo {

enum class TPixelFormat {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};

// One palette entry as a logical palette holds it.
struct TPaletteEntry {
  uint8_t r = 0, g = 0, b = 0, flags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// Largest bitmap we allocate: side at most 65535, at most 2^28 pixels.
constexpr int kMaxBitmapSide = 65535;
constexpr int64_t kMaxBitmapPixels = int64_t{1} << 28;

class EBitmapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Bits per pixel of a format (0 for pfDevice/pfCustom).
int BitsPerPixel(TPixelFormat pf);

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, TPixelFormat pf) { SetFormatAndSize(pf, width, height); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  TPixelFormat PixelFormat() const { return pf_; }
  size_t BytesPerLine() const { return stride_; }

  // Resizes, keeping the pixel format. The old contents are kept where the
  // two sizes overlap; new pixels are zero.
  void SetSize(int width, int height);
  // Switches the pixel format, converting the pixels (1/4/8-bit to wider
  // formats through the palette; wider to indexed through a uniform palette).
  void SetPixelFormat(TPixelFormat pf);
  // Resets format and size at once; pixels are zero.
  void SetFormatAndSize(TPixelFormat pf, int width, int height);
  // The same for a caller that writes every pixel of every row next: the
  // pixels are left as the memory holds them (the row padding is zero).
  void SetFormatAndSizeForOverwrite(TPixelFormat pf, int width, int height);

  uint8_t* ScanLine(int y);
  const uint8_t* ScanLine(int y) const;
  uint8_t* Bits() { return pixels_.data(); }
  const uint8_t* Bits() const { return pixels_.data(); }

  // Palette of indexed formats; 2, 16 or 256 entries. Other formats keep an
  // empty palette.
  std::vector<TPaletteEntry>& Palette() { return palette_; }
  const std::vector<TPaletteEntry>& Palette() const { return palette_; }

  // Colour of one pixel as 0x00RRGGBB (alpha dropped), through the palette for
  // indexed formats. Coordinates must be inside the bitmap.
  uint32_t PixelRGB(int x, int y) const;
  // Sets one pixel from 0x00RRGGBB; indexed formats take the nearest palette
  // entry. 32-bit pixels get alpha 0 like a GDI fill would leave it.
  void SetPixelRGB(int x, int y, uint32_t rgb);

  bool operator==(const TBitmap&) const = default;

  // Takes over bits, a block from new[] holding width x height pixels of pf
  // in this bitmap's row layout (rows top-down, no padding). Any other size
  // of block is refused with EBitmapError. The palette is reset as a resize
  // does.
  void AdoptPixels(TPixelFormat pf, int width, int height, std::unique_ptr<uint8_t[]> bits,
                   size_t bytes);
  // Hands the pixel block to the caller and leaves the bitmap empty.
  std::unique_ptr<uint8_t[]> ReleasePixels();

 private:
  static size_t StrideFor(TPixelFormat pf, int width);
  void DefaultPalette();

  int width_ = 0;
  int height_ = 0;
  TPixelFormat pf_ = TPixelFormat::pf24bit;
  size_t stride_ = 0;
  void Reshape(TPixelFormat pf, int width, int height);

  // The pixel bytes: one block from new[], so that a buffer of the same
  // layout can be handed over from an image record and back without a copy.
  class TPixelBuffer {
   public:
    TPixelBuffer() = default;
    TPixelBuffer(const TPixelBuffer& other);
    TPixelBuffer& operator=(const TPixelBuffer& other);
    TPixelBuffer(TPixelBuffer&& other) noexcept
        : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)) {}
    TPixelBuffer& operator=(TPixelBuffer&& other) noexcept;
    bool operator==(const TPixelBuffer& other) const;
    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }
    size_t size() const { return size_; }
    // A fresh block of bytes whose contents are left as the memory holds
    // them, or zeroed.
    void Allocate(size_t bytes, bool zero);
    void Adopt(std::unique_ptr<uint8_t[]> data, size_t bytes);
    std::unique_ptr<uint8_t[]> Release();

   private:
    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
  };

  TPixelBuffer pixels_;
  std::vector<TPaletteEntry> palette_;
};

}  // namespace imprimo
