#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "imaging/formats/png_codec.h"
#include "imaging_png_jpeg_gif/png_jpeg_gif_util.h"

namespace imprimo {
namespace {

using testutil::RandomImage;
using testutil::SameImage;

std::vector<uint8_t> Encode(const RasterImage& img, int filter = 5, int level = 5) {
  TMemoryStream out;
  EncodePng(img, TPngEncodeOptions{filter, level}, out);
  return out.Data();
}

uint32_t BE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

struct TChunk {
  std::string type;
  std::vector<uint8_t> data;
};

std::vector<TChunk> Chunks(const std::vector<uint8_t>& file) {
  std::vector<TChunk> out;
  for (size_t pos = 8; pos + 12 <= file.size();) {
    uint32_t len = BE32(&file[pos]);
    TChunk c{std::string(file.begin() + pos + 4, file.begin() + pos + 8),
             std::vector<uint8_t>(file.begin() + pos + 8, file.begin() + pos + 8 + len)};
    out.push_back(c);
    pos += 12 + len;
  }
  return out;
}

std::vector<uint8_t> InflatedIdat(const std::vector<uint8_t>& file, size_t expected) {
  std::vector<uint8_t> z;
  for (const auto& c : Chunks(file))
    if (c.type == "IDAT") z.insert(z.end(), c.data.begin(), c.data.end());
  std::vector<uint8_t> raw(expected);
  uLongf len = expected;
  EXPECT_EQ(uncompress(raw.data(), &len, z.data(), z.size()), Z_OK);
  EXPECT_EQ(len, expected);
  return raw;
}

// Builds a PNG from chunks with correct CRCs.
std::vector<uint8_t> MakePng(const std::vector<TChunk>& chunks) {
  std::vector<uint8_t> f(kPngSignature, kPngSignature + 8);
  for (const auto& c : chunks) {
    uint32_t len = uint32_t(c.data.size());
    for (int i = 3; i >= 0; --i) f.push_back(uint8_t(len >> (8 * i)));
    size_t start = f.size();
    f.insert(f.end(), c.type.begin(), c.type.end());
    f.insert(f.end(), c.data.begin(), c.data.end());
    uint32_t crc = uint32_t(crc32(0, &f[start], uInt(f.size() - start)));
    for (int i = 3; i >= 0; --i) f.push_back(uint8_t(crc >> (8 * i)));
  }
  return f;
}

std::vector<uint8_t> Ihdr(uint32_t w, uint32_t h, int depth, int ct, int interlace = 0) {
  std::vector<uint8_t> d;
  for (int i = 3; i >= 0; --i) d.push_back(uint8_t(w >> (8 * i)));
  for (int i = 3; i >= 0; --i) d.push_back(uint8_t(h >> (8 * i)));
  d.insert(d.end(), {uint8_t(depth), uint8_t(ct), 0, 0, uint8_t(interlace)});
  return d;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
  uLongf len = compressBound(raw.size());
  std::vector<uint8_t> z(len);
  compress(z.data(), &len, raw.data(), raw.size());
  z.resize(len);
  return z;
}

TEST(PngCodec, RoundTripsEveryKeptFormatWithEveryFilter) {
  const TImageFormat formats[] = {ifIndex8,       ifGray8,     ifA8Gray8,     ifGray16,
                                  ifA16Gray16,    ifR8G8B8,    ifA8R8G8B8,    ifR16G16B16,
                                  ifA16R16G16B16, ifB16G16R16, ifA16B16G16R16};
  for (TImageFormat f : formats) {
    ASSERT_TRUE(PngKeepsFormat(f));
    RasterImage img = RandomImage(f, 37, 11, uint32_t(f));
    if (f == ifIndex8) img.Palette[7].A = 0;  // one transparent entry survives via tRNS
    for (int filter = 0; filter <= 6; ++filter) {
      for (int level : {0, 5, 9}) {
        RasterImage back;
        DecodePng(Encode(img, filter, level), back);
        TImageFormat expected = f == ifB16G16R16      ? ifR16G16B16
                                : f == ifA16B16G16R16 ? ifA16R16G16B16
                                                      : f;
        if (expected == f) {
          EXPECT_TRUE(SameImage(img, back)) << "format " << f << " filter " << filter;
        } else {
          // Red-first 16-bit formats come back blue-first with the same colours.
          EXPECT_EQ(back.Format, expected);
          RasterImage swapped;
          ImageClone(img, swapped);
          ImageConvert(swapped, expected);
          EXPECT_TRUE(SameImage(swapped, back)) << "format " << f << " filter " << filter;
        }
      }
    }
  }
}

TEST(PngCodec, DefaultRgbFileUsesColourType2PaethAndLevel5) {
  RasterImage img = testutil::PhotoLikeImage(20, 9, 1);
  std::vector<uint8_t> file = Encode(img);
  auto chunks = Chunks(file);
  ASSERT_GE(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[0].data[8], 8);  // bit depth
  EXPECT_EQ(chunks[0].data[9], 2);  // colour type
  EXPECT_EQ(chunks.back().type, "IEND");
  std::vector<uint8_t> raw = InflatedIdat(file, 9 * (1 + 20 * 3));
  for (int y = 0; y < 9; ++y) EXPECT_EQ(raw[y * 61], 4) << "row " << y;
  // The zlib header's level field says "fast" for levels 2..5.
  for (const auto& c : chunks)
    if (c.type == "IDAT") {
      EXPECT_EQ(c.data[1] >> 6, 1);
      break;
    }
  // Samples go out red first.
  EXPECT_EQ(raw[1], img.Row(0)[2]);
}

TEST(PngCodec, FilterRulesFollowTheOption) {
  for (int opt = 0; opt <= 4; ++opt) EXPECT_EQ(PngRowFilter(opt, 0, 8), opt);
  EXPECT_EQ(PngRowFilter(5, 2, 8), 4);
  EXPECT_EQ(PngRowFilter(5, 6, 16), 4);
  EXPECT_EQ(PngRowFilter(5, 0, 8), 0);
  EXPECT_EQ(PngRowFilter(5, 3, 8), 0);
  EXPECT_EQ(PngRowFilter(5, 4, 8), 0);
  EXPECT_EQ(PngRowFilter(6, 3, 8), 0);  // indexed: like 5
  EXPECT_EQ(PngRowFilter(6, 2, 8), -1);
  EXPECT_EQ(PngRowFilter(6, 0, 16), -1);

  // Gray with option 5 writes filter None on every row; option 6 picks per row.
  RasterImage gray = testutil::RandomImage(ifGray8, 16, 8, 3);
  std::vector<uint8_t> raw = InflatedIdat(Encode(gray, 5), 8 * 17);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(raw[y * 17], 0);
  RasterImage smooth = testutil::PhotoLikeImage(64, 16, 2);
  raw = InflatedIdat(Encode(smooth, 6), 16 * (1 + 64 * 3));
  bool nonZero = false;
  for (int y = 0; y < 16; ++y) {
    EXPECT_LE(raw[y * 193], 4);
    nonZero |= raw[y * 193] != 0;
  }
  EXPECT_TRUE(nonZero);
}

TEST(PngCodec, DecodesLowBitDepthsInterlacedAndTransparencyKeys) {
  // 2-bit gray, 3x3, Adam7: every pixel set to its own value pattern.
  const uint8_t values[9] = {0, 1, 2, 3, 0, 1, 2, 3, 3};
  std::vector<uint8_t> raw;
  // Adam7 passes for 3x3: pass1 (0,0); pass4 (2,0); pass5 (0,2),(2,2); pass6 (1,0),(1,2);
  // pass7 rows 1: (0,1),(1,1),(2,1).
  auto px = [&](int x, int y) { return values[y * 3 + x]; };
  auto row = [&](std::vector<std::pair<int, int>> pts) {
    raw.push_back(0);
    uint8_t b = 0;
    int bit = 6;
    for (auto [x, y] : pts) {
      b |= uint8_t(px(x, y) << bit);
      bit -= 2;
    }
    raw.push_back(b);
  };
  row({{0, 0}});
  row({{2, 0}});
  row({{0, 2}, {2, 2}});
  row({{1, 0}});
  row({{1, 2}});
  row({{0, 1}, {1, 1}, {2, 1}});
  std::vector<uint8_t> trns = {0, 2};
  auto file = MakePng(
      {{"IHDR", Ihdr(3, 3, 2, 0, 1)}, {"tRNS", trns}, {"IDAT", Deflate(raw)}, {"IEND", {}}});
  RasterImage img;
  DecodePng(file, img);
  ASSERT_EQ(img.Format, ifA8Gray8);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(img.Row(y)[2 * x], px(x, y) * 85) << x << "," << y;
      EXPECT_EQ(img.Row(y)[2 * x + 1], px(x, y) == 2 ? 0 : 255) << x << "," << y;
    }
}

TEST(PngCodec, DecodesPaletteWithPartialTransparency) {
  std::vector<uint8_t> plte = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  std::vector<uint8_t> raw = {0, 0b00011000};  // 2-bit indices 0, 1, 2, 0
  auto file = MakePng({{"IHDR", Ihdr(4, 1, 2, 3)},
                       {"PLTE", plte},
                       {"tRNS", {128}},
                       {"IDAT", Deflate(raw)},
                       {"IEND", {}}});
  RasterImage img;
  DecodePng(file, img);
  ASSERT_EQ(img.Format, ifIndex8);
  EXPECT_EQ(img.Row(0)[0], 0);
  EXPECT_EQ(img.Row(0)[1], 1);
  EXPECT_EQ(img.Row(0)[2], 2);
  EXPECT_EQ(img.Palette[0], (TColor32Rec{0, 0, 255, 128}));
  EXPECT_EQ(img.Palette[2], (TColor32Rec{255, 0, 0, 255}));
}

TEST(PngCodec, BrokenFilesFailCleanly) {
  RasterImage img = testutil::PhotoLikeImage(40, 30, 5);
  std::vector<uint8_t> good = Encode(img);
  RasterImage out;
  // Every truncation fails (or, once the image data is whole, still decodes
  // the full picture); none crashes.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    std::vector<uint8_t> part(good.begin(), good.begin() + cut);
    try {
      DecodePng(part, out);
      EXPECT_TRUE(SameImage(img, out)) << "cut " << cut;
    } catch (const EImagingError&) {
    }
  }
  // Flipped bits in the image data: CRC mismatch names the chunk.
  std::vector<uint8_t> bad = good;
  bad[50] ^= 0x40;
  try {
    DecodePng(bad, out);
    ADD_FAILURE() << "corrupt IDAT accepted";
  } catch (const EImagingError& e) {
    EXPECT_STREQ(e.what(), "Error when reading IDAT chunk data. File may be corrupted.");
  }

