// Photoshop files: round trips, colour modes from hand-made files, PackBits
// and damaged data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imaging/file_format.h"
#include "imaging/formats/psd_format.h"
#include "imaging/imaging_stream.h"
#include "imaging_dds_pcx_psd_xpm/dds_pcx_psd_xpm_util.h"

namespace imprimo {
namespace {

using dds_pcx_psd_xpm::Pixels;
using dds_pcx_psd_xpm::RandomFiniteImage;

std::vector<uint8_t> SavePsd(const RasterImage& img) {
  TMemoryStream s;
  EXPECT_TRUE(WriteImageStream("psd", s, img));
  return s.Data();
}

RasterImage LoadPsd(const std::vector<uint8_t>& bytes) {
  TMemoryStream s(bytes);
  RasterImage img;
  EXPECT_TRUE(ReadImageStream(s, img));
  return img;
}

// Offset of the merged image's compression word: after the header, the
// colour mode data, the image resources and the layer section.
size_t CompressionAt(const std::vector<uint8_t>& file) {
  auto be32 = [&](size_t at) {
    return uint32_t{file.at(at)} << 24 | uint32_t{file.at(at + 1)} << 16 |
           uint32_t{file.at(at + 2)} << 8 | file.at(at + 3);
  };
  size_t at = 26;
  for (int section = 0; section < 3; ++section) at += 4 + be32(at);
  return at;
}

TEST(Psd, EveryKeptPixelFormatRoundTripsWithRunLengthRows) {
  const TImageFormat kept[] = {ifIndex8,       ifGray8,  ifA8Gray8,      ifGray16,
                               ifA16Gray16,    ifR8G8B8, ifA8R8G8B8,     ifR16G16B16,
                               ifA16R16G16B16, ifR32F,   ifA32R32G32B32F};
  for (TImageFormat f : kept) {
    SCOPED_TRACE(GetImageFormatInfo(f)->Name);
    RasterImage img = RandomFiniteImage(f, 37, 5, 300 + f);
    // Long equal stretches make the rows compress.
    for (int x = 0; x < 20 * GetImageFormatInfo(f)->BytesPerPixel; ++x) img.Row(2)[x] = 9;
    std::vector<uint8_t> file = SavePsd(img);
    ASSERT_GT(file.size(), 27u);
    EXPECT_EQ(file[CompressionAt(file) + 1], 1);  // PackBits
    RasterImage back = LoadPsd(file);
    EXPECT_EQ(back.Format, f);
    EXPECT_EQ(Pixels(back), Pixels(img));
    if (f == ifIndex8) {
      for (int i = 0; i < 256; ++i) EXPECT_EQ(back.Palette[i], img.Palette[i]);
    }
  }
}

TEST(Psd, TransparentPicturesKeepALayerAndAMergedImageOverWhite) {
  RasterImage img;
  ImageCreate(img, 2, 1, ifA8R8G8B8);
  const uint8_t px[8] = {10, 40, 200, 128, 1, 2, 3, 0};  // B, G, R, A
  std::memcpy(img.Row(0), px, 8);
  std::vector<uint8_t> file = SavePsd(img);
  // One layer, counted as -1 so that the merged image's fourth channel is
  // its transparency.
  ASSERT_GT(file.size(), 95u);
  EXPECT_EQ(file[42], 0xFF);
  EXPECT_EQ(file[43], 0xFF);
  EXPECT_EQ(Pixels(LoadPsd(file)), Pixels(img));  // read from the layer
  // A layer that is not a plain copy (here: see-through) leaves the merged
  // image, whose colours are laid over white.
  ASSERT_EQ(file[94], 255);
  file[94] = 254;
  RasterImage merged = LoadPsd(file);
  ASSERT_EQ(merged.Format, ifA8R8G8B8);
  EXPECT_EQ(Pixels(merged), (std::vector<uint8_t>{132, 147, 227, 128, 255, 255, 255, 0}));

  // Gray merged images are stored as they are.
  RasterImage gray;
  ImageCreate(gray, 2, 1, ifA8Gray8);
  const uint8_t g[4] = {200, 128, 7, 0};
  std::memcpy(gray.Row(0), g, 4);
  file = SavePsd(gray);
  EXPECT_EQ(Pixels(LoadPsd(file)), Pixels(gray));
  ASSERT_EQ(file[82], 255);  // two channels: the opacity comes 12 bytes earlier
  file[82] = 254;
  EXPECT_EQ(Pixels(LoadPsd(file)), Pixels(gray));
  // Opaque pictures have no layers.
  RasterImage rgb;
  ImageCreate(rgb, 2, 1, ifR8G8B8);
  file = SavePsd(rgb);
  EXPECT_EQ(CompressionAt(file), 26u + 4 + 4 + 4);
}

TEST(Psd, OtherFormatsTakeTheFormatsOwnConversion) {
  struct Case {
    TImageFormat from, to;
  };
  const Case cases[] = {{ifB16G16R16, ifR16G16B16},
                        {ifA16B16G16R16, ifA16R16G16B16},
                        {ifA32B32G32R32F, ifA32R32G32B32F},
                        {ifR16F, ifR32F},
                        {ifGray32, ifGray16},
                        {ifX8R8G8B8, ifR8G8B8},
                        {ifA4R4G4B4, ifA8R8G8B8},
                        {ifR5G6B5, ifR8G8B8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(GetImageFormatInfo(c.from)->Name);
    RasterImage img = RandomFiniteImage(c.from, 6, 3, 8);
    EXPECT_EQ(LoadPsd(SavePsd(img)).Format, c.to);
  }
  // The partner swap keeps every word.
  RasterImage bgr = RandomFiniteImage(ifB16G16R16, 3, 2, 9);
  RasterImage back = LoadPsd(SavePsd(bgr));
  ASSERT_TRUE(ImageConvert(bgr, ifR16G16B16));
  EXPECT_EQ(Pixels(back), Pixels(bgr));
}

TEST(Psd, RowsTooLongForTheCountsAreStoredRaw) {
  RasterImage img = RandomFiniteImage(ifA32R32G32B32F, 17000, 1, 4);
  std::vector<uint8_t> file = SavePsd(img);
  EXPECT_EQ(file[CompressionAt(file) + 1], 0);
  EXPECT_EQ(Pixels(LoadPsd(file)), Pixels(img));
}

TEST(PackBits, RunsAndLiteralsAtTheirLimits) {
  std::mt19937 rng(1);
  std::vector<std::vector<uint8_t>> rows = {{5},
                                            {5, 5},
                                            {1, 2},
                                            std::vector<uint8_t>(128, 7),
                                            std::vector<uint8_t>(129, 7),
                                            std::vector<uint8_t>(300, 0)};
  std::vector<uint8_t> noise(300);
  for (auto& b : noise) b = static_cast<uint8_t>(rng() % 3);
  rows.push_back(noise);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  rows.push_back(noise);
  for (const auto& row : rows) {
    std::vector<uint8_t> packed;
    PackBitsEncode(row, packed);
    EXPECT_LE(packed.size(), row.size() + (row.size() + 127) / 128);
    std::vector<uint8_t> back(row.size());
    PackBitsDecode(packed, back);
    EXPECT_EQ(back, row);
  }
  // 129 equal bytes need two runs; 128 one.
  std::vector<uint8_t> packed;
  PackBitsEncode(std::vector<uint8_t>(128, 7), packed);
  EXPECT_EQ(packed, (std::vector<uint8_t>{0x81, 7}));

  // The no-op header is skipped; overflowing and short input is refused.
  std::vector<uint8_t> out(3);
  PackBitsDecode(std::vector<uint8_t>{0x80, 0xFE, 4}, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{4, 4, 4}));
  EXPECT_THROW(PackBitsDecode(std::vector<uint8_t>{0xFD, 4}, out), EImagingError);
  EXPECT_THROW(PackBitsDecode(std::vector<uint8_t>{3, 1, 2, 3, 4}, out), EImagingError);
  EXPECT_THROW(PackBitsDecode(std::vector<uint8_t>{2, 1}, out), EImagingError);
  EXPECT_THROW(PackBitsDecode(std::vector<uint8_t>{}, out), EImagingError);
}

// A raw-coded file of the given mode with planar channel data.
std::vector<uint8_t> MakePsd(int mode, int depth, int channels, int w, int h,
                             const std::vector<uint8_t>& planes,
                             const std::vector<uint8_t>& modeData = {},
                             const std::vector<uint8_t>& resources = {}) {
  TByteWriter o;
  o.Text("8BPS");
  o.U16BE(1);
  for (int i = 0; i < 6; ++i) o.U8(0);
  o.U16BE(uint16_t(channels));
  o.U32BE(uint32_t(h));
  o.U32BE(uint32_t(w));
  o.U16BE(uint16_t(depth));
  o.U16BE(uint16_t(mode));
  o.U32BE(uint32_t(modeData.size()));
  o.Bytes(modeData);
  o.U32BE(uint32_t(resources.size()));
  o.Bytes(resources);
  o.U32BE(0);
  o.U16BE(0);
  o.Bytes(planes);
  return o.Data();
}

TEST(Psd, ColourModesFromHandMadeFiles) {
  // CMYK: stored samples are inverted inks; red = C' x K' / 255.
  RasterImage img = DecodePsd(MakePsd(4, 8, 4, 2, 1, {255, 0, 128, 255, 255, 255, 255, 51}));
  EXPECT_EQ(img.Format, ifR8G8B8);
  // Pixel 0: C'=255 M'=128 Y'=255 K'=255 -> 255,128,255; pixel 1: 0,255,255 scaled by 51.
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{255, 128, 255, 51, 51, 0}));

