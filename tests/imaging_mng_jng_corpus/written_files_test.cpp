#include <gtest/gtest.h>

#include <cstdio>

#include "imaging/file_format.h"
#include "imaging_mng_jng/mng_jng_util.h"
#include "imaging_png_jpeg_gif_corpus/corpus_compare_util.h"

namespace imprimo {
namespace {

using namespace testutil;

// Largest difference in 8-bit steps, colour and alpha apart.
void Compare(const RasterImage& ours, const std::string& path, int index, int colourTolerance,
             int alphaTolerance) {
  int w = 0, h = 0;
  std::vector<uint16_t> ref;
  ASSERT_TRUE(ReferenceRgba16(path, w, h, ref, "-set colorspace sRGB", index)) << path;
  ASSERT_EQ(ours.Width, w);
  ASSERT_EQ(ours.Height, h);
  std::vector<uint16_t> px = ToRgba16(ours);
  ASSERT_EQ(px.size(), ref.size());
  int colour = 0, alpha = 0;
  for (size_t i = 0; i < px.size(); ++i) {
    const int d = std::abs(int(px[i]) - int(ref[i]));
    if (i % 4 == 3)
      alpha = std::max(alpha, d);
    else
      colour = std::max(colour, d);
  }
  EXPECT_LE(colour, colourTolerance * 257) << path;
  EXPECT_LE(alpha, alphaTolerance * 257) << path;
}

class WrittenFiles : public ::testing::Test {
 protected:
  void SetUp() override { PushOptions(); }
  void TearDown() override {
    PopOptions();
    for (const auto& p : temps_) std::remove(p.c_str());
  }
  std::string Temp(const std::string& name) {
    temps_.push_back(TempPath(name));
    return temps_.back();
  }
  std::vector<std::string> temps_;
};

TEST_F(WrittenFiles, OurMngFramesReadTheSameInTheReference) {
  REQUIRE_TOOL("convert");
  for (TImageFormat f : {ifIndex8, ifGray8, ifA8Gray8, ifGray16, ifA16Gray16, ifR8G8B8, ifA8R8G8B8,
                         ifR16G16B16, ifA16R16G16B16}) {
    SCOPED_TRACE(f);
    RasterImage src = RandomImage(f, 19, 13, 300 + f);
    const std::string path = Temp("written_" + std::to_string(f) + ".mng");
    ASSERT_TRUE(WriteImageFile(path, src));
    Compare(src, path, 0, 0, 0);
  }
  // Three frames of one size.
  TDynImageDataArray set;
  for (int i = 0; i < 3; ++i) set.push_back(RandomImage(ifR8G8B8, 16, 10, 400 + i));
  const std::string path = Temp("frames.mng");
  ASSERT_TRUE(WriteMultiImageFile(path, set));
  for (int i = 0; i < 3; ++i) Compare(set[i], path, i, 0, 0);
}

TEST_F(WrittenFiles, OurJngFilesReadTheSameInTheReference) {
  REQUIRE_TOOL("convert");
  for (int lossyAlpha = 0; lossyAlpha < 2; ++lossyAlpha) {
    ASSERT_TRUE(SetImagingOption(ImagingJNGLossyAlpha, lossyAlpha));
    for (TImageFormat f : {ifGray8, ifA8Gray8, ifR8G8B8, ifA8R8G8B8}) {
      SCOPED_TRACE(std::to_string(f) + (lossyAlpha ? " lossy alpha" : ""));
      const std::string path = Temp("written_" + std::to_string(f) + ".jng");
      ASSERT_TRUE(WriteImageFile(path, SmoothImage(37, 29, f, 50 + f)));
      // Both sides decode the same JPEG data: colour agrees closely; the
      // deflated alpha agrees exactly.
      RasterImage ours;
      ASSERT_TRUE(ReadImageFile(path, ours));
      Compare(ours, path, 0, 2, lossyAlpha ? 2 : 0);
    }
  }
}

TEST_F(WrittenFiles, OurMngWithJngFramesReadsInTheReference) {
  REQUIRE_TOOL("convert");
  ASSERT_TRUE(SetImagingOption(ImagingMNGLossyCompression, 1));
  const std::string path = Temp("jng_frames.mng");
  ASSERT_TRUE(WriteImageFile(path, SmoothImage(24, 20, ifA8R8G8B8, 77)));
  RasterImage ours;
  ASSERT_TRUE(ReadImageFile(path, ours));
  Compare(ours, path, 0, 2, 0);
}

TEST_F(WrittenFiles, ReferenceWrittenMngAndJngLoad) {
  REQUIRE_TOOL("convert");
  for (TImageFormat f : {ifR8G8B8, ifA8R8G8B8, ifGray8, ifIndex8}) {
    SCOPED_TRACE(f);
    RasterImage src = f == ifIndex8 ? RandomImage(f, 21, 17, 9) : SmoothImage(21, 17, f, 600 + f);
    const std::string png = Temp("source_" + std::to_string(f) + ".png");
    ASSERT_TRUE(WriteImageFile(png, src));
    for (const char* ext : {"mng", "jng"}) {
      SCOPED_TRACE(ext);
      const std::string out = Temp("reference_" + std::to_string(f) + "." + ext);
      bool ok;
      RunCommand("convert " + Quote(png) + " " + Quote(out), ok);
      ASSERT_TRUE(ok);
      RasterImage ours;
      ASSERT_TRUE(ReadImageFile(out, ours));
      Compare(ours, out, 0, std::string(ext) == "jng" ? 2 : 0, 0);
    }
  }
}

}  // namespace
}  // namespace imprimo
