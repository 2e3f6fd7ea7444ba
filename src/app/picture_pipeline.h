// The steps that make a loaded picture into the finished one, shared by the
// batch run, the window's preview, the thumbnails and the template editor:
// upright by its EXIF orientation, size restricted, border, template. The
// run loads before and saves after; the others show the result.
#pragma once

#include <string>
#include <vector>

#include "app/settings.h"
#include "exif/exif_reader.h"
#include "imaging/picture_metadata.h"
#include "platform/bitmap.h"
#include "templates/prepared_template.h"

namespace imprimo {

// What the picture is made for. Both make the same picture in the same
// order; a preview differs only in what follows and in how it treats a
// step that fails:
// - Run: the picture is saved; a size restriction or border that cannot be
//   made fails it.
// - Preview: nothing is saved, no name is taken and no file made; a step
//   that cannot be made is left out and the rest still drawn. A preview may
//   draw on a reduced copy of the picture (the template editor's working
//   copy, the thumbnails), with the template's pixel sizes reduced with it.
enum class TPipelinePurpose { Run, Preview };

struct TPipelineOutcome {
  // False when a step failed a run's picture; Reason then says which.
  bool Finished = true;
  std::string Reason;
  // Layers that could not be drawn (the picture is still finished).
  std::vector<std::string> Warnings;
  // The picture was turned or mirrored upright by its EXIF orientation.
  bool OrientationApplied = false;
};

class TPicturePipeline {
 public:
  // settings, layers and purpose are only read, and must outlive the
  // pipeline; one pipeline may serve any number of pictures at once.
  TPicturePipeline(const TSettings& settings, const TPreparedTemplate& layers,
                   TPipelinePurpose purpose)
      : settings_(settings), layers_(layers), purpose_(purpose) {}

  // The first step alone (when AutoRotate): the picture turned upright by
  // the EXIF orientation of its source at path, as metadata (which has read
  // path) or, for a JPEG under another name, the file's content gives it.
  // True when its pixels were turned or mirrored.
  bool TurnUpright(TBitmap& bitmap, const TimgData& metadata, const std::string& path) const;
  // The same with the source's metadata record at hand: nothing is read
  // from the file again.
  bool TurnUpright(TBitmap& bitmap, const TimgData& metadata, const TPictureMetadata& source) const;

  // Every step in order: upright, size (Resize), border (DrawBorder), then
  // the template with marks. The size and border come before the marks, so
  // that a mark lies where it is placed on the final picture, border
  // included.
  TPipelineOutcome Make(TBitmap& bitmap, const TimgData& metadata, const std::string& path,
                        const TPictureMarks& marks) const;
  // Every step in order for a picture whose source's record is at hand.
  TPipelineOutcome Make(TBitmap& bitmap, const TimgData& metadata, const TPictureMetadata& source,
                        const TPictureMarks& marks) const;

  // The steps after the upright one, for a picture already upright.
  TPipelineOutcome Finish(TBitmap& bitmap, const TPictureMarks& marks) const;

 private:
  const TSettings& settings_;
  const TPreparedTemplate& layers_;
  TPipelinePurpose purpose_;
};

// The file name a run gives the output of path when it is row rowIndex of
// the list (its serial number), before collision numbering: what the
// file-name variables of its marks show. Nothing is created.
std::string MarkedFileName(const std::string& path, const TSettings& settings, int64_t rowIndex);

}  // namespace imprimo
