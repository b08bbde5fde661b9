#pragma once
// The three interface languages and how the portable code reaches the texts of
// the current one.
#include <cstddef>
#include <cstdint>

enum LanguageIndex : uint8_t { kJapanese = 0, kChinese = 1, kEnglish = 2 };
inline constexpr int kLanguageCount = 3;

struct LanguageInfo {
  uint16_t languageId;        // Windows language identifier
  const char16_t* fontFace;   // face of the FontSet fonts
};
inline constexpr LanguageInfo kLanguages[kLanguageCount] = {
    {1041, u"Yu Gothic UI"},
    {2052, u"Microsoft YaHei UI"},
    {1033, u"Segoe UI"},
};

// Looks up string `id` in the current language into a buffer of `capacity`
// units (terminator included), cutting longer texts. Returns false and leaves
// the buffer alone when the string's block is missing.
class TextSource {
 public:
  virtual bool LoadLanguageString(uint16_t id, char16_t* buffer, size_t capacity) = 0;

 protected:
  ~TextSource() = default;
};

// Callers never show what a failed lookup left behind: an empty text is safe.
void LoadTextOrEmpty(TextSource& texts, uint16_t id, char16_t* buffer, size_t capacity);
