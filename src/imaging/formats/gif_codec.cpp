#include "imaging/formats/gif_codec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace imprimo {
namespace {

constexpr int kMaxCodes = 4096;

[[noreturn]] void LzwError() {
  throw EImagingError("Error when decoding GIF LZW data", EImagingErrorKind::Invalid);
}
[[noreturn]] void Truncated() {
  throw EImagingError("GIF file is truncated", EImagingErrorKind::Truncated);
}

struct TColourTable {
  int count = 0;
  std::array<uint8_t, 768> rgb{};
};

void ReadColourTable(TByteReader& r, int sizeBits, TColourTable& table) {
  table.count = 2 << sizeBits;
  if (r.Remaining() < size_t(table.count) * 3) Truncated();
  auto bytes = r.Bytes(size_t(table.count) * 3);
  std::memcpy(table.rgb.data(), bytes.data(), bytes.size());
}

// Concatenates data sub-blocks up to the zero-length terminator.
void ReadSubBlocks(TByteReader& r, std::vector<uint8_t>* into) {
  while (true) {
    if (r.AtEnd()) Truncated();
    uint8_t n = r.U8();
    if (n == 0) return;
    if (r.Remaining() < n) Truncated();
    auto b = r.Bytes(n);
    if (into) into->insert(into->end(), b.begin(), b.end());
  }
}

// Writes decoded indices into the frame rectangle, clipped to the canvas,
// honouring the interlaced row order.
class TPixelSink {
 public:
  TPixelSink(RasterImage& canvas, int left, int top, int width, int height, bool interlaced,
             int colourCount)
      : canvas_(canvas),
        left_(left),
        top_(top),
        width_(width),
        height_(height),
        interlaced_(interlaced),
        colourCount_(colourCount) {}

  bool Full() const { return row_ >= height_ || width_ <= 0; }
  int64_t Written() const { return written_; }
  bool Used(int index) const { return used_[index]; }

  // Gives the pixels the data did not reach the index blank.
  void FillRest(uint8_t blank) {
    // Works row by row so that the parts of a huge image rectangle that lie
    // off the canvas cost nothing.
    while (!Full()) {
      const int cy = top_ + CanvasRow();
      if (cy < canvas_.Height && left_ + x_ < canvas_.Width) {
        const int end = std::min(width_, canvas_.Width - left_);
        std::memset(canvas_.Row(cy) + left_ + x_, blank, size_t(end - x_));
      }
      x_ = 0;
      NextRow();
    }
  }

  // With a minimum code size above 8 the literal codes run past 255, past
  // any colour table; such an index is refused like any missing colour.
  void Put(int index) {
    if (Full()) return;
    if (index >= colourCount_) throw EImagingError("GIF pixel refers to a missing colour");
    Store(uint8_t(index));
    used_[index] = true;
    if (++x_ == width_) {
      x_ = 0;
      NextRow();
    }
  }

 private:
  int CanvasRow() const {
    if (!interlaced_) return row_;
    // Rows of pass 1 (every 8th from 0), pass 2 (every 8th from 4),
    // pass 3 (every 4th from 2), pass 4 (every 2nd from 1).
    int r = row_;
    int n1 = (height_ + 7) / 8;
    if (r < n1) return r * 8;
    r -= n1;
    int n2 = (height_ + 3) / 8;
    if (r < n2) return 4 + r * 8;
    r -= n2;
    int n3 = (height_ + 1) / 4;
    if (r < n3) return 2 + r * 4;
    r -= n3;
    return 1 + r * 2;
  }
  void NextRow() { ++row_; }
  void Store(uint8_t index) {
    int cx = left_ + x_, cy = top_ + CanvasRow();
    if (cx < canvas_.Width && cy < canvas_.Height) canvas_.Row(cy)[cx] = index;
    ++written_;
  }

