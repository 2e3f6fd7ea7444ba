#include <gtest/gtest.h>

#include "imaging/file_format.h"
#include "imaging/icc_profile.h"
#include "imaging_png_jpeg_gif_corpus/corpus_compare_util.h"

namespace imprimo {
namespace {

using namespace testutil;

// Every JPEG of the corpus either loads within 2 levels of the reference
// decoder (ImageMagick) (CMYK turned into RGB by both; a CMYK file with its own profile
// through that profile into sRGB, within 4 levels), or is rejected where the
// reference rejects it too.
TEST(JpegCorpus, DecodesLikeTheReferenceOrFailsWhereItFails) {
  IMPRIMO_REQUIRE_CORPUS("jpeg");
  REQUIRE_TOOL("convert");
  std::vector<std::string> files = FilesWithExtensions(CorpusDir() + "/jpeg", {".jpg", ".jpeg"});
  std::vector<std::string> photos = FilesWithExtensions(CorpusDir() + "/exif", {".jpg", ".jpeg"});
  files.insert(files.end(), photos.begin(), photos.end());
  int matched = 0, rejected = 0;
  for (const std::string& path : files) {
    SCOPED_TRACE(path + " against ImageMagick");
    RasterImage img;
    bool loaded = false;
    try {
      loaded = ReadImageFile(path, img);
    } catch (const EImagingError&) {
    }
    int w = 0, h = 0;
    std::vector<uint16_t> ref;
    const std::vector<uint8_t> bytes = ::imprimo::testing::ReadBytes(path);
    const bool cmykProfile = IccColourSpace(ReadJpegIccProfile(bytes)) == kIccCmyk;
    const std::string srgb = CorpusDir() + "/gif/pygif-test-suite/sRGB.icc";
    if (cmykProfile && !std::filesystem::exists(srgb)) continue;
    const bool refLoaded = ReferenceRgba16(
        path, w, h, ref, cmykProfile ? "-profile " + Quote(srgb) : std::string("-colorspace sRGB"));
    if (!loaded) {
      EXPECT_FALSE(refLoaded) << "the reference decodes a file we reject";
      ++rejected;
      continue;
    }
    if (!refLoaded) continue;  // we are more lenient; nothing to compare against
    ASSERT_EQ(img.Width, w);
    ASSERT_EQ(img.Height, h);
    std::vector<uint16_t> ours = ToRgba16(img);
    ASSERT_EQ(ours.size(), ref.size());
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i)
      worst = std::max(worst, std::abs(int(ours[i] / 257) - int(ref[i] / 257)));
    EXPECT_LE(worst, cmykProfile ? 4 : 2);
    ++matched;
  }
  EXPECT_GE(matched, 120);
  EXPECT_GE(rejected, 5);  // the crash-test files
}

}  // namespace
}  // namespace imprimo
