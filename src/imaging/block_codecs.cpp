// Block codecs. Decoders follow the published block layouts bit for bit;
// encoders fit endpoints along the principal axis of each block's colours and
// refine them by least squares over the chosen palette indices.
#include "imaging/block_codecs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

namespace imprimo {

namespace {

// ---- Shared helpers ----

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

struct TRgb {
  int r, g, b;
};

inline TRgb Expand565(uint16_t c) {
  const int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

// Palette of a colour block. fourColours: c2, c3 interpolate at thirds;
// otherwise c2 is the midpoint and c3 transparent black.
void ColourPalette(uint16_t c0, uint16_t c1, bool fourColours, TColor32Rec pal[4]) {
  const TRgb a = Expand565(c0), b = Expand565(c1);
  auto set = [](TColor32Rec& e, int r, int g, int bl, int al) {
    e = {static_cast<uint8_t>(bl), static_cast<uint8_t>(g), static_cast<uint8_t>(r),
         static_cast<uint8_t>(al)};
  };
  set(pal[0], a.r, a.g, a.b, 255);
  set(pal[1], b.r, b.g, b.b, 255);
  if (fourColours) {
    set(pal[2], (2 * a.r + b.r + 1) / 3, (2 * a.g + b.g + 1) / 3, (2 * a.b + b.b + 1) / 3, 255);
    set(pal[3], (a.r + 2 * b.r + 1) / 3, (a.g + 2 * b.g + 1) / 3, (a.b + 2 * b.b + 1) / 3, 255);
  } else {
    set(pal[2], (a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2, 255);
    set(pal[3], 0, 0, 0, 0);
  }
}

// forceFour: the colour part of DXT3/DXT5 blocks always has four colours.
void DecodeColourPart(const uint8_t* block, bool forceFour, TColor32Rec pixels[16]) {
  const uint16_t c0 = Load16(block), c1 = Load16(block + 2);
  TColor32Rec pal[4];
  ColourPalette(c0, c1, forceFour || c0 > c1, pal);
  const uint32_t bits = block[4] | (block[5] << 8) | (block[6] << 16) | (uint32_t{block[7]} << 24);
  for (int i = 0; i < 16; ++i) pixels[i] = pal[(bits >> (2 * i)) & 3];
}

// Eight-entry table of an interpolated alpha (or single-channel) block.
void AlphaPalette(uint8_t a0, uint8_t a1, uint8_t pal[8]) {
  pal[0] = a0;
  pal[1] = a1;
  if (a0 > a1) {
    for (int i = 2; i < 8; ++i)
      pal[i] = static_cast<uint8_t>(((8 - i) * a0 + (i - 1) * a1 + 3) / 7);
  } else {
    for (int i = 2; i < 6; ++i)
      pal[i] = static_cast<uint8_t>(((6 - i) * a0 + (i - 1) * a1 + 2) / 5);
    pal[6] = 0;
    pal[7] = 255;
  }
}

void DecodeAlphaPart(const uint8_t* block, uint8_t values[16]) {
  uint8_t pal[8];
  AlphaPalette(block[0], block[1], pal);
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= uint64_t{block[2 + i]} << (8 * i);
  for (int i = 0; i < 16; ++i) values[i] = pal[(bits >> (3 * i)) & 7];
}

// ---- Colour encoder ----

inline int Dist2(const TColor32Rec& a, const TColor32Rec& b) {
  const int dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
  return dr * dr + dg * dg + db * db;
}

inline uint16_t Quantise565(float r, float g, float b) {
  auto q = [](float v, int levels) {
    const float x = std::clamp(v, 0.0f, 255.0f) * levels / 255.0f;
    return static_cast<int>(x + 0.5f);
  };
  return static_cast<uint16_t>((q(r, 31) << 11) | (q(g, 63) << 5) | q(b, 31));
}

struct TColourFit {
  uint16_t c0 = 0, c1 = 0;
  uint8_t index[16] = {};
  int64_t error = INT64_MAX;
};

// Assigns each used pixel its nearest palette entry (entries 0..count-1).
TColourFit Evaluate(const TColor32Rec px[16], const bool used[16], uint16_t c0, uint16_t c1,
                    bool fourColours) {
  TColourFit fit;
  fit.c0 = c0;
  fit.c1 = c1;
  fit.error = 0;
  TColor32Rec pal[4];
  ColourPalette(c0, c1, fourColours, pal);
  const int count = fourColours ? 4 : 3;
  for (int i = 0; i < 16; ++i) {
    if (!used[i]) {
      fit.index[i] = 3;
      continue;
    }
    int best = 0, bestD = Dist2(px[i], pal[0]);
    for (int k = 1; k < count; ++k) {
      const int d = Dist2(px[i], pal[k]);
      if (d < bestD) best = k, bestD = d;
    }
    fit.index[i] = static_cast<uint8_t>(best);
    fit.error += bestD;
  }
  return fit;
}

// Endpoints that minimise the squared error for the current index choice.
bool LeastSquares(const TColor32Rec px[16], const bool used[16], const TColourFit& fit,
                  bool fourColours, float a[3], float b[3]) {
  static constexpr float kW4[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
  static constexpr float kW3[3] = {1.0f, 0.0f, 0.5f};
  double aa = 0, ab = 0, bb = 0, ax[3] = {}, bx[3] = {};
  for (int i = 0; i < 16; ++i) {
    if (!used[i]) continue;
    const int k = fit.index[i];
    if (!fourColours && k == 3) continue;
    const double wa = fourColours ? kW4[k] : kW3[k], wb = 1.0 - wa;
    aa += wa * wa;
    ab += wa * wb;
    bb += wb * wb;
    const double x[3] = {double(px[i].R), double(px[i].G), double(px[i].B)};
    for (int c = 0; c < 3; ++c) {
      ax[c] += wa * x[c];
      bx[c] += wb * x[c];
    }
  }
  const double det = aa * bb - ab * ab;
  if (std::fabs(det) < 1e-9) return false;
  for (int c = 0; c < 3; ++c) {
    a[c] = static_cast<float>((ax[c] * bb - bx[c] * ab) / det);
    b[c] = static_cast<float>((bx[c] * aa - ax[c] * ab) / det);
  }
  return true;
}

TColourFit FitColours(const TColor32Rec px[16], const bool used[16], bool fourColours) {
  int n = 0;
  float mean[3] = {};
  for (int i = 0; i < 16; ++i)
    if (used[i]) {
      mean[0] += px[i].R;
      mean[1] += px[i].G;
      mean[2] += px[i].B;
      ++n;
    }
  if (n == 0) {
    TColourFit fit;
    fit.error = 0;
    std::fill(std::begin(fit.index), std::end(fit.index), uint8_t{3});
    return fit;
  }
  for (float& m : mean) m /= n;
  float cov[6] = {};  // rr rg rb gg gb bb
  for (int i = 0; i < 16; ++i) {
    if (!used[i]) continue;
    const float d[3] = {px[i].R - mean[0], px[i].G - mean[1], px[i].B - mean[2]};
    cov[0] += d[0] * d[0];
    cov[1] += d[0] * d[1];
    cov[2] += d[0] * d[2];
    cov[3] += d[1] * d[1];
    cov[4] += d[1] * d[2];
    cov[5] += d[2] * d[2];
  }
  // Principal axis by power iteration, started from the covariance column of
  // the channel with the largest variance (never orthogonal to the axis).
  const int k = cov[0] >= cov[3] && cov[0] >= cov[5] ? 0 : cov[3] >= cov[5] ? 1 : 2;
  float axis[3] = {k == 0   ? cov[0]
                   : k == 1 ? cov[1]
                            : cov[2],
                   k == 0   ? cov[1]
                   : k == 1 ? cov[3]
                            : cov[4],
                   k == 0   ? cov[2]
                   : k == 1 ? cov[4]
                            : cov[5]};
  {
    const float len = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (len < 1e-6f)
      axis[0] = axis[1] = axis[2] = 0.57735f;
    else
      for (float& a : axis) a /= len;
  }
  for (int it = 0; it < 8; ++it) {
    const float v[3] = {cov[0] * axis[0] + cov[1] * axis[1] + cov[2] * axis[2],
                        cov[1] * axis[0] + cov[3] * axis[1] + cov[4] * axis[2],
                        cov[2] * axis[0] + cov[4] * axis[1] + cov[5] * axis[2]};
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len < 1e-6f) break;
    for (int c = 0; c < 3; ++c) axis[c] = v[c] / len;
  }
  float tmin = 0, tmax = 0;
  for (int i = 0; i < 16; ++i) {
    if (!used[i]) continue;
    const float t = (px[i].R - mean[0]) * axis[0] + (px[i].G - mean[1]) * axis[1] +
                    (px[i].B - mean[2]) * axis[2];
    tmin = std::min(tmin, t);
    tmax = std::max(tmax, t);
  }
  float a[3], b[3];
  for (int c = 0; c < 3; ++c) {
    a[c] = mean[c] + axis[c] * tmax;
    b[c] = mean[c] + axis[c] * tmin;
  }
  TColourFit best =
      Evaluate(px, used, Quantise565(a[0], a[1], a[2]), Quantise565(b[0], b[1], b[2]), fourColours);
  TColourFit cur = best;
  for (int it = 0; it < 4 && best.error > 0; ++it) {
    if (!LeastSquares(px, used, cur, fourColours, a, b)) break;
    cur = Evaluate(px, used, Quantise565(a[0], a[1], a[2]), Quantise565(b[0], b[1], b[2]),
                   fourColours);
    if (cur.error < best.error)
      best = cur;
    else
      break;
  }
  // Nudging each endpoint by one step on each channel catches rounding losses.
  static constexpr uint16_t kSteps[3] = {1 << 11, 1 << 5, 1};
  static constexpr uint16_t kMasks[3] = {0xF800, 0x07E0, 0x001F};
  for (int pass = 0; pass < 2 && best.error > 0; ++pass) {
    bool improved = false;
    for (int e = 0; e < 2; ++e)
      for (int c = 0; c < 3; ++c)
        for (int dir = -1; dir <= 1; dir += 2) {
          uint16_t ends[2] = {best.c0, best.c1};
          const int field = ends[e] & kMasks[c];
          const int moved = field + dir * kSteps[c];
          if (moved < 0 || moved > kMasks[c]) continue;
          ends[e] = static_cast<uint16_t>((ends[e] & ~kMasks[c]) | moved);
          TColourFit t = Evaluate(px, used, ends[0], ends[1], fourColours);
          if (t.error < best.error) {
            best = t;
            improved = true;
          }
        }
    if (!improved) break;
  }
  return best;
}

// Writes the colour part; fourColours needs c0 > c1, three colours c0 <= c1.
void WriteColourPart(TColourFit fit, bool fourColours, uint8_t* out) {
  if (fourColours) {
    if (fit.c0 < fit.c1) {
      std::swap(fit.c0, fit.c1);
      for (uint8_t& k : fit.index) k ^= 1;  // 0<->1, 2<->3
    } else if (fit.c0 == fit.c1) {
      for (uint8_t& k : fit.index) k = 0;
    }
  } else if (fit.c0 > fit.c1) {
    std::swap(fit.c0, fit.c1);
    for (uint8_t& k : fit.index)
      if (k < 2) k ^= 1;
  }
  Store16(out, fit.c0);
  Store16(out + 2, fit.c1);
  uint32_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= uint32_t{fit.index[i]} << (2 * i);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(bits >> (8 * i));
}

// ---- Single-channel (alpha) encoder ----

int64_t AssignAlpha(const uint8_t v[16], uint8_t a0, uint8_t a1, uint8_t idx[16]) {
  uint8_t pal[8];
  AlphaPalette(a0, a1, pal);
  int64_t err = 0;
  for (int i = 0; i < 16; ++i) {
    int best = 0, bestD = 1 << 30;
    for (int k = 0; k < 8; ++k) {
      const int d = (v[i] - pal[k]) * (v[i] - pal[k]);
      if (d < bestD) best = k, bestD = d;
    }
    idx[i] = static_cast<uint8_t>(best);
    err += bestD;
  }
  return err;
}

void EncodeAlphaPart(const uint8_t v[16], uint8_t* out) {
  uint8_t mn = 255, mx = 0, mn6 = 255, mx6 = 0;
  for (int i = 0; i < 16; ++i) {
    mn = std::min(mn, v[i]);
    mx = std::max(mx, v[i]);
    if (v[i] != 0 && v[i] != 255) {
      mn6 = std::min(mn6, v[i]);
      mx6 = std::max(mx6, v[i]);
    }
  }
  uint8_t bestA0 = mx, bestA1 = mn, bestIdx[16];
  int64_t best = AssignAlpha(v, mx, mn, bestIdx);
  auto consider = [&](int a0, int a1) {
    if (a0 < 0 || a0 > 255 || a1 < 0 || a1 > 255) return;
    uint8_t idx[16];
    const int64_t e = AssignAlpha(v, uint8_t(a0), uint8_t(a1), idx);
    if (e < best) {
      best = e;
      bestA0 = uint8_t(a0);
      bestA1 = uint8_t(a1);
      std::memcpy(bestIdx, idx, 16);
    }
  };
  if (mn6 > mx6) {
    mn6 = 0;
    mx6 = 0;
  }
  consider(mn6, mx6);  // six interpolated values plus exact 0 and 255
  // Pulling the endpoints inwards can place the interpolants closer.
  for (int d0 = 0; d0 <= 2 && best > 0; ++d0)
    for (int d1 = 0; d1 <= 2; ++d1)
      if (mx - d0 > mn + d1) consider(mx - d0, mn + d1);
  out[0] = bestA0;
  out[1] = bestA1;
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= uint64_t{bestIdx[i]} << (3 * i);
  for (int i = 0; i < 6; ++i) out[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
}

// ---- Whole images ----

int BlockBytesOf(TImageFormat format) {
  switch (format) {
    case ifDXT1:
    case ifATI1N:
      return 8;
    case ifDXT3:
    case ifDXT5:
    case ifATI2N:
      return 16;
    case ifBTC:
      return 4;
    default:
      return 0;
  }
}

bool IsColourBlockFormat(TImageFormat f) {
  return f == ifDXT1 || f == ifDXT3 || f == ifDXT5 || f == ifATI2N;
}

template <TImageFormat F>
void DecodeHook(const uint8_t* blocks, int width, int height, uint8_t* pixels) {
  DecodeBlockImage(F, blocks, width, height, pixels);
}
template <TImageFormat F>
void EncodeHook(const uint8_t* pixels, int width, int height, uint8_t* blocks) {
  EncodeBlockImage(F, pixels, width, height, blocks);
}

struct TAutoInstall {
  TAutoInstall() { EnsureBlockCodecs(); }
} gAutoInstall;

}  // namespace

void DecodeDXT1Block(const uint8_t block[8], TColor32Rec pixels[16]) {
  DecodeColourPart(block, false, pixels);
}

void DecodeDXT3Block(const uint8_t block[16], TColor32Rec pixels[16]) {
  DecodeColourPart(block + 8, true, pixels);
  for (int i = 0; i < 16; ++i) {
    const int a = (block[i / 2] >> (4 * (i & 1))) & 15;
    pixels[i].A = static_cast<uint8_t>(a * 17);
  }
}

void DecodeDXT5Block(const uint8_t block[16], TColor32Rec pixels[16]) {
  DecodeColourPart(block + 8, true, pixels);
  uint8_t alpha[16];
  DecodeAlphaPart(block, alpha);
  for (int i = 0; i < 16; ++i) pixels[i].A = alpha[i];
}

void DecodeATI1NBlock(const uint8_t block[8], uint8_t values[16]) {
  DecodeAlphaPart(block, values);
}

void DecodeBTCBlock(const uint8_t block[4], uint8_t values[16]) {
  const uint16_t mask = Load16(block + 2);
  for (int i = 0; i < 16; ++i) values[i] = (mask >> i) & 1 ? block[1] : block[0];
}

void EncodeDXT1Block(const TColor32Rec pixels[16], uint8_t block[8]) {
  bool used[16], anyTransparent = false;
  for (int i = 0; i < 16; ++i) {
    used[i] = pixels[i].A >= 128;
    anyTransparent = anyTransparent || !used[i];
  }
  if (anyTransparent) {
    WriteColourPart(FitColours(pixels, used, false), false, block);
    return;
  }
  const TColourFit four = FitColours(pixels, used, true);
  if (four.error == 0) {
    WriteColourPart(four, true, block);
    return;
  }
  const TColourFit three = FitColours(pixels, used, false);
  if (three.error < four.error)
    WriteColourPart(three, false, block);
  else
    WriteColourPart(four, true, block);
}

void EncodeDXT3Block(const TColor32Rec pixels[16], uint8_t block[16]) {
  std::memset(block, 0, 8);
  for (int i = 0; i < 16; ++i) {
    const int a = (pixels[i].A * 15 + 127) / 255;
    block[i / 2] |= static_cast<uint8_t>(a << (4 * (i & 1)));
  }
  bool used[16];
  std::fill(used, used + 16, true);
  WriteColourPart(FitColours(pixels, used, true), true, block + 8);
}

void EncodeDXT5Block(const TColor32Rec pixels[16], uint8_t block[16]) {
  uint8_t alpha[16];
  for (int i = 0; i < 16; ++i) alpha[i] = pixels[i].A;
  EncodeAlphaPart(alpha, block);
  bool used[16];
  std::fill(used, used + 16, true);
  WriteColourPart(FitColours(pixels, used, true), true, block + 8);
}

void EncodeATI1NBlock(const uint8_t values[16], uint8_t block[8]) {
  EncodeAlphaPart(values, block);
}

void EncodeBTCBlock(const uint8_t values[16], uint8_t block[4]) {
  int sum = 0;
  for (int i = 0; i < 16; ++i) sum += values[i];
  // Pixels above the mean take the high level; each level is its group's mean.
  int lo = 0, hi = 0, nlo = 0, nhi = 0;
  uint16_t mask = 0;
  for (int i = 0; i < 16; ++i) {
    if (values[i] * 16 > sum) {
      mask |= static_cast<uint16_t>(1u << i);
      hi += values[i];
      ++nhi;
    } else {
      lo += values[i];
      ++nlo;
    }
  }
  block[0] = static_cast<uint8_t>(nlo ? (lo + nlo / 2) / nlo : 0);
  block[1] = static_cast<uint8_t>(nhi ? (hi + nhi / 2) / nhi : block[0]);
  Store16(block + 2, mask);
}

void DecodeBlockImage(TImageFormat format, const uint8_t* blocks, int width, int height,
                      uint8_t* pixels) {
  const int bb = BlockBytesOf(format);
  if (bb == 0 || width <= 0 || height <= 0) return;
  const int bw = (width + 3) / 4, bh = (height + 3) / 4;
  const int bpp = IsColourBlockFormat(format) ? 4 : 1;
  for (int by = 0; by < bh; ++by)
    for (int bx = 0; bx < bw; ++bx) {
      const uint8_t* blk = blocks + (static_cast<size_t>(by) * bw + bx) * bb;
      TColor32Rec c[16];
      uint8_t g[16];
      switch (format) {
        case ifDXT1:
          DecodeDXT1Block(blk, c);
          break;
        case ifDXT3:
          DecodeDXT3Block(blk, c);
          break;
        case ifDXT5:
          DecodeDXT5Block(blk, c);
          break;
        case ifATI2N: {
          uint8_t r[16];
          DecodeAlphaPart(blk, r);
          DecodeAlphaPart(blk + 8, g);
          for (int i = 0; i < 16; ++i) c[i] = {0, g[i], r[i], 255};
          break;
        }
        case ifATI1N:
          DecodeATI1NBlock(blk, g);
          break;
        default:
          DecodeBTCBlock(blk, g);
          break;
      }
      for (int y = 0; y < 4; ++y) {
        const int py = by * 4 + y;
        if (py >= height) break;
        for (int x = 0; x < 4; ++x) {
          const int px = bx * 4 + x;
          if (px >= width) break;
          uint8_t* dst = pixels + (static_cast<size_t>(py) * width + px) * bpp;
          if (bpp == 4)
            std::memcpy(dst, &c[y * 4 + x], 4);
          else
            *dst = g[y * 4 + x];
        }
      }
    }
}

void EncodeBlockImage(TImageFormat format, const uint8_t* pixels, int width, int height,
                      uint8_t* blocks) {
  const int bb = BlockBytesOf(format);
  if (bb == 0 || width <= 0 || height <= 0) return;
  const int bw = (width + 3) / 4, bh = (height + 3) / 4;
  const int bpp = IsColourBlockFormat(format) ? 4 : 1;
  for (int by = 0; by < bh; ++by)
    for (int bx = 0; bx < bw; ++bx) {
      TColor32Rec c[16];
      uint8_t g[16];
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
          const int py = std::min(by * 4 + y, height - 1), px = std::min(bx * 4 + x, width - 1);
          const uint8_t* src = pixels + (static_cast<size_t>(py) * width + px) * bpp;
          if (bpp == 4)
            std::memcpy(&c[y * 4 + x], src, 4);
          else
            g[y * 4 + x] = *src;
        }
      uint8_t* blk = blocks + (static_cast<size_t>(by) * bw + bx) * bb;
      switch (format) {
        case ifDXT1:
          EncodeDXT1Block(c, blk);
          break;
        case ifDXT3:
          EncodeDXT3Block(c, blk);
          break;
        case ifDXT5:
          EncodeDXT5Block(c, blk);
          break;
        case ifATI2N: {
          uint8_t r[16];
          for (int i = 0; i < 16; ++i) {
            r[i] = c[i].R;
            g[i] = c[i].G;
          }
          EncodeAlphaPart(r, blk);
          EncodeAlphaPart(g, blk + 8);
          break;
        }
        case ifATI1N:
          EncodeATI1NBlock(g, blk);
          break;
        default:
          EncodeBTCBlock(g, blk);
          break;
      }
    }
}

void InstallBlockCodecs() {
  SetBlockCodec(ifDXT1, {&DecodeHook<ifDXT1>, &EncodeHook<ifDXT1>});
  SetBlockCodec(ifDXT3, {&DecodeHook<ifDXT3>, &EncodeHook<ifDXT3>});
  SetBlockCodec(ifDXT5, {&DecodeHook<ifDXT5>, &EncodeHook<ifDXT5>});
  SetBlockCodec(ifBTC, {&DecodeHook<ifBTC>, &EncodeHook<ifBTC>});
  SetBlockCodec(ifATI1N, {&DecodeHook<ifATI1N>, &EncodeHook<ifATI1N>});
  SetBlockCodec(ifATI2N, {&DecodeHook<ifATI2N>, &EncodeHook<ifATI2N>});
}

void EnsureBlockCodecs() {
  // Codecs on several workers ask at once; the table is written once.
  static std::once_flag installed;
  std::call_once(installed, InstallBlockCodecs);
}

}  // namespace imprimo
