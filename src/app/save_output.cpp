#include "app/save_output.h"

#include <cerrno>
#include <optional>

#include "app/process_image.h"
#include "app/texts.h"
#include "platform/file_io.h"

namespace imprimo {

namespace {

// Names tried before a run gives up on a folder whose numbered names are
// taken faster than it can claim one.
constexpr int kMostNameTries = 10000;

std::string ClaimFreeName(TReplacingFile& staged, const TOutputTarget& target) {
  std::string out = target.Path;
  for (int attempt = 0; attempt < kMostNameTries; ++attempt) {
    if (staged.CommitIfFree(out)) return out;
    // Another writer took the name since it was chosen: the next free one.
    out = NumberedOutputPath(target.Folder, target.Base, target.Extension, false);
  }
  throw EFileError("Cannot create file \"" + target.Path + "\": no free numbered name", EEXIST);
}

}  // namespace

std::string SaveFinishedPicture(const TPictureMetadata* source, const TOutputTarget& target,
                                const RasterImage& image, const TSaveOptions& options,
                                const TMetadataOptions& carry, std::vector<std::string>& warnings) {
  std::vector<uint8_t> bytes;
  if (!EncodeWithMetadata(target.Path, image, options, source, carry, bytes, warnings))
    return std::string();
  std::optional<TReplacingFile> made;
  try {
    made.emplace(target.Path);
    made->Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  } catch (const EFileError& e) {
    // Worded as the image layer words a failed save.
    throw EFileError(
        "Error while saving images to file \"" + target.Path + "\". Exception Message: " + e.what(),
        e.Error());
  }
  TReplacingFile& staged = *made;
  if (target.Overwrite) {
    staged.Commit();
    return target.Path;
  }
  return ClaimFreeName(staged, target);
}

bool IsNoSpaceFailure(const std::exception& e) {
  if (const auto* f = dynamic_cast<const EFileError*>(&e)) return IsNoSpaceError(f->Error());
  if (const auto* i = dynamic_cast<const EImagingError*>(&e))
    return i->Kind() == EImagingErrorKind::NoSpace;
  return false;
}

std::string DiskFullStopText(const std::string& reason) {
  return FormatText(Text(TTextId::RunDiskFull), {reason});
}

}  // namespace imprimo