  RasterImage& canvas_;
  int left_, top_, width_, height_;
  bool interlaced_;
  int colourCount_;
  int x_ = 0, row_ = 0;
  int64_t written_ = 0;
  std::array<bool, 256> used_{};
};

// Fills the canvas outside the image rectangle.
void FillOutside(RasterImage& canvas, int left, int top, int w, int h, uint8_t blank) {
  for (int y = 0; y < canvas.Height; ++y) {
    uint8_t* row = canvas.Row(y);
    if (y < top || y >= top + h || left >= canvas.Width) {
      std::memset(row, blank, size_t(canvas.Width));
      continue;
    }
    std::memset(row, blank, size_t(left));
    const int right = std::min(canvas.Width, left + w);
    std::memset(row + right, blank, size_t(canvas.Width - right));
  }
}

void DecodeLzw(std::span<const uint8_t> data, int minCodeSize, TPixelSink& sink) {
  const int clear = 1 << minCodeSize, eoi = clear + 1;
  // Literals run up to clear - 1, which is above 255 when the minimum code
  // size is above 8, so every table keeps whole codes.
  std::vector<uint16_t> prefix(kMaxCodes), suffix(kMaxCodes), first(kMaxCodes);
  std::vector<uint16_t> stack(kMaxCodes + 1);
  for (int i = 0; i < clear; ++i) suffix[i] = first[i] = uint16_t(i);

  int width = minCodeSize + 1, next = eoi + 1, prev = -1;
  uint32_t bits = 0;
  int bitCount = 0;
  size_t pos = 0;
  while (!sink.Full()) {
    while (bitCount < width) {
      if (pos >= data.size()) return;  // data ends early: the rest stays blank
      bits |= uint32_t(data[pos++]) << bitCount;
      bitCount += 8;
    }
    int code = int(bits & ((1u << width) - 1));
    bits >>= width;
    bitCount -= width;

    if (code == clear) {
      width = minCodeSize + 1;
      next = eoi + 1;
      prev = -1;
      continue;
    }
    if (code == eoi) return;
    if (prev < 0) {
      if (code >= clear) LzwError();
      sink.Put(code);
      prev = code;
      continue;
    }
    if (code > next || (code == next && next >= kMaxCodes)) LzwError();
    int c = code == next ? prev : code;
    int sp = 0;
    if (code == next) stack[sp++] = first[prev];
    while (c >= clear) {
      stack[sp++] = suffix[c];
      c = prefix[c];
    }
    stack[sp++] = uint16_t(c);
    const uint16_t head = uint16_t(c);
    while (sp > 0) sink.Put(stack[--sp]);
    if (next < kMaxCodes) {
      prefix[next] = uint16_t(prev);
      suffix[next] = head;
      first[next] = first[prev];
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    prev = code;
  }
}

struct TGifScreen {
  int width = 0, height = 0;
  uint8_t flags = 0;
  TColourTable global;
  bool HasGlobal() const { return (flags & 0x80) != 0; }
};

// Reads the logical screen descriptor and the global colour table.
TGifScreen ReadScreen(TByteReader& r) {
  TGifScreen s;
  r.Skip(6);
  s.width = r.U16LE();
  s.height = r.U16LE();
  s.flags = r.U8();
  r.Skip(2);  // background index, aspect ratio
  if (s.width == 0 || s.height == 0)
    throw EImagingError("GIF logical screen has no size", EImagingErrorKind::Invalid);
  CheckImageLimits(s.width, s.height, ifA8R8G8B8);
  if (s.HasGlobal()) ReadColourTable(r, s.flags & 7, s.global);
  return s;
}

// Reads an extension block after its introducer. Returns the transparency
// index a graphic control extension sets, else the one given.
int ReadExtension(TByteReader& r, int transparent) {
  if (r.AtEnd()) Truncated();
  const uint8_t label = r.U8();
  if (label != 0xF9) {
    ReadSubBlocks(r, nullptr);
    return transparent;
  }
  std::vector<uint8_t> gce;
  ReadSubBlocks(r, &gce);
  return (gce.size() >= 4 && (gce[0] & 1)) ? gce[3] : -1;
}

struct TGifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  uint8_t flags = 0;
  TColourTable local;
  int minCodeSize = 2;
  std::vector<uint8_t> lzw;
  bool HasLocal() const { return (flags & 0x80) != 0; }
  bool Interlaced() const { return (flags & 0x40) != 0; }
};

// Reads an image descriptor after its separator, with its local colour table
// and LZW data.
TGifFrame ReadFrame(TByteReader& r) {
  if (r.Remaining() < 9) Truncated();
  TGifFrame f;
  f.left = r.U16LE();
  f.top = r.U16LE();
  f.width = r.U16LE();
  f.height = r.U16LE();
  f.flags = r.U8();
  if (f.HasLocal()) ReadColourTable(r, f.flags & 7, f.local);
  // An image without pixels may come without any image data at all.
  const bool empty = f.width == 0 || f.height == 0;
  if (!empty || (!r.AtEnd() && r.Peek() != 0x3B)) {
    if (r.AtEnd()) Truncated();
    f.minCodeSize = r.U8();
    if (f.minCodeSize < 1 || f.minCodeSize > 11) LzwError();
    ReadSubBlocks(r, &f.lzw);
  }
  return f;
}

TColourTable MakeGrayRamp() {
  TColourTable t;
  t.count = 256;
  for (int i = 0; i < 256; ++i) t.rgb[3 * i] = t.rgb[3 * i + 1] = t.rgb[3 * i + 2] = uint8_t(i);
  return t;
}

// The image's own colour table, else the global one. With no colour table at
// all the indices show as a gray ramp.
const TColourTable& FrameColours(const TGifFrame& f, const TGifScreen& s) {
  static const TColourTable kGrayRamp = MakeGrayRamp();
  if (f.HasLocal()) return f.local;
  if (s.HasGlobal()) return s.global;
  return kGrayRamp;
}

// Canvas size shared by the images of one file, and the pixels all their
// canvases take together.
struct TCanvasBudget {
  int width = 0, height = 0;
  int64_t pixels = 0;
  int64_t limit = 0;
};

// Settles the canvas an image is drawn on and charges it to the budget.
void PlaceFrame(TCanvasBudget& canvas, TGifFrame& f, bool first) {
  // A first image wider or taller than the logical screen means the screen
  // size was written wrong: the canvas grows to hold the image and the
  // image sits at its origin, as other decoders show such files. Later
  // images keep that canvas. A rectangle too large to hold is cut to the
  // screen instead.
  const int64_t area = int64_t{f.width} * f.height;
  if (first && (f.width > canvas.width || f.height > canvas.height) && area <= kMaxImagePixels &&
      canvas.pixels + area <= canvas.limit) {
    canvas.width = std::max(canvas.width, f.width),
    canvas.height = std::max(canvas.height, f.height);
    f.left = f.top = 0;
  }
  canvas.pixels += int64_t(canvas.width) * canvas.height;
  if (canvas.pixels > canvas.limit)
    throw EImagingError("GIF logical screen is larger than its data can fill",
                        EImagingErrorKind::TooLarge);
}

RasterImage NewCanvas(const TCanvasBudget& size, const TColourTable& table, int transparent) {
  RasterImage canvas;
  ImageCreate(canvas, size.width, size.height, ifIndex8);
  for (int i = 0; i < 256; ++i) {
    canvas.Palette[i] = i < table.count ? TColor32Rec{table.rgb[3 * i + 2], table.rgb[3 * i + 1],
                                                      table.rgb[3 * i], 255}
                                        : TColor32Rec{0, 0, 0, 255};
  }
  if (transparent >= 0) canvas.Palette[transparent].A = 0;
  return canvas;
}

// Decodes the image's pixels onto its canvas and makes the canvas pixels it
// leaves uncovered transparent.
void DrawFrame(const TGifFrame& f, int colourCount, int transparent, RasterImage& canvas) {
  TPixelSink sink(canvas, f.left, f.top, f.width, f.height, f.Interlaced(), colourCount);
  if (f.width > 0 && f.height > 0) DecodeLzw(f.lzw, f.minCodeSize, sink);
  const bool covers = f.left == 0 && f.top == 0 && f.width >= canvas.Width &&
                      f.height >= canvas.Height && sink.Written() == int64_t(f.width) * f.height;
  if (covers) return;
  // Uncovered pixels take the transparency index, else an entry past the
  // colour table, else an entry the image does not use. (An image using all
  // 256 colours has no spare entry; its uncovered pixels then show colour 0.)
  int blank = transparent >= 0 ? transparent : colourCount < 256 ? colourCount : -1;
  for (int i = 0; i < 256 && blank < 0; ++i)
    if (!sink.Used(i)) blank = i;
  if (blank < 0) return;
  FillOutside(canvas, f.left, f.top, f.width, f.height, uint8_t(blank));
  sink.FillRest(uint8_t(blank));
  canvas.Palette[blank].A = 0;
}

// Reads one image after its separator and returns it on its own canvas.
RasterImage DecodeFrame(TByteReader& r, const TGifScreen& screen, TCanvasBudget& canvas,
                        int transparent, bool first) {
  TGifFrame f = ReadFrame(r);
  const TColourTable& table = FrameColours(f, screen);
  if (transparent >= table.count) transparent = -1;
  PlaceFrame(canvas, f, first);
  RasterImage image = NewCanvas(canvas, table, transparent);
  DrawFrame(f, table.count, transparent, image);
  return image;
}

}  // namespace

