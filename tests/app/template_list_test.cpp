#include "app/template_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace imprimo {
namespace {

namespace fs = std::filesystem;

struct TLibrary {
  fs::path root = fs::temp_directory_path() / ("imprimo_tpl_" + std::to_string(getpid()));
  std::string folder = (root / "Watermarks").string() + "/";
  TLibrary() {
    fs::create_directories(folder);
    for (const char* name :
         {"Beta.WG", "alpha.wg", "Gamma.Wg", ".hidden.wg", "notes.txt", ".wg", "old.wg.bak"})
      std::ofstream(folder + name) << "[Layer]\n";
    fs::create_directories(folder + "folder.wg");
  }
  ~TLibrary() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

TEST(TemplateList, ListsEveryCaseOfTheExtensionSortedByName) {
  TLibrary library;
  const std::vector<TTemplateEntry> list = ListTemplates(library.folder);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Name, "alpha");
  EXPECT_EQ(list[1].Name, "Beta");
  EXPECT_EQ(list[1].FileName, "Beta.WG");
  EXPECT_EQ(list[2].Name, "Gamma");
  EXPECT_TRUE(ListTemplates((library.root / "none").string()).empty());
}

TEST(TemplateList, ResolvesNamesToTheFilesTheListHolds) {
  TLibrary library;
  int32_t index = 0;
  // The name as the window lists it finds the file with its capital extension.
  EXPECT_EQ(ResolveTemplatePath("Beta", library.folder, index), library.folder + "Beta.WG");
  EXPECT_EQ(index, 1);
  index = 0;
  EXPECT_EQ(ResolveTemplatePath("Gamma.wg", library.folder, index), library.folder + "Gamma.Wg");
  EXPECT_EQ(index, 2);
  // No choice: the stored index, or the first entry when it is outside.
  index = 2;
  EXPECT_EQ(ResolveTemplatePath("", library.folder, index), library.folder + "Gamma.Wg");
  index = 7;
  EXPECT_EQ(ResolveTemplatePath("", library.folder, index), library.folder + "alpha.wg");
  EXPECT_EQ(index, 0);
  // A name the list lacks keeps the index and names no file.
  index = 1;
  const std::string missing = ResolveTemplatePath("nosuch", library.folder, index);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(index, 1);
  // A path is taken as it is; an empty library has nothing to select.
  EXPECT_EQ(ResolveTemplatePath(library.folder + "alpha.wg", library.folder, index),
            library.folder + "alpha.wg");
  index = 3;
  EXPECT_EQ(ResolveTemplatePath("", (library.root / "none/").string(), index), "");
  EXPECT_EQ(index, 0);
}

}  // namespace
}  // namespace imprimo
