// Metadata of real camera files through whole runs, checked with exiftool,
// ImageMagick and Pillow: the EXIF thumbnail shows the finished output, sizes
// follow a resize, profiles, XMP and IPTC survive, location can be stripped,
// CMYK files with a profile are converted through it.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "imaging/formats/jpeg_codec.h"
#include "pipeline_test_util.h"
#include "support/corpus_support.h"

namespace imprimo::testing {
namespace {

const fs::path kExifSamples = fs::path(IMPRIMO_CORPUS_DIR) / "exif/exif-samples";

bool HaveExiftool() { return HaveCommand("exiftool"); }
bool HavePillow() {
  int code = -1;
  RunCommandText("/usr/bin/python3 -c 'import PIL' 2>/dev/null", &code);
  return code == 0;
}

struct TRun {
  TRunEnv env;
  TRecordingHost host;
  // Copies the files into the source folder and runs the batch over them.
  void Run(const std::vector<fs::path>& files) {
    std::vector<std::string> paths;
    for (const fs::path& f : files) {
      const std::string to = env.Src(f.filename().string());
      fs::copy_file(f, to, fs::copy_options::overwrite_existing);
      paths.push_back(to);
    }
    env.AddFiles(host, paths);
    RunBatch(env.context, host);
  }
  // The warnings of the run, except the one about the empty template.
  std::vector<std::string> Warnings() const {
    std::vector<std::string> all;
    for (const TImageResult& r : host.results)
      for (const std::string& w : r.Warnings)
        if (w.find("template") == std::string::npos) all.push_back(w);
    return all;
  }
};

// Raw 8-bit RGB of a picture, optionally resized exactly, through ImageMagick;
// empty when it cannot read the picture.
std::string MagickRgb(const std::string& path, const std::string& resize = "") {
  TMagickPicture picture;
  if (!MagickRead(path, picture,
                  {.After = resize.empty() ? "" : "-resize " + resize + "!", .Channels = 3}))
    return {};
  return std::string(picture.Samples.begin(), picture.Samples.end());
}

double MeanDifference(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i])));
  return sum / double(a.size());
}

// exiftool's standard output; its minor warnings on the error stream are
// left aside (errors are asked for as the Error tag).
std::string Exiftool(const std::string& args) {
  return RunCommandText("exiftool " + args + " 2>/dev/null");
}

// "[Group] Tag: value" lines of the tag selection for each file. Tags with
// empty values are left out: an empty entry is not carried.
std::map<std::string, std::string> TagLines(const std::vector<std::string>& paths,
                                            const std::string& tags) {
  std::string args = "-s -s -G1 -a " + tags;
  for (const std::string& p : paths) args += " " + Quote(p);
  std::istringstream in(Exiftool(args));
  std::map<std::string, std::string> result;
  std::string line, current = paths.size() == 1 ? paths.front() : "";
  while (std::getline(in, line)) {
    if (line.rfind("======== ", 0) == 0) {
      current = line.substr(9);
      continue;
    }
    if (line.empty() || line.back() == ' ' || line.find(']') == std::string::npos) continue;
    result[current] += line + "\n";
  }
  return result;
}

std::string TagLines(const std::string& path, const std::string& tags) {
  return TagLines(std::vector<std::string>{path}, tags)[path];
}

TEST(MetadataCarry, CameraFileThumbnailShowsTheFinishedOutputAndSizesFollowIt) {
  if (!HaveExiftool() || !HaveMagick()) GTEST_SKIP() << "exiftool or ImageMagick missing";
  const fs::path camera = kExifSamples / "phone-hdr/canon_hdr_NO.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(camera);
  TRun run;
  TSettings& s = run.env.settings;
  s.Resize = true;
  s.NewWidth = 800;
  s.NewHeight = 600;
  s.ResizeMode = 3;
  // A wide red frame: a big mark the source's own thumbnail cannot show.
  s.DrawBorder = true;
  s.BorderTopWidth = s.BorderRightWidth = s.BorderBottomWidth = s.BorderLeftWidth = 70;
  s.BorderColor = 0x0000FF;
  s.BorderMode = 0;
  run.Run({camera});
  const std::string out = run.env.Out("canon_hdr_NO.jpg");
  ASSERT_TRUE(fs::exists(out)) << ::testing::PrintToString(run.host.results.at(0).Reason);
  EXPECT_TRUE(run.Warnings().empty()) << ::testing::PrintToString(run.Warnings());

  const std::string size = RunCommandText("identify -format '%w %h' " + Quote(out));
  int w = 0, h = 0;
  ASSERT_EQ(std::sscanf(size.c_str(), "%d %d", &w, &h), 2);
  EXPECT_EQ(Exiftool("-s -s -s -n -ExifIFD:ExifImageWidth -ExifIFD:ExifImageHeight " + Quote(out)),
            std::to_string(w) + "\n" + std::to_string(h) + "\n");
  EXPECT_EQ(Exiftool("-s -s -s -Error " + Quote(out)), "");

  const std::string thumb = run.env.scratch / "thumb.jpg";
  const std::string sourceThumb = run.env.scratch / "source-thumb.jpg";
  RunCommandText("exiftool -b -ThumbnailImage " + Quote(out) + " > " + Quote(thumb) +
                 " 2>/dev/null");
  RunCommandText("exiftool -b -ThumbnailImage " + Quote(camera.string()) + " > " +
                 Quote(sourceThumb) + " 2>/dev/null");
  const std::string thumbSize = RunCommandText("identify -format '%w %h' " + Quote(thumb));
  int tw = 0, th = 0;
  ASSERT_EQ(std::sscanf(thumbSize.c_str(), "%d %d", &tw, &th), 2) << thumbSize;
  EXPECT_EQ(std::max(tw, th), 160);
  const std::string geometry = std::to_string(tw) + "x" + std::to_string(th);
  const std::string thumbPixels = MagickRgb(thumb);
  // Like the output scaled down, not like the source's picture.
  EXPECT_LT(MeanDifference(thumbPixels, MagickRgb(out, geometry)), 6.0);
  EXPECT_GT(MeanDifference(thumbPixels, MagickRgb(sourceThumb, geometry)), 20.0);

  // A third reader opens the output and its EXIF.
  if (HavePillow()) {
    const std::string py = RunCommandText(
        "/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "im.load(); e = im.getexif(); print(im.size[0], im.size[1], e.get(0x010F))\" " +
        Quote(out) + " 2>&1");
    EXPECT_EQ(py, std::to_string(w) + " " + std::to_string(h) + " Canon\n");
  }
}

