// The working state of the selected template during a run or a preview: the
// opened document, its layer sections, the logos loaded once per run and the
// sequence number, and the application of every enabled layer to an image.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imageops/bitmap32.h"
#include "ini/ini_document.h"
#include "platform/bitmap.h"
#include "render/text_variables.h"

namespace imprimo {

struct TTemplateState {
  std::optional<IniDocument> TemplateDoc;     // none until a template is opened
  std::vector<std::u16string> LayerSections;  // section names in file order
  // Slot i belongs to section i and is never null; an empty (0 x 0) bitmap
  // means no logo. Sections naming the same file share one loaded bitmap.
  std::vector<std::shared_ptr<const TBitmap32>> LogoList;
  // Slot i holds the texture of text section i, in the same way (empty: the
  // layer names none, or its file is missing or unreadable).
  std::vector<std::shared_ptr<const TBitmap32>> TextureList;
  int32_t WatermarkSequence = -1;  // -1: no enabled text layer holds a sequence
  TExifSummary ExifSummary;        // the current image's EXIF values
  // Set for outputs that drop alpha anyway: picture layers then draw on a
  // 24-bit bitmap in place instead of turning it into a 32-bit one, with the
  // same colours.
  bool RgbStaysRgb = false;
};

// Value of the first "{$S...}" sequence variable in text: its digits read as
// a decimal integer (0 when they are not one); empty when there is none.
std::optional<int32_t> FindSequenceStart(std::u16string_view text);

// Prepares the opened template for a run: WatermarkSequence from the last
// enabled text layer holding a sequence variable, LayerSections, and every
// enabled picture layer's logo loaded from watermarkFolder (with a trailing
// separator) into LogoList, each file decoded once; the textures of enabled
// text layers go into TextureList the same way. Logos and textures that are
// missing or do not load leave an empty slot.
void PrepareLayers(TTemplateState& state, const std::string& watermarkFolder);

// Paints every enabled layer of the template on bitmap in file order. A layer
// that fails is skipped; fileName is what the file-name variables show.
// Returns one line per layer that could not be drawn (a missing or unreadable
// logo, named by its file; a text that failed; a text whose texture is
// missing or unreadable is drawn without it and named too; a text layer's
// text cut when read, its characters left out, its size beyond the largest,
// a text none of which falls on the picture), or a single line when the
// template has no enabled layer at all; empty when every mark was drawn.
std::vector<std::string> ApplyTemplate(TTemplateState& state, TBitmap& bitmap,
                                       const std::string& fileName);

}  // namespace imprimo
