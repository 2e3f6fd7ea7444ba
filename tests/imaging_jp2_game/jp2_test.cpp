// JPEG 2000 through the layer: exact lossless round trips, lossy quality,
// the code stream option, save-time conversions and damaged input.
#include <gtest/gtest.h>

#include "imaging/formats/jp2_format.h"
#include "imaging_jp2_game/jp2_game_util.h"

namespace imprimo::jp2_game {
namespace {

constexpr TImageFormat kKept[] = {ifGray8,  ifA8Gray8,  ifGray16,    ifA16Gray16,
                                  ifR8G8B8, ifA8R8G8B8, ifR16G16B16, ifA16R16G16B16};

TEST(Jp2, LosslessRoundTripOfEveryKeptFormatInBothContainers) {
  ScopedOption lossless(ImagingJpeg2000LosslessCompression, 1);
  for (int codeStream = 0; codeStream <= 1; ++codeStream) {
    ScopedOption container(ImagingJpeg2000CodeStreamOnly, codeStream);
    for (TImageFormat f : kKept)
      for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 5}, std::pair{67, 33}}) {
        SCOPED_TRACE(std::string(GetImageFormatInfo(f)->Name) + " " + std::to_string(w) + "x" +
                     std::to_string(h) + (codeStream ? " j2k" : " jp2"));
        RasterImage src = RandomImage(f, w, h, static_cast<uint32_t>(f * 31 + w));
        auto bytes = SaveToMemory("jp2", src);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(codeStream ? IsJ2kCodeStream(bytes) : IsJp2Signature(bytes), true);
        RasterImage back;
        ASSERT_TRUE(LoadFromMemory(bytes, back));
        EXPECT_EQ(back.Format, f);
        EXPECT_EQ(back.Width, w);
        EXPECT_EQ(back.Height, h);
        EXPECT_EQ(Pixels(back), Pixels(src));
      }
  }
}

TEST(Jp2, LossyQualityTradesSizeForFidelity) {
  // A smooth picture with fine grain, so that every rate limit bites.
  RasterImage src = SmoothRgb(256, 192);
  std::mt19937 rng(3);
  for (int32_t i = 0; i < src.Size; ++i)
    src.Bits[i] = static_cast<uint8_t>(std::clamp<int>(src.Bits[i] + int(rng() % 25) - 12, 0, 255));
  auto atQuality = [&](int q, double& psnr) {
    ScopedOption quality(ImagingJpeg2000Quality, q);
    auto bytes = SaveToMemory("jp2", src);
    RasterImage back;
    EXPECT_TRUE(LoadFromMemory(bytes, back));
    EXPECT_EQ(back.Format, ifR8G8B8);
    psnr = back.Size == src.Size ? Psnr(back.Bits.get(), src.Bits.get(), src.Size) : 0;
    return bytes.size();
  };
  double p20, p80, p100;
  const size_t s20 = atQuality(20, p20), s80 = atQuality(80, p80), s100 = atQuality(100, p100);
  EXPECT_LT(s20, s80);
  EXPECT_LT(s80, s100);
  EXPECT_LE(p20, p80);
  std::printf("quality 20: %zu bytes %.1f dB, 80: %zu bytes %.1f dB, 100: %zu bytes %.1f dB\n", s20,
              p20, s80, p80, s100, p100);
  EXPECT_GT(p100, 45.0);
  EXPECT_GT(p80, 30.0);
  EXPECT_GT(p20, 12.0);
  // The compressed size follows the requested ratio roughly.
  EXPECT_LT(s80, static_cast<size_t>(src.Size / Jp2CompressionRatio(80) * 1.2 + 1024));
}

TEST(Jp2, QualityOutsideTheRangeFallsBackToTheDefault) {
  RasterImage src = SmoothRgb(64, 64);
  std::vector<uint8_t> atDefault, atBad;
  {
    ScopedOption q(ImagingJpeg2000Quality, 80);
    atDefault = SaveToMemory("jp2", src);
  }
  {
    ScopedOption q(ImagingJpeg2000Quality, 500);
    atBad = SaveToMemory("jp2", src);
    EXPECT_EQ(GetImagingOption(ImagingJpeg2000Quality), 80);
  }
  EXPECT_EQ(atBad, atDefault);
}

