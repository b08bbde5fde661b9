#include "common/format_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Format(const char16_t* format, const auto&... args) {
  char16_t out[64];
  FormatText(out, 64, format, args...);
  return out;
}

TEST(FormatText, TheFormatsOfTheStringTable) {
  const char16_t name[12] = u"A03";
  EXPECT_EQ(Format(u"%s - %s Connection error\r\n", name, u"B07"), u"A03 - B07 Connection error\r\n");
  EXPECT_EQ(Format(u"All%2upins found correct\r\n", 5u), u"All 5pins found correct\r\n");
  EXPECT_EQ(Format(u"All%2upins found correct\r\n", 50u), u"All50pins found correct\r\n");
  EXPECT_EQ(Format(u"全%2uピンを検査し正常です\r\n", 123u), u"全123ピンを検査し正常です\r\n") << "a width is a minimum";
  EXPECT_EQ(Format(u"%d.%s", 10, u"Harness"), u"10.Harness");
  EXPECT_EQ(Format(u"%s%c*.cbl%c", u"Cable data", u'|', u'|'), u"Cable data|*.cbl|");
}

TEST(FormatText, FlagsWidthsAndSigns) {
  EXPECT_EQ(Format(u"[%-4d|%04d|%4s|%-4s]", -7, -7, u"ab", u"ab"), u"[-7  |-007|  ab|ab  ]");
  EXPECT_EQ(Format(u"%d %u %i", INT32_MIN, 4294967295u, INT64_MIN), u"-2147483648 4294967295 -9223372036854775808");
  EXPECT_EQ(Format(u"%u", -1), u"4294967295") << "as printf prints an int";
  EXPECT_EQ(Format(u"%ld %lu %hu %lls", 1L, 2UL, 3u, u"x"), u"1 2 3 x");
  EXPECT_EQ(Format(u"100%% %q %"), u"100% %q %");
}

// Formats come from translations: a wrong or missing argument must never be
// read as something it is not.
TEST(FormatText, MismatchedArgumentsPrintWhatTheyAre) {
  EXPECT_EQ(Format(u"%d-%s", u"text", 42), u"text-42");
  EXPECT_EQ(Format(u"<%s><%d>", u"only"), u"<only><>");
  EXPECT_EQ(Format(u"%c%c", u"xyz", 65), u"xA");
  const char16_t* none = nullptr;
  EXPECT_EQ(Format(u"[%s]", none), u"[]");
}

TEST(FormatText, CutToCapacityAndAlwaysTerminated) {
  char16_t out[8];
  for (char16_t& c : out) c = u'#';
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
