#include "platform/date_format.h"

#include <gtest/gtest.h>

#include "platform/locale_data.h"

namespace imprimo {
namespace {

// Restores the process-wide separators after each test.
class DateFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDateSeparator("/");
    SetTimeSeparator(":");
  }
  void TearDown() override {
    SetDateSeparator("/");
    SetTimeSeparator(":");
  }
  // Wednesday 9 March 2005, 14:05:07.089
  TDateTime t_{2005, 3, 9, 14, 5, 7, 89};
  TLocaleData c_ = CLocaleData();
  std::string F(std::string_view p) { return FormatDateTime(p, t_, c_); }
};

TEST_F(DateFormatTest, DayMonthYearTokens) {
  EXPECT_EQ(F("d|dd|ddd|dddd"), "9|09|Wed|Wednesday");
  EXPECT_EQ(F("ddddd"), "3/9/2005");
  EXPECT_EQ(F("dddddd"), "Wednesday, March 9, 2005");
  EXPECT_EQ(F("ddddddd"), "Wednesday, March 9, 2005");
  EXPECT_EQ(F("m|mm|mmm|mmmm|mmmmm"), "3|03|Mar|March|March");
  EXPECT_EQ(F("y|yy|yyy|yyyy"), "05|05|2005|2005");
  EXPECT_EQ(F("YYYY-MM-DD"), "2005-03-09");
  EXPECT_EQ(F("aaa aaaa"), "Wed Wednesday");
}

TEST_F(DateFormatTest, TimeTokens) {
  EXPECT_EQ(F("h|hh|n|nn|s|ss"), "14|14|5|05|7|07");
  EXPECT_EQ(F("z|zz|zzz|zzzz"), "89|89|089|089");
  EXPECT_EQ(F("t|tt"), "14:05|14:05:07");
  EXPECT_EQ(F("yyyy-mm-dd hh:nn:ss"), "2005-03-09 14:05:07");
  // An m run right after an h gives minutes; after another letter, the month.
  EXPECT_EQ(F("hh:mm"), "14:05");
  EXPECT_EQ(F("h mm"), "14 05");
  EXPECT_EQ(F("hh dd mm"), "14 09 03");
}

TEST_F(DateFormatTest, TwelveHourClock) {
  EXPECT_EQ(F("h:nn am/pm"), "2:05 pm");
  EXPECT_EQ(F("hh:nn AM/PM"), "02:05 PM");
  EXPECT_EQ(F("h a/p"), "2 p");
  EXPECT_EQ(F("h ampm"), "2 PM");
  EXPECT_EQ(F("h:nn Am/pM"), "2:05 pM");
  // The marker counts only before the next h.
  EXPECT_EQ(F("h h am/pm"), "14 2 pm");
  TDateTime midnight{2005, 3, 9, 0, 30, 0, 0};
  EXPECT_EQ(FormatDateTime("h:nn am/pm", midnight, c_), "12:30 am");
  TDateTime noon{2005, 3, 9, 12, 0, 0, 0};
  EXPECT_EQ(FormatDateTime("h a/p", noon, c_), "12 p");
}

TEST_F(DateFormatTest, CombinedAndLiteralTokens) {
  EXPECT_EQ(F("c"), "3/9/2005 14:05:07");
  TDateTime midnight{2005, 3, 9, 0, 0, 0, 500};
  EXPECT_EQ(FormatDateTime("c", midnight, c_), "3/9/2005");
  EXPECT_EQ(F("e|ee|g|gggg"), "2005|2005|AD|Anno Domini");
  EXPECT_EQ(F("\"dd\" 'mm' x-1 #"), "dd mm x-1 #");
  EXPECT_EQ(F("b q"), "b q");  // letters without a meaning are copied
  EXPECT_EQ(F("a aa"), "a aa");
  EXPECT_EQ(F("\"unterminated"), "unterminated");
  EXPECT_EQ(F(""), "");
}

