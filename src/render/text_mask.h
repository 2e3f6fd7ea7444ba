// TIAMask: an 8-bit coverage mask of a string in the renderer's font, made by
// drawing the string enlarged and averaging it back down, with the in-place
// mask effects (outline, blur, spray, mirrors).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/font.h"
#include "render/persistent.h"

namespace imprimo {

class EInvalidLine : public std::runtime_error {
 public:
  EInvalidLine() : std::runtime_error("Invalid line!") {}
};

// Raised when a string would need a mask beyond the limits below; nothing is
// drawn then.
class EMaskTooLarge : public std::runtime_error {
 public:
  EMaskTooLarge() : std::runtime_error("Text too large to draw") {}
};

// Raised when part of a string could not be drawn into a mask.
class ETextNotDrawn : public std::runtime_error {
 public:
  ETextNotDrawn() : std::runtime_error("Text could not be drawn") {}
};

// Largest mask: sides up to 65535 pixels, at most 2^25 pixels in all (the
// compositor holds two 24-bit bitmaps of the mask's size).
constexpr int kMaxMaskSide = 65535;
constexpr int64_t kMaxMaskPixels = int64_t{1} << 25;

struct TPoint {
  int x = 0, y = 0;
  bool operator==(const TPoint&) const = default;
};

class TIAFont;

// The box a w x h text cell needs when turned by an escapement (tenths of a
// degree) about its centre, and where the cell's top-left corner lands in it.
void TurnedBox(int w, int h, int escapement, TSize& size, TPoint& origin);

class TIAMask : public TPersistent {
 public:
  explicit TIAMask(TIAFont* owner = nullptr);
  const char* ClassName() const override { return "TIAMask"; }

  // Copies size, quality and data from another mask.
  void Assign(const TPersistent& source);

  uint8_t Quality() const { return quality_; }
  // Quality 0..3 gives the supersampling factor 4, 3, 2, 1.
  void SetQuality(uint8_t quality);
  int Scale() const { return scale_; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  int CanvasStride() const { return canvasStride_; }

  // Size of the mask the string needs in the owner's current font and the
  // place of the string's reference point in it.
  void TextExtent(std::u16string_view text, TSize& size, TPoint& origin);
  void Measure(std::u16string_view text, TSize& size);
  // Draws the string into a fresh mask of the given size, reference point at
  // the offset.
  void Render(std::u16string_view text, TSize size, TPoint offset);
  void Build(std::u16string_view text);
  // Characters the last Render left out because no glyph of theirs could be
  // drawn, each once.
  const std::vector<char32_t>& LeftOut() const { return leftOut_; }

  void Outline();
  void Blur(int strength);
  void Spray(int radius);
  void MirrorHorz();
  void MirrorVert();

  // Row r of the mask, 0 = top; EInvalidLine outside 0..Height()-1.
  const uint8_t* Row(int r) const;
  uint8_t* Row(int r);

  // A blank mask of the given size (effects and compositing of prepared
  // masks).
  void SetSize(int width, int height);
  bool SameData(const TIAMask& other) const;
  // Keeps only the w x h part at (x, y), which must lie inside the mask.
  void Crop(int x, int y, int w, int h);

  // Averages a supersampled canvas block-wise into mask rows, the way Render
  // does: canvas rows [y * scale, (y + rows) * scale) into mask rows
  // [y, y + rows).
  void ReduceRows(const uint8_t* canvas, std::ptrdiff_t canvasStride, int firstRow, int rows);

 private:
  TLogFont ScaledFont() const;
  bool HasCanvas() const;

  TIAFont* owner_;
  uint8_t quality_ = 1;
  int scale_ = 3;
  int width_ = 0, height_ = 0, stride_ = 0, canvasStride_ = 0;
  std::vector<uint8_t> data_;  // top row first
  std::vector<char32_t> leftOut_;
};

}  // namespace imprimo
