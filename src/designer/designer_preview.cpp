#include "designer/designer_preview.h"

namespace imprimo {

void TPreviewSample::Load(const std::string&, bool) { throw TDocumentError("not yet available"); }
void TPreviewSample::Set(TBitmap picture, std::string fileName, TExifSummary exif) {
  full_ = std::move(picture);
  fileName_ = std::move(fileName);
  exif_ = std::move(exif);
  scaled_ = TBitmap();
  scaledFor_ = 0;
}
const TBitmap& TPreviewSample::Scaled(double) { return full_; }
double FitScale(int, int, int) { return 1; }
TDesignerPreview RenderDesignerPreview(const TTemplateDocument&, TPreviewSample&,
                                       const std::string&, double) {
  return {};
}
TDesignerPreview RenderDesignerPreview(const TTemplateDocument&, const TBitmap&,
                                       const std::string&, const TExifSummary&,
                                       const std::string&, double) {
  return {};
}
TLayerBox MeasureLayerBox(const TTemplateDocument&, size_t, const TPreviewSample&,
                          const std::string&) {
  return {};
}
bool PlaceLayerAt(TMarkItem&, const TRect&, int, int, int, int) { return false; }

}  // namespace imprimo
