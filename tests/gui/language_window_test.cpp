// Language files applied to the real windows: the addressing rules, the
// user's language, damaged files, and the shipped Simplified Chinese texts.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "gui/about_dialog.h"
#include "gui/fo_log.h"
#include "gui/form_translation.h"
#include "gui/image_preview.h"
#include "gui/language_template.h"
#include "gui/option_dialog.h"
#include "gui/sel_dir.h"
#include "lang/language_file.h"
#include "lang/lcf_file.h"
#include "platform/text.h"
#include "runlog/run_log.h"
#include "window_fixture.h"

namespace imprimo::testing_gui {
namespace {

class Language {
 public:
  explicit Language(const char* value) {
    if (const char* old = std::getenv("IMPRIMO_LANGUAGE")) old_ = old;
    ::setenv("IMPRIMO_LANGUAGE", value, 1);
  }
  ~Language() {
    if (old_)
      ::setenv("IMPRIMO_LANGUAGE", old_->c_str(), 1);
    else
      ::unsetenv("IMPRIMO_LANGUAGE");
  }

 private:
  std::optional<std::string> old_;
};

// The user's locale as a desktop session sets it: LANG only.
class DesktopLocale {
 public:
  explicit DesktopLocale(const char* lang) {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
      ::unsetenv(name);
    }
    ::setenv("LANG", lang, 1);
  }
  ~DesktopLocale() {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i])
        ::setenv(kNames[i], saved_[i]->c_str(), 1);
      else
        ::unsetenv(kNames[i]);
    }
  }

 private:
  static constexpr const char* kNames[] = {"IMPRIMO_LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

class LanguageWindowTest : public WindowFixture {
 protected:
  void WriteLanguageFile(const TLcfContent& content) {
    WriteText(folder_ + "imprimo.lcf", BuildLanguageModule(content));
  }
  // English and Chinese columns with a few window texts and one message.
  static TLcfContent Sample(uint8_t flags) {
    TLcfContent c;
    c.Flags = flags;
    c.Languages = {1033, 2052};
    auto both = [](const char16_t* en, const char16_t* zh) {
      return TColumnTexts{std::u16string(en), std::u16string(zh)};
    };
    c.Forms["TFRMMAIN"] = {
        {"frmMain-Caption", both(u"Imprimo EN", u"\u6c34\u5370")},
        {"ListImgs-Columns<1>.Caption", both(u"Format", u"\u683c\u5f0f")},
        {"cbSaveFormat-Items(3).x", both(u"MNG", u"MNG \u56fe")},
        {"cbSaveFormat-Items(2)", both(u"BMP", u"BMP \u56fe")},
        {"cbSaveFormat-Items(x).x", both(u"?", u"?")},
        {"cbSaveFormat-Items(99).x", both(u"?", u"?")},
        {"ListImgs-Columns<9>.Caption", both(u"?", u"?")},
        {"noSuchThing-Caption", both(u"?", u"?")},
        {"actProcess-Frobnicate", both(u"?", u"?")},
        {"actProcess-Caption", {u"Process", std::nullopt}},  // no Chinese: kept
    };
    c.Strings[1000] = both(u"English message", u"\u4e2d\u6587\u6d88\u606f");
    return c;
  }
};

TEST_F(LanguageWindowTest, AddressesOfTheMainWindowWithAndWithoutTheExtraSlot) {
  Language chinese("2052");
  for (uint8_t flags : {0, 1}) {
    WriteLanguageFile(Sample(flags));
    TfrmMain& w = Open();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("\u6c34\u5370")) << int(flags);
    EXPECT_EQ(w.ListImgs()->horizontalHeaderItem(1)->text(), QStringLiteral("\u683c\u5f0f"));
    auto* formats = w.findChild<QComboBox*>("cbSaveFormat");
    ASSERT_NE(formats, nullptr);
    EXPECT_EQ(formats->itemText(3), QStringLiteral("MNG \u56fe"));
    EXPECT_TRUE(formats->itemText(2).startsWith(QStringLiteral("BMP - ")));  // Items(2) alone
    EXPECT_EQ(w.findChild<QAction*>("actProcess")->text(), QStringLiteral("Process"));
    // Messages come from the string slot: slot 1, or slot 2 with the flag.
    EXPECT_EQ(TranslatedText(1000, "built-in"), "\xE4\xB8\xAD\xE6\x96\x87\xE6\xB6\x88\xE6\x81\xAF");
    EXPECT_EQ(LoadedLanguageFile().StringSlotIndex(), 1 + flags);
    window_.reset();
  }
}

