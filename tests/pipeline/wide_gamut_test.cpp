// Sources in wide-gamut colour spaces (Adobe RGB and ProPhoto numbers with
// their profile embedded), written to every output format: an unmarked area
// must show the source's colours once an independent reader has applied
// whatever profile the output carries, and the embedded profile must be the
// source's own.
#include <lcms2.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/process_image.h"
#include "pipeline/pipeline_test_util.h"
#include "support/icc_profiles.h"
#include "templates/template_file.h"

namespace imprimo::testing {
namespace {

// Colour patches, as sRGB numbers, all inside the sRGB gamut: saturated ones
// (where a wide-gamut number read as sRGB is furthest off) and neutrals.
struct TRgb {
  uint8_t r, g, b;
  bool Neutral() const { return r == g && g == b; }
};
const TRgb kPatches[] = {{200, 30, 30},   {40, 170, 60},  {30, 60, 200}, {230, 200, 40},
                         {180, 80, 200},  {40, 190, 200}, {60, 60, 60},  {128, 128, 128},
                         {200, 200, 200}, {240, 120, 30}, {20, 20, 20},  {100, 50, 20}};
constexpr int kPatchSize = 24, kColumns = 6, kTop = 40;  // rows above kTop hold the mark
constexpr int kWidth = kColumns * kPatchSize;
constexpr int kHeight = kTop + 2 * kPatchSize;

// The source numbers: the sRGB patches converted into the profile's space.
RasterImage WideGamutPicture(const std::string& profile) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE wide = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
  cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_8, wide, TYPE_BGR_8,
                                       INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
  RasterImage image;
  ImageCreate(image, kWidth, kHeight, ifR8G8B8);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const int band = y < kTop ? 0 : (y - kTop) / kPatchSize;
      const TRgb& c = kPatches[band * kColumns + x / kPatchSize];
      cmsDoTransform(t, &c, image.Row(y) + 3 * x, 1);
    }
  cmsDeleteTransform(t);
  cmsCloseProfile(wide);
  cmsCloseProfile(srgb);
  return image;
}

// One patch's mean CIE L*a*b*: the sample rectangle is its centre, away
// from the edges that lossy coders and chroma sampling blur.
struct TLab {
  double L = 0, a = 0, b = 0;
};
std::vector<TLab> PatchLabs(const std::vector<uint8_t>& rgb, int width, cmsHPROFILE space) {
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM t = cmsCreateTransform(space, TYPE_RGB_8, lab, TYPE_Lab_DBL,
                                       INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
  std::vector<TLab> labs;
  for (int i = 0; i < 2 * kColumns; ++i) {
    const int x0 = (i % kColumns) * kPatchSize + 6, y0 = kTop + (i / kColumns) * kPatchSize + 6;
    TLab sum;
    int n = 0;
    for (int y = y0; y < y0 + kPatchSize - 12; ++y)
      for (int x = x0; x < x0 + kPatchSize - 12; ++x, ++n) {
        cmsCIELab v;
        cmsDoTransform(t, &rgb[(size_t(y) * width + x) * 3], &v, 1);
        sum.L += v.L, sum.a += v.a, sum.b += v.b;
      }
    labs.push_back({sum.L / n, sum.a / n, sum.b / n});
  }
  cmsDeleteTransform(t);
  cmsCloseProfile(lab);
  return labs;
}

double DeltaE(const TLab& p, const TLab& q, bool lightnessOnly) {
  if (lightnessOnly) return std::abs(p.L - q.L);
  return std::sqrt((p.L - q.L) * (p.L - q.L) + (p.a - q.a) * (p.a - q.a) +
                   (p.b - q.b) * (p.b - q.b));
}

struct TDeltaE {
  double Mean = 0, Max = 0;
};

class WideGamutOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
    if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    srgbPath_ = env_.scratch / "srgb.icc";
    const std::string srgb = SrgbIccProfile();
    WriteBytes(srgbPath_, std::vector<uint8_t>(srgb.begin(), srgb.end()));
    WriteTextTemplate(env_.templatePath, "MMM");
    env_.work.Template.TemplateDoc = OpenTemplateFile(env_.templatePath);
  }

  // Writes the source in that space and reads its numbers back as an
  // outside decoder sees them (the JPEG coding included).
  void MakeSource(const std::string& profile) {
    profile_ = profile;
    source_ = env_.Src("wide.jpg");
    WriteBytes(source_, JpegWithIccProfile(WideGamutPicture(profile), profile));
    TMagickPicture picture;
    ASSERT_TRUE(MagickRead(source_, picture, {.Channels = 3}));
    cmsHPROFILE space = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
    expected_ = PatchLabs(picture.Samples, picture.Width, space);
    cmsCloseProfile(space);
  }

  std::string Process(int saveFormat) {
    env_.settings.SaveFormat = saveFormat;
    TRecordingHost host;
    host.AddPaths({source_});
    int status = -1;
    const TImageResult result = ProcessImage(source_, 0, status, env_.context, host);
    EXPECT_EQ(status, kStatusSucceeded) << result.Reason;
    for (const std::string& w : result.Warnings) ADD_FAILURE() << "warning: " << w;
    return result.OutputPath;
  }

  // The output as sRGB: ImageMagick turns it upright (a Targa file is stored
  // bottom up) and converts it from the profile it carries, which exiftool
  // extracted (ImageMagick's own AVIF reader skips it); a file without one
  // is taken as sRGB already.
  TDeltaE Measure(const std::string& output, bool lightnessOnly, const std::string& embedded) {
    std::string convert;
    if (!embedded.empty()) {
      const std::string path = env_.scratch / "embedded.icc";
      WriteBytes(path, std::vector<uint8_t>(embedded.begin(), embedded.end()));
      convert = "-profile " + Quote(path) + " -profile " + Quote(srgbPath_);
    }
    TMagickPicture picture;
    const bool read =
        MagickRead(output, picture, {.AutoOrient = true, .After = convert, .Channels = 3});
    EXPECT_TRUE(read) << output;
    EXPECT_EQ(picture.Width, kWidth);
    if (!read || picture.Width != kWidth || picture.Height != kHeight) return {1e9, 1e9};
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const std::vector<TLab> got = PatchLabs(picture.Samples, picture.Width, srgb);
    cmsCloseProfile(srgb);
    TDeltaE d;
    int n = 0;
    for (size_t i = 0; i < got.size(); ++i) {
      if (lightnessOnly && !kPatches[i].Neutral()) continue;
      const double e = DeltaE(got[i], expected_[i], lightnessOnly);
      d.Mean += e, d.Max = std::max(d.Max, e), ++n;
    }
    d.Mean /= n;
    return d;
  }

  // The profile exiftool finds in the file; empty when there is none.
  static std::string EmbeddedProfile(const std::string& output) {
    bool ok = false;
    const std::vector<uint8_t> icc = RunCommand("exiftool -b -ICC_Profile " + Quote(output), ok);
    return ok ? std::string(icc.begin(), icc.end()) : std::string();
  }

  TRunEnv env_;
  std::string srgbPath_, source_, profile_;
  std::vector<TLab> expected_;
};

