#pragma once
// Fixed-capacity UTF-16 text, as stored in records and string buffers.
// Capacities always count the terminator.
#include <cstddef>
#include <cstdint>

// Length up to the first terminator, never reading past capacity.
size_t TextLength(const char16_t* text, size_t capacity);

// Copies src into dst, cut to capacity - 1 units, always terminated.
// Units after the terminator are left as they were.
void CopyText(char16_t* dst, size_t capacity, const char16_t* src);

// Cuts a field that has no terminator within its capacity; true when it had to.
bool TerminateText(char16_t* text, size_t capacity);

// UTF-16 -> UTF-8 into a byte buffer of the given capacity (terminator
// included). Unpaired surrogates become U+FFFD. Returns the length written, or
// SIZE_MAX when the result does not fit (out is then empty).
size_t Utf16ToUtf8(const char16_t* text, size_t units, char* out, size_t capacity);

// UTF-8 -> UTF-16, terminated. Returns the units written, or SIZE_MAX when the
// input is not valid UTF-8 or does not fit (out is then empty).
size_t Utf8ToUtf16(const char* text, size_t bytes, char16_t* out, size_t capacity);
