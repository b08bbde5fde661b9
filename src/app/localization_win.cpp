#include "app/localization_win.h"

#include <cstring>

#include "common/text.h"

namespace {

HFONT g_fonts[kLanguageCount][3];

const void* FindLanguageResource(LanguageIndex language, LPCWSTR type, LPCWSTR name) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceExW(module, type, name, LanguageId(language));
  if (!res) return nullptr;
  HGLOBAL loaded = LoadResource(module, res);
  return loaded ? LockResource(loaded) : nullptr;
}

}  // namespace

WORD LanguageId(LanguageIndex language) {
  return kLanguages[language < kLanguageCount ? language : kJapanese].languageId;
}

void SetThreadLanguage(LanguageIndex language) { SetThreadLocale(MAKELCID(LanguageId(language), SORT_DEFAULT)); }

WORD ThreadLanguage() { return LANGIDFROMLCID(GetThreadLocale()); }

bool ResourceTexts::LoadLanguageString(uint16_t id, char16_t* buffer, size_t capacity) {
  // Sixteen counted strings per block, block number (id >> 4) + 1.
  const auto* block = static_cast<const WCHAR*>(
      FindLanguageResource(language_, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1)));
  if (!block || capacity == 0) return false;
  for (int i = 0; i < (id & 15); ++i) block += 1 + *block;
  const size_t length = *block++;
  const size_t n = length < capacity - 1 ? length : capacity - 1;
  std::memcpy(buffer, block, n * sizeof(char16_t));
  buffer[n] = 0;
  return true;
}

const DLGTEMPLATE* FindLanguageDialog(LanguageIndex language, WORD id) {
  return static_cast<const DLGTEMPLATE*>(FindLanguageResource(language, RT_DIALOG, MAKEINTRESOURCEW(id)));
}

const MENUTEMPLATEW* FindLanguageMenu(LanguageIndex language, WORD id) {
  return static_cast<const MENUTEMPLATEW*>(FindLanguageResource(language, RT_MENU, MAKEINTRESOURCEW(id)));
}

void MakeFontSet() {
  static constexpr struct {
    LONG height;
    LONG weight;
  } kKinds[3] = {{18, FW_NORMAL}, {96, FW_BOLD}, {36, FW_BOLD}};
  for (int lang = 0; lang < kLanguageCount; ++lang) {
    for (int kind = 0; kind < 3; ++kind) {
      LOGFONTW lf{};
      lf.lfHeight = kKinds[kind].height;
      lf.lfWeight = kKinds[kind].weight;
      lf.lfCharSet = DEFAULT_CHARSET;
      lf.lfQuality = CLEARTYPE_QUALITY;
      lf.lfPitchAndFamily = FIXED_PITCH;
      CopyText(reinterpret_cast<char16_t*>(lf.lfFaceName), LF_FACESIZE, kLanguages[lang].fontFace);
      g_fonts[lang][kind] = CreateFontIndirectW(&lf);
    }
  }
}

HFONT LanguageFont(LanguageIndex language, FontKind kind) {
  return g_fonts[language < kLanguageCount ? language : kJapanese][kind];
}