bool IsGifHeader(std::span<const uint8_t> data) {
  return data.size() >= 13 &&
         (std::memcmp(data.data(), "GIF87a", 6) == 0 || std::memcmp(data.data(), "GIF89a", 6) == 0);
}

void DecodeGifImages(std::span<const uint8_t> data, TDynImageDataArray& images,
                     bool onlyFirst) try {
  if (!IsGifHeader(data)) throw EImagingError("Not a GIF file");
  TByteReader r(data);
  const TGifScreen screen = ReadScreen(r);
  // One LZW code yields at most a few thousand pixels, so large screens need
  // data in proportion: a tiny file cannot claim giant canvases.
  TCanvasBudget canvas;
  canvas.width = screen.width, canvas.height = screen.height;
  canvas.limit = PixelsInProportion(data.size());

  int transparent = -1;
  while (true) {
    if (r.AtEnd()) {
      // A missing trailer after whole images loses nothing.
      if (images.empty()) Truncated();
      return;
    }
    const uint8_t tag = r.U8();
    if (tag == 0x3B) {
      if (images.empty()) throw EImagingError("GIF file holds no image");
      return;
    }
    if (tag == 0x21) {
      transparent = ReadExtension(r, transparent);
      continue;
    }
    if (tag != 0x2C) throw EImagingError("GIF file has an unknown block");
    RasterImage image = DecodeFrame(r, screen, canvas, transparent, images.empty());
    images.push_back(std::move(image));
    if (onlyFirst) return;
    transparent = -1;  // a graphic control extension applies to one image
  }
} catch (const ETruncatedData& e) {
  RaiseTruncated(e);
}

