// HEIF, AVIF, WebP and TIFF pictures through whole runs: their EXIF and
// colour profile reach JPEG outputs and the EXIF variables, a camera JPEG's
// metadata reaches WebP, AVIF and TIFF outputs, and a WebP turned by its
// EXIF comes out upright. Checked with exiftool.
#include <gtest/gtest.h>

#include "exif/exif_reader.h"
#include "pipeline_test_util.h"
#include "support/corpus_support.h"

namespace imprimo::testing {
namespace {

const fs::path kCamera = fs::path(IMPRIMO_CORPUS_DIR) / "exif/exif-samples/camera/Canon_40D.jpg";
const char kTags[] =
    "-s -s -s -IFD0:Make -IFD0:Model -ExifIFD:DateTimeOriginal -ExifIFD:FNumber "
    "-ICC_Profile:ProfileDescription";

std::string Tags(const std::string& path) {
  return RunCommandText(std::string("exiftool ") + kTags + " " + Quote(path) + " 2>/dev/null");
}

struct TOneRun {
  TRunEnv env;
  TRecordingHost host;
  std::string Run(const std::string& source, int saveFormat, const std::string& outName) {
    env.settings.SaveFormat = saveFormat;
    env.AddFiles(host, {source});
    RunBatch(env.context, host);
    const std::string out = env.Out(outName);
    EXPECT_TRUE(fs::exists(out)) << (host.results.empty() ? std::string("no result")
                                                          : host.results[0].Reason);
    return out;
  }
};

TEST(NewFormatsMetadata, CameraMetadataReachesWebPAvifAndTiffOutputs) {
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool missing";
  IMPRIMO_REQUIRE_CORPUS_PATH(kCamera);
  const std::string expected = Tags(kCamera.string());
  ASSERT_NE(expected.find("Canon"), std::string::npos);
  ASSERT_NE(expected.find("sRGB"), std::string::npos);
  const struct {
    int format;
    const char* name;
  } outputs[] = {{16, "Canon_40D.webp"}, {17, "Canon_40D.avif"}, {18, "Canon_40D.tif"}};
  for (const auto& o : outputs) {
    SCOPED_TRACE(o.name);
    TOneRun run;
    const std::string src = run.env.Src("Canon_40D.jpg");
    fs::copy_file(kCamera, src);
    const std::string out = run.Run(src, o.format, o.name);
    EXPECT_EQ(Tags(out), expected);
    EXPECT_EQ(RunCommandText("exiftool -s -s -s -Error -Warning " + Quote(out) + " 2>/dev/null"),
              "");
  }
}

TEST(NewFormatsMetadata, ContainerSourcesGiveTheirMetadataToJpegOutputs) {
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool missing";
  IMPRIMO_REQUIRE_CORPUS_PATH(kCamera);
  TRunEnv made;
  const std::string camera = made.scratch / "cam.jpg";
  fs::copy_file(kCamera, camera);
  struct {
    const char* name;
    const char* tool;
    std::string command;
  } sources[] = {
      {"cam.heic", "heif-enc", "heif-enc -q 80 " + Quote(camera) + " -o %OUT%"},
      {"cam.webp", "cwebp", "cwebp -quiet -metadata all " + Quote(camera) + " -o %OUT%"},
      {"cam.tif", "convert",
       "convert " + Quote(camera) +
           " -compress lzw %OUT% && exiftool -q -overwrite_original "
           "-tagsFromFile " +
           Quote(camera) + " -exif:all -icc_profile %OUT%"},
  };
  for (const auto& s : sources) {
    SCOPED_TRACE(s.name);
    if (!HaveCommand(s.tool)) continue;
    const std::string file = made.scratch / s.name;
    std::string command = s.command;
    for (size_t at; (at = command.find("%OUT%")) != std::string::npos;)
      command.replace(at, 5, Quote(file));
    int code = -1;
    RunCommandText(command + " >/dev/null 2>&1", &code);
    ASSERT_EQ(code, 0) << command;
    const std::string before = Tags(file);
    ASSERT_NE(before.find("Canon"), std::string::npos) << before;

    // The EXIF variables see the camera.
    TimgData reader;
    ASSERT_TRUE(reader.ReadMetadata(file));
    EXPECT_EQ(reader.CameraMake(), "Canon");

    TOneRun run;
    const std::string src = run.env.Src(s.name);
    fs::copy_file(file, src);
    const std::string base = fs::path(s.name).stem().string();
    const std::string out = run.Run(src, 0, base + ".jpg");
    EXPECT_EQ(Tags(out), before);
  }
}

TEST(NewFormatsMetadata, AWebPTurnedByItsExifComesOutUpright) {
  if (!HaveCommand("exiftool") || !HaveCommand("cwebp"))
    GTEST_SKIP() << "exiftool or cwebp missing";
  TRunEnv made;
  const std::string jpg = made.scratch / "side.jpg";
  WritePicture(jpg, 60, 40);
  RunCommandText("exiftool -q -overwrite_original -Make=Side -Orientation#=6 " + Quote(jpg));
  const std::string webp = made.scratch / "side.webp";
  int code = -1;
  RunCommandText("cwebp -quiet -metadata exif " + Quote(jpg) + " -o " + Quote(webp), &code);
  ASSERT_EQ(code, 0);
  TOneRun run;
  const std::string src = run.env.Src("side.webp");
  fs::copy_file(webp, src);
  const std::string out = run.Run(src, 16, "side.webp");
  RasterImage img;
  ASSERT_TRUE(ReadImageFile(out, img));
  EXPECT_EQ(img.Width, 40);
  EXPECT_EQ(img.Height, 60);
  EXPECT_EQ(
      RunCommandText("exiftool -s -s -s -n -Orientation -Make " + Quote(out) + " 2>/dev/null"),
      "1\nSide\n");
}

}  // namespace
}  // namespace imprimo::testing