TEST(MetadataCarry, ProfilesXmpAndIptcOfTheCorpusSurviveAndNothingIsInvalid) {
  IMPRIMO_REQUIRE_CORPUS_PATH(kExifSamples);
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool missing";
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(kExifSamples, ec); !ec && it != fs::end(it);
       it.increment(ec))
    if (it->path().extension() == ".jpg") files.push_back(it->path());
  ASSERT_GE(files.size(), 20u) << "the exif corpus is incomplete";
  std::sort(files.begin(), files.end());
  TRun run;
  run.Run(files);

  const std::string tags =
      "-ICC_Profile:ProfileDescription -XMP-dc:all -XMP-xmpRights:all -XMP-photoshop:all "
      "-IPTC:all -IFD0:Make -IFD0:Model -ExifIFD:DateTimeOriginal -IFD0:Copyright -IFD0:Artist "
      "-GPS:GPSLatitude";
  std::vector<std::string> outs, sources;
  for (const fs::path& f : files) {
    const std::string out = run.env.Out(f.filename().string());
    if (!fs::exists(out)) continue;  // sources that do not decode are not written
    outs.push_back(out);
    sources.push_back(run.env.Src(f.filename().string()));
  }
  EXPECT_GE(outs.size(), 40u);
  std::map<std::string, std::string> before = TagLines(sources, tags);
  // The error tag is asked for too: no output may have one.
  std::map<std::string, std::string> after = TagLines(outs, tags + " -Error");
  for (size_t i = 0; i < outs.size(); ++i)
    EXPECT_EQ(after[outs[i]], before[sources[i]]) << sources[i];
}

TEST(MetadataCarry, StripLocationRemovesPlacesAndKeepsEverythingElse) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool missing";
  const fs::path gps = kExifSamples / "gps/DSCN0010.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(gps);
  TRunEnv made;
  const std::string source = made.scratch / "located.jpg";
  Exiftool("-o " + Quote(source) +
           " -XMP-dc:Title=Harbour -XMP-dc:Subject=boats -XMP-dc:Subject=sea"
           " -XMP-dc:Rights='(c) Someone' -XMP-photoshop:City=Marseille"
           " -XMP-photoshop:Country=France -XMP-iptcCore:Location='Vieux Port'"
           " -XMP-exif:GPSLatitude=43.29 -XMP-exif:GPSLatitudeRef=N"
           " -IPTC:City=Marseille -IPTC:Sub-location=Port -IPTC:Province-State=PACA"
           " -IPTC:Country-PrimaryLocationName=France -IPTC:Keywords=boats"
           " -IPTC:ObjectName=Harbour -IPTC:CopyrightNotice='(c) Someone' " +
           Quote(gps.string()));
  ASSERT_TRUE(fs::exists(source));

  const std::string kept =
      "-XMP-dc:all -XMP-xmpRights:all -IPTC:Keywords -IPTC:ObjectName -IPTC:CopyrightNotice "
      "-IFD0:Make -IFD0:Model -ExifIFD:DateTimeOriginal -ExifIFD:ExposureTime -ExifIFD:FNumber";
  const std::string location =
      "-GPS:all -XMP-exif:GPS* -XMP-photoshop:City -XMP-photoshop:Country "
      "-XMP-iptcCore:Location -IPTC:City -IPTC:Sub-location -IPTC:Province-State "
      "-IPTC:Country-PrimaryLocationName";
  ASSERT_NE(TagLines(source, location).find("Marseille"), std::string::npos);

  for (bool strip : {false, true}) {
    TRun run;
    run.env.settings.StripLocation = strip;
    run.Run({source});
    const std::string out = run.env.Out("located.jpg");
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(TagLines(out, kept), TagLines(source, kept));
    if (strip)
      EXPECT_EQ(TagLines(out, location), "");
    else
      EXPECT_EQ(TagLines(out, location), TagLines(source, location));
    EXPECT_EQ(Exiftool("-s -s -s -Error " + Quote(out)), "");
  }
}

