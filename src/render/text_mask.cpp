#include "render/text_mask.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/canvas.h"
#include "platform/numeric.h"
#include "platform/random.h"
#include "render/text_renderer.h"

namespace imprimo {

namespace {
// Scratch canvas bytes drawn at a time; a tall mask is rendered in bands.
constexpr int64_t kBandBytes = int64_t{8} << 20;
}  // namespace

void TurnedBox(int w, int h, int escapement, TSize& size, TPoint& origin) {
  origin = {};
  if (escapement == 0) {
    size = {w, h};
    return;
  }
  double theta = escapement * std::numbers::pi / 1800.0;
  double hw = w / 2.0, hh = h / 2.0;
  double s = std::sin(-theta), c = std::cos(-theta);
  int64_t x1 = RoundHalfEven(-hw * c + hh * s), y1 = RoundHalfEven(-hw * s - hh * c);
  int64_t x2 = RoundHalfEven(hw * c + hh * s), y2 = RoundHalfEven(hw * s - hh * c);
  int64_t x3 = RoundHalfEven(-hw * c - hh * s), y3 = RoundHalfEven(-hw * s + hh * c);
  int64_t x4 = RoundHalfEven(hw * c - hh * s), y4 = RoundHalfEven(hw * s + hh * c);
  int64_t W = std::max({x1, x2, x3, x4}) - std::min({x1, x2, x3, x4});
  int64_t H = std::max({y1, y2, y3, y4}) - std::min({y1, y2, y3, y4});
  auto clampInt = [](int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  size = {clampInt(W), clampInt(H)};
  origin = {clampInt(W / 2 + x1), clampInt(H / 2 + y1)};
}

TIAMask::TIAMask(TIAFont* owner) : owner_(owner) {}

void TIAMask::Assign(const TPersistent& source) {
  auto* src = dynamic_cast<const TIAMask*>(&source);
  if (!src) AssignError(source);
  if (src == this) return;
  width_ = src->width_;
  height_ = src->height_;
  quality_ = src->quality_;
  scale_ = src->scale_;
  stride_ = src->stride_;
  canvasStride_ = src->canvasStride_;
  data_ = src->data_;
  leftOut_ = src->leftOut_;
}

void TIAMask::SetQuality(uint8_t quality) {
  quality_ = quality;
  switch (quality) {
    case 0:
      scale_ = 4;
      break;
    case 1:
      scale_ = 3;
      break;
    case 2:
      scale_ = 2;
      break;
    default:
      scale_ = 1;
      break;
  }
}

bool TIAMask::HasCanvas() const { return owner_ && owner_->Canvas(); }

TLogFont TIAMask::ScaledFont() const {
  TLogFont lf = owner_->Canvas()->Font().LogFont();
  if (lf.height == 0) lf.height = 16;  // the default size: a 16-pixel cell
  lf.height = static_cast<int>(std::clamp<int64_t>(int64_t{lf.height} * scale_,
                                                   -kMaxFontEmPixels * 4, kMaxFontEmPixels * 4));
  lf.width =
      static_cast<int>(std::clamp<int64_t>(int64_t{lf.width} * scale_, 0, kMaxFontEmPixels * 4));
  return lf;
}

void TIAMask::TextExtent(std::u16string_view text, TSize& size, TPoint& origin) {
  size = {};
  origin = {};
  if (!HasCanvas()) return;
  TLogFont lf = ScaledFont();
  TTextLayout layout(lf, text);
  TSize ext = layout.Extent();
  int64_t w = (int64_t{ext.cx} + scale_ - 1) / scale_;
  int64_t h = (int64_t{ext.cy} + scale_ - 1) / scale_;
  if (lf.italic && !text.empty())
    w += RoundHalfEven(static_cast<double>(w) / static_cast<double>(text.size()) * 0.3);
  // Ink outside the cell (accents above the ascent, overhangs) widens the box
  // on that side, so that every glyph is drawn whole.
  int64_t ml = 0, mt = 0, mr = 0, mb = 0;
  TInkBox ink = layout.InkBox();
  if (!ink.empty) {
    // A little slack for the rounding of glyph positions to 1/64 pixel.
    constexpr double kSlack = 1.0 / 32;
    const double sc = scale_;
    auto up = [](double v) { return static_cast<int64_t>(std::ceil(std::min(v, 1e15))); };
    if (ink.left < -kSlack) ml = up((-ink.left - kSlack) / sc);
    if (ink.top < -kSlack) mt = up((-ink.top - kSlack) / sc);
    mr = std::max<int64_t>(0, up((ink.right - kSlack) / sc) - w);
    mb = std::max<int64_t>(0, up((ink.bottom - kSlack) / sc) - h);
  }
  auto clampInt = [](int64_t v) { return static_cast<int>(std::min<int64_t>(v, INT32_MAX)); };
  TPoint corner;
  TurnedBox(clampInt(ml + w + mr), clampInt(mt + h + mb), lf.escapement, size, corner);
  if (ml == 0 && mt == 0) {
    origin = corner;
    return;
  }
  // The reference point lies (ml, mt) from the grown box's corner, turned
  // with the text.
  double theta = lf.escapement * std::numbers::pi / 1800.0;
  double c = std::cos(theta), s = std::sin(theta);
  double dx = static_cast<double>(ml), dy = static_cast<double>(mt);
  origin = {clampInt(corner.x + RoundHalfEven(dx * c + dy * s)),
            clampInt(corner.y + RoundHalfEven(-dx * s + dy * c))};
}

void TIAMask::Measure(std::u16string_view text, TSize& size) {
  TPoint origin;
  TextExtent(text, size, origin);
}

void TIAMask::Render(std::u16string_view text, TSize size, TPoint offset) {
  if (!HasCanvas()) return;
  int w = std::max(size.cx, 0), h = std::max(size.cy, 0);
  if (w > kMaxMaskSide || h > kMaxMaskSide || int64_t{w} * h > kMaxMaskPixels)
    throw EMaskTooLarge();
  TLogFont lf = ScaledFont();
  double px = double(offset.x) * scale_, py = double(offset.y) * scale_;
  {
    // The reference point's place in the box: turned text, or ink beyond
    // the cell, move it from the box's corner.
    TSize s;
    TPoint origin;
    TextExtent(text, s, origin);
    px += double(origin.x) * scale_;
    py += double(origin.y) * scale_;
  }
  width_ = w;
  height_ = h;
  int cw = w * scale_;
  canvasStride_ = (cw + 3) & ~3;
  stride_ = (w + 3) & ~3;
  data_.assign(size_t(stride_) * h, 0);
  leftOut_.clear();
  if (w == 0 || h == 0) return;

  TTextLayout layout(lf, text);
  leftOut_ = layout.Undrawable();
  int64_t rowBytes = int64_t{canvasStride_} * scale_;
  int bandRows = static_cast<int>(std::clamp<int64_t>(kBandBytes / rowBytes, 1, h));
  std::vector<uint8_t> canvas(size_t(rowBytes) * bandRows);
  for (int y0 = 0; y0 < h; y0 += bandRows) {
    int rows = std::min(bandRows, h - y0);
    std::fill(canvas.begin(), canvas.end(), 0);
    TGreyTarget target{canvas.data(), cw, rows * scale_, y0 * scale_, canvasStride_};
    if (!layout.Draw(target, px, py, 255)) throw ETextNotDrawn();
    ReduceRows(canvas.data(), canvasStride_, y0, rows);
  }
}

void TIAMask::ReduceRows(const uint8_t* canvas, std::ptrdiff_t cs, int firstRow, int rows) {
  const int sc = scale_;
  for (int r = 0; r < rows; ++r) {
    uint8_t* out = data_.data() + size_t(firstRow + r) * stride_;
    const uint8_t* c0 = canvas + std::ptrdiff_t(r) * sc * cs;
    switch (sc) {
      case 4: {
        const uint8_t *c1 = c0 + cs, *c2 = c1 + cs, *c3 = c2 + cs;
        for (int x = 0; x < width_; ++x) {
          int i = 4 * x, sum = 0;
          for (int k = 0; k < 4; ++k) sum += c0[i + k] + c1[i + k] + c2[i + k] + c3[i + k];
          out[x] = static_cast<uint8_t>(sum >> 4);
        }
        break;
      }
      case 3: {
        // The top-right and bottom-left samples count half, so a full block
        // gives 254.
        const uint8_t *c1 = c0 + cs, *c2 = c1 + cs;
        for (int x = 0; x < width_; ++x) {
          int i = 3 * x;
          int sum = c0[i] + c0[i + 1] + (c0[i + 2] >> 1) + c1[i] + c1[i + 1] + c1[i + 2] +
                    (c2[i] >> 1) + c2[i + 1] + c2[i + 2];
          out[x] = static_cast<uint8_t>(sum >> 3);
        }
        break;
      }
      case 2: {
        const uint8_t* c1 = c0 + cs;
        for (int x = 0; x < width_; ++x) {
          int i = 2 * x;
          out[x] = static_cast<uint8_t>((c0[i] + c0[i + 1] + c1[i] + c1[i + 1]) >> 2);
        }
        break;
      }
      default:
        std::memcpy(out, c0, size_t(width_));
        break;
    }
  }
}

void TIAMask::Build(std::u16string_view text) {
  TSize size;
  Measure(text, size);
  Render(text, size, {0, 0});
}

void TIAMask::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxMaskSide || height > kMaxMaskSide ||
      int64_t{width} * height > kMaxMaskPixels)
    throw EMaskTooLarge();
  width_ = width;
  height_ = height;
  stride_ = (width + 3) & ~3;
  data_.assign(size_t(stride_) * height, 0);
}

