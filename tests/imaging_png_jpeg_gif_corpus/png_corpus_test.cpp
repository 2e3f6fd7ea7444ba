#include <gtest/gtest.h>

#include "imaging/file_format.h"
#include "imaging/formats/png_codec.h"
#include "imaging_png_jpeg_gif_corpus/corpus_compare_util.h"

namespace imprimo {
namespace {

using namespace testutil;

// Loads through the layer; false or an imaging error both mean "rejected".
bool LoadsCleanly(const std::string& path, RasterImage& img, std::string& error) {
  try {
    return ReadImageFile(path, img);
  } catch (const EImagingError& e) {
    error = e.what();
    return false;
  }
}

// The reference decoder is ImageMagick, at 16 bits per channel.
TEST(PngSuite, EveryValidFileMatchesTheReferenceDecoder) {
  IMPRIMO_REQUIRE_CORPUS("png/pngsuite");
  REQUIRE_TOOL("convert");
  int checked = 0;
  for (const std::string& path : FilesWithExtensions(CorpusDir() + "/png/pngsuite", {".png"})) {
    if (std::filesystem::path(path).filename().string()[0] == 'x') continue;
    SCOPED_TRACE(path + " against ImageMagick");
    RasterImage img;
    std::string error;
    ASSERT_TRUE(LoadsCleanly(path, img, error)) << error;
    int w = 0, h = 0;
    std::vector<uint16_t> ref;
    ASSERT_TRUE(ReferenceRgba16(path, w, h, ref));
    ASSERT_EQ(img.Width, w);
    ASSERT_EQ(img.Height, h);
    std::vector<uint16_t> ours = ToRgba16(img);
    ASSERT_EQ(ours.size(), ref.size());
    size_t firstDiff = ours.size();
    for (size_t i = 0; i < ours.size() && firstDiff == ours.size(); ++i)
      if (ours[i] != ref[i]) firstDiff = i;
    EXPECT_EQ(firstDiff, ours.size()) << "first difference at sample " << firstDiff << ": "
                                      << ours[firstDiff] << " vs " << ref[firstDiff];
    ++checked;
  }
  EXPECT_GE(checked, 150);
}

TEST(PngSuite, CorruptFilesAreRejectedWithoutCrashing) {
  IMPRIMO_REQUIRE_CORPUS("png/pngsuite");
  int checked = 0;
  for (const std::string& path : FilesWithExtensions(CorpusDir() + "/png/pngsuite", {".png"})) {
    if (std::filesystem::path(path).filename().string()[0] != 'x') continue;
    RasterImage img;
    std::string error;
    EXPECT_FALSE(LoadsCleanly(path, img, error)) << path;
    EXPECT_FALSE(ImageIsValid(img)) << path;
    // The decoder on its own says the same.
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    EXPECT_THROW(DecodePng(bytes, img), EImagingError) << path;
    ++checked;
  }
  EXPECT_EQ(checked, 14);
}

}  // namespace
}  // namespace imprimo
