// The template editor in the user's language: the shipped Chinese texts
// cover its window and reach it through the language file.
#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "designer/designer_texts.h"
#include "designer_window_fixture.h"
#include "gui/form_translation.h"
#include "lang/lcf_file.h"
#include "platform/text.h"

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

// The user's language for one test, as IMPRIMO_LANGUAGE names it.
class ChineseLanguage {
 public:
  ChineseLanguage() {
    if (const char* old = std::getenv("IMPRIMO_LANGUAGE")) old_ = old;
    ::setenv("IMPRIMO_LANGUAGE", "zh_CN", 1);
  }
  ~ChineseLanguage() {
    if (old_)
      ::setenv("IMPRIMO_LANGUAGE", old_->c_str(), 1);
    else
      ::unsetenv("IMPRIMO_LANGUAGE");
  }

 private:
  std::optional<std::string> old_;
};

// A word in Latin letters (colour codes such as #FFFFFF are not words).
bool HasEnglishWord(const QString& text) {
  return !text.startsWith(QLatin1Char('#')) &&
         text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3,}")));
}

TEST_F(DesignerLanguageTest, TextsSetWhileEditingComeFromTheLanguageFile) {
  const TLanguageSource chinese = ShippedChinese();
  size_t count = 0;
  const TDesignerText* ids = DesignerTextIds(count);
  std::vector<uint32_t> untranslated;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t id = static_cast<uint32_t>(ids[i]);
    const auto found = chinese.Strings.find(id);
    if (found == chinese.Strings.end()) {
      untranslated.push_back(id);
      continue;
    }
    // Every placeholder of the English text is kept.
    const QString english = QString::fromUtf8(EnglishDesignerText(ids[i]));
    const QString zh = QString::fromStdU16String(found->second);
    for (const char* mark : {"%1", "%2", "%3"})
      EXPECT_EQ(english.contains(QLatin1String(mark)), zh.contains(QLatin1String(mark)))
          << id << " " << mark;
  }
  EXPECT_EQ(untranslated, std::vector<uint32_t>{});
  // Pitch is the font's width kind (default, variable, fixed), not spacing.
  const auto& designer = chinese.Forms.at("TFRMDESIGNER");
  for (const auto& [address, text] : designer)
    if (address == "lbFontPitch-Caption") {
      EXPECT_EQ(QString::fromStdU16String(text), QStringLiteral("\u5b57\u5bbd\u7c7b\u578b\uff1a"));
    }

  std::ofstream(folder_ + "imprimo.lcf", std::ios::binary)
      << BuildLanguageModule(ContentFromSources({chinese}));
  ChineseLanguage language;
  const std::string path =
      WriteTemplate("Faces",
                    "[Mark]\r\nText=Mark\r\nFontName=No Such Face Here\r\nFontSize=16\r\n"
                    "Alpha=100\r\nPosition=1\r\n");
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  WaitPreview();
  auto* status = Find<QLabel>("lbStatus");
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("\u5df2\u6253\u5f00")))
      << status->text().toStdString();
  // The face that stands in for a missing one, and the captions the layer's
  // placement sets.
  auto* face = Find<QLabel>("lbFontFace");
  ASSERT_NE(face, nullptr);
  EXPECT_FALSE(face->text().isEmpty());
  EXPECT_FALSE(face->text().startsWith(QStringLiteral("Drawn"))) << face->text().toStdString();
  EXPECT_FALSE(face->text().contains(QStringLiteral("installed")));
  for (const char* label : {"lbHorzSpace", "lbVertSpace"}) {
    auto* l = Find<QLabel>(label);
    ASSERT_NE(l, nullptr) << label;
    EXPECT_FALSE(HasEnglishWord(l->text())) << label << ": " << l->text().toStdString();
  }
  // No visible caption, button or menu entry fell back to English.
  std::vector<std::string> english;
  for (QLabel* l : w.findChildren<QLabel*>())
    if (l->isVisibleTo(&w) && HasEnglishWord(l->text()) && l != face &&
        !l->text().contains(QStringLiteral("Faces")))
      english.push_back(l->objectName().toStdString() + ": " + l->text().toStdString());
  for (QAbstractButton* b : w.findChildren<QAbstractButton*>())
    if (b->isVisibleTo(&w) && HasEnglishWord(b->text()))
      english.push_back(b->objectName().toStdString() + ": " + b->text().toStdString());
  for (QGroupBox* g : w.findChildren<QGroupBox*>())
    if (g->isVisibleTo(&w) && HasEnglishWord(g->title()))
      english.push_back(g->objectName().toStdString() + ": " + g->title().toStdString());
  for (QAction* top : w.menuBar()->actions()) {
    if (HasEnglishWord(top->text())) english.push_back(top->text().toStdString());
    if (top->menu())
      for (QAction* a : top->menu()->actions())
        if (HasEnglishWord(a->text().section(QLatin1Char('\t'), 0, 0)))
          english.push_back(a->objectName().toStdString() + ": " + a->text().toStdString());
  }
  EXPECT_EQ(english, std::vector<std::string>{});

  // Messages and the status line of new, saved and failed documents.
  w.OpenDocument(QString::fromStdString(wm_ + "missing/none.wg"));
  ASSERT_FALSE(messages_.empty());
  EXPECT_TRUE(messages_.back().Text.startsWith(QStringLiteral("\u65e0\u6cd5\u6253\u5f00")))
      << messages_.back().Text.toStdString();
  Trigger("actNew");
  EXPECT_EQ(status->text(), QStringLiteral("\u65b0\u6a21\u677f"));
  files_.push_back(QString::fromStdString(wm_ + "Saved.wg"));
  ASSERT_TRUE(w.SaveAs());
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("\u5df2\u4fdd\u5b58")))
      << status->text().toStdString();
}

}  // namespace
}  // namespace imprimo::testing_designer
