#pragma once
// Error codes to message texts, and the text of the error box.
#include <cstdint>

#include "app/language.h"

struct ErrorTableRow {
  int16_t code;
  uint32_t messageId;
};
// Searched in order; the row with code -1 ends it and stands for any other code.
extern const ErrorTableRow ErrorTable[11];

inline constexpr uint16_t kErrorCaptionId = 40021;
inline constexpr int kErrorMessageUnits = 32;
inline constexpr int kErrorCaptionUnits = 8;
inline constexpr int kErrorTextUnits = 64;

uint32_t ErrorMessageId(uint16_t code);

// "Code %d:\r\n%s\r\n" with the message of the current language (cut to 31
// characters) and the caption (cut to 7).
void FormatErrorBox(TextSource& texts, uint16_t code, char16_t (&text)[kErrorTextUnits],
                    char16_t (&caption)[kErrorCaptionUnits]);