TEST(Jp2, OtherPixelFormatsAreConvertedBeforeSaving) {
  ScopedOption lossless(ImagingJpeg2000LosslessCompression, 1);
  struct Case {
    TImageFormat from, expect;
  } cases[] = {
      {ifIndex8, ifA8R8G8B8}, {ifR5G6B5, ifR8G8B8},       {ifA1R5G5B5, ifA8R8G8B8},
      {ifX8R8G8B8, ifR8G8B8}, {ifR32F, ifGray16},         {ifA32B32G32R32F, ifA16R16G16B16},
      {ifGray32, ifGray16},   {ifB16G16R16, ifR16G16B16}, {ifA16B16G16R16, ifA16R16G16B16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(GetImageFormatInfo(c.from)->Name);
    RasterImage src;
    ImageCreate(src, 9, 7, c.from);
    for (int32_t i = 0; i < src.Size; ++i) src.Bits[i] = static_cast<uint8_t>(i * 7);
    if (c.from == ifR32F || c.from == ifA32B32G32R32F) {
      float* f = reinterpret_cast<float*>(src.Bits.get());
      for (int32_t i = 0; i < src.Size / 4; ++i) f[i] = (i % 10) / 10.0f;
    }
    RasterImage back;
    ASSERT_TRUE(LoadFromMemory(SaveToMemory("jp2", src), back));
    EXPECT_EQ(back.Format, c.expect);
    // The stored pixels equal the layer's own conversion of the source.
    RasterImage expected;
    ImageClone(src, expected);
    ImageConvert(expected, c.expect);
    EXPECT_EQ(Pixels(back), Pixels(expected));
  }
}

TEST(Jp2, DetectionByContentAndName) {
  RasterImage src = RandomImage(ifR8G8B8, 8, 8, 11);
  for (int codeStream = 0; codeStream <= 1; ++codeStream) {
    ScopedOption o(ImagingJpeg2000CodeStreamOnly, codeStream);
    TMemoryStream s(SaveToMemory("j2k", src));
    EXPECT_EQ(DetectStreamFormat(s), "jp2");
    EXPECT_EQ(s.Position(), 0);
  }
  ASSERT_NE(FormatByExtension("J2C"), nullptr);
  EXPECT_EQ(FormatByExtension("jpc")->Name(), "JPEG 2000 Image");
  EXPECT_EQ(FormatByFileName("/x/photo.JPX"), FormatByExtension("jp2"));
  // One byte off the signature is not JPEG 2000.
  std::vector<uint8_t> sig = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x21};
  EXPECT_FALSE(IsJp2Signature(sig));
  EXPECT_FALSE(IsJ2kCodeStream(std::vector<uint8_t>{0xFF, 0x4F, 0xFF}));
}

TEST(Jp2, DamagedFilesFailCleanly) {
  ScopedOption lossless(ImagingJpeg2000LosslessCompression, 1);
  RasterImage src = RandomImage(ifA8R8G8B8, 40, 30, 11);
  for (int codeStream = 0; codeStream <= 1; ++codeStream) {
    ScopedOption o(ImagingJpeg2000CodeStreamOnly, codeStream);
    const auto good = SaveToMemory("jp2", src);
    // Every cut of the header area and a spread of cuts through the data.
    for (size_t len = 0; len < good.size(); len += (len < 300 ? 1 : 97)) {
      std::vector<uint8_t> cut(good.begin(), good.begin() + len);
      RasterImage img;
      std::string error;
      if (LoadFromMemory(cut, img, &error)) {
        EXPECT_TRUE(ImageIsValid(img)) << len;
      } else if (len >= 8 && !error.empty()) {
        EXPECT_NE(error.find("Failed to decode J2K image"), std::string::npos) << error;
      }
    }
    // Flipped bytes anywhere never crash.
    std::mt19937 rng(5);
    for (int i = 0; i < 200; ++i) {
      auto bad = good;
      for (int k = 0; k < 4; ++k) bad[8 + rng() % (bad.size() - 8)] ^= 1u << (rng() % 8);
      RasterImage img;
      if (LoadFromMemory(bad, img)) {
        EXPECT_TRUE(ImageIsValid(img));
      }
    }
  }
  EXPECT_THROW(DecodeJp2(std::vector<uint8_t>{1, 2, 3}), EImagingError);
}

TEST(Jp2, OversizedDimensionsAreRefusedBeforeDecoding) {
  // A bare code stream header claiming 70000 x 70000 pixels.
  std::vector<uint8_t> cs = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x29, 0x00, 0x00};
  auto u32 = [&](uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) cs.push_back(static_cast<uint8_t>(v >> s));
  };
  u32(70000), u32(70000), u32(0), u32(0), u32(70000), u32(70000), u32(0), u32(0);
  cs.insert(cs.end(), {0x00, 0x01, 0x07, 0x01, 0x01});
  cs.insert(cs.end(), {0xFF, 0xD9});
  try {
    DecodeJp2(cs);
    FAIL() << "no error";
  } catch (const EImagingError& e) {
    const std::string what = e.what();
    EXPECT_TRUE(what.find("too large") != std::string::npos ||
                what.find("Failed to decode") != std::string::npos)
        << what;
  }
}

// Code streams whose image area starts away from the grid origin: the
// picture is the area x1-x0 by y1-y0, as the reference decoder gives it.
TEST(Jp2, ImageOffsetGivesTheImageAreaSize) {
  const std::string dir = std::string(IMPRIMO_CORPUS_DIR) + "/jpeg2000/openjpeg-data/conformance/";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "jpeg2000 corpus is absent";
  struct Case {
    const char* file;
    int w, h;
  };
  // p0_02: area 0,0-127,126; p1_01: area 5,128-127,227 (both 2x1 sub-sampled).
  for (const Case& c : {Case{"p0_02.j2k", 127, 126}, Case{"p1_01.j2k", 122, 99}}) {
    SCOPED_TRACE(c.file);
    RasterImage img = DecodeJp2(ReadBytes(dir + c.file));
    EXPECT_EQ(img.Width, c.w);
    EXPECT_EQ(img.Height, c.h);
    RasterImage loaded;
    ASSERT_TRUE(ReadImageFile(dir + c.file, loaded));
    EXPECT_EQ(loaded.Width, c.w);
    EXPECT_EQ(loaded.Height, c.h);
  }
}

}  // namespace
}  // namespace imprimo::jp2_game
