#include <gtest/gtest.h>

#include <cstdlib>

#include "imaging/formats/jpeg_codec.h"
#include "imaging_png_jpeg_gif/png_jpeg_gif_util.h"

namespace imprimo {
namespace {

std::vector<uint8_t> Encode(const RasterImage& img, int quality = 90, bool progressive = false) {
  TMemoryStream out;
  EncodeJpeg(img, quality, progressive, out);
  return out.Data();
}

bool HasMarker(const std::vector<uint8_t>& f, uint8_t marker) {
  for (size_t i = 0; i + 1 < f.size(); ++i)
    if (f[i] == 0xFF && f[i + 1] == marker) return true;
  return false;
}

// Offset of the first byte after an SOF marker's length field.
size_t SofOffset(const std::vector<uint8_t>& f) {
  for (size_t i = 2; i + 1 < f.size(); ++i)
    if (f[i] == 0xFF && (f[i + 1] == 0xC0 || f[i + 1] == 0xC2)) return i + 4;
  return 0;
}

TEST(JpegCodec, ColourRoundTripStaysClose) {
  RasterImage img = testutil::PhotoLikeImage(64, 48, 1);
  for (bool progressive : {false, true}) {
    std::vector<uint8_t> file = Encode(img, 90, progressive);
    EXPECT_EQ(HasMarker(file, 0xC2), progressive);
    EXPECT_EQ(HasMarker(file, 0xC0), !progressive);
    RasterImage back;
    DecodeJpeg(file, back);
    ASSERT_EQ(back.Format, ifR8G8B8);
    ASSERT_EQ(back.Width, 64);
    ASSERT_EQ(back.Height, 48);
    int64_t total = 0;
    for (int32_t i = 0; i < img.Size; ++i) total += std::abs(img.Bits[i] - back.Bits[i]);
    EXPECT_LT(double(total) / img.Size, 3.0);
    // Channels keep their places: the first byte ramps up from left to right.
    EXPECT_GT(back.Row(0)[63 * 3], 200);
    EXPECT_LT(back.Row(0)[0], 50);
  }
}

TEST(JpegCodec, WritesJfifHeaderAndGrayAsOneComponent) {
  RasterImage gray;
  ImageCreate(gray, 20, 10, ifGray8);
  for (int32_t i = 0; i < gray.Size; ++i) gray.Bits[i] = uint8_t(i * 3);
  std::vector<uint8_t> file = Encode(gray);
  ASSERT_GT(file.size(), 20u);
  EXPECT_EQ(file[2], 0xFF);
  EXPECT_EQ(file[3], 0xE0);
  EXPECT_EQ(std::string(file.begin() + 6, file.begin() + 11), std::string("JFIF\0", 5));
  size_t sof = SofOffset(file);
  ASSERT_NE(sof, 0u);
  EXPECT_EQ(file[sof + 5], 1);  // component count
  RasterImage back;
  DecodeJpeg(file, back);
  EXPECT_EQ(back.Format, ifGray8);

  file = Encode(testutil::PhotoLikeImage(8, 8, 2));
  EXPECT_EQ(file[SofOffset(file) + 5], 3);
}

TEST(JpegCodec, QualityOutsideTheRangeMeansNinety) {
  RasterImage img = testutil::PhotoLikeImage(32, 32, 3);
  std::vector<uint8_t> q90 = Encode(img, 90);
  EXPECT_EQ(Encode(img, 101), q90);
  EXPECT_EQ(Encode(img, 0), q90);
  EXPECT_NE(Encode(img, 50), q90);
  EXPECT_LT(Encode(img, 10).size(), q90.size());
}

TEST(JpegCodec, CmykConversionUsesInvertedSamples) {
  // Stored samples are inverted: 255 means no ink.
  const uint8_t white[4] = {255, 255, 255, 255}, black[4] = {255, 255, 255, 0};
  uint8_t out[4];
  JpegCmykToBgra(white, 1, out);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[1], 255);
  EXPECT_EQ(out[2], 255);
  EXPECT_EQ(out[3], 255);
  JpegCmykToBgra(black, 1, out);
  EXPECT_EQ(out[2], 0);
  // c = 200, m = 0, y = 255, k = 100: red = 255 - (200 - 200*100/255) - 100 = 33.
  const uint8_t mixed[4] = {55, 255, 0, 155};
  JpegCmykToBgra(mixed, 1, out);
  EXPECT_EQ(out[2], 33);
  EXPECT_EQ(out[1], 155);
  EXPECT_EQ(out[0], 0);
}

TEST(JpegCodec, BrokenFilesFailCleanly) {
  RasterImage img = testutil::PhotoLikeImage(48, 40, 4);
  std::vector<uint8_t> good = Encode(img);
  RasterImage out;
  for (size_t cut = 0; cut + 2 < good.size(); cut += 5) {
    std::vector<uint8_t> part(good.begin(), good.begin() + cut);
    EXPECT_THROW(DecodeJpeg(part, out), EImagingError) << "cut " << cut;
  }
  // Garbage after the header: errors or decodes, never crashes.
  std::vector<uint8_t> noisy = good;
  for (size_t i = good.size() / 2; i < good.size() - 2; i += 7) noisy[i] ^= 0x5A;
  try {
    DecodeJpeg(noisy, out);
  } catch (const EImagingError&) {
  }
  // A frame header claiming a giant picture over a few hundred bytes.
  std::vector<uint8_t> giant = good;
  size_t sof = SofOffset(giant);
  // 16000 x 16000 passes the size gate and the library's own limit of
  // 65500 per side; only the data it lacks refuses it.
  giant[sof + 1] = 0x3E, giant[sof + 2] = 0x80;  // height 16000
  giant[sof + 3] = 0x3E, giant[sof + 4] = 0x80;  // width 16000
  try {
    DecodeJpeg(giant, out);
    ADD_FAILURE() << "giant accepted";
  } catch (const EImagingError& e) {
    EXPECT_EQ(e.Kind(), EImagingErrorKind::Truncated) << e.what();
    EXPECT_STREQ(e.what(), "JPEG data is too short for its image size");
  }
  EXPECT_THROW(DecodeJpeg(std::vector<uint8_t>{0xFF, 0xD8}, out), EImagingError);
}

}  // namespace
}  // namespace imprimo

