#include "runlog/run_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace imprimo {
namespace {

namespace fs = std::filesystem;

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("imprimo_runlog_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Log.dat").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  void Write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  fs::path dir_;
  std::string path_;
};

TEST_F(RunLogTest, DefaultsAndAutoSaveNeedsAFileName) {
  RunLog log;
  EXPECT_TRUE(log.Active());
  EXPECT_FALSE(log.AutoSave());
  EXPECT_EQ(log.SizeLimit(), 0);
  EXPECT_TRUE(log.FileName().empty());
  log.SetAutoSave(true);
  EXPECT_FALSE(log.AutoSave());
  log.SetFileName(path_);
  log.SetAutoSave(true);
  EXPECT_TRUE(log.AutoSave());
  EXPECT_FALSE(fs::exists(path_));  // a missing file gives an empty log
  log.SetActive(false);
  log.Add("t", "Success", "/a.jpg");
  EXPECT_TRUE(log.Records().empty());
  EXPECT_FALSE(fs::exists(path_));
  log.SetActive(true);
  log.Add("t", "Success", "/a.jpg");  // the first add creates the file
  EXPECT_EQ(Read(path_), "[t]Success>/a.jpg\r\n");
}

TEST_F(RunLogTest, LineFormatAndEscaping) {
  {
    RunLog log;
    log.SetFileName(path_);
    log.SetAutoSave(true);
    log.Add("2012-5-3 14:22:01", "Success", "/photos/img001.jpg");
    log.Add("t2", "a>b>>c", "/x>y.jpg");
  }  // saved on destruction as well
  EXPECT_EQ(Read(path_),
            "[2012-5-3 14:22:01]Success>/photos/img001.jpg\r\n[t2]a>>b>>>>c>/x>y.jpg\r\n");
  RunLog back;
  back.SetFileName(path_);
  ASSERT_EQ(back.Records().size(), 2u);
  EXPECT_EQ(back.Records()[1].title, "a>b>>c");
  EXPECT_EQ(back.Records()[1].description, "/x>y.jpg");
}

TEST_F(RunLogTest, ReadingRules) {
  Write(
      "[t1]Fail\r\n"
      "no bracket line\n"
      "[open only\r"
      "junk before [t2]Success>/dir/a>b.jpg\n"
      "[t3]>>>/desc\r\n"
      "[t4]x>\r\n"
      "[]>\n"
      "[t5]Succ\xC3\xA9s>/\xC3\xA9t\xC3\xA9.jpg");
  RunLog log;
  log.SetFileName(path_);
  const auto& r = log.Records();
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0].time, "t1");
  EXPECT_EQ(r[0].title, "Fail");
  EXPECT_EQ(r[0].description, "");
  EXPECT_EQ(r[1].time, "t2");
  EXPECT_EQ(r[1].description, "/dir/a>b.jpg");
  EXPECT_EQ(r[2].title, ">");
  EXPECT_EQ(r[2].description, "/desc");
  EXPECT_EQ(r[3].title, "x");
  EXPECT_EQ(r[3].description, "");
  EXPECT_EQ(r[4].time, "");
  EXPECT_EQ(r[5].description, "/\xC3\xA9t\xC3\xA9.jpg");
}

TEST_F(RunLogTest, LegacyEightBitFileIsConverted) {
  Write("[t]Success>/caf\xE9.jpg\r\n");
  RunLog log;
  log.LoadFromFile(path_);
  ASSERT_EQ(log.Records().size(), 1u);
  EXPECT_EQ(log.Records()[0].description, "/caf\xC3\xA9.jpg");
}

TEST_F(RunLogTest, SizeLimitKeepsNewestLinesReachingTheLimit) {
  RunLog log;
  log.SetFileName(path_);
  log.SetAutoSave(true);
  log.SetSizeLimit(1000);
  // "[" + 19 + "]" + "Success" + ">" + 29 = 58 characters, 60 with CR LF.
  std::string time = "2024-01-02 03:04:05";
  for (int i = 0; i < 40; ++i) {
    char desc[32];
    std::snprintf(desc, sizeof desc, "/photos/2024/image-%05d.jpeg", i);
    ASSERT_EQ(RunLog::FormatLine({time, "Success", desc}).size() + 2, 60u);
    log.Add(time, "Success", desc);
  }
  ASSERT_EQ(log.Records().size(), 17u);
  EXPECT_EQ(log.Records().front().description, "/photos/2024/image-00023.jpeg");
  EXPECT_EQ(log.Records().back().description, "/photos/2024/image-00039.jpeg");
  EXPECT_EQ(Read(path_).size(), 17u * 60u);

  // A file that grew by other means is not trimmed on reading.
  RunLog big;
  big.SetSizeLimit(100);
  big.LoadFromFile(path_);
  EXPECT_EQ(big.Records().size(), 17u);
  big.SetSizeLimit(-5);
  big.Add("t", "x", "y");
  EXPECT_EQ(big.Records().size(), 18u);
}

TEST_F(RunLogTest, ClearDeleteAndCleanLogs) {
  Write("[a]1>x\r\n[b]2>y\r\n[c]3>z\r\n");
  {
    RunLog log;
    log.SetFileName(path_);
    log.SetAutoSave(true);
    log.Delete(1);
    log.Delete(7);
    log.Delete(-1);
    EXPECT_EQ(Read(path_), "[a]1>x\r\n[c]3>z\r\n");
  }
  {
    RunLog log;  // "Clean Logs"
    log.SetFileName(path_);
    log.SetAutoSave(true);
    log.Clear();
  }
  EXPECT_TRUE(fs::exists(path_));
  EXPECT_EQ(fs::file_size(path_), 0u);
  RunLog shown;  // "Show Logs" then opens an empty list
  shown.SetFileName(path_);
  EXPECT_TRUE(shown.Records().empty());
}

TEST_F(RunLogTest, SettingAFileNameLoadsAndDropsBadLinesOnNextSave) {
  Write("garbage\r\n[t]ok>/a\r\n");
  {
    RunLog log;
    log.SetFileName(path_);
    log.SetAutoSave(true);
  }
  EXPECT_EQ(Read(path_), "[t]ok>/a\r\n");
}

TEST_F(RunLogTest, ExportWritesViewerLines) {
  RunLog log;
  log.Add("t1", "a>b", "/p q.jpg");
  log.Add("t2", "Fail", "");
  std::string out = (dir_ / "export.dat").string();
  log.ExportText(out);
  EXPECT_EQ(Read(out), "[t1] a>b > /p q.jpg\r\n[t2] Fail > \r\n");
}

TEST_F(RunLogTest, LineBreaksInTextsDoNotSplitEntries) {
  RunLog log;
  log.Add("t", "Success", "/odd\nname\r.jpg");
  log.SaveToFile(path_);
  RunLog back;
  back.LoadFromFile(path_);
  ASSERT_EQ(back.Records().size(), 1u);
  EXPECT_EQ(back.Records()[0].description, "/odd name .jpg");
}

TEST_F(RunLogTest, WriteErrorsReachTheCaller) {
  RunLog log;
  log.SetFileName((dir_ / "missing" / "Log.dat").string());
  log.SetAutoSave(true);
  EXPECT_THROW(log.Add("t", "Success", "/a"), std::runtime_error);
  EXPECT_THROW(log.ExportText((dir_ / "missing" / "x.csv").string()), std::runtime_error);
  log.SaveToFile("");  // an empty path does nothing
  log.SetFileName("");
  EXPECT_FALSE(log.AutoSave());
}

}  // namespace
}  // namespace imprimo
