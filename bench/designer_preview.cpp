// The template editor's preview: how long from a change of the template to
// the new picture on a 12-megapixel photo, for each sample template and for
// a text layer with a shadow and a tiled diagonal text, at the working scale
// (fitted into 1600 pixels) and at full size; plus the one-off cost of the
// downscaled working copy of the photo.
//
//   bench_designer_preview [templates folder] [rounds] [picture folder]
// The templates folder defaults to data/Watermarks of the source tree. With
// a picture folder, each template's working and full previews are written
// there as PNG files to look at.
#include "designer/designer_preview.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "designer/template_document.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/file_format.h"
#include "imaging/raster_image.h"
#include "platform/bitmap.h"

using namespace imprimo;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// A camera-like 4000 x 3000 picture: gradients with fine texture.
TBitmap MakePhoto() {
  TBitmap bitmap(4000, 3000, TPixelFormat::pf24bit);
  uint32_t noise = 12345u;
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      noise = noise * 1664525u + 1013904223u;
      const int n = int(noise >> 28);
      p[0] = uint8_t(std::clamp(x * 255 / 4000 + n, 0, 255));
      p[1] = uint8_t(std::clamp(y * 255 / 3000 + n, 0, 255));
      p[2] = uint8_t(std::clamp((x + y) % 256 + n, 0, 255));
    }
  }
  return bitmap;
}

TTemplateDocument ShadowAndDiagonal() {
  TTemplateDocument doc;
  TMarkItem text;
  text.Text = u"\u00A9 Imprimo Studio {$F}";
  text.FontName = "DejaVu Sans";
  text.FontSize = 96;
  text.Alpha = 90;
  text.isShadow = true;
  text.ShadowBlur = 4;
  text.ShadowAlpha = 70;
  text.ShadowOffsetX = 4;
  text.ShadowOffsetY = 4;
  text.OffsetX = -40;
  text.OffsetY = -40;
  doc.SetItem(doc.AddTextLayer(), text);
  TMarkItem diagonal;
  diagonal.Text = u"PROOF";
  diagonal.FontName = "DejaVu Serif";
  diagonal.FontSize = 72;
  diagonal.Angle = 35;
  diagonal.Alpha = 30;
  diagonal.PlaceStyle = 1;
  diagonal.HorzSpace = 200;
  diagonal.VertSpace = 160;
  doc.SetItem(doc.AddTextLayer(), diagonal);
  return doc;
}

// Median of rounds renders, each after a change of the first layer's colour
// (so no layer is drawn from a cache of the previous round's masks).
double Latency(TTemplateDocument doc, TPreviewSample& sample, const std::string& folder,
               double scale, int rounds) {
  std::vector<double> times;
  for (int r = 0; r < rounds; ++r) {
    if (doc.LayerCount() > 0) {
      TMarkItem item = doc.Layer(0).Item;
      item.FontColor = (item.FontColor + 0x102030) & 0xFFFFFF;
      doc.SetItem(0, item);
    }
    const auto t0 = Clock::now();
    const TDesignerPreview p = RenderDesignerPreview(doc, sample, folder, scale);
    times.push_back(Ms(t0, Clock::now()));
    if (p.Picture.Empty()) std::printf("  (no picture)\n");
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder =
      argc > 1 ? std::string(argv[1]) : std::string(IMPRIMO_BENCH_SOURCE_DIR "/data/Watermarks");
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  TPreviewSample sample;
  sample.Set(MakePhoto(), "IMG_0001.JPG", TExifSummary());
  const double scale = FitScale(sample.Width(), sample.Height(), 1600);

  const auto t0 = Clock::now();
  sample.Scaled(scale);
  std::printf("working copy %dx%d -> scale %.3f: %.1f ms (once per photo)\n", sample.Width(),
              sample.Height(), scale, Ms(t0, Clock::now()));

  std::vector<std::pair<std::string, TTemplateDocument>> templates;
  templates.emplace_back("shadow text + tiled diagonal", ShadowAndDiagonal());
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    if (e.path().extension() != ".wg") continue;
    try {
      templates.emplace_back(e.path().filename().string(),
                             TTemplateDocument::Open(e.path().string()));
    } catch (const TDocumentError& err) {
      std::printf("%s\n", err.what());
    }
  }
  std::printf("%-32s %14s %14s\n", "template", "working (ms)", "full (ms)");
  for (const auto& [name, doc] : templates) {
    const double work = Latency(doc, sample, folder + "/", scale, rounds);
    const double full = Latency(doc, sample, folder + "/", 1, std::max(1, rounds / 2));
    std::printf("%-32s %14.1f %14.1f\n", name.c_str(), work, full);
    if (argc > 3) {
      for (double s : {scale, 1.0}) {
        RasterImage image;
        TDesignerPreview p = RenderDesignerPreview(doc, sample, folder + "/", s);
        BitmapToImage(p.Picture, image);
        WriteImageFile(std::string(argv[3]) + "/" + name + (s < 1 ? ".working" : ".full") + ".png",
                       image);
      }
    }
  }
  return 0;
}
