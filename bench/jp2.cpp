// JPEG 2000 encode speed against the reference command-line encoder, on one
// generated 12-megapixel photo-like picture at quality 80 (the same
// compression ratio, irreversible wavelet, one layer). The tool runs as a
// process on a PPM file, so its time includes start-up and reading the file;
// ours is the coding only (the result stays in memory).
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
#include <thread>

#include "imaging/file_format.h"
#include "imaging/formats/jp2_format.h"

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
      const float edge = (std::sin(fx * 40.0f) > 0.6f) ? 40.0f : 0.0f;
      const float r = 120 + 80 * std::sin(fx * 6.0f + fy * 3.0f) + edge + noise(rng);
      const float g = 110 + 70 * std::cos(fy * 5.0f - fx * 2.0f) + noise(rng);
      const float b = 100 + 60 * std::sin((fx + fy) * 4.0f) - edge / 2 + noise(rng);
      row[x * 3] = static_cast<uint8_t>(std::clamp(b, 0.0f, 255.0f));
      row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(g, 0.0f, 255.0f));
      row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(r, 0.0f, 255.0f));
    }
  }
  return img;
}

void WritePpm(const std::string& path, const RasterImage& img) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fprintf(f, "P6\n%d %d\n255\n", img.Width, img.Height);
  std::vector<uint8_t> row(size_t(img.Width) * 3);
  for (int y = 0; y < img.Height; ++y) {
    const uint8_t* s = img.Row(y);
    for (int x = 0; x < img.Width; ++x) {
      row[x * 3] = s[x * 3 + 2];
      row[x * 3 + 1] = s[x * 3 + 1];
      row[x * 3 + 2] = s[x * 3];
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  std::fclose(f);
}

double ToolMs(int runs, const std::string& command) {
  bool failed = false;
  double ms = BestMs(runs, [&] {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) failed = true;
  });
  return failed ? -1 : ms;
}

}  // namespace

int main() {
  const int w = 4000, h = 3000;
  RasterImage photo = MakePhoto(w, h);
  const double ratio = Jp2CompressionRatio(80);
  std::printf("JPEG 2000 encode, %dx%d R8G8B8, quality 80 (ratio %.2f:1), %u hardware threads\n", w,
              h, ratio, std::thread::hardware_concurrency());

  TJp2EncodeOptions options;
  options.Quality = 80;
  size_t ourSize = 0;
  const double ours = BestMs(2, [&] { ourSize = EncodeJp2(photo, options).size(); });
  std::printf("  ours:                    %8.1f ms  %zu bytes\n", ours, ourSize);

  if (std::system("command -v opj_compress >/dev/null 2>&1") != 0) {
    std::printf("  opj_compress not installed: no comparison\n");
    return 0;
  }
  const auto dir =
      std::filesystem::temp_directory_path() / ("imprimo_bench_jp2_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string ppm = (dir / "photo.ppm").string(), out = (dir / "photo.jp2").string();
  WritePpm(ppm, photo);
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.4f", ratio);
  const std::string base = "opj_compress -I -r " + std::string(rate) + " -i " + ppm + " -o " + out;
  const double tool1 = ToolMs(2, base);
  const double toolN =
      ToolMs(2, base + " -threads " + std::to_string(std::thread::hardware_concurrency()));
  const auto toolSize = std::filesystem::exists(out) ? std::filesystem::file_size(out) : 0;
  std::printf("  opj_compress (1 thread): %8.1f ms  %ju bytes\n", tool1, uintmax_t(toolSize));
  std::printf("  opj_compress (threads):  %8.1f ms\n", toolN);
  if (tool1 > 0) std::printf("  ratio ours / tool (1 thread): %.2f\n", ours / tool1);
  if (toolN > 0) std::printf("  ratio ours / tool (threads):  %.2f\n", ours / toolN);
  std::filesystem::remove_all(dir);
  return 0;
}
