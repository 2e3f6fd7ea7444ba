#include <gtest/gtest.h>

#include "imaging/file_format.h"
#include "imaging/formats/jng_codec.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/png_codec.h"
#include "imaging_mng_jng/mng_jng_util.h"

namespace imprimo {
namespace {

using namespace testutil;

class JngTest : public ::testing::Test {
 protected:
  void SetUp() override { PushOptions(); }
  void TearDown() override { PopOptions(); }
};

TEST_F(JngTest, RegistryEntrySitsAfterMngAndKnowsItsSignature) {
  const auto& list = ImageFileFormats();
  ASSERT_GE(list.size(), 5u);
  EXPECT_EQ(list[2]->Name(), "Portable Network Graphics");
  EXPECT_EQ(list[3]->Name(), "Multiple Network Graphics");
  EXPECT_EQ(list[4]->Name(), "JPEG Network Graphics");
  TImageFileFormat* jng = FormatByExtension("jng");
  ASSERT_NE(jng, nullptr);
  EXPECT_TRUE(jng->CanSave());
  EXPECT_FALSE(jng->IsMultiImage());
  EXPECT_EQ(jng->SupportedPixelFormats(),
            (TImageFormats{ifGray8, ifA8Gray8, ifR8G8B8, ifA8R8G8B8}));
  TMemoryStream good(std::vector<uint8_t>(kJngSignature, kJngSignature + 8));
  EXPECT_TRUE(jng->TestFormat(good));
  EXPECT_EQ(good.Position(), 0);
  TMemoryStream shortOne(std::vector<uint8_t>(kJngSignature, kJngSignature + 7));
  EXPECT_FALSE(jng->TestFormat(shortOne));
  TMemoryStream mng(std::vector<uint8_t>(kMngSignature, kMngSignature + 8));
  EXPECT_FALSE(jng->TestFormat(mng));
  // Detection goes by content, not by name.
  EXPECT_EQ(DetectStreamFormat(good), "jng");
  EXPECT_EQ(DetectStreamFormat(mng), "mng");
}

TEST_F(JngTest, EveryKeptFormatRoundTripsWithColourCloseAndAlphaExact) {
  for (TImageFormat f : {ifGray8, ifA8Gray8, ifR8G8B8, ifA8R8G8B8}) {
    SCOPED_TRACE(f);
    RasterImage src = SmoothImage(67, 45, f, 7);
    std::vector<uint8_t> file = SaveAs("jng", src);
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(0, std::memcmp(file.data(), kJngSignature, 8));
    auto chunks = ListChunks(file);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().first, "JHDR");
    EXPECT_EQ(chunks.back().first, "IEND");
    const bool alpha = f == ifA8Gray8 || f == ifA8R8G8B8;
    EXPECT_EQ(chunks[0].second[12], alpha ? 8 : 0);  // alpha sample depth
    EXPECT_EQ(chunks[0].second[13], 0);              // deflated alpha

    RasterImage back;
    std::string error;
    ASSERT_TRUE(LoadBytes(file, back, error)) << error;
    EXPECT_EQ(back.Format, f);
    EXPECT_EQ(back.Width, 67);
    EXPECT_EQ(back.Height, 45);
    EXPECT_GT(ColourPsnr(src, back), 30.0);
    if (alpha) {
      EXPECT_EQ(AlphaOf(back), AlphaOf(src));
    }
  }
}

TEST_F(JngTest, LossyAlphaAndProgressiveOptionsShapeTheFile) {
  ASSERT_TRUE(SetImagingOption(ImagingJNGLossyAlpha, 1));
  ASSERT_TRUE(SetImagingOption(ImagingJNGProgressive, 1));
  RasterImage src = SmoothImage(40, 30, ifA8R8G8B8, 3);
  // A smooth alpha ramp, so that JPEG coding stays close.
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) src.Row(y)[4 * x + 3] = uint8_t(x * 6);
  std::vector<uint8_t> file = SaveAs("jng", src);
  auto chunks = ListChunks(file);
  EXPECT_EQ(chunks[0].second[11], 8);  // progressive colour
  EXPECT_EQ(chunks[0].second[13], 8);  // JPEG-coded alpha
  bool jdaa = false, idat = false;
  for (auto& c : chunks) jdaa |= c.first == "JDAA", idat |= c.first == "IDAT";
  EXPECT_TRUE(jdaa);
  EXPECT_FALSE(idat);
  RasterImage back;
  std::string error;
  ASSERT_TRUE(LoadBytes(file, back, error)) << error;
  ASSERT_EQ(back.Format, ifA8R8G8B8);
  std::vector<uint8_t> a0 = AlphaOf(src), a1 = AlphaOf(back);
  int worst = 0;
  for (size_t i = 0; i < a0.size(); ++i) worst = std::max(worst, std::abs(a0[i] - a1[i]));
  EXPECT_LE(worst, 8);
  EXPECT_GT(ColourPsnr(src, back), 30.0);
}

