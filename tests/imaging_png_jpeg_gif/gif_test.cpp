#include <gtest/gtest.h>

#include <cstring>

#include "imaging/formats/gif_codec.h"
#include "imaging_png_jpeg_gif/png_jpeg_gif_util.h"

namespace imprimo {
namespace {

using testutil::RandomImage;
using testutil::SameImage;

std::vector<uint8_t> Encode(const RasterImage& img) {
  TMemoryStream out;
  EncodeGif(img, out);
  return out.Data();
}

TEST(GifCodec, RoundTripsIndexedImagesExactly) {
  struct Case {
    int w, h;
    uint32_t seed;
  } cases[] = {{1, 1, 1}, {64, 64, 2}, {300, 300, 3}, {1000, 3, 4}, {7, 129, 5}};
  for (const Case& c : cases) {
    RasterImage img = RandomImage(ifIndex8, c.w, c.h, c.seed);
    RasterImage back;
    DecodeGif(Encode(img), back);
    EXPECT_TRUE(SameImage(img, back)) << c.w << "x" << c.h;
  }
  // Long runs of one colour grow the code width without noise.
  RasterImage flat;
  ImageCreate(flat, 2000, 50, ifIndex8);
  for (int i = 0; i < 256; ++i) flat.Palette[i] = TColor32Rec{uint8_t(i), 0, 0, 255};
  for (int y = 0; y < 50; ++y) std::memset(flat.Row(y), y < 25 ? 3 : 200, 2000);
  RasterImage back;
  DecodeGif(Encode(flat), back);
  EXPECT_TRUE(SameImage(flat, back));
}

TEST(GifCodec, TransparentEntryBecomesTheTransparencyIndex) {
  RasterImage img = RandomImage(ifIndex8, 16, 16, 9);
  img.Palette[img.Bits[5]].A = 0;
  std::vector<uint8_t> file = Encode(img);
  // A graphic control extension follows the 256-entry global table.
  ASSERT_EQ(file[13 + 768], 0x21);
  EXPECT_EQ(file[13 + 768 + 1], 0xF9);
  EXPECT_EQ(file[13 + 768 + 6], img.Bits[5]);
  RasterImage back;
  DecodeGif(file, back);
  EXPECT_TRUE(SameImage(img, back));

  // An unused transparent entry writes no transparency at all.
  RasterImage solid;
  ImageCreate(solid, 4, 4, ifIndex8);
  for (int i = 0; i < 256; ++i) solid.Palette[i] = TColor32Rec{1, 2, 3, uint8_t(i == 0 ? 255 : 0)};
  file = Encode(solid);
  EXPECT_EQ(file[13 + 768], 0x2C);
  DecodeGif(file, back);
  EXPECT_EQ(back.Palette[0].A, 255);
}

TEST(GifCodec, DecodesInterlacedRowOrder) {
  RasterImage img;
  ImageCreate(img, 3, 10, ifIndex8);
  for (int i = 0; i < 256; ++i)
    img.Palette[i] = TColor32Rec{uint8_t(i), uint8_t(i), uint8_t(i), 255};
  for (int y = 0; y < 10; ++y) std::memset(img.Row(y), y, 3);
  std::vector<uint8_t> file = Encode(img);
  ASSERT_EQ(file[13 + 768], 0x2C);
  file[13 + 768 + 9] |= 0x40;  // same data, now read as interlaced
  RasterImage back;
  DecodeGif(file, back);
  const int stored[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};  // canvas row of each stored row
  for (int i = 0; i < 10; ++i) EXPECT_EQ(back.Row(stored[i])[0], i) << "stored row " << i;
}

std::vector<uint8_t> TinyGif(std::vector<uint8_t> lzw, int minCode = 2,
                             const char* sig = "GIF89a") {
  std::vector<uint8_t> f(sig, sig + 6);
  f.insert(f.end(), {2, 0, 2, 0, 0x81, 0, 0});                        // 2x2, 4-colour table
  f.insert(f.end(), {0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255});  // black white red blue
  f.insert(f.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, uint8_t(minCode)});
  f.push_back(uint8_t(lzw.size()));
  f.insert(f.end(), lzw.begin(), lzw.end());
  f.insert(f.end(), {0, 0x3B});
  return f;
}

TEST(GifCodec, LzwCodesOutOfRangeAreErrors) {
  RasterImage out;
  // clear, 0, then code 7 while the next free code is 6.
  try {
    DecodeGif(TinyGif({0xC4, 0x01}), out);
    ADD_FAILURE() << "accepted";
  } catch (const EImagingError& e) {
    EXPECT_STREQ(e.what(), "Error when decoding GIF LZW data");
  }
  // First code after a clear that is not a literal.
  EXPECT_THROW(DecodeGif(TinyGif({0x34}), out), EImagingError);  // clear, 6
  // Minimum code size beyond 11 bits.
  EXPECT_THROW(DecodeGif(TinyGif({0x00}, 12), out), EImagingError);
  // A pixel that names a colour past the table.
  EXPECT_THROW(DecodeGif(TinyGif({0x68, 0x09}, 3), out), EImagingError);  // clear, 6, end
}

// Codes of one width packed least significant bit first, as GIF stores them.
std::vector<uint8_t> PackCodes(const std::vector<int>& codes, int width) {
  std::vector<uint8_t> out;
  uint32_t bits = 0;
  int count = 0;
  for (int code : codes) {
    bits |= uint32_t(code) << count;
    for (count += width; count >= 8; count -= 8, bits >>= 8) out.push_back(uint8_t(bits));
  }
  if (count > 0) out.push_back(uint8_t(bits));
  return out;
}

// A minimum code size of 9 makes 10-bit codes whose literals run to 511.
// Literals within the colour table decode as usual; a literal past 255 names
// no colour at all and is refused rather than cut to 8 bits.
TEST(GifCodec, WideMinimumCodeSizeKeepsLiteralsWhole) {
  RasterImage out;
  DecodeGif(TinyGif(PackCodes({512, 1, 2, 3, 0, 513}, 10), 9), out);
  EXPECT_EQ(out.Row(0)[0], 1);
  EXPECT_EQ(out.Row(0)[1], 2);
  EXPECT_EQ(out.Row(1)[0], 3);
  EXPECT_EQ(out.Row(1)[1], 0);

  try {
    DecodeGif(TinyGif(PackCodes({512, 1, 257, 2, 3, 513}, 10), 9), out);
    ADD_FAILURE() << "literal 257 accepted";
  } catch (const EImagingError& e) {
    EXPECT_STREQ(e.what(), "GIF pixel refers to a missing colour");
  }
}

TEST(GifCodec, ShortDataLeavesTheRestTransparent) {
  // clear, 1, 2, end: only two of four pixels.
  RasterImage out;
  DecodeGif(TinyGif({0x8C, 0x0A}), out);  // codes 4,1,2,5 at 3 bits
  ASSERT_EQ(out.Format, ifIndex8);
  EXPECT_EQ(out.Row(0)[0], 1);
  EXPECT_EQ(out.Row(0)[1], 2);
  const uint8_t blank = out.Row(1)[0];
  EXPECT_EQ(out.Palette[blank].A, 0);
  EXPECT_EQ(out.Palette[1].A, 255);

  // An image of zero width, with or without data, leaves the canvas clear.
  for (bool withData : {true, false}) {
    std::vector<uint8_t> f = TinyGif({0x8C, 0x0A});
    f[6 + 7 + 12 + 5] = 0;  // image width
    if (!withData) f.erase(f.begin() + 6 + 7 + 12 + 10, f.end() - 1);
    DecodeGif(f, out);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out.Palette[out.Bits[i]].A, 0) << withData;
  }
}

