#include "app/picture_pipeline.h"

#include "app/process_image.h"
#include "imageops/border.h"
#include "imageops/resize.h"

namespace imprimo {

bool TPicturePipeline::TurnUpright(TBitmap& bitmap, const TimgData& metadata,
                                   const std::string& path) const {
  if (!settings_.AutoRotate) return false;
  return imprimo::TurnUpright(bitmap, metadata, path);
}

bool TPicturePipeline::TurnUpright(TBitmap& bitmap, const TimgData& metadata,
                                   const TPictureMetadata& source) const {
  if (!settings_.AutoRotate) return false;
  return imprimo::TurnUpright(bitmap, metadata, source);
}

TPipelineOutcome TPicturePipeline::Make(TBitmap& bitmap, const TimgData& metadata,
                                        const TPictureMetadata& source,
                                        const TPictureMarks& marks) const {
  const bool turned = TurnUpright(bitmap, metadata, source);
  TPipelineOutcome outcome = Finish(bitmap, marks);
  outcome.OrientationApplied = turned;
  return outcome;
}

TPipelineOutcome TPicturePipeline::Make(TBitmap& bitmap, const TimgData& metadata,
                                        const std::string& path, const TPictureMarks& marks) const {
  // A camera stores the sensor's rows and says in the EXIF how to turn
  // them; the picture is made upright before anything is measured or drawn
  // on it, so the mark lands where the viewer sees the corner.
  const bool turned = TurnUpright(bitmap, metadata, path);
  TPipelineOutcome outcome = Finish(bitmap, marks);
  outcome.OrientationApplied = turned;
  return outcome;
}

TPipelineOutcome TPicturePipeline::Finish(TBitmap& bitmap, const TPictureMarks& marks) const {
  TPipelineOutcome outcome;
  const TSettings& s = settings_;
  const bool run = purpose_ == TPipelinePurpose::Run;
  auto failed = [&](const char* reason) {
    outcome.Finished = false;
    outcome.Reason = reason;
    return outcome;
  };
  if (s.Resize && !RestrictImageSize(bitmap, s.NewWidth, s.NewHeight, s.ResizeMode) && run)
    return failed("the picture could not be resized");
  if (s.DrawBorder &&
      !AddImageBorder(bitmap, s.BorderTopWidth, s.BorderRightWidth, s.BorderBottomWidth,
                      s.BorderLeftWidth, s.BorderColor, s.BorderMode, s.BorderPosition) &&
      run)
    return failed("the border could not be drawn");
  outcome.Warnings = PaintTemplate(layers_, bitmap, marks);
  return outcome;
}

std::string MarkedFileName(const std::string& path, const TSettings& settings, int64_t rowIndex) {
  TSettings s = SettingsForImage(settings);
  // The serial of a rename pattern advances by one a row.
  if (s.Rename && s.RenameTpl.find('#') != std::string::npos) s.RenameNo += rowIndex;
  const TPlannedName plan = PlanOutputName(path, s, {}, false);
  return plan.Base + plan.Extension;
}

}  // namespace imprimo
