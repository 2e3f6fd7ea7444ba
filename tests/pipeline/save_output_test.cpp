// Saving under hostile conditions: a disk that fills up while an output is
// written, and outputs beside their sources that would replace them.
#include <atomic>
#include <cerrno>

#include "app/batch_run.h"
#include "pipeline/pipeline_test_util.h"
#include "platform/file_io.h"

namespace imprimo::testing {
namespace {

// A disk with room for a number of bytes: writes past it fail as a full
// disk does.
std::atomic<int64_t> roomLeft{0};
int FullDisk(size_t bytes) {
  return roomLeft.fetch_sub(static_cast<int64_t>(bytes)) < static_cast<int64_t>(bytes) ? ENOSPC : 0;
}
struct TDiskRoom {
  explicit TDiskRoom(int64_t bytes) {
    roomLeft = bytes;
    SetWriteFaultHook(FullDisk);
  }
  ~TDiskRoom() { SetWriteFaultHook(nullptr); }
};

struct TCameraRun {
  TRunEnv env;
  TRecordingHost host;
  std::vector<std::string> paths;
  explicit TCameraRun(int pictures) {
    for (int i = 0; i < pictures; ++i) {
      paths.push_back(env.Src("dsc" + std::to_string(100 + i) + ".jpg"));
      WritePicture(paths.back(), 120, 80, "jpg", true);
    }
    env.AddFiles(host, paths);
    env.settings.KeepExif = true;
    env.settings.SaveFormat = 0;
  }
};

// The output's pixels fit but its metadata does not: the row fails with
// nothing written, and the run stops with one message instead of failing
// every row after it.
TEST(FullDisk, AFailedMetadataWriteFailsTheRowAndStopsTheRun) {
  TCameraRun run(3);
  // The sizes of one output without and with its metadata.
  run.env.settings.KeepExif = false;
  RunBatch(run.env.context, run.host);
  const int64_t pixels = static_cast<int64_t>(fs::file_size(run.env.Out("dsc100.jpg")));
  for (const std::string& f : FilesUnder(run.env.Out(""))) fs::remove(run.env.Out(f));
  run.env.settings.KeepExif = true;
  RunBatch(run.env.context, run.host);
  const int64_t whole = static_cast<int64_t>(fs::file_size(run.env.Out("dsc100.jpg")));
  ASSERT_GT(whole, pixels);
  for (const std::string& f : FilesUnder(run.env.Out(""))) fs::remove(run.env.Out(f));

  for (const int jobs : {1, 2}) {
    SCOPED_TRACE(jobs);
    TRecordingHost host;
    run.env.AddFiles(host, run.paths);
    run.env.context.Jobs = jobs;
    TRunSummary summary;
    {
      // Room for the picture alone, not for the picture with its metadata.
      TDiskRoom room((pixels + whole) / 2);
      summary = RunBatch(run.env.context, host);
    }
    EXPECT_EQ(summary.Outcome, TRunOutcome::Stopped);
    ASSERT_FALSE(host.results.empty());
    EXPECT_NE(host.results[0].Reason.find("No space left on device"), std::string::npos)
        << host.results[0].Reason;
    EXPECT_EQ(host.rows[0].Icon, kIconFailed);
    EXPECT_EQ(summary.Succeeded, 0);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(CountOf(host.errors[0], "No space left on device"), 1u) << host.errors[0];
    // No output, complete or not, and no temporary file.
    EXPECT_EQ(FilesUnder(run.env.Out("")), std::vector<std::string>{});
    if (jobs == 1) {
      EXPECT_EQ(summary.Processed, 1);
      EXPECT_EQ(host.rows[1].Icon, kIconWaiting);
      EXPECT_EQ(host.rows[2].Icon, kIconWaiting);
    }
  }

  // With room again every output carries its camera data.
  TRecordingHost host;
  run.env.AddFiles(host, run.paths);
  const TRunSummary summary = RunBatch(run.env.context, host);
  EXPECT_EQ(summary.Succeeded, 3);
  if (HaveCommand("exiftool"))
    for (int i = 0; i < 3; ++i) {
      const std::string out = run.env.Out("dsc" + std::to_string(100 + i) + ".jpg");
      EXPECT_EQ(RunCommandText("exiftool -s -s -s -Make " + Quote(out) + " 2>/dev/null"),
                "Imprimo Optics\n");
    }
}

// A disk full from the first byte: the first row fails and no later row is
// tried, whatever the number of workers.
TEST(FullDisk, APixelWriteOnAFullDiskStopsTheRun) {
  TCameraRun run(12);
  run.env.context.Jobs = 2;
  TRunSummary summary;
  {
    TDiskRoom room(0);
    summary = RunBatch(run.env.context, run.host);
  }
  EXPECT_EQ(summary.Outcome, TRunOutcome::Stopped);
  EXPECT_EQ(summary.Succeeded, 0);
  EXPECT_LT(summary.Processed, summary.Rows);
  ASSERT_EQ(run.host.errors.size(), 1u);
  EXPECT_NE(run.host.errors[0].find("No space left on device"), std::string::npos);
  EXPECT_EQ(FilesUnder(run.env.Out("")), std::vector<std::string>{});
}

// Outputs beside their sources that overwrite existing files are the
// originals themselves: the run asks first.
TEST(ReplaceOriginals, TheRunAsksBeforeWritingOverItsSources) {
  TRunEnv env;
  TRecordingHost host;
  WritePicture(env.Src("a.jpg"), 60, 40);
  const std::vector<uint8_t> before = ReadBytes(env.Src("a.jpg"));
  env.AddFiles(host, {env.Src("a.jpg")});
  env.settings.PathType = 1;
  env.settings.OverwriteOutput = true;
  host.answer = false;
  TRunSummary summary = RunBatch(env.context, host);
  EXPECT_EQ(summary.Outcome, TRunOutcome::NotStarted);
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_NE(host.questions[0].find("Replace the originals?"), std::string::npos);
  EXPECT_EQ(ReadBytes(env.Src("a.jpg")), before);
  EXPECT_EQ(FilesUnder(env.Src("")), std::vector<std::string>{"a.jpg"});

  host.answer = true;
  host.questions.clear();
  summary = RunBatch(env.context, host);
  EXPECT_EQ(summary.Succeeded, 1);
  EXPECT_NE(ReadBytes(env.Src("a.jpg")), before);
  // Without overwriting, outputs are numbered beside the originals: no question.
  env.settings.OverwriteOutput = false;
  host.questions.clear();
  RunBatch(env.context, host);
  EXPECT_TRUE(fs::exists(env.Src("a(1).jpg")));
  for (const std::string& q : host.questions)
    EXPECT_EQ(q.find("Replace the originals?"), std::string::npos) << q;
}

}  // namespace
}  // namespace imprimo::testing
