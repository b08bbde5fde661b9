#pragma once
// The 104 connection rows of a cable as a matrix: listing a row's pins, making
// an edited pin's connections two-way, and the comparison used to sort lists.
#include "cabledata/cable_set.h"

// Writes the pins of row.bits other than the row's own (taken from its stored
// pin byte, not its position) into list in ascending order; returns the count.
uint8_t ListConnectedPins(const ConnectionRow& row, uint8_t (&list)[kPinCount]);

// Mirrors column p from row p, then joins the nets with one merge pass. A p
// outside 0..103 changes nothing.
void MirrorAndMergeConnections(ConnectionRow (&rows)[kPinCount], unsigned p);

// qsort-style comparison of two int32 values, ascending: checked pins carry
// their PinIndex and unchecked ones 255, so checked pins sort first.
int ComparePinValues(const void* a, const void* b);
