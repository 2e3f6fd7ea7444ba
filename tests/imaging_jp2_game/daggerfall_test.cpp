// The game image formats: built-in palettes, headerless sizes, the save path
// (fit, palette mapping, size messages), run-length data, CIF layouts, BSI
// and texture files, and damaged input.
#include <gtest/gtest.h>

#include "imaging/formats/daggerfall_format.h"
#include "imaging_jp2_game/jp2_game_util.h"

namespace imprimo::jp2_game {
namespace {

std::vector<uint8_t> Header(int w, int h, int compression, int dataSize) {
  TByteWriter o;
  o.U16LE(3);  // display offsets are ignored
  o.U16LE(0xFFFF);
  o.U16LE(static_cast<uint16_t>(w));
  o.U16LE(static_cast<uint16_t>(h));
  o.U16LE(static_cast<uint16_t>(compression));
  o.U16LE(static_cast<uint16_t>(dataSize));
  return o.Data();
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> Ramp(size_t n, uint8_t start = 0) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(start + i * 7);
  return v;
}

RasterImage LoadFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = TempPath(name);
  WriteBytes(path, bytes);
  RasterImage img;
  EXPECT_TRUE(ReadImageFile(path, img)) << name;
  std::remove(path.c_str());
  return img;
}

TDynImageDataArray LoadSet(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = TempPath(name);
  WriteBytes(path, bytes);
  TDynImageDataArray set;
  EXPECT_TRUE(ReadMultiImageFile(path, set)) << name;
  std::remove(path.c_str());
  return set;
}

bool HasImagePalette(const RasterImage& img, const TElderPalette& pal) {
  TColor32Rec e[256];
  ExpandElderPalette(pal, e);
  return img.Palette && std::memcmp(e, img.Palette.get(), sizeof e) == 0;
}

TEST(DaggerfallPalette, FixedEntriesHoldTheirValuesAndRampsAreSmooth) {
  const TElderPalette& img = DaggerfallImagePalette();
  const TElderPalette& bsi = DaggerfallBsiPalette();
  auto rgb = [](const TElderPalette& p, int i) {
    return std::array<int, 3>{p[i * 3], p[i * 3 + 1], p[i * 3 + 2]};
  };
  EXPECT_EQ(rgb(img, 0), (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(rgb(bsi, 0), (std::array<int, 3>{0, 0, 0}));
  for (int i = 1; i <= 31; ++i) EXPECT_EQ(rgb(img, i), (std::array<int, 3>{255, 0, 255})) << i;
  for (int i = 1; i <= 15; ++i) EXPECT_EQ(rgb(bsi, i), (std::array<int, 3>{255, 0, 255})) << i;
  EXPECT_EQ(rgb(img, 32), (std::array<int, 3>{244, 202, 167}));
  EXPECT_EQ(rgb(img, 48), (std::array<int, 3>{232, 196, 196}));
  EXPECT_EQ(rgb(img, 64), (std::array<int, 3>{245, 212, 172}));
  EXPECT_EQ(rgb(bsi, 16), (std::array<int, 3>{133, 196, 183}));
  // Past the fixed entries no magenta repeats, and each 16-entry ramp darkens step by step.
  for (const auto* p : {&img, &bsi}) {
    const int first = p == &img ? 32 : 16;
    for (int i = first; i < 256; ++i) {
      EXPECT_NE(rgb(*p, i), (std::array<int, 3>{255, 0, 255})) << i;
      if ((i - first) % 16 != 0)
        for (int c = 0; c < 3; ++c) {
          EXPECT_LE(rgb(*p, i)[c], rgb(*p, i - 1)[c]) << i;
          EXPECT_LE(rgb(*p, i - 1)[c] - rgb(*p, i)[c], 20) << i;
        }
    }
  }
  TColor32Rec e[256];
  ExpandElderPalette(img, e);
  EXPECT_EQ(e[0].A, 0);
  EXPECT_EQ(e[32], (TColor32Rec{167, 202, 244, 255}));
}

TEST(DaggerfallImg, HeaderlessFilesOfKnownSizes) {
  // 64768 bytes: 320 x 200 followed by the file's own palette.
  std::vector<uint8_t> pixels = Ramp(64000, 5);
  std::vector<uint8_t> palette(768);
  for (int i = 0; i < 768; ++i) palette[i] = static_cast<uint8_t>(255 - i % 256);
  RasterImage withPal = LoadFile("withpal.img", Concat({pixels, palette}));
  ASSERT_TRUE(ImageIsValid(withPal));
  EXPECT_EQ(withPal.Width, 320);
  EXPECT_EQ(withPal.Height, 200);
  EXPECT_EQ(withPal.Format, ifIndex8);
  EXPECT_EQ(Pixels(withPal), pixels);
  EXPECT_EQ(withPal.Palette[0], (TColor32Rec{palette[2], palette[1], palette[0], 0}));
  EXPECT_EQ(withPal.Palette[100], (TColor32Rec{palette[302], palette[301], palette[300], 255}));

  // 64000 bytes: the same picture with the built-in palette.
  RasterImage plain = LoadFile("plain.img", pixels);
  EXPECT_EQ(plain.Width, 320);
  EXPECT_EQ(plain.Height, 200);
  EXPECT_TRUE(HasImagePalette(plain, DaggerfallImagePalette()));
  EXPECT_EQ(Pixels(plain), pixels);

  // Every size of the table, whatever the first bytes say.
  const int sizes[][3] = {{64, 8, 8},        {90, 9, 10},      {128, 8, 16},      {720, 9, 80},
                          {990, 45, 22},     {1720, 43, 40},   {2140, 107, 20},   {2916, 81, 36},
                          {3200, 40, 80},    {3938, 179, 22},  {4096, 64, 64},    {4280, 107, 40},
                          {4508, 322, 14},   {20480, 320, 64}, {26496, 184, 144}, {68800, 320, 215},
                          {112128, 512, 219}};
  for (const auto& s : sizes) {
    RasterImage img = LoadFile("t.img", Ramp(s[0], 1));
    EXPECT_EQ(img.Width, s[1]) << s[0];
    EXPECT_EQ(img.Height, s[2]) << s[0];
  }
}

TEST(DaggerfallImg, HeaderedRawAndRunLengthImages) {
  // Raw, with and without a trailing palette.
  auto raw = Concat({Header(5, 3, 0, 15), Ramp(15)});
  RasterImage a = LoadFile("raw.img", raw);
  EXPECT_EQ(a.Width, 5);
  EXPECT_EQ(Pixels(a), Ramp(15));
  EXPECT_TRUE(HasImagePalette(a, DaggerfallImagePalette()));
  std::vector<uint8_t> pal(768, 9);
  RasterImage b = LoadFile("rawpal.img", Concat({raw, pal}));
  EXPECT_EQ(Pixels(b), Ramp(15));
  EXPECT_EQ(b.Palette[7], (TColor32Rec{9, 9, 9, 255}));

  // Run-length: a repeat of 128 (0xFF), a single repeat (0x80), a literal run
  // and a final run cut at the end of the image.
  std::vector<uint8_t> rle = {0xFF, 0x11, 0x80, 0x22, 0x02, 1, 2, 3, 0x85, 0x33};
  RasterImage c = LoadFile("rle.img", Concat({Header(134, 1, 2, int(rle.size())), rle}));
  ASSERT_EQ(c.Size, 134);
  for (int i = 0; i < 128; ++i) ASSERT_EQ(c.Bits[i], 0x11) << i;
  EXPECT_EQ(c.Bits[128], 0x22);
  EXPECT_EQ(c.Bits[129], 1);
  EXPECT_EQ(c.Bits[131], 3);
  EXPECT_EQ(c.Bits[132], 0x33);
  EXPECT_EQ(c.Bits[133], 0x33);

  // The codings that are not read fail the load.
  for (int comp : {260, 264}) {
    const std::string path = TempPath("unread.img");
    WriteBytes(path, Concat({Header(4, 4, comp, 16), Ramp(16)}));
    RasterImage img;
    bool ok = true;
    try {
      ok = ReadImageFile(path, img);
    } catch (const EImagingError&) {
      ok = false;
    }
    EXPECT_FALSE(ok) << comp;
  }
}

TEST(DaggerfallRle, RunsAreCutAtTheImageEndAndShortInputFails) {
  std::vector<uint8_t> out(3);
  EXPECT_EQ(DecodeElderRle(std::vector<uint8_t>{0xFF, 7}, out), 2u);
  EXPECT_EQ(out, (std::vector<uint8_t>{7, 7, 7}));
  EXPECT_EQ(DecodeElderRle(std::vector<uint8_t>{0x04, 1, 2, 3, 4, 5}, out), 6u);
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_THROW(DecodeElderRle(std::vector<uint8_t>{0x80, 1}, out), EImagingError);
  EXPECT_THROW(DecodeElderRle(std::vector<uint8_t>{0x05, 1, 2}, out), EImagingError);
  EXPECT_THROW(DecodeElderRle(std::vector<uint8_t>{0x81}, out), EImagingError);
}

TEST(DaggerfallImg, ContentTestFollowsTheHeaderRules) {
  auto accepts = [](const std::vector<uint8_t>& file, bool multi) {
    return ElderImgCifAccepts(file, file.size(), multi);
  };
  auto img = Concat({Header(10, 10, 0, 100), Ramp(100)});
  EXPECT_TRUE(accepts(img, false));
  EXPECT_FALSE(accepts(img, true));
  auto more = Concat({img, Ramp(40)});
  EXPECT_FALSE(accepts(more, false));
  EXPECT_TRUE(accepts(more, true));
  EXPECT_TRUE(accepts(Concat({img, std::vector<uint8_t>(768)}), false));
  // Data size larger than the pixels, zero data size, zero sides, too many pixels.
  EXPECT_FALSE(accepts(Concat({Header(10, 10, 0, 101), Ramp(101)}), false));
  EXPECT_FALSE(accepts(Concat({Header(10, 10, 0, 0), Ramp(1)}), true));
  EXPECT_FALSE(accepts(Concat({Header(0, 10, 0, 5), Ramp(5)}), false));
  EXPECT_FALSE(accepts(Concat({Header(300, 300, 0, 100), Ramp(100)}), false));
  EXPECT_FALSE(accepts({}, false));
  // Sizes of the tables go to their own format only.
  EXPECT_TRUE(accepts(std::vector<uint8_t>(4096), false));
  EXPECT_FALSE(accepts(std::vector<uint8_t>(4096), true));
  EXPECT_TRUE(accepts(std::vector<uint8_t>(2601), true));
  EXPECT_FALSE(accepts(std::vector<uint8_t>(2601), false));
}

TEST(DaggerfallSave, LargePictureIsFittedMappedAndReadBack) {
  RasterImage photo = SmoothRgb(640, 480);
  const std::string path = TempPath("photo.img");
  ASSERT_TRUE(WriteImageFile(path, photo));
  const auto bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 12u + 53200u);
  EXPECT_EQ(bytes[4] | bytes[5] << 8, 266);
  EXPECT_EQ(bytes[6] | bytes[7] << 8, 200);
  EXPECT_EQ(bytes[8] | bytes[9] << 8, 0);
  EXPECT_EQ(bytes[10] | bytes[11] << 8, 53200);
  EXPECT_EQ(bytes[0] | bytes[1] | bytes[2] | bytes[3], 0);
  RasterImage back;
  ASSERT_TRUE(ReadImageFile(path, back));
  EXPECT_EQ(back.Width, 266);
  EXPECT_EQ(back.Height, 200);
  EXPECT_TRUE(HasImagePalette(back, DaggerfallImagePalette()));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 12, bytes.end()), Pixels(back));
  // The mapped picture keeps the source's overall colour.
  RasterImage colour;
  ImageClone(back, colour);
  ImageConvert(colour, ifR8G8B8);
  for (int c = 0; c < 3; ++c) {
    double a = 0, b = 0;
    for (int32_t i = c; i < photo.Size; i += 3) a += photo.Bits[i];
    for (int32_t i = c; i < colour.Size; i += 3) b += colour.Bits[i];
    EXPECT_NEAR(a / (photo.Size / 3), b / (colour.Size / 3), 20.0) << c;
  }
  std::remove(path.c_str());