void TIAMask::Crop(int x, int y, int w, int h) {
  if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > width_ || y + h > height_)
    throw std::out_of_range("mask crop outside the mask");
  const int stride = (w + 3) & ~3;
  std::vector<uint8_t> out(size_t(stride) * h);
  for (int r = 0; r < h; ++r)
    std::memcpy(out.data() + size_t(r) * stride, data_.data() + size_t(y + r) * stride_ + x,
                size_t(w));
  data_ = std::move(out);
  width_ = w;
  height_ = h;
  stride_ = stride;
}

bool TIAMask::SameData(const TIAMask& o) const {
  if (width_ != o.width_ || height_ != o.height_) return false;
  for (int y = 0; y < height_; ++y)
    if (std::memcmp(data_.data() + size_t(y) * stride_, o.data_.data() + size_t(y) * o.stride_,
                    size_t(width_)) != 0)
      return false;
  return true;
}

const uint8_t* TIAMask::Row(int r) const {
  if (r < 0 || r > height_ - 1) throw EInvalidLine();
  return data_.data() + size_t(r) * stride_;
}

uint8_t* TIAMask::Row(int r) {
  if (r < 0 || r > height_ - 1) throw EInvalidLine();
  return data_.data() + size_t(r) * stride_;
}

void TIAMask::Outline() {
  if (width_ < 3 || height_ < 3) return;
  std::vector<uint8_t> copy = data_;
  for (int y = 1; y < height_ - 1; ++y) {
    const uint8_t* a = copy.data() + size_t(y - 1) * stride_;
    const uint8_t* c = copy.data() + size_t(y) * stride_;
    const uint8_t* b = copy.data() + size_t(y + 1) * stride_;
    uint8_t* out = data_.data() + size_t(y) * stride_;
    for (int x = 1; x < width_ - 1; ++x) {
      int v = std::abs(b[x] - a[x]) + std::abs(c[x + 1] - c[x - 1]) +
              std::abs(b[x - 1] - a[x + 1]) + std::abs(b[x + 1] - a[x - 1]);
      out[x] = static_cast<uint8_t>(v >> 2);
    }
  }
}

