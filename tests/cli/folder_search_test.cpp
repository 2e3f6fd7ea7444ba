// imprimo-batch on real photo folders: which files a folder search takes,
// the order of named files, rename patterns and the run header.
#include <algorithm>

#include "pipeline/pipeline_test_util.h"
#include "runlog/run_log.h"

namespace imprimo::testing {
namespace {

#ifndef IMPRIMO_BATCH_EXE
#define IMPRIMO_BATCH_EXE ""
#endif

struct TFolderEnv {
  TScratchFolder scratch;
  std::string program = scratch / "prog/";
  std::string src = scratch / "src/";

  TFolderEnv() {
    if (std::string(IMPRIMO_BATCH_EXE).empty()) throw std::runtime_error("no imprimo-batch");
    fs::create_directories(program);
    fs::create_directories(src);
    fs::copy(std::string(IMPRIMO_SOURCE_DIR) + "/data/Watermarks", program + "Watermarks",
             fs::copy_options::recursive);
  }
  std::string Run(const std::string& args, int* exitCode) {
    return RunCommandText(std::string("'") + IMPRIMO_BATCH_EXE + "' --program-folder " +
                              Quote(program) + " " + args + " 2>&1",
                          exitCode);
  }
};

TEST(BatchFolderSearch, SidecarsAreLeftOutAndImagesFoundByContent) {
  TFolderEnv env;
  const std::string out = env.scratch / "out/";
  fs::create_directories(out);
  WritePicture(env.src + "a.jpg", 40, 30);
  WritePicture(env.src + "b.JPG", 40, 30);
  WritePicture(env.src + "disguised.dat", 40, 30, "png");  // a PNG under a foreign name
  // Camera raw files are TIFF inside, but their first page is no photo.
  WritePicture(env.src + "camera.NEF", 40, 30, "tif");
  WritePicture(env.src + "camera.dng", 40, 30, "tif");
  WriteText(env.src + "a.jpg.xmp", "<x:xmpmeta/>");
  WriteText(env.src + "notes.txt", "taken at dawn");
  WriteText(env.src + "README", "sidecar");
  int code = -1;
  std::string text =
      env.Run("--template Copyright --out " + Quote(out) + " " + Quote(env.src), &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_EQ(CountOf(text, "[ok]"), 3u) << text;
  EXPECT_EQ(CountOf(text, "[fail]"), 0u) << text;
  EXPECT_NE(text.find("disguised.dat"), std::string::npos) << text;
  EXPECT_EQ(text.find("README"), std::string::npos) << text;
  EXPECT_EQ(text.find("camera."), std::string::npos) << text;

  // A list of masks, matched without regard to letter case.
  WritePicture(env.src + "c.PNG", 40, 30, "png");
  WritePicture(env.src + "d.gif", 40, 30, "gif");
  fs::remove_all(out);
  fs::create_directories(out);
  text = env.Run(
      "--template Copyright --filter '*.jpg; *.png' --out " + Quote(out) + " " + Quote(env.src),
      &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_EQ(CountOf(text, "[ok]"), 3u) << text;  // a.jpg, b.JPG, c.PNG
  EXPECT_EQ(text.find("d.gif"), std::string::npos) << text;
  EXPECT_EQ(text.find("disguised.dat"), std::string::npos) << text;
}

TEST(BatchFolderSearch, RerunsWithTheOutputInsideTheInputKeepTheirCount) {
  TFolderEnv env;
  WritePicture(env.src + "a.jpg", 40, 30);
  WritePicture(env.src + "sub/b.jpg", 40, 30);
  const std::string out = env.src + "wm/";
  fs::create_directories(out);
  for (int run = 0; run < 3; ++run) {
    int code = -1;
    const std::string text = env.Run(
        "--template Copyright --overwrite --out " + Quote(out) + " " + Quote(env.src), &code);
    EXPECT_EQ(code, 0) << text;
    EXPECT_EQ(CountOf(text, "[ok]"), 2u) << "run " << run << "\n" << text;
  }
  EXPECT_FALSE(fs::exists(out + "wm"));
  const std::vector<std::string> files = FilesUnder(out);
  EXPECT_EQ(files, (std::vector<std::string>{"a.jpg", "sub/b.jpg"}));
}

TEST(BatchFolderSearch, LinkedFoldersAreEnteredOnceAndLoopsEnd) {
  TFolderEnv env;
  const std::string elsewhere = env.scratch / "elsewhere/";
  WritePicture(elsewhere + "x.jpg", 40, 30);
  WritePicture(env.src + "a.jpg", 40, 30);
  fs::create_directory_symlink(elsewhere, env.src + "linked");
  fs::create_directory_symlink(elsewhere, env.src + "linked-again");
  fs::create_directory_symlink(env.src, elsewhere + "back-to-src");  // a loop
  const std::string out = env.scratch / "out/";
  fs::create_directories(out);
  int code = -1;
  const std::string text =
      env.Run("--template Copyright --out " + Quote(out) + " " + Quote(env.src), &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_EQ(CountOf(text, "[ok]"), 2u) << text;
  EXPECT_EQ(CountOf(text, "x.jpg ->"), 1u) << text;
}

TEST(BatchFolderSearch, NamedFilesKeepTheirOrder) {
  TFolderEnv env;
  const std::string out = env.scratch / "out/";
  fs::create_directories(out);
  for (const char* name : {"zeta", "Mike", "alpha"}) WritePicture(env.src + name + ".jpg", 40, 30);
  int code = -1;
  const std::string text =
      env.Run("--template Copyright --out " + Quote(out) + " " + Quote(env.src + "zeta.jpg") + " " +
                  Quote(env.src + "Mike.jpg") + " " + Quote(env.src + "alpha.jpg"),
              &code);
  EXPECT_EQ(code, 0) << text;
  const size_t zeta = text.find("zeta.jpg ->"), mike = text.find("Mike.jpg ->"),
               alpha = text.find("alpha.jpg ->");
  ASSERT_NE(alpha, std::string::npos) << text;
  EXPECT_LT(zeta, mike) << text;
  EXPECT_LT(mike, alpha) << text;
}

TEST(BatchFolderSearch, RenamePatternsLeavingTheOutputAreRefusedFirst) {
  TFolderEnv env;
  const std::string out = env.scratch / "out/";
  fs::create_directories(out);
  WritePicture(env.src + "a.jpg", 40, 30);
  for (const char* pattern : {"../x_{FN}", "sub/x", "a\\\\b"}) {
    int code = -1;
    const std::string text = env.Run("--template Copyright --rename '" + std::string(pattern) +
                                         "' --out " + Quote(out) + " " + Quote(env.src),
                                     &code);
    EXPECT_EQ(code, 2) << pattern << "\n" << text;
    EXPECT_NE(text.find("may not contain a path separator"), std::string::npos) << text;
    EXPECT_EQ(text.find("Template "), std::string::npos) << text;
  }
  EXPECT_TRUE(FilesUnder(env.scratch / "out").empty());
  EXPECT_FALSE(fs::exists(env.scratch / "x_a.jpg"));
}

TEST(BatchFolderSearch, NoHeaderBeforeAStartUpError) {
  TFolderEnv env;
  WritePicture(env.src + "a.jpg", 40, 30);
  int code = -1;
  const std::string text = env.Run(
      "--template nosuch --out " + Quote(env.scratch / "missing") + " " + Quote(env.src), &code);
  EXPECT_EQ(code, 2) << text;
  EXPECT_EQ(text.find("Template "), std::string::npos) << text;
  std::string good = env.Run(
      "--template Copyright --out " + Quote(env.scratch.Path()) + " " + Quote(env.src + "a.jpg"),
      &code);
  EXPECT_EQ(code, 0) << good;
  EXPECT_EQ(good.rfind("Template ", 0), 0u) << good;
}

TEST(BatchMissingMarks, WarnedWithoutStrictAndFailedWithIt) {
  TFolderEnv env;
  fs::remove(env.program + "Watermarks/imprimo-logo.png");
  WriteText(env.program + "Watermarks/Off.wg", "[Caption]\nEnabled=0\nStyle=0\nText=hi\n");
  WritePicture(env.scratch / "not-a-template.wg", 20, 20, "png");
  WritePicture(env.src + "a.jpg", 60, 40);
  WritePicture(env.src + "b.jpg", 60, 40);
  const std::string out = env.scratch / "out/";
  fs::create_directories(out);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Logo", "layer Logo: the logo imprimo-logo.png is missing or unreadable"},
      {"Off", "the template has no enabled layer"},
      {Quote(env.scratch / "not-a-template.wg"),
       "the template holds no layer (is the file a template?)"}};
  for (const auto& [tpl, warning] : cases) {
    fs::remove(env.program + "Log.dat");
    int code = -1;
    std::string text = env.Run(
        "--template " + tpl + " --overwrite --out " + Quote(out) + " " + Quote(env.src), &code);
    EXPECT_EQ(code, 0) << tpl << "\n" << text;
    EXPECT_EQ(CountOf(text, "[ok]"), 2u) << text;
    EXPECT_EQ(CountOf(text, "[warn] "), 2u) << text;
    EXPECT_NE(text.find("[warn] " + env.src + "a.jpg: " + warning), std::string::npos) << text;
    EXPECT_NE(text.find("2 image(s) with warnings (marks not drawn or metadata left out)."),
              std::string::npos)
        << text;

    fs::remove_all(out);
    fs::create_directories(out);
    text = env.Run("--template " + tpl + " --strict --out " + Quote(out) + " " + Quote(env.src),
                   &code);
    EXPECT_EQ(code, 1) << tpl << "\n" << text;
    EXPECT_EQ(CountOf(text, "[fail]"), 2u) << text;
    EXPECT_TRUE(FilesUnder(out).empty());
    // The run log keeps its record layout: one Success and one Fail per image.
    RunLog log;
    log.LoadFromFile(env.program + "Log.dat");
    ASSERT_EQ(log.Records().size(), 4u);
    EXPECT_EQ(log.Records()[0].title, "Success");
    EXPECT_EQ(log.Records()[3].title, "Fail");
    EXPECT_EQ(log.Records()[3].description, env.src + "b.jpg");
  }
  // A template whose marks all draw gives no warning.
  int code = -1;
  const std::string text = env.Run(
      "--template Copyright --strict --overwrite --out " + Quote(out) + " " + Quote(env.src),
      &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_EQ(text.find("[warn]"), std::string::npos) << text;
  EXPECT_EQ(text.find("not drawn"), std::string::npos) << text;
}

}  // namespace
}  // namespace imprimo::testing
