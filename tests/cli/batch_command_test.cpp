// imprimo-batch run as a program: options, exit codes, messages, output
// lines, Log.dat, Setup.ini and Ctrl+C.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "app/presets.h"
#include "app/settings.h"
#include "pipeline/pipeline_test_util.h"
#include "platform/version.h"
#include "runlog/run_log.h"
#include "support/corpus_support.h"
#include "support/icc_profiles.h"

namespace imprimo::testing {
namespace {

#ifndef IMPRIMO_BATCH_EXE
#define IMPRIMO_BATCH_EXE ""
#endif

// A program folder with the sample templates and a source tree.
struct TCommandEnv {
  TScratchFolder scratch;
  std::string program = scratch / "prog/";
  std::string src = scratch / "src/";
  std::string out = scratch / "out/";

  TCommandEnv() {
    if (std::string(IMPRIMO_BATCH_EXE).empty()) throw std::runtime_error("no imprimo-batch");
    fs::create_directories(program);
    fs::create_directories(src);
    fs::create_directories(out);
    fs::copy(std::string(IMPRIMO_SOURCE_DIR) + "/data/Watermarks", program + "Watermarks",
             fs::copy_options::recursive);
  }
  std::string Run(const std::string& args, int* exitCode, bool withProgramFolder = true) {
    std::string command = std::string("'") + IMPRIMO_BATCH_EXE + "' ";
    if (withProgramFolder) command += "--program-folder " + Quote(program) + " ";
    return RunCommandText(command + args + " 2>&1", exitCode);
  }
  std::vector<RunLogRecord> Log() {
    RunLog log;
    log.LoadFromFile(program + "Log.dat");
    return log.Records();
  }
};

TEST(BatchCommand, HelpVersionAndUsageErrors) {
  TCommandEnv env;
  int code = -1;
  std::string text = env.Run("--help", &code, false);
  EXPECT_EQ(code, 0);
  EXPECT_NE(text.find("Usage: imprimo-batch"), std::string::npos);
  // Every option is described once, and the manual shows this very text.
  std::map<std::string, int> options;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  --", 0) == 0) ++options[line.substr(2, line.find_first_of(" ,", 2) - 2)];
  EXPECT_GT(options.size(), 20u);
  for (const auto& [option, count] : options) EXPECT_EQ(count, 1) << option;
  std::ifstream page(std::string(IMPRIMO_BUILD_DIR) + "/help/command-line.html");
  const std::string html((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
  const size_t from = html.find("<pre id=\"usage\">\n");
  ASSERT_NE(from, std::string::npos);
  std::string shown = html.substr(from + 17, html.find("</pre>", from) - from - 17);
  for (const auto& [entity, c] : {std::pair<std::string, char>{"&lt;", '<'}, {"&gt;", '>'}}) {
    for (size_t at = shown.find(entity); at != std::string::npos; at = shown.find(entity, at))
      shown.replace(at, entity.size(), 1, c);
  }
  for (size_t at = shown.find("&amp;"); at != std::string::npos; at = shown.find("&amp;", at + 1))
    shown.replace(at, 5, "&");
  EXPECT_EQ(shown, text) << "the built command-line.html shows an old --help";
  text = env.Run("--version", &code, false);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text, std::string("imprimo-batch (Imprimo) ") + kProgramVersion + "\n");
  for (const char* bad : {"--frobnicate x.jpg", "--quality 5 x.jpg", "--resize 10 x.jpg",
                          "--format heic x.jpg", "--border 1,2,3 x.jpg", "--case title x.jpg",
                          "--out a --in-place x.jpg", "--quality", ""}) {
    text = env.Run(bad, &code);
    EXPECT_EQ(code, 2) << bad;
    EXPECT_NE(text.find("imprimo-batch: "), std::string::npos) << bad;
  }
  EXPECT_TRUE(env.Log().empty());
}

// With the language file beside the program, the messages follow the
// user's language; an English locale keeps them English.
TEST(BatchCommand, MessagesInTheUsersLanguage) {
  if (!fs::is_regular_file(fs::path(IMPRIMO_BATCH_EXE).parent_path() / "imprimo.lcf"))
    GTEST_SKIP() << "no language file beside imprimo-batch";
  TCommandEnv env;
  WritePicture(env.src + "a.jpg", 40, 30);
  const std::string run = "--template Copyright --out " + Quote(env.out) + " " + Quote(env.src);
  int code = -1;
  const std::string chinese =
      RunCommandText("IMPRIMO_LANGUAGE=2052 '" + std::string(IMPRIMO_BATCH_EXE) +
                         "' --program-folder " + Quote(env.program) + " " + run + " 2>&1",
                     &code);
  EXPECT_EQ(code, 0) << chinese;
  // "Processed 1 of 1 image(s): 1 succeeded, 0 failed." in Chinese.
  EXPECT_NE(chinese.find("\xE5\xB7\xB2\xE5\xA4\x84\xE7\x90\x86 1 / 1"), std::string::npos)
      << chinese;
  EXPECT_EQ(chinese.find("Processed"), std::string::npos) << chinese;
  const std::string missing = RunCommandText(
      "LC_ALL= LANG=zh_CN.UTF-8 IMPRIMO_LANGUAGE= '" + std::string(IMPRIMO_BATCH_EXE) + "' 2>&1",
      &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(missing.find("\xE6\xB2\xA1\xE6\x9C\x89\xE6\x8C\x87\xE5\xAE\x9A"), std::string::npos)
      << missing;  // "no images given"
  const std::string english = RunCommandText(
      "LC_ALL= LANG=en_US.UTF-8 IMPRIMO_LANGUAGE= '" + std::string(IMPRIMO_BATCH_EXE) +
          "' --program-folder " + Quote(env.program) + " " + run + " 2>&1",
      &code);
  EXPECT_NE(english.find("Processed 1 of 1 image(s)"), std::string::npos) << english;
}

TEST(BatchCommand, RefusalsGiveTheirMessagesAndExitTwo) {
  TCommandEnv env;
  WritePicture(env.src + "a.jpg", 32, 24);
  int code = -1;
  WriteText(env.scratch / "blocker", "x");
  std::string text =
      env.Run("--out " + Quote(env.scratch / "blocker/sub") + " " + Quote(env.src), &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(text.find("cannot create the output folder"), std::string::npos) << text;

  text = env.Run("--template nosuch --out " + Quote(env.out) + " " + Quote(env.src), &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(text.find("Unable to find selected template. Please choose a template first!"),
            std::string::npos);

  text = env.Run("--template Copyright --out " + Quote(env.src) + " " + Quote(env.src), &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(text.find("The source and destination directories must be different."),
            std::string::npos);
  EXPECT_TRUE(env.Log().empty());
  // A missing --out folder is made, parents included.
  text = env.Run("--out " + Quote(env.scratch / "missing/deeper") + " " + Quote(env.src), &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_TRUE(fs::is_regular_file(env.scratch / "missing/deeper/a.jpg")) << text;

  // The same folder in other letter case is a different folder here.
  fs::create_directories(env.scratch / "SRC");
  text = env.Run("--template Copyright --out " + Quote(env.scratch / "SRC") + " " + Quote(env.src),
                 &code);
  EXPECT_EQ(code, 0) << text;
}

// A template whose extension is in capitals is chosen by the name the
// window lists, with or without its extension.
TEST(BatchCommand, TemplateNamesResolveAsTheWindowListsThem) {
  TCommandEnv env;
  fs::rename(env.program + "Watermarks/Copyright.wg", env.program + "Watermarks/Beta.WG");
  WritePicture(env.src + "a.jpg", 40, 30);
  for (const char* choice : {"Beta", "Beta.wg", "Beta.WG"}) {
    int code = -1;
    const std::string text = env.Run(std::string("--template ") + choice + " --overwrite --out " +
                                         Quote(env.out) + " " + Quote(env.src + "a.jpg"),
                                     &code);
    EXPECT_EQ(code, 0) << choice << ": " << text;
    EXPECT_NE(text.find(env.program + "Watermarks/Beta.WG"), std::string::npos) << text;
  }
}

// A preset gives the bytes its options typed out give; options typed beside
// it override it; bad names and a preset whose template is gone are refused.
TEST(BatchCommand, PresetsGiveWhatTheirOptionsTypedOutGive) {
  TCommandEnv env;
  TSettings s;
  s.PathType = 2;
  s.OutPath = env.out + "preset/";
  s.SaveFormat = 1;
  s.Compress = 6;
  s.Resize = true;
  s.NewWidth = 60;
  s.NewHeight = 60;
  s.ResizeMode = 3;
  s.DrawBorder = true;
  s.BorderTopWidth = 2;
  s.BorderRightWidth = 3;
  s.BorderBottomWidth = 4;
  s.BorderLeftWidth = 5;
  s.BorderColor = 0x00336699;
  s.BorderPosition = false;
  s.Rename = true;
  s.RenameTpl = "pic-###";
  s.ChangeCase = 0;
  s.KeepExif = false;
  SavePreset(env.program, {"Web small", s, "Logo"});
  SavePreset(env.program, {"gone", s, "Removed Template"});
  fs::create_directories(s.OutPath);
  WritePicture(env.src + "IMG_1.JPG", 300, 200);
  WritePicture(env.src + "IMG_2.JPG", 200, 300);
  const std::string sources = Quote(env.src + "IMG_1.JPG") + " " + Quote(env.src + "IMG_2.JPG");

  int code = -1;
  std::string text = env.Run("--list-presets", &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text, "gone\nWeb small\n");

  text = env.Run("--preset 'Web small' " + sources, &code);
  EXPECT_EQ(code, 0) << text;
  text = env.Run("--template Logo --out " + Quote(env.out + "typed") +
                     " --format png --compress 6 --resize 60x60 --resize-mode 3"
                     " --border 2,3,4,5 --border-color 996633 --border-outside"
                     " --rename 'pic-###' --case upper --no-keep-exif " +
                     sources,
                 &code);
  EXPECT_EQ(code, 0) << text;
  const std::vector<std::string> names{"pic-001.PNG", "pic-002.PNG"};
  EXPECT_EQ(FilesUnder(env.out + "preset"), names);
  EXPECT_EQ(FilesUnder(env.out + "typed"), names);
  for (const std::string& name : names)
    EXPECT_EQ(ReadBytes(env.out + "preset/" + name), ReadBytes(env.out + "typed/" + name)) << name;

  text = env.Run("--preset 'web SMALL' --format bmp --out " + Quote(env.out + "over") + " " +
                     Quote(env.src + "IMG_1.JPG"),
                 &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_EQ(FilesUnder(env.out + "over"), std::vector<std::string>{"pic-001.BMP"});

  for (const char* bad : {"'a]b'", "'x=1'", "'two\nlines'"}) {
    text = env.Run(std::string("--preset ") + bad + " " + sources, &code);
    EXPECT_EQ(code, 2) << bad;
    EXPECT_NE(text.find("may not contain"), std::string::npos) << text;
  }
  text = env.Run("--preset nosuch " + sources, &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(text.find("no preset named nosuch"), std::string::npos) << text;
  text = env.Run("--preset gone " + sources, &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(text.find("Unable to find selected template. Please choose a template first!"),
            std::string::npos)
      << text;
}

TEST(BatchCommand, FolderRunMirrorsSubFoldersLogsAndCarriesExif) {
  TCommandEnv env;
  samples::TExifFields exif;
  exif.Make = "Cliffside";
  exif.DateTime = "2024:05:06 07:08:09";
  WritePicture(env.src + "trip/day1/a.jpg", 120, 80, "jpg", true, exif);
  WritePicture(env.src + "b.png", 120, 80, "png");
  WriteText(env.src + "notes.txt", "skipped by the filter");
  int code = -1;
  const std::string text = env.Run(
      "--template 'Photo Info' --filter '*.jpg' --out " + Quote(env.out) + " " + Quote(env.src),
      &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_EQ(FilesUnder(env.out), std::vector<std::string>{"trip/day1/a.jpg"});
  EXPECT_NE(text.find("[ok]   " + env.src + "trip/day1/a.jpg -> " + env.out +
                      "trip/day1/a.jpg (120 x 80, "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Processed 1 of 1 image(s): 1 succeeded, 0 failed."), std::string::npos);
  const std::vector<RunLogRecord> log = env.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].title, "Success");
  EXPECT_EQ(log[0].description, env.src + "trip/day1/a.jpg");
  if (HaveCommand("exiftool")) {
    const std::string tags =
        RunCommandText("exiftool -s -Make -DateTimeOriginal " + Quote(env.out + "trip/day1/a.jpg"));
    EXPECT_NE(tags.find("Cliffside"), std::string::npos) << tags;
    EXPECT_NE(tags.find("2024:05:06 07:08:09"), std::string::npos) << tags;
  }
}

TEST(BatchCommand, StripLocationAndDroppedMetadataAreReported) {
  const fs::path gps = fs::path(IMPRIMO_CORPUS_DIR) / "exif/exif-samples/gps/DSCN0010.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(gps);
  TCommandEnv env;
  // The camera file with the first of two colour profile chunks only.
  std::vector<uint8_t> bytes = ReadBytes(gps.string());
  const std::string chunk =
      std::string("\xFF\xE2\x01\x10ICC_PROFILE\0\x01\x02", 18) + std::string(0x110 - 16, 'p');
  bytes.insert(bytes.begin() + 2, chunk.begin(), chunk.end());
  WriteBytes(env.src + "located.jpg", bytes);
  int code = -1;
  const std::string text = env.Run("--template Copyright --strip-location --out " + Quote(env.out) +
                                       " " + Quote(env.src + "located.jpg"),
                                   &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_NE(text.find("[warn] " + env.src + "located.jpg: colour profile dropped: "),
            std::string::npos)
      << text;
  if (HaveCommand("exiftool")) {
    const std::string out = env.out + "located.jpg";
    EXPECT_EQ(RunCommandText("exiftool -s -s -s -GPS:all -Error " + Quote(out) + " 2>/dev/null"),
              "");
    EXPECT_EQ(RunCommandText("exiftool -s -s -s -IFD0:Make " + Quote(out) + " 2>/dev/null"),
              "NIKON\n");
  }
}

// An Adobe RGB photo written where no profile fits is converted to sRGB,
// unless the option (saved to Setup.ini on request) keeps its numbers.
TEST(BatchCommand, WideGamutColoursConvertedUnlessKept) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TCommandEnv env;
  RasterImage image;
  ImageCreate(image, 48, 32, ifR8G8B8);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) std::memcpy(image.Row(y) + 3 * x, "\x3C\x3C\xC8", 3);
  WriteBytes(env.src + "adobe.jpg", JpegWithIccProfile(image, AdobeRgbIccProfile()));
  TMagickPicture source;
  ASSERT_TRUE(MagickRead(env.src + "adobe.jpg", source, {.Channels = 3}));
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    int code = -1;
    const std::string text =
        env.Run(std::string("--template Copyright --format tga --overwrite ") +
                    (keep ? "--keep-source-colors --save-settings " : "") + "--out " +
                    Quote(env.out) + " " + Quote(env.src + "adobe.jpg"),
                &code);
    ASSERT_EQ(code, 0) << text;
    TMagickPicture out;
    ASSERT_TRUE(MagickRead(env.out + "adobe.tga", out, {.AutoOrient = true, .Channels = 3}));
    ASSERT_EQ(out.Samples.size(), source.Samples.size());
    // The bottom right corner lies away from the mark.
    int largest = 0;
    for (size_t i = out.Samples.size() - 3; i < out.Samples.size(); ++i)
      largest = std::max(largest, std::abs(int(out.Samples[i]) - int(source.Samples[i])));
    if (keep)
      EXPECT_LE(largest, 1);
    else
      EXPECT_GE(largest, 8);  // the red is more saturated in sRGB numbers
  }
  TSettings saved;
  TProgramValues values;
  LoadSettings(env.program, saved, values);
  EXPECT_TRUE(saved.KeepSourceColors);
}

TEST(BatchCommand, OptionsOverrideSetupAndSaveSettingsWritesThemBack) {
  TCommandEnv env;
  TSettings stored;
  TProgramValues values;
  stored.SaveFormat = 1;  // PNG from the settings file
  stored.OutPath = env.out;
  SaveSettings(env.program, stored, values);
  WritePicture(env.src + "IMG_1.JPG", 300, 200);
  WritePicture(env.src + "IMG_2.JPG", 300, 200);
  int code = -1;
  std::string text = env.Run("--template Logo " + Quote(env.src + "IMG_1.JPG"), &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_TRUE(fs::exists(env.out + "IMG_1.png"));

  text = env.Run(
      "--template Logo --case upper --resize 60x60 --border 2,2,2,2 --border-outside "
      "--rename 'pic-###' --serial 7 --save-settings " +
          Quote(env.src + "IMG_1.JPG") + " " + Quote(env.src + "IMG_2.JPG"),
      &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_TRUE(fs::exists(env.out + "pic-007.PNG"));
  EXPECT_TRUE(fs::exists(env.out + "pic-008.PNG"));
  EXPECT_NE(text.find("(64 x 44, "), std::string::npos) << text;
  TSettings saved;
  LoadSettings(env.program, saved, values);
  EXPECT_EQ(saved.RenameNo, 9);
  EXPECT_TRUE(saved.Rename);
  EXPECT_EQ(saved.RenameTpl, "pic-###");
  EXPECT_EQ(saved.ChangeCase, 0);
  EXPECT_EQ(saved.ScrPath, env.src);
}

TEST(BatchCommand, CameraPicturesAreTurnedUprightUnlessAskedNotTo) {
  TCommandEnv env;
  samples::TExifFields exif;
  exif.Orientation = 6;  // stored 120 x 80, seen 80 x 120
  WritePicture(env.src + "cam.jpg", 120, 80, "jpg", true, exif);
  int code = -1;
  std::string text = env.Run(
      "--template Copyright --out " + Quote(env.out) + " " + Quote(env.src + "cam.jpg"), &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_NE(text.find("cam.jpg (80 x 120, "), std::string::npos) << text;

  text = env.Run("--template Copyright --no-auto-rotate --save-settings --out " + Quote(env.out) +
                     " " + Quote(env.src + "cam.jpg"),
                 &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_NE(text.find("cam(1).jpg (120 x 80, "), std::string::npos) << text;
  TSettings saved;
  TProgramValues values;
  LoadSettings(env.program, saved, values);
  EXPECT_FALSE(saved.AutoRotate);
  if (HaveCommand("exiftool")) {
    EXPECT_EQ(RunCommandText("exiftool -n -s3 -Orientation " + Quote(env.out + "cam.jpg")), "1\n");
    EXPECT_EQ(RunCommandText("exiftool -n -s3 -Orientation " + Quote(env.out + "cam(1).jpg")),
              "6\n");
  }

  // The stored setting is off now; the option turns it on for one run.
  text = env.Run("--template Copyright --auto-rotate --out " + Quote(env.out) + " " +
                     Quote(env.src + "cam.jpg"),
                 &code);
  EXPECT_NE(text.find("cam(2).jpg (80 x 120, "), std::string::npos) << text;
  text = env.Run("--no-auto-rotate=1 x.jpg", &code);
  EXPECT_EQ(code, 2);
}

TEST(BatchCommand, FailuresGiveExitOneAndTheRestSucceed) {
  TCommandEnv env;
  WritePicture(env.src + "a.jpg", 40, 30);
  WriteText(env.src + "b.jpg", "text, not a picture");
  WriteBytes(env.src + "c.jpg", {});
  int code = -1;
  const std::string text = env.Run("--template Copyright --out " + Quote(env.out) + " " +
                                       Quote(env.src) + " " + Quote(env.scratch / "vanished.jpg"),
                                   &code);
  EXPECT_EQ(code, 1) << text;
  EXPECT_EQ(CountOf(text, "[ok]"), 1u) << text;
  EXPECT_EQ(CountOf(text, "[fail]"), 3u) << text;
  EXPECT_NE(text.find("the file is empty"), std::string::npos) << text;
  EXPECT_NE(text.find("does not exist"), std::string::npos) << text;
  EXPECT_EQ(env.Log().size(), 4u);
  EXPECT_EQ(FilesUnder(env.out), std::vector<std::string>{"a.jpg"});
}

TEST(BatchCommand, FailedSaveInPlaceWithOverwriteKeepsTheSource) {
  TCommandEnv env;
  WritePicture(env.src + "big.bmp", 300, 200, "bmp");
  const std::vector<uint8_t> before = ReadBytes(env.src + "big.bmp");
  int code = -1;
  // Files over 40 KB cannot be written: the 180 KB output fails.
  const std::string command = "trap '' XFSZ; ulimit -f 80; '" + std::string(IMPRIMO_BATCH_EXE) +
                              "' --program-folder " + Quote(env.program) +
                              " --template Copyright --format bmp --in-place --overwrite "
                              "--replace-originals " +
                              Quote(env.src + "big.bmp") + " 2>&1";
  const std::string text = RunCommandText("sh -c " + Quote(command), &code);
  EXPECT_EQ(code, 1) << text;
  EXPECT_NE(text.find("[fail]"), std::string::npos) << text;
  EXPECT_EQ(ReadBytes(env.src + "big.bmp"), before);
  EXPECT_EQ(FilesUnder(env.src), std::vector<std::string>{"big.bmp"});
}

// Starts a run of many pictures, sends signo once the first image is done and
// checks that the run stopped cleanly between images.
void StopsBetweenImagesOn(int signo) {
  TCommandEnv env;
  const int n = 40;
  for (int i = 0; i < n; ++i)
    WritePicture(env.src + "p" + std::to_string(100 + i) + ".jpg", 900, 600);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    execl(IMPRIMO_BATCH_EXE, IMPRIMO_BATCH_EXE, "--program-folder", env.program.c_str(),
          "--template", "Diagonal Proof", "--out", env.out.c_str(), env.src.c_str(), nullptr);
    _exit(127);
  }
  close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  bool signalled = false;
  for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(got));
    if (!signalled && text.find("[ok]") != std::string::npos) {
      kill(pid, signo);
      signalled = true;
    }
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << text;
  EXPECT_EQ(WEXITSTATUS(status), 1) << text;
  const size_t done = CountOf(text, "[ok]");
  EXPECT_GE(done, 1u);
  EXPECT_LT(done, static_cast<size_t>(n)) << text;
  EXPECT_NE(text.find("Stopped;"), std::string::npos) << text;
  // Every started image was finished: one output and one log line each.
  EXPECT_EQ(FilesUnder(env.out).size(), done);
  // Log.dat keeps only its newest lines; the last one is the last image done.
  const std::vector<RunLogRecord> log = env.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_LE(log.size(), done);
  const size_t lastOk = text.rfind("[ok]   ");
  const size_t arrow = text.find(" -> ", lastOk);
  EXPECT_EQ(log.back().description, text.substr(lastOk + 7, arrow - lastOk - 7));
}

TEST(BatchCommand, CtrlCStopsBetweenImages) { StopsBetweenImagesOn(SIGINT); }
TEST(BatchCommand, TerminationStopsBetweenImages) { StopsBetweenImagesOn(SIGTERM); }

}  // namespace
}  // namespace imprimo::testing

namespace imprimo::testing {
namespace {

// The newer output formats by extension, with their own options; a source
// of each newer kind reads back as its picture.
TEST(BatchCommand, NewerFormatsAndTheirOptions) {
  TCommandEnv env;
  WritePicture(env.src + "pic.png", 64, 40, "png");
  const struct {
    const char* args;
    const char* output;
  } runs[] = {{"--format webp --webp-lossless", "pic.webp"},
              {"--format .AVIF --avif-speed 9 --quality 60", "pic.avif"},
              {"--format tiff --tiff-compression deflate", "pic.tif"}};
  for (const auto& r : runs) {
    SCOPED_TRACE(r.args);
    int code = -1;
    const std::string text =
        env.Run(std::string("--template Copyright --out ") + Quote(env.out) + " --case lower " +
                    r.args + " " + Quote(env.src + "pic.png"),
                &code);
    EXPECT_EQ(code, 0) << text;
    const std::string out = env.out + r.output;
    RasterImage img;
    ASSERT_TRUE(ReadImageFile(out, img)) << text;
    EXPECT_EQ(img.Width, 64);
    EXPECT_EQ(img.Height, 40);
  }
  for (const char* bad :
       {"--avif-speed 11 x.png", "--tiff-compression jpeg x.png", "--format heif x.png"}) {
    int code = -1;
    const std::string text = env.Run(bad, &code);
    EXPECT_EQ(code, 2) << bad;
    EXPECT_NE(text.find("imprimo-batch: "), std::string::npos) << bad;
  }
}

// Every file under folder with its bytes.
std::map<std::string, std::vector<uint8_t>> Tree(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const std::string& name : FilesUnder(folder)) files[name] = ReadBytes(folder + "/" + name);
  return files;
}

// A source tree whose rows carry a serial, a sequence number and the output
// name in their pixels, and the same run made with one, two and eight
// workers, and as three shards into one folder.
TEST(BatchScale, WorkersAndShardsWriteWhatOneSerialRunWrites) {
  TCommandEnv env;
  WriteText(env.program + "Watermarks/Seq.wg",
            "[Seq]\r\nEnabled=1\r\nStyle=0\r\nText={$S3} {$FEU}\r\nFontName=DejaVu Sans\r\n"
            "FontSize=9\r\nAlpha=100\r\nPlaceStyle=0\r\nPosition=1\r\n");
  for (int i = 0; i < 7; ++i) WritePicture(env.src + "p" + std::to_string(i) + ".jpg", 48, 32);
  for (int i = 0; i < 4; ++i)
    WritePicture(env.src + "sub/q" + std::to_string(i) + ".png", 40, 30, "png");
  WriteText(env.src + "sub/broken.jpg", "not a picture");
  const std::string common = "--template Seq --rename '{FN}-###' --serial 5 " + Quote(env.src);
  int code = -1;
  std::string text = env.Run("--jobs 1 --out " + Quote(env.scratch / "one") + " " + common, &code);
  EXPECT_EQ(code, 1) << text;  // the broken file fails
  const auto one = Tree(env.scratch / "one");
  ASSERT_EQ(one.size(), 11u) << text;
  for (const char* jobs : {"2", "8"}) {
    const std::string folder = env.scratch / (std::string("jobs") + jobs);
    text = env.Run(std::string("--jobs ") + jobs + " --out " + Quote(folder) + " " + common, &code);
    EXPECT_EQ(code, 1) << text;
    EXPECT_TRUE(Tree(folder) == one) << jobs << " workers\n" << text;
  }
  // Shards run one after another here; each would do on its own machine.
  const std::string shards = env.scratch / "shards";
  for (int k = 0; k < 3; ++k) {
    text = env.Run(
        "--jobs 2 --shard " + std::to_string(k) + "/3 --out " + Quote(shards) + " " + common,
        &code);
    EXPECT_LE(code, 1) << text;
  }
  EXPECT_TRUE(Tree(shards) == one);

  // A dry run names the same files and writes nothing.
  const std::string dry = env.scratch / "dry";
  text = env.Run("--dry-run --out " + Quote(dry) + " " + common, &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_FALSE(fs::exists(dry));
  for (const auto& [name, bytes] : one)
    EXPECT_NE(text.find(dry + "/" + name), std::string::npos) << name << "\n" << text;
  EXPECT_NE(text.find("Seq: 3 P0-005.JPG"), std::string::npos) << text;
  EXPECT_NE(text.find("broken.jpg -> (not an image"), std::string::npos) << text;
}

TEST(BatchScale, FilesFromListsAndCollisionsInADryRun) {
  TCommandEnv env;
  WritePicture(env.src + "a b.jpg", 32, 24);
  WritePicture(env.src + "c.jpg", 32, 24);
  WritePicture(env.src + "sub/c.jpg", 32, 24);
  WriteText(env.out + "c.jpg", "taken");
  const std::string list = env.scratch / "list";
  // NUL-separated: names may hold blanks; an empty entry is skipped.
  WriteText(list, env.src + "a b.jpg" + std::string(1, '\0') + std::string(1, '\0') + env.src +
                      "c.jpg" + std::string(1, '\0') + env.src + "sub/c.jpg");
  int code = -1;
  std::string text = env.Run("--template Copyright --dry-run --null --files-from " + Quote(list) +
                                 " --out " + Quote(env.out),
                             &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_NE(text.find(env.out + "a b.jpg\n"), std::string::npos) << text;
  EXPECT_NE(text.find(env.out + "c(1).jpg (" + env.out + "c.jpg is taken)"), std::string::npos)
      << text;
  // The list's first file's folder is the added folder: sub/ is mirrored.
  EXPECT_NE(text.find(env.out + "sub/c.jpg"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(env.out + "c(1).jpg"));
  // Newline-separated from standard input.
  text = RunCommandText("printf '%s\\n' " + Quote(env.src + "c.jpg") + " | '" + IMPRIMO_BATCH_EXE +
                            "' --program-folder " + Quote(env.program) +
                            " --template Copyright --jobs 2 --files-from - --out " +
                            Quote(env.out) + " 2>&1",
                        &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_TRUE(fs::is_regular_file(env.out + "c(1).jpg")) << text;
  text = env.Run("--files-from " + Quote(env.scratch / "nosuch"), &code);
  EXPECT_EQ(code, 2);
  text = env.Run("--shard 3/3 x.jpg", &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(text.find("--shard takes K/N"), std::string::npos) << text;
}

}  // namespace
}  // namespace imprimo::testing

namespace imprimo::testing {
namespace {

// How many of the files ImageMagick reads as JPEG pictures.
size_t JpegsReadBack(const std::vector<std::string>& paths) {
  std::string args;
  for (const std::string& p : paths) args += " " + Quote(p);
  return CountOf(RunCommandText("identify -format '%m\\n'" + args + " 2>/dev/null"), "JPEG\n");
}

TEST(BatchCommand, InPlaceWithOverwriteReplacesOriginalsOnlyWhenTold) {
  TCommandEnv env;
  WritePicture(env.src + "a.jpg", 60, 40);
  const std::vector<uint8_t> before = ReadBytes(env.src + "a.jpg");
  int code = -1;
  std::string text =
      env.Run("--template Copyright --in-place --overwrite " + Quote(env.src + "a.jpg"), &code);
  EXPECT_EQ(code, 2) << text;
  EXPECT_NE(text.find("--replace-originals"), std::string::npos) << text;
  EXPECT_EQ(ReadBytes(env.src + "a.jpg"), before);
  EXPECT_EQ(FilesUnder(env.src), std::vector<std::string>{"a.jpg"});
  // Beside the sources without overwriting, the originals stay.
  text = env.Run("--template Copyright --in-place " + Quote(env.src + "a.jpg"), &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_EQ(ReadBytes(env.src + "a.jpg"), before);
  text = env.Run(
      "--template Copyright --in-place --overwrite --replace-originals " + Quote(env.src + "a.jpg"),
      &code);
  EXPECT_EQ(code, 0) << text;
  EXPECT_NE(ReadBytes(env.src + "a.jpg"), before);
  if (HaveMagick()) EXPECT_EQ(JpegsReadBack({env.src + "a.jpg"}), 1u);
}

// Two runs started together into one folder, with the same file names:
// every picture of both gets a file of its own.
TEST(BatchCommand, TwoRunsIntoOneFolderKeepEveryPicture) {
  TCommandEnv env;
  constexpr int kEach = 40;
  for (int i = 0; i < kEach; ++i) {
    const std::string name = "ph" + std::to_string(100 + i) + ".jpg";
    WritePicture(env.src + "one/" + name, 48, 32);
    WritePicture(env.src + "two/" + name, 48, 32);
  }
  const auto command = [&](const std::string& folder) {
    return Quote(IMPRIMO_BATCH_EXE) + " --program-folder " + Quote(env.program) +
           " --template Copyright --quiet --out " + Quote(env.out) + " " + Quote(env.src + folder) +
           " >/dev/null 2>&1";
  };
  int code = -1;
  RunCommandText("sh -c " + Quote(command("one") + " & " + command("two") + " & wait"), &code);
  EXPECT_EQ(code, 0);
  const std::vector<std::string> names = FilesUnder(env.out);
  std::vector<std::string> expected;
  for (int i = 0; i < kEach; ++i) {
    expected.push_back("ph" + std::to_string(100 + i) + "(1).jpg");
    expected.push_back("ph" + std::to_string(100 + i) + ".jpg");
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  if (HaveMagick()) {
    std::vector<std::string> paths;
    for (const std::string& n : names) paths.push_back(env.out + n);
    EXPECT_EQ(JpegsReadBack(paths), expected.size());
  }
}

// A name as long as a folder entry allows saves; partial files that an
// interrupted run of another process left in the output folder go, others
// stay.
TEST(BatchCommand, LongestNamesSaveAndPartialFilesOfDeadRunsGo) {
  TCommandEnv env;
  const std::string longName = std::string(246, 'l') + ".jpg";  // 250 bytes
  WritePicture(env.src + longName, 48, 32);
  WritePicture(env.out + longName, 48, 32);  // taken: the output is numbered
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const std::string dead = std::to_string(child);
  char deadNew[64], alive[64];
  std::snprintf(deadNew, sizeof deadNew, ".imprimo-%010d-0000000100.tmp", static_cast<int>(child));
  std::snprintf(alive, sizeof alive, ".imprimo-%010d-0000000100.tmp", static_cast<int>(getpid()));
  const std::string deadOld = ".ph035.jpg.tmp-" + dead + "-100";
  for (const std::string& n : {std::string(deadNew), std::string(alive), deadOld})
    WriteText(env.out + n, "truncated");
  int code = -1;
  const std::string text =
      env.Run("--template Copyright --out " + Quote(env.out) + " " + Quote(env.src), &code);
  EXPECT_EQ(code, 0) << text;
  const std::string numbered = std::string(246, 'l') + "(1).jpg";
  EXPECT_EQ(FilesUnder(env.out),
            (std::vector<std::string>{std::string(alive), numbered, longName}));
  if (HaveMagick()) EXPECT_EQ(JpegsReadBack({env.out + numbered}), 1u);
}

}  // namespace
}  // namespace imprimo::testing
