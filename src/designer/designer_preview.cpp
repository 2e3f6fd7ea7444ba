#include "designer/designer_preview.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>

#include "app/picture_pipeline.h"
#include "app/process_image.h"
#include "exif/exif_reader.h"
#include "imageops/bitmap32.h"
#include "imageops/bitmap_bridge.h"
#include "imageops/resize.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"
#include "imaging/raster_image.h"
#include "render/relative_layout.h"
#include "render/text_layer.h"
#include "templates/prepared_template.h"
#include "templates/template_file.h"

namespace imprimo {

namespace {

// Area-averaged reduction of a 24- or 32-bit bitmap (other formats are
// widened to 24 bits first) to width x height.
TBitmap Downscale(const TBitmap& source, int width, int height) {
  const TBitmap* src = &source;
  TBitmap widened;
  if (source.PixelFormat() != TPixelFormat::pf24bit &&
      source.PixelFormat() != TPixelFormat::pf32bit) {
    widened = source;
    widened.SetPixelFormat(TPixelFormat::pf24bit);
    src = &widened;
  }
  const int bpp = src->PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
  const int W = src->Width(), H = src->Height();
  TBitmap out(width, height, src->PixelFormat());
  // Column spans: source columns [x0[i], x0[i + 1]) make output column i.
  std::vector<int> xs(width + 1), ys(height + 1);
  for (int i = 0; i <= width; ++i) xs[i] = static_cast<int>(int64_t{i} * W / width);
  for (int j = 0; j <= height; ++j) ys[j] = static_cast<int>(int64_t{j} * H / height);
  std::vector<uint32_t> sums(size_t(width) * bpp);
  for (int j = 0; j < height; ++j) {
    std::fill(sums.begin(), sums.end(), 0);
    const int y0 = ys[j], y1 = std::max(ys[j + 1], y0 + 1);
    for (int y = y0; y < y1 && y < H; ++y) {
      const uint8_t* row = src->ScanLine(y);
      for (int i = 0; i < width; ++i) {
        const int x0 = xs[i], x1 = std::max(xs[i + 1], x0 + 1);
        uint32_t* sum = &sums[size_t(i) * bpp];
        for (int x = x0; x < x1 && x < W; ++x)
          for (int c = 0; c < bpp; ++c) sum[c] += row[size_t(x) * bpp + c];
      }
    }
    uint8_t* dst = out.ScanLine(j);
    const int rows = std::min(y1, H) - y0;
    for (int i = 0; i < width; ++i) {
      const int cols = std::min(std::max(xs[i + 1], xs[i] + 1), W) - xs[i];
      const uint32_t n = static_cast<uint32_t>(std::max(1, rows * cols));
      for (int c = 0; c < bpp; ++c)
        dst[size_t(i) * bpp + c] = static_cast<uint8_t>((sums[size_t(i) * bpp + c] + n / 2) / n);
    }
  }
  return out;
}

int ScaledSide(int side, double scale) {
  return std::max(1, static_cast<int>(std::lround(side * scale)));
}

int32_t ScaleValue(int32_t v, double scale, bool keepNonZero) {
  const double r = std::round(v * scale);
  int64_t s = static_cast<int64_t>(std::clamp(r, double(INT32_MIN), double(INT32_MAX)));
  if (keepNonZero && v != 0 && s == 0) s = v > 0 ? 1 : -1;
  return static_cast<int32_t>(s);
}

// The layers with their pixel measures scaled for a downscaled picture.
TTemplateDocument ScaledDocument(const TTemplateDocument& doc, double scale) {
  TTemplateDocument out = doc;
  for (size_t i = 0; i < out.LayerCount(); ++i) {
    TMarkItem item = out.Layer(i).Item;
    item.FontSize = ScaleValue(item.FontSize, scale, true);
    // Margins given relative to the picture follow it by themselves.
    if (item.OffsetMode != 1) {
      item.OffsetX = ScaleValue(item.OffsetX, scale, false);
      item.OffsetY = ScaleValue(item.OffsetY, scale, false);
      item.HorzSpace = ScaleValue(item.HorzSpace, scale, false);
      item.VertSpace = ScaleValue(item.VertSpace, scale, false);
    }
    item.ShadowOffsetX = ScaleValue(item.ShadowOffsetX, scale, true);
    item.ShadowOffsetY = ScaleValue(item.ShadowOffsetY, scale, true);
    item.Spray = ScaleValue(item.Spray, scale, true);
    out.SetItem(i, item);
  }
  return out;
}

bool IsRandomPlace(const TMarkItem& item) {
  return item.PlaceStyle != 1 && item.PlaceStyle != 2 &&
         (item.PlaceStyle == 3 || item.Position < 1 || item.Position > 9);
}

// Where a picture layer's logo of w x h lands on a W x H picture, as the
// picture drawing places it.
TLayerBox PictureBox(TMarkItem item, int W, int H, int w, int h) {
  TLayerBox box;
  if (!LayerShownOn(item, W, H)) return box;
  box.Visible = true;
  ResolveRelativeMargins(item, W, H);
  if (const int length = RelativeLength(item, W, H); length > 0) {
    const TLogoSize size = RelativeLogoSize(w, h, length);
    w = size.w;
    h = size.h;
  }
  switch (item.PlaceStyle) {
    case 1:
      box.Tiled = true;
      box.Box = {0, 0, w, h};
      break;
    case 2: {
      const int64_t hs = item.HorzSpace, vs = item.VertSpace;
      const int64_t tw = W > 2 * hs ? W - 2 * hs : W;
      const int64_t th = H > 2 * vs ? H - 2 * vs : H;
      if (tw <= kMaxBitmapSide && th <= kMaxBitmapSide) {
        w = static_cast<int>(tw);
        h = static_cast<int>(th);
      }
      box.Box = {static_cast<int>(hs), static_cast<int>(vs), static_cast<int>(hs + w),
                 static_cast<int>(vs + h)};
      break;
    }
    default: {
      box.Random = IsRandomPlace(item);
      const TPlacePoint p = PlaceInImage(W, H, w, h, box.Random ? 0 : item.Position);
      const int64_t x = int64_t{p.x} + item.OffsetX, y = int64_t{p.y} + item.OffsetY;
      box.Box = {static_cast<int>(std::clamp<int64_t>(x, INT32_MIN / 2, INT32_MAX / 2)),
                 static_cast<int>(std::clamp<int64_t>(y, INT32_MIN / 2, INT32_MAX / 2)), 0, 0};
      box.Box.Right = box.Box.Left + w;
      box.Box.Bottom = box.Box.Top + h;
      break;
    }
  }
  return box;
}

TLayerBox TextBox(TBitmap& target, const TMarkItem& item, const std::string& fileName,
                  const TExifSummary& exif, int32_t sequence) {
  TLayerBox box;
  const TTextLayerBox m = MeasureTextLayer(target, item, fileName, exif, sequence);
  box.Visible = m.Drawn;
  box.Tiled = m.Tiled;
  box.Random = m.Random;
  box.Box = m.Box;
  return box;
}

// The document's layers as (section, values) for PrepareTemplate.
std::vector<std::pair<std::u16string, TMarkItem>> PreparedLayersOf(const TTemplateDocument& doc) {
  std::vector<std::pair<std::u16string, TMarkItem>> layers;
  layers.reserve(doc.LayerCount());
  for (const TDesignerLayer& layer : doc.Layers()) layers.emplace_back(layer.Section, layer.Item);
  return layers;
}

// Logos and textures shrink with the picture; layers naming one file still
// share one bitmap.
void ShrinkPictures(TPreparedTemplate& prepared, double scale) {
  std::map<const TBitmap32*, std::shared_ptr<const TBitmap32>> done;
  auto shrink = [&](std::shared_ptr<const TBitmap32>& picture) {
    if (picture->Empty()) return false;
    auto [it, fresh] = done.try_emplace(picture.get(), nullptr);
    if (fresh) {
      TBitmap32 small = *picture;
      ResizeBitmap32(small, ScaledSide(picture->Width(), scale),
                     ScaledSide(picture->Height(), scale));
      it->second = std::make_shared<const TBitmap32>(std::move(small));
    }
    picture = it->second;
    return true;
  };
  for (TPreparedLayer& layer : prepared.Layers) {
    shrink(layer.Logo);
    if (shrink(layer.Texture)) layer.TextureFill = TextureFillOf(*layer.Texture);
  }
}

TRect Unscale(const TRect& r, double scale) {
  if (scale >= 1) return r;
  auto u = [&](int v) {
    return static_cast<int>(
        std::clamp(std::round(v / scale), double(INT32_MIN), double(INT32_MAX)));
  };
  return {u(r.Left), u(r.Top), u(r.Right), u(r.Bottom)};
}

}  // namespace

void TPreviewSample::Load(const std::string& path, bool autoRotate) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw TDocumentError(path + ": is a folder");
  if (!std::filesystem::is_regular_file(path, ec)) throw TDocumentError(path + ": no such file");
  TBitmap bitmap;
  TExifSummary exif;
  try {
    RasterImage image;
    if (!ReadImageFile(path, image))
      throw TDocumentError(path + ": not a picture this program reads");
    ImageToBitmap(image, bitmap);
    ImageFree(image);
    TimgData reader;
    reader.ReadMetadata(path);
    FillExifSummary(exif, reader);
    if (autoRotate) TurnUpright(bitmap, reader, path);
  } catch (const TDocumentError&) {
    throw;
  } catch (const std::exception& e) {
    throw TDocumentError(path + ": " + e.what());
  }
  if (bitmap.Empty()) throw TDocumentError(path + ": the picture is empty");
  Set(std::move(bitmap), FileNamePart(path), std::move(exif));
}

