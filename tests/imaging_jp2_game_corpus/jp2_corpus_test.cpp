// JPEG 2000 against the reference command-line decoder and the external
// converter: the conformance and regression files, files those tools write,
// and files this codec writes read back by them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "imaging/formats/jp2_format.h"
#include "imaging_jp2_game/jp2_game_util.h"
#include "support/corpus_support.h"

namespace imprimo::jp2_game {
namespace {

std::string Jp2Dir() { return std::string(IMPRIMO_CORPUS_DIR) + "/jpeg2000/openjpeg-data"; }

#define REQUIRE_JP2_TOOLS()                                                                 \
  do {                                                                                      \
    if (!HaveTool("command -v opj_decompress")) GTEST_SKIP() << "opj_decompress is absent"; \
    if (!HaveTool("convert -version")) GTEST_SKIP() << "the converter is absent";           \
  } while (0)

// The reference decoder's output of a file, through PNG, as R, G, B, A.
bool ReferenceRgba(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba) {
  const std::string png = TempPath(std::filesystem::path(path).filename().string() + ".png");
  bool ok;
  jp2_game::Run("opj_decompress -i " + Quote(path) + " -o " + Quote(png), ok);
  if (!ok) return false;
  ok = MagickRgba(png, w, h, rgba);
  std::remove(png.c_str());
  return ok;
}

TEST(Jp2Corpus, ConformanceFilesAgreeWithTheReferenceDecoder) {
  IMPRIMO_REQUIRE_CORPUS_PATH(Jp2Dir());
  REQUIRE_JP2_TOOLS();
  struct Case {
    const char* file;
    int dx = 1;  // component sub-sampling the reference keeps unexpanded
    bool rgbOnly = false;
  };
  const Case cases[] = {{"conformance/p0_01.j2k"},          {"conformance/p0_09.j2k"},
                        {"conformance/p0_11.j2k"},          {"conformance/p0_12.j2k"},
                        {"conformance/p0_13.j2k", 1, true}, {"conformance/p0_14.j2k"},
                        {"conformance/p1_06.j2k"},          {"conformance/a1_mono.j2c"},
                        {"conformance/file4.jp2"},          {"conformance/file9.jp2"},
                        {"nonregression/Marrin.jp2"},       {"nonregression/basn4a08.jp2"},
                        {"nonregression/basn6a08.jp2"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = Jp2Dir() + "/" + c.file;
    int w, h, rw, rh;
    std::vector<uint8_t> ours, ref;
    ASSERT_TRUE(OurRgba(path, w, h, ours));
    ASSERT_TRUE(ReferenceRgba(path, rw, rh, ref));
    ASSERT_EQ(h, rh);
    ASSERT_EQ((w + c.dx - 1) / c.dx, rw);
    size_t mismatches = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int ch = 0; ch < (c.rgbOnly ? 3 : 4); ++ch)
          if (ours[(size_t(y) * w + x) * 4 + ch] != ref[(size_t(y) * rw + x / c.dx) * 4 + ch])
            ++mismatches;
    EXPECT_EQ(mismatches, 0u);
  }
}

// Code streams whose image area starts at an offset on the reference grid,
// with a horizontally sub-sampled component: the reference decoder writes
// the component at its own resolution, so every image column x takes sample
// floor((x0 + x) / dx) - ceil(x0 / dx) of it (the first one for columns left
// of the first sample).
TEST(Jp2Corpus, OffsetImagesAgreeWithTheReferenceDecoder) {
  IMPRIMO_REQUIRE_CORPUS_PATH(Jp2Dir());
  REQUIRE_JP2_TOOLS();
  struct Case {
    const char* file;
    int x0, dx;
  };
  for (const Case& c : {Case{"conformance/p0_02.j2k", 0, 2}, Case{"conformance/p1_01.j2k", 5, 2}}) {
    SCOPED_TRACE(std::string(c.file) + " against opj_decompress");
    const std::string path = Jp2Dir() + "/" + c.file;
    int w, h, rw, rh;
    std::vector<uint8_t> ours, ref;
    ASSERT_TRUE(OurRgba(path, w, h, ours));
    ASSERT_TRUE(ReferenceRgba(path, rw, rh, ref));
    ASSERT_EQ(h, rh);
    const int first = (c.x0 + c.dx - 1) / c.dx;
    ASSERT_EQ((c.x0 + w + c.dx - 1) / c.dx - first, rw);
    size_t mismatches = 0;
    std::string firstMismatch;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int rx = std::clamp((c.x0 + x) / c.dx - first, 0, rw - 1);
        for (int ch = 0; ch < 4; ++ch)
          if (ours[(size_t(y) * w + x) * 4 + ch] != ref[(size_t(y) * rw + rx) * 4 + ch] &&
              mismatches++ == 0)
            firstMismatch = "at " + std::to_string(x) + "," + std::to_string(y);
      }
    EXPECT_EQ(mismatches, 0u) << firstMismatch;
  }
}

// A Python with the imaging library and JPEG 2000 support, or empty.
std::string PillowPython() {
  for (const char* py : {"/usr/bin/python3", "python3"})
    if (HaveTool(std::string(py) +
                 " -c \"import PIL.features,sys; sys.exit(not PIL.features.check('jpg_2000'))\""))
      return py;
  return {};
}

// file9.jp2 is left out: this Python library returns the raw palette indices
// of its palette box as gray, where the reference decoder (and we) apply it.
TEST(Jp2Corpus, ConformanceFilesAgreeWithPillow) {
  IMPRIMO_REQUIRE_CORPUS_PATH(Jp2Dir());
  const std::string py = PillowPython();
  if (py.empty()) GTEST_SKIP() << "Pillow with JPEG 2000 support is absent";
  const std::string script =
      "import sys; from PIL import Image; im = Image.open(sys.argv[1]).convert('RGBA'); "
      "sys.stdout.buffer.write(b'%d %d\\n' % im.size + im.tobytes())";
  for (const char* f : {"conformance/p0_01.j2k", "conformance/p0_09.j2k", "conformance/p0_12.j2k",
                        "conformance/p0_14.j2k", "conformance/p1_06.j2k", "conformance/a1_mono.j2c",
                        "conformance/file4.jp2", "nonregression/basn4a08.jp2",
                        "nonregression/basn6a08.jp2", "nonregression/Marrin.jp2"}) {
    SCOPED_TRACE(f);
    const std::string path = Jp2Dir() + "/" + f;
    bool ok;
    auto out = jp2_game::Run(py + " -c " + Quote(script) + " " + Quote(path), ok);
    ASSERT_TRUE(ok);
    const auto nl = std::find(out.begin(), out.end(), uint8_t('\n'));
    ASSERT_NE(nl, out.end());
    int rw = 0, rh = 0;
    ASSERT_EQ(std::sscanf(std::string(out.begin(), nl).c_str(), "%d %d", &rw, &rh), 2);
    std::vector<uint8_t> ref(nl + 1, out.end());
    int w, h;
    std::vector<uint8_t> ours;
    ASSERT_TRUE(OurRgba(path, w, h, ours));
    EXPECT_EQ(w, rw);
    EXPECT_EQ(h, rh);
    EXPECT_TRUE(ours == ref);
  }
}

TEST(Jp2Corpus, IccTaggedGrayFileKeepsItsGrayLevels) {
  IMPRIMO_REQUIRE_CORPUS_PATH(Jp2Dir());
  REQUIRE_JP2_TOOLS();
  // The reference applies the embedded profile; the layer keeps the stored
  // gray samples, which must stay close to the profile's rendering.
  const std::string path = Jp2Dir() + "/conformance/file8.jp2";
  int w, h, rw, rh;
  std::vector<uint8_t> ours, ref;
  TImageFormat format;
  ASSERT_TRUE(OurRgba(path, w, h, ours, nullptr, &format));
  ASSERT_TRUE(ReferenceRgba(path, rw, rh, ref));
  EXPECT_EQ(format, ifGray8);
  ASSERT_EQ(w, rw);
  ASSERT_EQ(h, rh);
  std::vector<uint8_t> a, b;
  for (size_t i = 0; i < ours.size(); i += 4) {
    a.push_back(ours[i]);
    b.push_back(ref[i + 1]);
  }
  EXPECT_GT(Psnr(a.data(), b.data(), a.size()), 20.0);
}

TEST(Jp2Corpus, DamagedAndHostileFilesFailCleanly) {
  IMPRIMO_REQUIRE_CORPUS_PATH(Jp2Dir());
  for (const char* f :
       {"nonregression/issue1438.j2k", "nonregression/issue1472-bigloop.j2k",
        "nonregression/2977.pdf.asan.67.2198.jp2", "nonregression/huge-tile-size.jp2",
        "nonregression/gdal_fuzzer_check_number_of_tiles.jp2",
        "nonregression/gdal_fuzzer_unchecked_numresolutions.jp2", "conformance/p1_07.j2k"}) {
    SCOPED_TRACE(f);
    RasterImage img;
    try {
      if (ReadImageFile(Jp2Dir() + "/" + f, img)) {
        EXPECT_TRUE(ImageIsValid(img));
      }
    } catch (const EImagingError& e) {
      EXPECT_NE(std::string(e.what()).find("Error while loading images"), std::string::npos);
    }
  }
}

// A source picture written as a binary PNM by hand (8 or 16 bits).
std::string WritePnm(const std::string& name, int w, int h, int channels, int maxval,
                     std::vector<uint8_t>& samples) {
  std::mt19937 rng(w * 7 + h + channels);
  const int bytes = maxval > 255 ? 2 : 1;
  samples.resize(size_t(w) * h * channels * bytes);
  for (auto& s : samples) s = static_cast<uint8_t>(rng());
  std::string head = std::string(channels == 1 ? "P5" : "P6") + "\n" + std::to_string(w) + " " +
                     std::to_string(h) + "\n" + std::to_string(maxval) + "\n";
  std::vector<uint8_t> file(head.begin(), head.end());
  file.insert(file.end(), samples.begin(), samples.end());
  const std::string path = TempPath(name);
  WriteBytes(path, file);
  return path;
}

TEST(Jp2Corpus, FilesTheReferenceEncoderWritesDecodeExactly) {
  if (!HaveTool("command -v opj_compress")) GTEST_SKIP() << "opj_compress is absent";
  struct Case {
    int channels, maxval;
    const char* ext;
    TImageFormat expect;
  } cases[] = {{1, 255, "j2k", ifGray8},
               {3, 255, "jp2", ifR8G8B8},
               {1, 65535, "jp2", ifGray16},
               {3, 65535, "j2k", ifR16G16B16},
               {3, 255, "j2c", ifR8G8B8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.channels) + "x" + std::to_string(c.maxval) + " " + c.ext);
    std::vector<uint8_t> samples;
    const std::string src =
        WritePnm(c.channels == 1 ? "src.pgm" : "src.ppm", 45, 31, c.channels, c.maxval, samples);
    const std::string out = TempPath(std::string("ref.") + c.ext);
    bool ok;
    jp2_game::Run("opj_compress -n 4 -i " + Quote(src) + " -o " + Quote(out), ok);
    ASSERT_TRUE(ok);
    RasterImage img;
    ASSERT_TRUE(ReadImageFile(out, img));
    EXPECT_EQ(img.Format, c.expect);
    // PNM samples are big-endian R, G, B; ours little-endian B, G, R.
    const int bytes = c.maxval > 255 ? 2 : 1;
    std::vector<uint8_t> expect(samples.size());
    const int px = c.channels * bytes;
    for (size_t p = 0; p < samples.size() / px; ++p)
      for (int ch = 0; ch < c.channels; ++ch)
        for (int b = 0; b < bytes; ++b) {
          const int ourCh = c.channels == 3 ? 2 - ch : ch;
          expect[p * px + ourCh * bytes + b] = samples[p * px + ch * bytes + (bytes - 1 - b)];
        }
    EXPECT_EQ(Pixels(img), expect);
    std::remove(src.c_str());
    std::remove(out.c_str());
  }
}