  auto expectFail = [&](const std::vector<uint8_t>& file, const char* what) {
    EXPECT_THROW(DecodePng(file, out), EImagingError) << what;
  };
  std::vector<uint8_t> raw(3 * 2, 0);
  expectFail(MakePng({{"IHDR", Ihdr(0, 1, 8, 0)}, {"IDAT", Deflate(raw)}}), "zero width");
  expectFail(MakePng({{"IHDR", Ihdr(1, 1, 3, 0)}, {"IDAT", Deflate(raw)}}), "depth 3");
  expectFail(MakePng({{"IHDR", Ihdr(1, 1, 8, 5)}, {"IDAT", Deflate(raw)}}), "colour type 5");
  expectFail(MakePng({{"IHDR", Ihdr(1, 1, 16, 3)}, {"IDAT", Deflate(raw)}}), "16-bit palette");
  expectFail(MakePng({{"IHDR", Ihdr(2, 1, 8, 3)}, {"IDAT", Deflate(raw)}}), "no PLTE");
  expectFail(MakePng({{"IHDR", Ihdr(2, 1, 8, 0)}, {"IEND", {}}}), "no IDAT");
  expectFail(MakePng({{"IHDR", Ihdr(2, 1, 8, 0)}, {"ABCD", {1}}, {"IDAT", Deflate(raw)}}),
             "unknown critical chunk");
  expectFail(MakePng({{"IDAT", Deflate(raw)}, {"IHDR", Ihdr(2, 1, 8, 0)}}), "IHDR not first");
  std::vector<uint8_t> badFilter = {7, 0, 0};
  expectFail(MakePng({{"IHDR", Ihdr(2, 1, 8, 0)}, {"IDAT", Deflate(badFilter)}}), "filter 7");
  expectFail(MakePng({{"IHDR", Ihdr(70000, 1, 8, 0)}, {"IDAT", Deflate(raw)}}), "too wide");

