// The batch run with several workers: everything a user or a file can see is
// what the run with one worker gives.
#include <sys/mount.h>
#include <unistd.h>

#include <map>
#include <set>

#include "app/batch_run.h"
#include "pipeline/pipeline_test_util.h"
#include "platform/date_format.h"
#include "platform/random.h"
#include "render/text_variables.h"
#include "runlog/run_log.h"
#include "support/fixed_clocks.h"

namespace imprimo::testing {
namespace {

// Two text layers with every per-row value: the sequence, the date (whose
// "-" also changes the log's date separator), the planned name, and noise at
// a random place and tiled, so the effects' random numbers show in the pixels.
void WriteVariableTemplate(const std::string& path) {
  WriteText(path,
            "[Stamp]\r\nEnabled=1\r\nStyle=0\r\nText={$S7} {$Dyyyy-mm-dd hh:nn:ss} {$FEU}\r\n"
            "FontName=DejaVu Sans\r\nFontSize=9\r\nFontColor=0x40C0FF\r\nAlpha=90\r\n"
            "Noise=40\r\nPlaceStyle=3\r\n"
            "[Tiles]\r\nEnabled=1\r\nStyle=0\r\nText=#{$S7}\r\nFontName=DejaVu Sans\r\n"
            "FontSize=7\r\nAlpha=40\r\nNoise=25\r\nSpray=2\r\nPlaceStyle=1\r\nHorzSpace=9\r\n"
            "VertSpace=5\r\n");
}

// What one run leaves behind, with the scratch folder cut out of paths.
struct TRunRecord {
  std::map<std::string, std::vector<uint8_t>> files;  // out/... -> bytes
  std::vector<std::string> log;                       // time | title | source
  std::vector<std::string> rows;                      // icon and columns per row
  int succeeded = 0, failed = 0, processed = 0;
  TRunOutcome outcome = TRunOutcome::NotStarted;
  int64_t renameNo = 0;
  int32_t sequence = 0;
  int32_t saveFormat = 0;

  bool operator==(const TRunRecord&) const = default;
};

// A source tree with name collisions (between rows and with a file already in
// the output folder), mirrored sub-folders and failing rows, run over and
// over with the same settings.
struct TScenario {
  TRunEnv env;
  TRecordingHost host;
  TFixedClocks clocks;
  int64_t renameNo = 1;

  TScenario() {
    WriteVariableTemplate(env.templatePath);
    for (const char* name : {"a.png", "b.png", "c.png", "trip/c.png", "trip/day1/d.png"})
      WritePicture(env.Src(name), 60, 40, "png");
    WritePicture(env.Src("c.bmp"), 50, 30, "bmp");
    for (int i = 0; i < 12; ++i) WritePicture(env.Src("p" + std::to_string(i) + ".jpg"), 48, 36);
    WriteText(env.Src("q-not-a-picture.png"), "text");
    std::vector<uint8_t> cut = ReadBytes(env.Src("p3.jpg"));
    cut.resize(20);
    WriteBytes(env.Src("p3.jpg"), cut);  // the pipeline fails it
    env.added = {env.Src("")};
    std::vector<std::string> paths;
    for (auto& e : fs::recursive_directory_iterator(env.Src("")))
      if (e.is_regular_file()) paths.push_back(e.path().string());
    host.AddPaths(paths);
    env.context.LogClock = FixedTime;
  }