TEST_F(JngTest, QualityOptionTradesSizeForFidelity) {
  RasterImage src = SmoothImage(96, 64, ifR8G8B8, 11);
  ASSERT_TRUE(SetImagingOption(ImagingJNGQuality, 20));
  std::vector<uint8_t> low = SaveAs("jng", src);
  ASSERT_TRUE(SetImagingOption(ImagingJNGQuality, 98));
  std::vector<uint8_t> high = SaveAs("jng", src);
  EXPECT_LT(low.size(), high.size());
  RasterImage a, b;
  std::string e;
  ASSERT_TRUE(LoadBytes(low, a, e)) << e;
  ASSERT_TRUE(LoadBytes(high, b, e)) << e;
  EXPECT_LT(ColourPsnr(src, a), ColourPsnr(src, b));
  // Out-of-range quality falls back to the default instead of failing.
  ASSERT_TRUE(SetImagingOption(ImagingJNGQuality, 0));
  RasterImage c;
  ASSERT_TRUE(LoadBytes(SaveAs("jng", src), c, e)) << e;
}

TEST_F(JngTest, OtherFormatsAreConvertedBeforeSaving) {
  struct Case {
    TImageFormat from, expected;
  } cases[] = {{ifGray16, ifGray8},          {ifA16Gray16, ifA8Gray8},     {ifR16G16B16, ifR8G8B8},
               {ifX8R8G8B8, ifR8G8B8},       {ifA16R16G16B16, ifA8R8G8B8}, {ifIndex8, ifR8G8B8},
               {ifA32B32G32R32F, ifA8R8G8B8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    RasterImage src = RandomImage(c.from, 9, 7, 5);
    if (c.from == ifA32B32G32R32F) {
      auto* f = reinterpret_cast<float*>(src.Bits.get());
      for (int i = 0; i < 9 * 7 * 4; ++i) f[i] = float(i % 10) / 10.0f;
    }
    RasterImage back;
    std::string e;
    ASSERT_TRUE(LoadBytes(SaveAs("jng", src), back, e)) << e;
    EXPECT_EQ(back.Format, c.expected);
  }
}

// Handmade files for what our writer never produces.
std::vector<uint8_t> GrayJpeg(int w, int h, std::vector<uint8_t>* pixels = nullptr) {
  RasterImage g = SmoothImage(w, h, ifGray8, 2);
  if (pixels) pixels->assign(g.Bits.get(), g.Bits.get() + g.Size);
  TMemoryStream s;
  EncodeJpeg(g, 95, false, s);
  return s.Data();
}

std::vector<uint8_t> Jhdr(uint32_t w, uint32_t h, uint8_t colour, uint8_t alphaDepth,
                          uint8_t alphaCompression) {
  return Cat({BE32(w), BE32(h), {colour, 8, 8, 0, alphaDepth, alphaCompression, 0, 0}});
}

// The IDAT chunks of a gray PNG of the given depth.
std::vector<std::vector<uint8_t>> GrayIdat(const RasterImage& img) {
  TMemoryStream s;
  EncodePng(img, TPngEncodeOptions{}, s);
  std::vector<std::vector<uint8_t>> out;
  for (auto& c : ListChunks(s.Data()))
    if (c.first == "IDAT") out.push_back(c.second);
  return out;
}

TEST_F(JngTest, SixteenBitDeflatedAlphaKeepsItsHighByte) {
  RasterImage a16;
  ImageCreate(a16, 16, 8, ifGray16);
  auto* w = reinterpret_cast<uint16_t*>(a16.Bits.get());
  for (int i = 0; i < 16 * 8; ++i) w[i] = uint16_t(i * 500 + 77);
  TStreamBuilder b(kJngSignature);
  b.Add("JHDR", Jhdr(16, 8, 12, 16, 0)).Add("JDAT", GrayJpeg(16, 8));
  for (auto& part : GrayIdat(a16)) b.Add("IDAT", part);
  b.Add("IEND");
  RasterImage img;
  DecodeJng(b.bytes, img);
  ASSERT_EQ(img.Format, ifA8Gray8);
  for (int i = 0; i < 16 * 8; ++i) ASSERT_EQ(img.Bits[2 * i + 1], uint8_t(w[i] >> 8)) << i;
}

TEST_F(JngTest, ChunksAfterSeparatorAndUnknownAncillaryChunksAreIgnored) {
  std::vector<uint8_t> gray;
  std::vector<uint8_t> jpeg = GrayJpeg(24, 16, &gray);
  // The 8-bit JPEG split over two JDAT chunks, a JSEP with trailing data
  // that is not ours to decode, and a text chunk.
  const size_t half = jpeg.size() / 2;
  TStreamBuilder b(kJngSignature);
  b.Add("JHDR", Jhdr(24, 16, 8, 0, 0))
      .Add("tEXt", {'a', 0, 'b'})
      .Add("JDAT", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + half))
      .Add("JDAT", std::vector<uint8_t>(jpeg.begin() + half, jpeg.end()))
      .Add("JSEP")
      .Add("JDAT", {1, 2, 3})
      .Add("IEND");
  b.bytes[8 + 28 + 8 + 1] ^= 0x40;  // damage the text chunk's data: its CRC fails
  RasterImage img;
  DecodeJng(b.bytes, img);
  ASSERT_EQ(img.Format, ifGray8);
  ASSERT_EQ(img.Size, int32_t(gray.size()));
  for (size_t i = 0; i < gray.size(); ++i) ASSERT_LE(std::abs(img.Bits[i] - gray[i]), 6) << i;
}

