// Painting a template on many small pictures: the layers read from the
// template's text for every picture (what each picture cost before the
// template was read once per run; the floor here) beside the layers
// prepared once and shared.
//
//   bench_prepared_template [pictures] [layers]
#include "templates/prepared_template.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ini/ini_document.h"
#include "platform/bitmap.h"

using namespace imprimo;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// layers text layers, each with a few keys and a small text, placed in turn
// at the nine positions.
IniDocument ManyLayers(int layers) {
  std::string text;
  for (int i = 0; i < layers; ++i)
    text += "[L" + std::to_string(i) + "]\r\nText=" + std::to_string(i) +
            "\r\nFontName=DejaVu Sans\r\nFontSize=8\r\nAlpha=60\r\nPosition=" +
            std::to_string(1 + i % 9) + "\r\nOffsetX=" + std::to_string(i % 7) + "\r\n";
  return IniDocument::FromBytes(text);
}

}  // namespace

int main(int argc, char** argv) {
  const int pictures = argc > 1 ? std::atoi(argv[1]) : 200;
  const int layers = argc > 2 ? std::atoi(argv[2]) : 60;
  const IniDocument doc = ManyLayers(layers);
  const TBitmap blank(160, 120, TPixelFormat::pf24bit);
  TPictureMarks marks;
  marks.FileName = "photo.jpg";

  auto run = [&](bool readEveryTime) {
    const TPreparedTemplate once = PrepareTemplate(doc, std::nullopt);
    size_t warnings = 0;
    const auto a = Clock::now();
    for (int i = 0; i < pictures; ++i) {
      TBitmap picture = blank;
      if (readEveryTime)
        warnings += PaintTemplate(PrepareTemplate(doc, std::nullopt), picture, marks).size();
      else
        warnings += PaintTemplate(once, picture, marks).size();
    }
    const double ms = Ms(a, Clock::now());
    if (warnings != 0) std::printf("(%zu layers not drawn)\n", warnings);
    return ms;
  };
  const double floor = run(true);
  const double ours = run(false);
  std::printf("%d pictures, %d layers: read per picture %.1f ms, read once %.1f ms (%.2fx)\n",
              pictures, layers, floor, ours, ours / floor);
  return 0;
}
