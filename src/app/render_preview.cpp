#include "app/render_preview.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <span>
#include <system_error>

#include "app/picture_pipeline.h"
#include "app/process_image.h"
#include "app/upright_picture.h"
#include "exif/exif_reader.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"
#include "platform/canvas.h"
#include "platform/paths.h"
#include "render/text_variables.h"

namespace imprimo {

namespace {

// A frame of four 1-pixel lines: from the top-right corner to the top-left
// and down to the bottom-left in first, on to the bottom-right and up to the
// top-right in second. Each line leaves out its end pixel, as a pen does.
void DrawFrame(TBitmap& bitmap, int left, int top, int right, int bottom, uint32_t first,
               uint32_t second) {
  auto put = [&](int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < bitmap.Width() && y < bitmap.Height()) bitmap.SetPixelRGB(x, y, c);
  };
  for (int x = right; x > left; --x) put(x, top, first);
  for (int y = top; y < bottom; ++y) put(left, y, first);
  for (int x = left; x < right; ++x) put(x, bottom, second);
  for (int y = bottom; y > top; --y) put(right, y, second);
}

// A JPEG (by content) decoded at the smallest scale that still covers the
// thumbnail box, then turned upright. False for other files and for JPEGs
// the reduced decode cannot read, which take the full loader instead.
bool LoadReducedJpeg(const std::string& path, bool autoRotate, TBitmap& picture) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || size < 4) return false;
  std::ifstream in(path, std::ios::binary);
  char soi[2] = {};
  if (!in.read(soi, 2) || soi[0] != '\xFF' || soi[1] != '\xD8') return false;
  std::vector<uint8_t> data(static_cast<size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(data.data()), std::streamsize(size))) return false;
  try {
    RasterImage image;
    DecodeJpegReduced(data, kThumbnailBox, kThumbnailBox, image);
    ImageToBitmap(image, picture);
  } catch (const std::exception&) {
    picture = TBitmap();
    return false;
  }
  if (autoRotate) {
    // Turned as the run's pipeline turns the picture.
    TSettings steps;
    steps.AutoRotate = true;
    const TPreparedTemplate noLayers;
    TimgData reader;
    reader.ReadMetadata(std::span<const uint8_t>(data));
    TPicturePipeline(steps, noLayers, TPipelinePurpose::Preview).TurnUpright(picture, reader, path);
  }
  return true;
}

// A decoder that gave up part way: the file is damaged or cut short. The
// decoder's own words follow, without the loader's wrapping around them.
std::string DamagedReason(const std::exception& e) {
  std::string detail = e.what();
  const size_t at = detail.rfind("Message: ");
  if (at != std::string::npos) detail = detail.substr(at + 9);
  return "the file is damaged or incomplete (" + detail + ")";
}

}  // namespace

bool RenderPreviewPicture(const std::string& path, const TSettings& settings, TTemplateState& tpl,
                          TBitmap& picture, std::string* reason, int64_t rowIndex) {
  auto fail = [reason](std::string why) {
    if (reason != nullptr) *reason = std::move(why);
    return false;
  };
  // The run's record is not touched: the preview works on its own copies.
  // An empty format selection saves as JPEG, as the run does.
  const TSettings s = SettingsForImage(settings);
  TBitmap bitmap;
  RasterImage image;
  TMemoryStream stream;
  try {
    std::error_code ec;
    bool loaded = false;
    try {
      loaded = std::filesystem::is_regular_file(path, ec) && ReadImageFile(path, image);
    } catch (const std::exception& e) {
      return fail(DamagedReason(e));
    }
    if (!loaded) return fail(SourceLoadFailureReason(path));
    const bool graySource = GetImageFormatInfo(image.Format)->HasGrayChannel;
    ImageToBitmap(image, bitmap);
    ImageFree(image);

    TimgData reader;
    reader.ReadMetadata(path);
    FillExifSummary(tpl.ExifSummary, reader);
    tpl.RgbStaysRgb = s.SaveFormat == 0 && GetImagingOption(ImagingSaveOverrideFormat) == 0;
    // The marks show the name the run would write for this row.
    const TPictureMarks marks = CurrentMarks(tpl, MarkedFileName(path, s, rowIndex));
    const std::shared_ptr<const TPreparedTemplate> layers = LayersToPaint(tpl);
    TPicturePipeline(s, *layers, TPipelinePurpose::Preview).Make(bitmap, reader, path, marks);

    BitmapToImage(bitmap, image);
    bitmap = TBitmap();
    const TSaveOptions options = PrepareForSave(image, s, graySource, path);
    if (!WriteImageStream(OutputExtension(s.SaveFormat).substr(1), stream, image, options))
      return fail("the output format cannot store this picture");
    ImageFree(image);
    stream.Seek(0, TSeekOrigin::Begin);
    if (!ReadImageStream(stream, image)) return fail("the saved picture could not be read back");
    TBitmap result;
    ImageToBitmap(image, result);
    picture = std::move(result);
    return true;
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}

TRect ThumbnailPictureRect(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  if (height >= width) {
    const int s = static_cast<int>(int64_t{width} * kThumbnailBox / height);
    const int o = (kThumbnailBox - s) / 2;
    return {o + 8, 8, o + 8 + s, 111};
  }
  const int s = static_cast<int>(int64_t{height} * kThumbnailBox / width);
  const int o = (kThumbnailBox - s) / 2;
  return {8, o + 8, 111, o + 8 + s};
}

bool DrawThumbnailCell(const TBitmap& picture, uint32_t faceColor, TBitmap& cell) {
  if (picture.Empty()) return false;
  cell.SetFormatAndSize(TPixelFormat::pf24bit, kThumbnailCellSize, kThumbnailCellSize);
  for (int y = 0; y < kThumbnailCellSize; ++y)
    for (int x = 0; x < kThumbnailCellSize; ++x) cell.SetPixelRGB(x, y, faceColor);
  constexpr uint32_t kWhite = 0xFFFFFF, kGrey = 0x808080;
  DrawFrame(cell, 0, 0, kThumbnailCellSize - 1, kThumbnailCellSize - 1, kWhite, kGrey);
  const TRect r = ThumbnailPictureRect(picture.Width(), picture.Height());
  StretchBlt(cell, r, picture);
  // The sunken frame's bottom-right corner is the rectangle's exclusive
  // corner, so it sits right against the picture.
  DrawFrame(cell, r.Left - 1, r.Top - 1, r.Right, r.Bottom, kGrey, kWhite);
  return true;
}

bool LoadThumbnailCell(const std::string& path, bool autoRotate, uint32_t faceColor, TBitmap& cell,
                       std::string* reason) {
  TBitmap picture;
  std::string why;
  try {
    if (!LoadReducedJpeg(path, autoRotate, picture) &&
        !LoadUprightBitmap(path, picture, autoRotate))
      why = SourceLoadFailureReason(path);
    else if (DrawThumbnailCell(picture, faceColor, cell))
      return true;
    else
      why = "the picture is empty";
  } catch (const std::exception& e) {
    why = DamagedReason(e);
  }
  if (reason != nullptr) *reason = why;
  return false;
}

}  // namespace imprimo
