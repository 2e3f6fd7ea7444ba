#include "app/batch_run.h"

#include <sys/stat.h>

#include <set>

#include "pipeline/pipeline_test_util.h"
#include "runlog/run_log.h"

namespace imprimo::testing {
namespace {

struct TBatch {
  TRunEnv env;
  TRecordingHost host;

  std::vector<std::string> MakeImages(int n, const std::string& ext = "png") {
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i) {
      paths.push_back(env.Src("img" + std::to_string(i) + "." + ext));
      WritePicture(paths.back(), 24, 16, ext);
    }
    env.AddFiles(host, paths);
    host.progress.clear();  // only the run's progress is looked at
    host.captions.clear();
    return paths;
  }
  TRunSummary Run() { return RunBatch(env.context, host); }
  std::vector<RunLogRecord> Log() {
    RunLog log;
    log.LoadFromFile(env.scratch / "Log.dat");
    return log.Records();
  }
};

TEST(BatchRun, EightImagesGiveProgressRoundedHalvesToEven) {
  TBatch b;
  b.MakeImages(8);
  const TRunSummary s = b.Run();
  EXPECT_EQ(s.Outcome, TRunOutcome::Finished);
  EXPECT_EQ(s.Succeeded, 8);
  EXPECT_EQ(b.host.progress, (std::vector<int>{0, 12, 25, 38, 50, 62, 75, 88, 100}));
  EXPECT_EQ(b.host.captions[3], "Progress...[38%]");
  EXPECT_EQ(RunProgress(0, 3), 33);
  EXPECT_EQ(RunProgress(1, 3), 67);
  EXPECT_EQ(RunProgress(0, 40), 2);  // 2.5 -> 2
  EXPECT_EQ(RunProgress(2, 40), 8);  // 7.5 -> 8
}

TEST(BatchRun, EveryImageIsLoggedAndMarkedFailuresIncluded) {
  TBatch b;
  b.MakeImages(2);
  WriteText(b.env.Src("zz-broken.png"), "no picture");
  b.host.AddPaths({b.env.Src("zz-broken.png")});
  const TRunSummary s = b.Run();
  EXPECT_EQ(s.Succeeded, 2);
  EXPECT_EQ(s.Failed, 1);
  const std::vector<RunLogRecord> log = b.Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].title, "Success");
  EXPECT_EQ(log[2].title, "Fail");
  EXPECT_EQ(log[2].description, b.env.Src("zz-broken.png"));
  EXPECT_FALSE(log[0].time.empty());
  EXPECT_EQ(b.host.rows[0].Icon, kIconSucceeded);
  EXPECT_EQ(b.host.rows[2].Icon, kIconFailed);
  EXPECT_EQ(b.host.states, (std::vector<TRunState>{TRunState::Running, TRunState::Idle}));
}

TEST(BatchRun, TheRunLogKeepsTheStandardSizeUnlessSetupAsksForMore) {
  // 40 lines of about 80 characters: the standard 1000 keep the newest only.
  TBatch standard;
  standard.MakeImages(40);
  standard.env.values.LogLimit = 10;  // below the standard: the standard
  standard.Run();
  const std::vector<RunLogRecord> kept = standard.Log();
  ASSERT_GT(kept.size(), 1u);
  ASSERT_LT(kept.size(), 40u);
  EXPECT_EQ(kept.back().description, standard.host.rows.back().Path);

  TBatch large;
  large.MakeImages(40);
  large.env.values.LogLimit = 1'000'000;
  large.Run();
  const std::vector<RunLogRecord> all = large.Log();
  ASSERT_EQ(all.size(), 40u);
  EXPECT_EQ(all.front().description, large.host.rows.front().Path);
}

TEST(BatchRun, SerialGrowsByTheImageCountOnlyWithHashInThePattern) {
  TBatch b;
  b.MakeImages(3);
  WriteText(b.env.Src("zz-broken.png"), "no picture");
  b.host.AddPaths({b.env.Src("zz-broken.png")});
  b.env.settings.Rename = true;
  b.env.settings.RenameTpl = "shot-##";
  b.env.settings.RenameNo = 7;
  b.Run();
  EXPECT_EQ(b.env.settings.RenameNo, 11);
  EXPECT_EQ(b.host.shownRenameNo, std::vector<int64_t>{11});
  EXPECT_EQ(FilesUnder(b.env.Out("")),
            (std::vector<std::string>{"shot-07.jpg", "shot-08.jpg", "shot-09.jpg"}));

  TBatch c;
  c.MakeImages(3);
  c.env.settings.Rename = true;
  c.env.settings.RenameTpl = "fixed";
  c.env.settings.RenameNo = 7;
  c.Run();
  EXPECT_EQ(c.env.settings.RenameNo, 7);
  EXPECT_EQ(FilesUnder(c.env.Out("")),
            (std::vector<std::string>{"fixed(1).jpg", "fixed(2).jpg", "fixed.jpg"}));
}

