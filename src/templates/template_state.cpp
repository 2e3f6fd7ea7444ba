#include "templates/template_state.h"

namespace imprimo {

void PrepareLayers(TTemplateState& state, const std::string& watermarkFolder) {
  auto prepared = std::make_shared<TPreparedTemplate>();
  if (state.TemplateDoc) *prepared = PrepareTemplate(*state.TemplateDoc, watermarkFolder);
  state.WatermarkSequence = prepared->StartSequence;
  state.Prepared = std::move(prepared);
}

std::shared_ptr<const TPreparedTemplate> LayersToPaint(TTemplateState& state) {
  if (!state.TemplateDoc) return std::make_shared<const TPreparedTemplate>();
  if (!state.Prepared || !state.Prepared->HasDocument)
    state.Prepared =
        std::make_shared<const TPreparedTemplate>(PrepareTemplate(*state.TemplateDoc, {}));
  return state.Prepared;
}

TPictureMarks CurrentMarks(const TTemplateState& state, const std::string& fileName) {
  TPictureMarks marks;
  marks.FileName = fileName;
  marks.Exif = state.ExifSummary;
  marks.Sequence = state.WatermarkSequence;
  marks.RgbStaysRgb = state.RgbStaysRgb;
  return marks;
}

std::vector<std::string> ApplyTemplate(TTemplateState& state, TBitmap& bitmap,
                                       const std::string& fileName) {
  return PaintTemplate(*LayersToPaint(state), bitmap, CurrentMarks(state, fileName));
}

}  // namespace imprimo
