#include "editors/consecutive_number.h"

#include "common/format_text.h"
#include "common/text.h"

namespace {

constexpr uint16_t kCountOutOfRange = 40051;
constexpr uint16_t kNoStartingPin = 40052;
constexpr uint16_t kRunBeyondLastPin = 40053;
constexpr uint16_t kBadStartNumber = 40054;
constexpr uint16_t kBadStartLetter = 40055;

constexpr uint32_t kHighestNumber = 999;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Blanks, digits, blanks and nothing else, as the dialog manager reads a
// number from a box. Values past 65535 saturate; no caller accepts them.
bool ParseUnsigned(const char16_t* text, uint32_t& value) {
  while (IsBlank(*text)) ++text;
  if (*text < u'0' || *text > u'9') return false;
  value = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) {
    value = value * 10 + static_cast<uint32_t>(*text - u'0');
    if (value > 0xFFFF) value = 0x10000;
  }
  while (IsBlank(*text)) ++text;
  return *text == 0;
}

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Leading zeros typed into the start box ask for a fixed width: "07" and
// "070" are two digits, "007" three.
unsigned NumberWidth(const char16_t* start) {
  const size_t length = TextLength(start, 3);
  if (start[0] != u'0' || length < 2) return 0;
  return length == 3 && start[1] == u'0' ? 3 : 2;
}

char16_t NextLetter(char16_t c, bool ascending) {
  if (ascending) return c == u'Z' ? u'A' : c == u'z' ? u'a' : static_cast<char16_t>(c + 1);
  return c == u'A' ? u'Z' : c == u'a' ? u'z' : static_cast<char16_t>(c - 1);
}

}  // namespace

StartingPosition StartingPositionOf(uint8_t selectedPin) {
  if (selectedPin < 50) return {0, selectedPin};
  if (selectedPin < 100) return {1, selectedPin - 50};
  return {2, selectedPin - 100};
}

uint16_t ValidateConsecutiveNumber(const ConsecutiveNumberForm& form, ConsecutiveNumberSettings& settings) {
  uint32_t count = 0;
  if (!ParseUnsigned(form.repeatCount, count) || count == 0 || count > kPinCount) return kCountOutOfRange;
  if (form.connector < 0 || form.pinEntry < 0) return kNoStartingPin;
  const uint32_t step = form.skipOne ? 2 : 1;
  const auto start = static_cast<uint8_t>(50 * form.connector + form.pinEntry);
  if (start + (count - 1) * step >= kPinCount) return kRunBeyondLastPin;

  uint32_t number = 0;
  if (form.kind == kNumbers) {
    // Three digits at most fit a name beside a five-letter fixed part.
    if (!ParseUnsigned(form.start, number) || number > kHighestNumber) return kBadStartNumber;
  } else if (form.kind == kAlphabet) {
    if (!IsAsciiLetter(form.start[0])) return kBadStartLetter;
  }

  CopyText(settings.fixedName, kFixedNameChars + 1, form.fixedName);
  settings.repeatCount = static_cast<uint16_t>(count);
  settings.step = static_cast<uint8_t>(step);
  settings.omitPinLabel = form.omitPinLabel ? 1 : 0;
  settings.numberKind = form.kind == kNumbers || form.kind == kAlphabet ? form.kind : kNoCounter;
  if (form.kind == kNumbers) settings.startNumber = static_cast<uint16_t>(number);
  if (form.kind == kAlphabet) settings.startLetter[0] = form.start[0];
  settings.ascending = form.descending ? 0 : 1;
  return 0;
}

void GeneratePinNames(const ConsecutiveNumberForm& form, const ConsecutiveNumberSettings& s, CableRecord& record) {
  const unsigned width = s.numberKind == kNumbers ? NumberWidth(form.start) : 0;
  const size_t fixedLength = TextLength(s.fixedName, kFixedNameChars + 1);
  unsigned pin = static_cast<uint8_t>(50 * form.connector + form.pinEntry);
  unsigned n = s.startNumber;
  char16_t letter = s.startLetter[0];

  for (unsigned i = 0; i < s.repeatCount && pin < kPinCount; ++i, pin += s.step) {
    char16_t name[32];
    size_t used = 0;
    if (s.omitPinLabel == 0) {
      // The blank is left out only where the name would pass 11 characters.
      const bool blank = fixedLength < kFixedNameChars || (n < 100 && width == 0);
      used = FormatText(name, 32, blank ? u"%s " : u"%s", DefaultPinLabels[pin]);
    }
    used += FormatText(name + used, 32 - used, u"%s", s.fixedName);
    if (s.numberKind == kNumbers) {
      const char16_t* format = width == 3 ? u"%03u" : width == 2 ? u"%02u" : u"%u";
      FormatText(name + used, 32 - used, format, n);
      if (s.ascending) {
        n = n >= kHighestNumber ? 1 : n + 1;
      } else {
        n = n == 0 ? kHighestNumber : n - 1;
      }
    } else if (s.numberKind == kAlphabet) {
      FormatText(name + used, 32 - used, u"%c", letter);
      letter = NextLetter(letter, s.ascending != 0);
    }
    CopyText(record.pinNames[pin], kPinNameUnits, name);
  }
}
