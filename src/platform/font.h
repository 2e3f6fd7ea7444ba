// Font engine: a font description in the classic desktop form, face lookup through fontconfig,
// shaping with HarfBuzz and anti-aliased drawing with FreeType into 8-bit
// grey buffers.
//
// Metrics follow the usual TrueType rules of the desktop: a negative height
// is the em size in pixels, a positive height the cell height; ascent and
// descent are the OS/2 win values scaled to the em; every glyph advances by a
// whole number of pixels; the cell height is ascent + descent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace imprimo {

constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr uint8_t DEFAULT_PITCH = 0;
constexpr uint8_t FIXED_PITCH = 1;
constexpr uint8_t VARIABLE_PITCH = 2;

// The description of a font, the way the platform's font objects hold it.
struct TLogFont {
  int height = 0;      // < 0: em size in pixels; > 0: cell height; 0: default size
  int width = 0;       // average character width; 0: natural
  int escapement = 0;  // tenths of a degree, counter-clockwise
  int orientation = 0;
  int weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  uint8_t charSet = 1;
  uint8_t pitchAndFamily = DEFAULT_PITCH;  // low two bits: pitch
  std::string faceName;                    // UTF-8
  bool operator==(const TLogFont&) const = default;
};

struct TSize {
  int cx = 0, cy = 0;
  bool operator==(const TSize&) const = default;
};

// Largest em size, in pixels, the engine sets a face to; larger requests are
// drawn at this size so that absurd sizes cost bounded time and memory.
constexpr int kMaxFontEmPixels = 32000;

// A destination for drawing: rows [top, top + height) of a virtual canvas of
// the given width, one grey byte per pixel.
struct TGreyTarget {
  uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int top = 0;
  std::ptrdiff_t stride = 0;
};

// The box round the ink of a string, in pixels of the unturned cell (x to
// the right and y down from the cell's top-left corner). The ink may lie
// outside the cell: accents above the ascent, overhangs left of the pen.
struct TInkBox {
  double left = 0, top = 0, right = 0, bottom = 0;
  bool empty = true;
};

class TTextLayoutImpl;

// One glyph of a layout as it stands from left to right: the index of the
// first code point (not UTF-16 unit) it shows, its pen position in whole
// pixels and the family of its face.
struct TPlacedGlyph {
  size_t cluster = 0;
  int64_t x = 0;
  std::string family;
};

// The shaped form of one string in one font. Measuring only needs the
// layout; drawing it several times (for instance band by band) reuses it.
class TTextLayout {
 public:
  TTextLayout(const TLogFont& font, std::u16string_view text);
  ~TTextLayout();
  TTextLayout(const TTextLayout&) = delete;
  TTextLayout& operator=(const TTextLayout&) = delete;

  // Advance width and cell height, unaffected by the escapement.
  TSize Extent() const;
  int Ascent() const;
  int Descent() const;
  // Bounds of the glyph outlines (underline and strike-out lie in the cell).
  TInkBox InkBox() const;
  // Draws the string in grey level `level` with the top-left of its cell at
  // (x, y) of the virtual canvas, turned by the escapement about that point.
  // False when a glyph or line that falls on the target could not be drawn
  // (an outline beyond the rasteriser's range).
  bool Draw(TGreyTarget& target, double x, double y, uint8_t level = 255) const;
  // Characters whose glyphs have neither an outline nor a bitmap to draw:
  // they are left out (their advance stays), each listed once.
  const std::vector<char32_t>& Undrawable() const;
  // The glyphs in visual order: lines are laid out by the bidirectional
  // algorithm, each run shaped in its own direction.
  std::vector<TPlacedGlyph> Glyphs() const;

 private:
  std::unique_ptr<TTextLayoutImpl> impl_;
};

// Extent of a string, like the platform's text-extent call.
TSize GetTextExtentPoint(const TLogFont& font, std::u16string_view text);

// The file and family name of the face the description resolves to (for
// diagnostics and tests).
struct TFaceInfo {
  std::string file;
  std::string family;
  bool syntheticBold = false;
  bool syntheticItalic = false;
};
TFaceInfo ResolveFace(const TLogFont& font);
// Family of the face used for a code point when the description's own face
// lacks it (the face itself when it has it); empty when no face has it.
std::string FallbackFamilyFor(const TLogFont& font, char32_t codePoint);

}  // namespace imprimo