void DecodeGif(std::span<const uint8_t> data, RasterImage& image) {
  TDynImageDataArray images;
  DecodeGifImages(data, images, true);
  image = std::move(images.front());
}

// ---------------------------------------------------------------------------
// Encoding

namespace {

class TLzwEncoder {
 public:
  explicit TLzwEncoder(std::vector<uint8_t>& out) : out_(out) {}

  void Encode(const uint8_t* pixels, size_t count) {
    Reset();
    Emit(kClear);
    if (count == 0) {
      Emit(kEoi);
      Flush();
      return;
    }
    int prefix = pixels[0];
    for (size_t i = 1; i < count; ++i) {
      const uint8_t c = pixels[i];
      const uint32_t key = (uint32_t(prefix) << 8) | c;
      uint32_t slot = Hash(key);
      while (keys_[slot] != kEmpty && keys_[slot] != key) slot = (slot + 1) & (kHashSize - 1);
      if (keys_[slot] == key) {
        prefix = codes_[slot];
        continue;
      }
      Emit(prefix);
      if (next_ < kMaxCodes) {
        keys_[slot] = key;
        codes_[slot] = uint16_t(next_++);
        if (next_ > (1 << width_) && width_ < 12) ++width_;
      } else {
        Emit(kClear);
        Reset();
      }
      prefix = c;
    }
    Emit(prefix);
    // The decoder adds one more entry after this code and may widen its codes.
    if (next_ == (1 << width_) && width_ < 12) ++width_;
    Emit(kEoi);
    Flush();
  }

 private:
  static constexpr int kClear = 256, kEoi = 257;
  static constexpr uint32_t kHashSize = 8192, kEmpty = 0xFFFFFFFFu;
  static uint32_t Hash(uint32_t key) { return (key * 2654435761u) >> 19; }

