#pragma once
// A cable set as a person reads it: information, pin names, nets, probe pins.
#include <ostream>

#include "cabledata/cable_set.h"

// cableIndex 0..9 prints that cable only; -1 prints all ten.
void PrintCableSet(const CableSet& set, int cableIndex, std::ostream& out);