void ExpectError(const std::vector<uint8_t>& bytes, const std::string& message) {
  RasterImage img;
  try {
    DecodeJng(bytes, img);
    ADD_FAILURE() << "decoded without error; expected " << message;
  } catch (const EImagingError& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
  EXPECT_FALSE(ImageIsValid(img));
}

TEST_F(JngTest, DamagedFilesFailWithTheChunkMessages) {
  std::vector<uint8_t> jpeg = GrayJpeg(8, 8);
  auto good = [&] {
    TStreamBuilder b(kJngSignature);
    b.Add("JHDR", Jhdr(8, 8, 8, 0, 0)).Add("JDAT", jpeg).Add("IEND");
    return b.bytes;
  };
  {  // CRC of the colour data wrong
    std::vector<uint8_t> f = good();
    f[8 + 28 + 8 + 5] ^= 1;
    ExpectError(f, "Error when reading JDAT chunk data. File may be corrupted.");
  }
  {  // length claims more than the file holds
    std::vector<uint8_t> f = good();
    f[8 + 28 + 0] = 0x10;
    ExpectError(f, "Error when reading JDAT chunk data. File may be corrupted.");
  }
  {  // header of the wrong size
    TStreamBuilder b(kJngSignature);
    b.Add("JHDR", {0, 0, 0, 8}).Add("JDAT", jpeg).Add("IEND");
    ExpectError(b.bytes, "Error when reading JHDR chunk data.");
  }
  {  // zero width, unknown colour type
    TStreamBuilder b(kJngSignature);
    b.Add("JHDR", Jhdr(0, 8, 8, 0, 0)).Add("JDAT", jpeg).Add("IEND");
    ExpectError(b.bytes, "Error when reading JHDR chunk data.");
    TStreamBuilder c(kJngSignature);
    c.Add("JHDR", Jhdr(8, 8, 9, 0, 0)).Add("JDAT", jpeg).Add("IEND");
    ExpectError(c.bytes, "Error when reading JHDR chunk data.");
  }
  {  // no colour data at all
    TStreamBuilder b(kJngSignature);
    b.Add("JHDR", Jhdr(8, 8, 8, 0, 0)).Add("IEND");
    ExpectError(b.bytes, "Error when reading JDAT chunk data. File may be corrupted.");
  }
  {  // alpha announced but never stored
    TStreamBuilder b(kJngSignature);
    b.Add("JHDR", Jhdr(8, 8, 12, 8, 0)).Add("JDAT", jpeg).Add("IEND");
    ExpectError(b.bytes, "Error when reading IDAT chunk data. File may be corrupted.");
  }
  {  // header size disagrees with the JPEG data
    TStreamBuilder b(kJngSignature);
    b.Add("JHDR", Jhdr(9, 8, 8, 0, 0)).Add("JDAT", jpeg).Add("IEND");
    ExpectError(b.bytes, "Error when reading JDAT chunk data.");
  }
  {  // an unknown critical chunk
    TStreamBuilder b(kJngSignature);
    b.Add("JHDR", Jhdr(8, 8, 8, 0, 0)).Add("JDAT", jpeg).Add("XYZW").Add("IEND");
    ExpectError(b.bytes, "Error when reading XYZW chunk data.");
  }
  {  // a huge size is refused before anything is allocated
    TStreamBuilder b(kJngSignature);
    b.Add("JHDR", Jhdr(65535, 65535, 8, 0, 0)).Add("JDAT", jpeg).Add("IEND");
    RasterImage img;
    EXPECT_THROW(DecodeJng(b.bytes, img), EImagingError);
  }
}

TEST_F(JngTest, EveryTruncationFailsCleanlyThroughTheLayer) {
  std::vector<uint8_t> file = SaveAs("jng", SmoothImage(20, 12, ifA8R8G8B8, 4));
  // The last chunk (IEND) may go missing without loss; anything shorter fails.
  for (size_t n = 0; n + 12 < file.size(); n += (n < 64 ? 1 : 7)) {
    std::vector<uint8_t> cut(file.begin(), file.begin() + n);
    RasterImage img;
    std::string error;
    EXPECT_FALSE(LoadBytes(cut, img, error)) << n;
    EXPECT_FALSE(ImageIsValid(img));
  }
  RasterImage img;
  std::string error;
  std::vector<uint8_t> noEnd(file.begin(), file.end() - 12);
  EXPECT_TRUE(LoadBytes(noEnd, img, error)) << error;
  // Damage reaches the caller with the chunk message inside the layer's text.
  std::vector<uint8_t> bad = file;
  bad[8 + 28 + 20] ^= 0xFF;
  EXPECT_FALSE(LoadBytes(bad, img, error));
  EXPECT_NE(error.find("Error when reading JDAT chunk data. File may be corrupted."),
            std::string::npos)
      << error;
}

// Files from another writer: alpha stored before the colour data, extra
// colour-space chunks, progressive colour, gray colour.
TEST_F(JngTest, FilesFromAnotherWriterLoad) {
  const std::string dir = std::string(IMPRIMO_TEST_DATA_DIR) + "/jng/";
  RasterImage source;
  ASSERT_TRUE(ReadImageFile(dir + "gradient_alpha.png", source));
  ASSERT_EQ(source.Format, ifA8R8G8B8);
  for (const char* name : {"gradient_alpha.jng", "gradient_progressive.jng"}) {
    SCOPED_TRACE(name);
    RasterImage img;
    ASSERT_TRUE(ReadImageFile(dir + name, img));
    ASSERT_EQ(img.Format, ifA8R8G8B8);
    ASSERT_EQ(img.Width, 20);
    ASSERT_EQ(img.Height, 10);
    EXPECT_EQ(AlphaOf(img), AlphaOf(source));
    EXPECT_GT(ColourPsnr(source, img), 30.0);
  }
  RasterImage grayPng, grayJng;
  ASSERT_TRUE(ReadImageFile(dir + "gray.png", grayPng));
  ASSERT_TRUE(ReadImageFile(dir + "gray.jng", grayJng));
  EXPECT_EQ(grayJng.Format, ifGray8);
  EXPECT_LE(MaxDifference(grayPng, grayJng), 4);
}

}  // namespace
}  // namespace imprimo
