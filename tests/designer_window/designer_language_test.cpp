// The template editor in the user's language: the shipped Chinese texts
// cover its window and reach it through the language file.
#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "designer_window_fixture.h"
#include "gui/form_translation.h"
#include "lang/lcf_file.h"

namespace imprimo::testing_designer {
namespace {

using DesignerLanguageTest = DesignerFixture;

TLanguageSource ShippedChinese() {
  std::ifstream in(std::string(IMPRIMO_SOURCE_DIR) + "/translations/zh_CN.ini", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseLanguageSources(text).at(0);
}

TEST_F(DesignerLanguageTest, EveryTextOfTheWindowHasAChineseEntryAndIsShown) {
  const TLanguageSource chinese = ShippedChinese();
  std::set<std::string> have;
  for (const auto& [address, text] : chinese.Forms.at("TFRMDESIGNER")) have.insert(address);
  std::vector<std::string> missing;
  {
    TfrmDesigner& english = Open();
    for (const auto& [address, text] : WindowTexts(english))
      if (text.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))) && !have.count(address))
        missing.push_back(address);
    window_.reset();
  }
  EXPECT_TRUE(missing.empty()) << missing.size()
                               << " missing, first: " << (missing.empty() ? "" : missing.front());

  std::ofstream(folder_ + "imprimo.lcf", std::ios::binary)
      << BuildLanguageModule(ContentFromSources({chinese}));
  const char* old = std::getenv("IMPRIMO_LANGUAGE");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("IMPRIMO_LANGUAGE", "zh_CN", 1);
  TfrmDesigner& w = Open();
  auto* undo = w.findChild<QAction*>(QStringLiteral("actUndo"));
  ASSERT_NE(undo, nullptr);
  EXPECT_TRUE(undo->text().startsWith(QStringLiteral("\u64a4\u9500")))
      << undo->text().toStdString();
  if (saved)
    ::setenv("IMPRIMO_LANGUAGE", saved->c_str(), 1);
  else
    ::unsetenv("IMPRIMO_LANGUAGE");
}

}  // namespace
}  // namespace imprimo::testing_designer