TEST_F(DateFormatTest, SeparatorsAreProcessWide) {
  EXPECT_EQ(F("dd/mm/yyyy hh:nn"), "09/03/2005 14:05");
  SetDateSeparator("-");
  SetTimeSeparator(".");
  EXPECT_EQ(DateSeparator(), "-");
  EXPECT_EQ(TimeSeparator(), ".");
  // The locale formats use the current separators too.
  EXPECT_EQ(F("ddddd"), "3-9-2005");
  EXPECT_EQ(F("c"), "3-9-2005 14.05.07");
  EXPECT_EQ(F("dd/mm hh:nn"), "09-03 14.05");
  EXPECT_EQ(FormatDateTime("c", t_), DateTimeToText(t_));
}

TEST_F(DateFormatTest, OutOfRangeFieldsDoNotCrash) {
  TDateTime bad{-5, 13, 40, 99, 99, 99, 12345};
  std::string out = FormatDateTime("c dddd mmm mmmm yy yyyy e g zzz", bad, c_);
  EXPECT_FALSE(out.empty());
  TDateTime zero;  // 30 December 1899 was a Saturday
  EXPECT_EQ(FormatDateTime("dddd yyyy-mm-dd", zero, c_), "Saturday 1899-12-30");
}

TEST(LocaleDataTest, IcuPatternsMapOntoTokens) {
  EXPECT_EQ(ConvertIcuPattern(u"M/d/yy", u'/', 0, true), "m/d/yyyy");
  EXPECT_EQ(ConvertIcuPattern(u"dd.MM.yy", u'.', 0, false), "dd/mm/yy");
  EXPECT_EQ(ConvertIcuPattern(u"EEEE, MMMM d, y", u'/', 0, false), "dddd, mmmm d, yyyy");
  EXPECT_EQ(ConvertIcuPattern(u"h:mm:ss a", 0, u':', false), "h:nn:ss ampm");
  EXPECT_EQ(ConvertIcuPattern(u"HH:mm:ss z", 0, u':', false), "hh:nn:ss");
  EXPECT_EQ(ConvertIcuPattern(u"h:mm\u202Fa", 0, u':', false), "h:nn ampm");
  EXPECT_EQ(ConvertIcuPattern(u"H.mm", 0, u'.', false), "h:nn");
  EXPECT_EQ(ConvertIcuPattern(u"y/MM/dd", u'-', 0, false), "yyyy\"/\"mm\"/\"dd");
  EXPECT_EQ(ConvertIcuPattern(u"d 'de' MMMM 'de' y", u'/', 0, false), "d\" de \"mmmm\" de \"yyyy");
  EXPECT_EQ(ConvertIcuPattern(u"H 'h' mm", 0, u':', false), "h\" h \"nn");
  EXPECT_EQ(ConvertIcuPattern(u"hh 'o''clock'", 0, u':', false), "hh\" o'clock\"");
}

TEST(LocaleDataTest, LoadedLocalesFormatSensibly) {
  TLocaleData c = LoadLocaleData("POSIX");
  EXPECT_EQ(c.shortDateFormat, "m/d/yyyy");
  TLocaleData de = LoadLocaleData("de_DE");
  EXPECT_EQ(de.dateSeparator, ".");
  EXPECT_EQ(de.longMonthNames[2], "M\xC3\xA4rz");
  TDateTime t{2005, 3, 9, 14, 5, 7, 0};
  EXPECT_EQ(FormatDateTime("mmmm dddd", t, de), "M\xC3\xA4rz Mittwoch");
  TLocaleData us = LoadLocaleData("en_US");
  EXPECT_EQ(us.timePMString, "PM");
  EXPECT_NE(us.shortTimeFormat.find("ampm"), std::string::npos);
}

TEST(LocaleDataTest, LocaleNameFromEnvironment) {
  // The test runner sets LC_ALL=C.
  const char* all = std::getenv("LC_ALL");
  if (!all || std::string(all) != "C") GTEST_SKIP() << "needs LC_ALL=C";
  EXPECT_EQ(UserLocaleName(), "C");
  EXPECT_EQ(CurrentLocaleData().shortDateFormat, "m/d/yyyy");
}

}  // namespace
}  // namespace imprimo
