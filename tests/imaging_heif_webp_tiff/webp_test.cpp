#include "imaging/formats/webp_format.h"
#include "imaging_heif_webp_tiff/heif_webp_tiff_util.h"
#include "imaging_png_jpeg_gif_corpus/corpus_compare_util.h"

namespace imprimo::testing {
namespace {

// The reference decoder's pixels of a WebP file, through a PAM file.
bool DwebpReference(const std::string& file, RasterImage& img) {
  const std::string pam = file + ".pam";
  if (!Shell("dwebp " + Quote(file) + " -pam -o " + Quote(pam))) return false;
  return Load16(pam, img);
}

TEST(WebP, FilesMadeByTheEncoderMatchItsDecoder) {
  REQUIRE_PROGRAM("cwebp");
  REQUIRE_PROGRAM("dwebp");
  struct {
    const char* name;
    bool alpha;
    const char* options;
    TImageFormat expected;
  } variants[] = {{"lossy", false, "-q 80", ifR8G8B8},
                  {"lossless", false, "-lossless", ifR8G8B8},
                  {"lossy_alpha", true, "-q 70 -alpha_q 90", ifA8R8G8B8},
                  {"lossless_alpha", true, "-lossless -exact", ifA8R8G8B8}};
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string src = SourcePng(std::string("webp_") + v.name, 70, 50, v.alpha);
    const std::string file = TempPath("formats_d", std::string(v.name) + ".webp");
    ASSERT_TRUE(Shell(std::string("cwebp ") + v.options + " " + Quote(src) + " -o " + Quote(file)));
    RasterImage raw, ours, theirs, source;
    ASSERT_TRUE(ReadImageFile(file, raw));
    EXPECT_EQ(raw.Format, v.expected);
    ASSERT_TRUE(Load16(file, ours));
    ASSERT_TRUE(DwebpReference(file, theirs));
    EXPECT_EQ(MaxDiff8(ours, theirs), 0.0);
    if (std::string(v.name).find("lossless") == 0) {
      ASSERT_TRUE(Load16(src, source));
      EXPECT_EQ(MaxDiff8(ours, source), 0.0);
    }
  }
}

TEST(WebP, AnAnimationGivesItsFirstFrame) {
  REQUIRE_PROGRAM("img2webp");
  const std::string first = SourcePng("frame1", 40, 30, true);
  RasterImage second;
  ImageCreate(second, 40, 30, ifA8R8G8B8);
  std::memset(second.Bits.get(), 0x80, size_t(second.Size));
  const std::string secondPath = TempPath("formats_d", "frame2.png");
  ASSERT_TRUE(WriteImageFile(secondPath, second));
  const std::string file = TempPath("formats_d", "anim.webp");
  ASSERT_TRUE(
      Shell("img2webp -lossless " + Quote(first) + " " + Quote(secondPath) + " -o " + Quote(file)));
  RasterImage ours, expected;
  ASSERT_TRUE(Load16(file, ours));
  ASSERT_TRUE(Load16(first, expected));
  EXPECT_EQ(MaxDiff8(ours, expected), 0.0);
}

TEST(WebP, OutputsDecodeInTheReferenceDecoderAndPillow) {
  REQUIRE_PROGRAM("dwebp");
  RasterImage img = SmoothImage(90, 70, ifA8R8G8B8);
  for (int lossless : {1, 0}) {
    SCOPED_TRACE(lossless);
    ASSERT_TRUE(SetImagingOption(ImagingWebPLossless, lossless));
    ASSERT_TRUE(SetImagingOption(ImagingWebPQuality, 80));
    const std::string out = TempPath("formats_d", "out" + std::to_string(lossless) + ".webp");
    ASSERT_TRUE(WriteImageFile(out, img));
    RasterImage theirs, original;
    ASSERT_TRUE(DwebpReference(out, theirs));
    ImageClone(img, original);
    ImageConvert(original, ifA16R16G16B16);
    if (lossless) {
      EXPECT_EQ(MaxDiff8(original, theirs), 0.0);
    } else {
      ImageConvert(theirs, ifA8R8G8B8);
      ImageConvert(original, ifA8R8G8B8);
      EXPECT_GT(Psnr(original, theirs, 4, 0x7), 30.0);
    }
    if (HaveTool("/usr/bin/python3 -c 'from PIL import Image'")) {
      bool ok = false;
      const std::vector<uint8_t> rgba =
          RunCommand(std::string(testutil::kPillowRgba) + Quote(out), ok);
      ASSERT_TRUE(ok);
      EXPECT_EQ(rgba.size(), size_t(90 * 70 * 4));
    }
  }
  SetImagingOption(ImagingWebPLossless, 0);
  SetImagingOption(ImagingWebPQuality, 90);
}

TEST(WebP, MetadataChunksRoundTripAndDamageFails) {
  RasterImage img = SmoothImage(32, 24, ifR8G8B8);
  TWebPEncodeOptions o;
  std::vector<uint8_t> file = EncodeWebP(img, o);
  const std::string tiff("II*\0\x08\0\0\0\0\0\0\0\0\0", 14);
  file = SetWebPMetadata(file, TWebPMetadata{tiff, "icc-bytes", "<x:xmpmeta/>"});
  const TWebPMetadata back = ReadWebPMetadata(file);
  EXPECT_EQ(back.Exif, tiff);
  EXPECT_EQ(back.Icc, "icc-bytes");
  EXPECT_EQ(back.Xmp, "<x:xmpmeta/>");
  RasterImage decoded;
  ASSERT_TRUE(LoadFromMemory(file, decoded));  // the picture is untouched
  EXPECT_EQ(decoded.Width, 32);

  std::vector<uint8_t> truncated(file.begin(), file.begin() + file.size() / 2);
  std::string error;
  EXPECT_FALSE(LoadFromMemory(truncated, decoded, &error));
  EXPECT_NE(error.find("WebP"), std::string::npos) << error;
  // A 30-byte animation declaring a 20000 x 20000 canvas: refused by its
  // size before the decoder allocates the canvas.
  std::vector<uint8_t> canvas = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W',  'E', 'B', 'P',
                                 'V', 'P', '8', 'X', 10, 0, 0, 0, 0x02, 0,   0,   0};
  for (int side = 0; side < 2; ++side) {
    const uint32_t v = 20000 - 1;
    canvas.insert(canvas.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
  }
  EXPECT_FALSE(LoadFromMemory(canvas, decoded, &error));
  EXPECT_NE(error.find("too many pixels"), std::string::npos) << error;
  // WebP cannot hold more than 16383 pixels on a side: a clear refusal.
  EXPECT_THROW(EncodeWebP(SmoothImage(20000, 1, ifR8G8B8), o), EImagingError);
}

}  // namespace
}  // namespace imprimo::testing