// CIE L*a*b* of an sRGB pixel (D65).
void ToLab(const uint8_t* rgb, double lab[3]) {
  double v[3];
  for (int i = 0; i < 3; ++i) {
    const double c = rgb[i] / 255.0;
    v[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  }
  const double x = (0.4124 * v[0] + 0.3576 * v[1] + 0.1805 * v[2]) / 0.95047;
  const double y = 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2];
  const double z = (0.0193 * v[0] + 0.1192 * v[1] + 0.9505 * v[2]) / 1.08883;
  auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
  lab[0] = 116 * f(y) - 16;
  lab[1] = 500 * (f(x) - f(y));
  lab[2] = 200 * (f(y) - f(z));
}

TEST(MetadataCarry, CmykJpegWithAProfileIsConvertedThroughIt) {
  const fs::path ycck = fs::path(IMPRIMO_CORPUS_DIR) / "jpeg/jpeg-decoder/reftest/ycck.jpg";
  const fs::path srgb = fs::path(IMPRIMO_CORPUS_DIR) / "gif/pygif-test-suite/sRGB.icc";
  IMPRIMO_REQUIRE_CORPUS_PATH(ycck);
  IMPRIMO_REQUIRE_CORPUS_PATH(srgb);
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick missing";
  const std::vector<uint8_t> bytes = ReadBytes(ycck.string());
  RasterImage image;
  DecodeJpeg(bytes, image);
  ASSERT_EQ(image.Format, ifA8R8G8B8);
  const std::string reference =
      RunCommandText("convert " + Quote(ycck.string()) + " -profile " + Quote(srgb.string()) +
                     " -depth 8 rgb:- 2>/dev/null");
  ASSERT_EQ(reference.size(), size_t(image.Width) * image.Height * 3);
  double sum = 0, worst = 0;
  for (int y = 0; y < image.Height; ++y)
    for (int x = 0; x < image.Width; ++x) {
      const uint8_t* p = image.Row(y) + 4 * x;
      const uint8_t ours[3] = {p[2], p[1], p[0]};
      double a[3], b[3];
      ToLab(ours, a);
      ToLab(reinterpret_cast<const uint8_t*>(reference.data()) + 3 * (size_t(y) * image.Width + x),
            b);
      const double de = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                  (a[2] - b[2]) * (a[2] - b[2]));
      sum += de;
      worst = std::max(worst, de);
    }
  const double mean = sum / (double(image.Width) * image.Height);
  // Both go through the same profile; rounding and interpolation differ.
  EXPECT_LT(mean, 1.5);
  EXPECT_LT(worst, 5.0);

  // Through a run: RGB pixels, no CMYK profile attached, the rest kept.
  if (!HaveExiftool()) return;
  TRun run;
  run.Run({ycck});
  const std::string out = run.env.Out("ycck.jpg");
  ASSERT_TRUE(fs::exists(out));
  EXPECT_EQ(Exiftool("-s -s -s -ICC_Profile:all " + Quote(out)), "");
  EXPECT_EQ(Exiftool("-s -s -s -ColorComponents -Error " + Quote(out)), "3\n");
  const std::string kept = "-IFD0:Make -IFD0:Model -XMP-dc:all -IPTC:all";
  EXPECT_EQ(TagLines(out, kept), TagLines(ycck.string(), kept));
}

TEST(MetadataCarry, PngOutputsTakeTheProfileAndKeepExifOffWritesNothing) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool missing";
  const fs::path tagged = kExifSamples / "xmp/BlueSquare.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(tagged);
  TRun png;
  png.env.settings.SaveFormat = 1;
  png.Run({tagged});
  const std::string out = png.env.Out("BlueSquare.png");
  ASSERT_TRUE(fs::exists(out));
  EXPECT_EQ(Exiftool("-s -s -s -ProfileDescription -Error " + Quote(out)), "sRGB IEC61966-2.1\n");
  if (HavePillow()) {
    const std::string py = RunCommandText(
        "/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "im.load(); print(len(im.info.get('icc_profile', b'')))\" " +
        Quote(out) + " 2>&1");
    EXPECT_EQ(py, "3144\n");
  }

  TRun off;
  off.env.settings.KeepExif = false;
  off.Run({tagged});
  const std::string plain = off.env.Out("BlueSquare.jpg");
  ASSERT_TRUE(fs::exists(plain));
  EXPECT_EQ(TagLines(plain, "-EXIF:all -XMP:all -IPTC:all -ICC_Profile:all"), "");
}

}  // namespace
}  // namespace imprimo::testing
