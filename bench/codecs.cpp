// Codec speed against the reference command-line tools, on one generated
// 12-megapixel photo-like picture:
//   JPEG decode and encode (quality 90) against djpeg / cjpeg,
//   PNG encode (level 5, Paeth) against ImageMagick's convert.
// The tools run as processes on the same files; their times include process
// start and file input, ours only the coding (the file is in memory).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "imaging/file_format.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/png_codec.h"

using namespace imprimo;
using Clock = std::chrono::steady_clock;

namespace {

double BestMs(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  return best;
}

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Best time of a shell command, or a negative value when it fails.
double ToolMs(int runs, const std::string& command) {
  bool failed = false;
  double ms = BestMs(runs, [&] {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) failed = true;
  });
  return failed ? -1 : ms;
}

// Smooth shading, edges and sensor-like noise: compresses like a photograph.
RasterImage MakePhoto(int w, int h) {
  RasterImage img;
  ImageCreate(img, w, h, ifR8G8B8);
  std::mt19937 rng(12345);
  std::normal_distribution<float> noise(0.0f, 3.0f);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = img.Row(y);
    const float fy = float(y) / h;
    for (int x = 0; x < w; ++x) {
      const float fx = float(x) / w;
      float r = 120 + 90 * std::sin(fx * 7.0f + fy * 3.0f) + 30 * std::cos(fy * 23.0f);
      float g = 110 + 80 * std::sin(fy * 5.0f - fx * 2.0f) + 25 * std::sin(fx * 41.0f);
      float b = 100 + 70 * std::cos((fx + fy) * 6.0f);
      if ((int(fx * 12) + int(fy * 9)) % 5 == 0) r += 40, g -= 30;  // hard-edged patches
      const float n = noise(rng);
      row[3 * x] = uint8_t(std::clamp(b + n, 0.0f, 255.0f));
      row[3 * x + 1] = uint8_t(std::clamp(g + n, 0.0f, 255.0f));
      row[3 * x + 2] = uint8_t(std::clamp(r + n, 0.0f, 255.0f));
    }
  }
  return img;
}

void WritePpm(const RasterImage& img, const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "P6\n%d %d\n255\n", img.Width, img.Height);
  std::vector<uint8_t> row(size_t(img.Width) * 3);
  for (int y = 0; y < img.Height; ++y) {
    const uint8_t* s = img.Row(y);
    for (int x = 0; x < img.Width; ++x) {
      row[3 * x] = s[3 * x + 2];
      row[3 * x + 1] = s[3 * x + 1];
      row[3 * x + 2] = s[3 * x];
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  std::fclose(f);
}

void WriteBytes(const std::vector<uint8_t>& data, const std::string& path) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
}

void Report(const char* what, double ours, const char* tool, double theirs) {
  if (theirs < 0) {
    std::printf("%-22s ours %8.1f ms   %-8s not available\n", what, ours, tool);
    return;
  }
  std::printf("%-22s ours %8.1f ms   %-8s %8.1f ms   ratio %.2fx\n", what, ours, tool, theirs,
              ours / theirs);
}

}  // namespace

int main() {
  const int w = 4000, h = 3000;
  const std::string dir = (std::filesystem::temp_directory_path() /
                           ("imprimo_bench_codecs_" + std::to_string(getpid())))
                              .string();
  std::filesystem::create_directories(dir);
  const std::string ppm = dir + "/photo.ppm", jpg = dir + "/photo.jpg";

  std::printf("Generating a %dx%d photo-like picture (%.1f megapixels)...\n", w, h, w * h / 1e6);
  RasterImage photo = MakePhoto(w, h);
  WritePpm(photo, ppm);

  TMemoryStream encoded;
  const double jpegEncode = BestMs(15, [&] {
    encoded = TMemoryStream();
    EncodeJpeg(photo, 90, false, encoded);
  });
  WriteBytes(encoded.Data(), jpg);
  std::printf("JPEG at quality 90: %zu bytes\n", encoded.Data().size());

  RasterImage decoded;
  const double jpegDecode = BestMs(15, [&] { DecodeJpeg(encoded.Data(), decoded); });
  const double layerDecode = BestMs(15, [&] { ReadImageFile(jpg, decoded); });

  const bool haveTurbo = HaveTool("djpeg") && HaveTool("cjpeg");
  const double djpeg = haveTurbo ? ToolMs(15, "djpeg -outfile /dev/null " + jpg) : -1;
  const double cjpeg =
      haveTurbo ? ToolMs(15, "cjpeg -quality 90 -outfile " + dir + "/cjpeg.jpg " + ppm) : -1;

  TMemoryStream png;
  const double pngEncode = BestMs(2, [&] {
    png = TMemoryStream();
    EncodePng(photo, TPngEncodeOptions{5, 5}, png);
  });
  std::printf("PNG at level 5: %zu bytes\n", png.Data().size());
  // The converter at zlib level 5; it ignores a request for Paeth on every
  // row (it writes filter None then), so it runs its adaptive filtering, which
  // gives files of about our size.
  const double convertPng =
      HaveTool("convert")
          ? ToolMs(2, "convert " + ppm + " -depth 8 -quality 55 PNG24:" + dir + "/im.png")
          : -1;

  if (std::FILE* f = std::fopen((dir + "/im.png").c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    std::printf("PNG from convert: %ld bytes\n", std::ftell(f));
    std::fclose(f);
  }
  std::printf("\n");
  Report("JPEG decode", jpegDecode, "djpeg", djpeg);
  Report("JPEG decode (file)", layerDecode, "djpeg", djpeg);
  Report("JPEG encode q90", jpegEncode, "cjpeg", cjpeg);
  Report("PNG encode level 5", pngEncode, "convert", convertPng);
  if (!haveTurbo) std::printf("(install libjpeg-turbo-progs for djpeg/cjpeg)\n");

  std::filesystem::remove_all(dir);
  return 0;
}
