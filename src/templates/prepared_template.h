// A template read once into typed layers, with the logos and textures its
// layers draw loaded and readied, and the painting of those layers on a
// picture. Nothing in a prepared template changes while it is painted, so
// one is shared, read-only, by every picture of a run and every thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imageops/bitmap32.h"
#include "ini/ini_document.h"
#include "platform/bitmap.h"
#include "render/effect_settings.h"
#include "render/mark_item.h"
#include "render/text_variables.h"

namespace imprimo {

struct TPreparedLayer {
  std::u16string Section;  // the template section the layer comes from
  TMarkItem Item;          // its values as the drawing takes them
  // What reading the layer changed (a text cut to the longest drawn); a
  // text layer reports these with every picture it is drawn on.
  std::vector<std::string> ReadNotes;
  // Never null; an empty (0 x 0) bitmap when the layer draws none: a text
  // layer has no logo, a picture layer no texture, a disabled layer neither,
  // and a file that is missing or does not load leaves its slot empty.
  // Layers naming the same file share one decoded bitmap.
  std::shared_ptr<const TBitmap32> Logo;
  std::shared_ptr<const TBitmap32> Texture;
  // Texture as the text drawing takes it; never null (empty with Texture).
  std::shared_ptr<const TPicture> TextureFill;
};

struct TPreparedTemplate {
  // False when no template document was given: painting then says the
  // template has no enabled layer.
  bool HasDocument = false;
  std::vector<TPreparedLayer> Layers;  // drawing (= file) order
  // The start of the sequence variable: the first one in the last enabled
  // text layer that holds one; -1 when none does.
  int32_t StartSequence = -1;
};

// What changes from one picture to the next.
struct TPictureMarks {
  std::string FileName;  // what the file-name variables show
  TExifSummary Exif;     // the picture's EXIF values
  int32_t Sequence = -1;
  // The output drops alpha anyway: picture layers may draw on a 24-bit
  // picture in place, with the colours of the 32-bit result.
  bool RgbStaysRgb = false;
};

// Value of the first "{$S...}" sequence variable in text: its digits read as
// a decimal integer (0 when they are not one); empty when there is none.
std::optional<int32_t> FindSequenceStart(std::u16string_view text);

// Reads every section of document into a layer, in file order, and loads
// the logos of enabled picture layers and the textures of enabled text
// layers from pictureFolder (with a trailing separator), each file decoded
// once. Without a folder no picture is loaded (their slots stay empty).
TPreparedTemplate PrepareTemplate(const IniDocument& document,
                                  const std::optional<std::string>& pictureFolder);

// The same for layers held in memory as (section, values), read as a saved
// template would read them back (see StoredMarkItem).
TPreparedTemplate PrepareTemplate(const std::vector<std::pair<std::u16string, TMarkItem>>& layers,
                                  const std::optional<std::string>& pictureFolder);

// A loaded texture as the text drawing takes it: with its transparency when
// any pixel has some (the font colour shows through there), else opaque.
std::shared_ptr<const TPicture> TextureFillOf(const TBitmap32& texture);

// Paints every enabled layer on bitmap in file order. A layer that fails is
// skipped. Returns one line per layer that could not be drawn (a missing or
// unreadable logo, named by its file; a text that failed; a text whose
// texture is missing or unreadable is drawn without it and named too; a
// text layer's text cut when read, its characters left out, its size beyond
// the largest, a text none of which falls on the picture), or a single line
// when the template has no enabled layer at all; empty when every mark was
// drawn.
std::vector<std::string> PaintTemplate(const TPreparedTemplate& prepared, TBitmap& bitmap,
                                       const TPictureMarks& marks);

}  // namespace imprimo
