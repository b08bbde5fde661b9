#pragma once
// Text of a cable set as the tool prints and reads it: UTF-8 on the outside,
// fixed UTF-16 fields inside.
#include <cstdint>
#include <string>
#include <string_view>

#include "cabledata/cable_set.h"

// The field's text up to its terminator (or its capacity), as UTF-8.
// Unpaired surrogates come out as U+FFFD.
std::string FieldToUtf8(const char16_t* field, size_t capacity);

// The character that starts at text[i]; i moves past it. A stray byte reads
// as U+FFFD.
uint32_t NextCodePoint(std::string_view text, size_t& i);

// Stored text is whatever a file holds; before it reaches a terminal, every
// character that could move the cursor, recolour or reorder the line (C0, DEL,
// C1, the bidirectional controls) becomes \uXXXX. Everything printed from a
// set or an input file goes through here.
std::string Escaped(std::string_view text);

// "A01".."C04" for 0..103; for other values the number itself, so a damaged
// byte still prints as something.
std::string PinLabel(unsigned pin);

// The PinIndex of a label written exactly as PinLabel gives it, or -1.
int FindPinLabel(std::string_view label);
