#pragma once
// Cable sets as the bytes of their files, in the current and the old layout.
#include <cstdint>
#include <cstring>
#include <vector>

#include "cabledata/cable_set.h"

inline std::vector<uint8_t> Image(const CableSet& set) {
  const auto* p = reinterpret_cast<const uint8_t*>(&set);
  return std::vector<uint8_t>(p, p + sizeof set);
}

// The old 45062-byte layout of a set: 4504-byte records without probe data,
// then the tag, the reserved byte and the current cable.
inline std::vector<uint8_t> OldLayoutImage(const CableSet& set) {
  std::vector<uint8_t> old(45062, 0);
  const auto* from = reinterpret_cast<const uint8_t*>(&set);
  for (size_t k = 0; k < 10; ++k) {
    std::memcpy(&old[4504 * k], from + 4518 * k, 3952);                // names and rows
    std::memcpy(&old[4504 * k + 3952], from + 4518 * k + 3966, 551);  // information and selectedPin
    old[4504 * k + 4503] = 0x5A;
  }
  std::memcpy(&old[45040], u"OLDTAG", 14);
  old[45060] = set.reserved;
  old[45061] = set.currentCable;
  return old;
}
