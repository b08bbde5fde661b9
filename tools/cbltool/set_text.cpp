#include "cbltool/set_text.h"

#include <vector>

#include "common/text.h"

std::string FieldToUtf8(const char16_t* field, size_t capacity) {
  const size_t units = TextLength(field, capacity);
  std::vector<char> buffer(units * 3 + 1);  // a unit never needs more than 3 bytes
  const size_t n = Utf16ToUtf8(field, units, buffer.data(), buffer.size());
  return n == SIZE_MAX ? std::string() : std::string(buffer.data(), n);
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
