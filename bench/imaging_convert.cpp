// Times pixel format conversions of a 12-megapixel image (4000 x 3000), the
// size of a typical camera photo: R8G8B8 -> A8R8G8B8 is the conversion every
// loaded JPEG takes on its way to a 32-bit bitmap.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "imaging/raster_image.h"

using namespace imprimo;

static double TimeConversion(TImageFormat from, TImageFormat to, int runs) {
  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    RasterImage img;
    ImageCreate(img, 4000, 3000, from);
    for (int32_t i = 0; i < img.Size; ++i)
      img.Bits[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    auto t0 = std::chrono::steady_clock::now();
    ImageConvert(img, to);
    auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  return best;
}

int main() {
  struct Case {
    TImageFormat from, to;
    int runs;
    double goalMs;
  };
  const Case cases[] = {{ifR8G8B8, ifA8R8G8B8, 7, 30.0},
                        {ifA8R8G8B8, ifR8G8B8, 5, 0},
                        {ifR8G8B8, ifGray8, 3, 0},
                        {ifR8G8B8, ifA16R16G16B16, 3, 0},
                        {ifR8G8B8, ifIndex8, 1, 0}};
  int failed = 0;
  for (const Case& c : cases) {
    double ms = TimeConversion(c.from, c.to, c.runs);
    std::printf("%-10s -> %-14s 12 MP: %8.2f ms (best of %d)", GetImageFormatInfo(c.from)->Name,
                GetImageFormatInfo(c.to)->Name, ms, c.runs);
    if (c.goalMs > 0) {
      std::printf("  goal < %.0f ms: %s", c.goalMs, ms < c.goalMs ? "met" : "MISSED");
      failed += ms >= c.goalMs;
    }
    std::printf("\n");
  }
  return failed ? 1 : 0;
}
