// Files the reference converter writes are read here as it reads them, and
// the DDS and PSD files written here are read by the converter as we read
// them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "imaging/file_format.h"
#include "imaging_dds_pcx_psd_xpm/dds_pcx_psd_xpm_util.h"
#include "imaging_dds_pcx_psd_xpm_corpus/agreement_util.h"

namespace imprimo::dds_pcx_psd_xpm {
namespace {

namespace fs = std::filesystem;

#define REQUIRE_CONVERTER()                                                 \
  do {                                                                      \
    if (!::imprimo::testing::HaveTool("convert -version"))                  \
      GTEST_SKIP() << "the reference converter (convert) is not installed"; \
  } while (0)

fs::path TempDir(const std::string& name) {
  return ::imprimo::testing::TempFolder("dds_pcx_psd_xpm", name);
}

// The smooth test picture as raw R, G, B, A bytes for the converter.
fs::path WriteRawSource(const fs::path& dir, int w, int h) {
  RasterImage img = SmoothImage(w, h);
  const std::vector<uint8_t> rgba = ::imprimo::testing::RgbaBytes(img);
  fs::path p = dir / "source.rgba";
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
  return p;
}

TEST(WrittenFiles, FilesTheReferenceWritesLoadAlike) {
  REQUIRE_CONVERTER();
  const fs::path dir = TempDir("theirs");
  const int w = 37, h = 29;
  const fs::path raw = WriteRawSource(dir, w, h);
  struct Case {
    const char* name;
    const char* args;
    int tolerance;
    bool againstSource = false;  // compare with the picture the converter was given
  };
  const Case cases[] = {
      {"plain.dds", "-define dds:compression=none", 0},
      {"opaque.dds", "-alpha off -define dds:compression=none", 0},
      {"dxt1.dds", "-alpha off -define dds:compression=dxt1", 3},
      {"dxt5.dds", "-define dds:compression=dxt5", 3},
      {"mips.dds", "-define dds:compression=dxt5 -define dds:mipmaps=3", 3},
      // The converter reads transparent merged images of its own files as
      // if they were blended with white; they are not, so these compare with
      // the source picture instead.
      {"rgba.psd", "", 0, true},
      {"rgb.psd", "-alpha off", 0},
      {"gray.psd", "-alpha off -colorspace gray", 0},
      {"deep.psd", "-alpha off -depth 16", 0},
      {"raw.psd", "-compress none", 0, true},
      {"colour.pcx", "-alpha off", 0},
      {"palette.xpm", "-alpha off -colors 40", 0},
      {"holes.xpm", "-colors 30 -channel A -threshold 50% +channel", 0},
  };
  int compared = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = (dir / c.name).string();
    bool ok;
    dds_pcx_psd_xpm::Run("convert -size " + std::to_string(w) + "x" + std::to_string(h) +
                             " -depth 8 rgba:" + Quote(raw.string()) + " " + c.args + " " +
                             Quote(out),
                         ok);
    if (!ok || !fs::exists(out)) {
      ADD_FAILURE() << "the converter could not write " << c.name;
      continue;
    }
    int rw, rh, ow, oh;
    std::vector<uint8_t> ref, ours;
    ASSERT_TRUE(MagickRgba(out, rw, rh, ref));
    if (c.againstSource) {
      std::ifstream in(raw, std::ios::binary);
      ref.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string error;
    ASSERT_TRUE(OurRgba(out, ow, oh, ours, &error)) << error;
    ASSERT_EQ(ow, rw);
    ASSERT_EQ(oh, rh);
    EXPECT_LE(MaxDifference(ref, ours), c.tolerance) << FirstDifference(ref, ours, c.tolerance);
    ++compared;
  }
  EXPECT_EQ(compared, int(std::size(cases)));
  fs::remove_all(dir);
}

TEST(WrittenFiles, OurFilesLoadAlikeInTheReference) {
  REQUIRE_CONVERTER();
  const fs::path dir = TempDir("ours");
  const RasterImage source = SmoothImage(37, 29);
  struct Case {
    const char* ext;
    TImageFormat format;
    int tolerance;
  };
  const Case cases[] = {
      // Five- and six-bit channels widen by bit replication here, by
      // rounded scaling there; the converter reads neither 5-5-5 without
      // alpha, luminance with alpha nor the one-channel blocks; it refuses
      // indexed Photoshop files of this size, its own included.
      {"dds", ifA8R8G8B8, 0}, {"dds", ifX8R8G8B8, 0},      {"dds", ifR8G8B8, 0},
      {"dds", ifR5G6B5, 1},   {"dds", ifA1R5G5B5, 1},      {"dds", ifA4R4G4B4, 0},
      {"dds", ifGray8, 0},    {"dds", ifDXT1, 3},          {"dds", ifDXT3, 3},
      {"dds", ifDXT5, 3},     {"psd", ifGray8, 0},         {"psd", ifA8Gray8, 0},
      {"psd", ifGray16, 1},   {"psd", ifA16Gray16, 1},     {"psd", ifR8G8B8, 0},
      {"psd", ifA8R8G8B8, 0}, {"psd", ifR16G16B16, 1},     {"psd", ifA16R16G16B16, 1},
      {"psd", ifR32F, 1},     {"psd", ifA32R32G32B32F, 1},
  };
  for (const Case& c : cases) {
    const std::string label = std::string(GetImageFormatInfo(c.format)->Name) + "." + c.ext;
    SCOPED_TRACE(label);
    RasterImage img;
    ASSERT_TRUE(ImageClone(source, img));
    if (c.format == ifDXT1)  // one-bit alpha: keep the picture opaque
      for (int32_t i = 3; i < img.Size; i += 4) img.Bits[i] = 255;
    ASSERT_TRUE(ImageConvert(img, c.format));
    const std::string path = (dir / ("out_" + label)).string();
    ASSERT_TRUE(WriteImageFile(path, img));
    int rw, rh, ow, oh;
    std::vector<uint8_t> ref, ours;
    ASSERT_TRUE(MagickRgba(path, rw, rh, ref)) << "the converter cannot read it";
    ASSERT_TRUE(OurRgba(path, ow, oh, ours));
    ASSERT_EQ(rw, ow);
    ASSERT_EQ(rh, oh);
    // The merged colour of a transparent Photoshop picture is stored laid
    // over white, which the converter undoes: colours of nearly transparent
    // pixels lose precision, so both are compared laid over white. The
    // converter's RGBA export of gray pictures with alpha mixes up the alpha
    // of pixels sharing a gray level, so its alpha is taken on its own.
    int tolerance = c.tolerance;
    if (std::string(c.ext) == "psd" && GetImageFormatInfo(c.format)->HasAlphaChannel) {
      bool ok;
      const std::vector<uint8_t> alpha = ::imprimo::testing::RunCommand(
          "convert " + Quote(path + "[0]") + " -alpha extract -depth 8 gray:-", ok);
      ASSERT_TRUE(ok && alpha.size() * 4 == ref.size());
      for (size_t k = 0; k < alpha.size(); ++k) ref[4 * k + 3] = alpha[k];
      for (std::vector<uint8_t>* v : {&ref, &ours})
        for (size_t k = 0; k + 3 < v->size(); k += 4)
          for (int ch = 0; ch < 3; ++ch) {
            const int a = (*v)[k + 3];
            (*v)[k + ch] = static_cast<uint8_t>(((*v)[k + ch] * a + 255 * (255 - a) + 127) / 255);
          }
      tolerance = std::max(tolerance, 1);
    }
    EXPECT_LE(MaxDifference(ref, ours), tolerance) << FirstDifference(ref, ours, tolerance);
  }
  fs::remove_all(dir);
}

TEST(WrittenFiles, BlockEncodersKeepARealPhotoAboveThirtyFiveDecibels) {
  const std::string photo = CorpusDir() + "/exif/exif-samples/phone-hdr/canon_hdr_NO.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(photo);
  RasterImage src;
  ASSERT_TRUE(ReadImageFile(photo, src));
  ASSERT_TRUE(ImageConvert(src, ifA8R8G8B8));
  for (TImageFormat f : {ifDXT1, ifDXT3, ifDXT5, ifATI2N}) {
    RasterImage img;
    ASSERT_TRUE(ImageClone(src, img));
    ASSERT_TRUE(ImageConvert(img, f));
    ASSERT_TRUE(ImageConvert(img, ifA8R8G8B8));
    const unsigned mask = f == ifATI2N ? 6 : 7;  // red and green only for two channels
    const double psnr = Psnr(src, img, 4, mask);
    std::printf("%s on a %dx%d photo: %.1f dB\n", GetImageFormatInfo(f)->Name, src.Width,
                src.Height, psnr);
    EXPECT_GE(psnr, 35.0) << GetImageFormatInfo(f)->Name;
  }
}

}  // namespace
}  // namespace imprimo::dds_pcx_psd_xpm
