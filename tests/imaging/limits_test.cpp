// The allocation gate and error kinds: which check refuses a size, and that a
// small file declaring a giant picture is refused before memory is taken.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging/formats/daggerfall_format.h"
#include "imaging/formats/dds_format.h"
#include "imaging/formats/gif_codec.h"
#include "imaging/formats/heif_format.h"
#include "imaging/formats/jng_codec.h"
#include "imaging/formats/jp2_format.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/mng_codec.h"
#include "imaging/formats/pcx_format.h"
#include "imaging/formats/png_codec.h"
#include "imaging/formats/psd_format.h"
#include "imaging/formats/tiff_format.h"
#include "imaging/formats/webp_format.h"
#include "imaging/formats/xpm_format.h"
#include "imaging_test_util.h"

namespace imprimo {
namespace {

using testing::TPeakAllocation;

// The kind and text of the error f throws; fails the test when it throws none.
EImagingErrorKind KindOf(const std::function<void()>& f, std::string* message = nullptr) {
  try {
    f();
  } catch (const EImagingError& e) {
    if (message) *message = e.what();
    return e.Kind();
  }
  ADD_FAILURE() << "no error";
  return EImagingErrorKind::Other;
}

TEST(ImageLimits, ChecksSidesThenPixelsThenBytes) {
  std::string m;
  // Sides first, even when the product would overflow 64 bits.
  EXPECT_EQ(KindOf([] { CheckImageLimits(int64_t{1} << 40, int64_t{1} << 40, ifA8R8G8B8); }, &m),
            EImagingErrorKind::TooLarge);
  EXPECT_NE(m.find("side"), std::string::npos) << m;
  EXPECT_EQ(KindOf([] { CheckImageLimits(65536, 1, ifGray8); }, &m), EImagingErrorKind::TooLarge);
  EXPECT_NE(m.find("side"), std::string::npos) << m;
  // Then the pixel count: 65535 x 65535 of a 16-byte format fails there,
  // not at the bytes.
  EXPECT_EQ(KindOf([] { CheckImageLimits(65535, 65535, ifA32R32G32B32F); }, &m),
            EImagingErrorKind::TooLarge);
  EXPECT_NE(m.find("too many pixels"), std::string::npos) << m;
  EXPECT_EQ(KindOf([] { CheckImageLimits(16384, 16385, ifGray8); }, &m),
            EImagingErrorKind::TooLarge);
  EXPECT_NE(m.find("too many pixels"), std::string::npos) << m;
  // Then the bytes: 2^28 pixels fit as Gray8 and A8R8G8B8 (1 GiB) but not
  // as 16-byte floats (4 GiB, past the 32-bit size).
  EXPECT_NO_THROW(CheckImageLimits(16384, 16384, ifGray8));
  EXPECT_NO_THROW(CheckImageLimits(16384, 16384, ifA8R8G8B8));
  EXPECT_NO_THROW(CheckImageLimits(65535, 4096, ifA8R8G8B8));
  EXPECT_EQ(KindOf([] { CheckImageLimits(16384, 16384, ifA32R32G32B32F); }, &m),
            EImagingErrorKind::TooLarge);
  EXPECT_NE(m.find("data too large"), std::string::npos) << m;
  EXPECT_EQ(KindOf([] { CheckImageLimits(16384, 16384, ifA16R16G16B16); }),
            EImagingErrorKind::TooLarge);
  // Block formats round up to whole blocks.
  EXPECT_NO_THROW(CheckImageLimits(65535, 4096, ifDXT5));
  EXPECT_NO_THROW(CheckImageLimits(65535, 1, ifGray8));
  EXPECT_NO_THROW(CheckImageLimits(0, 0, ifGray8));

  EXPECT_EQ(KindOf([] { CheckImageLimits(-1, 5, ifGray8); }), EImagingErrorKind::Invalid);
  EXPECT_EQ(KindOf([] { CheckImageLimits(5, 5, 12); }), EImagingErrorKind::Invalid);

  EXPECT_NO_THROW(CheckBufferLimit(uint64_t{INT32_MAX}));
  EXPECT_EQ(KindOf([] { CheckBufferLimit(uint64_t{INT32_MAX} + 1); }), EImagingErrorKind::TooLarge);
  EXPECT_EQ(KindOf([] { CheckBufferLimit(UINT64_MAX); }), EImagingErrorKind::TooLarge);
}

TEST(ImageLimits, CreateTakesTheGateAndKeepsItsMessage) {
  RasterImage img;
  std::string m;
  EXPECT_EQ(KindOf([&] { ImageCreate(img, 70000, 2, ifR8G8B8); }, &m), EImagingErrorKind::TooLarge);
  EXPECT_EQ(m, "Error while creating image data with params: Width=70000 Height=2 Format=R8G8B8.");
  EXPECT_FALSE(ImageIsValid(img));
  EXPECT_EQ(KindOf([&] { ImageCreate(img, 1, 1, 12); }), EImagingErrorKind::Invalid);
  // The old one-argument form still works and means "other".
  EImagingError plain("x");
  EXPECT_EQ(plain.Kind(), EImagingErrorKind::Other);
}

// ---- Small files that declare 65535 x 65535 ----

void Put16LE(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  d[at] = static_cast<uint8_t>(v);
  d[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32LE(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16BE(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  d[at] = static_cast<uint8_t>(v >> 8);
  d[at + 1] = static_cast<uint8_t>(v);
}
void Put32BE(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
std::vector<uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }

// A PNG-style chunk (length, type, data, CRC).
void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> c(8 + data.size() + 4);
  Put32BE(c, 0, static_cast<uint32_t>(data.size()));
  std::memcpy(&c[4], type, 4);
  if (!data.empty()) std::memcpy(&c[8], data.data(), data.size());
  Put32BE(c, 8 + data.size(),
          static_cast<uint32_t>(crc32(0, &c[4], static_cast<uInt>(4 + data.size()))));
  out.insert(out.end(), c.begin(), c.end());
}

std::vector<uint8_t> GiantPng() {
  std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr(13, 0);
  Put32BE(ihdr, 0, 65535);
  Put32BE(ihdr, 4, 65535);
  ihdr[8] = 8;  // depth
  ihdr[9] = 2;  // RGB
  Chunk(f, "IHDR", ihdr);
  Chunk(f, "IDAT", std::vector<uint8_t>(900, 0));
  Chunk(f, "IEND", {});
  return f;
}

std::vector<uint8_t> GiantMng() {
  std::vector<uint8_t> f = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> mhdr(28, 0);
  Put32BE(mhdr, 0, 65535);
  Put32BE(mhdr, 4, 65535);
  Chunk(f, "MHDR", mhdr);
  std::vector<uint8_t> ihdr(13, 0);
  Put32BE(ihdr, 0, 65535);
  Put32BE(ihdr, 4, 65535);
  ihdr[8] = 8;
  ihdr[9] = 2;
  Chunk(f, "IHDR", ihdr);
  Chunk(f, "IDAT", std::vector<uint8_t>(800, 0));
  Chunk(f, "IEND", {});
  Chunk(f, "MEND", {});
  return f;
}

// An animation's canvas, the one place a WebP file can declare 65535 x 65535.
std::vector<uint8_t> GiantWebP() {
  std::vector<uint8_t> f = Text("RIFF");
  f.resize(1024, 0);
  Put32LE(f, 4, 1016);
  std::memcpy(&f[8], "WEBPVP8X", 8);
  Put32LE(f, 16, 10);
  f[20] = 0x02;                                                          // animation
  for (size_t at : {24u, 27u}) f[at] = f[at + 1] = 0xFE, f[at + 2] = 0;  // side - 1 = 65534
  return f;
}

std::vector<uint8_t> GiantBmp() {
  std::vector<uint8_t> f(1024, 0);
  f[0] = 'B', f[1] = 'M';
  Put32LE(f, 2, 1024);
  Put32LE(f, 10, 54);
  Put32LE(f, 14, 40);
  Put32LE(f, 18, 65535);
  Put32LE(f, 22, 65535);
  Put16LE(f, 26, 1);
  Put16LE(f, 28, 24);
  return f;
}

std::vector<uint8_t> GiantTga() {
  std::vector<uint8_t> f(1024, 0x7F);
  std::fill(f.begin(), f.begin() + 18, 0);
  f[2] = 10;  // run-length true colour: the data could plausibly cover it
  Put16LE(f, 12, 65535);
  Put16LE(f, 14, 65535);
  f[16] = 24;
  return f;
}

std::vector<uint8_t> GiantGif() {
  std::vector<uint8_t> f = Text("GIF89a");
  f.resize(1024, 0);
  Put16LE(f, 6, 65535);
  Put16LE(f, 8, 65535);
  f[13] = 0x2C;  // an image descriptor of the whole screen
  Put16LE(f, 18, 65535);
  Put16LE(f, 20, 65535);
  f[23] = 8;
  return f;
}

std::vector<uint8_t> GiantPcx() {
  std::vector<uint8_t> f(1024, 0xC1);
  std::fill(f.begin(), f.begin() + 128, 0);
  f[0] = 10, f[1] = 5, f[2] = 1, f[3] = 8;
  Put16LE(f, 8, 65534);
  Put16LE(f, 10, 65534);
  f[65] = 3;
  Put16LE(f, 66, 65535);
  return f;
}

std::vector<uint8_t> GiantDds() {
  std::vector<uint8_t> f(1024, 0);
  std::memcpy(f.data(), "DDS ", 4);
  Put32LE(f, 4, 124);
  Put32LE(f, 8, 0x1007);  // caps, height, width, pixel format
  Put32LE(f, 12, 65535);
  Put32LE(f, 16, 65535);
  Put32LE(f, 76, 32);    // pixel format size
  Put32LE(f, 80, 0x40);  // RGB
  Put32LE(f, 88, 32);
  Put32LE(f, 92, 0xFF0000);
  Put32LE(f, 96, 0xFF00);
  Put32LE(f, 100, 0xFF);
  Put32LE(f, 108, 0x1000);
  return f;
}

std::vector<uint8_t> GiantPsd() {
  std::vector<uint8_t> f(1024, 0);
  std::memcpy(f.data(), "8BPS", 4);
  Put16BE(f, 4, 1);
  Put16BE(f, 12, 3);
  Put32BE(f, 14, 65535);
  Put32BE(f, 18, 65535);
  Put16BE(f, 22, 8);
  Put16BE(f, 24, 3);
  // Empty colour mode data, resources and layers; then raw pixel data.
  return f;
}

std::vector<uint8_t> GiantPnm() {
  std::vector<uint8_t> f = Text("P6\n65535 65535\n255\n");
  f.resize(1024, 0);
  return f;
}

std::vector<uint8_t> GiantXpm() {
  std::string t = "/* XPM */\nstatic char *x[] = {\n\"65535 65535 1 1\",\n\"a c #FF0000\",\n";
  while (t.size() < 1000) t += "\"aaaa\",\n";
  return Text(t + "};\n");
}

std::vector<uint8_t> GiantJng() {
  RasterImage img;
  ImageCreate(img, 1, 1, ifR8G8B8);
  TMemoryStream s;
  EncodeJng(img, {}, s);
  std::vector<uint8_t> f = s.Data();
  // Signature, then JHDR: length, type, width, height, ...
  Put32BE(f, 16, 65535);
  Put32BE(f, 20, 65535);
  const uint32_t length = 16;  // bytes of JHDR data
  Put32BE(f, 8 + 8 + length,
          static_cast<uint32_t>(crc32(0, &f[12], static_cast<uInt>(4 + length))));
  return f;
}

std::vector<uint8_t> GiantJpeg() {
  RasterImage img;
  ImageCreate(img, 8, 8, ifR8G8B8);
  TMemoryStream s;
  EncodeJpeg(img, 90, false, s);
  std::vector<uint8_t> f = s.Data();
  for (size_t i = 2; i + 9 < f.size(); ++i)
    if (f[i] == 0xFF && (f[i + 1] == 0xC0 || f[i + 1] == 0xC2)) {
      Put16BE(f, i + 5, 65535);
      Put16BE(f, i + 7, 65535);
      return f;
    }
  ADD_FAILURE() << "no frame header";
  return f;
}

std::vector<uint8_t> GiantJ2k() {
  RasterImage img;
  ImageCreate(img, 4, 4, ifGray8);
  TJp2EncodeOptions o;
  o.CodeStreamOnly = true;
  std::vector<uint8_t> f = EncodeJp2(img, o);
  // SOC, then SIZ: marker, length, capabilities, Xsiz, Ysiz, XOsiz, YOsiz,
  // XTsiz, YTsiz; one tile of the whole area.
  EXPECT_EQ(f[2], 0xFF);
  EXPECT_EQ(f[3], 0x51);
  Put32BE(f, 8, 65535);
  Put32BE(f, 12, 65535);
  Put32BE(f, 24, 65535);
  Put32BE(f, 28, 65535);
  return f;
}

std::vector<uint8_t> GiantTiff() {
  std::vector<uint8_t> f(1024, 0);
  f[0] = f[1] = 'I';
  Put16LE(f, 2, 42);
  Put32LE(f, 4, 8);
  const uint16_t tags[][3] = {{256, 4, 65535}, {257, 4, 65535}, {258, 3, 8},
                              {259, 3, 1},     {262, 3, 1},     {273, 4, 200},
                              {277, 3, 1},     {278, 4, 65535}, {279, 4, 800}};
  Put16LE(f, 8, 9);
  size_t at = 10;
  for (const auto& t : tags) {
    Put16LE(f, at, t[0]);
    Put16LE(f, at + 2, t[1]);
    Put32LE(f, at + 4, 1);
    if (t[1] == 3)
      Put16LE(f, at + 8, t[2]);
    else
      Put32LE(f, at + 8, t[2]);
    at += 12;
  }
  return f;
}

// A small AVIF whose image spatial extent property ("ispe": version and
// flags, then width and height) claims side x side.
std::vector<uint8_t> GiantHeif(uint32_t side = 65535) {
  RasterImage img;
  ImageCreate(img, 16, 16, ifR8G8B8);
  std::vector<uint8_t> f = EncodeAvif(img, TAvifEncodeOptions{});
  const std::string_view bytes(reinterpret_cast<const char*>(f.data()), f.size());
  const size_t at = bytes.find("ispe");
  EXPECT_NE(at, std::string_view::npos);
  if (at == std::string_view::npos) return f;
  Put32BE(f, at + 8, side);
  Put32BE(f, at + 12, side);
  return f;
}

std::vector<uint8_t> GiantTexture() {
  // One record whose header claims 65535 x 65535.
  std::vector<uint8_t> f(1024, 0);
  Put16LE(f, 0, 1);
  Put32LE(f, 26 + 2, 46);  // record position
  Put16LE(f, 46 + 4, 65535);
  Put16LE(f, 46 + 6, 65535);
  Put32LE(f, 46 + 14, 28);
  return f;
}

TEST(ImageLimits, SmallFilesDeclaringGiantPicturesAreRefusedCheaply) {
  RasterImage out;
  TDynImageDataArray set;
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    std::function<void(const std::vector<uint8_t>&)> decode;
  } cases[] = {
      {"png", GiantPng(), [&](const auto& f) { DecodePng(f, out); }},
      {"bmp", GiantBmp(), [&](const auto& f) { out = DecodeBmp(f); }},
      {"tga", GiantTga(), [&](const auto& f) { out = DecodeTga(f); }},
      {"gif", GiantGif(), [&](const auto& f) { DecodeGif(f, out); }},
      {"pcx", GiantPcx(), [&](const auto& f) { out = DecodePcx(f); }},
      {"dds", GiantDds(), [&](const auto& f) { set = DecodeDds(f, true, nullptr); }},
      {"psd", GiantPsd(), [&](const auto& f) { out = DecodePsd(f); }},
      {"ppm", GiantPnm(), [&](const auto& f) { out = DecodePortableMap(f); }},
      {"xpm", GiantXpm(), [&](const auto& f) { out = DecodeXpm(f); }},
      {"jng", GiantJng(), [&](const auto& f) { DecodeJng(f, out); }},
      {"jpeg", GiantJpeg(), [&](const auto& f) { DecodeJpeg(f, out); }},
      {"j2k", GiantJ2k(), [&](const auto& f) { out = DecodeJp2(f); }},
      {"tiff", GiantTiff(), [&](const auto& f) { out = DecodeTiff(f); }},
      {"mng", GiantMng(), [&](const auto& f) { DecodeMng(f, set, true); }},
      {"webp", GiantWebP(), [&](const auto& f) { out = DecodeWebP(f); }},
      {"heif", GiantHeif(), [&](const auto& f) { out = DecodeHeif(f); }},
      // Past the side limit, the library itself refuses the file as it reads it.
      {"heif beyond the side limit", GiantHeif(70000), [&](const auto& f) { out = DecodeHeif(f); }},
      {"texture", GiantTexture(),
       [&](const auto& f) { DecodeDaggerfallTexture(f, DaggerfallImagePalette(), set, true); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_LE(c.file.size(), 1100u);
    std::string message;
    TPeakAllocation peak;
    EXPECT_EQ(KindOf([&] { c.decode(c.file); }, &message), EImagingErrorKind::TooLarge) << message;
    EXPECT_LT(peak.PeakBytes(), 20 << 20);
  }
}

// A grid picture is drawn on a canvas whose size its descriptor (in the item
// data box) gives, whatever size the picture's own properties claim; the
// canvas passes the limits, and needs data in proportion, before the library
// allocates it. A 16 x 12 grid file is changed to claim larger canvases.
TEST(ImageLimits, HeifGridCanvasesAreCheckedBeforeTheLibraryFillsThem) {
  const std::string folder = std::string(IMPRIMO_TEST_DATA_DIR) + "/heif/";
  const std::vector<uint8_t> grid = test::ReadBytes(folder + "grid.heic");
  ASSERT_FALSE(grid.empty());
  const std::string_view text(reinterpret_cast<const char*>(grid.data()), grid.size());
  const size_t idat = text.find("idat");
  ASSERT_NE(idat, std::string_view::npos);
  const size_t size = idat + 4 + 4;  // after version, flags, rows and columns
  ASSERT_EQ(grid[size + 1], 16);
  ASSERT_EQ(grid[size + 3], 12);
  auto claiming = [&](uint16_t w, uint16_t h) {
    std::vector<uint8_t> f = grid;
    f[size] = uint8_t(w >> 8), f[size + 1] = uint8_t(w);
    f[size + 2] = uint8_t(h >> 8), f[size + 3] = uint8_t(h);
    return f;
  };

  RasterImage out = DecodeHeif(grid);
  EXPECT_EQ(out.Width, 16);
  EXPECT_EQ(out.Height, 12);

  // A fuzzed file whose descriptor runs past the item data box: the library
  // read a 4096 x 63232 canvas from the bytes after it and took 4.6 GB.
  const std::string finding = folder + "regress/oom-49f315a9d22da7f168a2c703d4880335a117995a";
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    EImagingErrorKind kind;
  } cases[] = {
      {"8192 x 8192 from 596 bytes", claiming(8192, 8192), EImagingErrorKind::Truncated},
      {"65535 x 65535", claiming(65535, 65535), EImagingErrorKind::TooLarge},
      {"descriptor past its box", test::ReadBytes(finding), EImagingErrorKind::Truncated},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.file.empty());
    std::string message;
    TPeakAllocation peak;
    EXPECT_EQ(KindOf([&] { out = DecodeHeif(c.file); }, &message), c.kind) << message;
    EXPECT_LT(peak.PeakBytes(), 20 << 20);
  }
}

// Files whose headers promise far more pixels than their data can hold are
// refused by their own guards before the picture is allocated.
TEST(ImageLimits, LyingSizesAreRefusedBeforeThePictureIsAllocated) {
  // 16384 x 16384 gray passes the gate (256 MiB) but 900 deflated bytes
  // cannot fill it.
  std::vector<uint8_t> png = GiantPng();
  std::vector<uint8_t> ihdr(13, 0);
  Put32BE(ihdr, 0, 16384);
  Put32BE(ihdr, 4, 16384);
  ihdr[8] = 8;
  std::vector<uint8_t> lying = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Chunk(lying, "IHDR", ihdr);
  Chunk(lying, "IDAT", std::vector<uint8_t>(900, 0));
  Chunk(lying, "IEND", {});
  RasterImage out;
  {
    TPeakAllocation peak;
    EXPECT_EQ(KindOf([&] { DecodePng(lying, out); }), EImagingErrorKind::Truncated);
    EXPECT_LT(peak.PeakBytes(), 20 << 20);
  }
  // A JPEG frame header of 16000 x 16000 over a few hundred bytes.
  std::vector<uint8_t> jpeg = GiantJpeg();
  for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      Put16BE(jpeg, i + 5, 16000);
      Put16BE(jpeg, i + 7, 16000);
      break;
    }
  {
    TPeakAllocation peak;
    EXPECT_EQ(KindOf([&] { DecodeJpeg(jpeg, out); }), EImagingErrorKind::Truncated);
    EXPECT_LT(peak.PeakBytes(), 20 << 20);
  }
  // 16384 x 16384 PSD with three raw channels but 1 KB of data.
  std::vector<uint8_t> psd = GiantPsd();
  Put32BE(psd, 14, 16384);
  Put32BE(psd, 18, 16384);
  {
    TPeakAllocation peak;
    EXPECT_EQ(KindOf([&] { out = DecodePsd(psd); }), EImagingErrorKind::Truncated);
    EXPECT_LT(peak.PeakBytes(), 20 << 20);
  }
}

TEST(ImageErrorKinds, TruncationReachesCallersAsImagingError) {
  // A bitmap cut inside its information header.
  std::vector<uint8_t> bmp = GiantBmp();
  bmp.resize(30);
  EXPECT_EQ(KindOf([&] { DecodeBmp(bmp); }), EImagingErrorKind::Truncated);
  // Through the file layer the wrapped error keeps its kind.
  TMemoryStream s(bmp);
  TImageFileFormat* f = FormatByExtension("bmp");
  ASSERT_NE(f, nullptr);
  TDynImageDataArray set;
  std::string message;
  EXPECT_EQ(KindOf([&] { f->LoadFromStream(s, set, true); }, &message),
            EImagingErrorKind::Truncated);
  EXPECT_NE(message.find("Error while loading images from stream"), std::string::npos);
  // An unsupported but valid feature, and plain garbage.
  std::vector<uint8_t> psd = GiantPsd();
  Put16BE(psd, 24, 5);  // colour mode 5 is not defined for files we read
  EXPECT_EQ(KindOf([&] { DecodePsd(psd); }), EImagingErrorKind::Unsupported);
  EXPECT_EQ(KindOf([&] { DecodePcx(std::vector<uint8_t>(200, 7)); }), EImagingErrorKind::Invalid);
}

}  // namespace
}  // namespace imprimo
