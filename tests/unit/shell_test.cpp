#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/document.h"
#include "app/error_table.h"
#include "app/settings.h"
#include "support/table_text_source.h"

namespace {

TEST(ErrorBox, TextAndCaptionPerLanguage) {
  TableTextSource texts;
  char16_t text[kErrorTextUnits], caption[kErrorCaptionUnits];

  texts.language = kEnglish;
  FormatErrorBox(texts, 1025, text, caption);
  EXPECT_EQ(std::u16string(text), u"Code 1025:\r\nUnable to open port\r\n");
  EXPECT_EQ(std::u16string(caption), u"Error");

  texts.language = kJapanese;
  FormatErrorBox(texts, 1028, text, caption);
  EXPECT_EQ(std::u16string(text), u"Code 1028:\r\n通信がタイムアウトしました。\r\n");
  EXPECT_EQ(std::u16string(caption), u"エラー");

  texts.language = kEnglish;
  FormatErrorBox(texts, 1234, text, caption);
  EXPECT_EQ(std::u16string(text), u"Code 1234:\r\nUndefined error\r\n");
  FormatErrorBox(texts, 65535, text, caption);
  EXPECT_EQ(std::u16string(text), u"Code 65535:\r\nUndefined error\r\n") << "code shown unsigned";
}

// A source whose texts are longer than the box's buffers.
class LongTexts final : public TextSource {
 public:
  bool LoadLanguageString(uint16_t, char16_t* buffer, size_t capacity) override {
    const std::u16string s(100, u'x');
    size_t n = 0;
    for (; n + 1 < capacity && n < s.size(); ++n) buffer[n] = s[n];
    buffer[n] = 0;
    return true;
  }
};

TEST(ErrorBox, LongTextsAreCut) {
  LongTexts texts;
  char16_t text[kErrorTextUnits], caption[kErrorCaptionUnits];
  FormatErrorBox(texts, 768, text, caption);
  EXPECT_EQ(std::u16string(text), u"Code 768:\r\n" + std::u16string(31, u'x') + u"\r\n");
  EXPECT_EQ(std::u16string(caption), std::u16string(7, u'x'));
}

class MapStore final : public ProfileStore {
 public:
  std::map<std::u16string, std::u16string> values;
  uint32_t ReadInt(const char16_t* key, uint32_t def) override {
    auto it = values.find(key);
    if (it == values.end()) return def;
    uint32_t v = 0;
    for (char16_t c : it->second) {
      if (c < u'0' || c > u'9') break;
      v = v * 10 + static_cast<uint32_t>(c - u'0');
    }
    return v;
  }
  void WriteString(const char16_t* key, const char16_t* value) override { values[key] = value; }
};

TEST(Settings, DefaultsAndRules) {
  MapStore store;
  Settings s = ReadSettings(store);
  EXPECT_EQ(s.port.Port, 1);
  EXPECT_EQ(s.port.Speed, 38400u);
  EXPECT_EQ(s.port.DataL, 8);
  EXPECT_EQ(s.port.StopB, 0);
  EXPECT_EQ(s.port.Parity, 0);
  EXPECT_EQ(s.language, kJapanese);

  store.values = {{u"Port", u"300"}, {u"Speed", u"9600"}, {u"Lang", u"7"}, {u"Parity", u"2"}};
  s = ReadSettings(store);
  EXPECT_EQ(s.port.Port, 44) << "low byte of 300";
  EXPECT_EQ(s.port.Speed, 9600u);
  EXPECT_EQ(s.port.Parity, 2);
  EXPECT_EQ(s.language, kJapanese) << "a language outside the table reads as Japanese";
  store.values[u"Lang"] = u"2";
  EXPECT_EQ(ReadSettings(store).language, kEnglish);
}

TEST(Settings, WriteGivesExactlyTheSixKeys) {
  MapStore store;
  store.values[u"Other"] = u"kept";
  Settings s = kDefaultSettings;
  s.port.Speed = 4294967295u;
  s.language = kChinese;
  WriteSettings(store, s);
  const std::map<std::u16string, std::u16string> want = {
      {u"Port", u"1"},   {u"Speed", u"4294967295"}, {u"DataL", u"8"}, {u"StopB", u"0"},
      {u"Parity", u"0"}, {u"Lang", u"1"},           {u"Other", u"kept"}};
  EXPECT_EQ(store.values, want);
  EXPECT_EQ(ReadSettings(store).port.Speed, 4294967295u);
}

struct TitleCase : ::testing::Test {
  TableTextSource texts;
  Document doc{};
  DocumentTitle title{};
  std::u16string Caption() {
    ComposeDocumentTitle(texts, doc, title);
    return title.caption;
  }
  std::u16string Status() {
    ComposeDocumentTitle(texts, doc, title);
    return title.status;
  }
};

TEST_F(TitleCase, NewDocumentInEachLanguage) {
  EXPECT_EQ(Caption(), u"Pinvoro[New cable data]");
  EXPECT_EQ(Status(), u"New cable data");
  MarkDocumentChanged(doc);
  MarkDocumentChanged(doc);
  EXPECT_EQ(doc.state, kNewChanged);
  EXPECT_EQ(Caption(), u"Pinvoro[New cable data *]");
  texts.language = kJapanese;
  EXPECT_EQ(Status(), u"新規ケーブルデータ *");
  texts.language = kChinese;
  EXPECT_EQ(Caption(), u"Pinvoro[新建电缆数据 *]");
}

TEST_F(TitleCase, FileDocument) {
  SetDocumentPath(doc, u"D:\\data\\a.cbl", 8, u"a.cbl");
  EXPECT_EQ(std::u16string(doc.DocumentDirectory), u"D:\\data\\");
  doc.state = kFileUnchanged;
  EXPECT_EQ(Caption(), u"Pinvoro[D:\\data\\a.cbl]");
  EXPECT_EQ(Status(), u"D:\\data\\a.cbl");
  MarkDocumentChanged(doc);
  EXPECT_EQ(doc.state, kFileChanged);
  EXPECT_EQ(Caption(), u"Pinvoro[D:\\data\\a.cbl *]");
  EXPECT_EQ(Status(), u"D:\\data\\a.cbl *");

  SetDocumentPath(doc, u"D:\\a.cbl", 3, u"a.cbl");
  EXPECT_EQ(std::u16string(doc.DocumentDirectory), u"D:\\");
  EXPECT_EQ(Status(), u"D:\\a.cbl *");
}

TEST_F(TitleCase, LongPathsAreShortenedNeverOverflowed) {
  const std::u16string dir = u"C:\\" + std::u16string(250, u'd');
  const std::u16string file = std::u16string(200, u'f') + u".cbl";
  const std::u16string full = dir + u"\\" + file;
  SetDocumentPath(doc, full.c_str(), static_cast<unsigned>(dir.size() + 1), file.c_str());
  doc.state = kFileChanged;
  const std::u16string caption = Caption();
  const std::u16string status = Status();
  EXPECT_EQ(caption.size(), 255u);
  EXPECT_EQ(status.size(), 255u);
  EXPECT_EQ(caption.substr(0, 11), u"Pinvoro[...");
  EXPECT_EQ(caption.substr(caption.size() - 7), u".cbl *]");
  EXPECT_EQ(status.substr(status.size() - 6), u".cbl *");
  EXPECT_NE(status.find(file), std::u16string::npos) << "the whole file name survives when it fits";
}

}  // namespace

namespace {

TEST(Settings, ProfileNumbers) {
  EXPECT_EQ(ParseProfileUnsigned(u"300"), 300u);
  EXPECT_EQ(ParseProfileUnsigned(u" 12abc"), 12u);
  EXPECT_EQ(ParseProfileUnsigned(u"-5"), 0u) << "negative reads as 0";
  EXPECT_EQ(ParseProfileUnsigned(u"COM3"), 0u);
  EXPECT_EQ(ParseProfileUnsigned(u""), 0u);
}

}  // namespace
