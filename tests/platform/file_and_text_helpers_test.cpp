#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

struct TScratch {
  fs::path dir = fs::temp_directory_path() / ("imprimo_fio_" + std::to_string(getpid()));
  TScratch() { fs::create_directories(dir); }
  ~TScratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string operator/(const std::string& name) const { return (dir / name).string(); }
};

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

size_t EntriesIn(const fs::path& dir) {
  size_t n = 0;
  for (const auto& entry : fs::directory_iterator(dir)) (void)entry, ++n;
  return n;
}

TEST(ReplacingFile, NewFilesTakeTheUmaskAndReplacedFilesKeepTheirMode) {
  TScratch scratch;
  const mode_t old = ::umask(027);
  WriteFileReplacing(scratch / "new.txt", "fresh");
  ::umask(old);
  EXPECT_EQ(Contents(scratch / "new.txt"), "fresh");
  EXPECT_EQ(ModeOf(scratch / "new.txt"), 0640u);

  const std::string kept = scratch / "kept.txt";
  WriteFileReplacing(kept, "one", false);
  ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
  WriteFileReplacing(kept, "two");
  EXPECT_EQ(Contents(kept), "two");
  EXPECT_EQ(ModeOf(kept), 0600u);
  // Nothing but the two files is left behind.
  EXPECT_EQ(EntriesIn(scratch.dir), 2u);
}

TEST(ReplacingFile, WithoutACommitTheOldFileStaysAndTheTemporaryGoes) {
  TScratch scratch;
  const std::string path = scratch / "data.ini";
  WriteFileReplacing(path, "old");
  {
    TReplacingFile file(path);
    const std::string temp = file.TempPath();
    // Hidden, beside the target, so folder searches pass it over.
    EXPECT_EQ(FolderOf(temp), FolderOf(path));
    EXPECT_EQ(FileNameOf(temp).rfind(".imprimo-", 0), 0u) << temp;
    file.Write("half");
    EXPECT_TRUE(fs::exists(temp));
  }
  EXPECT_EQ(Contents(path), "old");
  EXPECT_EQ(EntriesIn(scratch.dir), 1u);

  // A folder that does not exist: the message names the file.
  try {
    WriteFileReplacing(scratch / "missing/x.ini", "x");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("missing/x.ini"), std::string::npos) << e.what();
  }
  EXPECT_THROW(WriteFileReplacing("", "x"), std::runtime_error);
}

TEST(ReplacingFile, TheTemporaryNameHasOneLengthSoTheLongestNamesStillSave) {
  TScratch scratch;
  // 255 bytes is the most a folder entry may hold; a temporary name built
  // from the target's name would not fit.
  const std::string longest = scratch / (std::string(251, 'n') + ".jpg");
  WriteFileReplacing(longest, "long");
  EXPECT_EQ(Contents(longest), "long");
  TReplacingFile a(scratch / "a"), b(longest);
  EXPECT_EQ(FileNameOf(a.TempPath()).size(), FileNameOf(b.TempPath()).size());
  EXPECT_NE(a.TempPath(), b.TempPath());
}

TEST(ReplacingFile, CommitIfFreeNeverReplacesAndCanTryAnotherName) {
  TScratch scratch;
  WriteFileReplacing(scratch / "a.jpg", "theirs");
  TReplacingFile file(scratch / "a.jpg");
  file.Write("ours");
  EXPECT_FALSE(file.CommitIfFree(scratch / "a.jpg"));
  EXPECT_EQ(Contents(scratch / "a.jpg"), "theirs");
  EXPECT_TRUE(fs::exists(file.TempPath()));
  EXPECT_TRUE(file.CommitIfFree(scratch / "a(1).jpg"));
  EXPECT_EQ(Contents(scratch / "a(1).jpg"), "ours");
  EXPECT_EQ(EntriesIn(scratch.dir), 2u);

  // Two writers racing for one name: each name is taken once.
  constexpr int kWriters = 8;
  std::vector<std::unique_ptr<TReplacingFile>> files;
  for (int i = 0; i < kWriters; ++i) {
    files.push_back(std::make_unique<TReplacingFile>(scratch / "b.jpg"));
    files.back()->Write(std::to_string(i));
  }
  int claimed = 0;
  for (auto& f : files) claimed += f->CommitIfFree(scratch / "b.jpg") ? 1 : 0;
  EXPECT_EQ(claimed, 1);
}

TEST(ReplacingFile, AFailedWriteCarriesItsErrorAndLeavesNothing) {
  TScratch scratch;
  SetWriteFaultHook([](size_t) { return ENOSPC; });
  try {
    WriteFileReplacing(scratch / "full.jpg", "bytes");
    ADD_FAILURE() << "no error";
  } catch (const EFileError& e) {
    EXPECT_TRUE(IsNoSpaceError(e.Error()));
    EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
  }
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(EntriesIn(scratch.dir), 0u);
  EXPECT_FALSE(IsNoSpaceError(EACCES));
}

