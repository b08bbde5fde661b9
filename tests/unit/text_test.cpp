// Fixed-capacity text, UTF-8 conversion and formatting.
#include "common/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "common/format_text.h"

namespace {

TEST(Text, CopyCutsToCapacityAndKeepsTheTail) {
  char16_t field[6] = {u'1', u'2', u'3', u'4', u'5', u'6'};
  CopyText(field, 6, u"abcdefgh");
  EXPECT_EQ(std::u16string(field), u"abcde");
  CopyText(field, 6, u"xy");
  CopyText(field, 0, u"z");  // no room: nothing written, not even a terminator
  EXPECT_EQ(std::u16string(field), u"xy");
  EXPECT_EQ(field[3], u'd') << "units after the terminator are left alone";
  EXPECT_EQ(TextLength(field, 2), 2u);
}

TEST(Text, Utf8BothWaysAndBadInputRefused) {
  const char16_t src[] = u"ケーブル A01 \U0001F50C\U0010FFFF\u00e9\x7f";
  const std::string utf8 = "ケーブル A01 \xF0\x9F\x94\x8C\xF4\x8F\xBF\xBF\xC3\xA9\x7F";
  char out8[64];
  ASSERT_EQ(Utf16ToUtf8(src, std::u16string(src).size(), out8, sizeof out8), utf8.size());
  EXPECT_EQ(std::string(out8), utf8);
  char16_t back[32];
  ASSERT_EQ(Utf8ToUtf16(utf8.data(), utf8.size(), back, 32), std::u16string(src).size());
  EXPECT_EQ(std::u16string(back), src);

  // Cut, overlong, a surrogate, no lead byte, a stray continuation, above U+10FFFF, too long.
  for (std::string bad : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xFF", "abc\x80", "\xF4\x90\x80\x80", "1234567x"}) {
    EXPECT_EQ(Utf8ToUtf16(bad.data(), bad.size(), back, 8), SIZE_MAX) << bad;
    EXPECT_EQ(back[0], 0) << bad;
  }
  const char16_t lone[] = {0xD800, u'a'};
  ASSERT_EQ(Utf16ToUtf8(lone, 2, out8, sizeof out8), 4u);
  EXPECT_EQ(std::string(out8), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Utf16ToUtf8(u"abcd", 4, out8, 4), SIZE_MAX);
}

// Formats come from translations: a wrong or missing argument must never be
// read as something it is not.
TEST(FormatText, ConversionsFlagsAndMismatchedArguments) {
  const char16_t name[12] = u"A03";
  const struct {
    const char16_t* format;
    std::vector<FormatArg> args;
    std::u16string want;
  } cases[] = {
      {u"%s - %s Connection error\r\n", {name, u"B07"}, u"A03 - B07 Connection error\r\n"},
      {u"All%2upins", {5u}, u"All 5pins"},
      {u"%s%c*.cbl%c", {u"Cable data", u'|', u'|'}, u"Cable data|*.cbl|"},
      {u"[%-4d|%04d|%4s|%-4s]", {-7, -7, u"ab", u"ab"}, u"[-7  |-007|  ab|ab  ]"},
      {u"%d %u %i", {INT32_MIN, 4294967295u, INT64_MIN}, u"-2147483648 4294967295 -9223372036854775808"},
      {u"%u", {-1}, u"4294967295"},
      {u"%ld %lu %hu %lls", {1L, 2UL, 3u, u"x"}, u"1 2 3 x"},
      {u"100%% %q %", {}, u"100% %q %"},
      {u"%d-%s", {u"text", 42}, u"text-42"},
      {u"<%s><%d>", {u"only"}, u"<only><>"},
      {u"%c%c[%c]", {u"xyz", 65, u""}, u"xA[]"},
      {u"[%s]", {static_cast<const char16_t*>(nullptr)}, u"[]"},
  };
  for (const auto& c : cases) {
    std::vector<FormatArg> args = c.args;
    args.emplace_back();
    char16_t out[64];
    FormatTextArgs(out, 64, c.format, args.data(), c.args.size());
    EXPECT_EQ(std::u16string(out), c.want);
  }
}

TEST(FormatText, CutToCapacityAndAlwaysTerminated) {
  char16_t out[8];
  EXPECT_EQ(FormatText(out, 8, u"%s - %s", u"A03", u"B07"), 7u);
  EXPECT_EQ(std::u16string(out), u"A03 - B");
  EXPECT_EQ(FormatText(out, 1, u"abc"), 0u);
  EXPECT_EQ(out[0], 0);
  out[0] = u'#';
  EXPECT_EQ(FormatText(out, 0, u"abc"), 0u);
  EXPECT_EQ(out[0], u'#') << "no room, nothing written";
  EXPECT_EQ(FormatText(out, 8, u"%999999999999d", 1), 7u) << "a huge width is cut like any text";
}

}  // namespace
