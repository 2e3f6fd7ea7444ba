#include "platform/text.h"

#include <gtest/gtest.h>

namespace imprimo {
namespace {

TEST(TextTest, Utf8RoundTripAndMalformedInput) {
  std::string s = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // A, e-acute, CJK, emoji
  std::u16string w = Utf8ToUtf16(s);
  ASSERT_EQ(w.size(), 5u);
  EXPECT_EQ(w[1], 0x00E9);
  EXPECT_EQ(w[2], 0x4E2D);
  EXPECT_EQ(Utf16ToUtf8(w), s);

  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");  // truncated sequence
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf8ToUtf16(""), u"");
  EXPECT_EQ(Utf16ToUtf8(u""), "");
}

TEST(TextTest, ValidUtf8Check) {
  EXPECT_TRUE(IsValidUtf8("plain ascii"));
  EXPECT_TRUE(IsValidUtf8("\xC3\xA9"));
  EXPECT_FALSE(IsValidUtf8("\xE9"));              // Latin-1 e-acute
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(TextTest, CodePages) {
  EXPECT_EQ(CodePageToWide("", 437), u"");
  // 0x81 is u-diaeresis, 0xB0 a light shade block, 0xE1 sharp s in code page 437.
  EXPECT_EQ(CodePageToWide("\x81\xB0\xE1z", 437), u"\u00FC\u2591\u00DFz");
  EXPECT_EQ(CodePageToWide("\x80\xE9", 1252), u"\u20AC\u00E9");
  EXPECT_EQ(CodePageToWide("\xC3\xA9", 0), u"\u00E9");
}

TEST(TextTest, CaseMappingAndComparison) {
  EXPECT_EQ(UpperCase(u"abc\u00E9\u0444"), u"ABC\u00C9\u0424");
  EXPECT_EQ(LowerCase(u"ABC\u00C9\u0424"), u"abc\u00E9\u0444");
  EXPECT_EQ(UpperCaseUtf8("stra\xC3\x9F"
                          "e"),
            "STRASSE");
  EXPECT_EQ(LowerCaseUtf8("IMG_0001.JPG"), "img_0001.jpg");
  EXPECT_TRUE(SameText(u"Setup", u"SETUP"));
  EXPECT_TRUE(SameText(u"\u00E9t\u00E9", u"\u00C9T\u00C9"));
  EXPECT_FALSE(SameText(u"abc", u"abd"));
  EXPECT_LT(CompareTextIgnoreCase(u"apple", u"BANANA"), 0);
  EXPECT_GT(CompareTextIgnoreCase(u"b", u"A"), 0);
  EXPECT_TRUE(SameTextUtf8("*.JPG", "*.jpg"));
  EXPECT_TRUE(SameTextUtf8("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"));
  EXPECT_FALSE(SameTextUtf8("ab", "abc"));
}

}  // namespace
}  // namespace imprimo
