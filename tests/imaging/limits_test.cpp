// The allocation gate and error kinds: which check refuses a size, and that a
// small file declaring a giant picture is refused before memory is taken.
#include <gtest/gtest.h>
#include <webp/decode.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <set>
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

// ---- Small files that declare the largest picture the gate lets through ----

// 16384 x 16384 is exactly the pixel limit and, at four bytes a pixel, within
// the byte limit: a header claiming it passes the gate, so only the format's
// own guard (data in proportion to the picture) stands between a small file
// and a gigabyte.
constexpr uint32_t kGateSide = 16384;
static_assert(int64_t{kGateSide} * kGateSide == kMaxImagePixels);

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
  Put32BE(ihdr, 0, kGateSide);
  Put32BE(ihdr, 4, kGateSide);
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
  Put32BE(mhdr, 0, kGateSide);
  Put32BE(mhdr, 4, kGateSide);
  Chunk(f, "MHDR", mhdr);
  std::vector<uint8_t> ihdr(13, 0);
  Put32BE(ihdr, 0, kGateSide);
  Put32BE(ihdr, 4, kGateSide);
  ihdr[8] = 8;
  ihdr[9] = 2;
  Chunk(f, "IHDR", ihdr);
  Chunk(f, "IDAT", std::vector<uint8_t>(800, 0));
  Chunk(f, "IEND", {});
  Chunk(f, "MEND", {});
  return f;
}

// A WebP file of one chunk (RIFF header, chunk header, payload).
std::vector<uint8_t> WebPFile(const char* chunk, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> f = Text("RIFF....WEBP");
  f.insert(f.end(), chunk, chunk + 4);
  f.resize(f.size() + 4);
  Put32LE(f, 16, static_cast<uint32_t>(payload.size()));
  f.insert(f.end(), payload.begin(), payload.end());
  Put32LE(f, 4, static_cast<uint32_t>(f.size() - 8));
  return f;
}

// A lossless picture of width x height in bytes bytes: no transforms, no
// colour cache and five prefix codes of one symbol each, so every pixel
// takes no bits at all. The whole picture decodes from a few bytes.
std::vector<uint8_t> LosslessWebP(uint32_t width, uint32_t height, size_t bytes) {
  std::vector<uint8_t> d;
  uint64_t bits = 0;
  int count = 0;
  auto put = [&](uint64_t value, int n) {
    bits |= value << count;
    count += n;
  };
  put(0x2F, 8);  // signature
  put(width - 1, 14);
  put(height - 1, 14);
  put(0, 4);  // no alpha, version 0
  put(0, 3);  // no transform, no colour cache, no meta prefix codes
  for (int code = 0; code < 5; ++code) put(0b0001, 4);  // simple code, one 1-bit symbol
  for (; count > 0; count -= 8, bits >>= 8) d.push_back(static_cast<uint8_t>(bits));
  d.resize(bytes - 20, 0);
  return WebPFile("VP8L", d);
}

// A lossy key frame header of width x height followed by zero bytes: the
// picture data does not decode, but only a decoder that tries finds out.
std::vector<uint8_t> LossyWebP(uint32_t width, uint32_t height, size_t bytes) {
  std::vector<uint8_t> d(bytes - 20, 0);
  const uint32_t firstPartition = 20;
  Put32LE(d, 0, 0x10 | firstPartition << 5);  // key frame, version 0, shown
  d[3] = 0x9D, d[4] = 0x01, d[5] = 0x2A;      // start code
  Put16LE(d, 6, width);
  Put16LE(d, 8, height);
  return WebPFile("VP8 ", d);
}

// An animation's canvas, which declares its size in 24-bit fields.
std::vector<uint8_t> GiantAnimatedWebP() {
  std::vector<uint8_t> payload(1004, 0);
  payload[0] = 0x02;  // animation
  for (size_t at : {4u, 7u}) Put16LE(payload, at, kGateSide - 1);
  std::vector<uint8_t> f = WebPFile("VP8X", payload);
  Put32LE(f, 16, 10);  // the VP8X chunk is ten bytes; zeros follow
  return f;
}

std::vector<uint8_t> GiantBmp() {
  std::vector<uint8_t> f(1024, 0);
  f[0] = 'B', f[1] = 'M';
  Put32LE(f, 2, 1024);
  Put32LE(f, 10, 54);
  Put32LE(f, 14, 40);
  Put32LE(f, 18, kGateSide);
  Put32LE(f, 22, kGateSide);
  Put16LE(f, 26, 1);
  Put16LE(f, 28, 24);
  return f;
}

