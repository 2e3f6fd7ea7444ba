#include "lang/language_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "pe_builder.h"

namespace imprimo {
namespace {

using testing::BuildModule;
using testing::HeaderResource;
using testing::RcData;
using testing::SlotArray;
using testing::Text;
using testing::TSlot;
using testing::TTestResource;
using testing::WindowResource;

std::string LanguageModule(const std::string& header, std::vector<TTestResource> more = {}) {
  more.push_back(RcData("LCHEADER", header));
  return BuildModule(more).bytes;
}

TEST(LanguageFile, OpenResults) {
  LanguageFile file;
  EXPECT_EQ(file.OpenBytes("not a module", 2052), -1);
  EXPECT_EQ(file.OpenBytes(BuildModule({RcData("OTHER", "LCHEADER12345678")}).bytes, 2052), -1);
  // 15 bytes are too few even with the right start; 16 are enough.
  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {}).substr(0, 15)), 2052), -1);
  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {})), 2052), 0);
  std::string wrongMagic = HeaderResource(0, {2052});
  wrongMagic[0] = 'l';
  EXPECT_EQ(file.OpenBytes(LanguageModule(wrongMagic), 2052), -1);
  EXPECT_FALSE(file.IsLoaded());

  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {1033})), 2052), 0);
  EXPECT_FALSE(file.IsLoaded());
  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {1033, 2052})), 2052), 1);
  EXPECT_TRUE(file.IsLoaded());
  EXPECT_TRUE(file.IsRedirecting());
  EXPECT_EQ(file.LanguageIndex(), 1);
  EXPECT_EQ(file.StringSlotIndex(), 1);
  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(1, {1033, 2052})), 2052), 1);
  EXPECT_EQ(file.StringSlotIndex(), 2);
  // A failed opening releases the file loaded before.
  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {1033})), 2052), 0);
  EXPECT_FALSE(file.IsLoaded());
  EXPECT_EQ(file.LanguageIndex(), -1);
}

TEST(LanguageFile, HeaderCountsBeyondTheResource) {
  LanguageFile file;
  // The count claims more identifiers than present: only those present are read.
  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {1033, 2052}, 0x7FFFFFFF)), 2052), 1);
  EXPECT_EQ(file.LanguageIndex(), 1);
  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {2052}, -5)), 2052), 0);
  EXPECT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {1033, 2052}, 1)), 2052), 0);
}

TEST(LanguageFile, CallbackSeesIdentifiersUntilItReturnsZero) {
  LanguageFile file;
  const std::string module = LanguageModule(HeaderResource(0, {1031, 1033, 2052}));
  std::vector<int32_t> seen;
  EXPECT_EQ(file.OpenBytes(module, 2052,
                           [&](int32_t id) {
                             seen.push_back(id);
                             return 1;
                           }),
            1);
  EXPECT_EQ(seen, (std::vector<int32_t>{1031, 1033, 2052}));
  seen.clear();
  EXPECT_EQ(file.OpenBytes(module, 2052,
                           [&](int32_t id) {
                             seen.push_back(id);
                             return id == 1033 ? 0 : 1;
                           }),
            1);
  EXPECT_EQ(seen, (std::vector<int32_t>{1031, 1033}));
}

TEST(LanguageFile, TextsByIdentifierFollowTheSlotIndex) {
  const std::vector<TSlot> slots = {Text(u"slot0"), Text(u"slot1"), Text(u"slot2")};
  for (uint8_t flags : {0, 1}) {
    LanguageFile file;
    ASSERT_EQ(file.OpenBytes(LanguageModule(HeaderResource(flags, {1033, 2052}),
                                            {RcData("64878", SlotArray(slots))}),
                             2052),
              1);
    EXPECT_EQ(file.TranslatedText(64878, "built-in"), flags ? "slot2" : "slot1");
  }
}

