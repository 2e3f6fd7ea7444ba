// Image operations benchmark: the size restriction of a 12-megapixel image
// beside an outside resizer of the same filter family (Catmull-Rom), and a
// picture layer on a 12-megapixel image.
//
//   bench_imageops [iterations]
//
// The outside resizer runs as a process on a PPM file, so its time includes
// reading and writing; a plain read-and-write run of the same tool is timed as
// well so that its resize share can be told apart.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imageops/bitmap32.h"
#include "imageops/resize.h"
#include "platform/bitmap.h"
#include "render/mark_item.h"
#include "render/picture_layer.h"

using namespace imprimo;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

TBitmap MakePhoto(int w, int h) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = static_cast<uint8_t>(x * 255 / w);
      p[1] = static_cast<uint8_t>(y * 255 / h);
      p[2] = static_cast<uint8_t>((x ^ y) & 0xFF);
    }
  }
  return b;
}

bool WritePpm(const std::string& path, const TBitmap& b) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << b.Width() << " " << b.Height() << "\n255\n";
  std::vector<char> row(static_cast<size_t>(b.Width()) * 3);
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      row[x * 3] = static_cast<char>(p[x * 3 + 2]);
      row[x * 3 + 1] = static_cast<char>(p[x * 3 + 1]);
      row[x * 3 + 2] = static_cast<char>(p[x * 3]);
    }
    f.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
  return static_cast<bool>(f);
}

double TimeCommand(const std::string& cmd, int iterations) {
  std::vector<double> t;
  for (int i = 0; i < iterations; ++i) {
    auto a = Clock::now();
    if (std::system(cmd.c_str()) != 0) return -1;
    t.push_back(Ms(a, Clock::now()));
  }
  return Median(t);
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const TBitmap photo = MakePhoto(4000, 3000);

  // 1. Size restriction to fit 1024 x 768 (mode 3, cubic).
  std::vector<double> ours;
  for (int i = 0; i < iterations; ++i) {
    TBitmap b = photo;
    auto a = Clock::now();
    bool ok = RestrictImageSize(b, 1024, 768, 3);
    ours.push_back(Ms(a, Clock::now()));
    if (!ok || b.Width() != 1024 || b.Height() != 768) {
      std::fprintf(stderr, "RestrictImageSize failed\n");
      return 1;
    }
  }
  std::printf("RestrictImageSize 4000x3000 24-bit -> 1024x768: %.1f ms (median of %d)\n",
              Median(ours), iterations);

  const std::string dir =
      (std::filesystem::temp_directory_path() / "imprimo_bench_imageops").string();
  std::filesystem::create_directories(dir);
  const std::string in = dir + "/in.ppm", out = dir + "/out.ppm";
  if (std::system("command -v convert >/dev/null 2>&1") == 0 && WritePpm(in, photo)) {
    const double resize = TimeCommand(
        "convert '" + in + "' -filter Catrom -resize 1024x768 '" + out + "'", iterations);
    const double copy = TimeCommand("convert '" + in + "' '" + out + "'", iterations);
    if (resize > 0 && copy > 0) {
      std::printf("convert -filter Catrom -resize 1024x768 (process, PPM in/out): %.1f ms\n",
                  resize);
      std::printf("convert read+write only: %.1f ms; its resize share about %.1f ms\n", copy,
                  std::max(0.0, resize - copy));
      std::printf(
          "ratio ours / convert whole: %.2f; ours / convert resize share: %.2f "
          "(goal: within 1.0x)\n",
          Median(ours) / resize, Median(ours) / std::max(1.0, resize - copy));
    } else {
      std::printf("convert failed; no comparison\n");
    }
  } else {
    std::printf("convert not available; no comparison\n");
  }
  std::filesystem::remove_all(dir);

  // 2. Picture layer: a 400 x 200 logo at 60 % on a 12-megapixel image.
  TBitmap32 logo(400, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 400; ++x)
      logo.SetPixel(x, y, ((x / 20 + y / 20) % 2 ? 0xFFFFFFFFu : 0x80FF0000u));
  TMarkItem item;
  item.Style = 1;
  item.Alpha = 60;
  item.Position = 9;
  item.OffsetX = -20;
  item.OffsetY = -20;
  std::vector<double> layer;
  for (int i = 0; i < iterations; ++i) {
    TBitmap b = photo;
    auto a = Clock::now();
    DrawPictureLayer(b, item, logo);
    layer.push_back(Ms(a, Clock::now()));
  }
  std::printf("DrawPictureLayer 400x200 logo at 60%% on 4000x3000: %.1f ms (goal: under 60 ms)\n",
              Median(layer));
  return 0;
}