TEST_F(LanguageWindowTest, EnglishDesktopNoFileAndDamagedFilesKeepTheDesignedTexts) {
  // The user's language decides: English stays English beside a Chinese file.
  TLcfContent chineseOnly = Sample(0);
  chineseOnly.Languages = {2052, 1031};
  WriteLanguageFile(chineseOnly);
  {
    Language english("en_US.UTF-8");
    TfrmMain& w = Open();
    EXPECT_TRUE(w.windowTitle().startsWith(QStringLiteral("Imprimo ")));
    EXPECT_EQ(TranslatedText(1000, "built-in"), "built-in");
    window_.reset();
  }
  Language chinese("zh_CN.UTF-8");
  const std::string whole = BuildLanguageModule(Sample(0));
  std::string hugeCount = whole;
  const size_t header = hugeCount.find("LCHEADER");
  ASSERT_NE(header, std::string::npos);
  hugeCount[header + 12] = '\xFF';
  hugeCount[header + 15] = '\x7F';
  for (const std::string& bytes : {std::string(), whole.substr(0, whole.size() / 2),
                                   whole.substr(0, 600), std::string(4096, '\xFF'), hugeCount}) {
    WriteText(folder_ + "imprimo.lcf", bytes);
    TfrmMain& w = Open();
    // Texts whose bytes were lost stay English; intact ones may apply.
    const QString title = w.windowTitle();
    EXPECT_TRUE(title.startsWith(QStringLiteral("Imprimo ")) ||
                title == QStringLiteral("\u6c34\u5370"))
        << title.toStdString();
    const QString column = w.ListImgs()->horizontalHeaderItem(1)->text();
    EXPECT_TRUE(column == QStringLiteral("Format") || column == QStringLiteral("\u683c\u5f0f"));
    window_.reset();
  }
  fs::remove(folder_ + "imprimo.lcf");
  TfrmMain& w = Open();
  EXPECT_EQ(w.ListImgs()->horizontalHeaderItem(1)->text(), QStringLiteral("Format"));
  EXPECT_FALSE(LoadedLanguageFile().IsLoaded());
}

std::vector<TLanguageSource> ShippedChinese() {
  std::ifstream in(std::string(IMPRIMO_SOURCE_DIR) + "/translations/zh_CN.ini", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseLanguageSources(text);
}

TEST_F(LanguageWindowTest, EveryEnglishTextHasAChineseEntry) {
  const TLanguageSource english = ProgramEnglishSource();
  const auto chinese = ShippedChinese();
  ASSERT_EQ(chinese.size(), 1u);
  EXPECT_EQ(chinese[0].LanguageId, 2052);
  std::vector<std::string> missing;
  for (const auto& [className, items] : english.Forms) {
    std::set<std::string> have;
    if (auto it = chinese[0].Forms.find(className); it != chinese[0].Forms.end())
      for (const auto& [address, text] : it->second) have.insert(address);
    for (const auto& [address, text] : items) {
      const bool words = std::any_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
      });
      if (words && !have.count(address)) missing.push_back(className + " " + address);
    }
  }
  for (const auto& [id, text] : english.Strings)
    if (!chinese[0].Strings.count(id)) missing.push_back("Strings " + std::to_string(id));
  EXPECT_TRUE(missing.empty()) << missing.size()
                               << " missing, first: " << (missing.empty() ? "" : missing.front());
}

TEST_F(LanguageWindowTest, ShippedChineseReachesEveryWindow) {
  DesktopLocale chinese("zh_CN.UTF-8");
  WriteLanguageFile(ContentFromSources(ShippedChinese()));
  TfrmMain& w = Open();
  EXPECT_EQ(w.findChild<QAction*>("actProcess")->text(), QStringLiteral("\u5904\u7406"));
  EXPECT_EQ(w.ListImgs()->horizontalHeaderItem(0)->text(), QStringLiteral("\u6587\u4ef6\u540d"));
  // The dialogs open the same file.
  TSettings settings;
  TProgramValues values;
  TfrmOption options(folder_, settings, values);
  auto* tabs = options.findChild<QTabWidget*>();
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("\u8f93\u51fa\u8bbe\u7f6e"));
  TfrmAbout about(folder_);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("\u5173\u4e8e"));
  EXPECT_TRUE(about.findChild<QLabel*>("lbVersion")->text().contains(QStringLiteral("7.")));
  TfrmSelDir folder(QString::fromStdString(folder_));
  EXPECT_EQ(folder.windowTitle(), QStringLiteral("\u9009\u62e9\u6587\u4ef6\u5939"));
  RunLog log;
  TFoLog viewer(log);
  auto* list = viewer.findChild<QTableWidget*>("lvLog");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QStringLiteral("\u65e5\u671f\u65f6\u95f4"));
}

