#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging_test_util.h"

namespace imprimo {
namespace {

RasterImage SaveAndLoad(const std::string& ext, const RasterImage& img) {
  TMemoryStream stream;
  EXPECT_TRUE(WriteImageStream(ext, stream, img));
  stream.Seek(0, TSeekOrigin::Begin);
  RasterImage back;
  EXPECT_TRUE(ReadImageStream(stream, back));
  return back;
}

// Pixel bytes the formats store exactly for a given kept format: alpha-less
// packed formats carry an unused bit that files do not keep.
RasterImage KeptImage(TImageFormat f, uint32_t seed) {
  RasterImage img = test::RandomImage(f, 13, 7, seed);
  if (f == ifX1R5G5B5)
    for (int32_t i = 1; i < img.Size; i += 2) img.Bits[i] |= 0x80;
  if (f == ifX4R4G4B4)
    for (int32_t i = 1; i < img.Size; i += 2) img.Bits[i] |= 0xF0;
  if (f == ifX8R8G8B8)
    for (int32_t i = 3; i < img.Size; i += 4) img.Bits[i] = 0xFF;
  if (f == ifR32F || f == ifA32B32G32R32F) {
    float* p = reinterpret_cast<float*>(img.Bits.get());
    for (int32_t i = 0; i < img.Size / 4; ++i)
      p[i] = (f == ifA32B32G32R32F && i % 4 == 3) ? 1.0f : static_cast<float>(i % 17) / 3.0f - 1.5f;
  }
  return img;
}

TEST(FormatRoundTrips, EveryKeptPixelFormatIsByteExact) {
  struct Case {
    const char* ext;
    std::vector<TImageFormat> formats;
  };
  const Case cases[] = {
      {"bmp",
       {ifIndex8, ifR5G6B5, ifA1R5G5B5, ifA4R4G4B4, ifX1R5G5B5, ifX4R4G4B4, ifR8G8B8, ifA8R8G8B8,
        ifX8R8G8B8}},
      {"tga", {ifIndex8, ifGray8, ifA1R5G5B5, ifR8G8B8, ifA8R8G8B8}},
      {"pgm", {ifGray8, ifGray16}},
      {"ppm", {ifR8G8B8, ifR16G16B16}},
      {"pam",
       {ifGray8, ifA8Gray8, ifGray16, ifA16Gray16, ifR8G8B8, ifA8R8G8B8, ifR16G16B16,
        ifA16R16G16B16}},
      {"pfm", {ifR32F, ifA32B32G32R32F}},
  };
  for (const Case& c : cases) {
    for (int variant = 0; variant < 2; ++variant) {
      // Variant 1 switches the format's option: RLE for BMP/TGA, text for PGM/PPM.
      PushOptions();
      if (variant == 1) {
        SetImagingOption(ImagingBitmapRLE, 0);
        SetImagingOption(ImagingTargaRLE, 1);
        SetImagingOption(ImagingPGMSaveBinary, 0);
        SetImagingOption(ImagingPPMSaveBinary, 0);
      }
      for (TImageFormat f : c.formats) {
        RasterImage img = KeptImage(f, f + variant);
        RasterImage back = SaveAndLoad(c.ext, img);
        const bool xAsA = f == ifX8R8G8B8 && back.Format == ifA8R8G8B8;
        EXPECT_TRUE(back.Format == f || xAsA)
            << c.ext << " " << GetImageFormatInfo(f)->Name << " came back as " << back.Format;
        EXPECT_EQ(test::Pixels(back), test::Pixels(img))
            << c.ext << " " << GetImageFormatInfo(f)->Name;
        if (f == ifIndex8 && back.Palette) {
          for (int i = 0; i < 256; ++i)
            EXPECT_EQ(back.Palette[i], img.Palette[i]) << c.ext << " entry " << i;
        }
      }
      PopOptions();
    }
  }
}

TEST(FormatRoundTrips, OddSizesAndRunsSurvive) {
  // Long runs, single pixels and widths that need row padding.
  for (int w : {1, 2, 3, 5, 255, 300}) {
    RasterImage img;
    ImageCreate(img, w, 3, ifIndex8);
    for (int i = 0; i < 256; ++i)
      img.Palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 255};
    for (int32_t i = 0; i < img.Size; ++i)
      img.Bits[i] = (i / 7) % 3 == 0 ? 5 : static_cast<uint8_t>(i * 31);
    EXPECT_EQ(test::Pixels(SaveAndLoad("bmp", img)), test::Pixels(img)) << w;
    PushOptions();
    SetImagingOption(ImagingTargaRLE, 1);
    EXPECT_EQ(test::Pixels(SaveAndLoad("tga", img)), test::Pixels(img)) << w;
    PopOptions();
  }
}

TEST(FormatSaving, ConversionsOfEachFormat) {
  RasterImage argb = test::RandomImage(ifA8R8G8B8, 4, 4, 1);
  EXPECT_EQ(SaveAndLoad("pgm", argb).Format, ifGray8);
  EXPECT_EQ(SaveAndLoad("pfm", argb).Format, ifA32B32G32R32F);
  EXPECT_EQ(SaveAndLoad("ppm", argb).Format, ifR8G8B8);
  EXPECT_EQ(SaveAndLoad("pam", argb).Format, ifA8R8G8B8);
  RasterImage gray = test::RandomImage(ifGray8, 4, 4, 1);
  EXPECT_EQ(SaveAndLoad("pfm", gray).Format, ifR32F);
  EXPECT_EQ(SaveAndLoad("bmp", gray).Format, ifIndex8);
  EXPECT_EQ(SaveAndLoad("tga", gray).Format, ifGray8);
  RasterImage wide = test::RandomImage(ifA16B16G16R16, 4, 4, 1);
  EXPECT_EQ(SaveAndLoad("pgm", wide).Format, ifGray16);
  EXPECT_EQ(SaveAndLoad("ppm", wide).Format, ifR16G16B16);
  EXPECT_EQ(SaveAndLoad("bmp", wide).Format, ifA8R8G8B8);
  RasterImage packed = test::RandomImage(ifR3G3B2, 4, 4, 1);
  EXPECT_EQ(SaveAndLoad("bmp", packed).Format, ifX1R5G5B5);
  EXPECT_EQ(SaveAndLoad("tga", packed).Format, ifA1R5G5B5);
  RasterImage floats = KeptImage(ifR32F, 3);
  EXPECT_EQ(SaveAndLoad("bmp", floats).Format, ifR8G8B8);
  EXPECT_EQ(SaveAndLoad("pam", floats).Format, ifR16G16B16);
}

TEST(BmpCodec, EightBitImagesAreRunLengthEncodedByDefault) {
  RasterImage img;
  ImageCreate(img, 64, 8, ifIndex8);
  for (int32_t i = 0; i < img.Size; ++i) img.Bits[i] = static_cast<uint8_t>(i / 16);
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("bmp", stream, img));
  const auto& rle = stream.Data();
  ASSERT_GT(rle.size(), 34u);
  EXPECT_EQ(rle[30], 1);  // BI_RLE8
  EXPECT_LT(rle.size(), 14u + 40 + 1024 + 64 * 8);
  SetImagingOption(ImagingBitmapRLE, 0);
  TMemoryStream plain;
  WriteImageStream("bmp", plain, img);
  SetImagingOption(ImagingBitmapRLE, -1);
  EXPECT_EQ(plain.Data()[30], 0);
  EXPECT_EQ(plain.Data().size(), 14u + 40 + 1024 + 64 * 8);
}

