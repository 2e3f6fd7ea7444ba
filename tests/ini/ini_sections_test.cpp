#include <gtest/gtest.h>

#include "ini/ini_document.h"

namespace imprimo {
namespace {

IniDocument Doc(std::string_view text) { return IniDocument::FromBytes(text); }

TEST(IniSections, RemoveRenameMoveKeepLookupsRight) {
  IniDocument d = Doc("[A]\nk=1\nx=keep\n[B]\nk=2\n[C]\nk=3\n");
  d.MoveSection(2, 0);  // C A B
  EXPECT_EQ(d.SectionNames(), (std::vector<std::u16string>{u"C", u"A", u"B"}));
  EXPECT_EQ(d.ReadInteger(u"c", u"k", 0), 3);
  d.RenameSection(1, u"Alpha");
  EXPECT_FALSE(d.SectionExists(u"A"));
  EXPECT_EQ(d.ReadString(u"ALPHA", u"x", u""), u"keep");
  d.RemoveSection(0);
  EXPECT_EQ(d.SectionNames(), (std::vector<std::u16string>{u"Alpha", u"B"}));
  EXPECT_EQ(d.ReadInteger(u"B", u"k", 0), 2);
  // Writing after the changes goes to the right section.
  d.WriteInteger(u"B", u"k", 7);
  EXPECT_EQ(d.ReadInteger(u"B", u"k", 0), 7);
  EXPECT_EQ(d.ReadInteger(u"Alpha", u"k", 0), 1);
  EXPECT_THROW(d.RemoveSection(2), std::out_of_range);
  EXPECT_THROW(d.MoveSection(0, 5), std::out_of_range);
}

TEST(IniSections, DuplicatesStayAndTheNewestAnswers) {
  IniDocument d = Doc("[S]\nk=1\n[T]\n[S]\nk=2\n");
  EXPECT_EQ(d.SectionCount(), 3u);
  EXPECT_EQ(d.ReadInteger(u"S", u"k", 0), 2);
  // Moving the older copy behind the newer one makes it the one that answers.
  d.MoveSection(0, 2);
  EXPECT_EQ(d.ReadInteger(u"S", u"k", 0), 1);
  const size_t added = d.AppendSection(u"s");
  EXPECT_EQ(added, 3u);
  EXPECT_EQ(d.SectionCount(), 4u);
  EXPECT_EQ(d.ReadInteger(u"S", u"k", 0), 0);  // the new empty copy answers now
}

TEST(IniSections, EntriesAndKeyExistence) {
  IniDocument d = Doc("[S]\nb=2\nA = 1\nnot a key\nb=3\n");
  auto entries = d.SectionEntries(u"s");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].first, u"A");
  EXPECT_EQ(entries[1].second, u" 1");
  EXPECT_EQ(entries[2].second, u"3");
  EXPECT_TRUE(d.KeyExists(u"S", u"a"));
  EXPECT_FALSE(d.KeyExists(u"S", u"c"));
  EXPECT_FALSE(d.KeyExists(u"none", u"a"));
  EXPECT_TRUE(d.SectionEntries(u"none").empty());
}

}  // namespace
}  // namespace imprimo
