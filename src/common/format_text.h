#pragma once
// printf-style formatting into fixed UTF-16 buffers, for the formats of the
// string table ("%s - %s Connection error\r\n", "All%2upins found correct\r\n",
// "%d.%s"). wchar_t is 32-bit off Windows, so the wide printf family is no use
// for char16_t text.
//
// Conversions: %s %d %i %u %c and %%, with the flags '-' (left-justify) and
// '0' (zero-pad numbers) and a decimal width; the size letters h, l and ll are
// read and ignored. Arguments are typed: a conversion takes the next argument
// and prints it as what it is (a number with %s prints its digits, a text
// with %d prints the text), so a translated format whose conversions do not
// match never reads an argument as the wrong type. A conversion without an
// argument prints nothing; anything else after '%' is copied as it stands.
#include <cstddef>
#include <cstdint>
#include <type_traits>

struct FormatArg {
  enum class Kind : uint8_t { kNone, kText, kSigned, kUnsigned };

  constexpr FormatArg() = default;
  constexpr FormatArg(const char16_t* s) : kind(Kind::kText), text(s) {}  // NOLINT: implicit by design
  template <typename T>
    requires std::is_integral_v<T>
  constexpr FormatArg(T v)  // NOLINT: implicit by design
      : kind(std::is_signed_v<T> ? Kind::kSigned : Kind::kUnsigned),
        number(std::is_signed_v<T> ? static_cast<uint64_t>(static_cast<int64_t>(v)) : static_cast<uint64_t>(v)) {}

  Kind kind = Kind::kNone;
  const char16_t* text = nullptr;
  uint64_t number = 0;  // a signed value as its two's complement
};

// Writes at most capacity - 1 units and a terminator (nothing when capacity is
// 0); a longer result is cut. Returns the units written, terminator excluded.
size_t FormatTextArgs(char16_t* out, size_t capacity, const char16_t* format, const FormatArg* args, size_t count);

template <typename... Args>
size_t FormatText(char16_t* out, size_t capacity, const char16_t* format, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg()};
  return FormatTextArgs(out, capacity, format, list, sizeof...(Args));
}
