#pragma once
// Texts, templates and fonts of the current language from the program's
// resources. The language never falls back: a missing resource gives nothing.
#include <windows.h>

#include "app/language.h"

class ResourceTexts final : public TextSource {
 public:
  explicit ResourceTexts(const LanguageIndex& language) : language_(language) {}
  bool LoadLanguageString(uint16_t id, char16_t* buffer, size_t capacity) override;

 private:
  const LanguageIndex& language_;
};

WORD LanguageId(LanguageIndex language);
void SetThreadLanguage(LanguageIndex language);
// The language of the thread locale, for MessageBoxExW.
WORD ThreadLanguage();

const DLGTEMPLATE* FindLanguageDialog(LanguageIndex language, WORD id);
const MENUTEMPLATEW* FindLanguageMenu(LanguageIndex language, WORD id);

enum FontKind { kNormalFont = 0, kLargeBoldFont = 1, kMediumBoldFont = 2 };
// Made once at start-up for every language and kept until the process ends.
void MakeFontSet();
HFONT LanguageFont(LanguageIndex language, FontKind kind);