  // Bitmap: set bits are black; rows pad to whole bytes.
  img = DecodePsd(MakePsd(0, 1, 1, 9, 2, {0x80, 0x80, 0xFF, 0x00}));
  EXPECT_EQ(img.Format, ifGray8);
  EXPECT_EQ(img.Row(0)[0], 0);
  EXPECT_EQ(img.Row(0)[1], 255);
  EXPECT_EQ(img.Row(0)[8], 0);
  EXPECT_EQ(img.Row(1)[8], 255);

  // Indexed with a transparent index resource (1047).
  std::vector<uint8_t> pal(768);
  for (int i = 0; i < 256; ++i) pal[i] = uint8_t(i), pal[256 + i] = 1, pal[512 + i] = 2;
  const std::vector<uint8_t> res = {'8', 'B', 'I', 'M', 0x04, 0x17, 0, 0, 0, 0, 0, 2, 0, 5};
  img = DecodePsd(MakePsd(2, 8, 1, 2, 1, {5, 6}, pal, res));
  EXPECT_EQ(img.Format, ifIndex8);
  EXPECT_EQ(img.Palette[6], (TColor32Rec{2, 1, 6, 255}));
  EXPECT_EQ(img.Palette[5].A, 0);

  // 32-bit gray is floating point, big-endian.
  img = DecodePsd(MakePsd(1, 32, 1, 1, 1, {0x3F, 0x00, 0x00, 0x00}));
  EXPECT_EQ(img.Format, ifR32F);
  float v;
  std::memcpy(&v, img.Bits.get(), 4);
  EXPECT_EQ(v, 0.5f);