TEST(Jp2Corpus, TwelveBitSamplesAreScaledToSixteenBits) {
  if (!HaveTool("command -v opj_compress")) GTEST_SKIP() << "opj_compress is absent";
  const int w = 23, h = 17;
  std::mt19937 rng(12);
  std::vector<uint16_t> values(size_t(w) * h);
  std::string head = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n4095\n";
  std::vector<uint8_t> file(head.begin(), head.end());
  for (auto& v : values) {
    v = static_cast<uint16_t>(rng() % 4096);
    file.push_back(static_cast<uint8_t>(v >> 8));
    file.push_back(static_cast<uint8_t>(v));
  }
  values[0] = 4095;
  file[head.size()] = 0x0F, file[head.size() + 1] = 0xFF;
  const std::string src = TempPath("twelve.pgm"), out = TempPath("twelve.j2k");
  WriteBytes(src, file);
  bool ok;
  jp2_game::Run("opj_compress -n 3 -i " + Quote(src) + " -o " + Quote(out), ok);
  ASSERT_TRUE(ok);
  RasterImage img;
  ASSERT_TRUE(ReadImageFile(out, img));
  ASSERT_EQ(img.Format, ifGray16);
  for (size_t i = 0; i < values.size(); ++i) {
    const unsigned got = img.Bits[i * 2] | img.Bits[i * 2 + 1] << 8;
    ASSERT_EQ(got, (values[i] * 65535u + 2047) / 4095) << i;
  }
  EXPECT_EQ(img.Bits[0] | img.Bits[1] << 8, 65535);
  std::remove(src.c_str());
  std::remove(out.c_str());
}

