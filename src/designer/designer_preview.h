// The template editor's preview: a template drawn on a sample photo through
// the same engine calls a run makes, with each layer's box, at full size or
// on a downscaled working copy; and the placement arithmetic of dragging a
// layer in the preview. No Qt here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "designer/template_document.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "render/text_variables.h"

namespace imprimo {

// A photo to preview on: the picture as a run sees it (loaded, turned
// upright by its EXIF orientation), its file name and EXIF summary, and a
// cache of downscaled copies.
class TPreviewSample {
 public:
  // Loads any picture the image file layer reads. Throws TDocumentError
  // with the reason when it does not load; the sample is unchanged then.
  void Load(const std::string& path, bool autoRotate = true);
  // Uses a picture already in memory.
  void Set(TBitmap picture, std::string fileName, TExifSummary exif);

  bool Empty() const { return full_.Empty(); }
  const TBitmap& Full() const { return full_; }
  int Width() const { return full_.Width(); }
  int Height() const { return full_.Height(); }
  const std::string& FileName() const { return fileName_; }
  const TExifSummary& Exif() const { return exif_; }

  // The picture scaled by scale (0 < scale <= 1, area-averaged); the last
  // one made is kept, so asking again for the same scale is free.
  const TBitmap& Scaled(double scale);

 private:
  TBitmap full_;
  std::string fileName_;
  TExifSummary exif_;
  TBitmap scaled_;
  double scaledFor_ = 0;
};

// Where a layer lies, in full-size picture pixels. Tiled layers give the
// first copy (top-left); a layer that draws nothing (disabled, empty text,
// missing logo) is not Visible.
// Random placement draws a new place by lot each time: Random is set and
// the box is one such place.
struct TLayerBox {
  bool Visible = false;
  bool Tiled = false;
  bool Random = false;
  TRect Box;
};

struct TDesignerPreview {
  TBitmap Picture;                    // the sample with the template, at Scale
  double Scale = 1;                   // Picture's size / the sample's size
  std::vector<std::string> Warnings;  // as a run reports them (missing logo, ...)
  std::vector<TLayerBox> Boxes;       // one per layer of the document
};

// The scale that fits a w x h picture into maxSide x maxSide (1 when it
// already fits).
double FitScale(int width, int height, int maxSide);

// The drawing shares the font engine and the random generator of the
// process: render from one thread at a time.
//
// Draws the document on the sample: the template's INI form goes through
// PrepareLayers (logos from watermarkFolder, trailing "/") and ApplyTemplate
// with the sample's EXIF summary and file name, exactly as a run paints it.
// At scale 1 the picture equals what a run paints on the same picture
// (before the border and the output format's save). Below 1 the sample is
// downscaled and so are the layers' pixel values -- font size, offsets,
// tile gaps, shadow offsets, blur, spray and the logos -- rounded to whole
// pixels: the look is that of the full render, not its exact pixels (thin
// strokes, blur radii and tile counts can differ by a pixel). The sequence
// variable shows the template's start value. An empty sample gives an empty
// picture and a warning.
TDesignerPreview RenderDesignerPreview(const TTemplateDocument& document, TPreviewSample& sample,
                                       const std::string& watermarkFolder, double scale = 1);
// Same on a picture in memory (no cache of the downscaled copy).
TDesignerPreview RenderDesignerPreview(const TTemplateDocument& document, const TBitmap& sample,
                                       const std::string& sampleFileName,
                                       const TExifSummary& exifSummary,
                                       const std::string& watermarkFolder, double scale = 1);

// The exact full-size box of layer index on a picture of the sample's size,
// measured the way the drawing places it; for the drop of a drag.
TLayerBox MeasureLayerBox(const TTemplateDocument& document, size_t index,
                          const TPreviewSample& sample, const std::string& watermarkFolder);

// A layer whose box (full-size pixels, as measured) was dragged so that its
// top-left corner is now newTopLeft: the position cell nearest to where the
// box's centre was dropped (3 x 3 grid of the picture) and the offsets that
// make the drawing put the box's top-left corner exactly at newTopLeft.
// Random placement becomes fixed placement at that cell. Tiled and
// stretched layers are not moved by dragging: returns false and leaves item
// as it is; true when item was changed.
// Offsets given relative to the picture come out per mille of its shorter
// side, to the nearest.
bool PlaceLayerAt(TMarkItem& item, const TRect& layerBox, int pictureWidth, int pictureHeight,
                  int newLeft, int newTop);

// The picture as a sample of the other orientation when it is not of the
// one asked for: its middle at 3:4 for a portrait (from a landscape or
// square picture), at 4:3 for a landscape (from a portrait). A picture of
// the asked orientation is returned as it is.
TBitmap SampleInOrientation(const TBitmap& picture, bool portrait);

}  // namespace imprimo