  // A portrait picture goes into 200 x 320; small pictures keep their size.
  EXPECT_EQ(ElderFittedSize(480, 640).Width, 200);
  EXPECT_EQ(ElderFittedSize(480, 640).Height, 266);
  EXPECT_EQ(ElderFittedSize(1000, 100).Width, 320);
  EXPECT_EQ(ElderFittedSize(1000, 100).Height, 32);
  EXPECT_EQ(ElderFittedSize(255, 257).Width, 255);
  EXPECT_EQ(ElderFittedSize(60000, 2).Height, 1);
}

TEST(DaggerfallSave, CifOfOnePictureEqualsTheImg) {
  RasterImage photo = SmoothRgb(300, 250);
  const std::string a = TempPath("one.img"), b = TempPath("one.cif");
  ASSERT_TRUE(WriteImageFile(a, photo));
  ASSERT_TRUE(WriteImageFile(b, photo));
  EXPECT_EQ(ReadBytes(a), ReadBytes(b));
  EXPECT_EQ(ReadBytes(a).size(), 12u + 240u * 200u);
  std::remove(a.c_str());
  std::remove(b.c_str());
}

TEST(DaggerfallSave, CifKeepsEveryImageOfASet) {
  TDynImageDataArray set(3);
  for (int i = 0; i < 3; ++i) {
    ImageCreate(set[i], 5 + i, 4, ifIndex8);
    ExpandElderPalette(DaggerfallImagePalette(), set[i].Palette.get());
    for (int32_t k = 0; k < set[i].Size; ++k) set[i].Bits[k] = static_cast<uint8_t>(k * (i + 3));
  }
  const std::string path = TempPath("set.cif");
  ASSERT_TRUE(WriteMultiImageFile(path, set));
  EXPECT_EQ(ReadBytes(path).size(), 3u * 12u + 20u + 24u + 28u);
  TDynImageDataArray back;
  ASSERT_TRUE(ReadMultiImageFile(path, back));
  ASSERT_EQ(back.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back[i].Width, 5 + i);
    EXPECT_EQ(Pixels(back[i]), Pixels(set[i]));
  }
  std::remove(path.c_str());
}

