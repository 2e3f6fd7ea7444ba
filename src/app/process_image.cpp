#include "app/process_image.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "app/naming.h"
#include "app/output_colours.h"
#include "app/picture_pipeline.h"
#include "app/save_output.h"
#include "app/source_picture.h"
#include "app/upright_picture.h"
#include "exif/metadata_writer.h"
#include "exif/source_metadata.h"
#include "imageops/border.h"
#include "imageops/orient.h"
#include "imageops/resize.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"
#include "imaging/pixel_convert.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "render/text_variables.h"

namespace imprimo {

namespace {

std::string AsciiUpper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec)) && !ec;
}

// Why a source that did not load failed, in words a user can act on.
std::string LoadFailureReason(const std::string& path) {
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(st)) return "the file does not exist";
  if (std::filesystem::is_directory(st)) return "the path is a folder, not an image file";
  if (!std::filesystem::is_regular_file(st)) return "not a regular file";
  const auto size = std::filesystem::file_size(path, ec);
  if (!ec && size == 0) return "the file is empty";
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
  } else {
    return "the file cannot be read (permission denied)";
  }
  return "not an image file of a known format";
}

// Sets the row's icon from the status when the pipeline leaves, and releases
// the image record, whatever way it leaves.
class TFinishGuard {
 public:
  TFinishGuard(TBatchHost& host, int row, const int& status, RasterImage& image)
      : host_(host), row_(row), status_(status), image_(image) {}
  ~TFinishGuard() {
    ImageFree(image_);
    try {
      SetRowStatus(host_, row_, status_);
    } catch (...) {
    }
  }

 private:
  TBatchHost& host_;
  int row_;
  const int& status_;
  RasterImage& image_;
};

// Lays a 32-bit picture with transparency on a plain background (TColor
// 0x00BBGGRR) for outputs that cannot keep alpha. A buffer whose alpha bytes
// are all zero carries no alpha and is left alone.
void FlattenOnBackground(RasterImage& image, int32_t color) {
  if (image.Format != ifA8R8G8B8) return;
  bool anyAlpha = false;
  for (int y = 0; y < image.Height && !anyAlpha; ++y) {
    const uint8_t* p = image.Row(y);
    for (int x = 0; x < image.Width; ++x)
      if (p[x * 4 + 3] != 0) {
        anyAlpha = true;
        break;
      }
  }
  if (!anyAlpha) return;
  const int bg[3] = {(color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF};  // B, G, R
  for (int y = 0; y < image.Height; ++y) {
    uint8_t* p = image.Row(y);
    for (int x = 0; x < image.Width; ++x, p += 4) {
      const int a = p[3];
      if (a == 255) continue;
      for (int c = 0; c < 3; ++c)
        p[c] = static_cast<uint8_t>((p[c] * a + bg[c] * (255 - a) + 127) / 255);
      p[3] = 255;
    }
  }
}

// Replaces a 24- or 32-bit picture whose pixels are all gray and opaque by
// an 8-bit gray one; returns false and leaves it when any pixel has colour.
bool ReduceToGrayIfGray(RasterImage& image) {
  int bpp;
  if (image.Format == ifR8G8B8)
    bpp = 3;
  else if (image.Format == ifA8R8G8B8)
    bpp = 4;
  else
    return false;
  for (int y = 0; y < image.Height; ++y) {
    const uint8_t* p = image.Row(y);
    for (int x = 0; x < image.Width; ++x, p += bpp)
      if (p[0] != p[1] || p[1] != p[2] || (bpp == 4 && p[3] != 255)) return false;
  }
  RasterImage gray;
  ImageCreate(gray, image.Width, image.Height, ifGray8);
  for (int y = 0; y < image.Height; ++y) {
    const uint8_t* p = image.Row(y);
    uint8_t* q = gray.Row(y);
    for (int x = 0; x < image.Width; ++x) q[x] = p[x * bpp];
  }
  image = std::move(gray);
  return true;
}

// Copies a 32-bit bitmap whose every pixel is opaque into a new R8G8B8
// record (alpha dropped); false, leaving image alone, for any other bitmap.
bool OpaqueBitmapToRgbImage(const TBitmap& bitmap, RasterImage& image) {
  if (bitmap.PixelFormat() != TPixelFormat::pf32bit || bitmap.Empty()) return false;
  const int w = bitmap.Width(), h = bitmap.Height();
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < w; ++x)
      if (p[4 * x + 3] != 0xFF) return false;
  }
  RasterImage rgb;
  ImageCreateForOverwrite(rgb, w, h, ifR8G8B8);
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = bitmap.ScanLine(y);
    uint8_t* q = rgb.Row(y);
    for (int x = 0; x < w; ++x, p += 4, q += 3) {
      q[0] = p[0];
      q[1] = p[1];
      q[2] = p[2];
    }
  }
  image = std::move(rgb);
  return true;
}

}  // namespace

