#include "platform/bitmap.h"

#include <algorithm>
#include <cstring>

namespace imprimo {

int BitsPerPixel(TPixelFormat pf) {
  switch (pf) {
    case TPixelFormat::pf1bit:
      return 1;
    case TPixelFormat::pf4bit:
      return 4;
    case TPixelFormat::pf8bit:
      return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
      return 16;
    case TPixelFormat::pf24bit:
      return 24;
    case TPixelFormat::pf32bit:
      return 32;
    default:
      return 0;
  }
}

size_t TBitmap::StrideFor(TPixelFormat pf, int width) {
  int bpp = BitsPerPixel(pf);
  if (bpp == 0) bpp = 32;  // device and custom formats are held as 32 bits
  return (static_cast<size_t>(width) * bpp + 7) / 8;
}

static void CheckSize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      int64_t{width} * height > kMaxBitmapPixels)
    throw EBitmapError("Bitmap size out of range");
}

void TBitmap::DefaultPalette() {
  palette_.clear();
  int bpp = BitsPerPixel(pf_);
  if (bpp > 8) return;
  int n = 1 << bpp;
  palette_.resize(n);
  if (n == 2) {
    palette_[1] = {255, 255, 255, 0};
  } else if (n == 16) {
    // The sixteen colours of the standard VGA palette.
    static const uint8_t vga[16][3] = {
        {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (int i = 0; i < 16; ++i) palette_[i] = {vga[i][0], vga[i][1], vga[i][2], 0};
  } else {
    // 6x6x6 colour cube followed by a gray ramp.
    int i = 0;
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          palette_[i++] = {static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                           static_cast<uint8_t>(b * 51), 0};
    for (int k = 0; i < 256; ++i, ++k) {
      uint8_t v = static_cast<uint8_t>(k * 255 / 39);
      palette_[i] = {v, v, v, 0};
    }
  }
}

void TBitmap::Reshape(TPixelFormat pf, int width, int height) {
  CheckSize(width, height);
  if (pf == TPixelFormat::pfDevice || pf == TPixelFormat::pfCustom) pf = TPixelFormat::pf32bit;
  pf_ = pf;
  width_ = width;
  height_ = height;
  stride_ = StrideFor(pf, width);
}

TBitmap::TPixelBuffer::TPixelBuffer(const TPixelBuffer& other) {
  Allocate(other.size_, false);
  if (size_ > 0) std::memcpy(data_.get(), other.data_.get(), size_);
}

TBitmap::TPixelBuffer& TBitmap::TPixelBuffer::operator=(const TPixelBuffer& other) {
  if (this != &other) {
    TPixelBuffer copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TBitmap::TPixelBuffer& TBitmap::TPixelBuffer::operator=(TPixelBuffer&& other) noexcept {
  data_ = std::move(other.data_);
  size_ = std::exchange(other.size_, 0);
  return *this;
}

bool TBitmap::TPixelBuffer::operator==(const TPixelBuffer& other) const {
  return size_ == other.size_ &&
         (size_ == 0 || std::memcmp(data_.get(), other.data_.get(), size_) == 0);
}

void TBitmap::TPixelBuffer::Allocate(size_t bytes, bool zero) {
  if (bytes != size_) {
    data_.reset();
    size_ = 0;
    if (bytes > 0) data_.reset(new uint8_t[bytes]);
    size_ = bytes;
  }
  if (zero && bytes > 0) std::memset(data_.get(), 0, bytes);
}

void TBitmap::TPixelBuffer::Adopt(std::unique_ptr<uint8_t[]> data, size_t bytes) {
  data_ = std::move(data);
  size_ = data_ ? bytes : 0;
}

std::unique_ptr<uint8_t[]> TBitmap::TPixelBuffer::Release() {
  size_ = 0;
  return std::move(data_);
}

void TBitmap::SetFormatAndSize(TPixelFormat pf, int width, int height) {
  Reshape(pf, width, height);
  pixels_.Allocate(stride_ * static_cast<size_t>(height), true);
  DefaultPalette();
}

void TBitmap::AdoptPixels(TPixelFormat pf, int width, int height, std::unique_ptr<uint8_t[]> bits,
                          size_t bytes) {
  if (pf == TPixelFormat::pfDevice || pf == TPixelFormat::pfCustom)
    throw EBitmapError("A pixel block needs a fixed pixel format");
  CheckSize(width, height);
  if (bytes != StrideFor(pf, width) * static_cast<size_t>(height) || (bytes > 0 && !bits))
    throw EBitmapError("The pixel block does not match the bitmap size");
  Reshape(pf, width, height);
  pixels_.Adopt(std::move(bits), bytes);
  DefaultPalette();
}

std::unique_ptr<uint8_t[]> TBitmap::ReleasePixels() {
  std::unique_ptr<uint8_t[]> bits = pixels_.Release();
  width_ = height_ = 0;
  stride_ = 0;
  palette_.clear();
  return bits;
}

void TBitmap::SetFormatAndSizeForOverwrite(TPixelFormat pf, int width, int height) {
  Reshape(pf, width, height);
  const size_t bytes = stride_ * static_cast<size_t>(height);
  pixels_.Allocate(bytes, false);
  const size_t used = (static_cast<size_t>(width) * BitsPerPixel(pf) + 7) / 8;
  if (used < stride_)
    for (int y = 0; y < height; ++y)
      std::memset(pixels_.data() + static_cast<size_t>(y) * stride_ + used, 0, stride_ - used);
  DefaultPalette();
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  CheckSize(width, height);
  size_t newStride = StrideFor(pf_, width);
  TPixelBuffer np;
  np.Allocate(newStride * static_cast<size_t>(height), true);
  size_t copy = std::min(newStride, stride_);
  int rows = std::min(height, height_);
  for (int y = 0; y < rows; ++y)
    std::memcpy(np.data() + y * newStride, pixels_.data() + y * stride_, copy);
  pixels_ = std::move(np);
  width_ = width;
  height_ = height;
  stride_ = newStride;
}

uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= height_) throw EBitmapError("Scan line index out of range");
  return pixels_.data() + static_cast<size_t>(y) * stride_;
}

const uint8_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= height_) throw EBitmapError("Scan line index out of range");
  return pixels_.data() + static_cast<size_t>(y) * stride_;
}