  void Reset() {
    keys_.assign(kHashSize, kEmpty);
    codes_.resize(kHashSize);
    next_ = kEoi + 1;
    width_ = 9;
  }
  void Emit(int code) {
    bits_ |= uint32_t(code) << bitCount_;
    bitCount_ += width_;
    while (bitCount_ >= 8) {
      out_.push_back(uint8_t(bits_));
      bits_ >>= 8;
      bitCount_ -= 8;
    }
  }
  void Flush() {
    if (bitCount_ > 0) out_.push_back(uint8_t(bits_));
    bits_ = 0;
    bitCount_ = 0;
  }

  std::vector<uint8_t>& out_;
  std::vector<uint32_t> keys_;
  std::vector<uint16_t> codes_;
  int next_ = 0, width_ = 9;
  uint32_t bits_ = 0;
  int bitCount_ = 0;
};

}  // namespace

namespace {

int UsedTransparentIndex(const RasterImage& image) {
  const size_t count = size_t(image.Width) * image.Height;
  std::array<bool, 256> used{};
  for (size_t i = 0; i < count; ++i) used[image.Bits[i]] = true;
  for (int i = 0; i < 256; ++i)
    if (used[i] && image.Palette[i].A < 128) return i;
  return -1;
}

void PutColourTable(TByteWriter& w, const RasterImage& image) {
  for (int i = 0; i < 256; ++i) {
    w.U8(image.Palette[i].R);
    w.U8(image.Palette[i].G);
    w.U8(image.Palette[i].B);
  }
}

bool SameColours(const RasterImage& a, const RasterImage& b) {
  for (int i = 0; i < 256; ++i)
    if (a.Palette[i].R != b.Palette[i].R || a.Palette[i].G != b.Palette[i].G ||
        a.Palette[i].B != b.Palette[i].B)
      return false;
  return true;
}

}  // namespace

void EncodeGif(const RasterImage& image, TImagingStream& out) { EncodeGifImages({&image}, out); }

void EncodeGifImages(const std::vector<const RasterImage*>& images, TImagingStream& out) {
  if (images.empty()) throw EImagingError("No image to write");
  int screenW = 0, screenH = 0;
  for (const RasterImage* image : images) {
    if (!ImageIsValid(*image) || image->Format != ifIndex8 || image->Width <= 0 ||
        image->Height <= 0 || image->Width > 65535 || image->Height > 65535)
      throw EImagingError("GIF cannot store this image as it stands");
    screenW = std::max(screenW, image->Width);
    screenH = std::max(screenH, image->Height);
  }
  const RasterImage& first = *images.front();

  TByteWriter w;
  w.Data().reserve(800);
  w.Text("GIF89a");
  w.U16LE(uint16_t(screenW));
  w.U16LE(uint16_t(screenH));
  w.U8(0xF7);  // global table of 256 entries, 8 bits of colour resolution
  w.U8(0);
  w.U8(0);
  PutColourTable(w, first);
  out.Write(w.Data());

  for (const RasterImage* image : images) {
    TByteWriter head;
    const int transparent = UsedTransparentIndex(*image);
    if (transparent >= 0) {
      const uint8_t gce[] = {0x21, 0xF9, 4, 1, 0, 0, uint8_t(transparent), 0};
      head.Bytes(gce);
    }
    // Images whose colours differ from the first carry their own table.
    const bool local = image != &first && !SameColours(*image, first);
    head.U8(0x2C);
    head.U16LE(0);
    head.U16LE(0);
    head.U16LE(uint16_t(image->Width));
    head.U16LE(uint16_t(image->Height));
    head.U8(local ? 0x87 : 0);
    if (local) PutColourTable(head, *image);
    head.U8(8);  // minimum code size
    out.Write(head.Data());

    std::vector<uint8_t> lzw;
    TLzwEncoder(lzw).Encode(image->Bits.get(), size_t(image->Width) * image->Height);
    std::vector<uint8_t> blocks;
    blocks.reserve(lzw.size() + lzw.size() / 255 + 2);
    for (size_t pos = 0; pos < lzw.size(); pos += 255) {
      size_t n = std::min<size_t>(255, lzw.size() - pos);
      blocks.push_back(uint8_t(n));
      blocks.insert(blocks.end(), lzw.begin() + pos, lzw.begin() + pos + n);
    }
    blocks.push_back(0);
    out.Write(blocks);
  }
  const uint8_t trailer = 0x3B;
  out.Write(&trailer, 1);
}

}  // namespace imprimo
