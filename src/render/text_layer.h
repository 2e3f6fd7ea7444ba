// Drawing one text layer of a template onto an image, and the placement of a
// layer's box at a position cell (shared with picture layers).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "render/effect_settings.h"
#include "render/mark_item.h"
#include "render/text_mask.h"
#include "render/text_variables.h"

namespace imprimo {

// Most copies a tiled layer draws; a tiny text box on a large image stops
// there instead of taking unbounded time.
constexpr int64_t kMaxTileCopies = 1'000'000;

// A placed box's top-left corner.
struct TPlacePoint {
  int x = 0, y = 0;
  bool operator==(const TPlacePoint&) const = default;
};

// Top-left corner of a w x h box in a W x H image for a position cell
// (1..9 = top-left .. bottom-right; anything else = random). Reseeds the
// process-wide random generator from the clock.
TPlacePoint PlaceInImage(int W, int H, int w, int h, int position);

// Top-left corners of the copies of a tiled w x h box with the given gaps,
// row by row from the top-left corner while inside the W x H image. A step
// that would not advance gives the single corner (0, 0); more than
// kMaxTileCopies copies give none.
std::vector<TPlacePoint> TilePositions(int W, int H, int w, int h, int horzSpace, int vertSpace);

// Paints the text layer on the canvas; true when it was drawn completely,
// false when a failure interrupted it (what was painted stays). The canvas
// keeps the layer's font and a clear brush afterwards. A non-empty texture
// fills the letters in the layer's TextureMode (the caller loads the
// layer's Texture file; without one the letters take FontColor or the
// gradient). With notes, a line is added for each thing the layer left out
// while drawn: a character with no drawable glyph (the rest is drawn), a
// size beyond the renderer's largest, a text none of whose ink falls on the
// picture.
bool DrawTextLayer(TCanvas& canvas, TMarkItem item, const std::string& fileName,
                   TExifSummary summary, int32_t sequence, const TPicture* texture = nullptr,
                   std::vector<std::string>* notes = nullptr);
// Where DrawTextLayer would put the text on bitmap, without drawing: the box
// of the (first, when tiled) copy. Drawn is false when nothing would be
// drawn (empty text, a failure); Random when the place is drawn by lot, so
// the box is one of many.
struct TTextLayerBox {
  bool Drawn = false;
  bool Tiled = false;
  bool Random = false;
  TRect Box;
};
TTextLayerBox MeasureTextLayer(TBitmap& bitmap, TMarkItem item, const std::string& fileName,
                               TExifSummary summary, int32_t sequence);

// Same on a bitmap, through a canvas made for the call.
bool DrawTextLayer(TBitmap& bitmap, TMarkItem item, const std::string& fileName,
                   TExifSummary summary, int32_t sequence, const TPicture* texture = nullptr,
                   std::vector<std::string>* notes = nullptr);

}  // namespace imprimo