std::vector<uint8_t> GiantTga() {
  std::vector<uint8_t> f(1024, 0x7F);
  std::fill(f.begin(), f.begin() + 18, 0);
  f[2] = 10;  // run-length true colour: the data could plausibly cover it
  Put16LE(f, 12, kGateSide);
  Put16LE(f, 14, kGateSide);
  f[16] = 24;
  return f;
}

std::vector<uint8_t> GiantGif() {
  std::vector<uint8_t> f = Text("GIF89a");
  f.resize(1024, 0);
  Put16LE(f, 6, kGateSide);
  Put16LE(f, 8, kGateSide);
  f[13] = 0x2C;  // an image descriptor of the whole screen
  Put16LE(f, 18, kGateSide);
  Put16LE(f, 20, kGateSide);
  f[23] = 8;
  return f;
}

std::vector<uint8_t> GiantPcx() {
  std::vector<uint8_t> f(1024, 0xC1);
  std::fill(f.begin(), f.begin() + 128, 0);
  f[0] = 10, f[1] = 5, f[2] = 1, f[3] = 8;
  Put16LE(f, 8, kGateSide - 1);
  Put16LE(f, 10, kGateSide - 1);
  f[65] = 3;
  Put16LE(f, 66, kGateSide);
  f[68] = 1;  // colour palette
  return f;
}

std::vector<uint8_t> GiantDds() {
  std::vector<uint8_t> f(1024, 0);
  std::memcpy(f.data(), "DDS ", 4);
  Put32LE(f, 4, 124);
  Put32LE(f, 8, 0x1007);  // caps, height, width, pixel format
  Put32LE(f, 12, kGateSide);
  Put32LE(f, 16, kGateSide);
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
  Put32BE(f, 14, kGateSide);
  Put32BE(f, 18, kGateSide);
  Put16BE(f, 22, 8);
  Put16BE(f, 24, 3);
  // Empty colour mode data, resources and layers; then raw pixel data.
  return f;
}

// A portable map whose header (magic number, then the rest) claims the size.
std::vector<uint8_t> GiantPnm(const std::string& magic, const std::string& rest = "255\n") {
  const std::string side = std::to_string(kGateSide);
  std::vector<uint8_t> f = Text(magic == "P7" ? "P7\nWIDTH " + side + "\nHEIGHT " + side +
                                                    "\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n"
                                              : magic + "\n" + side + " " + side + "\n" + rest);
  f.resize(1024, 0);
  return f;
}

std::vector<uint8_t> GiantXpm() {
  std::string t = "/* XPM */\nstatic char *x[] = {\n\"" + std::to_string(kGateSide) + " " +
                  std::to_string(kGateSide) + " 1 1\",\n\"a c #FF0000\",\n";
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
  Put32BE(f, 16, kGateSide);
  Put32BE(f, 20, kGateSide);
  const uint32_t length = 16;  // bytes of JHDR data
  Put32BE(f, 8 + 8 + length,
          static_cast<uint32_t>(crc32(0, &f[12], static_cast<uInt>(4 + length))));
  return f;
}

// A JPEG frame header of side x side over an 8 x 8 picture's data; with
// arithmetic, its frame marker says arithmetic coding.
std::vector<uint8_t> GiantJpeg(uint32_t side = kGateSide, bool arithmetic = false) {
  RasterImage img;
  ImageCreate(img, 8, 8, ifR8G8B8);
  TMemoryStream s;
  EncodeJpeg(img, 90, false, s);
  std::vector<uint8_t> f = s.Data();
  for (size_t i = 2; i + 9 < f.size(); ++i)
    if (f[i] == 0xFF && (f[i + 1] == 0xC0 || f[i + 1] == 0xC2)) {
      if (arithmetic) f[i + 1] = 0xC9;
      Put16BE(f, i + 5, side);
      Put16BE(f, i + 7, side);
      return f;
    }
  ADD_FAILURE() << "no frame header";
  return f;
}

