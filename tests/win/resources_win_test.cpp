// The program's own resources through the real Win32 lookups: every text,
// dialog and the menu in every language, as windres compiled them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

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

// Every text of a button or label fits its control in the dialog's own font,
// in every language: a translation that is cut off or wraps shows here.
TEST(Resources, EveryTextFitsItsControl) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
  ASSERT_TRUE(InitCommonControlsEx(&icc));
  HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr) << "no display";
  for (int l = 0; l < kLanguageCount; ++l) {
    for (WORD id = 102; id <= 110; ++id) {
      HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                               FindLanguageDialog(static_cast<LanguageIndex>(l), id), parent,
                                               [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
      ASSERT_NE(dialog, nullptr) << id << " in " << l;
      HDC dc = GetDC(dialog);
      const HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
      INT digit = 0;
      GetCharWidth32W(dc, L'0', L'0', &digit);
      for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t type[16] = L"", text[256] = L"";
        GetClassNameW(c, type, 16);
        GetWindowTextW(c, text, 256);
        const bool button = lstrcmpiW(type, L"Button") == 0, label = lstrcmpiW(type, L"Static") == 0;
        const LONG style = GetWindowLongW(c, GWL_STYLE), kind = style & (button ? BS_TYPEMASK : SS_TYPEMASK);
        RECT box{};
        // Buttons and text labels only: edit fields scroll, pictures have no text.
        if (((!button || kind == BS_OWNERDRAW) &&
             (!label || (kind > SS_RIGHT && kind != SS_SIMPLE && kind != SS_LEFTNOWORDWRAP))) ||
            text[0] == 0 || !(style & WS_VISIBLE) || !GetClientRect(c, &box))
          continue;
        // The room the platform leaves for the text: right of a check box or
        // radio button and half a digit, inside a group box's frame, within a
        // button's edges.
        const bool check = button && ((kind >= BS_CHECKBOX && kind <= BS_AUTO3STATE) || kind == BS_AUTORADIOBUTTON);
        const int room = box.right - (check ? 13 + digit / 2 : kind == BS_GROUPBOX ? 14 : 4 * button);
        const bool wrap = label ? kind <= SS_RIGHT && !(style & SS_CENTERIMAGE) : (style & BS_MULTILINE) != 0;
        RECT need{0, 0, room, 0};
        DrawTextW(dc, text, -1, &need,
                  DT_CALCRECT | (wrap ? DT_WORDBREAK : DT_SINGLELINE) | (label && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
        EXPECT_TRUE(need.right <= room && (kind == BS_GROUPBOX || need.bottom <= box.bottom))
            << "dialog " << id << " in " << l << ", control " << GetDlgCtrlID(c) << " needs " << need.right << "x"
            << need.bottom << " px, has " << room << "x" << box.bottom;
      }
      SelectObject(dc, font);
      ReleaseDC(dialog, dc);
      DestroyWindow(dialog);
    }
  }
  DestroyWindow(parent);
}

}  // namespace
