// The program's own resources through the real Win32 lookups: every text,
// dialog and the menu in every language, as windres compiled them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/localization_win.h"

namespace {

struct Entry {
  uint16_t id;
  const char16_t* text[kLanguageCount];  // Japanese, Chinese, English
};
#define S(id, en, ja, zh) {id, {u"" ja, u"" zh, u"" en}},
constexpr Entry kStrings[] = {
#include "strings.def"
};
#undef S

std::u16string Load(LanguageIndex language, uint16_t id, size_t capacity, bool* found = nullptr) {
  ResourceTexts texts(language);
  char16_t buffer[512] = u"?";
  const bool ok = texts.LoadLanguageString(id, buffer, capacity);
  if (found != nullptr) *found = ok;
  return buffer;
}

// The face of a DIALOGEX template: after its fixed header, the menu, class and
// title (each 0, 0xFFFF and an ordinal, or a string), the point size, weight,
// italic and charset.
std::wstring FontFace(const DLGTEMPLATE* t) {
  const auto* p = reinterpret_cast<const WORD*>(t) + 13;
  for (int i = 0; i < 3; ++i) p += *p == 0 ? 1 : *p == 0xFFFF ? 2 : wcslen(reinterpret_cast<const wchar_t*>(p)) + 1;
  return reinterpret_cast<const wchar_t*>(p + 3);
}

TEST(Resources, EveryTextInEveryLanguageUntouched) {
  for (int l = 0; l < kLanguageCount; ++l) {
    for (const Entry& e : kStrings) {
      bool found = false;
      EXPECT_EQ(Load(static_cast<LanguageIndex>(l), e.id, 512, &found), e.text[l]) << e.id << " in " << l;
      EXPECT_TRUE(found) << e.id;
    }
  }
  // Cut to the buffer, terminated; an id of no block leaves the buffer alone.
  EXPECT_EQ(Load(kEnglish, 40014, 8), u"Unable ");
  EXPECT_EQ(Load(kChinese, 40014, 1), u"");
  bool found = true;
  EXPECT_EQ(Load(kEnglish, 40300, 32, &found), u"?");
  EXPECT_FALSE(found);
}

TEST(Resources, EveryDialogAndTheMenuInEveryLanguageWithItsFont) {
  // Dialogs and the panel (107) have a face of their own per language.
  const wchar_t* const faces[kLanguageCount][2] = {
      {L"Yu Gothic UI", L"Yu Gothic UI"}, {L"Microsoft YaHei UI", L"Microsoft YaHei"}, {L"Segoe UI", L"Segoe UI"}};
  const wchar_t* const fileMenu[kLanguageCount] = {L"ファイル(&F)", L"文件(&F)", L"File(&F)"};
  for (int l = 0; l < kLanguageCount; ++l) {
    const auto language = static_cast<LanguageIndex>(l);
    for (WORD id = 102; id <= 110; ++id) {
      const DLGTEMPLATE* t = FindLanguageDialog(language, id);
      ASSERT_NE(t, nullptr) << id << " in " << l;
      EXPECT_EQ(FontFace(t), faces[l][id == 107]) << id << " in " << l;
    }
    HMENU menu = LoadMenuIndirectW(FindLanguageMenu(language, 101));
    ASSERT_NE(menu, nullptr) << l;
    wchar_t text[64] = L"";
    GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, fileMenu[l]);
    EXPECT_EQ(GetMenuItemCount(menu), 4);
    DestroyMenu(menu);
  }
  EXPECT_EQ(FindLanguageDialog(kEnglish, 111), nullptr);
}

}  // namespace