uint32_t TBitmap::PixelRGB(int x, int y) const {
  const uint8_t* row = ScanLine(y);
  auto pal = [&](unsigned idx) -> uint32_t {
    if (idx >= palette_.size()) return 0;
    const auto& e = palette_[idx];
    return (uint32_t{e.r} << 16) | (uint32_t{e.g} << 8) | e.b;
  };
  switch (pf_) {
    case TPixelFormat::pf1bit:
      return pal((row[x >> 3] >> (7 - (x & 7))) & 1);
    case TPixelFormat::pf4bit:
      return pal((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
    case TPixelFormat::pf8bit:
      return pal(row[x]);
    case TPixelFormat::pf15bit: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
      return (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
    }
    case TPixelFormat::pf16bit: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      unsigned r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
      return (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
    }
    case TPixelFormat::pf24bit:
      return (uint32_t{row[3 * x + 2]} << 16) | (uint32_t{row[3 * x + 1]} << 8) | row[3 * x];
    default:
      return (uint32_t{row[4 * x + 2]} << 16) | (uint32_t{row[4 * x + 1]} << 8) | row[4 * x];
  }
}

void TBitmap::SetPixelRGB(int x, int y, uint32_t rgb) {
  uint8_t* row = ScanLine(y);
  uint8_t r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  auto nearest = [&]() -> unsigned {
    unsigned best = 0;
    int bestD = 1 << 30;
    for (size_t i = 0; i < palette_.size(); ++i) {
      int dr = palette_[i].r - r, dg = palette_[i].g - g, db = palette_[i].b - b;
      int d = dr * dr + dg * dg + db * db;
      if (d < bestD) {
        bestD = d;
        best = static_cast<unsigned>(i);
        if (d == 0) break;
      }
    }
    return best;
  };
  switch (pf_) {
    case TPixelFormat::pf1bit: {
      unsigned bit = 7 - (x & 7);
      row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~(1u << bit)) | ((nearest() & 1) << bit));
      break;
    }
    case TPixelFormat::pf4bit: {
      unsigned shift = (x & 1) ? 0 : 4;
      row[x >> 1] =
          static_cast<uint8_t>((row[x >> 1] & ~(15u << shift)) | ((nearest() & 15) << shift));
      break;
    }
    case TPixelFormat::pf8bit:
      row[x] = static_cast<uint8_t>(nearest());
      break;
    case TPixelFormat::pf15bit: {
      unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      row[2 * x] = v & 255;
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case TPixelFormat::pf16bit: {
      unsigned v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      row[2 * x] = v & 255;
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case TPixelFormat::pf24bit:
      row[3 * x] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
      break;
    default:
      row[4 * x] = b;
      row[4 * x + 1] = g;
      row[4 * x + 2] = r;
      row[4 * x + 3] = 0;
      break;
  }
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (pf == TPixelFormat::pfDevice || pf == TPixelFormat::pfCustom) pf = TPixelFormat::pf32bit;
  if (pf == pf_) return;
  TBitmap old = std::move(*this);
  SetFormatAndSize(pf, old.width_, old.height_);
  int oldBpp = BitsPerPixel(old.pf_);
  int newBpp = BitsPerPixel(pf);
  // Indexed to indexed keeps the palette (and so the colours) where it fits.
  if (oldBpp <= 8 && newBpp <= 8 && old.palette_.size() <= palette_.size()) {
    std::copy(old.palette_.begin(), old.palette_.end(), palette_.begin());
    for (int y = 0; y < height_; ++y) {
      const uint8_t* src = old.ScanLine(y);
      uint8_t* dst = ScanLine(y);
      for (int x = 0; x < width_; ++x) {
        unsigned idx = oldBpp == 1   ? (src[x >> 3] >> (7 - (x & 7))) & 1
                       : oldBpp == 4 ? (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15
                                     : src[x];
        if (newBpp == 8)
          dst[x] = static_cast<uint8_t>(idx);
        else if (newBpp == 4)
          dst[x >> 1] = static_cast<uint8_t>(dst[x >> 1] | (idx << ((x & 1) ? 0 : 4)));
        else
          dst[x >> 3] = static_cast<uint8_t>(dst[x >> 3] | ((idx & 1) << (7 - (x & 7))));
      }
    }
    return;
  }
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) SetPixelRGB(x, y, old.PixelRGB(x, y));
  }
}

}  // namespace imprimo
