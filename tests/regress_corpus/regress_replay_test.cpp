// Every input a fuzzer once crashed on is fed again to the entry point that
// found it; it must now end in an error or a valid image. A crash, a
// sanitizer report or a failed check in the entry point ends the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "replay_targets.h"

namespace fs = std::filesystem;

namespace imprimo::testing {
namespace {

std::vector<fs::path> RegressFiles(const std::string& target) {
  std::vector<fs::path> files;
  const fs::path folder = fs::path(IMPRIMO_TEST_DATA_DIR) / target / "regress";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

class RegressReplay : public ::testing::TestWithParam<TReplayTarget> {};

TEST_P(RegressReplay, SavedFindingsEndInAnErrorOrAValidImage) {
  const std::vector<fs::path> files = RegressFiles(GetParam().name);
  if (files.empty()) GTEST_SKIP() << "no saved findings for fuzz_" << GetParam().name;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << "cannot read " << file;
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(GetParam().run(bytes.data(), bytes.size()), 0);
  }
}

// Every folder of findings belongs to a target that still exists, so none is
// silently left out of the replay.
TEST(RegressReplayFolders, EveryFindingsFolderHasItsTarget) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(IMPRIMO_TEST_DATA_DIR, ec)) {
    if (!fs::is_directory(entry.path() / "regress")) continue;
    const std::string name = entry.path().filename().string();
    const auto& targets = ReplayTargets();
    EXPECT_TRUE(std::any_of(targets.begin(), targets.end(),
                            [&](const TReplayTarget& t) { return t.name == name; }))
        << entry.path() << " holds findings of no known fuzz target";
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, RegressReplay, ::testing::ValuesIn(ReplayTargets()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace imprimo::testing