// A 4 x 4 gray JPEG 2000 picture whose size marker (SIZ: marker, length,
// capabilities, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz) claims one tile of
// kGateSide x kGateSide; in a JP2 file the image header box says so too.
std::vector<uint8_t> GiantJpeg2000(bool codeStreamOnly) {
  RasterImage img;
  ImageCreate(img, 4, 4, ifGray8);
  TJp2EncodeOptions o;
  o.CodeStreamOnly = codeStreamOnly;
  std::vector<uint8_t> f = EncodeJp2(img, o);
  const std::string_view bytes(reinterpret_cast<const char*>(f.data()), f.size());
  const size_t siz = bytes.find("\xFF\x51");
  EXPECT_NE(siz, std::string_view::npos);
  if (siz == std::string_view::npos) return f;
  for (size_t at : {siz + 6, siz + 10, siz + 22, siz + 26}) Put32BE(f, at, kGateSide);
  if (const size_t ihdr = bytes.find("ihdr"); ihdr != std::string_view::npos) {
    Put32BE(f, ihdr + 4, kGateSide);
    Put32BE(f, ihdr + 8, kGateSide);
  }
  return f;
}

std::vector<uint8_t> GiantTiff() {
  std::vector<uint8_t> f(1024, 0);
  f[0] = f[1] = 'I';
  Put16LE(f, 2, 42);
  Put32LE(f, 4, 8);
  const uint32_t tags[][3] = {{256, 4, kGateSide}, {257, 4, kGateSide}, {258, 3, 8},
                              {259, 3, 1},         {262, 3, 1},         {273, 4, 200},
                              {277, 3, 1},         {278, 4, kGateSide}, {279, 4, 800}};
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
// flags, then width and height) claims side x side; with heic, its file
// type box names the HEIF brand instead.
std::vector<uint8_t> GiantHeif(uint32_t side = kGateSide, bool heic = false) {
  RasterImage img;
  ImageCreate(img, 16, 16, ifR8G8B8);
  std::vector<uint8_t> f = EncodeAvif(img, TAvifEncodeOptions{});
  const std::string_view bytes(reinterpret_cast<const char*>(f.data()), f.size());
  const size_t at = bytes.find("ispe");
  EXPECT_NE(at, std::string_view::npos);
  if (at == std::string_view::npos) return f;
  Put32BE(f, at + 8, side);
  Put32BE(f, at + 12, side);
  if (heic) {
    // The major brand, then the compatible ones after the minor version.
    std::memcpy(&f[8], "heic", 4);
    const size_t ftypSize = size_t{f[2]} << 8 | f[3];
    for (size_t p = 16; p + 4 <= ftypSize; p += 4) std::memcpy(&f[p], "mif1", 4);
  }
  return f;
}

std::vector<uint8_t> GiantTexture() {
  // One record whose header claims kGateSide x kGateSide.
  std::vector<uint8_t> f(1024, 0);
  Put16LE(f, 0, 1);
  Put32LE(f, 26 + 2, 46);  // record position
  Put16LE(f, 46 + 4, kGateSide);
  Put16LE(f, 46 + 6, kGateSide);
  Put32LE(f, 46 + 14, 28);
  return f;
}

// A chunk file whose BHDR chunk claims kGateSide x kGateSide over a small DATA chunk.
std::vector<uint8_t> GiantBsi() {
  std::vector<uint8_t> f = Text("IFHD");
  f.resize(8, 0);
  auto chunk = [&](const char* tag, size_t size) {
    f.insert(f.end(), tag, tag + 4);
    f.resize(f.size() + 4);
    Put32BE(f, f.size() - 4, static_cast<uint32_t>(size));
    f.resize(f.size() + size, 0);
  };
  chunk("BHDR", 16);
  Put16LE(f, 8 + 8 + 4, kGateSide);
  Put16LE(f, 8 + 8 + 6, kGateSide);
  chunk("DATA", 900);
  chunk("END ", 0);
  return f;
}

// Every format that loads has a case here: one that declares the largest
// picture the gate lets through, in a file of about a kilobyte or less.
// Formats whose headers cannot declare such a picture are named with the
// reason. Each file is refused through the format's loader, by the kind
// the format uses for data out of proportion to the picture, before the
// picture (or the library's own copy of it) takes memory.
TEST(ImageLimits, SmallFilesDeclaringGiantPicturesAreRefusedCheaply) {
  using K = EImagingErrorKind;
  const struct {
    const char* name;
    const char* extension;  // picks the format
    std::vector<uint8_t> file;
    EImagingErrorKind kind;
  } cases[] = {
      {"png", "png", GiantPng(), K::Truncated},
      {"bmp", "bmp", GiantBmp(), K::Truncated},
      {"tga", "tga", GiantTga(), K::Truncated},
      {"gif", "gif", GiantGif(), K::TooLarge},
      {"pcx", "pcx", GiantPcx(), K::Truncated},
      {"dds", "dds", GiantDds(), K::Truncated},
      {"psd", "psd", GiantPsd(), K::Truncated},
      {"pbm", "pbm", GiantPnm("P4", ""), K::Truncated},
      {"pgm", "pgm", GiantPnm("P5"), K::Truncated},
      {"ppm", "ppm", GiantPnm("P6"), K::Truncated},
      {"pam", "pam", GiantPnm("P7"), K::Truncated},
      {"pfm", "pfm", GiantPnm("PF", "-1.0\n"), K::Truncated},
      {"xpm", "xpm", GiantXpm(), K::Invalid},
      {"jng", "jng", GiantJng(), K::Invalid},
      {"jpeg", "jpg", GiantJpeg(), K::Truncated},
      {"arithmetic jpeg", "jpg", GiantJpeg(kGateSide, true), K::Truncated},
      {"j2k", "j2k", GiantJpeg2000(true), K::Truncated},
      {"jp2", "jp2", GiantJpeg2000(false), K::Truncated},
      {"tiff", "tif", GiantTiff(), K::Truncated},
      {"mng", "mng", GiantMng(), K::Truncated},
      {"lossless webp", "webp", LosslessWebP(kGateSide, kGateSide, 45), K::Truncated},
      {"lossy webp", "webp", LossyWebP(kGateSide - 1, kGateSide - 1, 60), K::Truncated},
      {"animated webp", "webp", GiantAnimatedWebP(), K::Truncated},
      {"avif", "avif", GiantHeif(), K::Truncated},
      {"heic", "heic", GiantHeif(kGateSide, true), K::Truncated},
      // Past the side limit, the library itself refuses the file as it reads it.
      {"avif beyond the side limit", "avif", GiantHeif(70000), K::TooLarge},
      {"texture", "dagtexture", GiantTexture(), K::Invalid},
      {"bsi", "bsi", GiantBsi(), K::Invalid},
  };
  // A record of these holds at most 65535 pixels.
  const std::set<std::string> cannotDeclare = {"img", "cif"};

  std::set<const TImageFileFormat*> covered;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TImageFileFormat* format = FormatByExtension(c.extension);
    ASSERT_NE(format, nullptr);
    covered.insert(format);
    EXPECT_LE(c.file.size(), 1100u);
    TMemoryStream stream(c.file);
    TDynImageDataArray set;
    std::string message;
    TPeakAllocation peak;
    EXPECT_EQ(KindOf([&] { format->LoadFromStream(stream, set, true); }, &message), c.kind)
        << message;
    EXPECT_LT(peak.PeakBytes(), 20 << 20);
  }
  for (const TImageFileFormat* f : ImageFileFormats())
    if (f->CanLoad() && !cannotDeclare.count(f->Extensions()[0]))
      EXPECT_TRUE(covered.count(f)) << f->Name() << " has no case";
}

// The two WebP codings, each able to claim a 16383 x 16383 picture in a few
// dozen bytes, are refused before the picture is allocated or the library
// starts to decode it.
TEST(ImageLimits, TinyWebPFilesClaimingTheLargestPictureAreRefused) {
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    size_t size;
  } cases[] = {
      {"lossless", LosslessWebP(16383, 16383, 45), 45},
      {"lossy", LossyWebP(16383, 16383, 60), 60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.file.size(), c.size);
    int width = 0, height = 0;
    ASSERT_TRUE(WebPGetInfo(c.file.data(), c.file.size(), &width, &height));
    EXPECT_EQ(width, 16383);
    EXPECT_EQ(height, 16383);
    std::string message;
    TPeakAllocation peak;
    EXPECT_EQ(KindOf([&] { DecodeWebP(c.file); }, &message), EImagingErrorKind::Truncated)
        << message;
    EXPECT_LT(peak.PeakBytes(), 20 << 20);
  }
  // The same coding at a size the data can stand for decodes: the guard is
  // about proportion, not about the coding.
  RasterImage small = DecodeWebP(LosslessWebP(64, 48, 45));
  EXPECT_EQ(small.Width, 64);
  EXPECT_EQ(small.Height, 48);
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
