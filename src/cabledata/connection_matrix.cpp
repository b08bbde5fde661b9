#include "cabledata/connection_matrix.h"

#include <cstring>

uint8_t ListConnectedPins(const ConnectionRow& row, uint8_t (&list)[kPinCount]) {
  const uint8_t own = static_cast<uint8_t>(row.pin - 1);
  uint8_t count = 0;
  for (int b = 0; b < kPinSetBytes && count < kPinCount; ++b) {
    for (int k = 0; k < 8; ++k) {
      const int pin = 8 * b + k;
      if ((row.bits.bytes[b] & (1u << k)) != 0 && pin != own) list[count++] = static_cast<uint8_t>(pin);
    }
  }
  return count;
}

void MirrorAndMergeConnections(ConnectionRow (&rows)[kPinCount], unsigned p) {
  if (p >= kPinCount) return;

  // The 255 fill marks the end of the list for the cursor walk below.
  uint8_t list[kPinCount];
  std::memset(list, kNoPin, sizeof list);
  ListConnectedPins(rows[p], list);

  size_t c = 0;
  for (unsigned i = 0; i < kPinCount; ++i) {
    if (i == p) continue;
    if (c < kPinCount && list[c] == i) {
      PinSetAdd(rows[i].bits, p);
      ++c;
    } else {
      PinSetRemove(rows[i].bits, p);
    }
  }

  // One pass only: later rows see what earlier ones set, but the pass is not
  // repeated, so long chains may stay partly unjoined.
  for (auto& row : rows) {
    uint8_t members[kPinCount];
    const uint8_t n = ListConnectedPins(row, members);
    for (uint8_t a = 0; a < n; ++a)
      for (uint8_t b = 0; b < n; ++b) PinSetAdd(rows[members[a]].bits, members[b]);
  }
}

int ComparePinValues(const void* a, const void* b) {
  int32_t x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x - y;
}
