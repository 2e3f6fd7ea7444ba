#include "lang/lcf_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "lang/language_file.h"
#include "lang/locale_language.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

std::vector<TLanguageSource> TwoLanguages() {
  return ParseLanguageSources(
      "\xEF\xBB\xBF; comment\n"
      "[Language]\nId=1033\nName=English\n"
      "[Strings]\n64878=Stop the run?\n7=Line one\\r\\nLine two\\tend \\\\ done\\s\n"
      "[TfrmMain]\nfrmMain-Caption=Imprimo\nListImgs-Columns<1>.Caption=Format\n"
      "\n[Language]\nId=2052\n"
      "[Strings]\n64878=\xE5\x81\x9C\xE6\xAD\xA2\xE5\xA4\x84\xE7\x90\x86\xEF\xBC\x9F\n7=\n"
      "[TFRMMAIN]\nListImgs-Columns<1>.Caption=\xE6\xA0\xBC\xE5\xBC\x8F\n"
      "[TFOLOG]\nFoLog-Caption=\xE6\x97\xA5\xE5\xBF\x97\n");
}

TEST(LcfFile, SourcesParseWithEscapesAndBuildDumpBuildGivesTheSameBytes) {
  const auto languages = TwoLanguages();
  ASSERT_EQ(languages.size(), 2u);
  EXPECT_EQ(languages[0].Strings.at(7), u"Line one\r\nLine two\tend \\ done ");
  EXPECT_EQ(languages[1].Strings.at(7), u"");
  // Window classes are matched without regard to case.
  EXPECT_EQ(languages[1].Forms.at("TFRMMAIN").size(), 1u);

  const TLcfContent content = ContentFromSources(languages);
  EXPECT_EQ(content.Languages, (std::vector<int32_t>{1033, 2052}));
  ASSERT_EQ(content.Forms.at("TFRMMAIN").size(), 2u);
  EXPECT_FALSE(content.Forms.at("TFRMMAIN")[0].Texts[1]);  // no Chinese caption
  EXPECT_FALSE(content.Forms.at("TFOLOG")[0].Texts[0]);

  const std::string bytes = BuildLanguageModule(content);
  const auto back = ReadLanguageModule(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, content);
  const std::string dumped = WriteLanguageSources(SourcesFromContent(*back));
  // The file keeps no language names.
  auto unnamed = languages;
  for (TLanguageSource& l : unnamed) l.Name.clear();
  EXPECT_EQ(ParseLanguageSources(dumped), unnamed);
  EXPECT_EQ(BuildLanguageModule(ContentFromSources(ParseLanguageSources(dumped))), bytes);
}

TEST(LcfFile, BuiltFileAnswersTheReaderByColumn) {
  const std::string bytes = BuildLanguageModule(ContentFromSources(TwoLanguages()));
  LanguageFile file;
  ASSERT_EQ(file.OpenBytes(bytes, 2052), 1);
  EXPECT_EQ(file.LanguageIndex(), 1);
  EXPECT_EQ(file.TranslatedText(64878, "Stop?"),
            "\xE5\x81\x9C\xE6\xAD\xA2\xE5\xA4\x84\xE7\x90\x86\xEF\xBC\x9F");
  EXPECT_EQ(file.TranslatedText(7, "builtin"), "");  // an empty text is a text
  EXPECT_EQ(file.TranslatedText(8, "builtin"), "builtin");
  const auto items = file.FormItems("TfrmMain");
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 1u);  // the caption has no Chinese text
  EXPECT_EQ((*items)[0].address, "ListImgs-Columns<1>.Caption");
  EXPECT_EQ(file.OpenBytes(bytes, 1031), 0);
  EXPECT_EQ(file.OpenBytes("MZ not a module", 2052), -1);
}