void TPreviewSample::Set(TBitmap picture, std::string fileName, TExifSummary exif) {
  full_ = std::move(picture);
  fileName_ = std::move(fileName);
  exif_ = std::move(exif);
  scaled_ = TBitmap();
  scaledFor_ = 0;
}

const TBitmap& TPreviewSample::Scaled(double scale) {
  if (scale >= 1 || full_.Empty()) return full_;
  if (scaledFor_ != scale || scaled_.Empty()) {
    scaled_ = Downscale(full_, ScaledSide(full_.Width(), scale), ScaledSide(full_.Height(), scale));
    scaledFor_ = scale;
  }
  return scaled_;
}

double FitScale(int width, int height, int maxSide) {
  if (width <= 0 || height <= 0 || maxSide <= 0) return 1;
  const int side = std::max(width, height);
  return side <= maxSide ? 1.0 : static_cast<double>(maxSide) / side;
}

namespace {

TDesignerPreview Render(const TTemplateDocument& document, const TBitmap& fullSample,
                        const TBitmap* scaledSample, const std::string& fileName,
                        const TExifSummary& exif, const std::string& watermarkFolder,
                        double scale) {
  TDesignerPreview result;
  result.Boxes.resize(document.LayerCount());
  if (fullSample.Empty()) {
    result.Warnings.push_back("there is no sample picture to draw on");
    return result;
  }
  if (!(scale > 0) || scale > 1) scale = 1;
  // A scale that leaves no pixel is raised to one pixel's worth.
  scale = std::max(scale, 1.0 / std::max(fullSample.Width(), fullSample.Height()));
  result.Scale = scale;
  if (scale >= 1)
    result.Picture = fullSample;
  else if (scaledSample)
    result.Picture = *scaledSample;
  else
    result.Picture = Downscale(fullSample, ScaledSide(fullSample.Width(), scale),
                               ScaledSide(fullSample.Height(), scale));
  if (scale < 1) result.Scale = static_cast<double>(result.Picture.Width()) / fullSample.Width();
  const TTemplateDocument drawn = scale < 1 ? ScaledDocument(document, scale) : document;

  // The layers as a run reads them from the saved file, painted by the
  // run's own pipeline on the (reduced) picture; the editor's sample is
  // upright already and has no size restriction or border.
  std::string folder = watermarkFolder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  TPreparedTemplate prepared = PrepareTemplate(PreparedLayersOf(drawn), folder);
  std::vector<std::shared_ptr<const TBitmap32>> fullLogos;
  for (const TPreparedLayer& layer : prepared.Layers) fullLogos.push_back(layer.Logo);
  if (scale < 1) ShrinkPictures(prepared, scale);
  TPictureMarks marks;
  marks.FileName = fileName;
  marks.Exif = exif;
  marks.Sequence = prepared.StartSequence;
  const int32_t sequence = marks.Sequence;
  TSettings steps;
  steps.AutoRotate = false;
  steps.Resize = false;
  steps.DrawBorder = false;
  result.Warnings = TPicturePipeline(steps, prepared, TPipelinePurpose::Preview)
                        .Finish(result.Picture, marks)
                        .Warnings;

  // Boxes, measured on the drawn picture's size, given in full-size pixels.
  const int W = result.Picture.Width(), H = result.Picture.Height();
  TBitmap measure(W, H, TPixelFormat::pf1bit);
  for (size_t i = 0; i < drawn.LayerCount(); ++i) {
    const TMarkItem& item = drawn.Layer(i).Item;
    if (!item.Enabled) continue;
    TLayerBox box;
    if (item.Style != 0) {
      const TBitmap32& drawnLogo = *prepared.Layers[i].Logo;
      if (drawnLogo.Empty()) continue;
      if (scale < 1) {
        // The full-size logo gives the box its exact size.
        const TBitmap32& logo = *fullLogos[i];
        box = PictureBox(document.Layer(i).Item, fullSample.Width(), fullSample.Height(),
                         logo.Width(), logo.Height());
        result.Boxes[i] = box;
        continue;
      }
      box = PictureBox(item, W, H, drawnLogo.Width(), drawnLogo.Height());
    } else {
      box = TextBox(measure, item, fileName, exif, sequence);
    }
    box.Box = Unscale(box.Box, result.Scale);
    result.Boxes[i] = box;
  }
  return result;
}

}  // namespace