TEST(GifCodec, HeadersAndTruncation) {
  EXPECT_TRUE(IsGifHeader(TinyGif({0x8C, 0x0A})));
  EXPECT_TRUE(IsGifHeader(TinyGif({0x8C, 0x0A}, 2, "GIF87a")));
  EXPECT_FALSE(IsGifHeader(TinyGif({0x8C, 0x0A}, 2, "GIF88a")));
  RasterImage out;
  EXPECT_THROW(DecodeGif(TinyGif({0x8C, 0x0A}, 2, "GIF88a"), out), EImagingError);

  RasterImage img = RandomImage(ifIndex8, 40, 40, 11);
  std::vector<uint8_t> good = Encode(img);
  for (size_t cut = 0; cut < good.size(); cut += cut + 30 < good.size() ? 3 : 1) {
    std::vector<uint8_t> part(good.begin(), good.begin() + cut);
    try {
      DecodeGif(part, out);
      // Only the trailer may be missing.
      EXPECT_EQ(cut, good.size() - 1);
      EXPECT_TRUE(SameImage(img, out));
    } catch (const EImagingError&) {
    }
  }
  // Logical screen of zero size, or too many pixels.
  std::vector<uint8_t> f = TinyGif({0x8C, 0x0A});
  f[6] = 0;
  EXPECT_THROW(DecodeGif(f, out), EImagingError);
  f[6] = f[7] = f[8] = f[9] = 0xFF;
  EXPECT_THROW(DecodeGif(f, out), EImagingError);
  // 8000 x 8000 is allowed in principle, but not over a few bytes of data.
  f[6] = 0x40, f[7] = 0x1F, f[8] = 0x40, f[9] = 0x1F;
  try {
    DecodeGif(f, out);
    ADD_FAILURE() << "8000 x 8000 over a few bytes accepted";
  } catch (const EImagingError& e) {
    EXPECT_EQ(e.Kind(), EImagingErrorKind::TooLarge) << e.what();
    EXPECT_STREQ(e.what(), "GIF logical screen is larger than its data can fill");
  }
  // A 28418 x 28527 image rectangle with a few bytes of data over a small
  // canvas: the missing pixels are not walked one by one.
  const std::vector<uint8_t> hugeRect = {
      0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x02, 0x7E, 0x02, 0x00, 0xF2, 0x00, 0x00, 0x00, 0x00,
      0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x10, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF,
      0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x29, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x02, 0x6F, 0x6F,
      0x6F, 0x00, 0x02, 0x00, 0x00, 0x03, 0x03, 0x28, 0x43, 0x91, 0x00, 0x3B};
  DecodeGif(hugeRect, out);
  EXPECT_EQ(out.Width, 32258);
  f[6] = 0xFF, f[7] = 0xFF, f[8] = 1, f[9] = 0;  // 65535 x 1 is fine
  DecodeGif(f, out);
  EXPECT_EQ(out.Width, 65535);
}

