// The working state of the selected template during a run or a preview: the
// opened document, the template read from it once into typed layers, and
// what the current picture's marks show (sequence number, EXIF values).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ini/ini_document.h"
#include "platform/bitmap.h"
#include "render/text_variables.h"
#include "templates/prepared_template.h"

namespace imprimo {

struct TTemplateState {
  std::optional<IniDocument> TemplateDoc;  // none until a template is opened
  // The document's layers with their logos and textures, read by
  // PrepareLayers; copies of the state share it and never change it.
  std::shared_ptr<const TPreparedTemplate> Prepared;
  int32_t WatermarkSequence = -1;  // -1: no enabled text layer holds a sequence
  TExifSummary ExifSummary;        // the current image's EXIF values
  // Set for outputs that drop alpha anyway: picture layers then draw on a
  // 24-bit bitmap in place instead of turning it into a 32-bit one, with the
  // same colours.
  bool RgbStaysRgb = false;
};

// Prepares the opened template for a run: reads its layers once
// (PrepareTemplate, logos and textures from watermarkFolder, with a trailing
// separator) into Prepared and sets WatermarkSequence to the template's
// start. Without a document, Prepared holds no layer and the sequence is -1.
void PrepareLayers(TTemplateState& state, const std::string& watermarkFolder);

// The prepared layers ApplyTemplate paints: Prepared, or for a document that
// was not prepared, its layers read now without their pictures; without an
// open document, no layer (painting it says the template has no enabled
// layer). Never null.
std::shared_ptr<const TPreparedTemplate> LayersToPaint(TTemplateState& state);

// The marks of the current picture: fileName, the state's EXIF summary,
// sequence number and RgbStaysRgb.
TPictureMarks CurrentMarks(const TTemplateState& state, const std::string& fileName);

// Paints the template's layers on bitmap (PaintTemplate) with the current
// marks; fileName is what the file-name variables show. Without an open
// document it paints nothing and says the template has no enabled layer.
std::vector<std::string> ApplyTemplate(TTemplateState& state, TBitmap& bitmap,
                                       const std::string& fileName);

}  // namespace imprimo
