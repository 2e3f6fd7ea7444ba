// Turning a 12-megapixel camera picture upright: every EXIF orientation on a
// 24- and a 32-bit bitmap, beside a plain copy of the same bitmap (the floor
// any turn that writes a new bitmap pays).
//
//   bench_orient [iterations]
#include "imageops/orient.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/bitmap.h"

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

TBitmap MakePhoto(int w, int h, TPixelFormat pf) {
  TBitmap b(w, h, pf);
  const int bpp = pf == TPixelFormat::pf32bit ? 4 : 3;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += bpp) {
      p[0] = static_cast<uint8_t>(x * 255 / w);
      p[1] = static_cast<uint8_t>(y * 255 / h);
      p[2] = static_cast<uint8_t>((x ^ y) & 0xFF);
    }
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  for (TPixelFormat pf : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    const TBitmap photo = MakePhoto(4000, 3000, pf);
    const int bits = pf == TPixelFormat::pf32bit ? 32 : 24;
    std::vector<double> copy;
    for (int i = 0; i < iterations; ++i) {
      auto a = Clock::now();
      TBitmap b = photo;
      copy.push_back(Ms(a, Clock::now()));
      if (b.Width() != photo.Width()) return 1;
    }
    std::printf("%d-bit 4000x3000 copy: %.1f ms\n", bits, Median(copy));
    for (int o = 2; o <= 8; ++o) {
      std::vector<double> t;
      for (int i = 0; i < iterations; ++i) {
        TBitmap b = photo;
        auto a = Clock::now();
        const bool ok = ApplyExifOrientation(b, o);
        t.push_back(Ms(a, Clock::now()));
        if (!ok) {
          std::fprintf(stderr, "ApplyExifOrientation %d failed\n", o);
          return 1;
        }
      }
      std::printf("%d-bit 4000x3000 orientation %d: %.1f ms (median of %d; goal: under 5x copy)\n",
                  bits, o, Median(t), iterations);
    }
  }
  return 0;
}
