#include "imageops/resize.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "imageops/bitmap32.h"
#include "imaging/bitmap_conversion.h"
#include "platform/numeric.h"

namespace imprimo {

// ---------------------------------------------------------------------------
// New size of the size restriction. Every quotient is taken in 80-bit extended
// precision in the order written; double precision gives different results
// for some sizes (4608 / (3456 / 600) lies just below 800 only in extended).

std::optional<TNewSize> ComputeRestrictedSize(int32_t w, int32_t h, int32_t W, int32_t H,
                                              int32_t mode) {
  if (mode < 0 || mode > 3) mode = 0;
  const long double lw = w, lh = h;
  long double nw = W, nh = H;
  auto fitHeight = [&](long double boxH) -> bool {
    if (boxH == 0.0L || lh == 0.0L) return false;
    long double q = lh / boxH;
    if (q == 0.0L) return false;
    nh = boxH;
    nw = lw / q;
    return std::isfinite(nw);
  };
  auto fitWidth = [&](long double boxW) -> bool {
    if (boxW == 0.0L || lw == 0.0L) return false;
    long double q = lw / boxW;
    if (q == 0.0L) return false;
    nw = boxW;
    nh = lh / q;
    return std::isfinite(nh);
  };
  switch (mode) {
    case 1:
      if (!fitHeight(H)) return std::nullopt;
      break;
    case 2:
      if (!fitWidth(W)) return std::nullopt;
      break;
    case 3: {
      long double bw = W, bh = H;
      if (w < h && W > H)
        std::swap(bw, bh);
      else if (w > h && W < H)
        std::swap(bw, bh);
      if (bw == 0.0L || lw == 0.0L) return std::nullopt;
      if (bh / bw >= lh / lw) {
        if (!fitWidth(bw)) return std::nullopt;
      } else {
        if (!fitHeight(bh)) return std::nullopt;
      }
      break;
    }
    default:
      break;
  }
  // Quotients beyond the int64 range are clamped; such sizes are refused later.
  auto cut = [](long double v) -> int64_t {
    constexpr long double kLimit = 1e15L;
    if (v > kLimit) return static_cast<int64_t>(kLimit);
    if (v < -kLimit) return -static_cast<int64_t>(kLimit);
    return Trunc(v);
  };
  return TNewSize{cut(nw), cut(nh)};
}

// ---------------------------------------------------------------------------
// Contributor tables.

namespace {

struct ContribTable {
  std::vector<int> first;  // index of the first contributor of each target position
  std::vector<int> count;
  std::vector<int> pos;
  std::vector<float> weight;
};

float LinearKernel(float x) {
  x = std::fabs(x);
  return x < 1.0f ? 1.0f - x : 0.0f;
}

float CubicKernel(float x) {
  x = std::fabs(x);
  if (x < 1.0f) return 1.5f * x * x * x - 2.5f * x * x + 1.0f;
  if (x < 2.0f) return -0.5f * x * x * x + 2.5f * x * x - 4.0f * x + 2.0f;
  return 0.0f;
}

ContribTable BuildContribs(int s, int d, int filter) {
  ContribTable t;
  t.first.resize(d);
  t.count.resize(d);
  float (*kernel)(float) = filter == rfBilinear ? LinearKernel : CubicKernel;
  const float radius = filter == rfBilinear ? 1.0f : 2.0f;
  const float scale = static_cast<float>(d) / static_cast<float>(s);
  auto add = [&](int j, float w) {
    t.pos.push_back(std::clamp(j, 0, s - 1));
    t.weight.push_back(w);
  };
  for (int i = 0; i < d; ++i) {
    const int start = static_cast<int>(t.pos.size());
    t.first[i] = start;
    if (s == 1) {
      add(0, 1.0f);
      t.count[i] = 1;
      continue;
    }
    const float centre = (static_cast<float>(i) + 0.5f) / scale - 0.5f;
    if (scale >= 1.0f) {
      const int lo = static_cast<int>(std::floor(centre - radius));
      const int hi = static_cast<int>(std::ceil(centre + radius));
      for (int j = lo; j <= hi; ++j) {
        float w = kernel(centre - static_cast<float>(j));
        if (w != 0.0f) add(j, w);
      }
    } else {
      const float width = radius / scale;
      const int lo = static_cast<int>(std::floor(centre - width));
      const int hi = static_cast<int>(std::ceil(centre + width));
      for (int j = lo; j <= hi; ++j) {
        float w = scale * kernel(scale * (centre - static_cast<float>(j)));
        if (w != 0.0f) add(j, w);
      }
    }
    int n = static_cast<int>(t.pos.size()) - start;
    if (n == 0) {
      add(static_cast<int>(std::floor(centre)), 1.0f);
      n = 1;
    }
    float total = 0.0f;
    for (int k = start; k < start + n; ++k) total += t.weight[k];
    if (total != 1.0f) t.weight[start + (n - 1) / 2] -= total - 1.0f;
    t.count[i] = n;
  }
  return t;
}

// Rounds halves to even and clamps to 0..255. Same rule as RoundHalfEven,
// kept in single precision because it runs once per channel of every pixel.
inline uint8_t ClampRound(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  int i = static_cast<int>(v);
  float frac = v - static_cast<float>(i);
  if (frac > 0.5f || (frac == 0.5f && (i & 1))) ++i;
  return static_cast<uint8_t>(i);
}

// cache[i] += w[k] * line_k[i] for the contributors k in order. Four
// contributors are taken per sweep; each element still sums them in the same
// order, so the result equals the one-at-a-time loop.
#if defined(__GNUC__) && !defined(__clang__)
// GCC vectorises these sweeps only from -O3 on; they carry most of the work.
#define IMPRIMO_VECTORIZE __attribute__((optimize("O3")))
#else
#define IMPRIMO_VECTORIZE
#endif

template <typename T>
IMPRIMO_VECTORIZE void AccumulateRows(float* __restrict cache, size_t span, const T* const* lines,
                                      const float* w, int count) {
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    const T* __restrict l0 = lines[k];
    const T* __restrict l1 = lines[k + 1];
    const T* __restrict l2 = lines[k + 2];
    const T* __restrict l3 = lines[k + 3];
    const float w0 = w[k], w1 = w[k + 1], w2 = w[k + 2], w3 = w[k + 3];
    for (size_t i = 0; i < span; ++i) {
      float c = cache[i];
      c += w0 * static_cast<float>(l0[i]);
      c += w1 * static_cast<float>(l1[i]);
      c += w2 * static_cast<float>(l2[i]);
      c += w3 * static_cast<float>(l3[i]);
      cache[i] = c;
    }
  }
  for (; k < count; ++k) {
    const T* __restrict l = lines[k];
    const float wk = w[k];
    for (size_t i = 0; i < span; ++i) cache[i] += wk * static_cast<float>(l[i]);
  }
}

// Runs work(y0, y1) over [0, rows) split into bands on the available cores
// when the job is large enough to be worth it; the bands write disjoint rows,
// so the result does not depend on the split.
template <typename Work>
void RunInBands(int rows, int64_t cost, const Work& work) {
  constexpr int64_t kMinCostPerThread = 1 << 20;
  unsigned threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
  threads = static_cast<unsigned>(
      std::clamp<int64_t>(cost / kMinCostPerThread, 1, std::min<int64_t>(threads, rows)));
  if (threads <= 1) {
    work(0, rows);
    return;
  }
  std::vector<std::thread> pool;
  std::vector<std::exception_ptr> errors(threads);
  for (unsigned t = 0; t < threads; ++t) {
    const int y0 = static_cast<int>(int64_t{rows} * t / threads);
    const int y1 = static_cast<int>(int64_t{rows} * (t + 1) / threads);
    auto run = [&work, &errors, t, y0, y1] {
      try {
        work(y0, y1);
      } catch (...) {
        errors[t] = std::current_exception();
      }
    };
    try {
      pool.emplace_back(run);
    } catch (const std::system_error&) {
      run();  // no thread to be had: do the band here
    }
  }
  for (std::thread& th : pool) th.join();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

// Two-pass filtering of interleaved channels. For bytes each result is
// rounded and clamped; for floats it is stored as summed.
// Source pixels: rows of interleaved channels, stride bytes apart.
struct SourceView {
  const uint8_t* bits;
  size_t stride;
  int width, height;
  const uint8_t* Row(int y) const { return bits + stride * static_cast<size_t>(y); }
};

SourceView ViewOf(const RasterImage& image) {
  const TImageFormatInfo* info = GetImageFormatInfo(image.Format);
  return {image.Bits.get(), static_cast<size_t>(image.Width) * info->BytesPerPixel, image.Width,
          image.Height};
}

template <typename T, int CH>
void Resample(const SourceView& src, RasterImage& dst, int filter) {
  const int sw = src.width, sh = src.height, dw = dst.Width, dh = dst.Height;
  const ContribTable cols = BuildContribs(sw, dw, filter);
  const ContribTable rows = BuildContribs(sh, dh, filter);
  int minCol = sw, maxCol = -1;
  for (int p : cols.pos) {
    minCol = std::min(minCol, p);
    maxCol = std::max(maxCol, p);
  }
  const size_t span = static_cast<size_t>(maxCol - minCol + 1) * CH;
  // Target rows are independent: each band of rows has its own row cache.
  auto band = [&](int y0, int y1) {
    std::vector<float> cache(span);
    std::vector<const T*> lines;
    for (int y = y0; y < y1; ++y) {
      std::fill(cache.begin(), cache.end(), 0.0f);
      const int first = rows.first[y], n = rows.count[y];
      lines.resize(n);
      for (int k = 0; k < n; ++k)
        lines[k] = reinterpret_cast<const T*>(src.Row(rows.pos[first + k])) + size_t(minCol) * CH;
      AccumulateRows<T>(cache.data(), span, lines.data(), rows.weight.data() + first, n);
      T* out = reinterpret_cast<T*>(dst.Row(y));
      for (int x = 0; x < dw; ++x) {
        float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
        for (int k = cols.first[x], e = k + cols.count[x]; k < e; ++k) {
          const float w = cols.weight[k];
          const float* c = cache.data() + static_cast<size_t>(cols.pos[k] - minCol) * CH;
          s0 += w * c[0];
          if constexpr (CH > 1) s1 += w * c[1];
          if constexpr (CH > 2) s2 += w * c[2];
          if constexpr (CH > 3) s3 += w * c[3];
        }
        const float sum[4] = {s0, s1, s2, s3};
        for (int ch = 0; ch < CH; ++ch) {
          if constexpr (std::is_same_v<T, uint8_t>)
            out[size_t(x) * CH + ch] = ClampRound(sum[ch]);
          else
            out[size_t(x) * CH + ch] = sum[ch];
        }
      }
    }
  };
  RunInBands(dh, (static_cast<int64_t>(span) + int64_t{dw} * CH) * dh, band);
}

// Nearest neighbour in 16.16 fixed point; whole pixels are copied.
void ResampleNearest(const RasterImage& src, RasterImage& dst, int bpp) {
  const int64_t stepX = (int64_t{src.Width} * 65536) / dst.Width;
  const int64_t stepY = (int64_t{src.Height} * 65536) / dst.Height;
  std::vector<int> srcX(dst.Width);
  int64_t acc = 0;
  for (int x = 0; x < dst.Width; ++x, acc += stepX) srcX[x] = static_cast<int>(acc >> 16);
  acc = 0;
  for (int y = 0; y < dst.Height; ++y, acc += stepY) {
    const uint8_t* s = src.Row(static_cast<int>(acc >> 16));
    uint8_t* d = dst.Row(y);
    for (int x = 0; x < dst.Width; ++x)
      std::memcpy(d + size_t(x) * bpp, s + size_t(srcX[x]) * bpp, bpp);
  }
}

// Resamples src into a fresh dst of width x height in src's format.
void ResampleInto(const RasterImage& src, RasterImage& dst, int width, int height, int filter) {
  const TImageFormatInfo* info = GetImageFormatInfo(src.Format);
  if (!info) throw EImagingError("unknown pixel format");
  if (info->IsSpecial) {
    // Block-compressed data is resampled on a decoded copy.
    RasterImage work;
    ImageClone(src, work);
    ImageConvert(work, ifA8R8G8B8);
    RasterImage out;
    ResampleInto(work, out, width, height, filter);
    ImageConvert(out, src.Format);
    dst = std::move(out);
    return;
  }
  ImageCreate(dst, width, height, src.Format);
  if (info->IsIndexed || (filter != rfBilinear && filter != rfBicubic)) {
    ResampleNearest(src, dst, info->BytesPerPixel);
    return;
  }
  switch (src.Format) {
    case ifGray8:
      Resample<uint8_t, 1>(ViewOf(src), dst, filter);
      return;
    case ifA8Gray8:
      Resample<uint8_t, 2>(ViewOf(src), dst, filter);
      return;
    case ifR8G8B8:
      Resample<uint8_t, 3>(ViewOf(src), dst, filter);
      return;
    case ifA8R8G8B8:
    case ifX8R8G8B8:
      Resample<uint8_t, 4>(ViewOf(src), dst, filter);
      return;
    default:
      break;
  }
  // Everything else goes through four floating-point channels.
  RasterImage work;
  ImageClone(src, work);
  ImageConvert(work, ifA32R32G32B32F);
  RasterImage out;
  ImageCreate(out, width, height, ifA32R32G32B32F);
  Resample<float, 4>(ViewOf(work), out, filter);
  ImageConvert(out, src.Format);
  dst = std::move(out);
}

}  // namespace

bool ImageResize(RasterImage& image, int32_t width, int32_t height, int32_t filter) {
  if (width < 1 || height < 1)
    throw EImagingError("Error while resizing image.  " + ImageDescription(image));
  if (!ImageIsValid(image) || (image.Width == width && image.Height == height)) return false;
  RasterImage result;
  try {
    ResampleInto(image, result, width, height, filter);
  } catch (const std::exception&) {
    throw EImagingError("Error while resizing image.  " + ImageDescription(image));
  }
  // The palette of an indexed image stays as it was.
  result.Palette = std::move(image.Palette);
  image = std::move(result);
  return true;
}

// ---------------------------------------------------------------------------

bool RestrictImageSize(TBitmap& bitmap, int32_t width, int32_t height, int32_t mode) {
  try {
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    const std::optional<TNewSize> size = ComputeRestrictedSize(w, h, width, height, mode);
    if (!size) return false;
    // An image that would grow in both directions is left as it is.
    if (size->Width > w && size->Height > h) return true;
    if (size->Width < 1 || size->Height < 1 || size->Width > kMaxImageSide ||
        size->Height > kMaxImageSide || size->Width * size->Height > kMaxImagePixels)
      return false;
    const int32_t nw = static_cast<int32_t>(size->Width), nh = static_cast<int32_t>(size->Height);
    if (nw == w && nh == h) return true;
    RasterImage image;
    const TPixelFormat pf = bitmap.PixelFormat();
    if (pf == TPixelFormat::pf24bit || pf == TPixelFormat::pf32bit) {
      // These bitmaps have the byte layout of R8G8B8 and A8R8G8B8 records:
      // resample straight from their rows instead of through a full copy.
      const SourceView view{bitmap.Bits(), bitmap.BytesPerLine(), w, h};
      if (pf == TPixelFormat::pf24bit) {
        ImageCreate(image, nw, nh, ifR8G8B8);
        Resample<uint8_t, 3>(view, image, rfBicubic);
      } else {
        ImageCreate(image, nw, nh, ifA8R8G8B8);
        Resample<uint8_t, 4>(view, image, rfBicubic);
      }
    } else {
      TBitmap working = bitmap;  // the conversion may switch the bitmap's format
      BitmapToImage(working, image);
      ImageResize(image, nw, nh, rfBicubic);
    }
    // Convert into a fresh bitmap first so that a failure leaves the original.
    TBitmap result;
    ImageToBitmap(image, result);
    bitmap = std::move(result);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// ---------------------------------------------------------------------------

bool ResizeBitmap32(TBitmap32& logo, int32_t width, int32_t height) {
  try {
    if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
        int64_t{width} * height > kMaxBitmapPixels || logo.Empty())
      return false;
    if (logo.Width() == width && logo.Height() == height) return true;
    // The logo's memory layout (B, G, R, A) is that of A8R8G8B8.
    RasterImage image;
    ImageCreate(image, logo.Width(), logo.Height(), ifA8R8G8B8);
    std::memcpy(image.Bits.get(), logo.Bits(), size_t(logo.Width()) * logo.Height() * 4);
    ImageResize(image, width, height, rfBilinear);
    TBitmap32 resized(width, height);
    std::memcpy(resized.Bits(), image.Bits.get(), size_t(width) * height * 4);
    resized.SetDrawMode(logo.DrawMode());
    resized.SetMasterAlpha(logo.MasterAlpha());
    resized.SetCombineMode(logo.CombineMode());
    logo = std::move(resized);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace imprimo