TEST(BatchRun, SequenceAdvancesPerImageWhenTheTemplateHasOne) {
  TBatch b;
  b.MakeImages(3);
  WriteTextTemplate(b.env.templatePath, "No. {$S5}");
  b.Run();
  EXPECT_EQ(b.env.work.Template.WatermarkSequence, 8);

  TBatch c;
  c.MakeImages(3);
  WriteTextTemplate(c.env.templatePath, "plain");
  c.Run();
  EXPECT_EQ(c.env.work.Template.WatermarkSequence, -1);
}

TEST(BatchRun, StopDuringAnImageFinishesItAndLeavesTheRestWaiting) {
  TBatch b;
  b.MakeImages(6);
  b.host.stopAfterRow = 2;
  const TRunSummary s = b.Run();
  EXPECT_EQ(s.Outcome, TRunOutcome::Stopped);
  EXPECT_EQ(s.Processed, 3);
  EXPECT_EQ(b.host.progress.back(), 50);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(b.host.rows[i].Icon, kIconSucceeded);
  for (int i = 3; i < 6; ++i) EXPECT_EQ(b.host.rows[i].Icon, kIconWaiting);
  EXPECT_EQ(b.Log().size(), 3u);
  EXPECT_EQ(FilesUnder(b.env.Out("")).size(), 3u);
  // The after-run actions still run.
  EXPECT_EQ(b.host.questions.size(), 1u);
  EXPECT_EQ(b.host.states.back(), TRunState::Idle);
}

TEST(BatchRun, EqualFoldersAreRefusedButDifferingCaseIsNot) {
  TBatch b;
  b.MakeImages(1);
  b.env.settings.OutPath = b.env.settings.ScrPath;
  TRunSummary s = b.Run();
  EXPECT_EQ(s.Outcome, TRunOutcome::NotStarted);
  EXPECT_EQ(b.host.errors,
            std::vector<std::string>{"The source and destination directories must be different."});
  EXPECT_TRUE(b.host.focused);
  EXPECT_TRUE(b.host.states.empty());
  EXPECT_TRUE(b.Log().empty());

  // Same folder, other letter case: not refused (the folder exists under
  // that spelling here).
  TBatch c;
  fs::create_directories(c.env.scratch / "SRC");
  c.MakeImages(1);
  c.env.settings.OutPath = c.env.scratch / "SRC/";
  s = c.Run();
  EXPECT_EQ(s.Outcome, TRunOutcome::Finished);
  EXPECT_TRUE(c.host.errors.empty());
}

TEST(BatchRun, MissingOutputFolderAndMissingTemplateStopBeforeAnything) {
  TBatch b;
  b.MakeImages(1);
  b.env.settings.OutPath = b.env.scratch / "nowhere/";
  b.host.outputFolderText = "as typed/nowhere";
  TRunSummary s = b.Run();
  EXPECT_EQ(s.Outcome, TRunOutcome::NotStarted);
  EXPECT_EQ(b.host.errors,
            std::vector<std::string>{"Can not find folder : as typed/nowhere . Please re-set."});

  TBatch c;
  c.MakeImages(1);
  c.env.context.TemplatePath = c.env.scratch / "Watermarks/missing.wg";
  s = c.Run();
  EXPECT_EQ(s.Outcome, TRunOutcome::NotStarted);
  EXPECT_EQ(c.host.errors,
            std::vector<std::string>{
                "Unable to find selected template. Please choose a template first!"});
  EXPECT_EQ(c.host.rows[0].Icon, kIconWaiting);
  EXPECT_TRUE(FilesUnder(c.env.Out("")).empty());
}

TEST(BatchRun, PanelIsCopiedInBeforeTheChecks) {
  TBatch b;
  b.MakeImages(1);
  b.env.settings.OutPath = b.env.scratch / "nowhere/";
  b.host.panelToSettings = [&] { b.env.settings.OutPath = b.env.Out(""); };
  EXPECT_EQ(b.Run().Outcome, TRunOutcome::Finished);
}

TEST(BatchRun, AfterRunActions) {
  {
    TBatch b;
    b.MakeImages(1);
    b.host.answer = true;
    b.Run();
    EXPECT_EQ(b.host.questions,
              std::vector<std::string>{
                  "Processing finished! \r\nDo you want to open the output folder? "});
    EXPECT_EQ(b.host.opened, std::vector<std::string>{b.env.Out("")});
  }
  {
    TBatch b;
    b.MakeImages(2);
    b.env.values.Open = true;
    b.env.values.RemoveList = true;
    b.Run();
    EXPECT_TRUE(b.host.questions.empty());
    EXPECT_EQ(b.host.opened, std::vector<std::string>{b.env.Out("")});
    EXPECT_TRUE(b.host.rows.empty());
  }
  {
    TBatch b;
    b.MakeImages(1);
    b.env.values.Close = true;
    b.Run();
    EXPECT_TRUE(b.host.closed);
    EXPECT_TRUE(b.host.questions.empty());
    EXPECT_TRUE(b.host.opened.empty());
  }
}