TDesignerPreview RenderDesignerPreview(const TTemplateDocument& document, TPreviewSample& sample,
                                       const std::string& watermarkFolder, double scale) {
  const TBitmap* scaled = nullptr;
  if (scale > 0 && scale < 1 && !sample.Empty()) {
    scale = std::max(scale, 1.0 / std::max(sample.Width(), sample.Height()));
    scaled = &sample.Scaled(scale);
  }
  return Render(document, sample.Full(), scaled, sample.FileName(), sample.Exif(), watermarkFolder,
                scale);
}

TDesignerPreview RenderDesignerPreview(const TTemplateDocument& document, const TBitmap& sample,
                                       const std::string& sampleFileName,
                                       const TExifSummary& exifSummary,
                                       const std::string& watermarkFolder, double scale) {
  return Render(document, sample, nullptr, sampleFileName, exifSummary, watermarkFolder, scale);
}

TLayerBox MeasureLayerBox(const TTemplateDocument& document, size_t index,
                          const TPreviewSample& sample, const std::string& watermarkFolder) {
  TLayerBox box;
  const TMarkItem& item = document.Layer(index).Item;
  if (!item.Enabled || sample.Empty()) return box;
  const int W = sample.Width(), H = sample.Height();
  if (item.Style != 0) {
    if (item.Picture.empty()) return box;
    std::string folder = watermarkFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    TBitmap32 logo;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(folder + item.Picture, ec) ||
        !LoadFileToBitmap32(folder + item.Picture, logo) || logo.Empty())
      return box;
    return PictureBox(item, W, H, logo.Width(), logo.Height());
  }
  // The sequence variable shows the start value a run begins with.
  const int32_t sequence = PrepareTemplate(PreparedLayersOf(document), std::nullopt).StartSequence;
  TBitmap measure(W, H, TPixelFormat::pf1bit);
  return TextBox(measure, item, sample.FileName(), sample.Exif(), sequence);
}

