// TIABlend: paints a coverage mask onto the renderer's target canvas in one
// colour or in the colours of a foreground bitmap, at an opacity.
#pragma once

#include <stdexcept>

#include "platform/bitmap.h"
#include "platform/colors.h"
#include "render/persistent.h"
#include "render/text_mask.h"

namespace imprimo {

class EInvalidForeBmp : public std::runtime_error {
 public:
  EInvalidForeBmp() : std::runtime_error("Invalid foreground bitmap!") {}
};

class TIAFont;

class TIABlend : public TPersistent {
 public:
  explicit TIABlend(TIAFont* owner = nullptr);
  const char* ClassName() const override { return "TIABlend"; }
  // Copies the source's foreground bitmap.
  void Assign(const TPersistent& source);

  TBitmap& Foreground() { return foreground_; }
  const TBitmap& Foreground() const { return foreground_; }

  // Paints the mask with its top-left at (x, y) of the target; opacity is a
  // percentage (values above 100 count as 100). On a 32-bit target the
  // colour is laid over each pixel: opaque pixels stay opaque, transparent
  // ones take the colour with the coverage as alpha.
  void PaintColor(int x, int y, const TIAMask& mask, int opacity, TColor color);
  // Like PaintColor with each pixel's colour taken from the foreground, which
  // must be a 24-bit bitmap of exactly the mask's size.
  void PaintForeground(int x, int y, const TIAMask& mask, int opacity);

 private:
  void Paint(int x, int y, const TIAMask& mask, int opacity, const TRGB* color);

  TIAFont* owner_;
  TBitmap foreground_{0, 0, TPixelFormat::pf24bit};
  // Scratch copy of the target's pixels under the mask; 32-bit targets are
  // blended in place instead so that their alpha is kept.
  TBitmap work_{0, 0, TPixelFormat::pf24bit};
};

}  // namespace imprimo
