// DirectDraw surfaces: round trips, layouts and options, hostile headers.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>

#include "imaging/file_format.h"
#include "imaging/formats/dds_format.h"
#include "imaging/imaging_stream.h"
#include "imaging_dds_pcx_psd_xpm/dds_pcx_psd_xpm_util.h"

namespace imprimo {
namespace {

using dds_pcx_psd_xpm::Pixels;
using dds_pcx_psd_xpm::RandomFiniteImage;

bool SaveDds(const RasterImage& img, std::vector<uint8_t>& out) {
  TMemoryStream s;
  try {
    if (!WriteImageStream("dds", s, img)) return false;
  } catch (const EImagingError&) {
    return false;
  }
  out = s.Data();
  return true;
}

RasterImage LoadDds(const std::vector<uint8_t>& bytes) {
  TMemoryStream s(bytes);
  RasterImage img;
  EXPECT_TRUE(ReadImageStream(s, img));
  return img;
}

// Restores the save options after each test.
class DdsOptions : public ::testing::Test {
 protected:
  void TearDown() override {
    SetImagingOption(ImagingDDSSaveCubeMap, 0);
    SetImagingOption(ImagingDDSSaveVolume, 0);
    SetImagingOption(ImagingDDSSaveMipMapCount, 1);
    SetImagingOption(ImagingDDSSaveDepth, 1);
  }
};

TEST(Dds, EveryKeptPixelFormatRoundTripsUnchanged) {
  const TImageFormat kept[] = {
      ifGray8,        ifA8Gray8,  ifGray16,        ifR3G3B2, ifR5G6B5,        ifA1R5G5B5,
      ifA4R4G4B4,     ifX1R5G5B5, ifX4R4G4B4,      ifR8G8B8, ifA8R8G8B8,      ifX8R8G8B8,
      ifA16B16G16R16, ifR32F,     ifA32B32G32R32F, ifR16F,   ifA16B16G16R16F, ifDXT1,
      ifDXT3,         ifDXT5,     ifATI1N,         ifATI2N};
  for (TImageFormat f : kept) {
    SCOPED_TRACE(GetImageFormatInfo(f)->Name);
    RasterImage img = RandomFiniteImage(f, 13, 7, 1000 + f);
    std::vector<uint8_t> file;
    ASSERT_TRUE(SaveDds(img, file));
    RasterImage back = LoadDds(file);
    EXPECT_EQ(back.Format, f);
    EXPECT_EQ(back.Width, 13);
    EXPECT_EQ(back.Height, 7);
    EXPECT_EQ(Pixels(back), Pixels(img));
  }
}

TEST(Dds, OtherFormatsTakeTheFormatsOwnConversion) {
  struct Case {
    TImageFormat from, to;
  };
  const Case cases[] = {
      {ifIndex8, ifA8R8G8B8},
      {ifA16R16G16B16F, ifA16B16G16R16F},
      {ifA32R32G32B32F, ifA32B32G32R32F},
      {ifA16Gray16, ifA8Gray8},
      {ifGray32, ifGray16},
      {ifR16G16B16, ifA16B16G16R16},
      {ifA16R16G16B16, ifA16B16G16R16},
      {ifX5R1G1B1, ifX8R8G8B8},
      {ifBTC, ifA8R8G8B8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(GetImageFormatInfo(c.from)->Name);
    RasterImage img = RandomFiniteImage(c.from, 8, 4, 5);
    std::vector<uint8_t> file;
    ASSERT_TRUE(SaveDds(img, file));
    EXPECT_EQ(LoadDds(file).Format, c.to);
    EXPECT_EQ(img.Format, c.from);  // the caller's image is left alone
  }
}

TEST_F(DdsOptions, MipMapLevelsAreWrittenAndReported) {
  RasterImage img;
  ASSERT_TRUE(ImageCreate(img, 16, 8, ifA8R8G8B8));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) img.Row(y)[4 * x + 2] = static_cast<uint8_t>((x % 2) * 100 + y);
  ASSERT_TRUE(SetImagingOption(ImagingDDSSaveMipMapCount, 3));
  std::vector<uint8_t> file;
  ASSERT_TRUE(SaveDds(img, file));
  EXPECT_EQ(file.size(), 128u + 4 * (16 * 8 + 8 * 4 + 4 * 2));

  TDdsLayoutInfo info;
  TDynImageDataArray all = DecodeDds(file, false, &info);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(info.MipMaps, 3);
  EXPECT_EQ(all[1].Width, 8);
  EXPECT_EQ(all[1].Height, 4);
  EXPECT_EQ(all[2].Width, 4);
  // Level 1 averages 2x2 blocks, rounded: red of rows 2 and 3 is
  // (2 + 102 + 3 + 103 + 2) / 4.
  EXPECT_EQ(all[1].Row(1)[2], 53);

  LoadDds(file);
  EXPECT_EQ(GetImagingOption(ImagingDDSLoadedMipMapCount), 3);
  EXPECT_EQ(GetImagingOption(ImagingDDSLoadedCubeMap), 0);
  EXPECT_EQ(GetImagingOption(ImagingDDSLoadedVolume), 0);
  EXPECT_EQ(GetImagingOption(ImagingDDSLoadedDepth), 1);

  // More levels than the image has are cut to the chain's length.
  ASSERT_TRUE(SetImagingOption(ImagingDDSSaveMipMapCount, 50));
  ASSERT_TRUE(SaveDds(img, file));
  EXPECT_EQ(DecodeDds(file, false).size(), 5u);
}

TEST_F(DdsOptions, CubeMapsAndVolumesKeepTheirImagesInOrder) {
  std::vector<RasterImage> faces;
  std::vector<const RasterImage*> ptrs;
  for (int i = 0; i < 6; ++i) faces.push_back(RandomFiniteImage(ifDXT5, 8, 8, 70 + i));
  for (auto& f : faces) ptrs.push_back(&f);
  std::vector<uint8_t> file = EncodeDds(ptrs, {true, false, 1, 1});
  TDdsLayoutInfo info;
  TDynImageDataArray back = DecodeDds(file, false, &info);
  EXPECT_TRUE(info.CubeMap);
  ASSERT_EQ(back.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Pixels(back[i]), Pixels(faces[i])) << i;
  LoadDds(file);
  EXPECT_EQ(GetImagingOption(ImagingDDSLoadedCubeMap), 1);

  // A volume of four slices with two levels: 4 + 2 images.
  file = EncodeDds({ptrs[0], ptrs[1], ptrs[2], ptrs[3]}, {false, true, 2, 4});
  back = DecodeDds(file, false, &info);
  EXPECT_TRUE(info.Volume);
  EXPECT_EQ(info.Depth, 4);
  ASSERT_EQ(back.size(), 6u);
  EXPECT_EQ(back[4].Width, 4);
  EXPECT_EQ(Pixels(back[3]), Pixels(faces[3]));
  LoadDds(file);
  EXPECT_EQ(GetImagingOption(ImagingDDSLoadedVolume), 1);
  EXPECT_EQ(GetImagingOption(ImagingDDSLoadedDepth), 4);

  // Whole sets through the layer's multi-image file calls.
  const std::string path = ::testing::TempDir() + "dds_cube.dds";
  TDynImageDataArray set;
  for (auto& f : faces) {
    RasterImage copy;
    ASSERT_TRUE(ImageClone(f, copy));
    set.push_back(std::move(copy));
  }
  ASSERT_TRUE(SetImagingOption(ImagingDDSSaveCubeMap, 1));
  ASSERT_TRUE(WriteMultiImageFile(path, set));
  TDynImageDataArray loaded;
  ASSERT_TRUE(ReadMultiImageFile(path, loaded));
  ASSERT_EQ(loaded.size(), 6u);
  EXPECT_EQ(Pixels(loaded[5]), Pixels(faces[5]));
  std::remove(path.c_str());

  // One image cannot make a cube map: a clear failure, not six copies.
  ASSERT_TRUE(SetImagingOption(ImagingDDSSaveCubeMap, 1));
  EXPECT_FALSE(SaveDds(faces[0], file));
}

TEST_F(DdsOptions, SaveOptionsAreCheckedBeforeWriting) {
  RasterImage img = RandomFiniteImage(ifA8R8G8B8, 4, 4, 7);
  SetImagingOption(ImagingDDSSaveCubeMap, 1);
  SetImagingOption(ImagingDDSSaveVolume, 1);
  SetImagingOption(ImagingDDSSaveMipMapCount, 0);
  SetImagingOption(ImagingDDSSaveDepth, -3);
  std::vector<uint8_t> file;
  SaveDds(img, file);  // fails for lack of faces, after the check
  EXPECT_EQ(GetImagingOption(ImagingDDSSaveVolume), 0);
  EXPECT_EQ(GetImagingOption(ImagingDDSSaveMipMapCount), 1);
  EXPECT_EQ(GetImagingOption(ImagingDDSSaveDepth), 1);
}

// A header for w x h with the given pixel format words.
std::vector<uint8_t> Header(int w, int h, uint32_t pfFlags, uint32_t fourCC, uint32_t bits,
                            std::array<uint32_t, 4> masks, uint32_t flags = 0x1007,
                            uint32_t depth = 0, uint32_t mips = 0, uint32_t caps2 = 0) {
  TByteWriter o;
  o.Text("DDS ");
  o.U32LE(124);
  o.U32LE(flags);
  o.U32LE(h);
  o.U32LE(w);
  o.U32LE(0);
  o.U32LE(depth);
  o.U32LE(mips);
  for (int i = 0; i < 11; ++i) o.U32LE(0);
  o.U32LE(32);
  o.U32LE(pfFlags);
  o.U32LE(fourCC);
  o.U32LE(bits);
  for (uint32_t m : masks) o.U32LE(m);
  o.U32LE(0x1000);
  o.U32LE(caps2);
  for (int i = 0; i < 3; ++i) o.U32LE(0);
  return o.Data();
}

TEST(Dds, ChannelMasksOutsideTheKeptLayoutsAreUnpacked) {
  // R in the low byte (A8B8G8R8), and 10-10-10-2.
  std::vector<uint8_t> f = Header(1, 1, 0x41, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000});
  f.insert(f.end(), {10, 20, 30, 40});
  RasterImage img = std::move(DecodeDds(f, true)[0]);
  EXPECT_EQ(img.Format, ifA8R8G8B8);
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{30, 20, 10, 40}));

  f = Header(1, 1, 0x41, 0, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000});
  const uint32_t v = 1023u | (0u << 10) | (511u << 20) | (2u << 30);
  f.insert(f.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  img = std::move(DecodeDds(f, true)[0]);
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{127, 0, 255, 170}));

  // Alpha only: colour black, alpha kept.
  f = Header(2, 1, 0x2, 0, 8, {0, 0, 0, 0xFF});
  f.insert(f.end(), {0, 200});
  img = std::move(DecodeDds(f, true)[0]);
  EXPECT_EQ(img.Format, ifA8R8G8B8);
  EXPECT_EQ(img.Bits[7], 200);
  EXPECT_EQ(img.Bits[6], 0);
}