TEST(BmpCodec, BitFieldsOnlyWhereNeeded) {
  auto compression = [](TImageFormat f) {
    return EncodeBmp(test::RandomImage(f, 2, 2, 1), false)[30];
  };
  EXPECT_EQ(compression(ifX1R5G5B5), 0);
  EXPECT_EQ(compression(ifR5G6B5), 3);
  EXPECT_EQ(compression(ifA1R5G5B5), 3);
  EXPECT_EQ(compression(ifA4R4G4B4), 3);
  EXPECT_EQ(compression(ifX4R4G4B4), 3);
  EXPECT_EQ(compression(ifR8G8B8), 0);
  EXPECT_EQ(compression(ifA8R8G8B8), 0);
}

// Builds a small 8-bit BMP with the given pixel bytes (RLE or raw).
std::vector<uint8_t> Bmp8(int w, int h, uint32_t compression, const std::vector<uint8_t>& bits,
                          uint32_t colors = 2) {
  TByteWriter out;
  out.Text("BM");
  out.U32LE(0);
  out.U32LE(0);
  out.U32LE(14 + 40 + colors * 4);
  out.U32LE(40);
  out.U32LE(static_cast<uint32_t>(w));
  out.U32LE(static_cast<uint32_t>(h));
  out.U16LE(1);
  out.U16LE(8);
  out.U32LE(compression);
  out.U32LE(static_cast<uint32_t>(bits.size()));
  out.U32LE(0);
  out.U32LE(0);
  out.U32LE(colors);
  out.U32LE(0);
  for (uint32_t i = 0; i < colors; ++i) out.U32LE(i * 0x010101);
  out.Bytes(bits);
  return std::move(out.Data());
}

