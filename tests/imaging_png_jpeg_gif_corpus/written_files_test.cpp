#include <gtest/gtest.h>

#include "imaging/formats/gif_codec.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/png_codec.h"
#include "imaging_png_jpeg_gif_corpus/corpus_compare_util.h"

namespace imprimo {
namespace {

using namespace testutil;

std::vector<uint8_t> PillowRgba8(const std::string& path, bool& ok) {
  return RunCommand(std::string(kPillowRgba) + Quote(path), ok);
}

bool HavePillow() {
  bool ok;
  RunCommand("/usr/bin/python3 -c 'import PIL'", ok);
  return ok;
}

// Our decode and the reference decodes of a file we wrote agree; tolerance in
// 8-bit levels, transparent pixels compared on alpha alone when clearOnly.
void ExpectReferencesAgree(const std::string& path, const RasterImage& ours, int tolerance,
                           const char* colourArgs = "-set colorspace sRGB") {
  std::vector<uint16_t> mine = ToRgba16(ours);
  int w = 0, h = 0;
  std::vector<uint16_t> ref;
  ASSERT_TRUE(ReferenceRgba16(path, w, h, ref, colourArgs)) << path;
  ASSERT_EQ(w, ours.Width);
  ASSERT_EQ(h, ours.Height);
  int worst = 0;
  for (size_t p = 0; p < mine.size(); p += 4)
    for (int c = mine[p + 3] == 0 ? 3 : 0; c < 4; ++c) {
      int d = tolerance == 0 ? std::abs(int(mine[p + c]) - int(ref[p + c]))
                             : std::abs(int(mine[p + c] / 257) - int(ref[p + c] / 257));
      worst = std::max(worst, d);
    }
  EXPECT_LE(worst, tolerance) << "reference converter, " << path;

  if (!HavePillow()) return;
  bool ok;
  std::vector<uint8_t> pil = PillowRgba8(path, ok);
  const bool eightBit = ours.Format == ifIndex8 || ours.Format == ifGray8 ||
                        ours.Format == ifA8Gray8 || ours.Format == ifR8G8B8 ||
                        ours.Format == ifA8R8G8B8;
  if (!eightBit) return;  // the second reference narrows 16-bit samples its own way
  ASSERT_TRUE(ok) << path;
  ASSERT_EQ(pil.size(), mine.size());
  worst = 0;
  for (size_t p = 0; p < mine.size(); p += 4)
    for (int c = mine[p + 3] == 0 ? 3 : 0; c < 4; ++c)
      worst = std::max(worst, std::abs(int(mine[p + c] / 257) - int(pil[p + c])));
  EXPECT_LE(worst, tolerance == 0 ? 0 : tolerance) << "second reference, " << path;
}

TEST(WrittenFiles, PngOfEveryKeptFormatReadsTheSameElsewhere) {
  REQUIRE_TOOL("convert");
  const TImageFormat formats[] = {ifIndex8,       ifGray8,     ifA8Gray8,     ifGray16,
                                  ifA16Gray16,    ifR8G8B8,    ifA8R8G8B8,    ifR16G16B16,
                                  ifA16R16G16B16, ifB16G16R16, ifA16B16G16R16};
  for (TImageFormat f : formats) {
    RasterImage img = RandomImage(f, 23, 17, uint32_t(f) * 7);
    if (f == ifIndex8) img.Palette[img.Bits[0]].A = 0;
    TMemoryStream out;
    EncodePng(img, TPngEncodeOptions{6, 9}, out);
    std::string path = TempPath("written_" + std::to_string(f) + ".png");
    WriteFileBytes(path, out.Data());
    RasterImage back;
    DecodePng(out.Data(), back);
    ExpectReferencesAgree(path, back, 0);
    std::filesystem::remove(path);
  }
}

TEST(WrittenFiles, GifReadsTheSameElsewhere) {
  REQUIRE_TOOL("convert");
  RasterImage img = RandomImage(ifIndex8, 150, 90, 5);
  img.Palette[img.Bits[3]].A = 0;
  TMemoryStream out;
  EncodeGif(img, out);
  std::string path = TempPath("written.gif");
  WriteFileBytes(path, out.Data());
  RasterImage back;
  DecodeGif(out.Data(), back);
  ExpectReferencesAgree(path, back, 0);
  std::filesystem::remove(path);
}

TEST(WrittenFiles, JpegReadsTheSameElsewhere) {
  REQUIRE_TOOL("convert");
  RasterImage colour = PhotoLikeImage(97, 61, 3);
  RasterImage gray;
  ImageCreate(gray, 40, 30, ifGray8);
  for (int32_t i = 0; i < gray.Size; ++i) gray.Bits[i] = uint8_t((i * 7) % 251);
  int n = 0;
  for (const RasterImage* img : {&colour, &gray})
    for (bool progressive : {false, true}) {
      TMemoryStream out;
      EncodeJpeg(*img, 85, progressive, out);
      std::string path = TempPath("written" + std::to_string(n++) + ".jpg");
      WriteFileBytes(path, out.Data());
      RasterImage back;
      DecodeJpeg(out.Data(), back);
      ExpectReferencesAgree(path, back, 1, "-colorspace sRGB");
      std::filesystem::remove(path);
    }
}

}  // namespace
}  // namespace imprimo