  // A header that claims a huge picture over a few bytes of data is refused
  // at once, before any pixel memory is taken.
  // (The size gate refuses more than 2^28 pixels; 65535 x 4096 passes it
  // and must be refused by the data it lacks.)
  try {
    DecodePng(MakePng({{"IHDR", Ihdr(65535, 4097, 16, 6)}, {"IDAT", Deflate(raw)}}), out);
    ADD_FAILURE() << "more than 2^28 pixels accepted";
  } catch (const EImagingError& e) {
    EXPECT_EQ(e.Kind(), EImagingErrorKind::TooLarge) << e.what();
  }
  try {
    DecodePng(MakePng({{"IHDR", Ihdr(65535, 4096, 16, 6)}, {"IDAT", Deflate(raw)}}), out);
    ADD_FAILURE() << "lying size accepted";
  } catch (const EImagingError& e) {
    EXPECT_EQ(e.Kind(), EImagingErrorKind::Truncated) << e.what();
    EXPECT_STREQ(e.what(), "Error when reading IDAT chunk data. File may be corrupted.");
  }

  // An ancillary chunk with a bad CRC is skipped.
  std::vector<uint8_t> file = MakePng({{"IHDR", Ihdr(1, 1, 8, 0)},
                                       {"tEXt", {'a', 0, 'b'}},
                                       {"IDAT", Deflate({0, 77})},
                                       {"IEND", {}}});
  file[8 + 25 + 8] ^= 1;
  DecodePng(file, out);
  EXPECT_EQ(out.Row(0)[0], 77);
}

}  // namespace
}  // namespace imprimo