TEST(Dds, PalettedSurfacesBecomeIndex8) {
  // Four-bit indices: 3 x 2, rows end on a byte, the first pixel in the low half.
  std::vector<uint8_t> f = Header(3, 2, 0x8, 0, 4, {});
  for (int i = 0; i < 16; ++i) f.insert(f.end(), {uint8_t(i * 16), 7, 9, 0});
  f.insert(f.end(), {0x21, 0x03, 0x54, 0x0F});
  RasterImage img = std::move(DecodeDds(f, true)[0]);
  EXPECT_EQ(img.Format, ifIndex8);
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{1, 2, 3, 4, 5, 15}));
  EXPECT_EQ(img.Palette[2], (TColor32Rec{9, 7, 32, 255}));

  // Eight-bit indices; a missing palette is truncated data.
  f = Header(2, 1, 0x20, 0, 8, {});
  f.resize(f.size() + 1024, 1);
  f.insert(f.end(), {200, 3});
  img = std::move(DecodeDds(f, true)[0]);
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{200, 3}));
  EXPECT_THROW(DecodeDds(Header(2, 1, 0x20, 0, 8, {}), true), EImagingError);
}

TEST(Dds, HostileHeadersNeverOutgrowTheFile) {
  // A 4x4 volume claiming 2^31 slices and 2^32-1 levels, with one slice of data.
  std::vector<uint8_t> f = Header(4, 4, 0x41, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                                  0x1007 | 0x20000 | 0x800000, 0x7FFFFFFF, 0xFFFFFFFF, 0x200000);
  f.resize(f.size() + 64, 7);
  TDdsLayoutInfo info;
  TDynImageDataArray all = DecodeDds(f, false, &info);
  EXPECT_EQ(all.size(), 1u);
  EXPECT_LE(info.MipMaps, 3);
  EXPECT_EQ(info.Depth, 1);

  // Block data missing, sizes over the limit, unknown codes, bad header size.
  EXPECT_THROW(DecodeDds(Header(8, 8, 0x4, 0x35545844, 0, {}), true), EImagingError);
  EXPECT_THROW(DecodeDds(Header(70000, 8, 0x4, 0x35545844, 0, {}), true), EImagingError);
  EXPECT_THROW(DecodeDds(Header(4, 4, 0x4, 0x37434242, 0, {}), true), EImagingError);
  EXPECT_THROW(DecodeDds(Header(4, 4, 0x40, 0, 12, {1, 2, 4, 0}), true), EImagingError);
  std::vector<uint8_t> bad = Header(4, 4, 0x40, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0});
  bad[4] = 100;
  EXPECT_THROW(DecodeDds(bad, true), EImagingError);

  // Every truncation and random damage of a valid file fails cleanly or loads.
  std::vector<RasterImage> faces;
  for (int i = 0; i < 6; ++i) faces.push_back(RandomFiniteImage(ifDXT1, 8, 8, i));
  std::vector<uint8_t> good = EncodeDds(
      {&faces[0], &faces[1], &faces[2], &faces[3], &faces[4], &faces[5]}, {true, false, 4, 1});
  for (size_t n = 0; n < good.size(); n += 7) {
    try {
      DecodeDds(std::span<const uint8_t>(good.data(), n), false);
    } catch (const EImagingError&) {
    }
  }
  std::mt19937 rng(3);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> d = good;
    for (int k = 0; k < 4; ++k) d[rng() % 148] = static_cast<uint8_t>(rng());
    try {
      for (const RasterImage& img : DecodeDds(d, false)) EXPECT_TRUE(ImageIsValid(img));
    } catch (const EImagingError&) {
    }
  }
}

}  // namespace
}  // namespace imprimo