TEST(BmpCodec, RunLengthDecodingWithDeltasAndBounds) {
  // Row 0 (bottom): run of 3 x index 1, end of line; row 1: delta (1,0), absolute 1 pixel; end.
  RasterImage img = DecodeBmp(Bmp8(3, 2, 1, {3, 1, 0, 0, 0, 2, 1, 0, 1, 1, 0, 1}));
  EXPECT_EQ(test::Pixels(img), (std::vector<uint8_t>{0, 1, 0, 1, 1, 1}));
  // A run that writes past the row, a delta out of the image, data past the palette.
  EXPECT_THROW(DecodeBmp(Bmp8(3, 2, 1, {4, 1, 0, 1})), EImagingError);
  EXPECT_THROW(DecodeBmp(Bmp8(3, 2, 1, {0, 2, 9, 0, 1, 1})), EImagingError);
  EXPECT_THROW(DecodeBmp(Bmp8(3, 2, 1, {0, 0, 0, 0, 0, 0, 1, 1})), EImagingError);
  EXPECT_THROW(DecodeBmp(Bmp8(3, 1, 1, {3, 7, 0, 1})), EImagingError);  // index 7 of 2 colours
  EXPECT_THROW(DecodeBmp(Bmp8(3, 1, 1, {0, 5, 1})), EImagingError);     // absolute run cut short
}

TEST(BmpCodec, HeaderChecks) {
  const std::vector<uint8_t> row = {0, 1, 0, 0};
  EXPECT_NO_THROW(DecodeBmp(Bmp8(3, 1, 0, row)));
  EXPECT_THROW(DecodeBmp(Bmp8(3, 2, 0, row)), EImagingError);      // truncated pixels
  EXPECT_THROW(DecodeBmp(Bmp8(0, 1, 0, row)), EImagingError);      // zero width
  EXPECT_THROW(DecodeBmp(Bmp8(70000, 1, 0, row)), EImagingError);  // gigantic
  EXPECT_THROW(DecodeBmp(Bmp8(30000, 30000, 0, row)), EImagingError);
  EXPECT_NO_THROW(DecodeBmp(Bmp8(3, 1, 0, row, 300)));  // long palette, all present
  auto absurdPalette = Bmp8(3, 1, 0, row, 300);
  absurdPalette[47] = 0x10;  // 0x1000012C colours
  EXPECT_THROW(DecodeBmp(absurdPalette), EImagingError);
  auto badPlanes = Bmp8(3, 1, 0, row);
  badPlanes[26] = 2;
  EXPECT_THROW(DecodeBmp(badPlanes), EImagingError);
  auto topDownRle = Bmp8(3, 1, 1, {3, 1, 0, 1});
  topDownRle[22] = 0xFF, topDownRle[23] = 0xFF, topDownRle[24] = 0xFF, topDownRle[25] = 0xFF;
  EXPECT_THROW(DecodeBmp(topDownRle), EImagingError);
}

void Append(std::vector<uint8_t>& v, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes) v.push_back(b);
}