TEST(LanguageFile, TextsByIdentifierFallBack) {
  LanguageFile file;
  EXPECT_EQ(file.TranslatedText(1, "not loaded"), "not loaded");
  const std::string odd = testing::Utf16Bytes(u"ab") + "c";  // odd length: the last byte is dropped
  std::string outside = SlotArray({Text(u"x"), Text(u"y")});
  testing::PutU32(outside, 8, 4000);  // slot 1's offset far beyond the resource
  ASSERT_EQ(file.OpenBytes(
                LanguageModule(
                    HeaderResource(0, {2052}),
                    {RcData("1", SlotArray({Text(u"")})), RcData("2", SlotArray({std::nullopt})),
                     RcData("3", SlotArray({Text(u"\u4e2d\u6587")})), RcData("4", SlotArray({odd})),
                     RcData("5", "short"), RcData("6", SlotArray({Text(u"col0")})),
                     RcData("7", outside)}),
                2052),
            1);
  EXPECT_EQ(file.TranslatedText(1, "built-in"), "");  // length 0: empty, not the built-in text
  EXPECT_EQ(file.TranslatedText(2, "built-in"), "built-in");  // length -1
  EXPECT_EQ(file.TranslatedText(3, "built-in"), "\u4e2d\u6587");
  EXPECT_EQ(file.TranslatedText(4, "built-in"), "ab");
  EXPECT_EQ(file.TranslatedText(5, "built-in"), "built-in");  // slot cut short
  EXPECT_EQ(file.TranslatedText(8, "built-in"), "built-in");  // no resource
  EXPECT_EQ(file.TranslatedText(6 + 65536, "built-in"), "built-in");
  EXPECT_EQ(file.StringText(6), u"col0");

  LanguageFile second;
  ASSERT_EQ(second.OpenBytes(
                LanguageModule(HeaderResource(0, {1033, 2052}), {RcData("7", outside)}), 2052),
            1);
  EXPECT_EQ(second.TranslatedText(7, "built-in"), "built-in");  // slot 1 points outside

  // Built-in texts are cut to 1024 characters, never inside a character.
  std::string longText;
  for (int k = 0; k < 1030; ++k) longText += "\u00e9";
  const std::string cut = file.TranslatedText(9, longText);
  EXPECT_EQ(cut.size(), 2048u);
  EXPECT_EQ(file.TranslatedText(9, "short"), "short");
}

TEST(LanguageFile, WindowItemsInApplyOrder) {
  const std::string window = WindowResource({
      {std::string("frmMain-Caption"), Text(u"en"), Text(u"zh caption")},
      {std::string("btnGo-Caption"), Text(u"en"), std::nullopt},  // no text for column 1
      {std::string("lbInfo-Caption"), Text(u"en"), Text(u"")},
      {std::string("btnStop-Hint"), Text(u"en")},  // no slot for column 1 at all
  });
  for (uint8_t flags : {0, 1}) {
    LanguageFile file;
    ASSERT_EQ(file.OpenBytes(
                  LanguageModule(HeaderResource(flags, {1033, 2052}), {RcData("TFRMMAIN", window)}),
                  2052),
              1);
    // Window texts come from slot i + 1 whatever the header flag says.
    const auto items = file.FormItems("TfrmMain");
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[0].address, "lbInfo-Caption");
    EXPECT_EQ((*items)[0].text, u"");
    EXPECT_EQ((*items)[1].address, "frmMain-Caption");
    EXPECT_EQ((*items)[1].text, u"zh caption");
    EXPECT_FALSE(file.FormItems("TfrmOption"));
  }
  LanguageFile none;
  EXPECT_FALSE(none.FormItems("TfrmMain"));
}

