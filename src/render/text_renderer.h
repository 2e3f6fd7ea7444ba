// TIAFont measures strings in the font of a target canvas; TIAFontEx draws
// them with every effect of its TIAEffect (rotation, outline, spray, mirrors,
// shadow, blur, gradient, texture or noise fills, opacity).
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/canvas.h"
#include "render/effect_settings.h"
#include "render/mask_blend.h"
#include "render/text_mask.h"

namespace imprimo {

class TIAFont : public TPersistent {
 public:
  explicit TIAFont(TCanvas* canvas);
  ~TIAFont() override;
  const char* ClassName() const override { return "TIAFont"; }

  TCanvas* Canvas() const { return canvas_; }
  TIAMask& Mask() { return *mask_; }
  TIABlend& Blend() { return *blend_; }
  void SetQuality(uint8_t quality) { mask_->SetQuality(quality); }

  // Size of the box the string occupies when drawn.
  virtual void TextExtent(std::u16string_view text, TSize& size);
  int TextWidth(std::u16string_view text);
  int TextHeight(std::u16string_view text);

 private:
  TCanvas* canvas_;
  std::unique_ptr<TIAMask> mask_;
  std::unique_ptr<TIABlend> blend_;
};

class TIAFontEx : public TIAFont {
 public:
  explicit TIAFontEx(TCanvas* canvas);
  ~TIAFontEx() override;
  const char* ClassName() const override { return "TIAFontEx"; }

  TIAEffect& Effect() { return *effect_; }

  // Rotation and shadow included.
  void TextExtent(std::u16string_view text, TSize& size) override;
  // Draws the string with every effect; (x, y) is the top-left of the box
  // TextExtent measures.
  void TextOut(int x, int y, std::u16string_view text);

  // When the same string is drawn again with the same font and mask effects
  // and no spray, the finished masks of the previous draw are used again
  // instead of being rebuilt (the result is the same). On by default.
  void SetMaskReuse(bool on) { reuse_ = on; }
  // Masks of more pixels than this (or beyond the mask limits) are drawn in
  // tiles of at most about this many pixels, only where they fall on the
  // canvas. The default is the mask limit.
  void SetTileLimit(int64_t pixels) {
    tileLimit_ = std::clamp<int64_t>(pixels, 64, kMaxMaskPixels);
  }

  // Whether any covered pixel of the text or its shadow has fallen on the
  // canvas since the renderer was made.
  bool InkOnCanvas() const { return inkOnCanvas_; }
  // Characters left out of the drawn strings because none of their glyphs
  // could be drawn, each once, in the order met.
  const std::vector<char32_t>& LeftOut() const { return leftOut_; }

  // Foreground fills of the compositor, sized to the mask.
  void FillGradient();
  void FillNoise();
  void AddNoise(int amount);
  void FillTexture();

 private:
  struct MaskKey {
    std::u16string text;
    TLogFont font;
    uint8_t quality;
    bool outline, horzMirror, vertMirror, shadow;
    uint8_t shadowBlur, blur;
    bool operator==(const MaskKey&) const = default;
  };

  // Draws a string whose mask is beyond the mask limits: only the parts of
  // the shadow and text boxes that fall on the canvas are built, tile by
  // tile, each with a margin that keeps the effects right at the seams.
  void TextOutInTiles(int tx, int ty, int sx, int sy, TSize full, std::u16string_view text);
  // Builds the part [x0, x1) x [y0, y1) of the full mask into Mask(), with
  // the outline, spray and mirror effects.
  void BuildWindow(std::u16string_view text, TSize full, int x0, int y0, int x1, int y1);

  // Notes what the mask about to be painted at (x, y) puts on the canvas,
  // and the characters its drawing left out.
  void NoteInk(const TIAMask& mask, int x, int y);
  void NoteLeftOut(const TIAMask& mask);

  std::unique_ptr<TIAEffect> effect_;
  bool inkOnCanvas_ = false;
  std::vector<char32_t> leftOut_;
  // While a tile is painted, the fills lay out their colours for the whole
  // box (fillFull_) and the mask is its part at fillAt_; otherwise the mask
  // is the whole box.
  TSize fillFull_;
  TPoint fillAt_;
  int64_t tileLimit_ = kMaxMaskPixels;
  bool reuse_ = true;
  std::optional<MaskKey> cachedKey_;
  TIAMask cachedText_;
  TIAMask cachedShadow_;
};

}  // namespace imprimo
