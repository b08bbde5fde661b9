// Error boxes, the settings file and the document's title.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "app/document.h"
#include "app/error_table.h"
#include "app/settings.h"
#include "support/table_text_source.h"

namespace {

// Texts longer than any buffer, to see that the box cuts them.
class LongTexts final : public TextSource {
  bool LoadLanguageString(uint16_t, char16_t* buffer, size_t capacity) override {
    for (size_t n = 0; n < capacity; ++n) buffer[n] = n + 1 < capacity ? u'x' : 0;
    return true;
  }
};

TEST(ErrorBox, TextAndCaptionPerLanguageCutToTheBox) {
  const struct {
    int language;  // 3: texts longer than the box
    uint16_t code;
    std::u16string text, caption;
  } cases[] = {
      {kEnglish, 1025, u"Code 1025:\r\nUnable to open port\r\n", u"Error"},
      {kJapanese, 1028, u"Code 1028:\r\n通信がタイムアウトしました。\r\n", u"エラー"},
      {kEnglish, 65535, u"Code 65535:\r\nUndefined error\r\n", u"Error"},
      {3, 768, u"Code 768:\r\n" + std::u16string(31, u'x') + u"\r\n", u"xxxxxxx"},
  };
  TableTextSource table;
  LongTexts longTexts;
  char16_t text[kErrorTextUnits], caption[kErrorCaptionUnits];
  for (const auto& c : cases) {
    table.language = static_cast<LanguageIndex>(c.language % 3);
    FormatErrorBox(c.language == 3 ? static_cast<TextSource&>(longTexts) : table, c.code, text, caption);
    EXPECT_EQ(std::u16string(text) + u"|" + caption, c.text + u"|" + c.caption);
  }
}

// Reads numbers the way the program's Win32 store does.
struct MapStore final : ProfileStore {
  std::map<std::u16string, std::u16string> values;
  uint32_t ReadInt(const char16_t* key, uint32_t def) override {
    auto it = values.find(key);
    return it == values.end() ? def : ParseProfileUnsigned(it->second.c_str());
  }
  void WriteString(const char16_t*, const char16_t*) override {}
};

TEST(Settings, ReadKeepsTheRules) {
  MapStore store;
  Settings s = ReadSettings(store);
  EXPECT_EQ(std::tie(s.port.Port, s.port.Speed, s.port.DataL, s.port.StopB, s.port.Parity, s.language),
            std::make_tuple(1, 38400u, 8, 0, 0, kJapanese));

  store.values = {{u"Port", u"300"},  {u"Speed", u" +9600x"}, {u"DataL", u"COM3"},
                  {u"StopB", u"-5"}, {u"Parity", u"2"},      {u"Lang", u"7"}};
  s = ReadSettings(store);
  EXPECT_EQ(std::tie(s.port.Port, s.port.Speed, s.port.DataL, s.port.StopB, s.port.Parity, s.language),
            std::make_tuple(44, 9600u, 0, 0, 2, kJapanese))
      << "low byte of 300; text, a sign or a language outside the table read as 0 and Japanese";
  store.values[u"Lang"] = u"2";
  EXPECT_EQ(ReadSettings(store).language, kEnglish);
}

TEST(Title, NewAndFileDocumentsAndLongPaths) {
  TableTextSource texts;
  Document doc{};
  const auto Both = [&] {
    DocumentTitle title{};
    ComposeDocumentTitle(texts, doc, title);
    return std::u16string(title.caption) + u"|" + title.status;
  };
  EXPECT_EQ(Both(), u"Pinvoro[New cable data]|New cable data");
  MarkDocumentChanged(doc);
  EXPECT_EQ(Both(), u"Pinvoro[New cable data *]|New cable data *");

  SetDocumentPath(doc, u"D:\\data\\a.cbl", 8, u"a.cbl");
  doc.state = kFileUnchanged;
  EXPECT_EQ(Both(), u"Pinvoro[D:\\data\\a.cbl]|D:\\data\\a.cbl");
  MarkDocumentChanged(doc);
  SetDocumentPath(doc, u"D:\\a.cbl", 3, u"a.cbl");
  EXPECT_EQ(Both(), u"Pinvoro[D:\\a.cbl *]|D:\\a.cbl *");

  // Long paths are shortened at the front to the 255 units a title holds, keeping the file name.
  const std::u16string dir = u"C:\\" + std::u16string(250, u'd');
  const std::u16string file = std::u16string(200, u'f') + u".cbl";
  SetDocumentPath(doc, (dir + u"\\" + file).c_str(), static_cast<unsigned>(dir.size() + 1), file.c_str());
  const std::u16string tail = u"\\" + file + u" *";
  EXPECT_EQ(Both(), u"Pinvoro[..." + std::u16string(36, u'd') + tail + u"]|..." + std::u16string(45, u'd') + tail);
}

}  // namespace