TEST(DaggerfallSave, PaletteColoursRoundTripExactlyInEveryPixelFormat) {
  TColor32Rec entries[256];
  ExpandElderPalette(DaggerfallImagePalette(), entries);
  // A picture made of palette colours (entry 0 is transparent black).
  RasterImage src;
  ImageCreate(src, 37, 23, ifA8R8G8B8);
  std::vector<uint8_t> indices(src.Width * src.Height);
  for (size_t i = 0; i < indices.size(); ++i) {
    uint8_t idx = static_cast<uint8_t>((i * 13) % 256);
    if (idx >= 2 && idx <= 31) idx = 1;  // magenta maps to its first entry
    indices[i] = idx;
    std::memcpy(&src.Bits[i * 4], &entries[idx], 4);
  }
  for (TImageFormat f : {ifA8R8G8B8, ifA16R16G16B16, ifA16B16G16R16}) {
    for (const char* ext : {"img", "cif"}) {
      SCOPED_TRACE(std::string(GetImageFormatInfo(f)->Name) + " " + ext);
      RasterImage copy;
      ImageClone(src, copy);
      ImageConvert(copy, f);
      RasterImage back;
      ASSERT_TRUE(LoadFromMemory(SaveToMemory(ext, copy), back));
      EXPECT_EQ(back.Format, ifIndex8);
      EXPECT_EQ(Pixels(back), indices);
    }
  }
  // Opaque colours never pick the transparent entry 0; ties go to the first entry.
  RasterImage black;
  ImageCreate(black, 2, 1, ifA8R8G8B8);
  black.Bits[3] = 255;  // opaque black, then transparent black
  FitAndMapToElderPalette(black, DaggerfallImagePalette());
  EXPECT_NE(black.Bits[0], 0);
  EXPECT_EQ(black.Bits[1], 0);
}

