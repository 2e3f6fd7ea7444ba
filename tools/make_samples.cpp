// Makes the project's sample pictures with our own image layer: synthetic
// landscape photos carrying a camera-style EXIF block, and the logo that the
// sample templates use.
//
//   make_samples DATA_DIR                 writes DATA_DIR/samples/*.jpg,
//                                         DATA_DIR/Watermarks/imprimo-logo.png
//                                         (and its 640-pixel twin)
//                                         and the welcome picture DATA_DIR/Logo.bmp
//   make_samples --photo W H SEED OUT.jpg one photo of W x H pixels
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "exif_block.h"
#include "imaging/file_format.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

using namespace imprimo;

namespace {

struct TRgb {
  double r, g, b;
};

TRgb Mix(TRgb a, TRgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

uint8_t Clamp(double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// A landscape: sky gradient, a sun, two ranges of hills and a lake, with a
// little grain so the JPEG sizes resemble camera files.
void PaintLandscape(RasterImage& image, int w, int h, unsigned seed) {
  ImageCreate(image, w, h, ifR8G8B8);
  const double phase = (seed % 97) * 0.137;
  const TRgb skyTop = seed % 3 == 2 ? TRgb{20, 24, 60} : TRgb{70, 130, 210};
  const TRgb skyLow = seed % 3 == 2 ? TRgb{200, 90, 60} : TRgb{200, 225, 245};
  const double sunX = w * (0.25 + 0.5 * ((seed * 37) % 100) / 100.0), sunY = h * 0.3;
  const double sunR = h * 0.07;
  uint32_t noise = seed * 2654435761u + 1;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = image.Row(y);
    const double fy = static_cast<double>(y) / h;
    for (int x = 0; x < w; ++x) {
      const double fx = static_cast<double>(x) / w;
      TRgb c = Mix(skyTop, skyLow, std::min(1.0, fy / 0.6));
      const double d = std::hypot(x - sunX, y - sunY);
      if (d < sunR)
        c = {255, 236, 170};
      else if (d < sunR * 3)
        c = Mix({255, 220, 150}, c, (d - sunR) / (sunR * 2));
      const double far = 0.52 + 0.06 * std::sin(fx * 7 + phase) + 0.03 * std::sin(fx * 23 + phase);
      const double near = 0.64 + 0.05 * std::sin(fx * 4 + phase * 2) + 0.02 * std::sin(fx * 31);
      if (fy > far) c = Mix({90, 110, 140}, {60, 80, 100}, (fy - far) * 3);
      if (fy > near) c = Mix({70, 130, 50}, {30, 80, 25}, std::min(1.0, (fy - near) * 4));
      if (fy > 0.8) {
        const double ripple = 0.5 + 0.5 * std::sin(y * 0.9 + std::sin(x * 0.05) * 3);
        c = Mix({40, 90, 140}, {120, 170, 210}, ripple * (1.0 - (fy - 0.8) * 2));
      }
      noise = noise * 1664525u + 1013904223u;
      const double grain = static_cast<double>((noise >> 24) & 0x1F) - 16.0;
      row[3 * x + 0] = Clamp(c.b + grain);
      row[3 * x + 1] = Clamp(c.g + grain);
      row[3 * x + 2] = Clamp(c.r + grain);
    }
  }
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

bool WritePhoto(const std::string& path, int w, int h, unsigned seed, samples::TExifFields exif) {
  RasterImage image;
  PaintLandscape(image, w, h, seed);
  SetImagingOption(ImagingJpegQuality, 88);
  TMemoryStream stream;
  if (!WriteImageStream("jpg", stream, image)) return false;
  exif.Width = static_cast<uint32_t>(w);
  exif.Height = static_cast<uint32_t>(h);
  const std::vector<uint8_t> jpeg =
      samples::SpliceApp1(stream.Data(), samples::BuildExifApp1(exif));
  return !jpeg.empty() && WriteBytes(path, jpeg);
}

// The logo: a framed picture symbol (sun over hills) on a magenta key colour,
// drawn on a 160-unit square at s x s pixels (each pixel sampled at its
// centre, so 160 gives the unit grid itself).
bool WriteLogo(const std::string& path, int s = 160) {
  const double k = s / 160.0;
  RasterImage image;
  ImageCreate(image, s, s, ifR8G8B8);
  for (int py = 0; py < s; ++py) {
    uint8_t* row = image.Row(py);
    const double y = (py + 0.5) / k - 0.5;
    for (int px = 0; px < s; ++px) {
      const double x = (px + 0.5) / k - 0.5;
      TRgb c = {255, 0, 255};  // transparency key
      const bool inFrame = x >= 16 && x < 160 - 16 && y >= 28 && y < 160 - 28;
      const bool border = inFrame && (x < 26 || x >= 160 - 26 || y < 38 || y >= 160 - 38);
      if (inFrame) c = {250, 250, 250};
      if (inFrame && !border) {
        c = {60, 140, 220};
        if (std::hypot(x - 100.0, y - 62.0) < 12) c = {255, 210, 40};
        if (y > 95 - 18 * std::sin((x - 26) / 108.0 * 3.14159)) c = {40, 160, 70};
      }
      if (border) c = {245, 245, 245};
      row[3 * px + 0] = Clamp(c.b);
      row[3 * px + 1] = Clamp(c.g);
      row[3 * px + 2] = Clamp(c.r);
    }
  }
  return WriteImageFile(path, image);
}

// The welcome page's picture: the picture symbol above the program's name in
// blocky capitals, on white.
bool WriteWelcome(const std::string& path) {
  constexpr int w = 360, h = 220;
  // 5 x 7 capitals, one row per string, '#' set.
  struct Glyph {
    char c;
    const char* rows[7];
  };
  static const Glyph glyphs[] = {
      {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
      {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
      {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
      {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
      {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
  };
  const std::string name = "IMPRIMO";
  constexpr int cell = 5, gap = 2;  // pixels per dot, dots between letters
  const int textW = int(name.size()) * (5 + gap) * cell - gap * cell;
  const int textX = (w - textW) / 2, textY = 150;
  auto inText = [&](int x, int y) {
    if (y < textY || y >= textY + 7 * cell || x < textX || x >= textX + textW) return false;
    const int dx = (x - textX) / cell, dy = (y - textY) / cell;
    const int letter = dx / (5 + gap), col = dx % (5 + gap);
    if (col >= 5) return false;
    for (const Glyph& g : glyphs)
      if (g.c == name[size_t(letter)]) return g.rows[dy][col] == '#';
    return false;
  };
  RasterImage image;
  ImageCreate(image, w, h, ifR8G8B8);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = image.Row(y);
    for (int x = 0; x < w; ++x) {
      TRgb c = {255, 255, 255};
      // The framed picture: 120 x 90 centred above the name.
      const int fx = x - (w - 120) / 2, fy = y - 30;
      if (fx >= 0 && fx < 120 && fy >= 0 && fy < 90) {
        const bool border = fx < 6 || fx >= 114 || fy < 6 || fy >= 84;
        if (border) {
          c = {70, 70, 80};
        } else {
          c = Mix({60, 120, 210}, {150, 200, 240}, fy / 90.0);
          if (std::hypot(fx - 82.0, fy - 30.0) < 11) c = {255, 210, 40};
          if (fy > 62 - 14 * std::sin((fx - 6) / 108.0 * 3.14159)) c = {40, 150, 70};
        }
      }
      if (inText(x, y)) c = {40, 60, 110};
      row[3 * x + 0] = Clamp(c.b);
      row[3 * x + 1] = Clamp(c.g);
      row[3 * x + 2] = Clamp(c.r);
    }
  }
  return WriteImageFile(path, image);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 6 && std::string(argv[1]) == "--photo") {
      const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
      const unsigned seed = static_cast<unsigned>(std::atoi(argv[4]));
      samples::TExifFields exif;
      exif.Iso = static_cast<uint16_t>(100 + (seed % 8) * 100);
      return WritePhoto(argv[5], w, h, seed, exif) ? 0 : 1;
    }
    if (argc != 2) {
      std::fprintf(stderr, "usage: make_samples DATA_DIR | --photo W H SEED OUT.jpg\n");
      return 2;
    }
    const std::string data = argv[1];
    std::filesystem::create_directories(data + "/samples");
    std::filesystem::create_directories(data + "/Watermarks");
    struct {
      const char* name;
      unsigned seed;
      samples::TExifFields exif;
    } photos[] = {
        {"lake-morning.jpg",
         1,
         {"Imprimo Optics", "Sample One", "2026:06:21 07:45:12", 1, 500, 80, 10, 100, 24, 1}},
        {"hills-noon.jpg",
         4,
         {"Northlight", "NL-20 Mark II", "2026:07:03 12:10:40", 1, 1000, 110, 10, 200, 50, 1}},
        {"dusk-ridge.jpg",
         2,
         {"Imprimo Optics", "Sample One", "2026:09:14 19:58:03", 1, 30, 28, 10, 1600, 85, 1}},
    };
    for (const auto& p : photos) {
      const std::string path = data + "/samples/" + p.name;
      if (!WritePhoto(path, 1200, 800, p.seed, p.exif)) {
        std::fprintf(stderr, "make_samples: could not write %s\n", path.c_str());
        return 1;
      }
    }
    // The large twin serves the templates that size the logo to the picture:
    // it stays sharp up to 640 pixels on the largest photos.
    if (!WriteLogo(data + "/Watermarks/imprimo-logo.png") ||
        !WriteLogo(data + "/Watermarks/imprimo-logo-large.png", 640)) {
      std::fprintf(stderr, "make_samples: could not write the logo\n");
      return 1;
    }
    if (!WriteWelcome(data + "/Logo.bmp")) {
      std::fprintf(stderr, "make_samples: could not write the welcome picture\n");
      return 1;
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_samples: %s\n", e.what());
    return 1;
  }
}