std::string SourceLoadFailureReason(const std::string& path) {
  std::string reason = LoadFailureReason(path);
  // A file whose content a format recognises, but that did not load, is
  // damaged or cut short rather than of an unknown kind.
  if (reason == "not an image file of a known format") {
    try {
      const std::string format = DetectFileFormat(path);
      if (!format.empty()) reason = "the " + AsciiUpper(format) + " file is damaged or incomplete";
    } catch (const std::exception&) {
    }
  }
  return reason;
}

int32_t EffectiveSaveFormat(int32_t saveFormat) {
  return saveFormat >= -16 && saveFormat <= -1 ? 0 : saveFormat;
}

TSettings SettingsForImage(const TSettings& settings) {
  TSettings s = settings;
  s.SaveFormat = EffectiveSaveFormat(s.SaveFormat);
  return s;
}

std::string OutputExtension(int32_t saveFormat) {
  if (saveFormat < 0 || saveFormat >= kSaveFormatCount) return ".jpg";
  return SaveFormatInfo(saveFormat).extension;
}

std::string ApplyExtensionCase(std::string newExt, std::string_view srcExt, int32_t changeCase) {
  if (changeCase == 0) return AsciiUpper(std::move(newExt));
  if (changeCase == 2 && SameTextUtf8(newExt, srcExt)) return std::string(srcExt);
  return newExt;
}

std::string OutputFolderFor(const std::string& path, const TSettings& settings,
                            const std::vector<std::string>& addedFolders, bool createFolders) {
  if (settings.PathType != 2) return WithTrailingSeparator(FolderOf(path));
  const std::string srcDir = WithTrailingSeparator(FolderOf(path));
  std::string sub;
  bool isAddedFolder = false;
  for (const std::string& f : addedFolders)
    if (SameTextUtf8(f, srcDir)) isAddedFolder = true;
  if (!isAddedFolder) {
    for (const std::string& f : addedFolders) {
      if (!f.empty() && srcDir.find(f) != std::string::npos) {
        sub = srcDir.substr(f.size());
        break;
      }
    }
  }
  if (sub.empty()) return settings.OutPath;
  if (sub.front() == '/') sub.erase(0, 1);
  if (createFolders) CreateSubFolders(settings.OutPath, sub);
  return settings.OutPath + sub;
}

std::string NumberedOutputPath(const std::string& outDir, const std::string& base,
                               const std::string& ext, bool overwrite) {
  std::string out = outDir + base + ext;
  if (overwrite) return out;
  for (int n = 1; FileExists(out); ++n) out = outDir + base + "(" + std::to_string(n) + ")" + ext;
  return out;
}

TPlannedName PlanOutputName(const std::string& path, const TSettings& s,
                            const std::vector<std::string>& addedFolders, bool createFolders) {
  TPlannedName plan;
  const std::string srcExt = ExtensionOf(path);
  plan.Folder = OutputFolderFor(path, s, addedFolders, createFolders);
  std::string name = FileNameOf(path);
  if (s.Rename)
    name = ApplyRenamePattern(s.RenameTpl, name, static_cast<int32_t>(s.RenameNo & 0xFFFFFFFF));
  plan.Base = name.substr(0, name.size() - std::min(name.size(), srcExt.size()));
  plan.Extension = ApplyExtensionCase(OutputExtension(s.SaveFormat), srcExt, s.ChangeCase);
  return plan;
}

