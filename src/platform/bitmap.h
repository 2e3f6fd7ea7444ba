// TBitmap: the software device-independent bitmap the working image is drawn
// on. Rows are stored top-down without padding; 1- and 4-bit rows are packed
// most significant bits first and round up to whole bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <memory>
#include <utility>
#include <vector>

namespace imprimo {

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

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

 private:
  static size_t StrideFor(TPixelFormat pf, int width);
  void DefaultPalette();

  int width_ = 0;
  int height_ = 0;
  TPixelFormat pf_ = TPixelFormat::pf24bit;
  size_t stride_ = 0;
  // Bytes that a resize leaves uninitialised; every other way of sizing the
  // bitmap fills them.
  template <typename T>
  struct TNoInitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
      using other = TNoInitAllocator<U>;
    };
    TNoInitAllocator() = default;
    template <typename U>
    TNoInitAllocator(const TNoInitAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
      ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  };
  void Reshape(TPixelFormat pf, int width, int height);

  std::vector<uint8_t, TNoInitAllocator<uint8_t>> pixels_;
  std::vector<TPaletteEntry> palette_;
};

}  // namespace imprimo
