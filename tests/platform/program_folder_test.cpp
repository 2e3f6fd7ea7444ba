#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace imprimo {
namespace {

namespace fs = std::filesystem;

TEST(ProgramFolderTest, ExecutableFolderEndsWithSeparator) {
  std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST(ProgramFolderTest, WritableProgramFolderIsUsed) {
  fs::path dir = fs::temp_directory_path() / ("imprimo_pf_" + std::to_string(getpid()));
  fs::create_directories(dir);
  EXPECT_EQ(ResolveDataFolder(dir.string()), dir.string() + "/");
  EXPECT_EQ(ResolveDataFolder(dir.string() + "/"), dir.string() + "/");
  fs::remove_all(dir);
}

TEST(ProgramFolderTest, UnwritableSystemFolderFallsBackToConfigFolder) {
  // Nobody, root included, can create files in /proc.
  fs::path root = fs::temp_directory_path() / ("imprimo_proc_" + std::to_string(getpid()));
  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", root.c_str(), 1);
  std::string data = ResolveDataFolder("/proc");
  EXPECT_EQ(data, root.string() + "/imprimo/");
  EXPECT_TRUE(fs::is_directory(data));
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  fs::remove_all(root);
}

TEST(ProgramFolderTest, ReadOnlyProgramFolderFallsBackToConfigFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into a read-only folder";
  fs::path root = fs::temp_directory_path() / ("imprimo_ro_" + std::to_string(getpid()));
  fs::path program = root / "program";
  fs::create_directories(program / "Watermarks" / "logos");
  std::ofstream(program / "Watermarks" / "Sample.wg") << "[General]\n";
  std::ofstream(program / "Watermarks" / "logos" / "a.png") << "x";
  fs::permissions(program, fs::perms::owner_read | fs::perms::owner_exec);

  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  std::string data = ResolveDataFolder(program.string());
  EXPECT_EQ(data, (root / "config").string() + "/imprimo/");
  EXPECT_TRUE(fs::exists(fs::path(data) / "Watermarks" / "Sample.wg"));
  EXPECT_TRUE(fs::exists(fs::path(data) / "Watermarks" / "logos" / "a.png"));

  // A second start keeps the user's own changes to the copied templates.
  std::ofstream(fs::path(data) / "Watermarks" / "Sample.wg") << "changed";
  ResolveDataFolder(program.string());
  std::ifstream in(fs::path(data) / "Watermarks" / "Sample.wg");
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "changed");

  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  fs::permissions(program, fs::perms::owner_all);
  fs::remove_all(root);
}

// An installed program folder is used read-only even by a user who could
// write there; the shipped templates are offered beside the user's own.
TEST(ProgramFolderTest, InstalledProgramFolderOffersShippedTemplatesOnce) {
  fs::path root = fs::temp_directory_path() / ("imprimo_inst_" + std::to_string(getpid()));
  fs::path program = root / "lib" / "imprimo";
  fs::create_directories(program / "Watermarks");
  std::ofstream(program / kInstalledMarkerName) << "installed\n";
  std::ofstream(program / "Watermarks" / "Copyright.wg") << "[General]\n";
  std::ofstream(program / "Watermarks" / "Proof.wg") << "[General]\n";
  std::ofstream(program / "Watermarks" / "logo.png") << "x";

  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  const std::string data = ResolveDataFolder(program.string());
  EXPECT_EQ(data, (root / "config").string() + "/imprimo/");
  const fs::path marks = fs::path(data) / "Watermarks";
  EXPECT_TRUE(fs::exists(marks / "Copyright.wg"));
  EXPECT_TRUE(fs::exists(marks / "Proof.wg"));
  EXPECT_TRUE(fs::exists(marks / "logo.png"));
  EXPECT_FALSE(fs::exists(program / "Setup.ini"));

  // The user's own template, a deleted and an edited shipped one stay as the
  // user left them; a template shipped later appears at the next start.
  std::ofstream(marks / "Mine.wg") << "mine";
  fs::remove(marks / "Proof.wg");
  std::ofstream(marks / "Copyright.wg") << "edited";
  std::ofstream(program / "Watermarks" / "Added Later.wg") << "[General]\n";
  EXPECT_EQ(ResolveDataFolder(program.string()), data);
  EXPECT_TRUE(fs::exists(marks / "Mine.wg"));
  EXPECT_FALSE(fs::exists(marks / "Proof.wg"));
  EXPECT_TRUE(fs::exists(marks / "Added Later.wg"));
  std::ifstream in(marks / "Copyright.wg");
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "edited");

  // A user who removed the whole folder gets every shipped template again.
  fs::remove_all(marks);
  ResolveDataFolder(program.string());
  EXPECT_TRUE(fs::exists(marks / "Proof.wg"));
  EXPECT_TRUE(fs::exists(marks / "Added Later.wg"));

  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  fs::remove_all(root);
}

}  // namespace
}  // namespace imprimo
