// Agreement with the reference converter (ImageMagick) on the DDS, PSD, PCX
// and XPM conformance files.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "imaging_dds_pcx_psd_xpm_corpus/agreement_util.h"

namespace imprimo::dds_pcx_psd_xpm {
namespace {

// How a file whose reference decoding is known to be wrong is checked.
enum class TRefFault {
  SwapRedBlue,  // the reference ignores channel masks with red in the low byte
  RedOnly,      // the reference reads a red-only surface as luminance
  Skip,         // nothing comparable
};

struct TSetOutcome {
  int compared = 0;
  std::vector<std::string> ourFailures;  // the reference decodes, we do not
};

// Every file of the set: where both decoders succeed, sizes must agree and
// pixels lie within tolerance (per-file overrides in tolerances). Files that the
// reference decodes and we refuse must be listed in allowedFailures.
TSetOutcome CompareSet(const std::string& sub, const std::string& ext, int tolerance,
                       const std::map<std::string, std::string>& allowedFailures,
                       const std::map<std::string, int>& tolerances = {},
                       const std::map<std::string, TRefFault>& faults = {}) {
  TSetOutcome outcome;
  for (const std::string& path : CorpusFiles(sub, ext)) {
    const std::string name = BaseName(path);
    SCOPED_TRACE(path + " against ImageMagick");
    int rw = 0, rh = 0, ow = 0, oh = 0;
    std::vector<uint8_t> ref, ours;
    std::string error;
    const bool refOk = MagickRgba(path, rw, rh, ref);
    const bool ourOk = OurRgba(path, ow, oh, ours, &error);
    if (refOk && !ourOk) {
      outcome.ourFailures.push_back(name);
      EXPECT_TRUE(allowedFailures.count(name)) << name << ": " << error;
      continue;
    }
    if (!refOk || !ourOk) continue;
    EXPECT_EQ(rw, ow) << name;
    EXPECT_EQ(rh, oh) << name;
    if (rw != ow || rh != oh) continue;
    if (const auto f = faults.find(name); f != faults.end()) {
      if (f->second == TRefFault::Skip) continue;
      ++outcome.compared;
      for (size_t i = 0; i + 3 < ours.size(); i += 4) {
        if (f->second == TRefFault::SwapRedBlue) {
          std::swap(ours[i], ours[i + 2]);
        } else {
          EXPECT_EQ(ours[i + 1], 0) << name;
          EXPECT_EQ(ours[i + 2], 0) << name;
          ours[i + 1] = ours[i + 2] = ours[i];
        }
      }
    } else
      ++outcome.compared;
    const auto it = tolerances.find(name);
    const int tol = it == tolerances.end() ? tolerance : it->second;
    const int diff = MaxDifference(ref, ours);
    EXPECT_LE(diff, tol) << name << ": " << FirstDifference(ref, ours, tol);
  }
  return outcome;
}

TEST(CorpusAgreement, DirectDrawSurfaces) {
  REQUIRE_CORPUS_A("dds");
  // Every surface the reference decodes must load here too.
  const std::map<std::string, std::string> unsupported = {};
  // Surfaces whose channel masks the reference does not follow; the file's
  // masks (and, for one set, its source picture) say otherwise.
  const std::map<std::string, TRefFault> faults = {
      {"rgb8unorm.dds", TRefFault::SwapRedBlue},
      {"rgb8unorm-yup.dds", TRefFault::SwapRedBlue},
      {"rgbx8unorm.dds", TRefFault::SwapRedBlue},
      {"rgba8unorm-3d.dds", TRefFault::SwapRedBlue},
      {"rgba8unorm-3d-yup-zbackward.dds", TRefFault::SwapRedBlue},
      {"rgba8unorm-cube.dds", TRefFault::SwapRedBlue},
      {"rgba8unorm-cube-incomplete.dds", TRefFault::SwapRedBlue},
      {"dds_abgr8.dds", TRefFault::SwapRedBlue},
      {"dds_bgr8.dds", TRefFault::SwapRedBlue},
      {"A8B8G8R8.dds", TRefFault::SwapRedBlue},
      {"r8unorm.dds", TRefFault::RedOnly},
      {"depth-set-for-non-3d.dds", TRefFault::RedOnly},
      // 3-3-2 read as luminance, 10-bit fields and 2-bit alpha misplaced.
      {"dds_rgb332.dds", TRefFault::Skip},
      {"R3G3B2.dds", TRefFault::Skip},
      {"dds_rgb10a2.dds", TRefFault::Skip},
      {"A2B10G10R10.dds", TRefFault::Skip},
  };
  // Block formats: decoders may round interpolated entries differently.
  TSetOutcome o = CompareSet("dds", ".dds", 3, unsupported, {}, faults);
  std::printf("DDS: %d files compared, %zu refused\n", o.compared, o.ourFailures.size());
  EXPECT_GE(o.compared, 35);
}

TEST(CorpusAgreement, PhotoshopImages) {
  REQUIRE_CORPUS_A("psd");
  const std::map<std::string, std::string> unsupported = {};
  const std::map<std::string, TRefFault> faults = {
      // The reference composes the layers; the stored merged image is blank.
      {"2layer_8ele_tblocks.psd", TRefFault::Skip},
      {"layer-name-emoji.psd", TRefFault::Skip},
      // Multichannel documents have no colour meaning: we show the first channel.
      {"4x4_16bit_multichannel.psd", TRefFault::Skip},
  };
  // The reference rebuilds this file's transparency from its single layer.
  // Lab values are relative to D50 as stored and adapted to sRGB's D65 here;
  // the reference takes them as D65-relative, which moves saturated colours.
  const std::map<std::string, int> tolerances = {
      {"gray0.psd", 2}, {"4x4_8bit_lab.psd", 24}, {"4x4_16bit_lab.psd", 24}};
  TSetOutcome o = CompareSet("psd", ".psd", 1, unsupported, tolerances, faults);
  std::printf("PSD: %d files compared, %zu refused\n", o.compared, o.ourFailures.size());
  EXPECT_GE(o.compared, 20);
}

TEST(CorpusAgreement, PaintbrushImages) {
  REQUIRE_CORPUS_A("pcx");
  // Monochrome files: set bits are white here, black in the reference.
  const std::map<std::string, TRefFault> faults = {{"test-bpp1.pcx", TRefFault::Skip}};
  TSetOutcome o = CompareSet("pcx", ".pcx", 0, {}, {}, faults);
  EXPECT_EQ(o.compared, 3);
}

TEST(CorpusAgreement, XPixmaps) {
  REQUIRE_CORPUS_A("xpm");
  // Damaged files the reference patches up; we refuse them with a message.
  const std::map<std::string, std::string> refused = {
      {"invalid.1.xpm", "colour table shorter than declared"},
      {"issue-95-too-narrow.xpm", "rows shorter than the width"},
      {"issue-95-too-short.xpm", "fewer rows than the height"},
  };
  TSetOutcome o = CompareSet("xpm", ".xpm", 0, refused);
  EXPECT_GE(o.compared, 1);
}

TEST(CorpusAgreement, XPixmapsTheReferenceRefuses) {
  REQUIRE_CORPUS_A("xpm");
  // Colour names the reference does not know; the pixels are still checkable.
  int w, h;
  std::vector<uint8_t> px;
  ASSERT_TRUE(OurRgba(CorpusDir() + "/xpm/qtbase/black.xpm", w, h, px));
  EXPECT_EQ(w, 48);
  EXPECT_EQ(h, 48);
  EXPECT_EQ(px[3], 0);  // "None" corner
  // A named colour with several words and an unknown name.
  std::string error;
  EXPECT_FALSE(OurRgba(CorpusDir() + "/xpm/qtbase/namedcolors.xpm", w, h, px, &error));
  EXPECT_NE(error.find("pale turquoise 5"), std::string::npos) << error;
  // Absurd sizes fail fast instead of allocating.
  EXPECT_FALSE(OurRgba(CorpusDir() + "/xpm/gdk-pixbuf/issue-95.xpm", w, h, px, &error));
}

TEST(CorpusAgreement, DamagedFilesFailCleanlyOrKeepWhatIsSound) {
  REQUIRE_CORPUS_A("dds");
  const std::string dds = CorpusDir() + "/dds/";
  for (const char* name :
       {"oiio-images/broken/dds_8bytes.dds", "oiio-images/broken/dds_bc3_just_header.dds",
        "oiio-images/broken/dds_bc3_no_full_header.dds",
        "oiio-images/broken/dds_bc7_not_enough_data.dds", "magnum-plugins/unknown-format.dds",
        "magnum-plugins/dxt10-invalid-resource-dimension.dds"}) {
    RasterImage img;
    try {
      EXPECT_FALSE(ReadImageFile(dds + name, img)) << name;
    } catch (const EImagingError& e) {
      EXPECT_NE(std::string(e.what()).find("Error while loading images"), std::string::npos);
    }
    EXPECT_EQ(img.Bits, nullptr) << name;
  }
  // Damage inside the layers does not touch the merged image.
  REQUIRE_CORPUS_A("psd");
  RasterImage img;
  ASSERT_TRUE(ReadImageFile(CorpusDir() + "/psd/oiio-images/corrupt_20260312a.psd", img));
  EXPECT_EQ(img.Width, 48);
  EXPECT_EQ(img.Height, 27);
}

TEST(CorpusAgreement, PalettedSurfacesMatchTheirTrueColourTwin) {
  // The reference reads neither; the set holds the same picture as A8R8G8B8.
  REQUIRE_CORPUS_A("dds/qtimageformats");
  const std::string dir = CorpusDir() + "/dds/qtimageformats/";
  int w, h;
  std::vector<uint8_t> truth, px;
  ASSERT_TRUE(OurRgba(dir + "A8R8G8B8.dds", w, h, truth));
  for (size_t i = 3; i < truth.size(); i += 4) truth[i] = 255;
  for (const auto& [name, tolerance] : {std::pair{"P8.dds", 8}, std::pair{"P4.dds", 40}}) {
    ASSERT_TRUE(OurRgba(dir + name, w, h, px)) << name;
    EXPECT_LE(MaxDifference(truth, px, false), tolerance)
        << name << ": " << FirstDifference(truth, px, tolerance);
  }
}

}  // namespace
}  // namespace imprimo::dds_pcx_psd_xpm