std::string DimensionText(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

bool TurnUpright(TBitmap& bitmap, const TimgData& reader, const std::string& path) {
  return ApplyExifOrientation(
      bitmap, reader.HasExifBlock() ? reader.Orientation() : SourceOrientation(path));
}

bool TurnUpright(TBitmap& bitmap, const TimgData& reader, const TPictureMetadata& source) {
  return ApplyExifOrientation(
      bitmap, reader.HasExifBlock() ? reader.Orientation() : RecordOrientation(source));
}

namespace {

// The record of a source whose metadata only its first bytes are asked
// for (the JFIF density).
TPictureMetadata LeadingMetadata(const std::string& sourcePath) {
  TPictureMetadata m;
  std::FILE* f = std::fopen(sourcePath.c_str(), "rb");
  if (!f) return m;
  char head[18];
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  m.JpegHeader.assign(head, n);
  return m;
}

}  // namespace

TSaveRequest SaveRequestFor(const TSettings& s, const std::string& sourcePath) {
  return SaveRequestFor(s, LeadingMetadata(sourcePath));
}

TSaveRequest SaveRequestFor(const TSettings& s, const TPictureMetadata& source) {
  TSaveRequest request;
  const int32_t format = EffectiveSaveFormat(s.SaveFormat);
  if (format >= 0 && format < kSaveFormatCount)
    request.Format = std::string(SaveFormatInfo(format).extension).substr(1);
  request.Quality = s.Quality;
  request.Compression = s.Compress;
  request.ChromaSampling = s.JpegSubsampling;
  request.Lossless = s.WebPLossless ? 1 : 0;
  request.Speed = s.AvifSpeed;
  request.TiffCompression = s.TiffCompression;
  request.FlattenColor = s.FlattenColor;
  // A JPEG carries over the source's print resolution.
  const std::span<const uint8_t> header(reinterpret_cast<const uint8_t*>(source.JpegHeader.data()),
                                        source.JpegHeader.size());
  if (format == 0 &&
      !ReadJfifDensity(header, request.DensityUnit, request.DensityX, request.DensityY))
    request.DensityUnit = 0, request.DensityX = 1, request.DensityY = 1;
  return request;
}

TSaveOptions PrepareForSave(RasterImage& image, const TSettings& s, bool graySource,
                            const std::string& sourcePath) {
  return PrepareForSave(image, s, graySource, LeadingMetadata(sourcePath));
}

TSaveOptions PrepareForSave(RasterImage& image, const TSettings& s, bool graySource,
                            const TPictureMetadata& source) {
  const TSaveRequest request = SaveRequestFor(s, source);
  if (request.Format == "jpg") {
    // A JPEG has no alpha: transparent areas take the background colour,
    // and a gray picture that stayed gray is written with one component.
    FlattenOnBackground(image, request.FlattenColor);
    if (graySource) ReduceToGrayIfGray(image);
  } else if (request.Format == "png" && graySource) {
    // A gray PNG whose marks drew no colour stays a gray PNG.
    ReduceToGrayIfGray(image);
  }
  return CheckedSaveOptions(request);
}

namespace {

// Names the output of row, readies the drawn picture for its format and
// colours, and saves it with the source's metadata; returns the saved path,
// empty when the format cannot store the picture.
std::string SaveRowOutput(const TPictureMetadata& source, int row, const TSettings& s,
                          bool graySource, const TPlannedName& plan, TRunContext& context,
                          TImageResult& result) {
  TWorkingObjects& work = context.Work;
  const std::string& outDir = plan.Folder;
  const std::string& base = plan.Base;
  const std::string& newExt = plan.Extension;
  const std::string out =
      context.Namer ? context.Namer->OutputPathFor(row, outDir, base, newExt, s.OverwriteOutput)
                    : NumberedOutputPath(outDir, base, newExt, s.OverwriteOutput);

  TSaveOptions saveOptions = PrepareForSave(work.Image, s, graySource, source);
  // The source's colour profile goes with the picture, or its samples are
  // converted to sRGB for an output that cannot say what they mean.
  for (std::string& w : PrepareOutputColours(work.Image, source, out, s, saveOptions).Warnings)
    result.Warnings.push_back(std::move(w));
  // A JPEG is written from RGB: the encoder would convert a copy of a
  // 32-bit record; converting the record itself gives the same file with
  // one full-size buffer fewer. The metadata step reads these pixels for
  // its thumbnail, so the record is left as it is when metadata is kept.
  if (s.SaveFormat == 0 && !s.KeepExif && work.Image.Format == ifA8R8G8B8 &&
      GetImagingOption(ImagingSaveOverrideFormat) == 0)
    ImageConvert(work.Image, ifR8G8B8);

  // The output is written and given its metadata under a temporary name
  // and named only when complete, so a failed save never leaves a partial
  // file, nor replaces the source when writing over it.
  // Metadata of the source (EXIF, XMP, IPTC, colour profile) follows into
  // JPEG, PNG, WebP, AVIF and TIFF outputs; what cannot be carried soundly
  // is left out and named among the warnings.
  TMetadataOptions carry;
  carry.SetOrientation1 = result.OrientationApplied;
  carry.StripLocation = s.StripLocation;
  const bool keepMetadata =
      s.KeepExif && (s.SaveFormat == 0 || s.SaveFormat == 1 || s.SaveFormat >= 16);
  return SaveFinishedPicture(keepMetadata ? &source : nullptr,
                             {out, outDir, base, newExt, s.OverwriteOutput}, work.Image,
                             saveOptions, carry, result.Warnings);
}

}  // namespace

TImageResult ProcessImage(const std::string& path, int row, int& status, TRunContext& context,
                          TBatchHost& host) {
  TImageResult result;
  const TSettings s = SettingsForImage(context.Settings);
  TWorkingObjects& work = context.Work;

  status = kStatusWorking;
  SetRowStatus(host, row, kStatusWorking);
  status = kStatusFailed;
  TFinishGuard guard(host, row, status, work.Image);

  try {
    // Only regular files are opened: a named pipe or device would block the
    // run or never end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      result.Reason = LoadFailureReason(path);
      return result;
    }
    TPictureMetadata source;
    if (!LoadSourcePicture(path, work.Image, source)) {
      result.Reason = LoadFailureReason(path);
      return result;
    }
    result.Decoded = true;
    host.SetRowColumn(row, kColOriginalDimension,
                      DimensionText(work.Image.Width, work.Image.Height));

    const TPlannedName plan = PlanOutputName(path, s, context.AddedFolders, true);
    const std::string& base = plan.Base;
    const std::string& newExt = plan.Extension;

    const bool graySource = GetImageFormatInfo(work.Image.Format)->HasGrayChannel;
    // The record's pixels move into the bitmap (a copy only when the layout
    // differs), so one full copy of a large picture is alive while drawing.
    MoveImageToBitmap(work.Image, work.Bitmap);

    work.ExifReader.ReadMetadata(source, path);
    FillExifSummary(work.Template.ExifSummary, work.ExifReader);
    // A JPEG is made from the RGB of the picture, so a logo need not turn
    // a 24-bit picture into a 32-bit one first (the EXIF thumbnail of an
    // opaque picture has the same colours either way).
    const bool rgbOutput = s.SaveFormat == 0 && GetImagingOption(ImagingSaveOverrideFormat) == 0;
    work.Template.RgbStaysRgb = rgbOutput;
    const std::shared_ptr<const TPreparedTemplate> layers = LayersToPaint(work.Template);
    const TPicturePipeline pipeline(s, *layers, TPipelinePurpose::Run);
    TPipelineOutcome made = pipeline.Make(work.Bitmap, work.ExifReader, source,
                                          CurrentMarks(work.Template, base + newExt));
    result.OrientationApplied = made.OrientationApplied;
    if (!made.Finished) {
      result.Reason = std::move(made.Reason);
      return result;
    }
    result.Warnings = std::move(made.Warnings);
    if (context.Strict && !result.Warnings.empty()) {
      result.Reason = "the watermark was not drawn completely: " + result.Warnings.front();
      return result;
    }

    // An opaque 32-bit picture bound for a JPEG without kept metadata goes
    // straight into an RGB record: what flattening and the encoder's
    // conversion would make of it, without a 32-bit copy of the picture.
    if (rgbOutput && !s.KeepExif && OpaqueBitmapToRgbImage(work.Bitmap, work.Image)) {
    } else {
      // Likewise the drawn bitmap is not needed while the record is saved.
      MoveBitmapToImage(work.Bitmap, work.Image);
    }
    work.Bitmap = TBitmap();
    host.SetRowColumn(row, kColNewDimension, DimensionText(work.Image.Width, work.Image.Height));

    const std::string saved = SaveRowOutput(source, row, s, graySource, plan, context, result);
    if (saved.empty()) {
      result.Reason = "the output format cannot store this picture";
      return result;
    }
    result.OutputPath = saved;
    host.SetRowColumn(row, kColNewSize, FormatSizeText(FileSizeOf(saved)));

    status = kStatusSucceeded;
  } catch (const std::exception& e) {
    // The image layer raises errors for files it cannot read or write; each
    // such error fails this image only.
    status = kStatusFailed;
    result.Reason = e.what();
    result.DiskFull = IsNoSpaceFailure(e);
  }
  return result;
}

}  // namespace imprimo