TEST(BatchRun, BadFilesFailAndAreLoggedWhileTheRestSucceed) {
  TBatch b;
  std::vector<std::string> paths = b.MakeImages(12, "jpg");
  std::vector<uint8_t> cut = ReadBytes(paths[0]);
  cut.resize(cut.size() / 2);
  WriteBytes(paths[1], cut);  // corrupt
  WriteBytes(paths[2], {});   // 0 bytes
  std::vector<uint8_t> junk(300, 0xAB);
  junk[0] = 0xFF, junk[1] = 0xD8, junk[2] = 0xFF;
  WriteBytes(paths[3], junk);  // JPEG start, then junk
  fs::remove(paths[4]);        // vanished before the run
  fs::create_directories(b.env.Src("img5.jpg.d"));
  const TRunSummary s = b.Run();
  EXPECT_EQ(s.Outcome, TRunOutcome::Finished);
  EXPECT_EQ(s.Failed, 4);
  EXPECT_EQ(s.Succeeded, 8);
  ASSERT_EQ(b.host.finished.size(), 12u);
  EXPECT_EQ(b.Log().back().description, b.host.rows.back().Path);
  EXPECT_EQ(FilesUnder(b.env.Out("")).size(), 8u);
}

// Bad files spread over a long batch: corrupt, empty, named pipes (which
// would block a reader), files that vanish while the run goes on and, when
// permissions bind, unreadable ones. Each fails and is logged; the rest
// succeed.
class ThousandFiles : public ::testing::TestWithParam<int> {};

// Corrupt, empty, unreadable (a named pipe) and vanishing files fail their
// own rows only, with one worker and with several.
TEST_P(ThousandFiles, BadOnesAmongThemFailOnlyThemselves) {
  TBatch b;
  b.env.context.Jobs = GetParam();
  const int n = 1000;
  WritePicture(b.env.Src("seed.bmp"), 6, 4, "bmp");
  std::vector<std::string> paths;
  for (int i = 0; i < n; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%04d.bmp", i);
    paths.push_back(b.env.Src(name));
    fs::copy_file(b.env.Src("seed.bmp"), paths.back());
  }
  fs::remove(b.env.Src("seed.bmp"));
  std::set<int> bad;
  for (int i = 0; i < 10; ++i) {  // corrupt: the header promises more than is there
    const int k = 7 + i * 97;
    std::vector<uint8_t> bytes = ReadBytes(paths[k]);
    bytes.resize(40);
    WriteBytes(paths[k], bytes);
    bad.insert(k);
  }
  for (int i = 0; i < 5; ++i) {
    const int k = 50 + i * 190;
    if (geteuid() == 0) {
      fs::remove(paths[k]);
      ASSERT_EQ(mkfifo(paths[k].c_str(), 0644), 0);
    } else {
      fs::permissions(paths[k], fs::perms::none);
    }
    bad.insert(k);
  }
  WriteBytes(paths[999], {});
  bad.insert(999);
  const std::vector<int> vanishing = {600, 601, 602};
  for (int k : vanishing) bad.insert(k);
  b.host.AddPaths(paths);
  b.host.progress.clear();
  // The files vanish while row 300 is being finished.
  b.host.onFinished = [&](int row) {
    if (row == 300)
      for (int k : vanishing) fs::remove(paths[k]);
  };
  const TRunSummary summary = b.Run();
  EXPECT_EQ(summary.Outcome, TRunOutcome::Finished);
  EXPECT_EQ(summary.Failed, static_cast<int>(bad.size()));
  EXPECT_EQ(summary.Succeeded, n - static_cast<int>(bad.size()));
  for (int k : bad) EXPECT_EQ(b.host.rows[k].Icon, kIconFailed) << k;
  // The log keeps only its newest thousand characters: the last image is in
  // it, as its last line.
  const std::vector<RunLogRecord> log = b.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_LT(log.size(), 100u);
  EXPECT_EQ(log.back().title, "Fail");
  EXPECT_EQ(log.back().description, paths[999]);
  ASSERT_EQ(b.host.finished.size(), 1000u);
  for (int k : bad) EXPECT_EQ(b.host.finished[k].second, kStatusFailed) << k;
  EXPECT_EQ(FilesUnder(b.env.Out("")).size(), static_cast<size_t>(n) - bad.size());
}

INSTANTIATE_TEST_SUITE_P(Workers, ThousandFiles, ::testing::Values(1, 8));