TEST(DaggerfallSave, IndexedImageWithTheFormatPaletteIsWrittenAsItIs) {
  RasterImage img;
  ImageCreate(img, 20, 10, ifIndex8);
  ExpandElderPalette(DaggerfallImagePalette(), img.Palette.get());
  for (int32_t i = 0; i < img.Size; ++i) img.Bits[i] = static_cast<uint8_t>(i);
  auto bytes = SaveToMemory("img", img);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 12, bytes.end()), Pixels(img));

  // Such an image is not fitted, so an oversized one is refused with the size message.
  RasterImage big;
  ImageCreate(big, 300, 300, ifIndex8);
  ExpandElderPalette(DaggerfallImagePalette(), big.Palette.get());
  for (const char* ext : {"img", "cif"}) {
    TMemoryStream s;
    try {
      WriteImageStream(ext, s, big);
      FAIL() << "no error for " << ext;
    } catch (const EImagingError& e) {
      const std::string want = std::string(ext) == "img"
                                   ? "Size of image in IMG format cannot exceed 65535 bytes."
                                   : "Size of image in IMG/CIF format cannot exceed 65535 bytes.";
      EXPECT_NE(std::string(e.what()).find(want), std::string::npos) << e.what();
    }
  }
}

TEST(DaggerfallCif, PlainHeaderlessAndWeaponLayouts) {
  // Plain: a raw record, a run-length record, a raw one.
  auto plain = Concat({Header(4, 2, 0, 8),
                       Ramp(8),
                       Header(3, 3, 2, 4),
                       {0x87, 0x44, 0x00, 0x45},
                       Header(2, 2, 0, 4),
                       Ramp(4, 9)});
  auto set = LoadSet("plain.cif", plain);
  ASSERT_EQ(set.size(), 3u);
  EXPECT_EQ(Pixels(set[0]), Ramp(8));
  EXPECT_EQ(Pixels(set[1]),
            (std::vector<uint8_t>{0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x45}));
  EXPECT_EQ(Pixels(set[2]), Ramp(4, 9));
  RasterImage first = LoadFile("plain.cif", plain);
  EXPECT_EQ(Pixels(first), Ramp(8));

  // Headerless: 2601 bytes are nine 17 x 17 images.
  auto nine = LoadSet("faces.cif", Ramp(2601));
  ASSERT_EQ(nine.size(), 9u);
  EXPECT_EQ(nine[8].Width, 17);
  EXPECT_EQ(nine[8].Bits[0], Ramp(2601)[8 * 289]);

  // Weapon: a first record, then one group of two run-length frames of 3 x 2.
  std::vector<uint8_t> group(76);
  auto put16 = [&](size_t at, int v) {
    group[at] = static_cast<uint8_t>(v);
    group[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  const std::vector<uint8_t> f1 = {0x85, 0x07}, f2 = {0x05, 1, 2, 3, 4, 5, 6};
  put16(0, 3);
  put16(2, 2);
  put16(4, 76);
  put16(6, 78);
  put16(74, 76 + int(f1.size() + f2.size()));
  auto weapon = Concat({Header(2, 2, 0, 4), Ramp(4), group, f1, f2});
  auto frames = LoadSet("weapon01.cif", weapon);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].Width, 3);
  EXPECT_EQ(Pixels(frames[1]), std::vector<uint8_t>(6, 7));
  EXPECT_EQ(Pixels(frames[2]), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  // Compression 21 in the first header marks the layout as well.
  auto marked = Concat({Header(2, 2, 21, 4), Ramp(4), group, f1, f2});
  EXPECT_EQ(LoadSet("weapon02.cif", marked).size(), 3u);
}

std::vector<uint8_t> Chunk(const char* tag, const std::vector<uint8_t>& body) {
  TByteWriter o;
  o.Text(std::string_view(tag, 4));
  o.U32BE(static_cast<uint32_t>(body.size()));
  o.Bytes(body);
  return o.Data();
}

std::vector<uint8_t> Bhdr(int w, int h, int frames) {
  std::vector<uint8_t> b(26);
  b[4] = static_cast<uint8_t>(w);
  b[6] = static_cast<uint8_t>(h);
  b[14] = static_cast<uint8_t>(frames);
  return b;
}

TEST(DaggerfallBsi, StandaloneArchiveAndAnimatedImages) {
  auto still = Concat({Chunk("IFHD", std::vector<uint8_t>(44)), Chunk("BSIF", {}),
                       Chunk("BHDR", Bhdr(4, 3, 1)), Chunk("DATA", Ramp(12)), Chunk("END ", {})});
  RasterImage a = LoadFile("one.bsi", still);
  EXPECT_EQ(a.Width, 4);
  EXPECT_EQ(Pixels(a), Ramp(12));
  EXPECT_TRUE(HasImagePalette(a, DaggerfallBsiPalette()));

  // An archive entry with its own palette and two frames of 2 x 2 in a row table.
  std::vector<uint8_t> table;
  const uint32_t rowOffsets[] = {16, 18, 20, 22};
  for (uint32_t off : rowOffsets)
    for (int s = 0; s < 32; s += 8) table.push_back(static_cast<uint8_t>(off >> s));
  auto data = Concat({table, {1, 2, 3, 4, 5, 6, 7, 8}});
  std::vector<uint8_t> cmap(768, 50);
  auto body = Concat({Chunk("BSIF", {}), Chunk("BHDR", Bhdr(2, 2, 2)), Chunk("CMAP", cmap),
                      Chunk("DATA", data), Chunk("END ", {})});
  TByteWriter entry;
  entry.Text("TEXNAME01");
  entry.U32LE(static_cast<uint32_t>(body.size()));
  entry.Bytes(body);
  auto archive = Concat({entry.Data(), std::vector<uint8_t>(13)});
  auto set = LoadSet("texbsi.001", archive);
  ASSERT_EQ(set.size(), 2u);
  EXPECT_EQ(Pixels(set[1]), (std::vector<uint8_t>{5, 6, 7, 8}));
  EXPECT_EQ(set[0].Palette[3], (TColor32Rec{50, 50, 50, 255}));

  // A chunk longer than the file is reported by name.
  auto cut = Concat({Chunk("IFHD", {}), Chunk("BHDR", Bhdr(4, 3, 1)), Chunk("DATA", Ramp(12))});
  cut.resize(cut.size() - 3);
  TDynImageDataArray none;
  try {
    DecodeBsi(cut, DaggerfallBsiPalette(), none, false);
    FAIL();
  } catch (const EImagingError& e) {
    EXPECT_STREQ(e.what(), "Error when reading DATA chunk data.");
  }
}

TEST(DaggerfallTexture, RawAndRunLengthRecords) {
  TByteWriter f;
  f.U16LE(2);
  std::string name = "Test textures";
  name.resize(24, '\0');
  f.Text(name);
  const uint32_t rec1 = 26 + 40, rec2 = rec1 + 28 + 256 * 2;
  for (uint32_t pos : {rec1, rec2}) {
    f.U16LE(0);
    f.U32LE(pos);
    f.U16LE(0);
    f.U32LE(0);
    for (int i = 0; i < 8; ++i) f.U8(0);
  }
  auto record = [&](int w, int h, int comp) {
    f.U16LE(0), f.U16LE(0), f.U16LE(static_cast<uint16_t>(w)), f.U16LE(static_cast<uint16_t>(h));
    f.U16LE(static_cast<uint16_t>(comp));
    f.U32LE(0);
    f.U32LE(28);
    f.U16LE(0);
    f.U16LE(1);
    for (int i = 0; i < 6; ++i) f.U8(0);
  };
  record(3, 2, 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 256; ++x) f.U8(static_cast<uint8_t>(y * 10 + x));
  record(4, 2, 0x0108);
  // Row table: row 0 raw at 8, row 1 run-length at 12.
  f.U16LE(8), f.U16LE(0), f.U16LE(12), f.U16LE(0x8000);
  f.U8(9), f.U8(8), f.U8(7), f.U8(6);
  f.U8(0x83), f.U8(5);
  auto set = LoadSet("texture.001", f.Data());
  ASSERT_EQ(set.size(), 2u);
  EXPECT_EQ(Pixels(set[0]), (std::vector<uint8_t>{0, 1, 2, 10, 11, 12}));
  EXPECT_EQ(Pixels(set[1]), (std::vector<uint8_t>{9, 8, 7, 6, 5, 5, 5, 5}));
}

TEST(DaggerfallTexture, AnimatedRecordGivesEveryFrame) {
  TByteWriter f;
  f.U16LE(1);
  f.Text(std::string("Animated\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 24));
  f.U16LE(0), f.U32LE(46), f.U16LE(0), f.U32LE(0), f.U32LE(0), f.U32LE(0);
  f.U16LE(0), f.U16LE(0), f.U16LE(2), f.U16LE(2), f.U16LE(0), f.U32LE(0), f.U32LE(28);
  f.U16LE(0), f.U16LE(3), f.U16LE(0), f.U16LE(0), f.U16LE(0);
  // Frame table (3 frames) then the frames, the last one first in the file.
  f.U32LE(16), f.U32LE(20), f.U32LE(12);
  for (uint8_t v : {30, 31, 32, 33, 10, 11, 12, 13, 20, 21, 22, 23}) f.U8(v);
  auto set = LoadSet("texture.002", f.Data());
  ASSERT_EQ(set.size(), 3u);
  EXPECT_EQ(Pixels(set[0]), (std::vector<uint8_t>{10, 11, 12, 13}));
  EXPECT_EQ(Pixels(set[1]), (std::vector<uint8_t>{20, 21, 22, 23}));
  EXPECT_EQ(Pixels(set[2]), (std::vector<uint8_t>{30, 31, 32, 33}));
  // A frame offset past the data fails the file.
  auto bad = f.Data();
  bad[46 + 28] = 200;
  TDynImageDataArray none;
  EXPECT_THROW(DecodeDaggerfallTexture(bad, DaggerfallImagePalette(), none, false), EImagingError);
}

TEST(DaggerfallDamage, SmallFilesCannotClaimLargeImages) {
  // Two thousand 255 x 255 records of one data byte each: 26 KB that would
  // describe 130 million pixels.
  std::vector<uint8_t> cif;
  for (int i = 0; i < 2000; ++i) {
    auto rec = Concat({Header(255, 255, 0, 1), {7}});
    cif.insert(cif.end(), rec.begin(), rec.end());
  }
  TDynImageDataArray set;
  EXPECT_THROW(DecodeDaggerfallCif(cif, DaggerfallImagePalette(), set, false), EImagingError);
  // Only the first image is made when only the first is asked for.
  TDynImageDataArray first;
  DecodeDaggerfallCif(cif, DaggerfallImagePalette(), first, true);
  EXPECT_EQ(first.size(), 1u);
  // A run-length image whose two data bytes cannot fill it.
  EXPECT_THROW(
      DecodeDaggerfallImg(Concat({Header(255, 255, 2, 2), {0xFF, 1}}), DaggerfallImagePalette()),
      EImagingError);
  // More than 65535 pixels in a header.
  EXPECT_THROW(
      DecodeDaggerfallImg(Concat({Header(300, 300, 0, 4), Ramp(90000)}), DaggerfallImagePalette()),
      EImagingError);
}

TEST(DaggerfallDamage, TruncatedAndFlippedFilesFailCleanly) {
  std::vector<uint8_t> group(76);
  group[0] = 3, group[2] = 2, group[4] = 76, group[74] = 76 + 2;
  const std::vector<std::vector<uint8_t>> files = {
      Concat({Header(4, 2, 0, 8), Ramp(8), Header(3, 3, 2, 4), {0x88, 0x44, 0x00, 0x45}}),
      Concat({Header(2, 2, 0, 4), Ramp(4), group, {0x85, 0x07}}),
      Concat({Chunk("IFHD", {}), Chunk("BHDR", Bhdr(2, 2, 2)),
              Chunk("DATA", Concat({Ramp(16), Ramp(8)})), Chunk("END ", {})})};
  std::mt19937 rng(9);
  for (const auto& good : files) {
    for (int k = 0; k < 300; ++k) {
      auto bad = good;
      if (k % 3 == 0) bad.resize(rng() % bad.size());
      for (int n = 0; n < 3; ++n)
        if (!bad.empty()) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
      for (auto decode : {&DecodeDaggerfallCif, &DecodeBsi, &DecodeDaggerfallTexture}) {
        TDynImageDataArray set;
        try {
          decode(bad, DaggerfallImagePalette(), set, false);
          for (const auto& img : set) EXPECT_TRUE(ImageIsValid(img));
        } catch (const EImagingError&) {
        }
      }
      try {
        RasterImage img = DecodeDaggerfallImg(bad, DaggerfallImagePalette());
        EXPECT_TRUE(ImageIsValid(img));
      } catch (const EImagingError&) {
      }
    }
  }
}

}  // namespace
}  // namespace imprimo::jp2_game
