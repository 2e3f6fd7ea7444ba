// TCanvas: the drawing surface of a TBitmap with a font, a brush, rectangle
// fills and block transfers that clip at both surfaces and convert pixel
// formats.
#pragma once

#include <cstdint>
#include <string>

#include "platform/bitmap.h"
#include "platform/colors.h"
#include "platform/font.h"

namespace imprimo {

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

// Font style bits, as templates store them.
constexpr uint8_t fsBold = 1;
constexpr uint8_t fsItalic = 2;
constexpr uint8_t fsUnderline = 4;
constexpr uint8_t fsStrikeOut = 8;

enum class TFontPitch : uint8_t { fpDefault = 0, fpVariable = 1, fpFixed = 2 };

// Screen resolution assumed for point sizes.
constexpr int kPixelsPerInch = 96;

class TFont {
 public:
  TFont();

  const std::string& Name() const { return logFont_.faceName; }
  void SetName(std::string name) { logFont_.faceName = std::move(name); }
  // Size in points; the height is -(points * 96 / 72) rounded to the nearest
  // whole pixel.
  int Size() const;
  void SetSize(int points);
  int Height() const { return logFont_.height; }
  void SetHeight(int height) { logFont_.height = height; }
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; }
  uint8_t CharSet() const { return logFont_.charSet; }
  void SetCharSet(uint8_t cs) { logFont_.charSet = cs; }
  uint8_t Style() const;  // fsBold | fsItalic | fsUnderline | fsStrikeOut
  void SetStyle(uint8_t style);
  TFontPitch Pitch() const;
  void SetPitch(TFontPitch pitch);

  // The full description of the font; installing a description replaces the
  // font (the colour stays).
  const TLogFont& LogFont() const { return logFont_; }
  void SetLogFont(const TLogFont& lf) { logFont_ = lf; }

  bool operator==(const TFont&) const = default;

 private:
  TLogFont logFont_;
  TColor color_ = clWindowText;
};

enum class TBrushStyle : uint8_t { bsSolid, bsClear };

struct TBrush {
  TBrushStyle Style = TBrushStyle::bsSolid;
  TColor Color = clWhite;
  bool operator==(const TBrush&) const = default;
};

// Copies a w x h block from src at (sx, sy) to dst at (dx, dy). Parts outside
// either bitmap are skipped; pixels are converted between the formats.
void BitBlt(TBitmap& dst, int dx, int dy, int w, int h, const TBitmap& src, int sx, int sy);
// Stretches the whole of src over rect of dst (nearest pixel), clipped.
void StretchBlt(TBitmap& dst, const TRect& rect, const TBitmap& src);

class TCanvas {
 public:
  explicit TCanvas(TBitmap& bitmap) : bitmap_(&bitmap) {}

  TBitmap& Bitmap() { return *bitmap_; }
  const TBitmap& Bitmap() const { return *bitmap_; }
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  TBrush& Brush() { return brush_; }
  const TBrush& Brush() const { return brush_; }

  // Fills the rectangle (clipped) with the brush colour; a clear brush fills
  // nothing.
  void FillRect(const TRect& rect);
  // Draws a bitmap at its own size with its top-left at (x, y), clipped.
  void Draw(int x, int y, const TBitmap& picture);
  void StretchDraw(const TRect& rect, const TBitmap& picture);

 private:
  TBitmap* bitmap_;
  TFont font_;
  TBrush brush_;
};

}  // namespace imprimo