TEST(TgaCodec, OriginsColourMapsAndBadInput) {
  // 2x2 24-bit, top-left origin with right-to-left flag: rows and columns flip.
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x30};
  for (uint8_t i = 1; i <= 4; ++i) Append(tga, {i, i, i});
  RasterImage img = DecodeTga(tga);
  EXPECT_EQ(img.Bits[0], 2);
  EXPECT_EQ(img.Bits[3], 1);
  EXPECT_EQ(img.Bits[6], 4);

  // Colour-mapped with a 16-bit map starting at entry 4.
  std::vector<uint8_t> cm = {0, 1, 1, 4, 0, 2,    0,    16,   0,    0,    0, 0,
                             2, 0, 1, 0, 8, 0x20, 0x1F, 0x00, 0x00, 0x7C, 4, 5};
  img = DecodeTga(cm);
  EXPECT_EQ(img.Format, ifIndex8);
  EXPECT_EQ(img.Palette[4], (TColor32Rec{255, 0, 0, 255}));
  EXPECT_EQ(img.Palette[5], (TColor32Rec{0, 0, 255, 255}));
  cm.back() = 6;  // index outside the map
  EXPECT_THROW(DecodeTga(cm), EImagingError);

  std::vector<uint8_t> rle = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0};
  auto runPastEnd = rle;
  Append(runPastEnd, {0x82, 1, 2, 3});  // 3 pixels into a 2-pixel image
  EXPECT_THROW(DecodeTga(runPastEnd), EImagingError);
  auto cut = rle;
  Append(cut, {0x00, 1, 2, 3});  // one pixel of two
  EXPECT_THROW(DecodeTga(cut), EImagingError);
  auto zero = rle;
  zero[12] = 0;
  EXPECT_THROW(DecodeTga(zero), EImagingError);
  EXPECT_THROW(DecodeTga(std::vector<uint8_t>(17, 0)), EImagingError);
  // 20000 x 20000 pixels with enough run-length data to look plausible.
  auto huge = rle;
  huge[12] = huge[14] = 0x20;
  huge[13] = huge[15] = 0x4E;
  huge.resize(3200000, 0xFF);
  try {
    DecodeTga(huge);
    ADD_FAILURE() << "huge image accepted";
  } catch (const EImagingError& e) {
    EXPECT_EQ(e.Kind(), EImagingErrorKind::TooLarge) << e.what();
  }
  auto noMap = cm;
  noMap[1] = 0;
  EXPECT_THROW(DecodeTga(noMap), EImagingError);
}

RasterImage Pnm(const std::string& text) {
  std::vector<uint8_t> d(text.begin(), text.end());
  return DecodePortableMap(d);
}

TEST(PortableMaps, HeadersSamplesAndScaling) {
  RasterImage img = Pnm("P1\n# comment\n3 2\n1 0 1\n010\n");
  EXPECT_EQ(img.Format, ifGray8);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint8_t>{0, 255, 0, 255, 0, 255}));
  img = Pnm("P2 2 1 15\n0 15\n");
  EXPECT_EQ(test::Pixels(img), (std::vector<uint8_t>{0, 255}));
  img = Pnm(std::string("P5\n1 1\n65535\n\x12\x34", 15));
  EXPECT_EQ(img.Format, ifGray16);
  EXPECT_EQ(img.Bits[0], 0x34);
  EXPECT_EQ(img.Bits[1], 0x12);
  img = Pnm("P3\n1 1\n255\n10 20 30\n");
  EXPECT_EQ(test::Pixels(img), (std::vector<uint8_t>{30, 20, 10}));
  img = Pnm(std::string("P4\n9 1\n\x80\x80", 10));
  EXPECT_EQ(img.Bits[0], 0);
  EXPECT_EQ(img.Bits[8], 0);
  EXPECT_EQ(img.Bits[1], 255);
  img =
      Pnm("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n\x05\x06");
  EXPECT_EQ(img.Format, ifA8Gray8);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint8_t>{5, 6}));
  img = Pnm(
      std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 1\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE\nENDHDR\n") +
      std::string("\x01\x00", 2));
  EXPECT_EQ(test::Pixels(img), (std::vector<uint8_t>{255, 0}));

  // Float maps: rows bottom-up, both byte orders.
  std::string pf = "Pf\n1 2\n1.0\n";
  const uint8_t be[8] = {0x3F, 0x80, 0, 0, 0x40, 0, 0, 0};  // 1.0, 2.0 big-endian
  pf.append(reinterpret_cast<const char*>(be), 8);
  img = Pnm(pf);
  ASSERT_EQ(img.Format, ifR32F);
  float v[2];
  std::memcpy(v, img.Bits.get(), 8);
  EXPECT_EQ(v[0], 2.0f);
  EXPECT_EQ(v[1], 1.0f);
}