namespace imprimo {
namespace {

// A stream that accepts a few bytes and then fails like a full disk.
class TFullStream : public TMemoryStream {
 public:
  explicit TFullStream(size_t room) : room_(room) {}
  void Write(const void* buffer, size_t count) override {
    if (Data().size() + count > room_) throw EImagingError("disk full");
    TMemoryStream::Write(buffer, count);
  }

 private:
  size_t room_;
};

TEST(CodecWriteFailures, SurfaceAsImagingErrors) {
  // Noise compresses badly, so the output passes the 64 KiB buffer and the
  // failure hits both the buffer flush and the final write.
  RasterImage photo = testutil::RandomImage(ifR8G8B8, 400, 400, 9);
  for (size_t room : {size_t(0), size_t(100), size_t(70000)}) {
    TFullStream jpeg(room);
    try {
      EncodeJpeg(photo, 90, room == 100, jpeg);
      ADD_FAILURE() << "JPEG write into " << room << " bytes succeeded";
    } catch (const EImagingError& e) {
      EXPECT_STREQ(e.what(), "disk full");
    }
  }
  // The encoder stays usable after a failed write.
  TMemoryStream ok;
  EncodeJpeg(photo, 90, false, ok);
  EXPECT_GT(ok.Data().size(), 1000u);
}

// A progressive file whose last scan repeats until the file holds count
// scans in all.
std::vector<uint8_t> WithScans(const std::vector<uint8_t>& file, size_t count) {
  std::vector<size_t> scans;
  for (size_t i = 2; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xDA) scans.push_back(i);
  EXPECT_GE(scans.size(), 2u);
  EXPECT_LE(scans.size(), count);
  const std::vector<uint8_t> last(file.begin() + scans.back(), file.end() - 2);
  std::vector<uint8_t> out(file.begin(), file.end() - 2);
  for (size_t n = scans.size(); n < count; ++n) out.insert(out.end(), last.begin(), last.end());
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

TEST(JpegCodec, ThousandsOfScansAreRefused) {
  const std::vector<uint8_t> file = Encode(testutil::PhotoLikeImage(32, 24, 2), 90, true);
  RasterImage out;
  DecodeJpeg(WithScans(file, 1000), out);  // a thousand are still read
  EXPECT_EQ(out.Width, 32);
  try {
    DecodeJpeg(WithScans(file, 1001), out);
    ADD_FAILURE() << "1001 scans accepted";
  } catch (const EImagingError& e) {
    EXPECT_EQ(e.Kind(), EImagingErrorKind::TooLarge) << e.what();
  }
}

}  // namespace
}  // namespace imprimo
