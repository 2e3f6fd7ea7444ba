// The shipped HTML manual: every internal link and picture resolves, and the
// pages load nothing from the network.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kHelp = fs::path(IMPRIMO_SOURCE_DIR) / "data" / "help";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> Ids(const std::string& html) {
  std::set<std::string> ids;
  static const std::regex id(R"re(\bid="([^"]+)")re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), id); it != std::sregex_iterator();
       ++it)
    ids.insert((*it)[1]);
  return ids;
}

TEST(ManualTest, InternalLinksAndPicturesResolve) {
  ASSERT_TRUE(fs::is_regular_file(kHelp / "index.html"));
  // Screenshots are drawn at build time; their names are in the drawing tool.
  const std::string screenTool =
      ReadAll(fs::path(IMPRIMO_SOURCE_DIR) / "tools" / "make_screens.cpp");
  ASSERT_FALSE(screenTool.empty());

  static const std::regex ref(R"re(\b(href|src)="([^"]*)")re");
  int pages = 0;
  for (const auto& entry : fs::directory_iterator(kHelp)) {
    if (entry.path().extension() != ".html") continue;
    ++pages;
    const std::string page = entry.path().filename().string();
    const std::string html = ReadAll(entry.path());
    EXPECT_NE(html.find("<title>"), std::string::npos) << page;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), ref);
         it != std::sregex_iterator(); ++it) {
      const std::string kind = (*it)[1];
      const std::string target = (*it)[2];
      SCOPED_TRACE(page + ": " + kind + "=\"" + target + "\"");
      ASSERT_FALSE(target.empty());
      if (target.starts_with("http:") || target.starts_with("https:") ||
          target.starts_with("mailto:")) {
        // Only plain links may leave the manual; pictures and style sheets
        // must work offline.
        EXPECT_EQ(kind, "href");
        EXPECT_EQ(html.find("<link rel=\"stylesheet\" href=\"" + target), std::string::npos);
        continue;
      }
      EXPECT_EQ(target.find(".."), std::string::npos);
      EXPECT_NE(target[0], '/');
      const size_t hash = target.find('#');
      const std::string file = target.substr(0, hash);
      const std::string anchor = hash == std::string::npos ? "" : target.substr(hash + 1);
      if (file.starts_with("images/")) {
        const std::string name = file.substr(7);
        EXPECT_TRUE(fs::is_regular_file(kHelp / file) ||
                    screenTool.find('"' + name.substr(0, name.rfind('.')) + '"') !=
                        std::string::npos)
            << "no such picture and the screenshot tool does not draw it";
        continue;
      }
      const fs::path linked = file.empty() ? entry.path() : kHelp / file;
      ASSERT_TRUE(fs::is_regular_file(linked));
      if (!anchor.empty()) {
        EXPECT_TRUE(Ids(ReadAll(linked)).count(anchor)) << "no such anchor";
      }
    }
  }
  EXPECT_GE(pages, 2);
}

}  // namespace
