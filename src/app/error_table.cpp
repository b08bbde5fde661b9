#include "app/error_table.h"

#include "common/format_text.h"
#include "common/text.h"

const ErrorTableRow ErrorTable[11] = {
    {768, 40011},  {769, 40012},  {770, 40068},  {1024, 40013}, {1025, 40014}, {1026, 40015},
    {1027, 40016}, {1028, 40017}, {1029, 40067}, {1280, 40018}, {-1, 40019},
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

  FormatText(text, kErrorTextUnits, u"Code %u:\r\n%s\r\n", static_cast<unsigned>(code), message);
  // "Code " + five digits + ":\r\n" + 31 characters + "\r\n" always fits.
  static_assert(5 + 5 + 3 + (kErrorMessageUnits - 1) + 2 + 1 <= kErrorTextUnits);
}
