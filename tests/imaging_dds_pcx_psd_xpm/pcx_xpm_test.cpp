// Paintbrush and X pixmap loaders: hand-made files of every layout, colour
// syntax and damaged input.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "imaging/file_format.h"
#include "imaging/formats/pcx_format.h"
#include "imaging/formats/xpm_format.h"
#include "imaging/imaging_stream.h"
#include "imaging_dds_pcx_psd_xpm/dds_pcx_psd_xpm_util.h"

namespace imprimo {
namespace {

using dds_pcx_psd_xpm::Pixels;

// A PCX header followed by the given coded bytes (and nothing else).
std::vector<uint8_t> MakePcx(int bpp, int planes, int w, int h, int bytesPerLine, bool rle,
                             const std::vector<uint8_t>& body,
                             const std::vector<uint8_t>& ega = {}) {
  std::vector<uint8_t> f(128, 0);
  f[0] = 10;
  f[1] = 5;
  f[2] = rle ? 1 : 0;
  f[3] = uint8_t(bpp);
  f[8] = uint8_t(w - 1);
  f[9] = uint8_t((w - 1) >> 8);
  f[10] = uint8_t(h - 1);
  f[11] = uint8_t((h - 1) >> 8);
  for (size_t i = 0; i < ega.size() && i < 48; ++i) f[16 + i] = ega[i];
  f[65] = uint8_t(planes);
  f[66] = uint8_t(bytesPerLine);
  f[67] = uint8_t(bytesPerLine >> 8);
  f[68] = 1;
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

TEST(Pcx, EightBitsWithTheTrailingPalette) {
  // 3 x 2, rows padded to 4 bytes; a run of 5 crosses into the second row.
  std::vector<uint8_t> body = {0xC5, 7, 1, 2, 3};
  std::vector<uint8_t> f = MakePcx(8, 1, 3, 2, 4, true, body);
  f.push_back(0x0C);
  for (int i = 0; i < 256; ++i) f.insert(f.end(), {uint8_t(i), uint8_t(255 - i), 9});
  TMemoryStream s(f);
  RasterImage img;
  ASSERT_TRUE(ReadImageStream(s, img));
  EXPECT_EQ(img.Format, ifIndex8);
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{7, 7, 7, 7, 1, 2}));
  EXPECT_EQ(img.Palette[7], (TColor32Rec{9, 248, 7, 255}));

  // Without the palette marker the indices show as gray levels.
  f = MakePcx(8, 1, 2, 1, 2, false, {100, 200});
  img = DecodePcx(f);
  EXPECT_EQ(img.Palette[200], (TColor32Rec{200, 200, 200, 255}));
}

TEST(Pcx, TrueColourPlanesAndPackedAndPlanarIndices) {
  // 24-bit: red, green and blue planes of each line; a fourth plane is alpha.
  RasterImage img = DecodePcx(MakePcx(8, 3, 2, 1, 2, false, {10, 20, 30, 40, 50, 60}));
  EXPECT_EQ(img.Format, ifR8G8B8);
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{50, 30, 10, 60, 40, 20}));
  img = DecodePcx(MakePcx(8, 4, 1, 1, 2, true, {0xC2, 1, 2, 0, 3, 0, 4, 0}));
  EXPECT_EQ(img.Format, ifA8R8G8B8);
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{3, 2, 1, 4}));

  // EGA: one bit in four planes gives indices 0..15 into the header palette.
  std::vector<uint8_t> ega(48);
  for (int i = 0; i < 16; ++i) ega[3 * i] = uint8_t(i * 16);
  img = DecodePcx(MakePcx(1, 4, 3, 1, 2, false,
                          {0b10100000, 0, 0b01100000, 0, 0b00100000, 0, 0b11000000, 0}, ega));
  // Pixel 0: planes 0 and 3 -> 9; pixel 1: planes 1 and 3 -> 10; pixel 2: planes 0..2 -> 7.
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{9, 10, 7}));
  EXPECT_EQ(img.Palette[9].R, 144);

  // Without a header palette (version 3, or all zero) the standard EGA colours.
  std::vector<uint8_t> v3 = MakePcx(4, 1, 2, 1, 1, false, {0x6E});
  v3[1] = 3;
  img = DecodePcx(v3);
  EXPECT_EQ(img.Palette[6], (TColor32Rec{0, 85, 170, 255}));
  EXPECT_EQ(img.Palette[14], (TColor32Rec{85, 255, 255, 255}));
  img = DecodePcx(MakePcx(4, 1, 2, 1, 1, false, {0x6E}));
  EXPECT_EQ(img.Palette[9], (TColor32Rec{255, 85, 85, 255}));

  // Two and four bits packed, high bits first; one bit is black and white.
  img = DecodePcx(MakePcx(2, 1, 5, 1, 2, false, {0b00011011, 0b10000000}));
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{0, 1, 2, 3, 2}));
  img = DecodePcx(MakePcx(4, 1, 3, 1, 2, false, {0x3C, 0x50}));
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{3, 12, 5}));
  img = DecodePcx(MakePcx(1, 1, 2, 1, 2, false, {0x80, 0}, ega));
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(img.Palette[1], (TColor32Rec{255, 255, 255, 255}));
  EXPECT_EQ(img.Palette[0], (TColor32Rec{0, 0, 0, 255}));
}

