// The window's preview and thumbnails, engine side: rendering a 12-megapixel
// JPEG through each sample template and the JPEG output in memory, and the
// thumbnail cells of many 12-megapixel JPEGs (reduced decoding) beside the
// same cells from full decodes.
//
//   bench_preview [templates folder] [thumbnail count]
// The templates folder defaults to data/Watermarks of the source tree.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/render_preview.h"
#include "app/settings.h"
#include "app/upright_picture.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"
#include "templates/template_file.h"
#include "templates/template_state.h"

using namespace imprimo;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// A camera-like 4000 x 3000 JPEG at quality 90: gradients with fine texture.
std::vector<uint8_t> MakePhoto(int seed) {
  RasterImage image;
  ImageCreate(image, 4000, 3000, ifR8G8B8);
  uint32_t noise = 12345u + uint32_t(seed) * 7919u;
  for (int y = 0; y < image.Height; ++y) {
    uint8_t* p = image.Row(y);
    for (int x = 0; x < image.Width; ++x, p += 3) {
      noise = noise * 1664525u + 1013904223u;
      const int n = int(noise >> 28);
      p[0] = uint8_t(std::clamp(x * 255 / 4000 + n, 0, 255));
      p[1] = uint8_t(std::clamp(y * 255 / 3000 + n, 0, 255));
      p[2] = uint8_t(std::clamp((x + y + seed * 50) % 256 + n, 0, 255));
    }
  }
  TMemoryStream out;
  EncodeJpeg(image, 90, false, out);
  return out.Data();
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path templates = argc > 1 && argv[1][0] != 0
                                 ? fs::path(argv[1])
                                 : fs::path(IMPRIMO_BENCH_SOURCE_DIR) / "data" / "Watermarks";
  const int thumbnails = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
  const fs::path dir = fs::temp_directory_path() / "imprimo_bench_preview";
  fs::remove_all(dir);
  fs::create_directories(dir);

  const std::vector<uint8_t> photo = MakePhoto(0);
  const fs::path source = dir / "photo.jpg";
  WriteFile(source, photo);
  std::printf("source: 4000x3000 JPEG, %zu bytes\n", photo.size());

  TSettings settings;
  settings.SaveFormat = 0;
  settings.Quality = 90;
  std::vector<fs::path> wg;
  for (const auto& e : fs::directory_iterator(templates))
    if (e.path().extension() == ".wg") wg.push_back(e.path());
  std::sort(wg.begin(), wg.end());
  for (const fs::path& t : wg) {
    TTemplateState state;
    state.TemplateDoc = OpenTemplateFile(t.string());
    PrepareLayers(state, templates.string() + "/");
    std::vector<double> times;
    for (int i = 0; i < 3; ++i) {
      TBitmap picture;
      const auto a = Clock::now();
      if (!RenderPreviewPicture(source.string(), settings, state, picture)) {
        std::printf("%s: preview failed\n", t.filename().string().c_str());
        return 1;
      }
      times.push_back(Ms(a, Clock::now()));
    }
    std::sort(times.begin(), times.end());
    std::printf("preview, template %-22s %7.1f ms (median of 3)\n", t.filename().string().c_str(),
                times[1]);
  }

  // Thumbnails: a few different photos, each written many times.
  std::vector<fs::path> files;
  for (int i = 0; i < thumbnails; ++i) {
    const fs::path f = dir / ("t" + std::to_string(i) + ".jpg");
    if (i < 4)
      WriteFile(f, i == 0 ? photo : MakePhoto(i));
    else
      fs::copy_file(dir / ("t" + std::to_string(i % 4) + ".jpg"), f);
    files.push_back(f);
  }
  auto a = Clock::now();
  for (const fs::path& f : files) {
    TBitmap cell;
    if (!LoadThumbnailCell(f.string(), true, 0xF0F0F0, cell)) return 1;
  }
  const double reduced = Ms(a, Clock::now());
  std::printf("thumbnails, reduced decoding: %d files in %.0f ms (%.1f ms each)\n", thumbnails,
              reduced, reduced / thumbnails);
  // As the window makes them: one worker per core, at most four.
  const size_t workers = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), 4);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  a = Clock::now();
  {
    std::vector<std::thread> pool;
    for (size_t w = 0; w < workers; ++w)
      pool.emplace_back([&] {
        for (size_t i = next++; i < files.size(); i = next++) {
          TBitmap cell;
          if (!LoadThumbnailCell(files[i].string(), true, 0xF0F0F0, cell)) failed = true;
        }
      });
    for (std::thread& t : pool) t.join();
  }
  if (failed) return 1;
  const double parallel = Ms(a, Clock::now());
  std::printf("thumbnails, %zu workers:       %d files in %.0f ms (%.1f ms each)\n", workers,
              thumbnails, parallel, parallel / thumbnails);
  a = Clock::now();
  for (int i = 0; i < 20; ++i) {
    RasterImage small;
    DecodeJpegReduced(photo, kThumbnailBox, kThumbnailBox, small);
  }
  std::printf("reduced JPEG decode alone: %.1f ms each\n", Ms(a, Clock::now()) / 20);
  const int full = std::min(thumbnails, 20);
  a = Clock::now();
  for (int i = 0; i < full; ++i) {
    TBitmap picture, cell;
    if (!LoadUprightBitmap(files[size_t(i)].string(), picture, true)) return 1;
    DrawThumbnailCell(picture, 0xF0F0F0, cell);
  }
  const double whole = Ms(a, Clock::now());
  std::printf("thumbnails, full decoding:    %d files in %.0f ms (%.1f ms each)\n", full, whole,
              whole / full);
  fs::remove_all(dir);
  return 0;
}
