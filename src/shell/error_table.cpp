#include "shell/error_table.h"

#include "common/text.h"

const ErrorTableRow ErrorTable[9] = {
    {768, 40011},  {769, 40012},  {1024, 40013}, {1025, 40014}, {1026, 40015},
    {1027, 40016}, {1028, 40017}, {1280, 40018}, {-1, 40019},
};

uint32_t ErrorMessageId(uint16_t code) {
  const ErrorTableRow* row = ErrorTable;
  while (row->code != -1 && row->code != static_cast<int16_t>(code)) ++row;
  return row->messageId;
}

void LoadTextOrEmpty(TextSource& texts, uint16_t id, char16_t* buffer, size_t capacity) {
  if (capacity == 0) return;
  buffer[0] = 0;
  if (!texts.LoadLanguageString(id, buffer, capacity)) buffer[0] = 0;
}

void FormatErrorBox(TextSource& texts, uint16_t code, char16_t (&text)[kErrorTextUnits],
                    char16_t (&caption)[kErrorCaptionUnits]) {
  char16_t message[kErrorMessageUnits];
  LoadTextOrEmpty(texts, static_cast<uint16_t>(ErrorMessageId(code)), message, kErrorMessageUnits);
  LoadTextOrEmpty(texts, kErrorCaptionId, caption, kErrorCaptionUnits);

  // "Code " + up to 5 digits + ":\r\n" + 31 characters + "\r\n" always fits.
  char16_t digits[6];
  int n = 0;
  unsigned value = code;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  size_t o = 0;
  for (char16_t c : u"Code ") if (c) text[o++] = c;
  while (n > 0) text[o++] = digits[--n];
  for (char16_t c : u":\r\n") if (c) text[o++] = c;
  for (size_t i = 0; message[i] != 0; ++i) text[o++] = message[i];
  text[o++] = u'\r';
  text[o++] = u'\n';
  text[o] = 0;
  static_assert(5 + 5 + 3 + (kErrorMessageUnits - 1) + 2 + 1 <= kErrorTextUnits);
}