bool PlaceLayerAt(TMarkItem& item, const TRect& layerBox, int pictureWidth, int pictureHeight,
                  int newLeft, int newTop) {
  if (item.PlaceStyle == 1 || item.PlaceStyle == 2) return false;
  if (pictureWidth <= 0 || pictureHeight <= 0) return false;
  const int w = layerBox.Width(), h = layerBox.Height();
  // The cell of the 3 x 3 grid that holds the dropped box's centre.
  const int64_t cx = int64_t{newLeft} + w / 2, cy = int64_t{newTop} + h / 2;
  const int col = static_cast<int>(std::clamp<int64_t>(cx * 3 / pictureWidth, 0, 2));
  const int row = static_cast<int>(std::clamp<int64_t>(cy * 3 / pictureHeight, 0, 2));
  const int position = row * 3 + col + 1;
  // The cell's corner as the drawing computes it (without touching the
  // random generator the drawing reseeds).
  const int dx = pictureWidth - w, dy = pictureHeight - h;
  const TPlacePoint anchor{col == 0   ? 0
                           : col == 1 ? dx / 2
                                      : dx,
                           row == 0   ? 0
                           : row == 1 ? dy / 2
                                      : dy};
  item.PlaceStyle = 0;
  item.Position = position;
  int64_t offsetX = int64_t{newLeft} - anchor.x, offsetY = int64_t{newTop} - anchor.y;
  if (item.OffsetMode == 1) {
    // Relative offsets: per mille of the shorter side, to the nearest.
    const int64_t side = std::min(pictureWidth, pictureHeight);
    auto perMille = [side](int64_t v) {
      return (v >= 0 ? v * 1000 + side / 2 : v * 1000 - side / 2) / side;
    };
    offsetX = perMille(offsetX);
    offsetY = perMille(offsetY);
  }
  item.OffsetX = static_cast<int32_t>(std::clamp<int64_t>(offsetX, INT32_MIN, INT32_MAX));
  item.OffsetY = static_cast<int32_t>(std::clamp<int64_t>(offsetY, INT32_MIN, INT32_MAX));
  return true;
}

TBitmap SampleInOrientation(const TBitmap& picture, bool portrait) {
  const int W = picture.Width(), H = picture.Height();
  if (picture.Empty() || (H > W) == portrait) return picture;
  // The middle of the picture at 3:4 (from a landscape or square one) or
  // 4:3 (from a portrait).
  const int w = portrait ? std::max(1, H * 3 / 4) : W;
  const int h = portrait ? H : std::max(1, W * 3 / 4);
  TBitmap out(w, h, picture.PixelFormat());
  out.Palette() = picture.Palette();
  BitBlt(out, 0, 0, w, h, picture, (W - w) / 2, (H - h) / 2);
  return out;
}

}  // namespace imprimo