TEST(StaleTemporaryFiles, OnlyThoseOfDeadProcessesAreRemoved) {
  TScratch scratch;
  // A process that has ended: a child that exited at once.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  char dead[64], alive[64];
  std::snprintf(dead, sizeof dead, ".imprimo-%010ld-0000000003.tmp", static_cast<long>(child));
  std::snprintf(alive, sizeof alive, ".imprimo-%010ld-0000000003.tmp", 1L);
  const std::string deadOld = ".ph035.jpg.tmp-" + std::to_string(child) + "-100";
  for (const std::string& name :
       {std::string(dead), std::string(alive), deadOld, std::string(".keep.tmp-x-1"),
        std::string("photo.jpg"), std::string(".imprimo-12-3.tmp")})
    WriteFileReplacing(scratch / name, "partial");
  // This process's own temporary file stays, as does a folder of that name.
  TReplacingFile mine(scratch / "y");
  fs::create_directory(scratch / (std::string(dead).substr(0, 19) + "-0000000009.tmp"));

  EXPECT_EQ(RemoveStaleTemporaryFiles(scratch.dir.string() + "/"), 2);
  EXPECT_FALSE(fs::exists(scratch / dead));
  EXPECT_FALSE(fs::exists(scratch / deadOld));
  EXPECT_TRUE(fs::exists(scratch / alive));
  EXPECT_TRUE(fs::exists(mine.TempPath()));
  EXPECT_TRUE(fs::exists(scratch / ".keep.tmp-x-1"));
  EXPECT_TRUE(fs::exists(scratch / "photo.jpg"));
  EXPECT_TRUE(fs::exists(scratch / ".imprimo-12-3.tmp"));
  EXPECT_EQ(RemoveStaleTemporaryFiles(scratch / "missing"), 0);

  long pid = 0;
  EXPECT_TRUE(ParseTemporaryName(".imprimo-0000008665-0000000100.tmp", pid));
  EXPECT_EQ(pid, 8665);
  EXPECT_TRUE(ParseTemporaryName(".a.b.tmp-42-7", pid));
  EXPECT_EQ(pid, 42);
  for (const char* other :
       {".tmp-42-7", "a.tmp-42-7", ".a.tmp-42-", ".a.tmp--7", ".a.tmp-0-7",
        ".imprimo-000000000x-0000000100.tmp", ".imprimo-4294967295-0000000100.tmp"})
    EXPECT_FALSE(ParseTemporaryName(other, pid)) << other;
}

TEST(PathPieces, FolderNameAndExtension) {
  EXPECT_EQ(FolderOf("/a/b.c/name"), "/a/b.c/");
  EXPECT_EQ(FolderOf("name.jpg"), "");
  EXPECT_EQ(FileNameOf("/a/b/name.JPG"), "name.JPG");
  EXPECT_EQ(FileNameOf("/a/b/"), "");
  EXPECT_EQ(ExtensionOf("/a/b/name.tar.GZ"), ".GZ");
  // A dot in a folder is no extension of the name.
  EXPECT_EQ(ExtensionOf("/a/b.c/name"), "");
  EXPECT_EQ(WithTrailingSeparator("/x"), "/x/");
  EXPECT_EQ(WithTrailingSeparator("/x/"), "/x/");
  EXPECT_EQ(WithTrailingSeparator(""), "/");
}

TEST(Utf8Cut, NeverSplitsACharacter) {
  const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";  // a é 中 😀 z
  EXPECT_EQ(Utf8CharCount(text), 5u);
  EXPECT_EQ(Utf8Prefix(text, 0), "");
  EXPECT_EQ(Utf8Prefix(text, 2), "a\xC3\xA9");
  EXPECT_EQ(Utf8Prefix(text, 4), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8Prefix(text, 5), text);
  EXPECT_EQ(Utf8Prefix(text, 99), text);
}

TEST(ListOrder, IgnoresCaseButIsTotal) {
  EXPECT_LT(CompareForList("alpha", "Beta"), 0);
  EXPECT_LT(CompareForList("Beta", "gamma"), 0);
  EXPECT_GT(CompareForList("Zed", "apple"), 0);
  // Accented letters sort beside their base letter, not after "z".
  EXPECT_LT(CompareForList("\xC3\xA9t\xC3\xA9", "fall"), 0);
  // Names equal but for case still have a fixed order.
  EXPECT_NE(CompareForList("Beta", "beta"), 0);
  EXPECT_EQ(CompareForList("Beta", "beta"), -CompareForList("beta", "Beta"));
  EXPECT_EQ(CompareForList("same", "same"), 0);
}

}  // namespace
}  // namespace imprimo