TEST(Pcx, DamagedFilesFailCleanly) {
  EXPECT_THROW(DecodePcx(MakePcx(8, 1, 4, 4, 4, false, std::vector<uint8_t>(15))), EImagingError);
  EXPECT_THROW(DecodePcx(MakePcx(8, 1, 4, 4, 4, true, {0xC3, 1})), EImagingError);
  EXPECT_THROW(DecodePcx(MakePcx(8, 1, 9, 1, 4, false, std::vector<uint8_t>(9))), EImagingError);
  EXPECT_THROW(DecodePcx(MakePcx(4, 2, 4, 1, 2, false, std::vector<uint8_t>(4))), EImagingError);
  EXPECT_THROW(DecodePcx(std::vector<uint8_t>(100, 10)), EImagingError);
  // A run past the last line stops at the end of the image.
  RasterImage img = DecodePcx(MakePcx(8, 1, 2, 1, 2, true, {0xFF, 4}));
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{4, 4}));
  // A huge declared size with a short file is refused before allocating.
  EXPECT_THROW(DecodePcx(MakePcx(8, 4, 65535, 65535, 65535, true, {0xC1, 0})), EImagingError);
}

// ---- XPM ----

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(Xpm, ColourValuesInEverySpelling) {
  auto rgb = [](std::string_view t) {
    auto c = ParseXpmColor(t);
    return c ? std::vector<int>{c->R, c->G, c->B, c->A} : std::vector<int>{};
  };
  EXPECT_EQ(rgb("#F00"), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(rgb("#8000FF"), (std::vector<int>{128, 0, 255, 255}));
  EXPECT_EQ(rgb("#800"), (std::vector<int>{136, 0, 0, 255}));
  EXPECT_EQ(rgb("#FFF000111"), (std::vector<int>{255, 0, 17, 255}));
  EXPECT_EQ(rgb("#80000000FFFF"), (std::vector<int>{128, 0, 255, 255}));
  EXPECT_EQ(rgb("None"), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(rgb("none"), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(rgb("Light Goldenrod Yellow"), (std::vector<int>{250, 250, 210, 255}));
  EXPECT_EQ(rgb("navy"), (std::vector<int>{0, 0, 128, 255}));
  EXPECT_EQ(rgb("grey50"), (std::vector<int>{127, 127, 127, 255}));
  EXPECT_EQ(rgb("DarkSlateGray4"), (std::vector<int>{82, 139, 139, 255}));
  EXPECT_TRUE(rgb("#12").empty());
  EXPECT_TRUE(rgb("#GG0000").empty());
  EXPECT_TRUE(rgb("#0000000000000").empty());
  EXPECT_TRUE(rgb("not a colour").empty());
}

TEST(Xpm, KeysCharactersPerPixelAndComments) {
  const std::string file =
      "/* XPM */\n"
      "static char *x[] = {\n"
      "/* \"w h n cpp\" inside a comment is not a string */\n"
      "\"3 2 3 3 0 0\",\n"
      "\"a b\tm black c light sea green s thing\",\n"
      "\" . g4 white c None\",\n"
      "\"zzz g gray c #00F\",\n"
      "// a line comment \"also ignored\"\n"
      "\"a b . zzz\",\n"
      "\"zzza b . \"};\n";
  TMemoryStream s(Text(file));
  RasterImage img;
  ASSERT_TRUE(ReadImageStream(s, img));
  EXPECT_EQ(img.Format, ifA8R8G8B8);
  ASSERT_EQ(img.Width, 3);
  const std::vector<uint8_t> sea = {170, 178, 32, 255}, none = {0, 0, 0, 0},
                             blue = {255, 0, 0, 255};
  auto px = [&](int x, int y) {
    const uint8_t* p = img.Row(y) + 4 * x;
    return std::vector<uint8_t>(p, p + 4);
  };
  EXPECT_EQ(px(0, 0), sea);
  EXPECT_EQ(px(1, 0), none);
  EXPECT_EQ(px(2, 0), blue);
  EXPECT_EQ(px(0, 1), blue);
  EXPECT_EQ(px(1, 1), sea);

  // Without a c key the gray or mono colour stands in.
  img = DecodeXpm(Text("/* XPM */ \"1 1 1 1\" \"x m white\" \"x\""));
  EXPECT_EQ(Pixels(img), (std::vector<uint8_t>{255, 255, 255, 255}));
}

TEST(Xpm, DamagedFilesFailCleanly) {
  const char* bad[] = {
      "/* XPM */ \"2 1 1 1\" \"x c red\" \"x\"",          // short row
      "/* XPM */ \"1 2 1 1\" \"x c red\" \"x\"",          // missing row
      "/* XPM */ \"1 1 1 1\" \"x c red\" \"y\"",          // undefined pixel
      "/* XPM */ \"1 1 2 1\" \"x c red\"",                // short colour table
      "/* XPM */ \"1 1 1 1\" \"x c blurple\" \"x\"",      // unknown name
      "/* XPM */ \"1 1 1 1\" \"x s sym\" \"x\"",          // no colour at all
      "/* XPM */ \"1 1 1 -1\" \"x c red\" \"x\"",         // negative width of keys
      "/* XPM */ \"0 1 1 1\" \"x c red\" \"\"",           // empty
      "/* XPM */ \"99999 99999 1 1\" \"x c red\" \"x\"",  // too large
      "/* XPM */ \"1 1 1 1\" \"x c red",                  // unterminated
      "/* XPM */ \"1 1 999999999 1\" \"x c red\" \"x\"",
      "/* XPM */ \"65535 4000 1 1\" \"x c red\" \"x\"",  // count beyond the text
  };
  for (const char* b : bad) EXPECT_THROW(DecodeXpm(Text(b)), EImagingError) << b;

  std::mt19937 rng(8);
  const std::string good =
      "/* XPM */\n\"4 2 2 2\",\n\"aa c #102030\",\n\"bb c None\",\n\"aabbaabb\",\n\"bbaabbaa\"};";
  for (int i = 0; i < 2000; ++i) {
    std::string d = good;
    for (int k = 0; k < 2; ++k) d[rng() % d.size()] = static_cast<char>(rng());
    try {
      EXPECT_TRUE(ImageIsValid(DecodeXpm(Text(d))));
    } catch (const EImagingError&) {
    }
  }
}

}  // namespace
}  // namespace imprimo
