#pragma once
// The connection differences between two cables, pin by pin name: a cable
// learned with Read Master against the cable as drawn.
#include <ostream>
#include <string>

#include "cabledata/cable_set.h"

// "FILE:N" -> FILE and N (1..10); a plain FILE gives cable 0, the set's current
// one. A drive letter's colon is no cable number. False for a number out of range.
bool SplitCableArgument(const std::string& argument, std::string& file, int& cable);

// Pins are matched by their names, blanks around them ignored; a pin without
// a name, or with one its cable uses twice, by its connector and number.
// Prints the nets only one cable has and the pins that left all their
// partners for others; true when the connections differ.
bool PrintCableDiff(const CableRecord& a, const std::string& nameA, const CableRecord& b, const std::string& nameB,
                    std::ostream& out);
