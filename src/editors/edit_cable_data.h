#pragma once
// The pin-name editor's rules that do not need windows: where Enter moves
// to, how each pin box is coloured, and the names "Initialize Pin Name" sets.
#include <cstdint>

#include "cabledata/cable_set.h"

// The pin after `selected`: C04 is followed by A01, and no selection (255)
// by A01 as well.
PinIndex NextPin(uint8_t selected);

enum class PinBoxColour : uint8_t {
  kDefault,
  kSelected,   // the selected pin itself
  kConnected,  // listed in the selected pin's row
  kWired,      // its own row lists some other pin
};
// Without a selected pin every box keeps the default colours.
PinBoxColour PinBoxColourOf(const CableRecord& working, unsigned pin);

// Every name becomes its connector label, "A01".."C04", without the blank
// that the names of a new set carry.
void ResetPinNames(CableRecord& working);
