#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Text, CopyCutsToCapacityAndKeepsTheTail) {
  char16_t field[6] = {u'1', u'2', u'3', u'4', u'5', u'6'};
  CopyText(field, 6, u"abcdefgh");
  EXPECT_EQ(std::u16string(field), u"abcde");
  CopyText(field, 6, u"xy");
  EXPECT_EQ(std::u16string(field), u"xy");
  EXPECT_EQ(field[3], u'd') << "units after the terminator are left alone";
  EXPECT_EQ(TextLength(field, 2), 2u);
}

TEST(Text, Utf8RoundTripOfJapaneseAndAstralCharacters) {
  const char16_t src[] = u"ケーブル A01 \U0001F50C";
  char utf8[64];
  const size_t n = Utf16ToUtf8(src, std::char_traits<char16_t>::length(src), utf8, sizeof utf8);
  ASSERT_NE(n, SIZE_MAX);
  EXPECT_EQ(std::string(utf8, n), "ケーブル A01 \xF0\x9F\x94\x8C");
  char16_t back[32];
  ASSERT_NE(Utf8ToUtf16(utf8, n, back, 32), SIZE_MAX);
  EXPECT_EQ(std::u16string(back), src);
}

TEST(Text, BadInputIsRefusedNotGuessed) {
  char16_t out[8];
  for (const char* bad : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xFF", "abc\x80"}) {
    EXPECT_EQ(Utf8ToUtf16(bad, std::char_traits<char>::length(bad), out, 8), SIZE_MAX) << bad;
    EXPECT_EQ(out[0], 0);
  }
  EXPECT_EQ(Utf8ToUtf16("123456789", 9, out, 8), SIZE_MAX) << "does not fit";

  const char16_t lone[] = {0xD800, u'a'};
  char utf8[16];
  ASSERT_EQ(Utf16ToUtf8(lone, 2, utf8, sizeof utf8), 4u);
  EXPECT_EQ(std::string(utf8), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Utf16ToUtf8(u"abcd", 4, utf8, 4), SIZE_MAX);
}

}  // namespace