// Every output format ImageMagick reads: those that can hold a profile carry
// the source's, the others hold sRGB numbers; a gray map keeps the
// neutrals' lightness. The Daggerfall formats, resized to the game's screen
// and mapped to its fixed palette, cannot show a source's colours.
const int kMeasuredFormats[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 18};
// Outputs that carry the profile with metadata kept.
bool CarriesProfile(int f) { return f == 0 || f == 1 || f == 2 || f == 12 || f == 13 || f >= 16; }

TEST_F(WideGamutOutput, EveryFormatShowsTheSourceColours) {
  for (const bool prophoto : {false, true}) {
    MakeSource(prophoto ? ProPhotoIccProfile() : AdobeRgbIccProfile());
    for (const bool keepExif : {true, false}) {
      env_.settings.KeepExif = keepExif;
      for (const int f : kMeasuredFormats) {
        SCOPED_TRACE(std::string(prophoto ? "ProPhoto" : "Adobe RGB") +
                     (keepExif ? " kept metadata, format " : " no metadata, format ") +
                     std::to_string(f));
        const std::string out = Process(f);
        if (out.empty()) continue;
        const std::string embedded = EmbeddedProfile(out);
        if (keepExif && CarriesProfile(f))
          EXPECT_EQ(embedded, profile_) << "the source's profile is embedded";
        else
          EXPECT_TRUE(embedded.empty()) << "no profile without the source's numbers";
        // Lossy coders (JPEG, JNG, WebP, AVIF) add small differences, more
        // so on the coarser steps of a ProPhoto picture; numbers read in the
        // wrong space are off by means of 5 to 19.
        const bool lossy = f == 0 || f == 4 || f == 16 || f == 17;
        const TDeltaE d = Measure(out, f == 8, embedded);
        EXPECT_LT(d.Mean, lossy ? 2.0 : 1.0) << "max " << d.Max;
        EXPECT_LT(d.Max, lossy ? 4.0 : 2.0) << "mean " << d.Mean;
      }
    }
  }
}

TEST_F(WideGamutOutput, KeepingTheSourceNumbersLeavesThemUnconverted) {
  MakeSource(ProPhotoIccProfile());
  env_.settings.KeepSourceColors = true;
  TMagickPicture source;
  ASSERT_TRUE(MagickRead(source_, source, {.Channels = 3}));
  for (const int f : {5, 7, 9, 13}) {  // GIF, TGA, PPM; PSD still embeds
    SCOPED_TRACE(f);
    const std::string out = Process(f);
    TMagickPicture written;
    ASSERT_TRUE(MagickRead(out, written, {.AutoOrient = true, .Channels = 3}));
    ASSERT_EQ(written.Samples.size(), source.Samples.size());
    // Below the mark the numbers are the source's, to within the GIF
    // palette's rounding.
    size_t far = 0;
    for (size_t i = size_t(kTop) * kWidth * 3; i < source.Samples.size(); ++i)
      if (std::abs(int(written.Samples[i]) - int(source.Samples[i])) > 3) ++far;
    EXPECT_LT(far, source.Samples.size() / 100);
    const std::string embedded = EmbeddedProfile(out);
    if (f == 13) {
      EXPECT_EQ(embedded, profile_);
    } else {
      EXPECT_TRUE(embedded.empty());
      EXPECT_GT(Measure(out, false, embedded).Mean, 5.0) << "read as sRGB, the colours are off";
    }
  }
}

}  // namespace
}  // namespace imprimo::testing