TEST(LcfFile, SourceFaultsNameTheirLine) {
  const auto fault = [](const char* text) {
    try {
      ParseLanguageSources(text);
    } catch (const std::runtime_error& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(fault("[TfrmMain]\na-Caption=x\n").substr(0, 6), "line 1");
  EXPECT_EQ(fault("[Language]\nId=2052\n[Strings]\n70000=x\n").substr(0, 6), "line 4");
  EXPECT_EQ(fault("[Language]\nId=2052\n[TfrmMain]\nCaption=x\n").substr(0, 6), "line 4");
  EXPECT_EQ(fault("[Language]\nId=2052\n[Strings]\n1=bad \\q escape\n").substr(0, 6), "line 4");
  EXPECT_EQ(fault("[Language]\nId=2052\n[Strings]\n1=\xC3\x28\n").substr(0, 6), "line 4");
  EXPECT_NE(fault("[Language]\nName=x\n").find("without Id"), std::string::npos);
  EXPECT_NE(fault("[Language]\nId=2052\n[Language]\nId=2052\n").find("twice"), std::string::npos);
}

// A second, independent reader of the module format.
TEST(LcfFile, StandardPeReaderFindsTheResources) {
  if (std::system("/usr/bin/python3 -c 'import pefile' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-pefile is not installed";
  const fs::path dir = fs::temp_directory_path() / ("lcf_pe_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "imprimo.lcf";
  std::ofstream(file, std::ios::binary) << BuildLanguageModule(ContentFromSources(TwoLanguages()));
  const std::string script =
      "import pefile,sys\n"
      "pe=pefile.PE(sys.argv[1])\n"
      "names=[]\n"
      "for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:\n"
      "  assert t.id==10\n"
      "  for n in t.directory.entries:\n"
      "    e=n.directory.entries[0].data.struct\n"
      "    d=pe.get_data(e.OffsetToData,e.Size)\n"
      "    names.append(str(n.name)+':'+str(len(d)))\n"
      "    if str(n.name)=='LCHEADER': assert d[:8]==b'LCHEADER'\n"
      "print(' '.join(names))\n";
  std::ofstream(dir / "read.py") << script;
  const std::string command =
      "/usr/bin/python3 " + (dir / "read.py").string() + " " + file.string() + " 2>&1";
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
  }
  fs::remove_all(dir);
  for (const char* name : {"64878:", "7:", "LCHEADER:", "TFRMMAIN:", "TFOLOG:"})
    EXPECT_NE(out.find(name), std::string::npos) << name << " in " << out;
}

TEST(LocaleLanguage, LocaleNamesAndTheOverride) {
  EXPECT_EQ(LanguageIdForLocale("zh_CN.UTF-8"), 2052);
  EXPECT_EQ(LanguageIdForLocale("zh_TW.UTF-8"), 1028);
  EXPECT_EQ(LanguageIdForLocale("de_DE@euro"), 1031);
  EXPECT_EQ(LanguageIdForLocale("fr_FR"), 1036);
  EXPECT_EQ(LanguageIdForLocale("ja_JP.eucJP"), 1041);
  EXPECT_EQ(LanguageIdForLocale("en_US.UTF-8"), 1033);
  EXPECT_EQ(LanguageIdForLocale("C.UTF-8"), 1033);
  EXPECT_EQ(LanguageIdForLocale("2052"), 2052);
  EXPECT_EQ(LanguageIdForLocale("xx_YY"), std::nullopt);
  EXPECT_EQ(LanguageIdForLocale("-5"), std::nullopt);

  const char* names[] = {"IMPRIMO_LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names) {
    const char* v = std::getenv(n);
    saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
    ::unsetenv(n);
  }
  EXPECT_EQ(ProgramLanguageId(), 1033);
  ::setenv("LANG", "zh_CN.UTF-8", 1);
  EXPECT_EQ(ProgramLanguageId(), 2052);
  ::setenv("LC_ALL", "en_US.UTF-8", 1);  // LC_ALL comes first
  EXPECT_EQ(ProgramLanguageId(), 1033);
  ::setenv("IMPRIMO_LANGUAGE", "2052", 1);
  EXPECT_EQ(ProgramLanguageId(), 2052);
  ::setenv("IMPRIMO_LANGUAGE", "zh_TW", 1);
  EXPECT_EQ(ProgramLanguageId(), 1028);
  for (size_t i = 0; i < 4; ++i) {
    if (saved[i])
      ::setenv(names[i], saved[i]->c_str(), 1);
    else
      ::unsetenv(names[i]);
  }
}

}  // namespace
}  // namespace imprimo