TEST(Jp2Corpus, LuminanceChromaFilesAreTurnedIntoRgbLikeTheReference) {
  REQUIRE_JP2_TOOLS();
  // Our own lossless file with its colour box relabelled as YCC: the samples
  // now mean Y, Cb, Cr and both decoders must turn them into RGB alike.
  ScopedOption l(ImagingJpeg2000LosslessCompression, 1);
  RasterImage src = SmoothRgb(40, 30);
  auto bytes = SaveToMemory("jp2", src);
  const std::string colr = "colr";
  auto at = std::search(bytes.begin(), bytes.end(), colr.begin(), colr.end());
  ASSERT_NE(at, bytes.end());
  const size_t cs = size_t(at - bytes.begin()) + 4 + 3;
  ASSERT_EQ(bytes[cs + 3], 16);  // sRGB
  bytes[cs + 3] = 18;
  const std::string path = TempPath("ycc.jp2");
  WriteBytes(path, bytes);
  int w, h, rw, rh;
  std::vector<uint8_t> ours, ref;
  ASSERT_TRUE(OurRgba(path, w, h, ours));
  ASSERT_TRUE(ReferenceRgba(path, rw, rh, ref));
  ASSERT_EQ(w, rw);
  ASSERT_EQ(h, rh);
  int worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - ref[i]));
  EXPECT_LE(worst, 1);
  // And the picture really changed: the plain decode would equal the source.
  RasterImage plain;
  ImageClone(src, plain);
  ImageConvert(plain, ifA8R8G8B8);
  EXPECT_NE(ours[0], plain.Bits[2]);
  std::remove(path.c_str());
}

