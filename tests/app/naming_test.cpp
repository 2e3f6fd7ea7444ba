#include "app/naming.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace imprimo {
namespace {

namespace fs = std::filesystem;

TEST(NamingTest, RenamePatterns) {
  EXPECT_EQ(ApplyRenamePattern("New####", "photo.jpg", 1), "New0001.jpg");
  EXPECT_EQ(ApplyRenamePattern("New####", "/home/u/photo.jpg", 123456), "New123456.jpg");
  EXPECT_EQ(ApplyRenamePattern("{FN}_###", "IMG.JPG", 7), "IMG_007.JPG");
  EXPECT_EQ(ApplyRenamePattern("{EX}-{FN}", "a.png", 1), "png-a.png");
  EXPECT_EQ(ApplyRenamePattern("##-####", "x.jpg", 3), "03-0303.jpg");
  EXPECT_EQ(ApplyRenamePattern("####-##", "x.jpg", 3), "0003-##.jpg");
  EXPECT_EQ(ApplyRenamePattern("{FN}#", "a#b.jpg", 4), "a4b4.jpg");
  EXPECT_EQ(ApplyRenamePattern("", "/tmp/keep.me.JPG", 4), "keep.me.JPG");
  EXPECT_EQ(ApplyRenamePattern("same", "one.jpg", 1), "same.jpg");
  EXPECT_EQ(ApplyRenamePattern("same", "two.jpg", 2), "same.jpg");
  EXPECT_EQ(ApplyRenamePattern("{fn}{FN}{EX}", "noext", 1), "{fn}noext");
  EXPECT_EQ(ApplyRenamePattern("{FN}", "archive.tar.gz", 1), "archive.tar.gz");
  EXPECT_EQ(ApplyRenamePattern("#", "x.jpg", 0), "0.jpg");
}

TEST(NamingTest, SizeTexts) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0 KB"},       {500, "0.5 KB"},     {1000, "1.0 KB"},     {1024, "1 KB"},
      {1536, "2 KB"},    {2560, "2 KB"},      {1048576, "1024 KB"}, {1048577, "1.0 MB"},
      {2097152, "2 MB"}, {2055209, "2.0 MB"}, {-1, "0.0 KB"},       {3565158, "3.4 MB"},
      {12288, "12 KB"},  {51, "0.0 KB"}};
  for (auto& [size, text] : cases) EXPECT_EQ(FormatSizeText(size), text) << size;
}

TEST(NamingTest, TextHelpers) {
  EXPECT_EQ(WithTrailingSeparator("/a/b"), "/a/b/");
  EXPECT_EQ(WithTrailingSeparator("/a/b/"), "/a/b/");
  EXPECT_EQ(WithTrailingSeparator(""), "/");
  EXPECT_EQ(EllipsizeText("a_very_long_file_name.jpg", 20), "a_very_long_file_...");
  EXPECT_EQ(EllipsizeText("short.jpg", 20), "short.jpg");
  EXPECT_EQ(EllipsizeText("exactly", 7), "exactly");
  // Characters, not bytes: each e-acute is two bytes.
  EXPECT_EQ(EllipsizeText("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 5),
            "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
  EXPECT_EQ(EllipsizeText("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 5),
            "\xC3\xA9\xC3\xA9...");
  EXPECT_EQ(EllipsizeText("abcdef", 2), "...");
}

class NamingFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("imprimo_naming_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  void Touch(const fs::path& rel, size_t bytes = 0) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel, std::ios::binary) << std::string(bytes, 'x');
  }
  std::string R() const { return root_.string(); }
  fs::path root_;
};

TEST_F(NamingFilesTest, FindImageFilesBreadthFirstWithFilters) {
  Touch("b.JPG");
  Touch("a.jpg");
  Touch("noext");
  Touch("c.jpeg");
  Touch(".hidden.jpg");
  Touch("sub1/d.jpg");
  Touch("sub1/deeper/e.jpg");
  Touch("sub2/f.Jpg");
  Touch(".git/g.jpg");

  std::vector<std::string> list;
  FindImageFiles(R(), "*.JPG", list, false);
  EXPECT_EQ(list, (std::vector<std::string>{R() + "/a.jpg", R() + "/b.JPG"}));

  list.clear();
  FindImageFiles(R() + "/", "*.jpg", list, true);
  EXPECT_EQ(list, (std::vector<std::string>{R() + "/a.jpg", R() + "/b.JPG", R() + "/sub1/d.jpg",
                                            R() + "/sub2/f.Jpg", R() + "/sub1/deeper/e.jpg"}));

  list.clear();
  FindImageFiles(R(), "*", list, true);
  EXPECT_EQ(list, (std::vector<std::string>{R() + "/noext"}));

  list.clear();
  FindImageFiles(R(), "*.jp*", list, true);
  EXPECT_TRUE(list.empty());

  list = {"kept"};
  FindImageFiles(R(), "*.*", list, false);
  EXPECT_EQ(list.size(), 5u);  // appended after what was there
  EXPECT_EQ(list[0], "kept");

  list.clear();
  FindImageFiles(R() + "/missing", "*.*", list, true);
  EXPECT_TRUE(list.empty());
}

TEST_F(NamingFilesTest, LinkCyclesDoNotLoop) {
  Touch("loop/a.jpg");
  fs::create_directory_symlink(root_ / "loop", root_ / "loop" / "again");
  std::vector<std::string> list;
  FindImageFiles(R(), "*.jpg", list, true);
  EXPECT_EQ(list, (std::vector<std::string>{R() + "/loop/a.jpg"}));
}

TEST_F(NamingFilesTest, FileSizesAndSubFolders) {
  Touch("five.bin", 5);
  EXPECT_EQ(FileSizeOf(R() + "/five.bin"), 5);
  EXPECT_EQ(FileSizeOf(R() + "/none.bin"), -1);
  EXPECT_EQ(FormatSizeText(FileSizeOf(R() + "/none.bin")), "0.0 KB");

  CreateSubFolders(R() + "/", "x/y/z/");
  EXPECT_TRUE(fs::is_directory(root_ / "x" / "y" / "z"));
  CreateSubFolders(R() + "/", "p/q/not-a-folder");
  EXPECT_TRUE(fs::is_directory(root_ / "p" / "q"));
  EXPECT_FALSE(fs::exists(root_ / "p" / "q" / "not-a-folder"));
  // A file in the way stops the walk silently.
  Touch("blocked");
  CreateSubFolders(R() + "/", "blocked/inner/");
  EXPECT_FALSE(fs::exists(root_ / "blocked" / "inner"));
}

}  // namespace
}  // namespace imprimo
