#include <gtest/gtest.h>

#include <cstdio>

#include "imaging/file_format.h"
#include "imaging/formats/mng_codec.h"
#include "imaging/formats/png_codec.h"
#include "imaging_mng_jng/mng_jng_util.h"
#include "imaging_png_jpeg_gif_corpus/corpus_compare_util.h"

namespace imprimo {
namespace {

using namespace testutil;

const char kSet[] = "mng/qtimageformats";

std::string SetPath(const std::string& name) { return CorpusDir() + "/" + kSet + "/" + name; }

int ReferenceFrameCount(const std::string& path) {
  bool ok;
  std::vector<uint8_t> out = RunCommand("identify -format '%p\\n' " + Quote(path), ok);
  if (!ok) return -1;
  return int(std::count(out.begin(), out.end(), '\n'));
}

size_t FirstDifference(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) return i;
  return a.size() == b.size() ? a.size() : std::min(a.size(), b.size());
}

// The animations made of whole frames: every frame agrees with the reference.
TEST(MngCorpus, AnimationFramesMatchTheReferenceDecoder) {
  IMPRIMO_REQUIRE_CORPUS(kSet);
  REQUIRE_TOOL("convert");
  for (const char* name : {"animation.mng", "ball.mng", "fire.mng"}) {
    SCOPED_TRACE(std::string(name) + " against ImageMagick");
    const std::string path = SetPath(name);
    TDynImageDataArray frames;
    ASSERT_TRUE(ReadMultiImageFile(path, frames));
    EXPECT_EQ(int(frames.size()), ReferenceFrameCount(path));
    for (size_t i = 0; i < frames.size(); ++i) {
      SCOPED_TRACE(i);
      int w = 0, h = 0;
      std::vector<uint16_t> ref;
      ASSERT_TRUE(ReferenceRgba16(path, w, h, ref, "-set colorspace sRGB", int(i)));
      ASSERT_EQ(frames[i].Width, w);
      ASSERT_EQ(frames[i].Height, h);
      std::vector<uint16_t> ours = ToRgba16(frames[i]);
      const size_t at = FirstDifference(ours, ref);
      ASSERT_EQ(at, ours.size()) << "sample " << at << ": " << ours[at] << " vs " << ref[at];
    }
    RasterImage first;
    ASSERT_TRUE(ReadImageFile(path, first));
    EXPECT_TRUE(SameImage(first, frames[0]));
  }
}

// A file full of object, motion and delta chunks: every stand-alone embedded
// image agrees with the reference decoding the same image as a PNG file.
TEST(MngCorpus, EmbeddedImagesOfAFullFileMatchTheirPngDecoding) {
  IMPRIMO_REQUIRE_CORPUS(kSet);
  REQUIRE_TOOL("convert");
  const std::vector<uint8_t> file = ReadFileBytes(SetPath("dutch.mng"));
  // Cut the IHDR .. IEND runs out of the file as PNG files, leaving out the
  // block data of delta images (a DHDR chunk followed by such a run), which
  // only changes an earlier image, and hidden objects.
  std::vector<std::vector<uint8_t>> pngs;
  std::vector<uint8_t>* current = nullptr;
  bool inDelta = false, hiddenObjects = false;
  TNgChunkReader r(std::span<const uint8_t>(file).subspan(8));
  while (!r.AtEnd()) {
    TNgChunk c = r.Next(0);
    // Objects defined as not shown are not images of their own either.
    if (NgChunkName(c.Id) == "DEFI") hiddenObjects = c.Data.size() >= 3 && c.Data[2] == 1;
    if (NgChunkName(c.Id) == "DHDR" || (hiddenObjects && NgChunkName(c.Id) == "IHDR"))
      inDelta = true;
    if (inDelta) {
      if (NgChunkName(c.Id) == "IEND") inDelta = false;
      continue;
    }
    if (NgChunkName(c.Id) == "IHDR") {
      pngs.emplace_back(kPngSignature, kPngSignature + 8);
      current = &pngs.back();
    }
    if (current) TNgChunkWriter(*current).Write(c.Id, c.Data);
    if (NgChunkName(c.Id) == "IEND") current = nullptr;
  }
  ASSERT_GE(pngs.size(), 2u);
  TDynImageDataArray images;
  ASSERT_TRUE(ReadMultiImageFile(SetPath("dutch.mng"), images));
  ASSERT_EQ(images.size(), pngs.size());
  for (size_t i = 0; i < pngs.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string tmp = TempPath("dutch_" + std::to_string(i) + ".png");
    WriteFileBytes(tmp, pngs[i]);
    int w = 0, h = 0;
    std::vector<uint16_t> ref;
    ASSERT_TRUE(ReferenceRgba16(tmp, w, h, ref, "-set colorspace sRGB", 0));
    std::remove(tmp.c_str());
    ASSERT_EQ(images[i].Width, w);
    ASSERT_EQ(images[i].Height, h);
    std::vector<uint16_t> ours = ToRgba16(images[i]);
    const size_t at = FirstDifference(ours, ref);
    ASSERT_EQ(at, ours.size()) << "sample " << at << ": " << ours[at] << " vs " << ref[at];
  }
}

TEST(MngCorpus, TruncatedFileFailsWithTheChunkMessage) {
  IMPRIMO_REQUIRE_CORPUS(kSet);
  const std::string path = SetPath("corrupt.mng");
  RasterImage img;
  try {
    EXPECT_FALSE(ReadImageFile(path, img));
    ADD_FAILURE() << "no error raised";
  } catch (const EImagingError& e) {
    // The file ends inside its first image, after the palette.
    EXPECT_NE(std::string(e.what()).find("chunk data. File may be corrupted."), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(ImageIsValid(img));
}

}  // namespace
}  // namespace imprimo
