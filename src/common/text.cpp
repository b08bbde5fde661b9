#include "common/text.h"

size_t TextLength(const char16_t* text, size_t capacity) {
  size_t n = 0;
  while (n < capacity && text[n] != 0) ++n;
  return n;
}

void CopyText(char16_t* dst, size_t capacity, const char16_t* src) {
  if (capacity == 0) return;
  size_t n = 0;
  while (n + 1 < capacity && src[n] != 0) {
    dst[n] = src[n];
    ++n;
  }
  dst[n] = 0;
}

bool TerminateText(char16_t* text, size_t capacity) {
  if (capacity == 0 || TextLength(text, capacity) < capacity) return false;
  text[capacity - 1] = 0;
  return true;
}

namespace {

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

size_t Utf16ToUtf8(const char16_t* text, size_t units, char* out, size_t capacity) {
  if (capacity == 0) return SIZE_MAX;
  size_t o = 0;
  for (size_t i = 0; i < units; ++i) {
    uint32_t cp = text[i];
    if (IsHigh(text[i]) && i + 1 < units && IsLow(text[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (IsHigh(text[i]) || IsLow(text[i])) {
      cp = 0xFFFD;
    }
    char buf[4];
    size_t n;
    if (cp < 0x80) {
      buf[0] = static_cast<char>(cp);
      n = 1;
    } else if (cp < 0x800) {
      buf[0] = static_cast<char>(0xC0 | (cp >> 6));
      buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 2;
    } else if (cp < 0x10000) {
      buf[0] = static_cast<char>(0xE0 | (cp >> 12));
      buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 3;
    } else {
      buf[0] = static_cast<char>(0xF0 | (cp >> 18));
      buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 4;
    }
    if (o + n + 1 > capacity) {
      out[0] = 0;
      return SIZE_MAX;
    }
    for (size_t k = 0; k < n; ++k) out[o++] = buf[k];
  }
  out[o] = 0;
  return o;
}

size_t Utf8ToUtf16(const char* text, size_t bytes, char16_t* out, size_t capacity) {
  if (capacity == 0) return SIZE_MAX;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t o = 0;
  auto fail = [&] {
    out[0] = 0;
    return SIZE_MAX;
  };
  for (size_t i = 0; i < bytes;) {
    uint32_t cp;
    size_t n;
    unsigned char c = s[i];
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1Fu;
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0Fu;
      n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07u;
      n = 4;
    } else {
      return fail();
    }
    if (i + n > bytes) return fail();
    for (size_t k = 1; k < n; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return fail();
      cp = (cp << 6) | (s[i + k] & 0x3Fu);
    }
    static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return fail();
    i += n;
    size_t need = cp >= 0x10000 ? 2 : 1;
    if (o + need + 1 > capacity) return fail();
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      out[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out[o++] = static_cast<char16_t>(cp);
    }
  }
  out[o] = 0;
  return o;
}
