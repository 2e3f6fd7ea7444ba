// TBitmap32: a 32-bit ARGB bitmap with a per-pixel alpha channel that is not
// premultiplied. Logos live in it, and it does the alpha blending of picture
// layers onto the working image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"

namespace imprimo {

// How Draw puts a bitmap's pixels onto another bitmap.
enum class TDrawMode { dmOpaque, dmBlend };
// How a blended pixel is combined with the destination (only blending exists).
enum class TCombineMode { cmBlend };

// A pixel value 0xAARRGGBB; in memory the bytes B, G, R, A.
using TColor32 = uint32_t;

// The opaque pixel value of a TColor (0x00BBGGRR, negative = system colour).
TColor32 Color32(int32_t color);

class TBitmap32 {
 public:
  TBitmap32() = default;
  TBitmap32(int width, int height) { SetSize(width, height); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }

  // Resets the size; every pixel becomes 0 (transparent black). Sizes over the
  // bitmap limits throw EBitmapError; a zero side gives an empty bitmap.
  void SetSize(int width, int height);

  TColor32* Bits() { return pixels_.data(); }
  const TColor32* Bits() const { return pixels_.data(); }
  TColor32* ScanLine(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const TColor32* ScanLine(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
  TColor32 Pixel(int x, int y) const { return ScanLine(y)[x]; }
  void SetPixel(int x, int y, TColor32 c) { ScanLine(y)[x] = c; }

  TDrawMode DrawMode() const { return drawMode_; }
  void SetDrawMode(TDrawMode mode) { drawMode_ = mode; }
  uint8_t MasterAlpha() const { return masterAlpha_; }
  void SetMasterAlpha(uint8_t alpha) { masterAlpha_ = alpha; }
  TCombineMode CombineMode() const { return combineMode_; }
  void SetCombineMode(TCombineMode mode) { combineMode_ = mode; }

  // Copying a TBitmap32 takes its size, pixels, draw mode, combine mode and
  // master alpha (the defaulted copy operations do exactly that).

  // Takes the size and pixels of a platform bitmap. Every alpha becomes 255
  // unless the source is 32-bit, whose fourth byte is kept.
  void AssignFrom(const TBitmap& source);
  // Makes target a 32-bit bitmap of the same size with the same pixels,
  // alpha included.
  void AssignTo(TBitmap& target) const;

  void FlipHorz();
  void FlipVert();

  // Puts source onto this bitmap with its top-left at (x, y), clipped to this
  // bitmap, by the source's draw mode and master alpha.
  void Draw(int x, int y, const TBitmap32& source);
  // The same onto width x height pixels laid out like a TBitmap32 (a 32-bit
  // platform bitmap's rows are), so that one can be drawn on without a copy.
  static void DrawOnto(TColor32* pixels, int width, int height, int x, int y,
                       const TBitmap32& source);

  // Resamples to width x height with the linear filter; draw mode and master
  // alpha are kept. False when the resize failed (the bitmap is unchanged).
  bool Resize(int width, int height);

  bool operator==(const TBitmap32&) const = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<TColor32> pixels_;
  TDrawMode drawMode_ = TDrawMode::dmOpaque;
  uint8_t masterAlpha_ = 255;
  TCombineMode combineMode_ = TCombineMode::cmBlend;
};

// Row y of a platform bitmap of any format as 32-bit pixels (width values):
// palette colours looked up, alpha 255 unless the bitmap is 32-bit.
void BitmapRowToColor32(const TBitmap& source, int y, TColor32* row);

// Blends one source pixel of alpha-bearing colour src onto dst with the master
// alpha ("over", straight alpha): an opaque dst stays opaque, a transparent
// one takes the source's colour and effective alpha. Exposed for the tests
// and the tight loops of Draw.
TColor32 BlendPixel(TColor32 src, TColor32 dst, uint8_t masterAlpha);

}  // namespace imprimo