// A comment may follow the magic number at once.
TEST(PortableMaps, CommentRightAfterTheMagicNumber) {
  RasterImage img = Pnm(std::string("P6#made by hand\n2 1\n255\n") + "\x01\x02\x03\x04\x05\x06");
  EXPECT_EQ(img.Width, 2);
  EXPECT_EQ(img.Format, ifR8G8B8);
  EXPECT_EQ(img.Bits[0], 3);  // blue first in the record
  img = Pnm("P2#x\n1 1 9\n9\n");
  EXPECT_EQ(img.Bits[0], 255);
  // Through the file layer too: detection by content, then loading.
  const auto dir = test::TempFolder("pnm-comment");
  const std::string text = "P5#comment\n# another\n1 1\n255\n\x2A";
  test::WriteBytes(dir / "c.pgm", std::vector<uint8_t>(text.begin(), text.end()));
  test::WriteBytes(dir / "c.dat", std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_EQ(DetectFileFormat((dir / "c.dat").string()), "pgm");
  RasterImage loaded;
  ASSERT_TRUE(ReadImageFile((dir / "c.pgm").string(), loaded));
  EXPECT_EQ(loaded.Bits[0], 0x2A);
  std::filesystem::remove_all(dir);
}

TEST(PortableMaps, BadInputFailsCleanly) {
  const char* bad[] = {
      "P2\n2 1\n15\n0 16\n",       // sample above maxval
      "P5\n0 1\n255\n",            // zero width
      "P5\n1 1\n65536\n\x01",      // maxval too large
      "P5\n1 1\n0\n\x01",          // maxval zero
      "P6\n2 2\n255\nabc",         // truncated
      "P5\n99999999999 1\n255\n",  // absurd width
      "P5\n60000 60000\n255\n",    // gigantic
      "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n\x01\x02\x03",
      "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE CMYK\nENDHDR\n\x01",
      "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n",  // no ENDHDR
      "P1\n2 1\n0 2\n",                                // bit that is neither 0 nor 1
      "PF\n1 1\n0\n\x01\x02\x03\x04",                  // zero scale
      "P#\n1 1\n",
  };
  for (const char* t : bad) EXPECT_THROW(Pnm(t), EImagingError) << t;
}

// Random damage to valid files must end in an image or EImagingError, quickly.
TEST(Robustness, MutatedFilesNeverCrash) {
  std::vector<std::vector<uint8_t>> seeds;
  RasterImage idx = test::RandomImage(ifIndex8, 17, 9, 3);
  for (int32_t i = 0; i < idx.Size; ++i) idx.Bits[i] = static_cast<uint8_t>(i / 5);
  seeds.push_back(EncodeBmp(idx, true));
  seeds.push_back(EncodeBmp(test::RandomImage(ifA1R5G5B5, 7, 5, 1), false));
  seeds.push_back(EncodeTga(idx, true));
  seeds.push_back(EncodeTga(test::RandomImage(ifA8R8G8B8, 5, 4, 1), true));
  seeds.push_back(EncodePortableMap(test::RandomImage(ifR16G16B16, 3, 3, 1), '3'));
  seeds.push_back(EncodePortableMap(test::RandomImage(ifA8Gray8, 3, 3, 1), '7'));
  std::mt19937 rng(12345);
  int decoded = 0, rejected = 0;
  for (const auto& seed : seeds) {
    for (int round = 0; round < 400; ++round) {
      std::vector<uint8_t> d = seed;
      const int edits = 1 + static_cast<int>(rng() % 4);
      for (int e = 0; e < edits; ++e) {
        const size_t at = rng() % d.size();
        switch (rng() % 3) {
          case 0:
            d[at] = static_cast<uint8_t>(rng());
            break;
          case 1:
            d.resize(at);
            break;
          default:
            d[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        }
        if (d.empty()) d.push_back(0);
      }
      for (auto decode : {DecodeBmp, DecodeTga}) {
        try {
          RasterImage img = decode(d);
          EXPECT_TRUE(ImageIsValid(img));
          ++decoded;
        } catch (const EImagingError&) {
          ++rejected;
        }
      }
      try {
        RasterImage img = DecodePortableMap(d);
        EXPECT_TRUE(ImageIsValid(img));
        ++decoded;
      } catch (const EImagingError&) {
        ++rejected;
      }
    }
  }
  EXPECT_GT(decoded, 0);
  EXPECT_GT(rejected, 0);
}

}  // namespace
}  // namespace imprimo