TEST(Jp2Corpus, FilesTheConverterWritesDecodeLikeTheConverterReadsThem) {
  REQUIRE_JP2_TOOLS();
  RasterImage src = SmoothRgb(70, 50);
  const std::string png = TempPath("conv_src.ppm");
  ASSERT_TRUE(WriteImageFile(png, src));
  for (const char* opts : {"", "-quality 60", "-alpha set -channel A -evaluate set 50%"}) {
    SCOPED_TRACE(opts);
    const std::string out = TempPath("conv.jp2");
    bool ok;
    jp2_game::Run("convert " + Quote(png) + " " + opts + " " + Quote(out), ok);
    ASSERT_TRUE(ok);
    int w, h, rw, rh;
    std::vector<uint8_t> ours, ref;
    ASSERT_TRUE(OurRgba(out, w, h, ours));
    ASSERT_TRUE(MagickRgba(out, rw, rh, ref));
    ASSERT_EQ(w, rw);
    ASSERT_EQ(h, rh);
    EXPECT_EQ(ours, ref);
    std::remove(out.c_str());
  }
  std::remove(png.c_str());
}

TEST(Jp2Corpus, FilesWeWriteDecodeIdenticallyInTheReferenceDecoder) {
  REQUIRE_JP2_TOOLS();
  for (int lossless : {1, 0})
    for (int codeStream : {0, 1})
      for (TImageFormat f : {ifGray8, ifA8Gray8, ifR8G8B8, ifA8R8G8B8}) {
        SCOPED_TRACE(std::string(GetImageFormatInfo(f)->Name) + (lossless ? " lossless" : " q80") +
                     (codeStream ? " j2k" : " jp2"));
        ScopedOption l(ImagingJpeg2000LosslessCompression, lossless);
        ScopedOption c(ImagingJpeg2000CodeStreamOnly, codeStream);
        RasterImage src = RandomImage(f, 33, 21, f * 3 + lossless);
        const std::string path = TempPath(codeStream ? "ours.j2k" : "ours.jp2");
        ASSERT_TRUE(WriteImageFile(path, src));
        int w, h, rw, rh;
        std::vector<uint8_t> ours, ref;
        ASSERT_TRUE(OurRgba(path, w, h, ours));
        ASSERT_TRUE(ReferenceRgba(path, rw, rh, ref));
        ASSERT_EQ(w, rw);
        ASSERT_EQ(h, rh);
        EXPECT_EQ(ours, ref);
        if (lossless) {
          RasterImage expect;
          ImageClone(src, expect);
          ImageConvert(expect, ifA8R8G8B8);
          EXPECT_EQ(ref, ::imprimo::testing::RgbaBytes(expect));
        }
        std::remove(path.c_str());
      }
}

