#pragma once
// Pins and wirings written the way the connectors number them, for tests.
#include <cstring>
#include <initializer_list>

#include "cabledata/cable_set.h"

// PinIndex of a connector pin by its 1-based number on the connector.
constexpr unsigned A(unsigned n) { return n - 1; }
constexpr unsigned B(unsigned n) { return n + 49; }
constexpr unsigned C(unsigned n) { return n + 99; }

inline PinSet Pins(std::initializer_list<unsigned> pins) {
  PinSet set{};
  for (unsigned p : pins) PinSetAdd(set, p);
  return set;
}

// A cable's wiring row by row, as the unit measures it or a cable holds it:
// every pin of a net sees the whole net, any other pin only itself.
struct Rows {
  ConnectionRow rows[kPinCount];
  Rows() { InitConnectionRows(rows); }
  explicit Rows(const ConnectionRow (&from)[kPinCount]) { std::memcpy(rows, from, sizeof rows); }
  Rows& Net(std::initializer_list<unsigned> pins) {
    for (unsigned p : pins) rows[p].bits = Pins(pins);
    return *this;
  }
  // A p to B p for p = 1..n.
  Rows& Straight(unsigned n) {
    for (unsigned p = 1; p <= n; ++p) Net({A(p), B(p)});
    return *this;
  }
  // One row measured as given, whatever the other rows say.
  Rows& Measure(unsigned pin, std::initializer_list<unsigned> pins) {
    rows[pin].bits = Pins(pins);
    return *this;
  }
  const PinSet& Of(unsigned pin) const { return rows[pin].bits; }
  bool operator==(const Rows& other) const { return std::memcmp(rows, other.rows, sizeof rows) == 0; }
};
