// Game image files of the conformance folder, when any are present: every
// file must load through the layer with the format its name and content
// select, into valid Index8 images.
#include <gtest/gtest.h>

#include "imaging_jp2_game/jp2_game_util.h"
#include "support/corpus_support.h"

namespace imprimo::jp2_game {
namespace {

TEST(DaggerfallCorpus, EverySampleFileLoads) {
  const std::filesystem::path dir = std::string(IMPRIMO_CORPUS_DIR) + "/daggerfall";
  IMPRIMO_REQUIRE_CORPUS_PATH(dir);
  int seen = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    bool ours = false;
    for (const char* mask : {"*.img", "*.cif", "*.rci", "*.bsi", "texbsi.*", "texture.*"})
      ours = ours || MatchesMask(name, mask);
    if (!ours) continue;
    ++seen;
    SCOPED_TRACE(name);
    EXPECT_FALSE(DetectFileFormat(entry.path().string()).empty());
    TDynImageDataArray set;
    ASSERT_TRUE(ReadMultiImageFile(entry.path().string(), set));
    for (const RasterImage& img : set) {
      EXPECT_TRUE(ImageIsValid(img));
      EXPECT_EQ(img.Format, ifIndex8);
    }
  }
  if (seen == 0) GTEST_SKIP() << "the daggerfall folder holds layout notes only, no sample files";
}

}  // namespace
}  // namespace imprimo::jp2_game