TEST(Jp2Corpus, SixteenBitFilesWeWriteKeepEverySampleInTheReferenceDecoder) {
  if (!HaveTool("command -v opj_decompress")) GTEST_SKIP() << "opj_decompress is absent";
  ScopedOption l(ImagingJpeg2000LosslessCompression, 1);
  for (TImageFormat f : {ifGray16, ifR16G16B16}) {
    SCOPED_TRACE(GetImageFormatInfo(f)->Name);
    RasterImage src = RandomImage(f, 19, 14, 77);
    const std::string path = TempPath("ours16.jp2");
    const std::string pnm = TempPath(f == ifGray16 ? "ref16.pgm" : "ref16.ppm");
    ASSERT_TRUE(WriteImageFile(path, src));
    bool ok;
    jp2_game::Run("opj_decompress -i " + Quote(path) + " -o " + Quote(pnm), ok);
    ASSERT_TRUE(ok);
    auto file = ReadBytes(pnm);
    const int channels = f == ifGray16 ? 1 : 3;
    const size_t payload = size_t(src.Width) * src.Height * channels * 2;
    ASSERT_GE(file.size(), payload);
    const uint8_t* s = file.data() + file.size() - payload;
    std::vector<uint8_t> got(payload);
    for (size_t p = 0; p < payload / (channels * 2); ++p)
      for (int ch = 0; ch < channels; ++ch) {
        const int ourCh = channels == 3 ? 2 - ch : ch;
        got[(p * channels + ourCh) * 2] = s[(p * channels + ch) * 2 + 1];
        got[(p * channels + ourCh) * 2 + 1] = s[(p * channels + ch) * 2];
      }
    EXPECT_EQ(got, Pixels(src));
    std::remove(path.c_str());
    std::remove(pnm.c_str());
  }
}

}  // namespace
}  // namespace imprimo::jp2_game
