// What a source's ICC colour profile becomes in an output, decided just
// before the save: the output carries the profile (the encoder stores it, or
// the metadata step adds it afterwards), or the picture's samples are
// converted to sRGB so that readers, which take unmarked files as sRGB, see
// the source's colours; KeepSourceColors leaves the samples as they are.
#pragma once

#include <string>
#include <vector>

#include "app/settings.h"
#include "imaging/file_format.h"
#include "imaging/raster_image.h"

namespace imprimo {

enum class TColourStep {
  None,       // no profile, or one whose colours the pixels no longer hold
  Carried,    // the metadata step adds the profile to the written file
  Embedded,   // the encoder stores it (options hold the profile)
  Converted,  // the samples were converted to sRGB
  Kept,       // not carried and, by the setting or by a fault, not converted
};

struct TOutputColours {
  TColourStep Step = TColourStep::None;
  std::vector<std::string> Warnings;
};

// The step for a picture about to be written to outputPath (the settings'
// SaveFormat, after PrepareForSave) from the source whose metadata record is
// source. The picture is converted in place, or options get the profile for
// the encoder.
TOutputColours PrepareOutputColours(RasterImage& image, const TPictureMetadata& source,
                                    const std::string& outputPath, const TSettings& settings,
                                    TSaveOptions& options);

// The step alone, for a profile already read: whether the output of that
// save format carries a profile of its colour space for pixels of this
// format, and otherwise whether the setting asks for a conversion.
TColourStep PlanOutputColours(const std::string& profile, const TImageFileFormat* format,
                              TImageFormat pixels, const TSettings& settings);

}  // namespace imprimo