  // Lab: neutral L* 50 is sRGB gray 119 (18.4 % luminance); D50 white is white.
  img = DecodePsd(MakePsd(9, 8, 3, 2, 1, {128, 255, 128, 128, 128, 128}));
  EXPECT_EQ(img.Format, ifR8G8B8);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(img.Bits[c], 119, 1);
    EXPECT_NEAR(img.Bits[3 + c], 255, 1);
  }

  // 16-bit RGB with an extra channel and no layers: transparency.
  img = DecodePsd(MakePsd(3, 16, 4, 1, 1, {0x12, 0x34, 0, 1, 0, 2, 0xFF, 0xFE}));
  EXPECT_EQ(img.Format, ifA16R16G16B16);
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{2, 0, 1, 0, 0x34, 0x12, 0xFE, 0xFF}));
}

TEST(Psd, DamagedFilesFailCleanly) {
  EXPECT_THROW(DecodePsd(MakePsd(3, 8, 3, 4, 4, std::vector<uint8_t>(47))), EImagingError);
  EXPECT_THROW(DecodePsd(MakePsd(3, 7, 3, 1, 1, {1, 2, 3})), EImagingError);
  EXPECT_THROW(DecodePsd(MakePsd(3, 8, 2, 1, 1, {1, 2})), EImagingError);
  EXPECT_THROW(DecodePsd(MakePsd(3, 8, 3, 0, 1, {})), EImagingError);
  EXPECT_THROW(DecodePsd(MakePsd(3, 8, 3, 70000, 1, {})), EImagingError);
  EXPECT_THROW(DecodePsd(MakePsd(2, 8, 1, 1, 1, {0}, {1, 2, 3})), EImagingError);
  EXPECT_THROW(DecodePsd(MakePsd(5, 8, 3, 1, 1, {1, 2, 3})), EImagingError);
  EXPECT_THROW(DecodePsd(MakePsd(9, 32, 3, 1, 1, std::vector<uint8_t>(12))), EImagingError);

  // A huge image with a handful of coded bytes is refused before its planes
  // (gigabytes) are allocated.
  {
    TByteWriter o;
    o.Text("8BPS");
    o.U16BE(1);
    for (int i = 0; i < 6; ++i) o.U8(0);
    o.U16BE(4);
    o.U32BE(8000);
    o.U32BE(30000);
    o.U16BE(32);
    o.U16BE(3);
    for (int i = 0; i < 3; ++i) o.U32BE(0);
    o.U16BE(1);
    for (int i = 0; i < 4 * 8000; ++i) o.U16BE(2);
    for (int i = 0; i < 100; ++i) o.U8(0x81);
    EXPECT_THROW(DecodePsd(o.Data()), EImagingError);
  }

  // Every truncation and random damage of a real file.
  RasterImage img = RandomFiniteImage(ifA8R8G8B8, 20, 9, 2);
  for (int x = 0; x < 40; ++x) img.Row(3)[x] = 1;
  std::vector<uint8_t> good = SavePsd(img);
  for (size_t n = 0; n < good.size(); ++n) {
    try {
      DecodePsd(std::span<const uint8_t>(good.data(), n));
      ADD_FAILURE() << "a truncated file loaded: " << n;
    } catch (const EImagingError&) {
    }
  }
  std::mt19937 rng(5);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> d = good;
    for (int k = 0; k < 3; ++k) d[rng() % d.size()] = static_cast<uint8_t>(rng());
    try {
      EXPECT_TRUE(ImageIsValid(DecodePsd(d)));
    } catch (const EImagingError&) {
    }
  }
}

}  // namespace
}  // namespace imprimo