// The visible texts of the window: tool buttons, buttons, labels, group
// titles, menus and their entries, column headings.
std::vector<QString> VisibleTexts(TfrmMain& w) {
  std::vector<QString> texts;
  auto plain = [](QString t) {
    t.remove(QLatin1Char('&'));
    return t.section(QLatin1Char('\t'), 0, 0).trimmed();
  };
  for (QToolButton* b : w.findChildren<QToolButton*>())
    if (b->isVisibleTo(&w)) texts.push_back(plain(b->text()));
  for (QAbstractButton* b : w.findChildren<QAbstractButton*>())
    if (b->isVisibleTo(&w) && !qobject_cast<QToolButton*>(b)) texts.push_back(plain(b->text()));
  for (QLabel* l : w.findChildren<QLabel*>())
    if (l->isVisibleTo(&w)) texts.push_back(plain(l->text()));
  for (QGroupBox* g : w.findChildren<QGroupBox*>()) texts.push_back(plain(g->title()));
  for (QAction* top : w.menuBar()->actions()) {
    texts.push_back(plain(top->text()));
    if (top->menu())
      for (QAction* a : top->menu()->actions()) texts.push_back(plain(a->text()));
  }
  for (int c = 0; c < w.ListImgs()->columnCount(); ++c)
    texts.push_back(plain(w.ListImgs()->horizontalHeaderItem(c)->text()));
  return texts;
}

TEST_F(LanguageWindowTest, ChineseStaysChineseAfterAddingFilesAndARun) {
  DesktopLocale chinese("zh_CN.UTF-8");
  WriteLanguageFile(ContentFromSources(ShippedChinese()));
  // Every English text that has a Chinese one: seeing it means a fall-back.
  const TLanguageSource english = ProgramEnglishSource();
  const auto translated = ShippedChinese();
  std::set<QString> englishTexts;
  for (const auto& [className, items] : english.Forms) {
    if (!SameTextUtf8(className, "TfrmMain")) continue;
    for (const auto& [address, text] : items) {
      QString t = QString::fromStdU16String(text);
      t.remove(QLatin1Char('&'));
      t = t.section(QLatin1Char('\t'), 0, 0).trimmed();
      if (t.size() > 2 && t.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3}"))))
        englishTexts.insert(t);
    }
  }
  ASSERT_TRUE(englishTexts.count(QStringLiteral("Process")));
  auto fallen = [&](TfrmMain& w) {
    std::vector<std::string> back;
    for (const QString& t : VisibleTexts(w))
      if (englishTexts.count(t)) back.push_back(t.toStdString());
    return back;
  };
  const std::string in = (root_ / "in").string() + "/";
  for (int i = 0; i < 2; ++i) WriteImage(in + "p" + std::to_string(i) + ".jpg", 40, 30, "JPEG");
  WriteText(in + "broken.jpg", "no picture");
  WriteTemplate();
  TfrmMain& w = Open();
  EXPECT_EQ(fallen(w), std::vector<std::string>{});
  w.DragDropMDrop({QString::fromStdString(in + "p0.jpg"), QString::fromStdString(in + "p1.jpg"),
                   QString::fromStdString(in + "broken.jpg")});
  ASSERT_EQ(w.RowCount(), 3);
  EXPECT_EQ(fallen(w), std::vector<std::string>{}) << "after adding files";
  auto* process = w.findChild<QToolButton*>("btnToolRun");
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->text(), QStringLiteral("\u5904\u7406"));
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));
  w.findChild<QAction*>("actProcess")->trigger();
  EXPECT_EQ(fallen(w), std::vector<std::string>{}) << "after a run";
  EXPECT_EQ(process->text(), QStringLiteral("\u5904\u7406"));
  EXPECT_EQ(w.findChild<QToolButton*>("btnToolAdd")->text(), QStringLiteral("\u6253\u5f00"));
  // The texts the run set: the status line and the question after it.
  EXPECT_TRUE(w.StatusText(2).contains(QStringLiteral("\u6210\u529f")))
      << w.StatusText(2).toStdString();
  ASSERT_FALSE(messages_.empty());
  EXPECT_FALSE(messages_.back().text.contains(QStringLiteral("succeeded")));
  // The preview of the broken row speaks Chinese too.
  w.ListImgs()->clearSelection();
  for (int row = 0; row < w.RowCount(); ++row)
    if (w.RowText(row).endsWith(QStringLiteral("broken.jpg"))) w.ListImgs()->selectRow(row);
  w.findChild<QAction*>("actShowPreview")->trigger();
  EXPECT_TRUE(w.ImagePreview()->Message().contains(QStringLiteral("\u65e0\u6cd5\u9884\u89c8")))
      << w.ImagePreview()->Message().toStdString();
  EXPECT_FALSE(w.ImagePreview()->Message().contains(QStringLiteral("known format")))
      << w.ImagePreview()->Message().toStdString();
  window_.reset();
}

TEST_F(LanguageWindowTest, FirstSizeGrowsWhenTallerTextsWouldNeedAScrollBar) {
  // Fonts with taller lines (CJK faces, large desktop text) need more height.
  const QFont before = QApplication::font();
  QFont larger = before;
  larger.setPointSizeF(before.pointSizeF() * 1.35);
  QApplication::setFont(larger);
  TfrmMain& w = Open();
  QApplication::processEvents();
  auto* panel = w.findChild<QScrollArea*>("plLeft");
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(panel->verticalScrollBar()->isVisible());
  const TProgramValues defaults;
  EXPECT_GT(w.height(), defaults.WinHeight);
  window_.reset();
  QApplication::setFont(before);
}

}  // namespace
}  // namespace imprimo::testing_gui
