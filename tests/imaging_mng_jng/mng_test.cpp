#include <gtest/gtest.h>

#include <cstdio>

#include "imaging/file_format.h"
#include "imaging/formats/mng_codec.h"
#include "imaging/formats/png_codec.h"
#include "imaging_mng_jng/mng_jng_util.h"

namespace imprimo {
namespace {

using namespace testutil;

class MngTest : public ::testing::Test {
 protected:
  void SetUp() override { PushOptions(); }
  void TearDown() override { PopOptions(); }
};

const TImageFormat kPngSet[] = {ifIndex8,       ifGray8,     ifA8Gray8,     ifGray16,
                                ifA16Gray16,    ifR8G8B8,    ifA8R8G8B8,    ifR16G16B16,
                                ifA16R16G16B16, ifB16G16R16, ifA16B16G16R16};

TEST_F(MngTest, SupportedSetFollowsTheLossyOption) {
  TImageFileFormat* mng = FormatByExtension("mng");
  ASSERT_NE(mng, nullptr);
  EXPECT_TRUE(mng->IsMultiImage());
  EXPECT_TRUE(mng->CanSave());
  EXPECT_EQ(mng->SupportedPixelFormats(), TImageFormats(std::begin(kPngSet), std::end(kPngSet)));
  ASSERT_TRUE(SetImagingOption(ImagingMNGLossyCompression, 1));
  EXPECT_EQ(mng->SupportedPixelFormats(),
            (TImageFormats{ifGray8, ifA8Gray8, ifR8G8B8, ifA8R8G8B8}));
}

TEST_F(MngTest, EveryKeptFormatRoundTripsByteExact) {
  for (TImageFormat f : kPngSet) {
    SCOPED_TRACE(f);
    RasterImage src = RandomImage(f, 23, 11, 100 + f);
    if (f == ifIndex8)
      for (int i = 0; i < 256; i += 3) src.Palette[i].A = uint8_t(i);
    std::vector<uint8_t> file = SaveAs("mng", src);
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(0, std::memcmp(file.data(), kMngSignature, 8));
    auto chunks = ListChunks(file);
    ASSERT_GE(chunks.size(), 5u);
    EXPECT_EQ(chunks.front().first, "MHDR");
    EXPECT_EQ(chunks.front().second.size(), 28u);
    EXPECT_EQ(chunks[1].first, "IHDR");
    EXPECT_EQ(chunks.back().first, "MEND");
    RasterImage back;
    std::string error;
    ASSERT_TRUE(LoadBytes(file, back, error)) << error;
    // The 16-bit formats stored blue first come back red first and vice versa
    // only as the PNG loader gives them; compare in RGBA then.
    if (f == ifB16G16R16 || f == ifA16B16G16R16) {
      RasterImage expected;
      ImageClone(src, expected);
      ImageConvert(expected, back.Format);
      EXPECT_TRUE(SameImage(expected, back));
    } else {
      EXPECT_TRUE(SameImage(src, back));
    }
  }
}

TEST_F(MngTest, SeveralImagesMakeSeveralFramesAndTheFirstLoadsAlone) {
  std::string path = TempPath("frames.mng");
  TDynImageDataArray set;
  set.push_back(RandomImage(ifR8G8B8, 10, 6, 1));
  set.push_back(RandomImage(ifIndex8, 4, 12, 2));
  set.push_back(RandomImage(ifA16Gray16, 7, 7, 3));
  ASSERT_TRUE(WriteMultiImageFile(path, set));
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  auto chunks = ListChunks(bytes);
  EXPECT_EQ(BE32(10), std::vector<uint8_t>(chunks[0].second.begin(), chunks[0].second.begin() + 4));
  EXPECT_EQ(BE32(12),
            std::vector<uint8_t>(chunks[0].second.begin() + 4, chunks[0].second.begin() + 8));
  TDynImageDataArray back;
  ASSERT_TRUE(ReadMultiImageFile(path, back));
  ASSERT_EQ(back.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(SameImage(set[i], back[i])) << i;
  RasterImage first;
  ASSERT_TRUE(ReadImageFile(path, first));
  EXPECT_TRUE(SameImage(set[0], first));
  std::remove(path.c_str());
}

TEST_F(MngTest, JngFramesWithDeflatedOrLossyAlpha) {
  ASSERT_TRUE(SetImagingOption(ImagingMNGLossyCompression, 1));
  RasterImage src = SmoothImage(33, 21, ifA8R8G8B8, 9);
  std::vector<uint8_t> file = SaveAs("mng", src);
  auto chunks = ListChunks(file);
  ASSERT_GE(chunks.size(), 2u);
  EXPECT_EQ(chunks[1].first, "JHDR");
  EXPECT_EQ(NgLoadBE(chunks[0].second.data() + 24) & 16u, 16u);  // JNG in the profile
  RasterImage back;
  std::string error;
  ASSERT_TRUE(LoadBytes(file, back, error)) << error;
  ASSERT_EQ(back.Format, ifA8R8G8B8);
  EXPECT_GT(ColourPsnr(src, back), 30.0);
  EXPECT_EQ(AlphaOf(back), AlphaOf(src));

  ASSERT_TRUE(SetImagingOption(ImagingMNGLossyAlpha, 1));
  ASSERT_TRUE(SetImagingOption(ImagingMNGProgressive, 1));
  chunks = ListChunks(SaveAs("mng", src));
  EXPECT_EQ(chunks[1].second[11], 8);
  EXPECT_EQ(chunks[1].second[13], 8);
  // A 16-bit image is reduced to what JNG frames keep.
  RasterImage deep = RandomImage(ifR16G16B16, 8, 8, 4);
  ASSERT_TRUE(LoadBytes(SaveAs("mng", deep), back, error)) << error;
  EXPECT_EQ(back.Format, ifR8G8B8);
}

TEST_F(MngTest, FilterAndLevelOptionsReachTheFrames) {
  RasterImage src = RandomImage(ifR8G8B8, 64, 32, 8);
  ASSERT_TRUE(SetImagingOption(ImagingMNGCompressLevel, 0));
  std::vector<uint8_t> stored = SaveAs("mng", src);
  ASSERT_TRUE(SetImagingOption(ImagingMNGCompressLevel, 9));
  ASSERT_TRUE(SetImagingOption(ImagingMNGPreFilter, 1));
  std::vector<uint8_t> packed = SaveAs("mng", src);
  EXPECT_GT(stored.size(), 64u * 32 * 3);  // level 0 stores
  for (auto* file : {&stored, &packed}) {
    RasterImage back;
    std::string e;
    ASSERT_TRUE(LoadBytes(*file, back, e)) << e;
    EXPECT_TRUE(SameImage(src, back));
  }
}

// ---- Handmade streams for what the published format allows ----

std::vector<uint8_t> Mhdr(uint32_t w, uint32_t h) {
  return Cat({BE32(w), BE32(h), BE32(1000), BE32(0), BE32(0), BE32(0), BE32(1)});
}

// The chunks (after the signature) of a PNG our writer makes.
std::vector<std::pair<std::string, std::vector<uint8_t>>> PngChunks(const RasterImage& img) {
  TMemoryStream s;
  EncodePng(img, TPngEncodeOptions{}, s);
  return ListChunks(s.Data());
}

// Embeds a PNG our writer makes, chunk by chunk, in an MNG stream.
void EmbedPng(TStreamBuilder& b, const RasterImage& img) {
  for (const auto& c : PngChunks(img)) b.Add(c.first, c.second);
}

TEST_F(MngTest, GlobalPaletteFillsEmptyEmbeddedPalette) {
  RasterImage src = RandomImage(ifIndex8, 5, 5, 12);
  for (int i = 0; i < 256; ++i) src.Palette[i].A = i < 4 ? uint8_t(60 * i) : 255;
  TStreamBuilder b(kMngSignature);
  b.Add("MHDR", Mhdr(5, 5));
  for (auto& c : PngChunks(src))
    if (c.first == "PLTE" || c.first == "tRNS")
      b.Add(c.first == "PLTE" ? "PLTE" : "tRNS", c.second);
  b.Add("TERM", {0});
  b.Add("FRAM", {1});
  for (auto& c : PngChunks(src))  // an empty palette or transparency uses the global one
    b.Add(c.first, c.first == "PLTE" || c.first == "tRNS" ? std::vector<uint8_t>{} : c.second);
  b.Add("MEND");
  std::vector<RasterImage> images;
  DecodeMng(b.bytes, images, true);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(SameImage(src, images[0]));
}

TEST_F(MngTest, IntrapixelDifferencedFramesAreRestored) {
  RasterImage src = RandomImage(ifA8R8G8B8, 9, 4, 21);
  RasterImage diff;
  ImageClone(src, diff);
  for (int i = 0; i < 9 * 4; ++i) {
    uint8_t* p = diff.Bits.get() + 4 * i;
    p[0] = uint8_t(p[0] - p[1]);
    p[2] = uint8_t(p[2] - p[1]);
  }
  TStreamBuilder b(kMngSignature);
  b.Add("MHDR", Mhdr(9, 4));
  for (auto& c : PngChunks(diff)) {
    if (c.first == "IHDR") c.second[11] = 64;
    b.Add(c.first, c.second);
  }
  b.Add("MEND");
  std::vector<RasterImage> images;
  DecodeMng(b.bytes, images, false);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(SameImage(src, images[0]));
}

TEST_F(MngTest, DeltaAndBasicImagesAndDamagedAncillaryChunksAreReadPast) {
  RasterImage a = RandomImage(ifGray8, 6, 3, 31), c = RandomImage(ifR8G8B8, 3, 6, 32);
  TStreamBuilder b(kMngSignature);
  b.Add("MHDR", Mhdr(6, 6)).Add("BACK", {0, 0, 0, 0, 0, 0});
  b.Add("DHDR", {0, 1, 1, 0}).Add("IDAT", {1, 2, 3}).Add("IEND");
  b.Add("BASI", std::vector<uint8_t>(13, 1)).Add("IEND");
  EmbedPng(b, a);
  b.Add("tEXt", {'k', 0, 'v'});
  b.bytes[b.bytes.size() - 6] ^= 1;  // the text chunk's CRC no longer matches
  b.Add("DEFI", {0, 1}).Add("MOVE", std::vector<uint8_t>(13, 0));
  EmbedPng(b, c);
  // No MEND: the data simply ends after the last image.
  std::vector<RasterImage> images;
  DecodeMng(b.bytes, images, false);
  ASSERT_EQ(images.size(), 2u);
  EXPECT_TRUE(SameImage(a, images[0]));
  EXPECT_TRUE(SameImage(c, images[1]));
}

void ExpectMngError(const std::vector<uint8_t>& bytes, const std::string& message) {
  std::vector<RasterImage> images;
  try {
    DecodeMng(bytes, images, false);
    ADD_FAILURE() << "decoded without error; expected " << message;
  } catch (const EImagingError& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
  EXPECT_TRUE(images.empty());
}

TEST_F(MngTest, DamagedFilesFailWithTheChunkMessages) {
  std::vector<uint8_t> good = SaveAs("mng", RandomImage(ifR8G8B8, 12, 12, 41));
  {
    std::vector<uint8_t> f = good;
    f[8 + 10] ^= 1;  // inside MHDR
    ExpectMngError(f, "Error when reading MHDR chunk data. File may be corrupted.");
  }
  {
    TStreamBuilder b(kMngSignature);
    b.Add("MHDR", {0, 0, 0, 1});
    ExpectMngError(b.bytes, "Error when reading MHDR chunk data.");
  }
  {
    TStreamBuilder b(kMngSignature);
    b.Add("MHDR", Mhdr(1, 1)).Add("TERM", {0}).Add("MEND");
    ExpectMngError(b.bytes, "Error when reading IHDR chunk data. File may be corrupted.");
  }
  {
    std::vector<uint8_t> f = good;
    const size_t idat = 8 + 40 + 25;  // MHDR and IHDR chunks, then IDAT
    ASSERT_EQ(std::string(f.begin() + idat + 4, f.begin() + idat + 8), "IDAT");
    f[idat + 10] ^= 0x20;
    ExpectMngError(f, "Error when reading IDAT chunk data. File may be corrupted.");
    f = good;
    f[idat] = 0x7F;  // length far beyond the data present
    ExpectMngError(f, "Error when reading IDAT chunk data. File may be corrupted.");
  }
  // Every cut into the image data fails without a crash and the layer keeps
  // no half image (IEND and MEND carry nothing and may go missing).
  for (size_t n = 0; n + 24 < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    RasterImage img;
    std::string error;
    EXPECT_FALSE(LoadBytes(cut, img, error)) << n;
    EXPECT_FALSE(ImageIsValid(img));
  }
}

TEST_F(MngTest, HiddenObjectsCountOnlyWhenNothingIsShown) {
  RasterImage hiddenImg = RandomImage(ifGray8, 4, 4, 51), shownImg = RandomImage(ifGray8, 5, 3, 52);
  TStreamBuilder b(kMngSignature);
  b.Add("MHDR", Mhdr(5, 4)).Add("DEFI", {0, 1, 1});
  EmbedPng(b, hiddenImg);
  TStreamBuilder onlyHidden = b;
  b.Add("DEFI", {0, 2, 0});
  EmbedPng(b, shownImg);
  b.Add("MEND");
  for (bool first : {true, false}) {
    std::vector<RasterImage> images;
    DecodeMng(b.bytes, images, first);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(SameImage(shownImg, images[0]));
  }
  // Stray bytes in place of MEND.
  onlyHidden.bytes.insert(onlyHidden.bytes.end(), {0, 0, 0});
  std::vector<RasterImage> images;
  DecodeMng(onlyHidden.bytes, images, false);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(SameImage(hiddenImg, images[0]));
}

}  // namespace
}  // namespace imprimo
