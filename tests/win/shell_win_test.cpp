// Texts, templates and the settings file through the real Win32 calls and the
// program's own resources.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/localization_win.h"
#include "shell/settings_win.h"

namespace {

std::u16string Load(LanguageIndex lang, uint16_t id, size_t capacity, bool* ok = nullptr) {
  ResourceTexts texts(lang);
  char16_t buffer[512];
  buffer[0] = u'?';
  buffer[1] = 0;
  const bool found = texts.LoadLanguageString(id, buffer, capacity);
  if (ok) *ok = found;
  return buffer;
}

// The lookup as the program's windows use it: UTF-8 resources come out as
// the language's text, untouched by any formatting.
TEST(Resources, TextsComeOutInTheirLanguage) {
  EXPECT_EQ(Load(kJapanese, 40021, 8), u"エラー");
  EXPECT_EQ(Load(kChinese, 40067, 16), u"通讯错误。");
  EXPECT_EQ(Load(kEnglish, 40043, 64), u"All%2upins found correct\r\n") << "never formatted by the lookup";
}

TEST(Resources, LookupCutsAndMisses) {
  EXPECT_EQ(Load(kEnglish, 40014, 8), u"Unable ");
  EXPECT_EQ(Load(kChinese, 40014, 1), u"");
  bool ok = false;
  EXPECT_EQ(Load(kEnglish, 40070, 32, &ok), u"") << "an empty entry of an existing block";
  EXPECT_TRUE(ok);
  EXPECT_EQ(Load(kEnglish, 40100, 32, &ok), u"?") << "a missing block leaves the buffer alone";
  EXPECT_FALSE(ok);
}

TEST(Resources, MenuAndPanelExistInEveryLanguage) {
  const wchar_t* fileMenu[kLanguageCount] = {L"ファイル(&F)", L"文件(&F)", L"File(&F)"};
  for (int lang = 0; lang < kLanguageCount; ++lang) {
    const auto language = static_cast<LanguageIndex>(lang);
    const DLGTEMPLATE* panel = FindLanguageDialog(language, 107);
    ASSERT_NE(panel, nullptr) << lang;
    const MENUTEMPLATEW* tmpl = FindLanguageMenu(language, 101);
    ASSERT_NE(tmpl, nullptr) << lang;
    HMENU menu = LoadMenuIndirectW(tmpl);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 4);
    wchar_t text[64];
    GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, fileMenu[lang]);
    GetMenuStringW(menu, 40012, text, 64, MF_BYCOMMAND);
    EXPECT_GT(wcslen(text), 0u);
    DestroyMenu(menu);
  }
  EXPECT_EQ(FindLanguageDialog(kEnglish, 199), nullptr);
}

// The dialog template of the panel: 564 x 304 units, the language's font.
TEST(Resources, PanelTemplateSizeAndFont) {
  const wchar_t* faces[kLanguageCount] = {L"Yu Gothic UI", L"Microsoft YaHei", L"Segoe UI"};
  for (int lang = 0; lang < kLanguageCount; ++lang) {
    const auto* t = reinterpret_cast<const DLGTEMPLATE*>(FindLanguageDialog(static_cast<LanguageIndex>(lang), 107));
    ASSERT_NE(t, nullptr);
    // DIALOGEX: dlgVer 1, signature 0xFFFF, then helpID, exStyle, style, cDlgItems, x, y, cx, cy.
    const auto* w = reinterpret_cast<const WORD*>(t);
    ASSERT_EQ(w[0], 1);
    ASSERT_EQ(w[1], 0xFFFF);
    const WORD* p = w + 2 + 2 + 2 + 2;  // helpID, exStyle, style
    p += 1;                             // cDlgItems
    EXPECT_EQ(p[2], 564);
    EXPECT_EQ(p[3], 304);
    p += 4;
    // Menu, class and title: each 0, 0xFFFF + ordinal, or a string.
    for (int i = 0; i < 3; ++i) {
      if (*p == 0) ++p;
      else if (*p == 0xFFFF) p += 2;
      else p += wcslen(reinterpret_cast<const wchar_t*>(p)) + 1;
    }
    p += 3;  // point size, weight, italic + charset
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(p), faces[lang]);
  }
}

class SettingsFileTest : public ::testing::Test {
 protected:
  wchar_t oldDir[MAX_PATH];
  std::wstring dir;
  void SetUp() override {
    GetCurrentDirectoryW(MAX_PATH, oldDir);
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    dir = std::wstring(tmp) + L"pinvoro-ini-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    SetCurrentDirectoryW(dir.c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryW(oldDir);
    DeleteFileW((dir + L"\\pinvoro.ini").c_str());
    RemoveDirectoryW(dir.c_str());
  }
  std::string FileText() {
    std::ifstream in(std::wstring(dir + L"\\pinvoro.ini").c_str(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str();
    std::string out;
    for (char c : s)
      if (c != '\r') out += c;
    return out;
  }
};

TEST_F(SettingsFileTest, DefaultsThenExactlyTheSixKeys) {
  PrivateProfile profile;
  EXPECT_EQ(std::wstring(profile.Path()), dir + L"\\pinvoro.ini");
  Settings s = ReadSettings(profile);
  EXPECT_EQ(s.port.Port, 1);
  EXPECT_EQ(s.port.Speed, 38400u);
  EXPECT_EQ(s.language, kJapanese);
  WriteSettings(profile, s);
  EXPECT_EQ(FileText(), "[RS232C]\nPort=1\nSpeed=38400\nDataL=8\nStopB=0\nParity=0\nLang=0\n");
}

TEST_F(SettingsFileTest, StoredValuesAndForeignKeys) {
  {
    std::ofstream out(std::wstring(dir + L"\\pinvoro.ini").c_str());
    out << "[Other]\nKeep=yes\n[RS232C]\nPort=300\nSpeed=9600\nLang=9\nParity=-1\nExtra=1\n";
  }
  PrivateProfile profile;
  Settings s = ReadSettings(profile);
  EXPECT_EQ(s.port.Port, 44);
  EXPECT_EQ(s.port.Speed, 9600u);
  EXPECT_EQ(s.port.Parity, 0) << "negative reads as 0";
  EXPECT_EQ(s.language, kJapanese);
  s.language = kEnglish;
  WriteSettings(profile, s);
  const std::string text = FileText();
  EXPECT_NE(text.find("Keep=yes"), std::string::npos);
  EXPECT_NE(text.find("Extra=1"), std::string::npos);
  EXPECT_NE(text.find("Port=44"), std::string::npos);
  EXPECT_NE(text.find("Lang=2"), std::string::npos);
  EXPECT_EQ(ReadSettings(profile).language, kEnglish);
}

}  // namespace