void TIAMask::Blur(int strength) {
  strength = std::clamp(strength, 0, 100);
  int k = static_cast<int>(RoundHalfEven(strength * 255.0 / 100.0));
  if (k == 0 || width_ == 0 || height_ == 0) return;
  // The 5 x 5 sum, taken as five clamped column sums per pixel: first the
  // vertical sums of every column, then the horizontal sums of those.
  std::vector<int> colSum(size_t(width_) * height_);
  for (int y = 0; y < height_; ++y) {
    int* cs = colSum.data() + size_t(y) * width_;
    for (int dy = -2; dy <= 2; ++dy) {
      int yy = std::clamp(y + dy, 0, height_ - 1);
      const uint8_t* src = data_.data() + size_t(yy) * stride_;
      for (int x = 0; x < width_; ++x) cs[x] += src[x];
    }
  }
  for (int y = 0; y < height_; ++y) {
    const int* cs = colSum.data() + size_t(y) * width_;
    uint8_t* out = data_.data() + size_t(y) * stride_;
    for (int x = 0; x < width_; ++x) {
      int sum = 0;
      for (int dx = -2; dx <= 2; ++dx) sum += cs[std::clamp(x + dx, 0, width_ - 1)];
      int v = (2 * sum + 25) / 50;  // sum / 25 rounded; it is never a half
      int p = out[x];
      out[x] = static_cast<uint8_t>(k == 255 ? v : p + (((v - p) * k) >> 8));
    }
  }
}

void TIAMask::Spray(int radius) {
  if (radius <= 0) return;
  for (int y = 0; y < height_; ++y) {
    uint8_t* row = data_.data() + size_t(y) * stride_;
    for (int x = 0; x < width_; ++x) {
      int r = Random(radius + 1);
      int sx = std::clamp(x + r - Random(2 * r), 0, width_ - 1);
      int sy = std::clamp(y + r - Random(2 * r), 0, height_ - 1);
      row[x] = data_[size_t(sy) * stride_ + sx];
    }
  }
}

void TIAMask::MirrorHorz() {
  for (int y = 0; y < height_; ++y) {
    uint8_t* row = data_.data() + size_t(y) * stride_;
    std::reverse(row, row + width_);
  }
}

void TIAMask::MirrorVert() {
  std::vector<uint8_t> tmp(static_cast<size_t>(stride_));
  for (int i = 0; i < height_ / 2; ++i) {
    uint8_t* a = data_.data() + size_t(i) * stride_;
    uint8_t* b = data_.data() + size_t(height_ - 1 - i) * stride_;
    std::memcpy(tmp.data(), a, stride_);
    std::memcpy(a, b, stride_);
    std::memcpy(b, tmp.data(), stride_);
  }
}

}  // namespace imprimo