  TRunRecord Run(int jobs) {
    fs::remove_all(env.Out(""));
    fs::create_directories(env.Out(""));
    fs::remove(env.scratch / "Log.dat");
    WriteText(env.Out("b.jpg"), "already there");
    SetDateSeparator(clocks.date);
    SetTimeSeparator(clocks.time);
    env.settings.RenameNo = renameNo;
    env.settings.SaveFormat = -1;  // an empty format selection: JPEG
    for (ImageListEntry& row : host.rows) row.Columns.fill("");
    env.context.Jobs = jobs;
    const TRunSummary summary = RunBatch(env.context, host);

    TRunRecord r;
    r.outcome = summary.Outcome;
    r.succeeded = summary.Succeeded;
    r.failed = summary.Failed;
    r.processed = summary.Processed;
    r.renameNo = env.settings.RenameNo;
    r.sequence = env.work.Template.WatermarkSequence;
    r.saveFormat = env.settings.SaveFormat;
    const std::string root = env.scratch / "";
    auto cut = [&](std::string s) {
      for (size_t at; (at = s.find(root)) != std::string::npos;) s.erase(at, root.size());
      return s;
    };
    for (const std::string& name : FilesUnder(env.Out("")))
      r.files[name] = ReadBytes(env.Out(name));
    RunLog log;
    log.LoadFromFile(env.scratch / "Log.dat");
    for (const RunLogRecord& rec : log.Records())
      r.log.push_back(rec.time + " | " + rec.title + " | " + cut(rec.description));
    for (const ImageListEntry& row : host.rows) {
      std::string text = std::to_string(row.Icon);
      for (const std::string& c : row.Columns) text += " | " + c;
      r.rows.push_back(text);
    }
    return r;
  }
};

TEST(ParallelRun, OutputsLogAndRowsAreTheSameForOneTwoAndEightWorkers) {
  TScenario s;
  for (const bool rename : {false, true}) {
    SCOPED_TRACE(rename ? "renamed with a serial" : "source names");
    s.env.settings.Rename = rename;
    s.env.settings.RenameTpl = "{FN}_##";
    s.renameNo = 98;  // the serial grows past two digits during the run
    const TRunRecord one = s.Run(1);
    EXPECT_EQ(one.outcome, TRunOutcome::Finished);
    EXPECT_EQ(one.failed, 2);
    EXPECT_EQ(one.succeeded, 17);
    EXPECT_EQ(one.saveFormat, 0);
    EXPECT_EQ(one.sequence, 7 + 19);
    EXPECT_EQ(one.renameNo, rename ? 98 + 19 : 98);
    // The log keeps its newest lines up to its size limit. The date
    // variable's "-" reaches the log's time stamps.
    ASSERT_GE(one.log.size(), 5u);
    EXPECT_EQ(one.log[0].substr(0, 10), "2-29-2024 ") << one.log[0];
    EXPECT_NE(one.log.back().find(s.host.rows.back().Path.substr(s.env.scratch.Path().size())),
              std::string::npos);
    if (!rename) {
      // Rows that meet on one name are numbered in row order; the file that
      // was there keeps its name.
      EXPECT_EQ(one.files.count("b(1).jpg"), 1u);
      EXPECT_EQ(one.files.at("b.jpg"), std::vector<uint8_t>({'a', 'l', 'r', 'e', 'a', 'd', 'y', ' ',
                                                             't', 'h', 'e', 'r', 'e'}));
      EXPECT_EQ(one.files.count("c.jpg") + one.files.count("c(1).jpg"), 2u);
      EXPECT_EQ(one.files.count("trip/c.jpg"), 1u);
      EXPECT_EQ(one.files.count("trip/day1/d.jpg"), 1u);
    } else {
      EXPECT_EQ(one.files.count("a_98.jpg"), 1u);
    }
    for (const int jobs : {2, 8}) {
      const TRunRecord many = s.Run(jobs);
      EXPECT_EQ(many.files.size(), one.files.size()) << jobs << " workers";
      for (const auto& [name, bytes] : one.files) {
        auto it = many.files.find(name);
        ASSERT_NE(it, many.files.end()) << name << " missing with " << jobs << " workers";
        EXPECT_TRUE(it->second == bytes) << name << " differs with " << jobs << " workers";
      }
      EXPECT_EQ(many.log, one.log) << jobs << " workers";
      EXPECT_EQ(many.rows, one.rows) << jobs << " workers";
      EXPECT_TRUE(many == one) << jobs << " workers";
    }
  }
}

// Every name a pattern without "#" gives is the same: the rows number
// themselves a(1), a(2), ... in row order, whichever worker finishes first.
TEST(ParallelRun, ManyRowsOnOneNameAreNumberedInRowOrder) {
  TScenario s;
  s.env.settings.Rename = true;
  s.env.settings.RenameTpl = "shot";
  const TRunRecord one = s.Run(1);
  EXPECT_EQ(one.files.count("shot(9).jpg"), 1u);
  const TRunRecord eight = s.Run(8);
  EXPECT_TRUE(eight == one);
  // With overwriting on, the last row on a name wins, as in the serial run.
  s.env.settings.OverwriteOutput = true;
  const TRunRecord overwritten = s.Run(1);
  EXPECT_TRUE(s.Run(8) == overwritten);
  s.env.settings.OverwriteOutput = false;
}

// Stop with several workers: the rows under way are finished, none is
// started after it, and what was done equals the serial run's first rows.
TEST(ParallelRun, StopFinishesTheRowsUnderWayAndStartsNoOther) {
  TScenario s;
  const TRunRecord full = s.Run(1);
  s.host.stopAfterRow = 2;
  for (ImageListEntry& row : s.host.rows) row.Icon = kIconWaiting;
  const TRunRecord stopped = s.Run(2);
  s.host.stopAfterRow = -1;
  EXPECT_EQ(stopped.outcome, TRunOutcome::Stopped);
  ASSERT_GE(stopped.processed, 3);
  ASSERT_LT(stopped.processed, 19);
  for (int i = 0; i < stopped.processed; ++i) EXPECT_EQ(stopped.rows[i], full.rows[i]) << i;
  // The log's lines are those of the rows done, in row order, ending with
  // the last row done.
  ASSERT_FALSE(stopped.log.empty());
  const size_t k = stopped.log.size();
  ASSERT_LE(k, static_cast<size_t>(stopped.processed));
  for (size_t j = 0; j < k; ++j) {
    const std::string& path = s.host.rows[stopped.processed - k + j].Path;
    EXPECT_NE(stopped.log[j].find(path.substr(s.env.scratch.Path().size())), std::string::npos)
        << stopped.log[j];
  }
  for (size_t i = stopped.processed; i < stopped.rows.size(); ++i)
    EXPECT_EQ(stopped.rows[i].substr(0, 1), std::to_string(kIconWaiting)) << i;
  for (const auto& [name, bytes] : stopped.files) {
    auto it = full.files.find(name);
    ASSERT_NE(it, full.files.end()) << name;
    EXPECT_TRUE(it->second == bytes) << name;
  }
}

// A source that an earlier row writes over (in place, overwriting, same
// name) is read only after that row has written it, as in the serial run.
TEST(ParallelRun, ARowReadsItsSourceAfterAnEarlierRowHasWrittenIt) {
  TFixedClocks clocks;
  TRunEnv env;
  TRecordingHost host;
  WriteVariableTemplate(env.templatePath);
  WritePicture(env.Src("x.bmp"), 40, 30, "bmp");
  WritePicture(env.Src("x.jpg"), 40, 30, "jpg");
  host.AddPaths({env.Src("x.bmp"), env.Src("x.jpg")});  // x.bmp sorts first
  env.settings.PathType = 1;
  env.settings.OverwriteOutput = true;
  env.context.ReplaceOriginals = true;
  env.settings.SaveFormat = 0;
  std::vector<uint8_t> serial;
  for (const int jobs : {1, 2}) {
    WritePicture(env.Src("x.jpg"), 40, 30, "jpg");
    env.context.Jobs = jobs;
    const TRunSummary summary = RunBatch(env.context, host);
    EXPECT_EQ(summary.Succeeded, 2);
    if (jobs == 1)
      serial = ReadBytes(env.Src("x.jpg"));
    else
      EXPECT_TRUE(ReadBytes(env.Src("x.jpg")) == serial);
  }
}

// A real full disk: the row whose file does not fit fails with nothing left
// of it, and the run stops there with one message, as on Stop; rows already
// under way are still finished and reported.
TEST(ParallelRun, AFullDiskStopsTheRunWithOneMessage) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  TRunEnv env;
  TRecordingHost host;
  const std::string small = env.scratch / "small";
  fs::create_directories(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "no tmpfs to be had here";
  struct TUnmount {
    std::string path;
    ~TUnmount() { umount(path.c_str()); }
  } unmount{small};
  env.settings.OutPath = small + "/";
  env.settings.SaveFormat = 2;  // BMP: the size is the pixel count
  std::vector<std::string> paths;
  for (int i = 0; i < 8; ++i) {
    paths.push_back(env.Src("s" + std::to_string(i) + ".png"));
    WritePicture(paths.back(), 20, 20, "png");
  }
  paths.push_back(env.Src("s4big.png"));
  WritePicture(paths.back(), 400, 300, "png");  // 360 KB as a BMP
  host.AddPaths(paths);
  env.context.Jobs = 2;
  const TRunSummary summary = RunBatch(env.context, host);
  EXPECT_EQ(summary.Outcome, TRunOutcome::Stopped);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_NE(host.errors[0].find("No space left on device"), std::string::npos) << host.errors[0];
  // s0..s4 come first and fit; after the big one, only rows already under
  // way were done: written, or failed for want of the room the big one's
  // partial file held meanwhile. The rest were never started. With two
  // workers the big one starts once a worker is free, so at most one row
  // before it can still be under way beside it and lose its room.
  int written = 0, failed = 0, failedBefore = 0;
  for (const ImageListEntry& row : host.rows) {
    if (row.Path.ends_with("s4big.png"))
      EXPECT_EQ(row.Icon, kIconFailed);
    else if (row.Path < env.Src("s4big.png"))
      failedBefore += row.Icon == kIconSucceeded ? 0 : 1;
    else
      EXPECT_TRUE(row.Icon == kIconSucceeded || row.Icon == kIconWaiting || row.Icon == kIconFailed)
          << row.Path;
    written += row.Icon == kIconSucceeded ? 1 : 0;
    failed += row.Icon == kIconFailed ? 1 : 0;
  }
  EXPECT_LE(failedBefore, 1);
  EXPECT_EQ(summary.Succeeded, written);
  EXPECT_EQ(summary.Failed, failed);
  // No partial file is left behind.
  EXPECT_EQ(FilesUnder(small).size(), static_cast<size_t>(written));
}

}  // namespace
}  // namespace imprimo::testing
