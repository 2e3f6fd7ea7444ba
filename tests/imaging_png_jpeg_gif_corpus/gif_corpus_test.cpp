#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "imaging/file_format.h"
#include "imaging/formats/gif_codec.h"
#include "imaging/formats/png_codec.h"
#include "imaging_png_jpeg_gif_corpus/corpus_compare_util.h"

namespace imprimo {
namespace {

using namespace testutil;

// Expected 8-bit RGBA of a reference picture: raw .rgba bytes or a PNG.
bool ExpectedRgba8(const std::string& path, int w, int h, std::vector<uint8_t>& out) {
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  if (path.ends_with(".rgba")) {
    out = bytes;
    return out.size() == size_t(w) * h * 4;
  }
  RasterImage img;
  DecodePng(bytes, img);
  if (img.Width != w || img.Height != h) return false;
  std::vector<uint16_t> px = ToRgba16(img);
  out.resize(px.size());
  for (size_t i = 0; i < px.size(); ++i) out[i] = uint8_t(px[i] / 257);
  return true;
}

// Transparent pixels match on alpha alone; the others on all four channels.
::testing::AssertionResult SameRgba(const RasterImage& img, const std::vector<uint8_t>& expected) {
  std::vector<uint16_t> ours = ToRgba16(img);
  if (ours.size() != expected.size()) return ::testing::AssertionFailure() << "size";
  for (size_t p = 0; p < ours.size(); p += 4) {
    const bool clear = expected[p + 3] == 0;
    for (int c = clear ? 3 : 0; c < 4; ++c)
      if (ours[p + c] / 257 != expected[p + c])
        return ::testing::AssertionFailure() << "pixel " << p / 4 << " channel " << c << ": "
                                             << ours[p + c] / 257 << " vs " << int(expected[p + c]);
  }
  return ::testing::AssertionSuccess();
}

std::map<std::string, std::string> ReadConf(const std::string& path) {
  std::map<std::string, std::string> kv;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.starts_with("[")) {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    size_t eq = line.find(" = ");
    if (eq != std::string::npos) kv[section + "." + line.substr(0, eq)] = line.substr(eq + 3);
  }
  return kv;
}

// Cases where the first image of the file is not what the suite calls the
// first frame, or where the suite accepts a file that holds no image:
//  - high-color, images-combine, images-overlap, dispose-restore-previous:
//    several images without a delay between them form the first frame; only
//    the first image is loaded.
//  - plain-text: the suite refuses plain-text extensions; they are skipped
//    here and the image after them loads.
//  - no-data: the file holds no image, so there is nothing to load.
//  - image-zero-size, image-zero-height: a local colour table is announced
//    but missing, so the file is truncated.
const char* const kKnownDifferences[] = {
    "high-color", "images-combine", "images-overlap",  "dispose-restore-previous",
    "plain-text", "no-data",        "image-zero-size", "image-zero-height"};

TEST(GifSuite, FirstFrameMatchesTheSuite) {
  IMPRIMO_REQUIRE_CORPUS("gif/pygif-test-suite");
  const std::string dir = CorpusDir() + "/gif/pygif-test-suite/";
  std::ifstream list(dir + "TESTS");
  std::string name;
  int compared = 0, refused = 0;
  while (std::getline(list, name)) {
    if (name.empty() || name[0] == '#') continue;
    if (std::find_if(std::begin(kKnownDifferences), std::end(kKnownDifferences),
                     [&](const char* k) { return name == k; }) != std::end(kKnownDifferences))
      continue;
    SCOPED_TRACE(name);
    auto conf = ReadConf(dir + name + ".conf");
    RasterImage img;
    bool loaded = false;
    try {
      loaded = ReadImageFile(dir + conf["config.input"], img);
    } catch (const EImagingError&) {
    }
    std::string frames = conf["config.frames"];
    if (frames.empty()) {
      EXPECT_FALSE(loaded) << "the suite expects this file to be refused";
      ++refused;
      continue;
    }
    ASSERT_TRUE(loaded);
    std::string first = frames.substr(0, frames.find(','));
    std::string ref =
        conf.count(first + ".pixels") ? conf[first + ".pixels"] : conf[first + ".image"];
    int w = std::stoi(conf["config.width"]), h = std::stoi(conf["config.height"]);
    std::vector<uint8_t> expected;
    ASSERT_TRUE(ExpectedRgba8(dir + ref, w, h, expected));
    ASSERT_EQ(img.Width, w);
    ASSERT_EQ(img.Height, h);
    EXPECT_TRUE(SameRgba(img, expected));
    ++compared;
  }
  EXPECT_GE(compared, 60);
  EXPECT_GE(refused, 5);
}

TEST(GifSuite, AnimationsGiveTheirFirstFrame) {
  IMPRIMO_REQUIRE_CORPUS("gif/peterdn-gif-test-suite");
  const std::string dir = CorpusDir() + "/gif/peterdn-gif-test-suite/";
  int compared = 0;
  for (const std::string& path : FilesWithExtensions(dir, {".gif"})) {
    std::string stem = std::filesystem::path(path).stem().string();
    std::string frame = dir + "frames/" + stem + "-0.png";
    if (!std::filesystem::exists(frame)) continue;
    SCOPED_TRACE(stem);
    RasterImage img;
    ASSERT_TRUE(ReadImageFile(path, img));
    std::vector<uint8_t> expected;
    ASSERT_TRUE(ExpectedRgba8(frame, img.Width, img.Height, expected));
    EXPECT_TRUE(SameRgba(img, expected));
    ++compared;
  }
  EXPECT_GE(compared, 10);
}

// Real-world files of two more sets, which bring no expected frames of their
// own: the first frame agrees with ImageMagick.
TEST(GifSamples, FirstFrameMatchesImageMagick) {
  IMPRIMO_REQUIRE_CORPUS("gif/image-gif/samples");
  IMPRIMO_REQUIRE_CORPUS("gif/libnsgif");
  REQUIRE_TOOL("convert");
  std::vector<std::string> files =
      FilesWithExtensions(CorpusDir() + "/gif/image-gif/samples", {".gif"});
  files.push_back(CorpusDir() + "/gif/libnsgif/waves.gif");
  for (const std::string& path : files) {
    SCOPED_TRACE(path + " against ImageMagick");
    RasterImage img;
    ASSERT_TRUE(ReadImageFile(path, img));
    // The first frame as ImageMagick composes it on the logical screen.
    ::imprimo::testing::TMagickPicture expected;
    ASSERT_TRUE(::imprimo::testing::MagickRead(path, expected, {.After = "-coalesce"}));
    ASSERT_EQ(img.Width, expected.Width);
    ASSERT_EQ(img.Height, expected.Height);
    EXPECT_TRUE(SameRgba(img, expected.Samples));
  }
  EXPECT_EQ(files.size(), 11u);
}

// Fuzzed, truncated and hostile files: a clean failure or an image, never a
// crash or a hang.
TEST(GifSuite, HostileFilesFailCleanly) {
  IMPRIMO_REQUIRE_CORPUS("gif");
  int failed = 0;
  for (const std::string& path : FilesWithExtensions(CorpusDir() + "/gif", {".gif"})) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    RasterImage img;
    try {
      DecodeGif(bytes, img);
      EXPECT_TRUE(ImageIsValid(img)) << path;
    } catch (const EImagingError&) {
      ++failed;
    }
  }
  EXPECT_GE(failed, 20);
}

}  // namespace
}  // namespace imprimo
