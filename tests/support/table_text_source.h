#pragma once
// The program's string table compiled in, for native tests of code that
// loads texts; behaves like the resource lookup (cut to capacity, missing
// blocks refused).
#include <cstddef>
#include <cstdint>

#include "app/language.h"
#include "common/text.h"

struct TableString {
  uint16_t id;
  const char16_t* text[kLanguageCount];  // in LanguageIndex order
};

inline constexpr TableString kTableStrings[] = {
#define S(id, en, ja, zh) {id, {u"" ja, u"" zh, u"" en}},
#include "strings.def"
#undef S
};

struct TableTextSource final : TextSource {
  LanguageIndex language = kEnglish;

  bool LoadLanguageString(uint16_t id, char16_t* buffer, size_t capacity) override {
    // Blocks of 16 ids exist from 40000 through 40079.
    if (id < 40000 || id > 40079 || capacity == 0) return false;
    const char16_t* text = u"";
    for (const TableString& s : kTableStrings)
      if (s.id == id) text = s.text[language];
    CopyText(buffer, capacity, text);
    return true;
  }
};