TEST(LanguageFile, MalformedWindowResources) {
  const std::string good = WindowResource({{std::string("a-Caption"), Text(u"x"), Text(u"y")},
                                           {std::string("b-Caption"), Text(u"x"), Text(u"z")}});
  std::vector<std::string> variants;
  for (size_t n = 0; n < good.size(); ++n) variants.push_back(good.substr(0, n));
  std::string hugeCount = good;
  testing::PutU32(hugeCount, 4 + 8, 0x7FFFFFFF);
  variants.push_back(hugeCount);
  std::string negativeHeader = good;
  testing::PutU32(negativeHeader, 0, 0x80000000u);
  variants.push_back(negativeHeader);
  {
    LanguageFile file;
    ASSERT_EQ(
        file.OpenBytes(
            LanguageModule(HeaderResource(0, {2052}), {RcData("TFOLOG", negativeHeader)}), 2052),
        1);
    EXPECT_TRUE(file.FormItems("TfoLog")->empty());
  }
  std::string wildOffset = good;
  testing::PutU32(wildOffset, 4 + 8 + 4, 0x80000000u);  // first item before the resource
  variants.push_back(wildOffset);
  for (const std::string& window : variants) {
    LanguageFile file;
    ASSERT_EQ(
        file.OpenBytes(LanguageModule(HeaderResource(0, {2052}), {RcData("TFOLOG", window)}), 2052),
        1);
    const auto items = file.FormItems("TfoLog");
    ASSERT_TRUE(items);
    EXPECT_LE(items->size(), window.size() / 8);
    for (const TFormItem& item : *items) EXPECT_LE(item.text.size() * 2, window.size());
  }
  LanguageFile file;
  ASSERT_EQ(file.OpenBytes(LanguageModule(HeaderResource(0, {2052}), {RcData("TFOLOG", hugeCount)}),
                           2052),
            1);
  // The entries present are still read (and whatever follows them, bounds-checked).
  std::vector<std::string> addresses;
  const auto read = file.FormItems("TfoLog");
  ASSERT_TRUE(read);
  for (const TFormItem& item : *read) addresses.push_back(item.address);
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), "a-Caption"), addresses.end());
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), "b-Caption"), addresses.end());
  ASSERT_EQ(file.OpenBytes(
                LanguageModule(HeaderResource(0, {2052}), {RcData("TFOLOG", wildOffset)}), 2052),
            1);
  EXPECT_EQ(file.FormItems("TfoLog")->size(), 1u);
}

TEST(LanguageFile, ProcessWideFile) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("imprimo_lang_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string program = (folder / "imprimo").string();
  const std::string path = LanguageFilePath(program);
  EXPECT_EQ(path, program + ".lcf");
  EXPECT_EQ(LanguageFilePath(program + ".exe"), program + ".lcf");

  // No language file: built-in texts.
  EXPECT_EQ(OpenLanguageFile(path, kProgramLanguageId), -1);
  EXPECT_FALSE(LoadedLanguageFile().IsLoaded());
  EXPECT_EQ(TranslatedText(100, "Error"), "Error");

  {
    std::ofstream out(path, std::ios::binary);
    out << LanguageModule(HeaderResource(0, {2052}),
                          {RcData("100", SlotArray({Text(u"\u9519\u8bef")}))});
  }
  EXPECT_EQ(OpenLanguageFile(path, kProgramLanguageId), 1);
  EXPECT_EQ(TranslatedText(100, "Error"), "\u9519\u8bef");
  EXPECT_EQ(TranslatedText(101, "Warning"), "Warning");
  RegisterBuiltinText(100, "Error");
  RegisterBuiltinText(101, "Warning");
  EXPECT_EQ(TranslatedText(100), "\u9519\u8bef");
  EXPECT_EQ(TranslatedText(101), "Warning");
  EXPECT_EQ(TranslatedText(102), "");

  // A later failed opening (the file deleted) leaves nothing loaded.
  std::filesystem::remove(path);
  EXPECT_EQ(OpenLanguageFile(path, kProgramLanguageId), -1);
  EXPECT_EQ(TranslatedText(100, "Error"), "Error");
  EXPECT_EQ(TranslatedText(100), "Error");
  ReleaseLanguageFile();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace imprimo
