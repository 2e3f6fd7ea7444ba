#include <unistd.h>

#include <array>
#include <cstdio>

#include "imaging/formats/tiff_format.h"
#include "imaging_heif_webp_tiff/heif_webp_tiff_util.h"
#include "imaging_png_jpeg_gif_corpus/corpus_compare_util.h"

namespace imprimo::testing {
namespace {

// The converter's reading of a file's first page as A16R16G16B16.
bool ConverterImage(const std::string& path, RasterImage& img, const char* colour = "") {
  int w = 0, h = 0;
  std::vector<uint16_t> px;
  if (!testutil::ReferenceRgba16(path, w, h, px, colour)) return false;
  ImageCreate(img, w, h, ifA16R16G16B16);
  uint16_t* d = reinterpret_cast<uint16_t*>(img.Bits.get());
  for (size_t i = 0; i < px.size(); i += 4) {
    d[i] = px[i + 2];
    d[i + 1] = px[i + 1];
    d[i + 2] = px[i];
    d[i + 3] = px[i + 3];
  }
  return true;
}

TEST(Tiff, EveryCommonLayoutMatchesTheConverter) {
  REQUIRE_PROGRAM("convert");
  const std::string rgb = SourcePng("tiff_rgb", 61, 43, false);
  const std::string rgba = SourcePng("tiff_rgba", 61, 43, true);
  // Taller than one band of the library's RGBA reader.
  const std::string tall = SourcePng("tiff_tall", 61, 150, false);
  struct {
    const char* name;
    const std::string* source;
    const char* options;
    TImageFormat expected;
    double tolerance;
  } variants[] = {
      {"rgb8_none", &rgb, "-depth 8 -compress none", ifR8G8B8, 0},
      {"rgb8_lzw", &rgb, "-depth 8 -compress lzw", ifR8G8B8, 0},
      {"rgb8_deflate", &rgb, "-depth 8 -compress zip", ifR8G8B8, 0},
      {"rgb8_packbits", &rgb, "-depth 8 -compress rle", ifR8G8B8, 0},
      {"rgb8_jpeg", &rgb, "-depth 8 -compress jpeg -quality 90", ifR8G8B8, 2},
      {"rgba8", &rgba, "-depth 8 -compress lzw", ifA8R8G8B8, 0},
      {"rgb16", &rgb, "-depth 16 -compress zip", ifR16G16B16, 0},
      {"rgba16", &rgba, "-depth 16 -compress none", ifA16R16G16B16, 0},
      {"gray8", &rgb, "-colorspace gray -depth 8 -compress lzw", ifGray8, 0},
      {"gray16", &rgb, "-colorspace gray -depth 16", ifGray16, 0},
      {"palette", &rgb, "-depth 8 -colors 50 -type palette", ifR8G8B8, 1},
      {"bilevel", &rgb, "-monochrome -compress group4", ifGray8, 0},
      // CMYK: the converter rounds (max - ink) * (max - K) / max where we
      // truncate, so a level apart at most; alpha and 16-bit inks are kept.
      {"cmyk", &rgb, "-colorspace cmyk -depth 8", ifR8G8B8, 1},
      {"cmyk_lzw_tall", &tall, "-colorspace cmyk -depth 8 -compress lzw", ifR8G8B8, 1},
      {"cmyk16", &rgb, "-colorspace cmyk -depth 16 -compress zip", ifR16G16B16, 1},
      {"cmyk_alpha", &rgba, "-colorspace cmyk -depth 8", ifA8R8G8B8, 1},
      {"cmyk16_alpha_tiled", &rgba, "-colorspace cmyk -depth 16 -define tiff:tile-geometry=16x16",
       ifA16R16G16B16, 1},
      {"float", &rgb, "-depth 32 -define quantum:format=floating-point", ifA32R32G32B32F, 1},
      {"tiled", &rgb, "-depth 8 -define tiff:tile-geometry=16x16 -compress zip", ifR8G8B8, 0},
      {"palette_tall", &tall, "-depth 8 -colors 50 -type palette", ifR8G8B8, 1},
      {"palette_tall_tiled", &tall,
       "-depth 8 -colors 50 -type palette -define tiff:tile-geometry=16x16", ifR8G8B8, 1},
      {"bilevel_tall", &tall, "-monochrome -compress group4", ifGray8, 0},
      {"rgb8_jpeg_tall", &tall, "-depth 8 -compress jpeg -quality 90", ifR8G8B8, 2},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string file = TempPath("formats_d", std::string(v.name) + ".tif");
    ASSERT_TRUE(Shell("convert " + Quote(*v.source) + " " + v.options + " " + Quote(file)));
    RasterImage raw;
    std::string error;
    try {
      ASSERT_TRUE(ReadImageFile(file, raw));
    } catch (const std::exception& e) {
      FAIL() << e.what();
    }
    EXPECT_EQ(raw.Format, v.expected);
    RasterImage ours, theirs;
    ASSERT_TRUE(Load16(file, ours, &error)) << error;
    ASSERT_TRUE(ConverterImage(
        file, theirs,
        std::string(v.name).starts_with("cmyk") ? "-colorspace sRGB" : "-set colorspace sRGB"));
    EXPECT_LE(MaxDiff8(ours, theirs), v.tolerance);
  }
}

TEST(Tiff, TheFirstPageOfAMultiPageFile) {
  REQUIRE_PROGRAM("convert");
  const std::string a = SourcePng("page1", 30, 20, false);
  const std::string b = SourcePng("page2", 50, 40, true);
  const std::string file = TempPath("formats_d", "pages.tif");
  ASSERT_TRUE(Shell("convert " + Quote(a) + " " + Quote(b) + " -compress lzw " + Quote(file)));
  RasterImage ours, expected;
  ASSERT_TRUE(Load16(file, ours));
  ASSERT_TRUE(Load16(a, expected));
  EXPECT_EQ(MaxDiff8(ours, expected), 0.0);
}

// A little-endian TIFF with one directory of the given entries (tag, type,
// count, value) at offset 8, followed by next-directory offset next.
std::vector<uint8_t> HandMadeTiff(const std::vector<std::array<uint32_t, 4>>& entries,
                                  uint32_t next = 0, size_t padding = 64) {
  std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  put16(uint32_t(entries.size()));
  for (const auto& e : entries) {
    put16(e[0]), put16(e[1]), put32(e[2]);
    if (e[1] == 3 && e[2] == 1)
      put16(e[3]), put16(0);
    else
      put32(e[3]);
  }
  put32(next);
  b.resize(b.size() + padding, 0);
  return b;
}

TEST(Tiff, HostileHeadersAreRefusedBeforeAllocating) {
  auto refused = [](const std::vector<uint8_t>& bytes, const char* reason) {
    RasterImage img;
    std::string error;
    EXPECT_FALSE(LoadFromMemory(bytes, img, &error));
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  };
  // 1 x 1 gray, one strip: loads, so the refusals below are about their one change.
  const std::vector<std::array<uint32_t, 4>> ok = {{256, 3, 1, 1}, {257, 3, 1, 1}, {258, 3, 1, 8},
                                                   {259, 3, 1, 1}, {262, 3, 1, 1}, {273, 4, 1, 40},
                                                   {278, 3, 1, 1}, {279, 4, 1, 1}};
  RasterImage img;
  ASSERT_TRUE(LoadFromMemory(HandMadeTiff(ok), img));
  EXPECT_EQ(img.Format, ifGray8);

  auto huge = ok;
  huge[0] = {256, 4, 1, 1000000};
  huge[1] = {257, 4, 1, 1000000};
  refused(HandMadeTiff(huge), "Image side too large");

  auto strips = ok;
  strips[5] = {273, 4, 0x10000000, 8};  // 2^28 strip offsets in a 180-byte file
  refused(HandMadeTiff(strips), "more strips or tiles");

  refused(HandMadeTiff(ok, 8), "chain loops");  // the next directory is itself

  auto beyond = ok;
  std::vector<uint8_t> file = HandMadeTiff(ok);
  file[4] = 0xF0;  // first directory past the end
  refused(file, "outside the file");

  // 4096 x 65000 from one 40-byte strip: the library would fill the missing
  // rows with zeros, a quarter-gigapixel picture out of a tiny file.
  auto tall = ok;
  tall[0] = {256, 4, 1, 4096};
  tall[1] = {257, 4, 1, 65000};
  refused(HandMadeTiff(tall), "too short for the declared picture size");
  // Up to 2^24 pixels this check takes any amount of data (the strip
  // reader still refuses the short strip).
  auto page = ok;
  page[0] = {256, 4, 1, 4096};
  page[1] = {257, 4, 1, 4096};
  std::string error;
  EXPECT_FALSE(LoadFromMemory(HandMadeTiff(page), img, &error));
  EXPECT_EQ(error.find("too short for the declared"), std::string::npos) << error;
}

// Runs f with the process's error output sent to a file; returns what was
// written there.
template <typename F>
std::string StderrOf(F f) {
  const std::string path = TempPath("formats_d", "stderr.txt");
  std::fflush(stderr);
  const int saved = dup(2);
  FILE* sink = std::fopen(path.c_str(), "w");
  dup2(fileno(sink), 2);
  f();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(sink);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Tiff, LibraryMessagesStayOffTheTerminal) {
  // An unknown private tag makes the library warn; the picture still loads.
  std::vector<std::array<uint32_t, 4>> entries = {{256, 3, 1, 1}, {257, 3, 1, 1}, {258, 3, 1, 8},
                                                  {259, 3, 1, 1}, {262, 3, 1, 1}, {273, 4, 1, 60},
                                                  {278, 3, 1, 1}, {279, 4, 1, 1}, {65000, 4, 1, 7}};
  const std::vector<uint8_t> warned = HandMadeTiff(entries);
  bool loaded = false;
  EXPECT_EQ(StderrOf([&] {
              RasterImage img;
              loaded = LoadFromMemory(warned, img);
            }),
            "");
  EXPECT_TRUE(loaded);
  // LZW data that is not LZW: the library's error becomes the reason.
  entries[3] = {259, 3, 1, 5};
  entries[7] = {279, 4, 1, 8};
  std::vector<uint8_t> broken = HandMadeTiff(entries);
  std::fill(broken.begin() + 60, broken.begin() + 68, 0xFF);
  std::string error;
  EXPECT_EQ(StderrOf([&] {
              RasterImage img;
              loaded = LoadFromMemory(broken, img, &error);
            }),
            "");
  EXPECT_FALSE(loaded);
  EXPECT_NE(error.find("TIFF"), std::string::npos) << error;
}

TEST(Tiff, OutputsKeepDepthAlphaAndCompression) {
  REQUIRE_PROGRAM("tiffinfo");
  struct {
    TImageFormat format;
    int compression;
    const char* name;
    const char* scheme;
  } cases[] = {{ifR8G8B8, 0, "rgb8", "LZW"},
               {ifA8R8G8B8, 1, "rgba8", "AdobeDeflate"},
               {ifA16R16G16B16, 0, "rgba16", "LZW"},
               {ifGray16, 1, "gray16", "AdobeDeflate"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RasterImage img = RandomImage(c.format, 37, 29, 7);
    ASSERT_TRUE(SetImagingOption(ImagingTiffCompression, c.compression));
    const std::string out = TempPath("formats_d", std::string("out_") + c.name + ".tif");
    ASSERT_TRUE(WriteImageFile(out, img));
    bool ok = false;
    const std::vector<uint8_t> info = RunCommand("tiffinfo " + Quote(out), ok);
    ASSERT_TRUE(ok);
    const std::string text(info.begin(), info.end());
    EXPECT_NE(text.find(c.scheme), std::string::npos) << text;
    // Lossless: our reader and the converter give back the very samples.
    RasterImage back;
    ASSERT_TRUE(ReadImageFile(out, back));
    EXPECT_EQ(back.Format, c.format);
    EXPECT_EQ(Pixels(back), Pixels(img));
    if (HaveTool("convert -version")) {
      RasterImage theirs, ours;
      ASSERT_TRUE(ConverterImage(out, theirs));
      ImageClone(img, ours);
      ImageConvert(ours, ifA16R16G16B16);
      EXPECT_LE(MaxDiff8(ours, theirs), 0.0);
    }
    if (c.format == ifA8R8G8B8 && HaveTool("/usr/bin/python3 -c 'from PIL import Image'")) {
      const std::vector<uint8_t> rgba =
          RunCommand(std::string(testutil::kPillowRgba) + Quote(out), ok);
      ASSERT_TRUE(ok);
      EXPECT_EQ(rgba, RgbaBytes(img));
    }
  }
  SetImagingOption(ImagingTiffCompression, 0);
}

}  // namespace
}  // namespace imprimo::testing
