// The per-image pipeline: one source file in, one output file out.
#pragma once

#include <string>
#include <string_view>

#include "app/batch_run.h"
#include "imaging/file_format.h"
#include "imaging/save_request.h"

namespace imprimo {

// Loads path, turns it upright by its EXIF Orientation (when AutoRotate),
// restricts its size, draws the border, paints the template,
// names the output, saves it with the format's option and carries the EXIF
// block of a JPEG source over to a JPEG output. Reports through the host
// only (row icon and columns); status ends 1 on success, 0 on failure.
// Failures of the image itself (unreadable, corrupt, unwritable output) are
// reported by status and result.Reason, never thrown. The context's settings
// are only read: an empty format selection saves as JPEG without the record
// being changed (result.Decoded tells the run that this step was reached).
TImageResult ProcessImage(const std::string& path, int row, int& status, TRunContext& context,
                          TBatchHost& host);

// Why the source at path does not load, in words a user can act on (missing,
// a folder, empty, unreadable, damaged or of no known format).
std::string SourceLoadFailureReason(const std::string& path);

// The format a SaveFormat index saves in: an empty format selection (-16..-1;
// -1 is what an empty list stores) saves as JPEG, index 0; any other value is
// kept (outside the table it gives ".jpg" and no save option).
int32_t EffectiveSaveFormat(int32_t saveFormat);
// The record a run reads for one image: settings with the effective format.
TSettings SettingsForImage(const TSettings& settings);

// Output extension (with its dot) for a SaveFormat index; ".jpg" outside 0..15.
std::string OutputExtension(int32_t saveFormat);
// The extension case rule: 0 upper case, 2 keeps the source's own spelling
// when the two agree ignoring case, anything else the lower-case table value.
std::string ApplyExtensionCase(std::string newExt, std::string_view srcExt, int32_t changeCase);
// The output folder for a source path: with PathType 2 the sub-folder below
// the matching entry of addedFolders is mirrored under OutPath (created when
// createFolders); otherwise the source's own folder. Trailing "/".
std::string OutputFolderFor(const std::string& path, const TSettings& settings,
                            const std::vector<std::string>& addedFolders, bool createFolders);
// outDir + base + ext, or the first free outDir + base + "(n)" + ext.
std::string NumberedOutputPath(const std::string& outDir, const std::string& base,
                               const std::string& ext, bool overwrite);
// Turns bitmap upright by the EXIF Orientation of the source at path, as
// reader (which has read path) or, for a JPEG under another name, the file's
// content gives it. True when the pixels were turned or mirrored.
bool TurnUpright(TBitmap& bitmap, const TimgData& reader, const std::string& path);
// The same from the source's metadata record, read when it loaded.
bool TurnUpright(TBitmap& bitmap, const TimgData& reader, const TPictureMetadata& source);
// The save request of s's output format for a picture from sourcePath: the
// settings of the record, and for a JPEG the source's JFIF density.
TSaveRequest SaveRequestFor(const TSettings& s, const std::string& sourcePath);
TSaveRequest SaveRequestFor(const TSettings& s, const TPictureMetadata& source);
// Readies a drawn picture for saving in s.SaveFormat (an empty selection
// saves as JPEG): a JPEG loses transparency over FlattenColor and a gray
// source that stayed gray keeps one channel; the format's checked save
// options are returned for the save call; the process-wide option table is
// not touched.
TSaveOptions PrepareForSave(RasterImage& image, const TSettings& s, bool graySource,
                            const std::string& sourcePath);
TSaveOptions PrepareForSave(RasterImage& image, const TSettings& s, bool graySource,
                            const TPictureMetadata& source);
// The output folder, the name without extension and the extension of the
// file a source becomes, before any collision numbering. s.RenameNo is the
// row's serial; s.SaveFormat must already be normalised.
struct TPlannedName {
  std::string Folder;  // trailing "/"
  std::string Base;
  std::string Extension;
};
TPlannedName PlanOutputName(const std::string& path, const TSettings& s,
                            const std::vector<std::string>& addedFolders, bool createFolders);
// "1024 x 768"
std::string DimensionText(int width, int height);

}  // namespace imprimo