TEST(BatchRun, UnreadableFileFails) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TBatch b;
  std::vector<std::string> paths = b.MakeImages(2, "jpg");
  fs::permissions(paths[0], fs::perms::none);
  const TRunSummary s = b.Run();
  EXPECT_EQ(s.Failed, 1);
  EXPECT_EQ(s.Succeeded, 1);
}

TEST(PipelineExif, JpegAndPngOutputsCarryTheSourceBlock) {
  if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  TBatch b;
  samples::TExifFields exif;
  exif.Make = "Testmaker";
  exif.DateTime = "2025:01:02 03:04:05";
  WritePicture(b.env.Src("cam.jpg"), 64, 48, "jpg", true, exif);
  b.env.AddFiles(b.host, {b.env.Src("cam.jpg")});
  ASSERT_EQ(b.Run().Succeeded, 1);
  const std::string jpegTags =
      RunCommandText("exiftool -s -Make -DateTimeOriginal " + Quote(b.env.Out("cam.jpg")));
  EXPECT_NE(jpegTags.find("Testmaker"), std::string::npos) << jpegTags;
  EXPECT_NE(jpegTags.find("2025:01:02 03:04:05"), std::string::npos) << jpegTags;

  b.env.settings.SaveFormat = 1;
  ASSERT_EQ(b.Run().Succeeded, 1);
  const std::string pngTags =
      RunCommandText("exiftool -s -Make -DateTimeOriginal " + Quote(b.env.Out("cam.png")));
  // A PNG output holds it in its eXIf chunk.
  EXPECT_NE(pngTags.find("Testmaker"), std::string::npos) << pngTags;
  EXPECT_NE(pngTags.find("2025:01:02 03:04:05"), std::string::npos) << pngTags;

  // Keep-EXIF off: the JPEG is left as the encoder wrote it.
  b.env.settings.SaveFormat = 0;
  b.env.settings.KeepExif = false;
  ASSERT_EQ(b.Run().Succeeded, 1);
  const std::string plain = RunCommandText("exiftool -s -Make " + Quote(b.env.Out("cam(1).jpg")));
  EXPECT_EQ(plain.find("Testmaker"), std::string::npos) << plain;
}

TEST(ImageListAdding, SamePathOnceOtherCaseTwice) {
  TRunEnv env;
  TRecordingHost host;
  WritePicture(env.Src("a.jpg"), 8, 8);
  WritePicture(env.Src("b.png"), 8, 8, "png");
  host.AddPaths({env.Src("b.png"), env.Src("a.jpg")});
  host.AddPaths({env.Src("a.jpg"), env.Src("A.jpg")});
  ASSERT_EQ(host.rows.size(), 3u);
  EXPECT_EQ(host.rows[0].Path, env.Src("A.jpg"));
  EXPECT_EQ(host.rows[1].Path, env.Src("a.jpg"));
  EXPECT_EQ(host.rows[1].Columns[kColFormat], "JPG");
  EXPECT_EQ(host.rows[2].Columns[kColFormat], "PNG");
  EXPECT_EQ(host.rows[1].Columns[kColOriginalSize], FormatSizeText(FileSizeOf(env.Src("a.jpg"))));
  EXPECT_EQ(host.rows[0].Columns[kColOriginalSize], "0.0 KB");  // no such file
  EXPECT_EQ(host.rows[0].Columns[kColFormat], "UNKNOWN");
  for (const ImageListEntry& e : host.rows) EXPECT_EQ(e.Icon, kIconWaiting);
}

TEST(ImageListAdding, JpegNamedPngIsAJpgRowAndAddedFoldersTrackTheLastAdd) {
  TRunEnv env;
  TRecordingHost host;
  WritePicture(env.Src("really-jpeg.png"), 8, 8, "jpg");
  host.AddPaths({env.Src("really-jpeg.png")});
  EXPECT_EQ(host.rows[0].Columns[kColFormat], "JPG");

  NoteAddedFiles(env.added, env.settings, env.Src("x/first.jpg"));
  NoteAddedFolder(env.added, env.settings, env.scratch / "empty");
  EXPECT_EQ(env.added, (std::vector<std::string>{env.Src("x/"), env.scratch / "empty/"}));
  EXPECT_EQ(env.settings.ScrPath, env.scratch / "empty/");
}

TEST(ImageListAdding, AddingStopsOnRequest) {
  struct TStoppingHost : TRecordingHost {
    void AddRow(ImageListEntry e) override {
      TRecordingHost::AddRow(std::move(e));
      if (rows.size() == 2) stop = true;
    }
  } host;
  TRunEnv env;
  host.AddPaths({env.Src("1"), env.Src("2"), env.Src("3"), env.Src("4")});
  EXPECT_EQ(host.rows.size(), 2u);
}

}  // namespace
}  // namespace imprimo::testing
