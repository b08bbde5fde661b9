#include "cbltool/set_text.h"

#include <cstdio>
#include <vector>

#include "common/text.h"

std::string FieldToUtf8(const char16_t* field, size_t capacity) {
  const size_t units = TextLength(field, capacity);
  std::vector<char> buffer(units * 3 + 1);  // a unit never needs more than 3 bytes
  const size_t n = Utf16ToUtf8(field, units, buffer.data(), buffer.size());
  return n == SIZE_MAX ? std::string() : std::string(buffer.data(), n);
}

uint32_t NextCodePoint(std::string_view text, size_t& i) {
  const auto c = static_cast<unsigned char>(text[i++]);
  if (c < 0x80) return c;
  if (c < 0xC0) return 0xFFFD;
  const size_t more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
  uint32_t cp = c & (0x3Fu >> more);
  for (size_t k = 0; k < more && i < text.size(); ++k) cp = (cp << 6) | (text[i++] & 0x3Fu);
  return cp;
}

std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const uint32_t cp = NextCodePoint(text, i);
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
                         (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
    if (!control) {
      out.append(text, start, i - start);
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(cp));
    out += escape;
  }
  return out;
}

std::string PinLabel(unsigned pin) {
  if (pin >= kPinCount) return std::to_string(pin);
  return FieldToUtf8(DefaultPinLabels[pin], kPinNameUnits);
}

int FindPinLabel(std::string_view label) {
  for (unsigned p = 0; p < kPinCount; ++p) {
    if (PinLabel(p) == label) return static_cast<int>(p);
  }
  return -1;
}