// Offset of the first image descriptor of a GIF file.
size_t FirstDescriptor(const std::vector<uint8_t>& f) {
  size_t at = 13;
  if (f[10] & 0x80) at += 3u << ((f[10] & 7) + 1);
  while (f.at(at) == 0x21) {
    at += 2;
    while (f.at(at) != 0) at += f[at] + 1;
    ++at;
  }
  EXPECT_EQ(f.at(at), 0x2C);
  return at;
}

// A first image larger than the logical screen is shown whole at the origin,
// as other decoders show it; one that only overlaps the screen's edge is cut.
TEST(GifCodec, FirstImageLargerThanTheLogicalScreenIsKeptWhole) {
  RasterImage src;
  ImageCreate(src, 4, 4, ifIndex8);
  for (int i = 0; i < 4; ++i) src.Palette[i] = {uint8_t(60 * i), uint8_t(255 - 60 * i), 9, 255};
  for (int i = 0; i < 16; ++i) src.Bits[i] = uint8_t((i * 3 + i / 4) % 4);
  const std::vector<uint8_t> file = Encode(src);
  const size_t d = FirstDescriptor(file);
  auto whole = [&](const RasterImage& out, int width = 4) {
    ASSERT_EQ(out.Width, width);
    ASSERT_EQ(out.Height, 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(out.Palette[out.Row(y)[x]], src.Palette[src.Row(y)[x]]) << x << "," << y;
  };

  std::vector<uint8_t> f = file;
  f[6] = 3, f[7] = 0, f[8] = 3, f[9] = 0;  // logical screen 3 x 3
  RasterImage out;
  DecodeGif(f, out);  // at 0,0
  whole(out);
  f[d + 1] = 1, f[d + 3] = 1;  // at 1,1: still the whole image
  DecodeGif(f, out);
  whole(out);
  f[6] = 9, f[7] = 0, f[8] = 2, f[9] = 0;  // 9 x 2: taller than the screen only
  DecodeGif(f, out);
  whole(out, 9);
  EXPECT_EQ(out.Palette[out.Row(3)[8]].A, 0);  // beside the image: transparent

  // The screen's own size (4 x 4) with the image at 1,1: the edge is cut and
  // the uncovered strips are transparent.
  f = file;
  f[d + 1] = 1, f[d + 3] = 1;
  DecodeGif(f, out);
  ASSERT_EQ(out.Width, 4);
  ASSERT_EQ(out.Height, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(out.Palette[out.Row(y + 1)[x + 1]], src.Palette[src.Row(y)[x]]) << x << "," << y;
  EXPECT_EQ(out.Palette[out.Row(0)[0]].A, 0);
  EXPECT_EQ(out.Palette[out.Row(3)[0]].A, 0);
}

TEST(GifCodec, SetsOfImagesKeepEveryImage) {
  RasterImage a = RandomImage(ifIndex8, 30, 20, 21);
  RasterImage b = RandomImage(ifIndex8, 12, 40, 22);  // other colours, other size
  RasterImage c;
  ImageClone(a, c);
  std::memset(c.Bits.get(), 9, size_t(c.Size));
  TMemoryStream out;
  EncodeGifImages({&a, &b, &c}, out);
  TDynImageDataArray images;
  DecodeGifImages(out.Data(), images, false);
  ASSERT_EQ(images.size(), 3u);
  const RasterImage* sources[] = {&a, &b, &c};
  for (int i = 0; i < 3; ++i) {
    const RasterImage& got = images[i];
    const RasterImage& src = *sources[i];
    ASSERT_EQ(got.Width, 30);
    ASSERT_EQ(got.Height, 40);
    for (int y = 0; y < got.Height; ++y)
      for (int x = 0; x < got.Width; ++x) {
        const TColor32Rec& px = got.Palette[got.Row(y)[x]];
        if (x < src.Width && y < src.Height) {
          EXPECT_EQ(px, src.Palette[src.Row(y)[x]]) << i << " at " << x << "," << y;
        } else {
          EXPECT_EQ(px.A, 0) << i << " at " << x << "," << y;
        }
      }
  }
  // Asking for the first image only stops there.
  images.clear();
  DecodeGifImages(out.Data(), images, true);
  EXPECT_EQ(images.size(), 1u);
}

}  // namespace
}  // namespace imprimo
