// The last step of the pipeline: a finished picture becomes its output file.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "exif/metadata_writer.h"
#include "imaging/file_format.h"

namespace imprimo {

// Where an output goes: the chosen name and the pieces its numbered variants
// ("base(n).ext") are made of.
struct TOutputTarget {
  std::string Path;  // the first choice
  std::string Folder, Base, Extension;
  bool Overwrite = false;  // replace a file of that name instead of numbering
};

// Encodes image with the source's metadata (when source is given; carry says
// how it is edited), writes it once under a temporary name in the target's
// folder and only then gives it its
// name: target.Path replaced when Overwrite; otherwise the first of
// target.Path and its numbered variants that no file holds at that moment,
// taken atomically, so that another run writing into the same folder never
// replaces it nor has it replaced. Until then no file of the output's name
// exists, and a failure of any part removes the temporary file.
// Returns the final path, or an empty string when the format cannot store
// the picture; a failed write throws. Warnings of the metadata step are
// added to warnings.
std::string SaveFinishedPicture(const TPictureMetadata* source, const TOutputTarget& target,
                                const RasterImage& image, const TSaveOptions& options,
                                const TMetadataOptions& carry, std::vector<std::string>& warnings);

// True when e reports a full disk (or an exhausted quota).
bool IsNoSpaceFailure(const std::exception& e);

// The message that ends a run on a full disk; reason is the failure's text.
std::string DiskFullStopText(const std::string& reason);

}  // namespace imprimo
