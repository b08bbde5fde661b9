#pragma once
// Text of a cable set as the tool prints and reads it: UTF-8 on the outside,
// fixed UTF-16 fields inside.
#include <string>
#include <string_view>

#include "cabledata/cable_set.h"

// The field's text up to its terminator (or its capacity), as UTF-8.
// Unpaired surrogates come out as U+FFFD.
std::string FieldToUtf8(const char16_t* field, size_t capacity);

// "A01".."C04" for 0..103; for other values the number itself, so a damaged
// byte still prints as something.
std::string PinLabel(unsigned pin);

// The PinIndex of a label written exactly as PinLabel gives it, or -1.
int FindPinLabel(std::string_view label);
